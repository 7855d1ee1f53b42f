#include "platform/mac/frameworks/IOKitPower.h"

#include "platform/mac/frameworks/CFRunLoop.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <new>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace kova::io
{

// A registration's end of the messages: a queue, and an event counter (one count per message)
// that its run-loop source waits on.
struct NotificationPort
{
    struct Message
    {
        uint32_t fType;
        intptr_t fArgument;
    };

    int fEvent = -1;
    cf::RunLoopSource* fSource = nullptr;
    void* fRefCon = nullptr;
    ServiceInterestCallBack fCallBack = nullptr;
    Object fNotifier = 0;
    std::mutex fMutex;
    std::deque<Message> fMessages;
};

namespace
{

// The live registrations' ports, and the counters of the tests.
struct State
{
    std::mutex fMutex;
    std::vector<NotificationPort*> fPorts;
    uint32_t fNextHandle = 0;
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

// One message a call: the port may be gone once its callback returns (a handler that ends the
// notifier), so nothing here touches it after the call; the count left calls again.
void DeliverOne(cf::RunLoopSource*, void* inInfo)
{
    NotificationPort* port = static_cast<NotificationPort*>(inInfo);
    uint64_t count = 0;
    if (::read(port->fEvent, &count, sizeof count) != sizeof count)
        return;
    NotificationPort::Message message;
    {
        std::lock_guard<std::mutex> lock(port->fMutex);
        if (port->fMessages.empty())
            return;
        message = port->fMessages.front();
        port->fMessages.pop_front();
    }
    if (port->fCallBack != nullptr)
        port->fCallBack(port->fRefCon, 0, message.fType, reinterpret_cast<void*>(message.fArgument));
}

void FreePort(NotificationPort* inPort)
{
    cf::RunLoopSourceInvalidate(inPort->fSource);
    cf::RunLoopSourceRelease(inPort->fSource);
    if (inPort->fEvent >= 0)
        ::close(inPort->fEvent);
    delete inPort;
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
    {
        std::lock_guard<std::mutex> lock(state.fMutex);
        const bool fail = state.fFailNext;
        state.fFailNext = false;
        if (fail || outPort == nullptr || outNotifier == nullptr || inCallBack == nullptr)
            return 0;
    }
    NotificationPort* port = new (std::nothrow) NotificationPort;
    if (port == nullptr)
        return 0;
    port->fRefCon = inRefCon;
    port->fCallBack = inCallBack;
    port->fEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    if (port->fEvent >= 0)
        port->fSource = cf::RunLoopFileDescriptorSourceCreate(port->fEvent, DeliverOne, port);
    if (port->fSource == nullptr)
    {
        FreePort(port);
        return 0;
    }
    std::lock_guard<std::mutex> lock(state.fMutex);
    port->fNotifier = NextHandle(state);
    state.fPorts.push_back(port);
    *outPort = port;
    *outNotifier = port->fNotifier;
    return NextHandle(state);
}

cf::RunLoopSource* NotificationPortGetRunLoopSource(NotificationPort* inPort)
{
    return inPort != nullptr ? inPort->fSource : nullptr;
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
    auto found = std::find_if(state.fPorts.begin(), state.fPorts.end(),
                              [ioNotifier](const NotificationPort* inPort)
                              { return inPort->fNotifier == *ioNotifier; });
    if (found == state.fPorts.end())
        return kReturnBadArgument;
    state.fPorts.erase(found);
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
        // A registration never ended loses its port here.
        State& state = GetState();
        std::lock_guard<std::mutex> lock(state.fMutex);
        state.fPorts.erase(std::remove(state.fPorts.begin(), state.fPorts.end(), inPort), state.fPorts.end());
    }
    FreePort(inPort);
}

void PostSystemPowerMessageForTesting(uint32_t inMessageType, intptr_t inNotificationID)
{
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    for (NotificationPort* port : state.fPorts)
    {
        {
            std::lock_guard<std::mutex> portLock(port->fMutex);
            port->fMessages.push_back({inMessageType, inNotificationID});
        }
        const uint64_t one = 1;
        if (::write(port->fEvent, &one, sizeof one) != sizeof one)
        {
            std::lock_guard<std::mutex> portLock(port->fMutex);
            port->fMessages.pop_back();
        }
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
