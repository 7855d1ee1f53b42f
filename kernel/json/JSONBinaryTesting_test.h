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

// Levels 0 to inLevels, each but the first holding the one before it twice through
// back-references: the bytes grow by a level at a time, the values a walk meets double. As an
// array of arrays [[null,null],[#/0,#/0],...], or as an object of objects {"l0":{"a":null,
// "b":null},"l1":{"a":#/l0,"b":#/l0},...}.
inline Bytes FanOutForm(int inLevels, bool inObjects = false)
{
    Bytes bytes = inObjects ? Bytes{0x05} : Bytes{0x06, uint8_t(inLevels + 1), 0, 0, 0};
    for (int level = 0; level <= inLevels; ++level)
    {
        const std::string pointer = (inObjects ? "#/l" : "#/") + std::to_string(level - 1);
        const Bytes member =
            level == 0 ? Bytes{0x00} : Bytes{0xFF, uint8_t(pointer.size()), 0, 0, 0} + Units(pointer);
        if (inObjects)
        {
            const std::string name = "l" + std::to_string(level);
            bytes = bytes + Bytes{uint8_t(name.size()), 0} + Units(name) + Bytes{0x05, 0x01, 0} + Units("a") +
                    member + Bytes{0x01, 0} + Units("b") + member + Bytes{0xFF, 0xFF};
        }
        else
        {
            bytes = bytes + Bytes{0x06, 0x02, 0, 0, 0} + member + member;
        }
    }
    return inObjects ? bytes + Bytes{0xFF, 0xFF} : bytes;
}

} // namespace kova::testing_json
