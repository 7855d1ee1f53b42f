#include "platform/mac/text/XMacIntlMgr.h"

#include "platform/mac/frameworks/CFString.h"
#include "platform/mac/text/XMacFromUnicodeConverter.h"
#include "platform/mac/text/XMacToUnicodeConverter.h"

#include <algorithm>
#include <new>
#include <string_view>

namespace kova
{

namespace
{

template <class Converter, class Interface>
Interface* NewValidConverter(CharSet inCharSet)
{
    auto* converter = new (std::nothrow) Converter(inCharSet);
    if (converter != nullptr && !converter->IsValid())
    {
        converter->Release();
        converter = nullptr;
    }
    return converter;
}

} // namespace

VToUnicodeConverter* XMacIntlMgr::NewToUnicodeConverter(CharSet inCharSet)
{
    return NewValidConverter<XMacToUnicodeConverter, VToUnicodeConverter>(inCharSet);
}

VFromUnicodeConverter* XMacIntlMgr::NewFromUnicodeConverter(CharSet inCharSet)
{
    return NewValidConverter<XMacFromUnicodeConverter, VFromUnicodeConverter>(inCharSet);
}

int32_t XMacIntlMgr::CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                  int32_t inLength2)
{
    return cf::StringCompare(std::u16string_view(inName1, size_t(std::max(inLength1, 0))),
                             std::u16string_view(inName2, size_t(std::max(inLength2, 0))),
                             cf::kCompareLocalized | cf::kCompareCaseInsensitive |
                                 cf::kCompareDiacriticInsensitive | cf::kCompareWidthInsensitive);
}

} // namespace kova
