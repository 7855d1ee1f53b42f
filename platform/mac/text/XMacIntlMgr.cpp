#include "platform/mac/text/XMacIntlMgr.h"

#include "platform/mac/text/XMacFromUnicodeConverter.h"
#include "platform/mac/text/XMacToUnicodeConverter.h"

#include <new>

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

} // namespace kova
