// VBidiRun describes one run of a text for bidirectional display: where it starts (0-based, in
// logical order), how many units it holds, and its embedding level (even left-to-right, odd
// right-to-left). The international manager does not reorder text: a text is one run.
#pragma once

#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VBidiRun : public VObject
{
public:
    VBidiRun(int32_t inStart, int32_t inLength, int32_t inLevel)
        : fStart(inStart), fLength(inLength), fLevel(inLevel)
    {
    }

    int32_t GetStart() const { return fStart; }
    int32_t GetLength() const { return fLength; }
    int32_t GetLevel() const { return fLevel; }

private:
    int32_t fStart;
    int32_t fLength;
    int32_t fLevel;
};

} // namespace kova
