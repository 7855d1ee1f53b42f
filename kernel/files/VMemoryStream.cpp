#include "kernel/files/VMemoryStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"

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

// Copies what the block holds from inPos, up to the count wanted; the end of data when fewer
// bytes were there (asking for none always succeeds).
VError CopyFromBlock(const uint8_t* inData, size_t inSize, int64_t inPos, void* outBuffer, size_t* ioCount)
{
    size_t wanted = *ioCount;
    size_t count = inPos < 0 || uint64_t(inPos) >= inSize ? 0 : inSize - size_t(inPos);
    if (count > wanted)
        count = wanted;
    if (count > 0)
        std::memcpy(outBuffer, inData + inPos, count);
    *ioCount = count;
    return count < wanted ? Raise(VE_STREAM_EOF) : VE_OK;
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
    return CopyFromBlock(fData, fSize, GetPos(), outBuffer, ioCount);
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

VPtrStream::~VPtrStream() = default;

VStream::UnderlyingData VPtrStream::GetUnderlyingData() const
{
    return UnderlyingData{true, fBuffer.GetDataPtr(), fBuffer.GetDataSize()};
}

VError VPtrStream::DoPutData(const void* inData, size_t inCount)
{
    // The base keeps the position within the data: a write never leaves a gap.
    size_t pos = size_t(GetPos());
    if (inCount > SIZE_MAX - pos)
        return Raise(VE_MEMORY_FULL);
    size_t end = pos + inCount;
    if (!fBuffer._EnlargeAmortized(end))
        return Raise(VE_MEMORY_FULL);
    if (inCount > 0)
        std::memcpy(_Data() + pos, inData, inCount);
    if (end > fBuffer.GetDataSize())
        fBuffer.SetDataSize(end);
    return VE_OK;
}

VError VPtrStream::DoGetData(void* outBuffer, size_t* ioCount)
{
    return CopyFromBlock(_Data(), fBuffer.GetDataSize(), GetPos(), outBuffer, ioCount);
}

int64_t VPtrStream::DoGetSize()
{
    return int64_t(fBuffer.GetDataSize());
}

VError VPtrStream::DoSetSize(int64_t inSize)
{
    if (inSize < 0 || uint64_t(inSize) > SIZE_MAX)
        return Raise(VE_INVALID_PARAMETER);
    size_t size = size_t(inSize);
    size_t oldSize = fBuffer.GetDataSize();
    // Exactly the size asked, so that cutting a stream gives its memory back.
    if (!fBuffer.ResizeExactly(size))
        return Raise(VE_MEMORY_FULL);
    // Bytes that nobody wrote read as zeros, not as what the memory held before.
    if (size > oldSize)
        std::memset(_Data() + oldSize, 0, size - oldSize);
    fBuffer.SetDataSize(size);
    return VE_OK;
}

VError VPtrStream::DoSetPos(int64_t inPos)
{
    if (inPos >= 0 && uint64_t(inPos) <= fBuffer.GetDataSize())
        return VE_OK;
    // Past the end the block grows to reach the position.
    return DoSetSize(inPos);
}

} // namespace kova
