// Test helpers of the file tests: a temporary folder of the test's own, removed with everything in
// it at the end, paths in it in both syntaxes, and whole files read and written by the standard
// library (so that a test checks the disk, not the toolbox's own reading).
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/files/XMacFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// The names in a folder, sorted.
inline std::vector<std::string> NamesIn(const std::string& inFolder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(inFolder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A description of every item under a folder, one line each, sorted: its path relative to the
// folder, its kind and mode, and a file's bytes or a link's text; with inTimes the modification
// time too (a folder's is taken before anything is read in it). Links are never followed.
inline std::vector<std::string> TreeOf(const std::string& inFolder, bool inTimes = true)
{
    std::vector<std::string> lines;
    std::vector<std::string> pending{""};
    while (!pending.empty())
    {
        const std::string relative = pending.back();
        pending.pop_back();
        for (const std::string& name : NamesIn(inFolder + "/" + relative))
        {
            const std::string path = relative.empty() ? name : relative + "/" + name;
            const std::string full = inFolder + "/" + path;
            struct stat status = {};
            if (lstat(full.c_str(), &status) != 0)
                continue;
            char mode[16];
            snprintf(mode, sizeof(mode), " %04o", unsigned(status.st_mode & 07777));
            std::string line = path + mode;
            if (S_ISDIR(status.st_mode))
            {
                line += " dir";
                pending.push_back(path);
            }
            else if (S_ISLNK(status.st_mode))
            {
                char target[4096] = {};
                const ssize_t length = readlink(full.c_str(), target, sizeof(target) - 1);
                line += " link -> " + std::string(target, length > 0 ? size_t(length) : 0);
            }
            else if (S_ISREG(status.st_mode))
            {
                line += " file " + ReadFileBytes(full);
            }
            else
            {
                line += " other";
            }
            if (inTimes && !S_ISLNK(status.st_mode))
                line += " @" + std::to_string(status.st_mtim.tv_sec) + "." +
                        std::to_string(status.st_mtim.tv_nsec);
            lines.push_back(line);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A small application bundle: nested folders, an executable, hidden files, links (relative,
// absolute, dangling, to a folder), a read-only folder and an empty one, with set times.
inline void MakeBundle(const std::string& inPath, const std::string& inVersion)
{
    const std::string contents = inPath + "/Contents";
    std::error_code ignored;
    std::filesystem::create_directories(inPath, ignored);
    for (const std::string& folder :
         {contents, contents + "/MacOS", contents + "/Resources", contents + "/Resources/en.lproj",
          contents + "/Empty", contents + "/Frameworks", contents + "/Frameworks/Kit.framework",
          contents + "/Frameworks/Kit.framework/Versions", contents + "/Frameworks/Kit.framework/Versions/A"})
        mkdir(folder.c_str(), 0755);
    WriteFileBytes(contents + "/Info.plist", "<plist>" + inVersion + "</plist>");
    WriteFileBytes(contents + "/MacOS/Sample", "#!/bin/sh\necho " + inVersion + "\n");
    chmod((contents + "/MacOS/Sample").c_str(), 0755);
    WriteFileBytes(contents + "/Resources/.hidden", "hidden " + inVersion);
    WriteFileBytes(contents + "/Resources/en.lproj/Strings.xlf", "<xliff>" + inVersion + "</xliff>");
    WriteFileBytes(contents + "/Frameworks/Kit.framework/Versions/A/Kit", "kit " + inVersion);
    symlink("A", (contents + "/Frameworks/Kit.framework/Versions/Current").c_str());
    symlink("Versions/Current/Kit", (contents + "/Frameworks/Kit.framework/Kit").c_str());
    symlink("/etc/hostname", (contents + "/Resources/absolute").c_str());
    symlink("nowhere", (contents + "/Resources/dangling").c_str());
    chmod((contents + "/Resources/en.lproj").c_str(), 0555);
    const struct timespec times[2] = {{1600000000, 0}, {1600000000, 123000000}};
    for (const std::string& item :
         {contents + "/Info.plist", contents + "/MacOS", contents + "/Empty", inPath})
        utimensat(AT_FDCWD, item.c_str(), times, 0);
}

// Another process that holds a lock on a file (flock, as the file layer takes them) until the
// scope ends.
class StLockHolder
{
public:
    StLockHolder(const std::string& inPath, bool inExclusive)
    {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        fChild = fork();
        if (fChild == 0)
        {
            // Only calls that are safe in the child of a threaded process. The ends of the other
            // side go, so that the parent's closing is seen.
            close(ready[0]);
            close(release[1]);
            const int fd = open(inPath.c_str(), O_RDONLY);
            const char locked = fd >= 0 && flock(fd, inExclusive ? LOCK_EX : LOCK_SH) == 0 ? 1 : 0;
            if (write(ready[1], &locked, 1) != 1)
                _exit(1);
            char ignored = 0;
            while (read(release[0], &ignored, 1) > 0)
            {
            }
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        fRelease = release[1];
        char locked = 0;
        fLocked = fChild > 0 && read(ready[0], &locked, 1) == 1 && locked == 1;
        close(ready[0]);
    }
    ~StLockHolder()
    {
        if (fRelease >= 0)
            close(fRelease);
        if (fChild > 0)
            waitpid(fChild, nullptr, 0);
    }
    StLockHolder(const StLockHolder&) = delete;
    StLockHolder& operator=(const StLockHolder&) = delete;

    bool IsLocked() const { return fLocked; }

private:
    pid_t fChild = -1;
    int fRelease = -1;
    bool fLocked = false;
};

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

// A failing disk for one scope: reads or writes of the file layer fail with the errno once that
// many more bytes went through.
class StIOFault
{
public:
    StIOFault(bool inWrite, int inErrno, int64_t inAfterBytes) : fWrite(inWrite)
    {
        XMacFile::SetIOFaultForTesting(inWrite, inErrno, inAfterBytes);
    }
    ~StIOFault() { XMacFile::SetIOFaultForTesting(fWrite, 0, 0); }
    StIOFault(const StIOFault&) = delete;
    StIOFault& operator=(const StIOFault&) = delete;

private:
    bool fWrite;
};

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
