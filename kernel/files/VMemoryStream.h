// The memory streams: VConstPtrStream reads a block that the caller owns and keeps alive (it can
// never be written); VPtrStream owns a block from the memory manager that grows as it is written
// and keeps its bytes across closing and reopening. Neither needs any opening work. Bytes that a
// VPtrStream gains by growing without being written (positioning or sizing past the end) are
// zero, never left over from earlier use of the memory.
#pragma once

#include "kernel/files/VStream.h"
#include "kernel/values/VMemoryBuffer.h"

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
    uint8_t* _Data() const { return static_cast<uint8_t*>(fBuffer.GetDataPtr()); }

    VMemoryBuffer<1024ul, 2ul, 1048576ul> fBuffer;
};

} // namespace kova
