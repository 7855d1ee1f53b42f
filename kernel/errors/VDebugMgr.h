// VDebugMgr is the one place where the toolbox reacts to a pushed error, a failed assertion or a
// debug message. From a few flags and the calling task's debug context it decides whether to
// write an entry into the assert file, log a record through the process logger, copy the text to
// standard error, ask the debug message handler, and break into the debugger. With the settings
// start-up leaves (messages on, no handler, no assert file, no copies, no breaking), each error
// that no context silences becomes one ERROR record of the process logger.
//
// A task busy with one of these (the logging of an error may push another) or in low-level mode
// is left alone. The assert file is the application bundle's path cut at its extension, followed
// by "_asserts.txt"; each entry opens, writes and closes it, never through a link at its name nor
// waiting on a pipe there (such a name is skipped), and writes its text's control characters but
// line feeds in the log files' visible form.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

namespace kova
{

class IDebugMessageHandler;
class VDebugContext;
class VErrorBase;
class VString;

enum VDebuggerType : int32_t
{
    VDT_None = 0,
    VDT_Console = 1,
    VDT_System = 2, // the platform's debugger, reached through its break call
};

class VDebugMgr
{
public:
    VDebugMgr();
    VDebugMgr(const VDebugMgr&) = delete;
    VDebugMgr& operator=(const VDebugMgr&) = delete;
    ~VDebugMgr();

    static VDebugMgr* Get() { return &sInstance; }

    // Start-up turns messages on; shut-down turns them off and drops the handler and the file.
    bool Init();
    void DeInit();

    bool SetBreakOnAssert(bool inOn) { return _Set(fBreakOnAssert, inOn); }
    bool GetBreakOnAssert() const { return fBreakOnAssert; }
    bool SetBreakOnDebugMsg(bool inOn) { return _Set(fBreakOnDebugMsg, inOn); }
    bool GetBreakOnDebugMsg() const { return fBreakOnDebugMsg; }
    bool SetMessagesEnabled(bool inOn) { return _Set(fMessagesEnabled, inOn); }
    bool GetMessagesEnabled() const { return fMessagesEnabled; }
    // Copies to standard error (together with console output).
    bool SetLogInDebugger(bool inOn) { return _Set(fLogInDebugger, inOn); }
    bool GetLogInDebugger() const { return fLogInDebugger; }
    // Nothing of the toolbox turns these on; tools and tests may.
    bool SetWriteAssertFile(bool inOn) { return _Set(fWriteAssertFile, inOn); }
    bool GetWriteAssertFile() const { return fWriteAssertFile; }
    bool SetBreakOnError(bool inOn) { return _Set(fBreakOnError, inOn); }
    bool GetConsoleOutput() const { return fConsoleOutput; }

    // Retained; the previous one released.
    void SetDebugMessageHandler(IDebugMessageHandler* inHandler);

    // Nested, on the calling task.
    void StartLowLevelMode();
    void StopLowLevelMode();

    // Into the debugger, unless the calling task suppresses breaks. Without a debugger attached
    // nothing happens.
    void Break();
    // Ends the process at once with a failure status, the process logger's waiting records
    // written first.
    [[noreturn]] void Abort();

    void fprintf_console(const char* inFormat, ...);
    void vfprintf_console(const char* inFormat, va_list inArguments);
    bool _GetDebuggerType(VDebuggerType* outType) const;

    void DebugMsg(const char* inFormat, va_list inArguments);
    void DebugMsg(const VString& inMessage);
    // True when the caller should break into the debugger.
    bool AssertFailed(const char* inMessage, const char* inFile, int inLine);
    void ErrorThrown(VErrorBase* inError);

    // One entry: its head (an empty line, the date, the caller's stack as asked), then the text.
    void WriteToAssertFile(const VString& inText, bool inWithDate, bool inWithCrawl);
    // Made once: the bundle's path cut at its extension, followed by "_asserts.txt".
    const char* _GetAssertFilePath();
    // Open for the caller to write an entry and close; null when it cannot be opened.
    FILE* _OpenAssertFile(bool inWithDate, bool inWithCrawl);

private:
    static bool _Set(bool& ioFlag, bool inOn)
    {
        bool previous = ioFlag;
        ioFlag = inOn;
        return previous;
    }
    // Applies an answer that quits; answers whether it asked for a break.
    bool _Quits(int32_t inAnswer);
    void _BreakUnlessSuppressed(VDebugContext* inContext);
    void _HandleDebugMessage(const VString& inMessage, VDebugContext* inContext);

    static VDebugMgr sInstance;

    bool fConsoleOutput = true;
    bool fMessagesEnabled = false;
    bool fBreakOnAssert = false;
    bool fBreakOnDebugMsg = false;
    bool fBreakOnError = false;
    bool fLogInDebugger = false;
    bool fWriteAssertFile = false;
    // Retained.
    IDebugMessageHandler* fHandler = nullptr;
    // File name immediately followed by the line number.
    std::set<std::string> fIgnoredAssertions;
    bool fIgnoreAllAssertions = false;
    std::set<VError> fIgnoredErrors;
    bool fIgnoreAllErrors = false;
    std::string fAssertFilePath;
    bool fAssertFileOpened = false;
    uint32_t fRolloverCount = 0;
};

} // namespace kova
