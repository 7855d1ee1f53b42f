#include "platform/mac/frameworks/IOKitPower.h"

#include "platform/mac/frameworks/CFRunLoop.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace kova::io
{

struct RunLoopSource
{
    NotificationPort* fPort = nullptr;
};

struct NotificationPort
{
    RunLoopSource fSource;
};

namespace
{

// A message on its way: the timer that carries it to the registration's loop.
struct Pending
{
    uint64_t fID = 0;
    cf::RunLoopTimer* fTimer = nullptr;
    uint32_t fMessageType = 0;
    intptr_t fArgument = 0;
};

struct Registration
{
    Object fNotifier = 0;
    Connect fConnection = 0;
    void* fRefCon = nullptr;
    ServiceInterestCallBack fCallBack = nullptr;
    NotificationPort* fPort = nullptr;
    cf::RunLoop* fLoop = nullptr;
    std::vector<Pending> fPending;
};

// Every registration, and the counters of the tests. Timers carry the id of their message, never a
// pointer: a message dropped while its timer fires is simply not found.
struct State
{
    std::mutex fMutex;
    std::vector<Registration> fRegistrations;
    uint32_t fNextHandle = 0;
    uint64_t fNextMessageID = 0;
    bool fFailNext = false;
    int32_t fAllowed = 0;
    intptr_t fLastAllowed = 0;
};

State& GetState()
{
    static State* sState = new State;
    return *sState;
}

// Handles are never 0, which means failure.
uint32_t NextHandle(State& ioState)
{
    if (++ioState.fNextHandle == 0)
        ++ioState.fNextHandle;
    return ioState.fNextHandle;
}

// With the state's mutex held: the pending messages' timers are taken off their loop.
void DropPending(Registration& ioRegistration)
{
    for (Pending& pending : ioRegistration.fPending)
    {
        cf::RunLoopTimerInvalidate(pending.fTimer);
        cf::RunLoopTimerRelease(pending.fTimer);
    }
    ioRegistration.fPending.clear();
}

Registration* FindBySource(State& ioState, const RunLoopSource* inSource)
{
    for (Registration& registration : ioState.fRegistrations)
    {
        if (registration.fPort != nullptr && &registration.fPort->fSource == inSource)
            return &registration;
    }
    return nullptr;
}

void DeliverPending(cf::RunLoopTimer*, void* inInfo)
{
    const uint64_t id = reinterpret_cast<uintptr_t>(inInfo);
    State& state = GetState();
    ServiceInterestCallBack callBack = nullptr;
    void* refCon = nullptr;
    Pending delivered;
    {
        std::lock_guard<std::mutex> lock(state.fMutex);
        for (Registration& registration : state.fRegistrations)
        {
            auto found = std::find_if(registration.fPending.begin(), registration.fPending.end(),
                                      [id](const Pending& inPending) { return inPending.fID == id; });
            if (found == registration.fPending.end())
                continue;
            delivered = *found;
            registration.fPending.erase(found);
            callBack = registration.fCallBack;
            refCon = registration.fRefCon;
            break;
        }
    }
    if (delivered.fTimer == nullptr)
        return;
    cf::RunLoopTimerRelease(delivered.fTimer);
    if (callBack != nullptr)
        callBack(refCon, 0, delivered.fMessageType, reinterpret_cast<void*>(delivered.fArgument));
}

} // namespace

Connect RegisterForSystemPower(void* inRefCon, NotificationPort** outPort, ServiceInterestCallBack inCallBack,
                               Object* outNotifier)
{
    if (outPort != nullptr)
        *outPort = nullptr;
    if (outNotifier != nullptr)
        *outNotifier = 0;
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    if (state.fFailNext || outPort == nullptr || outNotifier == nullptr || inCallBack == nullptr)
    {
        state.fFailNext = false;
        return 0;
    }
    NotificationPort* port = new (std::nothrow) NotificationPort;
    if (port == nullptr)
        return 0;
    port->fSource.fPort = port;
    Registration registration;
    registration.fNotifier = NextHandle(state);
    registration.fConnection = NextHandle(state);
    registration.fRefCon = inRefCon;
    registration.fCallBack = inCallBack;
    registration.fPort = port;
    state.fRegistrations.push_back(std::move(registration));
    *outPort = port;
    *outNotifier = state.fRegistrations.back().fNotifier;
    return state.fRegistrations.back().fConnection;
}

RunLoopSource* NotificationPortGetRunLoopSource(NotificationPort* inPort)
{
    return inPort != nullptr ? &inPort->fSource : nullptr;
}

void RunLoopAddSource(cf::RunLoop* inLoop, RunLoopSource* inSource)
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    if (Registration* registration = FindBySource(state, inSource))
    {
        if (registration->fLoop != inLoop)
            DropPending(*registration);
        registration->fLoop = inLoop;
    }
}

void RunLoopRemoveSource(cf::RunLoop* inLoop, RunLoopSource* inSource)
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    Registration* registration = FindBySource(state, inSource);
    if (registration != nullptr && registration->fLoop == inLoop)
    {
        DropPending(*registration);
        registration->fLoop = nullptr;
    }
}

int32_t AllowPowerChange(Connect inConnection, intptr_t inNotificationID)
{
    if (inConnection == 0)
        return kReturnBadArgument;
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    ++state.fAllowed;
    state.fLastAllowed = inNotificationID;
    return kReturnSuccess;
}

int32_t DeregisterForSystemPower(Object* ioNotifier)
{
    if (ioNotifier == nullptr || *ioNotifier == 0)
        return kReturnBadArgument;
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    auto found = std::find_if(state.fRegistrations.begin(), state.fRegistrations.end(),
                              [ioNotifier](const Registration& inRegistration)
                              { return inRegistration.fNotifier == *ioNotifier; });
    if (found == state.fRegistrations.end())
        return kReturnBadArgument;
    DropPending(*found);
    state.fRegistrations.erase(found);
    *ioNotifier = 0;
    return kReturnSuccess;
}

int32_t ServiceClose(Connect inConnection)
{
    return inConnection != 0 ? kReturnSuccess : kReturnBadArgument;
}

void NotificationPortDestroy(NotificationPort* inPort)
{
    if (inPort == nullptr)
        return;
    {
        // A registration still naming the port (never deregistered) loses it.
        State& state = GetState();
        std::lock_guard<std::mutex> lock(state.fMutex);
        for (Registration& registration : state.fRegistrations)
        {
            if (registration.fPort == inPort)
            {
                DropPending(registration);
                registration.fPort = nullptr;
                registration.fLoop = nullptr;
            }
        }
    }
    delete inPort;
}

void PostSystemPowerMessageForTesting(uint32_t inMessageType, intptr_t inNotificationID)
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    for (Registration& registration : state.fRegistrations)
    {
        if (registration.fLoop == nullptr)
            continue;
        Pending pending;
        pending.fID = ++state.fNextMessageID;
        pending.fMessageType = inMessageType;
        pending.fArgument = inNotificationID;
        pending.fTimer = cf::RunLoopTimerCreate(cf::AbsoluteTimeGetCurrent(), 0, DeliverPending,
                                                reinterpret_cast<void*>(uintptr_t(pending.fID)));
        if (pending.fTimer == nullptr)
            continue;
        registration.fPending.push_back(pending);
        cf::RunLoopAddTimer(registration.fLoop, pending.fTimer);
    }
}

int32_t CountAllowedPowerChangesForTesting()
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    return state.fAllowed;
}

intptr_t GetLastAllowedPowerChangeForTesting()
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    return state.fLastAllowed;
}

void FailNextRegistrationForTesting()
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    state.fFailNext = true;
}

} // namespace kova::io
