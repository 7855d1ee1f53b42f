// What every fuzz target shares: the toolbox brought up once, as the entry point brings it up
// (the memory manager, then a process object's start-up), in a fixed locale and time zone; and the
// check that stops a run when a property of the code does not hold, so that the fuzzer keeps the
// input.
//
// A target is one file, fuzz/NAME_fuzz.cpp, that includes this header (which brings the toolbox
// up in LLVMFuzzerInitialize) and defines LLVMFuzzerTestOneInput; its seed inputs lie in
// fuzz/corpus/NAME/. A target that reads XML holds the XML library (HoldXMLLibrary).
#pragma once

#include "kernel/files/VMemoryStream.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/VString.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValueBag.h"
#include "xml/VXMLParser.h"
#include "xml/XMLLibraryLeakSuppression.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kova::fuzz
{

[[noreturn]] inline void Fail(const char* inWhat)
{
    std::fprintf(stderr, "property broken: %s\n", inWhat);
    std::abort();
}

inline void Check(bool inHolds, const char* inWhat)
{
    if (!inHolds)
        Fail(inWhat);
}

inline void BringUp()
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LANGUAGE", "en_US", 1);
    setenv("LC_ALL", "", 1);
    setenv("TZ", "UTC", 1);
    VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorStdLib);
    // Up for the run's whole length: a fuzzer never returns to take it down.
    VProcess* process = new VProcess;
    if (!process->Init(0))
        Fail("the process object did not start");
}

// The XML library, started at the first call and up for the rest of the run, as the toolbox's
// long-lived XML users hold it: without a holder, every parse starts and stops the library, which
// costs more than most inputs. Targets that read XML call it first.
inline void HoldXMLLibrary()
{
    static const bool sUp = VXMLParser::Init();
    Check(sUp, "the XML library started");
}

// The bag's stream form.
inline std::string StreamBytesOf(const VValueBag& inBag)
{
    VPtrStream stream;
    stream.OpenWriting();
    inBag.WriteToStream(&stream, 0);
    const VStream::UnderlyingData data = stream.GetUnderlyingData();
    std::string bytes(static_cast<const char*>(data.fData), data.fSize);
    stream.CloseWriting();
    return bytes;
}

// A new folder of the run's own under /tmp ("/tmp/NAME-XXXXXX"), removed with what it holds when
// the run exits.
inline std::string NewScratchFolder(const char* inName)
{
    // Never destroyed, so that it outlives the exit handler that reads it.
    static auto* sFolders = new std::vector<std::string>;
    std::string pattern = std::string("/tmp/") + inName + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        Fail("no scratch folder");
    if (sFolders->empty())
        std::atexit(
            []
            {
                std::error_code ignored;
                for (const std::string& folder : *sFolders)
                    std::filesystem::remove_all(folder, ignored);
            });
    sFolders->push_back(pattern);
    return pattern;
}

inline std::u16string Units(const VString& inText)
{
    return std::u16string(inText.GetCPointer(), size_t(inText.GetLength()));
}

// The input as UTF-16 units, two bytes each (an odd last byte dropped).
inline VString UnitsOf(const uint8_t* inData, size_t inSize)
{
    VString text;
    text.FromBlock(inData, inSize & ~size_t(1), VTC_UTF_16);
    return text;
}

// The bytes decoded in pieces of inPiece bytes through one converter, as a stream reader does:
// what a call leaves unconsumed goes again at the front of the next piece, and the last piece ends
// the input. False when a call answered false; outUnread keeps what was never consumed.
inline bool DecodeInPieces(const VToUnicodeConverter& inDecoder, const uint8_t* inData, size_t inSize,
                           size_t inPiece, VString& outText, std::string& outUnread)
{
    outUnread.clear();
    bool decoded = true;
    for (size_t at = 0; at < inSize;)
    {
        const size_t taken = std::min(inPiece, inSize - at);
        outUnread.append(reinterpret_cast<const char*>(inData) + at, taken);
        at += taken;
        size_t consumed = 0;
        if (at == inSize)
            decoded = inDecoder.ConvertLastString(outUnread.data(), outUnread.size(), &consumed, outText) &&
                      decoded;
        else
            decoded =
                inDecoder.ConvertString(outUnread.data(), outUnread.size(), &consumed, outText) && decoded;
        outUnread.erase(0, consumed);
    }
    return decoded;
}

} // namespace kova::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kova::fuzz::BringUp();
    return 0;
}
