#include "kernel/json/VJSONSuper.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONObject.h"

namespace kova
{

namespace
{

EJSONStatus RefuseWrite()
{
    _ThrowError(VE_JSON_CANNOT_SET_PROPERTY);
    return EJSON_error;
}

} // namespace

VJSONObject* VJSONSuper::CreateObject()
{
    VRefPtr<VJSONSuper> super(new VJSONSuper);
    return new VJSONObject(nullptr, super.Get(), false);
}

EJSONStatus VJSONSuper::IJSON_GetProperty(const VJSONObject*, const VString& inName, VJSONValue& outValue,
                                          VDBLanguageContext*) const
{
    VRefPtr<VJSONObject> member(VJSONSuperMember::CreateObject(inName));
    outValue.SetObject(member.Get());
    return EJSON_done;
}

EJSONStatus VJSONSuper::IJSON_SetProperty(VJSONObject*, const VString&, const VJSONValue&,
                                          VDBLanguageContext*)
{
    return RefuseWrite();
}

EJSONStatus VJSONSuper::IJSON_RemoveProperty(VJSONObject*, const VString&)
{
    return RefuseWrite();
}

EJSONStatus VJSONSuper::IJSON_Clone(const VJSONObject*, VJSONCloner&, VJSONValue& outValue,
                                    VError* outError) const
{
    VRefPtr<VJSONObject> copy(CreateObject());
    outValue.SetObject(copy.Get());
    if (outError != nullptr)
        *outError = VE_OK;
    return EJSON_done;
}

EJSONStatus VJSONSuper::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.FromCString("<<Super>>");
    return EJSON_done;
}

// ---------------------------------------------------------------------------------------------

VJSONSuperMember::VJSONSuperMember(const VString& inMemberName) : fMemberName(inMemberName) {}

VJSONObject* VJSONSuperMember::CreateObject(const VString& inMemberName)
{
    VRefPtr<VJSONSuperMember> member(new VJSONSuperMember(inMemberName));
    return new VJSONObject(nullptr, member.Get(), false);
}

EJSONStatus VJSONSuperMember::IJSON_CallAsFunction(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONObject* receiver = inContext->GetScopeThisObject();
    const VJSONClass* scope = inContext->GetScopeClass();
    if (scope == nullptr)
    {
        _ThrowError(VE_JSON_NO_SCOPE_CLASS);
        return EJSON_error;
    }
    // The member in the nearest prototype above the scope class.
    VJSONValue found;
    for (const VJSONClass* current = scope->GetSuperClass();
         current != nullptr && current->GetPrototype() != nullptr; current = current->GetSuperClass())
    {
        found = current->GetPrototype()->GetProperty(fMemberName);
        if (!found.IsUndefined())
            break;
    }
    if (found.IsUndefined())
    {
        _ThrowError(VE_JSON_CALL_FAILED);
        return EJSON_error;
    }
    const VJSONObject* function = found.GetObject();
    if (function == nullptr || function->GetImplementation() == nullptr)
    {
        _ThrowError(VE_JSON_NOT_A_FUNCTION);
        return EJSON_error;
    }
    VJSONFunctionContext child(receiver, nullptr, inContext);
    return function->GetImplementation()->IJSON_CallAsFunction(function, &child);
}

EJSONStatus VJSONSuperMember::IJSON_SetProperty(VJSONObject*, const VString&, const VJSONValue&,
                                                VDBLanguageContext*)
{
    return RefuseWrite();
}

EJSONStatus VJSONSuperMember::IJSON_RemoveProperty(VJSONObject*, const VString&)
{
    return RefuseWrite();
}

EJSONStatus VJSONSuperMember::IJSON_Clone(const VJSONObject*, VJSONCloner&, VJSONValue& outValue,
                                          VError* outError) const
{
    VRefPtr<VJSONObject> copy(CreateObject(fMemberName));
    outValue.SetObject(copy.Get());
    if (outError != nullptr)
        *outError = VE_OK;
    return EJSON_done;
}

EJSONStatus VJSONSuperMember::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.FromCString("<<Super member: ");
    outText.AppendString(fMemberName);
    outText.AppendCString(">>");
    return EJSON_done;
}

} // namespace kova
