// VString against std::u16string, the same work on each side:
// - appending 5-unit pieces, single units and 5-byte C strings, to a new string (both grow by
//   their own policy) and to a string whose room was reserved first (EnsureSize, reserve);
// - assigning short text: from a string's own units into a target that has room, and into a new
//   target;
// - copying, and assigning a string that holds a shared block: VString adds a reference where
//   std::u16string copies the units. Not the same work: the VString side costs two atomic
//   operations whatever the length;
// - copying short text that fits a VStr<15> (inline, as std::u16string holds up to 7 units).
#include "bench/BenchSetup.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace
{

const char16_t kPiece[] = u"piece";
constexpr int kPieceLength = 5;
const char kCPiece[] = "piece";

// ---------------------------------------------------------------------------------------------
// Appending

void Reserve(kova::VString& ioText, int64_t inUnits)
{
    ioText.EnsureSize(int32_t(inUnits));
}

void Reserve(std::u16string& ioText, int64_t inUnits)
{
    ioText.reserve(size_t(inUnits));
}

const void* Units(const kova::VString& inText)
{
    return inText.GetCPointer();
}

const void* Units(const std::u16string& inText)
{
    return inText.data();
}

// A new text each time, its room reserved first when asked, then state.range(0) appends of
// inUnitsPerAppend units each.
template <class Text, bool Reserved, class Append>
void Appending(benchmark::State& state, int64_t inUnitsPerAppend, Append inAppend)
{
    kova::bench::EnsureToolbox();
    const int64_t appends = state.range(0);
    for (auto _ : state)
    {
        Text text;
        if (Reserved)
            Reserve(text, appends * inUnitsPerAppend);
        for (int64_t i = 0; i < appends; ++i)
            inAppend(text);
        benchmark::DoNotOptimize(Units(text));
    }
    state.SetItemsProcessed(state.iterations() * appends);
}

template <bool Reserved>
void U16StringAppendPieces(benchmark::State& state)
{
    Appending<std::u16string, Reserved>(state, kPieceLength,
                                        [](std::u16string& ioText) { ioText.append(kPiece, kPieceLength); });
}

template <bool Reserved>
void VStringAppendPieces(benchmark::State& state)
{
    Appending<kova::VString, Reserved>(
        state, kPieceLength, [](kova::VString& ioText) { ioText.AppendUniChars(kPiece, kPieceLength); });
}

template <bool Reserved>
void U16StringAppendUnits(benchmark::State& state)
{
    Appending<std::u16string, Reserved>(state, 1, [](std::u16string& ioText) { ioText.push_back(u'x'); });
}

template <bool Reserved>
void VStringAppendUnits(benchmark::State& state)
{
    Appending<kova::VString, Reserved>(state, 1, [](kova::VString& ioText) { ioText.AppendUniChar(u'x'); });
}

// A C string is measured and widened on both sides.
template <bool Reserved>
void U16StringAppendCStrings(benchmark::State& state)
{
    const char* piece = kCPiece;
    benchmark::DoNotOptimize(piece);
    Appending<std::u16string, Reserved>(state, kPieceLength,
                                        [piece](std::u16string& ioText)
                                        { ioText.append(piece, piece + std::strlen(piece)); });
}

template <bool Reserved>
void VStringAppendCStrings(benchmark::State& state)
{
    const char* piece = kCPiece;
    benchmark::DoNotOptimize(piece);
    Appending<kova::VString, Reserved>(state, kPieceLength,
                                       [piece](kova::VString& ioText) { ioText.AppendCString(piece); });
}

void BM_AppendPieces_U16String(benchmark::State& state)
{
    U16StringAppendPieces<false>(state);
}
BENCHMARK(BM_AppendPieces_U16String)->Arg(16)->Arg(1024)->Arg(65536);

void BM_AppendPieces_Kova(benchmark::State& state)
{
    VStringAppendPieces<false>(state);
}
BENCHMARK(BM_AppendPieces_Kova)->Arg(16)->Arg(1024)->Arg(65536);

void BM_AppendPiecesReserved_U16String(benchmark::State& state)
{
    U16StringAppendPieces<true>(state);
}
BENCHMARK(BM_AppendPiecesReserved_U16String)->Arg(16)->Arg(1024)->Arg(65536);

void BM_AppendPiecesReserved_Kova(benchmark::State& state)
{
    VStringAppendPieces<true>(state);
}
BENCHMARK(BM_AppendPiecesReserved_Kova)->Arg(16)->Arg(1024)->Arg(65536);

void BM_AppendUnit_U16String(benchmark::State& state)
{
    U16StringAppendUnits<false>(state);
}
BENCHMARK(BM_AppendUnit_U16String)->Arg(16)->Arg(4096);

void BM_AppendUnit_Kova(benchmark::State& state)
{
    VStringAppendUnits<false>(state);
}
BENCHMARK(BM_AppendUnit_Kova)->Arg(16)->Arg(4096);

void BM_AppendUnitReserved_U16String(benchmark::State& state)
{
    U16StringAppendUnits<true>(state);
}
BENCHMARK(BM_AppendUnitReserved_U16String)->Arg(16)->Arg(4096);

void BM_AppendUnitReserved_Kova(benchmark::State& state)
{
    VStringAppendUnits<true>(state);
}
BENCHMARK(BM_AppendUnitReserved_Kova)->Arg(16)->Arg(4096);

void BM_AppendCString_U16String(benchmark::State& state)
{
    U16StringAppendCStrings<false>(state);
}
BENCHMARK(BM_AppendCString_U16String)->Arg(16)->Arg(1024);

void BM_AppendCString_Kova(benchmark::State& state)
{
    VStringAppendCStrings<false>(state);
}
BENCHMARK(BM_AppendCString_Kova)->Arg(16)->Arg(1024);

void BM_AppendCStringReserved_U16String(benchmark::State& state)
{
    U16StringAppendCStrings<true>(state);
}
BENCHMARK(BM_AppendCStringReserved_U16String)->Arg(16)->Arg(1024);

void BM_AppendCStringReserved_Kova(benchmark::State& state)
{
    VStringAppendCStrings<true>(state);
}
BENCHMARK(BM_AppendCStringReserved_Kova)->Arg(16)->Arg(1024);

// ---------------------------------------------------------------------------------------------
// Assignment and copy

std::u16string Text(int64_t inLength, char16_t inUnit)
{
    return std::u16string(size_t(inLength), inUnit);
}

// Two texts in turn, so that each assignment changes the target.
void BM_AssignUnits_U16String(benchmark::State& state)
{
    const std::u16string first = Text(state.range(0), u'a');
    const std::u16string second = Text(state.range(0), u'b');
    std::u16string target;
    target.reserve(first.size());
    for (auto _ : state)
    {
        target.assign(first.data(), first.size());
        benchmark::DoNotOptimize(target.data());
        target.assign(second.data(), second.size());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_AssignUnits_U16String)->Arg(16)->Arg(64);

void BM_AssignUnits_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::u16string first = Text(state.range(0), u'a');
    const std::u16string second = Text(state.range(0), u'b');
    kova::VString target;
    target.EnsureSize(int32_t(first.size()));
    for (auto _ : state)
    {
        target.FromUniString(first.data(), int32_t(first.size()));
        benchmark::DoNotOptimize(target.GetCPointer());
        target.FromUniString(second.data(), int32_t(second.size()));
        benchmark::DoNotOptimize(target.GetCPointer());
    }
}
BENCHMARK(BM_AssignUnits_Kova)->Arg(16)->Arg(64);

// A new target each time: both allocate (std::u16string holds up to 7 units without).
void BM_AssignUnitsFresh_U16String(benchmark::State& state)
{
    const std::u16string source = Text(state.range(0), u'a');
    for (auto _ : state)
    {
        std::u16string target;
        target.assign(source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_AssignUnitsFresh_U16String)->Arg(16)->Arg(64);

void BM_AssignUnitsFresh_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::u16string source = Text(state.range(0), u'a');
    for (auto _ : state)
    {
        kova::VString target;
        target.FromUniString(source.data(), int32_t(source.size()));
        benchmark::DoNotOptimize(target.GetCPointer());
    }
}
BENCHMARK(BM_AssignUnitsFresh_Kova)->Arg(16)->Arg(64);

// VString shares the source's block; std::u16string copies into the room it has.
void BM_AssignShared_U16String(benchmark::State& state)
{
    const std::u16string first = Text(state.range(0), u'a');
    const std::u16string second = Text(state.range(0), u'b');
    std::u16string target;
    target.reserve(first.size());
    for (auto _ : state)
    {
        target = first;
        benchmark::DoNotOptimize(target.data());
        target = second;
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_AssignShared_U16String)->Arg(16)->Arg(64)->Arg(4096);

void BM_AssignShared_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString first(Text(state.range(0), u'a').c_str());
    const kova::VString second(Text(state.range(0), u'b').c_str());
    kova::VString target;
    for (auto _ : state)
    {
        target = first;
        benchmark::DoNotOptimize(target.GetCPointer());
        target = second;
        benchmark::DoNotOptimize(target.GetCPointer());
    }
}
BENCHMARK(BM_AssignShared_Kova)->Arg(16)->Arg(64)->Arg(4096);

// VString adds a reference to the block; std::u16string copies (inline up to 7 units).
void BM_CopyShared_U16String(benchmark::State& state)
{
    const std::u16string text = Text(state.range(0), u'a');
    for (auto _ : state)
    {
        std::u16string copy(text);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyShared_U16String)->Arg(7)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_CopyShared_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString text(Text(state.range(0), u'a').c_str());
    for (auto _ : state)
    {
        kova::VString copy(text);
        benchmark::DoNotOptimize(copy.GetCPointer());
    }
}
BENCHMARK(BM_CopyShared_Kova)->Arg(7)->Arg(64)->Arg(4096)->Arg(1 << 20);

// Short text held inline on the VString side; std::u16string holds 7 units inline, 15 on the heap.
void BM_CopyInline_U16String(benchmark::State& state)
{
    const std::u16string text = Text(state.range(0), u'a');
    for (auto _ : state)
    {
        std::u16string copy(text);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyInline_U16String)->Arg(7)->Arg(15);

void BM_CopyInline_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VStr<15> text(Text(state.range(0), u'a').c_str());
    for (auto _ : state)
    {
        kova::VStr<15> copy(text);
        benchmark::DoNotOptimize(copy.GetCPointer());
    }
}
BENCHMARK(BM_CopyInline_Kova)->Arg(7)->Arg(15);

} // namespace
