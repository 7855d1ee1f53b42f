// VJSONIter walks the elements of an array, or the property names of an object, one NextValue at
// a time. It is reference-counted (count 1 when made) so that script-facing code can hand it
// around as an object.
//
//     VRefPtr<VJSONIter> it(new VJSONIter(array, -2, 0, true)); // the last two elements
//     for (VJSONValue value; it->NextValue(value);)
//         Use(value);
//
// The array form reads the array as it is at each step, under the array's locker when it is
// shared: elements removed meanwhile end the walk early. The object form takes the names when it
// is made, unless the object's delegate supplies an iterator of its own, which then answers.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VJSONArray;
class VJSONObject;

class VJSONIter : public VObject, public IJSONObject
{
public:
    // The names in the order of the ordered property iterator (delegate names, own properties by
    // insertion, getter names); start and end are only handed to the delegate.
    VJSONIter(VJSONObject* inObject, int32_t inStart, int32_t inEnd, bool inFlag);
    // Elements from inStart (counted from the end when negative) up to inEnd excluded (counted
    // from the end when negative, at most the length), or to the end with inToEnd.
    VJSONIter(VJSONArray* inArray, int32_t inStart, int32_t inEnd, bool inToEnd);
    VJSONIter(const VJSONIter&) = delete;
    VJSONIter& operator=(const VJSONIter&) = delete;
    ~VJSONIter() override;

    // The next element, or the next name as a string; false, with undefined, at the end.
    bool NextValue(VJSONValue& outValue);

private:
    VJSONValue fValue;
    std::vector<VString> fNames;
    size_t fNamePosition = 0;
    size_t fNameEnd = 0;
    int32_t fEndIndex = 0;
    int32_t fNextIndex = 0;
    // Not retained: the object held by fValue keeps it.
    IJSONObject* fDelegate = nullptr;
    VJSONIter* fDelegateIterator = nullptr;
};

} // namespace kova
