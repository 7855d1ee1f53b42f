#include "kernel/json/VJSONMemberFunction.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"

namespace kova
{

namespace
{

VJSONObject* FunctionClassObject()
{
    VJSONClassStore* store = VJSONClassStore::GetProcessClassStore();
    return store != nullptr ? store->GetFunctionClassObject() : nullptr;
}

// The receiver a call argument stands for: an object or an array, else none.
void ReceiverOf(const VJSONValue& inValue, VJSONObject*& outObject, VJSONArray*& outArray)
{
    outObject = inValue.GetObject();
    outArray = inValue.GetArray();
}

// Runs the function in a root context of its own and copies its result back to the caller's.
EJSONStatus RunWithReceiver(const VJSONObject* inFunction, const VJSONValue& inReceiver,
                            std::vector<VJSONValue>* inParameters, IJSONFunctionContext* inCaller)
{
    VJSONObject* thisObject = nullptr;
    VJSONArray* thisArray = nullptr;
    ReceiverOf(inReceiver, thisObject, thisArray);
    VJSONFunctionContext context(thisObject, thisArray, inParameters, inCaller->GetBaseContext(),
                                 inCaller->GetLanguageContext());
    EJSONStatus status = inFunction->GetImplementation()->IJSON_CallAsFunction(inFunction, &context);
    VJSONValue result;
    context.GetResult(result);
    inCaller->SetResult(result, context.GetResultLegacyValueKind());
    if (status == EJSON_unhandled)
        _ThrowError(VE_JSON_CALL_FAILED);
    return status;
}

} // namespace

VJSONMemberFunction::VJSONMemberFunction(JSONNativeFunction inFunction, const VString& inName,
                                         VJSONClass* inOwner)
    : fFunction(inFunction), fName(inName), fOwner(inOwner)
{
}

VJSONObject* VJSONMemberFunction::_MakeFunctionObject(VJSONMemberFunction* inFunction, bool inShared)
{
    return new VJSONObject(FunctionClassObject(), inFunction, inShared);
}

VJSONObject* VJSONMemberFunction::Create(JSONNativeFunction inFunction, const VString& inMemberName,
                                         VJSONClass* inOwner, uint32_t inFlags)
{
    VString name;
    if (inOwner != nullptr)
    {
        name.FromString(inOwner->GetName());
        name.AppendUniChar(u'.');
    }
    name.AppendString(inMemberName);
    VJSONObject* functionObject = CreateNamed(inFunction, name, inOwner);
    if ((inFlags & (VJSONClass::kFunctionFinal | VJSONClass::kFunctionHidden)) != 0)
    {
        VJSONUser user(functionObject);
        if ((inFlags & VJSONClass::kFunctionFinal) != 0)
            functionObject->SetOwnProperty(VJSONClass::sFunctionProperty_final,
                                           VJSONValue(VJSONValue::sTrue));
        if ((inFlags & VJSONClass::kFunctionHidden) != 0)
            functionObject->SetOwnProperty(VJSONClass::sFunctionProperty_hidden,
                                           VJSONValue(VJSONValue::sTrue));
    }
    return functionObject;
}

VJSONObject* VJSONMemberFunction::CreateNamed(JSONNativeFunction inFunction, const VString& inName,
                                              VJSONClass* inOwner)
{
    VRefPtr<VJSONMemberFunction> function(new VJSONMemberFunction(inFunction, inName, inOwner));
    return _MakeFunctionObject(function.Get(), true);
}

// ---------------------------------------------------------------------------------------------
// apply and call

EJSONStatus VJSONMemberFunction::do_apply(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONObject* function = inContext->GetThisObject();
    if (function == nullptr || function->GetImplementation() == nullptr)
    {
        _ThrowError(VE_JSON_CALL_FAILED);
        inContext->SetResult(VJSONValue(VJSONValue::sUndefined), IJSONFunctionContext::kResultKind);
        return EJSON_error;
    }
    VJSONValue receiver = inContext->GetParam(1);
    VJSONValue arguments = inContext->GetParam(2);
    std::vector<VJSONValue> parameters;
    if (const VJSONArray* array = arguments.GetArray())
        array->GetValues(parameters);
    return RunWithReceiver(function, receiver, parameters.empty() ? nullptr : &parameters, inContext);
}

EJSONStatus VJSONMemberFunction::do_call(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONObject* function = inContext->GetThisObject();
    if (function == nullptr || function->GetImplementation() == nullptr)
    {
        _ThrowError(VE_JSON_CALL_FAILED);
        return EJSON_error;
    }
    std::vector<VJSONValue>* callerParameters = nullptr;
    EJSONStatus status = inContext->GetParametersAsJSONValues(&callerParameters);
    if (status != EJSON_done)
    {
        if (status == EJSON_unhandled)
            _ThrowError(VE_JSON_CALL_FAILED);
        return status;
    }
    if (callerParameters == nullptr || callerParameters->empty())
    {
        // No receiver: the callee sees the caller's own parameters and result.
        VJSONFunctionContext child(nullptr, nullptr, inContext);
        status = function->GetImplementation()->IJSON_CallAsFunction(function, &child);
        if (status == EJSON_unhandled)
            _ThrowError(VE_JSON_CALL_FAILED);
        return status;
    }
    VJSONValue receiver = (*callerParameters)[0];
    std::vector<VJSONValue> parameters(callerParameters->begin() + 1, callerParameters->end());
    return RunWithReceiver(function, receiver, parameters.empty() ? nullptr : &parameters, inContext);
}

// ---------------------------------------------------------------------------------------------
// The function object

EJSONStatus VJSONMemberFunction::IJSON_GetProperty(const VJSONObject*, const VString& inName,
                                                   VJSONValue& outValue, VDBLanguageContext*) const
{
    if (!inName.EqualToUSASCIICString("_description"))
        return EJSON_unhandled;
    outValue.SetString(fName);
    return EJSON_done;
}

EJSONStatus VJSONMemberFunction::IJSON_SetProperty(VJSONObject*, const VString&, const VJSONValue&,
                                                   VDBLanguageContext*)
{
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONMemberFunction::IJSON_Clear(VJSONObject*)
{
    return EJSON_done;
}

bool VJSONMemberFunction::IJSON_IsEmpty(const VJSONObject*) const
{
    return false;
}

EJSONStatus VJSONMemberFunction::IJSON_RemoveProperty(VJSONObject*, const VString&)
{
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONMemberFunction::IJSON_Stringify(const VJSONObject* inObject, VJSONWriter&, VString& outText,
                                                 VError* outError) const
{
    if (outError != nullptr)
        *outError = VE_OK;
    IJSON_GetDescription(inObject, outText);
    return EJSON_done;
}

EJSONStatus VJSONMemberFunction::IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner,
                                             VJSONValue& outValue, VError* outError) const
{
    // A copy has no owner class: no super call starts from it.
    VRefPtr<VJSONMemberFunction> function(new VJSONMemberFunction(fFunction, fName, nullptr));
    VRefPtr<VJSONObject> copy(
        _MakeFunctionObject(function.Get(), inCloner.GetMode() == VJSONCloner::kBindToOneLocker));
    VError error = VE_OK;
    {
        VJSONUser user(copy.Get());
        error = inObject->CloneProperties(inCloner, copy.Get());
    }
    if (outError != nullptr)
        *outError = error;
    if (error != VE_OK)
        return EJSON_error;
    outValue.SetObject(copy.Get());
    return EJSON_done;
}

EJSONStatus VJSONMemberFunction::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.FromCString("<<Native Function: ");
    outText.AppendString(fName);
    outText.AppendCString(" >>");
    return EJSON_done;
}

EJSONStatus VJSONMemberFunction::IJSON_CallAsFunction(const VJSONObject* inObject,
                                                      IJSONFunctionContext* inContext)
{
    return fFunction != nullptr ? fFunction(inObject, inContext) : EJSON_unhandled;
}

VJSONClass* VJSONMemberFunction::IJSON_GetFunctionClassOwner(const VJSONObject*) const
{
    return fOwner;
}

} // namespace kova
