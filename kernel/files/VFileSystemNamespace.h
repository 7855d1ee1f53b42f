// VFileSystemNamespace is a registry of named file systems (VFileSystem), so that code can name a
// file as "/name/relative/path" without knowing where the file system's folder lies. A namespace
// may be chained to a parent, which look-ups fall back to when asked. The process object holds the
// process's namespace; it is shared and reference-counted.
//
// Look-up options: kRefuseHidden leaves out the file systems with VFileSystem::kHidden;
// kSearchParents goes on in the parent chain when a name is not registered here. Names are
// case-sensitive. Every access to the table holds the namespace's lock; a look-up in the parent
// chain takes each namespace's lock in turn, never two at once.
//
//     VRefPtr<IFile> file(space->RetainFile(VString("/.PRODUCT_RESOURCES/fr.lproj/x.xlf"), nullptr, 0,
//     false));
#pragma once

#include "kernel/files/VFileSystem.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstdint>
#include <map>
#include <unordered_map>

namespace kova
{

class IFile;
class IFolder;
class VFile;
class VJSONArray;

// The order of names in maps of file systems: unit by unit.
struct VFileSystemNameLess
{
    bool operator()(const VString& inFirst, const VString& inSecond) const
    {
        return inFirst.CompareToStringRaw(inSecond) == CR_SMALLER;
    }
};

using VFileSystemMap = std::map<VString, VRefPtr<VFileSystem>, VFileSystemNameLess>;

class VFileSystemNamespace : public VObject, public IRefCountable
{
public:
    // The look-up options.
    static constexpr uint32_t kRefuseHidden = 1;
    static constexpr uint32_t kSearchParents = 2;

    // An empty namespace; the parent (may be null) is retained.
    explicit VFileSystemNamespace(VFileSystemNamespace* inParent = nullptr);
    VFileSystemNamespace(const VFileSystemNamespace&) = delete;
    VFileSystemNamespace& operator=(const VFileSystemNamespace&) = delete;
    ~VFileSystemNamespace() override;

    VFileSystemNamespace* GetParent() const { return fParent; }

    // The file system (retained) takes its name's place; the one that had it is released. Null is
    // ignored.
    void RegisterFileSystem(VFileSystem* inFileSystem);
    // A new file system of the name and root, without quota. 0, or kova 686 (raised) for a bad name.
    VError RegisterFileSystem(const VString& inName, IFolder* inRoot, uint32_t inFlags);
    // An unknown name is ignored.
    void UnregisterFileSystem(const VString& inName);

    // Retained; null when the name is not found or is refused by the options (a hidden file system
    // hides the parents' of its name too).
    VFileSystem* RetainFileSystem(const VString& inName, uint32_t inOptions) const;
    // The file system's root, as a folder of that file system (retained); null as above.
    IFolder* RetainFileSystemRootFolder(const VString& inName, uint32_t inOptions) const;
    // Every visible file system by name; with kSearchParents the parents' too, a name registered
    // nearer replacing a parent's (unless it is itself left out as hidden). Always 0.
    VError RetainMapOfFileSystems(VFileSystemMap& outMap, uint32_t inOptions) const;

    // "/name/rest": the file system of the name and the rest as a relative POSIX path with its
    // steps resolved. False when the path is not of that form, the name is not found, or the rest
    // climbs out of the root.
    bool ParsePathWithFileSystem(const VString& inPath, VRefPtr<VFileSystem>& outFileSystem,
                                 VString& outRelativePath, uint32_t inOptions) const;
    // A file named "/name/rest" (rest not empty, not a folder path), under that file system's root
    // and belonging to it; a relative path is taken under inBase (POSIX syntax). Without a base,
    // with inAcceptPosixPath, any other path is read as a POSIX path. Retained; null otherwise.
    IFile* RetainFile(const VString& inPath, IFolder* inBase, uint32_t inOptions,
                      bool inAcceptPosixPath) const;
    // The same for folders: "/name/" or "/name/rest/" (a "/" is added to a path that lacks it).
    IFolder* RetainFolder(const VString& inPath, IFolder* inBase, uint32_t inOptions,
                          bool inAcceptPosixPath) const;
    // With a namespace, its look-up; without one, a path under the base, else (whatever
    // inAcceptPosixPath says) the path read as a POSIX path.
    static IFile* RetainFile(const VFileSystemNamespace* inSpace, const VString& inPath, IFolder* inBase,
                             uint32_t inOptions, bool inAcceptPosixPath);
    static IFolder* RetainFolder(const VFileSystemNamespace* inSpace, const VString& inPath, IFolder* inBase,
                                 uint32_t inOptions, bool inAcceptPosixPath);

    // Registers the file systems a definition file ("fileSystems.json") describes: a JSON array of
    // objects with "name", "path" (a full POSIX path, or one under "parent"'s root), "parent" and
    // "writable". 1 without a file; a file that is not strict JSON pushes 687 and returns the parse
    // error; anything else that is not an array loads nothing and returns 0.
    VError LoadFromDefinitionFile(VFile* inFile);
    // Each definition is registered without flags ("writable" is read, and no flag stands for it).
    // A definition with a bad name, a name registered here already, a relative path without parent,
    // an unknown parent or a root outside its parent's is left out. Always 0.
    VError LoadFromJSONArray(const VJSONArray* inArray);

private:
    struct NameHash
    {
        size_t operator()(const VString& inName) const { return inName.GetHashValue(); }
    };
    struct NameEqual
    {
        bool operator()(const VString& inFirst, const VString& inSecond) const
        {
            return inFirst.EqualToStringRaw(inSecond);
        }
    };
    using Table = std::unordered_map<VString, VRefPtr<VFileSystem>, NameHash, NameEqual>;

    // The file system of the name in this namespace alone, retained; outFound tells whether the
    // name is registered here (even when the options refuse it).
    VFileSystem* _RetainHere(const VString& inName, uint32_t inOptions, bool& outFound) const;

    mutable VCriticalSection fLock;
    Table fFileSystems;
    VFileSystemNamespace* fParent;
};

} // namespace kova
