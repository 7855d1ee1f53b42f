#include "kernel/files/VStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VProgressIndicator.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VArrayString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VValue.h"

#include <cstring>
#include <optional>

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

// Text operations read up to the end of the data and clear the end of data they met: its error
// stays off the caller's context. Any other failure of the stream is raised again outside.
class StEndOfDataMuted
{
public:
    explicit StEndOfDataMuted(const VStream& inStream) : fStream(inStream) { fContext.emplace(false, true); }
    ~StEndOfDataMuted()
    {
        fContext.reset();
        VError error = fStream.GetLastError();
        if (error != VE_OK && error != VE_STREAM_EOF)
            _ThrowError(error);
    }
    StEndOfDataMuted(const StEndOfDataMuted&) = delete;
    StEndOfDataMuted& operator=(const StEndOfDataMuted&) = delete;

private:
    const VStream& fStream;
    std::optional<StErrorContextInstaller> fContext;
};

constexpr UniChar kCR = 13;
constexpr UniChar kLF = 10;

// The text with every line end (CR LF, lone CR, lone LF) replaced by the mode's; false when the
// room for the converted text cannot be had.
bool ConvertLineEnds(const VString& inText, ECarriageReturnMode inMode, VString& outText)
{
    outText.FromString(inText);
    return outText.ConvertCarriageReturns(inMode);
}

} // namespace

// Classes of bytes for the UTF-8 automaton: 0 ASCII; 1 80-8F, 9 90-9F, 7 A0-BF (continuation
// bytes); 2 C2-DF; 10 E0; 3 E1-EC and EE-EF; 4 ED; 11 F0; 6 F1-F3; 5 F4; 8 never valid.
static const uint8_t kUTF8Classes[256] = {
    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9,  9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    7,  7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,  7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8,  8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

// Next state by state and class. 0 accepts, 1 rejects; 2 and 3 wait for one and two continuation
// bytes; 4 to 8 wait for the restricted second byte after E0, ED, F0, F1-F3 and F4.
static const uint8_t kUTF8States[9][16] = {
    {0, 1, 2, 3, 5, 8, 7, 1, 1, 1, 4, 6, 1, 1, 1, 1}, // 0
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, // 1
    {1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1}, // 2
    {1, 2, 1, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1}, // 3
    {1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1}, // 4: E0 then A0-BF
    {1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1}, // 5: ED then 80-9F
    {1, 1, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1}, // 6: F0 then 90-BF
    {1, 3, 1, 1, 1, 1, 1, 3, 1, 3, 1, 1, 1, 1, 1, 1}, // 7: F1-F3 then 80-BF
    {1, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, // 8: F4 then 80-8F
};

bool DetectUTF8(const uint8_t* inBytes, int32_t inCount)
{
    if (inCount < 1 || inBytes == nullptr)
        return true;
    uint8_t state = 0;
    for (int32_t i = 0; i < inCount; ++i)
    {
        state = kUTF8States[state][kUTF8Classes[inBytes[i]]];
        if (state == 1)
            return false;
    }
    return state == 0;
}

VStream::VStream() = default;

VStream::~VStream()
{
    SetProgressIndicator(nullptr);
    _ReleaseConverters();
}

// ---------------------------------------------------------------------------------------------
// Progress

void VStream::SetProgressIndicator(VProgressIndicator* inIndicator)
{
    if (inIndicator == fProgress)
        return;
    _EndProgress();
    if (inIndicator != nullptr)
        inIndicator->Retain();
    if (fProgress != nullptr)
        fProgress->Release();
    fProgress = inIndicator;
}

void VStream::_BeginProgress(int64_t inMax, const char* inMessage)
{
    if (fProgress == nullptr)
        return;
    fProgress->BeginSession(inMax, VString(inMessage));
    fProgressSessionOpen = true;
}

void VStream::_EndProgress()
{
    if (fProgress != nullptr && fProgressSessionOpen)
        fProgress->EndSession();
    fProgressSessionOpen = false;
}

void VStream::_ReportProgress()
{
    // The position after the transfer: the session's maximum is the stream's size.
    if (fProgress != nullptr && !fProgress->Progress(fPos) && fLastError == VE_OK)
        _Fail(VE_STREAM_USER_ABORTED);
}

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
    if (!_MakeToUnicodeConverter())
        return Refuse(VE_STREAM_NO_TEXT_CONVERTER);
    fPos = 0;
    fLastError = DoOpenReading();
    if (fLastError != VE_OK)
        return fLastError;
    fIsReading = true;
    _BeginProgress(DoGetSize(), "Reading From Stream");
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
    // Binary writing needs no converter: the failure is raised, and opening goes on.
    if (!_MakeFromUnicodeConverter())
        _Fail(VE_STREAM_NO_TEXT_CONVERTER);
    fPos = 0;
    fLastError = DoOpenWriting();
    if (fLastError != VE_OK)
        return fLastError;
    fIsWriting = true;
    _BeginProgress(-1, "Writing to Stream");
    return fLastError;
}

VError VStream::CloseReading()
{
    if (!fIsReading)
        return Refuse(VE_STREAM_CANNOT_READ);
    DoCloseReading();
    _EndProgress();
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
    _EndProgress();
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
    // Before the start, or past what a position can hold.
    if ((inOffset < 0 && -(inOffset + 1) >= fPos) || (inOffset > 0 && inOffset > INT64_MAX - fPos))
        return _Fail(VE_INVALID_PARAMETER);
    return SetPos(fPos + inOffset);
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
    _ReportProgress();
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
    _ReportProgress();
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
    _EndProgress();
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
// Text

bool VStream::_MakeToUnicodeConverter()
{
    if (fToUnicode == nullptr)
        fToUnicode = VTextConverters::Get()->RetainToUnicodeConverter(fCharSet);
    return fToUnicode->IsValid();
}

bool VStream::_MakeFromUnicodeConverter()
{
    if (fFromUnicode == nullptr)
        fFromUnicode = VTextConverters::Get()->RetainFromUnicodeConverter(fCharSet);
    return fFromUnicode->IsValid();
}

void VStream::_ReleaseConverters()
{
    if (fToUnicode != nullptr)
        fToUnicode->Release();
    if (fFromUnicode != nullptr)
        fFromUnicode->Release();
    fToUnicode = nullptr;
    fFromUnicode = nullptr;
}

void VStream::_ClearEndOfData()
{
    if (fLastError == VE_STREAM_EOF)
        fLastError = VE_OK;
}

VError VStream::SetCharSet(CharSet inCharSet)
{
    if (fLastError != VE_OK)
        return fLastError;
    _ReleaseConverters();
    fCharSet = inCharSet;
    if (fIsReading && !_MakeToUnicodeConverter())
        _Fail(VE_STREAM_NO_TEXT_CONVERTER);
    if (fIsWriting && fLastError == VE_OK && !_MakeFromUnicodeConverter())
        _Fail(VE_STREAM_NO_TEXT_CONVERTER);
    return fLastError;
}

VError VStream::GuessCharSetFromLeadingBytes(CharSet inDefault, bool inProbeUTF8, bool* outBOMFound)
{
    if (outBOMFound != nullptr)
        *outBOMFound = false;
    if (fLastError != VE_OK)
        return SetCharSet(inDefault);
    if (!fIsReading)
    {
        _Fail(VE_STREAM_CANNOT_READ);
        return SetCharSet(inDefault);
    }

    uint8_t bytes[4] = {};
    size_t count = 0;
    {
        StErrorContextInstaller silent(false, true);
        GetData(bytes, sizeof(bytes), &count);
    }
    if (fLastError != VE_OK && fLastError != VE_STREAM_EOF)
        return SetCharSet(inDefault);
    _ClearEndOfData();

    struct Mark
    {
        uint8_t fBytes[4];
        size_t fSize;
        bool fExact; // only when exactly these bytes were read
        CharSet fCharSet;
    };
    static const Mark kMarks[] = {
        {{0xEF, 0xBB, 0xBF, 0}, 3, false, VTC_UTF_8},
        {{0x00, 0x00, 0xFE, 0xFF}, 4, true, VTC_UTF_32_BIGENDIAN},
        {{0xFF, 0xFE, 0x00, 0x00}, 4, true, VTC_UTF_32},
        {{0xFE, 0xFF, 0, 0}, 2, false, VTC_UTF_16_BIGENDIAN},
        {{0xFF, 0xFE, 0, 0}, 2, false, VTC_UTF_16},
    };
    for (const Mark& mark : kMarks)
    {
        if ((mark.fExact ? count == mark.fSize : count >= mark.fSize) &&
            std::memcmp(bytes, mark.fBytes, mark.fSize) == 0)
        {
            if (outBOMFound != nullptr)
                *outBOMFound = true;
            UngetData(bytes + mark.fSize, count - mark.fSize);
            return SetCharSet(mark.fCharSet);
        }
    }

    CharSet result = inDefault;
    if (count == 4)
    {
        bool ascii = true;
        for (uint8_t byte : bytes)
            ascii = ascii && byte >= 1 && byte <= 127;
        if (bytes[0] == 0 && bytes[1] != 0 && bytes[2] == 0 && bytes[3] != 0)
            result = VTC_UTF_16_BIGENDIAN;
        else if (bytes[0] != 0 && bytes[1] == 0 && bytes[2] != 0 && bytes[3] == 0)
            result = VTC_UTF_16;
        else if ((inDefault == VTC_UTF_16_BIGENDIAN || inDefault == VTC_UTF_16) && ascii)
            result = VTC_UTF_8;
    }
    UngetData(bytes, count);

    if (inProbeUTF8 && fLastError == VE_OK)
    {
        int64_t left = GetSize() - fPos;
        uint8_t probe[2048];
        size_t probed = 0;
        if (left > 0)
        {
            GetData(probe, left < int64_t(sizeof(probe)) ? size_t(left) : sizeof(probe), &probed);
            UngetData(probe, probed);
        }
        if (fLastError == VE_OK && DetectUTF8(probe, int32_t(probed)))
            result = VTC_UTF_8;
    }
    return SetCharSet(result);
}

VError VStream::WriteBOM()
{
    size_t size = 0;
    const uint8_t* mark = VTextConverters::GetBOMForCharSet(fCharSet, size);
    for (size_t i = 0; i < size && fLastError == VE_OK; ++i)
        PutData(mark + i, 1);
    return fLastError;
}

VError VStream::GetText(VString& ioText)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsReading)
        return _Fail(VE_STREAM_CANNOT_READ);
    StErrorContextInstaller errors(true, false);
    uint8_t buffer[4096];
    size_t pending = 0;
    while (fLastError == VE_OK)
    {
        int64_t left = GetSize() - fPos;
        size_t room = sizeof(buffer) - pending;
        size_t wanted = left <= 0 ? 0 : (left < int64_t(room) ? size_t(left) : room);
        size_t read = 0;
        if (wanted > 0 && GetData(buffer + pending, wanted, &read) != VE_OK)
            break;
        pending += read;
        if (pending == 0 || fToUnicode == nullptr)
            break;
        size_t consumed = 0;
        bool decoded = fToUnicode->ConvertString(buffer, pending, &consumed, ioText);
        if (consumed > pending)
            consumed = pending;
        pending -= consumed;
        std::memmove(buffer, buffer + consumed, pending);
        if (!decoded || consumed == 0 || fPos >= GetSize())
            break;
    }
    if (pending > 0 && fLastError == VE_OK)
    {
        VString reason("unterminated unicode conversion.");
        _ThrowError(VE_STREAM_TEXT_CONVERSION_FAILURE, &reason);
        fLastError = VE_STREAM_TEXT_CONVERSION_FAILURE;
    }
    return fLastError;
}

size_t VStream::_DecodeCharacterByCharacter(const uint8_t* inBytes, size_t inSize, VString& ioText,
                                            int32_t& ioGained, int32_t inCount, bool& outFailed)
{
    outFailed = false;
    size_t used = 0;
    while (ioGained < inCount && used < inSize)
    {
        size_t consumed = 0;
        int32_t before = ioText.GetLength();
        for (size_t size = 1; size <= inSize - used && consumed == 0; ++size)
        {
            if (!fToUnicode->ConvertString(inBytes + used, size, &consumed, ioText))
            {
                ioText.Truncate(before);
                consumed = 0;
                outFailed = true;
                return used;
            }
        }
        if (consumed == 0)
            break; // an incomplete character: the bytes ran out
        used += consumed;
        ioGained += ioText.GetLength() - before;
    }
    return used;
}

VError VStream::GetText(VString& ioText, int32_t inCount, bool inAcceptMore)
{
    if (inCount < 1 || fLastError != VE_OK)
        return fLastError;
    if (!fIsReading)
        return _Fail(VE_STREAM_CANNOT_READ);

    if (fCharSet == VTC_UTF_16 || fCharSet == VTC_UTF_16_BIGENDIAN)
    {
        // Room only for the units the stream still holds, whatever the count asked: plus one, so
        // that a stream that runs short still reads past its end and reports the end of data.
        int64_t left = GetSize() - fPos;
        int32_t count = inCount;
        if (left < 0)
            left = 0;
        if (int64_t(count) > left / 2 + 1)
            count = int32_t(left / 2 + 1);
        int32_t length = ioText.GetLength();
        if (count > INT32_MAX - length || !ioText.EnsureSize(length + count))
            return _Fail(VE_MEMORY_FULL);
        UniChar* units = ioText.GetCPointerForWrite() + length;
        size_t read = 0;
        GetData(units, size_t(count) * sizeof(UniChar), &read);
        if (read % 2 != 0)
            UngetData(reinterpret_cast<uint8_t*>(units) + read - 1, 1);
        int32_t gained = int32_t(read / 2);
        if (fCharSet == VTC_UTF_16_BIGENDIAN)
            ByteSwapElements(units, size_t(gained), sizeof(UniChar));
        ioText.Validate(length + gained);
        return fLastError;
    }

    StEndOfDataMuted muted(*this);
    uint8_t buffer[32];
    size_t pending = 0;
    int32_t gained = 0;
    bool atEnd = false;
    while (gained < inCount && fLastError == VE_OK)
    {
        size_t wanted = 2 * size_t(inCount - gained) + 10;
        size_t room = sizeof(buffer) - pending;
        size_t read = 0;
        if (!atEnd && room > 0)
        {
            GetData(buffer + pending, wanted < room ? wanted : room, &read);
            if (fLastError == VE_STREAM_EOF)
            {
                _ClearEndOfData();
                atEnd = true;
            }
            else if (fLastError != VE_OK)
            {
                break;
            }
        }
        pending += read;
        if (pending == 0)
            break;

        int32_t before = ioText.GetLength();
        size_t consumed = 0;
        bool decoded = fToUnicode->ConvertString(buffer, pending, &consumed, ioText);
        if (consumed > pending)
            consumed = pending;
        int32_t passGain = ioText.GetLength() - before;
        if (decoded && gained + passGain <= inCount)
        {
            gained += passGain;
            pending -= consumed;
            std::memmove(buffer, buffer + consumed, pending);
            // Nothing more can come: what is left is an incomplete character at the end.
            if (consumed == 0 && (atEnd || room == 0))
                break;
            continue;
        }
        if (decoded && inAcceptMore)
        {
            gained += passGain;
            pending -= consumed;
            std::memmove(buffer, buffer + consumed, pending);
            break;
        }
        // Too many characters in one pass, or bytes that do not decode: one at a time.
        ioText.Truncate(before);
        bool failed = false;
        size_t used = _DecodeCharacterByCharacter(buffer, pending, ioText, gained, inCount, failed);
        pending -= used;
        std::memmove(buffer, buffer + used, pending);
        if (failed)
        {
            UngetData(buffer, pending);
            pending = 0;
            _Fail(VE_STREAM_TEXT_CONVERSION_FAILURE);
        }
        break;
    }
    if (pending > 0)
        UngetData(buffer, pending);
    return fLastError;
}

template <class UNIT>
VError VStream::_GetTextLineOf(VString& outLine, bool inKeepEnd, const UniChar* inEndChar)
{
    // Units are compared in the stream's byte order: swapped for big-endian UTF-16. A UTF-16
    // line also ends at LF when an end character is given.
    constexpr bool kUTF16 = sizeof(UNIT) == 2;
    bool swapped = kUTF16 && fCharSet == VTC_UTF_16_BIGENDIAN;
    auto inStreamOrder = [swapped](UniChar inUnit) { return UNIT(swapped ? ByteSwap(inUnit) : inUnit); };
    const UNIT lf = inStreamOrder(kLF);
    const UNIT cr = inStreamOrder(kCR);
    const UNIT endChar = inEndChar != nullptr ? inStreamOrder(*inEndChar) : UNIT(0);

    // The line's bytes are gathered whole, so that no character is cut between two chunks.
    VMemoryBuffer<1024ul, 2ul, 1048576ul> lineBytes;
    bool readSome = false;
    bool ended = false;
    while (!ended && fLastError == VE_OK)
    {
        UNIT chunk[256];
        size_t bytes = 0;
        GetData(chunk, sizeof(chunk), &bytes);
        bool atEnd = fLastError == VE_STREAM_EOF;
        if (fLastError != VE_OK && !atEnd)
            break;
        readSome = readSome || bytes > 0;
        // A lone last byte of UTF-16 makes no unit: it goes with the end of the data.
        size_t count = bytes / sizeof(UNIT);
        size_t end = 0;
        while (end < count && !ended)
        {
            UNIT unit = chunk[end];
            if (inEndChar != nullptr)
                ended = unit == endChar || (kUTF16 && unit == lf);
            else
                ended = unit == lf || unit == cr;
            if (!ended)
                ++end;
        }
        size_t lineSize = lineBytes.GetDataSize();
        size_t added = end * sizeof(UNIT);
        if (lineBytes._EnlargeAmortized(lineSize + added))
        {
            if (added > 0)
                std::memcpy(static_cast<uint8_t*>(lineBytes.GetDataPtr()) + lineSize, chunk, added);
            lineBytes.SetDataSize(lineSize + added);
        }
        else
        {
            _Fail(VE_MEMORY_FULL);
        }
        if (!ended)
        {
            if (atEnd)
                break;
            continue;
        }
        size_t consumed = end + 1;
        if (inEndChar == nullptr && chunk[end] == cr)
        {
            if (consumed < count)
            {
                if (chunk[consumed] == lf)
                    ++consumed;
            }
            else if (!atEnd)
            {
                // The CR ended the chunk: its LF, if any, is the next unit.
                UNIT next = 0;
                size_t nextBytes = 0;
                GetData(&next, sizeof(next), &nextBytes);
                if (nextBytes > 0 && (nextBytes != sizeof(next) || next != lf))
                    UngetData(&next, nextBytes);
            }
        }
        _ClearEndOfData();
        UngetData(reinterpret_cast<uint8_t*>(chunk) + consumed * sizeof(UNIT),
                  bytes - consumed * sizeof(UNIT));
    }
    if (readSome)
        _ClearEndOfData();
    if (lineBytes.GetDataSize() > 0 && fToUnicode != nullptr)
        fToUnicode->ConvertLastString(lineBytes.GetDataPtr(), lineBytes.GetDataSize(), nullptr, outLine);
    if (inKeepEnd && readSome)
        outLine.AppendUniChar(kCR);
    return fLastError;
}

VError VStream::GetTextLine(VString& outLine, bool inKeepEnd, const UniChar* inEndChar)
{
    outLine.Clear();
    if (fLastError != VE_OK)
        return fLastError;
    StEndOfDataMuted muted(*this);
    if (fCharSet == VTC_UTF_16 || fCharSet == VTC_UTF_16_BIGENDIAN)
        return _GetTextLineOf<UniChar>(outLine, inKeepEnd, inEndChar);
    return _GetTextLineOf<uint8_t>(outLine, inKeepEnd, inEndChar);
}

VError VStream::GetTTRLine(VArrayString& outFields)
{
    outFields.SetCount(0);
    VString line;
    const VError error = GetTextLine(line, false);
    if (error != VE_OK && error != VE_STREAM_EOF)
        return error;
    const UniChar* units = line.GetCPointer();
    int32_t start = 0;
    for (int32_t i = 0; i <= line.GetLength(); ++i)
    {
        if (i == line.GetLength() || units[i] == u'\t')
        {
            VString field;
            field.FromUniString(units + start, i - start);
            outFields.AppendString(field);
            start = i + 1;
        }
    }
    return error;
}

VError VStream::PutText(const VString& inText)
{
    if (fLastError != VE_OK)
        return fLastError;
    if (!fIsWriting)
        return _Fail(VE_STREAM_CANNOT_WRITE);
    if (!_MakeFromUnicodeConverter())
        return _Fail(VE_STREAM_NO_TEXT_CONVERTER);
    const VString* text = &inText;
    VString converted;
    if (fCarriageReturnMode != eCRM_NONE)
    {
        if (!ConvertLineEnds(inText, fCarriageReturnMode, converted))
            return _Fail(VE_MEMORY_FULL);
        text = &converted;
    }
    void* block = nullptr;
    size_t size = 0;
    int32_t consumed = 0;
    bool encoded =
        fFromUnicode->ConvertRealloc(text->GetCPointer(), text->GetLength(), block, size, 0, &consumed);
    // Text that cannot be encoded whole is not written at all.
    if (!encoded || consumed != text->GetLength())
        _Fail(block == nullptr ? VE_MEMORY_FULL : VE_STREAM_TEXT_CONVERSION_FAILURE);
    else
        PutData(block, size);
    VMemory::DisposePtr(block);
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

VError VStream::PutPrintf(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    const VError error = PutVPrintf(inFormat, arguments);
    va_end(arguments);
    return error;
}

VError VStream::PutVPrintf(const char* inFormat, va_list inArguments)
{
    VStr255 text;
    text.VPrintf(inFormat, inArguments);
    return PutText(text);
}

} // namespace kova
