#include "platform/mac/frameworks/Dispatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <utility>

namespace kova::dispatch
{

namespace
{

// A thread idle this long leaves the pool.
constexpr std::chrono::seconds kIdleLifetime{10};

// Blocks of every queue, run in the order they came by any thread of the pool.
class Pool
{
public:
    void Submit(std::function<void()>&& inBlock)
    {
        std::unique_lock<std::mutex> lock(fMutex);
        fBlocks.push_back(std::move(inBlock));
        if (fIdle > fBlocks.size() - 1)
        {
            fWork.notify_one();
            return;
        }
        // Every thread is busy, perhaps waiting for the very block just queued: a new one takes it.
        pthread_t thread;
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (pthread_create(&thread, &attributes, &Pool::Main, this) == 0)
            ++fThreads;
        pthread_attr_destroy(&attributes);
        if (fThreads == 0)
        {
            // No thread at all: the block runs on the caller rather than never.
            std::function<void()> block = std::move(fBlocks.back());
            fBlocks.pop_back();
            lock.unlock();
            Run(block);
        }
    }

    uint64_t GetBlocksRun() const { return fBlocksRun.load(std::memory_order_relaxed); }

private:
    static void* Main(void* inPool)
    {
        static_cast<Pool*>(inPool)->Work();
        return nullptr;
    }

    void Run(std::function<void()>& ioBlock)
    {
        fBlocksRun.fetch_add(1, std::memory_order_relaxed);
        ioBlock();
    }

    void Work()
    {
        std::unique_lock<std::mutex> lock(fMutex);
        for (;;)
        {
            if (fBlocks.empty())
            {
                ++fIdle;
                const bool woken = fWork.wait_for(lock, kIdleLifetime, [this] { return !fBlocks.empty(); });
                --fIdle;
                if (!woken)
                {
                    --fThreads;
                    return;
                }
            }
            std::function<void()> block = std::move(fBlocks.front());
            fBlocks.pop_front();
            lock.unlock();
            Run(block);
            block = nullptr;
            lock.lock();
        }
    }

    std::mutex fMutex;
    std::condition_variable fWork;
    std::deque<std::function<void()>> fBlocks;
    size_t fIdle = 0;
    size_t fThreads = 0;
    std::atomic<uint64_t> fBlocksRun{0};
};

// Made once and never destroyed: pool threads may still be waiting when the process exits.
Pool& ThePool()
{
    static Pool* sPool = new Pool;
    return *sPool;
}

} // namespace

struct Queue
{
    long fPriority;
};

Queue* GetGlobalQueue(long inPriority, unsigned long)
{
    static Queue sHigh{kQueuePriorityHigh};
    static Queue sDefault{kQueuePriorityDefault};
    static Queue sLow{kQueuePriorityLow};
    static Queue sBackground{kQueuePriorityBackground};
    if (inPriority >= kQueuePriorityHigh)
        return &sHigh;
    if (inPriority == kQueuePriorityLow)
        return &sLow;
    if (inPriority == kQueuePriorityBackground)
        return &sBackground;
    return &sDefault;
}

void Async(Queue* inQueue, std::function<void()> inBlock)
{
    if (inQueue == nullptr || !inBlock)
        return;
    ThePool().Submit(std::move(inBlock));
}

uint64_t GetBlocksRunForTesting()
{
    return ThePool().GetBlocksRun();
}

} // namespace kova::dispatch
