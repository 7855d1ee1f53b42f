// VBlobStream reads and writes a blob value at the stream's position: the bytes live in the blob,
// so they outlive the stream and survive closing and reopening. Given no blob, the stream makes
// an empty one of its own and destroys it with itself; a blob the caller passes stays the
// caller's. Bytes that the blob gains through positioning or sizing past its end are zero.
#pragma once

#include "kernel/files/VStream.h"

namespace kova
{

class VBlob;

class VBlobStream : public VStream
{
public:
    explicit VBlobStream(VBlob* inBlob = nullptr);
    ~VBlobStream() override;

    VBlob* GetBlob() const { return fBlob; }

protected:
    VError DoPutData(const void* inData, size_t inCount) override;
    VError DoGetData(void* outBuffer, size_t* ioCount) override;
    int64_t DoGetSize() override;
    VError DoSetSize(int64_t inSize) override;
    VError DoSetPos(int64_t inPos) override;

private:
    VBlob* fBlob;
    bool fOwned;
};

} // namespace kova
