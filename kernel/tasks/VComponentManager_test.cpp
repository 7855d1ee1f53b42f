#include "kernel/tasks/VComponentManager.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VLibrary.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "platform/mac/frameworks/CFBundle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

namespace fs = std::filesystem;

const std::string kBundles = KOVA_TEST_BUNDLES;

// What the test components say of themselves, by type.
struct Description
{
    uint32_t fVersion = 1;
    std::vector<std::pair<uint32_t, uint32_t>> fRequirements; // type, minimum version
    uint32_t fFormat = kComponentInfoFormat;
    // The size written in field 1; 0 for the block's true size.
    uint32_t fDeclaredSize = 0;
    // The count written in field 10 when it should lie; -1 for the true count.
    int64_t fDeclaredCount = -1;
};

std::map<uint32_t, Description>& Descriptions()
{
    static std::map<uint32_t, Description> sDescriptions;
    return sDescriptions;
}

std::atomic<int> sLiveComponents{0};

class TestComponent final : public CComponent
{
public:
    TestComponent(uint32_t inType, uint32_t inFamily) : fType(inType), fFamily(inFamily)
    {
        ++sLiveComponents;
    }

    uint32_t Retain(const char*) const override { return ++fCount; }
    uint32_t Release(const char*) const override
    {
        uint32_t count = --fCount;
        if (count == 0)
            delete this;
        return count;
    }
    uint32_t GetRefCount() const override { return fCount; }
    uint32_t* GetComponentInfo() const override
    {
        const Description& description = Descriptions()[fType];
        const size_t fields = kComponentInfoFixedFields + 2 * description.fRequirements.size();
        if (fields > 64)
            return nullptr;
        auto* block = static_cast<uint32_t*>(VObject::sCppMemMgr->Malloc(fields * 4, false, 0));
        if (block == nullptr)
            return nullptr;
        std::fill_n(block, fields, 0u);
        block[0] = description.fFormat;
        block[1] = description.fDeclaredSize != 0 ? description.fDeclaredSize
                                                  : uint32_t(std::max<size_t>(fields * 4, 52));
        block[5] = description.fVersion;
        block[10] = description.fDeclaredCount >= 0 ? uint32_t(description.fDeclaredCount)
                                                    : uint32_t(description.fRequirements.size());
        for (size_t i = 0; i < description.fRequirements.size(); ++i)
        {
            block[kComponentInfoFixedFields + 2 * i] = description.fRequirements[i].first;
            block[kComponentInfoFixedFields + 2 * i + 1] = description.fRequirements[i].second;
        }
        return block;
    }
    uint32_t GetComponentType() const override { return fType; }
    uint32_t GetComponentFamily() const override { return fFamily; }

private:
    ~TestComponent() override { --sLiveComponents; }

    uint32_t fType;
    uint32_t fFamily;
    mutable std::atomic<uint32_t> fCount{1};
};

CComponent* CreateTest(uint32_t inType, uint32_t inFamily)
{
    return new TestComponent(inType, inFamily);
}

CComponent* CreateOther(uint32_t inType, uint32_t inFamily)
{
    return new TestComponent(inType, inFamily);
}

// The types of the tests.
constexpr uint32_t kA = FourCharCode("tsta");
constexpr uint32_t kB = FourCharCode("tstb");
constexpr uint32_t kC = FourCharCode("tstc");
constexpr uint32_t kD = FourCharCode("tstd");
constexpr uint32_t kMissing = FourCharCode("none");
constexpr uint32_t kPlugInA = FourCharCode("tpla");
constexpr uint32_t kPlugInB = FourCharCode("tplb");

VFilePath FolderPath(const std::string& inPosix)
{
    return VFilePath(VString((inPosix.back() == '/' ? inPosix : inPosix + "/").c_str()), FPS_POSIX);
}

class VComponentManagerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Descriptions().clear();
        ASSERT_TRUE(VComponentManager::Init());
    }
    void TearDown() override
    {
        VComponentManager::DeInit();
        EXPECT_EQ(sLiveComponents, 0);
    }

    // Registers the types with the test creator and the given descriptions.
    static void Register(const std::map<uint32_t, Description>& inTypes)
    {
        for (const auto& [type, description] : inTypes)
        {
            Descriptions()[type] = description;
            ASSERT_EQ(VComponentManager::RegisterComponentCreator(type, &CreateTest, false), VE_OK);
        }
    }

    // Whether a new component of the type passes its check; the component is released.
    static bool Passes(uint32_t inType)
    {
        CComponent* component = VComponentManager::RetainUniqueComponent(inType, kAnyComponentFamily, true);
        if (component == nullptr)
            return false;
        const bool passes = VComponentManager::CheckComponentRequirements(component, true);
        component->Release();
        return passes;
    }
};

TEST(VComponentManagerUninitialized, EveryOperationRefusesBeforeInit)
{
    VComponentManager::DeInit();
    EXPECT_FALSE(VComponentManager::IsInitialized());
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, &CreateTest, false),
              VE_COMPONENT_MGR_NOT_INITIALIZED);
    EXPECT_EQ(VComponentManager::UnRegisterComponentType(kA), VE_COMPONENT_MGR_NOT_INITIALIZED);
    EXPECT_EQ(VComponentManager::RetainComponent(kA, kAnyComponentFamily), nullptr);
    EXPECT_EQ(VComponentManager::RetainUniqueComponent(kA, kAnyComponentFamily, true), nullptr);
    EXPECT_FALSE(VComponentManager::IsComponentAvailable(kA));
    EXPECT_EQ(VComponentManager::RegisterComponentInstance(nullptr), VE_COMPONENT_MGR_NOT_INITIALIZED);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(VComponentManager::RegisterComponentLibrary(FolderPath(kBundles + "/TestPlugIn.bundle")),
              VE_COMPONENT_MGR_NOT_INITIALIZED);
    EXPECT_EQ(errors.GetLastError(), VE_COMPONENT_MGR_NOT_INITIALIZED);
}

TEST_F(VComponentManagerTest, CreatorsRegisterReplaceAndUnregister)
{
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, nullptr, false), VE_INVALID_PARAMETER);
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, &CreateTest, false), VE_OK);
    EXPECT_TRUE(VComponentManager::IsComponentAvailable(kA));
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, &CreateTest, false),
              VE_COMPONENT_ALREADY_REGISTERED);
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, &CreateTest, true), VE_OK);
    EXPECT_EQ(VComponentManager::RegisterComponentCreator(kA, &CreateOther, false), VE_OK);
    // Only the creator now registered unregisters the type.
    EXPECT_EQ(VComponentManager::UnRegisterComponentCreator(kA, &CreateTest), VE_COMPONENT_NOT_REGISTERED);
    EXPECT_EQ(VComponentManager::UnRegisterComponentCreator(kA, &CreateOther), VE_OK);
    EXPECT_FALSE(VComponentManager::IsComponentAvailable(kA));
    EXPECT_EQ(VComponentManager::UnRegisterComponentCreator(kA, &CreateOther), VE_COMPONENT_NOT_REGISTERED);
    EXPECT_EQ(VComponentManager::UnRegisterComponentType(kA), VE_COMPONENT_UNKNOWN);
    EXPECT_EQ(VComponentManager::RetainUniqueComponent(kA, kAnyComponentFamily, true), nullptr);
}

TEST_F(VComponentManagerTest, SharedInstancesOutliveTheirCallersReferences)
{
    Register({{kA, {}}});
    CComponent* first = VComponentManager::RetainComponent(kA, FourCharCode("fam1"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetComponentFamily(), FourCharCode("fam1"));
    first->Release(); // the registry keeps its own reference
    CComponent* again = VComponentManager::RetainComponent(kA, kAnyComponentFamily);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->GetRefCount(), 2u);
    CComponent* otherFamily = VComponentManager::RetainComponent(kA, FourCharCode("fam2"));
    EXPECT_NE(otherFamily, first);
    CComponent* unique = VComponentManager::RetainUniqueComponent(kA, FourCharCode("fam1"), false);
    EXPECT_NE(unique, first);

    EXPECT_EQ(VComponentManager::RegisterComponentInstance(first), VE_COMPONENT_ALREADY_REGISTERED);
    EXPECT_EQ(VComponentManager::RegisterComponentInstance(unique), VE_OK);
    EXPECT_EQ(unique->GetRefCount(), 2u);
    EXPECT_EQ(VComponentManager::UnRegisterComponentInstance(unique), VE_OK);
    EXPECT_EQ(VComponentManager::UnRegisterComponentInstance(unique), VE_COMPONENT_UNKNOWN);
    EXPECT_EQ(VComponentManager::UnRegisterComponentInstance(nullptr), VE_INVALID_PARAMETER);
    EXPECT_EQ(unique->GetRefCount(), 1u);
    unique->Release();
    again->Release();
    otherFamily->Release();

    VArrayRetainedPtrOf<CComponent*> family;
    EXPECT_FALSE(VComponentManager::RetainComponentsOfFamily(FourCharCode("fam2"), nullptr));
    EXPECT_TRUE(VComponentManager::RetainComponentsOfFamily(FourCharCode("fam2"), &family));
    ASSERT_EQ(family.GetCount(), 1);
    EXPECT_EQ(family[1], otherFamily);
}

TEST_F(VComponentManagerTest, RequirementsNeedTheTypesAtTheirVersions)
{
    Register({{kA, {3, {}}},
              {kB, {1, {{kA, 2}, {kB, 9}}}}, // its own type is skipped
              {kC, {1, {{kA, 4}}}},
              {kD, {1, {{kMissing, kAnyComponentVersion}}}}});
    EXPECT_TRUE(Passes(kA));
    EXPECT_TRUE(Passes(kB));
    EXPECT_FALSE(Passes(kC));
    EXPECT_FALSE(Passes(kD));
    EXPECT_EQ(VComponentManager::RetainComponent(kC, kAnyComponentFamily), nullptr);
    CComponent* b = VComponentManager::RetainComponent(kB, kAnyComponentFamily);
    ASSERT_NE(b, nullptr);
    b->Release();
    EXPECT_FALSE(VComponentManager::CheckComponentRequirements(nullptr, false));
}

TEST_F(VComponentManagerTest, UnsoundInformationBlocksFailAndLeaveNoTypeUnderWay)
{
    const uint32_t kShort = FourCharCode("shrt");
    const uint32_t kOld = FourCharCode("oldf");
    const uint32_t kOverflow = FourCharCode("ovfl");
    const uint32_t kNeedsShort = FourCharCode("nshr");
    Description tooShort;
    tooShort.fDeclaredSize = 51;
    Description oldFormat;
    oldFormat.fFormat = 0xFFFF;
    // A count whose pairs run past the block's declared 52 bytes.
    Description overflowing;
    overflowing.fDeclaredCount = 5;
    Register({{kShort, tooShort},
              {kOld, oldFormat},
              {kOverflow, overflowing},
              {kNeedsShort, {1, {{kShort, kAnyComponentVersion}}}}});
    EXPECT_FALSE(Passes(kShort));
    EXPECT_FALSE(Passes(kOld));
    EXPECT_FALSE(Passes(kOverflow));
    // Had the failed check left its type marked, this one would pass it by as under way.
    EXPECT_FALSE(Passes(kNeedsShort));
}

TEST_F(VComponentManagerTest, ACachedFailureFailsWhoeverNeedsTheType)
{
    Register({{kA, {1, {}}}, {kC, {1, {{kA, 4}}}}, {kD, {1, {{kC, kAnyComponentVersion}}}}});
    EXPECT_FALSE(Passes(kC)); // now cached as unavailable
    EXPECT_FALSE(Passes(kD));
}

TEST_F(VComponentManagerTest, TypesThatNeedEachOtherPass)
{
    Register({{kA, {1, {{kB, kAnyComponentVersion}}}}, {kB, {1, {{kA, kAnyComponentVersion}}}}});
    EXPECT_TRUE(Passes(kA));
    EXPECT_TRUE(Passes(kB));
}

TEST_F(VComponentManagerTest, ResettingForgetsAResultThatDiffersFromTheFlag)
{
    Register({{kA, {1, {}}}, {kB, {1, {{kA, kAnyComponentVersion}}}}, {kC, {1, {{kMissing, 1}}}}});
    ASSERT_TRUE(Passes(kA));  // available, no requirements
    ASSERT_TRUE(Passes(kB));  // available, with requirements
    ASSERT_FALSE(Passes(kC)); // unavailable
    EXPECT_FALSE(VComponentManager::ResetComponentRequirements(kA, true));
    EXPECT_FALSE(VComponentManager::ResetComponentRequirements(kA, false)); // declared none
    EXPECT_TRUE(VComponentManager::ResetComponentRequirements(kB, false));
    EXPECT_FALSE(VComponentManager::ResetComponentRequirements(kB, false)); // forgotten already
    EXPECT_FALSE(VComponentManager::ResetComponentRequirements(kC, false));
    EXPECT_TRUE(VComponentManager::ResetComponentRequirements(kC, true));
    EXPECT_FALSE(VComponentManager::ResetComponentRequirements(kMissing, true));
}

TEST_F(VComponentManagerTest, AnUnregisteredTypeNoLongerMeetsARequirement)
{
    Register({{kA, {1, {}}}, {kB, {1, {{kA, kAnyComponentVersion}}}}});
    ASSERT_TRUE(Passes(kA)); // cached as available
    ASSERT_EQ(VComponentManager::UnRegisterComponentType(kA), VE_OK);
    EXPECT_FALSE(Passes(kB));
}

// The plug-in's own counters, read through a library of the same file: the same loaded image,
// kept mapped while the observer lives.
class PlugInObserver
{
public:
    PlugInObserver() : fLibrary(new VLibrary(FolderPath(kBundles + "/TestPlugIn.bundle")))
    {
        fLibrary->Load();
    }

    int Get(const char16_t* inName)
    {
        auto counter = reinterpret_cast<int (*)()>(fLibrary->GetProcAddress(VString(inName)));
        return counter != nullptr ? counter() : -1;
    }

private:
    VRefPtr<VLibrary> fLibrary;
};

bool IsMapped(const std::string& inPath)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
    {
        if (line.find(inPath) != std::string::npos)
            return true;
    }
    return false;
}

TEST_F(VComponentManagerTest, ALibraryRegistersItsTypesAndIsToldWhenItLeaves)
{
    const VFilePath plugIn = FolderPath(kBundles + "/TestPlugIn.bundle");
    auto observer = std::make_unique<PlugInObserver>();
    const int registered = observer->Get(u"TestPlugInRegisterCalls");
    const int unregistered = observer->Get(u"TestPlugInUnregisterCalls");
    StErrorContextInstaller errors(false, true);
    ASSERT_EQ(VComponentManager::RegisterComponentLibrary(plugIn), VE_OK);
    EXPECT_EQ(observer->Get(u"TestPlugInRegisterCalls"), registered + 1);
    EXPECT_TRUE(VComponentManager::IsComponentAvailable(kPlugInA));
    EXPECT_TRUE(VComponentManager::IsComponentAvailable(kPlugInB));
    EXPECT_EQ(VComponentManager::RegisterComponentLibrary(plugIn), VE_COMPONENT_ALREADY_REGISTERED);
    EXPECT_EQ(errors.GetLastError(), VE_COMPONENT_ALREADY_REGISTERED);

    // 'tplb' needs 'tpla' at version 2; the library's 'tpla' is at 3.
    CComponent* b = VComponentManager::RetainUniqueComponent(kPlugInB, FourCharCode("fam1"), false);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetComponentType(), kPlugInB);
    EXPECT_EQ(observer->Get(u"TestPlugInLiveComponents"), 1);
    b->Release();
    EXPECT_EQ(observer->Get(u"TestPlugInLiveComponents"), 0);

    ASSERT_EQ(VComponentManager::UnRegisterComponentLibrary(plugIn), VE_OK);
    EXPECT_FALSE(VComponentManager::IsComponentAvailable(kPlugInA));
    EXPECT_EQ(VComponentManager::UnRegisterComponentLibrary(plugIn), VE_COMPONENT_NOT_REGISTERED);
    EXPECT_EQ(observer->Get(u"TestPlugInUnregisterCalls"), unregistered + 1);
    observer.reset();
    EXPECT_FALSE(IsMapped(kBundles + "/TestPlugIn.bundle/Contents/MacOS/TestPlugIn"));
}

TEST_F(VComponentManagerTest, LibrariesThatCannotServeAreRefused)
{
    testing_support::StTemporaryFolder folder;
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(
            VComponentManager::RegisterComponentLibrary(FolderPath(folder.GetPath() + "/Missing.bundle")),
            VE_MEMORY_FULL);
        EXPECT_NE(errors.GetContext()->Find(VE_COMPONENT_LIBRARY_CANNOT_LOAD), nullptr);
    }
    {
        // A framework with functions but no entry point of a component library.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(VComponentManager::RegisterComponentLibrary(FolderPath(kBundles + "/TestKit.framework")),
                  VE_COMPONENT_LIBRARY_INCOMPLETE);
        EXPECT_EQ(errors.GetLastError(), VE_COMPONENT_LIBRARY_INCOMPLETE);
    }
    EXPECT_FALSE(IsMapped(kBundles + "/TestKit.framework/Versions/A/TestKit"));
}

TEST_F(VComponentManagerTest, ATypeTakenOverByAnotherLibraryReleasesTheFirst)
{
    testing_support::StTemporaryFolder folder;
    const std::string copy = folder.GetPath() + "/Copy.bundle";
    fs::copy(kBundles + "/TestPlugIn.bundle", copy, fs::copy_options::recursive);
    // The copy's executable keeps its name through its information dictionary.
    StErrorContextInstaller errors(false, true);
    ASSERT_EQ(VComponentManager::RegisterComponentLibrary(FolderPath(kBundles + "/TestPlugIn.bundle")),
              VE_OK);
    ASSERT_EQ(VComponentManager::RegisterComponentLibrary(FolderPath(copy)), VE_OK);
    // Every type went to the copy: nothing holds the first library any more.
    EXPECT_FALSE(IsMapped(kBundles + "/TestPlugIn.bundle/Contents/MacOS/TestPlugIn"));
    EXPECT_TRUE(IsMapped(copy + "/Contents/MacOS/TestPlugIn"));
    EXPECT_EQ(VComponentManager::UnRegisterComponentLibrary(FolderPath(kBundles + "/TestPlugIn.bundle")),
              VE_COMPONENT_NOT_REGISTERED);
    CComponent* a = VComponentManager::RetainComponent(kPlugInA, kAnyComponentFamily);
    ASSERT_NE(a, nullptr);
    a->Release();
    // DeInit releases the shared instance before the library that made it.
}

// Localizations.

class VComponentManagerLocalization : public testing::Test
{
protected:
    // A bundle (Sample.app) with those localization folders in Contents/Resources.
    VRefPtr<VFolder> MakeBundle(const std::vector<std::string>& inLocalizations,
                                const char* inName = "Sample")
    {
        const std::string app = fFolder.MakeApp(inName, "");
        fs::create_directories(app + "/Contents/Resources");
        for (const std::string& name : inLocalizations)
            fs::create_directories(app + "/Contents/Resources/" + name);
        return VRefPtr<VFolder>(new VFolder(FolderPath(app)));
    }

    testing_support::StTemporaryFolder fFolder;
};

TEST_F(VComponentManagerLocalization, TheWantedLanguageElseEnglishElseTheLastFound)
{
    struct Case
    {
        std::vector<std::string> fFolders;
        uint32_t fWanted;
        uint32_t fAnswer;
    };
    const Case cases[] = {
        {{"fr.lproj", "en.lproj", "de.lproj"}, 1036, 1036},
        {{"French.lproj", "English.lproj"}, 1036, 1036},
        {{"fr.lproj", "en.lproj", "de.lproj"}, 1041, 1033},
        {{"fr.lproj", "English.lproj"}, 1041, 1033},
        {{"de.lproj"}, 1033, 1031},
        {{"Resources.txt", "Base.lproj", "zz.lproj"}, 1033, VIntlMgr::kNoDialect},
        {{}, 1033, VIntlMgr::kNoDialect},
    };
    int index = 0;
    for (const Case& c : cases)
    {
        VRefPtr<VFolder> bundle = MakeBundle(c.fFolders, ("Sample" + std::to_string(index++)).c_str());
        EXPECT_EQ(VComponentManager::GetLocalizationLanguage(bundle.Get(), true, c.fWanted), c.fAnswer)
            << c.fFolders.size() << " " << c.fWanted;
    }

    // French and German only, English wanted: whichever the folder iterator gives last.
    VRefPtr<VFolder> bundle = MakeBundle({"fr.lproj", "de.lproj"}, "FrenchGerman");
    const uint32_t answer = VComponentManager::GetLocalizationLanguage(bundle.Get(), true, 1033);
    EXPECT_TRUE(answer == 1036 || answer == 1031) << answer;

    // Not a bundle: the folder itself holds the localizations.
    fs::create_directories(fFolder.GetPath() + "/Plain/it.lproj");
    VRefPtr<VFolder> plain(new VFolder(FolderPath(fFolder.GetPath() + "/Plain")));
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(plain.Get(), false, 1040), 1040u);
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(plain.Get(), true, 1040), VIntlMgr::kNoDialect);
    VRefPtr<VFolder> missing(new VFolder(FolderPath(fFolder.GetPath() + "/Missing")));
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(missing.Get(), false, 1040), VIntlMgr::kNoDialect);
    EXPECT_EQ(VComponentManager::GetLocalizationLanguage(nullptr, false, 1040), VIntlMgr::kNoDialect);
}

// The user's languages and the main bundle for a scope.
class StLanguagesAndMainBundle
{
public:
    StLanguagesAndMainBundle(const char* inLanguages, const std::string& inMainBundle)
    {
        const char* saved = std::getenv("LANGUAGE");
        fSaved = saved != nullptr ? saved : "";
        setenv("LANGUAGE", inLanguages, 1);
        cf::SetMainBundlePath(inMainBundle);
    }
    ~StLanguagesAndMainBundle()
    {
        setenv("LANGUAGE", fSaved.c_str(), 1);
        cf::SetMainBundlePath("");
    }
    StLanguagesAndMainBundle(const StLanguagesAndMainBundle&) = delete;
    StLanguagesAndMainBundle& operator=(const StLanguagesAndMainBundle&) = delete;

private:
    std::string fSaved;
};

TEST_F(VComponentManagerLocalization, LanguageZeroAsksTheMainBundleForTheUsersLanguage)
{
    VRefPtr<VFolder> main = MakeBundle({"de.lproj", "fr.lproj", "en.lproj"}, "Main");
    VRefPtr<VFolder> target = MakeBundle({"de.lproj", "fr.lproj", "en.lproj"}, "Target");
    VString mainPath;
    main->GetPath().GetPosixPath(mainPath);
    struct Case
    {
        const char* fLanguages;
        uint32_t fAnswer;
    };
    // Exactly, else by language, in the order of the user's languages; else English.
    for (Case c : {Case{"fr_CA:de", 1036}, Case{"ja:de_AT", 1031}, Case{"ja", 1033}, Case{"C", 1033}})
    {
        StLanguagesAndMainBundle scope(c.fLanguages, to_string(mainPath));
        EXPECT_EQ(VComponentManager::GetLocalizationLanguage(target.Get(), true, 0), c.fAnswer)
            << c.fLanguages;
    }
}

} // namespace
} // namespace kova
