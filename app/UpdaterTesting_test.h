// Helpers of the updater's tests: a folder made read-only even for root.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

// The immutable flag, which even root cannot write through, for root; the mode otherwise. False
// when the folder cannot be made so here.
inline bool SetReadOnly(const std::string& inPath, bool inOn)
{
    if (geteuid() != 0)
        return chmod(inPath.c_str(), inOn ? 0555 : 0755) == 0;
    const int fd = open(inPath.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = inOn ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return done;
}

} // namespace kova
