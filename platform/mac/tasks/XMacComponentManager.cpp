#include "platform/mac/tasks/XMacComponentManager.h"

#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/CFLocale.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

namespace kova
{

namespace
{

// "fr_CA", "fr-ca" and "FR-CA" are one tag.
std::string Normalized(std::string inTag)
{
    for (char& c : inTag)
        c = c == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    return inTag;
}

} // namespace

void XMacComponentManager::GetPreferredLocalizations(std::vector<VString>& outNames)
{
    outNames.clear();
    const std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    if (bundle == nullptr)
        return;
    std::vector<std::string> localizations;
    std::error_code ignored;
    for (std::filesystem::directory_iterator entry(bundle->GetPath() + "/Contents/Resources", ignored), end;
         !ignored && entry != end; entry.increment(ignored))
    {
        const std::string name = entry->path().filename().string();
        if (name.size() > 6 && name.compare(name.size() - 6, 6, ".lproj") == 0 &&
            entry->is_directory(ignored))
            localizations.push_back(name.substr(0, name.size() - 6));
    }
    std::sort(localizations.begin(), localizations.end());
    for (const std::string& preferred : cf::LocaleCopyPreferredLanguages())
    {
        const std::string tag = Normalized(preferred);
        const std::string language = tag.substr(0, tag.find('-'));
        for (const std::string* wanted : {&tag, &language})
        {
            for (const std::string& name : localizations)
            {
                if (Normalized(name) == *wanted)
                {
                    VString text;
                    text.FromBlock(name.data(), name.size(), VTC_UTF_8);
                    outNames.push_back(text);
                }
            }
        }
    }
}

} // namespace kova
