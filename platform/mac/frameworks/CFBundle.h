// Our stand-in for the bundles of CoreFoundation. The main bundle is X.app when the executable
// lies in X.app/Contents/MacOS/ (found through /proc/self/exe), with the information dictionary
// read from X.app/Contents/Info.plist; otherwise it is the executable's folder with an empty
// information dictionary. It is made once, on first use, and may be asked for before the
// toolbox's memory manager exists: it allocates only through the C++ standard library.
#pragma once

#include "platform/mac/frameworks/CFPropertyList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kova::cf
{

struct Error;

class Bundle
{
public:
    // Where a bundle keeps its parts (information dictionary, executable, resources):
    // - kMain: the main bundle, as found from the executable (see above);
    // - kContents: in Contents/ (applications and plug-ins: Contents/MacOS/, Contents/Resources/);
    // - kFramework: in Versions/Current/ when it exists, else in the folder itself, with the
    //   information dictionary in Resources/Info.plist;
    // - kFlat: in the folder itself.
    enum class Layout
    {
        kMain,
        kContents,
        kFramework,
        kFlat,
    };

    // A bundle at a folder; with readInfo, its information dictionary comes from
    // Contents/Info.plist (empty when that file is missing, malformed or holds no dictionary).
    Bundle(std::string path, bool readInfo);
    // A loadable bundle of that layout, its information dictionary read (empty as above).
    Bundle(std::string path, Layout layout);
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;
    // Unloads the executable when it is still loaded.
    ~Bundle();

    Layout GetLayout() const { return fLayout; }

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
    friend bool BundleLoadExecutable(Bundle&, Error**, std::string*);
    friend void BundleUnloadExecutable(Bundle&);
    friend void* BundleGetFunctionPointerForName(const Bundle&, const char*);

    std::string fPath;
    PropertyList fInfo;
    Layout fLayout = Layout::kMain;
    // The loaded executable (a dlopen handle), null while unloaded.
    void* fExecutable = nullptr;
};

// The main bundle of the process.
std::shared_ptr<const Bundle> GetMainBundle();
// CFBundleCopyExecutableURL's path: an application's Contents/MacOS/ and its CFBundleExecutable
// (else the bundle's name without extension); for any other main bundle the process's executable;
// for a loadable bundle, CFBundleExecutable (else the name without extension) among its parts.
// Empty when it cannot be told.
std::string BundleCopyExecutablePath(const Bundle& bundle);

// For tests only: makes the bundle at path (its Contents/Info.plist read) the main bundle of the
// process; an empty path goes back to the bundle found from the executable.
void SetMainBundlePath(const std::string& path);

// The bundle folder of an executable: X.app for X.app/Contents/MacOS/name (outIsApp true), else
// the executable's folder (outIsApp false).
std::string BundlePathForExecutable(const std::string& executablePath, bool* outIsApp);

// Loadable bundles: plug-ins, frameworks and other applications' bundles. Their executable is a
// shared object.

// CFBundleCreate: the bundle at an existing folder, its layout told by its extension (".framework")
// and its folders; null when the folder does not exist.
std::shared_ptr<Bundle> BundleCreate(const std::string& path);

// The folders of a bundle's parts (CFBundleCopyResourcesDirectoryURL, ...BuiltInPlugInsURL,
// ...PrivateFrameworksURL, ...SupportFilesDirectoryURL): Resources, PlugIns, Frameworks and
// SharedSupport among its parts, whether they exist or not. A main bundle that is the executable's
// folder has its resources in that folder and none of the others (empty).
std::string BundleCopyResourcesDirectoryPath(const Bundle& bundle);
std::string BundleCopyBuiltInPlugInsPath(const Bundle& bundle);
std::string BundleCopyPrivateFrameworksPath(const Bundle& bundle);
std::string BundleCopySupportFilesDirectoryPath(const Bundle& bundle);

// The Cocoa codes of a bundle's executable that cannot be loaded: missing or not loadable, and a
// link failure.
inline constexpr int64_t kExecutableNotLoadableError = 3584;
inline constexpr int64_t kExecutableLinkError = 3588;

// CFBundleLoadExecutableAndReturnError: loads the executable (symbols bound at once); true when
// loaded now or before. On failure *outError (when given) receives a new Cocoa error for the caller
// to release and *outReason (when given) the loader's text.
bool BundleLoadExecutable(Bundle& bundle, Error** outError, std::string* outReason);
// CFBundleUnloadExecutable.
void BundleUnloadExecutable(Bundle& bundle);
// CFBundleGetFunctionPointerForName: null when the executable is not loaded or lacks the name.
void* BundleGetFunctionPointerForName(const Bundle& bundle, const char* name);

// CFBundleCopyBundleLocalizations: the names of the bundle's ".lproj" folders, without the
// extension, in the order of their names.
std::vector<std::string> BundleCopyBundleLocalizations(const Bundle& bundle);
// CFBundleCopyPreferredLocalizationsFromArray: the localization to use, by the user's preferred
// languages (CFLocale.h), most preferred first: for each language in turn, a localization naming it
// exactly, else one of the same language. Legacy names ("English", "French") count as their
// language. Empty when none matches.
std::vector<std::string>
BundleCopyPreferredLocalizationsFromArray(const std::vector<std::string>& localizations);
// The same against a given list of language tags.
std::vector<std::string> BundleCopyLocalizationsForPreferences(const std::vector<std::string>& localizations,
                                                               const std::vector<std::string>& preferred);

} // namespace kova::cf
