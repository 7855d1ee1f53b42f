#include "kernel/tasks/VProcess.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VProgressManager.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileKindManager.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VFileSystemNamespace.h"
#include "kernel/files/VFolder.h"
#include "kernel/files/VResourceFile.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/tasks/XMacProcess.h"
#include "platform/mac/tasks/XMacSystem.h"

#include <new>
#include <utility>

namespace kova
{

VProcess* VProcess::sInstance = nullptr;

namespace
{

// The scopes that hold the instance (StInstanceUser); the shut-down waits for them to end.
constinit std::atomic<int32_t> sInstanceUsers{0};
constinit std::atomic<int32_t> sFailingInitStep{0};
constinit std::atomic<uint32_t (*)()> sTokenClock{nullptr};

uint32_t TokenClockNow()
{
    uint32_t (*clock)() = sTokenClock.load(std::memory_order_acquire);
    return clock != nullptr ? clock() : VSystem::GetCurrentTime();
}

// The instance pointer is written at start-up and shut-down, and read by tokens on any thread.
std::atomic_ref<VProcess*> InstanceRef()
{
    return std::atomic_ref<VProcess*>(VProcess::sInstance);
}

// Whether the step runs: a test may make one fail in place of running.
bool StepRuns(int32_t inStep)
{
    return sFailingInitStep.load(std::memory_order_relaxed) != inStep;
}

// A name that stays one folder inside its parent.
bool IsSingleName(const VString& inName)
{
    return !inName.IsEmpty() && inName.FindUniChar(u'/') == 0 && inName.FindUniChar(u':') == 0 &&
           !inName.EqualToUSASCIICString(".") && !inName.EqualToUSASCIICString("..");
}

// The kinds whose product folder is made writable by all, quietly, and the kind that stands in
// when it cannot be made (0 for none).
bool IsSharedProductFolderKind(int32_t inKind)
{
    return inKind == 1 || inKind == 2 || inKind == 4 || inKind == 6 || inKind == 10;
}

int32_t FallbackProductFolderKind(int32_t inKind)
{
    switch (inKind)
    {
    case 1:
    case 2:
    case 4:
        return 5;
    case 6:
        return 7;
    case 10:
        return 11;
    default:
        return 0;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation and destruction

VProcess::VProcess()
    : fLastTokenRelease(TokenClockNow()),
      fFileSystemNamespace(new (std::nothrow) VFileSystemNamespace(nullptr))
{
    XMacProcess::ReadProductInfo(fProductName, fProductVersion);
    fProductFolderName = fProductName;
    XMacProcess::GetExecutableFilePath(fExecutablePath);
}

VProcess::~VProcess()
{
    ReleaseRefCountable(&fResourceFile);
    ReleaseRefCountable(&fFileSystemNamespace);
    // The logger's task must be gone before the task manager goes down: stopped and released
    // here, once, so that the shut-down finds no logger.
    if (fLogger != nullptr)
    {
        fLogger->Stop();
        ReleaseRefCountable(&fLogger);
    }
    if (fInitCalled)
        _DeInit();
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

bool VProcess::Init(uint32_t inFlags)
{
    if (!fInitCalled)
    {
        fInitCalled = true;
        fInitResult = _Init(inFlags);
    }
    return fInitResult;
}

bool VProcess::_Init(uint32_t inFlags)
{
    const bool versionOK = StepRuns(1) && DoCheckSystemVersion(SystemVersion_MacOSX_10_12);
    InstanceRef().store(this, std::memory_order_seq_cst);
    fFiberMode = (inFlags & kInitFibers) != 0;
    if (!versionOK)
        return false;

    if (!StepRuns(5) || !VIntlMgr::Init())
        return false;
    fIntlMgr.store(VIntlMgr::Create(0, 0, true), std::memory_order_release);
    if (GetIntlMgr() == nullptr)
        return false;

    if (!StepRuns(6) || !VFile::Init() || !VFileKindManager::Init() || !VResourceFile::Init())
        return false;

    // The case-insensitive install check: Linux file systems tell case, and paths are compared
    // exactly, so it does not apply here.
    if (!StepRuns(7))
        return false;

    if (!StepRuns(8) || !VTaskMgr::Init(this))
        return false;
    // Made before the main task existed, the process's messages go to it from now on.
    SetMessagingTask(VTaskMgr::GetCurrentTaskID());

    if (!StepRuns(9) || !VErrorBase::Init() || !VDebugMgr::Get()->Init() || !VProgressManager::Init())
        return false;

    if (!StepRuns(10) || !_Init_FileSystems())
        return false;

    if (!StepRuns(11) || !_InitClassStore())
        return false;

    if ((inFlags & kInitLogger) != 0 && (!StepRuns(12) || !_InitLogger()))
        return false;
    return true;
}

void VProcess::_DeInit()
{
    // From here on no token reaches this object: those that read the instance before are waited
    // for.
    VProcess* expected = this;
    InstanceRef().compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst);
    while (sInstanceUsers.load(std::memory_order_seq_cst) != 0)
        VTaskMgr::YieldNow();

    // Its classes may still be freed while tasks and their locks exist.
    ReleaseRefCountable(&fClassStore);
    VDebugMgr::Get()->DeInit();
    VErrorBase::DeInit();
    VTaskMgr::DeInit();
    VResourceFile::DeInit();
    VFileKindManager::DeInit();
    VFile::DeInit();
    VProgressManager::Deinit();
    _SetIntlMgr(nullptr);
    if (fLogger != nullptr)
    {
        fLogger->Stop();
        ReleaseRefCountable(&fLogger);
    }
    VIntlMgr::ICU_Cleanup();
}

bool VProcess::_Init_FileSystems()
{
    if (fFileSystemNamespace == nullptr)
        return false;
    VError error = VE_OK;
    VRefPtr<VFolder> home(VFolder::RetainSystemFolder(eSystemFolderDocuments, false));
    if (home != nullptr && home->Exists())
        error = fFileSystemNamespace->RegisterFileSystem(VString(".USER_HOME_DIRECTORY"), home.Get(),
                                                         VFileSystem::kHidden);
    VRefPtr<VFolder> resources(RetainFolder(kFolderResources));
    if (resources == nullptr || !resources->Exists())
        return error == VE_OK;
    if (error == VE_OK)
        error = fFileSystemNamespace->RegisterFileSystem(VString(".PRODUCT_RESOURCES"), resources.Get(), 0);
    if (error != VE_OK)
        return false;
    VRefPtr<VFile> definitions(new (std::nothrow) VFile(*resources, VString("fileSystems.json"), FPS_POSIX));
    if (definitions == nullptr)
        return false;
    return !definitions->Exists() || fFileSystemNamespace->LoadFromDefinitionFile(definitions.Get()) == VE_OK;
}

bool VProcess::_InitClassStore()
{
    VJSONClassStore* store = new (std::nothrow) VJSONClassStore(VString("qel"));
    if (store == nullptr)
        return false;
    // The store is the process's before its roots are made: they take their classes from it.
    VJSONClassStore* previous = fClassStore;
    fClassStore = store;
    ReleaseRefCountable(&previous);
    store->AddRootClasses();
    return true;
}

bool VProcess::_InitLogger()
{
    if (fLogger == nullptr)
        fLogger = new (std::nothrow) VLogger;
    if (fLogger == nullptr)
        return false;
    fLogger->Start();
    return true;
}

bool VProcess::DoCheckSystemVersion(SystemVersion inVersion)
{
    if (VSystem::IsSystemVersionOrAbove(inVersion))
        return true;
    VSystem::DisplayNotification(VString("Initialization failed"),
                                 VString(inVersion == SystemVersion_MacOSX_10_12
                                             ? "This application needs at least OS X 10.12"
                                             : "This application needs at least OS X 10.7"),
                                 ENF_OK, nullptr);
    return false;
}

void VProcess::_SetIntlMgr(VIntlMgr* inManager)
{
    RetainRefCountable(inManager);
    VIntlMgr* previous = fIntlMgr.exchange(inManager, std::memory_order_acq_rel);
    ReleaseRefCountable(&previous);
}

// ---------------------------------------------------------------------------------------------
// Running

namespace
{

// The calling task is the main task and runs.
bool OnRunningMainTask()
{
    VTask* current = VTaskMgr::GetCurrentTask();
    return current != nullptr && current == VTaskMgr::Get()->GetMainTask() &&
           current->GetState() == TS_RUNNING;
}

} // namespace

void VProcess::Run()
{
    // Before start-up there is no main task yet: Init makes the calling thread's.
    if (VTaskMgr::IsInited() && !OnRunningMainTask())
        return;
    if (!fInitCalled)
        Init(kRunInitFlags);
    if (!fInitResult)
    {
        const VString reason("VApplication::DoInit failed");
        _ThrowError(VE_CANNOT_INITIALIZE_APPLICATION, &reason);
        return;
    }
    // A quit may have come meanwhile.
    if (!OnRunningMainTask())
        return;
    VTask* main = VTaskMgr::GetCurrentTask();
    VTask::FlushErrors();
    StartMessaging();
    DoRun();
    DoQuit();
    main->Kill();
    StopMessaging();
}

void VProcess::DoRun() {}
void VProcess::DoQuit() {}

void VProcess::QuitAsynchronously(const VString*)
{
    VTask* main = VTaskMgr::Get()->RetainMainTask();
    if (main == nullptr)
        return;
    main->Kill();
    main->SetMessageQueueEvent();
    main->Release();
}

bool VProcess::IsRunning() const
{
    VTask* main = VTaskMgr::Get()->RetainMainTask();
    const bool running = main != nullptr && !main->IsDying();
    ReleaseRefCountable(&main);
    return running;
}

// ---------------------------------------------------------------------------------------------
// Folders and files of the bundle

VFolder* VProcess::RetainFolder(uint32_t inKind) const
{
    VFilePath executableFolder;
    VFilePath contents;
    if (!fExecutablePath.IsValid() || !fExecutablePath.GetFolder(executableFolder) ||
        !executableFolder.GetParent(contents))
        return nullptr;
    VFilePath path;
    switch (inKind)
    {
    case kFolderExecutable:
        path = executableFolder;
        break;
    case kFolderBundle:
        if (!contents.GetParent(path))
            return nullptr;
        break;
    case kFolderContents:
        path = contents;
        break;
    case kFolderNativeComponents:
        path = contents;
        path.ToSubFolder(VString("Native Components"));
        break;
    case kFolderResources:
    case kFolderDTDs:
    case kFolderXSDs:
    case kFolderXSLs:
    case kFolderJSONSchemas:
        path = contents;
        path.ToSubFolder(VString("Resources"));
        if (inKind == kFolderDTDs)
            path.ToSubFolder(VString("DTD"));
        else if (inKind == kFolderXSDs)
            path.ToSubFolder(VString("XSD"));
        else if (inKind == kFolderXSLs)
            path.ToSubFolder(VString("XSL"));
        else if (inKind == kFolderJSONSchemas)
            path.ToSubFolder(VString("JSONSchemas"));
        break;
    default:
        return nullptr;
    }
    return new (std::nothrow) VFolder(path);
}

VFile* VProcess::RetainFile(uint32_t inKind, const VString& inName, uint32_t inFallbackKind) const
{
    if (VRefPtr<VFolder> folder(RetainFolder(inKind)); folder != nullptr)
    {
        VRefPtr<VFile> file(new (std::nothrow) VFile(*folder, inName, FPS_POSIX));
        if (file != nullptr && file->Exists())
            return RetainRefCountable(file.Get());
    }
    if (inFallbackKind == 0)
        return nullptr;
    VRefPtr<VFolder> fallback(RetainFolder(inFallbackKind));
    if (fallback == nullptr || !fallback->Exists())
        return nullptr;
    VRefPtr<VFile> file(new (std::nothrow) VFile(*fallback, inName, FPS_SYSTEM));
    return file != nullptr && file->Exists() ? RetainRefCountable(file.Get()) : nullptr;
}

VFile* VProcess::RetainExecutableFile() const
{
    return fExecutablePath.IsValid() ? new (std::nothrow) VFile(fExecutablePath) : nullptr;
}

VFilePath VProcess::GetExecutableFolderPath() const
{
    VFilePath folder;
    fExecutablePath.GetFolder(folder);
    return folder;
}

VResourceFile* VProcess::RetainResourceFile() const
{
    return RetainRefCountable(fResourceFile);
}

VFolder* VProcess::RetainProductSystemFolder(ESystemFolderKind inKind, bool inCreate) const
{
    const int32_t kind = inKind;
    if (kind == 3 || kind == 8 || kind == 9 || kind == 12 || kind < 1 || kind > 13)
        return VFolder::RetainSystemFolder(inKind, inCreate);

    VRefPtr<VFolder> system(VFolder::RetainSystemFolder(inKind, false));
    // The product's name comes from the bundle: one that would leave the system folder names none.
    if (system == nullptr || !IsSingleName(fProductFolderName))
        return nullptr;

    VRefPtr<VFolder> product;
    {
        // A link that leads nowhere is no failure: the folder of that name is taken instead.
        StErrorContextInstaller quiet(false, true);
        VFile link(*system, fProductFolderName, FPS_POSIX);
        VFilePath target;
        if (link.IsAliasFile() && link.ResolveAlias(target) == VE_OK && target.IsFolder())
            product = VRefPtr<VFolder>(new (std::nothrow) VFolder(target));
    }
    if (product == nullptr)
        product = VRefPtr<VFolder>(new (std::nothrow) VFolder(*system, fProductFolderName, FPS_POSIX));
    if (product == nullptr)
        return nullptr;
    if (product->Exists())
        return RetainRefCountable(product.Get());
    if (!inCreate)
        return nullptr;

    VError error;
    if (IsSharedProductFolderKind(kind))
    {
        StErrorContextInstaller quiet(false, true);
        error = product->CreateRecursive(true);
    }
    else
    {
        error = product->CreateRecursive(false);
    }
    if (error == VE_OK)
        return RetainRefCountable(product.Get());
    const int32_t fallback = FallbackProductFolderKind(kind);
    return fallback != 0 ? RetainProductSystemFolder(ESystemFolderKind(fallback), true) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Product versions

namespace
{

const VString& BuildMarker()
{
    static const VString sMarker("build ");
    return sMarker;
}

} // namespace

void VProcess::GetBuildNumber(VString& outNumber) const
{
    outNumber.Clear();
    const int32_t position = fProductVersion.Find(BuildMarker(), 1, false);
    if (position < 1)
        return;
    outNumber.FromString(fProductVersion);
    outNumber.Remove(1, position - 1 + BuildMarker().GetLength());
    outNumber.RemoveWhiteSpaces(true, true);
}

int32_t VProcess::GetChangeListNumber() const
{
    VString number;
    GetBuildNumber(number);
    const int32_t dot = number.FindUniChar(u'.', number.GetLength(), true);
    if (dot < 1)
        return 0;
    number.Remove(1, dot);
    return number.GetLong();
}

void VProcess::GetShortProductVersion(VString& outVersion) const
{
    outVersion.FromString(fProductVersion);
    const int32_t position = fProductVersion.Find(BuildMarker(), 1, false);
    if (position >= 1)
        outVersion.Truncate(position - 1);
    outVersion.RemoveWhiteSpaces(true, true);
}

void VProcess::GetMainProductVersion(VString& outVersion) const
{
    GetShortProductVersion(outVersion);
    const int32_t dot = outVersion.FindUniChar(u'.', 1, false);
    if (dot >= 1)
        outVersion.Truncate(dot - 1);
}

// ---------------------------------------------------------------------------------------------
// Logger, class store, processes

VLogger* VProcess::GetLogger(EMessageLevel inLevel) const
{
    return fLogger != nullptr && fLogger->ShouldLog(inLevel) ? fLogger : nullptr;
}

VString VProcess::GetLogSourceIdentifier() const
{
    return fProductName;
}

VJSONObject* VProcess::GetClassObject(const VString& inStoreName, const VString& inClassName) const
{
    if (fClassStore == nullptr || !fClassStore->GetName().EqualToStringRaw(inStoreName))
        return nullptr;
    return fClassStore->GetClassObject(inClassName, false).Detach();
}

int32_t VProcess::GetSystemID()
{
    return XMacProcess::GetSystemID();
}

bool VProcess::IsProcessRunning(int32_t inPid)
{
    return XMacSystem::IsProcessRunning(inPid);
}

// ---------------------------------------------------------------------------------------------
// Activity tokens

void VProcess::RegisterActivityToken(VActivityToken* inToken)
{
    if (inToken == nullptr)
        return;
    StLocker lock(fTokenLock);
    fActivityTokens.insert(inToken);
}

void VProcess::UnregisterActivityToken(VActivityToken* inToken)
{
    StLocker lock(fTokenLock);
    if (fActivityTokens.erase(inToken) != 0 && fActivityTokens.empty())
        fLastTokenRelease = TokenClockNow();
}

bool VProcess::HasSomeActivityTokens(uint32_t inGracePeriod) const
{
    StLocker lock(fTokenLock);
    if (!fActivityTokens.empty())
        return true;
    // Unsigned, so that the clock's wrapping is harmless.
    return TokenClockNow() - fLastTokenRelease < inGracePeriod;
}

VProcess::StInstanceUser::StInstanceUser()
{
    // Counted before the instance is read: a shut-down that clears it after this sees the count.
    sInstanceUsers.fetch_add(1, std::memory_order_seq_cst);
    fProcess = InstanceRef().load(std::memory_order_seq_cst);
}

VProcess::StInstanceUser::~StInstanceUser()
{
    sInstanceUsers.fetch_sub(1, std::memory_order_seq_cst);
}

void VProcess::_SetFailingInitStepForTesting(int32_t inStep)
{
    sFailingInitStep.store(inStep, std::memory_order_relaxed);
}

void VProcess::_ExchangeLoggerForTesting(VLogger*& ioLogger, VString& ioProductName)
{
    std::swap(fLogger, ioLogger);
    VString name(fProductName);
    fProductName = ioProductName;
    ioProductName = name;
}

void VProcess::_SetTokenClockForTesting(uint32_t (*inClock)())
{
    sTokenClock.store(inClock, std::memory_order_release);
}

} // namespace kova
