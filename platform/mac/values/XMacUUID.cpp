#include "platform/mac/values/XMacUUID.h"

#include "kernel/values/VUUID.h"
#include "platform/mac/frameworks/CFUUID.h"

#include <cstring>

namespace kova
{

bool XMacUUID::Generate(VUUIDBuffer* outBuffer)
{
    cf::UUIDBytes bytes;
    if (outBuffer == nullptr || !cf::UUIDCreateRandom(bytes))
        return false;
    std::memcpy(outBuffer->fBytes, bytes.fBytes, sizeof(outBuffer->fBytes));
    return true;
}

} // namespace kova
