// VJSONFunctionContext is the toolbox's function context. A root context belongs to the caller of
// a function and holds its receiver, parameters and result. A child context runs a callee with
// another receiver inside a call: it takes its host contexts from its parent and hands
// parameters, result and scope on to it, so the callee sees the caller's arguments.
//
// The child context that runs a class's constructor answers the scope itself (the constructor's
// function object and the instance), so that the constructor's super call starts from its own
// class.
#pragma once

#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <vector>

namespace kova
{

class VJSONFunctionContext : public VObject, public IJSONFunctionContext
{
public:
    // A root context.
    VJSONFunctionContext(VJSONObject* inThisObject, VJSONArray* inThisArray,
                         std::vector<VJSONValue>* inParameters, CDBQelBaseContext* inBaseContext,
                         VDBLanguageContext* inLanguageContext);
    // A child context of a non-null parent.
    VJSONFunctionContext(VJSONObject* inThisObject, VJSONArray* inThisArray, IJSONFunctionContext* inParent);
    ~VJSONFunctionContext() override;

    // A constructor's child context answers this scope instead of its parent's.
    void SetScope(VJSONObject* inScopeFunctionObject, VJSONObject* inScopeThisObject);
    void SetResultIsExpected(bool inExpected) { fResultIsExpected = inExpected; }

    VJSONObject* GetThisObject() const override { return fThisObject; }
    VJSONArray* GetThisArray() const override { return fThisArray; }
    void SetResult(const VJSONValue& inValue, uint8_t inKind = kResultKind) override;
    void GetResult(VJSONValue& outValue) const override;
    uint8_t GetResultLegacyValueKind() const override { return fResultKind; }
    bool GetResultIsExpected() const override { return fResultIsExpected; }
    EJSONStatus GetParametersAsJSONValues(std::vector<VJSONValue>** outParameters) override;
    EJSONStatus GetParameterList(void** outFirst, void** outSecond, void** outThird,
                                 void** outFourth) override;
    CDBQelBaseContext* GetBaseContext() const override { return fBaseContext; }
    VDBLanguageContext* GetLanguageContext() const override { return fLanguageContext; }
    size_t GetParamCount() const override;
    VJSONValue GetParam(size_t inIndex) const override;
    VJSONObject* GetScopeThisObject() const override;
    VJSONObject* GetScopeFunctionObject() const override;

private:
    VJSONObject* fThisObject;
    VJSONArray* fThisArray;
    std::vector<VJSONValue>* fParameters = nullptr;
    VJSONValue fResult;
    uint8_t fResultKind = kResultKind;
    bool fResultIsExpected = true;
    CDBQelBaseContext* fBaseContext = nullptr;
    VDBLanguageContext* fLanguageContext = nullptr;
    IJSONFunctionContext* fParent = nullptr;
    bool fHasScope = false;
    VJSONObject* fScopeFunctionObject = nullptr;
    VJSONObject* fScopeThisObject = nullptr;
};

} // namespace kova
