// XPosixProcessLauncher does the work of VProcessLauncher on POSIX systems: it splits command lines,
// finds the program through PATH, starts it with posix_spawn (its own process group, an empty
// signal mask, only descriptors 0, 1 and 2, standard streams on pipes), writes to it and reads from
// it (synchronously on non-blocking pipes, or to their ends on the work queues), reaps it, and
// ends it at shutdown, escalating from SIGTERM to SIGQUIT to SIGKILL when forced.
//
// Every child is reaped: by a poll that finds it gone, by Shutdown, by the destructor, or, when a
// shutdown that does not force leaves it running, by the process-wide watched set, which reaps it
// when it ends. A stopped child still runs. No pid or process group of 0 or less is ever signalled,
// and none of a child already reaped: the kill timer is disarmed when the child is reaped. The
// timer kills only a child that still runs, and reports it killed only when SIGKILL ended it.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/text/VStringLessCompareStrict.h"
#include "kernel/values/VObject.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kova
{

class VFilePath;
class VProcessLauncher;

namespace dispatch
{
struct Channel;
struct Group;
struct Source;
} // namespace dispatch

class XPosixProcessLauncher : public VObject
{
public:
    using EnvironmentVariables = std::map<VString, VString, VStringLessCompareStrict>;
    using DataCallback = std::function<void(const void*, size_t)>;

    XPosixProcessLauncher();
    ~XPosixProcessLauncher() override;
    XPosixProcessLauncher(const XPosixProcessLauncher&) = delete;
    XPosixProcessLauncher& operator=(const XPosixProcessLauncher&) = delete;

    void SetBinaryPath(const VString& inPath);
    void CreateArgumentsFromFullCommandLine(const VString& inCommandLine);
    // An empty argument is dropped.
    void AddArgument(const VString& inArgument);
    void ClearArguments() { fArguments.clear(); }
    void SetEnvironmentVariable(const VString& inName, const VString& inValue);
    void SetEnvironmentVariables(const EnvironmentVariables& inVariables) { fEnvironment = inVariables; }
    void SetDefaultDirectory(const VFilePath& inFolder);
    void SetRedirectStandardInput(bool inRedirect) { fRedirectStandardInput = inRedirect; }
    void SetRedirectStandardOutput(bool inRedirect) { fRedirectStandardOutput = inRedirect; }
    void SetQuoteArgumentsIfNeeded(bool inQuote) { fQuoteArgumentsIfNeeded = inQuote; }

    int32_t Start() { return Start(fEnvironment); }
    int32_t Start(const EnvironmentVariables& inEnvironment);
    bool IsRunning();
    int32_t WriteToChild(const void* inData, uint32_t inLength, bool inCloseAfterWrite);
    void CloseStandardInput();
    int32_t ReadFromChild(char* outBuffer, long inSize);
    int32_t ReadErrorFromChild(char* outBuffer, long inSize);
    int32_t WaitForData();
    int32_t ReadFromChildAndShutdown(DataCallback inOnOutput, DataCallback inOnError);
    int32_t Shutdown(bool inForce, bool inKillProcessTree);
    static bool KillProcess(int32_t inPid);

    // Splits a command line into arguments (see the source); returns their count.
    static int32_t _AnalyzeCommandLine(const VString& inCommandLine, std::vector<VString>& outArguments);
    // The SIGCHLD handler a host may install (the launcher does not): reaps the signalling child
    // when the watched set holds it, then the other watched children that have ended.
    static void _SignalHandler(int inSignal, siginfo_t* inInfo, void* inContext);
    // Blocks (true) or unblocks SIGCHLD for the calling thread.
    static void _blocksigchild(bool inBlock);

    const std::vector<VString>& GetArguments() const { return fArguments; }
    // Null when there is none.
    const char* GetBinaryPath() const { return fBinaryPath; }
    // For tests: the milliseconds each step of a forced shutdown that the child may refuse
    // (SIGTERM, SIGQUIT) waits (5000).
    void _SetTerminationStepForTesting(int32_t inMilliseconds) { fTerminationStep = inMilliseconds; }
    // For tests: see VProcessLauncher::_SetKillTimerHookForTesting.
    void _SetKillTimerHookForTesting(std::function<void(int32_t)> inHook);
    // For tests: how many children the watched set holds.
    static size_t _CountWatchedForTesting();

private:
    friend class VProcessLauncher;

    // What the kill timer shares with its launcher, which it may outlive: the child it may kill
    // (0 once reaped) and whether it did.
    struct KillTimerState;

    void _AdjustBinaryPathIfNeeded(const EnvironmentVariables& inEnvironment);
    // 0, or the errno value of the failure (EINVAL for a text the system cannot take).
    int _BuildArrayArguments();
    // Null when there is no variable, or on a failure (outError set).
    char** _BuildArrayEnvironmentVariables(const EnvironmentVariables& inEnvironment, int& outError);
    void _AsyncRead(dispatch::Channel*& ioChannel, int& ioFD, const DataCallback& inCallback);
    int32_t _TerminateIndependantChildProcess(int inSignal, int32_t inTimeout, bool inWholeGroup);
    // Whether the child still runs; a child that has ended is reaped. With inKillTreeFirst, the
    // child's process group is killed before its leader is reaped.
    bool _PollChild(bool inKillTreeFirst = false);
    // The child is gone: its pid, group, pidfd and kill timer are let go.
    void _ForgetChild();
    // Waits at most inMilliseconds for the child to end.
    void _WaitForExit(int32_t inMilliseconds);
    // Hands a child left running, and forgotten, to the watched set.
    static void _WatchChild(int32_t inPid);
    static void _CleanWatchSet();
    int32_t _Read(int* ioPipe, std::string& ioPending, char* outBuffer, long inSize);
    // Reads what the output and error pipes hold into the pending texts (while input is written).
    void _DrainOutputs(bool inOutput, bool inError);
    void _CloseChannel(dispatch::Channel*& ioChannel, bool inStop);
    // Both, then waits until their descriptors are closed.
    void _CloseChannels(bool inStop);
    void _CloseLeftovers();
    static bool _DoesBinaryExist(const char* inPath);
    static int _SetNonBlocking(int inFD);
    // A UTF-8 copy from the memory manager; null when the text holds a zero unit or memory runs out.
    static char* _CreateCString(const VString& inText);
    static void _FreeCString(char*& ioText);
    static void _CloseOnePipe(int& ioFD);
    static void _CloseRWPipe(int* ioPipe);
    static void _Free2DCharArray(char**& ioArray);

    char* fDefaultDirectory = nullptr;
    EnvironmentVariables fEnvironment;
    char* fBinaryPath = nullptr;
    std::vector<VString> fArguments;
    char** fArgv = nullptr;
    bool fIsRunning = false;
    int32_t fExitStatus = 0;
    int32_t fWaitClosingChildProcess = 0x7FFFFFFF;
    int32_t fPid = 0;
    int fStdInPipe[2] = {-1, -1};
    int fStdOutPipe[2] = {-1, -1};
    int fStdErrPipe[2] = {-1, -1};
    int fExecStatusPipe[2] = {-1, -1};
    bool fRedirectStandardInput = true;
    bool fRedirectStandardOutput = true;
    dispatch::Channel* fStdOutChannel = nullptr;
    dispatch::Channel* fStdErrChannel = nullptr;
    dispatch::Group* fReadGroup = nullptr;
    // The channels whose descriptors are not closed yet.
    dispatch::Group* fChannelGroup = nullptr;
    std::shared_ptr<KillTimerState> fTimedOut;
    bool fQuoteArgumentsIfNeeded = true;
    bool fProcessTreeKill = false;
    int32_t fProcessGroupTarget = 0;
    // A path or directory given with a zero unit, which no system call can take.
    bool fBadBinaryPath = false;
    bool fBadDirectory = false;
    dispatch::Source* fKillTimer = nullptr;
    // The child's pidfd, to wait for its end; -1 without one.
    int fPidFD = -1;
    // Output and error read while input was written, handed out before the pipes' own.
    std::string fPendingOutput;
    std::string fPendingError;
    int32_t fTerminationStep = 5000;
};

} // namespace kova
