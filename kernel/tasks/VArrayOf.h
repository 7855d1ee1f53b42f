// VArrayOf is the toolbox's small growable array of plain values (numbers, flags, pointers), with
// 1-based positions as the registries that use it count them. Its block comes from the memory
// manager and grows by a fixed step; an array may keep its elements unique, and may hand removed
// ranges to DoDeleteDataRange (VArrayRetainedPtrOf releases them there). VArrayIteratorOf walks
// one forwards or backwards.
//
//     VArrayOf<uint32_t> types;
//     if (!types.AddTail(type)) ... // kova 100 was raised: memory ran out
//     for (int32_t i = 1; i <= types.GetCount(); ++i) ... types[i] ...
#pragma once

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace kova
{

template <class T>
class VArrayOf : public VObject
{
    // Elements move with memmove and are never constructed or destroyed.
    static_assert(std::is_trivially_copyable_v<T>, "VArrayOf holds plain values only");

public:
    explicit VArrayOf(int32_t inGrowthStep = 10, bool inUnique = false)
        : fGrowthStep(std::max<int32_t>(inGrowthStep, 1)), fUnique(inUnique)
    {
    }
    // Works in a block of the caller's (inAllocated elements, the first inCount in use), which it
    // never frees: once it must grow, it moves to a block of its own.
    VArrayOf(T* inBlock, int32_t inCount, int32_t inAllocated, int32_t inGrowthStep = 10)
        : fData(inBlock), fCount(std::clamp<int32_t>(inCount, 0, std::max<int32_t>(inAllocated, 0))),
          fAllocated(std::max<int32_t>(inAllocated, 0)), fGrowthStep(std::max<int32_t>(inGrowthStep, 1)),
          fBlockNotOwned(true)
    {
    }
    VArrayOf(const VArrayOf&) = delete;
    VArrayOf& operator=(const VArrayOf&) = delete;
    ~VArrayOf() override { _FreeBlock(); }

    int32_t GetCount() const { return fCount; }
    bool IsEmpty() const { return fCount == 0; }
    bool IsUnique() const { return fUnique; }
    void SetUnique(bool inUnique) { fUnique = inUnique; }
    // Removals hand the removed ranges to DoDeleteDataRange.
    void SetCallDeleteOnRemove(bool inCall) { fCallDelete = inCall; }
    bool GetCallDeleteOnRemove() const { return fCallDelete; }

    // The element at a 1-based position; T() outside 1..count.
    T GetNth(int32_t inIndex) const { return _IsIndex(inIndex) ? fData[inIndex - 1] : T(); }
    T operator[](int32_t inIndex) const { return GetNth(inIndex); }
    T GetFirst() const { return GetNth(1); }
    T GetLast() const { return GetNth(fCount); }
    // False outside 1..count, or when the value is elsewhere in an array of unique elements.
    bool SetNth(const T& inValue, int32_t inIndex)
    {
        if (!_IsIndex(inIndex))
            return false;
        if (fUnique)
        {
            int32_t found = FindPos(inValue);
            if (found != 0 && found != inIndex)
                return false;
        }
        fData[inIndex - 1] = inValue;
        return true;
    }

    // Inserts before the 1-based position (below 1: first; past the end: last). False when the
    // array keeps its elements unique and already holds the value, or when memory ran out (kova
    // 100 raised; the array is unchanged).
    bool AddNth(const T& inValue, int32_t inIndex)
    {
        if (fUnique && FindPos(inValue) != 0)
            return false;
        if (fCount == fAllocated && !_Grow())
            return false;
        int32_t position = inIndex < 1 ? 1 : std::min(inIndex, fCount + 1);
        std::memmove(static_cast<void*>(fData + position), fData + position - 1,
                     size_t(fCount - position + 1) * sizeof(T));
        fData[position - 1] = inValue;
        ++fCount;
        return true;
    }
    bool AddTail(const T& inValue) { return AddNth(inValue, fCount + 1); }

    // Removes inCount elements from the 1-based position (the range is cut to the array).
    void DeleteNth(int32_t inIndex, int32_t inCount = 1)
    {
        if (!_IsIndex(inIndex) || inCount < 1)
            return;
        int32_t count = std::min(inCount, fCount - inIndex + 1);
        if (fCallDelete)
            DoDeleteDataRange(fData + inIndex - 1, fData + inIndex - 1 + count);
        std::memmove(static_cast<void*>(fData + inIndex - 1), fData + inIndex - 1 + count,
                     size_t(fCount - inIndex + 1 - count) * sizeof(T));
        fCount -= count;
    }
    // Removes the first element equal to the value; false when there is none.
    bool Delete(const T& inValue)
    {
        int32_t position = FindPos(inValue);
        if (position == 0)
            return false;
        DeleteNth(position);
        return true;
    }
    // Removes every element and frees the block.
    void Destroy()
    {
        if (fCallDelete && fCount > 0)
            DoDeleteDataRange(fData, fData + fCount);
        fCount = 0;
        _FreeBlock();
    }

    // The 1-based position of the first element equal to the value at or after inStart; 0 when
    // none.
    int32_t FindPos(const T& inValue, int32_t inStart = 1) const
    {
        if (fCount == 0 || inStart > fCount)
            return 0;
        int32_t start = std::max(inStart, 1);
        const T* found = DoFindData(fData + start - 1, fData + fCount, inValue);
        return found == fData + fCount ? 0 : int32_t(found - fData) + 1;
    }
    bool Contains(const T& inValue) const { return FindPos(inValue) != 0; }

    const T* begin() const { return fData; }
    const T* end() const { return fData + fCount; }

protected:
    // The first element in [inFirst, inLast) equal to the value, else inLast.
    virtual const T* DoFindData(const T* inFirst, const T* inLast, const T& inValue) const
    {
        return std::find(inFirst, inLast, inValue);
    }
    // Called, when asked for, with each range about to be removed.
    virtual void DoDeleteDataRange(T* /*inFirst*/, T* /*inLast*/) {}

private:
    bool _IsIndex(int32_t inIndex) const { return inIndex >= 1 && inIndex <= fCount; }

    // Room for fGrowthStep more elements, else for one more.
    bool _Grow()
    {
        constexpr int64_t kMaxCount =
            int64_t(std::min<uint64_t>(std::numeric_limits<int32_t>::max(), uint64_t(SIZE_MAX / sizeof(T))));
        for (int64_t wanted : {int64_t(fCount) + fGrowthStep, int64_t(fCount) + 1})
        {
            if (wanted > kMaxCount)
                continue;
            T* block = VObject::sCppMemMgr != nullptr
                           ? static_cast<T*>(VObject::sCppMemMgr->Malloc(size_t(wanted) * sizeof(T), false,
                                                                         FourCharCode("arr ")))
                           : nullptr;
            if (block == nullptr)
                continue;
            if (fCount > 0)
                std::memcpy(static_cast<void*>(block), fData, size_t(fCount) * sizeof(T));
            _FreeBlock();
            fData = block;
            fAllocated = int32_t(wanted);
            fBlockNotOwned = false;
            return true;
        }
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    void _FreeBlock()
    {
        if (!fBlockNotOwned && fData != nullptr && VObject::sCppMemMgr != nullptr)
            VObject::sCppMemMgr->Free(fData);
        fData = nullptr;
        fAllocated = 0;
        fBlockNotOwned = false;
    }

    T* fData = nullptr;
    int32_t fCount = 0;
    int32_t fAllocated = 0;
    int32_t fGrowthStep = 10;
    bool fUnique = false;
    bool fCallDelete = false;
    bool fBlockNotOwned = false;
};

// An array of reference-counted objects (anything with Release) that releases what it removes;
// with the release flag set (the default), its destruction releases every element.
template <class T>
class VArrayRetainedPtrOf : public VArrayOf<T>
{
    static_assert(std::is_pointer_v<T>, "VArrayRetainedPtrOf holds pointers");

public:
    explicit VArrayRetainedPtrOf(int32_t inGrowthStep = 10, bool inReleaseOnDestroy = true)
        : VArrayOf<T>(inGrowthStep), fReleaseOnDestroy(inReleaseOnDestroy)
    {
        this->SetCallDeleteOnRemove(true);
    }
    ~VArrayRetainedPtrOf() override
    {
        if (fReleaseOnDestroy)
            this->Destroy();
    }

protected:
    void DoDeleteDataRange(T* inFirst, T* inLast) override
    {
        for (T* element = inFirst; element != inLast; ++element)
        {
            if (*element != nullptr)
                (*element)->Release();
        }
    }

private:
    bool fReleaseOnDestroy;
};

// The walk over a collection: a position and the element there.
template <class T>
class VIteratorOf : public VObject
{
public:
    virtual T Next() = 0;
    virtual T Previous() = 0;
    virtual T Current() = 0;
    virtual T First() = 0;
    virtual T Last() = 0;
    virtual void SetPos(int32_t inPosition) = 0;
    virtual int32_t GetPos() const = 0;
};

// Walks a VArrayOf. The position is 1-based: -1 stands before the first element (where Next and
// Previous start from either end), 0 nowhere (after a walk ran off an end). Elements read outside
// the array are T().
template <class T>
class VArrayIteratorOf : public VIteratorOf<T>
{
public:
    explicit VArrayIteratorOf(const VArrayOf<T>& inArray, int32_t inPosition = -1) : fArray(inArray)
    {
        SetPos(inPosition);
    }

    T Next() override
    {
        if (fPosition == -1)
            return First();
        if (fPosition >= 1 && fPosition < fArray.GetCount())
            return fArray.GetNth(++fPosition);
        fPosition = 0;
        return T();
    }
    T Previous() override
    {
        if (fPosition == -1)
            return Last();
        if (fPosition >= 2 && fPosition <= fArray.GetCount())
            return fArray.GetNth(--fPosition);
        fPosition = 0;
        return T();
    }
    T Current() override { return fPosition == -1 ? First() : fArray.GetNth(fPosition); }
    T First() override
    {
        fPosition = fArray.IsEmpty() ? 0 : 1;
        return fArray.GetNth(1);
    }
    T Last() override
    {
        fPosition = fArray.GetCount();
        return fArray.GetNth(fPosition);
    }
    void SetPos(int32_t inPosition) override
    {
        fPosition =
            inPosition == -1 ? -1 : (inPosition < -1 || inPosition > fArray.GetCount() ? 0 : inPosition);
    }
    int32_t GetPos() const override { return fPosition; }

private:
    const VArrayOf<T>& fArray;
    int32_t fPosition = -1;
};

} // namespace kova
