#include "kernel/files/VFileKind.h"

#include "kernel/files/VFileKindManager.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFile.h"

#include <new>

namespace kova
{

namespace
{

bool FirstOf(const std::vector<VString>& inList, VString& outFirst)
{
    if (inList.empty())
    {
        outFirst.Clear();
        return false;
    }
    outFirst.FromString(inList.front());
    return true;
}

} // namespace

VFileKind::VFileKind(const VString& inID, const std::vector<VString>& inOsKinds, const VString& inDescription,
                     const std::vector<VString>& inExtensions, const std::vector<VString>& inParentIDs,
                     bool inPublic)
    : fDescription(inDescription), fID(inID), fOsKinds(inOsKinds), fExtensions(inExtensions),
      fParentIDs(inParentIDs), fPublic(inPublic)
{
}

VFileKind* VFileKind::Create(const VString& inID, const std::vector<VString>& inOsKinds,
                             const VString& inDescription, const std::vector<VString>& inExtensions,
                             const std::vector<VString>& inParentIDs, bool inPublic)
{
    try
    {
        return new VFileKind(inID, inOsKinds, inDescription, inExtensions, inParentIDs, inPublic);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool VFileKind::MatchExtension(const VString& inExtension) const
{
    for (const VString& extension : fExtensions)
    {
        if (extension.EqualToString(inExtension, false))
            return true;
    }
    return false;
}

bool VFileKind::MatchOsKind(const VString& inOsKind) const
{
    for (const VString& osKind : fOsKinds)
    {
        if (osKind.EqualToString(inOsKind, true))
            return true;
    }
    return false;
}

bool VFileKind::GetPreferredExtension(VString& outExtension) const
{
    return FirstOf(fExtensions, outExtension);
}

bool VFileKind::GetPreferredOsKind(VString& outOsKind) const
{
    return FirstOf(fOsKinds, outOsKind);
}

void VFileKind::GetParentIDs(std::vector<VString>& ioParentIDs) const
{
    ioParentIDs.insert(ioParentIDs.end(), fParentIDs.begin(), fParentIDs.end());
}

bool VFileKind::ConformsTo(const VFileKind& inKind) const
{
    return XMacFile::IsFileKindConformsTo(*this, inKind);
}

bool VFileKind::ConformsTo(const VString& inID) const
{
    VFileKindManager* manager = VFileKindManager::Get();
    VRefPtr<VFileKind> kind(manager != nullptr ? manager->RetainFileKind(inID) : nullptr);
    return kind != nullptr && ConformsTo(*kind);
}

} // namespace kova
