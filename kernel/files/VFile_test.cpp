#include "kernel/files/VFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFileDesc.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileKindManager.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <thread>
#include <utility>

namespace kova
{
namespace
{

constexpr VError kPosixNoSpace = MakeVError(kCOMPONENT_POSIX, ENOSPC);
constexpr VError kCocoaFileExists = MakeVError(kCOMPONENT_COCOA, 516);

// The mode each regular file of a folder has at the instant it is opened, the opener held until
// it is noted (fanotify permission events): what a file is while it is being written.
class StOpenSpy
{
public:
    explicit StOpenSpy(const std::string& inFolder)
    {
        fFan = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC | O_LARGEFILE);
        fStop = eventfd(0, EFD_CLOEXEC);
        if (fFan < 0 || fStop < 0 ||
            fanotify_mark(fFan, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                          inFolder.c_str()) != 0)
            return;
        fThread = std::thread([this] { Listen(); });
    }
    ~StOpenSpy()
    {
        Stop();
        for (int fd : {fFan, fStop})
        {
            if (fd >= 0)
                close(fd);
        }
    }
    StOpenSpy(const StOpenSpy&) = delete;
    StOpenSpy& operator=(const StOpenSpy&) = delete;

    bool IsListening() const { return fThread.joinable(); }
    // The names opened and their modes then, in order.
    std::vector<std::pair<std::string, mode_t>> Stop()
    {
        if (fThread.joinable())
        {
            const uint64_t one = 1;
            if (write(fStop, &one, sizeof(one)) == ssize_t(sizeof(one)))
                fThread.join();
        }
        return fSeen;
    }

private:
    void Listen()
    {
        pollfd sources[2] = {{fFan, POLLIN, 0}, {fStop, POLLIN, 0}};
        while (poll(sources, 2, -1) >= 0 || errno == EINTR)
        {
            if ((sources[1].revents & POLLIN) != 0)
                return;
            if ((sources[0].revents & POLLIN) == 0)
                continue;
            alignas(fanotify_event_metadata) char buffer[4096];
            ssize_t length = read(fFan, buffer, sizeof(buffer));
            for (auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
                 FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length))
            {
                if (event->fd < 0)
                    continue;
                struct stat status = {};
                const std::string link = "/proc/self/fd/" + std::to_string(event->fd);
                char path[4096] = {};
                const ssize_t size = readlink(link.c_str(), path, sizeof(path) - 1);
                if (size > 0 && fstat(event->fd, &status) == 0 && S_ISREG(status.st_mode))
                {
                    const std::string full(path, size_t(size));
                    fSeen.emplace_back(full.substr(full.rfind('/') + 1), status.st_mode & 07777);
                }
                const fanotify_response response = {event->fd, FAN_ALLOW};
                if (write(fFan, &response, sizeof(response)) != ssize_t(sizeof(response)))
                    ADD_FAILURE() << "an opener was not let through";
                close(event->fd);
            }
        }
    }

    int fFan = -1;
    int fStop = -1;
    std::thread fThread;
    std::vector<std::pair<std::string, mode_t>> fSeen;
};

class VFileTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(fFolder.IsValid()); }

    VRefPtr<VFile> File(const std::string& inName) const
    {
        return VRefPtr<VFile>(new VFile(fFolder.Path(inName)));
    }

    // The native code pushed before the last error of the scope.
    static VError NativeOf(const StErrorContextInstaller& inErrors)
    {
        const VErrorContext* context = inErrors.GetContext();
        return context->GetErrorCount() >= 2 ? context->GetNthError(context->GetErrorCount() - 1)->GetError()
                                             : VE_OK;
    }

    static int64_t LongParameter(const VErrorBase* inError, const char* inName)
    {
        int64_t value = -1;
        int32_t narrow = 0;
        if (inError != nullptr && inError->GetBag()->GetLong(inName, narrow))
            value = narrow;
        return value;
    }

    StTemporaryFolder fFolder;
};

TEST_F(VFileTest, ExistsForFilesAndLinksNotFolders)
{
    WriteFileBytes(fFolder.Posix("file"), "x");
    ASSERT_EQ(symlink("nowhere", fFolder.Posix("dangling").c_str()), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("folder").c_str(), 0755), 0);
    EXPECT_TRUE(File("file")->Exists());
    EXPECT_TRUE(File("dangling")->Exists());
    EXPECT_FALSE(File("folder")->Exists());
    EXPECT_FALSE(File("missing")->Exists());
    // A folder path never names a file, whatever lies on disk.
    EXPECT_FALSE(File("file/")->Exists());
}

TEST_F(VFileTest, CreateAndDelete)
{
    VRefPtr<VFile> file = File("new");
    EXPECT_EQ(file->Create(), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("new")), "");
    WriteFileBytes(fFolder.Posix("new"), "content");
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->Create(0), VE_FILE_CANNOT_CREATE);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, EEXIST));
        EXPECT_EQ(LongParameter(LastErrorObject(errors), "options"), 0);
    }
    EXPECT_EQ(file->Create(FO_Overwrite), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("new")), "");

    EXPECT_EQ(file->Delete(), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("new")));
    {
        // A missing file is deleted already; a folder path is no file at all.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->Delete(), VE_OK);
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
        EXPECT_EQ(File("x/")->Delete(), VE_FILE_CANNOT_DELETE);
    }
}

TEST_F(VFileTest, OpenLocksAgainstOtherProcessesWithoutWaiting)
{
    WriteFileBytes(fFolder.Posix("locked"), "keep me");
    VRefPtr<VFile> file = File("locked");
    {
        StLockHolder holder(fFolder.Posix("locked"), true);
        ASSERT_TRUE(holder.IsLocked());
        StErrorContextInstaller errors(false, true);
        VFileDesc* desc = reinterpret_cast<VFileDesc*>(1);
        // Refused at once, with the system's "access denied" rather than "try again".
        EXPECT_EQ(file->Open(FA_READ_WRITE, &desc, FO_Truncate), VE_ACCESS_DENIED);
        EXPECT_EQ(desc, nullptr);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, EACCES));
        EXPECT_EQ(LongParameter(LastErrorObject(errors), "access"), FA_READ_WRITE);
        EXPECT_EQ(LongParameter(LastErrorObject(errors), "options"), int64_t(FO_Truncate));
        // The truncation waits for the lock: the content is still there.
        EXPECT_EQ(ReadFileBytes(fFolder.Posix("locked")), "keep me");
        EXPECT_EQ(file->Open(FA_SHARED, &desc), VE_ACCESS_DENIED);

        // Reading needs no lock, and "read-write or read" falls back to it.
        std::unique_ptr<VFileDesc> reader;
        EXPECT_EQ(file->Open(FA_READ_WRITE_OR_READ, &desc), VE_OK);
        reader.reset(desc);
        EXPECT_EQ(reader->GetMode(), FA_READ_WRITE_OR_READ);
        EXPECT_NE(reader->PutData("x", 1, 0), VE_OK);
    }
    {
        StLockHolder holder(fFolder.Posix("locked"), false);
        ASSERT_TRUE(holder.IsLocked());
        VFileDesc* desc = nullptr;
        EXPECT_EQ(file->Open(FA_SHARED, &desc), VE_OK);
        delete desc;
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->Open(FA_READ_WRITE, &desc), VE_ACCESS_DENIED);
    }
    // Free again: the lock is taken, and then the file is cut.
    VFileDesc* desc = nullptr;
    EXPECT_EQ(file->Open(FA_READ_WRITE, &desc, FO_Truncate), VE_OK);
    std::unique_ptr<VFileDesc> writer(desc);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("locked")), "");
}

TEST_F(VFileTest, OpenRefusesFinalLinksAndResourceForksUnlessAsked)
{
    WriteFileBytes(fFolder.Posix("target"), "t");
    ASSERT_EQ(symlink("target", fFolder.Posix("link").c_str()), 0);
    VFileDesc* desc = nullptr;
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(File("link")->Open(FA_READ, &desc), VE_FILE_CANNOT_OPEN);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, ELOOP));
        EXPECT_EQ(File("target")->Open(FA_READ, &desc, FO_OpenResourceFork), VE_FILE_CANNOT_OPEN);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, ENOTSUP));
    }
    EXPECT_EQ(File("link")->Open(FA_READ, &desc, FO_FollowLinks), VE_OK);
    delete desc;
    // Created when asked, mode 0644 less the umask.
    const mode_t umaskBefore = umask(022);
    EXPECT_EQ(File("made")->Open(FA_READ_WRITE, &desc, FO_CreateIfNotFound), VE_OK);
    delete desc;
    umask(umaskBefore);
    EXPECT_EQ(ModeOf(fFolder.Posix("made")), 0644u);
}

TEST_F(VFileTest, WholeContentsReadAndWritten)
{
    VRefPtr<VFile> file = File("a/b/c/data.bin");
    // The missing folders are made first.
    EXPECT_EQ(file->SetContent("hello", 5), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("a/b/c/data.bin")), "hello");
    EXPECT_EQ(file->AppendContent(" world", 6), VE_OK);
    EXPECT_EQ(File("new/appended")->AppendContent("x", 1), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("new/appended")), "x");

    VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
    EXPECT_EQ(file->GetContent(content), VE_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(content.GetDataPtr()), content.GetDataSize()),
              "hello world");
    char part[8] = {};
    size_t read = 0;
    {
        // Fewer bytes than asked: the end of the data, with the bytes there were.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->GetData(part, 5, &read), VE_OK);
        EXPECT_EQ(std::string(part, read), "hello");
        char all[32] = {};
        EXPECT_EQ(file->GetData(all, sizeof(all), &read), VE_STREAM_EOF);
        EXPECT_EQ(read, 11u);
    }
    int64_t size = 0;
    EXPECT_EQ(file->GetSize(&size), VE_OK);
    EXPECT_EQ(size, 11);

    // An empty file gives an empty buffer and frees what it held.
    EXPECT_EQ(file->SetContent(nullptr, 0), VE_OK);
    EXPECT_EQ(file->GetContent(content), VE_OK);
    EXPECT_EQ(content.GetDataSize(), 0u);
    EXPECT_EQ(content.GetDataPtr(), nullptr);
}

TEST_F(VFileTest, WholeContentsAreRegularFilesOnlyAndNeverWaitedOn)
{
    // A pipe nobody writes would hold the reader for ever; a device or a folder has no content.
    ASSERT_EQ(mkfifo(fFolder.Posix("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("pipe", fFolder.Posix("to pipe").c_str()), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("folder").c_str(), 0755), 0);
    struct Case
    {
        VFilePath fPath;
        int fNative;
    };
    const Case cases[] = {
        {fFolder.Path("pipe"), ENOTSUP},
        {fFolder.Path("to pipe"), ENOTSUP},
        {VFilePath(VString("/dev/zero"), FPS_POSIX), ENOTSUP},
        {fFolder.Path("folder"), EISDIR},
    };
    // A reader left waiting on the pipe is let go, after a minute only a hung test reaches, by a writer
    // that comes and goes.
    std::atomic<bool> done{false};
    std::atomic<bool> released{false};
    std::thread watchdog(
        [&]
        {
            for (int i = 0; !done && i < 3000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            {
                const int writer = open(fFolder.Posix("pipe").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (writer >= 0)
                {
                    released = true;
                    close(writer);
                }
            }
        });
    for (const Case& test : cases)
    {
        SCOPED_TRACE(to_string(test.fPath.GetPath()));
        StErrorContextInstaller errors(false, true);
        VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
        EXPECT_EQ(VRefPtr<VFile>(new VFile(test.fPath))->GetContent(content), VE_FILE_CANNOT_OPEN);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, uint32_t(test.fNative)));
        EXPECT_EQ(content.GetDataSize(), 0u);
    }
    done = true;
    watchdog.join();
    EXPECT_FALSE(released) << "a reader waited on the pipe";
}

TEST_F(VFileTest, SetContentLeavesTheOldFileWholeWhenItFails)
{
    const std::string path = fFolder.Posix("config");
    WriteFileBytes(path, "the old content");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    VRefPtr<VFile> file = File("config");
    const std::string replacement(300000, 'r');
    {
        StIOFault fault(true, ENOSPC, 100000);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->SetContent(replacement.data(), replacement.size()), VE_FILE_CANNOT_WRITE);
        EXPECT_EQ(NativeOf(errors), kPosixNoSpace);
    }
    EXPECT_EQ(ReadFileBytes(path), "the old content");
    EXPECT_EQ(NamesIn(fFolder.Posix()), std::vector<std::string>{"config"});
    {
        // A file someone holds locked is not replaced behind their back.
        StLockHolder holder(path, true);
        ASSERT_TRUE(holder.IsLocked());
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(file->SetContent("x", 1), VE_ACCESS_DENIED);
    }
    EXPECT_EQ(ReadFileBytes(path), "the old content");

    // Replaced whole, keeping its mode; a final link stays and its target gets the content.
    EXPECT_EQ(file->SetContent(replacement.data(), replacement.size()), VE_OK);
    EXPECT_EQ(ReadFileBytes(path), replacement);
    EXPECT_EQ(ModeOf(path), 0640u);
    ASSERT_EQ(symlink("config", fFolder.Posix("link").c_str()), 0);
    EXPECT_EQ(File("link")->SetContent("through", 7), VE_OK);
    struct stat status = {};
    ASSERT_EQ(lstat(fFolder.Posix("link").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(ReadFileBytes(path), "through");
}

TEST_F(VFileTest, SetContentWritesAPrivateTemporaryThatTakesTheFinalModeBeforeItsPlace)
{
    StOpenSpy spy(fFolder.Posix());
    if (!spy.IsListening())
        GTEST_SKIP() << "no fanotify permission events here";
    struct Case
    {
        const char* fName;
        mode_t fMode; // 0: no file yet
        mode_t fFinal;
    };
    const Case cases[] = {{"private", 0600, 0600}, {"shared", 0644, 0644}, {"new", 0, 0640}};
    const mode_t umaskBefore = umask(027);
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        if (test.fMode != 0)
        {
            WriteFileBytes(fFolder.Posix(test.fName), "old");
            ASSERT_EQ(chmod(fFolder.Posix(test.fName).c_str(), test.fMode), 0);
        }
        EXPECT_EQ(File(test.fName)->SetContent("the new secret", 14), VE_OK);
        EXPECT_EQ(ModeOf(fFolder.Posix(test.fName)), test.fFinal);
    }
    umask(umaskBefore);
    int temporaries = 0;
    for (const auto& [name, mode] : spy.Stop())
    {
        if (name[0] != '.')
            continue;
        ++temporaries;
        EXPECT_EQ(mode, 0600u) << name;
    }
    EXPECT_EQ(temporaries, 3);
}

// A bundle and, beside it, what its links lead to: a private file where the file written inside
// would go.
class VFileBeneathTest : public VFileTest
{
protected:
    void SetUp() override
    {
        VFileTest::SetUp();
        std::filesystem::create_directories(fFolder.Posix("outside/Database"));
        WriteFileBytes(fFolder.Posix("outside/Database/file"), "private");
        chmod(fFolder.Posix("outside/Database/file").c_str(), 0600);
        fOutside = TreeOf(fFolder.Posix("outside"));
    }

    // A fresh bundle with links: at inLink (relative to the scratch folder), to inTarget, and as
    // many more as inMore names (link, target).
    void MakeBundleWithLink(const std::string& inLink, const std::string& inTarget,
                            const std::vector<std::pair<std::string, std::string>>& inMore = {})
    {
        std::filesystem::remove_all(fFolder.Posix("bundle"));
        for (const char* folder :
             {"bundle/Contents/Database", "bundle/Contents/MacOS", "bundle/Contents/Resources"})
            std::filesystem::create_directories(fFolder.Posix(folder));
        std::filesystem::remove_all(fFolder.Posix(inLink));
        ASSERT_EQ(symlink(inTarget.c_str(), fFolder.Posix(inLink).c_str()), 0);
        for (const auto& [link, target] : inMore)
            ASSERT_EQ(symlink(target.c_str(), fFolder.Posix(link).c_str()), 0) << link;
    }

    // A file of the folder, its path made from the folder's without asking the disk (which would
    // resolve the links on the way).
    static VRefPtr<VFile> Inside(const VFolder& inRoot, const char* inRelative)
    {
        return VRefPtr<VFile>(new VFile(VFilePath(inRoot.GetPath(), VString(inRelative), FPS_POSIX)));
    }

    static std::string PosixOf(const VFilePath& inPath)
    {
        VString posix;
        inPath.GetPosixPath(posix);
        return to_string(posix);
    }

    std::vector<std::string> fOutside;
};

// Paths beneath a folder resolved by the walk of our own, as where the system has no openat2,
// for one scope.
class StResolveByHand
{
public:
    explicit StResolveByHand(bool inByHand) { XMacFile::SetResolveBeneathByHandForTesting(inByHand); }
    ~StResolveByHand() { XMacFile::SetResolveBeneathByHandForTesting(false); }
    StResolveByHand(const StResolveByHand&) = delete;
    StResolveByHand& operator=(const StResolveByHand&) = delete;
};

TEST_F(VFileBeneathTest, ContentIsNeverWrittenThroughAWayOutOfTheFolder)
{
    struct Case
    {
        std::string fLink;
        std::string fTarget;
        // The link that leads out, when another link leads to it.
        std::string fHop;
        std::string fHopTarget;
    };
    const Case cases[] = {
        {"bundle/Contents/Database/file", "../../../outside/Database/file", "", ""},
        {"bundle/Contents/Database/file", "../../../outside/Database/missing", "", ""},
        {"bundle/Contents/Database", "../../outside/Database", "", ""},
        {"bundle/Contents", "../outside", "", ""},
        {"bundle/Contents", fFolder.Posix("outside"), "", ""},
        // Out and back in by the bundle's name, or by its absolute path: the way leaves, and the
        // link would name another folder once the bundle is copied elsewhere.
        {"bundle/Contents/Database", "../../bundle/Contents/Resources", "", ""},
        {"bundle/Contents/Database", fFolder.Posix("bundle/Contents/Resources"), "", ""},
        {"bundle/Contents/Database", "Hop/Database", "bundle/Contents/Hop", "../../outside"},
    };
    const VFolder root(fFolder.Path("bundle/"));
    for (const bool byHand : {false, true})
    {
        const StResolveByHand resolution(byHand);
        for (const Case& test : cases)
        {
            SCOPED_TRACE(test.fLink + " -> " + test.fTarget + (byHand ? " by hand" : ""));
            std::vector<std::pair<std::string, std::string>> more;
            if (!test.fHop.empty())
                more.emplace_back(test.fHop, test.fHopTarget);
            MakeBundleWithLink(test.fLink, test.fTarget, more);
            const std::vector<std::string> bundle = TreeOf(fFolder.Posix("bundle"));
            VFilePath link(fFolder.Path("stale"));
            StErrorContextInstaller errors(false, true);
            EXPECT_EQ(Inside(root, "Contents/Database/file")->SetContentBeneath(root, "new", 3, &link),
                      VE_FILE_CANNOT_OPEN);
            EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, ELOOP));
            EXPECT_EQ(PosixOf(link), fFolder.Posix(test.fHop.empty() ? test.fLink : test.fHop));
            EXPECT_EQ(TreeOf(fFolder.Posix("outside")), fOutside);
            EXPECT_EQ(TreeOf(fFolder.Posix("bundle")), bundle);
        }
    }
}

// A link whose way stays inside the folder is followed, to a file or a folder, a chain of them
// too; the links stay as they are, and missing folders where they lead are made.
TEST_F(VFileBeneathTest, LinksThatStayInsideAreFollowed)
{
    struct Case
    {
        const char* fLink;
        const char* fTarget;
        const char* fExecutable; // where Contents/MacOS/Sample leads
        const char* fWritten;    // where Contents/Database/file leads
        std::vector<std::pair<std::string, std::string>> fMore;
    };
    const Case cases[] = {
        {"bundle/Contents/MacOS/Sample",
         "../Resources/Sample-bin",
         "Contents/Resources/Sample-bin",
         "Contents/Database/file",
         {}},
        {"bundle/Contents/MacOS/Sample",
         "../../Contents/Resources/Sample-bin",
         "Contents/Resources/Sample-bin",
         "Contents/Database/file",
         {}},
        {"bundle/Contents/MacOS/Sample",
         "Hop",
         "Contents/Resources/Sample-bin",
         "Contents/Database/file",
         {{"bundle/Contents/MacOS/Hop", "./../Resources/Sample-bin"}}},
        {"bundle/Contents/Database/file",
         "../Resources/shared",
         "Contents/MacOS/Sample",
         "Contents/Resources/shared",
         {}},
        {"bundle/Contents/Database",
         "Resources/../Resources/Data",
         "Contents/MacOS/Sample",
         "Contents/Resources/Data/file",
         {}},
        {"bundle/Contents/Database", "MacOS/..", "Contents/MacOS/Sample", "Contents/file", {}},
    };
    const VFolder root(fFolder.Path("bundle/"));
    for (const bool byHand : {false, true})
    {
        const StResolveByHand resolution(byHand);
        for (const Case& test : cases)
        {
            SCOPED_TRACE(std::string(test.fLink) + " -> " + test.fTarget + (byHand ? " by hand" : ""));
            MakeBundleWithLink(test.fLink, test.fTarget, test.fMore);
            const std::string executable = fFolder.Posix("bundle/") + test.fExecutable;
            WriteFileBytes(executable, "#!/bin/sh\n");
            ASSERT_EQ(chmod(executable.c_str(), 0644), 0);
            uint16_t mode = 0;
            VFilePath link(fFolder.Path("stale"));
            EXPECT_EQ(Inside(root, "Contents/MacOS/Sample")->MAC_GetPermissionsBeneath(root, &mode, &link),
                      VE_OK);
            EXPECT_EQ(mode, 0644);
            EXPECT_TRUE(link.IsEmpty());
            EXPECT_EQ(Inside(root, "Contents/MacOS/Sample")->MAC_SetPermissionsBeneath(root, 0755, &link),
                      VE_OK);
            EXPECT_EQ(ModeOf(executable), 0755u);
            EXPECT_EQ(Inside(root, "Contents/Database/file")->SetContentBeneath(root, "new", 3, &link),
                      VE_OK);
            EXPECT_TRUE(link.IsEmpty());
            EXPECT_EQ(ReadFileBytes(fFolder.Posix("bundle/") + test.fWritten), "new");
            struct stat status = {};
            ASSERT_EQ(lstat(fFolder.Posix(test.fLink).c_str(), &status), 0);
            EXPECT_TRUE(S_ISLNK(status.st_mode));
            EXPECT_EQ(TreeOf(fFolder.Posix("outside")), fOutside);
        }
    }
}

// A file with another name, which may lie outside the folder, is never changed in place: its
// mode is not set; its content is replaced, which leaves the other name as it was.
TEST_F(VFileBeneathTest, AFileWithOtherNamesIsNotChangedInPlace)
{
    MakeBundleWithLink("bundle/Contents/Resources/link", "../MacOS/Sample");
    WriteFileBytes(fFolder.Posix("outside/exe"), "#!/bin/sh\n");
    ASSERT_EQ(chmod(fFolder.Posix("outside/exe").c_str(), 0644), 0);
    ASSERT_EQ(
        link(fFolder.Posix("outside/exe").c_str(), fFolder.Posix("bundle/Contents/MacOS/Sample").c_str()), 0);
    ASSERT_EQ(link(fFolder.Posix("outside/Database/file").c_str(),
                   fFolder.Posix("bundle/Contents/Database/file").c_str()),
              0);
    const std::vector<std::string> outside = TreeOf(fFolder.Posix("outside"));
    const VFolder root(fFolder.Path("bundle/"));
    for (const char* name : {"Contents/MacOS/Sample", "Contents/Resources/link"})
    {
        SCOPED_TRACE(name);
        uint16_t mode = 0;
        EXPECT_EQ(Inside(root, name)->MAC_GetPermissionsBeneath(root, &mode), VE_OK);
        EXPECT_EQ(mode, 0644);
        StErrorContextInstaller errors(false, true);
        VFilePath link(fFolder.Path("stale"));
        VFilePath named(fFolder.Path("stale"));
        EXPECT_EQ(Inside(root, name)->MAC_SetPermissionsBeneath(root, 0755, &link, &named),
                  VE_FILE_CANNOT_SET_ATTRIBUTES);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, EMLINK));
        EXPECT_TRUE(link.IsEmpty());
        EXPECT_EQ(PosixOf(named), fFolder.Posix("bundle/") + name);
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), outside);

    EXPECT_EQ(Inside(root, "Contents/Database/file")->SetContentBeneath(root, "new", 3), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("bundle/Contents/Database/file")), "new");
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), outside);
}

TEST_F(VFileBeneathTest, ContentIsWrittenInsideTheFolderOnly)
{
    MakeBundleWithLink("rootlink", "bundle");
    // The folder itself may be named through a link; the missing folders below are made.
    VFilePath link(fFolder.Path("stale"));
    const VFolder named(fFolder.Path("rootlink/"));
    EXPECT_EQ(Inside(named, "Contents/a/b/file")->SetContentBeneath(named, "new", 3, &link), VE_OK);
    EXPECT_TRUE(link.IsEmpty());
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("bundle/Contents/a/b/file")), "new");
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(ModeOf(fFolder.Posix("bundle/Contents/a/b")), 0755u & ~mask);

    const VFolder root(fFolder.Path("bundle/"));
    WriteFileBytes(fFolder.Posix("bundle/private"), "old");
    chmod(fFolder.Posix("bundle/private").c_str(), 0600);
    EXPECT_EQ(Inside(root, "private")->SetContentBeneath(root, "newer", 5), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("bundle/private")), "newer");
    EXPECT_EQ(ModeOf(fFolder.Posix("bundle/private")), 0600u);

    // A file outside the folder, and an item that is no regular file, are refused untouched.
    ASSERT_EQ(mkfifo(fFolder.Posix("bundle/pipe").c_str(), 0644), 0);
    const std::pair<const char*, int> refused[] = {
        {"outside/Database/file", EINVAL}, {"bundle/pipe", EINVAL}, {"bundle/Contents", EISDIR}};
    for (const auto& [name, native] : refused)
    {
        SCOPED_TRACE(name);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(File(name)->SetContentBeneath(root, "x", 1), VE_FILE_CANNOT_OPEN);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, uint32_t(native)));
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), fOutside);
    EXPECT_TRUE(PathExists(fFolder.Posix("bundle/pipe")));
}

TEST_F(VFileBeneathTest, PermissionsAreNeverReadOrSetThroughAWayOutOfTheFolder)
{
    MakeBundleWithLink("bundle/Contents/linked", "../../outside/Database/file");
    ASSERT_EQ(symlink("../outside", fFolder.Posix("bundle/Other").c_str()), 0);
    WriteFileBytes(fFolder.Posix("bundle/Contents/exe"), "#!/bin/sh\n");
    chmod(fFolder.Posix("bundle/Contents/exe").c_str(), 0644);
    const VFolder root(fFolder.Path("bundle/"));
    uint16_t mode = 0;
    EXPECT_EQ(Inside(root, "Contents/exe")->MAC_GetPermissionsBeneath(root, &mode), VE_OK);
    EXPECT_EQ(mode, 0644);
    EXPECT_EQ(Inside(root, "Contents/exe")->MAC_SetPermissionsBeneath(root, 0755), VE_OK);
    EXPECT_EQ(ModeOf(fFolder.Posix("bundle/Contents/exe")), 0755u);
    // An item that is no file nor folder is never opened: a pipe's mode is set without a reader.
    ASSERT_EQ(mkfifo(fFolder.Posix("bundle/Contents/pipe").c_str(), 0644), 0);
    EXPECT_EQ(Inside(root, "Contents/pipe")->MAC_SetPermissionsBeneath(root, 0755), VE_OK);
    EXPECT_EQ(ModeOf(fFolder.Posix("bundle/Contents/pipe")), 0755u);

    const std::pair<const char*, const char*> cases[] = {{"Contents/linked", "bundle/Contents/linked"},
                                                         {"Other/Database/file", "bundle/Other"}};
    for (const bool byHand : {false, true})
    {
        const StResolveByHand resolution(byHand);
        for (const auto& [name, linkName] : cases)
        {
            SCOPED_TRACE(std::string(name) + (byHand ? " by hand" : ""));
            const std::string expected = fFolder.Posix(linkName);
            StErrorContextInstaller errors(false, true);
            VFilePath link;
            EXPECT_EQ(Inside(root, name)->MAC_GetPermissionsBeneath(root, &mode, &link),
                      VE_FILE_CANNOT_GET_ATTRIBUTES);
            EXPECT_EQ(PosixOf(link), expected);
            link.Clear();
            EXPECT_EQ(Inside(root, name)->MAC_SetPermissionsBeneath(root, 0755, &link),
                      VE_FILE_CANNOT_SET_ATTRIBUTES);
            EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, ELOOP));
            EXPECT_EQ(PosixOf(link), expected);
        }
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), fOutside);
}

// Where /proc is not mounted (a container, a chroot), the mode is set as anywhere else, and the
// guarantees hold: nothing through a way out, no file with other names, nothing where nothing
// needs to change. Run in a child that unmounts /proc in a mount namespace of its own.
TEST_F(VFileBeneathTest, PermissionsAreSetWhereProcIsNotMounted)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "unmounting /proc needs root";
    MakeBundleWithLink("bundle/Contents/MacOS/Sample", "../Resources/Sample-bin",
                       {{"bundle/Contents/out", "../../outside/Database/file"}});
    WriteFileBytes(fFolder.Posix("bundle/Contents/Resources/Sample-bin"), "#!/bin/sh\n");
    WriteFileBytes(fFolder.Posix("bundle/Contents/ready"), "#!/bin/sh\n");
    WriteFileBytes(fFolder.Posix("outside/exe"), "#!/bin/sh\n");
    ASSERT_EQ(link(fFolder.Posix("outside/exe").c_str(), fFolder.Posix("bundle/Contents/other").c_str()), 0);
    for (const char* name : {"bundle/Contents/Resources/Sample-bin", "outside/exe"})
        ASSERT_EQ(chmod(fFolder.Posix(name).c_str(), 0644), 0);
    ASSERT_EQ(chmod(fFolder.Posix("bundle/Contents/ready").c_str(), 0755), 0);
    struct stat ready = {};
    ASSERT_EQ(stat(fFolder.Posix("bundle/Contents/ready").c_str(), &ready), 0);
    const std::vector<std::string> outside = TreeOf(fFolder.Posix("outside"));
    struct Case
    {
        const char* fName;
        VError fError;
    };
    const Case cases[] = {
        {"Contents/MacOS/Sample", VE_OK},
        {"Contents/ready", VE_OK},
        {"Contents/other", VE_FILE_CANNOT_SET_ATTRIBUTES},
        {"Contents/out", VE_FILE_CANNOT_SET_ATTRIBUTES},
    };
    const VFolder root(fFolder.Path("bundle/"));
    const pid_t child = fork();
    if (child == 0)
    {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            umount2("/proc", MNT_DETACH) != 0 || access("/proc/self", F_OK) == 0)
            _exit(100);
        // One bit for each case that did not end as it should.
        int failed = 0;
        for (size_t i = 0; i < std::size(cases); ++i)
        {
            StErrorContextInstaller errors(false, true);
            if (Inside(root, cases[i].fName)->MAC_SetPermissionsBeneath(root, 0755) != cases[i].fError)
                failed |= 1 << i;
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a bit for each case that failed";
    EXPECT_EQ(ModeOf(fFolder.Posix("bundle/Contents/Resources/Sample-bin")), 0755u);
    struct stat after = {};
    ASSERT_EQ(stat(fFolder.Posix("bundle/Contents/ready").c_str(), &after), 0);
    EXPECT_EQ(after.st_ctim.tv_sec, ready.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, ready.st_ctim.tv_nsec) << "a mode that needs no change was set";
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), outside);
}

TEST_F(VFileTest, AppendContentThatFailsIsCutBack)
{
    const std::string path = fFolder.Posix("log");
    WriteFileBytes(path, "line 1\n");
    const std::string more(200000, 'm');
    {
        StIOFault fault(true, ENOSPC, 5000);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(File("log")->AppendContent(more.data(), more.size()), VE_FILE_CANNOT_WRITE);
        const VErrorBase* error = LastErrorObject(errors);
        EXPECT_EQ(LongParameter(error, "count"), 200000);
        int64_t offset = -1;
        EXPECT_TRUE(error->GetBag()->GetLong8("offset", offset));
        EXPECT_EQ(offset, 7);
    }
    EXPECT_EQ(ReadFileBytes(path), "line 1\n");
}

TEST_F(VFileTest, CopyToMakesTheDestinationWholeOrLeavesIt)
{
    const std::string data(150000, 'd');
    WriteFileBytes(fFolder.Posix("source"), data);
    ASSERT_EQ(chmod(fFolder.Posix("source").c_str(), 0750), 0);
    WriteFileBytes(fFolder.Posix("destination"), "old");
    VRefPtr<VFile> source = File("source");
    VFile* copy = nullptr;
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(source->CopyTo(fFolder.Path("destination"), &copy, 0), VE_FILE_CANNOT_COPY);
        EXPECT_EQ(copy, nullptr);
        EXPECT_EQ(NativeOf(errors), kCocoaFileExists);
        const VErrorBase* error = LastErrorObject(errors);
        EXPECT_EQ(StringParameter(error, "destination"), Text(fFolder.Path("destination").GetPath()));
        EXPECT_EQ(StringParameter(error, "name"), u"source");
        // Onto itself: nothing is touched, even when replacing.
        EXPECT_EQ(source->CopyTo(*source, FO_Overwrite), VE_FILE_CANNOT_COPY);
        EXPECT_EQ(ReadFileBytes(fFolder.Posix("source")), data);
    }
    {
        StIOFault fault(true, ENOSPC, 50000);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(source->CopyTo(fFolder.Path("destination"), nullptr, FO_Overwrite), VE_FILE_CANNOT_COPY);
    }
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("destination")), "old");
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"destination", "source"}));

    EXPECT_EQ(source->CopyTo(fFolder.Path("destination"), &copy, FO_Overwrite), VE_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Text(copy->GetPath().GetPath()), Text(fFolder.Path("destination").GetPath()));
    copy->Release();
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("destination")), data);
    EXPECT_EQ(ModeOf(fFolder.Posix("destination")), 0750u);

    // Into a folder under its own name.
    ASSERT_EQ(mkdir(fFolder.Posix("folder").c_str(), 0755), 0);
    const VRefPtr<VFolder> folder(new VFolder(fFolder.Path("folder/")));
    EXPECT_EQ(source->CopyTo(*folder, &copy, 0), VE_OK);
    ASSERT_NE(copy, nullptr);
    copy->Release();
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("folder/source")), data);
    EXPECT_EQ(File("folder/copied")->CopyFrom(*source, 0), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("folder/copied")), data);

    // An unusable destination never reaches the system, and the out file is cleared.
    StErrorContextInstaller errors(false, true);
    copy = source.Get();
    EXPECT_EQ(source->CopyTo(VFilePath(), &copy, 0), VE_FILE_CANNOT_COPY);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 1u);
}

TEST_F(VFileTest, MoveAndRenameReplaceOnlyWhenAsked)
{
    WriteFileBytes(fFolder.Posix("a"), "a");
    WriteFileBytes(fFolder.Posix("b"), "b");
    VFile* moved = nullptr;
    {
        // In one folder the rename must not replace either.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(File("a")->Move(fFolder.Path("b"), &moved, 0), VE_FILE_CANNOT_MOVE);
        EXPECT_EQ(moved, nullptr);
        EXPECT_EQ(ReadFileBytes(fFolder.Posix("b")), "b");
        EXPECT_EQ(LongParameter(LastErrorObject(errors), "options"), 0);
        VFile* renamed = nullptr;
        EXPECT_EQ(File("a")->Rename(VString("b"), &renamed), VE_FILE_CANNOT_RENAME);
        EXPECT_EQ(renamed, nullptr);
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, EEXIST));
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "newname"), u"b");
        // A folder path is no file to move.
        EXPECT_EQ(File("a/")->Move(fFolder.Path("c"), nullptr, 0), VE_FILE_CANNOT_MOVE);
    }
    EXPECT_EQ(File("a")->Move(fFolder.Path("b"), &moved, FO_Overwrite), VE_OK);
    ASSERT_NE(moved, nullptr);
    moved->Release();
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("b")), "a");
    EXPECT_FALSE(PathExists(fFolder.Posix("a")));

    ASSERT_EQ(mkdir(fFolder.Posix("sub").c_str(), 0755), 0);
    const VRefPtr<VFolder> sub(new VFolder(fFolder.Path("sub/")));
    EXPECT_EQ(File("b")->Move(*sub, nullptr, 0), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("sub/b")), "a");
    VFile* renamed = nullptr;
    EXPECT_EQ(File("sub/b")->Rename(VString("c.txt"), &renamed), VE_OK);
    ASSERT_NE(renamed, nullptr);
    EXPECT_TRUE(renamed->Exists());
    renamed->Release();
}

TEST_F(VFileTest, MoveToTrashGoesToTheHomeTrash)
{
    StEnvironment environment({{"XDG_DATA_HOME", fFolder.Posix("data").c_str()}});
    WriteFileBytes(fFolder.Posix("old.txt"), "old");
    EXPECT_EQ(File("old.txt")->MoveToTrash(), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("old.txt")));
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("data/Trash/files/old.txt")), "old");
    EXPECT_TRUE(PathExists(fFolder.Posix("data/Trash/info/old.txt.trashinfo")));
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(File("old.txt")->MoveToTrash(), VE_OK);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
}

TEST_F(VFileTest, TimesAndAttributes)
{
    WriteFileBytes(fFolder.Posix("file"), "x");
    VRefPtr<VFile> file = File("file");
    VTime modified;
    modified.FromUTCTime(2020, 2, 29, 12, 30, 45, 250);
    EXPECT_EQ(file->SetTimeAttributes(&modified, nullptr, nullptr), VE_OK);
    VTime read;
    VTime accessed;
    EXPECT_EQ(file->GetTimeAttributes(&read, nullptr, &accessed), VE_OK);
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    read.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    EXPECT_EQ(std::vector<int16_t>({year, month, day, hour, minute, second, millisecond}),
              std::vector<int16_t>({2020, 2, 29, 12, 30, 45, 250}));

    uint32_t attributes = 99;
    EXPECT_EQ(file->GetFileAttributes(attributes), VE_OK);
    EXPECT_EQ(attributes, 0u);
    WriteFileBytes(fFolder.Posix(".hidden"), "x");
    EXPECT_EQ(File(".hidden")->GetFileAttributes(attributes), VE_OK);
    EXPECT_EQ(attributes, XMacFile::kAttributeHidden);
    // Hidden is the name here: asking for it changes nothing, and is no failure.
    EXPECT_EQ(file->SetFileAttributes(XMacFile::kAttributeHidden), VE_OK);
    EXPECT_EQ(file->GetFileAttributes(attributes), VE_OK);
    EXPECT_EQ(attributes, 0u);

    // Locked is the immutable flag, which needs a capability the process may lack.
    StErrorContextInstaller errors(false, true);
    if (file->SetFileAttributes(XMacFile::kAttributeLocked) == VE_OK)
    {
        EXPECT_EQ(file->GetFileAttributes(attributes), VE_OK);
        EXPECT_EQ(attributes, XMacFile::kAttributeLocked);
        EXPECT_NE(file->SetContent("y", 1), VE_OK);
        EXPECT_EQ(file->Unlock(), VE_OK);
        EXPECT_EQ(file->GetFileAttributes(attributes), VE_OK);
        EXPECT_EQ(attributes, 0u);
    }
    else
    {
        EXPECT_EQ(NativeOf(errors), MakeVError(kCOMPONENT_POSIX, EPERM)) << "or ENOTSUP on this volume";
    }

    uint16_t mode = 0;
    EXPECT_EQ(file->MAC_SetPermissions(0600), VE_OK);
    EXPECT_EQ(file->MAC_GetPermissions(&mode), VE_OK);
    EXPECT_EQ(mode, 0600);
    EXPECT_FALSE(file->MAC_IsWritableByAll());
    EXPECT_EQ(file->MAC_MakeWritableByAll(), VE_OK);
    EXPECT_TRUE(file->MAC_IsWritableByAll());
    int64_t forkSize = 1;
    EXPECT_EQ(file->GetResourceForkSize(&forkSize), VE_OK);
    EXPECT_EQ(forkSize, 0);
    EXPECT_FALSE(file->HasResourceFork());
}

TEST_F(VFileTest, LinksAreTheOnlyAliases)
{
    ASSERT_EQ(mkfifo(fFolder.Posix("pipe").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("folder").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("target.txt"), "t");
    VRefPtr<VFile> toPipe = File("to pipe");
    VRefPtr<VFile> toFile = File("sub/to file");
    ASSERT_EQ(mkdir(fFolder.Posix("sub").c_str(), 0755), 0);
    EXPECT_EQ(toPipe->MAC_CreateSymbolicLink(fFolder.Path("pipe"), false), VE_OK);
    EXPECT_EQ(toFile->MAC_CreateSymbolicLink(fFolder.Path("target.txt"), true), VE_OK);
    char text[64] = {};
    ASSERT_GT(readlink(fFolder.Posix("sub/to file").c_str(), text, sizeof(text) - 1), 0);
    EXPECT_STREQ(text, "../target.txt");
    EXPECT_TRUE(toFile->IsAliasFile());

    // A pipe behind a link is never opened to resolve it.
    VFilePath target;
    EXPECT_EQ(toPipe->ResolveAlias(target), VE_OK);
    EXPECT_EQ(Text(target.GetPath()), Text(fFolder.Path("pipe").GetPath()));
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(File("target.txt")->ResolveAlias(target), VE_FILE_CANNOT_RESOLVE_ALIAS);
        EXPECT_TRUE(target.IsEmpty());
        EXPECT_EQ(File("target.txt")->CreateAlias(fFolder.Path("alias"), nullptr),
                  VE_FILE_CANNOT_CREATE_ALIAS);
    }

    VRefPtr<VFile> resolved = toFile;
    EXPECT_EQ(VFile::ResolveAliasFile(resolved, false), VE_OK);
    EXPECT_EQ(Text(resolved->GetPath().GetPath()), Text(fFolder.Path("target.txt").GetPath()));

    // A link to a folder is no file: refused, or deleted when asked.
    VRefPtr<VFile> toFolder = File("to folder");
    ASSERT_EQ(symlink("folder", fFolder.Posix("to folder").c_str()), 0);
    {
        StErrorContextInstaller errors(false, true);
        VRefPtr<VFile> io = toFolder;
        EXPECT_EQ(VFile::ResolveAliasFile(io, false), VE_FILE_ALIAS_TARGET_IS_FOLDER);
    }
    const VRefPtr<VFolder> folder(new VFolder(fFolder.Path()));
    EXPECT_EQ(VFile::CreateAndResolveAlias(*folder, VString("to folder"), FPS_POSIX), nullptr);
    EXPECT_FALSE(PathExists(fFolder.Posix("to folder")));

    // A link made over an existing file replaces it only once it stands.
    WriteFileBytes(fFolder.Posix("replaced"), "r");
    EXPECT_EQ(File("replaced")->MAC_CreateSymbolicLink(fFolder.Path("target.txt"), false), VE_OK);
    EXPECT_TRUE(File("replaced")->MAC_IsSymbolicLink());
    EXPECT_EQ(NamesIn(fFolder.Posix()),
              (std::vector<std::string>{"folder", "pipe", "replaced", "sub", "target.txt", "to pipe"}));
}

TEST_F(VFileTest, FreeSpaceIsCachedForTheAgeAsked)
{
    VRefPtr<VFile> file = File("anything");
    int64_t free = 0;
    int64_t total = 0;
    const uint32_t before = XMacFile::GetVolumeQueryCountForTesting();
    EXPECT_EQ(file->GetVolumeFreeSpace(&free, &total, true, 60000), VE_OK);
    EXPECT_GT(total, 0);
    EXPECT_GE(total, free);
    EXPECT_EQ(file->GetVolumeFreeSpace(&free, nullptr, true, 60000), VE_OK);
    EXPECT_EQ(XMacFile::GetVolumeQueryCountForTesting(), before + 1);
    EXPECT_EQ(file->GetVolumeFreeSpace(&free, nullptr, false, 60000), VE_OK);
    EXPECT_EQ(file->GetVolumeFreeSpace(&free, nullptr, false, 0), VE_OK);
    EXPECT_EQ(XMacFile::GetVolumeQueryCountForTesting(), before + 3);
}

TEST_F(VFileTest, TemporaryFilesAreNamedAfterAnIdentifier)
{
    StEnvironment environment({{"TMPDIR", fFolder.Posix().c_str()}});
    VRefPtr<VFile> temporary(VFile::CreateTemporaryFile());
    ASSERT_NE(temporary, nullptr);
    EXPECT_TRUE(temporary->Exists());
    VString name;
    temporary->GetName(name);
    ASSERT_EQ(name.GetLength(), 36);
    const std::u16string text = Text(name);
    EXPECT_EQ(text.substr(0, 4), u"kov_");
    EXPECT_EQ(text.find_first_not_of(u"0123456789ABCDEF", 4), std::u16string::npos);
    VRefPtr<IFolder> parent(temporary->RetainParentFolder(false));
    EXPECT_EQ(Text(parent->GetPath().GetPath()), Text(fFolder.Path().GetPath()));
    // Only its maker may read what goes into it.
    VString posix;
    temporary->GetPath().GetPosixPath(posix);
    EXPECT_EQ(ModeOf(to_string(posix)), 0600u);
}

TEST_F(VFileTest, KindsByTypeIdentifierAndExtension)
{
    ASSERT_TRUE(VFileKindManager::Init());
    WriteFileBytes(fFolder.Posix("notes.txt"), "x");
    WriteFileBytes(fFolder.Posix("report.qdoc"), "x");
    VRefPtr<VFile> notes = File("notes.txt");
    EXPECT_TRUE(notes->ConformsTo(VString("public.plain-text")));
    EXPECT_TRUE(notes->ConformsTo(VString("public.data")));
    EXPECT_FALSE(notes->ConformsTo(VString("public.image")));
    EXPECT_FALSE(notes->ConformsTo(VString("com.example.unknown")));
    VFileKindManager::Get()->RegisterPrivateFileKind(VString("com.example.qdoc"), VString("Q document"),
                                                     {VString("qdoc")}, {VString("public.xml")});
    EXPECT_TRUE(File("report.qdoc")->ConformsTo(VString("com.example.qdoc")));
    EXPECT_FALSE(notes->ConformsTo(VString("com.example.qdoc")));
    VFileKindManager::DeInit();
}

TEST_F(VFileTest, PathsWithAFileSystem)
{
    ASSERT_EQ(mkdir(fFolder.Posix("root").c_str(), 0755), 0);
    const VRefPtr<VFolder> root(new VFolder(fFolder.Path("root/")));
    const VRefPtr<VFileSystem> fileSystem(new VFileSystem(VString("area"), root.Get(), 0, 0, 0));
    const VRefPtr<VFolder> inside(
        static_cast<VFolder*>(root->RetainRelativeFolder(VString("sub"), FPS_POSIX, fileSystem.Get())));
    const VRefPtr<VFile> file(new VFile(*inside, VString("x.txt"), FPS_POSIX));
    EXPECT_EQ(file->GetFileSystem(), fileSystem.Get());
    EXPECT_EQ(Text(file->GetPathWithFileSystem()), u"/area/sub/x.txt");
    VString posix;
    file->GetPlatformPath(posix, FPS_POSIX);
    EXPECT_EQ(Text(posix), Text(VString(fFolder.Posix("root/sub/x.txt").c_str())));

    // A copy out of the root leaves the file system behind.
    ASSERT_EQ(mkdir(fFolder.Posix("root/sub").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("root/sub/x.txt"), "x");
    VFile* copy = nullptr;
    ASSERT_EQ(file->CopyTo(fFolder.Path("y.txt"), &copy, 0), VE_OK);
    EXPECT_EQ(copy->GetFileSystem(), nullptr);
    copy->Release();
    ASSERT_EQ(file->CopyTo(fFolder.Path("root/y.txt"), &copy, 0), VE_OK);
    EXPECT_EQ(copy->GetFileSystem(), fileSystem.Get());
    copy->Release();

    VString url;
    File("a b.txt")->GetURL(url, true);
    EXPECT_EQ(Text(url), u"file://" + Text(VString(fFolder.Posix().c_str())) + u"/a%20b.txt");
    File("root/sub/x.txt")->GetRelativeURL(root.Get(), url, false);
    EXPECT_EQ(Text(url), u"sub/x.txt");
    EXPECT_TRUE(File("x")->IsSameFile(File("x").Get()));
    EXPECT_FALSE(File("x")->IsSameFile(File("X").Get()));
}

} // namespace
} // namespace kova
