#include "kernel/values/VArrayValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VArrayBlob.h"
#include "kernel/values/VArrayBoolean.h"
#include "kernel/values/VArrayDuration.h"
#include "kernel/values/VArrayImage.h"
#include "kernel/values/VArrayInteger.h"
#include "kernel/values/VArrayReal.h"
#include "kernel/values/VArrayString.h"
#include "kernel/values/VArrayTime.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"

#include <cstring>

namespace kova
{

// The descriptors of every array kind, built and registered before the entry point runs. They
// live here, beside the code every array links, so that an array read by its kind from a stream
// finds its kind registered even when no code names its class.
const VValueInfo_array<VArrayBoolean, VK_ARRAY_BOOLEAN, uint8_t> VArrayBoolean::sInfo;
const VValueInfo_array<VArrayByte, VK_ARRAY_BYTE, char> VArrayByte::sInfo;
const VValueInfo_array<VArrayWord, VK_ARRAY_WORD, int16_t> VArrayWord::sInfo;
const VValueInfo_array<VArrayLong, VK_ARRAY_LONG, int32_t> VArrayLong::sInfo;
const VValueInfo_array<VArrayLong8, VK_ARRAY_LONG8, int64_t> VArrayLong8::sInfo;
const VValueInfo_array<VArrayReal, VK_ARRAY_REAL, double> VArrayReal::sInfo;
const VValueInfo_array<VArrayTime, VK_ARRAY_TIME, uint64_t> VArrayTime::sInfo;
const VValueInfo_array<VArrayDuration, VK_ARRAY_DURATION, int64_t> VArrayDuration::sInfo;
const VValueInfo_array<VArrayString, VK_ARRAY_STRING, char> VArrayString::sInfo;
const VValueInfo_array<VArrayImage, VK_ARRAY_IMAGE, char> VArrayImage::sInfo;
const VValueInfo_array<VArrayBlob, VK_ARRAY_BLOB, char> VArrayBlob::sInfo;

namespace
{

// The most arrays that SynchronizedSort takes.
constexpr int32_t kMaxSynchronizedArrays = 15;

// The stream tag that asks for the array kind before the count.
constexpr uint32_t kStreamTagWithKind = FourCharCode("VVAL");

} // namespace

VArrayValue::VArrayValue(const VArrayValue& inOther)
    : VValueMultiple(inOther), ISortable(inOther), fElemSize(inOther.fElemSize)
{
}

VArrayValue::~VArrayValue()
{
    _FreeBlock();
}

void VArrayValue::Clear()
{
    SetCount(0);
}

const void* VArrayValue::LoadFromPtr(const void* inData, bool)
{
    return inData;
}

void* VArrayValue::WriteToPtr(void* outData, bool, size_t) const
{
    return outData;
}

// ---------------------------------------------------------------------------------------------
// The block

int64_t VArrayValue::_DataSizeFor(int64_t inCount) const
{
    int64_t size = inCount * fElemSize;
    return size > INT32_MAX ? -1 : size;
}

bool VArrayValue::_ResizeBlock(int64_t inSize)
{
    if (inSize < 0 || inSize > INT32_MAX)
        return false;
    if (inSize == 0)
    {
        _FreeBlock();
        return true;
    }
    uint8_t* block = fData == nullptr
                         ? static_cast<uint8_t*>(VMemory::NewPtr(size_t(inSize), kMEM_TAG_VALUE_ARRAY))
                         : static_cast<uint8_t*>(VMemory::SetPtrSize(fData, size_t(inSize)));
    if (block == nullptr)
        return false;
    if (inSize > fDataSize)
        std::memset(block + fDataSize, 0, size_t(inSize - fDataSize));
    fData = block;
    fDataSize = int32_t(inSize);
    return true;
}

void VArrayValue::_FreeBlock()
{
    VMemory::DisposePtr(fData);
    fData = nullptr;
    fDataSize = 0;
}

bool VArrayValue::SetDataSize(int32_t inSize)
{
    // The elements must keep their room.
    if (inSize < _DataSizeFor(fCount))
        return false;
    return _ResizeBlock(inSize);
}

// ---------------------------------------------------------------------------------------------
// Count, insertion and deletion

bool VArrayValue::SetCount(int32_t inCount)
{
    if (inCount < 0)
        inCount = 0;
    if (inCount == fCount)
        return true;
    int64_t size = _DataSizeFor(inCount);
    if (size < 0)
        return false;
    if (inCount < fCount)
    {
        int32_t dropped = fCount - inCount;
        DeleteElements(inCount, dropped);
        // Keeps the bytes past the last element zero, even where a smaller block keeps them.
        InitElements(inCount, dropped);
        fCount = inCount;
        if (!_ResizeBlock(size))
            fDataSize = int32_t(size); // the larger block stays, its tail zero
        return true;
    }
    if (!_ResizeBlock(size))
        return false;
    fCount = inCount;
    return true;
}

bool VArrayValue::Insert(int32_t inPosition, int32_t inCount)
{
    if (inCount < 0 || inPosition < 1 || inPosition > fCount + 1 || int64_t(fCount) + inCount > INT32_MAX)
        return false;
    if (inCount == 0)
        return true;
    int32_t oldCount = fCount;
    if (!SetCount(fCount + inCount))
        return false;
    if (inPosition <= oldCount)
    {
        MoveElements(inPosition - 1, inPosition - 1 + inCount, oldCount - inPosition + 1);
        InitElements(inPosition - 1, inCount);
    }
    return true;
}

void VArrayValue::Delete(int32_t inPosition, int32_t inCount)
{
    if (fData == nullptr || inCount < 1 || !ValidIndex(inPosition))
        return;
    if (inCount > fCount - inPosition + 1)
        inCount = fCount - inPosition + 1;
    DeleteElements(inPosition - 1, inCount);
    int32_t following = fCount - (inPosition + inCount) + 1;
    if (following >= 1)
        MoveElements(inPosition - 1 + inCount, inPosition - 1, following);
    // The moved-from tail holds copies of moved elements (or released ones): it is not theirs.
    InitElements(fCount - inCount, inCount);
    fCount -= inCount;
    int64_t size = _DataSizeFor(fCount);
    if (!_ResizeBlock(size))
        fDataSize = int32_t(size);
}

void VArrayValue::MoveElements(int32_t inSource, int32_t inDestination, int32_t inCount)
{
    if (inSource < 0 || inDestination < 0 || inCount < 1 || inSource == inDestination ||
        int64_t(inSource) + inCount > fCount || int64_t(inDestination) + inCount > fCount)
        return;
    std::memmove(fData + size_t(inDestination) * size_t(fElemSize),
                 fData + size_t(inSource) * size_t(fElemSize), size_t(inCount) * size_t(fElemSize));
}

void VArrayValue::DeleteElements(int32_t, int32_t) {}

void VArrayValue::InitElements(int32_t inStart, int32_t inCount)
{
    if (fData == nullptr || !_IsValidRun(inStart, inCount))
        return;
    std::memset(fData + size_t(inStart) * size_t(fElemSize), 0, size_t(inCount) * size_t(fElemSize));
}

// ---------------------------------------------------------------------------------------------
// Copy

bool VArrayValue::Copy(const VArrayValue& inSource)
{
    if (&inSource == this)
        return true;
    if (inSource.GetTrueValueKind() != GetTrueValueKind() || inSource.fElemSize != fElemSize)
        return false;
    return _CopyBlock(inSource);
}

bool VArrayValue::_CopyBlock(const VArrayValue& inSource)
{
    if (fCount != 0)
        SetCount(0);
    if (!_ResizeBlock(inSource.fDataSize))
    {
        _FreeBlock();
        return false;
    }
    if (inSource.fDataSize > 0)
        std::memcpy(fData, inSource.fData, size_t(inSource.fDataSize));
    fCount = inSource.fCount;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Stream forms

void VArrayValue::_WriteStreamHeader(VStream* ioStream, int32_t inParam) const
{
    if (uint32_t(inParam) == kStreamTagWithKind)
        ioStream->Put<uint32_t>(GetValueKind());
    ioStream->Put<int32_t>(fCount);
}

VError VArrayValue::_ReadStreamCount(VStream* ioStream, int64_t inMinBytesPerElement, int32_t& outCount)
{
    outCount = 0;
    int32_t count = 0;
    VError error = ioStream->Get(count);
    if (error != VE_OK)
        return error;
    if (count < 0)
        return ThrowCorruptData();
    if (!StreamHolds(ioStream, uint64_t(count) * uint64_t(inMinBytesPerElement)))
        return FailAtEndOfStream(ioStream);
    outCount = count;
    return VE_OK;
}

VError VArrayValue::_ResetForRead(int32_t inCount)
{
    // Elements that the stream does not reach must not keep what the array held before.
    if (!SetCount(0) || !SetCount(inCount))
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Appending

template <class SETTER, class T>
int32_t VArrayValue::_Append(SETTER inSetter, const T& inValue)
{
    if (Insert(fCount + 1, 1))
        (this->*inSetter)(inValue, fCount);
    return fCount;
}

int32_t VArrayValue::AppendBoolean(uint8_t inValue)
{
    return _Append(&VValueMultiple::FromBoolean, inValue);
}

int32_t VArrayValue::AppendByte(int8_t inValue)
{
    return _Append(&VValueMultiple::FromByte, inValue);
}

int32_t VArrayValue::AppendWord(int16_t inValue)
{
    return _Append(&VValueMultiple::FromWord, inValue);
}

int32_t VArrayValue::AppendLong(int32_t inValue)
{
    return _Append(&VValueMultiple::FromLong, inValue);
}

int32_t VArrayValue::AppendLong8(int64_t inValue)
{
    return _Append(&VValueMultiple::FromLong8, inValue);
}

int32_t VArrayValue::AppendReal(double inValue)
{
    return _Append(&VValueMultiple::FromReal, inValue);
}

int32_t VArrayValue::AppendDuration(const VDuration& inValue)
{
    return _Append(&VValueMultiple::FromDuration, inValue);
}

int32_t VArrayValue::AppendTime(const VTime& inValue)
{
    return _Append(&VValueMultiple::FromTime, inValue);
}

int32_t VArrayValue::AppendString(const VString& inValue)
{
    return _Append(&VValueMultiple::FromString, inValue);
}

// ---------------------------------------------------------------------------------------------
// Sorting

void VArrayValue::Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending)
{
    if (!_IsSortableRange(inFirst, inLast))
        return;
    ISortable* list[2] = {this, nullptr};
    MultiCriteriaQSort(list, &inDescending, 1, inFirst - 1, inLast - 1);
}

void VArrayValue::Unsort()
{
    if (fCount < 2)
        return;
    uint8_t* data = LockAndGetData();
    int32_t last = fCount - 1;
    int32_t q = last;
    for (int32_t p = 0; p < last; p += 2)
    {
        SwapElements(data, p, q);
        q -= 3;
        if (q < 0)
            q = last;
    }
    UnlockData();
}

bool VArrayValue::_SynchronizedSort(bool inDescending, VArrayValue* const* inList, int32_t inSize)
{
    int32_t count = 0;
    while (count < inSize && inList[count] != nullptr)
        ++count;
    if (count == 0 || count > kMaxSynchronizedArrays)
        return false;
    const VArrayValue* first = inList[0];
    // A shorter array would be written past its end, and an array listed twice would be
    // exchanged back by its second entry.
    ISortable* sortables[kMaxSynchronizedArrays + 1];
    uint8_t descending[kMaxSynchronizedArrays];
    for (int32_t i = 0; i < count; ++i)
    {
        if (inList[i]->GetCount() < first->GetCount())
            return false;
        for (int32_t j = 0; j < i; ++j)
        {
            if (inList[j] == inList[i])
                return false;
        }
        sortables[i] = inList[i];
        descending[i] = inDescending ? 1 : 0;
    }
    sortables[count] = nullptr;
    MultiCriteriaQSort(sortables, descending, 1, 0, first->GetCount() - 1);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Searching

bool MatchesCompareMethod(CompareResult inResult, CompareMethod inMethod)
{
    switch (inMethod)
    {
    case CM_VALUE_LESS_OR_EQUAL:
        return inResult == CR_SMALLER || inResult == CR_EQUAL;
    case CM_VALUE_LESS:
        return inResult == CR_SMALLER;
    case CM_VALUE_EQUAL:
        return inResult == CR_EQUAL;
    case CM_VALUE_GREATER:
        return inResult == CR_BIGGER;
    case CM_VALUE_GREATER_OR_EQUAL:
        return inResult == CR_BIGGER || inResult == CR_EQUAL;
    }
    return false;
}

} // namespace kova
