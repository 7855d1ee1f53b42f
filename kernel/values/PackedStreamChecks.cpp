#include "kernel/values/PackedStreamChecks.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"

namespace kova
{

bool StreamHolds(VStream* ioStream, uint64_t inBytes)
{
    int64_t size = ioStream->GetSize();
    int64_t pos = ioStream->GetPos();
    if (size < 0 || pos < 0)
        return true;
    return size >= pos && uint64_t(size - pos) >= inBytes;
}

VError FailAtEndOfStream(VStream* ioStream)
{
    int64_t remaining = ioStream->GetSize() - ioStream->GetPos();
    if (remaining > 0)
        ioStream->SetPosByOffset(remaining);
    uint8_t probe;
    ioStream->GetData(&probe, sizeof(probe));
    VError error = ioStream->GetLastError();
    return error != VE_OK ? error : VE_STREAM_EOF;
}

VError ThrowCorruptData()
{
    _ThrowError(VE_STREAM_BAD_SIGNATURE);
    return VE_STREAM_BAD_SIGNATURE;
}

} // namespace kova
