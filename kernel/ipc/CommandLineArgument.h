// Argument<T> turns the text of one command-line value into a value of type T for an option bound
// to a variable of that type (VArgOption<T>). Each converter has three parts: Append stores the
// value read from the text and answers whether it was accepted (a rejected text leaves the
// variable as the converter's rule says); SetFlag stores what the option means when it is given
// without a value; InvalidReason is the end of the line printed for a rejected text.
//
// Numbers are read as the C library reads them in base 0 (a leading 0 is octal), from digits and
// signs only, and a number the type cannot hold is rejected, never cut. Paths are resolved
// through the file system; a file or folder must exist.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"

#include <vector>

namespace kova
{

class VFile;
class VFilePath;
class VFolder;
class VJSONValue;

namespace Extension::CommandLineParser
{

// No converter exists for other types: an option of such a type does not compile.
template <class T>
struct Argument;

template <>
struct Argument<bool>
{
    // "1" and "true" (any case) give true, "0" and "false" give false.
    static bool Append(bool& ioValue, const VString& inText);
    static void SetFlag(bool& ioValue) { ioValue = true; }
    static const char* InvalidReason(const bool&) { return "expected 0, 1, true or false"; }
};

template <>
struct Argument<int>
{
    static bool Append(int& ioValue, const VString& inText);
    static void SetFlag(int& ioValue) { ioValue = 1; }
    static const char* InvalidReason(const int&) { return "expected a signed integral"; }
};

template <>
struct Argument<unsigned int>
{
    static bool Append(unsigned int& ioValue, const VString& inText);
    static void SetFlag(unsigned int& ioValue) { ioValue = 1; }
    static const char* InvalidReason(const unsigned int&) { return "expected an unsigned integral"; }
};

template <>
struct Argument<long long>
{
    static bool Append(long long& ioValue, const VString& inText);
    static void SetFlag(long long& ioValue) { ioValue = 1; }
    static const char* InvalidReason(const long long&) { return "expected a signed integral"; }
};

template <>
struct Argument<unsigned long long>
{
    static bool Append(unsigned long long& ioValue, const VString& inText);
    static void SetFlag(unsigned long long& ioValue) { ioValue = 1; }
    static const char* InvalidReason(const unsigned long long&) { return "expected an unsigned integral"; }
};

template <>
struct Argument<VString>
{
    // A later value replaces an earlier one.
    static bool Append(VString& ioValue, const VString& inText)
    {
        ioValue.FromString(inText);
        return true;
    }
    static void SetFlag(VString& ioValue) { ioValue.FromCString("1"); }
    static const char* InvalidReason(const VString&) { return ""; }
};

template <>
struct Argument<std::vector<VString>>
{
    static bool Append(std::vector<VString>& ioValue, const VString& inText)
    {
        ioValue.push_back(inText);
        return true;
    }
    // Given as a flag, the list holds exactly one empty text.
    static void SetFlag(std::vector<VString>& ioValue) { ioValue.assign(1, VString()); }
    static const char* InvalidReason(const std::vector<VString>&) { return ""; }
};

template <>
struct Argument<VFilePath>
{
    // Empty text clears the path. Otherwise the path the text resolves to ("/" appended for a
    // folder), or the text itself when it resolves to nothing. Always accepted.
    static bool Append(VFilePath& ioValue, const VString& inText);
    static void SetFlag(VFilePath&) {}
    static const char* InvalidReason(const VFilePath&) { return ""; }
};

template <>
struct Argument<VRefPtr<VFile>>
{
    // The existing file (not a folder) the text resolves to; otherwise the variable is emptied.
    static bool Append(VRefPtr<VFile>& ioValue, const VString& inText);
    static void SetFlag(VRefPtr<VFile>&) {}
    static const char* InvalidReason(const VRefPtr<VFile>&) { return "expected an existing file"; }
};

template <>
struct Argument<VRefPtr<VFolder>>
{
    // The existing folder the text resolves to; otherwise the variable is emptied.
    static bool Append(VRefPtr<VFolder>& ioValue, const VString& inText);
    static void SetFlag(VRefPtr<VFolder>&) {}
    static const char* InvalidReason(const VRefPtr<VFolder>&) { return "expected an existing folder"; }
};

template <>
struct Argument<VJSONValue>
{
    // By the variable's type: a string takes the text; an object or undefined takes the value the
    // text parses to; true or false takes 1, true or on, 0, false or off. Any other type rejects.
    // A rejected text leaves the variable as it was.
    static bool Append(VJSONValue& ioValue, const VString& inText);
    static void SetFlag(VJSONValue&) {}
    static const char* InvalidReason(const VJSONValue& inValue);
};

} // namespace Extension::CommandLineParser
} // namespace kova
