// VUpdateEngine is the updater: a command-line process that waits for the application that
// started it to quit, puts the up-to-date bundle in the place of the outdated one (the outdated
// bundle stays aside, whole, until the new one stands complete, and comes back when it does not),
// customizes a client application when asked, restarts the application through "open", trashes
// the outdated bundle, and writes every step to a dated log file. The outcome is the last error
// of the run: main turns it into the exit status.
//
// At no instant is the application lost: the install path holds a whole bundle, or the outdated
// bundle lies whole beside it under its old-bundle name (Sample_old0001.app). The copy of the
// up-to-date bundle is made aside and renamed into place once complete, only while nothing stands
// at the application's path, and a rollback removes only what the copy made. Updates of one
// application take turns, from before its bundle moves until the old one is disposed of.
#pragma once

#include "kernel/errors/ILogger.h"
#include "kernel/files/VFilePath.h"
#include "kernel/ipc/VProcessIPC.h"
#include "kernel/values/VRefPtr.h"

#include <cstdarg>
#include <cstdint>

namespace kova
{

class VCommandLineParser;
class VErrorBase;
class VErrorContext;
class VFolder;
class VJSONObject;
class VLocalizationManager;
class VMsgFileLogger;
class XMacUpdateTurn;

// The updater's error component, and the component of the log records it writes.
constexpr OsType kCOMPONENT_UPDATER = FourCharCode("UPQL");
constexpr OsType kCOMPONENT_UPDATER_LOG = FourCharCode("QLUP");

constexpr VError MakeUpdaterError(uint32_t inNumber)
{
    return MakeVError(kCOMPONENT_UPDATER, inNumber);
}
constexpr VError VE_UPDATER_WAIT_FAILED = MakeUpdaterError(1);
constexpr VError VE_UPDATER_UPTODATE_APP_MISSING = MakeUpdaterError(2);
constexpr VError VE_UPDATER_OUTDATED_APP_MISSING = MakeUpdaterError(3);
constexpr VError VE_UPDATER_COPY_FILE_FAILED = MakeUpdaterError(8);
constexpr VError VE_UPDATER_RENAME_ASIDE_FAILED = MakeUpdaterError(11);
constexpr VError VE_UPDATER_CREATE_PARENT_FAILED = MakeUpdaterError(12);
constexpr VError VE_UPDATER_COPY_APP_FAILED = MakeUpdaterError(13);
constexpr VError VE_UPDATER_SAME_OR_NESTED_APPS = MakeUpdaterError(14);
constexpr VError VE_UPDATER_BAD_CLIENT_INFO = MakeUpdaterError(41);
// The client customization met a symbolic link in the up-to-date bundle ("path") whose way leaves
// the bundle, which it never follows.
constexpr VError VE_UPDATER_LINK_NOT_FOLLOWED = MakeUpdaterError(42);
// The client customization would change in place a file of the up-to-date bundle ("path") that
// has other names, which may lie outside the bundle.
constexpr VError VE_UPDATER_FILE_HAS_OTHER_NAMES = MakeUpdaterError(43);
// A file named by an option ("path") is not a regular file: a FIFO would hold the update for ever.
constexpr VError VE_UPDATER_NOT_A_REGULAR_FILE = MakeUpdaterError(44);
// The up-to-date application ("path") is no bundle: no real Contents folder in the folder it names.
constexpr VError VE_UPDATER_UPTODATE_APP_NOT_A_BUNDLE = MakeUpdaterError(45);
// The outdated application ("path") is itself a symbolic link, which would be moved aside alone.
constexpr VError VE_UPDATER_OUTDATED_APP_IS_A_LINK = MakeUpdaterError(46);
// Another update of the application ("path") still ran after the longest wait: nothing moved.
constexpr VError VE_UPDATER_OTHER_UPDATE_RUNS = MakeUpdaterError(47);
// Another item took the application's path ("path") while the outdated bundle was aside; both
// stay as they are, the outdated bundle at "oldPath".
constexpr VError VE_UPDATER_APP_PATH_TAKEN = MakeUpdaterError(48);
constexpr VError VE_UPDATER_INSTALL_FAILED = MakeUpdaterError(100);
constexpr VError VE_UPDATER_LOG_FAILED = MakeUpdaterError(101);
// The log file ("path") did not take every line of the run ("reason"); only notified, the outcome
// stays the update's.
constexpr VError VE_UPDATER_LOG_NOT_WRITTEN = MakeUpdaterError(102);
constexpr VError VE_UPDATER_RESTART_FAILED = MakeUpdaterError(120);

class VUpdateEngine : public VProcessIPC
{
public:
    // The waits of an update, in milliseconds, and the clock and sleep they use. Tests shorten
    // them; the defaults are the updater's.
    struct Timing
    {
        uint32_t fPollInterval = 500;
        uint32_t fGrace = 1000;
        uint32_t fRetryDelay = 3000;
        uint32_t fMaxWait = 60000;
        // For another update of the application, which may be copying a large bundle.
        uint32_t fTurnWait = 600000;
        // Null: VSystem::GetCurrentTime and VTask::Sleep.
        uint32_t (*fClock)() = nullptr;
        void (*fSleep)(int32_t inMilliseconds) = nullptr;
    };

    VUpdateEngine();
    // Unregisters and releases the localization manager first; the file logger is DoQuit's.
    ~VUpdateEngine() override;

    bool Init(uint32_t inFlags) override;

    void _SetTimingForTesting(const Timing& inTiming) { fTiming = inTiming; }
    // Called once the log's name (the time of the run) is taken, before its file is opened: a test
    // that plants names in the log folder learns the name's time.
    void _SetLogNamedForTesting(void (*inLogNamed)()) { fLogNamed = inLogNamed; }

    // The steps of the update (see VUpdateEngine.cpp), public for the tests.
    bool _InitLocalizationManager();
    bool _InitLog();
    void _DeInitLog();
    void _ApplyUpdate();
    bool _WaitForPidToQuit();
    // Takes the update's turn, waiting for the other updates of the applications of its folder;
    // false, with UPQL 47, when they still run after the longest wait. Where the turn cannot be
    // taken at all, the update goes on without it.
    bool _WaitForTurn(XMacUpdateTurn& ioTurn);
    VFolder* _SwapApplications(VFolder& inOutdated, VFolder& inUpToDate, VFolder& inInstall);
    static bool _ComputeTempFolderPath(const VFilePath& inPath, VFilePath& outPath, const VString* inSuffix);
    bool _LaunchApplication(const VFilePath& inPath) const;
    // The restart command of _LaunchApplication.
    void _BuildRestartCommand(const VFilePath& inPath, VString& outCommand) const;
    void _LogProgressToCaller(const char* inStep, int inValue);
    bool _FinishClientCustomization();
    bool _SetIPAdressOnClientPref(const VJSONObject& inInfo, const VFilePath& inUpToDatePath);
    bool _FinishMacClientCustomization(const VJSONObject& inInfo);

    // The fields set by the command line, for the tests.
    void _SetPaths(const VFilePath& inOutdated, const VFilePath& inUpToDate);
    void _SetCallerPid(int32_t inPid) { fCallerPid = inPid; }
    void _SetRestartParameters(const VFilePath& inPath, bool inHeadless);
    void _SetClientInfo(const VFilePath& inPath) { fClientInfoPath = inPath; }
    void _SetLogFolder(const VFilePath& inPath) { fLogFolder = inPath; }
    VMsgFileLogger* _GetFileLogger() const { return fFileLogger; }

protected:
    void DoRun() override;
    void DoQuit() override;
    int32_t DoParseCommandLine(VCommandLineParser& ioParser) override;

private:
    uint32_t _Now() const;
    void _Sleep(uint32_t inMilliseconds) const;
    // Refuses an outdated application that is missing, or whose own name is a symbolic link,
    // dangling or not (it would be moved aside alone).
    bool _RefuseOutdated(const VFolder& inOutdated) const;
    // The rename aside with its retries; the old bundle, retained, or null after the last failure.
    VFolder* _RenameAside(VFolder& inOutdated, const VFilePath& inOldPath);
    // The old bundle to the trash, else deleted; each step that fails has its line in the log.
    void _DisposeOfOldBundle(const VFolder& inOldBundle);
    // Removes what the copy put at the install path and puts the outdated bundle back there; an
    // item someone else put there stays, and the outdated bundle beside it (UPQL 48).
    void _RollBack(VFolder* inOldBundle, const VFolder& inInstall, const VFilePath& inOutdatedPath);
    // Whether the item at the install path is the copy this update put there.
    bool _IsInstalledCopy() const;
    // Flushes the process logger and the log file: why the file did not take every line of the
    // run (a POSX code), VE_OK when it did or there is none. Called before each step that moves a
    // bundle too, so that a run killed on the way leaves a log that tells how far it got.
    VError _FlushLog();
    // The notification of a failed run (inContext, null when the update succeeded), or of a log
    // that could not be written (inLogError, VE_OK when it was).
    void _NotifyFailure(VErrorContext* inContext, VError inLogError);
    // The two bundles are one folder, or one lies in the other, on disk (links and ".." resolved,
    // a folder reached another way, such as a bind mount, known by its device and inode) or as
    // named: UPQL 14 is raised and true returned.
    bool _RefuseSameOrNested(const VFolder& inOutdated, const VFolder& inUpToDate) const;
    // The old bundle stays aside until a real folder holding a bundle stands at the install path;
    // otherwise it is put back (and released, ioOldBundle cleared), UPQL 13 raised, false returned.
    bool _KeepOldBundleUnlessInstalled(VFolder*& ioOldBundle, const VFolder& inInstall);

    VFilePath fLogFolder;
    VFilePath fClientInfoPath;
    VFilePath fOutdatedPath;
    VFilePath fUpToDatePath;
    VFilePath fInstallPath;
    VMsgFileLogger* fFileLogger = nullptr;
    VLocalizationManager* fLocalizationManager = nullptr;
    int32_t fCallerPid = -1;
    bool fReportProgressToCaller = false;
    bool fSilent = false;
    VFilePath fRestartParameters;
    bool fRestartHeadless = false;
    Timing fTiming;
    void (*fLogNamed)() = nullptr;
    // The copy put at the install path (inode 0: none yet).
    uint64_t fInstalledDevice = 0;
    uint64_t fInstalledInode = 0;
};

// The updater's log: one record of the process logger at that level, component QLUP. The format
// is VString::VPrintf's ("%S" a VString*, "%d" an int).
void Log(EMessageLevel inLevel, const char* inFormat, va_list inArguments);
void LogError(const char* inFormat, ...);
void LogInfo(const char* inFormat, ...);
void LogWarning(const char* inFormat, ...);
void LogDebug(const char* inFormat, ...);
// Every error of the context at level Error, oldest first or newest first.
void DumpErrorStack(VErrorContext* inContext, bool inNewestFirst);
void _LogError(VRefPtr<VErrorBase> inError);
// A notification titled "Debug".
void DisplayMessage(const char* inMessage);
// A POSIX folder path (a "/" added when missing); an empty text clears the path.
void FixFolderPathSpec(const VString& inPath, VFilePath& outPath);

// The entry point's body: the exit status.
int _main();

} // namespace kova
