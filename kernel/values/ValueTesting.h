// Test helpers of the value kinds: texts compared exactly, and a value's stream form written to
// bytes and read back from bytes, in host byte order or swapped, through the memory streams.
#pragma once

#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/VValue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kova::testing_values
{

using Bytes = std::vector<uint8_t>;

// The same units, unit for unit.
inline bool TextIs(const VString& inText, const char* inExpected)
{
    VString expected(inExpected);
    return inText.GetLength() == expected.GetLength() &&
           std::char_traits<UniChar>::compare(inText.GetCPointer(), expected.GetCPointer(),
                                              size_t(expected.GetLength())) == 0;
}

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
