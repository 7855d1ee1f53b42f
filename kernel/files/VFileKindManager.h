// VFileKindManager is the process-wide registry of file kinds: the private kinds the application
// declares, and the public kinds of the system, cached as they are asked for, so that files can be
// asked whether they conform to a kind and kinds can be found by extension or OS type. The one
// manager lives from Init to DeInit; its map is guarded by a lock of its own, so lookups may come
// from any task.
#pragma once

#include "kernel/files/VFileKind.h"
#include "kernel/values/CompareResult.h"
#include "kernel/values/VRefPtr.h"

#include <map>
#include <mutex>
#include <vector>

namespace kova
{

class VFileKindManager : public VObject, public IRefCountable
{
public:
    // Start-up and shut-down hooks of the process object.
    static bool Init();
    static void DeInit();
    static VFileKindManager* Get() { return sManager; }

    VFileKindManager();
    VFileKindManager(const VFileKindManager&) = delete;
    VFileKindManager& operator=(const VFileKindManager&) = delete;
    ~VFileKindManager() override;

    // The kind of the identifier, retained for the caller: a registered one, else the system's
    // public kind (kept for the next time); null when there is none.
    VFileKind* RetainFileKind(const VString& inID);
    // A private kind under its identifier, replacing any kind registered or cached there.
    void RegisterPrivateFileKind(const VString& inID, const std::vector<VString>& inOsKinds,
                                 const VString& inDescription, const std::vector<VString>& inExtensions,
                                 const std::vector<VString>& inParentIDs);
    void RegisterPrivateFileKind(const VString& inID, const VString& inDescription,
                                 const std::vector<VString>& inExtensions,
                                 const std::vector<VString>& inParentIDs);
    // The first kind in identifier order that lists the extension (case and accents ignored), else
    // the system's public kind for it (kept for the next time); retained, or null.
    VFileKind* RetainFirstFileKindMatchingWithExtension(const VString& inExtension);
    // The same for an OS type code (compared exactly); the system's kind is not kept.
    VFileKind* RetainFirstFileKindMatchingWithOsKind(const VString& inOsKind);

    // Texts 0 ("All") and 1 ("All readable documents"); an empty text or another index changes
    // nothing, and reading another index leaves the string as it was.
    void RegisterLocalizedString(long inIndex, const VString& inText);
    void GetLocalizedString(long inIndex, VString& outText) const;

    static VFileKindManager* sManager;

private:
    // Identifiers in the dialect's order, case and accents ignored.
    struct IDLess
    {
        bool operator()(const VString& inFirst, const VString& inSecond) const
        {
            return inFirst.CompareToString(inSecond, false) == CR_SMALLER;
        }
    };
    using KindMap = std::map<VString, VRefPtr<VFileKind>, IDLess>;

    // Stores the kind under its identifier (replacing the one there) and returns it retained.
    VFileKind* _Store(VFileKind* inKind);
    VFileKind* _RetainFirstMatching(bool (VFileKind::*inMatch)(const VString&) const,
                                    const VString& inTag) const;

    mutable std::mutex fMutex;
    KindMap fKinds;
    VString fLocalizedStrings[2];
};

} // namespace kova
