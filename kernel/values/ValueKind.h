// ValueKind is the 16-bit number that names a class of values in the kind registry, in packed
// dictionaries and in streams (a value written with its kind is read back through the registry).
// The numbers are stored in files: they never change. 7 and 106 are unused; 12 names pictures,
// which have no class in this system (only the picture array of kind 111 refers to them).
#pragma once

#include <cstdint>

namespace kova
{

using ValueKind = uint16_t;

constexpr ValueKind VK_EMPTY = 0;
constexpr ValueKind VK_BOOLEAN = 1;
constexpr ValueKind VK_BYTE = 2;
constexpr ValueKind VK_WORD = 3;
constexpr ValueKind VK_LONG = 4;
constexpr ValueKind VK_LONG8 = 5;
constexpr ValueKind VK_REAL = 6;
constexpr ValueKind VK_TIME = 8;
constexpr ValueKind VK_DURATION = 9;
constexpr ValueKind VK_STRING = 10;
constexpr ValueKind VK_BLOB = 11;
constexpr ValueKind VK_IMAGE = 12;
constexpr ValueKind VK_UUID = 13;

constexpr ValueKind VK_ARRAY_BOOLEAN = 100;
constexpr ValueKind VK_ARRAY_BYTE = 101;
constexpr ValueKind VK_ARRAY_WORD = 102;
constexpr ValueKind VK_ARRAY_LONG = 103;
constexpr ValueKind VK_ARRAY_LONG8 = 104;
constexpr ValueKind VK_ARRAY_REAL = 105;
constexpr ValueKind VK_ARRAY_TIME = 107;
constexpr ValueKind VK_ARRAY_DURATION = 108;
constexpr ValueKind VK_ARRAY_STRING = 109;
constexpr ValueKind VK_ARRAY_BLOB = 110;
constexpr ValueKind VK_ARRAY_IMAGE = 111;

constexpr ValueKind VK_BAG = 200;

// The kind of the descriptor that a value class gets when it names none of its own.
constexpr ValueKind VK_UNDEFINED = 65535;

} // namespace kova
