#include "platform/mac/errors/XMacErrorText.h"

#include "kernel/text/VString.h"

#include <cerrno>
#include <cstddef>

// The XSI strerror_r, which fills the buffer; glibc's default one returns a pointer instead.
extern "C" int __xpg_strerror_r(int inError, char* outBuffer, size_t inSize) noexcept;

namespace kova
{

namespace
{

bool GetPosixText(int32_t inNumber, VString& outText)
{
    char buffer[1024];
    buffer[0] = 0;
    int result = __xpg_strerror_r(inNumber, buffer, sizeof(buffer));
    if ((result != 0 && result != ERANGE) || buffer[0] == 0)
        return false;
    buffer[sizeof(buffer) - 1] = 0;
    outText.FromBlock(buffer, std::char_traits<char>::length(buffer), VTC_UTF_8);
    return !outText.IsEmpty();
}

// Mach, Carbon and Cocoa have no message tables on this system: their texts name the component
// and carry the number.
void GetNumberedText(const char* inPrefix, int32_t inNumber, const char* inSuffix, VString& outText)
{
    outText.AppendCString(inPrefix);
    outText.AppendLong(inNumber);
    outText.AppendCString(inSuffix);
}

} // namespace

bool XMacErrorText::GetErrorText(VError inError, VString& outText)
{
    outText.Clear();
    int32_t number = NumberOfError(inError);
    switch (ComponentOfError(inError))
    {
    case kCOMPONENT_POSIX:
        return GetPosixText(number, outText);
    case kCOMPONENT_MACH:
        GetNumberedText("Mach error ", number, "", outText);
        return true;
    case kCOMPONENT_CARBON:
        // The Carbon form: "comment (name)." where the name is the status number here.
        GetNumberedText("Carbon status (", number, ").", outText);
        return true;
    case kCOMPONENT_COCOA:
        GetNumberedText("Cocoa error ", number, ".", outText);
        return true;
    default:
        return false;
    }
}

} // namespace kova
