#include "xml/VUTI.h"

#include <unordered_set>

namespace kova
{

namespace
{

const VString kPublicPrefix("public");

thread_local uint64_t sWalkSteps = 0;

bool SameIdentifier(const VString& inFirst, const VString& inSecond)
{
    return inFirst.EqualToString(inSecond, false);
}

} // namespace

VUTI::VUTI(const VString& inIdentifier, bool inTemporary) : fTemporary(inTemporary), fIdentifier(inIdentifier)
{
}

VUTI::~VUTI()
{
    _Detach();
}

void VUTI::SetParentUTIsMap(const VUTIMap& inParents)
{
    VUTIMap old;
    old.swap(fParents);
    fParents = inParents;
    _ReleaseAll(old);
}

void VUTI::SetChildrenUTIsMap(const VUTIMap& inChildren)
{
    VUTIMap old;
    old.swap(fChildren);
    fChildren = inChildren;
    _ReleaseAll(old);
}

void VUTI::_AddTag(std::vector<VString>& ioTags, const VString& inTag)
{
    if (!inTag.IsEmpty() && !_HasTag(ioTags, inTag))
        ioTags.push_back(inTag);
}

bool VUTI::_HasTag(const std::vector<VString>& inTags, const VString& inTag)
{
    for (const VString& tag : inTags)
    {
        if (tag.EqualToString(inTag, false))
            return true;
    }
    return false;
}

void VUTI::AddExtension(const VString& inExtension)
{
    _AddTag(fExtensions, inExtension);
}

void VUTI::AddOSType(const VString& inOSType)
{
    _AddTag(fOSTypes, inOSType);
}

void VUTI::AddMIMEType(const VString& inMIMEType)
{
    _AddTag(fMIMETypes, inMIMEType);
}

// The walks go depth first in identifier order over declared relatives (placeholders are
// ignored) and explore each type once: a type that several paths share, as in a lattice of types
// conforming to several others, is not walked again. A walk is thus in proportion to the types and
// links it meets, and ends on a cycle.
template <class VISIT>
const VUTI* VUTI::_FindInWalk(const VUTIMap VUTI::*inMap, std::vector<const VUTI*>& ioPending,
                              VISIT&& inVisit)
{
    std::unordered_set<const VUTI*> explored;
    while (!ioPending.empty())
    {
        const VUTI* type = ioPending.back();
        ioPending.pop_back();
        if (!explored.insert(type).second)
            continue;
        if (inVisit(type))
            return type;
        const VUTIMap& relatives = type->*inMap;
        // Backwards, so that the first in identifier order comes out first.
        for (auto relative = relatives.rbegin(); relative != relatives.rend(); ++relative)
        {
            ++sWalkSteps;
            if (!relative->second->IsTemporary() && explored.count(relative->second) == 0)
                ioPending.push_back(relative->second);
        }
    }
    return nullptr;
}

template <class VISIT>
const VUTI* VUTI::_FindInWalk(const VUTIMap VUTI::*inMap, const VUTI* inFrom, VISIT&& inVisit)
{
    std::vector<const VUTI*> pending{inFrom};
    return _FindInWalk(inMap, pending, std::forward<VISIT>(inVisit));
}

// The declared relatives of the types, each a first step of a walk.
void VUTI::_PushRelatives(const VUTIMap VUTI::*inMap, const VUTI* inType, std::vector<const VUTI*>& ioPending)
{
    const VUTIMap& relatives = inType->*inMap;
    for (auto relative = relatives.rbegin(); relative != relatives.rend(); ++relative)
    {
        ++sWalkSteps;
        if (!relative->second->IsTemporary())
            ioPending.push_back(relative->second);
    }
}

// The answers are those of _FindInWalk from each type alone: a type whose walk found nothing has
// no match among its ancestors, so skipping it on a later walk changes nothing. A type met again
// while its own walk is open (only in a cycle, which the manager never links) counts as nothing.
template <class MATCH>
const VUTI* VUTI::_FindAbove(WalkAnswers& ioAnswers, MATCH&& inMatch) const
{
    if (auto known = ioAnswers.find(this); known != ioAnswers.end())
        return known->second;
    if (inMatch(this))
        return ioAnswers.emplace(this, this).first->second;
    struct Open
    {
        const VUTI* fType;
        VUTIMap::const_iterator fNextParent;
    };
    std::vector<Open> open{{this, fParents.begin()}};
    ioAnswers.emplace(this, nullptr);
    while (!open.empty())
    {
        Open& top = open.back();
        if (top.fNextParent == top.fType->fParents.end())
        {
            open.pop_back();
            continue;
        }
        const VUTI* parent = (top.fNextParent++)->second;
        ++sWalkSteps;
        if (parent->IsTemporary())
            continue;
        const VUTI* found = nullptr;
        if (auto known = ioAnswers.find(parent); known != ioAnswers.end())
            found = known->second;
        else if (inMatch(parent))
            found = ioAnswers.emplace(parent, parent).first->second;
        else
        {
            ioAnswers.emplace(parent, nullptr);
            open.push_back({parent, parent->fParents.begin()});
            continue;
        }
        if (found != nullptr)
        {
            // Every open type found nothing before the branch that led here.
            for (const Open& below : open)
                ioAnswers[below.fType] = found;
            return found;
        }
    }
    return nullptr;
}

VUTI* VUTI::_GetHighestClaiming(TagList inTags, const VString& inTag, WalkAnswers& ioAnswers) const
{
    const VUTI* found =
        _FindAbove(ioAnswers, [&](const VUTI* inType) { return _HasTag(inType->*inTags, inTag); });
    return found != nullptr ? RetainRefCountable(const_cast<VUTI*>(found)) : nullptr;
}

VUTI* VUTI::GetHighestParentThatConformsToExtension(const VString& inExtension) const
{
    WalkAnswers answers;
    return _GetHighestClaiming(&VUTI::fExtensions, inExtension, answers);
}

VUTI* VUTI::GetHighestParentThatConformsToOSType(const VString& inOSType) const
{
    WalkAnswers answers;
    return _GetHighestClaiming(&VUTI::fOSTypes, inOSType, answers);
}

VUTI* VUTI::GetHighestParentThatConformsToMIMEType(const VString& inMIMEType) const
{
    WalkAnswers answers;
    return _GetHighestClaiming(&VUTI::fMIMETypes, inMIMEType, answers);
}

VUTI* VUTI::GetHighestParentThatConformsToExtension(const VString& inExtension, WalkAnswers& ioAnswers) const
{
    return _GetHighestClaiming(&VUTI::fExtensions, inExtension, ioAnswers);
}

VUTI* VUTI::GetHighestParentThatConformsToOSType(const VString& inOSType, WalkAnswers& ioAnswers) const
{
    return _GetHighestClaiming(&VUTI::fOSTypes, inOSType, ioAnswers);
}

VUTI* VUTI::GetHighestParentThatConformsToMIMEType(const VString& inMIMEType, WalkAnswers& ioAnswers) const
{
    return _GetHighestClaiming(&VUTI::fMIMETypes, inMIMEType, ioAnswers);
}

bool VUTI::ConformsToExtension(const VString& inExtension) const
{
    VUTI* found = GetHighestParentThatConformsToExtension(inExtension);
    const bool conforms = found != nullptr;
    ReleaseRefCountable(&found);
    return conforms;
}

bool VUTI::ConformsToOSType(const VString& inOSType) const
{
    VUTI* found = GetHighestParentThatConformsToOSType(inOSType);
    const bool conforms = found != nullptr;
    ReleaseRefCountable(&found);
    return conforms;
}

bool VUTI::ConformsToMIMEType(const VString& inMIMEType) const
{
    VUTI* found = GetHighestParentThatConformsToMIMEType(inMIMEType);
    const bool conforms = found != nullptr;
    ReleaseRefCountable(&found);
    return conforms;
}

void VUTI::GetAllExtensionsVector(std::vector<VString>& ioExtensions) const
{
    _FindInWalk(&VUTI::fParents, this,
                [&](const VUTI* inType)
                {
                    for (const VString& extension : inType->fExtensions)
                        _AddTag(ioExtensions, extension);
                    return false;
                });
}

void VUTI::_Insert(VUTIMap& ioMap, VUTI* inType)
{
    if (inType == nullptr || inType->GetIdentifier().IsEmpty())
        return;
    if (ioMap.emplace(inType->GetIdentifier(), inType).second)
        inType->Retain();
}

void VUTI::AddParentUTI(VUTI* inParent)
{
    _Insert(fParents, inParent);
}

void VUTI::AddChildUTI(VUTI* inChild)
{
    _Insert(fChildren, inChild);
}

bool VUTI::_Relates(const VUTIMap VUTI::*inMap, const VUTI* inFrom, const VUTI* inType,
                    bool inWithPlaceholders)
{
    if (inWithPlaceholders)
    {
        for (const auto& [identifier, relative] : inFrom->*inMap)
        {
            if (relative->IsTemporary() && SameIdentifier(relative->GetIdentifier(), inType->GetIdentifier()))
                return true;
        }
    }
    std::vector<const VUTI*> pending;
    _PushRelatives(inMap, inFrom, pending);
    return _FindInWalk(inMap, pending,
                       [&](const VUTI* inRelative) {
                           return SameIdentifier(inRelative->GetIdentifier(), inType->GetIdentifier());
                       }) != nullptr;
}

namespace
{

// One end of a walk taken from both ends: depth first over one kind of relatives, explored once
// each, one link a step.
class WalkEnd
{
public:
    enum Step
    {
        kFound,
        kOver,
        kOn,
    };

    WalkEnd(const VUTIMap VUTI::*inMap, const VUTI& inFrom, const VString& inTarget)
        : fMap(inMap), fTarget(inTarget)
    {
        fOpen.push_back({(inFrom.*fMap).begin(), (inFrom.*fMap).end()});
    }

    // kFound when the link followed leads to a type of the target identifier, kOver when no link
    // is left to follow.
    Step Advance()
    {
        while (!fOpen.empty())
        {
            Open& top = fOpen.back();
            if (top.fNext == top.fEnd)
            {
                fOpen.pop_back();
                continue;
            }
            const VUTI* relative = (top.fNext++)->second;
            ++sWalkSteps;
            if (relative->IsTemporary() || !fExplored.insert(relative).second)
                return kOn;
            if (SameIdentifier(relative->GetIdentifier(), fTarget))
                return kFound;
            const VUTIMap& next = relative->*fMap;
            fOpen.push_back({next.begin(), next.end()});
            return kOn;
        }
        return kOver;
    }

private:
    struct Open
    {
        VUTIMap::const_iterator fNext;
        VUTIMap::const_iterator fEnd;
    };
    const VUTIMap VUTI::*fMap;
    const VString& fTarget;
    std::vector<Open> fOpen;
    std::unordered_set<const VUTI*> fExplored;
};

} // namespace

// Were inUpper above this type, each walk would reach the other end, so the first walk to run out
// settles it: a long chain costs nothing to the end with little above or below it.
bool VUTI::_MayBeBelow(const VUTI& inUpper, uint64_t& ioStepsLeft) const
{
    WalkEnd up(&VUTI::fParents, *this, inUpper.fIdentifier);
    WalkEnd down(&VUTI::fChildren, inUpper, fIdentifier);
    for (;;)
    {
        for (WalkEnd* end : {&up, &down})
        {
            if (ioStepsLeft == 0)
                return true;
            --ioStepsLeft;
            const WalkEnd::Step step = end->Advance();
            if (step != WalkEnd::kOn)
                return step == WalkEnd::kFound;
        }
    }
}

bool VUTI::IsParent(const VUTI* inType) const
{
    return inType != nullptr && _Relates(&VUTI::fParents, this, inType, false);
}

bool VUTI::CouldBeAParent(const VUTI* inType) const
{
    return inType != nullptr && _Relates(&VUTI::fParents, this, inType, true);
}

bool VUTI::IsChild(const VUTI* inType) const
{
    return inType != nullptr && _Relates(&VUTI::fChildren, this, inType, false);
}

bool VUTI::CouldBeAChild(const VUTI* inType) const
{
    return inType != nullptr && _Relates(&VUTI::fChildren, this, inType, true);
}

bool VUTI::IsChildOrChildOfAParent(const VUTI* inType) const
{
    if (inType == nullptr)
        return false;
    // One walk down from this type and all its declared ancestors at once: below one of them is
    // below any.
    std::vector<const VUTI*> pending;
    _FindInWalk(&VUTI::fParents, this,
                [&](const VUTI* inAncestor)
                {
                    _PushRelatives(&VUTI::fChildren, inAncestor, pending);
                    return false;
                });
    return _FindInWalk(&VUTI::fChildren, pending,
                       [&](const VUTI* inBelow) {
                           return SameIdentifier(inBelow->GetIdentifier(), inType->GetIdentifier());
                       }) != nullptr;
}

void VUTI::RemoveTemporaryUTI(VString inIdentifier)
{
    for (VUTIMap* map : {&fParents, &fChildren})
    {
        auto found = map->find(inIdentifier);
        if (found != map->end() && found->second->IsTemporary())
        {
            VUTI* placeholder = found->second;
            map->erase(found);
            placeholder->Release();
        }
    }
}

const VUTI* VUTI::_GetPlaceholderParent(const VString& inIdentifier) const
{
    auto found = fParents.find(inIdentifier);
    return found != fParents.end() && found->second->IsTemporary() ? found->second : nullptr;
}

bool VUTI::ConformsToIdentifier(const VString& inIdentifier) const
{
    WalkAnswers answers;
    return ConformsToIdentifier(inIdentifier, answers);
}

bool VUTI::ConformsToIdentifier(const VString& inIdentifier, WalkAnswers& ioAnswers) const
{
    if (inIdentifier.IsEmpty())
        return false;
    return _FindAbove(ioAnswers, [&](const VUTI* inType)
                      { return SameIdentifier(inType->fIdentifier, inIdentifier); }) != nullptr;
}

bool VUTI::IsPublic() const
{
    return fIdentifier.BeginsWith(kPublicPrefix, false);
}

uint64_t VUTI::GetWalkStepCountForTesting()
{
    return sWalkSteps;
}

void VUTI::_ReleaseAll(VUTIMap& ioMap)
{
    VUTIMap released;
    released.swap(ioMap);
    for (auto& [identifier, type] : released)
        type->Release();
}

void VUTI::_Detach()
{
    _ReleaseAll(fParents);
    _ReleaseAll(fChildren);
}

} // namespace kova
