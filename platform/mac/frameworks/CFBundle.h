// Our stand-in for the bundles of CoreFoundation. The main bundle is X.app when the executable
// lies in X.app/Contents/MacOS/ (found through /proc/self/exe), with the information dictionary
// read from X.app/Contents/Info.plist; otherwise it is the executable's folder with an empty
// information dictionary. It is made once, on first use, and may be asked for before the
// toolbox's memory manager exists: it allocates only through the C++ standard library.
#pragma once

#include "platform/mac/frameworks/CFPropertyList.h"

#include <memory>
#include <string>
#include <string_view>

namespace kova::cf
{

class Bundle
{
public:
    // A bundle at a folder; with readInfo, its information dictionary comes from
    // Contents/Info.plist (empty when that file is missing, malformed or holds no dictionary).
    Bundle(std::string path, bool readInfo);

    // The bundle's folder, without a trailing separator.
    const std::string& GetPath() const { return fPath; }
    // Always a dictionary.
    const PropertyList& GetInfoDictionary() const { return fInfo; }
    // Null when the key is absent.
    const PropertyList* GetValueForInfoDictionaryKey(std::string_view key) const
    {
        return fInfo.GetValue(key);
    }

private:
    std::string fPath;
    PropertyList fInfo;
};

// The main bundle of the process.
std::shared_ptr<const Bundle> GetMainBundle();
// CFBundleCopyExecutableURL's path: an application's Contents/MacOS/ and its CFBundleExecutable
// (else the bundle's name without extension); for any other bundle the process's executable.
// Empty when it cannot be told.
std::string BundleCopyExecutablePath(const Bundle& bundle);

// For tests only: makes the bundle at path (its Contents/Info.plist read) the main bundle of the
// process; an empty path goes back to the bundle found from the executable.
void SetMainBundlePath(const std::string& path);

// The bundle folder of an executable: X.app for X.app/Contents/MacOS/name (outIsApp true), else
// the executable's folder (outIsApp false).
std::string BundlePathForExecutable(const std::string& executablePath, bool* outIsApp);

} // namespace kova::cf
