// Checks shared by the readers of bags and packed dictionaries: their stream form is read from
// outside, so every count is weighed against the data the stream still holds before anything is
// allocated, and stored data that contradicts itself is refused as no bag data at all.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VStream;

// Child bags nest at most this deep in a stream; deeper data is refused before the reader's
// recursion could exhaust the stack.
constexpr uint32_t kMaxBagStreamDepth = 256;

// True when the stream still holds inBytes bytes, or cannot tell its size.
bool StreamHolds(VStream* ioStream, uint64_t inBytes);

// Reads the stream to its end so that its own end-of-data error is left stored, as after a read
// of the cut record, and returns that error.
VError FailAtEndOfStream(VStream* ioStream);

// Raises and returns kova 207: the data is not the form it claims to be.
VError ThrowCorruptData();

} // namespace kova
