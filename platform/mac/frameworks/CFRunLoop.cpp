#include "platform/mac/frameworks/CFRunLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace kova::cf
{

// What timers and sources share: a reference count, the loop they belong to, and validity.
struct RunLoopItem
{
    std::atomic<int32_t> fRefCount{1};
    // Changed only under the owning loop's mutex.
    std::atomic<RunLoop*> fLoop{nullptr};
    std::atomic<bool> fValid{true};
};

struct RunLoopTimer : RunLoopItem
{
    double fFireDate = 0;
    double fInterval = 0;
    RunLoopTimerCallBack fCallBack = nullptr;
    void* fInfo = nullptr;
};

struct RunLoopSource : RunLoopItem
{
    // -1 for a source that is signalled.
    int fFD = -1;
    std::atomic<bool> fSignalled{false};
    RunLoopSourceCallBack fCallBack = nullptr;
    void* fInfo = nullptr;
};

struct RunLoop
{
    explicit RunLoop(pid_t inThread) : fThread(inThread) {}

    // The thread that runs the loop.
    const pid_t fThread;
    std::mutex fMutex;
    std::vector<RunLoopTimer*> fTimers;
    std::vector<RunLoopSource*> fSources;
    bool fStop = false;
    // Written to wake the loop's thread out of its wait when another thread changes the loop.
    int fWakeFD = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    void Wake()
    {
        // The loop's own thread is not waiting: it looks at the loop again before it does.
        if (gettid() == fThread)
            return;
        const uint64_t one = 1;
        if (fWakeFD >= 0 && ::write(fWakeFD, &one, sizeof(one)) < 0)
        {
            // Already signalled to the full: the loop wakes all the same.
        }
    }

    ~RunLoop()
    {
        DropAll(fTimers);
        DropAll(fSources);
        if (fWakeFD >= 0)
            ::close(fWakeFD);
    }

    template <class ITEM>
    static void DropAll(std::vector<ITEM*>& ioItems)
    {
        for (ITEM* item : ioItems)
        {
            item->fValid = false;
            item->fLoop = nullptr;
            Release(item);
        }
    }

    template <class ITEM>
    static void Retain(ITEM* inItem)
    {
        if (inItem != nullptr)
            inItem->fRefCount.fetch_add(1, std::memory_order_relaxed);
    }

    template <class ITEM>
    static void Release(ITEM* inItem)
    {
        if (inItem != nullptr && inItem->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete inItem;
    }
};

namespace
{

// The main thread's loop lives as long as the process; the others as long as their thread.
RunLoop* MainLoop()
{
    static RunLoop* sMain = new RunLoop(getpid());
    return sMain;
}

thread_local std::unique_ptr<RunLoop> sThreadLoop;

// With the loop's mutex held: the item leaves the loop's list.
template <class ITEM>
void RemoveItem(RunLoop* inLoop, ITEM* inItem, std::vector<ITEM*> RunLoop::*inList)
{
    std::vector<ITEM*>& list = inLoop->*inList;
    auto found = std::find(list.begin(), list.end(), inItem);
    if (found != list.end())
    {
        list.erase(found);
        inItem->fLoop = nullptr;
        RunLoop::Release(inItem);
    }
}

template <class ITEM>
void AddItem(RunLoop* inLoop, ITEM* inItem, std::vector<ITEM*> RunLoop::*inList)
{
    if (inLoop == nullptr || inItem == nullptr || !inItem->fValid)
        return;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    if (inItem->fLoop != nullptr)
        return;
    RunLoop::Retain(inItem);
    inItem->fLoop = inLoop;
    (inLoop->*inList).push_back(inItem);
    inLoop->Wake();
}

template <class ITEM>
void InvalidateItem(ITEM* inItem, std::vector<ITEM*> RunLoop::*inList)
{
    if (inItem == nullptr)
        return;
    inItem->fValid = false;
    // The loop pointer is only changed under the loop's mutex; an item is added to one loop at
    // most, so reading it first and locking that loop is enough.
    RunLoop* loop = inItem->fLoop.load();
    if (loop != nullptr)
    {
        std::lock_guard<std::mutex> lock(loop->fMutex);
        RemoveItem(loop, inItem, inList);
        loop->Wake();
    }
}

template <class ITEM>
int32_t CountItems(RunLoop* inLoop, std::vector<ITEM*> RunLoop::*inList)
{
    if (inLoop == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    return int32_t((inLoop->*inList).size());
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
        sThreadLoop.reset(new (std::nothrow) RunLoop(gettid()));
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
    RunLoop::Retain(inTimer);
}

void RunLoopTimerRelease(RunLoopTimer* inTimer)
{
    RunLoop::Release(inTimer);
}

void RunLoopAddTimer(RunLoop* inLoop, RunLoopTimer* inTimer)
{
    AddItem(inLoop, inTimer, &RunLoop::fTimers);
}

void RunLoopTimerInvalidate(RunLoopTimer* inTimer)
{
    InvalidateItem(inTimer, &RunLoop::fTimers);
}

bool RunLoopTimerIsValid(const RunLoopTimer* inTimer)
{
    return inTimer != nullptr && inTimer->fValid;
}

int32_t RunLoopCountTimers(RunLoop* inLoop)
{
    return CountItems(inLoop, &RunLoop::fTimers);
}

RunLoopSource* RunLoopFileDescriptorSourceCreate(int inFD, RunLoopSourceCallBack inCallBack, void* inInfo)
{
    RunLoopSource* source = new (std::nothrow) RunLoopSource;
    if (source == nullptr)
        return nullptr;
    source->fFD = inFD;
    source->fCallBack = inCallBack;
    source->fInfo = inInfo;
    return source;
}

RunLoopSource* RunLoopSourceCreate(RunLoopSourceCallBack inCallBack, void* inInfo)
{
    return RunLoopFileDescriptorSourceCreate(-1, inCallBack, inInfo);
}

void RunLoopSourceSignal(RunLoopSource* inSource)
{
    if (inSource != nullptr)
        inSource->fSignalled.store(true, std::memory_order_release);
}

void RunLoopSourceRetain(RunLoopSource* inSource)
{
    RunLoop::Retain(inSource);
}

void RunLoopSourceRelease(RunLoopSource* inSource)
{
    RunLoop::Release(inSource);
}

void RunLoopAddSource(RunLoop* inLoop, RunLoopSource* inSource)
{
    AddItem(inLoop, inSource, &RunLoop::fSources);
}

void RunLoopRemoveSource(RunLoop* inLoop, RunLoopSource* inSource)
{
    if (inLoop == nullptr || inSource == nullptr)
        return;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    if (inSource->fLoop != inLoop)
        return;
    RemoveItem(inLoop, inSource, &RunLoop::fSources);
    inLoop->Wake();
}

void RunLoopSourceInvalidate(RunLoopSource* inSource)
{
    InvalidateItem(inSource, &RunLoop::fSources);
}

bool RunLoopSourceIsValid(const RunLoopSource* inSource)
{
    return inSource != nullptr && inSource->fValid;
}

int32_t RunLoopCountSources(RunLoop* inLoop)
{
    return CountItems(inLoop, &RunLoop::fSources);
}

namespace
{

// Fires the loop's first due timer, with the loop's mutex held on entry and on return; false when
// none is due.
bool FireDueTimer(RunLoop* inLoop, std::unique_lock<std::mutex>& ioLock, double inNow)
{
    if (inLoop->fTimers.empty())
        return false;
    RunLoopTimer* next = *std::min_element(inLoop->fTimers.begin(), inLoop->fTimers.end(),
                                           [](const RunLoopTimer* a, const RunLoopTimer* b)
                                           { return a->fFireDate < b->fFireDate; });
    if (next->fFireDate > inNow)
        return false;
    if (next->fInterval > 0)
    {
        // Firings missed while the loop did not run are skipped, not made up.
        next->fFireDate += next->fInterval;
        if (next->fFireDate <= inNow)
            next->fFireDate = inNow + next->fInterval;
    }
    else
    {
        next->fValid = false;
    }
    RunLoopTimerRetain(next);
    if (!next->fValid)
        RemoveItem(inLoop, next, &RunLoop::fTimers);
    ioLock.unlock();
    if (next->fCallBack != nullptr)
        next->fCallBack(next, next->fInfo);
    RunLoopTimerRelease(next);
    ioLock.lock();
    return true;
}

// Calls the loop's first signalled source, with the loop's mutex held on entry and on return; false
// when none is signalled.
bool FireSignalledSource(RunLoop* inLoop, std::unique_lock<std::mutex>& ioLock)
{
    for (RunLoopSource* source : inLoop->fSources)
    {
        if (source->fFD >= 0 || !source->fSignalled.exchange(false, std::memory_order_acq_rel))
            continue;
        RunLoopSourceRetain(source);
        ioLock.unlock();
        if (source->fValid && source->fCallBack != nullptr)
            source->fCallBack(source, source->fInfo);
        RunLoopSourceRelease(source);
        ioLock.lock();
        return true;
    }
    return false;
}

// Waits at most inSeconds for a source to be readable (or the loop to be woken) and calls the
// readable sources, with the loop's mutex held on entry and on return. True when a source was
// called.
bool PollSources(RunLoop* inLoop, std::unique_lock<std::mutex>& ioLock, double inSeconds)
{
    std::vector<pollfd> descriptors;
    std::vector<RunLoopSource*> sources;
    descriptors.push_back(pollfd{inLoop->fWakeFD, POLLIN, 0});
    for (RunLoopSource* source : inLoop->fSources)
    {
        if (source->fFD < 0)
            continue;
        RunLoopSourceRetain(source);
        sources.push_back(source);
        descriptors.push_back(pollfd{source->fFD, POLLIN, 0});
    }
    ioLock.unlock();
    const double milliseconds = std::ceil(std::max(inSeconds, 0.0) * 1000.0);
    const int timeout = milliseconds >= double(INT_MAX) ? INT_MAX : int(milliseconds);
    const int ready = ::poll(descriptors.data(), descriptors.size(), timeout);
    bool handled = false;
    if (ready > 0)
    {
        if ((descriptors[0].revents & POLLIN) != 0)
        {
            uint64_t count = 0;
            if (::read(inLoop->fWakeFD, &count, sizeof(count)) < 0)
            {
                // Read by another wait already.
            }
        }
        for (size_t i = 0; i < sources.size(); ++i)
        {
            RunLoopSource* source = sources[i];
            // A source removed meanwhile is no longer the loop's.
            if ((descriptors[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && source->fValid &&
                source->fLoop == inLoop && source->fCallBack != nullptr)
            {
                source->fCallBack(source, source->fInfo);
                handled = true;
            }
        }
    }
    for (RunLoopSource* source : sources)
        RunLoopSourceRelease(source);
    ioLock.lock();
    return handled;
}

} // namespace

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
        if (loop->fTimers.empty() && loop->fSources.empty())
            return handled ? kRunLoopRunHandledSource : kRunLoopRunFinished;
        double now = AbsoluteTimeGetCurrent();
        if (FireDueTimer(loop, lock, now) || FireSignalledSource(loop, lock))
        {
            handled = true;
            if (inReturnAfterSourceHandled)
                return kRunLoopRunHandledSource;
            continue;
        }
        // Until the next timer or the end of the run, whichever comes first; the sources are
        // looked at once even when the run is over.
        double wait = deadline - now;
        for (const RunLoopTimer* timer : loop->fTimers)
            wait = std::min(wait, timer->fFireDate - now);
        if (PollSources(loop, lock, wait))
        {
            handled = true;
            if (inReturnAfterSourceHandled)
                return kRunLoopRunHandledSource;
            continue;
        }
        now = AbsoluteTimeGetCurrent();
        bool timerDue = false;
        for (const RunLoopTimer* timer : loop->fTimers)
            timerDue = timerDue || timer->fFireDate <= now;
        if (now >= deadline && !timerDue)
            return kRunLoopRunTimedOut;
    }
}

void RunLoopStop(RunLoop* inLoop)
{
    if (inLoop == nullptr)
        return;
    std::lock_guard<std::mutex> lock(inLoop->fMutex);
    inLoop->fStop = true;
    inLoop->Wake();
}

void RunLoopWakeUp(RunLoop* inLoop)
{
    if (inLoop != nullptr)
        inLoop->Wake();
}

} // namespace kova::cf
