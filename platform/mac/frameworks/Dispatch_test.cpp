#include "platform/mac/frameworks/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kova
{
namespace
{

// A count that tests wait on, bounded by a time that only a hung test reaches.
class Countdown
{
public:
    explicit Countdown(int inCount) : fCount(inCount) {}
    void Done()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        --fCount;
        fChanged.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(fMutex);
        return fChanged.wait_for(lock, std::chrono::seconds(60), [this] { return fCount <= 0; });
    }

private:
    std::mutex fMutex;
    std::condition_variable fChanged;
    int fCount;
};

TEST(Dispatch, BlocksRunOnOtherThreadsEvenWhenEachWaitsForTheNext)
{
    dispatch::Queue* queue = dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue, dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0));
    const uint64_t before = dispatch::GetBlocksRunForTesting();

    // Each block waits until the one queued after it has run: a pool of fixed size would hang.
    constexpr int kBlocks = 12;
    Countdown finished(kBlocks);
    std::atomic<int> started{0};
    std::atomic<bool> onCaller{false};
    const std::thread::id caller = std::this_thread::get_id();
    for (int i = 0; i < kBlocks; ++i)
    {
        dispatch::Async(queue,
                        [&]
                        {
                            onCaller = onCaller || std::this_thread::get_id() == caller;
                            ++started;
                            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                            while (started < kBlocks && std::chrono::steady_clock::now() < limit)
                                std::this_thread::yield();
                            finished.Done();
                        });
    }
    ASSERT_TRUE(finished.Wait());
    EXPECT_FALSE(onCaller);
    EXPECT_GE(dispatch::GetBlocksRunForTesting(), before + kBlocks);
}

} // namespace
} // namespace kova
