#include "kernel/json/IJSONFunctionContext.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/IJSONObject.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/RealToInteger.h"

namespace kova
{

IJSONFunctionContext::~IJSONFunctionContext() = default;

EJSONStatus IJSONFunctionContext::GetParameterList(void**, void**, void**, void**)
{
    return EJSON_unhandled;
}

VJSONClass* IJSONFunctionContext::GetScopeClass() const
{
    const VJSONObject* function = GetScopeFunctionObject();
    if (function == nullptr || function->GetImplementation() == nullptr)
        return nullptr;
    return function->GetImplementation()->IJSON_GetFunctionClassOwner(function);
}

bool IJSONFunctionContext::_Check(const VJSONValue&, bool inAccepted, VError inError)
{
    if (inAccepted)
        return true;
    fParameterCheck = false;
    _ThrowError(inError);
    return false;
}

double IJSONFunctionContext::GetNumberParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    _Check(value, value.IsNumber(), VE_JSON_PARAM_NOT_A_NUMBER);
    return value.GetNumber();
}

bool IJSONFunctionContext::GetNumberOptParam(size_t inIndex, double& outNumber)
{
    VJSONValue value = GetParam(inIndex);
    if (value.IsUndefined())
    {
        fParameterCheck = false;
        return false;
    }
    if (!_Check(value, value.IsNumber(), VE_JSON_PARAM_NOT_A_NUMBER))
        return false;
    outNumber = value.GetNumber();
    return true;
}

JSONBlobParam IJSONFunctionContext::GetBlobParam(size_t inIndex, bool inOptional)
{
    JSONBlobParam param;
    VJSONValue value = GetParam(inIndex);
    VJSONBlob* blob = VJSONBlob::CastJSONObject(value.GetObject());
    if (blob == nullptr)
    {
        if (!inOptional)
            _Check(value, false, VE_JSON_PARAM_NOT_A_COLLECTION);
        return param;
    }
    param.fFound = true;
    param.fData = blob->GetData();
    param.fSize = size_t(blob->GetSize());
    return param;
}

int32_t IJSONFunctionContext::GetLongParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    _Check(value, value.IsNumber(), VE_JSON_PARAM_NOT_A_NUMBER);
    return RealToInteger<int32_t>(value.GetNumber());
}

bool IJSONFunctionContext::GetBoolParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    _Check(value, value.IsBool(), VE_JSON_PARAM_NOT_A_BOOLEAN);
    return value.GetBool();
}

VString IJSONFunctionContext::GetStringParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    VString text;
    if (_Check(value, value.IsString(), VE_JSON_PARAM_NOT_A_STRING))
        value.GetString(text);
    return text;
}

VRefPtr<VJSONObject> IJSONFunctionContext::GetObjectParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    if (!_Check(value, value.IsObject(), VE_JSON_PARAM_NOT_A_COLLECTION))
        return nullptr;
    return VRefPtr<VJSONObject>(value.RetainObject());
}

VRefPtr<VJSONArray> IJSONFunctionContext::GetArrayParam(size_t inIndex)
{
    VJSONValue value = GetParam(inIndex);
    if (!_Check(value, value.IsArray(), VE_JSON_PARAM_NOT_A_COLLECTION))
        return nullptr;
    return VRefPtr<VJSONArray>(value.RetainArray());
}

} // namespace kova
