#include "kernel/errors/VDebugMgr.h"

#include "kernel/errors/IDebugMessageHandler.h"
#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VMsgFileLogger.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/errors/XMacDebugMgr.h"
#include "platform/mac/errors/XMacLogFolder.h"
#include "platform/mac/errors/XMacStackCrawl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace kova
{

VDebugMgr VDebugMgr::sInstance;

namespace
{

// A file past this many bytes is set aside when the next entry opens it.
constexpr long kAssertFileRolloverSize = 0xA00000;

VDebugContext* CurrentDebugContext()
{
    VTask* task = VTaskMgr::GetCurrentTask();
    return task != nullptr ? &task->GetDebugContext() : nullptr;
}

VLogger* ProcessLogger()
{
    return VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr;
}

// An entry may span lines (an error's dump has several): its other control characters are written
// in the log files' visible form.
void WriteUTF8(FILE* inFile, const VString& inText)
{
    std::string bytes;
    VMsgFileLogger::AppendLogText(bytes, to_string(inText), true);
    std::fwrite(bytes.data(), 1, bytes.size(), inFile);
}

// The assert file, never through a link at its name nor waiting on a pipe; null when its name
// holds anything but a file of its own.
FILE* OpenAssertFileAt(const std::string& inPath, bool inOverwrite)
{
    const size_t slash = inPath.rfind('/');
    if (slash == std::string::npos)
        return nullptr;
    XMacLogFolder folder;
    std::string failed;
    if (folder.Open(inPath.substr(0, std::max<size_t>(slash, 1)), false, failed) != 0)
        return nullptr;
    XMacLogFolder::EOpen result;
    int error = 0;
    return folder.OpenStream(inPath.substr(slash + 1), inOverwrite, result, error);
}

void FormatNow(const char* inFormat, char (&outText)[128])
{
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    if (std::strftime(outText, sizeof outText, inFormat, &local) == 0)
        outText[0] = 0;
}

} // namespace

VDebugMgr::VDebugMgr() = default;

VDebugMgr::~VDebugMgr()
{
    ReleaseRefCountable(&fHandler);
}

bool VDebugMgr::Init()
{
    fMessagesEnabled = true;
    return true;
}

void VDebugMgr::DeInit()
{
    ReleaseRefCountable(&fHandler);
    fMessagesEnabled = false;
    fWriteAssertFile = false;
    fAssertFilePath.clear();
}

void VDebugMgr::SetDebugMessageHandler(IDebugMessageHandler* inHandler)
{
    if (inHandler == fHandler)
        return;
    RetainRefCountable(inHandler);
    IDebugMessageHandler* previous = fHandler;
    fHandler = inHandler;
    ReleaseRefCountable(&previous);
}

void VDebugMgr::StartLowLevelMode()
{
    if (VDebugContext* context = CurrentDebugContext())
        context->StartLowLevelMode();
}

void VDebugMgr::StopLowLevelMode()
{
    if (VDebugContext* context = CurrentDebugContext())
        context->StopLowLevelMode();
}

void VDebugMgr::Break()
{
    VDebugContext* context = CurrentDebugContext();
    if (context == nullptr || context->GetBreakSuppressionCount() == 0)
        XMacDebugMgr::Debugger();
}

void VDebugMgr::_BreakUnlessSuppressed(VDebugContext* inContext)
{
    if (inContext != nullptr && inContext->GetBreakSuppressionCount() == 0)
        XMacDebugMgr::Debugger();
}

void VDebugMgr::Abort()
{
    // What the process logged so far still reaches its files; an abort is never a success.
    if (VLogger* logger = ProcessLogger())
        logger->Flush();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

bool VDebugMgr::_Quits(int32_t inAnswer)
{
    if (inAnswer == EDA_Abort || (inAnswer == EDA_Break && !fConsoleOutput))
        Abort();
    return inAnswer == EDA_Break;
}

void VDebugMgr::fprintf_console(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    vfprintf_console(inFormat, arguments);
    va_end(arguments);
}

void VDebugMgr::vfprintf_console(const char* inFormat, va_list inArguments)
{
    std::vfprintf(stderr, inFormat, inArguments);
}

bool VDebugMgr::_GetDebuggerType(VDebuggerType* outType) const
{
    if (outType != nullptr)
        *outType = VDT_System;
    return true;
}

void VDebugMgr::DebugMsg(const char* inFormat, va_list inArguments)
{
    VDebugContext* context = CurrentDebugContext();
    if (!fMessagesEnabled || context == nullptr)
        return;
    if (context->GetLowLevelModeCount() == 0)
    {
        VString message;
        message.VPrintf(inFormat, inArguments);
        _HandleDebugMessage(message, context);
        return;
    }
    if (fLogInDebugger && fConsoleOutput)
        std::vfprintf(stderr, inFormat, inArguments);
    if (fBreakOnDebugMsg)
        _BreakUnlessSuppressed(context);
}

void VDebugMgr::DebugMsg(const VString& inMessage)
{
    _HandleDebugMessage(inMessage, CurrentDebugContext());
}

void VDebugMgr::_HandleDebugMessage(const VString& inMessage, VDebugContext* inContext)
{
    if (fMessagesEnabled && inContext != nullptr && !inContext->IsBusy())
    {
        inContext->SetBusy(true);
        if (inContext->GetLowLevelModeCount() == 0)
        {
            if (fWriteAssertFile)
                WriteToAssertFile(inMessage, true, true);
            VLogger* logger = ProcessLogger();
            if (logger != nullptr && logger->ShouldLog(EML_Debug))
            {
                VRefPtr<VValueBag> record(new (std::nothrow) VValueBag);
                if (record)
                {
                    VString message(inMessage);
                    if (message.GetLength() > 0 && message.GetUniChar(message.GetLength()) == u'\n')
                        message.Truncate(message.GetLength() - 1);
                    ILoggerBagKeys::message.Set(*record, message);
                    ILoggerBagKeys::level.Set(*record, VLong(EML_Debug));
                    logger->LogBag(record.Get());
                }
            }
        }
        if (fLogInDebugger && fConsoleOutput)
            WriteUTF8(stderr, inMessage);
        inContext->SetBusy(false);
    }
    if (fBreakOnDebugMsg)
        _BreakUnlessSuppressed(inContext);
}

bool VDebugMgr::AssertFailed(const char* inMessage, const char* inFile, int inLine)
{
    bool result = fBreakOnAssert;
    if (!fMessagesEnabled)
        return result;
    const char* message = inMessage != nullptr ? inMessage : "";
    const char* file = inFile != nullptr ? inFile : "";
    if (fLogInDebugger && fConsoleOutput)
        std::fprintf(stderr, "Assert Failed: %s, %s, %d\n", message, file, inLine);
    VDebugContext* context = CurrentDebugContext();
    if (context == nullptr || context->GetLowLevelModeCount() != 0 || context->IsBusy())
        return result;
    context->SetBusy(true);
    std::string key = std::string(file) + std::to_string(inLine);
    if (fIgnoreAllAssertions || fIgnoredAssertions.count(key) != 0)
    {
        result = false;
    }
    else
    {
        if (fWriteAssertFile)
        {
            VString text;
            text.AppendBlock(message, std::strlen(message), VTC_UTF_8);
            VString entry;
            entry.Printf("Assert Failed: %S, %s, %d\n", &text, file, inLine);
            WriteToAssertFile(entry, true, true);
        }
        if (VLogger* logger = ProcessLogger())
            logger->LogAssertIfNecessary(message, file, inLine);
        if (fHandler != nullptr)
        {
            EDebugAction answer = fHandler->AssertFailed(*context, message, file, inLine);
            result = _Quits(answer);
            if (answer == EDA_Ignore)
                fIgnoredAssertions.insert(key);
            else if (answer == EDA_IgnoreAll)
                fIgnoreAllAssertions = true;
        }
    }
    context->SetBusy(false);
    return result;
}

void VDebugMgr::ErrorThrown(VErrorBase* inError)
{
    bool breakNow = fBreakOnError;
    VDebugContext* context = CurrentDebugContext();
    if (inError != nullptr && fMessagesEnabled && context != nullptr &&
        context->GetLowLevelModeCount() == 0 && !context->IsBusy())
    {
        context->SetBusy(true);
        const VError code = inError->GetError();
        if (fIgnoreAllErrors || fIgnoredErrors.count(code) != 0)
        {
            breakNow = false;
        }
        else
        {
            VString text("Error: ");
            VString dump;
            inError->DumpToString(dump);
            text.AppendString(dump).AppendUniChar(u'\n');
            if (fWriteAssertFile)
                WriteToAssertFile(text, true, true);
            if (VLogger* logger = ProcessLogger())
                logger->LogErrorIfNecessary(inError);
            if (fLogInDebugger && fConsoleOutput)
                WriteUTF8(stderr, text);
            if (fHandler != nullptr)
            {
                EDebugAction answer = fHandler->ErrorThrown(*context, inError);
                breakNow = _Quits(answer);
                if (answer == EDA_Ignore)
                    fIgnoredErrors.insert(code);
                else if (answer == EDA_IgnoreAll)
                    fIgnoreAllErrors = true;
            }
        }
        context->SetBusy(false);
    }
    if (breakNow)
        _BreakUnlessSuppressed(context);
}

const char* VDebugMgr::_GetAssertFilePath()
{
    if (fAssertFilePath.empty())
    {
        std::string path = XMacDebugMgr::GetMainBundlePath();
        // The extension of the bundle's own name only: a dot in a parent folder's name stays.
        size_t slash = path.rfind('/');
        size_t dot = path.rfind('.');
        if (dot != std::string::npos && dot >= 1 && (slash == std::string::npos || dot > slash))
            path.erase(dot);
        fAssertFilePath = path + "_asserts.txt";
    }
    return fAssertFilePath.c_str();
}

FILE* VDebugMgr::_OpenAssertFile(bool inWithDate, bool inWithCrawl)
{
    const std::string path = _GetAssertFilePath();
    char date[128];
    FILE* file = nullptr;
    if (!fAssertFileOpened)
    {
        // An earlier run's file is replaced.
        fAssertFileOpened = true;
        file = OpenAssertFileAt(path, true);
        if (file != nullptr)
        {
            FormatNow("%A, %B %d, %Y %I:%M:%S %p", date);
            std::fprintf(file, "Qel log file opened on %s\n\n", date);
        }
    }
    else
    {
        file = OpenAssertFileAt(path, false);
        if (file != nullptr && std::ftell(file) > kAssertFileRolloverSize)
        {
            std::fclose(file);
            std::string aside = path + std::to_string(fRolloverCount);
            std::rename(path.c_str(), aside.c_str());
            ++fRolloverCount;
            file = OpenAssertFileAt(path, true);
            if (file != nullptr)
            {
                FormatNow("%A, %B %d, %Y %I:%M:%S %p", date);
                std::fprintf(file, "%u nth log opened on %s\n\n", fRolloverCount + 1, date);
            }
        }
    }
    if (file == nullptr)
        return nullptr;
    if (inWithDate)
    {
        FormatNow("%m/%d/%y, %X", date);
        std::fprintf(file, "\n%s\n", date);
    }
    else if (inWithCrawl)
    {
        std::fputc('\n', file);
    }
    if (inWithCrawl)
    {
        XMacStackCrawl crawl;
        crawl.LoadFrames(4, 8);
        crawl.Dump(file);
    }
    return file;
}

void VDebugMgr::WriteToAssertFile(const VString& inText, bool inWithDate, bool inWithCrawl)
{
    FILE* file = _OpenAssertFile(inWithDate, inWithCrawl);
    if (file == nullptr)
        return;
    WriteUTF8(file, inText);
    std::fclose(file);
}

} // namespace kova
