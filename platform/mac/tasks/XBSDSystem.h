// The part of the system services that every BSD-like system shares: symbolic links and the
// search of an executable through PATH.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <string>

namespace kova
{

class VFilePath;
class VString;

class XBSDSystem
{
public:
    XBSDSystem() = delete;

    // 0, or the POSX code of the failure, also raised on the calling task.
    static VError CreateSymbolicLink(const char* inTarget, const char* inLinkPath);
    // A name holding "/" is resolved as a path; any other is looked up through PATH, an empty
    // element meaning the current folder. The file found must be a regular file the effective
    // user may execute. False, with the path cleared, when none is found.
    static bool SearchExecutablePath(const VString& inName, VFilePath& outPath);
    // The same on UTF-8 paths: the full path found, or empty.
    static std::string SearchExecutable(const std::string& inName, const char* inPathVariable);
    // The owner's, group's or others' execute bit, by who the effective user is to the file.
    static bool IsExecutableByEffectiveUser(const std::string& inPath);
};

} // namespace kova
