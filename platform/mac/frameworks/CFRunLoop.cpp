#include "platform/mac/frameworks/CFRunLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <unistd.h>
#include <vector>

namespace kova::cf
{

struct RunLoopTimer
{
    std::atomic<int32_t> fRefCount{1};
    double fFireDate = 0;
    double fInterval = 0;
    RunLoopTimerCallBack fCallBack = nullptr;
    void* fInfo = nullptr;
    // Changed only under the owning loop's mutex.
    std::atomic<RunLoop*> fLoop{nullptr};
    std::atomic<bool> fValid{true};
};

struct RunLoop
{
    std::mutex fMutex;
    std::condition_variable fChanged;
    std::vector<RunLoopTimer*> fTimers;
    bool fStop = false;

    ~RunLoop()
    {
        for (RunLoopTimer* timer : fTimers)
        {
            timer->fValid = false;
            timer->fLoop = nullptr;
            RunLoopTimerRelease(timer);
        }
    }
};

namespace
{

// The main thread's loop lives as long as the process; the others as long as their thread.
RunLoop* MainLoop()
{
    static RunLoop* sMain = new RunLoop;
    return sMain;
}

thread_local std::unique_ptr<RunLoop> sThreadLoop;

// With the loop's mutex held.
void RemoveTimer(RunLoop* inLoop, RunLoopTimer* inTimer)
{
    auto found = std::find(inLoop->fTimers.begin(), inLoop->fTimers.end(), inTimer);
    if (found != inLoop->fTimers.end())
    {
        inLoop->fTimers.erase(found);
        inTimer->fLoop = nullptr;
        RunLoopTimerRelease(inTimer);
    }
}

} // namespace

double AbsoluteTimeGetCurrent()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

RunLoop* RunLoopGetCurrent()
{
    if (getpid() == gettid())
        return MainLoop();
    if (!sThreadLoop)
        sThreadLoop.reset(new (std::nothrow) RunLoop);
    return sThreadLoop.get();
}

RunLoop* RunLoopGetMain()
{
    return MainLoop();
}

RunLoopTimer* RunLoopTimerCreate(double inFireDate, double inInterval, RunLoopTimerCallBack inCallBack,
                                 void* inInfo)
{
    RunLoopTimer* timer = new (std::nothrow) RunLoopTimer;
    if (timer == nullptr)
        return nullptr;
    timer->fFireDate = inFireDate;
    timer->fInterval = inInterval;
    timer->fCallBack = inCallBack;
    timer->fInfo = inInfo;
    return timer;
}

void RunLoopTimerRetain(RunLoopTimer* inTimer)
{
    if (inTimer != nullptr)
        inTimer->fRefCount.fetch_add(1, std::memory_order_relaxed);
}

void RunLoopTimerRelease(RunLoopTimer* inTimer)
{
    if (inTimer != nullptr && inTimer->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete inTimer;
}

void RunLoopAddTimer(RunLoop* inLoop, RunLoopTimer* inTimer)
{
    if (inLoop == nullptr || inTimer == nullptr || !inTimer->fValid)
        return;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    if (inTimer->fLoop != nullptr)
        return;
    RunLoopTimerRetain(inTimer);
    inTimer->fLoop = inLoop;
    inLoop->fTimers.push_back(inTimer);
    inLoop->fChanged.notify_all();
}

void RunLoopTimerInvalidate(RunLoopTimer* inTimer)
{
    if (inTimer == nullptr)
        return;
    inTimer->fValid = false;
    // The loop pointer is only changed under the loop's mutex; a timer is added to one loop at
    // most, so reading it first and locking that loop is enough.
    RunLoop* loop = inTimer->fLoop.load();
    if (loop != nullptr)
    {
        std::lock_guard<std::mutex> lock(loop->fMutex);
        RemoveTimer(loop, inTimer);
        loop->fChanged.notify_all();
    }
}

bool RunLoopTimerIsValid(const RunLoopTimer* inTimer)
{
    return inTimer != nullptr && inTimer->fValid;
}

int32_t RunLoopCountTimers(RunLoop* inLoop)
{
    if (inLoop == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    return int32_t(inLoop->fTimers.size());
}

RunLoopRunResult RunLoopRunInMode(double inSeconds, bool inReturnAfterSourceHandled)
{
    RunLoop* loop = RunLoopGetCurrent();
    if (loop == nullptr)
        return kRunLoopRunFinished;
    const double deadline = AbsoluteTimeGetCurrent() + std::max(inSeconds, 0.0);
    bool handled = false;
    std::unique_lock<std::mutex> lock(loop->fMutex);
    for (;;)
    {
        if (loop->fStop)
        {
            loop->fStop = false;
            return kRunLoopRunStopped;
        }
        if (loop->fTimers.empty())
            return handled ? kRunLoopRunHandledSource : kRunLoopRunFinished;

        RunLoopTimer* next = *std::min_element(loop->fTimers.begin(), loop->fTimers.end(),
                                               [](const RunLoopTimer* a, const RunLoopTimer* b)
                                               { return a->fFireDate < b->fFireDate; });
        double now = AbsoluteTimeGetCurrent();
        if (next->fFireDate <= now)
        {
            if (next->fInterval > 0)
            {
                // Firings missed while the loop did not run are skipped, not made up.
                next->fFireDate += next->fInterval;
                if (next->fFireDate <= now)
                    next->fFireDate = now + next->fInterval;
            }
            else
            {
                next->fValid = false;
            }
            RunLoopTimerRetain(next);
            if (!next->fValid)
                RemoveTimer(loop, next);
            lock.unlock();
            if (next->fCallBack != nullptr)
                next->fCallBack(next, next->fInfo);
            RunLoopTimerRelease(next);
            lock.lock();
            handled = true;
            if (inReturnAfterSourceHandled)
                return kRunLoopRunHandledSource;
            continue;
        }
        if (now >= deadline)
            return kRunLoopRunTimedOut;
        double wait = std::min(next->fFireDate, deadline) - now;
        loop->fChanged.wait_for(lock, std::chrono::duration<double>(wait));
    }
}

void RunLoopStop(RunLoop* inLoop)
{
    if (inLoop == nullptr)
        return;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    inLoop->fStop = true;
    inLoop->fChanged.notify_all();
}

} // namespace kova::cf
