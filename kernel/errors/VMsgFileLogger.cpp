#include "kernel/errors/VMsgFileLogger.h"

#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VSplitableLogFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/values/ValueKind.h"
#include "kernel/values/VValueBag.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <new>
#include <set>
#include <string_view>
#include <unordered_map>

namespace kova
{

namespace
{

// The labels of the attributes shown behind a message; an empty label hides its attribute, and
// a key the table lacks is shown under its own name.
const std::unordered_map<std::string_view, std::string_view>& AttributeLabels()
{
    static const std::unordered_map<std::string_view, std::string_view> sLabels = {
        {"message", ""},
        {"error_code", ""},
        {"level", ""},
        {"source", ""},
        {"component_signature", ""},
        {"task_id", "task="},
        {"task_name", "taskName="},
        {"socket", "socket="},
        {"local_addr", "localAddr="},
        {"local_port", "localPort="},
        {"peer_addr", "peerAddr="},
        {"peer_port", "peerPort="},
        {"exchange_id", "exchangeEndpointId="},
        {"is_blocking", "blocking="},
        {"is_ssl", "SSL="},
        {"is_select_io", "selectIO="},
        {"ms_timeout", "timeout="},
        {"count_bytes_asked", "asked="},
        {"count_bytes_sent", "sent="},
        {"count_bytes_received", "received="},
        {"ms_spent", "executionTime="},
        {"dump_offset", "offset="},
        {"dump_buffer", "data="},
        {"file_name", "fileName="},
        {"line_number", "lineNumber="},
        {"stack_crawl", "stackCrawl="},
        {"user_id", "UUID="},
    };
    return sLabels;
}

// Built with the process: the table is ready before any line is written.
[[maybe_unused]] const auto& sLabelsAtStart = AttributeLabels();

EMessageLevel LevelOf(const VValueBag* inRecord)
{
    int32_t level = ILoggerBagKeys::level.GetDefault().Get();
    if (inRecord != nullptr)
        inRecord->GetLong(ILoggerBagKeys::level, level);
    return EMessageLevel(uint32_t(level));
}

VLogger* ProcessLogger()
{
    return VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr;
}

int64_t SystemClock()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// UTF-16 units to UTF-8 at the end of ioBytes, a line feed written as inLineFeed when given.
void AppendUTF8(std::string& ioBytes, const UniChar* inUnits, int32_t inCount,
                std::string_view inLineFeed = {})
{
    static const VFromUnicodeConverter_UTF8 sEncoder;
    for (int32_t i = 0; i < inCount;)
    {
        // The common text is ASCII: one byte a unit.
        while (i < inCount && inUnits[i] < 0x80)
        {
            if (inUnits[i] == u'\n' && !inLineFeed.empty())
                ioBytes.append(inLineFeed);
            else
                ioBytes.push_back(char(inUnits[i]));
            ++i;
        }
        int32_t end = i;
        while (end < inCount && inUnits[end] >= 0x80)
            ++end;
        if (end == i)
            continue;
        const size_t start = ioBytes.size();
        ioBytes.resize(start + size_t(end - i) * 3);
        int32_t consumed = 0;
        size_t produced = 0;
        sEncoder.Convert(inUnits + i, end - i, consumed, ioBytes.data() + start, size_t(end - i) * 3,
                         produced);
        ioBytes.resize(start + produced);
        // A high surrogate alone at the end: its own 3-byte form, as the encoder writes one inside.
        for (i += consumed; i < end; ++i)
        {
            const UniChar unit = inUnits[i];
            ioBytes.push_back(char(0xE0 | (unit >> 12)));
            ioBytes.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
            ioBytes.push_back(char(0x80 | (unit & 0x3F)));
        }
    }
}

void AppendUTF8(std::string& ioBytes, const VString& inText, std::string_view inLineFeed = {})
{
    AppendUTF8(ioBytes, inText.GetCPointer(), inText.GetLength(), inLineFeed);
}

// The text of any value kind; a string's units are read where they are.
void AppendValueUTF8(std::string& ioBytes, const VValueSingle& inValue, std::string_view inLineFeed = {})
{
    if (inValue.GetValueKind() == VK_STRING)
    {
        AppendUTF8(ioBytes, static_cast<const VString&>(inValue), inLineFeed);
        return;
    }
    VString text;
    inValue.GetString(text);
    AppendUTF8(ioBytes, text, inLineFeed);
}

} // namespace

VMsgFileLogger::VMsgFileLogger(const VFolder& inFolder, const VString& inLogName)
    : fLogFolder(inFolder.GetPath()), fLogName(inLogName)
{
}

VMsgFileLogger::~VMsgFileLogger()
{
    VMsgFileLogger::Stop();
}

// ---------------------------------------------------------------------------------------------
// Starting and stopping

int VMsgFileLogger::_HoldFolder(std::string& outFailed)
{
    if (fHeldFolder.IsOpen())
        return 0;
    VString posix;
    fLogFolder.GetPosixPath(posix);
    const std::string path = to_string(posix);
    outFailed = path;
    return fLogFolder.IsFolder() ? fHeldFolder.Open(path, true, outFailed) : ENOENT;
}

int32_t VMsgFileLogger::_ChooseFileNumber(const XMacLogFolder& inFolder) const
{
    // The numbers of the files the folder holds under this log name.
    VString firstName;
    BuildLogFileName(fLogName, 1, firstName);
    VFilePath firstPath(fLogFolder);
    firstPath.ToSubFile(firstName);
    VString posix;
    firstPath.GetPosixPath(posix);
    const std::string first = to_string(posix);
    const std::string name = first.substr(first.rfind('/') + 1);
    const std::string prefix = name.substr(0, name.size() - std::strlen("1.txt"));
    std::vector<std::string> names;
    inFolder.GetFileNames(prefix, names);
    std::set<int32_t> numbers;
    for (const std::string& entryName : names)
    {
        if (entryName.size() <= prefix.size() + 4 || entryName.compare(entryName.size() - 4, 4, ".txt") != 0)
            continue;
        std::string_view digits(entryName);
        digits = digits.substr(prefix.size(), digits.size() - prefix.size() - 4);
        if (digits.empty() || digits.size() > 9 || digits.front() == '0' ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        numbers.insert(int32_t(std::stol(std::string(digits))));
    }
    if (numbers.empty())
        return 1;
    // The run that starts at 1, or, when 1 is gone (an older run's first files removed), at the
    // lowest number there: a new file 1 would have its successors emptied by the splits to come.
    int32_t number = numbers.count(1) != 0 ? 1 : *numbers.begin();
    while (numbers.count(number + 1) != 0)
        ++number;
    return number;
}

VError VMsgFileLogger::CreateLogFolder()
{
    std::string failed;
    int error;
    {
        StLocker lock(fLock);
        error = _HoldFolder(failed);
    }
    if (error == 0)
        return VE_OK;
    if (failed.empty() || failed.back() != '/')
        failed.push_back('/');
    const VFilePath failedPath(VString(failed.data(), failed.size(), VTC_UTF_8), FPS_POSIX);
    return VFileError::ThrowFromNative(failedPath, MakeVError(kCOMPONENT_POSIX, uint32_t(error)),
                                       VE_FOLDER_CANNOT_CREATE);
}

void VMsgFileLogger::Start()
{
    if (!fLogFolder.IsFolder() || fLogName.IsEmpty() || ProcessLogger() == nullptr)
        return;
    // The run is chosen in the folder held, where its files are opened.
    XMacLogFolder folder;
    {
        StLocker lock(fLock);
        std::string failed;
        _HoldFolder(failed);
        folder = fHeldFolder;
    }
    // A folder that cannot be held: Start(int) tells why.
    Start(folder.IsOpen() ? _ChooseFileNumber(folder) : 1);
}

void VMsgFileLogger::Start(int32_t inNumber)
{
    VLogger* logger = ProcessLogger();
    if (logger == nullptr)
        return;
    VError failure = VE_OK;
    VFilePath failedPath;
    {
        StLocker lock(fLock);
        if (fFile != nullptr || !fLogFolder.IsFolder() || fLogName.IsEmpty())
            return;
        std::string failedFolder;
        const int folderError = _HoldFolder(failedFolder);
        VSplitableLogFile* file =
            new (std::nothrow) VSplitableLogFile(VFolder(fLogFolder), fHeldFolder, fLogName, inNumber, false);
        if (file == nullptr)
            return;
        if (folderError != 0 || !file->Open(false, false))
        {
            failure = folderError != 0 ? MakeVError(kCOMPONENT_POSIX, uint32_t(folderError))
                                       : file->GetLastOpenError();
            file->_BuildFilePath(failedPath, inNumber);
            delete file;
        }
        else
        {
            fFile = file;
            VTime::Now(fStartTime);
            fStarted.store(true, std::memory_order_relaxed);
        }
    }
    if (failure != VE_OK)
    {
        VFileError::ThrowFromNative(failedPath, failure, VE_FILE_CANNOT_OPEN);
        return;
    }
    // Outside the writer's lock: the logger's listener lock comes first.
    logger->AddLogListener(&fListener);
}

void VMsgFileLogger::Stop()
{
    bool hasFile;
    {
        StLocker lock(fLock);
        hasFile = fFile != nullptr;
    }
    if (hasFile)
    {
        // Before the writer's lock: what waits in the logger reaches the file first.
        if (VLogger* logger = ProcessLogger())
            logger->RemoveLogListener(&fListener);
        StLocker lock(fLock);
        delete fFile;
        fFile = nullptr;
        fStarted.store(false, std::memory_order_relaxed);
    }
    fStartTime.Clear();
}

bool VMsgFileLogger::_IsStarted() const
{
    StLocker lock(fLock);
    return fFile != nullptr && fFile->IsOpen();
}

bool VMsgFileLogger::ShouldLog(EMessageLevel inLevel) const
{
    return IsStarted() && (fLevelMask & (1u << (uint32_t(inLevel) % 32))) != 0;
}

bool VMsgFileLogger::_Writes(EMessageLevel inLevel) const
{
    return ShouldLog(inLevel) && !IsPaused();
}

void VMsgFileLogger::Flush()
{
    StLocker lock(fLock);
    if (fFile != nullptr)
    {
        fFile->RetryPending();
        fFile->Flush();
    }
}

void VMsgFileLogger::SetLogMaxNumberToKeep(int32_t inCount)
{
    StLocker lock(fLock);
    if (fFile != nullptr)
        fFile->SetMaxLogsToKeep(inCount);
}

VError VMsgFileLogger::GetWriteError() const
{
    StLocker lock(fLock);
    return fFile != nullptr ? fFile->GetWriteError() : VE_OK;
}

bool VMsgFileLogger::GetLogFilePath(VFilePath& outPath) const
{
    StLocker lock(fLock);
    if (fFile == nullptr)
        return false;
    VString name;
    fFile->GetCurrentFileName(name);
    outPath.FromFilePath(fLogFolder);
    outPath.ToSubFile(name);
    return true;
}

int32_t VMsgFileLogger::GetLogMaxNumberToKeep() const
{
    StLocker lock(fLock);
    return fFile != nullptr ? fFile->GetMaxLogsToKeep() : 0;
}

// ---------------------------------------------------------------------------------------------
// Lines

const char* VMsgFileLogger::GetMessageLevelName(EMessageLevel inLevel)
{
    static const char* const sNames[] = {"DUMP", "TRACE", "ASSERT", "DEBUG",
                                         "INFO", "WARN",  "ERROR",  "FATAL"};
    return uint32_t(inLevel) < 8 ? sNames[inLevel] : "INFO";
}

void VMsgFileLogger::BuildLogFileName(const VString& inName, int32_t inNumber, VString& outFileName)
{
    VSplitableLogFile::BuildLogFileName(inName, inNumber, outFileName);
}

void VMsgFileLogger::AppendLogText(std::string& ioLine, std::string_view inText, bool inKeepLineFeeds)
{
    // The bytes that may begin a control character: C0 and DEL; 0xC2 leads the C1 controls and
    // 0xE2 the separators U+2028 and U+2029, which some readers take for line ends.
    static constexpr auto kMayControl = []
    {
        std::array<bool, 256> table{};
        for (int byte = 0; byte < 0x20; ++byte)
            table[size_t(byte)] = true;
        table[0x7F] = table[0xC2] = table[0xE2] = true;
        return table;
    }();
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto* bytes = reinterpret_cast<const unsigned char*>(inText.data());
    const size_t size = inText.size();
    size_t copied = 0;
    for (size_t i = 0; i < size; ++i)
    {
        if (!kMayControl[bytes[i]])
            continue;
        char form[6] = {'\\'};
        size_t formSize = 2;
        size_t length = 1;
        const unsigned char byte = bytes[i];
        if (byte == 0xC2 || byte == 0xE2)
        {
            uint32_t codePoint;
            if (byte == 0xC2 && i + 1 < size && bytes[i + 1] >= 0x80 && bytes[i + 1] <= 0x9F)
            {
                codePoint = bytes[i + 1];
                length = 2;
            }
            else if (byte == 0xE2 && i + 2 < size && bytes[i + 1] == 0x80 &&
                     (bytes[i + 2] == 0xA8 || bytes[i + 2] == 0xA9))
            {
                codePoint = 0x2000u | (bytes[i + 2] - 0x80u);
                length = 3;
            }
            else
            {
                continue;
            }
            form[1] = 'u';
            for (int digit = 0; digit < 4; ++digit)
                form[2 + digit] = kHex[(codePoint >> (12 - 4 * digit)) & 0xF];
            formSize = 6;
        }
        else if (byte == '\n')
        {
            if (inKeepLineFeeds)
                continue;
            form[1] = 'n';
        }
        else if (byte == '\r')
        {
            form[1] = 'r';
        }
        else if (byte == '\t')
        {
            form[1] = 't';
        }
        else
        {
            form[1] = 'x';
            form[2] = kHex[byte >> 4];
            form[3] = kHex[byte & 0xF];
            formSize = 4;
        }
        ioLine.append(inText.data() + copied, i - copied).append(form, formSize);
        i += length - 1;
        copied = i + 1;
    }
    ioLine.append(inText.data() + copied, size - copied);
}

void VMsgFileLogger::GetLogInfosFromBag(const VValueBag* inRecord, VString& outSource,
                                        EMessageLevel& outLevel, VString& outMessage)
{
    std::string processSource;
    if (VProcess::sInstance != nullptr)
        AppendUTF8(processSource, VProcess::sInstance->GetLogSourceIdentifier());
    std::string source;
    std::string message;
    VString scratch;
    _GetLineParts(inRecord, processSource, outLevel, source, message, scratch);
    outSource.FromBlock(source.data(), source.size(), VTC_UTF_8);
    outMessage.FromBlock(message.data(), message.size(), VTC_UTF_8);
}

void VMsgFileLogger::_GetLineParts(const VValueBag* inRecord, std::string_view inProcessSource,
                                   EMessageLevel& outLevel, std::string& outSource, std::string& outMessage,
                                   VString& ioScratch)
{
    outLevel = LevelOf(inRecord);
    // Values are read into locals and the scratch string: no value object is made for them.
    int64_t errorNumber = 0;
    if (inRecord != nullptr)
        inRecord->GetLong8(ILoggerBagKeys::error_code, errorNumber);
    const VError error = VError(errorNumber);
    if (inRecord != nullptr && inRecord->GetString(ILoggerBagKeys::source, ioScratch))
        AppendUTF8(outSource, ioScratch);
    else
        outSource.append(inProcessSource);

    // The component: the record's own, even 0, else the error's.
    int32_t component = 0;
    const OsType signature =
        inRecord != nullptr && inRecord->GetLong(ILoggerBagKeys::component_signature, component)
            ? OsType(component)
            : ComponentOfError(error);
    if (signature != 0)
    {
        if (!outSource.empty())
            outSource.push_back('.');
        const char bytes[4] = {char(signature >> 24), char(signature >> 16), char(signature >> 8),
                               char(signature)};
        if ((signature & 0x80808080u) == 0)
            outSource.append(bytes, 4);
        else
            AppendUTF8(outSource, VString().AppendOsType(signature));
    }

    if (error != VE_OK)
        outMessage.append("[").append(std::to_string(NumberOfError(error))).append("] ");
    if (inRecord != nullptr && inRecord->GetString(ILoggerBagKeys::message, ioScratch))
        AppendUTF8(outMessage, ioScratch);

    outMessage.append(" (");
    const auto& labels = AttributeLabels();
    bool shown = false;
    const int32_t count = inRecord != nullptr ? inRecord->GetAttributesCount() : 0;
    for (int32_t i = 0; i < count; ++i)
    {
        const StPackedDictionaryKey key = inRecord->GetAttributesDictionary().GetNthKey(size_t(i));
        const std::string_view name(key.GetKey(), key.GetKeyLength());
        auto found = labels.find(name);
        if (found != labels.end() && found->second.empty())
            continue;
        const VValueSingle* value = inRecord->GetNthAttribute(i + 1, nullptr);
        if (value == nullptr)
            continue;
        if (shown)
            outMessage.append(", ");
        shown = true;
        if (found != labels.end())
            outMessage.append(found->second);
        else
            outMessage.append(name).push_back('=');
        AppendValueUTF8(outMessage, *value, " ; ");
    }
    outMessage.push_back(')');
}

void VMsgFileLogger::_FormatLine(std::string_view inSource, EMessageLevel inLevel, std::string_view inMessage,
                                 std::string& ioLines)
{
    int64_t (*clock)() = fClock.load(std::memory_order_relaxed);
    const int64_t now = clock != nullptr ? clock() : SystemClock();
    const int64_t second = now >= 0 ? now / 1000 : (now - 999) / 1000;
    if (second != fTimeSecond)
    {
        // The local date and time of the second, made once a second.
        VTime time;
        time.FromUTCTime(1970, 1, 1, 0, 0, 0, 0);
        time.AddMilliseconds(second * 1000);
        VString text;
        time.GetRfc3339String(text, 2 | 32);
        fTimeText = to_string(text);
        fTimeSecond = second;
    }
    const int millisecond = int(now - second * 1000);
    const char milliseconds[4] = {'.', char('0' + millisecond / 100), char('0' + millisecond / 10 % 10),
                                  char('0' + millisecond % 10)};

    // "%llu %s [%s] %s - %s\n"; without the number once the counter has wrapped to 0.
    const uint64_t sequence = ILogger::GetSequenceNumber();
    if (sequence != 0)
    {
        char digits[24];
        auto end = std::to_chars(digits, digits + sizeof digits, sequence).ptr;
        ioLines.append(digits, size_t(end - digits)).push_back(' ');
    }
    ioLines.append(fTimeText).append(milliseconds, 4).append(" [");
    AppendLogText(ioLines, inSource);
    ioLines.append("] ").append(GetMessageLevelName(inLevel)).append(" - ");
    AppendLogText(ioLines, inMessage);
    ioLines.push_back('\n');
}

bool VMsgFileLogger::_FormatRecord(const VValueBag* inRecord, std::string& ioLines)
{
    if (!_Writes(LevelOf(inRecord)))
        return false;
    if (!fProcessSourceRead && (inRecord == nullptr || !inRecord->AttributeExists(ILoggerBagKeys::source)))
    {
        // Asked at most once a batch, and only for a record that names no source.
        fProcessSourceRead = true;
        fProcessSourceText.clear();
        if (VProcess::sInstance != nullptr)
            AppendUTF8(fProcessSourceText, VProcess::sInstance->GetLogSourceIdentifier());
    }
    EMessageLevel level;
    fSource.clear();
    fMessage.clear();
    _GetLineParts(inRecord, fProcessSourceText, level, fSource, fMessage, fScratch);
    _FormatLine(fSource, level, fMessage, ioLines);
    return true;
}

void VMsgFileLogger::_WriteBatch(const std::vector<const VValueBag*>& inRecords)
{
    StLocker lock(fLock);
    if (fFile == nullptr)
        return;
    fFile->RetryPending();
    fLines.clear();
    fLineEnds.clear();
    fProcessSourceRead = false;
    for (const VValueBag* record : inRecords)
    {
        if (_FormatRecord(record, fLines))
            fLineEnds.push_back(fLines.size());
    }
    if (!fLineEnds.empty())
        fFile->AppendLines(fLines.data(), fLineEnds.data(), fLineEnds.size());
    fFile->Flush();
}

void VMsgFileLogger::_WriteLine(std::string_view inSource, EMessageLevel inLevel, std::string_view inMessage)
{
    StLocker lock(fLock);
    if (fFile == nullptr || !_Writes(inLevel))
        return;
    std::string line;
    _FormatLine(inSource, inLevel, inMessage, line);
    const size_t end = line.size();
    fFile->AppendLines(line.data(), &end, 1);
}

void VMsgFileLogger::VMsgFileLogListener::Put(const std::vector<const VValueBag*>& inRecords)
{
    if (fWriter != nullptr)
        fWriter->_WriteBatch(inRecords);
}

void VMsgFileLogger::VMsgFileLogListener::Log(const VString& inSource, EMessageLevel inLevel,
                                              const VString& inMessage)
{
    std::string source;
    AppendUTF8(source, inSource);
    std::string message;
    AppendUTF8(message, inMessage);
    if (fWriter != nullptr)
        fWriter->_WriteLine(source, inLevel, message);
}

void VMsgFileLogger::VMsgFileLogListener::Log(const char* inSource, EMessageLevel inLevel,
                                              const char* inMessage)
{
    if (fWriter != nullptr)
        fWriter->_WriteLine(inSource != nullptr ? inSource : "", inLevel,
                            inMessage != nullptr ? inMessage : "");
}

} // namespace kova
