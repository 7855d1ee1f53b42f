// Helpers for tests that need a bundle on disk: a temporary folder removed at the end of the test,
// an X.app inside it with the given Info.plist text, and the main bundle at a folder for a scope.
#pragma once

#include "platform/mac/frameworks/CFBundle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kova::testing_support
{

class StTemporaryFolder
{
public:
    StTemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kova-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            fPath = pattern;
        EXPECT_FALSE(fPath.empty());
    }
    ~StTemporaryFolder()
    {
        std::error_code ignored;
        if (!fPath.empty())
            std::filesystem::remove_all(fPath, ignored);
    }
    StTemporaryFolder(const StTemporaryFolder&) = delete;
    StTemporaryFolder& operator=(const StTemporaryFolder&) = delete;

    const std::string& GetPath() const { return fPath; }

    // Writes a file under the folder, making the folders on its way.
    std::string WriteFile(const std::string& relativePath, const std::string& contents) const
    {
        std::filesystem::path path = std::filesystem::path(fPath) / relativePath;
        std::filesystem::create_directories(path.parent_path());
        FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr)
        {
            std::fwrite(contents.data(), 1, contents.size(), file);
            std::fclose(file);
        }
        return path.string();
    }

    // Makes name.app with Contents/Info.plist holding infoPlist (no Info.plist when empty).
    std::string MakeApp(const std::string& name, const std::string& infoPlist) const
    {
        std::filesystem::path app = std::filesystem::path(fPath) / (name + ".app");
        std::filesystem::create_directories(app / "Contents" / "MacOS");
        if (!infoPlist.empty())
            WriteFile(name + ".app/Contents/Info.plist", infoPlist);
        return app.string();
    }

private:
    std::string fPath;
};

// An Info.plist text with one string key.
inline std::string InfoPlistWithString(const std::string& key, const std::string& value)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "  <key>" +
           key + "</key>\n  <string>" + value + "</string>\n</dict>\n</plist>\n";
}

// The main bundle at a folder for the scope.
class StMainBundle
{
public:
    explicit StMainBundle(const std::string& inPath) { cf::SetMainBundlePath(inPath); }
    ~StMainBundle() { cf::SetMainBundlePath(""); }
    StMainBundle(const StMainBundle&) = delete;
    StMainBundle& operator=(const StMainBundle&) = delete;
};

} // namespace kova::testing_support
