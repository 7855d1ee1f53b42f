#include "kernel/json/VJSONPropertyConstOrderedIterator.h"

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"

namespace kova
{

VJSONPropertyConstOrderedIterator::VJSONPropertyConstOrderedIterator(const VJSONObject* inObject,
                                                                     uint32_t inFlags)
    : fObject(inObject)
{
    if (fObject == nullptr)
        return;
    IJSONObject* implementation = fObject->GetImplementation();
    EJSONStatus status = EJSON_unhandled;
    if ((inFlags & kSkipDelegateNames) == 0 && implementation != nullptr)
        status = implementation->IJSON_GetPropertyNames(fNames);
    if (fObject->IsShared())
    {
        // Names only, read again when asked: other tasks may change the object meanwhile.
        StCollectionLocks locks(fObject, false);
        const auto& properties = fObject->_GetProperties();
        std::vector<VString> names;
        names.reserve(fNames.size() + properties.size());
        for (const VString& name : fNames)
        {
            if (!fObject->_HasOwnProperty(name))
                names.push_back(name);
        }
        for (const VJSONObject::Property& property : properties)
            names.push_back(property.fName.GetString());
        fNames.swap(names);
    }
    else
    {
        const auto& properties = fObject->_GetProperties();
        fOwn.reserve(properties.size());
        for (const VJSONObject::Property& property : properties)
            fOwn.push_back(OwnProperty{property.fName.GetString(), property.fValue});
    }
    if ((inFlags & kSkipGetterNames) == 0 && status == EJSON_unhandled && fObject->GetClass() != nullptr)
        fObject->GetClass()->GetGetterNames(fNames);
}

VJSONPropertyConstOrderedIterator::~VJSONPropertyConstOrderedIterator() = default;

const VString& VJSONPropertyConstOrderedIterator::GetName() const
{
    if (fPosition < fNames.size())
        return fNames[fPosition];
    if (fPosition - fNames.size() < fOwn.size())
        return fOwn[fPosition - fNames.size()].fName;
    return VString::sEmpty;
}

VJSONValue VJSONPropertyConstOrderedIterator::GetValue(VDBLanguageContext* inContext) const
{
    if (fPosition < fNames.size())
        return fObject->GetProperty(fNames[fPosition], inContext);
    if (fPosition - fNames.size() < fOwn.size())
        return fOwn[fPosition - fNames.size()].fValue;
    return VJSONValue(VJSONValue::sUndefined);
}

} // namespace kova
