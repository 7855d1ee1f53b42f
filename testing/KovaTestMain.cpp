// The one test main: fixes the locale and time zone the tests expect, makes the memory manager
// first (as the entry point does), then brings up one real process object with a logger, whose
// start-up brings the toolbox up in its order (the main thread becomes the main task); its
// destruction takes it down after the tests.
//
// The toolbox comes up once per process. The tests of start-up and shut-down themselves run in
// death tests' children with kNoProcessVariable set: there the test main makes no process object,
// and the test brings up its own.
#include "kernel/tasks/VProcess.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "testing/KovaTestMain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LANGUAGE", "en_US", 1);
    setenv("LC_ALL", "", 1);
    setenv("TZ", "UTC", 1);

    kova::VObject::sCppMemMgr = new kova::VCppMemMgr(kova::VCppMemMgr::eAllocatorStdLib);

    testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<kova::VProcess> process;
    if (std::getenv(kova::testing_support::kNoProcessVariable) == nullptr)
    {
        process = std::make_unique<kova::VProcess>();
        if (!process->Init(kova::VProcess::kInitLogger))
        {
            std::fprintf(stderr, "The process object did not start.\n");
            return 1;
        }
    }
    int result = RUN_ALL_TESTS();
    process.reset();
    return result;
}
