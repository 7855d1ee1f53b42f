// IJSONObject is the native delegate behind a VJSONObject: blobs, classes, class stores and
// member functions implement it to answer for the object. The object asks its delegate first on
// every operation and falls back to its own behaviour only when the delegate answers
// EJSON_unhandled. The defaults here are those of a delegate that overrides nothing.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class IJSONFunctionContext;
class VDBLanguageContext;
class VJSONClass;
class VJSONCloner;
class VJSONObject;
class VJSONStamp;
class VJSONValue;
class VJSONWriter;
class VObject;
class VString;
class VValue;
template <unsigned long kGranule, unsigned long kGrowthDivisor, unsigned long kMaxStep>
class VMemoryBuffer;

// The answer of every delegate hook and native member function.
enum EJSONStatus : uint32_t
{
    EJSON_done = 0,      // the delegate answered; its answer stands
    EJSON_unhandled = 1, // the caller applies its own default behaviour
    EJSON_error = 2,     // the delegate raised an error on the current error context
};

class IJSONObject : public IRefCountable
{
public:
    ~IJSONObject() override;

    virtual EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName,
                                          VJSONValue& outValue, VDBLanguageContext* inContext) const;
    virtual EJSONStatus IJSON_BeginChangeProperties();
    virtual EJSONStatus IJSON_EndChangeProperties();
    virtual EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName,
                                          const VJSONValue& inValue, VDBLanguageContext* inContext);
    virtual EJSONStatus IJSON_RemoveProperty(VJSONObject* inObject, const VString& inName);
    virtual EJSONStatus IJSON_Clear(VJSONObject* inObject);
    // Whether IJSON_GetPropertyNames reports no name.
    virtual bool IJSON_IsEmpty(const VJSONObject* inObject) const;
    // EJSON_done: outText is the object's text; EJSON_error: *outError holds the failure.
    virtual EJSONStatus IJSON_Stringify(const VJSONObject* inObject, VJSONWriter& inWriter, VString& outText,
                                        VError* outError) const;
    virtual EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                                    VError* outError) const;
    // Non-zero when the object has a binary form of its own.
    virtual uint32_t IJSON_GetBinarySignature() const;
    virtual void IJSON_GetValueToWriteToBuffer(VJSONValue& outValue) const;
    // Raises kova 915, stores it in *outError and answers EJSON_error.
    virtual EJSONStatus IJSON_WriteToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBuffer,
                                            VError* outError);
    virtual EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const;
    // A new value owned by the caller, or null.
    virtual VValue* IJSON_CreateVValue() const;
    virtual EJSONStatus IJSON_GetPropertyStamp(const VString& inName, uint32_t* outStamp) const;
    virtual EJSONStatus IJSON_TouchPropertyStamp(const VString& inName);
    virtual EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const;
    virtual EJSONStatus IJSON_GetPropertyByIndex(const VJSONObject* inObject, size_t inIndex,
                                                 VJSONValue& outValue) const;
    virtual EJSONStatus IJSON_GetCountPropertiesByIndex(const VJSONObject* inObject, size_t* outCount) const;
    // An iterator object owned by the caller, or null.
    virtual VObject* IJSON_MakeIterator(const VJSONObject* inObject, size_t inFirst, size_t inSecond,
                                        bool inFlag) const;
    virtual EJSONStatus IJSON_GetClassName(const VJSONObject* inObject, VString& outName) const;
    virtual EJSONStatus IJSON_DeepEqualTo(const VJSONObject* inObject, const VJSONObject* inOther,
                                          bool* outEqual) const;
    // The default sets ioFlag to false and answers false.
    virtual bool IJSON_IsSharable(const VJSONObject* inObject, bool& ioFlag) const;
    virtual EJSONStatus IJSON_CallAsFunction(const VJSONObject* inObject, IJSONFunctionContext* inContext);
    virtual VJSONClass* IJSON_GetFunctionClassOwner(const VJSONObject* inObject) const;
    virtual EJSONStatus IJSON_SetJSONStamp(VJSONStamp* inStamp);
    // A delegate that holds JSON collections of its own announces them here.
    virtual void IJSON_DoConnectDependencies(VJSONObject* inObject);
    virtual void IJSON_DoDisconnectDependencies(VJSONObject* inObject);
};

} // namespace kova
