#include "kernel/tasks/VComponentManager.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VLibrary.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/tasks/XMacComponentManager.h"

#include <new>
#include <vector>

namespace kova
{

bool VComponentManager::sIsInitialized = false;
VArrayOf<uint32_t>* VComponentManager::sComponentTypes = nullptr;
VArrayOf<ComponentCreator>* VComponentManager::sComponentProcs = nullptr;
VArrayOf<VLibrary*>* VComponentManager::sComponentLibraries = nullptr;
VArrayOf<CComponent*>* VComponentManager::sComponentInstances = nullptr;
VArrayOf<uint32_t>* VComponentManager::sComponentChecked = nullptr;
VArrayOf<uint8_t>* VComponentManager::sComponentIsAvailable = nullptr;
VArrayOf<uint8_t>* VComponentManager::sComponentHasRequirements = nullptr;
VArrayOf<uint32_t>* VComponentManager::sComponentChecking = nullptr;
VCriticalSection* VComponentManager::sAccessingTypes = nullptr;
VCriticalSection* VComponentManager::sAccessingInstances = nullptr;
VCriticalSection* VComponentManager::sAccessingChecked = nullptr;
VCriticalSection* VComponentManager::sAccessingChecking = nullptr;

namespace
{

template <class T>
void MakeOnce(T*& ioObject)
{
    if (ioObject == nullptr)
        ioObject = new (std::nothrow) T;
}

template <class T>
void DeleteAndClear(T*& ioObject)
{
    delete ioObject;
    ioObject = nullptr;
}

// A block is trusted as far as it says: its format, then a size in bytes (field 1) that must hold
// the fixed fields and every requirement pair it counts.
bool IsSoundInfoBlock(const uint32_t* inBlock)
{
    if (inBlock == nullptr || inBlock[0] < kComponentInfoFormat ||
        inBlock[1] < kComponentInfoFixedFields * 4 + 8)
        return false;
    const uint64_t fields = uint64_t(kComponentInfoFixedFields) + 2 * uint64_t(inBlock[10]);
    return uint64_t(inBlock[1]) >= fields * 4;
}

void FreeInfoBlock(uint32_t* inBlock)
{
    if (inBlock != nullptr)
        VObject::sCppMemMgr->Free(inBlock);
}

// The component's version (field 5), or false when its block is missing or unsound.
bool GetComponentVersion(const CComponent* inComponent, uint32_t& outVersion)
{
    uint32_t* block = inComponent->GetComponentInfo();
    const bool sound = IsSoundInfoBlock(block);
    if (sound)
        outVersion = block[5];
    FreeInfoBlock(block);
    return sound;
}

// A ".lproj" folder's name (the part before ".lproj") as a dialect: a language code, else an
// English language name. False when it is neither.
bool DialectOfLocalizationName(const VString& inName, uint32_t& outDialect)
{
    if (inName.IsEmpty())
        return false;
    if (VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(inName, outDialect, true, true) &&
        outDialect != VIntlMgr::kNoDialect)
        return true;
    return VIntlMgr::GetDialectCodeWithISOLanguageName(inName, outDialect) &&
           outDialect != VIntlMgr::kNoDialect;
}

} // namespace

bool VComponentManager::Init()
{
    if (sIsInitialized)
        return true;
    MakeOnce(sComponentTypes);
    MakeOnce(sComponentProcs);
    MakeOnce(sComponentLibraries);
    MakeOnce(sComponentInstances);
    MakeOnce(sComponentChecked);
    MakeOnce(sComponentIsAvailable);
    MakeOnce(sComponentHasRequirements);
    MakeOnce(sComponentChecking);
    MakeOnce(sAccessingTypes);
    MakeOnce(sAccessingInstances);
    MakeOnce(sAccessingChecked);
    MakeOnce(sAccessingChecking);
    sIsInitialized =
        sComponentTypes != nullptr && sComponentProcs != nullptr && sComponentLibraries != nullptr &&
        sComponentInstances != nullptr && sComponentChecked != nullptr && sComponentIsAvailable != nullptr &&
        sComponentHasRequirements != nullptr && sComponentChecking != nullptr && sAccessingTypes != nullptr &&
        sAccessingInstances != nullptr && sAccessingChecked != nullptr && sAccessingChecking != nullptr;
    return sIsInitialized;
}

void VComponentManager::DeInit()
{
    sIsInitialized = false;
    if (sComponentInstances != nullptr)
    {
        for (CComponent* instance : *sComponentInstances)
            instance->Release();
    }
    if (sComponentLibraries != nullptr)
    {
        for (VLibrary* library : *sComponentLibraries)
        {
            if (library != nullptr)
                library->Release();
        }
    }
    DeleteAndClear(sComponentTypes);
    DeleteAndClear(sComponentProcs);
    DeleteAndClear(sComponentLibraries);
    DeleteAndClear(sComponentInstances);
    DeleteAndClear(sComponentChecked);
    DeleteAndClear(sComponentIsAvailable);
    DeleteAndClear(sComponentHasRequirements);
    DeleteAndClear(sComponentChecking);
    DeleteAndClear(sAccessingTypes);
    DeleteAndClear(sAccessingInstances);
    DeleteAndClear(sAccessingChecked);
    DeleteAndClear(sAccessingChecking);
}

int32_t VComponentManager::_FindType(uint32_t inType)
{
    return sComponentTypes->FindPos(inType);
}

bool VComponentManager::_AppendType(uint32_t inType, ComponentCreator inCreator, VLibrary* inLibrary)
{
    if (!sComponentTypes->AddTail(inType))
        return false;
    if (!sComponentProcs->AddTail(inCreator))
    {
        sComponentTypes->DeleteNth(sComponentTypes->GetCount());
        return false;
    }
    if (!sComponentLibraries->AddTail(inLibrary))
    {
        sComponentTypes->DeleteNth(sComponentTypes->GetCount());
        sComponentProcs->DeleteNth(sComponentProcs->GetCount());
        return false;
    }
    if (inLibrary != nullptr)
        inLibrary->Retain();
    return true;
}

void VComponentManager::_RemoveTypeAt(int32_t inIndex)
{
    VLibrary* library = sComponentLibraries->GetNth(inIndex);
    sComponentTypes->DeleteNth(inIndex);
    sComponentProcs->DeleteNth(inIndex);
    sComponentLibraries->DeleteNth(inIndex);
    if (library != nullptr)
        library->Release();
}

int32_t VComponentManager::_FindChecked(uint32_t inType)
{
    return sComponentChecked->FindPos(inType);
}

void VComponentManager::_ForgetChecked(uint32_t inType)
{
    StLocker checked(*sAccessingChecked);
    if (int32_t position = _FindChecked(inType); position != 0)
    {
        sComponentChecked->DeleteNth(position);
        sComponentIsAvailable->DeleteNth(position);
        sComponentHasRequirements->DeleteNth(position);
    }
}

VError VComponentManager::RegisterComponentCreator(uint32_t inType, ComponentCreator inCreator,
                                                   bool inReplace)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    if (inCreator == nullptr)
        return VE_INVALID_PARAMETER;
    StLocker types(*sAccessingTypes);
    StLocker checked(*sAccessingChecked);
    if (int32_t index = _FindType(inType); index != 0)
    {
        if (!inReplace && sComponentProcs->GetNth(index) == inCreator)
            return VE_COMPONENT_ALREADY_REGISTERED;
        sComponentProcs->SetNth(inCreator, index);
        return VE_OK;
    }
    if (!_AppendType(inType, inCreator, nullptr))
        return VE_MEMORY_FULL;
    ResetComponentRequirements(inType, false);
    return VE_OK;
}

VError VComponentManager::UnRegisterComponentCreator(uint32_t inType, ComponentCreator inCreator)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    StLocker types(*sAccessingTypes);
    StLocker checked(*sAccessingChecked);
    int32_t index = _FindType(inType);
    if (index == 0 || inCreator == nullptr || sComponentProcs->GetNth(index) != inCreator)
        return VE_COMPONENT_NOT_REGISTERED;
    _RemoveTypeAt(index);
    _ForgetChecked(inType);
    return VE_OK;
}

VError VComponentManager::UnRegisterComponentType(uint32_t inType)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    StLocker types(*sAccessingTypes);
    StLocker checked(*sAccessingChecked);
    int32_t index = _FindType(inType);
    if (index == 0)
        return VE_COMPONENT_UNKNOWN;
    _RemoveTypeAt(index);
    _ForgetChecked(inType);
    return VE_OK;
}

VError VComponentManager::RegisterComponentLibrary(const VFilePath& inPath)
{
    if (!sIsInitialized)
    {
        _ThrowError(VE_COMPONENT_MGR_NOT_INITIALIZED);
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    }
    {
        StLocker types(*sAccessingTypes);
        for (VLibrary* library : *sComponentLibraries)
        {
            if (library != nullptr && library->IsSameFile(inPath))
            {
                _ThrowError(VE_COMPONENT_ALREADY_REGISTERED);
                return VE_COMPONENT_ALREADY_REGISTERED;
            }
        }
    }
    VRefPtr<VLibrary> library(new (std::nothrow) VLibrary(inPath));
    if (library == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    if (!library->Load())
    {
        _PushRetainedError(new (std::nothrow) VFileError(inPath, VE_COMPONENT_LIBRARY_CANNOT_LOAD), VE_OK);
        return VE_MEMORY_FULL;
    }
    auto main =
        reinterpret_cast<ComponentLibraryMain>(library->GetProcAddress(VString(kDEFAULT_MAIN_SYMBOL)));
    auto getType = reinterpret_cast<ComponentLibraryGetNthType>(
        library->GetProcAddress(VString(kDEFAULT_GET_TYPES_SYMBOL)));
    auto create =
        reinterpret_cast<ComponentCreator>(library->GetProcAddress(VString(kDEFAULT_CREATE_SYMBOL)));
    if (main == nullptr || getType == nullptr || create == nullptr)
    {
        _ThrowError(VE_COMPONENT_LIBRARY_INCOMPLETE);
        return VE_COMPONENT_LIBRARY_INCOMPLETE;
    }
    StLocker types(*sAccessingTypes);
    StLocker checked(*sAccessingChecked);
    main(kRegisterMessage, library.Get());
    uint32_t type = 0;
    for (int32_t n = 1; getType(n, &type); ++n)
    {
        if (int32_t index = _FindType(type); index != 0)
        {
            // The type changes hands: the library that made it until now loses its reference.
            VLibrary* previous = sComponentLibraries->GetNth(index);
            if (previous != library.Get())
            {
                sComponentLibraries->SetNth(library.Get(), index);
                library->Retain();
                if (previous != nullptr)
                    previous->Release();
            }
        }
        else if (!_AppendType(type, nullptr, library.Get()))
        {
            // The types registered so far stay, each with its reference to the library.
            return VE_MEMORY_FULL;
        }
        ResetComponentRequirements(type, false);
    }
    return VE_OK;
}

VError VComponentManager::UnRegisterComponentLibrary(const VFilePath& inPath)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    VRefPtr<VLibrary> library;
    {
        StLocker types(*sAccessingTypes);
        StLocker checked(*sAccessingChecked);
        for (VLibrary* candidate : *sComponentLibraries)
        {
            if (candidate != nullptr && candidate->IsSameFile(inPath))
            {
                library = VRefPtr<VLibrary>::Retained(candidate);
                break;
            }
        }
        if (library == nullptr)
            return VE_COMPONENT_NOT_REGISTERED;
        for (int32_t index = sComponentLibraries->GetCount(); index >= 1; --index)
        {
            if (sComponentLibraries->GetNth(index) == library.Get())
            {
                const uint32_t type = sComponentTypes->GetNth(index);
                _RemoveTypeAt(index);
                _ForgetChecked(type);
            }
        }
        if (auto main = reinterpret_cast<ComponentLibraryMain>(
                library->GetProcAddress(VString(kDEFAULT_MAIN_SYMBOL))))
            main(kUnregisterMessage, nullptr);
    }
    return VE_OK;
}

CComponent* VComponentManager::RetainComponent(uint32_t inType, uint32_t inFamily)
{
    if (!sIsInitialized)
        return nullptr;
    StLocker instances(*sAccessingInstances);
    for (CComponent* instance : *sComponentInstances)
    {
        if (instance->GetComponentType() == inType &&
            (inFamily == kAnyComponentFamily || instance->GetComponentFamily() == inFamily))
        {
            instance->Retain();
            return instance;
        }
    }
    CComponent* component = RetainUniqueComponent(inType, inFamily, false);
    if (component != nullptr && !sComponentInstances->Contains(component) &&
        sComponentInstances->AddTail(component))
        component->Retain();
    return component;
}

CComponent* VComponentManager::RetainUniqueComponent(uint32_t inType, uint32_t inFamily, bool inSkipCheck)
{
    if (!sIsInitialized)
        return nullptr;
    CComponent* component = nullptr;
    {
        StLocker types(*sAccessingTypes);
        int32_t index = _FindType(inType);
        if (index == 0)
            return nullptr;
        if (ComponentCreator creator = sComponentProcs->GetNth(index))
        {
            component = creator(inType, inFamily);
        }
        else if (VLibrary* library = sComponentLibraries->GetNth(index))
        {
            if (auto create = reinterpret_cast<ComponentCreator>(
                    library->GetProcAddress(VString(kDEFAULT_CREATE_SYMBOL))))
                component = create(inType, inFamily);
        }
    }
    // The check takes sAccessingChecking, which comes before sAccessingTypes: it runs outside.
    if (component == nullptr || inSkipCheck || CheckComponentRequirements(component, false))
        return component;
    component->Release();
    return nullptr;
}

bool VComponentManager::RetainComponentsOfFamily(uint32_t inFamily, VArrayOf<CComponent*>* ioComponents)
{
    if (!sIsInitialized || ioComponents == nullptr)
        return false;
    std::vector<uint32_t> types;
    {
        StLocker locker(*sAccessingTypes);
        types.assign(sComponentTypes->begin(), sComponentTypes->end());
    }
    for (uint32_t type : types)
    {
        CComponent* component = RetainComponent(type, inFamily);
        if (component != nullptr && !ioComponents->AddTail(component))
            component->Release();
    }
    return true;
}

VError VComponentManager::RegisterComponentInstance(CComponent* inComponent)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    if (inComponent == nullptr)
        return VE_INVALID_PARAMETER;
    StLocker instances(*sAccessingInstances);
    if (sComponentInstances->Contains(inComponent))
        return VE_COMPONENT_ALREADY_REGISTERED;
    if (!sComponentInstances->AddTail(inComponent))
        return VE_MEMORY_FULL;
    inComponent->Retain();
    return VE_OK;
}

VError VComponentManager::UnRegisterComponentInstance(CComponent* inComponent)
{
    if (!sIsInitialized)
        return VE_COMPONENT_MGR_NOT_INITIALIZED;
    if (inComponent == nullptr)
        return VE_INVALID_PARAMETER;
    StLocker instances(*sAccessingInstances);
    if (!sComponentInstances->Delete(inComponent))
        return VE_COMPONENT_UNKNOWN;
    inComponent->Release();
    return VE_OK;
}

bool VComponentManager::IsComponentAvailable(uint32_t inType)
{
    if (!sIsInitialized)
        return false;
    StLocker types(*sAccessingTypes);
    return _FindType(inType) != 0;
}

bool VComponentManager::CheckComponentRequirements(CComponent* inComponent, bool inKeepRequired)
{
    if (!sIsInitialized || inComponent == nullptr)
        return false;
    return _CheckRequirements(inComponent, inKeepRequired);
}

bool VComponentManager::_CheckRequirements(CComponent* inComponent, bool inKeepRequired)
{
    const uint32_t type = inComponent->GetComponentType();
    {
        StLocker checked(*sAccessingChecked);
        if (int32_t position = _FindChecked(type); position != 0)
            return sComponentIsAvailable->GetNth(position) != 0;
    }
    StLocker checking(*sAccessingChecking);
    if (!sComponentChecking->AddTail(type))
        return false;
    uint32_t* block = inComponent->GetComponentInfo();
    bool available = IsSoundInfoBlock(block);
    const uint32_t count = available ? block[10] : 0;
    if (!available)
    {
        FreeInfoBlock(block);
        sComponentChecking->Delete(type);
        return false;
    }
    VArrayRetainedPtrOf<CComponent*> kept;
    for (uint32_t i = 0; i < count && available; ++i)
    {
        const uint32_t requiredType = block[kComponentInfoFixedFields + 2 * i];
        const uint32_t minimumVersion = block[kComponentInfoFixedFields + 2 * i + 1];
        if (requiredType == type)
            continue;
        bool cached = false;
        {
            StLocker checked(*sAccessingChecked);
            if (int32_t position = _FindChecked(requiredType); position != 0)
            {
                cached = true;
                // A type known to be unavailable fails whoever needs it.
                available = sComponentIsAvailable->GetNth(position) != 0;
            }
        }
        if (!available)
            break;
        const bool underWay = sComponentChecking->Contains(requiredType);
        if ((cached || underWay) && minimumVersion == kAnyComponentVersion)
            continue;
        CComponent* required = RetainUniqueComponent(requiredType, kAnyComponentFamily, cached || underWay);
        if (required == nullptr)
        {
            available = false;
            break;
        }
        uint32_t version = 0;
        if (minimumVersion != kAnyComponentVersion)
            available = GetComponentVersion(required, version) && version >= minimumVersion;
        if (!inKeepRequired || !kept.AddTail(required))
            required->Release();
    }
    FreeInfoBlock(block);
    {
        StLocker checked(*sAccessingChecked);
        if (_FindChecked(type) == 0 && sComponentChecked->AddTail(type))
        {
            if (!sComponentIsAvailable->AddTail(available ? 1 : 0))
            {
                sComponentChecked->DeleteNth(sComponentChecked->GetCount());
            }
            else if (!sComponentHasRequirements->AddTail(count > 0 ? 1 : 0))
            {
                sComponentChecked->DeleteNth(sComponentChecked->GetCount());
                sComponentIsAvailable->DeleteNth(sComponentIsAvailable->GetCount());
            }
        }
    }
    sComponentChecking->Delete(type);
    return available;
}

bool VComponentManager::ResetComponentRequirements(uint32_t inType, bool inAvailable)
{
    if (!sIsInitialized)
        return false;
    StLocker checked(*sAccessingChecked);
    int32_t position = _FindChecked(inType);
    if (position == 0)
        return false;
    const bool available = sComponentIsAvailable->GetNth(position) != 0;
    if (available == inAvailable || (!inAvailable && sComponentHasRequirements->GetNth(position) == 0))
        return false;
    sComponentChecked->DeleteNth(position);
    sComponentIsAvailable->DeleteNth(position);
    sComponentHasRequirements->DeleteNth(position);
    return true;
}

uint32_t VComponentManager::GetLocalizationLanguage(const VFolder* inFolder, bool inIsBundle,
                                                    uint32_t inWantedLanguage)
{
    if (inFolder == nullptr || !inFolder->Exists())
        return VIntlMgr::kNoDialect;
    VRefPtr<VFolder> localizations;
    if (inIsBundle)
    {
        VFilePath path(inFolder->GetPath());
        path.ToSubFolder(VString("Contents")).ToSubFolder(VString("Resources"));
        localizations.Reset(new (std::nothrow) VFolder(path, inFolder->GetFileSystem()));
    }
    else
    {
        localizations = VRefPtr<VFolder>::Retained(const_cast<VFolder*>(inFolder));
    }
    if (localizations == nullptr)
        return VIntlMgr::kNoDialect;

    uint32_t wanted = inWantedLanguage;
    if (wanted == 0)
    {
        wanted = VIntlMgr::kDefaultDialect;
        VString preferred;
        uint32_t dialect = 0;
        if (XMacComponentManager::GetPreferredLocalizationOfMainBundle(preferred) &&
            ((VIntlMgr::GetDialectCodeWithISOLanguageName(preferred, dialect) &&
              dialect != VIntlMgr::kNoDialect) ||
             (VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(preferred, dialect, true, true) &&
              dialect != VIntlMgr::kNoDialect)))
            wanted = dialect;
    }

    const VString extension(".lproj");
    bool found = false;
    bool englishFound = false;
    uint32_t last = VIntlMgr::kNoDialect;
    for (VFolderIterator folder(localizations.Get(), FI_WANT_FOLDERS | FI_RESOLVE_ALIASES);
         folder.IsValid() && !(last == wanted && last != VIntlMgr::kNoDialect); ++folder)
    {
        VString name;
        folder->GetPath().GetName(name);
        const int32_t position = name.Find(extension, 1, false);
        if (position == 0)
            continue;
        name.SubString(1, position - 1);
        uint32_t dialect = VIntlMgr::kNoDialect;
        if (!DialectOfLocalizationName(name, dialect))
            continue;
        last = dialect;
        englishFound = englishFound || dialect == VIntlMgr::kDefaultDialect;
        found = found || dialect == wanted;
    }
    if (found)
        return wanted;
    if (englishFound)
        return VIntlMgr::kDefaultDialect;
    return last;
}

} // namespace kova
