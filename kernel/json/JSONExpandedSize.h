// What a walk of a JSON value costs when it follows every shared object and array to its end, as
// writing text, comparing, making a tree copy or a value bag do: each value counts one, a string
// and a property name one more per unit, a blob one more per byte, and the contents of a shared
// collection count again each time the walk reaches it. A collection reached again while its own
// walk is under way (a cycle) counts one, as the walks stop there.
//
// Sharing lets a small input stand for a value whose walk never ends (each of 24 arrays holding
// the one before it twice is 2^24 values). A reader of outside input refuses, with kova 918, a
// value whose expanded size passes JSONExpansionBound of its input's size; sharing of the usual
// kind, a part met a few times, stays far below it.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <algorithm>
#include <cstdint>

namespace kova
{

class VJSONValue;

// Expanded sizes up to this are always allowed, whatever the input's size.
constexpr uint64_t kJSONExpansionFloor = uint64_t(1) << 16;
// Per unit of input (a byte of binary form, a unit of text), the expanded size allowed. A value
// weighs about half its input or less, so this lets a value be walked some 8 times over and
// more: sharing of the usual kind, while the cost of a walk stays a small multiple of the
// input's.
constexpr uint64_t kJSONExpansionFactor = 4;

constexpr uint64_t JSONExpansionBound(uint64_t inInputSize)
{
    return std::max(kJSONExpansionFloor,
                    std::min(inInputSize, UINT64_MAX / (2 * kJSONExpansionFactor)) * kJSONExpansionFactor);
}

// The expanded size, or some number above inLimit as soon as it passes inLimit: the walk stops
// there, so that measuring costs no more than the limit, and each shared part already measured
// costs one step.
uint64_t JSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit);

// The size with each collection counted once: what was read to make the value.
uint64_t JSONDistinctSize(const VJSONValue& inValue);

// Raises kova 918 and answers it when the expanded size passes the limit; 0 otherwise.
VError CheckJSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit);

} // namespace kova
