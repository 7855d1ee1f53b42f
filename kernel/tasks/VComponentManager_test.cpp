#include "kernel/tasks/VComponentManager.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VIntlMgr.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kova
{
namespace
{

uint32_t LanguageOf(const StTemporaryFolder& inBundle, uint32_t inWanted)
{
    VFolder folder(inBundle.Path(""));
    return VComponentManager::GetLocalizationLanguage(&folder, true, inWanted);
}

void AddLocalizations(const StTemporaryFolder& inBundle, std::initializer_list<const char*> inNames)
{
    for (const char* name : inNames)
        std::filesystem::create_directories(inBundle.Posix(std::string("Contents/Resources/") + name));
}

TEST(VComponentManager, TheWantedLanguageElseEnglishElseTheLastFound)
{
    StTemporaryFolder bundle;
    EXPECT_EQ(LanguageOf(bundle, 1036), VIntlMgr::kNoDialect); // no localization
    AddLocalizations(bundle, {"German.lproj"});
    EXPECT_EQ(LanguageOf(bundle, 1036), 1031u);
    AddLocalizations(bundle, {"en.lproj", "fr.lproj", "notes"});
    EXPECT_EQ(LanguageOf(bundle, 1036), 1036u);
    EXPECT_EQ(LanguageOf(bundle, 1040), 1033u); // Italian is not there: English is
    // The test's own bundle has no localization: the wanted language is English.
    EXPECT_EQ(LanguageOf(bundle, 0), 1033u);
}

TEST(VComponentManager, AMissingFolderHasNoLanguage)
{
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(nullptr, true, 0), VIntlMgr::kNoDialect);
    VFolder missing(VFilePath(VString("/nowhere/at/all/"), FPS_POSIX));
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(&missing, true, 0), VIntlMgr::kNoDialect);
}

} // namespace
} // namespace kova
