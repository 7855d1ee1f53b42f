// Our stand-in for the uniform type identifiers of CoreServices: a built-in table of public types,
// each with its description, file-name extensions, four-character OS types and the types it
// conforms to. Conformance is reflexive and transitive through the table. Types the system
// declares in property lists at run time are not known here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::ut
{

struct Declaration
{
    const char* fIdentifier;
    const char* fDescription;
    std::vector<const char*> fExtensions; // lower case, without the dot; the first is preferred
    std::vector<const char*> fOSTypes;
    std::vector<const char*> fConformsTo;
};

enum TagClass
{
    kTagClassFilenameExtension,
    kTagClassOSType,
};

// UTTypeCopyDeclaration: the declaration of the identifier (compared without regard to case), or
// null when it is not declared.
const Declaration* CopyDeclaration(const std::string& inIdentifier);

// UTTypeConformsTo: whether the first type is the second or conforms to it through the table.
bool ConformsTo(const std::string& inIdentifier, const std::string& inConformsTo);

// UTTypeCreatePreferredIdentifierForTag: the first declared type with the extension (compared
// without regard to case) or the OS type; empty when none has it.
std::string CreatePreferredIdentifierForTag(TagClass inClass, const std::string& inTag);

// UTCreateStringForOSType: the four characters of the code, most significant byte first.
std::string CreateStringForOSType(uint32_t inOSType);

// The type of an item on disk, as the URL's type-identifier resource gives it: for a folder the
// bundle or folder type of its extension; for a file its extension's type, else an executable's
// or plain data's; a link's own type for a link. Empty, with errno set, when the item cannot be
// examined.
std::string TypeIdentifierOfItem(const char* inPath);

} // namespace kova::ut
