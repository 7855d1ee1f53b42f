#include "platform/mac/files/XMacFileSystemNotification.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/FileText.h"
#include "kernel/files/VFileSystemNotifier.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VTask.h"
#include "platform/mac/frameworks/FSEvents.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace kova
{
namespace
{

// The batches of the watches' latency, in milliseconds: short, so that the tests wait little.
constexpr int32_t kLatency = 20;
// How long a test waits for what it expects, and for what must not come.
constexpr std::chrono::milliseconds kPatience{10000};
constexpr std::chrono::milliseconds kQuiet{200};

using Calls = std::vector<std::string>;

// Records each call as its kind's letter (m, c, d) and the paths relative to the test's folder.
class Recorder : public VFileSystemNotifier::IEventHandler
{
public:
    explicit Recorder(std::string inBase) : fBase(std::move(inBase)) {}

    void DoFileSystemEvent(const std::vector<VFilePath>& inPaths,
                           VFileSystemNotifier::EventKind inKind) override
    {
        std::string call(1, inKind == VFileSystemNotifier::kFileModified  ? 'm'
                            : inKind == VFileSystemNotifier::kFileCreated ? 'c'
                                                                          : 'd');
        for (const VFilePath& path : inPaths)
        {
            VString posix;
            path.GetPosixPath(posix);
            std::string bytes;
            TextToUTF8(posix, bytes);
            call += " " + bytes.substr(fBase.size() + 1);
        }
        fCalls.push_back(call);
        if (fOnCall)
            fOnCall();
    }

    std::string fBase;
    Calls fCalls;
    std::function<void()> fOnCall;
};

class NotifierTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fFolder.IsValid());
        ASSERT_EQ(mkdir(fFolder.Posix("watched").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(fFolder.Posix("watched/sub").c_str(), 0755), 0);
        WriteFileBytes(fFolder.Posix("watched/old"), "old");
        fWatched = VRefPtr<VFolder>(new VFolder(fFolder.Path("watched/")));
    }

    // Runs the main task's message loop, as a process does, until the recorder has inCount calls,
    // or, for 0, for a quiet while: the loop alone must serve the main run loop's sources.
    void Pump(const Recorder& inRecorder, size_t inCount)
    {
        const auto start = std::chrono::steady_clock::now();
        const auto limit = inCount == 0 ? kQuiet : kPatience;
        while (std::chrono::steady_clock::now() - start < limit &&
               (inCount == 0 || inRecorder.fCalls.size() < inCount))
            VTask::ExecuteMessagesWithTimeout(5, false);
    }

    StTemporaryFolder fFolder;
    VFileSystemNotifier fNotifier;
    VRefPtr<VFolder> fWatched;
};

constexpr uint32_t kAllKinds = VFileSystemNotifier::kFileModified | VFileSystemNotifier::kFileCreated |
                               VFileSystemNotifier::kFileDeleted;

TEST_F(NotifierTest, ABatchTellsEachKindOnceInTheOrderFound)
{
    Recorder recorder(fFolder.Posix());
    ASSERT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &recorder, kLatency), VE_OK);
    // Made, then written again within the latency: what the listing shows is a creation.
    WriteFileBytes(fFolder.Posix("watched/new"), "1");
    WriteFileBytes(fFolder.Posix("watched/new"), "2");
    WriteFileBytes(fFolder.Posix("watched/.DS_Store"), "finder");
    Pump(recorder, 1);
    EXPECT_EQ(recorder.fCalls, Calls{"c watched/new"});

    recorder.fCalls.clear();
    unlink(fFolder.Posix("watched/old").c_str());
    const struct timespec later[2] = {{UTIME_OMIT, 0}, {2000000000, 0}};
    utimensat(AT_FDCWD, fFolder.Posix("watched/new").c_str(), later, 0);
    WriteFileBytes(fFolder.Posix("watched/sub/inner"), "i");
    Pump(recorder, 3);
    EXPECT_EQ(recorder.fCalls, (Calls{"d watched/old", "m watched/new", "c watched/sub/inner"}));
    EXPECT_EQ(fNotifier.StopWatchingForChanges(*fWatched, &recorder), VE_OK);

    // Stopped: nothing more.
    recorder.fCalls.clear();
    WriteFileBytes(fFolder.Posix("watched/after"), "a");
    Pump(recorder, 0);
    EXPECT_EQ(recorder.fCalls, Calls());
}

TEST_F(NotifierTest, KindsNotWatchedAndFoldersTouchedTellNothing)
{
    Recorder recorder(fFolder.Posix());
    ASSERT_EQ(fNotifier.StartWatchingForChanges(
                  *fWatched, VFileSystemNotifier::kFileModified | VFileSystemNotifier::kFileCreated,
                  &recorder, kLatency),
              VE_OK);
    unlink(fFolder.Posix("watched/old").c_str());
    const struct timespec later[2] = {{UTIME_OMIT, 0}, {2000000000, 0}};
    utimensat(AT_FDCWD, fFolder.Posix("watched/sub").c_str(), later, 0);
    Pump(recorder, 0);
    EXPECT_EQ(recorder.fCalls, Calls());
    fNotifier.StopWatchingForChanges(*fWatched, &recorder);
}

TEST_F(NotifierTest, OneHandlerWatchesAFolderOnce)
{
    Recorder first(fFolder.Posix());
    Recorder second(fFolder.Posix());
    StErrorContextInstaller errors(false, true);
    ASSERT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &first, kLatency), VE_OK);
    EXPECT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &first, kLatency),
              VE_FOLDER_ALREADY_WATCHED);
    ASSERT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &second, kLatency), VE_OK);
    WriteFileBytes(fFolder.Posix("watched/both"), "b");
    Pump(first, 1);
    Pump(second, 1);
    EXPECT_EQ(first.fCalls, Calls{"c watched/both"});
    EXPECT_EQ(second.fCalls, Calls{"c watched/both"});
    EXPECT_EQ(fNotifier.StopWatchingForChanges(*fWatched, &first), VE_OK);
    EXPECT_EQ(fNotifier.StopWatchingForChanges(*fWatched, &first), VE_FOLDER_NOT_FOUND);
    EXPECT_EQ(fNotifier.StopWatchingForChanges(*fWatched, &second), VE_OK);
}

TEST_F(NotifierTest, NewSubFoldersAreWatchedWithASnapshotOfTheirOwn)
{
    // A link to a folder outside is an item of the tree, never a way into another one.
    ASSERT_EQ(mkdir(fFolder.Posix("outside").c_str(), 0755), 0);
    ASSERT_EQ(symlink(fFolder.Posix("outside").c_str(), fFolder.Posix("watched/link").c_str()), 0);
    Recorder recorder(fFolder.Posix());
    EXPECT_EQ(VFileSystemNotifier::Instance(), &fNotifier);
    ASSERT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &recorder, kLatency), VE_OK);
    WriteFileBytes(fFolder.Posix("outside/elsewhere"), "e");
    ASSERT_EQ(mkdir(fFolder.Posix("watched/fresh").c_str(), 0755), 0);
    Pump(recorder, 1);
    EXPECT_EQ(recorder.fCalls, Calls{"c watched/fresh/"});
    recorder.fCalls.clear();
    WriteFileBytes(fFolder.Posix("watched/fresh/deep"), "d");
    Pump(recorder, 1);
    EXPECT_EQ(recorder.fCalls, Calls{"c watched/fresh/deep"});
    fNotifier.StopWatchingForChanges(*fWatched, &recorder);
}

TEST_F(NotifierTest, AChangeMadeWhileABatchIsToldIsToldInTheNext)
{
    // Started where no task runs: the handler is called on the main run loop, in the middle of
    // the batch, and makes a change in another folder of the tree right then.
    Recorder recorder(fFolder.Posix());
    bool changed = false;
    recorder.fOnCall = [&]
    {
        if (!changed)
            WriteFileBytes(fFolder.Posix("watched/sub/meanwhile"), "m");
        changed = true;
    };
    VError started = VE_UNKNOWN_ERROR;
    std::thread([&]
                { started = fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &recorder, kLatency); })
        .join();
    ASSERT_EQ(started, VE_OK);
    WriteFileBytes(fFolder.Posix("watched/first"), "f");
    Pump(recorder, 2);
    EXPECT_EQ(recorder.fCalls, (Calls{"c watched/first", "c watched/sub/meanwhile"}));
    fNotifier.StopWatchingForChanges(*fWatched, &recorder);
}

TEST_F(NotifierTest, LostEventsAreFoundByComparingTheWholeTree)
{
    ASSERT_EQ(mkdir(fFolder.Posix("watched/sub/deeper").c_str(), 0755), 0);
    Recorder recorder(fFolder.Posix());
    ASSERT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &recorder, kLatency), VE_OK);
    fsevents::SimulateQueueOverflowForTesting();
    WriteFileBytes(fFolder.Posix("watched/sub/deeper/lost"), "l");
    unlink(fFolder.Posix("watched/old").c_str());
    Pump(recorder, 2);
    EXPECT_EQ(recorder.fCalls, (Calls{"d watched/old", "c watched/sub/deeper/lost"}));
    // The watches stand again after the overflow.
    recorder.fCalls.clear();
    WriteFileBytes(fFolder.Posix("watched/sub/deeper/again"), "a");
    Pump(recorder, 1);
    EXPECT_EQ(recorder.fCalls, Calls{"c watched/sub/deeper/again"});
    fNotifier.StopWatchingForChanges(*fWatched, &recorder);
}

TEST_F(NotifierTest, AtTheLimitOfWatchesNothingIsHalfMade)
{
    ASSERT_EQ(mkdir(fFolder.Posix("watched/sub/deeper").c_str(), 0755), 0);
    Recorder recorder(fFolder.Posix());
    fsevents::SetWatchLimitForTesting(2);
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(fNotifier.StartWatchingForChanges(*fWatched, kAllKinds, &recorder, kLatency),
                  MakeVError(kCOMPONENT_POSIX, ENOSPC));
        EXPECT_EQ(fNotifier.StopWatchingForChanges(*fWatched, &recorder), VE_FOLDER_NOT_FOUND);
    }
    // Two folders fit: the watches of the failed start were all given back.
    VRefPtr<VFolder> smaller(new VFolder(fFolder.Path("watched/sub/")));
    EXPECT_EQ(fNotifier.StartWatchingForChanges(*smaller, kAllKinds, &recorder, kLatency), VE_OK);
    fsevents::SetWatchLimitForTesting(0);
    WriteFileBytes(fFolder.Posix("watched/sub/deeper/x"), "x");
    Pump(recorder, 1);
    EXPECT_EQ(recorder.fCalls, Calls{"c watched/sub/deeper/x"});
    fNotifier.StopWatchingForChanges(*smaller, &recorder);
}

} // namespace
} // namespace kova
