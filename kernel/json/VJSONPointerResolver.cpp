#include "kernel/json/VJSONPointerResolver.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/IFile.h"
#include "kernel/files/IFolder.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VURL.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONExpandedSize.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/values/VValueBag.h"

#include <algorithm>
#include <new>
#include <string>

namespace kova
{

namespace
{

constexpr VError VE_JSON_POINTER_NOT_FOUND = MakeKovaError(906);
constexpr VError VE_JSON_POINTER_SYNTAX = MakeKovaError(907);
constexpr VError VE_JSON_POINTER_CYCLE = MakeKovaError(908);
constexpr VError VE_JSON_POINTER_UNSUPPORTED = MakeKovaError(909);
constexpr VError VE_JSON_POINTER_NOT_A_COLLECTION = MakeKovaError(910);
constexpr VError VE_JSON_POINTER_FILE_MALFORMED = MakeKovaError(912);
constexpr VError VE_JSON_POINTER_FILE_NOT_FOUND = MakeKovaError(913);

// Reading referred files: undefined on failure, strict, ISO date strings as dates.
constexpr uint32_t kReferredFileOptions =
    VJSONImporter::kUndefinedOnFailure | VJSONImporter::kStrict | VJSONImporter::kISODates;

bool IsReferenceObject(const VJSONObject* inObject)
{
    return inObject->GetProperty(VJSONPointerResolver::sRefPropertyName).IsString();
}

VString PosixPathOf(const VFilePath& inPath)
{
    VString posix;
    inPath.GetPosixPath(posix);
    return posix;
}

// RFC 6901: "~1" is "/", then "~0" is "~", so that "~01" reads "~1".
VString UnescapePart(const VString& inPart)
{
    VString part(inPart);
    part.ExchangeRawString(VString("~1"), VString("/"));
    part.ExchangeRawString(VString("~0"), VString("~"));
    return part;
}

// A JSON Pointer array index: "0" or digits without a leading zero. Returns the error to record,
// or 0 with the index; an index beyond 32 bits can only be past the end.
VError ParseIndex(const VString& inPart, uint64_t& outIndex)
{
    const int32_t length = inPart.GetLength();
    if (length == 0)
        return VE_JSON_POINTER_SYNTAX;
    const UniChar* units = inPart.GetCPointer();
    if (length == 1 && units[0] == u'-')
        return VE_JSON_POINTER_UNSUPPORTED;
    if (length > 1 && units[0] == u'0')
        return VE_JSON_POINTER_SYNTAX;
    uint64_t index = 0;
    for (int32_t i = 0; i < length; ++i)
    {
        if (units[i] < u'0' || units[i] > u'9')
            return VE_JSON_POINTER_SYNTAX;
        if (index <= UINT32_MAX)
            index = index * 10 + uint64_t(units[i] - u'0');
    }
    outIndex = index;
    return index > UINT32_MAX ? VE_JSON_POINTER_NOT_FOUND : VE_OK;
}

// One part of a key made of several texts: its length first, so that no two lists of parts
// make the same key.
void AppendKeyPart(std::u16string& ioKey, const VString& inPart)
{
    const uint32_t length = uint32_t(inPart.GetLength());
    ioKey.push_back(char16_t(length >> 16));
    ioKey.push_back(char16_t(length & 0xFFFF));
    ioKey.append(inPart.GetCPointer(), size_t(length));
}

} // namespace

const VString VJSONPointerResolver::sRefPropertyName("$ref");

// ----- VJSONFileCache

VJSONValue VJSONFileCache::GetValue(const VFilePath& inPath) const
{
    auto found = fValues.find(PosixPathOf(inPath));
    return found == fValues.end() ? VJSONValue() : found->second;
}

void VJSONFileCache::SetValue(const VFilePath& inPath, const VJSONValue& inValue)
{
    VString key = PosixPathOf(inPath);
    if (inValue.IsUndefined())
        fValues.erase(key);
    else
        fValues[key] = inValue;
}

// ----- VJSONPointerResolver

VJSONPointerResolver::VJSONPointerResolver(const VJSONValue& inDocument, IFolder* inBaseFolder,
                                           VFileSystemNamespace* inNamespace, VJSONFileCache* inCache)
    : fDocument(inDocument), fBaseFolder(inBaseFolder), fBoundary(inBaseFolder), fNamespace(inNamespace),
      fCache(inCache)
{
    if (fBaseFolder != nullptr)
    {
        fBaseFolder->Retain();
        fBoundary->Retain();
    }
    if (fNamespace != nullptr)
        fNamespace->Retain();
    if (fCache != nullptr)
        fCache->Retain();
    else
        fCache = new VJSONFileCache();
}

VJSONPointerResolver::~VJSONPointerResolver()
{
    if (fBaseFolder != nullptr)
        fBaseFolder->Release();
    if (fBoundary != nullptr)
        fBoundary->Release();
    if (fNamespace != nullptr)
        fNamespace->Release();
    fCache->Release();
    if (fErrorOwner != nullptr)
        fErrorOwner->Release();
    if (fErrors != nullptr)
        fErrors->Release();
}

void VJSONPointerResolver::ResolveRecursively(VJSONValue& ioValue, bool inPatch,
                                              std::vector<VRefPtr<IFile>>* outFiles)
{
    StErrorContextInstaller errors(false, true);
    Context context(inPatch);
    const VJSONValue original(ioValue);
    context.fReadSize = JSONDistinctSize(original);
    // A value that came shared already keeps what it had.
    const uint64_t originalSize = JSONExpandedSize(original, JSONExpansionBound(context.fReadSize));
    _ResolveRecursively(context, ioValue);
    while (!context.fQueue.empty())
    {
        std::deque<std::pair<VRefPtr<VJSONPointerResolver>, VJSONValue>> taken;
        taken.swap(context.fQueue);
        for (auto& [resolver, value] : taken)
            resolver->_ResolveRecursively(context, value);
    }
    if (!context.fChanges.empty())
    {
        const uint64_t limit = JSONExpansionBound(context.fReadSize) + originalSize;
        if (context.fPatchedSize > JSONCopyBound(context.fReadSize) ||
            JSONExpandedSize(ioValue, limit) > limit)
        {
            _Undo(context);
            ioValue = original;
            _ThrowError(VE_JSON_EXPANSION_TOO_LARGE, nullptr, nullptr);
        }
    }
    if (outFiles != nullptr)
        outFiles->insert(outFiles->end(), context.fFilesInOrder.begin(), context.fFilesInOrder.end());
    // What the file system or the parser raised and no reference accounted for (a stack refusal).
    if (errors.GetLastError() != VE_OK && fErrors == nullptr)
        _ThrowError(errors.GetLastError(), nullptr, nullptr);
}

bool VJSONPointerResolver::ResolveOnePointer(VJSONObject* inReference, bool inResolveAlong,
                                             VJSONValue& outResult)
{
    outResult.SetObject(inReference);
    if (inReference == nullptr)
        return false;
    VJSONValue uri = inReference->GetProperty(sRefPropertyName);
    if (!uri.IsString())
        return false;
    StErrorContextInstaller errors(false, true);
    Context context(false);
    context.fResolveAlong = inResolveAlong;
    VRefPtr<VJSONPointerResolver> next;
    bool onPath = false;
    bool descend = false;
    Resolve(context, outResult, next, onPath, descend);
    return true;
}

bool VJSONPointerResolver::_ResolveRecursively(Context& ioContext, VJSONValue& ioValue)
{
    StJSONNesting level;
    if (!level.IsOK())
        return false;
    if (ioValue.IsObject())
    {
        VRefPtr<VJSONPointerResolver> next;
        bool onPath = false;
        bool descend = false;
        if (Resolve(ioContext, ioValue, next, onPath, descend))
        {
            if (next)
                ioContext.fQueue.emplace_back(std::move(next), ioValue);
            return true;
        }
        if (descend)
        {
            VJSONObject* object = ioValue.GetObject();
            for (VJSONPropertyConstOrderedIterator it(object, 3); it.IsValid(); ++it)
            {
                VJSONValue property = it.GetValue();
                if (_ResolveRecursively(ioContext, property) && !property.IsUndefined())
                    _Replace(ioContext, ioValue, it.GetName(), 0, property);
            }
        }
        return false;
    }
    if (ioValue.IsArray())
    {
        VJSONArray* array = ioValue.GetArray();
        // An array reached twice (a reference to an array that holds it) is expanded once.
        if (!ioContext.fVisited.insert(array).second)
            return false;
        ioContext.fVisitedKept.push_back(ioValue);
        for (size_t i = 0; i < array->GetCount(); ++i)
        {
            VJSONValue element = array->GetAt(i);
            if (_ResolveRecursively(ioContext, element))
                _Replace(ioContext, ioValue, VString(), i, element);
        }
    }
    return false;
}

bool VJSONPointerResolver::_Replace(Context& ioContext, const VJSONValue& inContainer, const VString& inName,
                                    size_t inIndex, const VJSONValue& inValue)
{
    VJSONObject* object = inContainer.GetObject();
    VJSONArray* array = inContainer.GetArray();
    try
    {
        ioContext.fChanges.push_back(
            Context::Change{inContainer, inName, inIndex,
                            object != nullptr ? object->GetProperty(inName) : array->GetAt(inIndex)});
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    if (object != nullptr)
        object->SetProperty(inName, inValue);
    else
        array->SetAt(inIndex, inValue);
    return true;
}

void VJSONPointerResolver::_Undo(Context& ioContext)
{
    for (auto change = ioContext.fChanges.rbegin(); change != ioContext.fChanges.rend(); ++change)
    {
        if (VJSONObject* object = change->fContainer.GetObject())
            object->SetProperty(change->fName, change->fPrevious);
        else
            change->fContainer.GetArray()->SetAt(change->fIndex, change->fPrevious);
    }
    ioContext.fChanges.clear();
}

bool VJSONPointerResolver::Resolve(Context& ioContext, VJSONValue& ioValue,
                                   VRefPtr<VJSONPointerResolver>& outNext, bool& outOnPath, bool& outDescend)
{
    Retain();
    outNext = VRefPtr<VJSONPointerResolver>(this);
    VJSONObject* object = ioValue.GetObject();
    if (object == nullptr)
    {
        outOnPath = false;
        outDescend = ioValue.IsArray();
        return false;
    }
    outOnPath = std::find(ioContext.fPath.begin(), ioContext.fPath.end(), object) != ioContext.fPath.end();
    if (outOnPath || ioContext.fVisited.count(object) != 0)
    {
        outDescend = false;
        return false;
    }
    ioContext.fVisited.insert(object);
    ioContext.fVisitedKept.push_back(ioValue);
    VJSONValue uri = object->GetProperty(sRefPropertyName);
    if (!uri.IsString())
    {
        outDescend = true;
        return false;
    }

    outDescend = true;
    auto known = ioContext.fResolved.find(object);
    if (known != ioContext.fResolved.end())
    {
        ioValue = known->second.first;
        outNext = known->second.second;
        if (ioValue.GetObject() != object)
            ioContext.fVisited.erase(object);
        return true;
    }
    VString uriText;
    uri.GetString(uriText);
    StJSONNesting level;
    if (!level.IsOK())
    {
        _ThrowURIError(VE_JSON_NOT_ENOUGH_STACK, uriText);
        ioValue.SetUndefined();
        ioContext.fVisited.erase(object);
        outNext = VRefPtr<VJSONPointerResolver>();
        return true;
    }
    // The value may hold the last reference to the object once it is replaced.
    VJSONValue reference(ioValue);
    ioContext.fPath.push_back(object);
    VJSONValue target;
    VJSONValue document;
    VRefPtr<IFolder> folder;
    VRefPtr<IFolder> boundary;
    bool resolved = ResolvePointerURI(ioContext, uriText, target, document, folder, boundary);
    if (!resolved)
    {
        ioValue.SetUndefined();
    }
    else if (ioContext.fPatch)
    {
        // A patch that copies takes the target's properties: once the copies pass what the job
        // may copy, the job is undone at its end, and copying more would only cost.
        if (ioContext.fPatchedSize > JSONCopyBound(ioContext.fReadSize))
        {
            ioValue = target;
        }
        else
        {
            ioValue = PatchPointerValue(reference, target);
            if (ioValue.GetObject() != target.GetObject())
                ioContext.fPatchedSize += target.GetObject()->_GetProperties().size();
        }
    }
    else
    {
        ioValue = target;
    }
    ioContext.fPath.pop_back();
    if (ioValue.GetObject() != object)
        ioContext.fVisited.erase(object);
    outNext =
        resolved ? _MakeResolver(document, folder.Get(), boundary.Get()) : VRefPtr<VJSONPointerResolver>();
    // A reference met again in this job (a chain walked from each of its links) is not walked
    // again: without this a chain of n references costs n² steps.
    ioContext.fResolved.emplace(object, std::make_pair(ioValue, outNext));
    ioContext.fResolvedKept.push_back(reference);
    return true;
}

bool VJSONPointerResolver::ResolvePointerURI(Context& ioContext, const VString& inURI, VJSONValue& outResult,
                                             VJSONValue& outDocument, VRefPtr<IFolder>& outFolder,
                                             VRefPtr<IFolder>& outBoundary)
{
    VString filePart;
    VString pointer;
    const int32_t hash = inURI.FindUniChar(u'#');
    if (hash > 0)
    {
        inURI.GetSubString(1, hash - 1, filePart);
        inURI.GetSubString(hash + 1, inURI.GetLength() - hash, pointer);
    }
    else
    {
        filePart = inURI;
    }
    // Without resolve-along the pointer is a plain walk: taken as written.
    if (ioContext.fResolveAlong)
    {
        VURL::Decode(filePart);
        VURL::Decode(pointer);
    }
    filePart.TrimeSpaces();

    static const VString sSchemes[] = {VString("http:"), VString("https:"), VString("file:")};
    for (const VString& scheme : sSchemes)
    {
        if (filePart.BeginsWith(scheme))
        {
            _ThrowURIError(VE_JSON_POINTER_UNSUPPORTED, inURI);
            outDocument.SetUndefined();
            return false;
        }
    }
    if (!LoadDocument(ioContext, inURI, filePart, outDocument, outFolder, outBoundary))
    {
        outDocument.SetUndefined();
        return false;
    }
    VString previousURI(ioContext.fCurrentURI);
    VRefPtr<VJSONPointerResolver> previousWalker(std::move(ioContext.fFollowed));
    // A walk in another file resolves the references it meets against that file's folder.
    if (!filePart.IsEmpty())
        ioContext.fFollowed = _MakeResolver(outDocument, outFolder.Get(), outBoundary.Get());
    ioContext.fCurrentURI = inURI;
    bool walked = ResolvePointerString(ioContext, outDocument, pointer, outResult);
    // A target that is itself a reference is followed too: the expansion could not write its
    // replacement anywhere once it stands alone in the queue.
    if (walked && ioContext.fResolveAlong && outResult.IsObject() && IsReferenceObject(outResult.GetObject()))
        walked = _FollowReference(ioContext, outResult);
    if (walked && ioContext.fFollowed)
    {
        outDocument = ioContext.fFollowed->fDocument;
        outFolder = VRefPtr<IFolder>(RetainRefCountable(ioContext.fFollowed->fBaseFolder));
        outBoundary = VRefPtr<IFolder>(RetainRefCountable(ioContext.fFollowed->fBoundary));
    }
    ioContext.fCurrentURI = previousURI;
    ioContext.fFollowed = std::move(previousWalker);
    return walked;
}

bool VJSONPointerResolver::_FollowReference(Context& ioContext, VJSONValue& ioValue)
{
    VJSONPointerResolver* walker = ioContext.fFollowed ? ioContext.fFollowed.Get() : this;
    VRefPtr<VJSONPointerResolver> next;
    bool onPath = false;
    bool descend = false;
    bool resolved = walker->Resolve(ioContext, ioValue, next, onPath, descend);
    if (onPath)
    {
        _ThrowURIError(VE_JSON_POINTER_CYCLE, ioContext.fCurrentURI);
        return false;
    }
    if (resolved && !next)
        return false; // its failure is recorded
    if (next)
        ioContext.fFollowed = std::move(next);
    return true;
}

VRefPtr<VJSONPointerResolver> VJSONPointerResolver::_MakeResolver(const VJSONValue& inDocument,
                                                                  IFolder* inFolder, IFolder* inBoundary)
{
    VRefPtr<VJSONPointerResolver> resolver(
        new VJSONPointerResolver(inDocument, inFolder, fNamespace, fCache));
    ReleaseRefCountable(&resolver->fBoundary);
    resolver->fBoundary = RetainRefCountable(inBoundary);
    resolver->fErrorOwner = fErrorOwner != nullptr ? fErrorOwner : this;
    resolver->fErrorOwner->Retain();
    return resolver;
}

VJSONPointerResolver::Context::Location VJSONPointerResolver::_Locate(Context& ioContext,
                                                                      const VString& inFilePart) const
{
    std::u16string key;
    try
    {
        VFileSystem* fileSystem = fBaseFolder != nullptr ? fBaseFolder->GetFileSystem() : nullptr;
        AppendKeyPart(key, fBaseFolder != nullptr ? fBaseFolder->GetPath().GetPath() : VString());
        AppendKeyPart(key, fileSystem != nullptr ? fileSystem->GetRoot().GetPath() : VString());
        AppendKeyPart(key, fBoundary != nullptr ? fBoundary->GetPath().GetPath() : VString());
        AppendKeyPart(key, inFilePart);
        auto known = ioContext.fLocations.find(key);
        if (known != ioContext.fLocations.end())
            return known->second;
    }
    catch (const std::bad_alloc&)
    {
        return _LocateOnDisk(inFilePart);
    }
    Context::Location location = _LocateOnDisk(inFilePart);
    try
    {
        ioContext.fLocations.emplace(std::move(key), location);
    }
    catch (const std::bad_alloc&)
    {
        // Found again at the next reference: slower, still right.
    }
    return location;
}

VJSONPointerResolver::Context::Location VJSONPointerResolver::_LocateOnDisk(const VString& inFilePart) const
{
    Context::Location location;
    IFile* found = nullptr;
    if (fNamespace != nullptr)
        found = fNamespace->RetainFile(inFilePart, fBaseFolder, 3, false);
    else if (fBaseFolder != nullptr && inFilePart.GetUniChar(1) != u'/')
        found = fBaseFolder->_RetainRelativeIFile(inFilePart, FPS_POSIX);
    location.fFile = VRefPtr<IFile>(found);
    if (!location.fFile)
        return location;
    if (inFilePart.GetUniChar(1) == u'/' && location.fFile->GetFileSystem() != nullptr)
        location.fBoundary = VRefPtr<IFolder>(location.fFile->GetFileSystem()->RetainRootFolder());
    else
        location.fBoundary = VRefPtr<IFolder>(RetainRefCountable(fBoundary));
    location.fInside =
        location.fBoundary && IsInFolderOnDisk(location.fFile->GetPath(), location.fBoundary->GetPath());
    return location;
}

bool VJSONPointerResolver::LoadDocument(Context& ioContext, const VString& inURI, const VString& inFilePart,
                                        VJSONValue& outDocument, VRefPtr<IFolder>& outFolder,
                                        VRefPtr<IFolder>& outBoundary)
{
    if (inFilePart.IsEmpty())
    {
        outDocument = fDocument;
        outFolder = VRefPtr<IFolder>(RetainRefCountable(fBaseFolder));
        outBoundary = VRefPtr<IFolder>(RetainRefCountable(fBoundary));
        return true;
    }
    Context::Location location = _Locate(ioContext, inFilePart);
    outFolder = VRefPtr<IFolder>();
    outBoundary = VRefPtr<IFolder>();
    if (!location.fFile)
    {
        _ThrowError(VE_JSON_POINTER_FILE_NOT_FOUND, &inURI, &inFilePart);
        return false;
    }
    const VRefPtr<IFile>& file = location.fFile;
    VString path = PosixPathOf(file->GetPath());
    // A file outside is never opened, so that the answer does not tell whether it exists.
    if (!location.fInside)
    {
        _ThrowError(VE_JSON_POINTER_FILE_NOT_FOUND, &inURI, &path);
        return false;
    }
    VRefPtr<IFolder>& boundary = location.fBoundary;
    const bool firstInJob = ioContext.fFiles.emplace(path, file).second;
    if (firstInJob)
        ioContext.fFilesInOrder.push_back(file);

    outDocument = fCache->GetValue(file->GetPath());
    if (outDocument.IsUndefined())
    {
        if (!file->Exists())
        {
            _ThrowError(VE_JSON_POINTER_FILE_NOT_FOUND, &inURI, &path);
            return false;
        }
        VError error;
        {
            StErrorContextInstaller parseErrors(false, true);
            error = VJSONImporter::ParseFile(file.Get(), outDocument, kReferredFileOptions);
        }
        if (error != VE_OK)
        {
            outDocument.SetUndefined();
            _ThrowError(VE_JSON_POINTER_FILE_MALFORMED, &inURI, &path);
            return false;
        }
        fCache->SetValue(file->GetPath(), outDocument);
    }
    if (firstInJob)
        ioContext.fReadSize += JSONDistinctSize(outDocument);
    outFolder = VRefPtr<IFolder>(file->RetainParentFolder(false));
    outBoundary = std::move(boundary);
    return true;
}

bool VJSONPointerResolver::ResolvePointerString(Context& ioContext, const VJSONValue& inDocument,
                                                const VString& inPointer, VJSONValue& outResult)
{
    outResult = inDocument;
    if (inPointer.IsEmpty())
        return true;
    if (inPointer.GetUniChar(1) != u'/')
    {
        _ThrowURIError(VE_JSON_POINTER_SYNTAX, ioContext.fCurrentURI);
        return false;
    }
    std::vector<VString> parts;
    inPointer.GetSubStrings(u'/', parts, true);
    for (size_t i = 1; i < parts.size(); ++i)
    {
        if (!ResolveOnePart(ioContext, outResult, parts[i]))
            return false;
    }
    return true;
}

bool VJSONPointerResolver::ResolveOnePart(Context& ioContext, VJSONValue& ioValue, const VString& inPart)
{
    const VString& uri = ioContext.fCurrentURI;
    VString part = UnescapePart(inPart);
    if (ioValue.IsObject())
    {
        // Only reference objects are resolved on the way: marking an ordinary object visited
        // here would keep the expansion from ever descending into it.
        if (ioContext.fResolveAlong && IsReferenceObject(ioValue.GetObject()) &&
            !_FollowReference(ioContext, ioValue))
            return false;
        if (!ioValue.IsArray())
        {
            ioValue = ioValue.GetProperty(part);
            if (ioValue.IsUndefined())
            {
                _ThrowURIError(VE_JSON_POINTER_NOT_FOUND, uri);
                return false;
            }
            return true;
        }
    }
    if (ioValue.IsArray())
    {
        uint64_t index = 0;
        VError error = ParseIndex(part, index);
        if (error == VE_OK && index >= ioValue.GetArray()->GetCount())
            error = VE_JSON_POINTER_NOT_FOUND;
        if (error == VE_OK)
        {
            ioValue = ioValue.GetArray()->GetAt(size_t(index));
            if (ioValue.IsUndefined())
                error = VE_JSON_POINTER_NOT_FOUND;
        }
        if (error != VE_OK)
        {
            _ThrowURIError(error, uri);
            return false;
        }
        return true;
    }
    _ThrowURIError(VE_JSON_POINTER_NOT_A_COLLECTION, uri);
    return false;
}

VJSONValue VJSONPointerResolver::PatchPointerValue(const VJSONValue& inReference, const VJSONValue& inTarget)
{
    const VJSONObject* reference = inReference.GetObject();
    if (!inTarget.IsObject() || reference == nullptr)
        return inTarget;
    VJSONPropertyConstOrderedIterator names(reference, 0);
    bool onlyRef = true;
    for (; names.IsValid(); ++names)
    {
        if (!names.GetName().EqualToStringRaw(sRefPropertyName))
        {
            onlyRef = false;
            break;
        }
    }
    if (onlyRef)
        return inTarget;
    VRefPtr<VJSONObject> patched(new VJSONObject());
    for (VJSONPropertyConstOrderedIterator it(inTarget.GetObject(), 0); it.IsValid(); ++it)
        patched->SetProperty(it.GetName(), it.GetValue());
    for (VJSONPropertyConstOrderedIterator it(reference, 0); it.IsValid(); ++it)
    {
        if (!it.GetName().EqualToStringRaw(sRefPropertyName))
            patched->SetProperty(it.GetName(), it.GetValue());
    }
    return VJSONValue(patched.Get());
}

void VJSONPointerResolver::_ThrowError(VError inError, const VString* inURI, const VString* inPath)
{
    if (fErrorOwner != nullptr)
    {
        fErrorOwner->_ThrowError(inError, inURI, inPath);
        return;
    }
    static const VString sCode("code");
    static const VString sComponent("component");
    static const VString sMessage("message");
    static const VString sPointerURI("pointerURI");
    static const VString sReferredPath("referredPath");

    if (fErrors == nullptr)
        fErrors = new VJSONArray();
    VRefPtr<VJSONObject> record(new VJSONObject());
    record->SetProperty(sCode, VJSONValue(double(NumberOfError(inError))));
    VString text;
    text.FromOsType(ComponentOfError(inError));
    record->SetProperty(sComponent, VJSONValue(text));
    VRefPtr<VErrorBase> error(new VErrorBase(inError));
    if (inURI != nullptr)
        error->GetBag()->SetString(ErrorBagKeys::p1, *inURI);
    if (inPath != nullptr)
        error->GetBag()->SetString(ErrorBagKeys::p2, *inPath);
    error->GetErrorDescription(text);
    record->SetProperty(sMessage, VJSONValue(text));
    if (inURI != nullptr)
        record->SetProperty(sPointerURI, VJSONValue(*inURI));
    if (inPath != nullptr)
        record->SetProperty(sReferredPath, VJSONValue(*inPath));
    fErrors->Push(VJSONValue(record.Get()));
}

} // namespace kova
