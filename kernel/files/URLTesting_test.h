// Test helper of the URL tests and the url fuzz target: a part of a URL by its index, as that
// part's own getter gives it (the path in the POSIX style).
#pragma once

#include "kernel/files/VURL.h"
#include "kernel/text/VString.h"

#include <string>

namespace kova
{

inline std::u16string URLPartText(const VURL& inURL, EURLParts inPart, bool inEncoded = false)
{
    VString text;
    switch (inPart)
    {
    case eURL_SCHEME:
        inURL.GetScheme(text);
        break;
    case eURL_NETWORK_LOCATION:
        inURL.GetNetworkLocation(text, inEncoded);
        break;
    case eURL_PATH:
        inURL.GetPath(text, eURL_POSIX_STYLE, inEncoded);
        break;
    case eURL_PARAMETERS:
        inURL.GetParameters(text, inEncoded);
        break;
    case eURL_QUERY:
        inURL.GetQuery(text, inEncoded);
        break;
    default:
        inURL.GetFragment(text, inEncoded);
        break;
    }
    return std::u16string(text.GetCPointer(), size_t(text.GetLength()));
}

} // namespace kova
