// VArrayOfValues<VALUE> is the body of the arrays whose elements are values they own
// (VArrayString, VArrayBlob): each slot holds a pointer to a VALUE or null, the empty slot, which
// is what a new slot holds. The array destroys the values of the slots it drops (deletion,
// shrinking, destruction), and a copy of the array holds copies of the values, never the same
// ones. Empty slots order before every value and equal one another.
#pragma once

#include "kernel/values/VArrayValue.h"

#include <cstdint>
#include <utility>

namespace kova
{

template <class VALUE>
class VArrayOfValues : public VArrayValue
{
public:
    VArrayOfValues& operator=(const VArrayOfValues&) = delete;
    ~VArrayOfValues() override { DeleteElements(0, fCount); }

    bool CanBeEvaluated() const override { return true; }

    // Makes copies of the source's values; on failure the array is empty.
    bool Copy(const VArrayValue& inSource) override
    {
        if (&inSource == this)
            return true;
        if (inSource.GetTrueValueKind() != GetTrueValueKind())
            return false;
        return _CopyValues(static_cast<const VArrayOfValues&>(inSource));
    }

    // Destroys the values of the 0-based run and empties their slots; nothing for a run that does
    // not lie in the array.
    void DeleteElements(int32_t inStart, int32_t inCount) override
    {
        if (fData == nullptr || !_IsValidRun(inStart, inCount))
            return;
        for (int32_t i = inStart; i < inStart + inCount; ++i)
        {
            delete _Slots()[i];
            _Slots()[i] = nullptr;
        }
    }

    void SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override
    {
        VALUE** slots = reinterpret_cast<VALUE**>(inData);
        std::swap(slots[inFirst], slots[inSecond]);
    }

    int32_t CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override
    {
        VALUE* const* slots = reinterpret_cast<VALUE* const*>(inData);
        const VALUE* first = slots[inFirst];
        const VALUE* second = slots[inSecond];
        if (first == nullptr || second == nullptr)
            return first == second ? 0 : (first == nullptr ? -1 : 1);
        return _CompareValues(*first, *second);
    }

protected:
    VArrayOfValues() : VArrayValue(int32_t(sizeof(VALUE*))) {}
    // The element size and flags only: the class that can copy values calls _CopyValues.
    VArrayOfValues(const VArrayOfValues& inOther) : VArrayValue(inOther) {}

    // The order of two values for sorting.
    virtual CompareResult _CompareValues(const VALUE& inFirst, const VALUE& inSecond) const = 0;
    // A new copy of a value, owned by the caller; null when it cannot be made whole.
    virtual VALUE* _CopyValue(const VALUE& inValue) const = 0;

    VALUE** _Slots() const { return reinterpret_cast<VALUE**>(fData); }
    // By 1-based position; null out of range and for an empty slot.
    VALUE* _Slot(int32_t inIndex) const { return ValidIndex(inIndex) ? _Slots()[inIndex - 1] : nullptr; }
    // What a value receives from an element that is not there: it is cleared for a position out
    // of range, and made null for an empty slot.
    void _GiveMissing(VValueSingle& outValue, int32_t inIndex) const
    {
        outValue.Clear();
        if (ValidIndex(inIndex))
            outValue.SetNull(true);
    }
    // Puts a value the caller made into a slot, destroying what the slot held.
    void _Replace(int32_t inIndex, VALUE* inValue)
    {
        delete _Slots()[inIndex - 1];
        _Slots()[inIndex - 1] = inValue;
    }

    bool _CopyValues(const VArrayOfValues& inSource)
    {
        SetCount(0);
        if (!SetCount(inSource.fCount))
            return false;
        for (int32_t i = 0; i < fCount; ++i)
        {
            const VALUE* value = inSource._Slots()[i];
            if (value == nullptr)
                continue;
            _Slots()[i] = _CopyValue(*value);
            if (_Slots()[i] == nullptr)
            {
                SetCount(0);
                return false;
            }
        }
        return true;
    }
};

} // namespace kova
