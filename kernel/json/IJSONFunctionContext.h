// IJSONFunctionContext carries one call of a callable JSON object: the receiver (this), the
// parameters, the result, the host's opaque contexts and, for super calls and super constructors,
// the scope (the function running and its receiver). Native member functions read their arguments
// through the typed getters, which raise a type error and answer a fallback on a mismatch:
//
//     EJSONStatus DoResize(const VJSONObject*, IJSONFunctionContext* inContext)
//     {
//         int32_t size = inContext->GetLongParam(1);
//         ...
//         inContext->SetResult(VJSONValue(double(size)));
//         return EJSON_done;
//     }
//
// VJSONFunctionContext is the toolbox's implementation.
#pragma once

#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VRefPtr.h"

#include <cstdint>
#include <vector>

namespace kova
{

class CDBQelBaseContext;
class VDBLanguageContext;
class VJSONArray;
class VJSONClass;
class VJSONObject;

enum EJSONStatus : uint32_t;

// The bytes of a Blob parameter: null data for an empty blob.
struct JSONBlobParam
{
    bool fFound = false;
    const void* fData = nullptr;
    size_t fSize = 0;
};

class IJSONFunctionContext
{
public:
    // The result kind every toolbox call reports.
    static constexpr uint8_t kResultKind = 5;

    IJSONFunctionContext() = default;
    virtual ~IJSONFunctionContext();

    virtual VJSONObject* GetThisObject() const = 0;
    virtual VJSONArray* GetThisArray() const = 0;
    virtual void SetResult(const VJSONValue& inValue, uint8_t inKind = kResultKind) = 0;
    virtual void GetResult(VJSONValue& outValue) const = 0;
    virtual uint8_t GetResultLegacyValueKind() const = 0;
    virtual bool GetResultIsExpected() const = 0;
    // The parameters (null when the call has none); EJSON_done.
    virtual EJSONStatus GetParametersAsJSONValues(std::vector<VJSONValue>** outParameters) = 0;
    // Not available here: EJSON_unhandled.
    virtual EJSONStatus GetParameterList(void** outFirst, void** outSecond, void** outThird,
                                         void** outFourth);
    virtual CDBQelBaseContext* GetBaseContext() const = 0;
    virtual VDBLanguageContext* GetLanguageContext() const = 0;
    virtual size_t GetParamCount() const = 0;
    // Parameter i, from 1; undefined outside 1 to the count.
    virtual VJSONValue GetParam(size_t inIndex) const = 0;
    // Parameter i as a Blob object's bytes (valid while the parameter lives). Another value:
    // not found, and QLRT 54 with the flag cleared unless inOptional.
    virtual JSONBlobParam GetBlobParam(size_t inIndex, bool inOptional);
    // The receiver and the function of the scope a super call starts from; null when unknown.
    virtual VJSONObject* GetScopeThisObject() const = 0;
    virtual VJSONObject* GetScopeFunctionObject() const = 0;

    // The class owning the scope's function; null without one.
    VJSONClass* GetScopeClass() const;

    // Typed parameters. On a type mismatch the check flag is cleared and the error raised.
    // Any other number: QLRT 7, and the number the value converts to.
    double GetNumberParam(size_t inIndex);
    // False without error for an absent parameter (the flag cleared, nothing stored).
    bool GetNumberOptParam(size_t inIndex, double& outNumber);
    // Truncated toward zero, saturated at 32 bits, NaN as 0.
    int32_t GetLongParam(size_t inIndex);
    // QLRT 55, and the value's truth.
    bool GetBoolParam(size_t inIndex);
    // QLRT 8, and the empty string.
    VString GetStringParam(size_t inIndex);
    // QLRT 54, and null.
    VRefPtr<VJSONObject> GetObjectParam(size_t inIndex);
    VRefPtr<VJSONArray> GetArrayParam(size_t inIndex);

    // Cleared by a typed getter that met another type; nothing sets it back.
    bool IsParameterCheckOK() const { return fParameterCheck; }

protected:
    bool fParameterCheck = true;

private:
    // The parameter, or undefined after the mismatch was reported.
    bool _Check(const VJSONValue& inValue, bool inAccepted, VError inError);
};

} // namespace kova
