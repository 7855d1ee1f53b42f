// The JSON value model. For now it holds what the value classes already need: JSONType, the kind
// of a JSON value. Its numbers are also the tags of the binary JSON form and never change.
#pragma once

#include <cstdint>

namespace kova
{

enum JSONType : uint32_t
{
    JSON_null = 0,
    JSON_false = 1,
    JSON_true = 2,
    JSON_string = 3,
    JSON_number = 4,
    JSON_object = 5,
    JSON_array = 6,
    JSON_undefined = 7,
    JSON_date = 8,
};

} // namespace kova
