// XPosixProcessIPC is the POSIX part of VProcessIPC: it turns SIGTERM, SIGINT and SIGQUIT into a
// quit request of the process object. The handler only writes the signal's number to a pipe; a
// thread of its own reads it, prints the console line of SIGINT and asks the process to quit, so
// that nothing but a write runs in the handler and the quit itself happens on the main task.
#pragma once

#include "kernel/values/VObject.h"

#include <thread>

namespace kova
{

class XPosixProcessIPC : public VObject
{
public:
    XPosixProcessIPC() = default;
    // Restores the default actions, then ends the reading thread.
    ~XPosixProcessIPC() override;
    XPosixProcessIPC(const XPosixProcessIPC&) = delete;
    XPosixProcessIPC& operator=(const XPosixProcessIPC&) = delete;

    // Installs the handlers; false when a sigaction call or the pipe fails.
    bool Init();

private:
    void _Watch();

    std::thread fWatcher;
    bool fInstalled = false;
};

} // namespace kova
