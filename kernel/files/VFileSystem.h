// VFileSystem gives a folder a name, so that files can be named by "/name/relative/path" without
// knowing where the folder lies, with optional space accounting and access flags. Files and
// folders found through a file system carry it, and the paths made from them stay inside its
// root. Shared and reference-counted; its root folder is retained and released with it.
//
// Inside means inside on disk: a path whose links (of its deepest existing part) lead out of the
// root's real path is not authorized.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kova
{

class IFolder;

class VFileSystem : public VObject, public IRefCountable
{
public:
    // The flags.
    static constexpr uint32_t kSpaceAccounting = 1; // Request and Relinquish work
    static constexpr uint32_t kDeleteRootOnDestruction = 4;
    static constexpr uint32_t kHidden = 16; // left out of look-ups that ask so

    // The root (may be null) is retained. The name is not checked here. The space available is
    // the quota less the bytes used, never below 0.
    VFileSystem(const VString& inName, IFolder* inRoot, uint32_t inFlags, size_t inQuota, size_t inUsed);
    VFileSystem(const VFileSystem&) = delete;
    VFileSystem& operator=(const VFileSystem&) = delete;
    // With kDeleteRootOnDestruction, an existing root folder is deleted with its contents (its
    // errors muted).
    ~VFileSystem() override;

    // A new file system (count 1) when the name is not empty and holds no "/"; otherwise kova 686
    // with "name" is raised (and stored in *outError) and null returned.
    static VFileSystem* Create(const VString& inName, IFolder* inRoot, uint32_t inFlags, size_t inQuota,
                               size_t inUsed, VError* outError = nullptr);

    const VString& GetName() const { return fName; }
    uint32_t GetFlags() const { return fFlags; }
    uint64_t GetQuota() const { return fQuota; }
    uint64_t GetAvailable() const { return fAvailable.load(std::memory_order_acquire); }
    // The root folder's path; empty without a root.
    VFilePath GetRoot() const;
    // The root folder as a folder of this file system, retained; null without a root.
    IFolder* RetainRootFolder() const;
    // The root itself, or an item inside it on disk (see above).
    bool IsAuthorized(const VFilePath& inPath) const;

    // Takes inBytes of the available space: kova 684 without kSpaceAccounting, 0 without a quota,
    // kova 685 (nothing taken) when less is available. Neither raises its error.
    VError Request(size_t inBytes);
    // Gives space back, up to the quota at most: kova 684 without kSpaceAccounting, else 0.
    VError Relinquish(size_t inBytes);

    // "/", the name, "/" and the POSIX path of inPath relative to the root when inPath lies
    // inside it; else inPlatformPath.
    VString MakePathWithFileSystem(const VFilePath& inPath, const VString& inPlatformPath) const;

private:
    VString fName;
    IFolder* fRoot;
    uint64_t fQuota;
    uint32_t fFlags;
    // Changed by compare-and-swap: tasks may ask and give back at once.
    std::atomic<uint64_t> fAvailable;
};

} // namespace kova
