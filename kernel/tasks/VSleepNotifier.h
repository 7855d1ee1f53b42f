// VSleepNotifier tells interested objects (ISleepHandler) that the machine is about to sleep or has
// woken up, and lets the machine sleep once they have been told. The command-line process base
// makes it and starts it (Init) while it initialises; power messages then arrive on the run loop
// of the thread that started it, normally the main thread. Each message is also written to the
// process logger and switches the fiber scheduler's run-loop mode.
//
// Handlers are called in ascending order of their addresses, outside the lock, each kept alive
// until its call returns: a handler may register or unregister handlers, itself included, while
// it is being told.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <set>

namespace kova
{

class XMacSleepNotifier;

class VSleepNotifier : public VObject
{
public:
    class ISleepHandler : public IRefCountable
    {
    public:
        // The machine is going to sleep; it sleeps once every handler has returned.
        virtual void DoSleep() = 0;
        virtual void DoWakeup() = 0;
        // For traces.
        virtual VString GetSleepHandlerName() = 0;
    };

    // Idle until Init.
    VSleepNotifier();
    VSleepNotifier(const VSleepNotifier&) = delete;
    VSleepNotifier& operator=(const VSleepNotifier&) = delete;
    // Releases the handlers, then ends the registration for power messages.
    ~VSleepNotifier() override;

    // The started notifier (the command-line process's); null when none runs.
    static VSleepNotifier* Instance();

    // Starts receiving power messages on the calling thread's run loop. 0, or the failure, raised
    // twice (the platform's and this one's); the process goes on without sleep notifications.
    VError Init();

    // 0, or kova 3 (returned, not raised) for null. A handler is retained once, however many
    // times it is registered.
    VError RegisterSleepHandler(ISleepHandler* inHandler);
    // 0, or kova 3 for null. A handler that is not registered is ignored.
    VError UnregisterSleepHandler(ISleepHandler* inHandler);
    // Releases every handler; 0.
    VError UnregisterSleepHandlers();

    // From the platform notifier: logs the message and tells every handler.
    void HaveSleepNotification();
    void HaveWakeupNotification();

private:
    void _Notify(bool inSleep);

    XMacSleepNotifier* fPlatform;
    // Each retained while it is in the set.
    std::set<ISleepHandler*> fHandlers;
    VCriticalSection fLock;
};

} // namespace kova
