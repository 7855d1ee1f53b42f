// VProcessIPC is the process object of the programs without a user interface. Beyond VProcess it
// gathers the command-line arguments and hands them, in a parser, to DoParseCommandLine, where the
// concrete process declares and parses its options; it keeps the exit value its program's entry
// point returns when Init declines to run; it quits in an orderly way on SIGTERM, SIGINT and
// SIGQUIT; and it owns the file-system notifier (start-up flag 64) and the sleep notifier.
//
//     int main(int argc, char** argv)
//     {
//         sProcessCommandLineArgc = argc;
//         sProcessCommandLineArgv = argv;
//         VTool tool; // derived from VProcessIPC, with its own DoParseCommandLine
//         if (!tool.Init(VProcess::kInitLogger))
//             return tool.GetExitValue();
//         tool.SetExitValue(0);
//         tool.Run();
//         return tool.GetExitValue();
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

// Stored by the program's entry point before anything else; read by VProcessIPC::Init.
extern int sProcessCommandLineArgc;
extern char** sProcessCommandLineArgv;

class VProcessIPC : public VProcess
{
public:
    // Sets sInstance.
    VProcessIPC();
    VProcessIPC(const VProcessIPC&) = delete;
    VProcessIPC& operator=(const VProcessIPC&) = delete;
    // Deletes the notifiers and the signal handling, clears sInstance, then takes the toolbox down.
    ~VProcessIPC() override;

    // The command-line process while it exists.
    static VProcessIPC* sInstance;

    // Brings the toolbox up, parses the command line, installs the signal handling and makes the
    // notifiers. False when start-up failed (exit value 1), when the command line was wrong (1) or
    // asked to stop (0, after the help page); the program then ends without running. A second
    // call returns the first result.
    bool Init(uint32_t inFlags) override;

    // 1 until Init has parsed the command line.
    int32_t GetExitValue() const { return fExitValue; }
    void SetExitValue(int32_t inValue) { fExitValue = inValue; }

    // Null unless made at start-up. Owned by the process.
    VFileSystemNotifier* GetFileSystemNotifier() const { return fFileSystemNotifier; }
    VSleepNotifier* GetSleepNotifier() const { return fSleepNotifier; }

protected:
    // Executes the main task's messages, 100 ms at a time, while the process runs.
    void DoRun() override;
    // Declares the options on the parser and parses: 0 go on, 1 wrong command line, 2 stop
    // (nothing more to do). The default accepts any command line without parsing it.
    virtual int32_t DoParseCommandLine(VCommandLineParser& ioParser);

private:
    bool fInitDone = false;
    bool fInitResult = false;
    XPosixProcessIPC* fPosix = nullptr;
    VFileSystemNotifier* fFileSystemNotifier = nullptr;
    VSleepNotifier* fSleepNotifier = nullptr;
    int32_t fExitValue = 1;
};

} // namespace kova
