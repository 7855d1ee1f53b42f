#include "kernel/files/VFileSystemNotifier.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFileSystemNotification.h"

#include <algorithm>
#include <new>

namespace kova
{

namespace
{

std::atomic<VFileSystemNotifier*> sInstance{nullptr};

} // namespace

VFileSystemNotifier::VChangeData::VChangeData(const VFilePath& inFolder, uint32_t inKinds,
                                              IEventHandler* inHandler, VTask* inTask,
                                              XMacFileSystemNotification* inPlatform)
    : fFolderPath(inFolder), fKinds(inKinds), fHandler(inHandler), fTask(RetainRefCountable(inTask)),
      fPlatform(inPlatform)
{
}

VFileSystemNotifier::VChangeData::~VChangeData()
{
    ReleaseRefCountable(&fTask);
}

VFileSystemNotifier::VChangeMessage::VChangeMessage(VFileSystemNotifier* inNotifier, VChangeData* inData)
    : fNotifier(inNotifier), fData(RetainRefCountable(inData))
{
}

VFileSystemNotifier::VChangeMessage::~VChangeMessage()
{
    ReleaseRefCountable(&fData);
}

void VFileSystemNotifier::VChangeMessage::DoExecute()
{
    // A watch stopped since the message left tells nothing more.
    if (fData->fNotifier.load(std::memory_order_acquire) == fNotifier)
        fNotifier->EventSignaledCallback(fData);
}

VFileSystemNotifier::VFileSystemNotifier() : fImpl(new (std::nothrow) XMacFileSystemNotification(this))
{
    VFileSystemNotifier* none = nullptr;
    sInstance.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

VFileSystemNotifier::~VFileSystemNotifier()
{
    std::vector<VChangeData*> watches;
    {
        StLocker lock(fLock);
        watches.swap(fWatches);
    }
    for (auto watch = watches.rbegin(); watch != watches.rend(); ++watch)
    {
        (*watch)->fNotifier.store(nullptr, std::memory_order_release);
        if (fImpl != nullptr)
            fImpl->StopWatchingForChanges(*watch, std::next(watch) == watches.rend());
        ReleaseRefCountable(&*watch);
    }
    delete fImpl;
    VFileSystemNotifier* self = this;
    sInstance.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

VFileSystemNotifier* VFileSystemNotifier::Instance()
{
    return sInstance.load(std::memory_order_acquire);
}

VError VFileSystemNotifier::StartWatchingForChanges(const VFolder& inFolder, uint32_t inKinds,
                                                    IEventHandler* inHandler, int32_t inLatencyMilliseconds)
{
    if (fImpl == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    StLocker lock(fLock);
    for (const VChangeData* watch : fWatches)
    {
        // Paths compare exactly on this platform.
        if (watch->fHandler == inHandler &&
            watch->fFolderPath.GetPath().EqualToStringRaw(inFolder.GetPath().GetPath()))
        {
            _ThrowError(VE_FOLDER_ALREADY_WATCHED);
            return VE_FOLDER_ALREADY_WATCHED;
        }
    }
    return fImpl->StartWatchingForChanges(inFolder, inKinds, inHandler, inLatencyMilliseconds);
}

VError VFileSystemNotifier::StopWatchingForChanges(const VFolder& inFolder, IEventHandler* inHandler)
{
    VChangeData* stopped = nullptr;
    bool last = false;
    {
        StLocker lock(fLock);
        auto found = std::find_if(fWatches.begin(), fWatches.end(),
                                  [&](const VChangeData* inWatch)
                                  {
                                      return inWatch->fHandler == inHandler &&
                                             inWatch->fFolderPath.GetPath().EqualToStringRaw(
                                                 inFolder.GetPath().GetPath());
                                  });
        if (found == fWatches.end())
        {
            _ThrowError(VE_FOLDER_NOT_FOUND);
            return VE_FOLDER_NOT_FOUND;
        }
        stopped = *found;
        fWatches.erase(found);
        last = fWatches.empty();
        stopped->fNotifier.store(nullptr, std::memory_order_release);
    }
    // Stopped outside the lock: a batch being told on the run loop takes it, and the stop waits
    // for that batch.
    fImpl->StopWatchingForChanges(stopped, last);
    ReleaseRefCountable(&stopped);
    return VE_OK;
}

void VFileSystemNotifier::PushChangeData(VChangeData* inData)
{
    inData->fNotifier.store(this, std::memory_order_release);
    fWatches.push_back(RetainRefCountable(inData));
}

bool VFileSystemNotifier::AddChangeToList(VChangeData* inData, const VFilePath& inPath, EventKind inKind)
{
    if ((inData->fKinds & inKind) == 0)
        return false;
    StLocker lock(fLock);
    inData->fPendingChanges.emplace_back(inPath, inKind);
    return true;
}

void VFileSystemNotifier::SignalChange(VChangeData* inData)
{
    if (inData->fTask == nullptr)
    {
        // Started where no task runs: told here, on the main run loop.
        EventSignaledCallback(inData);
        return;
    }
    VRefPtr<VChangeMessage> message(new (std::nothrow) VChangeMessage(this, inData));
    if (message != nullptr)
        message->PostTo(inData->fTask);
}

void VFileSystemNotifier::EventSignaledCallback(VChangeData* inData)
{
    StLocker lock(fLock);
    VRefPtr<VChangeData> watch = VRefPtr<VChangeData>::Retained(inData);
    std::vector<std::pair<VFilePath, EventKind>> changes;
    changes.swap(watch->fPendingChanges);
    std::vector<VFilePath> group;
    EventKind kind = kFileModified;
    auto hand = [&]
    {
        if (!group.empty() && watch->fHandler != nullptr)
            watch->fHandler->DoFileSystemEvent(group, kind);
        group.clear();
    };
    for (const auto& [path, changeKind] : changes)
    {
        if (changeKind != kind)
        {
            hand();
            kind = changeKind;
        }
        if (group.empty() || !group.back().GetPath().EqualToStringRaw(path.GetPath()))
            group.push_back(path);
    }
    hand();
}

} // namespace kova
