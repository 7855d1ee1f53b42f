#include "platform/mac/text/XMacString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFString.h"

namespace kova
{

cf::String* XMacString::RetainCFStringCopy(const VString& inText)
{
    return cf::StringCreateWithCharacters(inText.GetCPointer(), inText.GetLength());
}

void XMacString::FromCFString(const cf::String* inString, VString& outText)
{
    if (inString == nullptr)
        return;
    const int64_t length = cf::StringGetLength(inString);
    if (length > INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    if (const char16_t* units = cf::StringGetCharactersPtr(inString))
    {
        outText.FromUniString(units, int32_t(length));
        return;
    }
    // Room for the whole text first, so that a failure leaves the former text.
    if (!outText.EnsureSize(int32_t(length)))
        return;
    UniChar* target = outText.GetCPointerForWrite();
    for (int64_t start = 0; start < length; start += kChunkUnits)
        cf::StringGetCharacters(inString, start, length - start < kChunkUnits ? length - start : kChunkUnits,
                                target + start);
    outText.Validate(int32_t(length));
}

} // namespace kova
