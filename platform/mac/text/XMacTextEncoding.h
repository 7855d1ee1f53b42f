// XMacTextEncoding names the platform's text encoding behind each CharSet, for the platform
// converters. A set the platform does not know gives kTextEncodingUnknown.
#pragma once

#include "kernel/text/CharSet.h"
#include "platform/mac/frameworks/TextEncodingConverter.h"

namespace kova
{

class XMacTextEncoding
{
public:
    XMacTextEncoding() = delete;

    static tec::TextEncoding FromCharSet(CharSet inCharSet);
};

} // namespace kova
