#include "kernel/tasks/VSleepNotifier.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VLogger.h"
#include "kernel/tasks/IFiberScheduler.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTaskMgr.h"
#include "platform/mac/tasks/XMacSleepNotifier.h"

#include <atomic>
#include <new>
#include <vector>

namespace kova
{

namespace
{

constinit std::atomic<VSleepNotifier*> sInstance{nullptr};

} // namespace

VSleepNotifier::VSleepNotifier() : fPlatform(new (std::nothrow) XMacSleepNotifier) {}

VSleepNotifier::~VSleepNotifier()
{
    VSleepNotifier* expected = this;
    sInstance.compare_exchange_strong(expected, nullptr);
    UnregisterSleepHandlers();
    delete fPlatform;
}

VSleepNotifier* VSleepNotifier::Instance()
{
    return sInstance.load(std::memory_order_acquire);
}

VError VSleepNotifier::Init()
{
    const VError error = fPlatform != nullptr ? fPlatform->Init() : VE_INVALID_PARAMETER;
    if (error != VE_OK)
    {
        _ThrowError(error);
        return error;
    }
    fPlatform->SetOwner(this);
    sInstance.store(this, std::memory_order_release);
    return VE_OK;
}

VError VSleepNotifier::RegisterSleepHandler(ISleepHandler* inHandler)
{
    if (inHandler == nullptr)
        return VE_INVALID_PARAMETER;
    StLocker lock(fLock);
    if (fHandlers.insert(inHandler).second)
        inHandler->Retain();
    return VE_OK;
}

VError VSleepNotifier::UnregisterSleepHandler(ISleepHandler* inHandler)
{
    if (inHandler == nullptr)
        return VE_INVALID_PARAMETER;
    bool found;
    {
        StLocker lock(fLock);
        found = fHandlers.erase(inHandler) != 0;
    }
    // Outside the lock: the last release may destroy the handler, which may unregister others.
    if (found)
        inHandler->Release();
    return VE_OK;
}

VError VSleepNotifier::UnregisterSleepHandlers()
{
    std::set<ISleepHandler*> handlers;
    {
        StLocker lock(fLock);
        handlers.swap(fHandlers);
    }
    for (ISleepHandler* handler : handlers)
        handler->Release();
    return VE_OK;
}

void VSleepNotifier::HaveSleepNotification()
{
    _Notify(true);
}

void VSleepNotifier::HaveWakeupNotification()
{
    _Notify(false);
}

void VSleepNotifier::_Notify(bool inSleep)
{
    if (VLogger* logger = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr)
        logger->LogMessage(EML_Info,
                           VString(inSleep ? "System is going to sleep" : "System woke up from sleep"),
                           VString("sleepNotifications"));
    IFiberScheduler* scheduler = VTaskMgr::Get()->RetainFiberScheduler();
    if (scheduler != nullptr)
        scheduler->SetSystemCallCFRunloop(inSleep);

    // A copy in the set's order, each retained: a handler unregistered by another meanwhile lives
    // until its own call is done.
    std::vector<ISleepHandler*> handlers;
    {
        StLocker lock(fLock);
        handlers.assign(fHandlers.begin(), fHandlers.end());
        for (ISleepHandler* handler : handlers)
            handler->Retain();
    }
    for (ISleepHandler* handler : handlers)
    {
        if (inSleep)
            handler->DoSleep();
        else
            handler->DoWakeup();
        handler->Release();
    }
    ReleaseRefCountable(&scheduler);
}

} // namespace kova
