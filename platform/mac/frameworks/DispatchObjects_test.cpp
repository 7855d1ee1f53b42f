#include "platform/mac/frameworks/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kova
{
namespace
{

dispatch::Queue* DefaultQueue()
{
    return dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0);
}

// Something that happens on another thread, waited for with a bound only a hung test reaches.
class Signal
{
public:
    void Raise()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        ++fCount;
        fChanged.notify_all();
    }
    bool WaitFor(int inCount)
    {
        std::unique_lock<std::mutex> lock(fMutex);
        return fChanged.wait_for(lock, std::chrono::seconds(30), [&] { return fCount >= inCount; });
    }
    int Count()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fCount;
    }

private:
    std::mutex fMutex;
    std::condition_variable fChanged;
    int fCount = 0;
};

// The signal is raised when the last copy of what it returns goes: captured by the handlers of a
// source, once the source has let every copy go, none of its handlers can run again.
std::shared_ptr<void> TellWhenGone(Signal& inSignal)
{
    return std::shared_ptr<void>(&inSignal, [](void* inGone) { static_cast<Signal*>(inGone)->Raise(); });
}

size_t CountDescriptors()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// A child that runs until its standard input closes, then exits with 3.
pid_t SpawnWaitingChild(int& outInput)
{
    int input[2];
    EXPECT_EQ(pipe2(input, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    char shell[] = "/bin/sh";
    char option[] = "-c";
    char script[] = "read line; exit 3";
    char* arguments[] = {shell, option, script, nullptr};
    pid_t child = 0;
    EXPECT_EQ(posix_spawn(&child, shell, &actions, nullptr, arguments, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    outInput = input[1];
    return child;
}

TEST(DispatchObjects, GroupTellsAndWaitsWhenEmpty)
{
    dispatch::Group* group = dispatch::GroupCreate();
    ASSERT_NE(group, nullptr);
    Signal notified;
    // Empty: at once.
    dispatch::GroupNotify(group, DefaultQueue(), [&] { notified.Raise(); });
    EXPECT_TRUE(notified.WaitFor(1));
    EXPECT_TRUE(dispatch::GroupWait(group, 0));

    for (int i = 0; i < 3; ++i)
        dispatch::GroupEnter(group);
    dispatch::GroupNotify(group, DefaultQueue(), [&] { notified.Raise(); });
    EXPECT_FALSE(dispatch::GroupWait(group, 20));
    for (int i = 0; i < 3; ++i)
        dispatch::Async(DefaultQueue(), [group] { dispatch::GroupLeave(group); });
    EXPECT_TRUE(dispatch::GroupWait(group, dispatch::kForever));
    EXPECT_TRUE(notified.WaitFor(2));
    // A leave without an enter changes nothing.
    dispatch::GroupLeave(group);
    dispatch::GroupEnter(group);
    EXPECT_FALSE(dispatch::GroupWait(group, 0));
    dispatch::GroupLeave(group);
    EXPECT_TRUE(dispatch::GroupWait(group, 0));
    dispatch::Release(group);
}

TEST(DispatchObjects, TimersFireOnceOrRepeatAndStopWhenCancelled)
{
    // Once: released after its event, the source goes, which a timer still due would prevent.
    Signal fired;
    Signal onceGone;
    dispatch::Source* once = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
    ASSERT_NE(once, nullptr);
    dispatch::SourceSetEventHandler(once, [&fired, token = TellWhenGone(onceGone)] { fired.Raise(); });
    dispatch::SourceSetTimer(once, 5, 0);
    const auto start = std::chrono::steady_clock::now();
    dispatch::SourceResume(once);
    EXPECT_TRUE(fired.WaitFor(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5));
    dispatch::Release(once);
    EXPECT_TRUE(onceGone.WaitFor(1));
    EXPECT_EQ(fired.Count(), 1);

    // Repeating: the third tick holds its handler while the timer fires again behind it; what was
    // queued meanwhile never starts once the source is cancelled.
    Signal ticks;
    Signal held;
    Signal let;
    Signal cancelled;
    Signal repeatingGone;
    std::shared_ptr<void> token = TellWhenGone(repeatingGone);
    dispatch::Source* repeating = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
    dispatch::SourceSetEventHandler(repeating,
                                    [&, token]
                                    {
                                        EXPECT_EQ(cancelled.Count(), 0);
                                        ticks.Raise();
                                        if (ticks.Count() == 3)
                                        {
                                            held.Raise();
                                            let.WaitFor(1);
                                        }
                                    });
    dispatch::SourceSetCancelHandler(repeating, [&cancelled, token] { cancelled.Raise(); });
    token.reset();
    dispatch::SourceSetTimer(repeating, 1, 2);
    dispatch::SourceResume(repeating);
    EXPECT_TRUE(held.WaitFor(1));
    // Due after the tick that follows the held one: once it has fired, that tick is queued.
    Signal marked;
    dispatch::Source* marker = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
    dispatch::SourceSetEventHandler(marker, [&marked] { marked.Raise(); });
    dispatch::SourceSetTimer(marker, 10, 0);
    dispatch::SourceResume(marker);
    EXPECT_TRUE(marked.WaitFor(1));
    dispatch::Release(marker);
    dispatch::SourceCancel(repeating);
    dispatch::SourceCancel(repeating);
    EXPECT_TRUE(dispatch::SourceTestCancel(repeating));
    let.Raise();
    dispatch::Release(repeating);
    // Its handlers let go, the source can run none of them again.
    EXPECT_TRUE(repeatingGone.WaitFor(1));
    EXPECT_EQ(ticks.Count(), 3);
    EXPECT_EQ(cancelled.Count(), 1);

    // Cancelled before it is due: never fires.
    Signal never;
    Signal lateGone;
    dispatch::Source* late = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
    dispatch::SourceSetEventHandler(late, [&never, token = TellWhenGone(lateGone)] { never.Raise(); });
    dispatch::SourceSetTimer(late, 10, 0);
    dispatch::SourceResume(late);
    dispatch::SourceCancel(late);
    dispatch::Release(late);
    EXPECT_TRUE(lateGone.WaitFor(1));
    EXPECT_EQ(never.Count(), 0);
}

TEST(DispatchObjects, ProcessSourceTellsTheExitWithoutReaping)
{
    int input = -1;
    const pid_t child = SpawnWaitingChild(input);
    ASSERT_GT(child, 0);
    Signal ended;
    Signal cancelled;
    std::atomic<bool> exitedFirst{false};
    dispatch::Source* source = dispatch::SourceCreate(dispatch::SourceType::kProcess, uintptr_t(child),
                                                      dispatch::kProcExit, DefaultQueue());
    // The source by value: once the test has seen the cancel, its frame may be gone. The event
    // comes only once the child has ended: it is there to be waited for (and left for the test).
    dispatch::SourceSetEventHandler(source,
                                    [&ended, &exitedFirst, source, child]
                                    {
                                        siginfo_t info = {};
                                        exitedFirst = waitid(P_PID, id_t(child), &info,
                                                             WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                                      info.si_pid == child;
                                        ended.Raise();
                                        dispatch::SourceCancel(source);
                                    });
    dispatch::SourceSetCancelHandler(source,
                                     [&cancelled, source]
                                     {
                                         cancelled.Raise();
                                         dispatch::Release(source);
                                     });
    dispatch::SourceResume(source);
    close(input);
    EXPECT_TRUE(ended.WaitFor(1));
    EXPECT_TRUE(exitedFirst);
    EXPECT_TRUE(cancelled.WaitFor(1));
    // The child is still there to be reaped, with its status.
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);

    // A process that is gone already: the event comes at once.
    Signal gone;
    dispatch::Source* late = dispatch::SourceCreate(dispatch::SourceType::kProcess, uintptr_t(child),
                                                    dispatch::kProcExit, DefaultQueue());
    dispatch::SourceSetEventHandler(late, [&] { gone.Raise(); });
    dispatch::SourceResume(late);
    EXPECT_TRUE(gone.WaitFor(1));
    dispatch::SourceCancel(late);
    dispatch::Release(late);
}

TEST(DispatchObjects, ChannelReadsAStreamToItsEndInOrder)
{
    // The event thread's own descriptors exist before the count.
    Signal warm;
    dispatch::Source* timer = dispatch::SourceCreate(dispatch::SourceType::kTimer, 0, 0, DefaultQueue());
    dispatch::SourceSetEventHandler(timer, [&] { warm.Raise(); });
    dispatch::SourceResume(timer);
    ASSERT_TRUE(warm.WaitFor(1));
    dispatch::Release(timer);
    const size_t descriptors = CountDescriptors();

    int stream[2];
    ASSERT_EQ(pipe2(stream, O_CLOEXEC), 0);
    std::string received;
    std::atomic<int> calls{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> inHandler{false};
    Signal done;
    Signal cleaned;
    int endError = -1;
    dispatch::Channel* channel = dispatch::IOCreate(stream[0], DefaultQueue(),
                                                    [&, fd = stream[0]](int)
                                                    {
                                                        close(fd);
                                                        cleaned.Raise();
                                                    });
    ASSERT_NE(channel, nullptr);
    dispatch::IORead(channel, DefaultQueue(),
                     [&](bool inDone, const void* inData, size_t inSize, int inError)
                     {
                         overlapped = overlapped || inHandler.exchange(true);
                         ++calls;
                         if (inDone)
                         {
                             endError = inError;
                             done.Raise();
                         }
                         else
                         {
                             received.append(static_cast<const char*>(inData), inSize);
                         }
                         inHandler = false;
                     });
    // Closed without the stop flag: the read still goes to the end.
    dispatch::IOClose(channel, 0);
    dispatch::Release(channel);

    std::string sent;
    for (int i = 0; sent.size() < 3000000; ++i)
        sent += std::to_string(i) + ",";
    std::thread writer(
        [&]
        {
            size_t at = 0;
            while (at < sent.size())
            {
                const ssize_t count =
                    write(stream[1], sent.data() + at, std::min<size_t>(sent.size() - at, 100000));
                if (count <= 0)
                    break;
                at += size_t(count);
            }
            close(stream[1]);
        });
    writer.join();
    ASSERT_TRUE(done.WaitFor(1));
    ASSERT_TRUE(cleaned.WaitFor(1));
    EXPECT_EQ(endError, 0);
    EXPECT_EQ(received, sent);
    EXPECT_FALSE(overlapped);
    EXPECT_GT(calls.load(), 2);
    EXPECT_EQ(CountDescriptors(), descriptors);
}

TEST(DispatchObjects, ChannelStoppedOrReleasedGivesItsDescriptorBack)
{
    int stream[2];
    ASSERT_EQ(pipe2(stream, O_CLOEXEC), 0);
    Signal done;
    Signal cleaned;
    int endError = -1;
    dispatch::Channel* channel = dispatch::IOCreate(stream[0], DefaultQueue(),
                                                    [&, fd = stream[0]](int)
                                                    {
                                                        close(fd);
                                                        cleaned.Raise();
                                                    });
    dispatch::IORead(channel, DefaultQueue(),
                     [&](bool inDone, const void*, size_t, int inError)
                     {
                         if (inDone)
                         {
                             endError = inError;
                             done.Raise();
                         }
                     });
    // The writer stays open: only the stop ends the read.
    dispatch::IOClose(channel, dispatch::kIOStop);
    ASSERT_TRUE(done.WaitFor(1));
    ASSERT_TRUE(cleaned.WaitFor(1));
    EXPECT_EQ(endError, ECANCELED);

    // A read asked of a closed channel ends at once.
    Signal refused;
    dispatch::IORead(channel, DefaultQueue(),
                     [&](bool inDone, const void*, size_t, int inError)
                     {
                         EXPECT_TRUE(inDone);
                         EXPECT_EQ(inError, ECANCELED);
                         refused.Raise();
                     });
    EXPECT_TRUE(refused.WaitFor(1));
    dispatch::Release(channel);
    close(stream[1]);

    // Released, never closed: the clean-up still runs.
    int other[2];
    ASSERT_EQ(pipe2(other, O_CLOEXEC), 0);
    Signal released;
    dispatch::Channel* idle = dispatch::IOCreate(other[0], DefaultQueue(),
                                                 [&, fd = other[0]](int)
                                                 {
                                                     close(fd);
                                                     released.Raise();
                                                 });
    dispatch::Release(idle);
    EXPECT_TRUE(released.WaitFor(1));
    close(other[1]);
}

} // namespace
} // namespace kova
