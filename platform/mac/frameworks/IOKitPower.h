// Our stand-in for the system power notifications of IOKit: registration for the root power
// domain's messages (the machine can sleep, will sleep, has woken up), the notification port whose
// run-loop source carries them, and the answer that lets the machine sleep.
//
// A Linux server has no power source that tells of sleep: registration succeeds and no message
// ever comes, except those a test posts (PostSystemPowerMessageForTesting). A posted message waits
// in each registration's port and reaches its callback on the run loop the port's source was added
// to, when that loop runs, as the system's messages would.
#pragma once

#include <cstdint>

namespace kova::cf
{
struct RunLoopSource;
} // namespace kova::cf

namespace kova::io
{

using Connect = uint32_t;
using Object = uint32_t;
using Service = uint32_t;
struct NotificationPort;

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
// The port's source (cf::RunLoopAddSource puts it on a loop); it lives as long as the port.
cf::RunLoopSource* NotificationPortGetRunLoopSource(NotificationPort* inPort);
// Lets the machine go on with the power change that the message's argument names.
int32_t AllowPowerChange(Connect inConnection, intptr_t inNotificationID);
// Ends the registration of the notifier object (cleared): no message reaches its port any more.
int32_t DeregisterForSystemPower(Object* ioNotifier);
int32_t ServiceClose(Connect inConnection);
// Takes the port's source off its loop and drops the messages still waiting.
void NotificationPortDestroy(NotificationPort* inPort);

// For tests. Posts a message to every registration; the argument is the notification id that
// AllowPowerChange is answered with.
void PostSystemPowerMessageForTesting(uint32_t inMessageType, intptr_t inNotificationID);
// The power changes allowed so far, and the id of the last one.
int32_t CountAllowedPowerChangesForTesting();
intptr_t GetLastAllowedPowerChangeForTesting();
// The next registration fails.
void FailNextRegistrationForTesting();

} // namespace kova::io
