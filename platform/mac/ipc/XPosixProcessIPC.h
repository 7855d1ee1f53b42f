// XPosixProcessIPC is the POSIX part of the command-line process: it turns SIGTERM, SIGINT and
// SIGQUIT into an orderly quit of the process. The handler itself only notes the signal in a
// pipe (nothing else is safe in a signal handler); a reader on the work queues then writes the
// ctrl-c line for SIGINT and asks the process object to quit. A second SIGQUIT takes the default
// action. Destruction puts back the actions that were there before.
#pragma once

#include "kernel/values/VObject.h"

#include <csignal>
#include <sys/types.h>

namespace kova
{

namespace dispatch
{
struct Channel;
} // namespace dispatch

class XPosixProcessIPC : public VObject
{
public:
    XPosixProcessIPC();
    ~XPosixProcessIPC() override;
    XPosixProcessIPC(const XPosixProcessIPC&) = delete;
    XPosixProcessIPC& operator=(const XPosixProcessIPC&) = delete;

    // Installs the handlers; false, with nothing installed, when the pipe, its reader or any
    // sigaction call fails. Once only.
    bool Init();

    // The line written on standard output when SIGINT comes.
    static constexpr char kInterruptLine[] = "\n (ctrl-c has been received - quit)\n\n";

private:
    static void _SignalHandler(int inSignal);
    // On the work queues, for each signal noted.
    static void _HandleSignal(int inSignal, dev_t inOutputDevice, ino_t inOutputNode);
    void _Uninstall();

    static constexpr int kSignalCount = 3;
    int fPipe[2] = {-1, -1};
    dispatch::Channel* fReader = nullptr;
    struct sigaction fPrevious[kSignalCount] = {};
    bool fInstalled[kSignalCount] = {};
};

} // namespace kova
