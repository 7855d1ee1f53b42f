#include "kernel/json/VJSONFunctionContext.h"

#include "kernel/json/IJSONObject.h"

namespace kova
{

VJSONFunctionContext::VJSONFunctionContext(VJSONObject* inThisObject, VJSONArray* inThisArray,
                                           std::vector<VJSONValue>* inParameters,
                                           CDBQelBaseContext* inBaseContext,
                                           VDBLanguageContext* inLanguageContext)
    : fThisObject(inThisObject), fThisArray(inThisArray), fParameters(inParameters),
      fBaseContext(inBaseContext), fLanguageContext(inLanguageContext)
{
}

VJSONFunctionContext::VJSONFunctionContext(VJSONObject* inThisObject, VJSONArray* inThisArray,
                                           IJSONFunctionContext* inParent)
    : fThisObject(inThisObject), fThisArray(inThisArray), fBaseContext(inParent->GetBaseContext()),
      fLanguageContext(inParent->GetLanguageContext()), fParent(inParent)
{
}

VJSONFunctionContext::~VJSONFunctionContext() = default;

void VJSONFunctionContext::SetScope(VJSONObject* inScopeFunctionObject, VJSONObject* inScopeThisObject)
{
    fHasScope = true;
    fScopeFunctionObject = inScopeFunctionObject;
    fScopeThisObject = inScopeThisObject;
}

void VJSONFunctionContext::SetResult(const VJSONValue& inValue, uint8_t inKind)
{
    if (fParent != nullptr)
    {
        fParent->SetResult(inValue, kResultKind);
        return;
    }
    fResult = inValue;
    fResultKind = inKind;
}

void VJSONFunctionContext::GetResult(VJSONValue& outValue) const
{
    if (fParent != nullptr)
        fParent->GetResult(outValue);
    else
        outValue = fResult;
}

EJSONStatus VJSONFunctionContext::GetParametersAsJSONValues(std::vector<VJSONValue>** outParameters)
{
    if (fParent != nullptr)
        return fParent->GetParametersAsJSONValues(outParameters);
    *outParameters = fParameters;
    return EJSON_done;
}

EJSONStatus VJSONFunctionContext::GetParameterList(void** outFirst, void** outSecond, void** outThird,
                                                   void** outFourth)
{
    if (fParent != nullptr)
        return fParent->GetParameterList(outFirst, outSecond, outThird, outFourth);
    return EJSON_unhandled;
}

size_t VJSONFunctionContext::GetParamCount() const
{
    if (fParent != nullptr)
        return fParent->GetParamCount();
    return fParameters != nullptr ? fParameters->size() : 0;
}

VJSONValue VJSONFunctionContext::GetParam(size_t inIndex) const
{
    if (fParent != nullptr)
        return fParent->GetParam(inIndex);
    if (fParameters == nullptr || inIndex < 1 || inIndex > fParameters->size())
        return VJSONValue(VJSONValue::sUndefined);
    return (*fParameters)[inIndex - 1];
}

VJSONObject* VJSONFunctionContext::GetScopeThisObject() const
{
    if (fHasScope)
        return fScopeThisObject;
    return fParent != nullptr ? fParent->GetScopeThisObject() : nullptr;
}

VJSONObject* VJSONFunctionContext::GetScopeFunctionObject() const
{
    if (fHasScope)
        return fScopeFunctionObject;
    return fParent != nullptr ? fParent->GetScopeFunctionObject() : nullptr;
}

} // namespace kova
