// VJSONArray is the array of the JSON model: a reference-counted, ordered list of VJSONValues.
// Several values, objects and arrays may point at one array; copying a value shares it. The
// parser appends to arrays, the writers read them, error contexts and reports build arrays of
// records.
//
// An array may be shared between tasks through a storage locker (VStorageLocker): any task may
// read it, only the task holding the locker may change it (QLRT -10720 otherwise), and a
// collection stored into it must be admitted by the locker. Arrays and objects that hold each
// other are linked in a reference graph that frees cycles (VJSONGraph; the counting is
// VJSONCollection's).
//
// Sort hands the caller's comparator nothing but two values: it sorts a list of indexes with a
// merge sort of its own that never reads outside the array, whatever the comparator answers, and
// then moves each element once along its permutation (apply_permutation).
#pragma once

#include "kernel/json/VJSONCollection.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kova
{

class VCompareOptions;
class VJSONCloner;
class VJSONStamp;
class VStorageLocker;

// What Sort asks: IsLess(a, b) is true when a must come before b. It should be a strict weak
// ordering; one that is not makes Sort fail with kova 917 and keep the order.
class IJSONValueComparator
{
public:
    virtual ~IJSONValueComparator();
    virtual bool IsLess(const VJSONValue& inFirst, const VJSONValue& inSecond) = 0;
};

// Reorders the values in place so that the new element i is the old element ioPermutation[i],
// moving each element, never copying it, and leaves the permutation as the identity. The
// permutation must hold each index below the size exactly once.
template <class T>
void apply_permutation(std::vector<T>& ioValues, std::vector<size_t>& ioPermutation)
{
    for (size_t i = 0; i < ioPermutation.size(); ++i)
    {
        if (ioPermutation[i] == i)
            continue;
        size_t j = i;
        while (ioPermutation[j] != i)
        {
            size_t k = ioPermutation[j];
            std::swap(ioValues[j], ioValues[k]);
            ioPermutation[j] = j;
            j = k;
        }
        ioPermutation[j] = j;
    }
}

class VJSONArray : public VJSONCollection
{
public:
    // Unshared, or shared between tasks with a new adoptable locker.
    explicit VJSONArray(bool inShared = false);
    // Bound to the locker (retained; null: unshared).
    explicit VJSONArray(VStorageLocker* inLocker);
    ~VJSONArray() override;

    // A shared array is counted under its locks.
    size_t GetCount() const { return _GetLocker() == nullptr ? fValues.size() : _GetCountLocked(); }

    // ----- Reading (shared arrays are read under their locks, by any task)
    // A copy of the element; undefined past the end.
    VJSONValue GetAt(size_t inIndex) const;
    // False, and outValue undefined, past the end.
    bool GetAt(size_t inIndex, VJSONValue& outValue) const;
    // Copies of all elements.
    void GetValues(std::vector<VJSONValue>& outValues) const;
    // The element's stamp (0 past the end); touching gives it a new one.
    uint32_t GetStampAt(size_t inIndex) const;
    void TouchStampAt(size_t inIndex);
    // The elements' texts joined with ",": the text of an array value. An array met again inside
    // itself raises kova 900 and gives an empty text. Returns the first error of a nested text,
    // or kova 107 when the joined text is too long.
    VError GetString(VString& outText, std::unordered_set<const VJSONArray*>* ioVisited = nullptr) const;
    // The elements' texts with the separator between the parts written. Null and undefined are
    // skipped, or written "null" with inNullAsText; empty texts are skipped unless inKeepEmpty.
    // Holds the locker meanwhile.
    void JoinAsString(const VString& inSeparator, VString& outText, bool inKeepEmpty,
                      bool inNullAsText) const;
    // Same count and pairwise deep-equal elements.
    bool DeepEqualTo(const VJSONArray* inOther, const VCompareOptions& inOptions) const;
    bool _DeepEqualTo(const VJSONArray* inOther, const VCompareOptions& inOptions,
                      VJSONComparedPairs& ioPairs) const;
    // {"ranges": [{"start": i, "end": j}, ...]}: the runs of consecutive rows found in the
    // selection array (objects by identity, other rows by CompareTo with a tolerance of 1e-6).
    // Holds both arrays' lockers meanwhile, taken in the order of their identifiers.
    VJSONValue GetSelectedRows(const VJSONValue& inSelection) const;
    // The array's copy into outValue through the cloner, which reproduces sharing and cycles.
    VError Clone(VJSONValue& outValue, VJSONCloner& inCloner) const;

    // ----- Changes: false when memory runs out, when the array is shared and the calling task
    // does not hold its locker (QLRT -10720), or when the locker refuses the stored collection.
    bool Push(const VJSONValue& inValue);
    // Stores the value without copying it (the element still gets a new stamp).
    bool Push(VJSONValue&& inValue);
    // False, nothing changed or admitted, past the end.
    bool SetAt(size_t inIndex, const VJSONValue& inValue);
    bool SetAt_unchecked(size_t inIndex, const VJSONValue& inValue);
    // Up to inCount elements from inIndex; nothing, and no error, when inIndex is past the end.
    void RemoveAt(size_t inIndex, size_t inCount);
    // New slots are null.
    bool Resize(size_t inCount);
    // New slots hold copies of one value of the type: they share one new object or array.
    bool Resize(size_t inCount, JSONType inType);
    void Clear();
    // Appends copies of the other's elements (the array itself doubles). A refused element stops
    // the appending; those appended before stay.
    bool Concatenate(const VJSONArray& inOther);
    // Reorders the elements by the comparator. A comparator that throws or contradicts itself
    // raises kova 917 and leaves the order unchanged.
    void Sort(IJSONValueComparator* inComparator);
    // Takes the caller's elements and hands the array's former ones back through the argument.
    void SwapValues(std::vector<VJSONValue>& ioValues);
    // Attaches a change counter (retained; null detaches).
    void SetJSONStamp(VJSONStamp* inStamp) { _SwapJSONStamp(inStamp); }

    // ----- The graph
    // The references held from inFrom on leave the graph's counts; the elements stay.
    void DisconnectAll(size_t inFrom = 0);
    // Empties the array, keeping the graph's counts right.
    void ClearFromGraph();

    // Moves the values in after the elements (for the reader: the array is new and unlinked;
    // the reader links the whole tree at its end). False when memory ran out.
    bool _AdoptValues(VJSONValue* inFirst, VJSONValue* inLast);
    // The elements, for the writers of this subsystem: unshared arrays only, or under the
    // array's locks.
    const std::vector<VJSONValue>& _GetValues() const { return fValues; }

private:
    size_t _GetCountLocked() const;
    bool _ChangeNeedsGraphLock(const VJSONValue* inStored) const;
    // Appends one element and links it; the caller holds the locks and made the checks.
    template <class VALUE>
    bool _Append(VALUE&& inValue);
    // Replaces one element and links it; the previous one is unlinked once out of the array.
    bool _Replace(size_t inIndex, const VJSONValue& inValue);
    // Takes the elements from inFrom out of the array (for their destruction after the locks).
    void _TakeValues(size_t inFrom, std::vector<VJSONValue>& outValues);

    std::vector<VJSONValue> fValues;
};

} // namespace kova
