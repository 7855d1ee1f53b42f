#include "kernel/files/VFilePath.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

struct PathCase
{
    const char16_t* fGiven;
    bool fValid;
    const char16_t* fPath;
    bool fFolder;
    bool fFile;
};

template <size_t N>
void ExpectColonPaths(const PathCase (&inCases)[N])
{
    for (const PathCase& c : inCases)
    {
        SCOPED_TRACE(std::string(c.fGiven, c.fGiven + std::u16string(c.fGiven).size()));
        VFilePath path(VString(c.fGiven), FPS_SYSTEM);
        EXPECT_EQ(path.IsValid(), c.fValid);
        EXPECT_EQ(Text(path.GetPath()), c.fPath);
        EXPECT_EQ(path.IsFolder(), c.fFolder);
        EXPECT_EQ(path.IsFile(), c.fFile);
    }
}

TEST(VFilePath, FullColonPaths)
{
    const PathCase cases[] = {
        {u"Volume:", true, u"Volume:", true, false},
        {u"Volume:Users:me:notes.txt", true, u"Volume:Users:me:notes.txt", false, true},
        {u"a:b::c:", true, u"a:c:", true, false},
        {u"a:b:::c", true, u"c", false, true},
        {u"a:b:c::", true, u"a:b:", true, false},
        // Parent steps that cancel the path leave it empty, valid, neither folder nor file.
        {u"a::", true, u"", false, false},
        {u"a:::", false, u":", false, false},
        {u":Volume:", false, u":Volume:", false, false},
        {u"", false, u"", false, false},
    };
    ExpectColonPaths(cases);
    const UniChar withNul[] = {u'a', u':', 0, u'b'};
    VString nul;
    nul.FromUniString(withNul, 4);
    EXPECT_FALSE(VFilePath(nul, FPS_SYSTEM).IsValid());
}

// "." and ".." are never names on this platform: they are the colon syntax's own steps, so no
// path that seems to lie in a folder leads out of it, neither in a containment test nor in its
// POSIX form.
TEST(VFilePath, DotComponentsAreSteps)
{
    const PathCase cases[] = {
        {u"V:root:..:", true, u"V:", true, false},
        {u"V:root:..:etc:", true, u"V:etc:", true, false},
        {u"V:root:.:a", true, u"V:root:a", false, true},
        {u"V:root:a:..", true, u"V:root:", true, false},
        {u"V:root:a:.", true, u"V:root:a:", true, false},
        {u"V:..:..:", false, u":", false, false},
        {u"..:a:", false, u":a:", false, false},
        {u".:a:", false, u":a:", false, false},
        {u"V:...:.a:a.:", true, u"V:...:.a:a.:", true, false}, // other dots are names
    };
    ExpectColonPaths(cases);

    const VFilePath root(VString("V:root:"), FPS_SYSTEM);
    const VFilePath out(VString("V:root:..:etc:passwd"), FPS_SYSTEM);
    EXPECT_FALSE(out.IsChildOf(root));
    EXPECT_FALSE(out.IsSameOrChildOf(root));
    VString posix;
    out.GetPosixPath(posix);
    EXPECT_EQ(posix.Find(VString("..")), 0)
        << std::string(posix.GetCPointer(), posix.GetCPointer() + posix.GetLength());

    // Names given to the editing operations are read the same way.
    VFilePath folder(root);
    folder.ToSubFolder(VString(".."));
    EXPECT_EQ(Text(folder.GetPath()), u"V:");
    EXPECT_FALSE(folder.IsChildOf(root));
    VFilePath file(root);
    file.ToSubFile(VString(".."));
    EXPECT_FALSE(file.IsChildOf(root));
    VFilePath named(VString("V:root:a"), FPS_SYSTEM);
    named.SetName(VString(".."));
    EXPECT_FALSE(named.IsChildOf(root));
    EXPECT_FALSE(VFilePath(root, VString("..:..:x"), FPS_SYSTEM).IsChildOf(root));
    EXPECT_FALSE(VFilePath(root, VString("..:..:..:x"), FPS_SYSTEM).IsValid());
}

TEST(VFilePath, FoldersAndTheirChildren)
{
    VFilePath file(VString("v:a:b.txt"), FPS_SYSTEM);
    VFilePath folder(file);
    folder.ToFolder();
    EXPECT_EQ(Text(folder.GetPath()), u"v:a:");
    EXPECT_EQ(Text(folder.ToFolder().GetPath()), u"v:a:");
    file.ToSubFile(VString("x")); // not a folder: unchanged
    EXPECT_EQ(Text(file.GetPath()), u"v:a:b.txt");
    EXPECT_EQ(Text(VFilePath(folder).ToSubFolder(VString("sub")).ToSubFile(VString("f")).GetPath()),
              u"v:a:sub:f");
    VFilePath single(VString("name"), FPS_SYSTEM);
    ASSERT_TRUE(single.IsFile());
    single.ToFolder();
    EXPECT_FALSE(single.IsValid());
    EXPECT_TRUE(single.GetPath().IsEmpty());
    VFilePath invalid;
    invalid.ToSubFolder(VString("x"));
    EXPECT_TRUE(invalid.GetPath().IsEmpty());

    VString posix;
    VFilePath(VString("tmp:a/b:c"), FPS_SYSTEM).GetPosixPath(posix);
    EXPECT_EQ(Text(posix), u"/tmp/a:b/c");
    VFilePath(VString("tmp:"), FPS_SYSTEM).GetPosixPath(posix);
    EXPECT_EQ(Text(posix), u"/tmp/");
    invalid.GetPosixPath(posix);
    EXPECT_TRUE(posix.IsEmpty());
}

VFilePath Colon(const char16_t* inPath)
{
    return VFilePath(VString(inPath), FPS_SYSTEM);
}

TEST(VFilePath, ParentsDepthsAndRelations)
{
    VFilePath volume = Colon(u"Volume:");
    EXPECT_TRUE(volume.IsFolder());
    EXPECT_EQ(volume.GetDepth(), 1);
    EXPECT_FALSE(volume.HasParent());
    VFilePath parent;
    EXPECT_FALSE(volume.GetParent(parent));
    EXPECT_FALSE(parent.IsValid());
    volume.ToParent();
    EXPECT_FALSE(volume.IsValid());
    EXPECT_TRUE(volume.GetPath().IsEmpty());

    EXPECT_EQ(Colon(u"a:b:c:").GetDepth(), 3);
    EXPECT_EQ(Colon(u"a:b:f").GetDepth(), 3);
    EXPECT_EQ(Colon(u":a").GetDepth(), 0);
    ASSERT_TRUE(Colon(u"a:b:c:").GetParent(parent));
    EXPECT_EQ(Text(parent.GetPath()), u"a:b:");
    EXPECT_EQ(Text(Colon(u"a:b:f").ToParent().GetPath()), u"a:b:");

    const VFilePath folder = Colon(u"v:a:");
    EXPECT_FALSE(folder.IsChildOf(folder));
    EXPECT_TRUE(folder.IsSameOrChildOf(folder));
    EXPECT_TRUE(Colon(u"v:a:b").IsChildOf(folder));
    EXPECT_TRUE(Colon(u"v:a:b:").IsChildOfRawPath(folder));
    // Identity is exact: case makes another folder; a file is nobody's parent.
    EXPECT_FALSE(Colon(u"v:A:b").IsChildOf(folder));
    EXPECT_FALSE(Colon(u"v:a:b").IsChildOf(Colon(u"v:a")));
    EXPECT_FALSE(Colon(u"v:ab").IsChildOf(Colon(u"v:a")));

    VString rest;
    EXPECT_TRUE(Colon(u"v:a:b:c.txt").GetRelativePath(folder, rest));
    EXPECT_EQ(Text(rest), u"b:c.txt");
    EXPECT_TRUE(Colon(u"v:a:b:c.txt").GetRelativePosixPath(folder, rest));
    EXPECT_EQ(Text(rest), u"b/c.txt");
    EXPECT_FALSE(Colon(u"w:b").GetRelativePath(folder, rest));
    EXPECT_EQ(Text(rest), u"w:b");
    rest.FromString(VString("kept"));
    EXPECT_FALSE(Colon(u"w:b")._GetRelativePath(folder, rest));
    EXPECT_EQ(Text(rest), u"kept");
}

TEST(VFilePath, NamesAndExtensions)
{
    struct NameCase
    {
        const char16_t* fPath;
        const char16_t* fName;
        const char16_t* fExtension;
        const char16_t* fNameWithoutExtension; // file or folder name without extension
    };
    const NameCase cases[] = {
        {u"v:dir:notes.txt", u"notes.txt", u"txt", u"notes"},
        {u"v:dir:b.c:", u"b.c", u"c", u"b"},
        {u"v:dir:b.:", u"b.", u"", u"b"},
        {u"v:dir:b:", u"b", u"", u"b"},
        {u"v:", u"v", u"", u"v"},
        {u"v:x.y:plain", u"plain", u"", u"plain"},
    };
    for (const NameCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fPath, c.fPath + std::u16string(c.fPath).size()));
        const VFilePath path = Colon(c.fPath);
        VString text;
        path.GetName(text);
        EXPECT_EQ(Text(text), c.fName);
        path.GetExtension(text);
        EXPECT_EQ(Text(text), c.fExtension);
        if (path.IsFile())
            path.GetFileName(text, false);
        else
            path.GetFolderName(text, false);
        EXPECT_EQ(Text(text), c.fNameWithoutExtension);
    }
    VString text;
    Colon(u"v:a:").GetFileName(text);
    EXPECT_TRUE(text.IsEmpty());
    Colon(u"v:a").GetFolderName(text);
    EXPECT_TRUE(text.IsEmpty());

    // Extensions are names: case does not count unless asked.
    EXPECT_TRUE(Colon(u"v:a.TXT").MatchExtension(VString("txt"), false));
    EXPECT_FALSE(Colon(u"v:a.TXT").MatchExtension(VString("txt"), true));
    EXPECT_TRUE(Colon(u"v:Bundle.app:").MatchExtension(VString("app"), true));
    EXPECT_FALSE(Colon(u"v:Bundle.app").MatchExtension(VString("ap"), false));
}

TEST(VFilePath, NameSettersRefuseWhatWouldChangeTheDepth)
{
    struct SetCase
    {
        const char16_t* fPath;
        int fSetter; // 0 SetName, 1 SetFileName, 2 SetFileName without extension, 3 SetFolderName,
                     // 4 SetExtension
        const char16_t* fValue;
        bool fResult;
        const char16_t* fAfter;
    };
    const SetCase cases[] = {
        {u"v:a:b.txt", 0, u"c.doc", true, u"v:a:c.doc"},
        {u"v:a:b:", 0, u"c", true, u"v:a:c:"},
        {u"v:", 0, u"c", false, u""},
        {u"name", 0, u"c", false, u""},
        {u"v:a:", 1, u"f", true, u"v:a:f"},
        {u"v:a:b.txt", 2, u"c", true, u"v:a:c.txt"},
        {u"v:a:b.txt", 1, u"c", true, u"v:a:c"},
        {u"v:a:b.app:", 3, u"c", true, u"v:a:c.app:"},
        {u"v:a:b.txt", 4, u"", true, u"v:a:b"},
        {u"v:a:b", 4, u"md", true, u"v:a:b.md"},
        {u"v:a:b.", 4, u"md", true, u"v:a:b.md"},
        {u"v:a:b.x.y", 4, u"z", true, u"v:a:b.x.z"},
        {u"v:a:b.x:", 4, u"y", true, u"v:a:b.y:"},
        {u"v:a:b.x:", 4, u"", true, u"v:a:b:"},
        // A "." before the last ":" is no extension.
        {u"v:a.b:c", 4, u"d", true, u"v:a.b:c.d"},
        // A name that is only an extension keeps it: the file would become its folder.
        {u"v:a:.txt", 4, u"", true, u"v:a:.txt"},
    };
    for (const SetCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fPath, c.fPath + std::u16string(c.fPath).size()));
        VFilePath path = Colon(c.fPath);
        const VString value(c.fValue);
        bool result = false;
        switch (c.fSetter)
        {
        case 0:
            result = path.SetName(value);
            break;
        case 1:
            result = path.SetFileName(value, true);
            break;
        case 2:
            result = path.SetFileName(value, false);
            break;
        case 3:
            result = path.SetFolderName(value, false);
            break;
        default:
            result = path.SetExtension(value);
            break;
        }
        EXPECT_EQ(result, c.fResult);
        EXPECT_EQ(Text(path.GetPath()), c.fAfter);
    }

    // A ":" or an empty name would change the depth: refused with 614, nothing changed.
    const char16_t* refused[] = {u"x:y", u""};
    for (const char16_t* name : refused)
    {
        StErrorContextInstaller context(false, true);
        VFilePath path = Colon(u"v:a:b");
        EXPECT_FALSE(path.SetName(VString(name)));
        EXPECT_EQ(context.GetLastError(), VE_FILE_BAD_NAME);
        EXPECT_FALSE(path.SetFileName(VString(name)));
        EXPECT_EQ(Text(path.GetPath()), u"v:a:b");
        EXPECT_TRUE(path.IsValid());
    }
    StErrorContextInstaller context(false, true);
    VFilePath folder = Colon(u"v:a:");
    EXPECT_FALSE(folder.SetFolderName(VString("x:y")));
    EXPECT_FALSE(folder.SetExtension(VString("a:b")));
    EXPECT_EQ(Text(folder.GetPath()), u"v:a:");
}

TEST(VFilePath, RelativePaths)
{
    const VFilePath base = Colon(u"v:a:b:");
    struct RelativeCase
    {
        const char16_t* fRelative;
        FilePathStyle fStyle;
        bool fRelativeOnly;
        const char16_t* fPath; // null: invalid
    };
    const RelativeCase cases[] = {
        {u"c:d", FPS_SYSTEM, false, u"v:a:b:c:d"},
        {u":c:", FPS_SYSTEM, false, u"v:a:c:"},
        {u"c/d", FPS_POSIX, false, u"v:a:b:c:d"},
        {u"c/d/", FPS_POSIX, false, u"v:a:b:c:d:"},
        {u"../x", FPS_POSIX, false, u"v:a:x"},
        {u"../../x", FPS_POSIX, false, u"v:x"},
        {u"./c/./d", FPS_POSIX, false, u"v:a:b:c:d"},
        {u"c/..", FPS_POSIX, false, u"v:a:b:"},
        // A doubled "/" is one separator, not a parent step.
        {u"c//d", FPS_POSIX, false, u"v:a:b:c:d"},
        {u"n:m", FPS_POSIX, false, u"v:a:b:n/m"},
        // Relative only: a leading "/" stays inside the base.
        {u"/c", FPS_POSIX, true, u"v:a:b:c"},
        {u"../../../..", FPS_POSIX, false, nullptr},
    };
    for (const RelativeCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fRelative, c.fRelative + std::u16string(c.fRelative).size()));
        const VFilePath path(base, VString(c.fRelative), c.fStyle, c.fRelativeOnly);
        EXPECT_EQ(path.IsValid(), c.fPath != nullptr);
        if (c.fPath != nullptr)
        {
            EXPECT_EQ(Text(path.GetPath()), c.fPath);
        }
    }
    // Relative only needs a folder for base.
    EXPECT_FALSE(VFilePath(Colon(u"v:a:f"), VString("c"), FPS_POSIX, true).IsValid());
}

TEST(VFilePath, ResolvingPosixSteps)
{
    struct StepCase
    {
        const char16_t* fGiven;
        bool fOK;
        const char16_t* fResolved;
    };
    const StepCase cases[] = {
        {u"a/b/../c", true, u"a/c"},   {u"/a/b/../c", true, u"/a/c"},
        {u"x/./y", true, u"x/y"},      {u"x//y", false, u"x//y"},
        {u"../a", true, u"../a"},      {u"/../a", true, u"/a"},
        {u"a/../../b", true, u"../b"}, {u"", true, u""},
    };
    for (const StepCase& c : cases)
    {
        VString path(c.fGiven);
        EXPECT_EQ(VFilePath::ResolveRelativePosix(path), c.fOK) << Text(path).size();
        EXPECT_EQ(Text(path), c.fResolved);
    }
    VString colon(u"a:b::c:");
    EXPECT_TRUE(VFilePath::_ResolveRelative(colon));
    EXPECT_EQ(Text(colon), u"a:c:");
    colon.FromString(VString(u"a:::"));
    EXPECT_FALSE(VFilePath::_ResolveRelative(colon));
}

TEST(VFilePath, BlanksAroundComponents)
{
    VFilePath path(VString(u" v : a\u00A0:\u3000b.txt "), FPS_SYSTEM);
    path.RemoveBlanks();
    EXPECT_EQ(Text(path.GetPath()), u"v:a:b.txt");
    EXPECT_TRUE(path.IsFile());
    // Tabs are no blanks.
    VFilePath tab(VString(u"v:\tb"), FPS_SYSTEM);
    tab.RemoveBlanks();
    EXPECT_EQ(Text(tab.GetPath()), u"v:\tb");
}

TEST(VFilePath, AnEmptyPathHasNoPosixForm)
{
    // "a::" cancels itself out: valid and empty, it names nothing and must not become "/".
    const VFilePath empty = Colon(u"a::");
    ASSERT_TRUE(empty.IsValid());
    VString posix(u"x");
    empty.GetPosixPath(posix);
    EXPECT_TRUE(posix.IsEmpty());
}

TEST(VFilePath, ExistenceOnDisk)
{
    char pattern[] = "/tmp/kova-path-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::path root(pattern);
    std::ofstream(root / "file.txt") << "x";
    std::u16string colon;
    for (char c : root.string().substr(1))
        colon.push_back(c == '/' ? u':' : char16_t(c));
    colon += u':';

    VRefPtr<VFolder> folder(new VFolder(VFilePath(VString(colon.c_str()), FPS_SYSTEM)));
    EXPECT_TRUE(folder->Exists());
    EXPECT_TRUE(VRefPtr<VFile>(new VFile(*folder, VString("file.txt"), FPS_SYSTEM))->Exists());
    EXPECT_FALSE(VRefPtr<VFile>(new VFile(*folder, VString("missing"), FPS_SYSTEM))->Exists());
    // A folder is no file, a file no folder.
    std::filesystem::create_directory(root / "sub");
    EXPECT_FALSE(VRefPtr<VFile>(new VFile(*folder, VString("sub"), FPS_SYSTEM))->Exists());
    VFilePath filePath(VString((colon + u"file.txt:").c_str()), FPS_SYSTEM);
    EXPECT_FALSE(VRefPtr<VFolder>(new VFolder(filePath))->Exists());
    EXPECT_FALSE(VRefPtr<VFolder>(new VFolder(VFilePath()))->Exists());
    std::filesystem::remove_all(root);
}

} // namespace
} // namespace kova
