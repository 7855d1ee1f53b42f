// VMsgFileLogger writes the records of the process logger as text lines into split log files
// (VSplitableLogFile) in a log folder: one line a record,
//
//     12 2026-01-31T09:05:07.250 [Engine.kova] ERROR - [600] abc (task=3)
//
// the process-wide sequence number, the local time of writing, the source with the record's
// component, the level, and the message with the error number in front and the record's other
// attributes behind. A record is one line whatever its texts hold: their control characters are
// written in a visible form (AppendLogText), so that no text can start a line of its own. While
// started, its listener (VMsgFileLogListener) is registered with the process logger, whose task
// hands it the records in batches; a batch is written at once.
//
// Start appends to the last file of the folder's run (base_1.txt, base_2.txt, ...). A folder it
// cannot write raises a file error that says why, and the writer stays stopped. The writer holds
// its folder from the moment it makes or first opens it (CreateLogFolder, Start) until it is
// deleted: the files of every run are listed, opened, split and removed in that folder, whatever
// its path comes to name (XMacLogFolder).
//
// The writer's lock comes after the logger's listener lock: the listener is added once the
// writer's lock is released and removed before it is taken.
#pragma once

#include "kernel/errors/ILogListener.h"
#include "kernel/errors/ILogger.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VTime.h"
#include "platform/mac/errors/XMacLogFolder.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kova
{

class VFolder;
class VSplitableLogFile;
class VValueBag;

class VMsgFileLogger : public VObject
{
public:
    // The listener the writer registers with the process logger. It lives and dies with its
    // writer: the logger's references never destroy it.
    class VMsgFileLogListener : public VObject, public ILogListener
    {
    public:
        explicit VMsgFileLogListener(VMsgFileLogger* inWriter) : fWriter(inWriter) {}

        void Put(const std::vector<const VValueBag*>& inRecords) override;
        // One line: the texts encoded in UTF-8, line ends kept.
        void Log(const VString& inSource, EMessageLevel inLevel, const VString& inMessage);
        void Log(const char* inSource, EMessageLevel inLevel, const char* inMessage);

        void DoOnRefCountZero() override {}

    private:
        VMsgFileLogger* fWriter;
    };

    // Not started; the log name is the files' base name.
    VMsgFileLogger(const VFolder& inFolder, const VString& inLogName);
    VMsgFileLogger(const VMsgFileLogger&) = delete;
    VMsgFileLogger& operator=(const VMsgFileLogger&) = delete;
    ~VMsgFileLogger() override;

    // Opens the last file of the folder's run and registers the listener. Without a process
    // logger, nothing happens; a file that cannot be opened raises a file error (the POSX code
    // below it tells why).
    virtual void Start();
    // The same on a given file number.
    void Start(int32_t inNumber);
    // Unregisters the listener (what waits in the logger is written first) and closes the file.
    virtual void Stop();
    virtual bool IsStarted() const { return fStarted.load(std::memory_order_relaxed); }
    // A file is open.
    bool _IsStarted() const;

    // Started, and the level's bit (mod 32) in the mask; the paused flag is not looked at.
    bool ShouldLog(EMessageLevel inLevel) const;
    // While paused, records are dropped, not kept.
    void Pause() { fPaused.store(true, std::memory_order_relaxed); }
    void Resume() { fPaused.store(false, std::memory_order_relaxed); }
    bool IsPaused() const { return fPaused.load(std::memory_order_relaxed); }
    void Flush();
    // Why lines of this run did not reach the file (a POSX code): lost, or still waiting for a
    // file that does not take them; VE_OK while every line is in the file, and while stopped.
    VError GetWriteError() const;

    void GetLogFolderPath(VFilePath& outPath) const { outPath.FromFilePath(fLogFolder); }
    void GetLogName(VString& outName) const { outName.FromString(fLogName); }
    // The file being written, whose number grows as the run splits; false, with the path
    // untouched, while no file is open.
    bool GetLogFilePath(VFilePath& outPath) const;
    // The current file's; without a file the setter does nothing and the getter answers 0.
    void SetLogMaxNumberToKeep(int32_t inCount);
    int32_t GetLogMaxNumberToKeep() const;

    // "DUMP" ... "FATAL"; "INFO" for any other level.
    static const char* GetMessageLevelName(EMessageLevel inLevel);
    // The source (with the record's component), level and message (with the error number and the
    // other attributes) of the record's line.
    static void GetLogInfosFromBag(const VValueBag* inRecord, VString& outSource, EMessageLevel& outLevel,
                                   VString& outMessage);
    static void BuildLogFileName(const VString& inName, int32_t inNumber, VString& outFileName);
    // Makes the log folder with its missing parents as Start does, and holds it from then on: the
    // files are made in the folder made, whoever puts a link in its place. A folder that exists is
    // held as named. A failure raises a folder error on the folder that could not be made (the
    // POSX code below it tells why).
    VError CreateLogFolder();
    // Appends UTF-8 text to a line of a log file, each control character in a visible form that
    // cannot end the line: \n, \r, \t, \xHH for the other C0 controls and DEL, \uHHHH for the C1
    // controls and the line and paragraph separators. A backslash stays as it is. With
    // inKeepLineFeeds, line feeds are written as they are (for files whose entries span lines).
    static void AppendLogText(std::string& ioLine, std::string_view inText, bool inKeepLineFeeds = false);

    // For tests: the wall clock of the lines, in milliseconds since 1970 (UTC); null restores the
    // system's.
    void SetClockForTesting(int64_t (*inClock)()) { fClock.store(inClock, std::memory_order_relaxed); }

private:
    friend class VMsgFileLogListener;

    // The source and message of a record's line, in UTF-8; inProcessSource stands for a source
    // the record lacks.
    static void _GetLineParts(const VValueBag* inRecord, std::string_view inProcessSource,
                              EMessageLevel& outLevel, std::string& outSource, std::string& outMessage,
                              VString& ioScratch);
    // Under the lock: the line of the record at the end of ioLines; false when its level is
    // not written.
    bool _FormatRecord(const VValueBag* inRecord, std::string& ioLines);
    // Under the lock: the line of the texts at the end of ioLines.
    void _FormatLine(std::string_view inSource, EMessageLevel inLevel, std::string_view inMessage,
                     std::string& ioLines);
    bool _Writes(EMessageLevel inLevel) const;
    void _WriteBatch(const std::vector<const VValueBag*>& inRecords);
    void _WriteLine(std::string_view inSource, EMessageLevel inLevel, std::string_view inMessage);
    // Under the lock: holds the folder unless held already, making it when missing. 0, or the
    // errno with outFailed naming the folder that could not be opened or made.
    int _HoldFolder(std::string& outFailed);
    // The number of the last file of the run the folder holds; 1 when it holds none.
    int32_t _ChooseFileNumber(const XMacLogFolder& inFolder) const;

    mutable VCriticalSection fLock;
    VTime fStartTime;
    VFilePath fLogFolder;
    // Closed when the writer is deleted.
    XMacLogFolder fHeldFolder;
    VString fLogName;
    // Owned; null while stopped.
    VSplitableLogFile* fFile = nullptr;
    std::atomic<bool> fStarted{false};
    std::atomic<bool> fPaused{false};
    const uint32_t fLevelMask = 0xF0;
    VMsgFileLogListener fListener{this};
    std::atomic<int64_t (*)()> fClock{nullptr};
    // The local time of the last second a line was written in, without its milliseconds.
    int64_t fTimeSecond = -1;
    std::string fTimeText;
    // The offsets where the lines of the batch being written end.
    std::vector<size_t> fLineEnds;
    std::string fLines;
    // Kept from one record to the next, for their buffers.
    std::string fSource;
    std::string fMessage;
    VString fScratch;
    // The process's source, read at most once a batch.
    bool fProcessSourceRead = false;
    std::string fProcessSourceText;
};

} // namespace kova
