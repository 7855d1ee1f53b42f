// VUTIManager is the process's own registry of uniform type identifiers, independent of the
// system's: it reads the type declarations of property lists ("UTExportedTypeDeclarations" and
// "UTImportedTypeDeclarations"), links the declared types into a conformance tree, registers each
// as a private file kind, and answers which types claim a file-name extension, an OS type or a MIME
// type, and whether a file conforms to a type. The localization manager it is given names the
// types in the user's language.
//
//     VUTIManager* types = VUTIManager::GetUTIManager();
//     types->LoadXMLFile(infoPlist);
//     VUTI* type = types->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
//                                                               VString("qel"), VString());
//
// One task loads and queries the registry; only the making of the singleton is guarded. A
// conformance link that would close a cycle is refused, so every walk up or down the tree ends.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "xml/VUTI.h"

#include <atomic>
#include <map>
#include <vector>

namespace kova
{

class VFile;
class VFileKindManager;
class VLocalizationManager;
class VUTIManagerXMLHandler;
class VXMLParser;

class VUTIManager : public VObject, public IRefCountable
{
public:
    // The three tag classes; any other matches nothing.
    static const VString kTagClassFilenameExtension; // "public.filename-extension"
    static const VString kTagClassOSType;            // "com.apple.ostype"
    static const VString kTagClassMIMEType;          // "public.mime-type"

    // The singleton, made on the first call, once even when two tasks ask at the same time.
    static VUTIManager* GetUTIManager();
    static bool Init() { return true; }
    // Both release the singleton.
    static void Delete();
    static bool DeInit();

    VUTIManager();
    VUTIManager(const VUTIManager&) = delete;
    VUTIManager& operator=(const VUTIManager&) = delete;
    ~VUTIManager() override;

    // Reads the declarations of the property-list file and links them; false for a null or
    // missing file, or when the document could not be parsed (the parser's errors are on the
    // context; the declarations read before the fault are kept).
    bool LoadXMLFile(VFile* inFile);
    // Reads the declarations without linking them; answers false.
    bool AnalyzeXMLFile(const VFile* inFile);

    // Links the placeholders to the types declared since, and registers the types added or linked
    // since as private file kinds when the file-kind manager is up (every type, when that manager
    // is not the one of the last call). Costs in proportion to what was added since the last call,
    // not to what the registry holds: the checks before the links walk no further than what was
    // added pays for, and the links they leave unsettled stay placeholders.
    void ProcessExtractedUTIs();
    // A type without identifier is refused, and so is a second one of an identifier (the first
    // stays); an added type is retained.
    bool AddNewUTI(VUTI* inType);
    size_t GetUTIsCount() const { return fTypes.size(); }
    static bool UTTypeEqual(const VString& inFirst, const VString& inSecond);

    // Not retained: the caller keeps it alive while it is set, and clears it before releasing it.
    // A type's description is localized when the type is registered.
    void SetLocalizationManager(VLocalizationManager* inManager) { fLocalizationManager = inManager; }
    VLocalizationManager* GetLocalizationManager() const { return fLocalizationManager; }

    // Every type, in identifier order, that claims the tag itself or through a declared ancestor,
    // each retained, in a vector the caller deletes; null for an empty class or tag. The
    // conformance identifier does not filter.
    std::vector<VUTI*>* UTTypeCreateAllIdentifiersForTag(const VString& inTagClass, const VString& inTag,
                                                         const VString& inConformingTo);
    // The one type for the tag, retained, or null: the highest type that claims it, among those
    // that conform to inConformingTo when it is not empty; public types before private ones, then
    // identifier order.
    VUTI* UTTypeCreatePreferredIdentifierForTag(const VString& inTagClass, const VString& inTag,
                                                const VString& inConformingTo);
    // Whether the file's type, from its extension or its OS type, conforms to the identifier.
    bool UTTypeConformsTo(VFile* inFile, const VString& inIdentifier);

    // How many types, placeholders and registrations the link passes of this thread have gone
    // through so far.
    static uint64_t GetLinkStepCountForTesting();

private:
    enum class TagKind
    {
        kNone,
        kExtension,
        kOSType,
        kMIMEType,
    };
    static TagKind _TagKindOf(const VString& inTagClass);
    static VUTI* _HighestClaiming(const VUTI& inType, TagKind inKind, const VString& inTag,
                                  VUTI::WalkAnswers& ioAnswers);
    // A placeholder of the child that names the parent.
    struct Link
    {
        VUTI* fParent;
        VUTI* fChild;
    };
    // The links owed to the types added since the last pass, in the order they are weighed.
    std::vector<Link> _CollectNewLinks(const std::vector<VUTI*>& inAdded);
    // Whether linking inChild below inParent keeps the tree as the declarations ask, and acyclic,
    // as far as ioStepsLeft lets the checks walk: a link not shown sound is refused.
    static bool _MayLink(const VUTI& inParent, const VUTI& inChild, uint64_t& ioStepsLeft);
    void _RegisterFileKinds(std::vector<VUTI*>& ioChanged);
    void _RegisterFileKind(VFileKindManager& ioKinds, const VUTI& inType) const;

    static std::atomic<VUTIManager*> fSingleton;

    VUTIMap fTypes;
    VXMLParser* fParser = nullptr;
    VUTIManagerXMLHandler* fRootHandler = nullptr;
    VLocalizationManager* fLocalizationManager = nullptr;
    // The types added since the last pass, and the types waiting for a parent nobody declared yet,
    // by the parent's identifier. Both hold types of fTypes, without a reference of their own.
    std::vector<VUTI*> fAdded;
    std::map<VString, std::vector<VUTI*>, VUTIIdentifierLess> fWaiting;
    // The file-kind manager the last pass registered with: a new one has every type registered.
    // Held, so that a manager made later never takes its place in memory and passes for it.
    VRefPtr<VFileKindManager> fRegisteredWith;
};

} // namespace kova
