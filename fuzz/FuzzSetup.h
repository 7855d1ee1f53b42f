// What every fuzz target shares: the toolbox brought up once, as the entry point brings it up
// (memory manager, international manager, task manager), in a fixed locale and time zone; and the
// check that stops a run when a property of the code does not hold, so that the fuzzer keeps the
// input.
//
// A target is one file, fuzz/NAME_fuzz.cpp, that defines LLVMFuzzerTestOneInput and calls
// kova::fuzz::BringUp from LLVMFuzzerInitialize; its seed inputs lie in fuzz/corpus/NAME/.
#pragma once

#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kova::fuzz
{

inline void BringUp()
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LANGUAGE", "en_US", 1);
    setenv("LC_ALL", "", 1);
    setenv("TZ", "UTC", 1);
    VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorStdLib);
    VIntlMgr::Init();
    VIntlMgr* intlMgr = VIntlMgr::Create(0, 0, 1);
    VTask::SetProcessIntlManager(intlMgr);
    ReleaseRefCountable(&intlMgr);
    VTaskMgr::Init(nullptr);
}

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

} // namespace kova::fuzz
