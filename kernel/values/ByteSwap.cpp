#include "kernel/values/ByteSwap.h"

namespace kova
{

namespace
{

template <class T>
void SwapEach(uint8_t* ioBytes, size_t inCount)
{
    for (size_t i = 0; i < inCount; ++i, ioBytes += sizeof(T))
    {
        T value;
        std::memcpy(&value, ioBytes, sizeof(T));
        value = ByteSwap(value);
        std::memcpy(ioBytes, &value, sizeof(T));
    }
}

} // namespace

void ByteSwapElements(void* ioElements, size_t inCount, size_t inWidth)
{
    auto* bytes = static_cast<uint8_t*>(ioElements);
    if (inWidth == 2)
        SwapEach<uint16_t>(bytes, inCount);
    else if (inWidth == 4)
        SwapEach<uint32_t>(bytes, inCount);
    else if (inWidth == 8)
        SwapEach<uint64_t>(bytes, inCount);
}

} // namespace kova
