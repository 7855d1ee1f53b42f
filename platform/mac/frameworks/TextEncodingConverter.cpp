#include "platform/mac/frameworks/TextEncodingConverter.h"

#include "kernel/text/Surrogates.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <mutex>
#include <new>

namespace kova::tec
{

namespace
{

struct EncodingName
{
    TextEncodingBase fBase;
    const char* fName; // ICU's canonical name
};

// The Mac code pages ICU lacks (Japanese 0x1, Traditional Chinese 0x2, Arabic 0x4, Hebrew 0x5,
// Simplified Chinese 0x19) have no row: they are not supported.
constexpr EncodingName kEncodingNames[] = {
    {0x0, "macos-0_2-10.2"},                 // Mac Roman
    {0x6, "macos-6_2-10.4"},                 // Mac Greek
    {0x7, "macos-7_3-10.2"},                 // Mac Cyrillic
    {0x1D, "macos-29-10.2"},                 // Mac Central European Roman
    {0x23, "macos-35-10.2"},                 // Mac Turkish
    {0x201, "ISO-8859-1"},                   // ISO Latin 1
    {0x202, "ibm-912_P100-1995"},            // ISO 8859-2
    {0x203, "ibm-913_P100-2000"},            // ISO 8859-3
    {0x204, "ibm-914_P100-1995"},            // ISO 8859-4
    {0x205, "ibm-915_P100-1995"},            // ISO 8859-5
    {0x206, "ibm-1089_P100-1995"},           // ISO 8859-6
    {0x207, "ibm-9005_X110-2007"},           // ISO 8859-7
    {0x208, "ibm-5012_P100-1999"},           // ISO 8859-8
    {0x209, "ibm-920_P100-1995"},            // ISO 8859-9
    {0x20A, "iso-8859_10-1998"},             // ISO 8859-10
    {0x20D, "ibm-921_P100-1995"},            // ISO 8859-13
    {0x20F, "ibm-923_P100-1998"},            // ISO 8859-15
    {0x400, "ibm-437_P100-1995"},            // DOS Latin US
    {0x420, "ibm-943_P15A-2003"},            // DOS Japanese (Windows-31J)
    {0x421, "windows-936-2000"},             // DOS Simplified Chinese (GBK)
    {0x423, "windows-950-2000"},             // DOS Traditional Chinese (code page 950)
    {0x500, "ibm-5348_P100-1997"},           // Windows Latin 1
    {0x501, "ibm-5346_P100-1998"},           // Windows Latin 2
    {0x502, "ibm-5347_P100-1998"},           // Windows Cyrillic
    {0x503, "ibm-5349_P100-1998"},           // Windows Greek
    {0x504, "ibm-5350_P100-1998"},           // Windows Latin 5
    {0x505, "ibm-9447_P100-2002"},           // Windows Hebrew
    {0x506, "ibm-9448_X100-2005"},           // Windows Arabic
    {0x507, "ibm-9449_P100-2002"},           // Windows Baltic Rim
    {0x600, "US-ASCII"},                     // US ASCII
    {0x630, "ibm-1383_P110-1999"},           // GB 2312-80, in its EUC form
    {0x820, "ISO_2022,locale=ja,version=0"}, // ISO-2022-JP
    {0x940, "ibm-970_P110_P110-2006_U2"},    // EUC-KR
    {0xA01, "ibm-943_P15A-2003"},            // Shift-JIS
    {0xA02, "ibm-878_P100-1996"},            // KOI8-R
    {0xA03, "windows-950-2000"},             // Big5
    {0xC02, "ibm-37_P100-1995"},             // EBCDIC code page 037
};

constexpr TextEncodingBase kTextEncodingISO_2022_JP = 0x820;

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kUTF16Name = "UTF-16LE";
constexpr const char* kUTF32Name = "UTF-32LE";
#else
constexpr const char* kUTF16Name = "UTF-16BE";
constexpr const char* kUTF32Name = "UTF-32BE";
#endif

bool HasShiftStates(TextEncoding inEncoding)
{
    TextEncodingBase base = GetTextEncodingBase(inEncoding);
    return base == kTextEncodingISO_2022_JP ||
           (base == kTextEncodingUnicodeDefault && GetTextEncodingFormat(inEncoding) == kUnicodeUTF7Format);
}

bool IsUnicode16(TextEncoding inEncoding)
{
    return GetTextEncodingBase(inEncoding) == kTextEncodingUnicodeDefault &&
           GetTextEncodingFormat(inEncoding) == kUnicode16BitFormat;
}

// ICU refuses ranges longer than this in one call.
constexpr size_t kMaxRange = 0x3FFFFFFF;

// Room for the units ICU reports as the invalid character (at most a pair, and then some).
constexpr int8_t kInvalidUnitsRoom = 32;

// The longest character of any ICU converter, escape sequences included, is far below this.
constexpr size_t kMaxCharSizeForScratch = 16;
constexpr size_t kScratchUnits = 16;

// More than the longest incomplete character any ICU converter keeps (escape sequences included).
constexpr size_t kMaxHeldBytes = 32;

} // namespace

// One ICU converter, used by one call at a time.
struct OpaqueConversion
{
    std::mutex fLock;
    UConverter* fConverter = nullptr;
    bool fToUnicode = false;
    bool fShiftStates = false;
    // A converter object carries its decoding state from one call to the next; an info starts
    // every call in the initial state.
    bool fKeepsState = false;
    // Decoding with a converter object: the bytes of a character the last call left open. ICU
    // holds them in its state, and the call handed them back to the caller, who gives them again
    // at the front of the next call: they are passed over there rather than read twice.
    char fHeld[kMaxHeldBytes] = {};
    size_t fHeldLength = 0;
};

namespace
{

OSStatus OpenConversion(TextEncoding inEncoding, bool inToUnicode, bool inKeepsState,
                        OpaqueConversion** outConversion)
{
    if (outConversion == nullptr)
        return paramErr;
    *outConversion = nullptr;
    const char* name = GetICUConverterName(inEncoding);
    if (name == nullptr)
        return kTextUnsupportedEncodingErr;
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &error);
    if (U_FAILURE(error))
        return StatusFromICU(error, inToUnicode);
    if (!inToUnicode)
    {
        ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        if (U_FAILURE(error))
        {
            ucnv_close(converter);
            return StatusFromICU(error, inToUnicode);
        }
    }
    auto* conversion = new (std::nothrow) OpaqueConversion;
    if (conversion == nullptr)
    {
        ucnv_close(converter);
        return memFullErr;
    }
    conversion->fConverter = converter;
    conversion->fToUnicode = inToUnicode;
    conversion->fShiftStates = HasShiftStates(inEncoding);
    conversion->fKeepsState = inKeepsState;
    *outConversion = conversion;
    return noErr;
}

void CloseConversion(OpaqueConversion* inConversion)
{
    if (inConversion == nullptr)
        return;
    ucnv_close(inConversion->fConverter);
    delete inConversion;
}

// The state every try of one call starts from. A converter object starts where its previous call
// left it: a copy of that state lets a try that must be done again (the output overflowed, or
// bytes are handed back) start from the same place.
class StCallStart
{
public:
    explicit StCallStart(OpaqueConversion& ioConversion) : fConversion(ioConversion)
    {
        if (!ioConversion.fKeepsState)
        {
            ucnv_reset(ioConversion.fConverter);
            return;
        }
        UErrorCode error = U_ZERO_ERROR;
        fSaved = ucnv_clone(ioConversion.fConverter, &error);
        if (U_FAILURE(error))
        {
            ucnv_close(fSaved);
            fSaved = nullptr;
            fValid = false;
        }
    }
    ~StCallStart() { ucnv_close(fSaved); }
    StCallStart(const StCallStart&) = delete;
    StCallStart& operator=(const StCallStart&) = delete;

    // False when the starting state could not be kept (no memory): nothing may be converted.
    bool IsValid() const { return fValid; }

    // Back to the state the call started in. Without memory for the copy, the converter goes
    // back to the initial state and the answer is false.
    bool Restore()
    {
        if (fSaved == nullptr)
        {
            ucnv_reset(fConversion.fConverter);
            return fValid;
        }
        UErrorCode error = U_ZERO_ERROR;
        UConverter* copy = ucnv_clone(fSaved, &error);
        if (U_FAILURE(error))
        {
            ucnv_close(copy);
            ucnv_reset(fConversion.fConverter);
            return false;
        }
        ucnv_close(fConversion.fConverter);
        fConversion.fConverter = copy;
        return true;
    }

private:
    OpaqueConversion& fConversion;
    UConverter* fSaved = nullptr;
    bool fValid = true;
};

// One try of a decoding call, from the converter's current state.
struct DecodeTry
{
    size_t fTaken = 0;      // where ICU stopped reading
    size_t fPending = 0;    // of those, the bytes ICU holds for a character not yet complete
    size_t fWritten = 0;    // units
    bool fOverflow = false; // ICU kept back output that did not fit
};

// To UTF-16. Without inFlush a character cut short by the end stays pending inside ICU; with it,
// the input ends here: such a character decodes to a replacement and ICU returns to its initial
// state.
OSStatus DecodeRun(UConverter* inConverter, const char* inSource, size_t inSourceLength, bool inFlush,
                   UChar* outUnicode, size_t inUnicodeCapacity, DecodeTry& outTry)
{
    UErrorCode error = U_ZERO_ERROR;
    const char* source = inSource;
    UChar* target = outUnicode;
    ucnv_toUnicode(inConverter, &target, outUnicode + inUnicodeCapacity, &source, inSource + inSourceLength,
                   nullptr, inFlush, &error);
    outTry = DecodeTry();
    outTry.fOverflow = error == U_BUFFER_OVERFLOW_ERROR;
    if (U_FAILURE(error) && !outTry.fOverflow)
        return StatusFromICU(error, true);
    outTry.fTaken = size_t(source - inSource);
    if (!inFlush)
    {
        UErrorCode pendingError = U_ZERO_ERROR;
        int32_t pending = ucnv_toUCountPending(inConverter, &pendingError);
        outTry.fPending =
            U_FAILURE(pendingError) || pending < 0 ? 0 : std::min(size_t(pending), outTry.fTaken);
    }
    outTry.fWritten = size_t(target - outUnicode);
    return noErr;
}

OSStatus Decode(OpaqueConversion* inConversion, const void* inSource, size_t inSourceLength,
                bool inUseFallbacks, bool inFlush, size_t inOutputBufferLength, size_t* outSourceRead,
                size_t* outUnicodeLength, char16_t* outUnicode)
{
    if (inConversion == nullptr || !inConversion->fToUnicode || outSourceRead == nullptr ||
        outUnicodeLength == nullptr || (inSourceLength != 0 && inSource == nullptr) ||
        (inOutputBufferLength >= 2 && outUnicode == nullptr))
        return paramErr;
    std::lock_guard<std::mutex> guard(inConversion->fLock);
    *outSourceRead = 0;
    *outUnicodeLength = 0;

    const auto* source = static_cast<const char*>(inSource);
    size_t length = std::min(inSourceLength, kMaxRange);
    // A converter object passes over the bytes it holds when the caller gives them again; other
    // bytes mean the caller gave the character up, and the state starts afresh.
    const size_t held = inConversion->fHeldLength;
    size_t skipped = 0;
    if (held > 0)
    {
        const bool given = std::equal(source, source + std::min(held, length), inConversion->fHeld);
        if (!given || (length < held && inFlush))
        {
            ucnv_resetToUnicode(inConversion->fConverter);
            inConversion->fHeldLength = 0;
        }
        else if (length < held)
        {
            return kTECPartialCharErr; // still not the whole character
        }
        else
        {
            skipped = held;
            source += held;
            length -= held;
        }
    }
    const size_t heldBefore = inConversion->fHeldLength;
    StCallStart start(*inConversion);
    if (!start.IsValid())
        return memFullErr;

    const size_t capacity = std::min(inOutputBufferLength / 2, kMaxRange);
    // The end of the input is flushed only when the whole of it is read in one run.
    auto run = [&](size_t inPrefix, bool inAgain, DecodeTry& outTry)
    {
        if (inAgain && !start.Restore())
            return memFullErr;
        ucnv_setFallback(inConversion->fConverter, inUseFallbacks);
        OSStatus status = DecodeRun(inConversion->fConverter, source, inPrefix, inFlush && inPrefix == length,
                                    outUnicode, capacity, outTry);
        if (status != noErr)
            start.Restore();
        return status;
    };

    DecodeTry done;
    size_t prefix = length;
    OSStatus status = run(prefix, false, done);
    // ICU keeps back what did not fit, and the bytes it read for it would be lost: read again a
    // shorter prefix until the output holds every character read.
    while (status == noErr && done.fOverflow)
    {
        if (prefix == 0)
        {
            // Even what the state alone gives does not fit: the next call, with more room, starts
            // where this one did.
            start.Restore();
            inConversion->fHeldLength = heldBefore;
            return kTECOutputBufferFullStatus;
        }
        prefix = std::min(done.fTaken, prefix - 1);
        status = run(prefix, true, done);
    }
    if (status != noErr)
    {
        inConversion->fHeldLength = heldBefore;
        return status;
    }
    // The bytes of a character cut short are handed back: the caller gives them again with what
    // follows. An info starts every call afresh and simply reads them again; a converter object
    // keeps them in its state and passes over them then.
    const size_t pending = std::min(done.fPending, kMaxHeldBytes);
    const size_t read = skipped + done.fTaken - pending;
    if (inConversion->fKeepsState)
    {
        std::copy(source + done.fTaken - pending, source + done.fTaken, inConversion->fHeld);
        inConversion->fHeldLength = pending;
    }
    status = pending > 0 ? kTECPartialCharErr : noErr;
    if (read < inSourceLength && done.fWritten == capacity)
        status = kTECOutputBufferFullStatus;
    *outSourceRead = read;
    *outUnicodeLength = done.fWritten * 2;
    return status;
}

// From UTF-16, from the converter's current state. Flushed, the output ends in the encoding's
// initial state. Stops before the first unit that cannot be encoded (outUnmappable, with the units
// read before it); what was written then may lack the return to the initial state.
OSStatus EncodeRun(UConverter* inConverter, const UChar* inUnicode, size_t inUnicodeLength, bool inFlush,
                   char* outText, size_t inTextCapacity, size_t& outUnicodeRead, size_t& outTextWritten,
                   bool& outUnmappable)
{
    outUnicodeRead = 0;
    outTextWritten = 0;
    outUnmappable = false;
    UErrorCode error = U_ZERO_ERROR;
    const UChar* source = inUnicode;
    char* target = outText;
    ucnv_fromUnicode(inConverter, &target, outText + inTextCapacity, &source, inUnicode + inUnicodeLength,
                     nullptr, inFlush, &error);
    if (error == U_INVALID_CHAR_FOUND || error == U_ILLEGAL_CHAR_FOUND || error == U_TRUNCATED_CHAR_FOUND)
    {
        UChar invalid[kInvalidUnitsRoom];
        int8_t invalidLength = kInvalidUnitsRoom;
        UErrorCode invalidError = U_ZERO_ERROR;
        ucnv_getInvalidUChars(inConverter, invalid, &invalidLength, &invalidError);
        size_t before = size_t(source - inUnicode);
        if (U_FAILURE(invalidError) || invalidLength < 0 || size_t(invalidLength) > before)
            invalidLength = 0;
        outUnicodeRead = before - size_t(invalidLength);
        outUnmappable = true;
        return noErr;
    }
    if (U_FAILURE(error))
        return StatusFromICU(error, false);
    outUnicodeRead = size_t(source - inUnicode);
    outTextWritten = size_t(target - outText);
    return noErr;
}

// The longest prefix of at most inUnits units that does not end with a high surrogate (short of the
// whole text): encoded without a flush, ICU would keep that unit in its state waiting for its
// partner, and a lone one would then stand in front of every later call.
size_t WholeCharacters(const UChar* inUnicode, size_t inLength, size_t inUnits)
{
    if (inUnits > 0 && inUnits < inLength && IsHighSurrogate(inUnicode[inUnits - 1]))
        --inUnits;
    return inUnits;
}

OSStatus Encode(OpaqueConversion* inConversion, size_t inUnicodeLength, const char16_t* inUnicode,
                bool inUseFallbacks, size_t inOutputBufferLength, size_t* outInputRead,
                size_t* outOutputLength, void* outText)
{
    if (inConversion == nullptr || inConversion->fToUnicode || outInputRead == nullptr ||
        outOutputLength == nullptr || (inUnicodeLength >= 2 && inUnicode == nullptr) ||
        (inOutputBufferLength != 0 && outText == nullptr))
        return paramErr;
    std::lock_guard<std::mutex> guard(inConversion->fLock);
    *outInputRead = 0;
    *outOutputLength = 0;
    StCallStart start(*inConversion);
    if (!start.IsValid())
        return memFullErr;

    const UChar* unicode = inUnicode;
    const size_t length = std::min(inUnicodeLength / 2, size_t(kMaxRange));
    const size_t capacity = std::min(inOutputBufferLength, kMaxRange);
    auto* text = static_cast<char*>(outText);
    size_t read = 0;
    size_t written = 0;
    OSStatus status = noErr;

    // Encodes the first inUnits units, from the state the call started in. A run that the room cuts
    // short is not flushed on a converter object: the text goes on in the next call, so that no
    // return to the initial state and shift back (which decoders refuse) lies between the chunks.
    // A stop at a unit the encoding lacks writes the part before it again, flushed, since the
    // caller writes a replacement byte after it.
    bool again = false;
    auto encode = [&](size_t inUnits, char* outBuffer, size_t inRoom, size_t& outRead, size_t& outWritten)
    {
        bool flush = !inConversion->fKeepsState || inUnits == length;
        OSStatus result = noErr;
        for (;;)
        {
            if (again && !start.Restore())
                return memFullErr;
            again = true;
            ucnv_setFallback(inConversion->fConverter, inUseFallbacks);
            bool unmappable = false;
            OSStatus runStatus = EncodeRun(inConversion->fConverter, unicode, inUnits, flush, outBuffer,
                                           inRoom, outRead, outWritten, unmappable);
            if (runStatus != noErr)
            {
                start.Restore();
                return runStatus;
            }
            if (!unmappable)
                return result;
            if (outRead >= inUnits)
            {
                // The unit ICU cannot encode is none of these: it lies in the state. Trying again
                // would find it again.
                start.Restore();
                return kTECCorruptConverterErr;
            }
            inUnits = outRead;
            flush = true;
            result = kTECUnmappableElementErr;
        }
    };

    // Encode only as much as surely fits, so that ICU never keeps output back.
    // ICU's own bound: the longest character for each unit, and, with shift states, room for ten
    // more to return to the initial state at the end.
    const size_t maxCharSize = std::max<size_t>(size_t(ucnv_getMaxCharSize(inConversion->fConverter)), 1);
    const size_t ending = inConversion->fShiftStates ? 10 : 0;
    size_t units = length;
    if ((length + ending) * maxCharSize > capacity)
        units = WholeCharacters(unicode, length,
                                capacity / maxCharSize > ending ? capacity / maxCharSize - ending : 0);
    if (units > 0 || length == 0 || maxCharSize > kMaxCharSizeForScratch)
    {
        status = encode(units, text, capacity, read, written);
    }
    else
    {
        // A small output: try a few characters in a scratch buffer, fewer until they fit.
        char scratch[(kScratchUnits + 10) * kMaxCharSizeForScratch];
        status = kTECOutputBufferFullStatus;
        for (size_t trial = WholeCharacters(unicode, length, std::min(length, kScratchUnits)); trial > 0;
             trial = WholeCharacters(unicode, length, trial - 1))
        {
            size_t trialRead = 0;
            size_t trialWritten = 0;
            OSStatus trialStatus = encode(trial, scratch, sizeof(scratch), trialRead, trialWritten);
            if (trialStatus != noErr && trialStatus != kTECUnmappableElementErr)
            {
                status = trialStatus;
                break;
            }
            if (trialWritten <= capacity)
            {
                std::copy(scratch, scratch + trialWritten, text);
                read = trialRead;
                written = trialWritten;
                status = trialStatus;
                break;
            }
        }
        // Nothing fitted: the next call starts where this one did.
        if (status == kTECOutputBufferFullStatus)
            start.Restore();
    }
    if (status == noErr && read < inUnicodeLength / 2)
        status = kTECOutputBufferFullStatus;
    if (status == noErr || status == kTECUnmappableElementErr || status == kTECOutputBufferFullStatus)
    {
        *outInputRead = read * 2;
        *outOutputLength = written;
    }
    return status;
}

} // namespace

TextEncoding CreateTextEncoding(TextEncodingBase inBase, TextEncodingVariant inVariant,
                                TextEncodingFormat inFormat)
{
    return (inBase & 0xFFFF) | ((inVariant & 0x3FF) << 16) | ((inFormat & 0x3F) << 26);
}

TextEncodingBase GetTextEncodingBase(TextEncoding inEncoding)
{
    return inEncoding & 0xFFFF;
}

TextEncodingFormat GetTextEncodingFormat(TextEncoding inEncoding)
{
    return (inEncoding >> 26) & 0x3F;
}

const char* GetICUConverterName(TextEncoding inEncoding)
{
    TextEncodingBase base = GetTextEncodingBase(inEncoding);
    if (base == kTextEncodingUnicodeDefault)
    {
        switch (GetTextEncodingFormat(inEncoding))
        {
        case kUnicode16BitFormat:
            return kUTF16Name;
        case kUnicodeUTF7Format:
            return "UTF-7";
        case kUnicodeUTF8Format:
            return "UTF-8";
        case kUnicode32BitFormat:
            return kUTF32Name;
        default:
            return nullptr;
        }
    }
    for (const EncodingName& row : kEncodingNames)
    {
        if (row.fBase == base)
            return row.fName;
    }
    return nullptr;
}

OSStatus StatusFromICU(int32_t inICUErrorCode, bool inToUnicode)
{
    auto error = UErrorCode(inICUErrorCode);
    if (U_SUCCESS(error))
        return noErr;
    switch (error)
    {
    case U_BUFFER_OVERFLOW_ERROR:
        return kTECOutputBufferFullStatus;
    case U_TRUNCATED_CHAR_FOUND:
        return kTECPartialCharErr;
    case U_INVALID_CHAR_FOUND:
    case U_ILLEGAL_CHAR_FOUND:
        return inToUnicode ? kTextMalformedInputErr : kTECUnmappableElementErr;
    case U_ILLEGAL_ESCAPE_SEQUENCE:
    case U_UNSUPPORTED_ESCAPE_SEQUENCE:
        return kTextMalformedInputErr;
    case U_FILE_ACCESS_ERROR:
    case U_MISSING_RESOURCE_ERROR:
    case U_UNSUPPORTED_ERROR:
        return kTextUnsupportedEncodingErr;
    case U_MEMORY_ALLOCATION_ERROR:
        return memFullErr;
    case U_ILLEGAL_ARGUMENT_ERROR:
    case U_INDEX_OUTOFBOUNDS_ERROR:
        return paramErr;
    default:
        return kTECCorruptConverterErr;
    }
}

OSStatus CreateTextToUnicodeInfoByEncoding(TextEncoding inEncoding, TextToUnicodeInfo* outInfo)
{
    if (outInfo != nullptr)
        *outInfo = nullptr;
    if (HasShiftStates(inEncoding))
        return kTextUnsupportedEncodingErr;
    return OpenConversion(inEncoding, true, false, outInfo);
}

OSStatus CreateUnicodeToTextInfoByEncoding(TextEncoding inEncoding, UnicodeToTextInfo* outInfo)
{
    if (outInfo != nullptr)
        *outInfo = nullptr;
    if (HasShiftStates(inEncoding))
        return kTextUnsupportedEncodingErr;
    return OpenConversion(inEncoding, false, false, outInfo);
}

OSStatus DisposeTextToUnicodeInfo(TextToUnicodeInfo* ioInfo)
{
    if (ioInfo == nullptr)
        return paramErr;
    CloseConversion(*ioInfo);
    *ioInfo = nullptr;
    return noErr;
}

OSStatus DisposeUnicodeToTextInfo(UnicodeToTextInfo* ioInfo)
{
    return DisposeTextToUnicodeInfo(ioInfo);
}

OSStatus ConvertFromTextToUnicode(TextToUnicodeInfo inInfo, size_t inSourceLength, const void* inSource,
                                  OptionBits inControlFlags, size_t inOutputBufferLength,
                                  size_t* outSourceRead, size_t* outUnicodeLength, char16_t* outUnicode)
{
    return Decode(inInfo, inSource, inSourceLength, (inControlFlags & kUnicodeUseFallbacksMask) != 0,
                  (inControlFlags & kUnicodeTextEndsMask) != 0, inOutputBufferLength, outSourceRead,
                  outUnicodeLength, outUnicode);
}

OSStatus ConvertFromUnicodeToText(UnicodeToTextInfo inInfo, size_t inUnicodeLength, const char16_t* inUnicode,
                                  OptionBits inControlFlags, size_t inOutputBufferLength,
                                  size_t* outInputRead, size_t* outOutputLength, void* outText)
{
    return Encode(inInfo, inUnicodeLength, inUnicode, (inControlFlags & kUnicodeLooseMappingsMask) != 0,
                  inOutputBufferLength, outInputRead, outOutputLength, outText);
}

OSStatus TECCreateConverter(TECObjectRef* outConverter, TextEncoding inInputEncoding,
                            TextEncoding inOutputEncoding)
{
    if (outConverter == nullptr)
        return paramErr;
    *outConverter = nullptr;
    if (IsUnicode16(inOutputEncoding))
        return OpenConversion(inInputEncoding, true, true, outConverter);
    if (IsUnicode16(inInputEncoding))
        return OpenConversion(inOutputEncoding, false, true, outConverter);
    return kTextUnsupportedEncodingErr;
}

OSStatus TECConvertText(TECObjectRef inConverter, const void* inInput, size_t inInputLength,
                        size_t* outInputRead, void* outOutput, size_t inOutputLength, size_t* outOutputLength)
{
    if (inConverter == nullptr)
        return paramErr;
    if (inConverter->fToUnicode)
        return Decode(inConverter, inInput, inInputLength, false, false, inOutputLength, outInputRead,
                      outOutputLength, static_cast<char16_t*>(outOutput));
    return Encode(inConverter, inInputLength, static_cast<const char16_t*>(inInput), false, inOutputLength,
                  outInputRead, outOutputLength, outOutput);
}

OSStatus TECFlushText(TECObjectRef inConverter, void* outOutput, size_t inOutputLength,
                      size_t* outOutputLength)
{
    if (inConverter == nullptr || outOutputLength == nullptr)
        return paramErr;
    *outOutputLength = 0;
    if (!inConverter->fToUnicode)
        return noErr; // every encoding call already ends in the initial state
    // The held bytes are given once more, as the end of the input.
    char held[kMaxHeldBytes];
    size_t heldLength = 0;
    {
        std::lock_guard<std::mutex> guard(inConverter->fLock);
        heldLength = inConverter->fHeldLength;
        std::copy(inConverter->fHeld, inConverter->fHeld + heldLength, held);
    }
    size_t read = 0;
    return Decode(inConverter, held, heldLength, false, true, inOutputLength, &read, outOutputLength,
                  static_cast<char16_t*>(outOutput));
}

OSStatus TECDisposeConverter(TECObjectRef inConverter)
{
    CloseConversion(inConverter);
    return noErr;
}

} // namespace kova::tec
