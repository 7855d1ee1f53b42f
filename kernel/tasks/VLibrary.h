// VLibrary loads a shared library or a bundle (a plug-in, a framework) at run time, finds its
// functions by name and gives access to the bundle's folders. It is the loading layer of the
// component manager. A library is shared by reference counting and may be used from several tasks:
// every operation takes its lock. Its last release unloads it.
//
//     VRefPtr<VLibrary> library(new VLibrary(bundlePath));
//     if (library->Load())
//         auto entry = reinterpret_cast<void (*)()>(library->GetProcAddress(VString("Entry")));
//
// A folder path names a bundle, a file path a library file. Load failures are raised on the
// task's error context (kova 1010, whose "reason" is the loader's text) and answered false; the
// library stays unloaded and may be loaded again.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "platform/mac/tasks/XMacLibrary.h"

#include <cstdint>

namespace kova
{

class VFile;
class VFolder;
class VResourceFile;
class VString;

// The folders of a bundle that RetainFolder gives; 4 and any other value give none.
enum BundleFolderKind : int32_t
{
    kBUNDLE_FOLDER = 1,
    kBUNDLE_EXECUTABLE_FOLDER = 2,
    kBUNDLE_RESOURCES_FOLDER = 3,
    kBUNDLE_LOCALIZED_RESOURCES_FOLDER = 4,
    kBUNDLE_PLUGINS_FOLDER = 5,
    kBUNDLE_FRAMEWORKS_FOLDER = 6,
    kBUNDLE_SUPPORT_FOLDER = 7,
};

class VLibrary : public VObject, public IRefCountable
{
public:
    // Nothing is loaded yet.
    explicit VLibrary(const VFilePath& inPath);
    VLibrary(const VLibrary&) = delete;
    VLibrary& operator=(const VLibrary&) = delete;
    ~VLibrary() override;

    // Loads once; true when loaded now or before.
    bool Load();
    // When loaded: unloads, and forgets the resource file.
    void Unload();
    bool IsLoaded() const;

    // The function's address; null when not loaded or not found.
    void* GetProcAddress(const VString& inName);

    // Whether the library was made for that path (the same text: paths are told apart exactly).
    bool IsSameFile(const VFilePath& inPath) const;
    const VFilePath& GetPath() const { return fPath; }

    // Retained; null when not loaded, when no bundle is held, or for an unknown kind.
    VFolder* RetainFolder(BundleFolderKind inKind);
    // The bundle's executable, retained; null when not loaded or without a bundle.
    VFile* RetainExecutableFile();
    // The resource file, looked for once and kept; null when not loaded (and here always).
    VResourceFile* RetainResourceFile();

    const cf::Bundle* MAC_GetBundleRef() const;

private:
    mutable VCriticalSection fLock;
    VFilePath fPath;
    XMacLibrary fImpl;
    VResourceFile* fResourceFile = nullptr;
    bool fResourceFileAsked = false;
    bool fLoaded = false;
};

} // namespace kova
