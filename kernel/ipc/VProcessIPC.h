// VProcessIPC is the process object of a program without a user interface: it gathers the
// command-line arguments, lets the program declare and parse its options (DoParseCommandLine),
// keeps the exit value the entry point returns when start-up declines to run, turns SIGTERM,
// SIGINT and SIGQUIT into an orderly quit, and owns the file-system and sleep notifiers.
//
//     int main(int argc, char** argv)
//     {
//         sProcessCommandLineArgc = argc;
//         sProcessCommandLineArgv = argv;
//         VTool tool;                          // derived from VProcessIPC
//         if (!tool.Init(VProcess::kInitLogger))
//             return tool.GetExitValue();
//         tool.Run();
//         ...
//     }
#pragma once

#include "kernel/tasks/VProcess.h"

#include <cstdint>

namespace kova
{

class VCommandLineParser;
class VFileSystemNotifier;
class VSleepNotifier;
class XPosixProcessIPC;

// Stored by the entry point before anything else.
extern int sProcessCommandLineArgc;
extern char** sProcessCommandLineArgv;

class VProcessIPC : public VProcess
{
public:
    VProcessIPC();
    ~VProcessIPC() override;

    static VProcessIPC* sInstance;

    // The toolbox, then the command line, the signal handlers and the notifiers. Once: later
    // calls return the first result.
    bool Init(uint32_t inFlags) override;

    // 1 after a failed start-up or a wrong command line, 0 otherwise.
    int32_t GetExitValue() const { return fExitValue; }
    void SetExitValue(int32_t inValue) { fExitValue = inValue; }

protected:
    // While the process runs, the main task's messages, 100 ms at a time.
    void DoRun() override;
    // 0 go on, 1 wrong command line (exit value 1), 2 done (exit value 0); the default takes any
    // command line without parsing it.
    virtual int32_t DoParseCommandLine(VCommandLineParser& ioParser);

private:
    bool fInitDone = false;
    bool fInitResult = false;
    XPosixProcessIPC* fImpl = nullptr;
    VFileSystemNotifier* fFileSystemNotifier = nullptr;
    VSleepNotifier* fSleepNotifier = nullptr;
    int32_t fExitValue = 1;
};

} // namespace kova
