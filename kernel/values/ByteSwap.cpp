#include "kernel/values/ByteSwap.h"

namespace kova
{

void ByteSwapElements(void* ioElements, size_t inCount, size_t inWidth)
{
    auto* bytes = static_cast<uint8_t*>(ioElements);
    switch (inWidth)
    {
    case 2:
        for (size_t i = 0; i < inCount; ++i, bytes += 2)
        {
            uint16_t value;
            std::memcpy(&value, bytes, 2);
            value = ByteSwap(value);
            std::memcpy(bytes, &value, 2);
        }
        break;
    case 4:
        for (size_t i = 0; i < inCount; ++i, bytes += 4)
        {
            uint32_t value;
            std::memcpy(&value, bytes, 4);
            value = ByteSwap(value);
            std::memcpy(bytes, &value, 4);
        }
        break;
    case 8:
        for (size_t i = 0; i < inCount; ++i, bytes += 8)
        {
            uint64_t value;
            std::memcpy(&value, bytes, 8);
            value = ByteSwap(value);
            std::memcpy(bytes, &value, 8);
        }
        break;
    default:
        break;
    }
}

} // namespace kova
