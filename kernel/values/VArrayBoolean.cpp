#include "kernel/values/VArrayBoolean.h"

#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VBoolean.h"

#include <array>

namespace kova
{

namespace
{

// Entry b is the number of set bits in b.
constexpr std::array<uint8_t, 256> kBitCounts = []
{
    std::array<uint8_t, 256> counts{};
    for (int b = 0; b < 256; ++b)
        counts[size_t(b)] = uint8_t((b & 1) + ((b >> 1) & 1) + ((b >> 2) & 1) + ((b >> 3) & 1) +
                                    ((b >> 4) & 1) + ((b >> 5) & 1) + ((b >> 6) & 1) + ((b >> 7) & 1));
    return counts;
}();

int64_t BlockSizeFor(int64_t inCount)
{
    return (inCount + 8) / 8;
}

// Sets or clears the bits inStart..inStart + inCount - 1, whole bytes at a time where it can.
void FillBits(uint8_t* ioData, int64_t inStart, int64_t inCount, bool inValue)
{
    int64_t bit = inStart;
    int64_t end = inStart + inCount;
    auto setOne = [&](int64_t index)
    {
        uint8_t mask = uint8_t(1u << (index & 7));
        ioData[index >> 3] =
            inValue ? uint8_t(ioData[index >> 3] | mask) : uint8_t(ioData[index >> 3] & ~mask);
    };
    while (bit < end && (bit & 7) != 0)
        setOne(bit++);
    for (; end - bit >= 8; bit += 8)
        ioData[bit >> 3] = inValue ? 0xFF : 0x00;
    while (bit < end)
        setOne(bit++);
}

} // namespace

VArrayBoolean::VArrayBoolean(int32_t inCount) : VArrayValue(0)
{
    SetCount(inCount);
}

VArrayBoolean::VArrayBoolean(const VArrayBoolean& inOther) : VArrayValue(inOther)
{
    _CopyBlock(inOther);
}

VArrayBoolean& VArrayBoolean::operator=(const VArrayBoolean& inOther)
{
    Copy(inOther);
    return *this;
}

int64_t VArrayBoolean::_DataSizeFor(int64_t inCount) const
{
    return BlockSizeFor(inCount);
}

// ---------------------------------------------------------------------------------------------
// Elements

uint8_t VArrayBoolean::GetBoolean(int32_t inIndex) const
{
    return ValidIndex(inIndex) && _GetBit(fData, inIndex - 1) ? 1 : 0;
}

void VArrayBoolean::FromBoolean(uint8_t inValue, int32_t inIndex)
{
    if (ValidIndex(inIndex))
        _SetBit(fData, inIndex - 1, inValue != 0);
}

void VArrayBoolean::GetValue(VValueSingle& outValue, int32_t inIndex) const
{
    outValue.FromBoolean(GetBoolean(inIndex));
}

void VArrayBoolean::FromValue(const VValueSingle& inValue, int32_t inIndex)
{
    FromBoolean(inValue.GetBoolean(), inIndex);
}

VValueSingle* VArrayBoolean::CloneValue(int32_t inIndex) const
{
    return new VBoolean(GetBoolean(inIndex) != 0);
}

CompareResult VArrayBoolean::CompareTo(const VValueSingle& inValue, bool, int32_t inIndex) const
{
    return CompareNatives(GetBoolean(inIndex), uint8_t(inValue.GetBoolean() != 0 ? 1 : 0));
}

int32_t VArrayBoolean::Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                            CompareMethod inMethod) const
{
    return Find(inValue.GetBoolean(), inStart, inForward, inMethod);
}

int32_t VArrayBoolean::Find(uint8_t inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
{
    bool value = inValue != 0;
    return FindInArray(fCount, inStart, inForward, inMethod,
                       [&](int32_t i)
                       { return MatchesCompareMethod(CompareNatives(value, _GetBit(fData, i)), inMethod); });
}

// ---------------------------------------------------------------------------------------------
// Sorting and element operations

int32_t VArrayBoolean::_CountTrue() const
{
    int32_t fullBytes = fCount / 8;
    int32_t count = 0;
    for (int32_t b = 0; b < fullBytes; ++b)
        count += kBitCounts[fData[b]];
    for (int32_t bit = fullBytes * 8; bit < fCount; ++bit)
        count += _GetBit(fData, bit) ? 1 : 0;
    return count;
}

void VArrayBoolean::Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending)
{
    if (!_IsSortableRange(inFirst, inLast))
        return;
    if (inFirst != 1 || inLast != fCount)
    {
        VArrayValue::Sort(inFirst, inLast, inDescending);
        return;
    }
    int32_t trueCount = _CountTrue();
    int32_t falseCount = fCount - trueCount;
    if (inDescending != 0)
    {
        FillBits(fData, 0, trueCount, true);
        FillBits(fData, trueCount, falseCount, false);
    }
    else
    {
        FillBits(fData, 0, falseCount, false);
        FillBits(fData, falseCount, trueCount, true);
    }
}

void VArrayBoolean::MoveElements(int32_t inSource, int32_t inDestination, int32_t inCount)
{
    if (inSource < 0 || inDestination < 0 || inCount < 1 || inSource == inDestination ||
        int64_t(inSource) + inCount > fCount || int64_t(inDestination) + inCount > fCount)
        return;
    // Bit by bit, in the direction that reads every source bit before it is overwritten.
    if (inDestination > inSource)
    {
        for (int32_t k = inCount - 1; k >= 0; --k)
            _SetBit(fData, inDestination + k, _GetBit(fData, inSource + k));
    }
    else
    {
        for (int32_t k = 0; k < inCount; ++k)
            _SetBit(fData, inDestination + k, _GetBit(fData, inSource + k));
    }
}

void VArrayBoolean::InitElements(int32_t inStart, int32_t inCount)
{
    if (fData != nullptr && _IsValidRun(inStart, inCount))
        FillBits(fData, inStart, inCount, false);
}

void VArrayBoolean::SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond)
{
    bool first = _GetBit(inData, inFirst);
    _SetBit(inData, inFirst, _GetBit(inData, inSecond));
    _SetBit(inData, inSecond, first);
}

int32_t VArrayBoolean::CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond)
{
    return CompareNatives(_GetBit(inData, inFirst), _GetBit(inData, inSecond));
}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VArrayBoolean::WriteToStream(VStream* ioStream, int32_t inParam) const
{
    _WriteStreamHeader(ioStream, inParam);
    if (fCount == 0)
        return ioStream->GetLastError();
    return ioStream->PutData(fData, size_t(BlockSizeFor(fCount)));
}

VError VArrayBoolean::ReadFromStream(VStream* ioStream, int32_t)
{
    int32_t count = 0;
    VError error = _ReadStreamCount(ioStream, 0, count);
    if (error == VE_OK && count > 0 && !StreamHolds(ioStream, uint64_t(BlockSizeFor(count))))
        error = FailAtEndOfStream(ioStream);
    if (error == VE_OK)
        error = _ResetForRead(count);
    if (error != VE_OK || count == 0)
        return error;
    size_t bytes = size_t(BlockSizeFor(count));
    ioStream->GetData(fData, bytes);
    // The writer's bits past the last element are not ours to keep.
    int64_t spare = int64_t(bytes) * 8 - count;
    FillBits(fData, count, spare, false);
    return ioStream->GetLastError();
}

} // namespace kova
