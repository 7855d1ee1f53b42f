// XMacSleepNotifier is the platform half of VSleepNotifier: it registers for the system's power
// messages and hands them to its owner on the run loop of the thread that started it. Owned by
// the VSleepNotifier that makes it.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova::cf
{
struct RunLoop;
struct RunLoopSource;
} // namespace kova::cf

namespace kova::io
{
struct NotificationPort;
} // namespace kova::io

namespace kova
{

class VSleepNotifier;

class XMacSleepNotifier
{
public:
    XMacSleepNotifier() = default;
    XMacSleepNotifier(const XMacSleepNotifier&) = delete;
    XMacSleepNotifier& operator=(const XMacSleepNotifier&) = delete;
    // Takes the source off its run loop and ends the registration.
    ~XMacSleepNotifier();

    // Registers for the power messages and puts their source on the calling thread's run loop.
    // 0, or kova 1150 (raised) when either fails. Once registered, later calls do nothing.
    VError Init();
    void SetOwner(VSleepNotifier* inOwner) { fOwner = inOwner; }

    // The power messages: woken up, will sleep (the change is allowed once the owner has told its
    // handlers), can sleep (allowed at once: sleep is never vetoed). Others, and a callback
    // without its object, do nothing.
    static void SystemCallback(void* inRefCon, uint32_t inService, uint32_t inMessageType,
                               void* inMessageArgument);

private:
    VSleepNotifier* fOwner = nullptr;
    // The registration's handles (io::Object, io::Connect).
    uint32_t fNotifier = 0;
    io::NotificationPort* fPort = nullptr;
    uint32_t fRootPort = 0;
    cf::RunLoop* fRunLoop = nullptr;
    cf::RunLoopSource* fSource = nullptr;
};

} // namespace kova
