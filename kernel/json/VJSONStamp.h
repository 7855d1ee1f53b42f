// VJSONStamp is a change counter that any number of JSON objects and arrays may share: every change
// of one of them advances it, so that one number tells whether anything in a tree changed. The
// binary reader attaches one to all it builds; an object serving a property through a getter
// answers the property's stamp with it. Counters only grow (modulo 2^32) and are hints of change,
// never identities: two tasks changing collections at once may see one number handed out twice.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>

namespace kova
{

class VJSONStamp : public VObject, public IRefCountable
{
public:
    VJSONStamp() = default;
    VJSONStamp(const VJSONStamp&) = delete;
    VJSONStamp& operator=(const VJSONStamp&) = delete;

    uint32_t GetCounter() const { return fCounter.load(std::memory_order_relaxed); }
    // One change more.
    void Touch() { fCounter.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> fCounter{0};
};

} // namespace kova
