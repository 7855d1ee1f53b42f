// Our stand-in for the Text Encoding Converter the platform text converters call: text encodings,
// conversion infos between an encoding and UTF-16, and converter objects. Written over ICU's
// converters (ucnv).
//
// The contract the platform converters rely on:
// - an info makes every call one whole conversion from the encoding's initial state, so it may
//   be used from several threads (calls are serialised inside);
// - a converter object decodes a text given in chunks: the state one call ends in (a shift
//   sequence left open) is where the next call starts. Encoding, every call ends back in the
//   initial state, so the chunks of output join into one text;
// - to UTF-16, a character cut short by the end of the input is left unread with
//   kTECPartialCharErr, to be given again with the bytes that follow (a converter object keeps
//   it in its state and passes over it then, so that any cut of a text decodes as the whole
//   does); at the end of the input (kUnicodeTextEndsMask, TECFlushText) it decodes to a
//   replacement character, as bytes that are not valid in the encoding do;
// - from UTF-16, the conversion stops before the first character the encoding lacks (or a lone
//   surrogate) with kTECUnmappableElementErr; what was read before it is complete;
// - a full output gives kTECOutputBufferFullStatus, and what was written holds whole characters;
// - every other failure is one of the statuses below, mapped from ICU's codes by
//   StatusFromICU, so that the same failure always gives the same number.
// Lengths are in bytes, on the UTF-16 side too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::tec
{

using OSStatus = int32_t;
using TextEncoding = uint32_t;
using TextEncodingBase = uint32_t;
using TextEncodingVariant = uint32_t;
using TextEncodingFormat = uint32_t;
using OptionBits = uint32_t;

constexpr OSStatus noErr = 0;
constexpr OSStatus paramErr = -50;
constexpr OSStatus memFullErr = -108;
constexpr OSStatus kTextUnsupportedEncodingErr = -8738;
constexpr OSStatus kTextMalformedInputErr = -8739;
constexpr OSStatus kTECCorruptConverterErr = -8748;
constexpr OSStatus kTECPartialCharErr = -8753;
constexpr OSStatus kTECUnmappableElementErr = -8754;
constexpr OSStatus kTECOutputBufferFullStatus = -8785;

// The base of the Unicode encodings; the bases of the other encodings are listed, with the ICU
// converter behind each, in TextEncodingConverter.cpp.
constexpr TextEncodingBase kTextEncodingUnicodeDefault = 0x100;

// An encoding nobody knows.
constexpr TextEncoding kTextEncodingUnknown = 0xFFFF;

// Formats of the Unicode encodings.
constexpr TextEncodingFormat kUnicode16BitFormat = 0;
constexpr TextEncodingFormat kUnicodeUTF7Format = 1;
constexpr TextEncodingFormat kUnicodeUTF8Format = 2;
constexpr TextEncodingFormat kUnicode32BitFormat = 3;

// Control flags: use the encoding's fallback mappings (to UTF-16), and loose mappings (from it).
constexpr OptionBits kUnicodeUseFallbacksMask = 0x01;
constexpr OptionBits kUnicodeLooseMappingsMask = 0x20;
// Ours, to UTF-16: the input ends with this call, so a character cut short is decoded as
// malformed (a replacement character) rather than left unread.
constexpr OptionBits kUnicodeTextEndsMask = 0x10000;

// The encoding packs the base in bits 0-15, the variant in bits 16-25, the format in bits 26-31.
TextEncoding CreateTextEncoding(TextEncodingBase inBase, TextEncodingVariant inVariant,
                                TextEncodingFormat inFormat);
TextEncodingBase GetTextEncodingBase(TextEncoding inEncoding);
TextEncodingFormat GetTextEncodingFormat(TextEncoding inEncoding);

struct OpaqueConversion;
using TextToUnicodeInfo = OpaqueConversion*;
using UnicodeToTextInfo = OpaqueConversion*;
using TECObjectRef = OpaqueConversion*;

// Infos serve the encodings without shift states; for the others (ISO-2022-JP, UTF-7) they
// answer kTextUnsupportedEncodingErr and a converter object is needed.
OSStatus CreateTextToUnicodeInfoByEncoding(TextEncoding inEncoding, TextToUnicodeInfo* outInfo);
OSStatus CreateUnicodeToTextInfoByEncoding(TextEncoding inEncoding, UnicodeToTextInfo* outInfo);
OSStatus DisposeTextToUnicodeInfo(TextToUnicodeInfo* ioInfo);
OSStatus DisposeUnicodeToTextInfo(UnicodeToTextInfo* ioInfo);

OSStatus ConvertFromTextToUnicode(TextToUnicodeInfo inInfo, size_t inSourceLength, const void* inSource,
                                  OptionBits inControlFlags, size_t inOutputBufferLength,
                                  size_t* outSourceRead, size_t* outUnicodeLength, char16_t* outUnicode);
OSStatus ConvertFromUnicodeToText(UnicodeToTextInfo inInfo, size_t inUnicodeLength, const char16_t* inUnicode,
                                  OptionBits inControlFlags, size_t inOutputBufferLength,
                                  size_t* outInputRead, size_t* outOutputLength, void* outText);

// A converter between an encoding and 16-bit Unicode (kTextEncodingUnicodeDefault, format 0), in
// the direction given; any encoding of the toolbox, with or without shift states.
OSStatus TECCreateConverter(TECObjectRef* outConverter, TextEncoding inInputEncoding,
                            TextEncoding inOutputEncoding);
OSStatus TECConvertText(TECObjectRef inConverter, const void* inInput, size_t inInputLength,
                        size_t* outInputRead, void* outOutput, size_t inOutputLength,
                        size_t* outOutputLength);
// The end of the input of a decoding converter object: what it holds of a character cut short
// (the bytes its last call handed back) decodes to a replacement, and it returns to its initial
// state. Output that does not fit gives kTECOutputBufferFullStatus and nothing changes.
OSStatus TECFlushText(TECObjectRef inConverter, void* outOutput, size_t inOutputLength,
                      size_t* outOutputLength);
OSStatus TECDisposeConverter(TECObjectRef inConverter);

// The ICU converter name behind an encoding; null when ICU has none.
const char* GetICUConverterName(TextEncoding inEncoding);

// The status an ICU error code stands for (U_ZERO_ERROR and warnings give noErr).
OSStatus StatusFromICU(int32_t inICUErrorCode, bool inToUnicode);

} // namespace kova::tec
