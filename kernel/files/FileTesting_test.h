// Test helpers of the file tests: a temporary folder of the test's own, removed with everything in
// it at the end, paths in it in both syntaxes, and whole files read and written by the standard
// library (so that a test checks the disk, not the toolbox's own reading).
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

class StTemporaryFolder
{
public:
    StTemporaryFolder()
    {
        char pattern[] = "/tmp/kova-files-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            fPath = pattern;
    }
    ~StTemporaryFolder()
    {
        if (fPath.empty())
            return;
        // Read-only folders a test left behind must not keep their contents.
        std::error_code ignored;
        for (auto entry = std::filesystem::recursive_directory_iterator(fPath, ignored);
             entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored))
        {
            if (entry->is_directory(ignored) && !entry->is_symlink(ignored))
                chmod(entry->path().c_str(), 0700);
        }
        std::filesystem::remove_all(fPath, ignored);
    }
    StTemporaryFolder(const StTemporaryFolder&) = delete;
    StTemporaryFolder& operator=(const StTemporaryFolder&) = delete;

    bool IsValid() const { return !fPath.empty(); }
    // The POSIX path of a name in the folder ("" for the folder itself, without a trailing "/").
    std::string Posix(const std::string& inName = "") const
    {
        return inName.empty() ? fPath : fPath + "/" + inName;
    }
    // The toolbox path of a file in the folder, or of a sub-folder when the name ends with "/".
    VFilePath Path(const std::string& inName = "") const
    {
        const std::string posix = inName.empty() ? fPath + "/" : fPath + "/" + inName;
        return VFilePath(VString(posix.data(), posix.size(), VTC_UTF_8), FPS_POSIX);
    }

private:
    std::string fPath;
};

inline void WriteFileBytes(const std::string& inPath, const std::string& inBytes)
{
    std::ofstream(inPath, std::ios::binary | std::ios::trunc) << inBytes;
}

inline std::string ReadFileBytes(const std::string& inPath)
{
    std::ifstream stream(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

inline bool PathExists(const std::string& inPath)
{
    struct stat status = {};
    return lstat(inPath.c_str(), &status) == 0;
}

inline mode_t ModeOf(const std::string& inPath)
{
    struct stat status = {};
    return lstat(inPath.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// The last error a scope collected, null when none.
inline const VErrorBase* LastErrorObject(const StErrorContextInstaller& inContext)
{
    const VErrorContext* context = inContext.GetContext();
    return context != nullptr && context->GetErrorCount() > 0 ? context->GetNthError(context->GetErrorCount())
                                                              : nullptr;
}

inline std::u16string StringParameter(const VErrorBase* inError, const char* inName)
{
    VString value;
    if (inError == nullptr || !inError->GetBag()->GetString(inName, value))
        return u"<none>";
    return Text(value);
}

} // namespace kova
