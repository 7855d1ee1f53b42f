// VUTIManager is the process's registry of uniform type identifiers, read from the type
// declarations of property lists; the localization manager it is given names the types in the
// user's language. So far it holds that localization manager; the registry of types comes with
// the type declarations.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VLocalizationManager;

class VUTIManager : public VObject, public IRefCountable
{
public:
    // The singleton, made on the first call.
    static VUTIManager* GetUTIManager();
    static bool Init() { return true; }
    // Both release the singleton.
    static void Delete();
    static bool DeInit();

    // Not retained: the caller keeps it alive while it is set, and clears it before releasing it.
    void SetLocalizationManager(VLocalizationManager* inManager) { fLocalizationManager = inManager; }
    VLocalizationManager* GetLocalizationManager() const { return fLocalizationManager; }

private:
    VUTIManager() = default;
    ~VUTIManager() override = default;

    static VUTIManager* fSingleton;
    VLocalizationManager* fLocalizationManager = nullptr;
};

} // namespace kova
