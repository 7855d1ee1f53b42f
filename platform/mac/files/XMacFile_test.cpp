#include "platform/mac/files/XMacFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacVolumes.h"
#include "platform/mac/frameworks/Dispatch.h"
#include "platform/mac/frameworks/NSURL.h"
#include "platform/mac/frameworks/SysMount.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

std::u16string Wide(const std::string& inText)
{
    VString text(inText.data(), inText.size(), VTC_UTF_8);
    return Text(text);
}

// A folder of its own with a volume "X" mounted at <folder>/Volumes/X (a mount table of the
// test's making over real folders) beside the root volume.
class XMacFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kova-volumes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        fRoot = pattern;
        fMount = fRoot + "/Volumes/X";
        std::filesystem::create_directories(fMount + "/a/b");
        std::filesystem::create_directories(fMount + "/a/c");
        std::ofstream(fRoot + "/mountinfo") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                            << "2 1 8:2 / " << fMount << " rw,relatime - ext4 /dev/sdb1 rw\n";
        sys::SetMountTablePathForTesting((fRoot + "/mountinfo").c_str());
        XMacVolumes::fInstance._Invalidate();
    }

    void TearDown() override
    {
        sys::SetMountTablePathForTesting(nullptr);
        XMacVolumes::fInstance._Invalidate();
        std::filesystem::remove_all(fRoot);
    }

    std::u16string ToColon(const std::string& inPath, bool inMeasureWhole = false)
    {
        VString colon;
        return XMacFile::PosixFullPathToHFS(inPath.c_str(), inMeasureWhole, colon) ? Text(colon)
                                                                                   : u"<failed>";
    }

    std::u16string ToPosix(const std::u16string& inColon, bool* outKnown = nullptr)
    {
        VString posix;
        const bool known = XMacFile::HFSFullPathToPosix(VString(inColon.c_str()), posix);
        if (outKnown != nullptr)
            *outKnown = known;
        return Text(posix);
    }

    // The root volume's colon form of the test's folder.
    std::u16string RootColon()
    {
        std::u16string colon = u"Root";
        for (char c : fRoot)
            colon.push_back(c == '/' ? u':' : char16_t(c));
        return colon;
    }

    std::string fRoot;
    std::string fMount;
};

TEST_F(XMacFileTest, PosixPathsOnAVolume)
{
    EXPECT_EQ(ToColon(fMount + "/a/./b/../c/"), u"X:a:b::c:");
    EXPECT_EQ(ToColon(fMount + "/"), u"X:");
    EXPECT_EQ(ToColon(fMount + "/a/b", true), u"X:a:b");
    EXPECT_EQ(ToColon(fMount + "//a"), u"X:a");

    bool known = false;
    EXPECT_EQ(ToPosix(u"X:a:b:", &known), Wide(fMount + "/a/b/"));
    EXPECT_TRUE(known);
    EXPECT_EQ(ToPosix(u"X:"), Wide(fMount + "/"));

    // A name holding ":" has "/" in its place, and back again.
    std::ofstream(fMount + "/n:m") << "x";
    EXPECT_EQ(ToColon(fMount + "/n:m"), u"X:n/m");
    EXPECT_EQ(ToPosix(u"X:n/m"), Wide(fMount + "/n:m"));

    // A volume that is not mounted: "/" and its name.
    EXPECT_EQ(ToPosix(u"Unknown:a/b:c", &known), u"/Unknown/a:b/c");
    EXPECT_FALSE(known);
}

// "." and ".." are steps of the colon form, read as a file path reads them.
TEST_F(XMacFileTest, ColonStepsNeverLeadOutOfTheVolume)
{
    bool known = false;
    EXPECT_EQ(ToPosix(u"X:a:.:b:..:c", &known), Wide(fMount + "/a/c"));
    EXPECT_TRUE(known);
    EXPECT_EQ(ToPosix(u"Unknown:root:..:etc", &known), u"/Unknown/etc");
    EXPECT_FALSE(known);
    // A "/" of a volume's name is a character of the name.
    EXPECT_EQ(ToPosix(u"a/..:b"), u"/a:../b");
    // Above the volume there is nothing to name.
    for (const char16_t* colon : {u"X:..:..:etc", u"X:a:..:..:..:etc", u"..:etc", u"X:::etc"})
    {
        const std::u16string text(colon);
        EXPECT_EQ(ToPosix(text, &known), u"") << std::string(text.begin(), text.end());
        EXPECT_FALSE(known);
    }
}

TEST_F(XMacFileTest, PathsOnTheRootAndMissingPaths)
{
    EXPECT_EQ(ToColon("/"), u"Root:");
    EXPECT_EQ(ToColon(fRoot + "/file"), RootColon() + u":file");
    // What does not exist is named through the folders that do.
    EXPECT_EQ(ToColon(fRoot + "/missing/deeper/f"), RootColon() + u":missing:deeper:f");
    EXPECT_EQ(ToColon(fRoot + "/missing/deeper/"), RootColon() + u":missing:deeper:");
    EXPECT_EQ(ToColon(fRoot + "/missing/../x"), RootColon() + u":missing::x");
    // The root's parent is the root.
    EXPECT_EQ(ToColon("/../" + fRoot.substr(1)), RootColon());
    EXPECT_EQ(ToColon("relative"), u"<failed>");

    for (const std::string& posix :
         {fRoot + "/file", fRoot + "/missing/deeper/", fMount + "/a/b/", std::string("/")})
    {
        SCOPED_TRACE(posix);
        const VFilePath path(VString(posix.data(), posix.size(), VTC_UTF_8), FPS_POSIX);
        ASSERT_TRUE(path.IsValid());
        VString back;
        path.GetPosixPath(back);
        EXPECT_EQ(Text(back), Wide(posix));
    }
}

TEST_F(XMacFileTest, ConversionsForTheSystem)
{
    VFilePath path;
    XMacFile::GetFilePathFromPosixPath((fMount + "/a").c_str(), true, path);
    EXPECT_TRUE(path.IsFolder());
    EXPECT_EQ(Text(path.GetPath()), u"X:a:");
    XMacFile::GetFilePathFromPosixPath(nullptr, true, path);
    EXPECT_FALSE(path.IsValid());
    // A name that ends inside a UTF-8 sequence keeps its last byte: it must not name another file.
    XMacFile::GetFilePathFromPosixPath((fMount + "/name\xC3").c_str(), false, path);
    EXPECT_EQ(Text(path.GetPath()), u"X:name\u00C3");

    ns::URL* url = XMacFile::CreateNSURLFromFilePath(VFilePath(VString(u"X:a:"), FPS_SYSTEM));
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(url->HasDirectoryPath());
    EXPECT_EQ(std::string(url->FileSystemRepresentation()), fMount + "/a");
    XMacFile::GetFilePathFromNSURL(url, path);
    EXPECT_EQ(Text(path.GetPath()), u"X:a:");
    url->Release();
    EXPECT_EQ(XMacFile::CreateNSURLFromFilePath(VFilePath()), nullptr);
    XMacFile::GetFilePathFromNSURL(nullptr, path);
    EXPECT_FALSE(path.IsValid());

    char name[16];
    EXPECT_TRUE(XMacFile::GetVolumeNameFromMountPath(fMount.c_str(), name, sizeof(name)));
    EXPECT_STREQ(name, "X");
    EXPECT_TRUE(XMacFile::GetVolumeNameFromMountPath("/", name, sizeof(name)));
    EXPECT_STREQ(name, "Root");
    EXPECT_FALSE(XMacFile::GetVolumeNameFromMountPath(fMount.c_str(), name, 2));
    EXPECT_FALSE(XMacFile::GetVolumeNameFromMountPath((fMount + "/a").c_str(), name, sizeof(name)));
}

TEST(XMacFile, PosixPathStrings)
{
    char* path = XMacFile::AllocatePosixPathFromString(VString(u"/tmp/caf\u00E9"));
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "/tmp/caf\xC3\xA9");
    VObject::sCppMemMgr->Free(path);

    // A NUL would make the system act on the shorter path before it.
    const UniChar withNul[] = {u'/', u'a', 0, u'b'};
    VString nul;
    nul.FromUniString(withNul, 4);
    path = XMacFile::AllocatePosixPathFromString(nul);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "");
    VObject::sCppMemMgr->Free(path);

    path = XMacFile::AllocatePosixPathFromFilePath(VFilePath());
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "");
    VObject::sCppMemMgr->Free(path);
}

TEST(XMacFile, NamesBeginningWithADot)
{
    EXPECT_TRUE(XMacFile::PosixNameBeginsWithDot("/x/.hidden/"));
    EXPECT_TRUE(XMacFile::PosixNameBeginsWithDot("a/.b"));
    EXPECT_FALSE(XMacFile::PosixNameBeginsWithDot("/"));
    EXPECT_FALSE(XMacFile::PosixNameBeginsWithDot("."));
    EXPECT_FALSE(XMacFile::PosixNameBeginsWithDot("/x.y/z"));
    EXPECT_FALSE(XMacFile::PosixNameBeginsWithDot(nullptr));
}

TEST(XMacFile, RealVolumesRoundTrip)
{
    char pattern[] = "/tmp/kova-real-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = std::string(pattern) + "/sub folder/";
    std::filesystem::create_directories(folder);
    const VFilePath path(VString(folder.c_str()), FPS_POSIX);
    ASSERT_TRUE(path.IsFolder());
    VString back;
    path.GetPosixPath(back);
    EXPECT_EQ(Text(back), Wide(folder));
    std::filesystem::remove_all(pattern);
}

class VFiberedProcess : public VProcess
{
public:
    VFiberedProcess() { fFiberMode = true; }
};

TEST(XMacFile, FibersCopyAndMoveOnTheWorkQueue)
{
    StTemporaryFolder folder;
    const std::string data(100000, 'f');
    WriteFileBytes(folder.Posix("source"), data);
    const VRefPtr<VFile> source(new VFile(folder.Path("source")));
    const VRefPtr<VFile> copy(new VFile(folder.Path("copy")));

    // On a thread task the file manager is called directly.
    uint64_t before = dispatch::GetBlocksRunForTesting();
    EXPECT_EQ(source->CopyTo(folder.Path("direct"), nullptr, 0), VE_OK);
    EXPECT_EQ(dispatch::GetBlocksRunForTesting(), before);

    // A fiber waits while the queue does the work.
    VFiberedProcess process;
    VTaskMgr::DeInit();
    ASSERT_TRUE(VTaskMgr::Init(&process));
    ASSERT_TRUE(VTaskMgr::IsCurrentTaskFiber());
    before = dispatch::GetBlocksRunForTesting();
    VError copied = VE_OK;
    VError moved = VE_OK;
    {
        StErrorContextInstaller errors(false, true);
        copied = source->CopyTo(*copy, 0);
        moved = copy->Move(folder.Path("no folder/"), nullptr, 0);
    }
    const uint64_t after = dispatch::GetBlocksRunForTesting();
    VTaskMgr::DeInit();
    VTaskMgr::Init(nullptr);
    EXPECT_EQ(copied, VE_OK);
    EXPECT_EQ(moved, VE_FILE_CANNOT_MOVE);
    EXPECT_EQ(ReadFileBytes(folder.Posix("copy")), data);
    EXPECT_GE(after, before + 2);
}

} // namespace
} // namespace kova
