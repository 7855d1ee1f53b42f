// Documents the XML tests share.
#pragma once

#include <string>

namespace kova
{

// The opening of a document of root inRoot whose internal subset declares ten levels of
// entities, each ten references to the one below: "&l9;" is 10^9 copies of "lol". The internal
// subset is left open.
inline std::string NestedEntitiesDeclared(const std::string& inRoot)
{
    std::string xml = "<!DOCTYPE " + inRoot + " [<!ENTITY l0 \"lol\">";
    for (int level = 1; level < 10; ++level)
    {
        xml += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            xml += "&l" + std::to_string(level - 1) + ";";
        xml += "\">";
    }
    return xml;
}

} // namespace kova
