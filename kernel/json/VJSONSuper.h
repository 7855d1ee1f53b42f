// VJSONSuper and VJSONSuperMember let a member function call the same-named member of its
// superclass: a super object's property M is a super member whose call looks M up in the
// prototypes above the class of the running function (the scope class of the call's context) and
// runs it on the scope's receiver, with the caller's parameters and result.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VJSONSuper : public VObject, public IJSONObject
{
public:
    // A new plain object of the default class with a super delegate (one reference).
    static VJSONObject* CreateObject();

    // Any name: a new super member of that name.
    EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext* inContext) const override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_RemoveProperty(VJSONObject* inObject, const VString& inName) override;
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                            VError* outError) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;
};

class VJSONSuperMember : public VObject, public IJSONObject
{
public:
    static VJSONObject* CreateObject(const VString& inMemberName);
    explicit VJSONSuperMember(const VString& inMemberName);

    const VString& GetMemberName() const { return fMemberName; }

    EJSONStatus IJSON_CallAsFunction(const VJSONObject* inObject, IJSONFunctionContext* inContext) override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_RemoveProperty(VJSONObject* inObject, const VString& inName) override;
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                            VError* outError) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;

private:
    VString fMemberName;
};

} // namespace kova
