// Test helpers: a value's stream form written to bytes and read back from bytes, in host byte
// order or swapped, through the memory streams.
#pragma once

#include "kernel/files/VMemoryStream.h"
#include "kernel/values/VValue.h"

#include <cstdint>
#include <vector>

namespace kova::testing_values
{

using Bytes = std::vector<uint8_t>;

inline Bytes StreamOut(const VValue& inValue, bool inSwap, VError* outError = nullptr)
{
    VPtrStream stream;
    stream.SetNeedSwap(inSwap);
    stream.OpenWriting();
    VError error = inValue.WriteToStream(&stream, 0);
    if (outError != nullptr)
        *outError = error;
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    const auto* begin = static_cast<const uint8_t*>(data.fData);
    Bytes bytes(begin, begin + data.fSize);
    stream.CloseWriting();
    return bytes;
}

// The stream's last error after the read comes back in outStreamError when asked for.
inline VError StreamIn(VValue& ioValue, const Bytes& inBytes, bool inSwap, VError* outStreamError = nullptr,
                       int64_t* outPos = nullptr)
{
    VConstPtrStream stream(inBytes.data(), inBytes.size());
    stream.SetNeedSwap(inSwap);
    stream.OpenReading();
    VError error = ioValue.ReadFromStream(&stream, 0);
    if (outStreamError != nullptr)
        *outStreamError = stream.GetLastError();
    if (outPos != nullptr)
        *outPos = stream.GetPos();
    stream.CloseReading();
    return error;
}

} // namespace kova::testing_values
