// printf-style formatting with fixed arguments. The input is made into a format whose directives
// match the arguments one for one (flags, widths and precisions from the input, the conversion
// chosen among those of the argument's type), so that every format tried is one a caller may
// write: the formatter must take it without a fault and give the C library's text.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VInteger.h"

#include <cstring>
#include <string>

using namespace kova;

namespace
{

enum class Slot
{
    kInt,
    kDouble,
    kCString,
    kString,
    kLongLong,
    kValue,
    kObject,
    kSize
};

constexpr Slot kSlots[] = {Slot::kInt,      Slot::kDouble, Slot::kCString, Slot::kString,
                           Slot::kLongLong, Slot::kValue,  Slot::kObject,  Slot::kSize};
constexpr size_t kRounds = 2;
constexpr size_t kDirectives = kRounds * std::size(kSlots);

// Digits of a width or precision, three at most: the text stays small.
void CopyDigits(const uint8_t*& ioCursor, const uint8_t* inEnd, std::string& ioFormat)
{
    for (int count = 0; ioCursor < inEnd && *ioCursor >= '0' && *ioCursor <= '9'; ++ioCursor)
    {
        if (count++ < 3)
            ioFormat.push_back(char(*ioCursor));
    }
}

std::string MakeFormat(const uint8_t* inData, size_t inSize)
{
    std::string format;
    size_t directives = 0;
    const uint8_t* end = inData + inSize;
    for (const uint8_t* cursor = inData; cursor < end;)
    {
        const uint8_t byte = *cursor++;
        if (byte == 0)
            continue;
        if (byte != '%')
        {
            format.push_back(char(byte));
            continue;
        }
        if (directives == kDirectives)
        {
            format += "%%";
            continue;
        }
        const Slot slot = kSlots[directives++ % std::size(kSlots)];
        if (slot == Slot::kString || slot == Slot::kValue || slot == Slot::kObject)
        {
            format += slot == Slot::kString ? "%S" : slot == Slot::kValue ? "%A" : "%V";
            continue;
        }
        format.push_back('%');
        for (int flags = 0;
             cursor < end && flags < 4 && std::strchr("-+ #0", *cursor) != nullptr && *cursor != 0; ++flags)
            format.push_back(char(*cursor++));
        CopyDigits(cursor, end, format);
        if (cursor < end && *cursor == '.')
        {
            format.push_back(char(*cursor++));
            CopyDigits(cursor, end, format);
        }
        const uint8_t choice = cursor < end ? *cursor++ : 0;
        switch (slot)
        {
        case Slot::kInt:
            format.push_back("diouxXc"[choice % 7]);
            break;
        case Slot::kDouble:
            // "%A" right after the "%" is the formatter's value directive, not a real's.
            format.push_back(format.back() == '%' && choice % 8 == 7 ? 'a' : "fFeEgGaA"[choice % 8]);
            break;
        case Slot::kCString:
            format.push_back('s');
            break;
        case Slot::kLongLong:
            format += (choice % 3 == 0 ? "lld" : choice % 3 == 1 ? "llx" : "llu");
            break;
        default:
            format += (choice % 2 == 0 ? "zu" : "zx");
            break;
        }
    }
    return format;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    const std::string format = MakeFormat(inData, inSize);
    const VString text(u"caf\u00E9 \U0001F600");
    const VLong value(-42);
    const VString* missing = nullptr;
    VString out;
    out.Printf(format.c_str(), 7, 3.25, "bytes \xC3\xA9", &text, -9000000000LL, &value, &text, size_t(99), -1,
               -0.0, "", missing, 1LL << 62, &text, missing, size_t(0));
    out.AppendPrintf(format.c_str(), 0, 1e308, "x", &text, 0LL, &value, &value, size_t(1), 65, 2.5e-310, "y",
                     &text, -1LL, missing, missing, size_t(2));
    return 0;
}
