#include "platform/mac/frameworks/CFUUID.h"

#include <cerrno>
#include <cstring>
#include <sys/random.h>

namespace kova::cf
{

bool UUIDCreateRandom(UUIDBytes& outBytes)
{
    uint8_t bytes[16];
    size_t filled = 0;
    while (filled < sizeof(bytes))
    {
        ssize_t got = getrandom(bytes + filled, sizeof(bytes) - filled, 0);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        filled += size_t(got);
    }
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80); // variant of RFC 4122
    std::memcpy(outBytes.fBytes, bytes, sizeof(bytes));
    return true;
}

} // namespace kova::cf
