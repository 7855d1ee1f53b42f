#include "platform/mac/files/XMacFileSystemNotification.h"

#include "kernel/files/VFolder.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/FSEvents.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <new>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace kova
{

namespace
{

bool IsLeftOut(const char* inName)
{
    return (inName[0] == '.' && (inName[1] == 0 || (inName[1] == '.' && inName[2] == 0))) ||
           std::strcmp(inName, ".DS_Store") == 0;
}

// The listing of one folder; null when it cannot be read.
std::unique_ptr<XMacFileSystemNotification::FolderItems> ListFolder(const std::string& inFolder)
{
    DIR* folder = ::opendir(inFolder.c_str());
    if (folder == nullptr)
        return nullptr;
    auto items = std::make_unique<XMacFileSystemNotification::FolderItems>();
    while (const struct dirent* entry = ::readdir(folder))
    {
        if (IsLeftOut(entry->d_name))
            continue;
        struct stat status = {};
        if (::lstat((inFolder + entry->d_name).c_str(), &status) != 0)
            continue;
        (*items)[entry->d_name] = XMacFileSystemNotification::FileInfo{
            int64_t(status.st_mtim.tv_sec), int64_t(status.st_mtim.tv_nsec), S_ISDIR(status.st_mode)};
    }
    ::closedir(folder);
    return items;
}

// The snapshot's entries of the folder and of every folder below it go.
void DropFolder(XMacFileSystemNotification::Snapshot& ioSnapshot, const std::string& inFolder)
{
    for (auto entry = ioSnapshot.lower_bound(inFolder);
         entry != ioSnapshot.end() && entry->first.compare(0, inFolder.size(), inFolder) == 0;)
        entry = ioSnapshot.erase(entry);
}

} // namespace

XMacFileSystemNotification::XMacChangeData::~XMacChangeData()
{
    fsevents::EventStreamRelease(fStream);
}

XMacFileSystemNotification::XMacFileSystemNotification(VFileSystemNotifier* inOwner) : fOwner(inOwner) {}

void XMacFileSystemNotification::CreateDirectorySnapshot(const std::string& inFolder, Snapshot& ioSnapshot,
                                                         bool inRecursive)
{
    std::vector<std::string> pending{inFolder};
    while (!pending.empty())
    {
        const std::string folder = pending.back();
        pending.pop_back();
        std::unique_ptr<FolderItems> items = ListFolder(folder);
        if (inRecursive && items != nullptr)
        {
            for (const auto& [name, info] : *items)
            {
                if (info.fIsFolder)
                    pending.push_back(folder + name + "/");
            }
        }
        ioSnapshot[folder] = std::move(items);
    }
}

VError XMacFileSystemNotification::StartWatchingForChanges(const VFolder& inFolder, uint32_t inKinds,
                                                           VFileSystemNotifier::IEventHandler* inHandler,
                                                           int32_t inLatencyMilliseconds)
{
    std::string path(inFolder.GetImpl().GetPosixPathCString());
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    VTask* task = VTaskMgr::IsInited() ? VTaskMgr::GetCurrentTask() : nullptr;
    VRefPtr<XMacChangeData> data(new (std::nothrow)
                                     XMacChangeData(inFolder.GetPath(), inKinds, inHandler, task, this));
    if (data == nullptr)
        return XMacFile::PosixError(ENOMEM);
    data->fWatchedPath = path;
    data->fStream =
        fsevents::EventStreamCreate(&XMacFileSystemNotification::FSEventCallback, data.Get(), path,
                                    fsevents::kEventIdSinceNow, inLatencyMilliseconds / 1000.0, 0);
    if (data->fStream == nullptr)
        return XMacFile::PosixError(errno);
    // Listed before the stream starts: a change made in between shows in the next comparison of its
    // folder.
    CreateDirectorySnapshot(path, data->fSnapshot, true);
    fsevents::EventStreamScheduleWithRunLoop(data->fStream, cf::RunLoopGetMain());
    if (!fsevents::EventStreamStart(data->fStream))
        return XMacFile::PosixError(errno != 0 ? errno : EIO);
    fOwner->PushChangeData(data.Get());
    return VE_OK;
}

void XMacFileSystemNotification::StopWatchingForChanges(VFileSystemNotifier::VChangeData* inData, bool)
{
    XMacChangeData* data = static_cast<XMacChangeData*>(inData);
    fsevents::EventStreamStop(data->fStream);
    fsevents::EventStreamInvalidate(data->fStream);
}

void XMacFileSystemNotification::FSEventCallback(fsevents::EventStream*, void* inInfo, size_t inCount,
                                                 const char* const* inPaths, const uint32_t* inFlags)
{
    XMacChangeData* data = static_cast<XMacChangeData*>(inInfo);
    XMacFileSystemNotification* self = data->GetPlatform();
    std::set<std::string> changed;
    for (size_t i = 0; i < inCount; ++i)
    {
        const uint32_t flags = inFlags[i];
        if ((flags & fsevents::kEventFlagHistoryDone) != 0)
            continue;
        if ((flags & fsevents::kEventFlagRootChanged) != 0)
        {
            struct stat status = {};
            if (::stat(data->fWatchedPath.c_str(), &status) == 0)
                changed.insert(data->fWatchedPath);
            continue;
        }
        if ((flags & fsevents::kEventFlagMustScanSubDirs) != 0 &&
            (flags & (fsevents::kEventFlagUserDropped | fsevents::kEventFlagKernelDropped)) != 0)
        {
            // Events were lost: every folder, known or new, is compared.
            Snapshot now;
            CreateDirectorySnapshot(data->fWatchedPath, now, true);
            for (const auto& [folder, items] : data->fSnapshot)
                changed.insert(folder);
            for (const auto& [folder, items] : now)
                changed.insert(folder);
            continue;
        }
        changed.insert(inPaths[i]);
    }
    bool added = false;
    for (const std::string& folder : changed)
        added = self->_BuildChangeList(data, folder) || added;
    if (added)
        self->fOwner->SignalChange(data);
}

void XMacFileSystemNotification::_AddChange(XMacChangeData* inData, const std::string& inPath,
                                            VFileSystemNotifier::EventKind inKind, bool& ioAdded)
{
    VFilePath path;
    XMacFile::GetFilePathFromPosixPath(inPath.c_str(), !inPath.empty() && inPath.back() == '/', path);
    if (fOwner->AddChangeToList(inData, path, inKind))
        ioAdded = true;
}

bool XMacFileSystemNotification::_BuildChangeList(XMacChangeData* inData, const std::string& inFolder)
{
    Snapshot& snapshot = inData->fSnapshot;
    auto known = snapshot.find(inFolder);
    // A folder first seen now (its parent's comparison takes its snapshot) tells nothing.
    if (known == snapshot.end())
        return false;
    std::unique_ptr<FolderItems> now = ListFolder(inFolder);
    std::unique_ptr<FolderItems> before = std::move(known->second);
    bool added = false;
    std::vector<std::string> newFolders;
    if (before != nullptr && now != nullptr)
    {
        for (const auto& [name, info] : *before)
        {
            if (now->count(name) != 0)
                continue;
            _AddChange(inData, inFolder + name + (info.fIsFolder ? "/" : ""),
                       VFileSystemNotifier::kFileDeleted, added);
            if (info.fIsFolder)
                DropFolder(snapshot, inFolder + name + "/");
        }
        for (const auto& [name, info] : *now)
        {
            auto old = before->find(name);
            if (old == before->end())
            {
                _AddChange(inData, inFolder + name + (info.fIsFolder ? "/" : ""),
                           VFileSystemNotifier::kFileCreated, added);
                if (info.fIsFolder)
                    newFolders.push_back(inFolder + name + "/");
            }
            else if (!old->second.fIsFolder &&
                     (old->second.fSeconds != info.fSeconds || old->second.fNanoseconds != info.fNanoseconds))
            {
                _AddChange(inData, inFolder + name, VFileSystemNotifier::kFileModified, added);
            }
        }
    }
    // The listing just compared is the folder's snapshot from now on; its new sub-folders get
    // theirs.
    snapshot[inFolder] = std::move(now);
    for (const std::string& folder : newFolders)
        CreateDirectorySnapshot(folder, snapshot, true);
    return added;
}

} // namespace kova
