// VProcessLauncher is the toolbox's one way of running another program: from a command line or
// from a binary path and arguments, with its standard streams on pipes that the caller writes to
// and reads from (synchronously, or on the work queues until their end), an environment of its
// own or the parent's, a working folder, and an end that escalates from SIGTERM to SIGQUIT to
// SIGKILL when it is forced. No shell ever runs: the arguments reach the program as they are.
//
//     VMemoryBuffer<> output;
//     VMemoryBuffer<> error;
//     int32_t status = 0;
//     if (VProcessLauncher::ExecuteCommandLine(VString("open -a \"/Applications/My App.app\""), 0, nullptr,
//                                              &output, &error, nullptr, nullptr, &status) == 0) ...
//
// The work is the platform's (XPosixProcessLauncher); a launcher is used by one task at a time.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/text/VStringLessCompareStrict.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace kova
{

class VFilePath;
class XPosixProcessLauncher;

// A child killed because it outlived the time its launcher gave it.
constexpr VError VE_CHILD_PROCESS_TIMED_OUT = MakeKovaError(8);

class VProcessLauncher : public VObject
{
public:
    using EnvironmentVariables = std::map<VString, VString, VStringLessCompareStrict>;
    using DataCallback = std::function<void(const void*, size_t)>;

    // ExecuteCommandLine's options: return once the child has started, neither reading nor
    // waiting (the child is reaped when it ends).
    static constexpr int32_t kDoNotWait = 2;

    VProcessLauncher();
    ~VProcessLauncher() override;
    VProcessLauncher(const VProcessLauncher&) = delete;
    VProcessLauncher& operator=(const VProcessLauncher&) = delete;

    // The program to run, also argument 0.
    void SetBinaryPath(const VString& inPath);
    // The arguments split from the command line (see XPosixProcessLauncher::_AnalyzeCommandLine);
    // the first is the program.
    void CreateArgumentsFromFullCommandLine(const VString& inCommandLine);
    // With inQuote the argument is put between double quotes (which the program then receives).
    // An empty argument is dropped.
    void AddArgument(const VString& inArgument, bool inQuote);
    // The binary path stays.
    void ClearArguments();
    // An empty name is ignored.
    void SetEnvironmentVariable(const VString& inName, const VString& inValue);
    void SetEnvironmentVariables(const EnvironmentVariables& inVariables);
    // An empty path: the parent's current folder.
    void SetDefaultDirectory(const VFilePath& inFolder);
    // Milliseconds: 1 to 2147483646 arm a timer that kills the child's process group and make
    // Shutdown wait for the child; 2147483647 (the default) makes Shutdown wait without a timer;
    // 0 or less, neither.
    void SetWaitClosingChildProcess(int32_t inMilliseconds);
    void SetRedirectStandardInput(bool inRedirect);
    // For the output and the error.
    void SetRedirectStandardOutput(bool inRedirect);
    // Kept, without effect: each argument reaches the program as one argument.
    void SetQuoteArgumentsIfNeeded(bool inQuote);
    void EnableProcessTreeKill();

    // 0; -1 when a pipe cannot be made; else an errno value (ENOENT without a program, EINVAL for
    // a path, argument or variable the system cannot take, EBUSY while a child runs, or what
    // posix_spawn answered). A non-empty environment replaces the parent's whole; an empty one
    // gives the parent's. A bare program name is looked up in the current folder, then through
    // the environment's PATH, else the parent's.
    int32_t Start();
    int32_t Start(const EnvironmentVariables& inEnvironment);
    // Polls the child, reaping it once it has ended.
    bool IsRunning();
    int32_t GetPid() const;
    // The exit code once the child is reaped; -127 for a child killed by a signal.
    int32_t GetExitStatus() const;

    // Writes all the data, taking in what the child writes meanwhile; the byte count, 0 for no
    // data, -1 when the child is not running, its input is closed, or it stopped reading.
    int32_t WriteToChild(const void* inData, uint32_t inLength, bool inCloseAfterWrite);
    void CloseStandardInput();
    // The byte count; 0 when nothing is there yet; -1 at the end, on an error or a closed pipe.
    int32_t ReadFromChild(char* outBuffer, long inSize);
    int32_t ReadErrorFromChild(char* outBuffer, long inSize);
    // Waits for the output (1) or the error (2) to be readable, or for the child's end (4).
    int32_t WaitForData();
    // Hands both streams to the callbacks (on the work queues, one call at a time per stream)
    // until their end, then Shutdown(false, false).
    int32_t ReadFromChildAndShutdown(DataCallback inOnOutput, DataCallback inOnError);
    // Ends the child's life: waits for it (see SetWaitClosingChildProcess) unless forced, then,
    // forced, escalates; raises kova 8 when the kill timer killed it. 0, or -1 when no group can
    // be made.
    int32_t Shutdown(bool inForce, bool inKillProcessTree);
    // SIGTERM; false for a pid of 0 or less.
    static bool KillProcess(int32_t inPid);

    // Runs a whole command line: input written, output and error collected, the child waited
    // for and reaped (unless kDoNotWait, or a launcher is handed out through outLauncher, which the
    // caller then deletes). 0, the start's failure, the shutdown's, or ENOMEM when output or error
    // could not all be kept (the child still ran to its end). Every pointer may be null.
    static int32_t ExecuteCommandLine(const VString& inCommandLine, int32_t inOptions,
                                      VMemoryBuffer<>* inInput, VMemoryBuffer<>* outOutput,
                                      VMemoryBuffer<>* outError,
                                      EnvironmentVariables* inEnvironment = nullptr,
                                      VFilePath* inFolder = nullptr, int32_t* outExitStatus = nullptr,
                                      VProcessLauncher** outLauncher = nullptr,
                                      std::vector<VString>* inExtraArguments = nullptr,
                                      bool inQuoteArguments = true, bool inKillProcessTree = false);

    // For tests: the milliseconds of each step of a forced shutdown that the child may refuse,
    // SIGTERM and SIGQUIT (5000).
    void _SetTerminationStepForTesting(int32_t inMilliseconds);
    // For tests: a hook that the kill timer's handler calls on its own thread, set before Start,
    // at each of its steps: when it fires; once it found the child running, just before it kills
    // it (no poll can reap the child meanwhile); when it is over.
    static constexpr int32_t kKillTimerFired = 1;
    static constexpr int32_t kKillTimerKilling = 2;
    static constexpr int32_t kKillTimerDone = 3;
    using KillTimerHook = std::function<void(int32_t inStep)>;
    void _SetKillTimerHookForTesting(KillTimerHook inHook);
    const XPosixProcessLauncher* GetImpl() const { return fImpl; }

private:
    // The platform half; when it could not be made, null after raising VE_MEMORY_FULL: every
    // operation then fails with that error.
    XPosixProcessLauncher* _Impl() const;

    XPosixProcessLauncher* fImpl;
};

} // namespace kova
