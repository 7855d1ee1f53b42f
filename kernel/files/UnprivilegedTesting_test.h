// Helpers of the tests that run something as another user than root: that user, its identity
// taken for good in a child of the test, and a copy of built programs it can read. The build may
// lie where that user cannot read (a clone in root's home folder, mode 0700, the usual place for
// root on a fresh machine): a built program run from there would not even read its own resources.
#pragma once

#include "kernel/files/FileTesting_test.h"

#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace kova
{

// nobody: no file of a test is its, unless the test gives it one.
constexpr uid_t kUnprivilegedUser = 65534;
constexpr gid_t kUnprivilegedGroup = 65534;

// In a child of a test run as root: that user's identity for good, root's groups dropped too.
// False when it could not be taken.
inline bool BecomeUnprivileged()
{
    return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedGroup) == 0 && setuid(kUnprivilegedUser) == 0;
}

// The command that runs inCommand as that user, for a test run as root (setpriv); empty where
// there is no setpriv.
inline std::vector<std::string> UnprivilegedCommand(const std::vector<std::string>& inCommand)
{
    if (access("/usr/bin/setpriv", X_OK) != 0)
        return {};
    std::vector<std::string> command{"/usr/bin/setpriv", "--reuid=" + std::to_string(kUnprivilegedUser),
                                     "--regid=" + std::to_string(kUnprivilegedGroup), "--clear-groups", "--"};
    command.insert(command.end(), inCommand.begin(), inCommand.end());
    return command;
}

// A folder of built programs, copied whole (links kept) into a temporary folder of its own that
// anyone may read and search, each item readable by anyone and executable where its maker could
// execute it, whatever the folders above the build and the umask it was built under. Removed with
// the scope.
class StUnprivilegedCopy
{
public:
    explicit StUnprivilegedCopy(const std::string& inFolder)
    {
        if (!fFolder.IsValid() || chmod(fFolder.Posix().c_str(), 0755) != 0)
            return;
        std::string name = inFolder;
        while (name.size() > 1 && name.back() == '/')
            name.pop_back();
        const std::string copy = fFolder.Posix(std::filesystem::path(name).filename().string());
        std::error_code error;
        std::filesystem::copy(
            name, copy,
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, error);
        if (error || !OpenToAnyone(copy))
            return;
        for (auto entry = std::filesystem::recursive_directory_iterator(copy, error);
             !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error))
        {
            if (!OpenToAnyone(entry->path().string()))
                return;
        }
        if (!error)
            fCopy = copy;
    }
    StUnprivilegedCopy(const StUnprivilegedCopy&) = delete;
    StUnprivilegedCopy& operator=(const StUnprivilegedCopy&) = delete;

    bool IsValid() const { return !fCopy.empty(); }
    // The copy of the folder, or of a path relative to it.
    std::string Posix(const std::string& inRelative = "") const
    {
        return inRelative.empty() ? fCopy : fCopy + "/" + inRelative;
    }

private:
    // Links stand for nothing of their own; a folder and an executable may be searched and run.
    static bool OpenToAnyone(const std::string& inPath)
    {
        struct stat status = {};
        if (lstat(inPath.c_str(), &status) != 0)
            return false;
        if (S_ISLNK(status.st_mode))
            return true;
        const mode_t mode = S_ISDIR(status.st_mode) || (status.st_mode & S_IXUSR) != 0 ? 0755 : 0644;
        return chmod(inPath.c_str(), mode) == 0;
    }

    StTemporaryFolder fFolder;
    std::string fCopy;
};

} // namespace kova
