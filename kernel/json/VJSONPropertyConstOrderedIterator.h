// VJSONPropertyConstOrderedIterator walks an object's properties in a fixed order: first the
// names its native delegate reports and the names of its class's getters, then its own properties
// in insertion order. It takes a snapshot when it is made (the names, and copies of the own
// values), so that code run while iterating (a delegate, a writer) may change the object without
// leaving the iterator pointing into freed storage. Of a shared object it takes the names alone,
// under the object's locks, the delegate's first and then the own ones, and reads each value
// when asked. The object is not retained: the caller keeps it alive.
//
//     for (VJSONPropertyConstOrderedIterator it(object, 0); it.IsValid(); ++it)
//         Use(it.GetName(), it.GetValue());
#pragma once

#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VDBLanguageContext;
class VJSONObject;

class VJSONPropertyConstOrderedIterator : public VObject
{
public:
    // Flag 1 leaves out the delegate's names; flag 2 the getter names of the object's class.
    static constexpr uint32_t kSkipDelegateNames = 1;
    static constexpr uint32_t kSkipGetterNames = 2;

    VJSONPropertyConstOrderedIterator(const VJSONObject* inObject, uint32_t inFlags);
    ~VJSONPropertyConstOrderedIterator() override;

    bool IsValid() const { return fPosition < fNames.size() + fOwn.size(); }
    VJSONPropertyConstOrderedIterator& operator++()
    {
        ++fPosition;
        return *this;
    }
    const VString& GetName() const;
    // A reported name (and any name of a shared object) is looked up through the object
    // (VJSONObject::GetProperty); an own property gives its value as it was when the iterator
    // was made.
    VJSONValue GetValue(VDBLanguageContext* inContext = nullptr) const;

private:
    struct OwnProperty
    {
        VString fName;
        VJSONValue fValue;
    };

    const VJSONObject* fObject;
    std::vector<VString> fNames;
    std::vector<OwnProperty> fOwn;
    size_t fPosition = 0;
};

} // namespace kova
