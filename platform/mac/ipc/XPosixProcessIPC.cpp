#include "platform/mac/ipc/XPosixProcessIPC.h"

#include "kernel/tasks/VProcess.h"
#include "platform/mac/frameworks/Dispatch.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

namespace
{

// The write end of the pipe the handler notes signals in; -1 while no handler is installed.
std::atomic<int> sSignalPipe{-1};

struct HandledSignal
{
    int fSignal;
    // Held back while the handler runs.
    int fBlocked[2];
    unsigned fFlags;
};
// SIGQUIT resets to the default action, so that a second one ends a process that does not quit.
constexpr HandledSignal kHandledSignals[] = {
    {SIGTERM, {SIGINT, SIGQUIT}, SA_RESTART},
    {SIGINT, {SIGQUIT, SIGTERM}, SA_RESTART},
    {SIGQUIT, {SIGINT, SIGTERM}, SA_RESTART | SA_RESETHAND},
};

// Standard output as it was at start-up: once it is closed, or its descriptor names another file,
// the ctrl-c line is not written.
bool IsSameOutput(dev_t inDevice, ino_t inNode)
{
    struct stat status;
    return fstat(STDOUT_FILENO, &status) == 0 && status.st_dev == inDevice && status.st_ino == inNode;
}

} // namespace

XPosixProcessIPC::XPosixProcessIPC() = default;

XPosixProcessIPC::~XPosixProcessIPC()
{
    _Uninstall();
}

void XPosixProcessIPC::_Uninstall()
{
    for (int i = 0; i < kSignalCount; ++i)
    {
        if (fInstalled[i])
            sigaction(kHandledSignals[i].fSignal, &fPrevious[i], nullptr);
        fInstalled[i] = false;
    }
    sSignalPipe.store(-1);
    if (fReader != nullptr)
    {
        // The reader's clean-up closes the read end.
        dispatch::IOClose(fReader, dispatch::kIOStop);
        dispatch::Release(fReader);
        fReader = nullptr;
        fPipe[0] = -1;
    }
    for (int& end : fPipe)
    {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

bool XPosixProcessIPC::Init()
{
    if (fPipe[0] >= 0)
        return false;
    // Non-blocking: a handler never waits on a full pipe.
    if (pipe2(fPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        fPipe[0] = fPipe[1] = -1;
        return false;
    }

    struct stat output = {};
    if (fstat(STDOUT_FILENO, &output) != 0)
        output.st_ino = 0;
    const dev_t outputDevice = output.st_dev;
    const ino_t outputNode = output.st_ino;
    const int readEnd = fPipe[0];
    dispatch::Queue* queue = dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0);
    fReader = dispatch::IOCreate(readEnd, queue, [readEnd](int) { close(readEnd); });
    if (fReader == nullptr)
    {
        _Uninstall();
        return false;
    }
    dispatch::IORead(fReader, queue,
                     [outputDevice, outputNode](bool, const void* inData, size_t inSize, int)
                     {
                         const unsigned char* signals = static_cast<const unsigned char*>(inData);
                         for (size_t i = 0; i < inSize; ++i)
                             _HandleSignal(signals[i], outputDevice, outputNode);
                     });

    sSignalPipe.store(fPipe[1]);
    for (int i = 0; i < kSignalCount; ++i)
    {
        struct sigaction action = {};
        action.sa_handler = &_SignalHandler;
        sigemptyset(&action.sa_mask);
        for (int blocked : kHandledSignals[i].fBlocked)
            sigaddset(&action.sa_mask, blocked);
        action.sa_flags = static_cast<int>(kHandledSignals[i].fFlags);
        if (sigaction(kHandledSignals[i].fSignal, &action, &fPrevious[i]) != 0)
        {
            _Uninstall();
            return false;
        }
        fInstalled[i] = true;
    }
    return true;
}

void XPosixProcessIPC::_SignalHandler(int inSignal)
{
    const int savedErrno = errno;
    const int pipe = sSignalPipe.load();
    if (pipe >= 0)
    {
        const unsigned char signal = static_cast<unsigned char>(inSignal);
        // A full pipe already holds a quit request.
        (void)!write(pipe, &signal, 1);
    }
    errno = savedErrno;
}

void XPosixProcessIPC::_HandleSignal(int inSignal, dev_t inOutputDevice, ino_t inOutputNode)
{
    if (inSignal != SIGINT && inSignal != SIGTERM && inSignal != SIGQUIT)
        return;
    // The process is not taken down while it is being asked to quit.
    VProcess::StInstanceUser user;
    VProcess* process = user.Get();
    if (process == nullptr)
        return;
    if (inSignal == SIGINT && inOutputNode != 0 && IsSameOutput(inOutputDevice, inOutputNode))
    {
        const char* line = kInterruptLine;
        size_t left = sizeof kInterruptLine - 1;
        while (left > 0)
        {
            const ssize_t written = write(STDOUT_FILENO, line, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            line += written;
            left -= size_t(written);
        }
    }
    process->QuitAsynchronously(nullptr);
}

} // namespace kova
