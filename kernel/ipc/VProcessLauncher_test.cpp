#include "kernel/ipc/VProcessLauncher.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "platform/mac/ipc/XPosixProcessLauncher.h"
#include "testing/FailingAllocations.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

VString Text(const std::string& inUTF8)
{
    VString text;
    text.FromCString(inUTF8.c_str());
    return text;
}

std::string Bytes(const VMemoryBuffer<>& inBuffer)
{
    return std::string(static_cast<const char*>(inBuffer.GetDataPtr()), inBuffer.GetDataSize());
}

size_t CountDescriptors()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The children of every thread of the process, zombies included.
std::string Children()
{
    std::string children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    {
        std::ifstream file(task.path() / "children");
        std::string line;
        std::getline(file, line);
        children += line;
    }
    return children;
}

// Waits a bounded time, in short steps, for a condition that another process or thread makes true.
template <class Condition>
bool WaitUntil(Condition inCondition, std::chrono::milliseconds inLimit = std::chrono::seconds(20))
{
    const auto limit = std::chrono::steady_clock::now() + inLimit;
    while (!inCondition())
    {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The state letter of a process in /proc; 0 when it is gone.
char ProcessState(pid_t inPid)
{
    std::ifstream file("/proc/" + std::to_string(inPid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    const size_t end = stat.rfind(')');
    return end == std::string::npos || end + 2 >= stat.size() ? 0 : stat[end + 2];
}

bool IsGone(pid_t inPid)
{
    const char state = ProcessState(inPid);
    return state == 0 || state == 'Z' || state == 'X';
}

// Waits for the child to end, leaving it to be reaped.
void WaitForEndUnreaped(pid_t inPid)
{
    siginfo_t information = {};
    while (waitid(P_PID, id_t(inPid), &information, WEXITED | WNOWAIT) != 0 && errno == EINTR)
    {
    }
}

// Holds the launcher's kill timer handler at one of its steps until the test lets it go, and
// tells when the handler is over. What the handler shares with the test outlives both.
class StKillTimerGate
{
public:
    StKillTimerGate(VProcessLauncher& ioLauncher, int32_t inHeldStep) : fState(std::make_shared<State>())
    {
        ioLauncher._SetKillTimerHookForTesting(
            [state = fState, inHeldStep](int32_t inStep)
            {
                std::unique_lock<std::mutex> lock(state->fMutex);
                state->fHeld = state->fHeld || inStep == inHeldStep;
                state->fDone = state->fDone || inStep == VProcessLauncher::kKillTimerDone;
                state->fChanged.notify_all();
                if (inStep == inHeldStep)
                    state->fChanged.wait(lock, [&] { return state->fReleased; });
            });
    }
    ~StKillTimerGate() { Release(); }
    StKillTimerGate(const StKillTimerGate&) = delete;
    StKillTimerGate& operator=(const StKillTimerGate&) = delete;

    bool WaitUntilHeld() { return _WaitFor(&State::fHeld); }
    void Release()
    {
        std::lock_guard<std::mutex> lock(fState->fMutex);
        fState->fReleased = true;
        fState->fChanged.notify_all();
    }
    bool WaitUntilDone() { return _WaitFor(&State::fDone); }

private:
    struct State
    {
        std::mutex fMutex;
        std::condition_variable fChanged;
        bool fHeld = false;
        bool fReleased = false;
        bool fDone = false;
    };

    // A generous limit: the handler gets there unless it is broken.
    bool _WaitFor(bool State::*inFlag)
    {
        std::unique_lock<std::mutex> lock(fState->fMutex);
        return fState->fChanged.wait_for(lock, std::chrono::seconds(20), [&] { return (*fState).*inFlag; });
    }

    std::shared_ptr<State> fState;
};

// Every test leaves no descriptor open and no child behind.
class VProcessLauncherTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The work queues' own descriptors, made at first use, are there before any count.
        VProcessLauncher launcher;
        launcher.CreateArgumentsFromFullCommandLine(VString("/bin/sh -c true"));
        if (launcher.Start() == 0)
            launcher.ReadFromChildAndShutdown(nullptr, nullptr);
    }

    void SetUp() override
    {
        char pattern[] = "/tmp/kova-launcher-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        fFolder = pattern;
        fDescriptors = CountDescriptors();
    }

    void TearDown() override
    {
        EXPECT_TRUE(WaitUntil([] { return Children().empty(); })) << "children left: " << Children();
        EXPECT_EQ(CountDescriptors(), fDescriptors);
        std::filesystem::remove_all(fFolder);
    }

    // A shell script of the test's own, executable.
    std::string Script(const std::string& inName, const std::string& inBody)
    {
        const std::string path = fFolder + "/" + inName;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << "#!/bin/sh\n" << inBody << "\n";
        chmod(path.c_str(), 0755);
        return path;
    }

    static int32_t ExecuteCommandLine(const std::string& inCommandLine, VMemoryBuffer<>* outOutput,
                                      VMemoryBuffer<>* outError, int32_t* outStatus,
                                      VProcessLauncher::EnvironmentVariables* inEnvironment = nullptr,
                                      VMemoryBuffer<>* inInput = nullptr, int32_t inOptions = 0)
    {
        return VProcessLauncher::ExecuteCommandLine(Text(inCommandLine), inOptions, inInput, outOutput,
                                                    outError, inEnvironment, nullptr, outStatus);
    }

    std::string fFolder;
    size_t fDescriptors = 0;
};

TEST(XPosixProcessLauncher, CommandLinesSplitOnBlanksWithQuotesAndBackslashes)
{
    struct
    {
        const char* fLine;
        std::vector<std::string> fArguments;
    } const cases[] = {
        {"a \"b c\" 'd' e\\ f \"\"", {"a", "b c", "d", "e f", ""}},
        {"open -a \"/Applications/My App.app\" --args \"one two\"",
         {"open", "-a", "/Applications/My App.app", "--args", "one two"}},
        {"", {}},
        {"   ", {}},
        {"\\x y\\\\z", {"\\x", "y\\z"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"'it\\'s' \"a\\\"b\" \"c\\\\d\"", {"it's", "a\"b", "c\\d"}},
        {"a\"b'c d", {"a\"b'c", "d"}},
        {"tab\there  x", {"tab\there", "x"}},
        // A backslash that ends the text ends its argument and stays in it.
        {"a\\", {"a\\"}},
        {"\"a\\", {"a\\"}},
        {"\\", {"\\"}},
        {"caf\xC3\xA9 \"\xE2\x82\xAC 1\"", {"caf\xC3\xA9", "\xE2\x82\xAC 1"}},
    };
    for (const auto& test : cases)
    {
        std::vector<VString> arguments{VString("stale")};
        EXPECT_EQ(XPosixProcessLauncher::_AnalyzeCommandLine(Text(test.fLine), arguments),
                  int32_t(test.fArguments.size()))
            << test.fLine;
        std::vector<std::string> texts;
        for (const VString& argument : arguments)
            texts.push_back(to_string(argument));
        EXPECT_EQ(texts, test.fArguments) << test.fLine;
    }
}

TEST(XPosixProcessLauncher, TheFirstArgumentIsTheProgram)
{
    XPosixProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/echo \"a b\""));
    ASSERT_NE(launcher.GetBinaryPath(), nullptr);
    EXPECT_STREQ(launcher.GetBinaryPath(), "/bin/echo");
    ASSERT_EQ(launcher.GetArguments().size(), 2u);
    launcher.SetBinaryPath(Text("/bin/true"));
    EXPECT_EQ(to_string(launcher.GetArguments()[0]), "/bin/true");
    launcher.AddArgument(VString());
    EXPECT_EQ(launcher.GetArguments().size(), 2u);
    launcher.CreateArgumentsFromFullCommandLine(VString());
    EXPECT_EQ(launcher.GetBinaryPath(), nullptr);
    EXPECT_TRUE(launcher.GetArguments().empty());
    EXPECT_EQ(launcher.Start(), ENOENT);
}

TEST_F(VProcessLauncherTest, ExitCodesOutputsAndSignals)
{
    struct
    {
        const char* fCommand;
        const char* fOutput;
        const char* fError;
        int32_t fStatus;
    } const cases[] = {
        {"/bin/sh -c true", "", "", 0},
        {"/bin/sh -c \"printf out; printf err >&2; exit 3\"", "out", "err", 3},
        {"/bin/sh -c 'kill -9 $$'", "", "", -127},
        {"/bin/sh -c 'kill -TERM $$'", "", "", -127},
        {"/bin/echo \"two words\" 'and \\'quotes\\''", "two words and 'quotes'\n", "", 0},
    };
    for (const auto& test : cases)
    {
        VMemoryBuffer<> output;
        VMemoryBuffer<> error;
        int32_t status = 99;
        EXPECT_EQ(ExecuteCommandLine(test.fCommand, &output, &error, &status), 0) << test.fCommand;
        EXPECT_EQ(Bytes(output), test.fOutput) << test.fCommand;
        EXPECT_EQ(Bytes(error), test.fError) << test.fCommand;
        EXPECT_EQ(status, test.fStatus) << test.fCommand;
    }
}

TEST_F(VProcessLauncherTest, MegabytesBothWaysNeverDeadlock)
{
    // The child writes megabytes on both streams before it reads a byte of its input.
    const std::string script = Script("both", "head -c 3000000 /dev/zero | tr '\\0' a\n"
                                              "head -c 2000000 /dev/zero | tr '\\0' b >&2\n"
                                              "cat\n"
                                              "exit 7");
    VMemoryBuffer<> input;
    const std::string sent(4000000, 'i');
    ASSERT_TRUE(input._EnlargeAmortized(sent.size()));
    std::memcpy(input.GetDataPtr(), sent.data(), sent.size());
    input.SetDataSize(sent.size());
    VMemoryBuffer<> output;
    VMemoryBuffer<> error;
    int32_t status = 0;
    EXPECT_EQ(ExecuteCommandLine(script, &output, &error, &status, nullptr, &input), 0);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(output.GetDataSize(), 3000000 + sent.size());
    EXPECT_TRUE(Bytes(output) == std::string(3000000, 'a') + sent);
    EXPECT_TRUE(Bytes(error) == std::string(2000000, 'b'));

    // Streams nobody keeps are read all the same, or the child would never end.
    EXPECT_EQ(ExecuteCommandLine(script, nullptr, nullptr, &status, nullptr, &input), 0);
    EXPECT_EQ(status, 7);
}

TEST_F(VProcessLauncherTest, AChildThatStopsReadingGivesMinusOneNotASignal)
{
    sigset_t pending;
    VProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'exit 4'"));
    ASSERT_EQ(launcher.Start(), 0);
    const std::string data(8000000, 'x');
    EXPECT_EQ(launcher.WriteToChild(data.data(), uint32_t(data.size()), true), -1);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    EXPECT_EQ(launcher.WriteToChild(data.data(), 10, false), -1);
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
    EXPECT_EQ(launcher.GetExitStatus(), 4);

    VMemoryBuffer<> input;
    ASSERT_TRUE(input._EnlargeAmortized(data.size()));
    input.SetDataSize(data.size());
    int32_t status = 0;
    EXPECT_EQ(ExecuteCommandLine("/bin/sh -c 'exit 5'", nullptr, nullptr, &status, nullptr, &input), 0);
    EXPECT_EQ(status, 5);
}

TEST_F(VProcessLauncherTest, EnvironmentIsTheOneGivenOrTheParents)
{
    setenv("KOVA_LAUNCHER_MARK", "parent", 1);
    VProcessLauncher::EnvironmentVariables one{{VString("A"), VString("1")}};
    VMemoryBuffer<> output;
    int32_t status = -1;
    // "env" is found through the parent's PATH, the environment given having none.
    EXPECT_EQ(ExecuteCommandLine("env", &output, nullptr, &status, &one), 0);
    EXPECT_EQ(Bytes(output), "A=1\n");

    VProcessLauncher::EnvironmentVariables none;
    VMemoryBuffer<> all;
    EXPECT_EQ(ExecuteCommandLine("/usr/bin/env", &all, nullptr, &status, &none), 0);
    EXPECT_NE(Bytes(all).find("KOVA_LAUNCHER_MARK=parent\n"), std::string::npos);
    unsetenv("KOVA_LAUNCHER_MARK");

    VProcessLauncher launcher;
    launcher.SetBinaryPath(Text("/usr/bin/env"));
    launcher.SetEnvironmentVariable(VString("BAD=NAME"), VString("x"));
    EXPECT_EQ(launcher.Start(), EINVAL);
    launcher.SetEnvironmentVariables({{VString("V"), Text("\xC3\xA9")}});
    launcher.SetEnvironmentVariable(VString(), VString("ignored"));
    EXPECT_EQ(launcher.Start(), 0);
    char block[64] = {};
    while (launcher.WaitForData() != 4 && launcher.ReadFromChild(block, sizeof block) == 0)
    {
    }
    EXPECT_STREQ(block, "V=\xC3\xA9\n");
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
}

TEST_F(VProcessLauncherTest, BareNamesComeFromTheCurrentFolderThenFromPATH)
{
    Script("bin/open", "printf '%s|' \"$@\"");
    Script("other/tool", "printf path");
    Script("here/tool", "printf here");
    VProcessLauncher::EnvironmentVariables path{
        {VString("PATH"), Text(fFolder + "/bin:" + fFolder + "/other")}};
    VMemoryBuffer<> output;
    int32_t status = -1;
    EXPECT_EQ(ExecuteCommandLine("open -a \"/Apps/My App.app\" --args \"one two\"", &output, nullptr, &status,
                                 &path),
              0);
    EXPECT_EQ(Bytes(output), "-a|/Apps/My App.app|--args|one two|");

    // The restart's road: no environment given, the parent's PATH finds the fake "open".
    const std::string saved = std::getenv("PATH");
    setenv("PATH", (fFolder + "/bin:" + saved).c_str(), 1);
    VMemoryBuffer<> restarted;
    const int32_t result =
        VProcessLauncher::ExecuteCommandLine(Text("open -a \"/Apps/Q.app\""), 0, nullptr, &restarted, nullptr,
                                             nullptr, nullptr, &status, nullptr, nullptr, true, false);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Bytes(restarted), "-a|/Apps/Q.app|");

    // A regular file of that name in the current folder comes first.
    char current[4096];
    ASSERT_NE(getcwd(current, sizeof current), nullptr);
    ASSERT_EQ(chdir((fFolder + "/here").c_str()), 0);
    VMemoryBuffer<> local;
    EXPECT_EQ(ExecuteCommandLine("tool", &local, nullptr, &status, &path), 0);
    ASSERT_EQ(chdir(current), 0);
    EXPECT_EQ(Bytes(local), "here");

    EXPECT_EQ(ExecuteCommandLine("no-such-program-anywhere", nullptr, nullptr, &status, &path), ENOENT);
}

TEST_F(VProcessLauncherTest, WorkingFolderAndNonASCIIPaths)
{
    const std::string script = Script("App\xC3\xA9 \xE2\x82\xAC/run", "pwd; printf '%s' \"$1\"");
    VFilePath folder(Text(fFolder + "/App\xC3\xA9 \xE2\x82\xAC/"), FPS_POSIX);
    VMemoryBuffer<> output;
    int32_t status = -1;
    EXPECT_EQ(VProcessLauncher::ExecuteCommandLine(Text("\"" + script + "\" \xC3\xBC"), 0, nullptr, &output,
                                                   nullptr, nullptr, &folder, &status),
              0);
    EXPECT_EQ(Bytes(output),
              std::filesystem::canonical(fFolder).string() + "/App\xC3\xA9 \xE2\x82\xAC\n\xC3\xBC");

    // A text with a zero unit reaches no system call.
    VProcessLauncher launcher;
    launcher.SetBinaryPath(Text("/bin/echo"));
    VString zero(u"a");
    zero.AppendUniChar(0);
    launcher.AddArgument(zero, false);
    EXPECT_EQ(launcher.Start(), EINVAL);
    launcher.SetBinaryPath(zero);
    EXPECT_EQ(launcher.Start(), EINVAL);
}

TEST_F(VProcessLauncherTest, OneChildAtATimeAndStartAgainAfterIt)
{
    VProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'read line; exit 2'"));
    ASSERT_EQ(launcher.Start(), 0);
    const int32_t first = launcher.GetPid();
    EXPECT_GT(first, 0);
    EXPECT_TRUE(launcher.IsRunning());
    EXPECT_EQ(launcher.Start(), EBUSY);
    EXPECT_EQ(launcher.GetPid(), first);
    EXPECT_EQ(launcher.WriteToChild("x\n", 2, true), 2);
    EXPECT_TRUE(WaitUntil([&] { return !launcher.IsRunning(); }));
    EXPECT_EQ(launcher.GetExitStatus(), 2);
    EXPECT_EQ(launcher.GetPid(), 0);
    EXPECT_EQ(launcher.WaitForData(), 4);

    ASSERT_EQ(launcher.Start(), 0);
    EXPECT_EQ(launcher.WriteToChild("x\n", 0, true), 0);
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
    EXPECT_EQ(launcher.GetExitStatus(), 2);
}

TEST_F(VProcessLauncherTest, SynchronousReadsAndWaits)
{
    VProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(
        Text("/bin/sh -c 'printf x; read line; printf y >&2; exit 1'"));
    ASSERT_EQ(launcher.Start(), 0);
    char block[16];
    EXPECT_EQ(launcher.ReadFromChild(nullptr, 16), -1);
    EXPECT_EQ(launcher.ReadFromChild(block, 0), -1);
    EXPECT_EQ(launcher.WaitForData() & 1, 1);
    EXPECT_EQ(launcher.ReadFromChild(block, sizeof block), 1);
    EXPECT_EQ(block[0], 'x');
    EXPECT_EQ(launcher.ReadFromChild(block, sizeof block), 0);
    launcher.CloseStandardInput();
    EXPECT_EQ(launcher.WaitForData() & 2, 2);
    EXPECT_EQ(launcher.ReadErrorFromChild(block, sizeof block), 1);
    EXPECT_EQ(block[0], 'y');
    while (launcher.ReadFromChild(block, sizeof block) != -1 ||
           launcher.ReadErrorFromChild(block, sizeof block) != -1)
        launcher.WaitForData();
    // Both streams closed: the wait is for the child's end.
    EXPECT_EQ(launcher.WaitForData(), 4);
    EXPECT_FALSE(launcher.IsRunning());
    EXPECT_EQ(launcher.GetExitStatus(), 1);
}

TEST_F(VProcessLauncherTest, AsynchronousReadsThenShutdown)
{
    const std::string script =
        Script("async", "head -c 1500000 /dev/zero | tr '\\0' o; printf eee >&2; exit 6");
    VProcessLauncher launcher;
    launcher.SetBinaryPath(Text(script));
    ASSERT_EQ(launcher.Start(), 0);
    std::mutex lock;
    std::string output;
    std::string error;
    EXPECT_EQ(launcher.ReadFromChildAndShutdown(
                  [&](const void* inData, size_t inSize)
                  {
                      std::lock_guard<std::mutex> guard(lock);
                      output.append(static_cast<const char*>(inData), inSize);
                  },
                  [&](const void* inData, size_t inSize)
                  {
                      std::lock_guard<std::mutex> guard(lock);
                      error.append(static_cast<const char*>(inData), inSize);
                  }),
              0);
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(output.size(), 1500000u);
    EXPECT_TRUE(output == std::string(1500000, 'o'));
    EXPECT_EQ(error, "eee");
    EXPECT_EQ(launcher.GetExitStatus(), 6);
    EXPECT_FALSE(launcher.IsRunning());
}

TEST_F(VProcessLauncherTest, AStoppedChildStillRuns)
{
    VProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'kill -STOP $$; exit 5'"));
    ASSERT_EQ(launcher.Start(), 0);
    const pid_t child = launcher.GetPid();
    ASSERT_TRUE(WaitUntil([&] { return ProcessState(child) == 'T'; }));
    EXPECT_TRUE(launcher.IsRunning());
    EXPECT_EQ(launcher.GetPid(), child);
    kill(child, SIGCONT);
    EXPECT_TRUE(WaitUntil([&] { return !launcher.IsRunning(); }));
    EXPECT_EQ(launcher.GetExitStatus(), 5);
}

TEST_F(VProcessLauncherTest, ForcedShutdownEscalatesToKill)
{
    VProcessLauncher launcher;
    // The steps the child refuses pass at once; the last one never waits for its limit.
    launcher._SetTerminationStepForTesting(1);
    launcher.CreateArgumentsFromFullCommandLine(
        Text("/bin/sh -c \"trap '' TERM QUIT; echo ready; exec sleep 1000\""));
    ASSERT_EQ(launcher.Start(), 0);
    char block[16];
    while (launcher.ReadFromChild(block, sizeof block) == 0)
        launcher.WaitForData();
    // Forced, it does not wait for the child to end by itself, though the default wait has no end.
    // Refusing TERM and QUIT, the child ends at KILL, reaped before the shutdown returns.
    EXPECT_EQ(launcher.Shutdown(true, false), 0);
    EXPECT_EQ(Children(), "");
    EXPECT_FALSE(launcher.IsRunning());
    EXPECT_EQ(launcher.GetExitStatus(), -127);

    // One that goes at SIGTERM goes at once.
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'read line'"));
    ASSERT_EQ(launcher.Start(), 0);
    EXPECT_EQ(launcher.Shutdown(true, false), 0);
    EXPECT_EQ(Children(), "");
    EXPECT_EQ(launcher.GetExitStatus(), -127);
}

TEST_F(VProcessLauncherTest, KillTimerEndsTheGroupAndShutdownRaisesError8)
{
    const std::string pidFile = fFolder + "/grandchild";
    VProcessLauncher launcher;
    // The timer fires at once; its handler waits until the child has made a child of its own.
    launcher.SetWaitClosingChildProcess(1);
    StKillTimerGate gate(launcher, VProcessLauncher::kKillTimerFired);
    launcher.CreateArgumentsFromFullCommandLine(
        Text("/bin/sh -c 'sleep 30 >/dev/null 2>&1 & echo $! > " + pidFile + "; echo ready; read line'"));
    ASSERT_EQ(launcher.Start(), 0);
    char block[16];
    while (launcher.ReadFromChild(block, sizeof block) == 0)
        launcher.WaitForData();
    pid_t grandchild = 0;
    std::ifstream(pidFile) >> grandchild;
    ASSERT_GT(grandchild, 0);
    gate.Release();
    StErrorContextInstaller errors(false);
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
    EXPECT_EQ(errors.GetLastError(), VE_CHILD_PROCESS_TIMED_OUT);
    EXPECT_EQ(launcher.GetExitStatus(), -127);
    EXPECT_TRUE(WaitUntil([&] { return IsGone(grandchild); }));
    // Raised once.
    StErrorContextInstaller again(false);
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
    EXPECT_EQ(again.GetLastError(), VE_OK);

    // A child that ends long before its timer is reaped; nothing is raised.
    StErrorContextInstaller quiet(false);
    VProcessLauncher quick;
    quick.SetWaitClosingChildProcess(600000);
    quick.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'exit 3'"));
    ASSERT_EQ(quick.Start(), 0);
    EXPECT_EQ(quick.Shutdown(false, false), 0);
    EXPECT_EQ(quick.GetExitStatus(), 3);
    EXPECT_EQ(quiet.GetLastError(), VE_OK);
}

// The kill timer's handler may run late, when the child has ended by itself: the child is not
// reported killed, and the group of a child found ended is not signalled.
TEST_F(VProcessLauncherTest, AKillTimerLateForAChildThatEndedByItselfReportsNothing)
{
    struct
    {
        const char* fName;
        int32_t fHeldStep;
        bool fReapedFirst;
        bool fGroupSpared;
    } const cases[] = {
        {"fired once the child ended, before the reap", VProcessLauncher::kKillTimerFired, false, true},
        {"found it running, then it ended before the kill", VProcessLauncher::kKillTimerKilling, false,
         false},
        {"fired once the child was reaped", VProcessLauncher::kKillTimerFired, true, true},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.fName);
        // The child leaves a child of its own in its group, which answers once the gate opens.
        const std::string name = fFolder + "/late" + std::to_string(&test - cases);
        ASSERT_EQ(mkfifo((name + ".gate").c_str(), 0600), 0);
        StErrorContextInstaller errors(false);
        VProcessLauncher launcher;
        launcher.SetWaitClosingChildProcess(1);
        StKillTimerGate gate(launcher, test.fHeldStep);
        launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c '(read go < " + name +
                                                         ".gate; echo alive > " + name +
                                                         ".answer) >/dev/null 2>&1 & read line; exit 3'"));
        ASSERT_EQ(launcher.Start(), 0);
        const pid_t child = launcher.GetPid();
        ASSERT_TRUE(gate.WaitUntilHeld());
        EXPECT_EQ(launcher.WriteToChild("\n", 1, true), 1);
        WaitForEndUnreaped(child);
        if (test.fReapedFirst)
        {
            EXPECT_EQ(launcher.Shutdown(false, false), 0);
        }
        gate.Release();
        ASSERT_TRUE(gate.WaitUntilDone());
        EXPECT_EQ(launcher.Shutdown(false, false), 0);
        EXPECT_EQ(launcher.GetExitStatus(), 3);
        EXPECT_EQ(errors.GetLastError(), VE_OK);

        // Held open until answered: a fifo keeps nothing once nobody has it open.
        const int opened = open((name + ".gate").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(opened, 0);
        EXPECT_EQ(write(opened, "go\n", 3), 3);
        if (test.fGroupSpared)
        {
            std::string answer;
            EXPECT_TRUE(WaitUntil(
                [&] { return std::getline(std::ifstream(name + ".answer"), answer) && answer == "alive"; }));
        }
        close(opened);
    }
}

TEST_F(VProcessLauncherTest, ProcessTreeKillEndsWhatTheChildLeft)
{
    for (bool killTree : {true, false})
    {
        const std::string pidFile = fFolder + "/tree" + std::to_string(killTree);
        int32_t status = -1;
        EXPECT_EQ(VProcessLauncher::ExecuteCommandLine(
                      Text("/bin/sh -c 'sleep 30 >/dev/null 2>&1 & echo $! > " + pidFile + "'"), 0, nullptr,
                      nullptr, nullptr, nullptr, nullptr, &status, nullptr, nullptr, true, killTree),
                  0);
        pid_t grandchild = 0;
        std::ifstream(pidFile) >> grandchild;
        ASSERT_GT(grandchild, 0);
        if (killTree)
        {
            EXPECT_TRUE(WaitUntil([&] { return IsGone(grandchild); }));
        }
        else
        {
            EXPECT_FALSE(IsGone(grandchild));
            kill(grandchild, SIGKILL);
        }
    }
}

TEST_F(VProcessLauncherTest, WithoutWaitingTheWatchedSetReapsTheChild)
{
    const std::string fifo = fFolder + "/gate";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const size_t watched = XPosixProcessLauncher::_CountWatchedForTesting();
    int32_t status = 99;
    EXPECT_EQ(ExecuteCommandLine("/bin/sh -c 'cat " + fifo + " >/dev/null'", nullptr, nullptr, &status,
                                 nullptr, nullptr, VProcessLauncher::kDoNotWait),
              0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(XPosixProcessLauncher::_CountWatchedForTesting(), watched + 1);
    EXPECT_FALSE(Children().empty());
    // Opening the gate lets the child end; the watch reaps it.
    std::ofstream(fifo) << "go";
    EXPECT_TRUE(WaitUntil([&] { return XPosixProcessLauncher::_CountWatchedForTesting() == watched; }));
}

TEST_F(VProcessLauncherTest, TheDestructorReapsAndAHandedOutLauncherIsTheCallers)
{
    VProcessLauncher* handed = nullptr;
    int32_t status = -1;
    EXPECT_EQ(VProcessLauncher::ExecuteCommandLine(Text("/bin/sh -c 'exit 9'"), 0, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, &status, &handed),
              0);
    ASSERT_NE(handed, nullptr);
    EXPECT_GT(handed->GetPid(), 0);
    delete handed;

    auto* launcher = new VProcessLauncher;
    launcher->CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'exit 0'"));
    ASSERT_EQ(launcher->Start(), 0);
    delete launcher;
}

TEST_F(VProcessLauncherTest, KillProcessRefusesNoProcess)
{
    EXPECT_FALSE(VProcessLauncher::KillProcess(0));
    EXPECT_FALSE(VProcessLauncher::KillProcess(-1));
    VProcessLauncher launcher;
    launcher.CreateArgumentsFromFullCommandLine(Text("/bin/sh -c 'read line'"));
    ASSERT_EQ(launcher.Start(), 0);
    EXPECT_TRUE(VProcessLauncher::KillProcess(launcher.GetPid()));
    EXPECT_EQ(launcher.Shutdown(false, false), 0);
    EXPECT_EQ(launcher.GetExitStatus(), -127);
}

TEST_F(VProcessLauncherTest, OutputThatCannotBeKeptIsReported)
{
    // A manager with little room: the output buffer cannot hold the child's megabytes.
    testing_support::ManagerPtr small = testing_support::MakePooled(testing_support::kTenMiB);
    VMemoryBuffer<> output(small.get());
    VMemoryBuffer<> error;
    int32_t status = -1;
    EXPECT_EQ(ExecuteCommandLine("/bin/sh -c 'head -c 12000000 /dev/zero; printf e >&2; exit 1'", &output,
                                 &error, &status),
              ENOMEM);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Bytes(error), "e");
    // What was kept is a beginning of the output, without holes.
    EXPECT_LT(output.GetDataSize(), size_t(12000000));
    EXPECT_TRUE(Bytes(output) == std::string(output.GetDataSize(), '\0'));
}

// A launcher whose platform half could not be made.
TEST(VProcessLauncherWithoutMemory, EveryOperationFailsWithTheMemoryError)
{
    if (!testing_support::kAllocationsCanFail)
        GTEST_SKIP() << "allocations cannot be made to fail in this build";
    std::unique_ptr<VProcessLauncher> launcher;
    {
        testing_support::StFailAllocations failing;
        launcher = std::make_unique<VProcessLauncher>();
    }
    ASSERT_EQ(launcher->GetImpl(), nullptr);

    const VProcessLauncher::EnvironmentVariables environment{{Text("A"), Text("1")}};
    char buffer[8];
    struct Case
    {
        const char* fName;
        std::function<int32_t(VProcessLauncher&)> fCall;
        int32_t fResult;
    };
    // The operations without a result answer 0 here.
    const Case cases[] = {
        {"SetBinaryPath", [](VProcessLauncher& l) { return l.SetBinaryPath(Text("/bin/true")), 0; }, 0},
        {"CreateArguments",
         [](VProcessLauncher& l) { return l.CreateArgumentsFromFullCommandLine(Text("a b")), 0; }, 0},
        {"AddArgument", [](VProcessLauncher& l) { return l.AddArgument(Text("a"), false), 0; }, 0},
        {"AddQuotedArgument", [](VProcessLauncher& l) { return l.AddArgument(Text("a"), true), 0; }, 0},
        {"ClearArguments", [](VProcessLauncher& l) { return l.ClearArguments(), 0; }, 0},
        {"SetEnvironmentVariable",
         [](VProcessLauncher& l) { return l.SetEnvironmentVariable(Text("A"), Text("1")), 0; }, 0},
        {"SetEnvironmentVariables",
         [&](VProcessLauncher& l) { return l.SetEnvironmentVariables(environment), 0; }, 0},
        {"SetDefaultDirectory", [](VProcessLauncher& l) { return l.SetDefaultDirectory(VFilePath()), 0; }, 0},
        {"SetWaitClosingChildProcess",
         [](VProcessLauncher& l) { return l.SetWaitClosingChildProcess(10), 0; }, 0},
        {"SetRedirectStandardInput", [](VProcessLauncher& l) { return l.SetRedirectStandardInput(true), 0; },
         0},
        {"SetRedirectStandardOutput",
         [](VProcessLauncher& l) { return l.SetRedirectStandardOutput(true), 0; }, 0},
        {"SetQuoteArgumentsIfNeeded",
         [](VProcessLauncher& l) { return l.SetQuoteArgumentsIfNeeded(true), 0; }, 0},
        {"EnableProcessTreeKill", [](VProcessLauncher& l) { return l.EnableProcessTreeKill(), 0; }, 0},
        {"_SetTerminationStep", [](VProcessLauncher& l) { return l._SetTerminationStepForTesting(10), 0; },
         0},
        {"_SetKillTimerHook", [](VProcessLauncher& l) { return l._SetKillTimerHookForTesting(nullptr), 0; },
         0},
        {"Start", [](VProcessLauncher& l) { return l.Start(); }, ENOMEM},
        {"StartWithEnvironment", [&](VProcessLauncher& l) { return l.Start(environment); }, ENOMEM},
        {"IsRunning", [](VProcessLauncher& l) { return int32_t(l.IsRunning()); }, 0},
        {"GetPid", [](VProcessLauncher& l) { return l.GetPid(); }, 0},
        {"GetExitStatus", [](VProcessLauncher& l) { return l.GetExitStatus(); }, 0},
        {"WriteToChild", [](VProcessLauncher& l) { return l.WriteToChild("x", 1, true); }, -1},
        {"CloseStandardInput", [](VProcessLauncher& l) { return l.CloseStandardInput(), 0; }, 0},
        {"ReadFromChild", [&](VProcessLauncher& l) { return l.ReadFromChild(buffer, sizeof buffer); }, -1},
        {"ReadErrorFromChild",
         [&](VProcessLauncher& l) { return l.ReadErrorFromChild(buffer, sizeof buffer); }, -1},
        // No child: what the wait would see is its end.
        {"WaitForData", [](VProcessLauncher& l) { return l.WaitForData(); }, 4},
        {"ReadFromChildAndShutdown",
         [](VProcessLauncher& l) { return l.ReadFromChildAndShutdown(nullptr, nullptr); }, -1},
        {"Shutdown", [](VProcessLauncher& l) { return l.Shutdown(true, true); }, -1},
    };
    for (const Case& c : cases)
    {
        StErrorContextInstaller errors(false);
        EXPECT_EQ(c.fCall(*launcher), c.fResult) << c.fName;
        EXPECT_EQ(errors.GetLastError(), VE_MEMORY_FULL) << c.fName;
    }

    // A whole command line fails the same way, and its child never starts.
    const VString commandLine = Text("/bin/sh -c 'exit 3'");
    StErrorContextInstaller errors(false);
    int32_t status = 99;
    int32_t result;
    {
        testing_support::StFailAllocations failing;
        result = VProcessLauncher::ExecuteCommandLine(commandLine, 0, nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, &status);
    }
    EXPECT_EQ(result, ENOMEM);
    EXPECT_EQ(status, 99);
    EXPECT_EQ(errors.GetLastError(), VE_MEMORY_FULL);
}

} // namespace
} // namespace kova
