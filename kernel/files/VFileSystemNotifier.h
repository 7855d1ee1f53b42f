// VFileSystemNotifier watches folders and tells a handler, on the task that asked, which items in
// them were modified, created or deleted. One notifier exists per command-line process (its base
// makes it at start-up) and is reached through Instance(). The platform part
// (XMacFileSystemNotification) watches each folder's tree on the main run loop, keeps a snapshot
// of it, and turns each batch of events into changes by comparing the snapshots of the folders
// that changed; the changes go to the watch's task in a message, or are handed over on the main run
// loop itself when the watch was started where no task runs.
//
//     notifier->StartWatchingForChanges(folder, VFileSystemNotifier::kFileCreated, &handler, 500);
//     ... handler.DoFileSystemEvent({path, ...}, kFileCreated) on this task ...
//
// Folders are never reported as modified; ".DS_Store" files are never reported.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VMessage.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class VFolder;
class VTask;
class XMacFileSystemNotification;

class VFileSystemNotifier : public VObject
{
public:
    // The kinds of change, combinable in a watch.
    enum EventKind : uint32_t
    {
        kFileModified = 1, // a file whose modification time changed
        kFileCreated = 2,
        kFileDeleted = 4,
    };

    class IEventHandler
    {
    public:
        virtual ~IEventHandler() = default;
        // Items of one kind of change, in the order they were found (folders end with ":"). Called
        // on the task that started the watch, with the notifier's lock held.
        virtual void DoFileSystemEvent(const std::vector<VFilePath>& inPaths, EventKind inKind) = 0;
    };

    // One watch: its folder, kinds and handler, the task to tell, and the changes not told yet.
    class VChangeData : public VObject, public IRefCountable
    {
    public:
        // The task (may be null) is retained; the handler is not.
        VChangeData(const VFilePath& inFolder, uint32_t inKinds, IEventHandler* inHandler, VTask* inTask,
                    XMacFileSystemNotification* inPlatform);
        ~VChangeData() override;

        const VFilePath& GetFolderPath() const { return fFolderPath; }
        uint32_t GetKinds() const { return fKinds; }
        IEventHandler* GetHandler() const { return fHandler; }
        VTask* GetTask() const { return fTask; }
        XMacFileSystemNotification* GetPlatform() const { return fPlatform; }

    private:
        friend class VFileSystemNotifier;

        VFilePath fFolderPath;
        uint32_t fKinds;
        IEventHandler* fHandler;
        VTask* fTask;
        // Guarded by the notifier's lock.
        std::vector<std::pair<VFilePath, EventKind>> fPendingChanges;
        XMacFileSystemNotification* fPlatform;
        // The notifier while the watch runs; null once it is stopped, so that a message still on
        // its way tells nothing.
        std::atomic<VFileSystemNotifier*> fNotifier{nullptr};
    };

    // Takes the changes of a watch to its task; never coalesced.
    class VChangeMessage : public VMessage
    {
    public:
        VChangeMessage(VFileSystemNotifier* inNotifier, VChangeData* inData);
        ~VChangeMessage() override;
        void DoExecute() override;

    private:
        VFileSystemNotifier* fNotifier;
        VChangeData* fData;
    };

    // The first notifier made becomes the process's one (Instance).
    VFileSystemNotifier();
    VFileSystemNotifier(const VFileSystemNotifier&) = delete;
    VFileSystemNotifier& operator=(const VFileSystemNotifier&) = delete;
    // Stops every watch left, the last first.
    ~VFileSystemNotifier() override;

    // The process's notifier; null when none is made.
    static VFileSystemNotifier* Instance();

    // Watches the folder's tree for the kinds; the changes of each batch are gathered for the
    // latency (milliseconds) and then told to the handler on the calling task. Kova 659 when the
    // same handler watches the folder already; POSX with errno when the folder cannot be watched
    // (ENOSPC at the system's limit of watches, with nothing of the watch left).
    VError StartWatchingForChanges(const VFolder& inFolder, uint32_t inKinds, IEventHandler* inHandler,
                                   int32_t inLatencyMilliseconds);
    // Kova 650 when the handler does not watch the folder.
    VError StopWatchingForChanges(const VFolder& inFolder, IEventHandler* inHandler);

    // For the platform part: appends a change to the watch's pending ones when the watch asks for
    // its kind; false when it does not.
    bool AddChangeToList(VChangeData* inData, const VFilePath& inPath, EventKind inKind);
    // Tells the watch's task that changes wait (or, without a task, tells them at once).
    void SignalChange(VChangeData* inData);
    // Hands the pending changes to the handler, each run of one kind in one call.
    void EventSignaledCallback(VChangeData* inData);
    // With the lock held: the watch (retained) joins the others.
    void PushChangeData(VChangeData* inData);

    VCriticalSection& GetLock() { return fLock; }

private:
    XMacFileSystemNotification* fImpl;
    VCriticalSection fLock;
    std::vector<VChangeData*> fWatches;
};

} // namespace kova
