#include "platform/mac/ipc/XPosixProcessLauncher.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFilePath.h"
#include "kernel/ipc/VProcessLauncher.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/Dispatch.h"
#include "platform/mac/tasks/XBSDSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

extern char** environ;

namespace kova
{

namespace
{

// What a look at a child that leaves it unreaped finds.
enum class ChildState
{
    kRunning,
    // Ended, waiting to be reaped.
    kEnded,
    // Reaped already, or no child of ours.
    kGone,
};

ChildState PeekChild(pid_t inPid)
{
    siginfo_t information = {};
    if (waitid(P_PID, id_t(inPid), &information, WEXITED | WNOHANG | WNOWAIT) != 0)
        return ChildState::kGone;
    return information.si_pid == inPid ? ChildState::kEnded : ChildState::kRunning;
}

} // namespace

// The rule of the kill timer: it kills only a child that still runs, and the child counts as
// killed by it only when SIGKILL is what ended it. Its look, its kill and every reap of the child
// take fMutex, so the pid it looks at is never one reaped (and perhaps reused) meanwhile; a child
// that ends by itself between the look and the kill shows its own exit in its status.
struct XPosixProcessLauncher::KillTimerState
{
    void Fire()
    {
        Hook(VProcessLauncher::kKillTimerFired);
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (fPid >= 1 && PeekChild(fPid) == ChildState::kRunning)
            {
                Hook(VProcessLauncher::kKillTimerKilling);
                fTimedOut = true;
                // Its own group, unless it went to ours.
                const pid_t group = getpgid(fPid);
                if (group > 1 && group != getpgrp())
                    killpg(group, SIGKILL);
                else
                    kill(fPid, SIGKILL);
            }
        }
        Hook(VProcessLauncher::kKillTimerDone);
    }

    // With fMutex held, when the child is reaped with this status.
    void Reaped(int inStatus)
    {
        fPid = 0;
        if (!WIFSIGNALED(inStatus) || WTERMSIG(inStatus) != SIGKILL)
            fTimedOut = false;
    }

    void Hook(int32_t inStep) const
    {
        if (fHook)
            fHook(inStep);
    }

    std::mutex fMutex;
    // The child it may kill; 0 once it is reaped or handed to the watched set.
    int32_t fPid = 0;
    // Killed by the timer.
    bool fTimedOut = false;
    std::function<void(int32_t)> fHook;
};

namespace
{

// Termination polls the child this often.
constexpr int32_t kTerminationPollMilliseconds = 30;
// The most a forced shutdown waits for a child to end of SIGKILL.
constexpr int32_t kKillStepMilliseconds = 5000;
// A candidate of the PATH search longer than this (with its terminator) is skipped.
constexpr size_t kMaxCandidateBytes = 1024;
// Sizes of the reads that drain a child's output while its input is written.
constexpr size_t kDrainBlock = 65536;

dispatch::Queue* DefaultQueue()
{
    return dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0);
}

// The children that a shutdown left running, to be reaped when they end. Never destroyed, so that
// a watch that ends during the process's exit finds it still there.
pthread_mutex_t sWatchMutex = PTHREAD_MUTEX_INITIALIZER;
std::set<int>& WatchedPids()
{
    static std::set<int>* sWatchedPids = new std::set<int>;
    return *sWatchedPids;
}

// sWatchMutex with SIGCHLD blocked on the thread, so that a host's SIGCHLD handler never waits for
// a lock its own thread holds.
class StWatchLock
{
public:
    StWatchLock()
    {
        sigset_t child;
        sigemptyset(&child);
        sigaddset(&child, SIGCHLD);
        pthread_sigmask(SIG_BLOCK, &child, &fSaved);
        pthread_mutex_lock(&sWatchMutex);
    }
    ~StWatchLock()
    {
        pthread_mutex_unlock(&sWatchMutex);
        pthread_sigmask(SIG_SETMASK, &fSaved, nullptr);
    }
    StWatchLock(const StWatchLock&) = delete;
    StWatchLock& operator=(const StWatchLock&) = delete;

private:
    sigset_t fSaved;
};

// SIGPIPE held back while the calling thread writes to a child that may have stopped reading: the
// write then fails with EPIPE instead of killing the process. A SIGPIPE the writes raised is
// taken back; one that was pending before stays.
class StNoBrokenPipeSignal
{
public:
    StNoBrokenPipeSignal()
    {
        sigemptyset(&fPipe);
        sigaddset(&fPipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        fWasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &fPipe, &fSaved);
    }
    ~StNoBrokenPipeSignal()
    {
        sigset_t pending;
        sigpending(&pending);
        if (!fWasPending && sigismember(&pending, SIGPIPE) == 1)
        {
            const timespec none = {0, 0};
            while (sigtimedwait(&fPipe, nullptr, &none) < 0 && errno == EINTR)
            {
            }
        }
        pthread_sigmask(SIG_SETMASK, &fSaved, nullptr);
    }
    StNoBrokenPipeSignal(const StNoBrokenPipeSignal&) = delete;
    StNoBrokenPipeSignal& operator=(const StNoBrokenPipeSignal&) = delete;

private:
    sigset_t fPipe;
    sigset_t fSaved;
    bool fWasPending;
};

int OpenProcessFD(pid_t inPid)
{
    if (inPid <= 0)
        return -1;
    return int(syscall(SYS_pidfd_open, inPid, 0u));
}

// A pipe whose both ends are close-on-exec and above the standard streams, so that mapping an end
// onto 0, 1 or 2 in the child never closes another.
bool CreatePipe(int* outPipe)
{
    if (pipe2(outPipe, O_CLOEXEC) != 0)
    {
        outPipe[0] = outPipe[1] = -1;
        return false;
    }
    for (int end = 0; end < 2; ++end)
    {
        if (outPipe[end] > STDERR_FILENO)
            continue;
        const int moved = fcntl(outPipe[end], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(outPipe[end]);
        outPipe[end] = moved;
    }
    if (outPipe[0] >= 0 && outPipe[1] >= 0)
        return true;
    for (int end = 0; end < 2; ++end)
    {
        if (outPipe[end] >= 0)
            close(outPipe[end]);
        outPipe[end] = -1;
    }
    return false;
}

// A status as the launcher reports it: the exit code, or -127 for a child killed by a signal.
int32_t ExitStatusOf(int inStatus)
{
    if (WIFEXITED(inStatus))
        return WEXITSTATUS(inStatus);
    if (WIFSIGNALED(inStatus))
        return -127;
    return 0;
}

bool HasZeroUnit(const VString& inText)
{
    return inText.FindUniChar(0) > 0;
}

bool IsOutputReady(short inEvents)
{
    return (inEvents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

} // namespace

XPosixProcessLauncher::XPosixProcessLauncher() : fTimedOut(std::make_shared<KillTimerState>()) {}

XPosixProcessLauncher::~XPosixProcessLauncher()
{
    if (fIsRunning && (fPid < 1 || _PollChild()))
        Shutdown(false, false);
    if (fReadGroup != nullptr)
    {
        dispatch::GroupWait(fReadGroup, dispatch::kForever);
        dispatch::Release(fReadGroup);
        fReadGroup = nullptr;
    }
    _CloseLeftovers();
    dispatch::Release(fChannelGroup);
    _FreeCString(fDefaultDirectory);
    _FreeCString(fBinaryPath);
    _Free2DCharArray(fArgv);
}

// ----- Arguments

void XPosixProcessLauncher::SetBinaryPath(const VString& inPath)
{
    _FreeCString(fBinaryPath);
    fBadBinaryPath = false;
    if (!inPath.IsEmpty())
    {
        fBinaryPath = _CreateCString(inPath);
        fBadBinaryPath = fBinaryPath == nullptr;
    }
    if (fArguments.empty())
        fArguments.push_back(inPath);
    else
        fArguments[0] = inPath;
}

void XPosixProcessLauncher::CreateArgumentsFromFullCommandLine(const VString& inCommandLine)
{
    fArguments.clear();
    _FreeCString(fBinaryPath);
    fBadBinaryPath = false;
    std::vector<VString> arguments;
    if (_AnalyzeCommandLine(inCommandLine, arguments) > 0)
    {
        fArguments = std::move(arguments);
        SetBinaryPath(VString(fArguments[0]));
    }
}

void XPosixProcessLauncher::AddArgument(const VString& inArgument)
{
    if (!inArgument.IsEmpty())
        fArguments.push_back(inArgument);
}

// Only the space separates arguments. An argument that begins with a quote (double or single)
// runs to the same quote, or to the end of the text; inside it a backslash takes the next unit as
// it is. Any other argument runs to the next space; from its second unit on a backslash takes the
// next unit as it is, and quotes are plain units. A backslash that ends the text is kept.
int32_t XPosixProcessLauncher::_AnalyzeCommandLine(const VString& inCommandLine,
                                                   std::vector<VString>& outArguments)
{
    outArguments.clear();
    const UniChar* units = inCommandLine.GetCPointer();
    const int32_t length = inCommandLine.GetLength();
    int32_t at = 0;
    for (;;)
    {
        while (at < length && units[at] == u' ')
            ++at;
        if (at >= length)
            break;
        VString argument;
        const UniChar quote = units[at];
        if (quote == u'"' || quote == u'\'')
        {
            for (++at; at < length && units[at] != quote; ++at)
            {
                if (units[at] == u'\\' && at + 1 < length)
                    ++at;
                argument.AppendUniChar(units[at]);
            }
            // The closing quote.
            ++at;
        }
        else
        {
            argument.AppendUniChar(units[at++]);
            for (; at < length && units[at] != u' '; ++at)
            {
                if (units[at] == u'\\' && at + 1 < length)
                    ++at;
                argument.AppendUniChar(units[at]);
            }
        }
        outArguments.push_back(argument);
    }
    return int32_t(outArguments.size());
}

void XPosixProcessLauncher::SetEnvironmentVariable(const VString& inName, const VString& inValue)
{
    if (!inName.IsEmpty())
        fEnvironment[inName] = inValue;
}

void XPosixProcessLauncher::SetDefaultDirectory(const VFilePath& inFolder)
{
    _FreeCString(fDefaultDirectory);
    fBadDirectory = false;
    VString posix;
    if (!inFolder.IsEmpty())
        inFolder.GetPosixPath(posix);
    if (posix.IsEmpty())
        return;
    fDefaultDirectory = _CreateCString(posix);
    fBadDirectory = fDefaultDirectory == nullptr;
}

// ----- Start

void XPosixProcessLauncher::_AdjustBinaryPathIfNeeded(const EnvironmentVariables& inEnvironment)
{
    if (fBinaryPath == nullptr || fBinaryPath[0] == '/')
        return;
    char folder[PATH_MAX];
    std::string resolved;
    if (std::strchr(fBinaryPath, '/') != nullptr || _DoesBinaryExist(fBinaryPath))
    {
        // Relative to our own current folder, also when the child starts in another one.
        if (getcwd(folder, sizeof folder) == nullptr)
            return;
        resolved = std::string(folder) + "/" + fBinaryPath;
    }
    else
    {
        // The PATH of the environment given, else ours: the one the child gets when the
        // environment given has none.
        std::string searchList;
        const char* ownList = std::getenv("PATH");
        auto found = inEnvironment.find(VString("PATH"));
        if (found == inEnvironment.end())
            found = inEnvironment.find(VString("path"));
        if (found != inEnvironment.end())
            searchList = to_string(found->second);
        else if (ownList != nullptr)
            searchList = ownList;
        resolved = XBSDSystem::SearchExecutable(fBinaryPath, searchList.c_str());
    }
    if (resolved.empty() || resolved.size() + 1 > kMaxCandidateBytes)
        return;
    char* copy = static_cast<char*>(VObject::sCppMemMgr->Malloc(resolved.size() + 1, false, kMEM_TAG_STRING));
    if (copy == nullptr)
        return;
    std::memcpy(copy, resolved.c_str(), resolved.size() + 1);
    _FreeCString(fBinaryPath);
    fBinaryPath = copy;
}

int XPosixProcessLauncher::_BuildArrayArguments()
{
    _Free2DCharArray(fArgv);
    if (fArguments.empty())
        return 0;
    const size_t count = fArguments.size();
    fArgv =
        static_cast<char**>(VObject::sCppMemMgr->Malloc((count + 1) * sizeof(char*), false, kMEM_TAG_ARRAY));
    if (fArgv == nullptr)
        return ENOMEM;
    std::fill(fArgv, fArgv + count + 1, nullptr);
    for (size_t i = 0; i < count; ++i)
    {
        fArgv[i] = _CreateCString(fArguments[i]);
        if (fArgv[i] == nullptr)
        {
            _Free2DCharArray(fArgv);
            return HasZeroUnit(fArguments[i]) ? EINVAL : ENOMEM;
        }
    }
    return 0;
}

char** XPosixProcessLauncher::_BuildArrayEnvironmentVariables(const EnvironmentVariables& inEnvironment,
                                                              int& outError)
{
    size_t count = 0;
    for (const auto& [name, value] : inEnvironment)
        count += name.IsEmpty() ? 0 : 1;
    if (count == 0)
        return nullptr;
    char** array =
        static_cast<char**>(VObject::sCppMemMgr->Malloc((count + 1) * sizeof(char*), false, kMEM_TAG_ARRAY));
    if (array == nullptr)
    {
        outError = ENOMEM;
        return nullptr;
    }
    std::fill(array, array + count + 1, nullptr);
    size_t at = 0;
    for (const auto& [name, value] : inEnvironment)
    {
        if (name.IsEmpty())
            continue;
        // A name holding "=" would give the child another variable than the one set.
        VString entry(name);
        const bool named = entry.FindUniChar(u'=') == 0;
        entry.AppendUniChar(u'=').AppendString(value);
        array[at] = named ? _CreateCString(entry) : nullptr;
        if (array[at++] == nullptr)
        {
            outError = !named || HasZeroUnit(entry) ? EINVAL : ENOMEM;
            _Free2DCharArray(array);
            return nullptr;
        }
    }
    return array;
}

void XPosixProcessLauncher::_CloseLeftovers()
{
    _CloseChannels(true);
    _CloseRWPipe(fStdInPipe);
    _CloseRWPipe(fStdOutPipe);
    _CloseRWPipe(fStdErrPipe);
    _CloseRWPipe(fExecStatusPipe);
    _CloseOnePipe(fPidFD);
    fPendingOutput.clear();
    fPendingError.clear();
}

int32_t XPosixProcessLauncher::Start(const EnvironmentVariables& inEnvironment)
{
    // One child at a time: the one running is neither forgotten nor left unreaped.
    if (fIsRunning && (fPid < 1 || _PollChild()))
        return EBUSY;
    if (fBadBinaryPath || fBadDirectory)
        return EINVAL;
    if (fBinaryPath == nullptr)
        return ENOENT;
    // What the previous child left.
    if (fReadGroup != nullptr)
        dispatch::GroupWait(fReadGroup, dispatch::kForever);
    _CloseLeftovers();
    {
        std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
        fTimedOut->fTimedOut = false;
    }
    fExitStatus = 0;

    _AdjustBinaryPathIfNeeded(inEnvironment);

    if (!CreatePipe(fExecStatusPipe) || (fRedirectStandardInput && !CreatePipe(fStdInPipe)) ||
        (fRedirectStandardOutput && (!CreatePipe(fStdOutPipe) || !CreatePipe(fStdErrPipe))))
    {
        _CloseLeftovers();
        return -1;
    }
    if (fRedirectStandardInput)
        _SetNonBlocking(fStdInPipe[1]);
    if (fRedirectStandardOutput)
    {
        _SetNonBlocking(fStdOutPipe[0]);
        _SetNonBlocking(fStdErrPipe[0]);
    }

    // Every pipe end is close-on-exec: the child keeps only what is mapped onto 0, 1 and 2, and
    // closing from 3 on leaves it nothing else the parent had open either.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int error = posix_spawn_file_actions_init(&actions);
    if (error == 0)
    {
        error = posix_spawnattr_init(&attributes);
        if (error != 0)
            posix_spawn_file_actions_destroy(&actions);
    }
    if (error == 0 && fRedirectStandardInput)
        error = posix_spawn_file_actions_adddup2(&actions, fStdInPipe[0], STDIN_FILENO);
    if (error == 0 && fRedirectStandardOutput)
        error = posix_spawn_file_actions_adddup2(&actions, fStdOutPipe[1], STDOUT_FILENO);
    if (error == 0 && fRedirectStandardOutput)
        error = posix_spawn_file_actions_adddup2(&actions, fStdErrPipe[1], STDERR_FILENO);
    if (error == 0 && fDefaultDirectory != nullptr)
        error = posix_spawn_file_actions_addchdir_np(&actions, fDefaultDirectory);
    if (error == 0)
        error = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t empty;
    sigemptyset(&empty);
    if (error == 0)
        error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    if (error == 0)
        error = posix_spawnattr_setpgroup(&attributes, 0);
    if (error == 0)
        error = posix_spawnattr_setsigmask(&attributes, &empty);
    if (error != 0)
    {
        syslog(LOG_ERR, "init_pipes error");
        _CloseLeftovers();
        return error;
    }

    char** environment = nullptr;
    error = _BuildArrayArguments();
    if (error == 0)
        environment = _BuildArrayEnvironmentVariables(inEnvironment, error);
    {
        StWatchLock lock;
        _CleanWatchSet();
    }

    char* emptyArguments[] = {fBinaryPath, nullptr};
    if (error == 0)
    {
        fIsRunning = true;
        pid_t child = 0;
        error =
            posix_spawn(&child, fBinaryPath, &actions, &attributes, fArgv != nullptr ? fArgv : emptyArguments,
                        environment != nullptr ? environment : environ);
        fPid = error == 0 ? child : 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    _Free2DCharArray(environment);
    if (error != 0)
    {
        fIsRunning = false;
        fPid = 0;
        _CloseLeftovers();
        return error;
    }
    fProcessGroupTarget = -fPid;
    fPidFD = OpenProcessFD(fPid);
    {
        std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
        fTimedOut->fPid = fPid;
    }

    _CloseOnePipe(fExecStatusPipe[1]);
    _CloseOnePipe(fStdInPipe[0]);
    _CloseOnePipe(fStdOutPipe[1]);
    _CloseOnePipe(fStdErrPipe[1]);
    int32_t result = 0;
    char status[4];
    ssize_t count;
    while ((count = read(fExecStatusPipe[0], status, sizeof status)) < 0 && errno == EINTR)
    {
    }
    if (count != 0)
        result = -1;
    _CloseOnePipe(fExecStatusPipe[0]);

    if (fWaitClosingChildProcess >= 1 && fWaitClosingChildProcess < 0x7FFFFFFF)
    {
        fKillTimer = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
        if (fKillTimer != nullptr)
        {
            std::shared_ptr<KillTimerState> state = fTimedOut;
            dispatch::SourceSetEventHandler(fKillTimer, [state] { state->Fire(); });
            dispatch::SourceSetTimer(fKillTimer, fWaitClosingChildProcess, 0);
            dispatch::SourceResume(fKillTimer);
        }
    }
    return result;
}

// ----- The child's state

bool XPosixProcessLauncher::_PollChild(bool inKillTreeFirst)
{
    if (!fIsRunning)
        return false;
    if (fPid < 1)
        return true;
    // While the ended leader is not reaped, its group's id cannot name another group.
    if (inKillTreeFirst && fProcessGroupTarget < -1 && PeekChild(fPid) == ChildState::kEnded)
        kill(fProcessGroupTarget, SIGKILL);
    int status = 0;
    pid_t reaped;
    {
        std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
        while ((reaped = waitpid(fPid, &status, WNOHANG | WUNTRACED | WCONTINUED)) < 0 && errno == EINTR)
        {
        }
        // Stopped or continued, the child still runs.
        if (reaped == fPid && (WIFSTOPPED(status) || WIFCONTINUED(status)))
            reaped = 0;
        if (reaped == fPid)
            fTimedOut->Reaped(status);
        else if (reaped != 0)
            fTimedOut->fPid = 0;
    }
    if (reaped == 0)
        return true;
    fExitStatus = reaped == fPid ? ExitStatusOf(status) : 0;
    _ForgetChild();
    return false;
}

void XPosixProcessLauncher::_ForgetChild()
{
    {
        std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
        fTimedOut->fPid = 0;
    }
    if (fKillTimer != nullptr)
    {
        dispatch::SourceCancel(fKillTimer);
        dispatch::Release(fKillTimer);
        fKillTimer = nullptr;
    }
    _CloseOnePipe(fPidFD);
    fPid = 0;
    fIsRunning = false;
    fProcessGroupTarget = 0;
}

bool XPosixProcessLauncher::IsRunning()
{
    return _PollChild();
}

void XPosixProcessLauncher::_WaitForExit(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
        return;
    // A fiber lets the others run meanwhile; a thread waits for the child's end itself.
    if (VTaskMgr::IsCurrentTaskFiber() || fPidFD < 0)
    {
        if (VTaskMgr::GetCurrentTask() != nullptr)
            VTask::Sleep(inMilliseconds);
        else
            VSystem::Delay(inMilliseconds);
        return;
    }
    pollfd exit = {fPidFD, POLLIN, 0};
    poll(&exit, 1, inMilliseconds);
}

// ----- Writing and reading

void XPosixProcessLauncher::CloseStandardInput()
{
    _CloseOnePipe(fStdInPipe[1]);
}

int32_t XPosixProcessLauncher::WriteToChild(const void* inData, uint32_t inLength, bool inCloseAfterWrite)
{
    if (inData == nullptr || !fIsRunning || fStdInPipe[1] < 0)
        return -1;
    int32_t result = 0;
    if (inLength > 0)
    {
        VTaskMgr::Yield();
        StNoBrokenPipeSignal noSignal;
        const char* bytes = static_cast<const char*>(inData);
        uint32_t written = 0;
        while (written < inLength)
        {
            const ssize_t count = write(fStdInPipe[1], bytes + written, inLength - written);
            if (count > 0)
            {
                written += uint32_t(count);
                continue;
            }
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno != EAGAIN)
            {
                written = 0;
                break;
            }
            // The pipe is full: wait until it has room, taking in what the child writes meanwhile,
            // since a child that cannot write may never read again.
            pollfd waits[3] = {
                {fStdInPipe[1], POLLOUT, 0}, {fStdOutPipe[0], POLLIN, 0}, {fStdErrPipe[0], POLLIN, 0}};
            if (ppoll(waits, 3, nullptr, nullptr) < 0 && errno != EINTR)
            {
                written = 0;
                break;
            }
            _DrainOutputs(IsOutputReady(waits[1].revents), IsOutputReady(waits[2].revents));
        }
        result = written == inLength ? int32_t(std::min<uint32_t>(written, INT32_MAX)) : -1;
    }
    if (inCloseAfterWrite)
        CloseStandardInput();
    return result;
}

void XPosixProcessLauncher::_DrainOutputs(bool inOutput, bool inError)
{
    struct
    {
        bool fReady;
        int* fPipe;
        std::string* fPending;
    } const streams[] = {{inOutput, fStdOutPipe, &fPendingOutput}, {inError, fStdErrPipe, &fPendingError}};
    char block[kDrainBlock];
    for (const auto& stream : streams)
    {
        while (stream.fReady && stream.fPipe[0] >= 0)
        {
            const ssize_t count = read(stream.fPipe[0], block, sizeof block);
            if (count > 0)
                stream.fPending->append(block, size_t(count));
            else if (count == 0 || (errno != EINTR && errno != EAGAIN))
                _CloseOnePipe(stream.fPipe[0]);
            else if (errno == EAGAIN)
                break;
        }
    }
}

int32_t XPosixProcessLauncher::_Read(int* ioPipe, std::string& ioPending, char* outBuffer, long inSize)
{
    if (outBuffer == nullptr || inSize <= 0)
        return -1;
    const size_t size = size_t(std::min<long>(inSize, INT32_MAX));
    int32_t result;
    if (!ioPending.empty())
    {
        const size_t taken = std::min(size, ioPending.size());
        std::memcpy(outBuffer, ioPending.data(), taken);
        ioPending.erase(0, taken);
        result = int32_t(taken);
    }
    else if (ioPipe[0] < 0)
    {
        result = -1;
    }
    else
    {
        ssize_t count;
        while ((count = read(ioPipe[0], outBuffer, size)) < 0 && errno == EINTR)
        {
        }
        if (count > 0)
        {
            result = int32_t(count);
        }
        else if (count < 0 && errno == EAGAIN)
        {
            result = 0;
        }
        else
        {
            // The end: the pipe is closed, so that waits no longer wake for it.
            _CloseOnePipe(ioPipe[0]);
            result = -1;
        }
    }
    VTaskMgr::Yield();
    return result;
}

int32_t XPosixProcessLauncher::ReadFromChild(char* outBuffer, long inSize)
{
    return _Read(fStdOutPipe, fPendingOutput, outBuffer, inSize);
}

int32_t XPosixProcessLauncher::ReadErrorFromChild(char* outBuffer, long inSize)
{
    return _Read(fStdErrPipe, fPendingError, outBuffer, inSize);
}

int32_t XPosixProcessLauncher::WaitForData()
{
    if (!fIsRunning)
        return 4;
    int32_t ready = (fPendingOutput.empty() ? 0 : 1) | (fPendingError.empty() ? 0 : 2);
    if (ready != 0)
        return ready;
    pollfd waits[3];
    nfds_t count = 0;
    int output = -1;
    int error = -1;
    if (fStdOutPipe[0] >= 0)
    {
        output = int(count);
        waits[count++] = {fStdOutPipe[0], POLLIN, 0};
    }
    if (fStdErrPipe[0] >= 0)
    {
        error = int(count);
        waits[count++] = {fStdErrPipe[0], POLLIN, 0};
    }
    // With no stream left, the wait is for the child's end.
    if (count == 0 && fPidFD >= 0)
        waits[count++] = {fPidFD, POLLIN, 0};
    if (count == 0)
        return _PollChild() ? 0 : 4;
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    sigdelset(&mask, SIGCHLD);
    if (ppoll(waits, count, nullptr, &mask) < 0)
        return errno == EINTR && !_PollChild() ? 4 : 0;
    if (output >= 0 && IsOutputReady(waits[output].revents))
        ready |= 1;
    if (error >= 0 && IsOutputReady(waits[error].revents))
        ready |= 2;
    if (output < 0 && error < 0 && !_PollChild())
        ready |= 4;
    return ready;
}

void XPosixProcessLauncher::_AsyncRead(dispatch::Channel*& ioChannel, int& ioFD,
                                       const DataCallback& inCallback)
{
    if (ioFD < 0)
        return;
    if (fReadGroup == nullptr)
        fReadGroup = dispatch::GroupCreate();
    if (fReadGroup == nullptr)
    {
        syslog(LOG_ERR, "Group creation failed");
        return;
    }
    if (fChannelGroup == nullptr)
        fChannelGroup = dispatch::GroupCreate();
    if (fChannelGroup == nullptr)
    {
        syslog(LOG_ERR, "Group creation failed");
        return;
    }
    const int fd = ioFD;
    dispatch::Group* channels = fChannelGroup;
    dispatch::Retain(channels);
    dispatch::GroupEnter(channels);
    ioChannel = dispatch::IOCreate(fd, DefaultQueue(),
                                   [fd, channels](int inError)
                                   {
                                       if (inError != 0)
                                           syslog(LOG_ERR, "Channel handler : %s", std::strerror(inError));
                                       close(fd);
                                       dispatch::GroupLeave(channels);
                                       dispatch::Release(channels);
                                   });
    if (ioChannel == nullptr)
    {
        syslog(LOG_ERR, "Channel creation failed");
        dispatch::GroupLeave(channels);
        dispatch::Release(channels);
        return;
    }
    // The channel owns the descriptor now.
    ioFD = -1;
    dispatch::Group* group = fReadGroup;
    dispatch::Retain(group);
    dispatch::GroupEnter(group);
    dispatch::IORead(ioChannel, DefaultQueue(),
                     [group, inCallback](bool inDone, const void* inData, size_t inSize, int inError)
                     {
                         if (inError != 0 && inError != ECANCELED)
                             syslog(LOG_ERR, "READ ERROR : %s", std::strerror(inError));
                         else if (inSize > 0 && inCallback)
                             inCallback(inData, inSize);
                         if (inDone)
                         {
                             dispatch::GroupLeave(group);
                             dispatch::Release(group);
                         }
                     });
}

int32_t XPosixProcessLauncher::ReadFromChildAndShutdown(DataCallback inOnOutput, DataCallback inOnError)
{
    // What was read while input was written comes first.
    if (!fPendingOutput.empty() && inOnOutput)
        inOnOutput(fPendingOutput.data(), fPendingOutput.size());
    if (!fPendingError.empty() && inOnError)
        inOnError(fPendingError.data(), fPendingError.size());
    fPendingOutput.clear();
    fPendingError.clear();
    _AsyncRead(fStdOutChannel, fStdOutPipe[0], inOnOutput);
    _AsyncRead(fStdErrChannel, fStdErrPipe[0], inOnError);
    return Shutdown(false, false);
}

void XPosixProcessLauncher::_CloseChannel(dispatch::Channel*& ioChannel, bool inStop)
{
    if (ioChannel == nullptr)
        return;
    dispatch::IOClose(ioChannel, inStop ? dispatch::kIOStop : 0);
    dispatch::Release(ioChannel);
    ioChannel = nullptr;
}

void XPosixProcessLauncher::_CloseChannels(bool inStop)
{
    _CloseChannel(fStdOutChannel, inStop);
    _CloseChannel(fStdErrChannel, inStop);
    // Their descriptors are closed once this returns.
    if (fChannelGroup != nullptr)
        dispatch::GroupWait(fChannelGroup, dispatch::kForever);
}

// ----- Ending

int32_t XPosixProcessLauncher::_TerminateIndependantChildProcess(int inSignal, int32_t inTimeout,
                                                                 bool inWholeGroup)
{
    const uint32_t start = VSystem::GetCurrentTime();
    const int32_t target = inWholeGroup ? fProcessGroupTarget : fPid;
    // Never 0 or less for a process, never -1 or more for a group.
    if (inWholeGroup ? target >= -1 : target < 1)
        return fIsRunning ? 0 : 1;
    if (kill(target, inSignal) != 0)
        return errno == ESRCH ? 1 : 0;
    if (!fIsRunning)
        return 1;
    const uint32_t timeout = uint32_t(inTimeout < 1 ? kTerminationPollMilliseconds : inTimeout);
    for (;;)
    {
        if (!_PollChild(inWholeGroup))
            return 1;
        const uint32_t elapsed = VSystem::GetCurrentTime() - start;
        if (elapsed >= timeout)
            return _PollChild(inWholeGroup) ? 0 : 1;
        _WaitForExit(int32_t(std::min<uint32_t>(kTerminationPollMilliseconds, timeout - elapsed)));
        VTaskMgr::Yield();
        if (!fIsRunning)
            return 1;
    }
}

void XPosixProcessLauncher::_WatchChild(int32_t inPid)
{
    const int32_t pid = inPid;
    {
        StWatchLock lock;
        WatchedPids().insert(pid);
    }
    // Reaped as soon as it ends, without a SIGCHLD handler.
    dispatch::Source* watch = dispatch::SourceCreate(dispatch::SourceType::kProcess, uintptr_t(pid),
                                                     dispatch::kProcExit, DefaultQueue());
    if (watch == nullptr)
        return;
    dispatch::SourceSetEventHandler(watch,
                                    [pid, watch]
                                    {
                                        {
                                            StWatchLock lock;
                                            if (WatchedPids().count(pid) != 0)
                                            {
                                                int status;
                                                if (waitpid(pid, &status, WNOHANG) != 0)
                                                    WatchedPids().erase(pid);
                                            }
                                        }
                                        dispatch::SourceCancel(watch);
                                    });
    dispatch::SourceSetCancelHandler(watch, [watch] { dispatch::Release(watch); });
    dispatch::SourceResume(watch);
}

void XPosixProcessLauncher::_CleanWatchSet()
{
    std::set<int>& watched = WatchedPids();
    for (auto pid = watched.begin(); pid != watched.end();)
    {
        int status;
        if (waitpid(*pid, &status, WNOHANG) != 0)
            pid = watched.erase(pid);
        else
            ++pid;
    }
}

void XPosixProcessLauncher::_SignalHandler(int inSignal, siginfo_t* inInfo, void*)
{
    if (inSignal != SIGCHLD)
        return;
    // Never waits: the thread it interrupted may hold the lock (the watches reap in any case).
    if (pthread_mutex_trylock(&sWatchMutex) != 0)
        return;
    const int savedErrno = errno;
    std::set<int>& watched = WatchedPids();
    if (inInfo != nullptr && watched.count(inInfo->si_pid) != 0)
    {
        int status;
        if (waitpid(inInfo->si_pid, &status, WNOHANG) != 0)
            watched.erase(inInfo->si_pid);
    }
    _CleanWatchSet();
    errno = savedErrno;
    pthread_mutex_unlock(&sWatchMutex);
}

void XPosixProcessLauncher::_blocksigchild(bool inBlock)
{
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    pthread_sigmask(inBlock ? SIG_BLOCK : SIG_UNBLOCK, &child, nullptr);
}

void XPosixProcessLauncher::_SetKillTimerHookForTesting(std::function<void(int32_t)> inHook)
{
    std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
    fTimedOut->fHook = std::move(inHook);
}

size_t XPosixProcessLauncher::_CountWatchedForTesting()
{
    StWatchLock lock;
    return WatchedPids().size();
}

int32_t XPosixProcessLauncher::Shutdown(bool inForce, bool inKillProcessTree)
{
    const bool killTree = inKillProcessTree && fProcessTreeKill;
    // A forced shutdown does not wait for the child to end by itself.
    if (!inForce && fWaitClosingChildProcess >= 1)
    {
        if (fReadGroup == nullptr)
            fReadGroup = dispatch::GroupCreate();
        if (fReadGroup == nullptr)
        {
            syslog(LOG_ERR, "Group creation failed");
            return -1;
        }
        pollfd exit = {fPidFD, POLLIN, 0};
        const bool ended = fPidFD >= 0 && poll(&exit, 1, 0) == 1;
        dispatch::Source* watch = nullptr;
        if (fPid >= 1 && !ended)
            watch = dispatch::SourceCreate(dispatch::SourceType::kProcess, uintptr_t(fPid),
                                           dispatch::kProcExit, DefaultQueue());
        if (watch != nullptr)
        {
            dispatch::Group* group = fReadGroup;
            dispatch::Retain(group);
            dispatch::GroupEnter(group);
            dispatch::SourceSetEventHandler(watch, [watch] { dispatch::SourceCancel(watch); });
            dispatch::SourceSetCancelHandler(watch,
                                             [group, watch]
                                             {
                                                 dispatch::GroupLeave(group);
                                                 dispatch::Release(group);
                                                 dispatch::Release(watch);
                                             });
            dispatch::SourceResume(watch);
        }
        if (!dispatch::GroupWait(fReadGroup, 0))
        {
            VRefPtr<VSyncEvent> emptied(new VSyncEvent);
            VSyncEvent* event = emptied.Get();
            event->Retain();
            dispatch::GroupNotify(fReadGroup, DefaultQueue(),
                                  [event]
                                  {
                                      event->Unlock();
                                      event->Release();
                                  });
            emptied->Lock();
        }
        _CloseChannels(false);
    }

    if (fIsRunning && (fPid < 1 || _PollChild(killTree)))
    {
        _CloseChannels(true);
        _CloseOnePipe(fStdOutPipe[0]);
        _CloseOnePipe(fStdErrPipe[0]);
        _CloseOnePipe(fStdInPipe[1]);
        bool killed = false;
        if (inForce)
        {
            // The whole tree goes when it is to be killed in the end anyway. SIGKILL cannot be
            // refused: its step waits for the end it brings, however short the others are made.
            killed = _TerminateIndependantChildProcess(SIGTERM, fTerminationStep, killTree) != 1 &&
                     _TerminateIndependantChildProcess(SIGQUIT, fTerminationStep, killTree) != 1 &&
                     _TerminateIndependantChildProcess(SIGKILL, kKillStepMilliseconds, killTree) != 1;
        }
        if (fPid >= 1 && _PollChild(killTree))
        {
            // Not gone yet: reaped by the watched set when it ends; its group goes now if asked,
            // while its unreaped leader still holds the group's id.
            const int32_t pid = fPid;
            if (killTree && fProcessGroupTarget < -1)
                kill(fProcessGroupTarget, SIGKILL);
            // SIGKILL reached it (our own child cannot refuse it): it dies of it, reaped or not.
            if (killed)
                fExitStatus = -127;
            // The kill timer lets the pid go before another may reap it.
            _ForgetChild();
            _WatchChild(pid);
        }
        _ForgetChild();
    }

    // Once the child is reaped, its status tells whether the timer's kill is what ended it.
    bool timedOut;
    {
        std::lock_guard<std::mutex> lock(fTimedOut->fMutex);
        timedOut = fTimedOut->fTimedOut;
        fTimedOut->fTimedOut = false;
    }
    if (timedOut)
        _ThrowError(VE_CHILD_PROCESS_TIMED_OUT);
    return 0;
}

bool XPosixProcessLauncher::KillProcess(int32_t inPid)
{
    return inPid > 0 && kill(inPid, SIGTERM) == 0;
}

// ----- Helpers

bool XPosixProcessLauncher::_DoesBinaryExist(const char* inPath)
{
    struct stat status;
    return inPath != nullptr && stat(inPath, &status) == 0 && S_ISREG(status.st_mode);
}

int XPosixProcessLauncher::_SetNonBlocking(int inFD)
{
    const int flags = fcntl(inFD, F_GETFL);
    if (flags < 0 || fcntl(inFD, F_SETFL, flags | O_NONBLOCK) != 0)
        return -1;
    return 0;
}

char* XPosixProcessLauncher::_CreateCString(const VString& inText)
{
    if (HasZeroUnit(inText) || VObject::sCppMemMgr == nullptr)
        return nullptr;
    const std::string bytes = to_string(inText);
    char* copy = static_cast<char*>(VObject::sCppMemMgr->Malloc(bytes.size() + 1, false, kMEM_TAG_STRING));
    if (copy != nullptr)
        std::memcpy(copy, bytes.c_str(), bytes.size() + 1);
    return copy;
}

void XPosixProcessLauncher::_FreeCString(char*& ioText)
{
    if (ioText != nullptr)
        VObject::sCppMemMgr->Free(ioText);
    ioText = nullptr;
}

void XPosixProcessLauncher::_CloseOnePipe(int& ioFD)
{
    if (ioFD >= 0)
        close(ioFD);
    ioFD = -1;
}

void XPosixProcessLauncher::_CloseRWPipe(int* ioPipe)
{
    _CloseOnePipe(ioPipe[0]);
    _CloseOnePipe(ioPipe[1]);
}

void XPosixProcessLauncher::_Free2DCharArray(char**& ioArray)
{
    if (ioArray == nullptr)
        return;
    for (char** entry = ioArray; *entry != nullptr; ++entry)
        VObject::sCppMemMgr->Free(*entry);
    VObject::sCppMemMgr->Free(ioArray);
    ioArray = nullptr;
}

} // namespace kova
