#include "kernel/files/VFileKindManager.h"

#include "kernel/values/CompareResult.h"
#include "platform/mac/files/XMacFile.h"

#include <new>

namespace kova
{

VFileKindManager* VFileKindManager::sManager = nullptr;

bool VFileKindManager::Init()
{
    if (sManager == nullptr)
        sManager = new (std::nothrow) VFileKindManager;
    return true;
}

void VFileKindManager::DeInit()
{
    VFileKindManager* manager = sManager;
    sManager = nullptr;
    ReleaseRefCountable(&manager);
}

VFileKindManager::VFileKindManager()
{
    fLocalizedStrings[0].AppendCString("All");
    fLocalizedStrings[1].AppendCString("All readable documents");
}

VFileKindManager::~VFileKindManager() = default;

VFileKind* VFileKindManager::_Store(VFileKind* inKind)
{
    std::lock_guard<std::mutex> lock(fMutex);
    fKinds[inKind->GetID()] = VRefPtr<VFileKind>::Retained(inKind);
    return inKind;
}

VFileKind* VFileKindManager::RetainFileKind(const VString& inID)
{
    {
        std::lock_guard<std::mutex> lock(fMutex);
        const KindMap::const_iterator found = fKinds.find(inID);
        if (found != fKinds.end())
            return RetainRefCountable(found->second.Get());
    }
    // The system is asked outside the lock; the caller's reference is the one made.
    VFileKind* kind = XMacFile::CreatePublicFileKind(inID);
    return kind != nullptr ? _Store(kind) : nullptr;
}

void VFileKindManager::RegisterPrivateFileKind(const VString& inID, const std::vector<VString>& inOsKinds,
                                               const VString& inDescription,
                                               const std::vector<VString>& inExtensions,
                                               const std::vector<VString>& inParentIDs)
{
    VFileKind* kind = VFileKind::Create(inID, inOsKinds, inDescription, inExtensions, inParentIDs, false);
    if (kind != nullptr)
        _Store(kind)->Release();
}

void VFileKindManager::RegisterPrivateFileKind(const VString& inID, const VString& inDescription,
                                               const std::vector<VString>& inExtensions,
                                               const std::vector<VString>& inParentIDs)
{
    RegisterPrivateFileKind(inID, std::vector<VString>(), inDescription, inExtensions, inParentIDs);
}

VFileKind* VFileKindManager::_RetainFirstMatching(bool (VFileKind::*inMatch)(const VString&) const,
                                                  const VString& inTag) const
{
    std::lock_guard<std::mutex> lock(fMutex);
    for (const auto& [id, kind] : fKinds)
    {
        if ((kind.Get()->*inMatch)(inTag))
            return RetainRefCountable(kind.Get());
    }
    return nullptr;
}

VFileKind* VFileKindManager::RetainFirstFileKindMatchingWithExtension(const VString& inExtension)
{
    if (VFileKind* kind = _RetainFirstMatching(&VFileKind::MatchExtension, inExtension))
        return kind;
    VFileKind* kind = XMacFile::CreatePublicFileKindFromExtension(inExtension);
    return kind != nullptr ? _Store(kind) : nullptr;
}

VFileKind* VFileKindManager::RetainFirstFileKindMatchingWithOsKind(const VString& inOsKind)
{
    if (VFileKind* kind = _RetainFirstMatching(&VFileKind::MatchOsKind, inOsKind))
        return kind;
    return XMacFile::CreatePublicFileKindFromOsKind(inOsKind);
}

void VFileKindManager::RegisterLocalizedString(long inIndex, const VString& inText)
{
    std::lock_guard<std::mutex> lock(fMutex);
    if ((inIndex == 0 || inIndex == 1) && !inText.IsEmpty())
        fLocalizedStrings[inIndex].FromString(inText);
}

void VFileKindManager::GetLocalizedString(long inIndex, VString& outText) const
{
    std::lock_guard<std::mutex> lock(fMutex);
    if (inIndex == 0 || inIndex == 1)
        outText.FromString(fLocalizedStrings[inIndex]);
}

} // namespace kova
