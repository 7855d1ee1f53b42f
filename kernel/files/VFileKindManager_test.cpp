#include "kernel/files/VFileKindManager.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

class VFileKindManagerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VFileKindManager::Init());
        fManager = VFileKindManager::Get();
        ASSERT_NE(fManager, nullptr);
    }
    void TearDown() override
    {
        VFileKindManager::DeInit();
        EXPECT_EQ(VFileKindManager::Get(), nullptr);
    }

    VFileKindManager* fManager = nullptr;
};

std::u16string IDOf(const VFileKind* inKind)
{
    return inKind != nullptr ? Text(inKind->GetID()) : u"<null>";
}

TEST_F(VFileKindManagerTest, PublicKindsAreCachedOnceAsked)
{
    VRefPtr<VFileKind> first(fManager->RetainFileKind(VString("public.jpeg")));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsPublic());
    VString extension;
    EXPECT_TRUE(first->GetPreferredExtension(extension));
    EXPECT_EQ(Text(extension), u"jpeg");
    EXPECT_TRUE(first->MatchExtension(VString("JPG")));
    std::vector<VString> parents;
    first->GetParentIDs(parents);
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(Text(parents[0]), u"public.image");
    EXPECT_TRUE(first->ConformsTo(VString("public.data")));
    EXPECT_FALSE(first->ConformsTo(VString("public.text")));

    VRefPtr<VFileKind> second(fManager->RetainFileKind(VString("public.jpeg")));
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(fManager->RetainFileKind(VString("public.nothing")), nullptr);
}

TEST_F(VFileKindManagerTest, PrivateKindsReplaceAndSortByIdentifier)
{
    VRefPtr<VFileKind> publicText(fManager->RetainFileKind(VString("public.plain-text")));
    fManager->RegisterPrivateFileKind(VString("public.plain-text"), {VString("TEXT")}, VString("mine"),
                                      {VString("note")}, {});
    VRefPtr<VFileKind> replaced(fManager->RetainFileKind(VString("public.plain-text")));
    ASSERT_NE(replaced, nullptr);
    EXPECT_FALSE(replaced->IsPublic());
    EXPECT_NE(replaced.Get(), publicText.Get());

    // Two private kinds share an extension: the identifier that sorts first wins.
    fManager->RegisterPrivateFileKind(VString("com.example.zeta"), VString("z"), {VString("shared")}, {});
    fManager->RegisterPrivateFileKind(VString("com.example.Alpha"), VString("a"), {VString("shared")}, {});
    VRefPtr<VFileKind> found(fManager->RetainFirstFileKindMatchingWithExtension(VString("SHARED")));
    EXPECT_EQ(IDOf(found.Get()), u"com.example.Alpha");

    // OS kinds compare exactly; the system's kind for one is given but not kept.
    VRefPtr<VFileKind> byOsKind(fManager->RetainFirstFileKindMatchingWithOsKind(VString("TEXT")));
    EXPECT_EQ(byOsKind.Get(), replaced.Get());
    VRefPtr<VFileKind> png(fManager->RetainFirstFileKindMatchingWithOsKind(VString("PNGf")));
    EXPECT_EQ(IDOf(png.Get()), u"public.png");
    VRefPtr<VFileKind> pngAgain(fManager->RetainFirstFileKindMatchingWithOsKind(VString("PNGf")));
    EXPECT_NE(png.Get(), pngAgain.Get());
    // The system's kind for an extension is kept.
    VRefPtr<VFileKind> gif(fManager->RetainFirstFileKindMatchingWithExtension(VString("gif")));
    VRefPtr<VFileKind> gifAgain(fManager->RetainFileKind(VString("com.compuserve.gif")));
    EXPECT_EQ(gif.Get(), gifAgain.Get());
}

TEST_F(VFileKindManagerTest, OsTypesAreExactlyFourBytesMostSignificantFirst)
{
    const struct
    {
        const char16_t* fOsKind;
        const char16_t* fExpected;
    } cases[] = {
        {u"TEXT", u"public.plain-text"},
        {u"TXET", u"<null>"},
        {u"TEX", u"<null>"},
        {u"TEXTS", u"<null>"},
        {u"", u"<null>"},
        // Two characters of two UTF-8 bytes each are four bytes, of no known type.
        {u"éé", u"<null>"},
    };
    for (const auto& test : cases)
    {
        VRefPtr<VFileKind> kind(XMacFile::CreatePublicFileKindFromOsKind(VString(test.fOsKind)));
        EXPECT_EQ(IDOf(kind.Get()), test.fExpected) << Text(VString(test.fOsKind)).size();
    }
}

TEST_F(VFileKindManagerTest, PrivateKindsConformThroughTheParentsTheyDeclare)
{
    fManager->RegisterPrivateFileKind(VString("com.example.doc"), VString("doc"), {VString("xdoc")},
                                      {VString("public.xml")});
    VRefPtr<VFileKind> kind(fManager->RetainFileKind(VString("com.example.doc")));
    ASSERT_NE(kind, nullptr);
    EXPECT_TRUE(kind->ConformsTo(VString("public.text")));
    EXPECT_TRUE(kind->ConformsTo(VString("com.example.doc")));
    EXPECT_FALSE(kind->ConformsTo(VString("public.image")));
    EXPECT_FALSE(kind->ConformsTo(VString("com.example.unknown")));
}

TEST_F(VFileKindManagerTest, LocalizedStrings)
{
    VString text;
    fManager->GetLocalizedString(0, text);
    EXPECT_EQ(Text(text), u"All");
    fManager->GetLocalizedString(1, text);
    EXPECT_EQ(Text(text), u"All readable documents");
    fManager->RegisterLocalizedString(1, VString("Tous les documents"));
    fManager->RegisterLocalizedString(0, VString());
    fManager->RegisterLocalizedString(2, VString("ignored"));
    fManager->GetLocalizedString(1, text);
    EXPECT_EQ(Text(text), u"Tous les documents");
    fManager->GetLocalizedString(0, text);
    EXPECT_EQ(Text(text), u"All");
    fManager->GetLocalizedString(2, text);
    EXPECT_EQ(Text(text), u"All");
}

TEST_F(VFileKindManagerTest, TasksLookUpAndRegisterAtOnce)
{
    // The map is shared: registrations and cached lookups from several threads keep it whole.
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [this, t, &found]
            {
                for (int i = 0; i < 200; ++i)
                {
                    VString id("com.example.k");
                    id.AppendLong(t * 1000 + i);
                    fManager->RegisterPrivateFileKind(id, VString("k"), {VString("k")}, {});
                    VRefPtr<VFileKind> kind(fManager->RetainFileKind(VString("public.png")));
                    VRefPtr<VFileKind> mine(fManager->RetainFileKind(id));
                    found += kind != nullptr && mine != nullptr ? 1 : 0;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(found.load(), 800);
}

} // namespace
} // namespace kova
