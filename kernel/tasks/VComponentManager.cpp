#include "kernel/tasks/VComponentManager.h"

#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VIntlMgr.h"
#include "platform/mac/tasks/XMacComponentManager.h"

#include <vector>

namespace kova
{

namespace
{

// A localization's name as a dialect: an RFC 3066bis code ("fr-CA", "en"), else a language name
// ("French").
bool DialectOfName(const VString& inName, uint32_t& outDialect)
{
    return VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(inName, outDialect, true, true) ||
           VIntlMgr::GetDialectCodeWithISOLanguageName(inName, outDialect);
}

} // namespace

uint32_t VComponentManager::GetLocalizationLanguage(VFolder* inFolder, bool inIsBundle, uint32_t inWanted)
{
    if (inFolder == nullptr || !inFolder->Exists())
        return VIntlMgr::kNoDialect;
    VFilePath folderPath(inFolder->GetPath());
    if (inIsBundle)
        folderPath.ToSubFolder(VString("Contents")).ToSubFolder(VString("Resources"));
    VFolder localizations(folderPath);

    if (inWanted == 0)
    {
        inWanted = VIntlMgr::kDefaultDialect;
        std::vector<VString> preferred;
        XMacComponentManager::GetPreferredLocalizations(preferred);
        uint32_t dialect = 0;
        if (!preferred.empty() &&
            (VIntlMgr::GetDialectCodeWithISOLanguageName(preferred[0], dialect) ||
             VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(preferred[0], dialect, true, true)))
            inWanted = dialect;
    }

    const VString extension(".lproj");
    uint32_t last = VIntlMgr::kNoDialect;
    bool english = false;
    bool found = false;
    for (VFolderIterator folders(&localizations, FI_WANT_FOLDERS | FI_RESOLVE_ALIASES); folders.IsValid();
         ++folders)
    {
        VString name;
        folders->GetName(name);
        const int32_t at = name.Find(extension, 1, false);
        if (at <= 0)
            continue;
        name.Truncate(at - 1);
        uint32_t dialect = 0;
        if (!DialectOfName(name, dialect))
            continue;
        last = dialect;
        english = english || dialect == VIntlMgr::kDefaultDialect;
        if (dialect == inWanted)
        {
            found = true;
            break;
        }
    }
    if (found)
        return inWanted;
    return english ? VIntlMgr::kDefaultDialect : last;
}

} // namespace kova
