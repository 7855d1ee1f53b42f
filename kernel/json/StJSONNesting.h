// StJSONNesting bounds the recursion of the JSON readers, writers and comparisons: each level of
// nesting opens one on the stack for its scope. A level is refused (kova 108 raised) past 10,000
// levels on the calling thread or when less than 10,240 bytes of stack would be left, so that a
// text of a million "[" fails cleanly instead of overflowing a small task stack.
//
//     StJSONNesting level;
//     if (!level.IsOK())
//         return VE_JSON_NOT_ENOUGH_STACK;
#pragma once

#include "kernel/values/Sanitizers.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

#if defined(KOVA_ADDRESS_SANITIZER) || defined(KOVA_THREAD_SANITIZER)
#define KOVA_JSON_SANITIZED_STACK 1
#endif

class StJSONNesting
{
public:
    static constexpr uint32_t kMaxDepth = 10000;
#ifdef KOVA_JSON_SANITIZED_STACK
    // A sanitizer's frames and its stack traces take several times the room: the error that
    // reports the refusal must still find stack for itself.
    static constexpr size_t kMinFreeStack = 4 * 10240;
#else
    static constexpr size_t kMinFreeStack = 10240;
#endif

    StJSONNesting();
    ~StJSONNesting();
    StJSONNesting(const StJSONNesting&) = delete;
    StJSONNesting& operator=(const StJSONNesting&) = delete;

    // False when the level was refused; the error is already raised.
    bool IsOK() const
    {
        return fOK;
    }

private:
    bool fOK;
};

} // namespace kova
