// VJSONPropertyConstIterator and VJSONPropertyIterator walk all properties of an object: first
// the names its native delegate reports (and, when the delegate leaves them to the object, the
// names of its class's getters), then its own properties. Both walk a snapshot of the names taken
// when they are made and look each property up again when it is read, so that a getter, a setter
// or any other code that changes the object meanwhile leaves nothing dangling: a property removed
// since reads undefined.
//
// VJSONPropertyIterator holds the object's storage locker (VJSONUser) for its whole life, so that
// it may change the properties it walks:
//
//     for (VJSONPropertyIterator it(object); it.IsValid(); ++it)
//         it.SetValue(Transformed(it.GetValue()));
//
// Neither retains the object: the caller keeps it alive. For insertion order, see
// VJSONPropertyConstOrderedIterator.
#pragma once

#include "kernel/json/VJSONValue.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <vector>

namespace kova
{

class VDBLanguageContext;
class VJSONObject;

class VJSONPropertyConstIterator : public VObject
{
public:
    explicit VJSONPropertyConstIterator(const VJSONObject* inObject);
    ~VJSONPropertyConstIterator() override;

    bool IsValid() const { return fPosition < fNames.size() + fOwnNames.size(); }
    VJSONPropertyConstIterator& operator++()
    {
        ++fPosition;
        return *this;
    }
    const VString& GetName() const;
    // A reported name through the object's full look-up, an own name as the property now is.
    VJSONValue GetValue(VDBLanguageContext* inContext = nullptr) const;

protected:
    // Without the snapshot, which the derived iterator takes once it holds the locker.
    VJSONPropertyConstIterator(const VJSONObject* inObject, bool inTakeSnapshot);
    void _TakeSnapshot(bool inOwnNamesAfterGetters);

    // Whether the current name is one of the own properties' (looked up as such).
    bool _IsOwnName() const { return fPosition >= fNames.size(); }

    const VJSONObject* fObject;
    // Names read through GetProperty, then the own names.
    std::vector<VString> fNames;
    std::vector<VString> fOwnNames;
    size_t fPosition = 0;
};

class VJSONPropertyIterator : public VJSONPropertyConstIterator
{
public:
    explicit VJSONPropertyIterator(VJSONObject* inObject);
    ~VJSONPropertyIterator() override;

    // Sets the current property through SetProperty; on an own property undefined is ignored, so
    // that the property under the iterator is never removed.
    void SetValue(const VJSONValue& inValue, VDBLanguageContext* inContext = nullptr) const;

private:
    VJSONUser fUser;
};

} // namespace kova
