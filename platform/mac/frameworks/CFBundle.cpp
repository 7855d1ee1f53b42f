#include "platform/mac/frameworks/CFBundle.h"

#include <mutex>
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
    return std::make_shared<const Bundle>(std::move(path), isApp);
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

} // namespace kova::cf
