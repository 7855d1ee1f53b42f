// Our stand-in for the system power notifications of IOKit: registration for the root power
// domain's messages (the machine can sleep, will sleep, has woken up), the notification port whose
// run-loop source carries them, and the answer that lets the machine sleep.
//
// A Linux server has no power source that tells of sleep: registration succeeds and no message
// ever comes, except those a test posts (PostSystemPowerMessageForTesting). A posted message
// reaches each registration's callback on the run loop its port's source was added to, when that
// loop runs, as the system's messages would. Our run loop has timers only: a port's source hands
// each message over as a one-shot timer on its loop.
#pragma once

#include <cstdint>

namespace kova::cf
{
struct RunLoop;
} // namespace kova::cf

namespace kova::io
{

using Connect = uint32_t;
using Object = uint32_t;
using Service = uint32_t;
struct NotificationPort;
struct RunLoopSource;

using ServiceInterestCallBack = void (*)(void* inRefCon, Service inService, uint32_t inMessageType,
                                         void* inMessageArgument);

constexpr uint32_t kMessageCanSystemSleep = 0xE0000270;
constexpr uint32_t kMessageSystemWillSleep = 0xE0000280;
constexpr uint32_t kMessageSystemHasPoweredOn = 0xE0000300;

constexpr int32_t kReturnSuccess = 0;
constexpr int32_t kReturnBadArgument = int32_t(0xE00002C2);

// The connection to the root power domain (0 on failure), with the port and the notifier object
// to hand back at the end. The callback gets inRefCon with each message.
Connect RegisterForSystemPower(void* inRefCon, NotificationPort** outPort, ServiceInterestCallBack inCallBack,
                               Object* outNotifier);
// The port's source; it lives as long as the port.
RunLoopSource* NotificationPortGetRunLoopSource(NotificationPort* inPort);
// CFRunLoopAddSource and CFRunLoopRemoveSource for a port's source: its messages go to that loop.
// A source belongs to one loop at a time.
void RunLoopAddSource(cf::RunLoop* inLoop, RunLoopSource* inSource);
void RunLoopRemoveSource(cf::RunLoop* inLoop, RunLoopSource* inSource);
// Lets the machine go on with the power change that the message's argument names.
int32_t AllowPowerChange(Connect inConnection, intptr_t inNotificationID);
// Ends the registration of the notifier object (cleared); its pending messages are dropped.
int32_t DeregisterForSystemPower(Object* ioNotifier);
int32_t ServiceClose(Connect inConnection);
void NotificationPortDestroy(NotificationPort* inPort);

// For tests. Posts a message to every registration whose source is on a loop; the argument is the
// notification id that AllowPowerChange is answered with.
void PostSystemPowerMessageForTesting(uint32_t inMessageType, intptr_t inNotificationID);
// The power changes allowed so far, and the id of the last one.
int32_t CountAllowedPowerChangesForTesting();
intptr_t GetLastAllowedPowerChangeForTesting();
// The next registration fails.
void FailNextRegistrationForTesting();

} // namespace kova::io
