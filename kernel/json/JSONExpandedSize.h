// What a walk of a JSON value costs when it follows every shared object and array to its end, as
// writing text, comparing, making a tree copy or a value bag do: each value counts one, a string
// and a property name one more per unit, a blob one more per byte, and the contents of a shared
// collection count again each time the walk reaches it. A collection reached again while its own
// walk is under way (a cycle) counts one, as the walks stop there.
//
// Sharing lets a small input stand for a value whose walk never ends (each of 24 arrays holding
// the one before it twice is 2^24 values). A reader of outside input refuses, with kova 918, a
// value whose expanded size passes the bound of what it built: JSONExpansionBound of its distinct
// size, each collection counted once. The bound follows the value, not the bytes it came from, so
// that what a reader skipped neither buys nor costs anything and a value written again (in the
// binary form, which keeps the sharing) reads back; the binary writer refuses with kova 918 what
// would not.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <algorithm>
#include <cstdint>

namespace kova
{

class VJSONValue;

// max(inFloor, inFactor times inSize), held below half the range so that a bound plus a size
// measured under it cannot wrap.
constexpr uint64_t JSONScaledBound(uint64_t inSize, uint64_t inFloor, uint64_t inFactor)
{
    return std::max(inFloor, std::min(inSize, UINT64_MAX / (2 * inFactor)) * inFactor);
}

// Expanded sizes up to this are always allowed, whatever the value's size: some 16 million
// values and units, a walk of a fraction of a second and a text of 32 MB. A fan-out of a few
// kilobytes to 2^24 values goes past it, its collections counting too.
constexpr uint64_t kJSONExpansionFloor = uint64_t(1) << 24;
// Per unit of the distinct size, the expanded size allowed: a part may be met 16 times over, a
// list holding one part 16 times always reads.
constexpr uint64_t kJSONExpansionFactor = 16;

constexpr uint64_t JSONExpansionBound(uint64_t inDistinctSize)
{
    return JSONScaledBound(inDistinctSize, kJSONExpansionFloor, kJSONExpansionFactor);
}

// What a reading may copy, where it builds each part as many times as it is met (a value bag read
// from text, the copies that patched references make): a few times its input, at least 65,536.
// Copies take memory, where sharing takes only the time of a walk.
constexpr uint64_t kJSONCopyFloor = uint64_t(1) << 16;
constexpr uint64_t kJSONCopyFactor = 4;

constexpr uint64_t JSONCopyBound(uint64_t inInputSize)
{
    return JSONScaledBound(inInputSize, kJSONCopyFloor, kJSONCopyFactor);
}

// The expanded size, or some number above inLimit as soon as it passes inLimit: the walk stops
// there, so that measuring costs no more than the limit, and each shared part already measured
// costs one step (a part of a cycle, where what it reached up the stack is open as it was). In a
// value with cycles the answer may lie above the walk's cost, never below it.
uint64_t JSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit);

// The size with each collection counted once: what was read to make the value.
uint64_t JSONDistinctSize(const VJSONValue& inValue);

// The bound of the value's own distinct size.
uint64_t JSONExpansionLimit(const VJSONValue& inValue);

// Raises kova 918 and answers it when the expanded size passes the limit; 0 otherwise.
VError CheckJSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit);

} // namespace kova
