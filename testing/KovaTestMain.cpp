// The one test main: fixes the locale and time zone the tests expect, then brings up what the
// toolbox needs before any test runs (the memory manager first, as the entry point does, then
// the process's international manager of the default dialect, then the task manager, which makes
// the main thread the main task).
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "xml/XMLLibraryLeakSuppression.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LANGUAGE", "en_US", 1);
    setenv("LC_ALL", "", 1);
    setenv("TZ", "UTC", 1);

    kova::VObject::sCppMemMgr = new kova::VCppMemMgr(kova::VCppMemMgr::eAllocatorStdLib);

    kova::VIntlMgr::Init();
    kova::VIntlMgr* intlMgr = kova::VIntlMgr::Create(0, 0, 1);
    kova::VTask::SetProcessIntlManager(intlMgr);
    kova::ReleaseRefCountable(&intlMgr);
    kova::VTaskMgr::Init(nullptr);

    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();

    kova::VTaskMgr::DeInit();
    kova::VTask::SetProcessIntlManager(nullptr);
    kova::VIntlMgr::ICU_Cleanup();
    return result;
}
