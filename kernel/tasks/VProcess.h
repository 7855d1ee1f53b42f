// VProcess is the one application object (sInstance). Its Init brings the toolbox up in a fixed
// order, its Run drives one run of the main task, and its destruction takes the toolbox down in
// the reverse order. It owns the process's international manager, logger, named file systems and
// JSON class store, answers for the application's folders inside its bundle, keeps the set of live
// activity tokens, and holds the localizer that LocalizeString asks.
//
//     class VTool : public VProcess
//     {
//         void DoRun() override { ... } // on the main task
//     };
//     VTool tool;
//     if (tool.Init(VProcess::kInitLogger))
//         tool.Run();
//
// The toolbox comes up once per process: a second process object may exist (a test's) but is
// never initialised.
#pragma once

#include "kernel/errors/ILogger.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/IMessageable.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <set>

namespace kova
{

class ILocalizer;
class VActivityToken;
class VFile;
class VFileSystemNamespace;
class VFolder;
class VIntlMgr;
class VJSONClassStore;
class VJSONObject;
class VLogger;
class VResourceFile;
enum ESystemFolderKind : int32_t;

class VProcess : public VObject, public virtual IMessageable
{
public:
    // Start-up flags. kInitFileSystemNotifier is read by the command-line process base.
    static constexpr uint32_t kInitFibers = 2;
    static constexpr uint32_t kInitLogger = 16;
    static constexpr uint32_t kInitFileSystemNotifier = 64;
    // What Run initialises with when Init was not called.
    static constexpr uint32_t kRunInitFlags = kInitLogger | kInitFileSystemNotifier;

    // Folder kinds of RetainFolder.
    static constexpr uint32_t kFolderExecutable = FourCharCode("EXEC");
    static constexpr uint32_t kFolderBundle = FourCharCode("BNDL");
    static constexpr uint32_t kFolderContents = FourCharCode("PLST");
    static constexpr uint32_t kFolderResources = FourCharCode("RSRC");
    static constexpr uint32_t kFolderNativeComponents = FourCharCode("NCMP");
    static constexpr uint32_t kFolderDTDs = FourCharCode("DTDs");
    static constexpr uint32_t kFolderXSDs = FourCharCode("XSDs");
    static constexpr uint32_t kFolderXSLs = FourCharCode("XSLs");
    static constexpr uint32_t kFolderJSONSchemas = FourCharCode("JSNs");

    // Reads the product name and version from the main bundle; registers nothing yet.
    VProcess();
    VProcess(const VProcess&) = delete;
    VProcess& operator=(const VProcess&) = delete;
    // Stops and releases the logger, then, when Init was called, takes the toolbox down.
    ~VProcess() override;

    // The process once its start-up has begun; null before and once its shut-down has begun.
    static VProcess* sInstance;

    // Brings the toolbox up (once: later calls return the first result). False when a step
    // failed; the steps after it did not run, and destruction still takes down all of them.
    virtual bool Init(uint32_t inFlags);
    // On the main task while it runs: Init with kRunInitFlags when not called yet (kova 4,
    // "VApplication::DoInit failed", when start-up failed), then DoRun and DoQuit with messaging
    // on; the main task is dying afterwards. Anywhere else it returns at once.
    void Run();
    // Asks the main task to die and wakes it; from any thread (not from a signal handler), also
    // before Run and after the main task ended. The message is not used.
    virtual void QuitAsynchronously(const VString* inMessage);
    // While the main task exists and is not dying.
    bool IsRunning() const;
    bool IsFiberMode() const { return fFiberMode; }

    // The folder of one of the kinds above, new and retained; null for another kind or when the
    // executable's path is unknown. Whether it exists is not checked.
    virtual VFolder* RetainFolder(uint32_t inKind) const;
    // The file of that name (a relative POSIX path) in the folder of the kind when it exists; else
    // the file of that name (a relative path in the toolbox's syntax) in the fallback kind's
    // folder when both exist. Retained; null otherwise.
    VFile* RetainFile(uint32_t inKind, const VString& inName, uint32_t inFallbackKind) const;
    // The product's folder inside the system folder of the kind (kinds 3, 8, 9, 12 and unknown
    // kinds: the system folder itself); a link of the product's name to a folder is followed.
    // With inCreate a missing folder is made, and for some kinds the user's kind stands in when
    // that fails. Null when there is none.
    VFolder* RetainProductSystemFolder(ESystemFolderKind inKind, bool inCreate) const;
    // Empty when it cannot be told.
    const VFilePath& GetExecutableFilePath() const { return fExecutablePath; }
    VFile* RetainExecutableFile() const;
    VFilePath GetExecutableFolderPath() const;
    // Null unless a derived class sets one or answers its own. Retained.
    virtual VResourceFile* RetainResourceFile() const;

    // From "CFBundleShortVersionString", as "12.3 build 4.5.67": the text after "build " (4.5.67),
    // the number after its last "." (67, else 0), the text before "build " (12.3, else all of it)
    // and that cut before its first "." (12). White space is trimmed.
    void GetBuildNumber(VString& outNumber) const;
    int32_t GetChangeListNumber() const;
    void GetShortProductVersion(VString& outVersion) const;
    void GetMainProductVersion(VString& outVersion) const;

    // Null unless start-up made one (flag 16). Not retained.
    VLogger* GetLogger() const { return fLogger; }
    // The logger when it would keep a record of that level, else null.
    VLogger* GetLogger(EMessageLevel inLevel) const;
    // The source of the records that name none: the product name.
    virtual VString GetLogSourceIdentifier() const;

    // The process's international manager, from start-up to shut-down; every new task starts with
    // a clone of it. Not retained.
    VIntlMgr* GetIntlMgr() const { return fIntlMgr.load(std::memory_order_acquire); }
    // For tests: installs another one (retained; null for none) and releases the previous one.
    void _SetIntlMgr(VIntlMgr* inManager);

    // The process's named file systems: ".USER_HOME_DIRECTORY" (hidden from the look-ups that
    // refuse hidden ones), ".PRODUCT_RESOURCES" and those of the resources' "fileSystems.json",
    // registered at start-up. Not retained; null only when memory ran out.
    VFileSystemNamespace* GetFileSystemNamespace() const { return fFileSystemNamespace; }

    // The localizer LocalizeString asks; null until the program installs one. Not owned: the
    // program keeps it alive while it is installed.
    ILocalizer* GetLocalizer() const { return fLocalizer; }
    void SetLocalizer(ILocalizer* inLocalizer) { fLocalizer = inLocalizer; }

    // The JSON class store "qel", made at start-up with its root classes; null before. Not
    // retained.
    VJSONClassStore* GetClassStore() const { return fClassStore; }
    // The class object of that name in the store, retained, when the store is the process's
    // (its name exactly); else null.
    virtual VJSONObject* GetClassObject(const VString& inStoreName, const VString& inClassName) const;

    // The process's id.
    static int32_t GetSystemID();
    // Whether that process exists and has not quit. An id of 0 or less is no process.
    static bool IsProcessRunning(int32_t inPid);

    // Activity tokens, from any task. A token registered twice is one entry.
    void RegisterActivityToken(VActivityToken* inToken);
    // The last one going marks the start of the grace period.
    void UnregisterActivityToken(VActivityToken* inToken);
    // While a token lives, and for inGracePeriod milliseconds after the last one went.
    bool HasSomeActivityTokens(uint32_t inGracePeriod) const;

    // The instance for one scope, for code that may run on any thread while the process shuts
    // down (activity tokens): the shut-down waits until no such scope holds the instance.
    class StInstanceUser
    {
    public:
        StInstanceUser();
        ~StInstanceUser();
        StInstanceUser(const StInstanceUser&) = delete;
        StInstanceUser& operator=(const StInstanceUser&) = delete;
        // Null when there is no instance.
        VProcess* Get() const { return fProcess; }

    private:
        VProcess* fProcess;
    };

    // For tests. The start-up step that fails in place of running (1 to 12; 0 for none), and the
    // millisecond clock of the tokens' grace period (null for the system's).
    static void _SetFailingInitStepForTesting(int32_t inStep);
    static void _SetTokenClockForTesting(uint32_t (*inClock)());
    // For tests: exchanges the logger (a reference either way) and the product name with the
    // caller's.
    void _ExchangeLoggerForTesting(VLogger*& ioLogger, VString& ioProductName);

protected:
    // Called by Run on the main task. Both do nothing by default.
    virtual void DoRun();
    virtual void DoQuit();
    // True when the system is that version or newer; otherwise a notification says so and false.
    virtual bool DoCheckSystemVersion(SystemVersion inVersion);

    // A derived class may set one (retained); released at destruction.
    VResourceFile* fResourceFile = nullptr;
    VString fProductName;
    VString fProductVersion;
    VString fProductFolderName;
    // Start-up flag 2.
    bool fFiberMode = false;

private:
    bool _Init(uint32_t inFlags);
    void _DeInit();
    // The file-system step of start-up: the user's folder, the resources and their definition
    // file. False when a registration or the loading failed.
    bool _Init_FileSystems();
    // The logger step of start-up. False when memory runs out.
    bool _InitLogger();
    // The class-store step of start-up: a new store "qel" with its root classes replaces the
    // previous one. False when memory runs out.
    bool _InitClassStore();

    mutable VCriticalSection fTokenLock;
    std::set<VActivityToken*> fActivityTokens;
    uint32_t fLastTokenRelease;
    bool fInitCalled = false;
    bool fInitResult = false;
    std::atomic<VIntlMgr*> fIntlMgr{nullptr};
    ILocalizer* fLocalizer = nullptr;
    // Retained.
    VFileSystemNamespace* fFileSystemNamespace;
    // Retained.
    VLogger* fLogger = nullptr;
    // Retained.
    VJSONClassStore* fClassStore = nullptr;
    VFilePath fExecutablePath;
};

} // namespace kova
