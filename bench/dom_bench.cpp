// The DOM wrapper against the XML library's own LS parser and serializer called directly, on the
// same 10 MB document in memory (50,000 elements with four attributes and a text, one per line;
// argument 1: each text holds an "&amp;", argument 0: none):
// CreateNodeDocumentFromBuffer then SerializeToBlob (line ends made carriage returns) and the
// document's release, beside a DOMLSParser parse of the same bytes, a DOMLSSerializer write into a
// memory target and the document's release.
// Run pinned, with repetitions interleaved at random (BenchMain's defaults):
//     taskset -c 2 kova_bench --benchmark_filter=DomRoundTrip
#include "bench/BenchSetup.h"
#include "kernel/values/VBlob.h"
#include "xml/IXMLDomWrapper.h"
#include "xml/VXMLParser.h"

#include <benchmark/benchmark.h>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <string>

namespace
{

constexpr int kElementCount = 50000;

// With entities, each text holds an "&amp;", which breaks its character data into several runs.
std::string MakeDocument(bool inWithEntities)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog name=\"sample\">";
    for (int index = 0; index < kElementCount; ++index)
    {
        const std::string number = std::to_string(index);
        text += "\n<entry id=\"e" + number + "\" name=\"entry number " + number +
                "\" kind=\"document\" path=\"/Users/someone/Documents/Projects/folder " + number +
                "/file.txt\">Some text for the entry " + (inWithEntities ? "&amp;" : "and") +
                " a little more of it, number " + number +
                ", that runs on for a while to make the document about ten megabytes" + "</entry>";
    }
    text += "\n</catalog>\n";
    return text;
}

// Argument 1: the document with entities, else without.
const std::string& Document(const benchmark::State& inState)
{
    static const std::string sWith = MakeDocument(true);
    static const std::string sWithout = MakeDocument(false);
    return inState.range(0) != 0 ? sWith : sWithout;
}

void SetUp(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    static const bool sUp = kova::VXMLParser::Init(); // held for the whole run, as its users do
    if (!sUp)
        ioState.SkipWithError("the XML library did not start");
}

void SetBytes(benchmark::State& ioState)
{
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * int64_t(Document(ioState).size()));
}

void BM_DomRoundTrip_Xerces(benchmark::State& ioState)
{
    SetUp(ioState);
    static const XMLCh kLS[] = {u'L', u'S', 0};
    xercesc::DOMImplementationLS* implementation =
        xercesc::DOMImplementationRegistry::getDOMImplementation(kLS);
    const std::string& document = Document(ioState);
    for (auto _ : ioState)
    {
        xercesc::DOMLSParser* parser =
            implementation->createLSParser(xercesc::DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
        parser->getDomConfig()->setParameter(xercesc::XMLUni::fgXercesUserAdoptsDOMDocument, true);
        xercesc::Wrapper4InputSource input(new xercesc::MemBufInputSource(
            reinterpret_cast<const XMLByte*>(document.data()), document.size(), "Blob", false));
        xercesc::DOMDocument* parsed = parser->parse(&input);
        parser->release();
        if (parsed == nullptr)
        {
            ioState.SkipWithError("parse failed");
            break;
        }
        xercesc::DOMLSSerializer* serializer = implementation->createLSSerializer();
        xercesc::DOMLSOutput* output = implementation->createLSOutput();
        xercesc::MemBufFormatTarget target(1023);
        output->setEncoding(u"UTF-8");
        output->setByteStream(&target);
        if (!serializer->write(parsed, output))
            ioState.SkipWithError("serialization failed");
        benchmark::DoNotOptimize(target.getRawBuffer());
        output->release();
        serializer->release();
        parsed->release();
    }
    SetBytes(ioState);
}
BENCHMARK(BM_DomRoundTrip_Xerces)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_DomRoundTrip_Kova(benchmark::State& ioState)
{
    SetUp(ioState);
    const std::string& document = Document(ioState);
    for (auto _ : ioState)
    {
        kova::VXMLDOMDocument_opaque* parsed =
            kova::IXMLDomWrapper::CreateNodeDocumentFromBuffer(document.data(), document.size(), nullptr);
        if (parsed == nullptr)
        {
            ioState.SkipWithError("parse failed");
            break;
        }
        kova::VBlobWithPtr blob;
        size_t written = 0;
        if (!kova::IXMLDomWrapper::SerializeToBlob(parsed, &blob, 0, written, false))
            ioState.SkipWithError("serialization failed");
        benchmark::DoNotOptimize(blob.GetDataPtr());
        kova::IXMLDomWrapper::ReleaseNode(parsed);
    }
    SetBytes(ioState);
}
BENCHMARK(BM_DomRoundTrip_Kova)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
