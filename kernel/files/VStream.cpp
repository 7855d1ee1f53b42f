#include "kernel/files/VStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VValue.h"

#include <cstring>

namespace kova
{

namespace
{

// Raised and returned, never stored: a call made in the wrong state leaves the stream as it was.
VError Refuse(VError inError)
{
    _ThrowError(inError);
    return inError;
}

} // namespace

VStream::VStream() = default;

VStream::~VStream() = default;

VError VStream::_Fail(VError inError)
{
    _ThrowError(inError);
    fLastError = inError;
    return inError;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

VError VStream::OpenReading()
{
    if (fIsReading || fIsWriting)
        return Refuse(VE_STREAM_ALREADY_OPENED);
    if (fIsWriteOnly)
        return Refuse(VE_STREAM_CANNOT_READ);
    fPos = 0;
    fLastError = DoOpenReading();
    if (fLastError != VE_OK)
        return fLastError;
    fIsReading = true;
    return fLastError;
}

VError VStream::OpenReading(uint32_t inSignature)
{
    OpenReading();
    if (fLastError != VE_OK)
        return fLastError;

    int64_t start = fPos;
    uint32_t raw = 0;
    size_t read = 0;
    GetData(&raw, sizeof(raw), &read);
    if (fLastError == VE_OK && read == sizeof(raw))
    {
        bool hostOrder = raw == inSignature;
        bool swapped = ByteSwap(raw) == inSignature;
        // Decided from the bytes alone: a swap flag set before must not survive host-order data.
        // A signature that reads the same both ways cannot tell, and leaves the flag alone.
        if (hostOrder && !swapped)
            fNeedSwap = false;
        else if (swapped && !hostOrder)
            fNeedSwap = true;
        if (hostOrder || swapped)
            return fLastError;
        VError rewound = DoSetPos(start);
        if (rewound != VE_OK)
            fLastError = rewound;
        else
            fPos = start;
    }
    return Refuse(VE_STREAM_BAD_SIGNATURE);
}

VError VStream::OpenWriting()
{
    if (fIsReading || fIsWriting)
        return Refuse(VE_STREAM_ALREADY_OPENED);
    if (fIsReadOnly)
        return Refuse(VE_STREAM_CANNOT_WRITE);
    fPos = 0;
    fLastError = DoOpenWriting();
    if (fLastError != VE_OK)
        return fLastError;
    fIsWriting = true;
    return fLastError;
}

VError VStream::CloseReading()
{
    if (!fIsReading)
        return Refuse(VE_STREAM_CANNOT_READ);
    DoCloseReading();
    fIsReading = false;
    return fLastError;
}

VError VStream::CloseWriting(bool inSetSize)
{
    if (!fIsWriting)
        return Refuse(VE_STREAM_CANNOT_WRITE);
    if (fLastError == VE_OK)
        fLastError = DoFlush();
    // Storage that could not be cut to size holds stale bytes past the data: a failure to report.
    VError closed = DoCloseWriting(inSetSize);
    if (closed != VE_OK && fLastError == VE_OK)
        fLastError = closed;
    fIsWriting = false;
    return fLastError;
}

VError VStream::SetReadOnly(bool inReadOnly)
{
    fIsReadOnly = inReadOnly;
    return VE_OK;
}

VError VStream::SetWriteOnly(bool inWriteOnly)
{
    fIsWriteOnly = inWriteOnly;
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Positions and sizes

int64_t VStream::GetSize()
{
    return DoGetSize();
}

VError VStream::SetPos(int64_t inPos)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsReading && !fIsWriting)
        return _Fail(VE_STREAM_NOT_OPENED);
    if (inPos < 0)
        return _Fail(VE_INVALID_PARAMETER);
    VError error = DoSetPos(inPos);
    if (error != VE_OK)
        fLastError = error;
    else
        fPos = inPos;
    return fLastError;
}

VError VStream::SetPosByOffset(int64_t inOffset)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsReading && !fIsWriting)
        return _Fail(VE_STREAM_NOT_OPENED);
    if ((inOffset < 0 && -(inOffset + 1) >= fPos) || (inOffset > 0 && inOffset > INT64_MAX - fPos))
        return _Fail(VE_INVALID_PARAMETER);
    int64_t newPos = fPos + inOffset;
    VError error = DoSetPos(newPos);
    if (error != VE_OK)
        fLastError = error;
    else
        fPos = newPos;
    return fLastError;
}

VError VStream::SetSize(int64_t inSize)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsWriting)
        return _Fail(VE_STREAM_CANNOT_WRITE);
    if (inSize < 0)
        return _Fail(VE_INVALID_PARAMETER);
    VError error = DoSetSize(inSize);
    if (error != VE_OK)
        fLastError = error;
    else if (fPos > inSize)
        fPos = inSize;
    return fLastError;
}

VError VStream::Flush()
{
    if (!fIsWriting)
        return Refuse(VE_STREAM_CANNOT_WRITE);
    if (fLastError != VE_OK)
        return fLastError;
    fLastError = DoFlush();
    return fLastError;
}

// ---------------------------------------------------------------------------------------------
// Raw data

VError VStream::GetData(void* outBuffer, size_t inCount, size_t* outRead)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsReading)
    {
        if (outRead != nullptr)
            *outRead = 0;
        return _Fail(VE_STREAM_CANNOT_READ);
    }
    if (outBuffer == nullptr && inCount > 0)
    {
        if (outRead != nullptr)
            *outRead = 0;
        return Refuse(VE_INVALID_PARAMETER);
    }
    size_t count = inCount;
    fLastError = DoGetData(outBuffer, &count);
    if (count > inCount)
        count = inCount;
    fPos += int64_t(count);
    if (outRead != nullptr)
        *outRead = count;
    return fLastError;
}

VError VStream::PutData(const void* inData, size_t inCount)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsWriting)
        return _Fail(VE_STREAM_CANNOT_WRITE);
    if (inData == nullptr && inCount > 0)
        return Refuse(VE_INVALID_PARAMETER);
    // The position must stay a valid signed offset after the write.
    if (inCount > uint64_t(INT64_MAX - fPos))
        return _Fail(VE_INVALID_PARAMETER);
    VError error = DoPutData(inData, inCount);
    if (error != VE_OK)
        fLastError = error;
    else
        fPos += int64_t(inCount);
    return fLastError;
}

VError VStream::UngetData(const void* inData, size_t inCount)
{
    if (fLastError != VE_OK && (fLastError != VE_STREAM_EOF || inCount == 0))
        return fLastError;
    if (inCount == 0)
        return VE_OK;
    if (!fIsReading)
        return _Fail(VE_STREAM_CANNOT_READ);
    if (inCount > uint64_t(fPos))
        return _Fail(VE_STREAM_CANNOT_UNGET);
    fLastError = DoUngetData(inData, inCount);
    if (fLastError == VE_OK)
        fPos -= int64_t(inCount);
    return fLastError;
}

VError VStream::PutContentInto(VStream* inDestination)
{
    if (inDestination == nullptr || inDestination == this)
        return Refuse(VE_INVALID_PARAMETER);
    VError error = OpenReading();
    if (error != VE_OK)
        return error;
    VError rewound = DoSetPos(0);
    if (rewound != VE_OK)
        fLastError = rewound;
    else
        fPos = 0;

    VError result = fLastError;
    int64_t remaining = GetSize();
    uint8_t chunk[4096];
    while (result == VE_OK && remaining > 0)
    {
        size_t count = remaining < int64_t(sizeof(chunk)) ? size_t(remaining) : sizeof(chunk);
        size_t read = 0;
        result = GetData(chunk, count, &read);
        if (result == VE_OK)
            result = inDestination->PutData(chunk, read);
        remaining -= int64_t(count);
    }

    DoCloseReading();
    fIsReading = false;
    return result;
}

VError VStream::PutHexBytes(const char* inBytes, size_t inCount)
{
    static const char kDigits[] = "0123456789ABCDEF";
    if (inBytes == nullptr && inCount > 0)
        return Refuse(VE_INVALID_PARAMETER);
    for (size_t i = 0; i < inCount; ++i)
    {
        uint8_t byte = uint8_t(inBytes[i]);
        const char pair[2] = {kDigits[byte >> 4], kDigits[byte & 0x0F]};
        if (PutData(pair, 2) != VE_OK)
            break;
    }
    return fLastError;
}

// ---------------------------------------------------------------------------------------------
// Typed arrays

VError VStream::_GetElements(void* outValues, int32_t* ioCount, size_t inWidth)
{
    if (ioCount == nullptr)
        return Refuse(VE_INVALID_PARAMETER);
    int32_t wanted = *ioCount;
    *ioCount = 0;
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsReading)
        return _Fail(VE_STREAM_CANNOT_READ);
    if (wanted < 0 || (wanted > 0 && outValues == nullptr))
        return Refuse(VE_INVALID_PARAMETER);
    size_t read = 0;
    GetData(outValues, size_t(wanted) * inWidth, &read);
    size_t elements = read / inWidth;
    if (fNeedSwap)
        ByteSwapElements(outValues, elements, inWidth);
    *ioCount = int32_t(elements);
    return fLastError;
}

VError VStream::_PutElements(const void* inValues, int32_t inCount, size_t inWidth)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsWriting)
        return _Fail(VE_STREAM_CANNOT_WRITE);
    if (inCount < 0 || (inCount > 0 && inValues == nullptr))
        return Refuse(VE_INVALID_PARAMETER);
    size_t size = size_t(inCount) * inWidth;
    if (!fNeedSwap || inCount == 0)
        return PutData(inValues, size);
    // The caller's array stays as it is: a swapped copy is written.
    void* copy = VMemory::NewPtr(size, kMEM_TAG_STREAM);
    if (copy == nullptr)
        return _Fail(VE_MEMORY_FULL);
    std::memcpy(copy, inValues, size);
    ByteSwapElements(copy, size_t(inCount), inWidth);
    PutData(copy, size);
    VMemory::DisposePtr(copy);
    return fLastError;
}

// ---------------------------------------------------------------------------------------------
// Values

VError VStream::PutValue(const VValue& inValue, bool inWithKind)
{
    // A failed kind is stored, and the value's own write then answers with it.
    if (inWithKind)
        Put<uint16_t>(inValue.GetTrueValueKind());
    return inValue.WriteToStream(this, 0);
}

VValue* VStream::GetValue()
{
    uint16_t kind = 0;
    if (Get(kind) != VE_OK)
        return nullptr;
    VValue* value = VValue::NewValueFromValueKind(kind);
    if (value != nullptr)
        value->ReadFromStream(this, 0);
    return value;
}

// ---------------------------------------------------------------------------------------------
// Storage defaults

VStream::UnderlyingData VStream::GetUnderlyingData() const
{
    return UnderlyingData();
}

VError VStream::DoOpenReading()
{
    return VE_OK;
}

VError VStream::DoOpenWriting()
{
    return VE_OK;
}

VError VStream::DoCloseReading()
{
    return VE_OK;
}

VError VStream::DoCloseWriting(bool)
{
    return VE_OK;
}

VError VStream::DoUngetData(const void*, size_t)
{
    return VE_OK;
}

VError VStream::DoSetPos(int64_t)
{
    return VE_OK;
}

VError VStream::DoFlush()
{
    return VE_OK;
}

} // namespace kova
