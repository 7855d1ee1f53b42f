// VStream is the toolbox's abstract byte stream: everything that serialises (values, value bags,
// binary JSON, text files) goes through it. The base class owns the policy: opening and closing,
// the sticky last error, the byte order of typed values, the signature test that detects a
// byte-swapped writer, and text in a character set. A subclass supplies only raw storage through
// the Do operations, which read and write at GetPos(); the base moves the position.
//
// The last error is sticky: once a read, write, positioning or size operation failed, every later
// one returns that code at once, without doing anything, until the stream is opened again. So a
// writer may put a whole record and test the result once. Refusals of a call made in the wrong
// state (opening twice, closing a closed stream) are raised and returned but not stored.
//
// A new stream reads and writes multi-byte values in host order (little-endian on every supported
// processor); big-endian formats call SetBigEndian first. Text is read and written in the stream's
// character set (the standard 8-bit set until SetCharSet), through converters made once per set;
// written line ends follow the carriage-return mode (LF until changed).
//
// A stream given a progress indicator reports to it: opening for reading begins a session whose
// maximum is the size ("Reading From Stream"), opening for writing an undetermined one ("Writing to
// Stream"), every transfer advances it to the position after the transfer, and closing ends the
// session the opening began. An advance answered false (the user asked to stop) fails the transfer
// with kova 206.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/ByteSwap.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace kova
{

class VArrayString;
class VFromUnicodeConverter;
class VProgressIndicator;
class VString;
class VToUnicodeConverter;
class VValue;

// True when the bytes are well-formed UTF-8 (no overlong form, no surrogate, nothing past
// U+10FFFF); a sequence cut at the end is not. No bytes at all are well-formed.
bool DetectUTF8(const uint8_t* inBytes, int32_t inCount);

class VStream : public VObject
{
public:
    // Where the whole content lies when it is one memory block.
    struct UnderlyingData
    {
        bool fIsOneBlock = false;
        const void* fData = nullptr;
        size_t fSize = 0;
    };

    VStream();
    VStream(const VStream&) = delete;
    VStream& operator=(const VStream&) = delete;
    // Does not close: closing is the owner's job.
    ~VStream() override;

    // Opening and closing. A stream is open for reading or for writing, never both.
    VError OpenReading();
    // Opens for reading (or reads at the current position when already reading) and checks the
    // 32-bit signature that the writer put first in its own byte order. Data in the other order
    // sets the swap flag, data in host order clears it. A mismatch returns kova 207 (not stored)
    // with the stream still open and rewound to where the signature began.
    VError OpenReading(uint32_t inSignature);
    VError OpenWriting();
    VError CloseReading();
    // inSetSize asks storage with a size of its own (a file) to be cut to the stream's size.
    VError CloseWriting(bool inSetSize = true);
    bool IsReading() const { return fIsReading; }
    bool IsWriting() const { return fIsWriting; }

    VError GetLastError() const { return fLastError; }

    // State set by the owner before opening.
    VError SetReadOnly(bool inReadOnly);
    VError SetWriteOnly(bool inWriteOnly);
    bool IsReadOnly() const { return fIsReadOnly; }
    bool IsWriteOnly() const { return fIsWriteOnly; }

    // Byte order of typed values: swapped when the data's order differs from the processor's.
    void SetNeedSwap(bool inNeedSwap) { fNeedSwap = inNeedSwap; }
    bool NeedSwap() const { return fNeedSwap; }
    void SetBigEndian() { fNeedSwap = true; }
    void SetLittleEndian() { fNeedSwap = false; }

    // Text. Changing the set makes the converters of the new one; a set that cannot be converted
    // gives kova 208.
    VError SetCharSet(CharSet inCharSet);
    CharSet GetCharSet() const { return fCharSet; }
    void SetCarriageReturnMode(ECarriageReturnMode inMode) { fCarriageReturnMode = inMode; }
    ECarriageReturnMode GetCarriageReturnMode() const { return fCarriageReturnMode; }
    // Picks the set from the first bytes (a byte-order mark, which is then skipped, or a pattern
    // of zeros), else inDefault; with inProbeUTF8, up to 2048 bytes of well-formed UTF-8 choose
    // UTF-8. The bytes after the mark are read again.
    VError GuessCharSetFromLeadingBytes(CharSet inDefault, bool inProbeUTF8, bool* outBOMFound);
    // The byte-order mark of the set, when it has one.
    VError WriteBOM();
    // Appends the rest of the stream, decoded; bytes left undecoded at the end give kova 210.
    VError GetText(VString& ioText);
    // Appends at most inCount characters (more with inAcceptMore when a decoded run overshoots);
    // the bytes after them are read again.
    VError GetText(VString& ioText, int32_t inCount, bool inAcceptMore);
    // Replaces outLine by the next line, without its end: LF, CR or CR LF, or only the character
    // inEndChar when given. With inKeepEnd the line ends in one CR. The last line comes back with
    // 0; a call with nothing left gives the end of data.
    VError GetTextLine(VString& outLine, bool inKeepEnd, const UniChar* inEndChar = nullptr);
    // Empties the list, reads the next line and cuts it at every tab into the list; an empty line
    // gives one empty field. The line's result (the end of data when nothing was left).
    VError GetTTRLine(VArrayString& outFields);
    // Writes the text in the stream's set, line ends converted first unless the mode keeps them.
    VError PutText(const VString& inText);
    // The printf-style text of VString::VPrintf, written as PutText writes.
    VError PutPrintf(const char* inFormat, ...);
    VError PutVPrintf(const char* inFormat, va_list inArguments);

    // Positions and sizes.
    int64_t GetPos() const { return fPos; }
    int64_t GetSize();
    VError SetPos(int64_t inPos);
    VError SetPosByOffset(int64_t inOffset);
    VError SetSize(int64_t inSize);
    VError Flush();

    // Raw data. outRead receives the bytes read, untouched when a stored error answered at once.
    VError GetData(void* outBuffer, size_t inCount, size_t* outRead = nullptr);
    VError PutData(const void* inData, size_t inCount);
    // Pushes back the last bytes read, so that they are read again; clears a stored end of data.
    VError UngetData(const void* inData, size_t inCount);
    // Copies this stream's whole content into a destination already open for writing.
    VError PutContentInto(VStream* inDestination);
    // Each byte as two upper-case hexadecimal digits.
    VError PutHexBytes(const char* inBytes, size_t inCount);

    // A scalar of 1, 2, 4 or 8 bytes in the stream's byte order. On a failed read the value
    // becomes 0.
    template <class T>
    VError Put(T inValue)
    {
        if (fNeedSwap)
            inValue = ByteSwap(inValue);
        return PutData(&inValue, sizeof(T));
    }
    template <class T>
    VError Get(T& outValue)
    {
        T value{};
        size_t read = 0;
        VError error = GetData(&value, sizeof(T), &read);
        if (error != VE_OK || read != sizeof(T))
            value = T{};
        else if (fNeedSwap)
            value = ByteSwap(value);
        outValue = value;
        return error;
    }
    VError PutByte(uint8_t inValue) { return Put(inValue); }
    VError PutWord(int16_t inValue) { return Put(inValue); }
    VError PutLong(int32_t inValue) { return Put(inValue); }
    VError PutLong8(int64_t inValue) { return Put(inValue); }
    VError PutReal(double inValue) { return Put(inValue); }
    VError GetByte(uint8_t& outValue) { return Get(outValue); }
    VError GetWord(int16_t& outValue) { return Get(outValue); }
    VError GetLong(int32_t& outValue) { return Get(outValue); }
    VError GetLong8(int64_t& outValue) { return Get(outValue); }
    VError GetReal(double& outValue) { return Get(outValue); }

    // Arrays in one transfer. ioCount gives the elements wanted and receives the whole elements
    // read (0 when the call was refused). The caller's array is never swapped by a put.
    VError GetWords(int16_t* outValues, int32_t* ioCount) { return _GetElements(outValues, ioCount, 2); }
    VError GetLongs(int32_t* outValues, int32_t* ioCount) { return _GetElements(outValues, ioCount, 4); }
    VError GetLong8s(int64_t* outValues, int32_t* ioCount) { return _GetElements(outValues, ioCount, 8); }
    VError GetReals(double* outValues, int32_t* ioCount) { return _GetElements(outValues, ioCount, 8); }
    VError PutWords(const int16_t* inValues, int32_t inCount) { return _PutElements(inValues, inCount, 2); }
    VError PutLongs(const int32_t* inValues, int32_t inCount) { return _PutElements(inValues, inCount, 4); }
    VError PutLong8s(const int64_t* inValues, int32_t inCount) { return _PutElements(inValues, inCount, 8); }
    VError PutReals(const double* inValues, int32_t inCount) { return _PutElements(inValues, inCount, 8); }

    // A value in its stream form, after its 16-bit kind when inWithKind.
    VError PutValue(const VValue& inValue, bool inWithKind);
    // A new value (owned by the caller) of the kind read first, read from its stream form; null
    // when the kind could not be read or is not registered.
    VValue* GetValue();

    virtual UnderlyingData GetUnderlyingData() const;

    // The indicator is retained (null for none) and the previous one released, the session the
    // stream began on it ended first. Not retained for the caller.
    void SetProgressIndicator(VProgressIndicator* inIndicator);
    VProgressIndicator* GetProgressIndicator() const { return fProgress; }

protected:
    // Storage. Each works at GetPos(); the base moves the position after each transfer. The base
    // versions of the non-pure ones do nothing and succeed.
    virtual VError DoOpenReading();
    virtual VError DoOpenWriting();
    virtual VError DoCloseReading();
    virtual VError DoCloseWriting(bool inSetSize);
    virtual VError DoPutData(const void* inData, size_t inCount) = 0;
    // ioCount: the bytes wanted on entry, the bytes read on return; kova 200 when fewer were there.
    virtual VError DoGetData(void* outBuffer, size_t* ioCount) = 0;
    virtual VError DoUngetData(const void* inData, size_t inCount);
    virtual int64_t DoGetSize() = 0;
    virtual VError DoSetSize(int64_t inSize) = 0;
    virtual VError DoSetPos(int64_t inPos);
    virtual VError DoFlush();

private:
    // Raises and stores a failure of this stream; returns it.
    VError _Fail(VError inError);
    VError _GetElements(void* outValues, int32_t* ioCount, size_t inWidth);
    VError _PutElements(const void* inValues, int32_t inCount, size_t inWidth);
    // Makes the converter of the set when there is none; false when it cannot convert.
    bool _MakeToUnicodeConverter();
    bool _MakeFromUnicodeConverter();
    void _ReleaseConverters();
    // Clears an end of data that a text operation reached itself.
    void _ClearEndOfData();
    // The progress session of an opening and a closing, and the report of a transfer, which
    // stores kova 206 when the indicator asks to stop and no error is stored.
    void _BeginProgress(int64_t inMax, const char* inMessage);
    void _EndProgress();
    void _ReportProgress();
    // Lines of 8-bit units (every byte set) or of UTF-16 units.
    template <class UNIT>
    VError _GetTextLineOf(VString& outLine, bool inKeepEnd, const UniChar* inEndChar);
    // Decodes one character at a time from the buffer until inCount characters were gained,
    // a decode fails or the bytes run out; returns the bytes used.
    size_t _DecodeCharacterByCharacter(const uint8_t* inBytes, size_t inSize, VString& ioText,
                                       int32_t& ioGained, int32_t inCount, bool& outFailed);

    // Retained; null for none.
    VProgressIndicator* fProgress = nullptr;
    // Whether this stream's opening began a session on it, which its closing ends.
    bool fProgressSessionOpen = false;
    int64_t fPos = 0;
    bool fIsReading = false;
    bool fIsWriting = false;
    bool fIsReadOnly = false;
    bool fIsWriteOnly = false;
    bool fNeedSwap = false;
    VError fLastError = VE_OK;
    CharSet fCharSet = VTC_StdLib_char;
    ECarriageReturnMode fCarriageReturnMode = eCRM_LF;
    VToUnicodeConverter* fToUnicode = nullptr;
    VFromUnicodeConverter* fFromUnicode = nullptr;
};

} // namespace kova
