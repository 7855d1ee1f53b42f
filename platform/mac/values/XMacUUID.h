// The platform half of VUUID: makes new identifiers.
#pragma once

namespace kova
{

struct VUUIDBuffer;

class XMacUUID
{
public:
    XMacUUID() = delete;

    // A new random identifier; false, with the buffer left as it was, when none can be made.
    static bool Generate(VUUIDBuffer* outBuffer);
};

} // namespace kova
