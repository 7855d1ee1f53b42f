#include "platform/mac/files/XMacFileDesc.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/tasks/VTaskMgr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/SysFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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
    *ioCount = 0;
    int64_t offset = 0;
    if (!StartOffset(inPosition, fPosition, inFromStart, wanted, offset))
        return XMacFile::PosixError(EINVAL);
    size_t done = 0;
    VError error = VE_OK;
    while (done < wanted)
    {
        const size_t chunk = std::min(wanted - done, kMaxChunk);
        const ssize_t count =
            sys::pread(fFD, static_cast<char*>(outBuffer) + done, chunk, off_t(offset + done));
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
    if (error == VE_OK && done < wanted)
        error = VE_STREAM_EOF;
    *ioCount = done;
    if (!inFromStart)
        fPosition += int64_t(done);
    return error;
}

VError XMacFileDesc::PutData(const void* inBuffer, size_t* ioCount, int64_t inPosition,
                             bool inFromStart) const
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
        const size_t chunk = std::min(wanted - done, kMaxChunk);
        const ssize_t count =
            sys::pwrite(fFD, static_cast<const char*>(inBuffer) + done, chunk, off_t(offset + done));
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
    if (error == VE_OK && done < wanted)
        error = XMacFile::PosixError(EINVAL);
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
