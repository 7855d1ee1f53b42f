// Test helper: for one scope, the process object of the test main logs through a logger of its
// own (started; none when asked) and names itself with the given product name, so that what a
// test logs through the process is its own.
#pragma once

#include "kernel/errors/VLogger.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTaskMgr.h"

#include <gtest/gtest.h>

namespace kova
{

class StTestProcess
{
public:
    explicit StTestProcess(bool inWithLogger = true, const char* inProductName = "TestProduct")
        : fProcess(VProcess::sInstance), fProductName(inProductName)
    {
        EXPECT_NE(fProcess, nullptr) << "the test main brings up the process object";
        if (inWithLogger)
        {
            fLogger = new VLogger;
            fLogger->Start();
        }
        if (fProcess != nullptr)
            fProcess->_ExchangeLoggerForTesting(fLogger, fProductName);
    }
    ~StTestProcess()
    {
        if (fProcess != nullptr)
            fProcess->_ExchangeLoggerForTesting(fLogger, fProductName);
        if (fLogger != nullptr)
        {
            fLogger->Stop();
            ReleaseRefCountable(&fLogger);
        }
        // The logger's task, dead, is joined now rather than at the next task's start: a test
        // that forks must not leave its child a finished thread nobody joined.
        VTaskMgr::Get()->PurgeDeadTasks();
    }
    StTestProcess(const StTestProcess&) = delete;
    StTestProcess& operator=(const StTestProcess&) = delete;

    VLogger* GetLogger() const { return fProcess != nullptr ? fProcess->GetLogger() : nullptr; }

private:
    VProcess* fProcess;
    VLogger* fLogger = nullptr;
    VString fProductName;
};

} // namespace kova
