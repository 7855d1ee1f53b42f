// The one test main: fixes the locale and time zone the tests expect, then brings up what the
// toolbox needs before any test runs (the memory manager first, as the entry point does).
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LANGUAGE", "en_US", 1);
    setenv("LC_ALL", "", 1);
    setenv("TZ", "UTC", 1);

    kova::VObject::sCppMemMgr = new kova::VCppMemMgr(kova::VCppMemMgr::eAllocatorStdLib);

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
