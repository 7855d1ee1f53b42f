#include "kernel/errors/VMsgFileLogger.h"

#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VSplitableLogFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VValueBag.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace kova
{

namespace
{

// The labels of the attributes shown behind a message; an empty label hides its attribute, and
// a key the table lacks is shown under its own name.
const std::unordered_map<std::u16string_view, std::u16string_view>& AttributeLabels()
{
    static const std::unordered_map<std::u16string_view, std::u16string_view> sLabels = {
        {u"message", u""},
        {u"error_code", u""},
        {u"level", u""},
        {u"source", u""},
        {u"component_signature", u""},
        {u"task_id", u"task="},
        {u"task_name", u"taskName="},
        {u"socket", u"socket="},
        {u"local_addr", u"localAddr="},
        {u"local_port", u"localPort="},
        {u"peer_addr", u"peerAddr="},
        {u"peer_port", u"peerPort="},
        {u"exchange_id", u"exchangeEndpointId="},
        {u"is_blocking", u"blocking="},
        {u"is_ssl", u"SSL="},
        {u"is_select_io", u"selectIO="},
        {u"ms_timeout", u"timeout="},
        {u"count_bytes_asked", u"asked="},
        {u"count_bytes_sent", u"sent="},
        {u"count_bytes_received", u"received="},
        {u"ms_spent", u"executionTime="},
        {u"dump_offset", u"offset="},
        {u"dump_buffer", u"data="},
        {u"file_name", u"fileName="},
        {u"line_number", u"lineNumber="},
        {u"stack_crawl", u"stackCrawl="},
        {u"user_id", u"UUID="},
    };
    return sLabels;
}

// Built with the process: the table is ready before any line is written.
[[maybe_unused]] const auto& sLabelsAtStart = AttributeLabels();

EMessageLevel LevelOf(const VValueBag* inRecord)
{
    VLong level(EML_Info);
    if (inRecord != nullptr)
        ILoggerBagKeys::level.Get(*inRecord, level);
    return EMessageLevel(uint32_t(level.Get()));
}

int64_t SystemClock()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void AppendUTF8(std::string& ioBytes, const VString& inText)
{
    StStringConverter<char> bytes(inText, VTC_UTF_8, eCRM_NONE);
    ioBytes.append(static_cast<const char*>(bytes.GetData()), bytes.GetSize());
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

int32_t VMsgFileLogger::_ChooseFileNumber() const
{
    // The numbers of the files the folder holds under this log name.
    VString firstName;
    BuildLogFileName(fLogName, 1, firstName);
    VFilePath firstPath(fLogFolder);
    firstPath.ToSubFile(firstName);
    VString posix;
    firstPath.GetPosixPath(posix);
    const std::filesystem::path first(to_string(posix));
    const std::string name = first.filename().string();
    const std::string prefix = name.substr(0, name.size() - std::strlen("1.txt"));
    std::set<int32_t> numbers;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(first.parent_path(), error), end; !error && entry != end;
         entry.increment(error))
    {
        const std::string entryName = entry->path().filename().string();
        if (entryName.size() <= prefix.size() + 4 || entryName.compare(0, prefix.size(), prefix) != 0 ||
            entryName.compare(entryName.size() - 4, 4, ".txt") != 0)
            continue;
        std::string_view digits(entryName);
        digits = digits.substr(prefix.size(), digits.size() - prefix.size() - 4);
        if (digits.empty() || digits.size() > 9 || digits.front() == '0' ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        std::error_code kindError;
        if (std::filesystem::is_directory(entry->path(), kindError))
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

void VMsgFileLogger::Start()
{
    if (!fLogFolder.IsFolder() || fLogName.IsEmpty())
        return;
    Start(_ChooseFileNumber());
}

void VMsgFileLogger::Start(int32_t inNumber)
{
    VLogger* logger = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr;
    if (logger == nullptr)
        return;
    VError failure = VE_OK;
    VFilePath failedPath;
    {
        StLocker lock(fLock);
        if (fFile != nullptr || !fLogFolder.IsFolder() || fLogName.IsEmpty())
            return;
        VSplitableLogFile* file =
            new (std::nothrow) VSplitableLogFile(VFolder(fLogFolder), fLogName, inNumber, false);
        if (file == nullptr)
            return;
        if (!file->Open(false, false))
        {
            failure = file->GetLastOpenError();
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
        if (VLogger* logger = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr)
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

void VMsgFileLogger::GetLogInfosFromBag(const VValueBag* inRecord, VString& outSource,
                                        EMessageLevel& outLevel, VString& outMessage)
{
    outMessage.Clear();
    outSource.Clear();
    int64_t error = 0;
    outLevel = LevelOf(inRecord);
    bool hasSource = false;
    if (inRecord != nullptr)
    {
        ILoggerBagKeys::message.Get(*inRecord, outMessage);
        inRecord->GetLong8(ILoggerBagKeys::error_code, error);
        hasSource = ILoggerBagKeys::source.Get(*inRecord, outSource);
    }
    if (!hasSource && VProcess::sInstance != nullptr)
        outSource = VProcess::sInstance->GetLogSourceIdentifier();

    int32_t signature = 0;
    if (inRecord == nullptr || !inRecord->GetLong(ILoggerBagKeys::component_signature, signature))
        signature = int32_t(ComponentOfError(VError(error)));
    if (signature != 0)
    {
        if (!outSource.IsEmpty())
            outSource.AppendUniChar(u'.');
        outSource.AppendOsType(OsType(signature));
    }
    if (error != 0)
    {
        VString number;
        number.Printf("[%d] ", NumberOfError(VError(error)));
        outMessage.Insert(number, 1);
    }

    outMessage.AppendCString(" (");
    const int32_t count = inRecord != nullptr ? inRecord->GetAttributesCount() : 0;
    bool shown = false;
    const auto& labels = AttributeLabels();
    for (int32_t i = 1; i <= count; ++i)
    {
        VString name;
        const VValueSingle* value = inRecord->GetNthAttribute(i, &name);
        if (value == nullptr)
            continue;
        auto found = labels.find(std::u16string_view(name.GetCPointer(), size_t(name.GetLength())));
        if (found != labels.end() && found->second.empty())
            continue;
        if (shown)
            outMessage.AppendCString(", ");
        shown = true;
        if (found != labels.end())
            outMessage.AppendUniChars(found->second.data(), int32_t(found->second.size()));
        else
            outMessage.AppendString(name).AppendUniChar(u'=');
        VString text;
        value->GetString(text);
        text.ExchangeRawString(VString(u"\n"), VString(u" ; "));
        outMessage.AppendString(text);
    }
    outMessage.AppendUniChar(u')');
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
    char milliseconds[8];
    std::snprintf(milliseconds, sizeof milliseconds, ".%03d", int(now - second * 1000));

    // "%llu %s [%s] %s - %s\n"; without the number once the counter has wrapped to 0.
    const uint64_t sequence = ILogger::GetSequenceNumber();
    if (sequence != 0)
        ioLines.append(std::to_string(sequence)).push_back(' ');
    ioLines.append(fTimeText).append(milliseconds).append(" [").append(inSource).append("] ");
    ioLines.append(GetMessageLevelName(inLevel)).append(" - ").append(inMessage).push_back('\n');
}

bool VMsgFileLogger::_FormatRecord(const VValueBag* inRecord, std::string& ioLines)
{
    if (!_Writes(LevelOf(inRecord)))
        return false;
    VString source;
    VString message;
    EMessageLevel level;
    GetLogInfosFromBag(inRecord, source, level, message);
    std::string sourceBytes;
    AppendUTF8(sourceBytes, source);
    std::string messageBytes;
    AppendUTF8(messageBytes, message);
    _FormatLine(sourceBytes, level, messageBytes, ioLines);
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
