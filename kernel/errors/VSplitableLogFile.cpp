#include "kernel/errors/VSplitableLogFile.h"

#include "kernel/errors/VDebugMgr.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/StStringConverter.h"
#include "platform/mac/errors/XMacErrorText.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <new>

namespace kova
{

int32_t VSplitableLogFile::sDefaultMaxLogsToKeep = 50;

namespace
{

std::atomic<VSplitableLogFile::WriteFunction> sWriteFunction{nullptr};
std::atomic<void (*)(int32_t)> sSplitStepHook{nullptr};

size_t WriteToStream(const void* inData, size_t inSize, FILE* inStream)
{
    VSplitableLogFile::WriteFunction write = sWriteFunction.load(std::memory_order_acquire);
    return write != nullptr ? write(inData, inSize, inStream) : std::fwrite(inData, 1, inSize, inStream);
}

void SplitStep(int32_t inStep)
{
    if (void (*hook)(int32_t) = sSplitStepHook.load(std::memory_order_acquire))
        hook(inStep);
}

std::string Reason(int inErrno)
{
    VString text;
    if (XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_POSIX, uint32_t(inErrno)), text))
        return to_string(text);
    return "error " + std::to_string(inErrno);
}

// The writer's own troubles go to standard error: through the logger they would feed themselves.
void Report(const char* inFormat, ...) __attribute__((format(printf, 1, 2)));
void Report(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    VDebugMgr::Get()->vfprintf_console(inFormat, arguments);
    va_end(arguments);
}

// The name at the end of a POSIX path; empty when the path has no folder.
std::string FileNameOf(const std::string& inPath)
{
    const size_t slash = inPath.rfind('/');
    return slash == std::string::npos ? std::string() : inPath.substr(slash + 1);
}

} // namespace

void VSplitableLogFile::SetWriteFunctionForTesting(WriteFunction inFunction)
{
    sWriteFunction.store(inFunction, std::memory_order_release);
}

void VSplitableLogFile::SetSplitStepHookForTesting(void (*inHook)(int32_t))
{
    sSplitStepHook.store(inHook, std::memory_order_release);
}

VSplitableLogFile::VSplitableLogFile(const VFolder& inFolder, const VString& inBaseName, int32_t inNumber,
                                     bool inBinary)
    : fFolder(inFolder.GetPath()), fBaseName(inBaseName), fNumber(inNumber),
      fMaxToKeep(sDefaultMaxLogsToKeep), fBinary(inBinary)
{
}

VSplitableLogFile::VSplitableLogFile(const VFolder& inFolder, const XMacLogFolder& inHeld,
                                     const VString& inBaseName, int32_t inNumber, bool inBinary)
    : VSplitableLogFile(inFolder, inBaseName, inNumber, inBinary)
{
    fHeldFolder = inHeld;
}

VSplitableLogFile::~VSplitableLogFile()
{
    Close();
}

// ---------------------------------------------------------------------------------------------
// Names

void VSplitableLogFile::BuildLogFileNameWithExt(const VString& inName, int32_t inNumber,
                                                const VString& inExtension, VString& outFileName)
{
    outFileName.FromString(inName);
    outFileName.AppendUniChar(u'_').AppendLong(inNumber);
    if (inExtension.IsEmpty())
        outFileName.AppendCString(".txt");
    else
        outFileName.AppendString(inExtension);
}

void VSplitableLogFile::BuildLogFileName(const VString& inName, int32_t inNumber, VString& outFileName)
{
    BuildLogFileNameWithExt(inName, inNumber, VString(), outFileName);
}

void VSplitableLogFile::GetCurrentFileName(VString& outName) const
{
    BuildLogFileNameWithExt(fBaseName, fNumber, fExtension, outName);
}

void VSplitableLogFile::_BuildFilePath(VFilePath& outPath, int32_t inNumber) const
{
    if (fFolder.IsEmpty())
    {
        outPath.Clear();
        return;
    }
    VString name;
    BuildLogFileNameWithExt(fBaseName, inNumber, fExtension, name);
    outPath.FromFilePath(fFolder);
    outPath.ToSubFile(name);
}

std::string VSplitableLogFile::_PosixPathOf(int32_t inNumber) const
{
    VFilePath path;
    _BuildFilePath(path, inNumber);
    if (path.IsEmpty() || !path.IsValid())
        return {};
    VString posix;
    path.GetPosixPath(posix);
    return to_string(posix);
}

std::string VSplitableLogFile::_NameOf(int32_t inNumber) const
{
    return FileNameOf(_PosixPathOf(inNumber));
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

bool VSplitableLogFile::_HoldFolder()
{
    if (fHeldFolder.IsOpen())
        return true;
    const std::string path = _PosixPathOf(fNumber);
    const size_t slash = path.rfind('/');
    std::string failed;
    const int error = slash == std::string::npos
                          ? ENOENT
                          : fHeldFolder.Open(path.substr(0, std::max<size_t>(slash, 1)), true, failed);
    if (error == 0)
        return true;
    fLastOpenError = MakeVError(kCOMPONENT_POSIX, uint32_t(error));
    return false;
}

FILE* VSplitableLogFile::_OpenStream(int32_t& ioNumber, bool inOverwrite, std::string& outPosixPath)
{
    for (int32_t taken = 0;; ++taken)
    {
        outPosixPath = _PosixPathOf(ioNumber);
        const std::string name = FileNameOf(outPosixPath);
        if (name.empty())
        {
            fLastOpenError = MakeVError(kCOMPONENT_POSIX, ENOENT);
            return nullptr;
        }
        if (!_HoldFolder())
            return nullptr;
        XMacLogFolder::EOpen result;
        int error = 0;
        FILE* stream = fHeldFolder.OpenStream(name, inOverwrite, result, error);
        if (result == XMacLogFolder::EOpen::kTaken)
        {
            // Planted under the name (a link, a pipe, a folder...): the next number, up to a bound,
            // as each costs a look.
            if (taken < kMaxTakenNames && ioNumber < INT32_MAX)
            {
                ++ioNumber;
                continue;
            }
            error = EEXIST;
        }
        if (stream == nullptr)
        {
            fLastOpenError = MakeVError(kCOMPONENT_POSIX, uint32_t(error != 0 ? error : EIO));
            return nullptr;
        }
        // Unbuffered: every line the file took is in the file, whatever happens to the process.
        std::setvbuf(stream, nullptr, _IONBF, 0);
        fLastOpenError = VE_OK;
        return stream;
    }
}

bool VSplitableLogFile::Open(bool inOverwrite, bool inFindFreeNumber)
{
    if (fStream == nullptr)
    {
        if (inFindFreeNumber && _HoldFolder())
        {
            for (std::string name = _NameOf(fNumber);
                 !name.empty() && fHeldFolder.NameIsTaken(name) && fNumber < INT32_MAX;
                 name = _NameOf(fNumber))
                ++fNumber;
        }
        std::string path;
        fStream = _OpenStream(fNumber, inOverwrite, path);
        if (fStream != nullptr)
        {
            long size = std::ftell(fStream);
            fSize = size > 0 ? size : 0;
        }
    }
    fFresh = true;
    if (fStream == nullptr)
        return false;
    _WriteFrame(fHeader);
    return true;
}

bool VSplitableLogFile::Open(int32_t inNumber, bool inOverwrite)
{
    fNumber = inNumber;
    return Open(inOverwrite, false);
}

void VSplitableLogFile::Close()
{
    if (fStream == nullptr)
        return;
    RetryPending();
    _WriteFrame(fFooter);
    if (fWriteEpisode)
    {
        for (const Pending& entry : fBacklog)
            fDroppedLines +=
                std::max<uint64_t>(1, uint64_t(std::count(entry.fBytes.begin(), entry.fBytes.end(), '\n')));
        const uint64_t lost = fDroppedLines - fDroppedAtEpisodeStart;
        std::string path = _PosixPathOf(fNumber);
        Report("kova log: %s closed before it took %llu lines: they are lost\n", path.c_str(),
               (unsigned long long)lost);
        fBacklog.clear();
        fBacklogBytes = 0;
        fWriteEpisode = false;
        fWriteBlocked = false;
    }
    std::fclose(fStream);
    fStream = nullptr;
}

void VSplitableLogFile::Flush()
{
    RetryPending();
    if (fStream != nullptr)
        std::fflush(fStream);
}

void VSplitableLogFile::SetLogNumber(int32_t inNumber, bool inOverwrite)
{
    fNumber = inNumber;
    if (fStream != nullptr)
    {
        Close();
        Open(inOverwrite, false);
    }
}

void VSplitableLogFile::_WriteFrame(const VString& inText)
{
    if (inText.IsEmpty() || fStream == nullptr)
        return;
    // Header and footer belong to their file: they never wait for another one.
    std::string bytes = _Encode(inText);
    errno = 0;
    size_t written = WriteToStream(bytes.data(), bytes.size(), fStream);
    fSize += int64_t(written);
    if (written < bytes.size())
    {
        const int error = errno != 0 ? errno : EIO;
        std::clearerr(fStream);
        std::string path = _PosixPathOf(fNumber);
        Report("kova log: cannot write the header or footer of %s (%s)\n", path.c_str(),
               Reason(error).c_str());
    }
}

// ---------------------------------------------------------------------------------------------
// Splitting

int32_t VSplitableLogFile::CheckLogSize()
{
    if (fStream == nullptr || fSize <= kSplitSize || fSplitBlocked)
        return 0;
    const int32_t old = fNumber;
    int32_t next = old + 1;
    std::string nextPath;
    FILE* nextStream = _OpenStream(next, true, nextPath);
    if (nextStream == nullptr)
    {
        // The lines go on into the current file; the split is tried again at the next batch.
        fSplitBlocked = true;
        if (!fSplitEpisode)
        {
            fSplitEpisode = true;
            std::string current = _PosixPathOf(old);
            Report("kova log: cannot open %s (%s): the lines go on into %s\n", nextPath.c_str(),
                   Reason(int(NumberOfError(fLastOpenError))).c_str(), current.c_str());
        }
        return 0;
    }
    SplitStep(1);
    _WriteFrame(fFooter);
    std::fclose(fStream);
    SplitStep(2);
    fStream = nextStream;
    fNumber = next;
    fSize = 0;
    fFresh = true;
    if (fSplitEpisode)
    {
        fSplitEpisode = false;
        Report("kova log: split again, into %s\n", nextPath.c_str());
    }
    _WriteFrame(fHeader);
    if (fMaxToKeep >= 1)
    {
        // The files that fell out of the newest max to keep: one, unless taken names were passed.
        const int64_t last = int64_t(next) - fMaxToKeep;
        for (int64_t number = std::max<int64_t>(1, int64_t(old) + 1 - fMaxToKeep); number <= last; ++number)
        {
            const std::string oldest = _NameOf(int32_t(number));
            if (!oldest.empty())
                fHeldFolder.RemoveFile(oldest);
        }
    }
    SplitStep(3);
    return next;
}

// ---------------------------------------------------------------------------------------------
// Appending

std::string VSplitableLogFile::_Encode(const VString& inText) const
{
    StStringConverter<char> bytes(inText, fCharSet, eCRM_NONE);
    return std::string(static_cast<const char*>(bytes.GetData()), bytes.GetSize());
}

std::string VSplitableLogFile::_TakeSeparator()
{
    if (fFresh)
    {
        fFresh = false;
        return {};
    }
    return fSeparator.IsEmpty() ? std::string() : _Encode(fSeparator);
}

void VSplitableLogFile::CheckEndOfLine()
{
    std::string separator = _TakeSeparator();
    if (!separator.empty() && fStream != nullptr)
        _Write(separator.data(), separator.size());
}

void VSplitableLogFile::AppendFormattedString(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    va_list measure;
    va_copy(measure, arguments);
    int length = std::vsnprintf(nullptr, 0, inFormat, measure);
    va_end(measure);
    std::string text;
    if (length > 0)
    {
        text.resize(size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), inFormat, arguments);
        text.resize(size_t(length));
    }
    va_end(arguments);
    _Append(text.data(), text.size());
}

void VSplitableLogFile::AppendString(const char* inText)
{
    if (inText != nullptr)
        _Append(inText, std::strlen(inText));
}

void VSplitableLogFile::AppendString(const VString& inText)
{
    std::string bytes = _Encode(inText);
    _Append(bytes.data(), bytes.size());
}

void VSplitableLogFile::_Append(const char* inData, size_t inSize)
{
    size_t end = inSize;
    AppendLines(inData, &end, 1);
}

void VSplitableLogFile::AppendLines(const char* inData, const size_t* inLineEnds, size_t inCount)
{
    if (fStream == nullptr)
        return;
    if (!fBacklog.empty() && !fWriteBlocked)
        _Drain();
    auto lineStart = [&](size_t inIndex) { return inIndex == 0 ? size_t(0) : inLineEnds[inIndex - 1]; };
    size_t index = 0;
    // Lines wait behind the backlog: they keep their order.
    for (; index < inCount && !fBacklog.empty(); ++index)
        _Keep(inData + lineStart(index), inLineEnds[index] - lineStart(index), false);

    // The other lines go in runs between split points, each run written at once: straight from
    // the buffer, unless separators must be put between the lines.
    const bool separated = !fSeparator.IsEmpty();
    std::string run;
    size_t runStart = lineStart(index);
    size_t runEnd = runStart;
    auto runSize = [&] { return separated ? run.size() : runEnd - runStart; };
    auto writeRun = [&]() -> bool
    {
        bool written =
            separated ? _Write(run.data(), run.size()) : _Write(inData + runStart, runEnd - runStart);
        run.clear();
        runStart = runEnd;
        return written;
    };
    bool failed = false;
    for (; index < inCount && !failed; ++index)
    {
        if (fSize + int64_t(runSize()) > kSplitSize && !fSplitBlocked)
        {
            if (!writeRun())
            {
                failed = true;
                break;
            }
            CheckLogSize();
        }
        if (separated)
        {
            run += _TakeSeparator();
            run.append(inData + lineStart(index), inLineEnds[index] - lineStart(index));
        }
        else
        {
            fFresh = false;
        }
        runEnd = inLineEnds[index];
    }
    if (!failed)
        writeRun();
    // What comes after a failed write waits behind it.
    for (; index < inCount; ++index)
        _Keep(inData + lineStart(index), inLineEnds[index] - lineStart(index), false);
}

bool VSplitableLogFile::_Write(const char* inData, size_t inSize)
{
    if (inSize == 0)
        return true;
    if (fWriteBlocked || fStream == nullptr || !fBacklog.empty())
    {
        _Keep(inData, inSize, true);
        return false;
    }
    errno = 0;
    size_t written = WriteToStream(inData, inSize, fStream);
    fSize += int64_t(written);
    if (written == inSize)
        return true;
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(fStream);
    fWriteBlocked = true;
    _ReportWriteFailure(error);
    _Keep(inData + written, inSize - written, true);
    return false;
}

void VSplitableLogFile::_Keep(const char* inData, size_t inSize, bool inAsIs)
{
    if (inSize == 0)
        return;
    // Text already cut for the file (the rest of a run, split check and separators done) is
    // always kept: dropping part of a line would leave a broken one in the file.
    if (!inAsIs && fBacklogBytes + inSize > kBacklogBytes)
    {
        ++fDroppedLines;
        return;
    }
    try
    {
        fBacklog.push_back({std::string(inData, inSize), inAsIs});
        fBacklogBytes += inSize;
    }
    catch (const std::bad_alloc&)
    {
        ++fDroppedLines;
    }
}

void VSplitableLogFile::_Drain()
{
    fWriteBlocked = false;
    while (!fBacklog.empty() && fStream != nullptr)
    {
        Pending& entry = fBacklog.front();
        if (!entry.fAsIs)
        {
            if (fSize > kSplitSize && !fSplitBlocked)
                CheckLogSize();
            std::string separator = _TakeSeparator();
            entry.fBytes.insert(0, separator);
            fBacklogBytes += separator.size();
            entry.fAsIs = true;
        }
        errno = 0;
        size_t written = WriteToStream(entry.fBytes.data(), entry.fBytes.size(), fStream);
        fSize += int64_t(written);
        fBacklogBytes -= written;
        if (written < entry.fBytes.size())
        {
            const int error = errno != 0 ? errno : EIO;
            std::clearerr(fStream);
            entry.fBytes.erase(0, written);
            fWriteBlocked = true;
            _ReportWriteFailure(error);
            return;
        }
        fBacklog.pop_front();
    }
    if (fWriteEpisode && fBacklog.empty())
    {
        fWriteEpisode = false;
        std::string path = _PosixPathOf(fNumber);
        uint64_t lost = fDroppedLines - fDroppedAtEpisodeStart;
        Report("kova log: %s takes the lines again; %llu lines were lost meanwhile\n", path.c_str(),
               (unsigned long long)lost);
    }
}

void VSplitableLogFile::_ReportWriteFailure(int inErrno)
{
    fWriteErrno = inErrno;
    if (fWriteEpisode)
        return;
    fWriteEpisode = true;
    fDroppedAtEpisodeStart = fDroppedLines;
    std::string path = _PosixPathOf(fNumber);
    Report("kova log: cannot write %s (%s): the lines wait for it\n", path.c_str(), Reason(inErrno).c_str());
}

VError VSplitableLogFile::GetWriteError() const
{
    if (fDroppedLines == 0 && fBacklog.empty())
        return VE_OK;
    return MakeVError(kCOMPONENT_POSIX, uint32_t(fWriteErrno != 0 ? fWriteErrno : EIO));
}

void VSplitableLogFile::RetryPending()
{
    fSplitBlocked = false;
    if (!fBacklog.empty())
        _Drain();
    else
        fWriteBlocked = false;
}

} // namespace kova
