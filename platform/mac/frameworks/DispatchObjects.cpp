// Groups, event sources and I/O channels of the work-queue stand-in (see Dispatch.h).
#include "platform/mac/frameworks/Dispatch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kova::dispatch
{

namespace
{

using Clock = std::chrono::steady_clock;

// pidfd_open through the system call: the C library's header of this release declares it
// without C linkage. The descriptor is close-on-exec.
int OpenProcessFD(pid_t inPid)
{
    if (inPid <= 0)
        return -1;
    return int(syscall(SYS_pidfd_open, inPid, 0u));
}

// The reference count of groups, sources and channels.
class Counted
{
public:
    virtual ~Counted() = default;
    void Retain() { fReferences.fetch_add(1, std::memory_order_relaxed); }
    void Release()
    {
        if (fReferences.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

private:
    std::atomic<int32_t> fReferences{1};
};

// The handlers of one object, run one at a time and in order on a queue; the object is kept alive
// while any is pending.
class Serial
{
public:
    void Submit(Counted* inOwner, Queue* inQueue, std::function<void()>&& inBlock)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fBlocks.push_back(std::move(inBlock));
        if (fRunning)
            return;
        fRunning = true;
        inOwner->Retain();
        Async(inQueue,
              [this, inOwner]
              {
                  _Drain();
                  inOwner->Release();
              });
    }

private:
    void _Drain()
    {
        std::unique_lock<std::mutex> lock(fMutex);
        while (!fBlocks.empty())
        {
            std::function<void()> block = std::move(fBlocks.front());
            fBlocks.pop_front();
            lock.unlock();
            block();
            block = nullptr;
            lock.lock();
        }
        fRunning = false;
    }

    std::mutex fMutex;
    std::deque<std::function<void()>> fBlocks;
    bool fRunning = false;
};

// The one thread that waits for the descriptors and timers of every source and channel, and
// hands their events on (the handlers themselves run on the queues). Made at first need and
// never destroyed: it may still wait when the process exits.
class EventThread
{
public:
    using Callback = void (*)(Counted*);

    static EventThread& Get()
    {
        static EventThread* sThread = new EventThread;
        return *sThread;
    }

    // Calls inReady once with the object (retained meanwhile) when the descriptor is readable or
    // closed at its other end; Rearm asks for the next time. 0 when the descriptor cannot be
    // watched.
    uint64_t Watch(int inFD, Counted* inObject, Callback inReady)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        const uint64_t id = ++fLastID;
        epoll_event event = {};
        event.events = EPOLLIN | EPOLLONESHOT;
        event.data.u64 = id;
        if (fEpoll < 0 || epoll_ctl(fEpoll, EPOLL_CTL_ADD, inFD, &event) != 0)
            return 0;
        inObject->Retain();
        fWatches[id] = Watched{inFD, inObject, inReady};
        return id;
    }

    void Rearm(uint64_t inID)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        auto found = fWatches.find(inID);
        if (found == fWatches.end())
            return;
        epoll_event event = {};
        event.events = EPOLLIN | EPOLLONESHOT;
        event.data.u64 = inID;
        epoll_ctl(fEpoll, EPOLL_CTL_MOD, found->second.fFD, &event);
    }

    // Before the descriptor is closed. An event already taken for it is dropped.
    void Unwatch(uint64_t inID)
    {
        Counted* object = nullptr;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            auto found = fWatches.find(inID);
            if (found == fWatches.end())
                return;
            epoll_ctl(fEpoll, EPOLL_CTL_DEL, found->second.fFD, nullptr);
            object = found->second.fObject;
            fWatches.erase(found);
        }
        object->Release();
    }

    // Calls inFire with the object (retained until then) at the time given.
    void AddTimer(Clock::time_point inWhen, Counted* inObject, Callback inFire)
    {
        inObject->Retain();
        std::lock_guard<std::mutex> lock(fMutex);
        fTimers.emplace(inWhen, Timed{inObject, inFire});
        const uint64_t one = 1;
        if (write(fWake, &one, sizeof one) < 0)
        {
            // The counter is full: the thread is awake already.
        }
    }

    void RemoveTimers(Counted* inObject)
    {
        std::vector<Counted*> removed;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            for (auto timer = fTimers.begin(); timer != fTimers.end();)
            {
                if (timer->second.fObject == inObject)
                {
                    removed.push_back(timer->second.fObject);
                    timer = fTimers.erase(timer);
                }
                else
                {
                    ++timer;
                }
            }
        }
        for (Counted* object : removed)
            object->Release();
    }

private:
    struct Watched
    {
        int fFD;
        Counted* fObject;
        Callback fReady;
    };
    struct Timed
    {
        Counted* fObject;
        Callback fFire;
    };

    EventThread()
    {
        fEpoll = epoll_create1(EPOLL_CLOEXEC);
        fWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event event = {};
        event.events = EPOLLIN;
        event.data.u64 = 0;
        if (fEpoll >= 0 && fWake >= 0)
            epoll_ctl(fEpoll, EPOLL_CTL_ADD, fWake, &event);
        pthread_t thread;
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (pthread_create(&thread, &attributes, &EventThread::Main, this) != 0)
        {
            close(fEpoll);
            fEpoll = -1;
        }
        pthread_attr_destroy(&attributes);
    }

    static void* Main(void* inThread)
    {
        static_cast<EventThread*>(inThread)->_Run();
        return nullptr;
    }

    void _Run()
    {
        epoll_event events[16];
        for (;;)
        {
            int timeout = -1;
            {
                std::lock_guard<std::mutex> lock(fMutex);
                if (!fTimers.empty())
                {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(fTimers.begin()->first - Clock::now());
                    timeout = int(std::clamp<int64_t>(wait.count(), 0, 60000));
                }
            }
            const int count = epoll_wait(fEpoll, events, 16, timeout);
            for (int i = 0; i < count; ++i)
            {
                // A copy: the kernel's event record is packed.
                const uint64_t id = events[i].data.u64;
                if (id == 0)
                {
                    uint64_t ignored;
                    while (read(fWake, &ignored, sizeof ignored) > 0)
                    {
                    }
                    continue;
                }
                Counted* object = nullptr;
                Callback ready = nullptr;
                {
                    std::lock_guard<std::mutex> lock(fMutex);
                    auto found = fWatches.find(id);
                    if (found == fWatches.end())
                        continue;
                    object = found->second.fObject;
                    ready = found->second.fReady;
                    object->Retain();
                }
                ready(object);
                object->Release();
            }
            _FireDueTimers();
        }
    }

    void _FireDueTimers()
    {
        std::vector<Timed> due;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            const Clock::time_point now = Clock::now();
            while (!fTimers.empty() && fTimers.begin()->first <= now)
            {
                due.push_back(fTimers.begin()->second);
                fTimers.erase(fTimers.begin());
            }
        }
        for (const Timed& timer : due)
        {
            timer.fFire(timer.fObject);
            timer.fObject->Release();
        }
    }

    std::mutex fMutex;
    int fEpoll = -1;
    int fWake = -1;
    uint64_t fLastID = 0;
    std::map<uint64_t, Watched> fWatches;
    std::multimap<Clock::time_point, Timed> fTimers;
};

} // namespace

// ----- Groups

struct Group : Counted
{
    std::mutex fMutex;
    std::condition_variable fEmptied;
    int64_t fCount = 0;
    std::vector<std::pair<Queue*, std::function<void()>>> fNotified;
};

Group* GroupCreate()
{
    return new (std::nothrow) Group;
}

void Retain(Group* inGroup)
{
    if (inGroup != nullptr)
        inGroup->Retain();
}

void Release(Group* inGroup)
{
    if (inGroup != nullptr)
        inGroup->Release();
}

void GroupEnter(Group* inGroup)
{
    std::lock_guard<std::mutex> lock(inGroup->fMutex);
    ++inGroup->fCount;
}

void GroupLeave(Group* inGroup)
{
    std::vector<std::pair<Queue*, std::function<void()>>> notified;
    {
        std::lock_guard<std::mutex> lock(inGroup->fMutex);
        if (inGroup->fCount <= 0 || --inGroup->fCount > 0)
            return;
        notified.swap(inGroup->fNotified);
        inGroup->fEmptied.notify_all();
    }
    for (auto& [queue, block] : notified)
        Async(queue, std::move(block));
}

void GroupNotify(Group* inGroup, Queue* inQueue, std::function<void()> inBlock)
{
    {
        std::lock_guard<std::mutex> lock(inGroup->fMutex);
        if (inGroup->fCount > 0)
        {
            inGroup->fNotified.emplace_back(inQueue, std::move(inBlock));
            return;
        }
    }
    Async(inQueue, std::move(inBlock));
}

bool GroupWait(Group* inGroup, int64_t inMilliseconds)
{
    std::unique_lock<std::mutex> lock(inGroup->fMutex);
    const auto empty = [inGroup] { return inGroup->fCount <= 0; };
    if (inMilliseconds < 0)
    {
        inGroup->fEmptied.wait(lock, empty);
        return true;
    }
    return inGroup->fEmptied.wait_for(lock, std::chrono::milliseconds(inMilliseconds), empty);
}

// ----- Event sources

struct Source : Counted
{
    SourceType fType;
    uintptr_t fHandle;
    Queue* fQueue;
    Serial fSerial;
    std::mutex fMutex;
    std::function<void()> fEventHandler;
    std::function<void()> fCancelHandler;
    int64_t fStart = 0;
    int64_t fInterval = 0;
    bool fResumed = false;
    bool fCancelled = false;
    bool fExited = false;
    int fPidFD = -1;
    uint64_t fWatch = 0;

    ~Source() override
    {
        if (fPidFD >= 0)
            close(fPidFD);
    }

    // Queues the event handler, which does not run once the source is cancelled.
    void Fire()
    {
        fSerial.Submit(this, fQueue,
                       [this]
                       {
                           std::function<void()> handler;
                           {
                               std::lock_guard<std::mutex> lock(fMutex);
                               if (fCancelled)
                                   return;
                               handler = fEventHandler;
                           }
                           if (handler)
                               handler();
                       });
    }

    // Stops watching the process, its descriptor closed at once.
    void StopWatching()
    {
        uint64_t watch = 0;
        int pidFD = -1;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            std::swap(watch, fWatch);
            std::swap(pidFD, fPidFD);
        }
        EventThread::Get().Unwatch(watch);
        if (pidFD >= 0)
            close(pidFD);
    }

    static void ProcessEnded(Counted* inSource)
    {
        Source* source = static_cast<Source*>(inSource);
        {
            std::lock_guard<std::mutex> lock(source->fMutex);
            if (source->fCancelled || source->fExited)
                return;
            source->fExited = true;
        }
        source->StopWatching();
        source->Fire();
    }

    static void TimerFired(Counted* inSource)
    {
        Source* source = static_cast<Source*>(inSource);
        {
            std::lock_guard<std::mutex> lock(source->fMutex);
            if (source->fCancelled)
                return;
            if (source->fInterval > 0)
                EventThread::Get().AddTimer(Clock::now() + std::chrono::milliseconds(source->fInterval),
                                            source, &Source::TimerFired);
        }
        source->Fire();
    }
};

Source* SourceCreate(SourceType inType, uintptr_t inHandle, unsigned long, Queue* inQueue)
{
    Source* source = new (std::nothrow) Source;
    if (source == nullptr)
        return nullptr;
    source->fType = inType;
    source->fHandle = inHandle;
    source->fQueue = inQueue;
    return source;
}

void Retain(Source* inSource)
{
    if (inSource != nullptr)
        inSource->Retain();
}

void Release(Source* inSource)
{
    if (inSource != nullptr)
        inSource->Release();
}

void SourceSetEventHandler(Source* inSource, std::function<void()> inHandler)
{
    std::lock_guard<std::mutex> lock(inSource->fMutex);
    inSource->fEventHandler = std::move(inHandler);
}

void SourceSetCancelHandler(Source* inSource, std::function<void()> inHandler)
{
    std::lock_guard<std::mutex> lock(inSource->fMutex);
    inSource->fCancelHandler = std::move(inHandler);
}

void SourceSetTimer(Source* inSource, int64_t inStartMilliseconds, int64_t inIntervalMilliseconds)
{
    std::lock_guard<std::mutex> lock(inSource->fMutex);
    inSource->fStart = std::max<int64_t>(inStartMilliseconds, 0);
    inSource->fInterval = std::max<int64_t>(inIntervalMilliseconds, 0);
}

void SourceResume(Source* inSource)
{
    std::unique_lock<std::mutex> lock(inSource->fMutex);
    if (inSource->fResumed || inSource->fCancelled)
        return;
    inSource->fResumed = true;
    if (inSource->fType == SourceType::kTimer)
    {
        EventThread::Get().AddTimer(Clock::now() + std::chrono::milliseconds(inSource->fStart), inSource,
                                    &Source::TimerFired);
        return;
    }
    // No pidfd: the process is gone already (or never was ours to watch).
    inSource->fPidFD = OpenProcessFD(pid_t(inSource->fHandle));
    if (inSource->fPidFD >= 0)
        inSource->fWatch = EventThread::Get().Watch(inSource->fPidFD, inSource, &Source::ProcessEnded);
    if (inSource->fWatch == 0)
    {
        lock.unlock();
        Source::ProcessEnded(inSource);
    }
}

void SourceCancel(Source* inSource)
{
    {
        std::lock_guard<std::mutex> lock(inSource->fMutex);
        if (inSource->fCancelled)
            return;
        inSource->fCancelled = true;
    }
    inSource->StopWatching();
    EventThread::Get().RemoveTimers(inSource);
    inSource->fSerial.Submit(inSource, inSource->fQueue,
                             [inSource]
                             {
                                 std::function<void()> handler;
                                 {
                                     std::lock_guard<std::mutex> lock(inSource->fMutex);
                                     handler = std::move(inSource->fCancelHandler);
                                     inSource->fEventHandler = nullptr;
                                 }
                                 if (handler)
                                     handler();
                             });
}

bool SourceTestCancel(Source* inSource)
{
    std::lock_guard<std::mutex> lock(inSource->fMutex);
    return inSource->fCancelled;
}

// ----- I/O channels

struct Channel : Counted
{
    // The most one wake-up reads before it lets the other channels have their turn.
    static constexpr size_t kReadPerWake = 1 << 20;

    int fFD;
    Queue* fQueue;
    Serial fSerial;
    std::mutex fMutex;
    IOCleanupHandler fCleanup;
    IOHandler fHandler;
    Queue* fHandlerQueue = nullptr;
    uint64_t fWatch = 0;
    bool fReading = false;
    bool fClosed = false;
    bool fCleanedUp = false;

    ~Channel() override
    {
        // Released without a close: the descriptor still goes back to its owner.
        if (!fCleanedUp && fCleanup)
            Async(fQueue, [cleanup = std::move(fCleanup)] { cleanup(0); });
    }

    static void Readable(Counted* inChannel)
    {
        Channel* channel = static_cast<Channel*>(inChannel);
        channel->fSerial.Submit(channel, channel->fHandlerQueue, [channel] { channel->_ReadSome(); });
    }

    void _ReadSome()
    {
        IOHandler handler;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (!fReading)
                return;
            handler = fHandler;
        }
        char buffer[65536];
        size_t total = 0;
        for (;;)
        {
            const ssize_t count = read(fFD, buffer, sizeof buffer);
            if (count > 0)
            {
                if (handler)
                    handler(false, buffer, size_t(count), 0);
                total += size_t(count);
                if (total < kReadPerWake)
                    continue;
            }
            else if (count < 0 && errno == EINTR)
            {
                continue;
            }
            else if (count == 0 || errno != EAGAIN)
            {
                _FinishRead(count == 0 ? 0 : errno);
                return;
            }
            std::lock_guard<std::mutex> lock(fMutex);
            if (fReading)
                EventThread::Get().Rearm(fWatch);
            return;
        }
    }

    // On the serial: the read's last call, then the clean-up when the channel is closed.
    void _FinishRead(int inError)
    {
        IOHandler handler;
        uint64_t watch = 0;
        bool closed;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (!fReading)
                return;
            fReading = false;
            handler = std::move(fHandler);
            std::swap(watch, fWatch);
            closed = fClosed;
        }
        EventThread::Get().Unwatch(watch);
        if (handler)
            handler(true, nullptr, 0, inError);
        if (closed)
            _CleanUp();
        Release();
    }

    // On the serial.
    void _CleanUp()
    {
        IOCleanupHandler cleanup;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (fCleanedUp)
                return;
            fCleanedUp = true;
            cleanup = std::move(fCleanup);
        }
        if (cleanup)
            cleanup(0);
    }
};

Channel* IOCreate(int inFD, Queue* inQueue, IOCleanupHandler inCleanup)
{
    Channel* channel = new (std::nothrow) Channel;
    if (channel == nullptr)
        return nullptr;
    const int flags = fcntl(inFD, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) == 0)
        fcntl(inFD, F_SETFL, flags | O_NONBLOCK);
    channel->fFD = inFD;
    channel->fQueue = inQueue;
    channel->fCleanup = std::move(inCleanup);
    return channel;
}

void Retain(Channel* inChannel)
{
    if (inChannel != nullptr)
        inChannel->Retain();
}

void Release(Channel* inChannel)
{
    if (inChannel != nullptr)
        inChannel->Release();
}

void IORead(Channel* inChannel, Queue* inQueue, IOHandler inHandler)
{
    bool started = false;
    bool watched = false;
    {
        std::lock_guard<std::mutex> lock(inChannel->fMutex);
        if (!inChannel->fClosed && !inChannel->fReading)
        {
            started = true;
            inChannel->fReading = true;
            inChannel->fHandler = std::move(inHandler);
            inChannel->fHandlerQueue = inQueue;
            // The read holds the channel until its last call.
            inChannel->Retain();
            inChannel->fWatch = EventThread::Get().Watch(inChannel->fFD, inChannel, &Channel::Readable);
            watched = inChannel->fWatch != 0;
        }
    }
    if (!started)
    {
        if (inHandler)
            Async(inQueue, [handler = std::move(inHandler)] { handler(true, nullptr, 0, ECANCELED); });
        return;
    }
    // A descriptor that cannot be watched ends the read at once.
    if (!watched)
        inChannel->fSerial.Submit(inChannel, inQueue, [inChannel] { inChannel->_FinishRead(EBADF); });
}

void IOClose(Channel* inChannel, unsigned long inFlags)
{
    bool reading;
    {
        std::lock_guard<std::mutex> lock(inChannel->fMutex);
        if (inChannel->fClosed)
            return;
        inChannel->fClosed = true;
        reading = inChannel->fReading;
    }
    if (reading && (inFlags & kIOStop) == 0)
        return;
    inChannel->fSerial.Submit(inChannel, inChannel->fQueue,
                              [inChannel]
                              {
                                  inChannel->_FinishRead(ECANCELED);
                                  inChannel->_CleanUp();
                              });
}

} // namespace kova::dispatch
