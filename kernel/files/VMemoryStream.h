// The memory streams: VConstPtrStream reads a block that the caller owns and keeps alive (it can
// never be written); VPtrStream owns a block from the memory manager that grows as it is written
// and keeps its bytes across closing and reopening. Neither needs any opening work. Bytes that a
// VPtrStream gains by growing without being written (positioning or sizing past the end) are
// zero, never left over from earlier use of the memory.
#pragma once

#include "kernel/files/VStream.h"

namespace kova
{

class VConstPtrStream : public VStream
{
public:
    VConstPtrStream(const void* inData, size_t inSize);

    UnderlyingData GetUnderlyingData() const override;

protected:
    VError DoOpenWriting() override;
    VError DoPutData(const void* inData, size_t inCount) override;
    VError DoGetData(void* outBuffer, size_t* ioCount) override;
    int64_t DoGetSize() override;
    VError DoSetSize(int64_t inSize) override;
    VError DoSetPos(int64_t inPos) override;

private:
    const uint8_t* fData;
    size_t fSize;
};

class VPtrStream : public VStream
{
public:
    VPtrStream();
    ~VPtrStream() override;

    UnderlyingData GetUnderlyingData() const override;

protected:
    VError DoPutData(const void* inData, size_t inCount) override;
    VError DoGetData(void* outBuffer, size_t* ioCount) override;
    int64_t DoGetSize() override;
    VError DoSetSize(int64_t inSize) override;
    VError DoSetPos(int64_t inPos) override;

private:
    // Room for at least inSize bytes, grown by half (at most 1 MiB) in whole KiB; the exact size
    // is tried when that fails. New room is zero-filled.
    bool _EnlargeAmortized(size_t inSize);
    bool _Reallocate(size_t inAllocated);

    uint8_t* fData = nullptr;
    size_t fDataSize = 0;
    size_t fAllocatedSize = 0;
};

} // namespace kova
