#include "xml/VUTIManager.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileKindManager.h"
#include "xml/VLocalizationManager.h"
#include "xml/VUTIManagerXMLHandlers.h"
#include "xml/VXMLParser.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>

namespace kova
{

namespace
{

std::mutex& SingletonLock()
{
    static std::mutex sLock;
    return sLock;
}

thread_local uint64_t sLinkSteps = 0;

// Links the checks of one pass may walk: a base, and so many for each type added and each link
// weighed. Ordinary declarations take a few for each; a shape that makes every check walk a long
// line of types would take the square of its size.
constexpr uint64_t kCheckStepsBase = 1 << 16;
constexpr uint64_t kCheckStepsPerItem = 64;

} // namespace

const VString VUTIManager::kTagClassFilenameExtension("public.filename-extension");
const VString VUTIManager::kTagClassOSType("com.apple.ostype");
const VString VUTIManager::kTagClassMIMEType("public.mime-type");

std::atomic<VUTIManager*> VUTIManager::fSingleton{nullptr};

VUTIManager* VUTIManager::GetUTIManager()
{
    VUTIManager* manager = fSingleton.load(std::memory_order_acquire);
    if (manager != nullptr)
        return manager;
    std::lock_guard<std::mutex> lock(SingletonLock());
    manager = fSingleton.load(std::memory_order_relaxed);
    if (manager == nullptr)
    {
        manager = new (std::nothrow) VUTIManager();
        fSingleton.store(manager, std::memory_order_release);
    }
    return manager;
}

void VUTIManager::Delete()
{
    VUTIManager* manager = nullptr;
    {
        std::lock_guard<std::mutex> lock(SingletonLock());
        manager = fSingleton.exchange(nullptr, std::memory_order_acq_rel);
    }
    ReleaseRefCountable(&manager);
}

bool VUTIManager::DeInit()
{
    Delete();
    return true;
}

VUTIManager::VUTIManager()
{
    // The parser is made only over a library that started, so that DeInit stays paired.
    if (VXMLParser::Init())
    {
        fParser = new (std::nothrow) VXMLParser();
        if (fParser == nullptr)
            VXMLParser::DeInit();
    }
    fRootHandler = new (std::nothrow) VUTIManagerXMLHandler(this);
}

VUTIManager::~VUTIManager()
{
    ReleaseRefCountable(&fRootHandler);
    if (fParser != nullptr)
    {
        delete fParser;
        fParser = nullptr;
        VXMLParser::DeInit();
    }
    VUTIMap types;
    types.swap(fTypes);
    for (auto& [identifier, type] : types)
    {
        type->_Detach();
        type->Release();
    }
}

bool VUTIManager::LoadXMLFile(VFile* inFile)
{
    if (inFile == nullptr || !inFile->Exists() || fParser == nullptr || fRootHandler == nullptr)
        return false;
    fRootHandler->Reset();
    const bool parsed = fParser->Parse(inFile, fRootHandler, XML_ValidateNever);
    ProcessExtractedUTIs();
    return parsed;
}

bool VUTIManager::AnalyzeXMLFile(const VFile* inFile)
{
    if (inFile != nullptr && fParser != nullptr && fRootHandler != nullptr)
    {
        fRootHandler->Reset();
        fParser->Parse(const_cast<VFile*>(inFile), fRootHandler, XML_ValidateNever);
    }
    return false;
}

// Each question is asked from both ends (the manager's links go both ways): a common parent may
// have every type of the registry below it, and a type of a long chain every other one above it.
bool VUTIManager::_MayLink(const VUTI& inParent, const VUTI& inChild, uint64_t& ioStepsLeft)
{
    // A child already below the parent needs no second link. A child below one of the parent's
    // ancestors only is not yet below the parent itself: that link is still owed. A parent that is
    // its own ancestor (the placeholder's identifier is its own) gets no more links.
    if (inChild._MayBeBelow(inParent, ioStepsLeft) || inParent._MayBeBelow(inParent, ioStepsLeft))
        return false;
    // The child may not be an ancestor of its new parent already: the link would close a cycle.
    return !inParent._MayBeBelow(inChild, ioStepsLeft);
}

// Only the types added since the last pass bring links to weigh: a pair of older types was weighed
// then, and a refusal stands, as links are only ever added (the child stays below the parent, or
// the parent below the child). A new type's placeholders find their parents by identifier or wait
// for them; a new type takes the types that waited for it.
std::vector<VUTIManager::Link> VUTIManager::_CollectNewLinks(const std::vector<VUTI*>& inAdded)
{
    std::vector<Link> links;
    for (VUTI* child : inAdded)
    {
        ++sLinkSteps;
        for (const auto& [placeholderID, placeholder] : child->GetParentUTIsMap())
        {
            ++sLinkSteps;
            if (!placeholder->IsTemporary())
                continue;
            const auto parent = fTypes.find(placeholderID);
            if (parent == fTypes.end())
                fWaiting[placeholderID].push_back(child);
            else if (parent->second != child)
                links.push_back({parent->second, child});
        }
    }
    // Whoever waits now waits for a type not declared before this pass: none of those links is
    // in the list yet.
    for (VUTI* parent : inAdded)
    {
        const auto waiting = fWaiting.find(parent->GetIdentifier());
        if (waiting == fWaiting.end())
            continue;
        for (VUTI* child : waiting->second)
        {
            ++sLinkSteps;
            links.push_back({parent, child});
        }
        fWaiting.erase(waiting);
    }
    // Parents, then children, in identifier order, as a pass over every pair would weigh them:
    // which link of a cycle is refused, and which child is below its parent already, depend on it.
    const VUTIIdentifierLess less;
    std::sort(links.begin(), links.end(),
              [&](const Link& inFirst, const Link& inSecond)
              {
                  if (inFirst.fParent != inSecond.fParent)
                      return less(inFirst.fParent->GetIdentifier(), inSecond.fParent->GetIdentifier());
                  return inFirst.fChild != inSecond.fChild &&
                         less(inFirst.fChild->GetIdentifier(), inSecond.fChild->GetIdentifier());
              });
    return links;
}

void VUTIManager::ProcessExtractedUTIs()
{
    std::vector<VUTI*> changed;
    changed.swap(fAdded);
    const std::vector<Link> links = _CollectNewLinks(changed);
    uint64_t stepsLeft = kCheckStepsBase + kCheckStepsPerItem * (changed.size() + links.size());
    for (const Link& link : links)
    {
        ++sLinkSteps;
        const VString& parentID = link.fParent->GetIdentifier();
        // Looked up again: the child's parents may have been set anew since it began to wait.
        if (link.fChild->_GetPlaceholderParent(parentID) == nullptr ||
            !_MayLink(*link.fParent, *link.fChild, stepsLeft))
            continue;
        link.fChild->RemoveTemporaryUTI(parentID);
        link.fParent->AddChildUTI(link.fChild);
        link.fChild->AddParentUTI(link.fParent);
        // Its parents' identifiers may now be spelt as the parent declares it.
        changed.push_back(link.fChild);
    }
    _RegisterFileKinds(changed);
}

void VUTIManager::_RegisterFileKinds(std::vector<VUTI*>& ioChanged)
{
    VFileKindManager* kinds = VFileKindManager::Get();
    const bool registerAll = kinds != fRegisteredWith.Get();
    fRegisteredWith = VRefPtr<VFileKindManager>::Retained(kinds);
    if (kinds == nullptr)
        return;
    if (registerAll)
    {
        for (const auto& [identifier, type] : fTypes)
            _RegisterFileKind(*kinds, *type);
        return;
    }
    const VUTIIdentifierLess less;
    std::sort(ioChanged.begin(), ioChanged.end(),
              [&](const VUTI* inFirst, const VUTI* inSecond)
              { return inFirst != inSecond && less(inFirst->GetIdentifier(), inSecond->GetIdentifier()); });
    ioChanged.erase(std::unique(ioChanged.begin(), ioChanged.end()), ioChanged.end());
    for (const VUTI* type : ioChanged)
        _RegisterFileKind(*kinds, *type);
}

void VUTIManager::_RegisterFileKind(VFileKindManager& ioKinds, const VUTI& inType) const
{
    ++sLinkSteps;
    VString description = inType.GetDescription();
    VString localized;
    if (fLocalizationManager != nullptr && !description.IsEmpty() &&
        fLocalizationManager->LocalizeStringWithDotStringsKey(description, localized))
        description = localized;
    std::vector<VString> parentIDs;
    for (const auto& [parentID, parent] : inType.GetParentUTIsMap())
        parentIDs.push_back(parentID);
    ioKinds.RegisterPrivateFileKind(inType.GetIdentifier(), inType.GetOSTypesVector(), description,
                                    inType.GetExtensionsVector(), parentIDs);
}

bool VUTIManager::AddNewUTI(VUTI* inType)
{
    if (inType == nullptr || inType->GetIdentifier().IsEmpty())
        return false;
    if (!fTypes.emplace(inType->GetIdentifier(), inType).second)
        return false;
    inType->Retain();
    fAdded.push_back(inType);
    return true;
}

bool VUTIManager::UTTypeEqual(const VString& inFirst, const VString& inSecond)
{
    return inFirst.EqualToString(inSecond, false);
}

VUTIManager::TagKind VUTIManager::_TagKindOf(const VString& inTagClass)
{
    if (UTTypeEqual(inTagClass, kTagClassFilenameExtension))
        return TagKind::kExtension;
    if (UTTypeEqual(inTagClass, kTagClassOSType))
        return TagKind::kOSType;
    if (UTTypeEqual(inTagClass, kTagClassMIMEType))
        return TagKind::kMIMEType;
    return TagKind::kNone;
}

VUTI* VUTIManager::_HighestClaiming(const VUTI& inType, TagKind inKind, const VString& inTag,
                                    VUTI::WalkAnswers& ioAnswers)
{
    switch (inKind)
    {
    case TagKind::kExtension:
        return inType.GetHighestParentThatConformsToExtension(inTag, ioAnswers);
    case TagKind::kOSType:
        return inType.GetHighestParentThatConformsToOSType(inTag, ioAnswers);
    case TagKind::kMIMEType:
        return inType.GetHighestParentThatConformsToMIMEType(inTag, ioAnswers);
    case TagKind::kNone:
        break;
    }
    return nullptr;
}

std::vector<VUTI*>* VUTIManager::UTTypeCreateAllIdentifiersForTag(const VString& inTagClass,
                                                                  const VString& inTag, const VString&)
{
    if (inTagClass.IsEmpty() || inTag.IsEmpty())
        return nullptr;
    auto* found = new (std::nothrow) std::vector<VUTI*>();
    if (found == nullptr)
        return nullptr;
    const TagKind kind = _TagKindOf(inTagClass);
    VUTI::WalkAnswers claims;
    for (const auto& [identifier, type] : fTypes)
    {
        VUTI* claiming = _HighestClaiming(*type, kind, inTag, claims);
        if (claiming == nullptr)
            continue;
        claiming->Release();
        found->push_back(RetainRefCountable(type));
    }
    return found;
}

VUTI* VUTIManager::UTTypeCreatePreferredIdentifierForTag(const VString& inTagClass, const VString& inTag,
                                                         const VString& inConformingTo)
{
    if (inTagClass.IsEmpty() || inTag.IsEmpty() || fTypes.empty())
        return nullptr;
    const TagKind kind = _TagKindOf(inTagClass);
    // The types below one ancestor share its answers, and a candidate found again is not asked again.
    VUTI::WalkAnswers claims;
    VUTI::WalkAnswers conformances;
    std::unordered_set<const VUTI*> met;
    std::vector<VUTI*> candidates;
    for (const auto& [identifier, type] : fTypes)
    {
        VUTI* candidate = _HighestClaiming(*type, kind, inTag, claims);
        if (candidate == nullptr)
            continue;
        if (met.insert(candidate).second &&
            (inConformingTo.IsEmpty() || candidate->ConformsToIdentifier(inConformingTo, conformances)))
            candidates.push_back(candidate);
        else
            candidate->Release();
    }
    bool anyPublic = false;
    bool anyPrivate = false;
    for (VUTI* candidate : candidates)
        (candidate->IsPublic() ? anyPublic : anyPrivate) = true;
    VUTI* preferred = nullptr;
    for (VUTI* candidate : candidates)
    {
        if (preferred == nullptr && (!anyPublic || !anyPrivate || candidate->IsPublic()))
            preferred = candidate;
        else
            candidate->Release();
    }
    return preferred;
}

bool VUTIManager::UTTypeConformsTo(VFile* inFile, const VString& inIdentifier)
{
    if (inFile == nullptr || inIdentifier.IsEmpty() || !inFile->Exists())
        return false;
    VUTI* byExtension = nullptr;
    VString extension;
    inFile->GetExtension(extension);
    if (!extension.IsEmpty())
        byExtension = UTTypeCreatePreferredIdentifierForTag(kTagClassFilenameExtension, extension, VString());
    VUTI* byOSType = nullptr;
    uint32_t osType = 0;
    VError kindError = VE_OK;
    {
        // A type that cannot be read only leaves the extension to decide.
        StErrorContextInstaller quiet(false, true);
        kindError = inFile->MAC_GetKind(&osType);
    }
    if (kindError == VE_OK && osType != 0)
    {
        VString osTypeText;
        osTypeText.FromOsType(osType);
        byOSType = UTTypeCreatePreferredIdentifierForTag(kTagClassOSType, osTypeText, VString());
    }
    VUTI* kept = byExtension;
    if (byExtension != nullptr && byOSType != nullptr)
    {
        // The OS type's type wins only when it is the more specific of the two.
        if (!UTTypeEqual(byExtension->GetIdentifier(), byOSType->GetIdentifier()) &&
            byOSType->IsParent(byExtension))
            kept = byOSType;
    }
    else if (byOSType != nullptr)
    {
        kept = byOSType;
    }
    const bool conforms = kept != nullptr && kept->ConformsToIdentifier(inIdentifier);
    ReleaseRefCountable(&byExtension);
    ReleaseRefCountable(&byOSType);
    return conforms;
}

uint64_t VUTIManager::GetLinkStepCountForTesting()
{
    return sLinkSteps;
}

} // namespace kova
