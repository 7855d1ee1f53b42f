// XMacFileDesc is the platform half of an open file: the POSIX descriptor and a current position.
// Every VFileDesc embeds one. Reads and writes go at a position given from the start or from the
// current one; long transfers go in chunks and let other tasks run between them. Destroying it
// closes the descriptor.
#pragma once

#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/types.h>

namespace kova
{

class XMacFileDesc : public VObject
{
public:
    explicit XMacFileDesc(int inFD);
    XMacFileDesc(const XMacFileDesc&) = delete;
    XMacFileDesc& operator=(const XMacFileDesc&) = delete;
    ~XMacFileDesc() override;

    int GetFD() const { return fFD; }

    // 0 on failure.
    VError GetSize(int64_t* outSize) const;
    VError SetSize(int64_t inSize) const;
    // Reads *ioCount bytes at inPosition (from the start, or from the current position when
    // inFromStart is false, which then moves on by the bytes read). *ioCount becomes the bytes
    // read, also on failure; fewer than asked is the end of the data, kova 200.
    VError GetData(void* outBuffer, size_t* ioCount, int64_t inPosition, bool inFromStart) const;
    // As GetData; fewer bytes written than asked is POSX EINVAL.
    VError PutData(const void* inBuffer, size_t* ioCount, int64_t inPosition, bool inFromStart) const;
    VError GetPos(int64_t* outPosition) const;
    VError SetPos(int64_t inPosition, bool inFromStart) const;
    // fsync.
    VError Flush() const;

private:
    // Chunks of at most 500 MiB, with a yield between them; a call the system interrupted is made
    // again. *ioCount becomes the bytes transferred.
    VError _Transfer(size_t* ioCount, int64_t inPosition, bool inFromStart,
                     const std::function<ssize_t(size_t, size_t, off_t)>& inCall) const;

    int fFD;
    mutable int64_t fPosition = 0;
};

} // namespace kova
