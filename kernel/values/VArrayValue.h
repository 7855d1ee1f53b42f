// VArrayValue is the common body of the typed arrays (VArrayLong, VArrayString, ...): the
// elements of one array in a single block from the memory manager, and what every array does with
// them: count, resize, insert, delete, move, copy, append, sort, unsort and search. An array is a
// value: it is registered under its array kind (100 to 111) and has a stream form, but no packed
// form.
//
// Public positions are 1-based (element 1 is the first); the element-level operations that the
// sorts and the storage call (MoveElements, DeleteElements, InitElements, SwapElements,
// CompareElements) are 0-based. Elements lie contiguously in the processor's byte order; the
// bytes of the block beyond the last element are always zero, so that a grown array reads zero
// elements (null slots in the arrays of owned values).
//
// Failures: an operation that cannot have its block reports it by its result (false) and leaves
// the array as it was, except Copy, which leaves it empty. Positions and counts are checked: an
// insertion outside 1..count + 1, a deletion outside 1..count or a negative number changes
// nothing, and a deletion that runs past the end stops at the last element.
#pragma once

#include "kernel/values/ISortable.h"
#include "kernel/values/VValueMultiple.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

// The test of a search; the searched value is on the left.
enum CompareMethod : int32_t
{
    CM_VALUE_LESS_OR_EQUAL = -2, // value <= element
    CM_VALUE_LESS = -1,          // value < element
    CM_VALUE_EQUAL = 0,
    CM_VALUE_GREATER = 1, // value > element
    CM_VALUE_GREATER_OR_EQUAL = 2
};

class VArrayValue : public VValueMultiple, public ISortable
{
public:
    VArrayValue() = default;
    VArrayValue& operator=(const VArrayValue&) = delete;
    ~VArrayValue() override;

    int32_t GetCount() const override { return fCount; }
    // Empties the array.
    void Clear() override;
    // Arrays have no packed form: both leave the memory alone.
    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;

    virtual ValueKind GetElemValueKind() const = 0;
    // A negative count counts as 0; elements added are zero.
    virtual bool SetCount(int32_t inCount);
    // inCount zeroed elements at inPosition; count + 1 appends.
    virtual bool Insert(int32_t inPosition, int32_t inCount);
    virtual void Delete(int32_t inPosition, int32_t inCount);
    // The 1-based position of the first element from inStart, towards the end when inForward is
    // not 0, else towards the first, that matches inValue under inMethod; -1 when none does, the
    // array is empty, inStart lies outside 1..count or inMethod is none of CompareMethod.
    virtual int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                         CompareMethod inMethod) const = 0;
    // Sorts the 1-based range inFirst..inLast; nothing unless 1 <= inFirst < inLast <= count.
    virtual void Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending);
    // A fixed reordering that depends only on the count.
    virtual void Unsort();
    // Element access by 1-based position; positions out of range are ignored.
    virtual void FromValue(const VValueSingle& inValue, int32_t inIndex) = 0;
    virtual void GetValue(VValueSingle& outValue, int32_t inIndex) const = 0;
    // A new single value holding the element, owned by the caller.
    virtual VValueSingle* CloneValue(int32_t inIndex) const = 0;
    // Makes this array a copy of an array of the same kind. False when the source is of another
    // kind (nothing changed) or the room cannot be had (the array is then empty).
    virtual bool Copy(const VArrayValue& inSource);

    uint8_t* LockAndGetData() const override { return fData; }
    void UnlockData() const override {}

    // 0-based element operations. MoveElements does nothing for a negative position, a run that
    // leaves the array, the same position or a count below 1.
    virtual void MoveElements(int32_t inSource, int32_t inDestination, int32_t inCount);
    // Releases what the elements own before they are dropped; plain elements own nothing.
    virtual void DeleteElements(int32_t inStart, int32_t inCount);
    // Zeroes elements, without releasing what they held.
    virtual void InitElements(int32_t inStart, int32_t inCount);

    // The block's size in bytes; growth is zero. False, nothing changed, for a size below what the
    // elements take or when the room cannot be had.
    bool SetDataSize(int32_t inSize);
    int32_t GetDataSize() const { return fDataSize; }
    bool ValidIndex(int32_t inIndex) const { return inIndex >= 1 && inIndex <= fCount; }
    void Destroy() { SetCount(0); }

    // One element appended through the array's setter of that type; the result is the count.
    // When the element cannot be added nothing is written and the count is unchanged.
    int32_t AppendBoolean(uint8_t inValue);
    int32_t AppendByte(int8_t inValue);
    int32_t AppendWord(int16_t inValue);
    int32_t AppendLong(int32_t inValue);
    int32_t AppendLong8(int64_t inValue);
    int32_t AppendReal(double inValue);
    int32_t AppendDuration(const VDuration& inValue);
    int32_t AppendTime(const VTime& inValue);
    int32_t AppendString(const VString& inValue);

    // Sorts arrays alike, in the order that sorts the first: its elements are the only key, the
    // others are carried along. The list ends with a null pointer and holds at most 15 arrays,
    // each one different and holding at least as many elements as the first. False, nothing
    // sorted, when the list breaks these rules.
    template <class... ARRAYS>
    static bool SynchronizedSort(bool inDescending, VArrayValue* inFirst, ARRAYS... inOthers)
    {
        VArrayValue* list[] = {inFirst, static_cast<VArrayValue*>(inOthers)...};
        return _SynchronizedSort(inDescending, list, int32_t(sizeof...(inOthers)) + 1);
    }

protected:
    // The typed constructors give the element size, then set their initial count themselves
    // (their own SetCount is not reached from here).
    explicit VArrayValue(int32_t inElemSize) : fElemSize(inElemSize) {}
    // The element size and the flags only: the typed copy constructors copy the elements.
    VArrayValue(const VArrayValue& inOther);

    // The block bytes that hold inCount elements; -1 beyond what a 32-bit size holds.
    virtual int64_t _DataSizeFor(int64_t inCount) const;
    // Gives the block inSize bytes, zeroing growth; inSize 0 frees it. False, nothing changed,
    // when it cannot be had.
    bool _ResizeBlock(int64_t inSize);
    // Frees the block without looking at the elements.
    void _FreeBlock();
    // The 1-based range is a sortable part of the array.
    bool _IsSortableRange(int32_t inFirst, int32_t inLast) const
    {
        return inFirst >= 1 && inFirst < inLast && inLast <= fCount;
    }
    // A 0-based run of elements lies in the array.
    bool _IsValidRun(int32_t inStart, int32_t inCount) const
    {
        return inStart >= 0 && inCount >= 0 && int64_t(inStart) + inCount <= fCount;
    }
    // Copy without the kind test, for the copy constructors (whose kind is not known yet).
    bool _CopyBlock(const VArrayValue& inSource);
    // The header of every stream form: the array kind (u32) when inParam is 'VVAL', the count.
    void _WriteStreamHeader(VStream* ioStream, int32_t inParam) const;
    // Reads the count of a stream form. A negative count (kova 207), or one whose elements of at
    // least inMinBytesPerElement bytes the stream cannot hold (its end-of-data error), is
    // refused before anything is allocated.
    VError _ReadStreamCount(VStream* ioStream, int64_t inMinBytesPerElement, int32_t& outCount);
    // Gives the array inCount zeroed elements for a stream read; kova 100, raised, when the room
    // cannot be had.
    VError _ResetForRead(int32_t inCount);

    int32_t fElemSize = 0;
    int32_t fCount = 0;
    uint8_t* fData = nullptr;
    int32_t fDataSize = 0;

private:
    // Makes room for one more element at the end and sets it through the setter (a member of
    // VValueMultiple), unless the room cannot be had; returns the count.
    template <class SETTER, class T>
    int32_t _Append(SETTER inSetter, const T& inValue);
    // inList holds inSize pointers, the list ending at the first null one.
    static bool _SynchronizedSort(bool inDescending, VArrayValue* const* inList, int32_t inSize);
};

// Whether inValue compared with an element (inResult, value on the left) passes the method.
bool MatchesCompareMethod(CompareResult inResult, CompareMethod inMethod);

// The search rule of every typed Find: MATCH(i) tells whether the 0-based element i matches.
template <class MATCH>
int32_t FindInArray(int32_t inCount, int32_t inStart, uint8_t inForward, CompareMethod inMethod,
                    MATCH inMatch)
{
    if (inStart < 1 || inStart > inCount || inMethod < CM_VALUE_LESS_OR_EQUAL ||
        inMethod > CM_VALUE_GREATER_OR_EQUAL)
        return -1;
    if (inForward != 0)
    {
        for (int32_t i = inStart - 1; i < inCount; ++i)
        {
            if (inMatch(i))
                return i + 1;
        }
    }
    else
    {
        for (int32_t i = inStart - 1; i >= 0; --i)
        {
            if (inMatch(i))
                return i + 1;
        }
    }
    return -1;
}

// The bisection of QuickFind over an ascending array: COMPARE(i) orders the 0-based element i
// against the searched value. The 1-based position of an equal element, or -1.
template <class COMPARE>
int32_t BisectArray(int32_t inCount, COMPARE inCompareElement)
{
    int64_t low = 0;
    int64_t high = int64_t(inCount) - 1;
    while (low <= high)
    {
        int64_t middle = (low + high) / 2;
        CompareResult result = inCompareElement(int32_t(middle));
        if (result == CR_EQUAL)
            return int32_t(middle + 1);
        if (result == CR_BIGGER)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

} // namespace kova
