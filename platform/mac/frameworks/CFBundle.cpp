#include "platform/mac/frameworks/CFBundle.h"

#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/CFLocale.h"
#include "xml/XMLLibrary.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kova::cf
{

namespace
{

// The folder part of a path and its last name ("/a/b" gives "/a" and "b"; "/b" gives "/" and "b").
std::pair<std::string, std::string> SplitLast(const std::string& path)
{
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return {".", path.substr(0, end)};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1, end - slash - 1)};
}

bool EndsWith(const std::string& text, std::string_view suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ReadExecutablePath()
{
    std::string path(4096, '\0');
    for (;;)
    {
        ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            return std::string();
        if (size_t(length) < path.size())
        {
            path.resize(size_t(length));
            return path;
        }
        if (path.size() >= 1048576)
            return std::string();
        path.resize(path.size() * 2);
    }
}

std::shared_ptr<const Bundle> MakeBundleOfExecutable()
{
    bool isApp = false;
    std::string path = BundlePathForExecutable(ReadExecutablePath(), &isApp);
    // An application's main bundle is read before the toolbox starts and lives as long as the
    // process: the XML library started for its information dictionary stays up for the readers
    // that come later (the localization files), which would otherwise build its tables again.
    if (isApp)
    {
        static const bool sXMLLibraryKept = XMLLibraryInitialize();
        (void)sXMLLibraryKept;
    }
    return std::make_shared<const Bundle>(std::move(path), isApp);
}

bool IsFolder(const std::string& path)
{
    struct stat status = {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool HasExtension(const std::string& name, std::string_view extension)
{
    if (name.size() <= extension.size())
        return false;
    return std::equal(extension.begin(), extension.end(), name.end() - std::ptrdiff_t(extension.size()),
                      [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); });
}

// The folder that holds a bundle's parts (see Bundle::Layout).
std::string PartsFolder(const Bundle& bundle)
{
    switch (bundle.GetLayout())
    {
    case Bundle::Layout::kMain:
    case Bundle::Layout::kContents:
        return bundle.GetPath() + "/Contents";
    case Bundle::Layout::kFramework:
        if (std::string current = bundle.GetPath() + "/Versions/Current"; IsFolder(current))
            return current;
        return bundle.GetPath();
    case Bundle::Layout::kFlat:
        break;
    }
    return bundle.GetPath();
}

// CFBundleExecutable when it names a file of the folder, else the bundle's name without extension.
std::string ExecutableName(const Bundle& bundle)
{
    if (const PropertyList* value = bundle.GetValueForInfoDictionaryKey("CFBundleExecutable");
        value != nullptr && value->GetKind() == PropertyList::Kind::kString && !value->GetString().empty() &&
        value->GetString().find('/') == std::string::npos && value->GetString() != "." &&
        value->GetString() != "..")
        return value->GetString();
    std::string name = SplitLast(bundle.GetPath()).second;
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Whether the main bundle is the executable's folder rather than an application.
bool IsBareMainBundle(const Bundle& bundle)
{
    return bundle.GetLayout() == Bundle::Layout::kMain && !HasExtension(bundle.GetPath(), ".app") &&
           !IsFolder(bundle.GetPath() + "/Contents");
}

// A part among the parts of a loadable bundle or an application; empty for a main bundle that
// is the executable's folder.
std::string PartPath(const Bundle& bundle, const char* part)
{
    if (IsBareMainBundle(bundle))
        return std::string();
    return PartsFolder(bundle) + "/" + part;
}

// The language of a canonical tag ("fr" of "fr-CA"), lower case.
std::string LanguageOfTag(const std::string& tag)
{
    std::string language = tag.substr(0, tag.find('-'));
    for (char& c : language)
        c = char(std::tolower(uint8_t(c)));
    return language;
}

// The canonical tag of a localization's name: legacy English names stand for their language.
std::string TagOfLocalization(const std::string& name)
{
    static constexpr std::pair<const char*, const char*> kLegacyNames[] = {
        {"English", "en"}, {"French", "fr"},    {"German", "de"},  {"Italian", "it"},
        {"Spanish", "es"}, {"Japanese", "ja"},  {"Dutch", "nl"},   {"Swedish", "sv"},
        {"Danish", "da"},  {"Norwegian", "nb"}, {"Finnish", "fi"}, {"Portuguese", "pt"},
        {"Korean", "ko"},  {"Russian", "ru"},   {"Polish", "pl"},  {"Chinese", "zh"},
    };
    for (const auto& [legacy, tag] : kLegacyNames)
    {
        if (name.size() == std::char_traits<char>::length(legacy) &&
            std::equal(name.begin(), name.end(), legacy,
                       [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); }))
            return tag;
    }
    return LocaleCreateCanonicalLanguageIdentifierFromString(name);
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); });
}

struct MainBundleState
{
    std::mutex fMutex;
    std::shared_ptr<const Bundle> fBundle;
};

MainBundleState& GetMainBundleState()
{
    static MainBundleState sState;
    return sState;
}

} // namespace

Bundle::Bundle(std::string path, bool readInfo) : fPath(std::move(path))
{
    while (fPath.size() > 1 && fPath.back() == '/')
        fPath.pop_back();
    if (!readInfo)
        return;
    std::optional<PropertyList> info = ReadXMLPropertyListFile(fPath + "/Contents/Info.plist");
    if (info.has_value() && info->GetKind() == PropertyList::Kind::kDictionary)
        fInfo = std::move(*info);
}

Bundle::Bundle(std::string path, Layout layout) : fPath(std::move(path)), fLayout(layout)
{
    while (fPath.size() > 1 && fPath.back() == '/')
        fPath.pop_back();
    std::string infoPath;
    switch (fLayout)
    {
    case Layout::kMain:
    case Layout::kContents:
        infoPath = fPath + "/Contents/Info.plist";
        break;
    case Layout::kFramework:
        infoPath = PartsFolder(*this) + "/Resources/Info.plist";
        break;
    case Layout::kFlat:
        infoPath = fPath + "/Info.plist";
        break;
    }
    std::optional<PropertyList> info = ReadXMLPropertyListFile(infoPath);
    if (info.has_value() && info->GetKind() == PropertyList::Kind::kDictionary)
        fInfo = std::move(*info);
}

Bundle::~Bundle()
{
    BundleUnloadExecutable(*this);
}

std::string BundlePathForExecutable(const std::string& executablePath, bool* outIsApp)
{
    if (outIsApp != nullptr)
        *outIsApp = false;
    if (executablePath.empty())
        return std::string();
    auto [macOSFolder, name] = SplitLast(executablePath);
    auto [contentsFolder, macOSName] = SplitLast(macOSFolder);
    auto [appFolder, contentsName] = SplitLast(contentsFolder);
    auto [parent, appName] = SplitLast(appFolder);
    if (macOSName == "MacOS" && contentsName == "Contents" && EndsWith(appName, ".app") && appName.size() > 4)
    {
        if (outIsApp != nullptr)
            *outIsApp = true;
        return appFolder;
    }
    return macOSFolder;
}

std::string BundleCopyExecutablePath(const Bundle& bundle)
{
    if (bundle.GetLayout() != Bundle::Layout::kMain)
        return PartsFolder(bundle) + (bundle.GetLayout() == Bundle::Layout::kContents ? "/MacOS/" : "/") +
               ExecutableName(bundle);
    auto [parent, name] = SplitLast(bundle.GetPath());
    if (!EndsWith(name, ".app") || name.size() <= 4)
        return ReadExecutablePath();
    std::string executable = name.substr(0, name.size() - 4);
    if (const PropertyList* value = bundle.GetValueForInfoDictionaryKey("CFBundleExecutable");
        value != nullptr && value->GetKind() == PropertyList::Kind::kString && !value->GetString().empty() &&
        value->GetString().find('/') == std::string::npos && value->GetString() != "." &&
        value->GetString() != "..")
        executable = value->GetString();
    return bundle.GetPath() + "/Contents/MacOS/" + executable;
}

std::shared_ptr<const Bundle> GetMainBundle()
{
    MainBundleState& state = GetMainBundleState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    if (state.fBundle == nullptr)
        state.fBundle = MakeBundleOfExecutable();
    return state.fBundle;
}

void SetMainBundlePath(const std::string& path)
{
    std::shared_ptr<const Bundle> bundle =
        path.empty() ? MakeBundleOfExecutable() : std::make_shared<const Bundle>(path, true);
    MainBundleState& state = GetMainBundleState();
    std::lock_guard<std::mutex> lock(state.fMutex);
    state.fBundle = std::move(bundle);
}

std::shared_ptr<Bundle> BundleCreate(const std::string& path)
{
    if (path.empty() || !IsFolder(path))
        return nullptr;
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    Bundle::Layout layout = HasExtension(folder, ".framework") ? Bundle::Layout::kFramework
                            : IsFolder(folder + "/Contents")   ? Bundle::Layout::kContents
                                                               : Bundle::Layout::kFlat;
    return std::make_shared<Bundle>(std::move(folder), layout);
}

std::string BundleCopyResourcesDirectoryPath(const Bundle& bundle)
{
    if (IsBareMainBundle(bundle) || bundle.GetLayout() == Bundle::Layout::kFlat)
        return bundle.GetPath();
    return PartPath(bundle, "Resources");
}

std::string BundleCopyBuiltInPlugInsPath(const Bundle& bundle)
{
    return PartPath(bundle, "PlugIns");
}

std::string BundleCopyPrivateFrameworksPath(const Bundle& bundle)
{
    return PartPath(bundle, "Frameworks");
}

std::string BundleCopySupportFilesDirectoryPath(const Bundle& bundle)
{
    return PartPath(bundle, "SharedSupport");
}

bool BundleLoadExecutable(Bundle& bundle, Error** outError, std::string* outReason)
{
    if (bundle.fExecutable != nullptr)
        return true;
    const std::string executable = BundleCopyExecutablePath(bundle);
    struct stat status = {};
    if (executable.empty() || ::stat(executable.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    {
        if (outError != nullptr)
            *outError = ErrorCreate(kErrorDomainCocoa, kExecutableNotLoadableError);
        if (outReason != nullptr)
            *outReason = "no executable at " + executable;
        return false;
    }
    bundle.fExecutable = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (bundle.fExecutable == nullptr)
    {
        const char* reason = ::dlerror();
        if (outError != nullptr)
            *outError = ErrorCreate(kErrorDomainCocoa, kExecutableLinkError);
        if (outReason != nullptr)
            *outReason = reason != nullptr ? reason : "";
        return false;
    }
    return true;
}

void BundleUnloadExecutable(Bundle& bundle)
{
    if (bundle.fExecutable != nullptr)
        ::dlclose(bundle.fExecutable);
    bundle.fExecutable = nullptr;
}

void* BundleGetFunctionPointerForName(const Bundle& bundle, const char* name)
{
    if (bundle.fExecutable == nullptr || name == nullptr)
        return nullptr;
    return ::dlsym(bundle.fExecutable, name);
}

std::vector<std::string> BundleCopyBundleLocalizations(const Bundle& bundle)
{
    std::vector<std::string> names;
    const std::string resources = BundleCopyResourcesDirectoryPath(bundle);
    DIR* folder = resources.empty() ? nullptr : ::opendir(resources.c_str());
    if (folder == nullptr)
        return names;
    while (const dirent* entry = ::readdir(folder))
    {
        std::string name(entry->d_name);
        if (name.size() > 6 && HasExtension(name, ".lproj") && IsFolder(resources + "/" + name))
            names.push_back(name.substr(0, name.size() - 6));
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> BundleCopyLocalizationsForPreferences(const std::vector<std::string>& localizations,
                                                               const std::vector<std::string>& preferred)
{
    std::vector<std::string> tags;
    tags.reserve(localizations.size());
    for (const std::string& name : localizations)
        tags.push_back(TagOfLocalization(name));
    for (const std::string& language : preferred)
    {
        const std::string wanted = LocaleCreateCanonicalLanguageIdentifierFromString(language);
        if (wanted.empty())
            continue;
        for (size_t i = 0; i < tags.size(); ++i)
        {
            if (!tags[i].empty() && EqualNoCase(tags[i], wanted))
                return {localizations[i]};
        }
        for (size_t i = 0; i < tags.size(); ++i)
        {
            if (!tags[i].empty() && LanguageOfTag(tags[i]) == LanguageOfTag(wanted))
                return {localizations[i]};
        }
    }
    return {};
}

std::vector<std::string>
BundleCopyPreferredLocalizationsFromArray(const std::vector<std::string>& localizations)
{
    return BundleCopyLocalizationsForPreferences(localizations, LocaleCopyPreferredLanguages());
}

} // namespace kova::cf
