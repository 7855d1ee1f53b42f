// VJSONMemberFunction wraps one native function as a member function of a class: it is the
// delegate of a function object, a shared VJSONObject of the root class "Function", which the
// class's prototype holds under the member's name. Calling the function object calls the native
// function with the function object and the call's context. A function object refuses ordinary
// writes; its marks ("final", "__hidden", "eventName") are its own properties, set when it is made.
//
// do_apply and do_call are the members apply and call of "Function": f.apply(thisArgument,
// argumentArray) and f.call(thisArgument, argument...).
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VJSONMemberFunction : public VObject, public IJSONObject
{
public:
    // A new function object (one reference for the caller) named after the owner's class, a dot
    // and the member; flag 1 marks it final, flag 2 hidden.
    static VJSONObject* Create(JSONNativeFunction inFunction, const VString& inMemberName,
                               VJSONClass* inOwner, uint32_t inFlags);
    // A function object of that exact name, owned by the class (a constructor: "constructor").
    static VJSONObject* CreateNamed(JSONNativeFunction inFunction, const VString& inName,
                                    VJSONClass* inOwner);
    VJSONMemberFunction(JSONNativeFunction inFunction, const VString& inName, VJSONClass* inOwner);

    const VString& GetName() const { return fName; }
    JSONNativeFunction GetFunction() const { return fFunction; }

    static EJSONStatus do_apply(const VJSONObject* inFunctionObject, IJSONFunctionContext* inContext);
    static EJSONStatus do_call(const VJSONObject* inFunctionObject, IJSONFunctionContext* inContext);

    EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext* inContext) const override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_Clear(VJSONObject* inObject) override;
    bool IJSON_IsEmpty(const VJSONObject* inObject) const override;
    EJSONStatus IJSON_RemoveProperty(VJSONObject* inObject, const VString& inName) override;
    EJSONStatus IJSON_Stringify(const VJSONObject* inObject, VJSONWriter& inWriter, VString& outText,
                                VError* outError) const override;
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                            VError* outError) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;
    EJSONStatus IJSON_CallAsFunction(const VJSONObject* inObject, IJSONFunctionContext* inContext) override;
    VJSONClass* IJSON_GetFunctionClassOwner(const VJSONObject* inObject) const override;

private:
    // The function object around a member function: shared, of class "Function".
    static VJSONObject* _MakeFunctionObject(VJSONMemberFunction* inFunction, bool inShared);

    JSONNativeFunction fFunction;
    VString fName;
    VJSONClass* fOwner;
};

} // namespace kova
