// VComponentManager is the toolbox's static registry of components (CComponent.h): component
// types made by a registered creator or by a component library loaded from disk, the live shared
// instances, and the check of the requirements a component declares on other types, cached per
// type. It also answers which localization of a bundle or folder to use.
//
//     VComponentManager::Init();
//     VComponentManager::RegisterComponentCreator(kMyType, &CreateMine, false);
//     CComponent* component = VComponentManager::RetainComponent(kMyType, kAnyComponentFamily);
//     ... component->Release();
//
// Before Init the retaining operations give null and the others kova 1000. Errors are returned,
// not raised, except by RegisterComponentLibrary, which also pushes them.
//
// Locks: sAccessingInstances, then sAccessingChecking, then sAccessingTypes, then
// sAccessingChecked; creators and library entry points run under sAccessingTypes. The shared
// instances hold a reference of their own.
#pragma once

#include "kernel/tasks/CComponent.h"
#include "kernel/tasks/VArrayOf.h"
#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VCriticalSection;
class VFilePath;
class VFolder;
class VLibrary;

// The family that matches any family.
constexpr uint32_t kAnyComponentFamily = FourCharCode("BBBB");

class VComponentManager
{
public:
    VComponentManager() = delete;

    static constexpr const char* kDEFAULT_MAIN_SYMBOL = "Main";
    static constexpr const char* kDEFAULT_GET_TYPES_SYMBOL = "GetNthComponentType";
    static constexpr const char* kDEFAULT_CREATE_SYMBOL = "CreateComponent";
    // The messages of a library's "Main".
    static constexpr uint32_t kRegisterMessage = FourCharCode("regs");
    static constexpr uint32_t kUnregisterMessage = FourCharCode("leav");

    // Makes the lists and locks once; whether they all exist.
    static bool Init();
    // Frees everything: instances and libraries are released.
    static void DeInit();
    static bool IsInitialized() { return sIsInitialized; }

    // A known type takes the creator unless it already has that one and inReplace is false (kova
    // 1002); a new type is added.
    static VError RegisterComponentCreator(uint32_t inType, ComponentCreator inCreator, bool inReplace);
    // 1001 unless that creator is registered for the type.
    static VError UnRegisterComponentCreator(uint32_t inType, ComponentCreator inCreator);
    // 1003 for an unknown type.
    static VError UnRegisterComponentType(uint32_t inType);

    // Loads the library and registers the types it makes: 1002 when it is registered already, 100
    // when it cannot load (a file error 1008 is pushed), 1004 when it lacks an entry point.
    static VError RegisterComponentLibrary(const VFilePath& inPath);
    // Removes its types and tells it so; 1001 when it is not registered.
    static VError UnRegisterComponentLibrary(const VFilePath& inPath);

    // A shared instance of the type and family (any family with kAnyComponentFamily), made and
    // shared when there is none; retained for the caller, null when none can be had.
    static CComponent* RetainComponent(uint32_t inType, uint32_t inFamily);
    // A new component, retained; with inSkipCheck false, only when its requirements are met.
    static CComponent* RetainUniqueComponent(uint32_t inType, uint32_t inFamily, bool inSkipCheck);
    // Appends what RetainComponent gives with the family for each type that gives one. False only
    // for a null array (or before Init).
    static bool RetainComponentsOfFamily(uint32_t inFamily, VArrayOf<CComponent*>* ioComponents);

    // 1002 when already there; 3 for null.
    static VError RegisterComponentInstance(CComponent* inComponent);
    // 1003 when absent; 3 for null.
    static VError UnRegisterComponentInstance(CComponent* inComponent);

    static bool IsComponentAvailable(uint32_t inType);
    // Whether every requirement of the component is met (cached per type). With inKeepRequired the
    // components made for the check live until it ends.
    static bool CheckComponentRequirements(CComponent* inComponent, bool inKeepRequired);
    // Forgets the type's cached result when it differs from inAvailable (with inAvailable false,
    // only when the type declared requirements); whether it was forgotten.
    static bool ResetComponentRequirements(uint32_t inType, bool inAvailable);

    // The dialect of the folder's localization to use: with inIsBundle the folder is a bundle
    // whose localizations lie in Contents/Resources. Language 0 asks for the main bundle's
    // localization of the user's preferred languages (1033 when none matches). Among the folder's
    // ".lproj" folders: the wanted language, else English, else the last found; kNoDialect when
    // there is none or the folder does not exist.
    static uint32_t GetLocalizationLanguage(const VFolder* inFolder, bool inIsBundle,
                                            uint32_t inWantedLanguage);

private:
    // The type's position, 0 when unknown. Under sAccessingTypes.
    static int32_t _FindType(uint32_t inType);
    // Removes the type at that position with its creator and library (released). Under
    // sAccessingTypes.
    static void _RemoveTypeAt(int32_t inIndex);
    // Appends a type; false (the lists unchanged) when memory runs out. Under sAccessingTypes.
    static bool _AppendType(uint32_t inType, ComponentCreator inCreator, VLibrary* inLibrary);
    // The cached check of the type: its position in sComponentChecked, 0 when none. Under
    // sAccessingChecked.
    static int32_t _FindChecked(uint32_t inType);
    // Drops the type's cached check, whatever it was: a type no longer registered cannot stay
    // known as available.
    static void _ForgetChecked(uint32_t inType);
    static bool _CheckRequirements(CComponent* inComponent, bool inKeepRequired);

    static bool sIsInitialized;
    static VArrayOf<uint32_t>* sComponentTypes;
    static VArrayOf<ComponentCreator>* sComponentProcs;
    static VArrayOf<VLibrary*>* sComponentLibraries;
    static VArrayOf<CComponent*>* sComponentInstances;
    static VArrayOf<uint32_t>* sComponentChecked;
    static VArrayOf<uint8_t>* sComponentIsAvailable;
    static VArrayOf<uint8_t>* sComponentHasRequirements;
    static VArrayOf<uint32_t>* sComponentChecking;
    static VCriticalSection* sAccessingTypes;
    static VCriticalSection* sAccessingInstances;
    static VCriticalSection* sAccessingChecked;
    static VCriticalSection* sAccessingChecking;
};

} // namespace kova
