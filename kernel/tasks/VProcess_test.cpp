#include "kernel/tasks/VProcess.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VProgressManager.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFileKindManager.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VActivityToken.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "testing/KovaTestMain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kova;
using kova::testing_support::RunInFreshProcess;

namespace
{

// A process whose run and quit are recorded; the product version is the test's.
class VRecordingProcess : public VProcess
{
public:
    explicit VRecordingProcess(const char* inVersion = "")
    {
        fProductName = VString("Recorder");
        fProductFolderName = fProductName;
        fProductVersion = VString(inVersion);
    }

    void DoRun() override
    {
        fRunOnMain = VTaskMgr::GetCurrentTask() == VTaskMgr::Get()->GetMainTask();
        fRunningDuringRun = IsRunning();
        fSteps.push_back("run");
        if (fRunBody)
            fRunBody();
    }
    void DoQuit() override { fSteps.push_back("quit"); }
    void SetProductFolderName(const char* inName) { fProductFolderName = VString(inName); }

    std::vector<std::string> fSteps;
    bool fRunOnMain = false;
    bool fRunningDuringRun = false;
    std::function<void()> fRunBody;
};

// The grace period's clock, set by the test.
std::atomic<uint32_t> sNow{0};

class StTokenClock
{
public:
    explicit StTokenClock(uint32_t inNow)
    {
        sNow = inNow;
        VProcess::_SetTokenClockForTesting([] { return sNow.load(); });
    }
    ~StTokenClock() { VProcess::_SetTokenClockForTesting(nullptr); }
    StTokenClock(const StTokenClock&) = delete;
    StTokenClock& operator=(const StTokenClock&) = delete;
};

VRefPtr<VActivityToken> NewToken(const char* inName)
{
    return VRefPtr<VActivityToken>(new VActivityToken(VString(inName)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Product versions

TEST(VProcessVersions, BuildChangeListShortAndMainVersionsAsATable)
{
    struct
    {
        const char* fVersion;
        const char* fBuild;
        int32_t fChangeList;
        const char* fShort;
        const char* fMain;
    } cases[] = {
        {"12.3 build 4.5.67", "4.5.67", 67, "12.3", "12"},
        {"12.3", "", 0, "12.3", "12"},
        {"  7.0.1  build  2024.10  ", "2024.10", 10, "7.0.1", "7"},
        {"build 99", "99", 0, "", ""},
        {".5 build 1.2", "1.2", 2, ".5", ""},
        {"3 build ", "", 0, "3", "3"},
        {"12.3 build 4.5.x", "4.5.x", 0, "12.3", "12"},
        {"", "", 0, "", ""},
    };
    for (const auto& c : cases)
    {
        VRecordingProcess process(c.fVersion);
        VString text;
        process.GetBuildNumber(text);
        EXPECT_EQ(to_string(text), c.fBuild) << c.fVersion;
        EXPECT_EQ(process.GetChangeListNumber(), c.fChangeList) << c.fVersion;
        process.GetShortProductVersion(text);
        EXPECT_EQ(to_string(text), c.fShort) << c.fVersion;
        process.GetMainProductVersion(text);
        EXPECT_EQ(to_string(text), c.fMain) << c.fVersion;
    }
}

// ---------------------------------------------------------------------------------------------
// What the process answers without starting

TEST(VProcessQueries, FoldersOfUnknownKindsAreNone)
{
    VProcess* process = VProcess::sInstance;
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->RetainFolder(0), nullptr);
    EXPECT_EQ(process->RetainFolder(FourCharCode("rsrc")), nullptr);
    EXPECT_EQ(process->RetainFile(FourCharCode("none"), VString("x"), FourCharCode("nada")), nullptr);
}

// Start-up made the store "qel"; its classes answer only under that exact store name.
TEST(VProcessQueries, ClassObjectsComeFromTheStoreOfThatName)
{
    VProcess* process = VProcess::sInstance;
    ASSERT_NE(process, nullptr);
    ASSERT_NE(process->GetClassStore(), nullptr);
    EXPECT_EQ(to_string(process->GetClassStore()->GetName()), "qel");
    VRefPtr<VJSONObject> object(process->GetClassObject(VString("qel"), VString("Object")));
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(process->GetClassObject(VString("QEL"), VString("Object")), nullptr);
    EXPECT_EQ(process->GetClassObject(VString("qel"), VString("object")), nullptr);
    EXPECT_EQ(process->GetClassObject(VString("other"), VString("Object")), nullptr);
}

TEST(VProcessQueries, OnlyLiveProcessesRunGroupsAndZombiesDoNot)
{
    EXPECT_EQ(VProcess::GetSystemID(), int32_t(getpid()));
    EXPECT_TRUE(VProcess::IsProcessRunning(getpid()));
    // kill(0, 0) and kill(-1, 0) address groups and succeed: no process has those ids.
    for (int32_t pid : {0, -1, -getpgrp(), INT_MIN})
        EXPECT_FALSE(VProcess::IsProcessRunning(pid)) << pid;

    // Not reaped yet: a zombie, which has quit.
    const pid_t child = NewZombie();
    ASSERT_GT(child, 0);
    EXPECT_FALSE(VProcess::IsProcessRunning(child));
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(VProcess::IsProcessRunning(child));
}

// The temporary folder is the system folder of kind 2: the test's own for its scope.
class VProcessProductFolder : public testing::Test
{
protected:
    VProcessProductFolder()
    {
        const char* previous = std::getenv("TMPDIR");
        fPrevious = previous != nullptr ? previous : "";
        setenv("TMPDIR", fTemporary.Posix().c_str(), 1);
    }
    ~VProcessProductFolder() override
    {
        if (fPrevious.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", fPrevious.c_str(), 1);
    }

    std::string PathOf(const VFolder* inFolder) const
    {
        VString text;
        if (inFolder == nullptr)
            return "(none)";
        inFolder->GetPath().GetPosixPath(text);
        return to_string(text);
    }

    StTemporaryFolder fTemporary;
    std::string fPrevious;
};

TEST_F(VProcessProductFolder, LiesInTheSystemFolderFollowsALinkAndIsMadeWhenAsked)
{
    VRecordingProcess process;
    const ESystemFolderKind kind = eSystemFolderTemporary;
    EXPECT_EQ(process.RetainProductSystemFolder(kind, false), nullptr);
    VRefPtr<VFolder> made(process.RetainProductSystemFolder(kind, true));
    EXPECT_EQ(PathOf(made.Get()), fTemporary.Posix("Recorder/"));
    // Kind 2 shares its product folder: writable by all.
    EXPECT_EQ(ModeOf(fTemporary.Posix("Recorder")), mode_t(0777));
    VRefPtr<VFolder> found(process.RetainProductSystemFolder(kind, false));
    EXPECT_EQ(PathOf(found.Get()), fTemporary.Posix("Recorder/"));

    // A link of the product's name leads to its folder elsewhere.
    std::filesystem::rename(fTemporary.Posix("Recorder"), fTemporary.Posix("Elsewhere"));
    ASSERT_EQ(symlink(fTemporary.Posix("Elsewhere").c_str(), fTemporary.Posix("Recorder").c_str()), 0);
    found = VRefPtr<VFolder>(process.RetainProductSystemFolder(kind, false));
    EXPECT_EQ(PathOf(found.Get()), fTemporary.Posix("Elsewhere/"));
}

TEST_F(VProcessProductFolder, KindsWithoutProductFolderAndNamesThatLeaveTheFolderGiveNoProductFolder)
{
    VRecordingProcess process;
    // Kind 3 is no folder: the system's answer itself.
    EXPECT_EQ(process.RetainProductSystemFolder(eSystemFolderNone, true), nullptr);
    for (const char* name : {"", "..", "../Escape", "a/b", "a:b"})
    {
        VRecordingProcess named;
        named.SetProductFolderName(name);
        EXPECT_EQ(named.RetainProductSystemFolder(eSystemFolderTemporary, true), nullptr) << name;
    }
    EXPECT_EQ(NamesIn(fTemporary.Posix()), std::vector<std::string>());
}

TEST(VProcessProductFolderFallback, AFolderThatCannotBeMadeFallsBackOnTheUsersKind)
{
    RunInFreshProcess(
        []
        {
            StTemporaryFolder temporary;
            WriteFileBytes(temporary.Posix("file"), "not a folder");
            std::filesystem::create_directories(temporary.Posix("home/.local/share"));
            setenv("TMPDIR", temporary.Posix("file/tmp").c_str(), 1);
            setenv("HOME", temporary.Posix("home").c_str(), 1);
            unsetenv("XDG_DATA_HOME");
            VRecordingProcess process;
            ASSERT_TRUE(process.Init(0));
            StErrorContextInstaller errors(false, true);
            VRefPtr<VFolder> folder(process.RetainProductSystemFolder(eSystemFolderTemporary, true));
            ASSERT_NE(folder, nullptr);
            VString path;
            folder->GetPath().GetPosixPath(path);
            EXPECT_EQ(to_string(path), temporary.Posix("home/.local/share/Recorder/"));
            EXPECT_TRUE(folder->Exists());
            // The failure of the shared kind is kept quiet.
            EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
        });
}

TEST(VProcessRun, RunOffTheMainTaskReturnsAtOnce)
{
    VRecordingProcess process;
    RunOnTask([&] { process.Run(); });
    EXPECT_TRUE(process.fSteps.empty());
    EXPECT_EQ(VTaskMgr::Get()->GetMainTask()->GetState(), TS_RUNNING);
}

// ---------------------------------------------------------------------------------------------
// Activity tokens

TEST(VProcessTokens, TheGracePeriodCountsFromTheLastReleaseAcrossTheClocksWrap)
{
    // The process under test is not the instance: tokens are registered with it by hand.
    VRecordingProcess process;
    StTokenClock clock(UINT32_MAX - 100);
    VRefPtr<VActivityToken> first = NewToken("Same");
    VRefPtr<VActivityToken> second = NewToken("Same");
    process.RegisterActivityToken(first.Get());
    process.RegisterActivityToken(first.Get());
    process.RegisterActivityToken(second.Get());
    EXPECT_TRUE(process.HasSomeActivityTokens(0));

    // Two tokens of one name are two entries; one registered twice is one.
    process.UnregisterActivityToken(first.Get());
    EXPECT_TRUE(process.HasSomeActivityTokens(0));
    process.UnregisterActivityToken(second.Get());
    process.UnregisterActivityToken(second.Get());
    EXPECT_FALSE(process.HasSomeActivityTokens(0));
    EXPECT_TRUE(process.HasSomeActivityTokens(1000));

    // 999 ms later, past the clock's wrap, still within the grace period; then no more.
    sNow = UINT32_MAX - 100 + 999;
    EXPECT_TRUE(process.HasSomeActivityTokens(1000));
    sNow = UINT32_MAX - 100 + 1000;
    EXPECT_FALSE(process.HasSomeActivityTokens(1000));
    EXPECT_TRUE(process.HasSomeActivityTokens(1001));
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down, each in a child process of its own

TEST(VProcessLife, RunStartsTheToolboxRunsOnTheMainTaskAndDestructionTakesItDown)
{
    RunInFreshProcess(
        []
        {
            VRecordingProcess* process = new VRecordingProcess;
            EXPECT_EQ(VProcess::sInstance, nullptr);
            VRecordingListener* listener = new VRecordingListener;
            VLogger* logger = nullptr;
            VRefPtr<VTask> flushTask;
            process->fRunBody = [&]
            {
                // The logger (Run's flags hold 16) hands records to its listeners.
                logger = process->GetLogger();
                ASSERT_NE(logger, nullptr);
                logger->Retain();
                logger->_SetFlushPeriodForTesting(1);
                logger->AddLogListener(listener);
                logger->LogMessage(EML_Info, VString("from the run"), VString("Test"));
                logger->Flush();
                std::vector<VRefPtr<VTask>> tasks;
                VTaskMgr::Get()->GetTasks(tasks);
                for (const VRefPtr<VTask>& task : tasks)
                {
                    if (task->GetKind() == FourCharCode("LOGG"))
                        flushTask = task;
                }
                // Errors carry the task they were raised on.
                StErrorContextInstaller errors(false, true);
                _ThrowError(VE_INVALID_PARAMETER);
                ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
                EXPECT_EQ(errors.GetContext()->GetNthError(1)->GetTaskID(), VTaskMgr::GetCurrentTaskID());
            };

            process->Run();
            EXPECT_EQ(process->fSteps, (std::vector<std::string>{"run", "quit"}));
            EXPECT_TRUE(process->fRunOnMain);
            EXPECT_TRUE(process->fRunningDuringRun);
            EXPECT_FALSE(process->IsRunning());
            EXPECT_EQ(VProcess::sInstance, process);
            EXPECT_NE(process->GetIntlMgr(), nullptr);
            EXPECT_NE(VFileKindManager::Get(), nullptr);
            EXPECT_NE(VProgressManager::sProgressManager, nullptr);
            EXPECT_TRUE(VDebugMgr::Get()->GetMessagesEnabled());
            EXPECT_EQ(listener->Messages(), std::vector<std::string>{"from the run"});
            ASSERT_NE(flushTask, nullptr);
            // A second Init answers the first result and runs nothing again.
            EXPECT_TRUE(process->Init(0));
            EXPECT_EQ(process->GetLogger(), logger);
            // A second Run finds the main task dying.
            process->Run();
            EXPECT_EQ(process->fSteps.size(), 2u);

            delete process;
            EXPECT_EQ(VProcess::sInstance, nullptr);
            EXPECT_FALSE(VTaskMgr::IsInited());
            EXPECT_EQ(VFileKindManager::Get(), nullptr);
            EXPECT_EQ(VProgressManager::sProgressManager, nullptr);
            EXPECT_FALSE(VDebugMgr::Get()->GetMessagesEnabled());
            // The logger was stopped, its task dead, and released once, all before the task
            // manager went down: the test's reference is the last.
            EXPECT_EQ(flushTask->GetState(), TS_DEAD);
            ASSERT_NE(logger, nullptr);
            EXPECT_EQ(logger->GetRefCount(), 1u);
            flushTask = VRefPtr<VTask>();
            logger->Release();
            listener->Release();
        });
}

TEST(VProcessLife, WithFibersTheMainTaskIsAFiber)
{
    RunInFreshProcess(
        []
        {
            VRecordingProcess process;
            ASSERT_TRUE(process.Init(VProcess::kInitFibers));
            EXPECT_TRUE(process.IsFiberMode());
            EXPECT_TRUE(VTaskMgr::Get()->GetMainTask()->IsFiber());
            EXPECT_EQ(process.GetLogger(), nullptr);
        });
}

TEST(VProcessLife, QuitBeforeRunKeepsDoRunFromRunning)
{
    RunInFreshProcess(
        []
        {
            VRecordingProcess process;
            // Before start-up there is no main task to end: nothing happens.
            process.QuitAsynchronously(nullptr);
            EXPECT_FALSE(process.IsRunning());
            ASSERT_TRUE(process.Init(VProcess::kRunInitFlags));
            EXPECT_TRUE(process.IsRunning());
            process.QuitAsynchronously(nullptr);
            EXPECT_FALSE(process.IsRunning());
            process.Run();
            EXPECT_TRUE(process.fSteps.empty());
        });
}

TEST(VProcessLife, QuitFromAnotherThreadEndsTheMessageLoop)
{
    RunInFreshProcess(
        []
        {
            VRecordingProcess process;
            std::thread quitter;
            process.fRunBody = [&]
            {
                quitter = std::thread([&] { process.QuitAsynchronously(nullptr); });
                int32_t loops = 0;
                while (process.IsRunning() && ++loops < kHungTestMilliseconds / 100)
                    VTask::ExecuteMessagesWithTimeout(100, true);
                EXPECT_LT(loops, kHungTestMilliseconds / 100);
            };
            process.Run();
            quitter.join();
            EXPECT_EQ(process.fSteps, (std::vector<std::string>{"run", "quit"}));
            // After the main task ended, asking again is harmless.
            process.QuitAsynchronously(nullptr);
        });
}

TEST(VProcessLife, TokensFromManyTasksKeepTheProcessBusyThroughTheGracePeriod)
{
    RunInFreshProcess(
        []
        {
            // A token made before start-up reaches no process.
            VRefPtr<VActivityToken> early = NewToken("Early");
            StTokenClock clock(5000);
            VRecordingProcess process;
            ASSERT_TRUE(process.Init(0));
            EXPECT_FALSE(process.HasSomeActivityTokens(0));

            constexpr int32_t kTasks = 8;
            std::atomic<bool> release{false};
            std::atomic<int32_t> made{0};
            std::vector<VRefPtr<VTask>> tasks;
            for (int32_t i = 0; i < kTasks; ++i)
            {
                tasks.push_back(NewTask(
                    [&]
                    {
                        // Each task also gives up its own, so that only these count.
                        VTask::ReleaseCurrentActivityToken();
                        std::vector<VRefPtr<VActivityToken>> mine;
                        for (int32_t j = 0; j < 50; ++j)
                            mine.push_back(NewToken("Work"));
                        ++made;
                        while (!release)
                            VTask::Sleep(1);
                    }));
                ASSERT_TRUE(tasks.back()->Run());
            }
            while (made < kTasks)
                VTask::Sleep(1);
            EXPECT_TRUE(process.HasSomeActivityTokens(0));
            sNow = 9000;
            release = true;
            for (const VRefPtr<VTask>& task : tasks)
                ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
            EXPECT_FALSE(process.HasSomeActivityTokens(0));
            sNow = 9000 + 499;
            EXPECT_TRUE(process.HasSomeActivityTokens(500));
            sNow = 9000 + 500;
            EXPECT_FALSE(process.HasSomeActivityTokens(500));
        });
}

TEST(VProcessLife, TokensGoingDuringShutDownTouchNothing)
{
    RunInFreshProcess(
        []
        {
            VRecordingProcess* process = new VRecordingProcess;
            ASSERT_TRUE(process->Init(0));
            VRefPtr<VActivityToken> survivor = NewToken("Survivor");
            // A thread makes and drops tokens while the process goes down under it.
            std::atomic<bool> stop{false};
            std::thread churn(
                [&]
                {
                    while (!stop)
                        NewToken("Churn");
                });
            VTask::Sleep(5);
            delete process;
            stop = true;
            churn.join();
            // Released after the process is gone.
            survivor = VRefPtr<VActivityToken>();
            NewToken("Late");
        });
}

// Each step of start-up fails in turn: the later steps do not run, Run raises kova 4 where a
// task can carry it, and destruction takes down what was brought up without crash or leak.
class VProcessFailingStep : public testing::TestWithParam<int32_t>
{
};

TEST_P(VProcessFailingStep, EndsStartUpThereAndShutsDownCleanly)
{
    const int32_t step = GetParam();
    RunInFreshProcess(
        [step]
        {
            VProcess::_SetFailingInitStepForTesting(step);
            VRecordingProcess* process = new VRecordingProcess;
            EXPECT_FALSE(process->Init(VProcess::kInitLogger));
            EXPECT_FALSE(process->Init(VProcess::kInitLogger));
            // The instance from the second step on, whatever failed.
            EXPECT_EQ(VProcess::sInstance, process);
            EXPECT_EQ(VTaskMgr::IsInited(), step > 8);
            EXPECT_EQ(process->GetIntlMgr() != nullptr, step > 5);
            EXPECT_EQ(VFileKindManager::Get() != nullptr, step > 6);
            EXPECT_EQ(VProgressManager::sProgressManager != nullptr, step > 9);
            EXPECT_EQ(process->GetClassStore() != nullptr, step > 11);
            EXPECT_EQ(process->GetLogger(), nullptr);

            if (VTaskMgr::IsInited())
            {
                StErrorContextInstaller errors(false, true);
                process->Run();
                ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
                const VErrorBase* error = errors.GetContext()->GetNthError(1);
                EXPECT_EQ(error->GetError(), VE_CANNOT_INITIALIZE_APPLICATION);
                VString reason;
                EXPECT_TRUE(ErrorBagKeys::p1.Get(*error->GetBag(), reason));
                EXPECT_EQ(to_string(reason), "VApplication::DoInit failed");
            }
            else
            {
                process->Run();
            }
            EXPECT_TRUE(process->fSteps.empty());

            delete process;
            EXPECT_EQ(VProcess::sInstance, nullptr);
            EXPECT_FALSE(VTaskMgr::IsInited());
            EXPECT_EQ(VFileKindManager::Get(), nullptr);
            EXPECT_EQ(VProgressManager::sProgressManager, nullptr);
            VProcess::_SetFailingInitStepForTesting(0);
        });
}

INSTANTIATE_TEST_SUITE_P(EachStep, VProcessFailingStep, testing::Values(1, 5, 6, 7, 8, 9, 10, 11, 12));
