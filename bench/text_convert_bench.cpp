// Text conversion against ICU and glibc iconv, on the same texts in the same run:
// - UTF-8 to UTF-16 and back, on mostly-ASCII text and on mostly non-ASCII text (Cyrillic, Greek
//   and CJK), each about 4 MB: the toolbox's converters into a ready buffer, and ConvertFromVString,
//   beside u_strFromUTF8 / u_strToUTF8, ICU's lenient u_strFromUTF8Lenient (which checks as
//   little as the toolbox's decoder) and iconv;
// - a VString built from UTF-8 bytes, beside ICU (strict and lenient) filling a new buffer of the
//   same size that nobody zero-fills first;
// - Mac Roman (the standard 8-bit set) and windows-1252 through the converter cache, beside ICU's
//   own converters (ucnv) for the same sets.
// Every figure is bytes of the 8-bit side per second.
#include "bench/BenchSetup.h"
#include "kernel/text/VFromUnicodeConverter.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"

#include <benchmark/benchmark.h>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <iconv.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

using kova::CharSet;
using kova::UniChar;

constexpr size_t kTextBytes = 4 << 20;

std::string Repeat(const std::string& inPiece)
{
    std::string text;
    text.reserve(kTextBytes + inPiece.size());
    while (text.size() < kTextBytes)
        text += inPiece;
    return text;
}

// About one character in sixty is not ASCII.
const std::string& MostlyAsciiUTF8()
{
    static const std::string sText =
        Repeat("The updater waits for the application to quit, then puts the new bundle in place and "
               "restarts it; every step is logged \xE2\x80\x94 na\xC3\xAFve caf\xC3\xA9 "
               "r\xC3\xA9sum\xC3\xA9s aside. "
               "Paths, versions and \xE2\x80\x9Cquoted\xE2\x80\x9D parameters travel as text.\n");
    return sText;
}

// Words of Cyrillic, Greek and CJK text separated by spaces and punctuation.
const std::string& MostlyOtherUTF8()
{
    static const std::string sText =
        Repeat("\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB0 "
               "\xD0\xBE\xD0\xB1\xD0\xBD\xD0\xBE"
               "\xD0\xB2\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xB8\xD1\x8F \xD0\xB6\xD0\xB4\xD1\x91\xD1\x82, "
               "\xD0\xBF\xD0\xBE\xD0\xBA"
               "\xD0\xB0 \xD0\xBF\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBE\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5 "
               "\xD0\xB7\xD0\xB0"
               "\xD0\xBA\xD1\x80\xD0\xBE\xD0\xB5\xD1\x82\xD1\x81\xD1\x8F. \xCE\x97 "
               "\xCE\xB5\xCE\xBD\xCE\xB7\xCE\xBC\xCE\xAD"
               "\xCF\x81\xCF\x89\xCF\x83\xCE\xB7 "
               "\xCE\xBF\xCE\xBB\xCE\xBF\xCE\xBA\xCE\xBB\xCE\xB7\xCF\x81\xCF\x8E\xCE\xB8"
               "\xCE\xB7\xCE\xBA\xCE\xB5. "
               "\xE6\x9B\xB4\xE6\x96\xB0\xE7\xA8\x8B\xE5\xBA\x8F\xE7\xAD\x89\xE5\xBE\x85\xE5\xBA"
               "\x94\xE7\x94\xA8\xE7\xA8\x8B\xE5\xBA\x8F\xE9\x80\x80\xE5\x87\xBA\xE3\x80\x82\n");
    return sText;
}

std::u16string ToUTF16(const std::string& inUTF8)
{
    std::u16string units(inUTF8.size(), u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), int32_t(units.size()), &length, inUTF8.data(), int32_t(inUTF8.size()),
                  &error);
    units.resize(size_t(length));
    return units;
}

const std::u16string& MostlyAsciiUTF16()
{
    static const std::u16string sText = ToUTF16(MostlyAsciiUTF8());
    return sText;
}

const std::u16string& MostlyOtherUTF16()
{
    static const std::u16string sText = ToUTF16(MostlyOtherUTF8());
    return sText;
}

// Western text for the 8-bit sets: what both Mac Roman and windows-1252 can hold.
const std::u16string& WesternUTF16()
{
    static const std::u16string sText = ToUTF16(Repeat("Les r\xC3\xA9sum\xC3\xA9s na\xC3\xAF"
                                                       "fs co\xC3\xBB"
                                                       "tent 12 \xE2\x82\xAC; \xC3\xBC"
                                                       "ber die Stra\xC3\x9F"
                                                       "e \xE2\x80\x9C"
                                                       "Gr\xC3\xBC\xC3\x9F"
                                                       "e\xE2\x80\x9D \xE2\x80\x94 \xC3\xA7"
                                                       "a marche, se\xC3\xB1or.\n"));
    return sText;
}

std::string EncodeWithICU(const std::u16string& inText, const char* inName)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(inName, &error);
    std::string bytes(inText.size() * 2, '\0');
    int32_t length = ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), inText.data(),
                                     int32_t(inText.size()), &error);
    ucnv_close(converter);
    bytes.resize(size_t(length));
    return bytes;
}

template <class Text>
void SetBytes(benchmark::State& state, const Text& inEightBitSide)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(inEightBitSide.size()));
}

// ---------------------------------------------------------------------------------------------
// UTF-8 to UTF-16

const std::string& UTF8Text(const benchmark::State& state)
{
    return state.range(0) == 0 ? MostlyAsciiUTF8() : MostlyOtherUTF8();
}

const std::u16string& UTF16Text(const benchmark::State& state)
{
    return state.range(0) == 0 ? MostlyAsciiUTF16() : MostlyOtherUTF16();
}

void ArgNames(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("nonascii")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
}

void BM_UTF8ToUTF16_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::string& text = UTF8Text(state);
    std::vector<UniChar> units(text.size() + 1);
    kova::VToUnicodeConverter* converter =
        kova::VTextConverters::Get()->RetainToUnicodeConverter(kova::VTC_UTF_8);
    for (auto _ : state)
    {
        size_t consumed = 0;
        int32_t produced = 0;
        converter->Convert(text.data(), text.size(), consumed, units.data(), int32_t(units.size()), produced);
        benchmark::DoNotOptimize(produced);
    }
    converter->Release();
    SetBytes(state, text);
}
BENCHMARK(BM_UTF8ToUTF16_Kova)->Apply(ArgNames);

// ICU into a ready buffer; the lenient call checks as little as the toolbox's decoder.
template <bool Lenient>
void ICUIntoReadyBuffer(benchmark::State& state)
{
    const std::string& text = UTF8Text(state);
    std::vector<UChar> units(text.size() + 1);
    for (auto _ : state)
    {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        if (Lenient)
            u_strFromUTF8Lenient(units.data(), int32_t(units.size()), &length, text.data(),
                                 int32_t(text.size()), &error);
        else
            u_strFromUTF8(units.data(), int32_t(units.size()), &length, text.data(), int32_t(text.size()),
                          &error);
        benchmark::DoNotOptimize(length);
    }
    SetBytes(state, text);
}

void BM_UTF8ToUTF16_ICU(benchmark::State& state)
{
    ICUIntoReadyBuffer<false>(state);
}
BENCHMARK(BM_UTF8ToUTF16_ICU)->Apply(ArgNames);

void BM_UTF8ToUTF16_ICULenient(benchmark::State& state)
{
    ICUIntoReadyBuffer<true>(state);
}
BENCHMARK(BM_UTF8ToUTF16_ICULenient)->Apply(ArgNames);

void BM_UTF8ToUTF16_Iconv(benchmark::State& state)
{
    const std::string& text = UTF8Text(state);
    std::vector<char> units((text.size() + 1) * 2);
    iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    for (auto _ : state)
    {
        char* source = const_cast<char*>(text.data());
        size_t sourceLeft = text.size();
        char* target = units.data();
        size_t targetLeft = units.size();
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        iconv(converter, &source, &sourceLeft, &target, &targetLeft);
        benchmark::DoNotOptimize(targetLeft);
    }
    iconv_close(converter);
    SetBytes(state, text);
}
BENCHMARK(BM_UTF8ToUTF16_Iconv)->Apply(ArgNames);

// A new string each time, against a new std::u16string filled by ICU: both allocate their units.
void BM_UTF8ToUTF16String_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::string& text = UTF8Text(state);
    for (auto _ : state)
    {
        kova::VString string(text.data(), text.size(), kova::VTC_UTF_8);
        benchmark::DoNotOptimize(string.GetCPointer());
    }
    SetBytes(state, text);
}
BENCHMARK(BM_UTF8ToUTF16String_Kova)->Apply(ArgNames);

// ICU into a new buffer as large as the text can need, not zero-filled.
template <bool Lenient>
void ICUIntoNewBuffer(benchmark::State& state)
{
    const std::string& text = UTF8Text(state);
    for (auto _ : state)
    {
        const size_t capacity = text.size() + 1;
        auto* units = static_cast<UChar*>(std::malloc(capacity * sizeof(UChar)));
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        if (Lenient)
            u_strFromUTF8Lenient(units, int32_t(capacity), &length, text.data(), int32_t(text.size()),
                                 &error);
        else
            u_strFromUTF8(units, int32_t(capacity), &length, text.data(), int32_t(text.size()), &error);
        benchmark::DoNotOptimize(units);
        std::free(units);
    }
    SetBytes(state, text);
}

void BM_UTF8ToUTF16String_ICU(benchmark::State& state)
{
    ICUIntoNewBuffer<false>(state);
}
BENCHMARK(BM_UTF8ToUTF16String_ICU)->Apply(ArgNames);

void BM_UTF8ToUTF16String_ICULenient(benchmark::State& state)
{
    ICUIntoNewBuffer<true>(state);
}
BENCHMARK(BM_UTF8ToUTF16String_ICULenient)->Apply(ArgNames);

// ---------------------------------------------------------------------------------------------
// UTF-16 to UTF-8

void BM_UTF16ToUTF8_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::u16string& text = UTF16Text(state);
    const kova::VString string(const_cast<UniChar*>(text.data()), int32_t(text.size()), size_t(-1));
    std::vector<char> bytes(text.size() * 3);
    for (auto _ : state)
    {
        int32_t consumed = 0;
        size_t produced = 0;
        kova::VTextConverters::Get()->ConvertFromVString(string, consumed, bytes.data(), bytes.size(),
                                                         produced, kova::VTC_UTF_8);
        benchmark::DoNotOptimize(produced);
    }
    SetBytes(state, UTF8Text(state));
}
BENCHMARK(BM_UTF16ToUTF8_Kova)->Apply(ArgNames);

void BM_UTF16ToUTF8_ICU(benchmark::State& state)
{
    const std::u16string& text = UTF16Text(state);
    std::vector<char> bytes(text.size() * 3);
    for (auto _ : state)
    {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(bytes.data(), int32_t(bytes.size()), &length, text.data(), int32_t(text.size()), &error);
        benchmark::DoNotOptimize(length);
    }
    SetBytes(state, UTF8Text(state));
}
BENCHMARK(BM_UTF16ToUTF8_ICU)->Apply(ArgNames);

void BM_UTF16ToUTF8_Iconv(benchmark::State& state)
{
    const std::u16string& text = UTF16Text(state);
    std::vector<char> bytes(text.size() * 3);
    iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
    for (auto _ : state)
    {
        char* source = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
        size_t sourceLeft = text.size() * 2;
        char* target = bytes.data();
        size_t targetLeft = bytes.size();
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        iconv(converter, &source, &sourceLeft, &target, &targetLeft);
        benchmark::DoNotOptimize(targetLeft);
    }
    iconv_close(converter);
    SetBytes(state, UTF8Text(state));
}
BENCHMARK(BM_UTF16ToUTF8_Iconv)->Apply(ArgNames);

// ---------------------------------------------------------------------------------------------
// Mac Roman and windows-1252 through the cache, against ICU's converters

struct EightBitSet
{
    CharSet fCharSet;
    const char* fICUName;
};

const EightBitSet kEightBitSets[] = {{kova::VTC_StdLib_char, "macintosh"},
                                     {kova::VTC_Win32Ansi, "windows-1252"}};

void EightBitArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("windows1252")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
}

const std::string& EightBitText(size_t inSet)
{
    static const std::string sTexts[2] = {EncodeWithICU(WesternUTF16(), kEightBitSets[0].fICUName),
                                          EncodeWithICU(WesternUTF16(), kEightBitSets[1].fICUName)};
    return sTexts[inSet];
}

void BM_EightBitDecode_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const EightBitSet& set = kEightBitSets[state.range(0)];
    const std::string& text = EightBitText(size_t(state.range(0)));
    std::vector<UniChar> units(text.size() + 1);
    for (auto _ : state)
    {
        kova::VToUnicodeConverter* converter =
            kova::VTextConverters::Get()->RetainToUnicodeConverter(set.fCharSet);
        size_t consumed = 0;
        int32_t produced = 0;
        converter->Convert(text.data(), text.size(), consumed, units.data(), int32_t(units.size()), produced);
        converter->Release();
        benchmark::DoNotOptimize(produced);
    }
    SetBytes(state, text);
}
BENCHMARK(BM_EightBitDecode_Kova)->Apply(EightBitArgs);

void BM_EightBitDecode_ICU(benchmark::State& state)
{
    const EightBitSet& set = kEightBitSets[state.range(0)];
    const std::string& text = EightBitText(size_t(state.range(0)));
    std::vector<UChar> units(text.size() + 1);
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(set.fICUName, &error);
    for (auto _ : state)
    {
        error = U_ZERO_ERROR;
        int32_t length = ucnv_toUChars(converter, units.data(), int32_t(units.size()), text.data(),
                                       int32_t(text.size()), &error);
        benchmark::DoNotOptimize(length);
    }
    ucnv_close(converter);
    SetBytes(state, text);
}
BENCHMARK(BM_EightBitDecode_ICU)->Apply(EightBitArgs);

void BM_EightBitEncode_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const EightBitSet& set = kEightBitSets[state.range(0)];
    const std::u16string& text = WesternUTF16();
    const kova::VString string(const_cast<UniChar*>(text.data()), int32_t(text.size()), size_t(-1));
    std::vector<char> bytes(text.size() * 2);
    for (auto _ : state)
    {
        int32_t consumed = 0;
        size_t produced = 0;
        kova::VTextConverters::Get()->ConvertFromVString(string, consumed, bytes.data(), bytes.size(),
                                                         produced, set.fCharSet);
        benchmark::DoNotOptimize(produced);
    }
    SetBytes(state, EightBitText(size_t(state.range(0))));
}
BENCHMARK(BM_EightBitEncode_Kova)->Apply(EightBitArgs);

void BM_EightBitEncode_ICU(benchmark::State& state)
{
    const EightBitSet& set = kEightBitSets[state.range(0)];
    const std::u16string& text = WesternUTF16();
    std::vector<char> bytes(text.size() * 2);
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(set.fICUName, &error);
    for (auto _ : state)
    {
        error = U_ZERO_ERROR;
        int32_t length = ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), text.data(),
                                         int32_t(text.size()), &error);
        benchmark::DoNotOptimize(length);
    }
    ucnv_close(converter);
    SetBytes(state, EightBitText(size_t(state.range(0))));
}
BENCHMARK(BM_EightBitEncode_ICU)->Apply(EightBitArgs);

} // namespace
