#include "platform/mac/frameworks/FSEvents.h"

#include "platform/mac/frameworks/CFRunLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kova::fsevents
{

namespace
{

// What tells a folder's content changed; folders only, and a link met below the root is not
// followed (the root itself may be reached through one).
constexpr uint32_t kContentMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                  IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kSubFolderMask = kContentMask | IN_DONT_FOLLOW;
constexpr size_t kReadSize = 64 * 1024;

} // namespace

struct EventStream
{
    std::atomic<int32_t> fRefCount{1};
    EventStreamCallback fCallback = nullptr;
    void* fInfo = nullptr;
    // The folder as it was given, ending with "/": event paths are made from it.
    std::string fRoot;
    double fLatency = 0;
    // Held while the stream's function runs, so that a stop from another thread waits for it;
    // recursive, as the function may stop its own stream.
    std::recursive_mutex fDelivering;
    // The rest is guarded by the watcher's mutex.
    bool fStarted = false;
    std::map<int, std::string> fFolders; // watch descriptor -> folder path ending with "/"
    std::set<std::string> fPending;
    uint32_t fRootFlags = 0;
    double fDue = 0;
};

namespace
{

void Retain(EventStream* inStream)
{
    inStream->fRefCount.fetch_add(1, std::memory_order_relaxed);
}

// The process's inotify descriptor and every started stream; made once, never destroyed.
class Watcher
{
public:
    static Watcher& Get()
    {
        static Watcher* sWatcher = new Watcher;
        return *sWatcher;
    }

    bool Start(EventStream* inStream)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (inStream->fStarted)
            return true;
        if (!_Open())
            return false;
        if (const int error = _AddTree(inStream, inStream->fRoot, true); error != 0)
        {
            // Nothing half made: every watch this stream added goes.
            _RemoveWatches(inStream, std::string());
            errno = error;
            return false;
        }
        inStream->fStarted = true;
        fStreams.push_back(inStream);
        return true;
    }

    void Stop(EventStream* inStream)
    {
        std::lock_guard<std::recursive_mutex> delivering(inStream->fDelivering);
        std::lock_guard<std::mutex> lock(fMutex);
        if (!inStream->fStarted)
            return;
        inStream->fStarted = false;
        _RemoveWatches(inStream, std::string());
        inStream->fPending.clear();
        inStream->fRootFlags = 0;
        fStreams.erase(std::remove(fStreams.begin(), fStreams.end(), inStream), fStreams.end());
    }

    void SetLimit(size_t inLimit)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fLimit = inLimit;
    }

    void SimulateOverflow()
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fSimulateOverflow = true;
    }

private:
    // With the mutex held: the descriptor and its source on the main run loop, made at the first
    // watch.
    bool _Open()
    {
        if (fFD >= 0)
            return true;
        const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0)
            return false;
        cf::RunLoopSource* source = cf::RunLoopFileDescriptorSourceCreate(fd, &Watcher::_Readable, this);
        if (source == nullptr)
        {
            ::close(fd);
            errno = ENOMEM;
            return false;
        }
        cf::RunLoopAddSource(cf::RunLoopGetMain(), source);
        fFD = fd;
        fSource = source;
        return true;
    }

    // With the mutex held: watches the folder and every folder below it. 0, or ENOSPC when the
    // limit of watches is reached (folders that vanish or cannot be read are passed over).
    int _AddTree(EventStream* inStream, const std::string& inFolder, bool inIsRoot)
    {
        std::vector<std::pair<std::string, bool>> pending{{inFolder, inIsRoot}};
        while (!pending.empty())
        {
            const auto [folder, isRoot] = pending.back();
            pending.pop_back();
            // The watch first, then the listing: a folder made in between is seen by the watch.
            const int watch = inotify_add_watch(fFD, folder.c_str(), isRoot ? kContentMask : kSubFolderMask);
            if (watch < 0)
            {
                if (errno == ENOSPC)
                    return ENOSPC;
                continue;
            }
            const bool known = fUsers.count(watch) != 0;
            if (!known && fLimit != 0 && fUsers.size() >= fLimit)
            {
                inotify_rm_watch(fFD, watch);
                return ENOSPC;
            }
            // A folder reached twice (a bind mount) is watched and walked once.
            if (inStream->fFolders.count(watch) != 0)
                continue;
            inStream->fFolders[watch] = folder;
            ++fUsers[watch];
            DIR* listing = ::opendir(folder.c_str());
            if (listing == nullptr)
                continue;
            while (const struct dirent* entry = ::readdir(listing))
            {
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                const std::string path = folder + name;
                struct stat status = {};
                if (entry->d_type == DT_DIR ||
                    (entry->d_type == DT_UNKNOWN && ::lstat(path.c_str(), &status) == 0 &&
                     S_ISDIR(status.st_mode)))
                    pending.emplace_back(path + "/", false);
            }
            ::closedir(listing);
        }
        return 0;
    }

    // With the mutex held: the stream's watches of the folder and below it (all of them for an
    // empty prefix) go.
    void _RemoveWatches(EventStream* inStream, const std::string& inPrefix)
    {
        for (auto folder = inStream->fFolders.begin(); folder != inStream->fFolders.end();)
        {
            if (folder->second.compare(0, inPrefix.size(), inPrefix) != 0)
            {
                ++folder;
                continue;
            }
            _Unuse(folder->first, true);
            folder = inStream->fFolders.erase(folder);
        }
    }

    void _Unuse(int inWatch, bool inRemove)
    {
        auto users = fUsers.find(inWatch);
        if (users == fUsers.end())
            return;
        if (--users->second == 0)
        {
            fUsers.erase(users);
            if (inRemove)
                inotify_rm_watch(fFD, inWatch);
        }
    }

    static void _Readable(cf::RunLoopSource*, void* inWatcher) { static_cast<Watcher*>(inWatcher)->_Read(); }

    // On the main run loop: reads what the kernel queued and notes the changed folders.
    void _Read()
    {
        std::vector<char> buffer(kReadSize);
        std::lock_guard<std::mutex> lock(fMutex);
        for (;;)
        {
            const ssize_t count = ::read(fFD, buffer.data(), buffer.size());
            if (count <= 0)
                break;
            // A queue that overflowed lost these: only the overflow is told.
            for (ssize_t offset = 0; !fSimulateOverflow && offset + ssize_t(sizeof(inotify_event)) <= count;)
            {
                const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                if (offset > count)
                    break;
                _Handle(*event);
            }
        }
        if (fSimulateOverflow)
        {
            fSimulateOverflow = false;
            inotify_event overflow = {};
            overflow.wd = -1;
            overflow.mask = IN_Q_OVERFLOW;
            _Handle(overflow);
        }
        _Arm();
    }

    // With the mutex held: one event, for every stream that watches its folder.
    void _Handle(const inotify_event& inEvent)
    {
        const double now = cf::AbsoluteTimeGetCurrent();
        if ((inEvent.mask & IN_Q_OVERFLOW) != 0)
        {
            // Events were lost: the watches are made again over the tree as it stands, and the
            // whole tree must be looked at.
            for (EventStream* stream : fStreams)
            {
                _RemoveWatches(stream, std::string());
                _AddTree(stream, stream->fRoot, true);
                _Note(stream, std::string(), kEventFlagMustScanSubDirs | kEventFlagKernelDropped, now);
            }
            return;
        }
        for (EventStream* stream : fStreams)
        {
            auto found = stream->fFolders.find(inEvent.wd);
            if (found == stream->fFolders.end())
                continue;
            const std::string folder = found->second;
            if ((inEvent.mask & IN_IGNORED) != 0)
            {
                // The kernel dropped the watch (its folder is gone).
                _Unuse(inEvent.wd, false);
                stream->fFolders.erase(found);
                continue;
            }
            if ((inEvent.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0)
            {
                if (folder == stream->fRoot)
                    _Note(stream, std::string(), kEventFlagRootChanged, now);
                continue;
            }
            _Note(stream, folder, kEventFlagNone, now);
            if ((inEvent.mask & IN_ISDIR) == 0 || inEvent.len == 0)
                continue;
            const std::string child = folder + inEvent.name + "/";
            if ((inEvent.mask & (IN_CREATE | IN_MOVED_TO)) != 0)
                _AddTree(stream, child, false);
            else if ((inEvent.mask & (IN_MOVED_FROM | IN_DELETE)) != 0)
                _RemoveWatches(stream, child);
        }
    }

    // With the mutex held: a folder (or, empty, the root with its flags) to report after the
    // stream's latency.
    void _Note(EventStream* inStream, const std::string& inFolder, uint32_t inRootFlags, double inNow)
    {
        if (inStream->fPending.empty() && inStream->fRootFlags == 0)
            inStream->fDue = inNow + inStream->fLatency;
        if (inFolder.empty())
            inStream->fRootFlags |= inRootFlags;
        else
            inStream->fPending.insert(inFolder);
    }

    // With the mutex held: the timer set for the first stream due.
    void _Arm()
    {
        double due = 0;
        bool any = false;
        for (const EventStream* stream : fStreams)
        {
            if (stream->fPending.empty() && stream->fRootFlags == 0)
                continue;
            due = any ? std::min(due, stream->fDue) : stream->fDue;
            any = true;
        }
        if (!any || (fTimer != nullptr && fTimerDue <= due))
            return;
        if (fTimer != nullptr)
        {
            cf::RunLoopTimerInvalidate(fTimer);
            cf::RunLoopTimerRelease(fTimer);
        }
        fTimer = cf::RunLoopTimerCreate(due, 0, &Watcher::_Fired, this);
        fTimerDue = due;
        cf::RunLoopAddTimer(cf::RunLoopGetMain(), fTimer);
    }

    static void _Fired(cf::RunLoopTimer* inTimer, void* inWatcher)
    {
        static_cast<Watcher*>(inWatcher)->_Deliver(inTimer);
    }

    // On the main run loop: each stream whose latency has passed gets its folders.
    void _Deliver(cf::RunLoopTimer* inTimer)
    {
        struct Delivery
        {
            EventStream* fStream;
            std::vector<std::string> fPaths;
            std::vector<uint32_t> fFlags;
        };
        std::vector<Delivery> deliveries;
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (fTimer == inTimer)
            {
                cf::RunLoopTimerRelease(fTimer);
                fTimer = nullptr;
            }
            const double now = cf::AbsoluteTimeGetCurrent();
            for (EventStream* stream : fStreams)
            {
                if ((stream->fPending.empty() && stream->fRootFlags == 0) || stream->fDue > now)
                    continue;
                Delivery delivery{stream, {}, {}};
                if (stream->fRootFlags != 0)
                {
                    delivery.fPaths.push_back(stream->fRoot);
                    delivery.fFlags.push_back(stream->fRootFlags);
                }
                for (const std::string& folder : stream->fPending)
                {
                    delivery.fPaths.push_back(folder);
                    delivery.fFlags.push_back(kEventFlagNone);
                }
                stream->fPending.clear();
                stream->fRootFlags = 0;
                Retain(stream);
                deliveries.push_back(std::move(delivery));
            }
            _Arm();
        }
        for (Delivery& delivery : deliveries)
        {
            std::vector<const char*> paths;
            for (const std::string& path : delivery.fPaths)
                paths.push_back(path.c_str());
            {
                std::lock_guard<std::recursive_mutex> delivering(delivery.fStream->fDelivering);
                bool started = false;
                {
                    std::lock_guard<std::mutex> lock(fMutex);
                    started = delivery.fStream->fStarted;
                }
                if (started && delivery.fStream->fCallback != nullptr)
                    delivery.fStream->fCallback(delivery.fStream, delivery.fStream->fInfo, paths.size(),
                                                paths.data(), delivery.fFlags.data());
            }
            EventStreamRelease(delivery.fStream);
        }
    }

    std::mutex fMutex;
    int fFD = -1;
    cf::RunLoopSource* fSource = nullptr;
    std::vector<EventStream*> fStreams;
    // How many streams use each watch: a folder in two watched trees has one watch.
    std::map<int, int> fUsers;
    size_t fLimit = 0;
    bool fSimulateOverflow = false;
    cf::RunLoopTimer* fTimer = nullptr;
    double fTimerDue = 0;
};

} // namespace

EventStream* EventStreamCreate(EventStreamCallback inCallback, void* inInfo, const std::string& inPath,
                               uint64_t, double inLatency, uint32_t)
{
    if (inPath.empty() || inPath[0] != '/')
    {
        errno = EINVAL;
        return nullptr;
    }
    EventStream* stream = new (std::nothrow) EventStream;
    if (stream == nullptr)
    {
        errno = ENOMEM;
        return nullptr;
    }
    stream->fCallback = inCallback;
    stream->fInfo = inInfo;
    stream->fRoot = inPath;
    if (stream->fRoot.back() != '/')
        stream->fRoot.push_back('/');
    stream->fLatency = std::max(inLatency, 0.0);
    return stream;
}

void EventStreamScheduleWithRunLoop(EventStream*, cf::RunLoop*) {}

bool EventStreamStart(EventStream* inStream)
{
    if (inStream == nullptr)
    {
        errno = EINVAL;
        return false;
    }
    return Watcher::Get().Start(inStream);
}

void EventStreamStop(EventStream* inStream)
{
    if (inStream != nullptr)
        Watcher::Get().Stop(inStream);
}

void EventStreamInvalidate(EventStream* inStream)
{
    EventStreamStop(inStream);
}

void EventStreamRelease(EventStream* inStream)
{
    if (inStream == nullptr || inStream->fRefCount.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    Watcher::Get().Stop(inStream);
    delete inStream;
}

void SetWatchLimitForTesting(size_t inLimit)
{
    Watcher::Get().SetLimit(inLimit);
}

void SimulateQueueOverflowForTesting()
{
    Watcher::Get().SimulateOverflow();
}

} // namespace kova::fsevents
