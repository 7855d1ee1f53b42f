#include "kernel/files/VMemoryStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"

#include <cstring>

namespace kova
{

namespace
{

VError Raise(VError inError)
{
    _ThrowError(inError);
    return inError;
}

// Bytes from inPos to the end of a block of inSize, none when the position lies at or past it.
size_t Available(int64_t inPos, size_t inSize)
{
    return inPos < 0 || uint64_t(inPos) >= inSize ? 0 : inSize - size_t(inPos);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// VConstPtrStream

VConstPtrStream::VConstPtrStream(const void* inData, size_t inSize)
    : fData(static_cast<const uint8_t*>(inData)), fSize(inData == nullptr ? 0 : inSize)
{
}

VStream::UnderlyingData VConstPtrStream::GetUnderlyingData() const
{
    return UnderlyingData{true, fData, fSize};
}

VError VConstPtrStream::DoOpenWriting()
{
    return Raise(VE_STREAM_CANNOT_WRITE);
}

VError VConstPtrStream::DoPutData(const void*, size_t)
{
    return Raise(VE_STREAM_CANNOT_WRITE);
}

VError VConstPtrStream::DoGetData(void* outBuffer, size_t* ioCount)
{
    size_t wanted = *ioCount;
    size_t count = Available(GetPos(), fSize);
    if (count > wanted)
        count = wanted;
    if (count > 0)
        std::memcpy(outBuffer, fData + GetPos(), count);
    *ioCount = count;
    return count < wanted ? Raise(VE_STREAM_EOF) : VE_OK;
}

int64_t VConstPtrStream::DoGetSize()
{
    return int64_t(fSize);
}

VError VConstPtrStream::DoSetSize(int64_t)
{
    return Raise(VE_STREAM_CANNOT_WRITE);
}

VError VConstPtrStream::DoSetPos(int64_t inPos)
{
    return inPos >= 0 && uint64_t(inPos) <= fSize ? VE_OK : Raise(VE_STREAM_EOF);
}

// ---------------------------------------------------------------------------------------------
// VPtrStream

VPtrStream::VPtrStream() = default;

VPtrStream::~VPtrStream()
{
    VMemory::DisposePtr(fData);
}

VStream::UnderlyingData VPtrStream::GetUnderlyingData() const
{
    return UnderlyingData{true, fData, fDataSize};
}

bool VPtrStream::_Reallocate(size_t inAllocated)
{
    if (inAllocated == 0)
    {
        VMemory::DisposePtr(fData);
        fData = nullptr;
        fAllocatedSize = 0;
        return true;
    }
    void* block = fData == nullptr ? VMemory::NewPtr(inAllocated, kMEM_TAG_MEMORY_BUFFER)
                                   : VMemory::SetPtrSize(fData, inAllocated);
    if (block == nullptr)
        return false;
    fData = static_cast<uint8_t*>(block);
    if (inAllocated > fAllocatedSize)
        std::memset(fData + fAllocatedSize, 0, inAllocated - fAllocatedSize);
    fAllocatedSize = inAllocated;
    return true;
}

bool VPtrStream::_EnlargeAmortized(size_t inSize)
{
    constexpr size_t kGranule = 1024;
    constexpr size_t kMaxStep = 1048576;
    size_t step = inSize / 2 < kMaxStep ? inSize / 2 : kMaxStep;
    if (inSize <= SIZE_MAX - step - (kGranule - 1))
    {
        size_t target = (inSize + step + kGranule - 1) / kGranule * kGranule;
        if (_Reallocate(target))
            return true;
    }
    return _Reallocate(inSize);
}

VError VPtrStream::DoPutData(const void* inData, size_t inCount)
{
    size_t pos = size_t(GetPos());
    if (inCount > SIZE_MAX - pos)
        return Raise(VE_MEMORY_FULL);
    size_t end = pos + inCount;
    if (end > fAllocatedSize && !_EnlargeAmortized(end))
        return Raise(VE_MEMORY_FULL);
    if (pos > fDataSize)
        std::memset(fData + fDataSize, 0, pos - fDataSize);
    if (inCount > 0)
        std::memcpy(fData + pos, inData, inCount);
    if (end > fDataSize)
        fDataSize = end;
    return VE_OK;
}

VError VPtrStream::DoGetData(void* outBuffer, size_t* ioCount)
{
    size_t wanted = *ioCount;
    size_t count = Available(GetPos(), fDataSize);
    if (count > wanted)
        count = wanted;
    if (count > 0)
        std::memcpy(outBuffer, fData + GetPos(), count);
    *ioCount = count;
    return count < wanted ? Raise(VE_STREAM_EOF) : VE_OK;
}

int64_t VPtrStream::DoGetSize()
{
    return int64_t(fDataSize);
}

VError VPtrStream::DoSetSize(int64_t inSize)
{
    if (inSize < 0 || uint64_t(inSize) > SIZE_MAX)
        return Raise(VE_INVALID_PARAMETER);
    size_t size = size_t(inSize);
    if (size != fAllocatedSize && !_Reallocate(size))
        return Raise(VE_MEMORY_FULL);
    if (size > fDataSize)
        std::memset(fData + fDataSize, 0, size - fDataSize);
    fDataSize = size;
    return VE_OK;
}

VError VPtrStream::DoSetPos(int64_t inPos)
{
    if (inPos >= 0 && uint64_t(inPos) <= fDataSize)
        return VE_OK;
    // Past the end the block grows to reach the position; the gap reads as zeros.
    return DoSetSize(inPos);
}

} // namespace kova
