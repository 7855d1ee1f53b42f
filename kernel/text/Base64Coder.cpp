#include "kernel/text/Base64Coder.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstring>

namespace kova
{

namespace
{

constexpr uint8_t kFill = '=';
constexpr uint8_t kNotInAlphabet = Base64Coder::kNotInAlphabet;

bool IsSkippedWhiteSpace(uint8_t inByte)
{
    return inByte == 9 || inByte == 10 || inByte == 13 || inByte == 32;
}

// Empties the buffer and frees its block.
void Reset(Base64Coder::Buffer& ioBuffer)
{
    ioBuffer.ResizeExactly(0);
    ioBuffer.SetDataSize(0);
}

// The bytes of a partial last group: two characters give one byte, three give two. False when a
// character is not in the alphabet or leaves bits that no byte takes.
bool DecodeTail(const uint8_t* inInverse, const uint8_t* inTail, size_t inLength, uint8_t* outBytes,
                size_t& ioOutputIndex)
{
    uint8_t c0 = inInverse[inTail[0]];
    uint8_t c1 = inInverse[inTail[1]];
    if (c0 == kNotInAlphabet || c1 == kNotInAlphabet)
        return false;
    if (inLength == 2)
    {
        if ((c1 & 0x0F) != 0)
            return false;
        outBytes[ioOutputIndex++] = uint8_t((c0 << 2) | (c1 >> 4));
        return true;
    }
    uint8_t c2 = inInverse[inTail[2]];
    if (c2 == kNotInAlphabet || (c2 & 0x03) != 0)
        return false;
    outBytes[ioOutputIndex++] = uint8_t((c0 << 2) | (c1 >> 4));
    outBytes[ioOutputIndex++] = uint8_t((c1 << 4) | (c2 >> 2));
    return true;
}

// The standard decoder on a text without white space.
bool DecodeStandard(const uint8_t* inText, size_t inLength, Base64Coder::Buffer& outBuffer)
{
    if (inLength % 4 != 0)
        return false;
    if (inLength == 0)
        return true;
    if (!outBuffer.ResizeExactly(3 * (inLength / 4) + 1))
        return false;
    auto* bytes = static_cast<uint8_t*>(outBuffer.GetDataPtr());
    const uint8_t* inverse = Base64Coder::sBase64Inverse.data();
    size_t textIndex = 0;
    size_t outputIndex = 0;
    bool decoded =
        Base64Coder::_DecodeQuads(inverse, inText, inLength / 4 - 1, bytes, textIndex, outputIndex);
    if (decoded)
    {
        // The last group may end in one or two fill characters.
        const uint8_t* last = inText + textIndex;
        if (last[3] != kFill)
            decoded = Base64Coder::_DecodeQuads(inverse, inText, 1, bytes, textIndex, outputIndex);
        else if (last[2] == kFill)
            decoded = DecodeTail(inverse, last, 2, bytes, outputIndex);
        else
            decoded = DecodeTail(inverse, last, 3, bytes, outputIndex);
    }
    outBuffer.SetDataSize(outputIndex);
    return decoded;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Encoding

bool Base64Coder::_Encode(const void* inData, size_t inSize, Buffer& outBuffer, int32_t inGroupsPerLine,
                          bool inURL)
{
    Reset(outBuffer);
    if (inSize == 0)
        return true;
    if (inData == nullptr)
        return false;
    size_t groups = inSize / 3 + (inSize % 3 != 0 ? 1 : 0);
    bool lineBreaks = !inURL && inGroupsPerLine > 0;
    // A break follows every full line but the last group.
    size_t breaks = lineBreaks ? (groups - 1) / size_t(inGroupsPerLine) : 0;
    size_t length;
    if (__builtin_mul_overflow(groups, size_t(4), &length) ||
        __builtin_add_overflow(length, 2 * breaks, &length))
        return false;
    if (!outBuffer.ResizeExactly(length))
        return false;

    const char* alphabet = inURL ? sBase64URLAlphabet : sBase64Alphabet;
    const auto* in = static_cast<const uint8_t*>(inData);
    auto* out = static_cast<uint8_t*>(outBuffer.GetDataPtr());
    size_t written = 0;
    size_t fullGroups = inSize / 3;
    for (size_t g = 0; g < fullGroups; ++g, in += 3)
    {
        out[written++] = uint8_t(alphabet[in[0] >> 2]);
        out[written++] = uint8_t(alphabet[((in[0] & 3) << 4) | (in[1] >> 4)]);
        out[written++] = uint8_t(alphabet[((in[1] & 15) << 2) | (in[2] >> 6)]);
        out[written++] = uint8_t(alphabet[in[2] & 63]);
        if (lineBreaks && (g + 1) % size_t(inGroupsPerLine) == 0 && g + 1 < groups)
        {
            out[written++] = 13;
            out[written++] = 10;
        }
    }
    size_t rest = inSize % 3;
    if (rest == 2)
    {
        out[written++] = uint8_t(alphabet[in[0] >> 2]);
        out[written++] = uint8_t(alphabet[((in[0] & 3) << 4) | (in[1] >> 4)]);
        out[written++] = uint8_t(alphabet[(in[1] & 15) << 2]);
        if (!inURL)
            out[written++] = kFill;
    }
    else if (rest == 1)
    {
        out[written++] = uint8_t(alphabet[in[0] >> 2]);
        out[written++] = uint8_t(alphabet[(in[0] & 3) << 4]);
        if (!inURL)
        {
            out[written++] = kFill;
            out[written++] = kFill;
        }
    }
    outBuffer.SetDataSize(written);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Decoding

bool Base64Coder::Decode(const void* inText, size_t inSize, Buffer& outBuffer, bool inURL, bool inKeepPartial)
{
    bool decoded =
        inURL ? _DecodeBase64URL(inText, inSize, outBuffer) : _DecodeBase64(inText, inSize, outBuffer);
    if (!decoded && !inKeepPartial)
        Reset(outBuffer);
    return decoded;
}

bool Base64Coder::_DecodeBase64(const void* inText, size_t inSize, Buffer& outBuffer)
{
    Reset(outBuffer);
    const auto* text = static_cast<const uint8_t*>(inText);
    if (inSize == 0 || text == nullptr)
        return inSize == 0;
    size_t spaces = 0;
    for (size_t i = 0; i < inSize; ++i)
        spaces += IsSkippedWhiteSpace(text[i]) ? 1 : 0;
    if (spaces == 0)
        return DecodeStandard(text, inSize, outBuffer);

    size_t length = inSize - spaces;
    uint8_t* scratch = nullptr;
    if (length > 0)
    {
        scratch = static_cast<uint8_t*>(VObject::sCppMemMgr->Malloc(length, false, kMEM_TAG_MEMORY_BUFFER));
        if (scratch == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            return false;
        }
        size_t kept = 0;
        for (size_t i = 0; i < inSize; ++i)
        {
            if (!IsSkippedWhiteSpace(text[i]))
                scratch[kept++] = text[i];
        }
    }
    bool decoded = DecodeStandard(scratch, length, outBuffer);
    VObject::sCppMemMgr->Free(scratch);
    return decoded;
}

bool Base64Coder::_DecodeBase64URL(const void* inText, size_t inSize, Buffer& outBuffer)
{
    Reset(outBuffer);
    const auto* text = static_cast<const uint8_t*>(inText);
    if (inSize == 0 || text == nullptr)
        return inSize == 0;
    // The fill characters may be kept (RFC 4648 section 5): one or two "=" that complete the last
    // group to four are dropped; any other "=" stays and fails as a character out of the alphabet.
    if (inSize % 4 == 0 && text[inSize - 1] == kFill)
        inSize -= (text[inSize - 2] == kFill) ? 2 : 1;
    size_t fullGroups = inSize / 4;
    size_t tail = inSize % 4;
    if (tail == 1)
        return false;
    // 3 bytes per full group and at most 2 for the tail: no room is asked beyond what the text
    // can decode to.
    if (!outBuffer.ResizeExactly(3 * fullGroups + 2))
        return false;
    auto* bytes = static_cast<uint8_t*>(outBuffer.GetDataPtr());
    size_t textIndex = 0;
    size_t outputIndex = 0;
    bool decoded = _DecodeQuads(sBase64URLInverse.data(), text, fullGroups, bytes, textIndex, outputIndex);
    if (decoded && tail != 0)
        decoded = DecodeTail(sBase64URLInverse.data(), text + textIndex, tail, bytes, outputIndex);
    outBuffer.SetDataSize(outputIndex);
    return decoded;
}

bool Base64Coder::_DecodeQuads(const uint8_t* inInverse, const uint8_t* inText, size_t inCount,
                               uint8_t* outBytes, size_t& ioTextIndex, size_t& ioOutputIndex)
{
    for (size_t g = 0; g < inCount; ++g)
    {
        uint8_t values[4];
        for (uint8_t& value : values)
        {
            value = inInverse[inText[ioTextIndex++]];
            if (value == kNotInAlphabet)
                return false;
        }
        outBytes[ioOutputIndex++] = uint8_t((values[0] << 2) | (values[1] >> 4));
        outBytes[ioOutputIndex++] = uint8_t((values[1] << 4) | (values[2] >> 2));
        outBytes[ioOutputIndex++] = uint8_t((values[2] << 6) | values[3]);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Checksums

void Base64Coder::DO_EncodeChecksumBase64(const void* inBytes, size_t inSize, VString& outString)
{
    outString.Clear();
    Buffer encoded;
    if (_Encode(inBytes, inSize, encoded, 0, false) && encoded.GetDataSize() > 0)
        outString.FromBlock(encoded.GetDataPtr(), encoded.GetDataSize(), VTC_UTF_8);
}

void Base64Coder::DO_EncodeChecksumHexa(const void* inBytes, size_t inSize, VString& outString)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    if (inSize > size_t(INT32_MAX) / 2 || (inBytes == nullptr && inSize != 0) ||
        !outString.EnsureSize(int32_t(inSize * 2)))
    {
        outString.Clear();
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(inBytes);
    UniChar* units = outString.GetCPointerForWrite();
    for (size_t i = 0; i < inSize; ++i)
    {
        units[2 * i] = UniChar(kDigits[bytes[i] >> 4]);
        units[2 * i + 1] = UniChar(kDigits[bytes[i] & 15]);
    }
    outString.Validate(int32_t(inSize * 2));
}

} // namespace kova
