#include "platform/mac/ipc/XPosixProcessIPC.h"

#include "kernel/tasks/VProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kova
{

namespace
{

// The pipe the handler writes the signal's number to; -1 while no handler is installed.
volatile sig_atomic_t sWriteFD = -1;
int sReadFD = -1;

// A byte that is no signal number: it ends the reading thread.
constexpr unsigned char kStopWatching = 0;

void HandleSignal(int inSignal)
{
    const int savedErrno = errno;
    const int fd = sWriteFD;
    if (fd >= 0)
    {
        const unsigned char byte = static_cast<unsigned char>(inSignal);
        ssize_t written = ::write(fd, &byte, 1);
        (void)written;
    }
    errno = savedErrno;
}

bool Install(int inSignal, int inBlocked1, int inBlocked2, int inFlags)
{
    struct sigaction action = {};
    action.sa_handler = HandleSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, inBlocked1);
    sigaddset(&action.sa_mask, inBlocked2);
    action.sa_flags = inFlags;
    return ::sigaction(inSignal, &action, nullptr) == 0;
}

} // namespace

XPosixProcessIPC::~XPosixProcessIPC()
{
    if (fInstalled)
    {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGQUIT, SIG_DFL);
    }
    if (fWatcher.joinable())
    {
        const int fd = sWriteFD;
        sWriteFD = -1;
        ssize_t written = ::write(fd, &kStopWatching, 1);
        (void)written;
        fWatcher.join();
        ::close(fd);
        ::close(sReadFD);
        sReadFD = -1;
    }
}

bool XPosixProcessIPC::Init()
{
    if (sWriteFD >= 0)
        return false; // one process object handles the signals
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    sReadFD = fds[0];
    sWriteFD = fds[1];
    fWatcher = std::thread([this] { _Watch(); });
    fInstalled = true;
    return Install(SIGTERM, SIGINT, SIGQUIT, SA_RESTART) && Install(SIGINT, SIGQUIT, SIGTERM, SA_RESTART) &&
           Install(SIGQUIT, SIGINT, SIGTERM, SA_RESTART | SA_RESETHAND);
}

void XPosixProcessIPC::_Watch()
{
    for (;;)
    {
        unsigned char byte = 0;
        const ssize_t count = ::read(sReadFD, &byte, 1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || byte == kStopWatching)
            return;
        VProcess::StInstanceUser user;
        VProcess* process = user.Get();
        if (process == nullptr)
            continue;
        if (byte == SIGINT)
        {
            std::fputs("\n (ctrl-c has been received - quit)\n\n", stdout);
            std::fflush(stdout);
        }
        if (byte == SIGINT || byte == SIGTERM || byte == SIGQUIT)
            process->QuitAsynchronously(nullptr);
    }
}

} // namespace kova
