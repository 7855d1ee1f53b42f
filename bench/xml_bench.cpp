// Value bags as XML against the XML library itself and a hand-made writer, on the same 20 MB
// document (100,000 sub-bags of five attributes and some text), made once in $KOVA_BENCH_DIR, else
// /tmp, and removed at exit:
// - LoadBagFromXML of the file into a new bag, beside Xerces-C's own SAX2 parse of the same file
//   with an empty handler (the bag is released outside the timed part);
// - WriteBagToFileInXML of the bag read from it, beside the same bytes built in a std::string by
//   hand and written to a file.
// Run pinned, with repetitions interleaved at random (BenchMain's defaults):
//     taskset -c 2 kova_bench --benchmark_filter=BagXML
#include "bench/BenchSetup.h"
#include "bench/XercesSAX2.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/ValueBagXML.h"
#include "xml/VXMLParser.h"

#include <benchmark/benchmark.h>

#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace
{

using kova::VFile;
using kova::VFilePath;
using kova::VRefPtr;
using kova::VString;
using kova::VValueBag;

constexpr int kItemCount = 100000;

const std::string& Folder()
{
    return kova::bench::ScratchFolder("kova-xml-bench");
}

// The document as the bag's writer makes it: the declaration, the element, a line feed before each
// child, attributes in order; the text escaped, or in a CDATA section as the writer puts a text
// that holds a "&".
std::string MakeDocument(bool inCDataSections = false)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><bag name=\"sample\" count=\"100000\">";
    for (int index = 0; index < kItemCount; ++index)
    {
        const std::string number = std::to_string(index);
        text += "\n<item id=\"";
        text += number;
        text += "\" name=\"item number ";
        text += number;
        text += "\" kind=\"document\" size=\"";
        text += std::to_string(index * 37 % 1000003);
        text += "\" path=\"/Users/someone/Documents/Projects/folder ";
        text += number;
        text += inCDataSections ? "/file.txt\"><![CDATA[Some text for the item & a little more of it, number "
                                : "/file.txt\">Some text for the item &amp; a little more of it, number ";
        text += number;
        text += inCDataSections ? "]]></item>" : "</item>";
    }
    text += "</bag>";
    return text;
}

const std::string& SampleFile()
{
    static const std::string sPath = []
    {
        std::string path = Folder() + "/bag.xml";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << MakeDocument();
        return path;
    }();
    return sPath;
}

VRefPtr<VFile> ToolboxFile(const std::string& inPosix)
{
    return VRefPtr<VFile>(
        new VFile(VString(inPosix.data(), inPosix.size(), kova::VTC_UTF_8), kova::FPS_POSIX));
}

void SetUp(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    static const bool sUp = kova::VXMLParser::Init(); // held for the whole run, as its users do
    if (!sUp)
        ioState.SkipWithError("the XML library did not start");
    SampleFile();
}

void SetBytes(benchmark::State& ioState)
{
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) *
                              int64_t(std::filesystem::file_size(SampleFile())));
}

void BM_BagXMLLoad_Xerces(benchmark::State& ioState)
{
    SetUp(ioState);
    const std::u16string path(SampleFile().begin(), SampleFile().end());
    xercesc::DefaultHandler handler;
    for (auto _ : ioState)
    {
        if (!kova::bench::ParseWithXercesSAX2(path, handler))
            ioState.SkipWithError("parse failed");
    }
    SetBytes(ioState);
}
BENCHMARK(BM_BagXMLLoad_Xerces)->Unit(benchmark::kMillisecond);

void BM_BagXMLLoad_Kova(benchmark::State& ioState)
{
    SetUp(ioState);
    VRefPtr<VFile> file = ToolboxFile(SampleFile());
    for (auto _ : ioState)
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        if (kova::LoadBagFromXML(file.Get(), VString("bag"), *bag, 0) != kova::VE_OK)
            ioState.SkipWithError("load failed");
        ioState.PauseTiming();
        bag = nullptr;
        ioState.ResumeTiming();
    }
    SetBytes(ioState);
}
BENCHMARK(BM_BagXMLLoad_Kova)->Unit(benchmark::kMillisecond);

} // namespace

namespace
{

// The bag of the document above, built directly (numbers as strings, the text as character data),
// so that its XML is the document's bytes.
VRefPtr<VValueBag> MakeBag()
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("name", VString("sample"));
    bag->SetString("count", VString("100000"));
    for (int index = 0; index < kItemCount; ++index)
    {
        const std::string number = std::to_string(index);
        VRefPtr<VValueBag> item(new VValueBag);
        item->SetString("id", VString(number.c_str()));
        item->SetString("name", VString(("item number " + number).c_str()));
        item->SetString("kind", VString("document"));
        item->SetString("size", VString(std::to_string(index * 37 % 1000003).c_str()));
        item->SetString(
            "path", VString(("/Users/someone/Documents/Projects/folder " + number + "/file.txt").c_str()));
        item->AppendToCData(
            VString(("Some text for the item & a little more of it, number " + number).c_str()));
        bag->AddElement("item", item.Get());
    }
    return bag;
}

void BM_BagXMLWrite_Hand(benchmark::State& ioState)
{
    SetUp(ioState);
    const std::string path = Folder() + "/hand.xml";
    for (auto _ : ioState)
    {
        const std::string text = MakeDocument(true);
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        stream.write(text.data(), std::streamsize(text.size()));
        stream.close();
        if (!stream)
            ioState.SkipWithError("write failed");
    }
    SetBytes(ioState);
}
BENCHMARK(BM_BagXMLWrite_Hand)->Unit(benchmark::kMillisecond);

void BM_BagXMLWrite_Kova(benchmark::State& ioState)
{
    SetUp(ioState);
    const VRefPtr<VValueBag> bag = MakeBag();
    const std::string path = Folder() + "/kova.xml";
    VRefPtr<VFile> file = ToolboxFile(path);
    for (auto _ : ioState)
    {
        if (kova::WriteBagToFileInXML(*bag, VString("bag"), file.Get(), false) != kova::VE_OK)
            ioState.SkipWithError("write failed");
    }
    // Like for like: the same bytes as the hand-made document.
    std::ifstream written(path, std::ios::binary);
    if (std::string{std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>()} !=
        MakeDocument(true))
        ioState.SkipWithError("the bytes differ from the hand-made document");
    SetBytes(ioState);
}
BENCHMARK(BM_BagXMLWrite_Kova)->Unit(benchmark::kMillisecond);

} // namespace
