#include "kernel/errors/VProgressManager.h"

#include "kernel/errors/VProgressIndicator.h"
#include "kernel/text/VString.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

VProgressManager* VProgressManager::sProgressManager = nullptr;

VProgressManager::~VProgressManager() = default;

bool VProgressManager::Init()
{
    if (sProgressManager == nullptr)
        sProgressManager = new (std::nothrow) VProgressManager;
    return true;
}

bool VProgressManager::Deinit()
{
    delete sProgressManager;
    sProgressManager = nullptr;
    return true;
}

void VProgressManager::_RegisterProgress(VProgressIndicator* inIndicator)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr || inIndicator == nullptr)
        return;
    StLocker locker(manager->fLock);
    manager->fIndicators.emplace(inIndicator->GetID(), inIndicator);
}

void VProgressManager::_UnregisterProgress(VProgressIndicator* inIndicator)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr || inIndicator == nullptr)
        return;
    StLocker locker(manager->fLock);
    auto found = manager->fIndicators.find(inIndicator->GetID());
    if (found == manager->fIndicators.end() || found->second != inIndicator)
        return;
    inIndicator->DoMetrics();
    manager->fIndicators.erase(found);
}

VProgressIndicator* VProgressManager::RetainProgress(const VUUID& inID)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return nullptr;
    StLocker locker(manager->fLock);
    auto found = manager->fIndicators.find(inID);
    return found != manager->fIndicators.end() && found->second->RetainIfAlive() ? found->second : nullptr;
}

VProgressIndicator* VProgressManager::_RetainProgressIndicator(const VString& inUserInfo)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return nullptr;
    StLocker locker(manager->fLock);
    VString userInfo;
    for (auto& [id, indicator] : manager->fIndicators)
    {
        indicator->GetUserInfo(userInfo);
        if (userInfo.EqualToString(inUserInfo, false))
            return indicator->RetainIfAlive() ? indicator : nullptr;
    }
    return nullptr;
}

VError VProgressManager::_GetProgressInfo(VValueBag& ioBag, const VString* inUserInfo)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return VE_OK;
    // An indicator in the registry is alive as long as the lock is held: no reference is needed.
    StLocker locker(manager->fLock);
    VString userInfo;
    for (auto& [id, indicator] : manager->fIndicators)
    {
        if (inUserInfo != nullptr)
        {
            indicator->GetUserInfo(userInfo);
            if (!userInfo.EqualToString(*inUserInfo, false))
                continue;
        }
        _ProgressInfoToBag(ioBag, indicator);
        if (inUserInfo != nullptr)
            break;
    }
    return VE_OK;
}

VError VProgressManager::GetAllProgressInfo(std::vector<VRefPtr<VRefCountedSessionInfo>>& outSessions)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return VE_OK;
    StLocker locker(manager->fLock);
    for (auto& [id, indicator] : manager->fIndicators)
    {
        if (indicator->GetSessionCount() == 0)
            continue;
        indicator->_RequestSnapshot();
        VRefPtr<VRefCountedSessionInfo> snapshot(indicator->RetainSessionsInfos());
        if (snapshot != nullptr)
            outSessions.push_back(std::move(snapshot));
    }
    return VE_OK;
}

VProgressIndicator* VProgressManager::CreateStdProgress(int32_t inKind, uint32_t inOptions)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return nullptr;
    IProgressIndicatorFactory* factory = nullptr;
    {
        StLocker locker(manager->fLock);
        factory = manager->fFactory;
    }
    return factory != nullptr ? factory->CreateStdProgress(inKind, inOptions) : nullptr;
}

void VProgressManager::SetStdProgressFactory(IProgressIndicatorFactory* inFactory)
{
    VProgressManager* manager = sProgressManager;
    if (manager == nullptr)
        return;
    StLocker locker(manager->fLock);
    manager->fFactory = inFactory;
}

void _ProgressInfoToBag(VValueBag& ioBag, VProgressIndicator* inIndicator)
{
    VRefPtr<VValueBag> element(new (std::nothrow) VValueBag);
    if (element == nullptr || inIndicator == nullptr)
        return;
    inIndicator->SaveInfoToBag(*element);
    ioBag.AddElement("ProgressInfo", element.Get());
}

} // namespace kova
