#include "kernel/ipc/CommandLineArgument.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/VJSONValue.h"
#include "platform/mac/ipc/XPosixCommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace kova::Extension::CommandLineParser
{

namespace
{

// Longer number texts are refused before the C library sees them.
constexpr int32_t kMaxNumberLength = 29;

// The space class of the C locale.
constexpr bool IsCSpace(UniChar inUnit)
{
    return inUnit == u' ' || (inUnit >= u'\t' && inUnit <= u'\r');
}

// The text without the white space at its ends, as ASCII, when it is 1 to 29 digits and signs
// ("-" only for a signed type, as the C library would negate the value for an unsigned one).
bool NumberText(const VString& inText, bool inSigned, char (&outText)[kMaxNumberLength + 1])
{
    const UniChar* units = inText.GetCPointer();
    int32_t begin = 0;
    int32_t end = inText.GetLength();
    while (begin < end && IsCSpace(units[begin]))
        ++begin;
    while (end > begin && IsCSpace(units[end - 1]))
        --end;
    if (end - begin < 1 || end - begin > kMaxNumberLength)
        return false;
    for (int32_t i = begin; i < end; ++i)
    {
        const UniChar unit = units[i];
        if (!((unit >= u'0' && unit <= u'9') || unit == u'+' || (inSigned && unit == u'-')))
            return false;
        outText[i - begin] = char(unit);
    }
    outText[end - begin] = 0;
    return true;
}

// Read whole by the C library's reader of the wider type, then kept only when T holds it.
template <class T, class Wide>
bool ReadInteger(T& ioValue, const VString& inText, Wide (*inRead)(const char*, char**, int))
{
    char text[kMaxNumberLength + 1];
    if (!NumberText(inText, std::is_signed_v<T>, text))
        return false;
    char* end = nullptr;
    errno = 0;
    const Wide value = inRead(text, &end, 0);
    if (end == text || *end != 0 || errno == ERANGE || !std::in_range<T>(value))
        return false;
    ioValue = T(value);
    return true;
}

bool EqualsOneOf(const VString& inText, std::initializer_list<const char*> inWords)
{
    for (const char* word : inWords)
    {
        if (inText.EqualToString(VString(word), false))
            return true;
    }
    return false;
}

} // namespace

bool Argument<bool>::Append(bool& ioValue, const VString& inText)
{
    if (EqualsOneOf(inText, {"1", "true"}))
        ioValue = true;
    else if (EqualsOneOf(inText, {"0", "false"}))
        ioValue = false;
    else
        return false;
    return true;
}

bool Argument<int>::Append(int& ioValue, const VString& inText)
{
    return ReadInteger(ioValue, inText, &std::strtol);
}

bool Argument<unsigned int>::Append(unsigned int& ioValue, const VString& inText)
{
    return ReadInteger(ioValue, inText, &std::strtoul);
}

bool Argument<long long>::Append(long long& ioValue, const VString& inText)
{
    return ReadInteger(ioValue, inText, &std::strtoll);
}

bool Argument<unsigned long long>::Append(unsigned long long& ioValue, const VString& inText)
{
    return ReadInteger(ioValue, inText, &std::strtoull);
}

bool Argument<VFilePath>::Append(VFilePath& ioValue, const VString& inText)
{
    if (inText.IsEmpty())
    {
        ioValue.Clear();
        return true;
    }
    bool isFolder = false;
    if (!XPosixCommandLine::ResolvePath(inText, ioValue, isFolder))
        ioValue.FromFullPath(inText, FPS_POSIX);
    return true;
}

bool Argument<VRefPtr<VFile>>::Append(VRefPtr<VFile>& ioValue, const VString& inText)
{
    VFilePath path;
    bool isFolder = false;
    if (!inText.IsEmpty() && XPosixCommandLine::ResolvePath(inText, path, isFolder) && !isFolder)
    {
        ioValue = VRefPtr<VFile>(new (std::nothrow) VFile(path));
        return ioValue.Get() != nullptr;
    }
    ioValue = nullptr;
    return false;
}

bool Argument<VRefPtr<VFolder>>::Append(VRefPtr<VFolder>& ioValue, const VString& inText)
{
    VFilePath path;
    bool isFolder = false;
    if (!inText.IsEmpty() && XPosixCommandLine::ResolvePath(inText, path, isFolder) && isFolder)
    {
        ioValue = VRefPtr<VFolder>(new (std::nothrow) VFolder(path));
        return ioValue.Get() != nullptr;
    }
    ioValue = nullptr;
    return false;
}

bool Argument<VJSONValue>::Append(VJSONValue& ioValue, const VString& inText)
{
    switch (ioValue.GetType())
    {
    case JSON_string:
        ioValue.SetString(inText);
        return true;
    case JSON_object:
    case JSON_undefined:
    {
        // A text that does not parse is reported by the option's line, not as an error.
        StErrorContextInstaller errors(false, true);
        VJSONValue parsed;
        if (parsed.ParseFromString(inText) != VE_OK)
            return false;
        ioValue = std::move(parsed);
        return true;
    }
    case JSON_true:
    case JSON_false:
        if (EqualsOneOf(inText, {"1", "true", "on"}))
            ioValue.SetBool(true);
        else if (EqualsOneOf(inText, {"0", "false", "off"}))
            ioValue.SetBool(false);
        else
            return false;
        return true;
    default:
        return false;
    }
}

const char* Argument<VJSONValue>::InvalidReason(const VJSONValue& inValue)
{
    switch (inValue.GetType())
    {
    case JSON_object:
    case JSON_undefined:
        return "expected a JSON text";
    case JSON_true:
    case JSON_false:
        return "expected 0, 1, true, false, on or off";
    default:
        return "the option's JSON type takes no value";
    }
}

} // namespace kova::Extension::CommandLineParser
