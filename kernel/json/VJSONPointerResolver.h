// VJSONPointerResolver replaces JSON reference objects, objects whose property "$ref" holds
// "file#/json/pointer", by the values they point to. The file part names another JSON file, found
// through a file-system namespace or under the resolver's base folder; an empty file part means the
// resolver's own document. Files read in one job are kept in a VJSONFileCache that several
// resolvers may share, so that each file is read once.
//
//     VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, folder, nullptr, nullptr));
//     resolver->ResolveRecursively(document, false, nullptr);
//     if (resolver->GetErrors() != nullptr) ... // one object per failed reference
//
// Failures are never raised on the caller's error context: each is recorded as an object ("code",
// "component", "message", "pointerURI", "referredPath") in the resolver's errors array, and the
// reference stays where it was (an object property) or becomes undefined (an array element).
//
// With resolve-along off, ResolveOnePointer is a plain walk: the pointer is taken as written (no
// percent decoding) and reference objects met on the way are not followed. A resolver without
// folder or namespace opens no file.
//
// The documents come from outside, so a file part reaches only files whose real path (".." and
// links resolved) lies inside the job's base folder, or inside the root of the named file system
// it names; any other gives 913 without being opened. Each file part is found and checked once
// per job from a given folder, however many references name it; a later job checks again.
//
// And since references share what they name, an expansion whose result would cost a walk more
// than the bound of what was read, or whose patches would copy more than the copy bound of it
// (JSONExpandedSize.h), is undone: the value stays as it was, with kova 918 recorded.
#pragma once

#include "kernel/files/IFile.h"
#include "kernel/files/IFolder.h"
#include "kernel/files/VFileSystemNamespace.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kova
{

class VFilePath;
class VJSONArray;
class VJSONObject;

// Parsed JSON files by their POSIX path, compared unit by unit: two paths that differ in case
// name two files on this platform.
class VJSONFileCache : public VObject, public IRefCountable
{
public:
    VJSONFileCache() = default;
    VJSONFileCache(const VJSONFileCache&) = delete;
    VJSONFileCache& operator=(const VJSONFileCache&) = delete;

    // Undefined when the path is not cached.
    VJSONValue GetValue(const VFilePath& inPath) const;
    // An undefined value removes the entry.
    void SetValue(const VFilePath& inPath, const VJSONValue& inValue);
    size_t GetCount() const { return fValues.size(); }

private:
    std::map<VString, VJSONValue, VFileSystemNameLess> fValues;
};

class VJSONPointerResolver : public VObject, public IRefCountable
{
public:
    // The state of one resolution job.
    class Context
    {
    public:
        explicit Context(bool inPatch) : fPatch(inPatch) {}

        // Objects and arrays examined in this job, retained so that no address is reused by
        // another collection while the job runs.
        std::set<const void*> fVisited;
        std::vector<VJSONValue> fVisitedKept;
        // Reference objects already resolved in this job, with their result and the resolver of
        // the result's file (null on failure); the objects are kept alive by fResolvedKept.
        std::map<const VJSONObject*, std::pair<VJSONValue, VRefPtr<VJSONPointerResolver>>> fResolved;
        std::vector<VJSONValue> fResolvedKept;
        // Reference objects whose resolution is under way.
        std::vector<const VJSONObject*> fPath;
        // Values taken from other files, still to be expanded with that file's resolver.
        std::deque<std::pair<VRefPtr<VJSONPointerResolver>, VJSONValue>> fQueue;
        // Every file referred to in this job, by path, and in the order first met.
        std::map<VString, VRefPtr<IFile>, VFileSystemNameLess> fFiles;
        std::vector<VRefPtr<IFile>> fFilesInOrder;
        // What each file part led to from a folder in this job: a check on disk reads the mount
        // table, and a job may hold thousands of references to one file. The file is null when
        // none was found; fInside tells whether it lies in fBoundary on disk. Keyed by the folder,
        // its file system's root, the boundary and the file part, each after its length.
        struct Location
        {
            VRefPtr<IFile> fFile;
            VRefPtr<IFolder> fBoundary;
            bool fInside = false;
        };
        std::map<std::u16string, Location> fLocations;
        bool fPatch;
        bool fResolveAlong = true;
        // The "$ref" text whose pointer is being walked; empty outside.
        VString fCurrentURI;
        // The resolver of the last reference followed while walking the current pointer: what the
        // walk ends on belongs to that reference's file, not to the file the walk began in.
        VRefPtr<VJSONPointerResolver> fFollowed;

        // A value the expansion replaced, oldest first, so that the job can be undone: the
        // property of an object, or the element at an index of an array.
        struct Change
        {
            VJSONValue fContainer;
            VString fName;
            size_t fIndex;
            VJSONValue fPrevious;
        };
        std::vector<Change> fChanges;
        // The distinct sizes of the documents read in this job, each once, and the properties that
        // patching has copied.
        uint64_t fReadSize = 0;
        uint64_t fPatchedSize = 0;
    };

    static const VString sRefPropertyName;

    // The document is copied; folder, namespace and cache are retained (each may be null, and a
    // null cache is replaced by a new one).
    VJSONPointerResolver(const VJSONValue& inDocument, IFolder* inBaseFolder,
                         VFileSystemNamespace* inNamespace, VJSONFileCache* inCache);
    VJSONPointerResolver(const VJSONPointerResolver&) = delete;
    VJSONPointerResolver& operator=(const VJSONPointerResolver&) = delete;
    ~VJSONPointerResolver() override;

    // Expands every reference in the value, in place. The files referred to are appended to
    // outFiles (may be null).
    void ResolveRecursively(VJSONValue& ioValue, bool inPatch, std::vector<VRefPtr<IFile>>* outFiles);
    // The target of one reference object, without patching, in outResult (undefined on failure).
    // Whether the object held a string "$ref".
    bool ResolveOnePointer(VJSONObject* inReference, bool inResolveAlong, VJSONValue& outResult);

    // The recorded failures, one object each; null while there are none. Failures met while
    // expanding the values of other files are recorded here too.
    const VJSONArray* GetErrors() const { return fErrors; }
    const VJSONValue& GetDocument() const { return fDocument; }
    VJSONFileCache* GetFileCache() const { return fCache; }

    // The inner steps, in calling order.
    bool _ResolveRecursively(Context& ioContext, VJSONValue& ioValue);
    bool Resolve(Context& ioContext, VJSONValue& ioValue, VRefPtr<VJSONPointerResolver>& outNext,
                 bool& outOnPath, bool& outDescend);
    // outBoundary: the folder that the document's own file parts must stay inside on disk.
    bool ResolvePointerURI(Context& ioContext, const VString& inURI, VJSONValue& outResult,
                           VJSONValue& outDocument, VRefPtr<IFolder>& outFolder,
                           VRefPtr<IFolder>& outBoundary);
    bool LoadDocument(Context& ioContext, const VString& inURI, const VString& inFilePart,
                      VJSONValue& outDocument, VRefPtr<IFolder>& outFolder, VRefPtr<IFolder>& outBoundary);
    bool ResolvePointerString(Context& ioContext, const VJSONValue& inDocument, const VString& inPointer,
                              VJSONValue& outResult);
    bool ResolveOnePart(Context& ioContext, VJSONValue& ioValue, const VString& inPart);
    static VJSONValue PatchPointerValue(const VJSONValue& inReference, const VJSONValue& inTarget);
    void _ThrowError(VError inError, const VString* inURI, const VString* inPath);
    void _ThrowURIError(VError inError, const VString& inURI) { _ThrowError(inError, &inURI, nullptr); }

private:
    // Resolves the reference object in place with the resolver of the file being walked; false,
    // with the failure recorded, when it does not resolve.
    bool _FollowReference(Context& ioContext, VJSONValue& ioValue);
    // The file that the file part names from this resolver's folder, and whether it lies inside
    // the folder it must stay in: found and checked on disk once per job.
    Context::Location _Locate(Context& ioContext, const VString& inFilePart) const;
    Context::Location _LocateOnDisk(const VString& inFilePart) const;
    // A resolver for a document of this job, sharing namespace, cache and errors.
    VRefPtr<VJSONPointerResolver> _MakeResolver(const VJSONValue& inDocument, IFolder* inFolder,
                                                IFolder* inBoundary);
    // Writes the expanded value in place of the container's property (or element), noting the
    // one it replaces; false, nothing written, when the note cannot be kept.
    static bool _Replace(Context& ioContext, const VJSONValue& inContainer, const VString& inName,
                         size_t inIndex, const VJSONValue& inValue);
    // Puts back every value the job replaced, latest first.
    static void _Undo(Context& ioContext);

    VJSONValue fDocument;
    IFolder* fBaseFolder;
    // The folder that files must lie inside on disk (retained): the base folder given, or for the
    // documents of the job, the one of the document that led to them (a named file system's root
    // for a file found through it).
    IFolder* fBoundary;
    VFileSystemNamespace* fNamespace;
    VJSONFileCache* fCache;
    VJSONArray* fErrors = nullptr;
    // The resolver whose errors array receives this one's failures (retained); null for itself.
    VJSONPointerResolver* fErrorOwner = nullptr;
};

} // namespace kova
