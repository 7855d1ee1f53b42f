// JSON against nlohmann-json and simdjson, on the same generated documents in the same run:
// - parsing UTF-8 text into a tree (the toolbox's decoding into a VString included) beside
//   nlohmann::json::parse and simdjson's DOM parser;
// - writing the tree as compact text (Stringify with flag 1, into a VString) beside
//   nlohmann::json::dump and simdjson's minify of its DOM.
// The three documents, each a few MB of UTF-8: number-heavy coordinates, string-heavy messages
// with non-ASCII text, and deeply nested catalogue records (arguments 0, 1 and 2). Every figure is
// bytes of the UTF-8 text per second.
#include "bench/BenchSetup.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <cstdio>
#include <random>
#include <string>

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

void BM_JSONParse_Nlohmann(benchmark::State& state)
{
    const std::string& text = Document(state.range(0));
    for (auto _ : state)
    {
        nlohmann::json tree = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(tree);
    }
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
    kova::bench::EnsureToolbox();
    const std::string& text = Document(state.range(0));
    // Decoded every time into the same string, as the peers read the same text every time.
    kova::VString decoded;
    for (auto _ : state)
    {
        decoded.FromBlock(text.data(), text.size(), kova::VTC_UTF_8);
        kova::VJSONValue tree;
        if (kova::VJSONImporter::ParseString(decoded, tree, 0) != kova::VE_OK)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(tree);
    }
    Label(state);
}
BENCHMARK(BM_JSONParse_Kova)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

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

} // namespace
