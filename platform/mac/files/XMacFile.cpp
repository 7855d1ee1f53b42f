#include "platform/mac/files/XMacFile.h"

#include "kernel/text/VString.h"

#include <unicode/ustring.h>

#include <string>
#include <sys/stat.h>

namespace kova
{

namespace
{

// Paths reach the system as UTF-8; empty when the text is not well-formed UTF-16.
std::string ToUTF8(const VString& inText)
{
    std::string bytes;
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(nullptr, 0, &length, inText.GetCPointer(), inText.GetLength(), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return bytes;
    bytes.resize(size_t(length));
    status = U_ZERO_ERROR;
    u_strToUTF8(bytes.data(), length, &length, inText.GetCPointer(), inText.GetLength(), &status);
    if (U_FAILURE(status))
        bytes.clear();
    return bytes;
}

} // namespace

bool XMacFile::HFSFullPathToPosix(const VString& inPath, VString& ioPosixPath)
{
    const UniChar* units = inPath.GetCPointer();
    const int32_t length = inPath.GetLength();
    int32_t colon = 0;
    while (colon < length && units[colon] != u':')
        ++colon;
    // The volume is not known: "/", its name and the rest.
    if (colon > 0)
    {
        ioPosixPath.AppendUniChar(u'/');
        ioPosixPath.AppendUniChars(units, colon);
    }
    if (ioPosixPath.IsEmpty() || ioPosixPath.GetCPointer()[ioPosixPath.GetLength() - 1] != u'/')
        ioPosixPath.AppendUniChar(u'/');
    for (int32_t i = colon + 1; i < length; ++i)
        ioPosixPath.AppendUniChar(units[i] == u':' ? u'/' : units[i] == u'/' ? u':' : units[i]);
    return false;
}

bool XMacFile::PosixPathExists(const VString& inPosixPath, bool inFolder)
{
    std::string path = ToUTF8(inPosixPath);
    struct stat status = {};
    if (path.empty() || stat(path.c_str(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) == inFolder;
}

} // namespace kova
