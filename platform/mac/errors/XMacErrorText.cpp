#include "platform/mac/errors/XMacErrorText.h"

#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/Debugger.h"
#include "platform/mac/frameworks/Mach.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

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

// A code the platform has no text for names its component and carries the number.
void GetNumberedText(const char* inPrefix, int32_t inNumber, const char* inSuffix, VString& outText)
{
    outText.AppendCString(inPrefix);
    outText.AppendLong(inNumber);
    outText.AppendCString(inSuffix);
}

void GetMachText(int32_t inNumber, VString& outText)
{
    const char* text = mach::ErrorString(inNumber);
    if (text != nullptr && *text != 0)
        outText.FromBlock(text, std::strlen(text), VTC_UTF_8);
    if (outText.IsEmpty())
        GetNumberedText("Mach error ", inNumber, "", outText);
}

// "comment (name)."
void GetCarbonText(int32_t inNumber, VString& outText)
{
    const char* comment = cf::GetMacOSStatusCommentString(inNumber);
    const char* name = cf::GetMacOSStatusErrorString(inNumber);
    if (comment == nullptr || name == nullptr)
    {
        GetNumberedText("Carbon status (", inNumber, ").", outText);
        return;
    }
    outText.AppendCString(comment);
    outText.AppendCString(" (");
    outText.AppendCString(name);
    outText.AppendCString(").");
}

void GetCocoaText(int32_t inNumber, VString& outText)
{
    if (cf::Error* error = cf::ErrorCreate(cf::kErrorDomainCocoa, inNumber))
    {
        const std::string description = cf::ErrorCopyDescription(error);
        cf::ErrorRelease(error);
        outText.FromBlock(description.data(), description.size(), VTC_UTF_8);
    }
    if (outText.IsEmpty())
        GetNumberedText("Cocoa error ", inNumber, ".", outText);
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
        GetMachText(number, outText);
        return true;
    case kCOMPONENT_CARBON:
        GetCarbonText(number, outText);
        return true;
    case kCOMPONENT_COCOA:
        GetCocoaText(number, outText);
        return true;
    default:
        return false;
    }
}

} // namespace kova
