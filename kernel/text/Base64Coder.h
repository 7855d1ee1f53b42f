// Base64Coder turns bytes into Base64 text and back, in the standard form (RFC 4648 section 4:
// "+" and "/", "=" fill characters, optional CR LF line breaks, white space skipped when
// decoding) and the URL-safe form (section 5: "-" and "_", no fill characters written, those
// that complete the last group accepted when decoding, no line breaks, nothing skipped). It works on raw byte blocks and writes into a memory buffer, which every
// operation empties first (freeing its block). The strings build their Base64 forms on it, and
// it writes checksums into strings, in Base64 or in lower-case hexadecimal.
//
// The coder has no state. Failures are false results; input is untrusted, so lengths are checked
// before the output is sized and the output size cannot overflow.
#pragma once

#include "kernel/values/VMemoryBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kova
{

class VString;

constexpr uint8_t kBase64NotInAlphabet = 255;

// The inverse table of a 64-character alphabet.
constexpr std::array<uint8_t, 256> MakeBase64Inverse(const char (&inAlphabet)[65])
{
    std::array<uint8_t, 256> inverse{};
    for (auto& entry : inverse)
        entry = kBase64NotInAlphabet;
    for (uint8_t value = 0; value < 64; ++value)
        inverse[uint8_t(inAlphabet[value])] = value;
    return inverse;
}

class Base64Coder
{
public:
    using Buffer = VMemoryBuffer<1024ul, 2ul, 1048576ul>;

    static constexpr uint8_t kNotInAlphabet = kBase64NotInAlphabet;

    static constexpr char sBase64Alphabet[65] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static constexpr char sBase64URLAlphabet[65] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    // For each byte its 6-bit value in the alphabet, 255 for a byte that is not in it ("="
    // included).
    static constexpr std::array<uint8_t, 256> sBase64Inverse = MakeBase64Inverse(sBase64Alphabet);
    static constexpr std::array<uint8_t, 256> sBase64URLInverse = MakeBase64Inverse(sBase64URLAlphabet);

    Base64Coder() = delete;

    // inGroupsPerLine counts four-character groups per line in the standard form (0 or less: one
    // line); the text never ends with a line break. The URL form ignores it. False for a null
    // block of a non-zero size or when the room cannot be had (the buffer then empty).
    static bool _Encode(const void* inData, size_t inSize, Buffer& outBuffer, int32_t inGroupsPerLine,
                        bool inURL);

    // With inKeepPartial the buffer keeps, after a failure, the bytes decoded before it; without,
    // it is emptied.
    static bool Decode(const void* inText, size_t inSize, Buffer& outBuffer, bool inURL, bool inKeepPartial);
    static bool _DecodeBase64(const void* inText, size_t inSize, Buffer& outBuffer);
    static bool _DecodeBase64URL(const void* inText, size_t inSize, Buffer& outBuffer);

    // Decodes inCount groups of four characters from ioTextIndex into three bytes each at
    // ioOutputIndex, advancing both. Stops with false at the first character that is not in the
    // inverse table, ioTextIndex then past it. The caller guarantees the text holds the groups
    // and the output their bytes.
    static bool _DecodeQuads(const uint8_t* inInverse, const uint8_t* inText, size_t inCount,
                             uint8_t* outBytes, size_t& ioTextIndex, size_t& ioOutputIndex);

    // The bytes in the standard form on one line, fill characters included; an empty string when
    // they cannot be encoded.
    static void DO_EncodeChecksumBase64(const void* inBytes, size_t inSize, VString& outString);
    // Two digits "0123456789abcdef" per byte, high nibble first; an empty string when the string
    // cannot hold them.
    static void DO_EncodeChecksumHexa(const void* inBytes, size_t inSize, VString& outString);
};

} // namespace kova
