#include "platform/mac/tasks/XMacComponentManager.h"

#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFBundle.h"

#include <memory>
#include <string>
#include <vector>

namespace kova
{

bool XMacComponentManager::GetPreferredLocalizationOfMainBundle(VString& outName)
{
    std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    if (bundle == nullptr)
        return false;
    std::vector<std::string> preferred =
        cf::BundleCopyPreferredLocalizationsFromArray(cf::BundleCopyBundleLocalizations(*bundle));
    if (preferred.empty())
        return false;
    outName.FromBlock(preferred.front().data(), preferred.front().size(), VTC_UTF_8);
    return !outName.IsEmpty();
}

} // namespace kova
