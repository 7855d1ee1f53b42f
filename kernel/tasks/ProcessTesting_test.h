// Test helper: a process object for one test, so that what the toolbox asks of the process (its
// logger, its log source) has an answer. The test main brings up no process object.
#pragma once

#include "kernel/errors/VLogger.h"
#include "kernel/tasks/VProcess.h"

#include <gtest/gtest.h>

namespace kova
{

class StTestProcess : public VProcess
{
public:
    // The instance for its scope; with a started logger unless asked otherwise.
    explicit StTestProcess(bool inWithLogger = true, const char* inProductName = "TestProduct")
    {
        fProductName = VString(inProductName);
        if (inWithLogger)
        {
            EXPECT_TRUE(_InitLogger());
        }
        fPrevious = sInstance;
        sInstance = this;
    }
    ~StTestProcess() override { sInstance = fPrevious; }

private:
    VProcess* fPrevious = nullptr;
};

} // namespace kova
