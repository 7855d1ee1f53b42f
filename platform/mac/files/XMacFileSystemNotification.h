// XMacFileSystemNotification is the platform half of the file-system notifier (VFileSystemNotifier):
// one event stream per watch on the main run loop, a snapshot of the watched tree, and the
// comparison that turns each batch of changed folders into created, deleted and modified items.
//
// After a batch, each folder compared takes the listing its comparison used as its snapshot, its
// new sub-folders are added with theirs and its vanished ones dropped; a change made after a
// folder was listed is therefore seen in the next batch, never lost. When the system lost events,
// every folder of the tree is compared.
#pragma once

#include "kernel/files/VFileSystemNotifier.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace kova
{

namespace fsevents
{
struct EventStream;
} // namespace fsevents

class VFolder;

class XMacFileSystemNotification : public VObject
{
public:
    // What a snapshot keeps of an item.
    struct FileInfo
    {
        int64_t fSeconds = 0;
        int64_t fNanoseconds = 0;
        bool fIsFolder = false;
    };
    // A folder's items by name; a folder that could not be read has none (null).
    using FolderItems = std::map<std::string, FileInfo>;
    // By folder path, ending with "/".
    using Snapshot = std::map<std::string, std::unique_ptr<FolderItems>>;

    class XMacChangeData : public VFileSystemNotifier::VChangeData
    {
    public:
        using VChangeData::VChangeData;
        // Releases the stream.
        ~XMacChangeData() override;

        // Touched only on the main run loop once the watch runs.
        Snapshot fSnapshot;
        fsevents::EventStream* fStream = nullptr;
        std::string fWatchedPath;
    };

    explicit XMacFileSystemNotification(VFileSystemNotifier* inOwner);

    // With the notifier's lock held: a new watch, its stream started on the main run loop. POSX
    // with errno when the stream cannot be made or started.
    VError StartWatchingForChanges(const VFolder& inFolder, uint32_t inKinds,
                                   VFileSystemNotifier::IEventHandler* inHandler,
                                   int32_t inLatencyMilliseconds);
    // The watch's stream stops: nothing more is told of it.
    void StopWatchingForChanges(VFileSystemNotifier::VChangeData* inData, bool inIsLast);

    // The items of the folder (a path ending with "/"), and with inRecursive those of every folder
    // below, into the snapshot. ".", ".." and ".DS_Store" are left out, and so are items that
    // vanish while they are read.
    static void CreateDirectorySnapshot(const std::string& inFolder, Snapshot& ioSnapshot, bool inRecursive);

private:
    static void FSEventCallback(fsevents::EventStream* inStream, void* inInfo, size_t inCount,
                                const char* const* inPaths, const uint32_t* inFlags);
    // Compares the folder with its snapshot, adds the changes to the watch, and updates the
    // snapshot; true when a change was added.
    bool _BuildChangeList(XMacChangeData* inData, const std::string& inFolder);
    void _AddChange(XMacChangeData* inData, const std::string& inPath, VFileSystemNotifier::EventKind inKind,
                    bool& ioAdded);

    VFileSystemNotifier* fOwner;
};

} // namespace kova
