#include "platform/mac/tasks/XMacSleepNotifier.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VSleepNotifier.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/IOKitPower.h"

namespace kova
{

XMacSleepNotifier::~XMacSleepNotifier()
{
    if (fSource != nullptr)
        cf::RunLoopSourceInvalidate(fSource);
    if (fRootPort != 0)
    {
        io::DeregisterForSystemPower(&fNotifier);
        io::ServiceClose(fRootPort);
    }
    io::NotificationPortDestroy(fPort);
}

VError XMacSleepNotifier::Init()
{
    if (fSource != nullptr)
        return VE_OK;
    if (fRootPort == 0)
        fRootPort = io::RegisterForSystemPower(this, &fPort, SystemCallback, &fNotifier);
    if (fRootPort != 0)
    {
        cf::RunLoop* loop = cf::RunLoopGetCurrent();
        cf::RunLoopSource* source = io::NotificationPortGetRunLoopSource(fPort);
        if (loop != nullptr && source != nullptr)
        {
            cf::RunLoopAddSource(loop, source);
            fRunLoop = loop;
            fSource = source;
            return VE_OK;
        }
    }
    _ThrowError(VE_SLEEP_NOTIFIER_NOT_REGISTERED);
    return VE_SLEEP_NOTIFIER_NOT_REGISTERED;
}

void XMacSleepNotifier::SystemCallback(void* inRefCon, uint32_t, uint32_t inMessageType,
                                       void* inMessageArgument)
{
    XMacSleepNotifier* notifier = static_cast<XMacSleepNotifier*>(inRefCon);
    if (notifier == nullptr)
        return;
    switch (inMessageType)
    {
    case io::kMessageSystemHasPoweredOn:
        if (notifier->fOwner != nullptr)
            notifier->fOwner->HaveWakeupNotification();
        break;
    case io::kMessageSystemWillSleep:
    {
        // The machine sleeps only once every handler has returned. A handler may have ended the
        // notifier meanwhile: its connection is read before.
        const uint32_t connection = notifier->fRootPort;
        if (notifier->fOwner != nullptr)
            notifier->fOwner->HaveSleepNotification();
        io::AllowPowerChange(connection, reinterpret_cast<intptr_t>(inMessageArgument));
        break;
    }
    case io::kMessageCanSystemSleep:
        io::AllowPowerChange(notifier->fRootPort, reinterpret_cast<intptr_t>(inMessageArgument));
        break;
    default:
        break;
    }
}

} // namespace kova
