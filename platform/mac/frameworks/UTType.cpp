#include "platform/mac/frameworks/UTType.h"

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace kova::ut
{

namespace
{

// The public types, the more general ones first. A type conforms to the ones it lists, and to
// theirs in turn; no chain loops.
const Declaration kDeclarations[] = {
    {"public.item", "item", {}, {}, {}},
    {"public.content", "content", {}, {}, {}},
    {"public.composite-content", "composite content", {}, {}, {"public.content"}},
    {"public.data", "data", {}, {}, {"public.item"}},
    {"public.directory", "directory", {}, {}, {"public.item"}},
    {"public.folder", "folder", {}, {}, {"public.directory"}},
    {"public.symlink", "symbolic link", {}, {}, {"public.item"}},
    {"public.executable", "executable", {}, {}, {"public.item"}},
    {"public.unix-executable", "Unix executable", {}, {}, {"public.data", "public.executable"}},
    {"com.apple.package", "package", {}, {}, {"public.directory"}},
    {"com.apple.bundle", "bundle", {"bundle"}, {}, {"public.directory"}},
    {"com.apple.application", "application", {}, {}, {"public.executable"}},
    {"com.apple.application-bundle",
     "application",
     {"app"},
     {"APPL"},
     {"com.apple.application", "com.apple.bundle", "com.apple.package"}},
    {"com.apple.framework", "framework", {"framework"}, {}, {"com.apple.bundle"}},
    {"com.apple.plugin", "plug-in", {"plugin"}, {}, {"com.apple.bundle", "com.apple.package"}},
    {"public.text", "text", {}, {}, {"public.data", "public.content"}},
    {"public.plain-text", "plain text", {"txt", "text"}, {"TEXT"}, {"public.text"}},
    {"public.utf8-plain-text", "Unicode (UTF-8) text", {}, {"utf8"}, {"public.plain-text"}},
    {"public.utf16-plain-text", "Unicode (UTF-16) text", {}, {"utxt"}, {"public.plain-text"}},
    {"public.log", "log file", {"log"}, {}, {"public.plain-text"}},
    {"public.delimited-values-text", "delimited values text", {}, {}, {"public.text"}},
    {"public.comma-separated-values-text",
     "comma-separated values",
     {"csv"},
     {},
     {"public.delimited-values-text"}},
    {"public.tab-separated-values-text",
     "tab-separated values",
     {"tsv"},
     {},
     {"public.delimited-values-text"}},
    {"public.source-code", "source code", {}, {}, {"public.plain-text"}},
    {"public.c-source", "C source", {"c"}, {}, {"public.source-code"}},
    {"public.c-header", "C header", {"h"}, {}, {"public.source-code"}},
    {"public.c-plus-plus-source", "C++ source", {"cpp", "cc", "cxx", "c++"}, {}, {"public.source-code"}},
    {"public.c-plus-plus-header", "C++ header", {"hpp", "hh", "hxx"}, {}, {"public.source-code"}},
    {"public.script", "script", {}, {}, {"public.source-code"}},
    {"public.shell-script", "shell script", {"sh", "command"}, {}, {"public.script"}},
    {"public.python-script", "Python script", {"py"}, {}, {"public.script"}},
    {"public.xml", "XML text", {"xml"}, {}, {"public.text"}},
    {"public.json", "JSON text", {"json"}, {}, {"public.text"}},
    {"public.html", "HTML text", {"html", "htm"}, {"HTML"}, {"public.text"}},
    {"public.rtf", "rich text", {"rtf"}, {"RTF "}, {"public.text"}},
    {"com.apple.property-list", "property list", {"plist"}, {}, {"public.data"}},
    {"com.adobe.pdf", "PDF document", {"pdf"}, {"PDF "}, {"public.data", "public.composite-content"}},
    {"public.image", "image", {}, {}, {"public.data", "public.content"}},
    {"public.png", "PNG image", {"png"}, {"PNGf"}, {"public.image"}},
    {"public.jpeg", "JPEG image", {"jpeg", "jpg"}, {"JPEG"}, {"public.image"}},
    {"public.tiff", "TIFF image", {"tiff", "tif"}, {"TIFF"}, {"public.image"}},
    {"com.compuserve.gif", "GIF image", {"gif"}, {"GIFf"}, {"public.image"}},
    {"public.svg-image", "SVG image", {"svg"}, {}, {"public.image", "public.xml"}},
    {"public.audiovisual-content", "audiovisual content", {}, {}, {"public.data", "public.content"}},
    {"public.audio", "audio", {}, {}, {"public.audiovisual-content"}},
    {"public.mp3", "MP3 audio", {"mp3"}, {"MPG3"}, {"public.audio"}},
    {"public.movie", "movie", {}, {}, {"public.audiovisual-content"}},
    {"public.mpeg-4", "MPEG-4 movie", {"mp4"}, {"mpg4"}, {"public.movie"}},
    {"public.archive", "archive", {}, {}, {"public.data"}},
    {"public.zip-archive", "zip archive", {"zip"}, {"ZIP "}, {"public.archive"}},
    {"org.gnu.gnu-zip-archive", "gzip archive", {"gz", "gzip"}, {}, {"public.archive"}},
    {"public.tar-archive", "tar archive", {"tar"}, {}, {"public.archive"}},
    {"public.disk-image", "disk image", {}, {}, {"public.archive"}},
};

// Declarations are searched by name; each chain is as short as the table is deep, and a type met
// twice ends its branch, so that a faulty table could never loop.
bool ConformsThrough(const Declaration& inType, const std::string& inTarget, int inDepth)
{
    if (strcasecmp(inType.fIdentifier, inTarget.c_str()) == 0)
        return true;
    if (inDepth > int(sizeof(kDeclarations) / sizeof(kDeclarations[0])))
        return false;
    for (const char* parent : inType.fConformsTo)
    {
        const Declaration* declaration = CopyDeclaration(parent);
        if (declaration != nullptr && ConformsThrough(*declaration, inTarget, inDepth + 1))
            return true;
    }
    return false;
}

std::string ExtensionOf(const char* inPath)
{
    const char* name = std::strrchr(inPath, '/');
    name = name != nullptr ? name + 1 : inPath;
    const char* dot = std::strrchr(name, '.');
    return dot != nullptr && dot != name && dot[1] != 0 ? std::string(dot + 1) : std::string();
}

} // namespace

const Declaration* CopyDeclaration(const std::string& inIdentifier)
{
    for (const Declaration& declaration : kDeclarations)
    {
        if (strcasecmp(declaration.fIdentifier, inIdentifier.c_str()) == 0)
            return &declaration;
    }
    return nullptr;
}

bool ConformsTo(const std::string& inIdentifier, const std::string& inConformsTo)
{
    if (strcasecmp(inIdentifier.c_str(), inConformsTo.c_str()) == 0)
        return !inIdentifier.empty();
    const Declaration* declaration = CopyDeclaration(inIdentifier);
    return declaration != nullptr && ConformsThrough(*declaration, inConformsTo, 0);
}

std::string CreatePreferredIdentifierForTag(TagClass inClass, const std::string& inTag)
{
    if (inTag.empty())
        return std::string();
    for (const Declaration& declaration : kDeclarations)
    {
        const std::vector<const char*>& tags =
            inClass == kTagClassFilenameExtension ? declaration.fExtensions : declaration.fOSTypes;
        for (const char* tag : tags)
        {
            const bool match =
                inClass == kTagClassFilenameExtension ? strcasecmp(tag, inTag.c_str()) == 0 : inTag == tag;
            if (match)
                return declaration.fIdentifier;
        }
    }
    return std::string();
}

std::string CreateStringForOSType(uint32_t inOSType)
{
    const char text[4] = {char(inOSType >> 24), char(inOSType >> 16), char(inOSType >> 8), char(inOSType)};
    return std::string(text, 4);
}

std::string TypeIdentifierOfItem(const char* inPath)
{
    struct stat status = {};
    if (inPath == nullptr || ::lstat(inPath, &status) != 0)
        return std::string();
    const std::string extension = ExtensionOf(inPath);
    if (S_ISLNK(status.st_mode))
        return "public.symlink";
    if (S_ISDIR(status.st_mode))
    {
        const std::string type = CreatePreferredIdentifierForTag(kTagClassFilenameExtension, extension);
        return !type.empty() && ConformsTo(type, "public.directory") ? type : "public.folder";
    }
    const std::string type = CreatePreferredIdentifierForTag(kTagClassFilenameExtension, extension);
    if (!type.empty() && !ConformsTo(type, "public.directory"))
        return type;
    if ((status.st_mode & 0111) != 0)
        return "public.unix-executable";
    return S_ISREG(status.st_mode) ? "public.data" : "public.item";
}

} // namespace kova::ut
