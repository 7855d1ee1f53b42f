// Test helpers of the binary form: a value's bytes, the UTF-16 units of an ASCII text as the form
// stores them, and byte lists joined with +.
#pragma once

#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONValue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kova::testing_json
{

using Bytes = std::vector<uint8_t>;

inline Bytes Written(const VJSONValue& inValue, VError* outError = nullptr)
{
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    VError error = writer.StreamValue(inValue, buffer);
    if (outError != nullptr)
        *outError = error;
    else
        EXPECT_EQ(error, VE_OK);
    const uint8_t* data = static_cast<const uint8_t*>(buffer.GetDataPtr());
    return Bytes(data, data + buffer.GetDataSize());
}

inline Bytes Units(const std::string& inText)
{
    Bytes bytes;
    for (char c : inText)
        bytes.insert(bytes.end(), {uint8_t(c), 0});
    return bytes;
}

inline Bytes operator+(Bytes inFirst, const Bytes& inSecond)
{
    inFirst.insert(inFirst.end(), inSecond.begin(), inSecond.end());
    return inFirst;
}

} // namespace kova::testing_json
