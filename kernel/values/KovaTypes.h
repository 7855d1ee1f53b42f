// Basic types shared by every part of the toolbox: UTF-16 code units, four-character codes and
// the 64-bit error code (component signature in the high half, the component's number in the low).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

// One UTF-16 code unit.
using UniChar = char16_t;

// A four-character code, first character in the most significant byte: "kova" is 0x6B6F7661.
using OsType = uint32_t;

constexpr OsType FourCharCode(const char (&code)[5])
{
    return (OsType(uint8_t(code[0])) << 24) | (OsType(uint8_t(code[1])) << 16) |
           (OsType(uint8_t(code[2])) << 8) | OsType(uint8_t(code[3]));
}

// An error code; 0 is success.
using VError = uint64_t;

constexpr VError VE_OK = 0;

constexpr VError MakeVError(OsType component, uint32_t number)
{
    return (VError(component) << 32) | VError(number);
}

constexpr OsType ComponentOfError(VError error) { return OsType(error >> 32); }

// Numbers are read as signed: platform numbers (Carbon statuses) are negative.
constexpr int32_t NumberOfError(VError error) { return int32_t(uint32_t(error & 0xFFFFFFFFu)); }

constexpr OsType kCOMPONENT_KOVA = FourCharCode("kova");
constexpr OsType kCOMPONENT_POSIX = FourCharCode("POSX");
constexpr OsType kCOMPONENT_CARBON = FourCharCode("CARB");
constexpr OsType kCOMPONENT_MACH = FourCharCode("MACH");
constexpr OsType kCOMPONENT_COCOA = FourCharCode("COCO");

constexpr VError MakeKovaError(uint32_t number) { return MakeVError(kCOMPONENT_KOVA, number); }

} // namespace kova
