#include "kernel/files/VFileStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileDesc.h"
#include "kernel/files/VFileError.h"
#include "kernel/values/VMemory.h"

#include <algorithm>
#include <cstring>

namespace kova
{

namespace
{

constexpr uint32_t kBufferTag = FourCharCode("fstr");
// Reads and writes are asked of the system in counts it takes whole.
constexpr size_t kMaxBuffer = 0x7FFFFFFF;
constexpr int64_t kLargeFile = 2147483648LL;

} // namespace

VFileStream::VFileStream(const VFile* inFile, uint32_t inOptions)
    : fFile(RetainRefCountable(const_cast<VFile*>(inFile))), fOptions(inOptions)
{
}

VFileStream::~VFileStream()
{
    ReleaseBuffer();
    delete fDesc;
    ReleaseRefCountable(&fFile);
}

size_t VFileStream::_BufferSizeFor(bool inReading) const
{
    if (inReading && fFileSize < kLargeFile)
        return fFileSize != 0 && size_t(fFileSize) < fBufferWanted ? size_t(fFileSize) : fBufferWanted;
    return std::min(fBufferWanted, kMaxBuffer);
}

void VFileStream::_ClearWindow()
{
    fWindowStart = 0;
    fWindowLength = 0;
}

void VFileStream::AllocateBuffer(size_t inHint)
{
    if (fBuffer == nullptr)
    {
        // A buffer too large for the memory at hand is tried again at half the size: a smaller
        // buffer only costs more calls, and with none at all every transfer goes to the file.
        size_t size = inHint == 0 ? fBufferWanted : std::min(inHint, fBufferWanted);
        while (size > 0 && fBuffer == nullptr)
        {
            fBuffer = static_cast<uint8_t*>(VMemory::NewPtr(size, kBufferTag));
            if (fBuffer == nullptr)
                size /= 2;
        }
        fBufferAllocated = fBuffer != nullptr ? size : 0;
    }
    _ClearWindow();
}

void VFileStream::ReleaseBuffer()
{
    if (fBuffer != nullptr)
        VMemory::DisposePtr(fBuffer);
    fBuffer = nullptr;
    fBufferAllocated = 0;
    _ClearWindow();
}

void VFileStream::SetBufferSize(size_t inSize)
{
    if (IsWriting())
        Flush();
    ReleaseBuffer();
    fBufferWanted = inSize;
    if (fDesc != nullptr)
        AllocateBuffer(_BufferSizeFor(IsReading()));
}

VError VFileStream::DoOpenReading()
{
    if (fDesc == nullptr)
    {
        const VError error = fFile->Open(FA_READ, &fDesc, FO_ReadAhead);
        if (error != VE_OK)
            return error;
    }
    int64_t size = 0;
    const VError error = VFileError::ThrowFromNative(fFile->GetPath(), fDesc->GetImpl().GetSize(&size),
                                                     VE_FILE_CANNOT_GET_SIZE);
    fFileSize = size;
    AllocateBuffer(_BufferSizeFor(true));
    return error;
}

VError VFileStream::DoOpenWriting()
{
    delete fDesc;
    fDesc = nullptr;
    VError error = fFile->Open(FA_SHARED, &fDesc, fOptions);
    if (error != VE_OK)
        return error;
    int64_t size = 0;
    error = VFileError::ThrowFromNative(fFile->GetPath(), fDesc->GetImpl().GetSize(&size),
                                        VE_FILE_CANNOT_GET_SIZE);
    fFileSize = size;
    AllocateBuffer(_BufferSizeFor(false));
    return error;
}

VError VFileStream::DoCloseReading()
{
    ReleaseBuffer();
    delete fDesc;
    fDesc = nullptr;
    return VE_OK;
}

VError VFileStream::DoCloseWriting(bool inSetSize)
{
    ReleaseBuffer();
    VError error = VE_OK;
    if (inSetSize && fDesc != nullptr)
        error = fDesc->SetSize(fFileSize);
    delete fDesc;
    fDesc = nullptr;
    return error;
}

VError VFileStream::DoGetData(void* outBuffer, size_t* ioCount)
{
    const size_t wanted = *ioCount;
    const int64_t position = GetPos();
    uint8_t* destination = static_cast<uint8_t*>(outBuffer);
    size_t copied = 0;
    if (fWindowLength > 0 && position >= fWindowStart && position < fWindowStart + int64_t(fWindowLength))
    {
        copied = std::min(wanted, size_t(fWindowStart + int64_t(fWindowLength) - position));
        std::memcpy(destination, fBuffer + (position - fWindowStart), copied);
        if (copied == wanted)
            return VE_OK;
    }
    const size_t rest = wanted - copied;
    const int64_t from = position + int64_t(copied);
    // Never past the size: reading at the end is the end of the data, not a failure of the file.
    const size_t available = from < fFileSize ? size_t(fFileSize - from) : 0;
    VError error = VE_OK;
    if (fDesc == nullptr)
    {
        error = VE_STREAM_CANNOT_READ;
    }
    else if (rest <= fBufferAllocated)
    {
        fWindowStart = from;
        fWindowLength = 0;
        const size_t length = std::min(fBufferAllocated, available);
        size_t read = 0;
        if (length > 0)
            error = fDesc->GetData(fBuffer, length, from, &read);
        // The window is what the file gave, which is less than its recorded size when it shrank.
        fWindowLength = read;
        const size_t count = std::min(fWindowLength, rest);
        std::memcpy(destination + copied, fBuffer, count);
        copied += count;
    }
    else
    {
        size_t read = 0;
        const size_t count = std::min(rest, available);
        if (count > 0)
            error = fDesc->GetData(destination + copied, count, from, &read);
        copied += read;
    }
    *ioCount = copied;
    if (copied < wanted)
    {
        // A short read from the file raised its own end of data already.
        if (error == VE_OK)
        {
            _ThrowError(VE_STREAM_EOF);
            error = VE_STREAM_EOF;
        }
        return error;
    }
    return error == VE_STREAM_EOF ? VE_OK : error;
}

VError VFileStream::_WriteWindow()
{
    if (fWindowLength == 0)
        return VE_OK;
    const VError error = fDesc->PutData(fBuffer, fWindowLength, fWindowStart);
    if (error == VE_OK)
        fWindowLength = 0;
    return error;
}

VError VFileStream::DoPutData(const void* inData, size_t inCount)
{
    if (fDesc == nullptr)
        return VE_STREAM_CANNOT_WRITE;
    const uint8_t* data = static_cast<const uint8_t*>(inData);
    const int64_t position = GetPos();
    const int64_t end = position + int64_t(inCount);
    size_t placed = 0;
    // A write that continues the window, or lands inside it, goes in the buffer as far as it fits.
    if (fWindowLength > 0 && position >= fWindowStart && position <= fWindowStart + int64_t(fWindowLength))
    {
        const size_t offset = size_t(position - fWindowStart);
        placed = std::min(inCount, fBufferAllocated - offset);
        std::memcpy(fBuffer + offset, data, placed);
        fWindowLength = std::max(fWindowLength, offset + placed);
        if (placed == inCount)
        {
            fFileSize = std::max(fFileSize, end);
            return VE_OK;
        }
    }
    if (fWindowLength > 0)
    {
        if (const VError error = _WriteWindow(); error != VE_OK)
            return error;
    }
    else if (fBufferAllocated > inCount)
    {
        if (inCount > 0)
        {
            std::memcpy(fBuffer, data, inCount);
            fWindowStart = position;
            fWindowLength = inCount;
        }
        fFileSize = std::max(fFileSize, end);
        return VE_OK;
    }
    const size_t remaining = inCount - placed;
    const int64_t at = position + int64_t(placed);
    if (remaining >= fBufferAllocated)
    {
        fWindowLength = 0;
        if (const VError error = fDesc->PutData(data + placed, remaining, at); error != VE_OK)
            return error;
    }
    else
    {
        std::memcpy(fBuffer, data + placed, remaining);
        fWindowStart = at;
        fWindowLength = remaining;
    }
    fFileSize = std::max(fFileSize, end);
    return VE_OK;
}

int64_t VFileStream::DoGetSize()
{
    return fFileSize;
}

VError VFileStream::DoSetSize(int64_t inSize)
{
    if (fDesc == nullptr)
        return VE_STREAM_CANNOT_WRITE;
    if (fWindowLength > 0)
    {
        if (fWindowStart >= inSize)
            fWindowLength = 0;
        else if (fWindowStart + int64_t(fWindowLength) > inSize)
            fWindowLength = size_t(inSize - fWindowStart);
    }
    const VError error = fDesc->SetSize(inSize);
    if (error == VE_OK)
        fFileSize = inSize;
    return error;
}

VError VFileStream::DoSetPos(int64_t inPos)
{
    if (!IsWriting())
    {
        if (IsReading() && inPos > fFileSize)
        {
            _ThrowError(VE_STREAM_EOF);
            return VE_STREAM_EOF;
        }
        return VE_OK;
    }
    VError error = VE_OK;
    // Bytes in the buffer go out before the position leaves them behind.
    if (fWindowLength > 0 && inPos > fWindowStart + int64_t(fWindowLength))
        error = DoFlush();
    if (error == VE_OK && inPos > fFileSize)
    {
        error = fDesc->SetSize(inPos);
        if (error == VE_OK)
            fFileSize = inPos;
    }
    return error;
}

VError VFileStream::DoFlush()
{
    if (fDesc == nullptr)
        return VE_OK;
    VError error = _WriteWindow();
    if (error == VE_OK)
        error = fDesc->Flush();
    fWindowLength = 0;
    fWindowStart = GetPos();
    return error;
}

} // namespace kova
