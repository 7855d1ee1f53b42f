// The arrays of integers: VArrayByte (kind 101, 8 bits), VArrayWord (102, 16 bits), VArrayLong
// (103, 32 bits) and VArrayLong8 (104, 64 bits). Each holds signed integers of its width in one
// block, reads and writes them by 1-based position (0 out of range), converts them from and to
// single values through the getter and setter of its width (so a long array hands its elements
// to a value's FromLong), searches them exactly, and sorts them directly on the block.
#pragma once

#include "kernel/values/VArrayFixed.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

// What the four integer arrays share beyond the fixed-width elements: the typed searches, and
// the smallest and greatest element for the widths that offer them.
template <class T, class TRAITS>
class VArrayInteger : public VArrayOfSingles<T, TRAITS>
{
public:
    using VArrayOfSingles<T, TRAITS>::Find;
    int32_t Find(T inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
    {
        return this->_Find(inValue, inStart, inForward, inMethod);
    }
    // The array must be in ascending order.
    int32_t QuickFind(T inValue) const { return this->_QuickFind(inValue); }

protected:
    explicit VArrayInteger(int32_t inCount) : VArrayOfSingles<T, TRAITS>(inCount) {}
    VArrayInteger(const VArrayInteger& inOther) = default;

    // An empty array gives the type's greatest and smallest.
    T GetMin() const { return this->_GetMin(); }
    T GetMax() const { return this->_GetMax(); }
};

using ArrayByteElements =
    ArrayNumberElements<int8_t, VByte, VK_BYTE, &VValueSingle::GetByte, &VValueSingle::FromByte>;

class VArrayByte : public VArrayInteger<int8_t, ArrayByteElements>
{
public:
    explicit VArrayByte(int32_t inCount = 0) : VArrayInteger(inCount) {}
    VArrayByte(const VArrayByte& inOther) = default;
    VArrayByte& operator=(const VArrayByte& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayByte(*this); }

    int8_t GetByte(int32_t inIndex) const { return _Get(inIndex); }
    void FromByte(int8_t inValue, int32_t inIndex) override { _Set(inValue, inIndex); }
    using VArrayInteger::GetMax;
    using VArrayInteger::GetMin;

    static const VValueInfo_array<VArrayByte, VK_ARRAY_BYTE, char> sInfo;
};

using ArrayWordElements =
    ArrayNumberElements<int16_t, VWord, VK_WORD, &VValueSingle::GetWord, &VValueSingle::FromWord>;

class VArrayWord : public VArrayInteger<int16_t, ArrayWordElements>
{
public:
    explicit VArrayWord(int32_t inCount = 0) : VArrayInteger(inCount) {}
    VArrayWord(const VArrayWord& inOther) = default;
    VArrayWord& operator=(const VArrayWord& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayWord(*this); }

    int16_t GetWord(int32_t inIndex) const { return _Get(inIndex); }
    void FromWord(int16_t inValue, int32_t inIndex) override { _Set(inValue, inIndex); }
    using VArrayInteger::GetMax;
    using VArrayInteger::GetMin;

    static const VValueInfo_array<VArrayWord, VK_ARRAY_WORD, int16_t> sInfo;
};

using ArrayLongElements =
    ArrayNumberElements<int32_t, VLong, VK_LONG, &VValueSingle::GetLong, &VValueSingle::FromLong>;

class VArrayLong : public VArrayInteger<int32_t, ArrayLongElements>
{
public:
    explicit VArrayLong(int32_t inCount = 0) : VArrayInteger(inCount) {}
    VArrayLong(const VArrayLong& inOther) = default;
    VArrayLong& operator=(const VArrayLong& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayLong(*this); }

    int32_t GetLong(int32_t inIndex) const { return _Get(inIndex); }
    void FromLong(int32_t inValue, int32_t inIndex) override { _Set(inValue, inIndex); }
    using VArrayInteger::GetMax;
    using VArrayInteger::GetMin;

    static const VValueInfo_array<VArrayLong, VK_ARRAY_LONG, int32_t> sInfo;
};

using ArrayLong8Elements =
    ArrayNumberElements<int64_t, VLong8, VK_LONG8, &VValueSingle::GetLong8, &VValueSingle::FromLong8>;

class VArrayLong8 : public VArrayInteger<int64_t, ArrayLong8Elements>
{
public:
    explicit VArrayLong8(int32_t inCount = 0) : VArrayInteger(inCount) {}
    VArrayLong8(const VArrayLong8& inOther) = default;
    VArrayLong8& operator=(const VArrayLong8& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayLong8(*this); }

    int64_t GetLong8(int32_t inIndex) const { return _Get(inIndex); }
    void FromLong8(int64_t inValue, int32_t inIndex) override { _Set(inValue, inIndex); }

    static const VValueInfo_array<VArrayLong8, VK_ARRAY_LONG8, int64_t> sInfo;
};

} // namespace kova
