#include "platform/mac/files/XMacFileDesc.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/tasks/VTaskMgr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/SysFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

namespace
{

// No single call asks the system for more, so that other tasks run between the chunks of a long
// transfer.
constexpr size_t kMaxChunk = 524288000;

// The offset of a transfer of inCount bytes, or false when the transfer does not fit the
// system's offsets.
bool StartOffset(int64_t inPosition, int64_t inCurrent, bool inFromStart, size_t inCount, int64_t& outOffset)
{
    if (inFromStart)
        outOffset = inPosition;
    else if (__builtin_add_overflow(inCurrent, inPosition, &outOffset))
        return false;
    int64_t end = 0;
    return outOffset >= 0 && inCount <= size_t(INT64_MAX) &&
           !__builtin_add_overflow(outOffset, int64_t(inCount), &end);
}

} // namespace

XMacFileDesc::XMacFileDesc(int inFD) : fFD(inFD) {}

XMacFileDesc::~XMacFileDesc()
{
    if (fFD >= 0)
        ::close(fFD);
}

VError XMacFileDesc::GetSize(int64_t* outSize) const
{
    struct stat status = {};
    const bool ok = ::fstat(fFD, &status) == 0;
    if (outSize != nullptr)
        *outSize = ok ? int64_t(status.st_size) : 0;
    return ok ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFileDesc::SetSize(int64_t inSize) const
{
    return ::ftruncate(fFD, off_t(inSize)) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFileDesc::GetData(void* outBuffer, size_t* ioCount, int64_t inPosition, bool inFromStart) const
{
    const size_t wanted = *ioCount;
    const VError error =
        _Transfer(ioCount, inPosition, inFromStart,
                  [this, outBuffer](size_t inDone, size_t inCount, off_t inOffset)
                  { return sys::pread(fFD, static_cast<char*>(outBuffer) + inDone, inCount, inOffset); });
    // The data ended before the count.
    return error == VE_OK && *ioCount < wanted ? VE_STREAM_EOF : error;
}

VError XMacFileDesc::PutData(const void* inBuffer, size_t* ioCount, int64_t inPosition,
                             bool inFromStart) const
{
    const size_t wanted = *ioCount;
    const VError error =
        _Transfer(ioCount, inPosition, inFromStart,
                  [this, inBuffer](size_t inDone, size_t inCount, off_t inOffset) {
                      return sys::pwrite(fFD, static_cast<const char*>(inBuffer) + inDone, inCount, inOffset);
                  });
    return error == VE_OK && *ioCount < wanted ? XMacFile::PosixError(EINVAL) : error;
}

VError XMacFileDesc::_Transfer(size_t* ioCount, int64_t inPosition, bool inFromStart,
                               const std::function<ssize_t(size_t, size_t, off_t)>& inCall) const
{
    const size_t wanted = *ioCount;
    *ioCount = 0;
    int64_t offset = 0;
    if (!StartOffset(inPosition, fPosition, inFromStart, wanted, offset))
        return XMacFile::PosixError(EINVAL);
    size_t done = 0;
    VError error = VE_OK;
    while (done < wanted)
    {
        const ssize_t count = inCall(done, std::min(wanted - done, kMaxChunk), off_t(offset + int64_t(done)));
        if (count < 0 && errno == EINTR)
        {
            VTaskMgr::YieldNow();
            continue;
        }
        if (count < 0)
        {
            error = XMacFile::PosixError(errno);
            break;
        }
        if (count == 0)
            break;
        done += size_t(count);
        if (done < wanted)
            VTaskMgr::YieldNow();
    }
    *ioCount = done;
    if (!inFromStart)
        fPosition += int64_t(done);
    return error;
}

VError XMacFileDesc::GetPos(int64_t* outPosition) const
{
    if (outPosition != nullptr)
        *outPosition = fPosition;
    return VE_OK;
}

VError XMacFileDesc::SetPos(int64_t inPosition, bool inFromStart) const
{
    int64_t position = inPosition;
    if (!inFromStart && __builtin_add_overflow(fPosition, inPosition, &position))
        return XMacFile::PosixError(EINVAL);
    fPosition = position;
    return VE_OK;
}

VError XMacFileDesc::Flush() const
{
    return ::fsync(fFD) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

} // namespace kova
