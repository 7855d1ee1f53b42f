// The templates behind the arrays of fixed-width elements:
// - VArrayFixed<T>: elements of one plain type T, ordered by T's own order; element access by
//   1-based position (0 out of range), the search rule of every typed Find, the bisection of
//   QuickFind and the stream form (the elements in one array transfer, in the stream's order).
// - VArrayOfSingles<T, TRAITS>: the value-level access of arrays whose elements are single values
//   of their own (VLong, VTime, ...), through the conversions that TRAITS gives;
//   ArrayNumberElements is the TRAITS of the numbers.
#pragma once

#include "kernel/values/VArrayValue.h"

#include <cstdint>
#include <limits>

namespace kova
{

class VStream;

template <class T>
class VArrayFixed : public VArrayValue
{
public:
    using Element = T;

    VArrayFixed& operator=(const VArrayFixed&) = delete;

    bool CanBeEvaluated() const override { return true; }

    void SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override;
    int32_t CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override;

    // Stream form: the array kind (u32, only when inParam is 'VVAL'), the count (i32), then the
    // elements. A count that is negative (kova 207) or larger than the stream's remaining bytes
    // (its end-of-data error) is refused before anything is allocated; the array then stays as
    // it was.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

protected:
    explicit VArrayFixed(int32_t inCount) : VArrayValue(int32_t(sizeof(T))) { SetCount(inCount); }
    VArrayFixed(const VArrayFixed& inOther) : VArrayValue(inOther) { _CopyBlock(inOther); }

    const T* _Elements() const { return reinterpret_cast<const T*>(fData); }
    T* _Elements() { return reinterpret_cast<T*>(fData); }
    // By 1-based position; 0 out of range, where setting does nothing.
    T _Get(int32_t inIndex) const { return ValidIndex(inIndex) ? _Elements()[inIndex - 1] : T(0); }
    void _Set(T inValue, int32_t inIndex)
    {
        if (ValidIndex(inIndex))
            _Elements()[inIndex - 1] = inValue;
    }
    int32_t _Find(T inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const;
    int32_t _QuickFind(T inValue) const;
};

extern template class VArrayFixed<int8_t>;
extern template class VArrayFixed<int16_t>;
extern template class VArrayFixed<int32_t>;
extern template class VArrayFixed<int64_t>;
extern template class VArrayFixed<uint64_t>;
extern template class VArrayFixed<double>;

// An array of elements that are single values of their own: TRAITS ties the element type T to
// its value class.
// - kElementKind; kDirectSort, true for plain numbers, which sort on the block with QSort instead
//   of element by element;
// - T Take(const VValueSingle&): the element that a value gives;
// - void Give(T, VValueSingle&): hands an element to a value, which converts it to its own kind;
// - VValueSingle* NewSingle(T): a new value holding the element;
// - CompareResult Compare(T, const VValueSingle&, bool inDiacritical): an element against a value.
template <class T, class TRAITS>
class VArrayOfSingles : public VArrayFixed<T>
{
public:
    ValueKind GetElemValueKind() const override { return TRAITS::kElementKind; }

    // A position out of range gives the element 0.
    void GetValue(VValueSingle& outValue, int32_t inIndex) const override
    {
        TRAITS::Give(this->_Get(inIndex), outValue);
    }
    void FromValue(const VValueSingle& inValue, int32_t inIndex) override
    {
        this->_Set(TRAITS::Take(inValue), inIndex);
    }
    VValueSingle* CloneValue(int32_t inIndex) const override
    {
        return TRAITS::NewSingle(this->_Get(inIndex));
    }
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const override
    {
        return TRAITS::Compare(this->_Get(inIndex), inValue, inDiacritical);
    }
    int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                 CompareMethod inMethod) const override
    {
        return this->_Find(TRAITS::Take(inValue), inStart, inForward, inMethod);
    }
    void Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending) override
    {
        if constexpr (TRAITS::kDirectSort)
        {
            if (this->_IsSortableRange(inFirst, inLast))
                QSort(this->_Elements() + (inFirst - 1), inLast - inFirst + 1, inDescending != 0);
        }
        else
        {
            VArrayValue::Sort(inFirst, inLast, inDescending);
        }
    }

protected:
    explicit VArrayOfSingles(int32_t inCount) : VArrayFixed<T>(inCount) {}
    VArrayOfSingles(const VArrayOfSingles& inOther) = default;

    // The smallest and greatest element; an empty array gives the type's greatest and smallest.
    T _GetMin() const
    {
        T smallest = std::numeric_limits<T>::max();
        const T* elements = this->_Elements();
        for (int32_t i = 0; i < this->fCount; ++i)
            smallest = elements[i] < smallest ? elements[i] : smallest;
        return smallest;
    }
    T _GetMax() const
    {
        T greatest = std::numeric_limits<T>::lowest();
        const T* elements = this->_Elements();
        for (int32_t i = 0; i < this->fCount; ++i)
            greatest = elements[i] > greatest ? elements[i] : greatest;
        return greatest;
    }
};

// The traits of the numbers: SINGLE is the value class (its constructor takes a T), GETTER and
// SETTER the VValueSingle pair of the element type (GetLong and FromLong for VLong). Numbers
// compare exactly, as the element type orders them.
template <class T, class SINGLE, ValueKind ELEM_KIND, T (VValueSingle::*GETTER)() const,
          void (VValueSingle::*SETTER)(T)>
struct ArrayNumberElements
{
    static constexpr ValueKind kElementKind = ELEM_KIND;
    static constexpr bool kDirectSort = true;

    static T Take(const VValueSingle& inValue) { return (inValue.*GETTER)(); }
    static void Give(T inElement, VValueSingle& outValue) { (outValue.*SETTER)(inElement); }
    static VValueSingle* NewSingle(T inElement) { return new SINGLE(inElement); }
    static CompareResult Compare(T inElement, const VValueSingle& inValue, bool)
    {
        return CompareNatives(inElement, Take(inValue));
    }
};

} // namespace kova
