#include "xml/VUTI.h"

namespace kova
{

namespace
{

const VString kPublicPrefix("public");

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

VUTI* VUTI::_GetHighestClaiming(TagList inTags, const VString& inTag) const
{
    if (_HasTag(this->*inTags, inTag))
        return RetainRefCountable(const_cast<VUTI*>(this));
    for (const auto& [identifier, parent] : fParents)
    {
        if (parent->IsTemporary())
            continue;
        if (VUTI* found = parent->_GetHighestClaiming(inTags, inTag))
            return found;
    }
    return nullptr;
}

VUTI* VUTI::GetHighestParentThatConformsToExtension(const VString& inExtension) const
{
    return _GetHighestClaiming(&VUTI::fExtensions, inExtension);
}

VUTI* VUTI::GetHighestParentThatConformsToOSType(const VString& inOSType) const
{
    return _GetHighestClaiming(&VUTI::fOSTypes, inOSType);
}

VUTI* VUTI::GetHighestParentThatConformsToMIMEType(const VString& inMIMEType) const
{
    return _GetHighestClaiming(&VUTI::fMIMETypes, inMIMEType);
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
    for (const VString& extension : fExtensions)
        _AddTag(ioExtensions, extension);
    for (const auto& [identifier, parent] : fParents)
    {
        if (!parent->IsTemporary())
            parent->GetAllExtensionsVector(ioExtensions);
    }
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
    for (const auto& [identifier, relative] : inFrom->*inMap)
    {
        if (relative->IsTemporary())
        {
            if (inWithPlaceholders && SameIdentifier(relative->GetIdentifier(), inType->GetIdentifier()))
                return true;
            continue;
        }
        if (SameIdentifier(relative->GetIdentifier(), inType->GetIdentifier()) ||
            _Relates(inMap, relative, inType, false))
            return true;
    }
    return false;
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
    if (IsChild(inType))
        return true;
    for (const auto& [identifier, parent] : fParents)
    {
        if (!parent->IsTemporary() && parent->IsChildOrChildOfAParent(inType))
            return true;
    }
    return false;
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

bool VUTI::ConformsToIdentifier(const VString& inIdentifier) const
{
    if (inIdentifier.IsEmpty())
        return false;
    if (SameIdentifier(fIdentifier, inIdentifier))
        return true;
    for (const auto& [identifier, parent] : fParents)
    {
        if (!parent->IsTemporary() && parent->ConformsToIdentifier(inIdentifier))
            return true;
    }
    return false;
}

bool VUTI::IsPublic() const
{
    return fIdentifier.BeginsWith(kPublicPrefix, false);
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
