// VComponentManager is the registry of the toolbox's components. Of it, the updater needs one
// question so far: which language a bundle is localized in, from its ".lproj" folders and the
// user's preferred languages. The registry of component types and libraries comes with it later.
#pragma once

#include <cstdint>

namespace kova
{

class VFolder;

class VComponentManager
{
public:
    VComponentManager() = delete;

    // The dialect code of the folder's localization: the wanted language (0: the user's first
    // preferred language among the main bundle's localizations, else 1033) when a ".lproj" folder
    // of it exists, else 1033 when an English one does, else the last one found; 0xFFFFFFFE (-2)
    // when the folder is missing or has none. With inIsBundle the folders are looked for in its
    // Contents/Resources. No error is raised.
    static uint32_t GetLocalizationLanguage(VFolder* inFolder, bool inIsBundle, uint32_t inWanted = 0);
};

} // namespace kova
