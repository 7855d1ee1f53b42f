#include "kernel/ipc/VProcessIPC.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFileSystemNotifier.h"
#include "kernel/files/VFolder.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VSleepNotifier.h"
#include "kernel/text/StStringConverter.h"
#include "platform/mac/ipc/XPosixProcessIPC.h"
#include "testing/KovaTestMain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <future>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kova;
using kova::testing_support::RunInFreshProcess;

namespace
{

// A command-line process whose parsing is the test's; it records the arguments it was given.
class VTestTool : public VProcessIPC
{
public:
    int32_t DoParseCommandLine(VCommandLineParser& ioParser) override
    {
        ++fParseCalls;
        for (const VString& argument : ioParser.GetOptionsInfos().GetArguments())
            fArguments.push_back(to_string(argument));
        return fParse ? fParse(ioParser) : fResult;
    }

    void DoRun() override
    {
        if (fOnRun)
            fOnRun();
        VProcessIPC::DoRun();
    }

    int32_t fResult = 0;
    std::function<void()> fOnRun;
    std::function<int32_t(VCommandLineParser&)> fParse;
    int32_t fParseCalls = 0;
    std::vector<std::string> fArguments;
};

// The process's argument vector for one scope.
class StCommandLine
{
public:
    explicit StCommandLine(std::vector<std::string> inArguments) : fTexts(std::move(inArguments))
    {
        for (std::string& text : fTexts)
            fPointers.push_back(text.data());
        fPointers.push_back(nullptr);
        sProcessCommandLineArgc = int(fTexts.size());
        sProcessCommandLineArgv = fPointers.data();
    }
    ~StCommandLine()
    {
        sProcessCommandLineArgc = 0;
        sProcessCommandLineArgv = nullptr;
    }
    StCommandLine(const StCommandLine&) = delete;
    StCommandLine& operator=(const StCommandLine&) = delete;

private:
    std::vector<std::string> fTexts;
    std::vector<char*> fPointers;
};

// Standard output on a memory file of its own from here on; what it holds is read back.
class StOutputFile
{
public:
    StOutputFile() : fFile(memfd_create("output", MFD_CLOEXEC)) { dup2(fFile, STDOUT_FILENO); }
    ~StOutputFile() { close(fFile); }
    StOutputFile(const StOutputFile&) = delete;
    StOutputFile& operator=(const StOutputFile&) = delete;

    std::string Text() const
    {
        std::string text;
        char block[256];
        ssize_t count;
        for (off_t at = 0; (count = pread(fFile, block, sizeof block, at)) > 0; at += count)
            text.append(block, size_t(count));
        return text;
    }

private:
    int fFile;
};

// Runs the process while another thread does the action, once the message loop starts; should
// nothing end the run, a watchdog ends it, late. Whether the run ended without the watchdog.
bool RunWhile(VTestTool& ioProcess, const std::function<void()>& inAction)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    const auto start = [&]
    {
        std::lock_guard<std::mutex> lock(mutex);
        started = true;
        changed.notify_all();
    };
    ioProcess.fOnRun = start;
    // The two helpers take none of the signals the process handles, so that a signal sent to the
    // process reaches one of its own threads. Under ThreadSanitizer a signal that lands on a
    // helper about to wait in the C++ library's raw futex call is held until that wait ends.
    sigset_t handled;
    sigemptyset(&handled);
    for (int signalNumber : {SIGINT, SIGTERM, SIGQUIT})
        sigaddset(&handled, signalNumber);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &handled, &before);
    std::thread actor(
        [&]
        {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return started; });
            }
            inAction();
        });
    std::promise<void> ran;
    std::atomic<bool> watchdogQuit{false};
    std::thread watchdog(
        [&ioProcess, &watchdogQuit, done = ran.get_future()]
        {
            if (done.wait_for(std::chrono::milliseconds(kHungTestMilliseconds)) != std::future_status::ready)
            {
                watchdogQuit = true;
                ioProcess.QuitAsynchronously(nullptr);
            }
        });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ioProcess.Run();
    ioProcess.fOnRun = nullptr;
    // A run that never reached its loop still lets the action go.
    start();
    ran.set_value();
    actor.join();
    watchdog.join();
    return !watchdogQuit;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Start-up

struct ParseCase
{
    int32_t fResult;
    bool fInit;
    int32_t fExitValue;
};

class VProcessIPCParseResult : public testing::TestWithParam<ParseCase>
{
};

TEST_P(VProcessIPCParseResult, GivesTheExitValueAndOnlyGoingOnMakesTheNotifiers)
{
    const ParseCase parseCase = GetParam();
    RunInFreshProcess(
        [parseCase]
        {
            StCommandLine commandLine({"tool", "--x"});
            VTestTool tool;
            EXPECT_EQ(VProcessIPC::sInstance, &tool);
            EXPECT_EQ(tool.GetExitValue(), 1);
            tool.fResult = parseCase.fResult;
            EXPECT_EQ(tool.Init(VProcess::kInitFileSystemNotifier), parseCase.fInit);
            EXPECT_EQ(tool.GetExitValue(), parseCase.fExitValue);
            EXPECT_EQ(tool.GetFileSystemNotifier() != nullptr, parseCase.fInit);
            EXPECT_EQ(tool.GetSleepNotifier() != nullptr, parseCase.fInit);
            EXPECT_EQ(VSleepNotifier::Instance(), tool.GetSleepNotifier());
            if (parseCase.fInit)
            {
                EXPECT_EQ(VFileSystemNotifier::Instance(), tool.GetFileSystemNotifier());
            }
            // A second call answers the first result and parses nothing again.
            EXPECT_EQ(tool.Init(VProcess::kInitFileSystemNotifier), parseCase.fInit);
            EXPECT_EQ(tool.fParseCalls, 1);
        });
    EXPECT_EQ(VProcessIPC::sInstance, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Results, VProcessIPCParseResult,
                         testing::Values(ParseCase{0, true, 0}, ParseCase{1, false, 1},
                                         ParseCase{2, false, 0}, ParseCase{-5, false, 1}));

TEST(VProcessIPCStart, TheFinderArgumentNeverReachesTheParserAndArgumentsAreUTF8)
{
    RunInFreshProcess(
        []
        {
            StCommandLine commandLine(
                {"/Apps/Tool", "-psn_0_12345", "--name=d\xC3\xA9j\xC3\xA0", "-psn_", "-ps"});
            VTestTool tool;
            VString name;
            tool.fParse = [&](VCommandLineParser& ioParser)
            {
                ioParser.AddOption(0, VString("name"), VString(), &name);
                ioParser.AddFlag(u's', VString(), VString(), &name);
                ioParser.AddFlag(u'p', VString(), VString(), &name);
                return ioParser.Parse();
            };
            ASSERT_TRUE(tool.Init(0));
            EXPECT_EQ(tool.fArguments,
                      (std::vector<std::string>{"/Apps/Tool", "--name=d\xC3\xA9j\xC3\xA0", "-ps"}));
            // "-ps" set the flags last.
            EXPECT_EQ(to_string(name), "1");
            // Without flag 64 there is no file-system notifier.
            EXPECT_EQ(tool.GetFileSystemNotifier(), nullptr);
            EXPECT_NE(tool.GetSleepNotifier(), nullptr);
        });
}

TEST(VProcessIPCStart, AFailedToolboxStartUpParsesNothingAndExitsWith1)
{
    RunInFreshProcess(
        []
        {
            StCommandLine commandLine({"tool"});
            VProcess::_SetFailingInitStepForTesting(1);
            VTestTool tool;
            EXPECT_FALSE(tool.Init(0));
            VProcess::_SetFailingInitStepForTesting(0);
            EXPECT_EQ(tool.GetExitValue(), 1);
            EXPECT_EQ(tool.fParseCalls, 0);
            EXPECT_EQ(tool.GetSleepNotifier(), nullptr);
        });
}

TEST(VProcessIPCStart, WithoutAnArgumentVectorTheParserGetsNone)
{
    RunInFreshProcess(
        []
        {
            VTestTool tool;
            tool.fParse = [](VCommandLineParser& ioParser) { return ioParser.Parse(); };
            EXPECT_TRUE(tool.Init(0));
            EXPECT_TRUE(tool.fArguments.empty());
            EXPECT_EQ(tool.GetExitValue(), 0);
        });
}

// ---------------------------------------------------------------------------------------------
// Signals

class VProcessIPCSignal : public testing::TestWithParam<int>
{
};

TEST_P(VProcessIPCSignal, EndsTheMessageLoopInOrderAndOnlySIGINTWritesTheLine)
{
    const int signalNumber = GetParam();
    RunInFreshProcess(
        [signalNumber]
        {
            struct sigaction before = {};
            sigaction(signalNumber, nullptr, &before);
            StOutputFile output;
            {
                StCommandLine commandLine({"tool"});
                VTestTool tool;
                ASSERT_TRUE(tool.Init(0));
                EXPECT_TRUE(RunWhile(tool, [signalNumber] { kill(getpid(), signalNumber); }));
                EXPECT_FALSE(tool.IsRunning());
            }
            const std::string text = output.Text();
            if (signalNumber == SIGINT)
            {
                EXPECT_EQ(text, XPosixProcessIPC::kInterruptLine);
            }
            else
            {
                EXPECT_EQ(text, "");
            }
            // The actions from before are back.
            struct sigaction after = {};
            sigaction(signalNumber, nullptr, &after);
            EXPECT_EQ(after.sa_handler, before.sa_handler);
        });
}

INSTANTIATE_TEST_SUITE_P(Each, VProcessIPCSignal, testing::Values(SIGINT, SIGTERM, SIGQUIT));

TEST(VProcessIPCSignals, NoLineGoesToAStandardOutputThatWasReplaced)
{
    RunInFreshProcess(
        []
        {
            StOutputFile first;
            StCommandLine commandLine({"tool"});
            VTestTool tool;
            ASSERT_TRUE(tool.Init(0));
            // The program closed its standard output; the descriptor now names another file.
            StOutputFile second;
            kill(getpid(), SIGINT);
            for (int waited = 0; tool.IsRunning() && waited < kHungTestMilliseconds; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_FALSE(tool.IsRunning());
            EXPECT_EQ(first.Text(), "");
            EXPECT_EQ(second.Text(), "");
        });
}

// ---------------------------------------------------------------------------------------------
// Run

namespace
{

// Quits the process at the first change it is told, keeping the paths.
class VQuitOnChange : public VFileSystemNotifier::IEventHandler
{
public:
    explicit VQuitOnChange(VProcess& ioProcess) : fProcess(ioProcess) {}

    void DoFileSystemEvent(const std::vector<VFilePath>& inPaths, VFileSystemNotifier::EventKind) override
    {
        for (const VFilePath& path : inPaths)
        {
            VString posix;
            path.GetPosixPath(posix);
            fPaths.push_back(to_string(posix));
        }
        fProcess.QuitAsynchronously(nullptr);
    }

    VProcess& fProcess;
    std::vector<std::string> fPaths;
};

} // namespace

TEST(VProcessIPCRun, AChangeInAWatchedFolderReachesItsHandlerThroughTheMessageLoopAlone)
{
    RunInFreshProcess(
        []
        {
            StTemporaryFolder folder;
            ASSERT_TRUE(folder.IsValid());
            StCommandLine commandLine({"tool"});
            VTestTool tool;
            ASSERT_TRUE(tool.Init(VProcess::kInitFileSystemNotifier));
            VQuitOnChange handler(tool);
            VRefPtr<VFolder> watched(new VFolder(folder.Path()));
            ASSERT_EQ(VFileSystemNotifier::Instance()->StartWatchingForChanges(
                          *watched, VFileSystemNotifier::kFileCreated, &handler, 10),
                      VE_OK);
            EXPECT_TRUE(RunWhile(tool, [&folder] { WriteFileBytes(folder.Posix("made"), "m"); }));
            EXPECT_EQ(handler.fPaths, std::vector<std::string>{folder.Posix("made")});
        });
}
