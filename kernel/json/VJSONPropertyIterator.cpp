#include "kernel/json/VJSONPropertyIterator.h"

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"

namespace kova
{

VJSONPropertyConstIterator::VJSONPropertyConstIterator(const VJSONObject* inObject)
    : VJSONPropertyConstIterator(inObject, true)
{
}

VJSONPropertyConstIterator::VJSONPropertyConstIterator(const VJSONObject* inObject, bool inTakeSnapshot)
    : fObject(inObject)
{
    if (inTakeSnapshot)
        _TakeSnapshot(false);
}

VJSONPropertyConstIterator::~VJSONPropertyConstIterator() = default;

void VJSONPropertyConstIterator::_TakeSnapshot(bool inOwnNamesAfterGetters)
{
    if (fObject == nullptr)
        return;
    EJSONStatus status = EJSON_unhandled;
    if (IJSONObject* implementation = fObject->GetImplementation())
        status = implementation->IJSON_GetPropertyNames(fNames);
    {
        StCollectionLocks locks(fObject, false);
        const auto& properties = fObject->_GetProperties();
        // The own names of a shared object come before the getters' and are read through the
        // object like the reported ones.
        std::vector<VString>& own = fObject->IsShared() && !inOwnNamesAfterGetters ? fNames : fOwnNames;
        own.reserve(own.size() + properties.size());
        for (const VJSONObject::Property& property : properties)
            own.push_back(property.fName.GetString());
    }
    if (status == EJSON_unhandled && fObject->GetClass() != nullptr)
        fObject->GetClass()->GetGetterNames(fNames);
}

const VString& VJSONPropertyConstIterator::GetName() const
{
    if (fPosition < fNames.size())
        return fNames[fPosition];
    if (fPosition - fNames.size() < fOwnNames.size())
        return fOwnNames[fPosition - fNames.size()];
    return VString::sEmpty;
}

VJSONValue VJSONPropertyConstIterator::GetValue(VDBLanguageContext* inContext) const
{
    if (fPosition < fNames.size())
        return fObject->GetProperty(fNames[fPosition], inContext);
    // Looked up again: the property may have gone since the snapshot (undefined then).
    if (fPosition - fNames.size() < fOwnNames.size())
        return fObject->GetOwnProperty(fOwnNames[fPosition - fNames.size()]);
    return VJSONValue(VJSONValue::sUndefined);
}

// ---------------------------------------------------------------------------------------------

VJSONPropertyIterator::VJSONPropertyIterator(VJSONObject* inObject)
    : VJSONPropertyConstIterator(inObject, false), fUser(inObject)
{
    // Taken once the locker is held.
    _TakeSnapshot(true);
}

VJSONPropertyIterator::~VJSONPropertyIterator() = default;

void VJSONPropertyIterator::SetValue(const VJSONValue& inValue, VDBLanguageContext* inContext) const
{
    VJSONObject* object = const_cast<VJSONObject*>(fObject);
    if (object == nullptr || !IsValid())
        return;
    // Undefined would remove the own property under the iterator.
    if (_IsOwnName() && inValue.IsUndefined())
        return;
    object->SetProperty(GetName(), inValue, inContext);
}

} // namespace kova
