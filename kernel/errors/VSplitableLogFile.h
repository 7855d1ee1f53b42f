// VSplitableLogFile is a text file of lines in a log folder, named by a base name and a number
// ("base_3.txt"), that splits into the next number once it has grown past 10 MiB, keeping the
// newest files (50 by default). The log file writer (VMsgFileLogger) appends its lines to one.
//
// No line is lost silently. Every write is checked; what the file does not take (a full disk, an
// I/O error) waits, whole lines in order, in a backlog of up to 1 MiB and goes first once the file
// takes lines again; lines beyond the backlog are dropped and counted. A failure is told on
// standard error once per episode, with the path and the reason, and so is the recovery with the
// count of lost lines (never through the logger, which would feed itself). A failed write is tried
// again at the next batch (RetryPending, Flush, Close), not at every line.
//
// A split opens the next file before the current one closes and removes the oldest file after,
// so a process killed at any step keeps every line written and leaves at most one file more than
// it keeps. When the next file cannot be opened, the current one goes on growing and the split is
// tried again at the next batch.
//
// The names are predictable, and whoever may write the folder may plant something under the name
// of a file to come: a file is opened only where its name holds a regular file of its own (never
// through a link, never waiting on a pipe) or nothing, and the next number is taken otherwise.
// The folder is held from the first open on (made when missing), and every file is opened, split
// and removed in the folder held, never through its path again: a folder swapped for a link
// leads no file elsewhere (XMacLogFolder).
//
// The stream is unbuffered: a line the file took is in the file, whatever happens to the process.
// The owner serialises all calls.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/text/CharSet.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "platform/mac/errors/XMacLogFolder.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

namespace kova
{

class VFolder;

class VSplitableLogFile : public VObject
{
public:
    static int32_t sDefaultMaxLogsToKeep;
    // A file is split once it has grown past this size, at the next append.
    static constexpr int64_t kSplitSize = 0xA00000;
    static constexpr size_t kBacklogBytes = 1024 * 1024;
    // Names that hold something else than a log file of its own (a link, a pipe, a folder...) are
    // passed for the next number, this many at most.
    static constexpr int32_t kMaxTakenNames = 1000;

    // Closed; the number is the first file's.
    VSplitableLogFile(const VFolder& inFolder, const VString& inBaseName, int32_t inNumber, bool inBinary);
    // The same in the folder its writer holds already (inFolder's, opened or made earlier).
    VSplitableLogFile(const VFolder& inFolder, const XMacLogFolder& inHeld, const VString& inBaseName,
                      int32_t inNumber, bool inBinary);
    VSplitableLogFile(const VSplitableLogFile&) = delete;
    VSplitableLogFile& operator=(const VSplitableLogFile&) = delete;
    // Closes.
    ~VSplitableLogFile() override;

    // Opens the file of the current number (the first free one from it, with inFindFreeNumber),
    // creating its folder when needed: emptied with inOverwrite, else appended to. A name that
    // holds anything but a log file of its own is passed for the next number (GetLogNumber tells
    // which). The header is written after every open. True when the file is open; on failure
    // GetLastOpenError tells why.
    bool Open(bool inOverwrite, bool inFindFreeNumber);
    bool Open(int32_t inNumber, bool inOverwrite);
    // Writes the footer and what waits (reporting the lines that still cannot be written), then
    // closes.
    void Close();
    // Tries again what waits, then flushes the stream.
    void Flush();
    bool IsOpen() const { return fStream != nullptr; }
    // The POSX code of the last failed open; 0 after a successful one.
    VError GetLastOpenError() const { return fLastOpenError; }

    int32_t GetLogNumber() const { return fNumber; }
    // Closes and reopens on the number when open.
    void SetLogNumber(int32_t inNumber, bool inOverwrite);
    // 0 or less keeps every file.
    void SetMaxLogsToKeep(int32_t inCount) { fMaxToKeep = inCount; }
    int32_t GetMaxLogsToKeep() const { return fMaxToKeep; }
    void SetHeader(const VString& inText) { fHeader = inText; }
    void SetFooter(const VString& inText) { fFooter = inText; }
    // In place of ".txt", when not empty.
    void SetExtension(const VString& inExtension) { fExtension = inExtension; }
    // Written before every append but the first after an open.
    void SetSeparator(const VString& inText) { fSeparator = inText; }

    // Splits when the file has grown past its size: returns the new number, 0 when no split
    // happened (none needed, or the next file could not be opened).
    int32_t CheckLogSize();
    // The separator step alone.
    void CheckEndOfLine();

    // Each is one append: the split check, the separator, then the text (C texts as given, the
    // VString in the file's character set).
    void AppendFormattedString(const char* inFormat, ...) __attribute__((format(printf, 2, 3)));
    void AppendString(const char* inText);
    void AppendString(const VString& inText);
    // Appends each line of the buffer (each ends at the offset given) as AppendString would, the
    // same bytes at the same split points, written in as few calls as the splits allow.
    void AppendLines(const char* inData, const size_t* inLineEnds, size_t inCount);

    // Tries again a write or a split that failed.
    void RetryPending();
    // Bytes waiting for the file, and the lines dropped beyond the backlog since the file was made.
    size_t GetBacklogBytes() const { return fBacklogBytes; }
    uint64_t GetDroppedLineCount() const { return fDroppedLines; }
    // Why lines did not reach the file (a POSX code): lost, or still waiting for it; VE_OK while
    // every line appended so far is in the file.
    VError GetWriteError() const;

    void GetCurrentFileName(VString& outName) const;
    // name + "_" + number + ".txt" (or the extension, when not empty).
    static void BuildLogFileName(const VString& inName, int32_t inNumber, VString& outFileName);
    static void BuildLogFileNameWithExt(const VString& inName, int32_t inNumber, const VString& inExtension,
                                        VString& outFileName);
    // The folder's path with the file of that number; empty when the folder path is.
    void _BuildFilePath(VFilePath& outPath, int32_t inNumber) const;

    // For tests: what writes to the stream (fwrite's contract, errno set on failure), and a call
    // at each step of a split: 1 the next file is open, 2 the current one is closed, 3 the oldest
    // is removed. Null restores the default.
    using WriteFunction = size_t (*)(const void* inData, size_t inSize, FILE* inStream);
    static void SetWriteFunctionForTesting(WriteFunction inFunction);
    static void SetSplitStepHookForTesting(void (*inHook)(int32_t inStep));

private:
    struct Pending
    {
        std::string fBytes;
        // Written as it is, with no split check nor separator: text already cut for the file
        // (lines of a run, or the rest of a line partly written).
        bool fAsIs = false;
    };

    // Opens the file of that number, or of the first number after it whose name is free or holds
    // a log file (ioNumber tells which).
    FILE* _OpenStream(int32_t& ioNumber, bool inOverwrite, std::string& outPosixPath);
    // Holds the folder unless held already, making it when missing; false with fLastOpenError set.
    bool _HoldFolder();
    std::string _PosixPathOf(int32_t inNumber) const;
    // The file's name in the folder, as its POSIX path ends; empty when the path is.
    std::string _NameOf(int32_t inNumber) const;
    // One append of bytes: the split check and the separator, then the write or the backlog.
    void _Append(const char* inData, size_t inSize);
    // Writes what the file takes; the rest waits. False when something was left.
    bool _Write(const char* inData, size_t inSize);
    void _Keep(const char* inData, size_t inSize, bool inAsIs);
    // Writes what waits, first to last, while the file takes it.
    void _Drain();
    // The separator bytes due before the next append.
    std::string _TakeSeparator();
    std::string _Encode(const VString& inText) const;
    // The header or the footer, straight to the current file.
    void _WriteFrame(const VString& inText);
    void _ReportWriteFailure(int inErrno);

    FILE* fStream = nullptr;
    VFilePath fFolder;
    XMacLogFolder fHeldFolder;
    VString fBaseName;
    int32_t fNumber;
    int32_t fMaxToKeep;
    CharSet fCharSet = VTC_UTF_8;
    VString fHeader;
    VString fFooter;
    VString fExtension;
    VString fSeparator;
    bool fFresh = false;
    // Kept as given: POSIX streams make no difference between text and binary files.
    [[maybe_unused]] bool fBinary;
    // The current file's size: what it held when opened and what was written since.
    int64_t fSize = 0;
    VError fLastOpenError = VE_OK;

    std::deque<Pending> fBacklog;
    size_t fBacklogBytes = 0;
    uint64_t fDroppedLines = 0;
    uint64_t fDroppedAtEpisodeStart = 0;
    // The errno of the last write that failed.
    int fWriteErrno = 0;
    // A write failed: nothing is tried again before RetryPending.
    bool fWriteBlocked = false;
    bool fWriteEpisode = false;
    // The next file could not be opened: no split is tried before RetryPending.
    bool fSplitBlocked = false;
    bool fSplitEpisode = false;
};

} // namespace kova
