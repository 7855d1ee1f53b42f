#include "kernel/json/VJSONPropertyConstOrderedIterator.h"

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONObject.h"

namespace kova
{

VJSONPropertyConstOrderedIterator::VJSONPropertyConstOrderedIterator(const VJSONObject* inObject,
                                                                     uint32_t inFlags)
    : fObject(inObject)
{
    if (fObject == nullptr)
        return;
    if ((inFlags & kSkipDelegateNames) == 0)
    {
        if (IJSONObject* implementation = fObject->GetImplementation())
            implementation->IJSON_GetPropertyNames(fNames);
    }
    const auto& properties = fObject->_GetProperties();
    fOwn.reserve(properties.size());
    for (const VJSONObject::Property& property : properties)
        fOwn.push_back(OwnProperty{property.fName.GetString(), property.fValue});
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
