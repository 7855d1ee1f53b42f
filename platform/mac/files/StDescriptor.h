// StDescriptor closes a file descriptor at the end of a scope, unless the descriptor is handed on.
#pragma once

#include <cerrno>
#include <unistd.h>

namespace kova
{

class StDescriptor
{
public:
    explicit StDescriptor(int inFD = -1) : fFD(inFD) {}
    // The errno of a failure before the scope's end survives the close.
    ~StDescriptor()
    {
        const int saved = errno;
        Close();
        errno = saved;
    }
    StDescriptor(const StDescriptor&) = delete;
    StDescriptor& operator=(const StDescriptor&) = delete;

    int Get() const { return fFD; }
    // The descriptor passes to the caller.
    int Release()
    {
        const int fd = fFD;
        fFD = -1;
        return fd;
    }
    void Reset(int inFD)
    {
        Close();
        fFD = inFD;
    }
    // 0 or errno.
    int Close()
    {
        const int result = fFD >= 0 && ::close(fFD) != 0 ? errno : 0;
        fFD = -1;
        return result;
    }

private:
    int fFD;
};

} // namespace kova
