// What the JSON targets share. The readers let sharing expand a value far beyond its input
// (JSONExpandedSize.h): a 2 MB form may stand for 32 MB of text. The checks that walk a value
// whole (writing it as text, reading that text again) run only where the walk stays within the
// copy bound of the input, a few times its size, so that a target's time per input stays in
// proportion to the input, as the readers' own does.
#pragma once

#include "kernel/json/JSONExpandedSize.h"
#include "kernel/json/VJSONValue.h"

#include <cstddef>

namespace kova::fuzz
{

inline bool WalksInProportion(const VJSONValue& inValue, size_t inInputSize)
{
    const uint64_t limit = JSONCopyBound(inInputSize);
    return JSONExpandedSize(inValue, limit) <= limit;
}

} // namespace kova::fuzz
