#include "platform/mac/frameworks/NSFileManager.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/UnprivilegedTesting_test.h"
#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"
#include "platform/mac/frameworks/SysTesting_test.h"
#include "platform/mac/frameworks/SysTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <cstddef>
#include <iterator>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

// A write fault for one scope.
class StWriteFault
{
public:
    StWriteFault(int inErrno, int64_t inAfterBytes) { sys::SetWriteFaultForTesting(inErrno, inAfterBytes); }
    ~StWriteFault() { sys::SetWriteFaultForTesting(0, 0); }
};

// A read fault for one scope.
class StReadFault
{
public:
    StReadFault(int inErrno, int64_t inAfterBytes) { sys::SetReadFaultForTesting(inErrno, inAfterBytes); }
    ~StReadFault() { sys::SetReadFaultForTesting(0, 0); }
};

// Every owner that a copy's rights give fails with the errno, for one scope.
class StOwnerFault
{
public:
    explicit StOwnerFault(int inErrno) { sys::SetOwnerFaultForTesting(inErrno); }
    ~StOwnerFault() { sys::SetOwnerFaultForTesting(0); }
};

// The Cocoa code of a failed call, 0 after success.
int CodeOf(bool inSucceeded, cf::Error* inError)
{
    const int code = inError != nullptr ? int(cf::ErrorGetCode(inError)) : 0;
    if (inError != nullptr)
    {
        EXPECT_STREQ(cf::ErrorGetDomain(inError), cf::kErrorDomainCocoa);
        cf::ErrorRelease(inError);
    }
    EXPECT_EQ(inSucceeded, code == 0);
    return code;
}

int Copy(const std::string& inFrom, const std::string& inTo, bool inReplace)
{
    cf::Error* error = nullptr;
    const bool ok = ns::CopyItem(inFrom, inTo, inReplace, &error);
    return CodeOf(ok, error);
}

int CopyProceeding(const std::string& inFrom, const std::string& inTo, bool inReplace)
{
    cf::Error* error = nullptr;
    const bool ok = ns::CopyItem(inFrom, inTo, inReplace, &error, true);
    return CodeOf(ok, error);
}

int Move(const std::string& inFrom, const std::string& inTo, bool inReplace)
{
    cf::Error* error = nullptr;
    const bool ok = ns::MoveItem(inFrom, inTo, inReplace, &error);
    return CodeOf(ok, error);
}

class NSFileManagerTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(fFolder.IsValid()); }

    // A new folder on another volume (/dev/shm, where it is one of its own), removed at the end;
    // empty when there is none.
    std::string OtherVolumeFolder()
    {
        struct stat here = {};
        struct stat shared = {};
        char pattern[] = "/dev/shm/kova-move-XXXXXX";
        if (stat(fFolder.Posix().c_str(), &here) != 0 || stat("/dev/shm", &shared) != 0 ||
            here.st_dev == shared.st_dev || mkdtemp(pattern) == nullptr)
            return std::string();
        fOtherVolume = pattern;
        return fOtherVolume;
    }

    void TearDown() override
    {
        std::error_code ignored;
        if (!fOtherVolume.empty())
            std::filesystem::remove_all(fOtherVolume, ignored);
    }

    StTemporaryFolder fFolder;
    std::string fOtherVolume;
};

TEST_F(NSFileManagerTest, CopyKeepsBytesModeTimesAndLinks)
{
    const std::string source = fFolder.Posix("source");
    std::string bytes(3 * 1024 * 1024 + 17, 'x');
    for (size_t i = 0; i < bytes.size(); i += 4093)
        bytes[i] = char(i);
    WriteFileBytes(source, bytes);
    ASSERT_EQ(chmod(source.c_str(), 0741), 0);
    const struct timespec times[2] = {{1000000, 0}, {1234567890, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    EXPECT_EQ(Copy(source, fFolder.Posix("copy"), false), 0);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("copy")), bytes);
    EXPECT_EQ(ModeOf(fFolder.Posix("copy")), 0741u);
    struct stat copied = {};
    ASSERT_EQ(stat(fFolder.Posix("copy").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 500000000);

    // A link is copied as a link, never followed.
    ASSERT_EQ(symlink("source", fFolder.Posix("link").c_str()), 0);
    EXPECT_EQ(Copy(fFolder.Posix("link"), fFolder.Posix("link copy"), false), 0);
    char target[64] = {};
    ASSERT_EQ(readlink(fFolder.Posix("link copy").c_str(), target, sizeof(target) - 1), 6);
    EXPECT_STREQ(target, "source");
    // Nothing is left beside the copies.
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"copy", "link", "link copy", "source"}));
}

TEST_F(NSFileManagerTest, CopyNeverLosesTheSourceOrTheOldDestination)
{
    const std::string source = fFolder.Posix("source");
    const std::string destination = fFolder.Posix("destination");
    WriteFileBytes(source, std::string(200000, 'n'));
    WriteFileBytes(destination, "old");

    EXPECT_EQ(Copy(source, destination, false), ns::kFileWriteFileExistsError);
    EXPECT_EQ(ReadFileBytes(destination), "old");
    // Onto itself, even when replacing and through another name of the same file.
    EXPECT_EQ(Copy(source, source, true), ns::kFileWriteFileExistsError);
    ASSERT_EQ(link(source.c_str(), fFolder.Posix("hard").c_str()), 0);
    EXPECT_EQ(Copy(source, fFolder.Posix("hard"), true), ns::kFileWriteFileExistsError);
    EXPECT_EQ(ReadFileBytes(source), std::string(200000, 'n'));

    {
        // The disk fills up half way: the old destination stays whole, no temporary is left.
        StWriteFault fault(ENOSPC, 100000);
        EXPECT_EQ(Copy(source, destination, true), ns::kFileWriteOutOfSpaceError);
    }
    {
        // So does a source that cannot be read to its end.
        StReadFault fault(EIO, 70000);
        EXPECT_NE(Copy(source, destination, true), 0);
    }
    EXPECT_EQ(ReadFileBytes(destination), "old");
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"destination", "hard", "source"}));

    EXPECT_EQ(Copy(source, destination, true), 0);
    EXPECT_EQ(ReadFileBytes(destination), std::string(200000, 'n'));
    EXPECT_EQ(Copy(fFolder.Posix("missing"), destination, true), ns::kFileReadNoSuchFileError);
    EXPECT_EQ(Copy(source, fFolder.Posix("no folder/x"), true), ns::kFileNoSuchFileError);
}

TEST_F(NSFileManagerTest, CopyRefusesWhatItMustNotOpen)
{
    ASSERT_EQ(mkfifo(fFolder.Posix("pipe").c_str(), 0600), 0);
    // A pipe would block the copy for ever: it is refused without being opened.
    EXPECT_EQ(Copy(fFolder.Posix("pipe"), fFolder.Posix("copy"), false), ns::kFileReadUnknownError);
    EXPECT_FALSE(PathExists(fFolder.Posix("copy")));
}

TEST_F(NSFileManagerTest, AFolderIsCopiedWholeWithModesTimesLinksAndHiddenItems)
{
    MakeBundle(fFolder.Posix("Sample.app"), "1");
    EXPECT_EQ(Copy(fFolder.Posix("Sample.app"), fFolder.Posix("Copy.app"), false), 0);
    EXPECT_EQ(TreeOf(fFolder.Posix("Copy.app")), TreeOf(fFolder.Posix("Sample.app")));
    EXPECT_EQ(ModeOf(fFolder.Posix("Copy.app/Contents/MacOS/Sample")), 0755u);
    // The copy was made aside and renamed into place: nothing else is left.
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"Copy.app", "Sample.app"}));
    // Never over an item that must stay.
    EXPECT_EQ(Copy(fFolder.Posix("Sample.app"), fFolder.Posix("Copy.app"), false),
              ns::kFileWriteFileExistsError);
}

// The copy is private while it is made, whatever the process's umask: its folder is its maker's
// alone (0700, never less, or the maker could not fill it), and every item gets its final mode
// before the copy takes its place.
TEST_F(NSFileManagerTest, AFolderCopyIsPrivateUntilItTakesItsPlace)
{
    MakeBundle(fFolder.Posix("Sample.app"), "1");
    const std::string out = fFolder.Posix("out");
    ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
    ASSERT_EQ(chmod(out.c_str(), 01777), 0);
    ASSERT_EQ(chmod(fFolder.Posix().c_str(), 0755), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // A maker without the superuser's rights, whose umask would leave it no rights at all.
        if (geteuid() == 0 && !BecomeUnprivileged())
            _exit(2);
        umask(0277);
        sys::SetCopyFaultForTesting(sys::kCopyFaultStop, 2);
        _exit(ns::CopyItem(fFolder.Posix("Sample.app"), out + "/Copy.app", false, nullptr) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    if (WIFSTOPPED(status))
    {
        const std::vector<std::string> names = NamesIn(out);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind(".Copy.app.kov", 0), 0u) << names[0];
        EXPECT_EQ(ModeOf(out + "/" + names[0]), 0700u);
        kill(child, SIGCONT);
        ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(TreeOf(out + "/Copy.app"), TreeOf(fFolder.Posix("Sample.app")));
    EXPECT_EQ(NamesIn(out), std::vector<std::string>{"Copy.app"});
}

TEST_F(NSFileManagerTest, AFolderTakesThePlaceOfTheOldOneOnlyOnceWhole)
{
    MakeBundle(fFolder.Posix("New.app"), "2");
    MakeBundle(fFolder.Posix("Old.app"), "1");
    WriteFileBytes(fFolder.Posix("Old.app/only-old"), "old");
    const std::vector<std::string> oldTree = TreeOf(fFolder.Posix("Old.app"));
    {
        // The disk fails half-way: the old folder stays whole and nothing is left beside it.
        StWriteFault fault(EIO, 40);
        EXPECT_EQ(Copy(fFolder.Posix("New.app"), fFolder.Posix("Old.app"), true), ns::kFileWriteUnknownError);
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("Old.app")), oldTree);
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"New.app", "Old.app"}));

    EXPECT_EQ(Copy(fFolder.Posix("New.app"), fFolder.Posix("Old.app"), true), 0);
    EXPECT_EQ(TreeOf(fFolder.Posix("Old.app")), TreeOf(fFolder.Posix("New.app")));
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"New.app", "Old.app"}));
}

TEST_F(NSFileManagerTest, AFolderCopyFailsOnWhatItCannotReproduce)
{
    ASSERT_EQ(mkdir(fFolder.Posix("source").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("source/sub").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("source/a"), "a");
    WriteFileBytes(fFolder.Posix("source/sub/z"), "z");
    ASSERT_EQ(mkfifo(fFolder.Posix("source/sub/pipe").c_str(), 0600), 0);
    // The pipe is never opened, and never left out without a word.
    EXPECT_EQ(Copy(fFolder.Posix("source"), fFolder.Posix("copy"), false), ns::kFileReadUnknownError);
    EXPECT_EQ(NamesIn(fFolder.Posix()), std::vector<std::string>{"source"});

    // Going on after the failure puts the rest in place, and still reports it.
    EXPECT_EQ(CopyProceeding(fFolder.Posix("source"), fFolder.Posix("copy"), false),
              ns::kFileReadUnknownError);
    EXPECT_EQ(TreeOf(fFolder.Posix("copy"), false),
              (std::vector<std::string>{"a 0644 file a", "sub 0755 dir", "sub/z 0644 file z"}));
}

TEST_F(NSFileManagerTest, AFolderIsNeverCopiedIntoItselfNorOverWhatHoldsIt)
{
    ASSERT_EQ(mkdir(fFolder.Posix("outer").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("outer/inner").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("outer/inner/f"), "f");
    ASSERT_EQ(symlink(fFolder.Posix("outer").c_str(), fFolder.Posix("alias").c_str()), 0);
    const std::vector<std::string> before = TreeOf(fFolder.Posix());
    // Into itself, also through a link, and over the folder that holds it.
    EXPECT_EQ(Copy(fFolder.Posix("outer"), fFolder.Posix("outer/inner/copy"), false),
              ns::kFileWriteUnknownError);
    EXPECT_EQ(Copy(fFolder.Posix("outer"), fFolder.Posix("alias/copy"), false), ns::kFileWriteUnknownError);
    EXPECT_EQ(Copy(fFolder.Posix("outer/inner"), fFolder.Posix("outer"), true), ns::kFileWriteUnknownError);
    EXPECT_EQ(TreeOf(fFolder.Posix()), before);
}

TEST_F(NSFileManagerTest, MoveAcrossVolumesRemovesTheSourceOnlyOnceTheCopyStands)
{
    const std::string other = OtherVolumeFolder();
    if (other.empty())
        GTEST_SKIP() << "no second volume at /dev/shm";
    const std::string source = fFolder.Posix("source");
    WriteFileBytes(source, std::string(300000, 's'));
    {
        StWriteFault fault(EIO, 1000);
        EXPECT_EQ(Move(source, other + "/moved", false), ns::kFileWriteUnknownError);
    }
    EXPECT_EQ(ReadFileBytes(source), std::string(300000, 's'));
    EXPECT_EQ(NamesIn(other), std::vector<std::string>());

    EXPECT_EQ(Move(source, other + "/moved", false), 0);
    EXPECT_FALSE(PathExists(source));
    EXPECT_EQ(ReadFileBytes(other + "/moved"), std::string(300000, 's'));
}

TEST_F(NSFileManagerTest, AFolderMovesAcrossVolumesOnlyOnceItsCopyStands)
{
    const std::string other = OtherVolumeFolder();
    if (other.empty())
        GTEST_SKIP() << "no second volume at /dev/shm";
    MakeBundle(fFolder.Posix("Sample.app"), "1");
    const std::vector<std::string> tree = TreeOf(fFolder.Posix("Sample.app"));
    {
        StWriteFault fault(EIO, 20);
        EXPECT_EQ(Move(fFolder.Posix("Sample.app"), other + "/Sample.app", false),
                  ns::kFileWriteUnknownError);
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("Sample.app")), tree);
    EXPECT_EQ(NamesIn(other), std::vector<std::string>());

    EXPECT_EQ(Move(fFolder.Posix("Sample.app"), other + "/Sample.app", false), 0);
    EXPECT_FALSE(PathExists(fFolder.Posix("Sample.app")));
    EXPECT_EQ(TreeOf(other + "/Sample.app"), tree);
}

TEST_F(NSFileManagerTest, MoveReplacesOnlyWhenAsked)
{
    WriteFileBytes(fFolder.Posix("a"), "a");
    WriteFileBytes(fFolder.Posix("b"), "b");
    EXPECT_EQ(Move(fFolder.Posix("a"), fFolder.Posix("b"), false), ns::kFileWriteFileExistsError);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("a")), "a");
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("b")), "b");
    EXPECT_EQ(Move(fFolder.Posix("a"), fFolder.Posix("b"), true), 0);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("b")), "a");
    EXPECT_EQ(Move(fFolder.Posix("b"), fFolder.Posix("b"), true), ns::kFileWriteFileExistsError);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("b")), "a");
}

// The lines of a trash info file, by key.
std::string InfoValue(const std::string& inInfo, const std::string& inKey)
{
    const size_t start = inInfo.find("\n" + inKey + "=");
    if (start == std::string::npos)
        return "<none>";
    const size_t value = start + inKey.size() + 2;
    return inInfo.substr(value, inInfo.find('\n', value) - value);
}

TEST_F(NSFileManagerTest, TrashedItemsCanBeRestoredByADesktop)
{
    StEnvironment environment({{"XDG_DATA_HOME", fFolder.Posix("data").c_str()}, {"TZ", "UTC"}});
    ASSERT_EQ(mkdir(fFolder.Posix("docs").c_str(), 0755), 0);
    const std::string item = fFolder.Posix("docs/report 100%.txt");
    WriteFileBytes(item, "first");
    std::string trashed;
    cf::Error* error = nullptr;
    ASSERT_TRUE(ns::TrashItem(item, &trashed, &error));
    const std::string trash = fFolder.Posix("data/Trash");
    EXPECT_EQ(trashed, trash + "/files/report 100%.txt");
    EXPECT_FALSE(PathExists(item));
    EXPECT_EQ(ReadFileBytes(trashed), "first");
    EXPECT_EQ(ModeOf(trash), 0700u);

    const std::string info = ReadFileBytes(trash + "/info/report 100%.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
    // The path is absolute and percent-encoded; the date is local, to the second.
    EXPECT_EQ(InfoValue(info, "Path"), fFolder.Posix("docs/report%20100%25.txt"));
    const std::string date = InfoValue(info, "DeletionDate");
    EXPECT_EQ(date.size(), 19u) << date;
    EXPECT_EQ(date[10], 'T');

    // A second item of the same name gets a counter before its extension.
    WriteFileBytes(item, "second");
    ASSERT_TRUE(ns::TrashItem(item, &trashed, &error));
    EXPECT_EQ(trashed, trash + "/files/report 100%.2.txt");
    EXPECT_EQ(ReadFileBytes(trashed), "second");
    EXPECT_TRUE(PathExists(trash + "/info/report 100%.2.txt.trashinfo"));

    // A link goes as a link; a missing item is refused.
    ASSERT_EQ(symlink("nowhere", fFolder.Posix("docs/dangling").c_str()), 0);
    ASSERT_TRUE(ns::TrashItem(fFolder.Posix("docs/dangling"), &trashed, &error));
    struct stat status = {};
    ASSERT_EQ(lstat(trashed.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_FALSE(ns::TrashItem(fFolder.Posix("docs/missing"), &trashed, &error));
    EXPECT_EQ(CodeOf(false, error), ns::kFileNoSuchFileError);
}

TEST_F(NSFileManagerTest, ItemsOfAnotherVolumeGoToThatVolumesTrash)
{
    // The test's folder is made a volume of its own; the home trash lies on the root volume.
    StTemporaryFolder home;
    const std::string volume = fFolder.Posix("volume");
    ASSERT_EQ(mkdir(volume.c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("mountinfo"), "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / " + volume +
                                                   " rw,relatime - ext4 /dev/sdb1 rw\n");
    sys::SetMountTablePathForTesting(fFolder.Posix("mountinfo").c_str());
    StEnvironment environment({{"XDG_DATA_HOME", home.Posix("data").c_str()}});
    const std::string uid = std::to_string(geteuid());

    WriteFileBytes(volume + "/a.txt", "a");
    std::string trashed;
    cf::Error* error = nullptr;
    ASSERT_TRUE(ns::TrashItem(volume + "/a.txt", &trashed, &error));
    EXPECT_EQ(trashed, volume + "/.Trash-" + uid + "/files/a.txt");
    EXPECT_EQ(ModeOf(volume + "/.Trash-" + uid), 0700u);
    // Paths are recorded from the top of the volume.
    EXPECT_EQ(InfoValue(ReadFileBytes(volume + "/.Trash-" + uid + "/info/a.txt.trashinfo"), "Path"), "a.txt");
    EXPECT_FALSE(PathExists(home.Posix("data")));

    // An administrator's sticky .Trash is used first; one that is not sticky is not trusted.
    ASSERT_EQ(mkdir((volume + "/.Trash").c_str(), 0777), 0);
    WriteFileBytes(volume + "/b.txt", "b");
    ASSERT_TRUE(ns::TrashItem(volume + "/b.txt", &trashed, &error));
    EXPECT_EQ(trashed, volume + "/.Trash-" + uid + "/files/b.txt");
    ASSERT_EQ(chmod((volume + "/.Trash").c_str(), 01777), 0);
    WriteFileBytes(volume + "/c.txt", "c");
    ASSERT_TRUE(ns::TrashItem(volume + "/c.txt", &trashed, &error));
    EXPECT_EQ(trashed, volume + "/.Trash/" + uid + "/files/c.txt");
    sys::SetMountTablePathForTesting(nullptr);
}

// A child that names a temporary for an item, then quits at once (left a zombie until the scope
// ends) or runs until the scope ends.
class StNamingChild
{
public:
    StNamingChild(const std::string& inItem, bool inKeepRunning)
    {
        int named[2];
        int release[2];
        if (pipe(named) != 0 || pipe(release) != 0)
            return;
        fChild = fork();
        if (fChild == 0)
        {
            close(named[0]);
            close(release[1]);
            const std::string path = sys::TemporarySiblingPath(inItem);
            if (write(named[1], path.data(), path.size()) != ssize_t(path.size()))
                _exit(1);
            close(named[1]);
            char ignored = 0;
            while (inKeepRunning && read(release[0], &ignored, 1) > 0)
            {
            }
            _exit(0);
        }
        close(named[1]);
        close(release[0]);
        fRelease = release[1];
        char buffer[512];
        for (ssize_t count; (count = read(named[0], buffer, sizeof(buffer))) > 0;)
            fName.append(buffer, size_t(count));
        close(named[0]);
        fName = fName.substr(fName.rfind('/') + 1);
        // Quit and not reaped: a zombie.
        for (int i = 0; !inKeepRunning && i < 5000 && !IsZombie(); ++i)
            usleep(1000);
    }
    ~StNamingChild()
    {
        if (fRelease >= 0)
            close(fRelease);
        if (fChild > 0)
            waitpid(fChild, nullptr, 0);
    }
    StNamingChild(const StNamingChild&) = delete;
    StNamingChild& operator=(const StNamingChild&) = delete;

    const std::string& Name() const { return fName; }

private:
    bool IsZombie() const
    {
        const std::string stat = ReadFileBytes("/proc/" + std::to_string(fChild) + "/stat");
        const size_t close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
    }

    pid_t fChild = -1;
    int fRelease = -1;
    std::string fName;
};

// The temporary's name with one field of its maker's mark (0 pid, 1 start, 2 boot, 3 namespace)
// replaced.
std::string WithMarkField(const std::string& inName, int inField, const std::string& inValue)
{
    size_t start = inName.rfind(".kov");
    if (start == std::string::npos)
        return "<no mark>";
    start += 4;
    for (int field = 0; field < inField; ++field)
        start = inName.find('-', start) + 1;
    const size_t end = inName.find('-', start);
    if (start == 0 || end == std::string::npos)
        return "<no field>";
    return inName.substr(0, start) + inValue + inName.substr(end);
}

// Temporaries name their maker, so that what a killed copy left is told from what a running one
// is making: only the temporaries of the items named whose maker has surely quit are removed.
TEST_F(NSFileManagerTest, OnlyTheTemporariesOfMakersThatQuitAreAbandoned)
{
    const std::string item = fFolder.Posix("Sample.app");
    const StNamingChild quit(item, false);
    const StNamingChild running(item, true);
    const StNamingChild quitOther(fFolder.Posix("Other.app"), false);
    const std::string own = sys::TemporarySiblingPath(item).substr(fFolder.Posix().size() + 1);
    struct Case
    {
        std::string fName;
        bool fRemoved;
    };
    const Case cases[] = {
        {quit.Name(), true},                          // a zombie has quit
        {WithMarkField(own, 1, "1"), true},           // our pid, taken again by us
        {WithMarkField(own, 2, "0badb007"), true},    // another boot
        {own, false},                                 // ours, running
        {running.Name(), false},                      // another copy, running
        {WithMarkField(own, 3, "1"), false},          // another pid namespace: cannot be told
        {quitOther.Name(), false},                    // another item's
        {".Sample.app.kov0123456789ab", false},       // no maker named
        {WithMarkField(quit.Name(), 0, "x1"), false}, // a mark of other digits
        {quit.Name().substr(1), false},               // not hidden
    };
    for (const Case& test : cases)
    {
        ASSERT_EQ(mkdir(fFolder.Posix(test.fName).c_str(), 0700), 0) << test.fName;
        WriteFileBytes(fFolder.Posix(test.fName + "/file"), "partial");
    }
    sys::RemoveAbandonedTemporaries(fFolder.Posix(), {"Sample.app", ""});
    for (const Case& test : cases)
        EXPECT_EQ(PathExists(fFolder.Posix(test.fName)), !test.fRemoved) << test.fName;
}

// Runs the function in a child whose soft limit of open files leaves it exactly inFree more
// descriptors; the function's result, or -1 when the child did not end by itself.
int InChildWithFewDescriptors(int inFree, const std::function<int()>& inFunction)
{
    const pid_t child = fork();
    if (child == 0)
    {
        int highest = 2;
        if (DIR* descriptors = opendir("/proc/self/fd"))
        {
            while (const dirent* entry = readdir(descriptors))
                highest = std::max(highest, atoi(entry->d_name));
            closedir(descriptors);
        }
        // The gaps below the highest are filled, so that none is free but those above it.
        for (int fd = open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
             fd = open("/dev/null", O_RDONLY | O_CLOEXEC))
        {
            if (fd > highest)
            {
                close(fd);
                break;
            }
        }
        struct rlimit limit = {};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
            _exit(100);
        limit.rlim_cur = rlim_t(highest + 1 + inFree);
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            _exit(101);
        _exit(inFunction());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A chain of inDepth folders named "d" in the new folder inPath, a file in every tenth and at the
// bottom.
void MakeDeepTree(const std::string& inPath, int inDepth)
{
    ASSERT_EQ(mkdir(inPath.c_str(), 0755), 0);
    int folder = open(inPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level <= inDepth && folder >= 0; ++level)
    {
        if (level % 10 == 0 || level == inDepth)
        {
            const int file = openat(folder, "f", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            const std::string text = "level " + std::to_string(level);
            ASSERT_EQ(write(file, text.data(), text.size()), ssize_t(text.size()));
            close(file);
        }
        const int next = level < inDepth && mkdirat(folder, "d", 0755) == 0
                             ? openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        close(folder);
        folder = next;
    }
}

// A download may be as deep as its maker likes: the walks hold a few descriptors whatever the
// depth, where one or two a level would run out long before the bottom.
TEST_F(NSFileManagerTest, DeepFoldersAreCopiedAndRemovedWithFewDescriptors)
{
    constexpr int kDepth = 600;
    constexpr int kFree = 48;
    const std::string source = fFolder.Posix("source");
    MakeDeepTree(source, kDepth);
    // A folder its owner may not write, deep down, for the removal that unlocks.
    std::string middle = source;
    for (int level = 0; level < kDepth / 2; ++level)
        middle += "/d";
    ASSERT_EQ(chmod(middle.c_str(), 0555), 0);
    const std::vector<std::string> tree = TreeOf(source);
    ASSERT_EQ(tree.size(), size_t(kDepth + kDepth / 10 + 1));

    const std::string copy = fFolder.Posix("copy");
    EXPECT_EQ(
        InChildWithFewDescriptors(kFree, [&] { return ns::CopyItem(source, copy, false, nullptr) ? 0 : 1; }),
        0);
    EXPECT_EQ(TreeOf(copy), tree);
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"copy", "source"}));

    sys::RemoveOptions unlock;
    unlock.fUnlock = true;
    EXPECT_EQ(InChildWithFewDescriptors(kFree, [&] { return sys::RemoveTreeContents(copy, unlock); }), 0);
    EXPECT_EQ(NamesIn(copy), std::vector<std::string>{});
    EXPECT_EQ(InChildWithFewDescriptors(kFree, [&] { return sys::RemoveTree(source, unlock); }), 0);
    EXPECT_FALSE(PathExists(source));
}

// A copy that runs out of descriptors says so, whichever side ran out: not "could not be read".
TEST_F(NSFileManagerTest, ACopyOutOfDescriptorsSaysSo)
{
    MakeBundle(fFolder.Posix("Sample.app"), "1");
    for (int free = 0; free < 6; ++free)
    {
        SCOPED_TRACE(free);
        const int result = InChildWithFewDescriptors(
            free,
            [&]
            {
                cf::Error* error = nullptr;
                if (ns::CopyItem(fFolder.Posix("Sample.app"), fFolder.Posix("Copy.app"), false, &error))
                    return 1;
                const bool told = error != nullptr &&
                                  std::strcmp(cf::ErrorGetDomain(error), cf::kErrorDomainPOSIX) == 0 &&
                                  cf::ErrorGetCode(error) == EMFILE;
                return told ? 0 : 2;
            });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(NamesIn(fFolder.Posix()), std::vector<std::string>{"Sample.app"});
    }
}

// A copy with the rights of an install, of a folder laid out by another user: anyone may write
// it, its tool is set-id, and a link names the tool.
class NSFileManagerRightsTest : public NSFileManagerTest
{
protected:
    void SetUp() override
    {
        NSFileManagerTest::SetUp();
        if (geteuid() != 0)
            GTEST_SKIP() << "the items must belong to another user";
        ASSERT_EQ(mkdir(fSource.c_str(), 0777), 0);
        ASSERT_EQ(chmod(fSource.c_str(), 0777), 0);
        WriteFileBytes(fSource + "/tool", "tool");
        ASSERT_EQ(symlink("tool", (fSource + "/link").c_str()), 0);
        for (const char* item : {"", "/tool", "/link"})
            ASSERT_EQ(lchown((fSource + item).c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod((fSource + "/tool").c_str(), 06777), 0);
        fRights.fGiveOwner = true;
        fRights.fUser = 1234;
        fRights.fGroup = 4321;
        fRights.fClearedModes = S_ISUID | S_ISGID | S_IWOTH;
    }

    // Every item of the copy is the process's (root's), without the modes the rights clear.
    void ExpectTheMakersWithoutClearedModes()
    {
        for (const char* item : {"", "/tool", "/link"})
        {
            struct stat copied = {};
            ASSERT_EQ(lstat((fCopy + item).c_str(), &copied), 0) << item;
            EXPECT_EQ(copied.st_uid, 0u) << item;
            EXPECT_EQ(copied.st_gid, getegid()) << item;
        }
        EXPECT_EQ(ModeOf(fCopy), 0775u);
        EXPECT_EQ(ModeOf(fCopy + "/tool"), 0775u);
    }

    const std::string fSource = fFolder.Posix("source");
    const std::string fCopy = fFolder.Posix("copy");
    sys::ItemRights fRights;
};

// Without the right to change owners (CAP_CHOWN), a copy asked to give its items away leaves
// them the process's and still drops the modes it must.
TEST_F(NSFileManagerRightsTest, ACopyThatMayNotChangeOwnersStillDropsTheModes)
{
    const pid_t child = fork();
    if (child == 0)
    {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &header, data) != 0)
            _exit(100);
        data[0].effective &= ~(1u << CAP_CHOWN);
        if (syscall(SYS_capset, &header, data) != 0)
            _exit(101);
        _exit(ns::CopyItem(fSource, fCopy, false, nullptr, false, &fRights) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectTheMakersWithoutClearedModes();
}

// An owner the system will not give (an id unmapped in the process's namespace, a volume that
// squashes the superuser) leaves the copy its maker's and still drops the modes; a failure of the
// disk while giving it fails the copy and leaves nothing.
TEST_F(NSFileManagerRightsTest, AnOwnerTheSystemRefusesLeavesTheCopyItsMakers)
{
    const std::pair<int, bool> cases[] = {{EINVAL, true},     {EPERM, true},  {EOVERFLOW, true},
                                          {EOPNOTSUPP, true}, {EACCES, true}, {EIO, false},
                                          {ENOSPC, false},    {EROFS, false}};
    for (const auto& [fault, refused] : cases)
    {
        SCOPED_TRACE(std::strerror(fault));
        cf::Error* error = nullptr;
        bool copied = false;
        {
            const StOwnerFault failing(fault);
            copied = ns::CopyItem(fSource, fCopy, false, &error, false, &fRights);
        }
        if (error != nullptr)
            cf::ErrorRelease(error);
        EXPECT_EQ(copied, refused);
        if (!refused)
        {
            EXPECT_EQ(NamesIn(fFolder.Posix()), std::vector<std::string>{"source"});
            continue;
        }
        ExpectTheMakersWithoutClearedModes();
        std::filesystem::remove_all(fCopy);
    }
}

// Makes the calling process's fchmodat2 fail with ENOSYS, as on a kernel before 6.6; false when
// no filter may be set.
bool LoseFchmodat2()
{
    return RefuseSystemCall(452, ENOSYS);
}

// A descriptor held for the item's path alone (a pipe, or a file the caller may not read, is held
// so) changes the item's mode through the kernel's fchmodat2, else through /proc, else fails with
// nothing changed. Each in a child: one without fchmodat2, one without /proc as well.
TEST(SysFile, ModesChangeThroughADescriptorHeldForItsPathAlone)
{
    StTemporaryFolder folder;
    const std::string pipe = folder.Posix("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    struct Case
    {
        const char* fName;
        bool fWithoutCall;
        bool fWithoutProc;
        int fError;
    };
    const Case cases[] = {
        {"as the kernel is", false, false, 0},
        {"without fchmodat2", true, false, 0},
        {"without fchmodat2 nor /proc", true, true, EOPNOTSUPP},
    };
    constexpr int kCannotSetUp = 255;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        ASSERT_EQ(chmod(pipe.c_str(), 0644), 0);
        const pid_t child = fork();
        if (child == 0)
        {
            if (test.fWithoutProc && (unshare(CLONE_NEWNS) != 0 ||
                                      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                                      umount2("/proc", MNT_DETACH) != 0))
                _exit(kCannotSetUp);
            if (test.fWithoutCall && !LoseFchmodat2())
                _exit(kCannotSetUp);
            const int fd = open(pipe.c_str(), O_PATH | O_CLOEXEC);
            _exit(fd < 0 ? kCannotSetUp : sys::ChangeModeOfPathDescriptor(fd, 0755));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        // Unmounting /proc needs root.
        if (WEXITSTATUS(status) == kCannotSetUp && test.fWithoutProc && geteuid() != 0)
            continue;
        EXPECT_EQ(WEXITSTATUS(status), test.fError);
        EXPECT_EQ(ModeOf(pipe), test.fError == 0 ? 0755u : 0644u);
    }
}

TEST(SysFile, ExclusiveRenamesNeverReplace)
{
    StTemporaryFolder folder;
    WriteFileBytes(folder.Posix("a"), "a");
    WriteFileBytes(folder.Posix("b"), "b");
    EXPECT_EQ(sys::renamex_np(folder.Posix("a").c_str(), folder.Posix("b").c_str(), sys::kRenameExclusive),
              -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFileBytes(folder.Posix("b")), "b");
    EXPECT_EQ(sys::renamex_np(folder.Posix("a").c_str(), folder.Posix("c").c_str(), sys::kRenameExclusive),
              0);
    EXPECT_EQ(sys::renamex_np(folder.Posix("c").c_str(), folder.Posix("b").c_str(), 0), 0);
    EXPECT_EQ(ReadFileBytes(folder.Posix("b")), "a");

    // Where the file system has no exclusive rename, a folder still never replaces one, even
    // empty, and a failed rename leaves nothing at the destination.
    ASSERT_EQ(mkdir(folder.Posix("d").c_str(), 0755), 0);
    WriteFileBytes(folder.Posix("d/inside"), "d");
    ASSERT_EQ(mkdir(folder.Posix("empty").c_str(), 0755), 0);
    const pid_t child = fork();
    if (child == 0)
    {
        if (!RefuseSystemCall(SYS_renameat2, EINVAL))
            _exit(1);
        if (sys::renamex_np(folder.Posix("d").c_str(), folder.Posix("empty").c_str(),
                            sys::kRenameExclusive) != -1 ||
            errno != EEXIST)
            _exit(2);
        if (sys::renamex_np(folder.Posix("none").c_str(), folder.Posix("f").c_str(), sys::kRenameExclusive) !=
                -1 ||
            errno != ENOENT || access(folder.Posix("f").c_str(), F_OK) == 0)
            _exit(3);
        _exit(sys::renamex_np(folder.Posix("d").c_str(), folder.Posix("f").c_str(), sys::kRenameExclusive) ==
                      0
                  ? 0
                  : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(folder.Posix("f/inside")), "d");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Posix("empty")));

    // Temporary names stay hidden, beside their item, and within a name's length.
    const std::string temporary = sys::TemporarySiblingPath(folder.Posix(std::string(250, 'n')));
    EXPECT_EQ(temporary.rfind(folder.Posix(".n"), 0), 0u);
    EXPECT_LE(temporary.size() - folder.Posix().size() - 1, 255u);
    EXPECT_NE(sys::TemporarySiblingPath(folder.Posix("x")), sys::TemporarySiblingPath(folder.Posix("x")));
}

} // namespace
} // namespace kova
