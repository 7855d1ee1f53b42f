// JSON against nlohmann-json and simdjson, on the same generated documents in the same run:
// - parsing UTF-8 text into a tree (the toolbox's decoding into a VString included) beside
//   nlohmann::json::parse and simdjson's DOM parser;
// - writing the tree as compact text (Stringify with flag 1, into a VString) beside
//   nlohmann::json::dump and simdjson's minify of its DOM.
// - parsing one object of names chosen to share an unkeyed hash beside nlohmann::json::parse.
// The three documents, each a few MB of UTF-8: number-heavy coordinates, string-heavy messages
// with non-ASCII text, and deeply nested catalogue records (arguments 0, 1 and 2). Every figure is
// bytes of the UTF-8 text per second.
//
// Trees in memory, against nlohmann-json on the same data:
// - cloning the catalogue tree with VJSONCloner beside copying the nlohmann document (each copy
//   freed in the loop);
// - merging a 10,000-property object into another with MergeWith beside nlohmann's update;
// - releasing a tree of 100,000 collections, linked in one graph by the reader, beside destroying
//   the same nlohmann document; and the same tree with one cycle, freed by the group-wide check.
#include "bench/BenchSetup.h"
#include "kernel/json/JSONCollidingNames_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr size_t kDocumentBytes = 4 << 20;

std::string Number(std::mt19937& ioRandom, double inLow, double inHigh, int inDecimals)
{
    std::uniform_real_distribution<double> distribution(inLow, inHigh);
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", inDecimals, distribution(ioRandom));
    return text;
}

// A collection of features whose geometries are runs of longitude, latitude pairs.
const std::string& Coordinates()
{
    static const std::string sText = []
    {
        std::mt19937 random(1);
        std::string text = "{\"type\":\"FeatureCollection\",\"features\":[";
        for (int feature = 0; text.size() < kDocumentBytes; ++feature)
        {
            if (feature > 0)
                text += ",";
            text += "{\"type\":\"Feature\",\"id\":" + std::to_string(feature) +
                    ",\"properties\":{\"elevation\":" + Number(random, 0, 4000, 1) +
                    "},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[";
            for (int point = 0; point < 40; ++point)
                text += std::string(point > 0 ? "," : "") + "[" + Number(random, -180, 180, 6) + "," +
                        Number(random, -90, 90, 6) + "]";
            text += "]}}";
        }
        return text + "]}";
    }();
    return sText;
}

// Messages of mixed scripts, with escapes.
const std::string& Messages()
{
    static const std::string sText = []
    {
        const char* const words[] = {
            "update",
            "bundle",
            "caf\xC3\xA9",
            "na\xC3\xAFve",
            "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB0",
            "\xCE\xB5\xCE\xBD\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCF\x89\xCF\x83\xCE\xB7",
            "\xE6\x9B\xB4\xE6\x96\xB0\xE7\xA8\x8B\xE5\xBA\x8F",
            "\\\"quoted\\\"",
            "line\\nbreak",
            "\xF0\x9F\x98\x80"};
        std::mt19937 random(2);
        std::string text = "[";
        for (int message = 0; text.size() < kDocumentBytes; ++message)
        {
            if (message > 0)
                text += ",";
            text += "{\"id\":" + std::to_string(message) + ",\"author\":\"user" +
                    std::to_string(random() % 1000) + "\",\"subject\":\"";
            for (int w = 0; w < 4; ++w)
                text += std::string(w > 0 ? " " : "") + words[random() % std::size(words)];
            text += "\",\"body\":\"";
            for (int w = 0; w < 40; ++w)
                text += std::string(w > 0 ? " " : "") + words[random() % std::size(words)];
            text += "\",\"read\":" + std::string(random() % 2 != 0 ? "true" : "false") + ",\"tags\":[\"" +
                    words[random() % std::size(words)] + "\",\"" + words[random() % std::size(words)] +
                    "\"]}";
        }
        return text + "]";
    }();
    return sText;
}

// Sections of shelves of products, eight levels deep, with recurring names.
const std::string& Catalogue()
{
    static const std::string sText = []
    {
        std::mt19937 random(3);
        std::string text = "{\"catalogue\":{\"sections\":[";
        for (int section = 0; text.size() < kDocumentBytes; ++section)
        {
            if (section > 0)
                text += ",";
            text += "{\"name\":\"section " + std::to_string(section) + "\",\"shelves\":[";
            for (int shelf = 0; shelf < 8; ++shelf)
            {
                text += std::string(shelf > 0 ? "," : "") +
                        "{\"position\":{\"aisle\":" + std::to_string(random() % 40) +
                        ",\"level\":" + std::to_string(shelf) + "},\"items\":[";
                for (int item = 0; item < 6; ++item)
                {
                    text += std::string(item > 0 ? "," : "") + "{\"sku\":\"SKU-" + std::to_string(random()) +
                            "\",\"price\":{\"amount\":" + Number(random, 1, 500, 2) +
                            ",\"currency\":\"EUR\"},\"attributes\":{\"size\":{\"width\":" +
                            std::to_string(random() % 100) + ",\"height\":" + std::to_string(random() % 100) +
                            ",\"unit\":\"cm\"},\"colour\":\"blue\",\"stock\":{\"count\":" +
                            std::to_string(random() % 1000) +
                            ",\"reorder\":" + std::string(random() % 2 != 0 ? "true" : "false") + "}}}";
                }
                text += "]}";
            }
            text += "]}";
        }
        return text + "]}}";
    }();
    return sText;
}

const std::string& Document(int64_t inWhich)
{
    return inWhich == 0 ? Coordinates() : inWhich == 1 ? Messages() : Catalogue();
}

void Label(benchmark::State& state)
{
    const char* const names[] = {"coordinates", "messages", "catalogue"};
    state.SetLabel(names[state.range(0)]);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Document(state.range(0)).size()));
}

// ---------------------------------------------------------------------------------------------
// Parsing

// The two sides of a parsing pair over one text.
void ParseWithNlohmann(benchmark::State& state, const std::string& inText)
{
    for (auto _ : state)
    {
        nlohmann::json tree = nlohmann::json::parse(inText);
        benchmark::DoNotOptimize(tree);
    }
}

void ParseWithKova(benchmark::State& state, const std::string& inText)
{
    kova::bench::EnsureToolbox();
    // Decoded every time into the same string, as the peers read the same text every time.
    kova::VString decoded;
    for (auto _ : state)
    {
        decoded.FromBlock(inText.data(), inText.size(), kova::VTC_UTF_8);
        kova::VJSONValue tree;
        if (kova::VJSONImporter::ParseString(decoded, tree, 0) != kova::VE_OK)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(tree);
    }
}

void BM_JSONParse_Nlohmann(benchmark::State& state)
{
    ParseWithNlohmann(state, Document(state.range(0)));
    Label(state);
}
BENCHMARK(BM_JSONParse_Nlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONParse_Simdjson(benchmark::State& state)
{
    simdjson::padded_string text(Document(state.range(0)));
    simdjson::dom::parser parser;
    for (auto _ : state)
    {
        simdjson::dom::element tree = parser.parse(text);
        benchmark::DoNotOptimize(tree);
    }
    Label(state);
}
BENCHMARK(BM_JSONParse_Simdjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONParse_Kova(benchmark::State& state)
{
    ParseWithKova(state, Document(state.range(0)));
    Label(state);
}
BENCHMARK(BM_JSONParse_Kova)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// One object of 2,048 names (210 KB of UTF-8) that all share one hash for anyone who hashes
// without a key: the shape that made the property table's cost grow with the square of the size.
const std::string& CollidingNames()
{
    static const std::string sText = []
    {
        std::string text;
        for (char16_t unit :
             kova::testing_json::ObjectOfNames(kova::testing_json::NamesSharingTheUnkeyedHash(11)))
        {
            // Every unit is below U+D800: one to three bytes.
            if (unit < 0x80)
                text += char(unit);
            else if (unit < 0x800)
                text += {char(0xC0 | unit >> 6), char(0x80 | (unit & 0x3F))};
            else
                text +=
                    {char(0xE0 | unit >> 12), char(0x80 | (unit >> 6 & 0x3F)), char(0x80 | (unit & 0x3F))};
        }
        return text;
    }();
    return sText;
}

void BM_JSONParseCollidingNames_Nlohmann(benchmark::State& state)
{
    ParseWithNlohmann(state, CollidingNames());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(CollidingNames().size()));
}
BENCHMARK(BM_JSONParseCollidingNames_Nlohmann)->Unit(benchmark::kMicrosecond);

void BM_JSONParseCollidingNames_Kova(benchmark::State& state)
{
    ParseWithKova(state, CollidingNames());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(CollidingNames().size()));
}
BENCHMARK(BM_JSONParseCollidingNames_Kova)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// Writing

void BM_JSONStringify_Nlohmann(benchmark::State& state)
{
    nlohmann::json tree = nlohmann::json::parse(Document(state.range(0)));
    for (auto _ : state)
    {
        std::string text = tree.dump();
        benchmark::DoNotOptimize(text.data());
    }
    Label(state);
}
BENCHMARK(BM_JSONStringify_Nlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONStringify_Simdjson(benchmark::State& state)
{
    simdjson::padded_string text(Document(state.range(0)));
    simdjson::dom::parser parser;
    simdjson::dom::element tree = parser.parse(text);
    for (auto _ : state)
    {
        std::string written = simdjson::minify(tree);
        benchmark::DoNotOptimize(written.data());
    }
    Label(state);
}
BENCHMARK(BM_JSONStringify_Simdjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONStringify_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const std::string& text = Document(state.range(0));
    kova::VJSONValue tree;
    kova::VJSONImporter::ParseString(kova::VString(text.data(), text.size(), kova::VTC_UTF_8), tree, 0);
    for (auto _ : state)
    {
        kova::VString written;
        if (tree.Stringify(written, 1) != kova::VE_OK)
            state.SkipWithError("stringify failed");
        benchmark::DoNotOptimize(written.GetCPointer());
    }
    Label(state);
}
BENCHMARK(BM_JSONStringify_Kova)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Cloning, merging and releasing trees

kova::VJSONValue KovaTree(const std::string& inText)
{
    kova::VJSONValue tree;
    if (kova::VJSONImporter::ParseString(kova::VString(inText.data(), inText.size(), kova::VTC_UTF_8), tree,
                                         0) != kova::VE_OK)
        tree.SetUndefined();
    return tree;
}

void BM_JSONClone_Nlohmann(benchmark::State& state)
{
    const nlohmann::json tree = nlohmann::json::parse(Catalogue());
    for (auto _ : state)
    {
        nlohmann::json copy = tree;
        benchmark::DoNotOptimize(copy);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Catalogue().size()));
}
BENCHMARK(BM_JSONClone_Nlohmann)->Unit(benchmark::kMillisecond);

void BM_JSONClone_Kova(benchmark::State& state)
{
    kova::bench::EnsureProcess();
    const kova::VJSONValue tree = KovaTree(Catalogue());
    for (auto _ : state)
    {
        kova::VJSONValue copy = tree;
        kova::VJSONCloner cloner;
        if (cloner.CloneValue(copy) != kova::VE_OK || copy.GetObject() == tree.GetObject())
            state.SkipWithError("clone failed");
        benchmark::DoNotOptimize(copy);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Catalogue().size()));
}
BENCHMARK(BM_JSONClone_Kova)->Unit(benchmark::kMillisecond);

// Two objects of 10,000 properties with other names; after the first merge every merge replaces
// all 10,000 values, for both.
std::string MergeDocument(char inPrefix)
{
    std::string text = "{";
    for (int i = 0; i < 10000; ++i)
        text += std::string(i > 0 ? "," : "") + "\"" + inPrefix + "property" + std::to_string(i) +
                "\":" + std::to_string(i);
    return text + "}";
}

void BM_JSONMerge_Nlohmann(benchmark::State& state)
{
    nlohmann::json target = nlohmann::json::parse(MergeDocument('a'));
    const nlohmann::json other = nlohmann::json::parse(MergeDocument('b'));
    for (auto _ : state)
    {
        target.update(other);
        benchmark::DoNotOptimize(target);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_JSONMerge_Nlohmann)->Unit(benchmark::kMicrosecond);

void BM_JSONMerge_Kova(benchmark::State& state)
{
    kova::bench::EnsureProcess();
    kova::VJSONValue target = KovaTree(MergeDocument('a'));
    const kova::VJSONValue other = KovaTree(MergeDocument('b'));
    for (auto _ : state)
    {
        target.GetObject()->MergeWith(other.GetObject(), false);
        benchmark::DoNotOptimize(target);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_JSONMerge_Kova)->Unit(benchmark::kMicrosecond);

// 10,000 records of 9 collections each, under one root array: 100,001 collections.
const std::string& Collections()
{
    static const std::string sText = []
    {
        std::string text = "[";
        for (int i = 0; i < 10000; ++i)
            text += std::string(i > 0 ? "," : "") + "{\"id\":" + std::to_string(i) +
                    ",\"a\":{\"b\":{\"c\":[1,2]},\"d\":[{\"e\":true},{\"f\":null}]},\"g\":{\"h\":[]}}";
        return text + "]";
    }();
    return sText;
}

void BM_JSONRelease_Nlohmann(benchmark::State& state)
{
    for (auto _ : state)
    {
        state.PauseTiming();
        auto* tree = new nlohmann::json(nlohmann::json::parse(Collections()));
        state.ResumeTiming();
        delete tree;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100001);
}
BENCHMARK(BM_JSONRelease_Nlohmann)->Unit(benchmark::kMillisecond);

// Argument 1: the root array also holds itself, so that its group is freed by the group-wide
// check instead of by counting.
void BM_JSONRelease_Kova(benchmark::State& state)
{
    kova::bench::EnsureProcess();
    for (auto _ : state)
    {
        state.PauseTiming();
        kova::VJSONValue tree = KovaTree(Collections());
        if (state.range(0) != 0)
            tree.GetArray()->Push(tree);
        state.ResumeTiming();
        tree.SetUndefined();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100001);
}
BENCHMARK(BM_JSONRelease_Kova)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// The binary form, beside the text form of the same trees (JSONParse_Kova, JSONStringify_Kova) and
// nlohmann-json's CBOR; figures in bytes of the UTF-8 text per second, the form's size beside.

void BM_JSONBinaryWrite_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VJSONValue tree = KovaTree(Document(state.range(0)));
    size_t size = 0;
    for (auto _ : state)
    {
        kova::VJSONBinaryWriter writer(64);
        kova::VJSONBinaryWriter::Buffer buffer;
        if (writer.StreamValue(tree, buffer) != kova::VE_OK)
            state.SkipWithError("binary write failed");
        size = buffer.GetDataSize();
        benchmark::DoNotOptimize(buffer.GetDataPtr());
    }
    Label(state);
    state.counters["form_bytes"] = double(size);
}
BENCHMARK(BM_JSONBinaryWrite_Kova)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONBinaryRead_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VJSONValue tree = KovaTree(Document(state.range(0)));
    kova::VJSONBinaryWriter writer(64);
    kova::VJSONBinaryWriter::Buffer buffer;
    writer.StreamValue(tree, buffer);
    for (auto _ : state)
    {
        kova::VJSONBinaryImporter importer(buffer.GetDataPtr(), buffer.GetDataSize());
        kova::VJSONValue read;
        if (importer.GetValue(read) != kova::VE_OK)
            state.SkipWithError("binary read failed");
        benchmark::DoNotOptimize(read);
    }
    Label(state);
    state.counters["form_bytes"] = double(buffer.GetDataSize());
}
BENCHMARK(BM_JSONBinaryRead_Kova)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONBinaryWrite_NlohmannCBOR(benchmark::State& state)
{
    const nlohmann::json tree = nlohmann::json::parse(Document(state.range(0)));
    size_t size = 0;
    for (auto _ : state)
    {
        std::vector<uint8_t> cbor = nlohmann::json::to_cbor(tree);
        size = cbor.size();
        benchmark::DoNotOptimize(cbor.data());
    }
    Label(state);
    state.counters["form_bytes"] = double(size);
}
BENCHMARK(BM_JSONBinaryWrite_NlohmannCBOR)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_JSONBinaryRead_NlohmannCBOR(benchmark::State& state)
{
    const std::vector<uint8_t> cbor = nlohmann::json::to_cbor(nlohmann::json::parse(Document(state.range(0))));
    for (auto _ : state)
    {
        nlohmann::json read = nlohmann::json::from_cbor(cbor);
        benchmark::DoNotOptimize(read);
    }
    Label(state);
    state.counters["form_bytes"] = double(cbor.size());
}
BENCHMARK(BM_JSONBinaryRead_NlohmannCBOR)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
