#include "platform/mac/frameworks/UTType.h"

#include "kernel/files/FileTesting_test.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kova
{
namespace
{

TEST(UTType, ConformanceIsReflexiveAndTransitive)
{
    struct Case
    {
        const char* fType;
        const char* fConformsTo;
        bool fExpected;
    };
    const Case cases[] = {
        {"public.plain-text", "public.plain-text", true},
        {"public.utf8-plain-text", "public.text", true},
        {"public.c-source", "public.data", true},
        {"public.svg-image", "public.xml", true},
        {"com.apple.application-bundle", "public.directory", true},
        {"PUBLIC.JSON", "public.text", true},
        {"public.png", "public.text", false},
        {"public.text", "public.plain-text", false},
        {"com.example.unknown", "public.data", false},
        {"com.example.unknown", "com.example.unknown", true},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ut::ConformsTo(test.fType, test.fConformsTo), test.fExpected)
            << test.fType << " " << test.fConformsTo;
}

TEST(UTType, TagsNameTheirPreferredType)
{
    EXPECT_EQ(ut::CreatePreferredIdentifierForTag(ut::kTagClassFilenameExtension, "TXT"),
              "public.plain-text");
    EXPECT_EQ(ut::CreatePreferredIdentifierForTag(ut::kTagClassFilenameExtension, "jpg"), "public.jpeg");
    EXPECT_EQ(ut::CreatePreferredIdentifierForTag(ut::kTagClassFilenameExtension, "nope"), "");
    EXPECT_EQ(ut::CreatePreferredIdentifierForTag(ut::kTagClassOSType, "TEXT"), "public.plain-text");
    // OS types compare exactly.
    EXPECT_EQ(ut::CreatePreferredIdentifierForTag(ut::kTagClassOSType, "text"), "");
    EXPECT_EQ(ut::CreateStringForOSType(0x54455854), "TEXT");

    const ut::Declaration* declaration = ut::CopyDeclaration("public.jpeg");
    ASSERT_NE(declaration, nullptr);
    EXPECT_STREQ(declaration->fExtensions.front(), "jpeg");
    EXPECT_EQ(ut::CopyDeclaration("public.nothing"), nullptr);
}

TEST(UTType, ItemsOnDiskGetTheTypeOfWhatTheyAre)
{
    StTemporaryFolder folder;
    WriteFileBytes(folder.Posix("notes.txt"), "x");
    WriteFileBytes(folder.Posix("tool"), "x");
    ASSERT_EQ(chmod(folder.Posix("tool").c_str(), 0755), 0);
    WriteFileBytes(folder.Posix("blob"), "x");
    ASSERT_EQ(mkdir(folder.Posix("Tool.app").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.Posix("plain.txt").c_str(), 0755), 0);
    ASSERT_EQ(symlink("notes.txt", folder.Posix("link").c_str()), 0);
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("notes.txt").c_str()), "public.plain-text");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("tool").c_str()), "public.unix-executable");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("blob").c_str()), "public.data");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("Tool.app").c_str()), "com.apple.application-bundle");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("plain.txt").c_str()), "public.folder");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("link").c_str()), "public.symlink");
    EXPECT_EQ(ut::TypeIdentifierOfItem(folder.Posix("missing").c_str()), "");
}

} // namespace
} // namespace kova
