// VUTI is one uniform type identifier of the toolbox's own registry (VUTIManager): a
// reverse-domain identifier with its description, the file-name extensions, OS types and MIME
// types it claims, and its place in the conformance tree (parents and children by identifier).
//
// A parent named in a declaration but not yet declared itself is a temporary VUTI, a placeholder
// holding only the identifier; the manager replaces it by the real type when it links the tree.
// Placeholders are ignored by every conformance test.
//
// Each map entry holds a reference on its type, and parents and children reference each other:
// _Detach breaks those cycles before the types are released (the manager does it on the way out).
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/CompareResult.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <map>
#include <unordered_map>
#include <vector>

namespace kova
{

class VUTI;

// Identifiers in the dialect's order, diacritics not significant.
struct VUTIIdentifierLess
{
    bool operator()(const VString& inFirst, const VString& inSecond) const
    {
        return inFirst.CompareToString(inSecond, false) == CR_SMALLER;
    }
};

using VUTIMap = std::map<VString, VUTI*, VUTIIdentifierLess>;

class VUTI : public VObject, public IRefCountable
{
public:
    VUTI() = default;
    explicit VUTI(const VString& inIdentifier, bool inTemporary = false);
    VUTI(const VUTI&) = delete;
    VUTI& operator=(const VUTI&) = delete;
    ~VUTI() override;

    const VString& GetIdentifier() const { return fIdentifier; }
    void SetIdentifier(const VString& inIdentifier) { fIdentifier = inIdentifier; }
    const VString& GetDescription() const { return fDescription; }
    void SetDescription(const VString& inDescription) { fDescription = inDescription; }
    const VString& GetReference() const { return fReference; }
    void SetReference(const VString& inReference) { fReference = inReference; }
    const VFilePath& GetImagePath() const { return fImagePath; }
    void SetImagePath(const VFilePath& inPath) { fImagePath = inPath; }

    std::vector<VString> GetExtensionsVector() const { return fExtensions; }
    void SetExtensionsVector(const std::vector<VString>& inExtensions) { fExtensions = inExtensions; }
    std::vector<VString> GetOSTypesVector() const { return fOSTypes; }
    void SetOSTypesVector(const std::vector<VString>& inOSTypes) { fOSTypes = inOSTypes; }
    std::vector<VString> GetMIMETypesVector() const { return fMIMETypes; }
    void SetMIMETypesVector(const std::vector<VString>& inMIMETypes) { fMIMETypes = inMIMETypes; }

    // The copies take no references. The setters take the map as given: its entries must each
    // carry a reference for this type, and the entries replaced are released.
    VUTIMap GetParentUTIsMap() const { return fParents; }
    void SetParentUTIsMap(const VUTIMap& inParents);
    VUTIMap GetChildrenUTIsMap() const { return fChildren; }
    void SetChildrenUTIsMap(const VUTIMap& inChildren);

    bool IsTemporary() const { return fTemporary; }
    void SetTemporary(bool inTemporary) { fTemporary = inTemporary; }
    bool IsDynamic() const { return fDynamic; }
    void SetDynamic(bool inDynamic) { fDynamic = inDynamic; }

    // Each appends the tag unless it is empty or already there.
    void AddExtension(const VString& inExtension);
    void AddOSType(const VString& inOSType);
    void AddMIMEType(const VString& inMIMEType);

    // What the walks of one look-up learnt about one question (a tag, or an identifier to conform
    // to): for each type walked, the type that answered for it, null for none. Passed to the
    // questions a look-up asks of many types, it lets each ancestor answer once for all the types
    // below it, so that the look-up follows each link once.
    using WalkAnswers = std::unordered_map<const VUTI*, const VUTI*>;

    bool ConformsToExtension(const VString& inExtension) const;
    bool ConformsToOSType(const VString& inOSType) const;
    bool ConformsToMIMEType(const VString& inMIMEType) const;
    // This type (retained) when it claims the tag itself, else the first answer of its declared
    // parents in identifier order; null when none claims it.
    VUTI* GetHighestParentThatConformsToExtension(const VString& inExtension) const;
    VUTI* GetHighestParentThatConformsToOSType(const VString& inOSType) const;
    VUTI* GetHighestParentThatConformsToMIMEType(const VString& inMIMEType) const;
    VUTI* GetHighestParentThatConformsToExtension(const VString& inExtension, WalkAnswers& ioAnswers) const;
    VUTI* GetHighestParentThatConformsToOSType(const VString& inOSType, WalkAnswers& ioAnswers) const;
    VUTI* GetHighestParentThatConformsToMIMEType(const VString& inMIMEType, WalkAnswers& ioAnswers) const;
    // Appends this type's extensions, then its declared ancestors', each once.
    void GetAllExtensionsVector(std::vector<VString>& ioExtensions) const;

    // A null type or one without identifier is ignored; an identifier present already is kept.
    void AddParentUTI(VUTI* inParent);
    void AddChildUTI(VUTI* inChild);
    // Whether a declared ancestor has the identifier of inType. CouldBeAParent also counts the
    // placeholders among the direct parents. IsChild and CouldBeAChild ask the same downwards.
    bool IsParent(const VUTI* inType) const;
    bool CouldBeAParent(const VUTI* inType) const;
    bool IsChild(const VUTI* inType) const;
    bool CouldBeAChild(const VUTI* inType) const;
    // Whether inType lies below this type or below one of its declared ancestors.
    bool IsChildOrChildOfAParent(const VUTI* inType) const;
    // Whether a declared ancestor of this type has the identifier of inUpper: IsParent(inUpper)
    // asked from both ends at once, up from this type and down from inUpper, a link at a time, so
    // that it costs no more than the shorter of the two walks. The links must go both ways, as
    // the manager makes them. Each link takes one of ioStepsLeft; when they run out before the
    // walks settle it, the answer is true as well.
    bool _MayBeBelow(const VUTI& inUpper, uint64_t& ioStepsLeft) const;
    // Drops the placeholder parent or child of that identifier; real types stay.
    void RemoveTemporaryUTI(VString inIdentifier);
    // The placeholder parent of that identifier, not retained; null when the parent of that
    // identifier is a declared type or there is none.
    const VUTI* _GetPlaceholderParent(const VString& inIdentifier) const;
    // Whether the identifier is this type's or a declared ancestor's.
    bool ConformsToIdentifier(const VString& inIdentifier) const;
    bool ConformsToIdentifier(const VString& inIdentifier, WalkAnswers& ioAnswers) const;
    bool IsPublic() const;
    // Releases all parents and children.
    void _Detach();

    // How many conformance links the walks of this thread have followed so far.
    static uint64_t GetWalkStepCountForTesting();

private:
    using TagList = std::vector<VString> VUTI::*;

    static void _AddTag(std::vector<VString>& ioTags, const VString& inTag);
    static bool _HasTag(const std::vector<VString>& inTags, const VString& inTag);
    VUTI* _GetHighestClaiming(TagList inTags, const VString& inTag, WalkAnswers& ioAnswers) const;
    // The first type, depth first up the declared parents in identifier order, that the match
    // answers true for; null when none does. The answers already in ioAnswers are taken as they
    // stand, and those of the types walked are added.
    template <class MATCH>
    const VUTI* _FindAbove(WalkAnswers& ioAnswers, MATCH&& inMatch) const;
    // The first type of the walk over the map, from the pending types, that the visit answers
    // true for; null when none does.
    template <class VISIT>
    static const VUTI* _FindInWalk(const VUTIMap VUTI::*inMap, std::vector<const VUTI*>& ioPending,
                                   VISIT&& inVisit);
    template <class VISIT>
    static const VUTI* _FindInWalk(const VUTIMap VUTI::*inMap, const VUTI* inFrom, VISIT&& inVisit);
    static void _PushRelatives(const VUTIMap VUTI::*inMap, const VUTI* inType,
                               std::vector<const VUTI*>& ioPending);
    static bool _Relates(const VUTIMap VUTI::*inMap, const VUTI* inFrom, const VUTI* inType,
                         bool inWithPlaceholders);
    static void _Insert(VUTIMap& ioMap, VUTI* inType);
    static void _ReleaseAll(VUTIMap& ioMap);

    bool fTemporary = false;
    VString fIdentifier;
    VString fDescription;
    VString fReference;
    VFilePath fImagePath;
    bool fDynamic = false;
    std::vector<VString> fOSTypes;
    std::vector<VString> fExtensions;
    std::vector<VString> fMIMETypes;
    VUTIMap fParents;
    VUTIMap fChildren;
};

} // namespace kova
