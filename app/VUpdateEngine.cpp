#include "app/VUpdateEngine.h"

#include "app/UpdaterErrors.h"
#include "kernel/errors/ILocalizer.h"
#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VMsgFileLogger.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/VFolder.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/ipc/VProcessLauncher.h"
#include "kernel/tasks/VComponentManager.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/app/XMacUpdater.h"
#include "platform/mac/files/XMacFolder.h"
#include "xml/VLocalizationManager.h"
#include "xml/VUTIManager.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace kova
{

namespace
{

constexpr int32_t kRenameAttempts = 5;

VErrorContext* CurrentContext()
{
    VErrorTaskContext* errors = VTask::GetErrorContext(false);
    return errors != nullptr ? errors->GetInnermostContext() : nullptr;
}

bool ContextHasErrors(const StErrorContextInstaller& inScope)
{
    return inScope.GetContext() != nullptr && !inScope.GetContext()->IsEmpty();
}

// Standard error takes one line end whether or not the message brings its own.
void PrintArgumentLine(const char* inMessage)
{
    VString text(inMessage);
    if (!text.IsEmpty() && text.GetCPointer()[text.GetLength() - 1] == u'\n')
        text.Truncate(text.GetLength() - 1);
    VCommandLineParser::PrintArgumentError(text);
}

// Inside double quotes the launcher's tokenizer takes the unit after a backslash as it is.
void AppendQuoted(VString& ioCommand, const VString& inText)
{
    ioCommand.AppendUniChar(u'"');
    for (int32_t i = 0; i < inText.GetLength(); ++i)
    {
        const UniChar unit = inText.GetCPointer()[i];
        if (unit == u'\\' || unit == u'"')
            ioCommand.AppendUniChar(u'\\');
        ioCommand.AppendUniChar(unit);
    }
    ioCommand.AppendUniChar(u'"');
}

void GetErrorText(const VErrorBase& inError, VString& outText)
{
    inError.GetErrorDescription(outText);
    if (outText.IsEmpty())
        inError.GetErrorString(outText);
}

// The texts of all the errors of a context, newest first, for one line of the log.
void GetErrorTexts(const VErrorContext& inErrors, VString& outText)
{
    outText.Clear();
    for (size_t i = inErrors.GetErrorCount(); i >= 1; --i)
    {
        const VErrorBase* error = inErrors.GetNthError(i);
        if (error == nullptr)
            continue;
        VString text;
        GetErrorText(*error, text);
        if (!outText.IsEmpty())
            outText.AppendString(VString("; "));
        outText.AppendString(text);
    }
}

// A full POSIX path as it is; any other is read against the working folder, as every command-line
// tool reads it (an empty text stays empty).
void FromArgumentPath(const VString& inText, VFilePath& outPath)
{
    VFilePath folder;
    if (inText.IsEmpty() || inText.GetCPointer()[0] == u'/')
        outPath.FromFullPath(inText, FPS_POSIX);
    else if (XMacUpdater::GetWorkingFolder(folder))
        outPath.FromRelativePath(folder, inText, FPS_POSIX);
    else
        outPath.Clear();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Logging

void Log(EMessageLevel inLevel, const char* inFormat, va_list inArguments)
{
    VString message;
    message.VPrintf(inFormat, inArguments);
    VLogger* logger = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr;
    if (logger == nullptr)
        return;
    VValueBag* record = new (std::nothrow) VValueBag();
    if (record == nullptr)
        return;
    ILoggerBagKeys::message.Set(*record, message);
    if (inLevel == static_cast<EMessageLevel>(ILoggerBagKeys::level.GetDefault().Get()))
        record->RemoveAttribute(ILoggerBagKeys::level);
    else
        ILoggerBagKeys::level.Set(*record, VLong(inLevel));
    ILoggerBagKeys::component_signature.Set(*record, VLong(static_cast<int32_t>(kCOMPONENT_UPDATER_LOG)));
    logger->LogBag(record);
    record->Release();
}

void LogError(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    Log(EML_Error, inFormat, arguments);
    va_end(arguments);
}

void LogInfo(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    Log(EML_Info, inFormat, arguments);
    va_end(arguments);
}

void LogWarning(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    Log(EML_Warning, inFormat, arguments);
    va_end(arguments);
}

void LogDebug(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    Log(EML_Debug, inFormat, arguments);
    va_end(arguments);
}

void _LogError(VRefPtr<VErrorBase> inError)
{
    if (inError.Get() == nullptr)
        return;
    VString text;
    GetErrorText(*inError, text);
    LogError("%S", &text);
}

void DumpErrorStack(VErrorContext* inContext, bool inNewestFirst)
{
    if (inContext == nullptr || inContext->IsEmpty())
        return;
    const size_t count = inContext->GetErrorCount();
    for (size_t i = 1; i <= count; ++i)
    {
        VErrorBase* error = inContext->GetNthError(inNewestFirst ? count + 1 - i : i);
        if (error != nullptr)
            error->Retain();
        _LogError(VRefPtr<VErrorBase>(error));
    }
}

void DisplayMessage(const char* inMessage)
{
    VSystem::DisplayNotification(VString("Debug"), VString(inMessage), 0, nullptr);
}

void FixFolderPathSpec(const VString& inPath, VFilePath& outPath)
{
    if (inPath.IsEmpty())
    {
        outPath.Clear();
        return;
    }
    VString path(inPath);
    if (path.GetCPointer()[path.GetLength() - 1] != u'/')
        path.AppendUniChar(u'/');
    FromArgumentPath(path, outPath);
}

// ---------------------------------------------------------------------------------------------
// Start-up

VUpdateEngine::VUpdateEngine() = default;

namespace
{

// The components whose error messages the localization manager gives.
const OsType kLocalizedComponents[] = {kCOMPONENT_KOVA, FourCharCode("xmlc"), FourCharCode("PW32"),
                                       kCOMPONENT_UPDATER};

} // namespace

VUpdateEngine::~VUpdateEngine()
{
    // Nothing may reach the manager once it is gone.
    if (fLocalizationManager != nullptr)
    {
        for (OsType component : kLocalizedComponents)
        {
            if (VErrorBase::GetLocalizer(component) == fLocalizationManager)
                VErrorBase::UnregisterLocalizer(component);
        }
        if (GetLocalizer() == fLocalizationManager)
            SetLocalizer(nullptr);
        VUTIManager* types = VUTIManager::GetUTIManager();
        if (types->GetLocalizationManager() == fLocalizationManager)
            types->SetLocalizationManager(nullptr);
        fLocalizationManager->Release();
        fLocalizationManager = nullptr;
    }
}

bool VUpdateEngine::_InitLocalizationManager()
{
    VFolder* bundle = RetainFolder(kFolderBundle);
    const uint32_t language = VComponentManager::GetLocalizationLanguage(bundle, true, 0);
    fLocalizationManager = new (std::nothrow) VLocalizationManager(language);
    if (fLocalizationManager != nullptr)
    {
        fLocalizationManager->LoadDefaultLocalizationFoldersForComponentOrPlugin(bundle);
        SetLocalizer(fLocalizationManager);
        VUTIManager::GetUTIManager()->SetLocalizationManager(fLocalizationManager);
        for (OsType component : kLocalizedComponents)
            VErrorBase::RegisterLocalizer(component, fLocalizationManager);
    }
    if (bundle != nullptr)
        bundle->Release();
    return true;
}

bool VUpdateEngine::Init(uint32_t inFlags)
{
    if (!VProcessIPC::Init(inFlags))
        return false;
    _InitLocalizationManager();
    return true;
}

void VUpdateEngine::_SetPaths(const VFilePath& inOutdated, const VFilePath& inUpToDate)
{
    fOutdatedPath = inOutdated;
    fUpToDatePath = inUpToDate;
    fInstallPath = inOutdated;
}

void VUpdateEngine::_SetRestartParameters(const VFilePath& inPath, bool inHeadless)
{
    fRestartParameters = inPath;
    fRestartHeadless = inHeadless;
}

int32_t VUpdateEngine::DoParseCommandLine(VCommandLineParser& ioParser)
{
    VString installPath;
    VString restartParameters;
    VString callerLog;
    VString logFolder;
    VString clientInfo;
    VString outdated;
    VString upToDate;
    std::vector<VString> positional;
    bool version = false;
    if (ioParser.GetOptionsInfos().HasArguments())
    {
        ioParser.AddParagraph(
            VString("\nQel Updater\n\t\tUpdates an existing Qel application residing at <path of "
                    "app to update> using \t\tnewer versions tored <path of update>\n\n"));
        ioParser.AddOption(0, VString("pid"), VString("Wait for the caller's pid"), &fCallerPid);
        ioParser.AddFlag(0, VString("silent"),
                         VString("ensure that no message is displayed in case of error. Errors are still "
                                 "logged though"),
                         &fSilent);
        ioParser.AddOption(0, VString("install-path"),
                           VString("indicates where the updated app should be installed instead of <path of "
                                   "app to update>."),
                           &installPath);
        ioParser.AddOption(
            0, VString("restart-params"),
            VString("indicates the full path to the QelLink \t\tfile that will be passed back to "
                    "the restarted application. This does not \t\tapply if the application is "
                    "started as a service"),
            &restartParameters);
        ioParser.AddOption(0, VString("caller-log"), VString("Restart params"), &callerLog);
        ioParser.AddOption(0, VString("log-dir"),
                           VString("specifies a folder for the updater where log file should be written"),
                           &logFolder);
        ioParser.AddOption(
            0, VString("client-info"),
            VString("path of the client customization file. Using this \t\toption IMPLIES that "
                    "application is a Qel-based client, which incurs special processing."),
            &clientInfo);
        ioParser.AddOption(0, VString("outdated-app"), VString("Outdated application bundle path"),
                           &outdated);
        ioParser.AddOption(0, VString("uptodate-app"), VString("Up-to-date application bundle path"),
                           &upToDate);
        ioParser.SetPositionalSink(&positional);
        ioParser.AddFlag(0, VString("restart-headless"), VString("Restart the application in headless mode."),
                         &fRestartHeadless);
        ioParser.AddParagraph(VString("\nHelp:\n"));
        ioParser.AddFlag(0, VString("version"), VString("Print the version and exits"), &version);

        const int32_t result = ioParser.Parse();
        if (result == 0 && version)
        {
            VCommandLineParser::Print(fProductVersion);
            return 2;
        }
        if (result != 0)
            return result;
    }

    if (positional.size() == 1)
    {
        PrintArgumentLine("not enough arguments from the command line (required <dest> <src>)\n");
        return 1;
    }
    if (positional.size() >= 3)
    {
        PrintArgumentLine("two many arguments from the command line");
        return 1;
    }
    if (positional.size() == 2)
    {
        bool outdatedMismatch = false;
        if (!outdated.IsEmpty())
        {
            if (!outdated.EqualToString(positional[0], false))
            {
                PrintArgumentLine("mismatched value for option --outdated-app\n");
                outdatedMismatch = true;
            }
        }
        else
        {
            outdated = positional[0];
        }
        if (!upToDate.IsEmpty())
        {
            if (!upToDate.EqualToString(positional[1], false))
            {
                PrintArgumentLine("mismatched value for option --uptodate-app\n");
                return 1;
            }
        }
        else
        {
            upToDate = positional[1];
        }
        if (outdatedMismatch)
            return 1;
    }
    if (upToDate.IsEmpty())
        PrintArgumentLine("mismatched value for option --uptodate-app\n");
    if (outdated.IsEmpty())
    {
        PrintArgumentLine("mismatched value for option --outdated-app\n");
        return 1;
    }
    if (upToDate.IsEmpty())
        return 1;

    FixFolderPathSpec(outdated, fOutdatedPath);
    FixFolderPathSpec(upToDate, fUpToDatePath);
    fInstallPath = fOutdatedPath;
    FromArgumentPath(restartParameters, fRestartParameters);
    fReportProgressToCaller = !callerLog.IsEmpty();
    FixFolderPathSpec(logFolder, fLogFolder);
    if (!clientInfo.IsEmpty())
        FromArgumentPath(clientInfo, fClientInfoPath);
    return 0;
}

bool VUpdateEngine::_InitLog()
{
    if (!fLogFolder.IsValid() || !fLogFolder.IsFolder())
        return false;
    VFolder folder(fLogFolder);
    VTime now;
    VTime::Now(now);
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    now.GetLocalTime(year, month, day, hour, minute, second, millisecond);
    VString name;
    name.Printf("%04d-%02d-%02d_%02d-%02d-%02d_log", year, month, day, hour, minute, second);
    if (fLogNamed != nullptr)
        fLogNamed();
    fFileLogger = new (std::nothrow) VMsgFileLogger(folder, name);
    // The writer makes the folder and keeps it: the file goes into the folder made, whoever puts a
    // link in its place meanwhile.
    if (fFileLogger != nullptr && !folder.Exists() && fFileLogger->CreateLogFolder() != VE_OK)
        return false;
    if (fFileLogger != nullptr)
        fFileLogger->Start();
    const bool started = fFileLogger != nullptr && fFileLogger->IsStarted();
    if (!started)
        _ThrowError(VE_UPDATER_LOG_FAILED);
    return started;
}

void VUpdateEngine::_DeInitLog()
{
    if (VLogger* logger = GetLogger())
        logger->Flush();
    if (fFileLogger != nullptr)
    {
        fFileLogger->Stop();
        delete fFileLogger;
        fFileLogger = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// The run

void VUpdateEngine::DoRun()
{
    StErrorContextInstaller errors(true, true);
    _InitLog();
    if (ContextHasErrors(errors))
        fSilent = false; // a log that could not be opened is always reported

    VTime now;
    VTime::Now(now);
    VString date;
    VString time;
    now.FormatByOS(date, time, false);
    LogInfo("Updater starting - %S - %S", &date, &time);

    if (!ContextHasErrors(errors))
        _ApplyUpdate();

    DumpErrorStack(errors.GetContext(), true);

    VTime::Now(now);
    now.FormatByOS(date, time, false);
    const bool succeeded = !ContextHasErrors(errors);
    if (succeeded)
        LogInfo("Update successful - %S - %S", &date, &time);
    else
        LogInfo("Update failed - %S - %S", &date, &time);
    // Only once the last line has gone to the file is it known whether the file took every line.
    // A log that could not be written is reported as one that could not be opened is, even when
    // silent; the exit status stays the update's.
    const VError logError = _FlushLog();
    if (logError == VE_OK && (succeeded || fSilent))
        return;
    _NotifyFailure(succeeded ? nullptr : errors.GetContext(), logError);
}

VError VUpdateEngine::_FlushLog()
{
    if (VLogger* logger = GetLogger())
        logger->Flush();
    if (fFileLogger == nullptr)
        return VE_OK;
    fFileLogger->Flush();
    return fFileLogger->GetWriteError();
}

void VUpdateEngine::_NotifyFailure(VErrorContext* inContext, VError inLogError)
{
    VString text;
    if (VErrorBase* last = inContext != nullptr ? inContext->GetLast() : nullptr)
        GetErrorText(*last, text);
    VFilePath logPath;
    const bool haveLog = fFileLogger != nullptr && fFileLogger->GetLogFilePath(logPath);
    VString posixPath;
    if (haveLog)
        logPath.GetPosixPath(posixPath);
    if (haveLog && inLogError != VE_OK)
    {
        // Named as the notification of a failed run names it, after the failure when there is one.
        VRefPtr<VErrorBase> cause(new (std::nothrow) VErrorBase(inLogError));
        VRefPtr<VErrorBase> error(new (std::nothrow) VErrorBase(VE_UPDATER_LOG_NOT_WRITTEN));
        if (cause != nullptr && error != nullptr)
        {
            VString reason;
            GetErrorText(*cause, reason);
            error->GetBag()->SetString("path", posixPath);
            error->GetBag()->SetString("reason", reason);
            VString notice;
            GetErrorText(*error, notice);
            if (!text.IsEmpty())
                text.AppendString(VString("\r\n"));
            text.AppendString(notice);
        }
    }
    else if (haveLog)
    {
        VString notice = LocalizeString(VString("MoreInformationsAvailableInLogFile"),
                                        "More information is available in the log file '{LogFilePath}'");
        if (!notice.IsEmpty())
        {
            VValueBag parameters;
            parameters.SetString("LogFilePath", posixPath);
            notice.Format(&parameters, false);
            text.AppendString(VString("\r\n"));
            text.AppendString(notice);
        }
    }
    ENotificationResponse answer = ENR_None;
    VSystem::DisplayNotification(VString(), text, ENF_YesNo, &answer);
    // The log is offered only when it holds the whole run.
    if (answer == ENR_Yes && haveLog && inLogError == VE_OK)
        XMacUpdater::OpenWithDefaultApplication(posixPath);
}

void VUpdateEngine::DoQuit()
{
    _DeInitLog();
}

// ---------------------------------------------------------------------------------------------
// The update

void VUpdateEngine::_ApplyUpdate()
{
    StErrorContextInstaller errors(true, true);
    VFolder outdated(fOutdatedPath);
    VFolder upToDate(fUpToDatePath);
    // Each told as what it is before anything moves: a download that is no bundle would be copied
    // whole only to be taken away again.
    bool refused = _RefuseOutdated(outdated);
    if (!upToDate.Exists())
        refused = ThrowErrorWithPath(VE_UPDATER_UPTODATE_APP_MISSING, fUpToDatePath) != VE_OK;
    else if (!XMacUpdater::IsBundleFolder(fUpToDatePath, true))
        refused = ThrowErrorWithPath(VE_UPDATER_UPTODATE_APP_NOT_A_BUNDLE, fUpToDatePath) != VE_OK;
    if (refused)
        return;

    // Before anything is written or moved: the customization writes into the up-to-date bundle.
    // An option's file that is no regular file is refused by name; the client-info file is then
    // read as a regular file only, so that a pipe put there meanwhile cannot hold the run either.
    for (const VFilePath* option : {&fRestartParameters, &fClientInfoPath})
    {
        if (XMacUpdater::NamesOtherThanAFile(*option))
        {
            ThrowErrorWithPath(VE_UPDATER_NOT_A_REGULAR_FILE, *option);
            return;
        }
    }
    if (_RefuseSameOrNested(outdated, upToDate))
    {
        LogError("Up-to-date application install failed");
        _ThrowError(VE_UPDATER_INSTALL_FAILED);
        return;
    }

    if (fClientInfoPath.IsValid() && fClientInfoPath.IsFile())
    {
        _FinishClientCustomization();
        if (ContextHasErrors(errors))
            return;
    }

    if (fReportProgressToCaller)
    {
        _LogProgressToCaller("waitquit", -1);
        XMacUpdater::QuietStandardStreams();
        fReportProgressToCaller = false;
    }

    LogInfo("Waiting for external process to quit");
    _WaitForPidToQuit();
    if (ContextHasErrors(errors))
    {
        LogError("External process wait failed");
        _ThrowError(VE_UPDATER_WAIT_FAILED);
        return;
    }

    // Held until the old bundle is disposed of or back in place, whichever way this returns. The
    // update waited for may have left something else at the application's path.
    XMacUpdateTurn turn(fInstallPath);
    if (!_WaitForTurn(turn) || _RefuseOutdated(outdated))
        return;

    LogInfo("Proceeding with up-to-date application install...");
    VFolder install(fInstallPath);
    VFolder* oldBundle = _SwapApplications(outdated, upToDate, install);
    if (oldBundle != nullptr && !ContextHasErrors(errors))
        _KeepOldBundleUnlessInstalled(oldBundle, install);
    if (ContextHasErrors(errors))
    {
        LogError("Up-to-date application install failed");
        _ThrowError(VE_UPDATER_INSTALL_FAILED);
        if (oldBundle != nullptr)
            oldBundle->Release();
        return;
    }

    LogInfo("Proceeding with up-to-date application restart...");
    _LaunchApplication(fInstallPath);
    if (ContextHasErrors(errors))
    {
        LogError("Up-to-date application restart failed");
        if (oldBundle != nullptr)
            oldBundle->Release();
        return;
    }

    LogInfo("Up-to-date application restarted");
    if (oldBundle == nullptr)
        return;
    // Looked at again: until it goes, the old bundle may be the only whole copy of the application.
    if (!_KeepOldBundleUnlessInstalled(oldBundle, install))
    {
        LogError("Up-to-date application install failed");
        _ThrowError(VE_UPDATER_INSTALL_FAILED);
        return;
    }
    _DisposeOfOldBundle(*oldBundle);
    oldBundle->Release();
}

bool VUpdateEngine::_KeepOldBundleUnlessInstalled(VFolder*& ioOldBundle, const VFolder& inInstall)
{
    if (XMacUpdater::IsBundleFolder(fInstallPath))
        return true;
    ThrowErrorWithNamedPaths(VE_UPDATER_COPY_APP_FAILED, "from", fUpToDatePath, "to", fInstallPath);
    _RollBack(ioOldBundle, inInstall, fOutdatedPath);
    ioOldBundle = nullptr;
    return false;
}

void VUpdateEngine::_DisposeOfOldBundle(const VFolder& inOldBundle)
{
    VString path;
    inOldBundle.GetPath().GetPosixPath(path);
    _FlushLog();
    VErrorContext trashErrors;
    {
        StErrorContextInstaller trash(false, true);
        if (inOldBundle.MoveToTrash() == VE_OK)
            return;
        if (trash.GetContext() != nullptr)
            trashErrors.PushErrors(*trash.GetContext());
    }
    VString text;
    GetErrorTexts(trashErrors, text);
    LogWarning("Moving the old application %S to the trash failed: %S", &path, &text);
    // A trash that fails is no failure once the old bundle is deleted all the same.
    _FlushLog();
    VErrorContext deletionErrors;
    {
        StErrorContextInstaller forced(false, true);
        if (inOldBundle.DeleteForced() == VE_OK)
        {
            LogInfo("Deleted the old application %S instead", &path);
            return;
        }
        if (forced.GetContext() != nullptr)
            deletionErrors.PushErrors(*forced.GetContext());
    }
    LogError("Deleting the old application %S failed", &path);
    // Both failures go on the update's context, once the scopes above are closed.
    if (VErrorContext* current = CurrentContext())
    {
        current->PushErrors(trashErrors);
        current->PushErrors(deletionErrors);
    }
}

uint32_t VUpdateEngine::_Now() const
{
    return fTiming.fClock != nullptr ? fTiming.fClock() : VSystem::GetCurrentTime();
}

void VUpdateEngine::_Sleep(uint32_t inMilliseconds) const
{
    if (fTiming.fSleep != nullptr)
        fTiming.fSleep(static_cast<int32_t>(inMilliseconds));
    else
        VTask::Sleep(static_cast<int32_t>(inMilliseconds));
}

bool VUpdateEngine::_WaitForPidToQuit()
{
    if (fCallerPid < 0)
    {
        LogInfo("Skipping process wait (negative pid)");
        return true;
    }
    int pid = fCallerPid;
    LogInfo("Waiting for process %d to quit", pid);
    const uint32_t start = _Now();
    bool running = true;
    std::vector<int> processes;
    for (uint32_t now = start; running && now - start < fTiming.fMaxWait; now = _Now())
    {
        processes.clear();
        VSystem::GetProcessList(processes);
        // An empty list tells nothing: the process is taken to run still.
        running = processes.empty() || std::find(processes.begin(), processes.end(), pid) != processes.end();
        _Sleep(fTiming.fPollInterval);
    }
    if (!running)
    {
        _Sleep(fTiming.fGrace);
        LogInfo("Process %d has quit. Proceeding.", pid);
        return true;
    }
    LogError("Process %d still exists after maximum wait time. Giving up.", pid);
    _ThrowError(VE_UPDATER_WAIT_FAILED);
    return false;
}

bool VUpdateEngine::_WaitForTurn(XMacUpdateTurn& ioTurn)
{
    VString application;
    fInstallPath.GetPosixPath(application);
    XMacUpdateTurn::EAttempt attempt = ioTurn.TryTake();
    if (attempt == XMacUpdateTurn::eBusy)
    {
        LogInfo("Waiting for another update of %S to end", &application);
        const uint32_t start = _Now();
        while (attempt == XMacUpdateTurn::eBusy && _Now() - start < fTiming.fTurnWait)
        {
            _Sleep(fTiming.fPollInterval);
            attempt = ioTurn.TryTake();
        }
        if (attempt == XMacUpdateTurn::eTaken)
            LogInfo("The other update of %S has ended. Proceeding.", &application);
    }
    if (attempt == XMacUpdateTurn::eTaken)
        return true;
    // Where there is no update to wait for, the copy still never replaces an item it finds at the
    // application's path.
    if (attempt == XMacUpdateTurn::eHeldByAnotherUser)
    {
        LogWarning("The folder of %S is locked by a process of another user, which is no update to wait for. "
                   "Proceeding.",
                   &application);
        return true;
    }
    if (attempt == XMacUpdateTurn::eUnavailable)
    {
        VString reason;
        if (VRefPtr<VErrorBase> cause(new (std::nothrow) VErrorBase(ioTurn.GetUnavailability()));
            cause != nullptr)
            GetErrorText(*cause, reason);
        LogWarning("Other updates of %S cannot be waited for here (%S). Proceeding.", &application, &reason);
        return true;
    }
    LogError("Another update of %S still runs after maximum wait time. Giving up.", &application);
    ThrowErrorWithPath(VE_UPDATER_OTHER_UPDATE_RUNS, fInstallPath);
    return false;
}

bool VUpdateEngine::_RefuseOutdated(const VFolder& inOutdated) const
{
    if (inOutdated.GetImpl().IsSymbolicLink())
        return ThrowErrorWithPath(VE_UPDATER_OUTDATED_APP_IS_A_LINK, fOutdatedPath) != VE_OK;
    if (!inOutdated.Exists())
        return ThrowErrorWithPath(VE_UPDATER_OUTDATED_APP_MISSING, fOutdatedPath) != VE_OK;
    return false;
}

bool VUpdateEngine::_ComputeTempFolderPath(const VFilePath& inPath, VFilePath& outPath,
                                           const VString* inSuffix)
{
    VString baseName;
    inPath.GetFolderName(baseName, false);
    for (int32_t n = 1;; ++n)
    {
        VString name(baseName);
        if (inSuffix != nullptr && !inSuffix->IsEmpty())
            name.AppendPrintf("_%S%04d", inSuffix, n);
        else
            name.AppendPrintf("%04d", n);
        outPath = inPath;
        outPath.SetFolderName(name, false);
        const bool exists = VFolder(outPath).Exists();
        if (!exists || n >= 9999)
            return !exists;
    }
}

VFolder* VUpdateEngine::_RenameAside(VFolder& inOutdated, const VFilePath& inOldPath)
{
    VString oldName;
    inOldPath.GetName(oldName);
    VString outdated;
    fOutdatedPath.GetPosixPath(outdated);
    VString aside;
    inOldPath.GetPosixPath(aside);
    VErrorContext failures;
    for (int32_t attempt = 1; attempt <= kRenameAttempts; ++attempt)
    {
        VFolder* oldBundle = nullptr;
        VErrorContext attemptErrors;
        _FlushLog();
        {
            // An attempt that fails is kept aside: a later success drops it, but its line stays.
            StErrorContextInstaller scope(false, true);
            if (inOutdated.Rename(oldName, &oldBundle) == VE_OK && oldBundle != nullptr)
                return oldBundle;
            if (scope.GetContext() != nullptr)
                attemptErrors.PushErrors(*scope.GetContext());
        }
        VString text;
        GetErrorTexts(attemptErrors, text);
        int shownAttempt = attempt;
        int attempts = kRenameAttempts;
        LogWarning("Renaming the outdated application %S aside to %S failed (attempt %d of %d): %S",
                   &outdated, &aside, shownAttempt, attempts, &text);
        failures.PushErrors(attemptErrors);
        if (attempt > 1)
        {
            StErrorContextInstaller scope(false, true);
            ThrowErrorWithPaths(VE_UPDATER_RENAME_ASIDE_FAILED, fOutdatedPath, inOldPath);
            if (scope.GetContext() != nullptr)
                failures.PushErrors(*scope.GetContext());
        }
        if (attempt < kRenameAttempts)
            _Sleep(fTiming.fRetryDelay);
    }
    if (VErrorContext* current = CurrentContext())
        current->PushErrors(failures);
    return nullptr;
}

void VUpdateEngine::_RollBack(VFolder* inOldBundle, const VFolder& inInstall, const VFilePath& inOutdatedPath)
{
    LogInfo("Rolling back up-to-date application install");
    _FlushLog();
    if (_IsInstalledCopy())
        inInstall.Delete(true);
    // An item put there meanwhile keeps the old bundle beside it, and so does one put there
    // between this look and the rename, which never replaces.
    VString name;
    inOutdatedPath.GetName(name);
    const bool putBack =
        !XMacUpdater::ItemExists(inInstall.GetPath()) && inOldBundle->Rename(name, nullptr) == VE_OK;
    if (!putBack && XMacUpdater::ItemExists(inInstall.GetPath()))
        ThrowErrorWithNamedPaths(VE_UPDATER_APP_PATH_TAKEN, "path", fInstallPath, "oldPath",
                                 inOldBundle->GetPath());
    inOldBundle->Release();
}

bool VUpdateEngine::_IsInstalledCopy() const
{
    uint64_t device = 0;
    uint64_t inode = 0;
    return fInstalledInode != 0 && XMacUpdater::GetItemIdentity(fInstallPath, device, inode) &&
           device == fInstalledDevice && inode == fInstalledInode;
}

bool VUpdateEngine::_RefuseSameOrNested(const VFolder& inOutdated, const VFolder& inUpToDate) const
{
    // Named apart, the two may still be one folder on disk: a link to the outdated bundle, or to
    // an update inside it, would dangle once the outdated bundle is moved aside, and a bind mount
    // of it would follow it aside. The containment on disk decides by real paths and identities.
    const VFilePath& outdated = inOutdated.GetPath();
    const VFilePath& upToDate = inUpToDate.GetPath();
    const bool refused = inOutdated.IsSameFolder(&inUpToDate) || upToDate.IsChildOf(outdated) ||
                         IsInFolderOnDisk(upToDate, outdated, true) ||
                         IsInFolderOnDisk(outdated, upToDate, true);
    if (refused)
        ThrowErrorWithPath(VE_UPDATER_SAME_OR_NESTED_APPS, fOutdatedPath);
    return refused;
}

VFolder* VUpdateEngine::_SwapApplications(VFolder& inOutdated, VFolder& inUpToDate, VFolder& inInstall)
{
    if (_RefuseSameOrNested(inOutdated, inUpToDate))
        return nullptr;
    VFilePath oldPath;
    const VString suffix("old");
    _ComputeTempFolderPath(fOutdatedPath, oldPath, &suffix);

    VFolder* oldBundle = _RenameAside(inOutdated, oldPath);
    if (oldBundle == nullptr)
        return nullptr;

    VFolder* parent = static_cast<VFolder*>(inInstall.RetainParentFolder(false));
    if (parent == nullptr || (!parent->Exists() && parent->CreateRecursive(false) != VE_OK))
    {
        VFilePath parentPath;
        fInstallPath.GetParent(parentPath);
        ThrowErrorWithPath(VE_UPDATER_CREATE_PARENT_FAILED,
                           parent != nullptr ? parent->GetPath() : parentPath);
        if (parent != nullptr)
            parent->Release();
        _RollBack(oldBundle, inInstall, fOutdatedPath);
        return nullptr;
    }
    VString installName;
    fInstallPath.GetName(installName);
    // The installed bundle is the outdated one's owner's, never the download's, and nothing in it
    // runs as another user or may be changed by anyone: set before the copy takes the install path.
    // An owner that cannot be read leaves the copy its maker's.
    VFolderCopyRights rights;
    {
        StErrorContextInstaller quiet(false, true);
        rights.fGiveOwner = oldBundle->Mac_GetOwner(rights.fUser, rights.fGroup) == VE_OK;
    }
    rights.fClearedModes = kInstalledItemClearedModes;
    // The copy stands complete aside, then takes the install path only while it is free: an item
    // put there since the rename aside is someone else's, never replaced.
    const uint32_t options = FCO_REPLACE_WHOLE | FCO_KEEP_EXISTING_TARGET;
    const bool copied = inUpToDate.CopyTo(*parent, installName, nullptr, options, rights) == VE_OK;
    parent->Release();
    if (!copied)
    {
        ThrowErrorWithNamedPaths(VE_UPDATER_COPY_APP_FAILED, "from", fUpToDatePath, "to", fInstallPath);
        _RollBack(oldBundle, inInstall, fOutdatedPath);
        return nullptr;
    }
    XMacUpdater::GetItemIdentity(fInstallPath, fInstalledDevice, fInstalledInode);
    return oldBundle;
}

void VUpdateEngine::_BuildRestartCommand(const VFilePath& inPath, VString& outCommand) const
{
    VString application;
    inPath.GetPosixPath(application);
    outCommand = VString("open -a ");
    AppendQuoted(outCommand, application);
    if (!fRestartParameters.IsEmpty())
    {
        VString parameters;
        fRestartParameters.GetPosixPath(parameters);
        outCommand.AppendString(VString(" --args "));
        AppendQuoted(outCommand, parameters);
        if (fRestartHeadless)
            outCommand.AppendString(VString(" --headless"));
    }
    else if (fRestartHeadless)
    {
        outCommand.AppendString(VString(" --args --headless"));
    }
}

bool VUpdateEngine::_LaunchApplication(const VFilePath& inPath) const
{
    VString command;
    _BuildRestartCommand(inPath, command);
    LogInfo("Restarting installed application (%S)...", &command);
    VMemoryBuffer<1024, 2, 1048576> output;
    VMemoryBuffer<1024, 2, 1048576> errorOutput;
    int32_t exitStatus = 0;
    const int32_t error =
        VProcessLauncher::ExecuteCommandLine(command, 0, nullptr, &output, &errorOutput, nullptr, nullptr,
                                             &exitStatus, nullptr, nullptr, true, false);
    if (error != 0)
    {
        int shownError = error;
        int shownStatus = exitStatus;
        LogError("Failed to restart updated application (returned error %d - exit status %d)", shownError,
                 shownStatus);
        _ThrowError(VE_UPDATER_RESTART_FAILED);
        return false;
    }
    int shownStatus = exitStatus;
    LogInfo("Updated application restarted, returned %d", shownStatus);
    return true;
}

void VUpdateEngine::_LogProgressToCaller(const char* inStep, int inValue)
{
    if (!fReportProgressToCaller)
        return;
    std::fprintf(stdout, "%s,%d\n", inStep, inValue);
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// The entry point

int _main()
{
    XMacUpdater::AppendExecutableFolderToPath();
    XMacUpdater::IgnoreBrokenPipes();
    XMacUpdater::DeferEndingSignals();
    if (VObject::sCppMemMgr == nullptr)
    {
        VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorFromBundle);
        if (VObject::sCppMemMgr == nullptr)
            return 1;
    }
    VUpdateEngine engine;
    XMacUpdater::InstallTestHooks(engine);
    if (!engine.Init(VProcess::kInitLogger | VProcess::kInitFileSystemNotifier))
        return engine.GetExitValue();
    engine.SetExitValue(0);
    engine.Run();
    const VError last = VTask::GetLastError();
    if (last == VE_OK)
        return 0;
    return last == MakeKovaError(4) ? 1 : 2;
}

} // namespace kova
