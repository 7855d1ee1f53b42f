// VFileStream is a buffered stream over a file. Opened for reading it reads ahead a window of the
// file (32 KiB by default, less for a smaller file); opened for writing it gathers small writes in
// the buffer and writes them out together. Transfers at least as large as the buffer go straight
// to the file. The file is opened when the stream is and closed when the stream is; the stream
// may be opened again, either way.
//
// Writing starts at position 0 over the existing content; the file is emptied only when the open
// options ask for it. Closing for writing flushes, and with inSetSize cuts the file to the
// stream's size. Destroying the stream does not flush: the owner closes it.
//
//     VFileStream stream(file, FO_CreateIfNotFound);
//     stream.OpenWriting();
//     stream.PutLong(1);
//     VError error = stream.CloseWriting(true);
#pragma once

#include "kernel/files/VStream.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VFile;
class VFileDesc;

class VFileStream : public VStream
{
public:
    // The file (never null) is retained; inOptions are the open options used for writing.
    VFileStream(const VFile* inFile, uint32_t inOptions = 0);
    VFileStream(const VFileStream&) = delete;
    VFileStream& operator=(const VFileStream&) = delete;
    ~VFileStream() override;

    const VFile* GetFile() const { return fFile; }

    // The buffer size wanted (32768 by default). Flushes first when writing; an open stream gets
    // a new buffer at once.
    void SetBufferSize(size_t inSize);
    // Allocates min(inHint, the size wanted) bytes (the size wanted for 0) when there is no
    // buffer, halving on failure; empties the window in any case.
    void AllocateBuffer(size_t inHint);
    void ReleaseBuffer();
    // For tests: the buffer's size (0 without one).
    size_t GetBufferSize() const { return fBufferAllocated; }

protected:
    VError DoOpenReading() override;
    VError DoOpenWriting() override;
    VError DoCloseReading() override;
    VError DoCloseWriting(bool inSetSize) override;
    VError DoPutData(const void* inData, size_t inCount) override;
    VError DoGetData(void* outBuffer, size_t* ioCount) override;
    int64_t DoGetSize() override;
    VError DoSetSize(int64_t inSize) override;
    VError DoSetPos(int64_t inPos) override;
    VError DoFlush() override;

private:
    // The buffer's size for the stream as it is opened.
    size_t _BufferSizeFor(bool inReading) const;
    void _ClearWindow();
    // Writes the window's bytes to the file and empties it.
    VError _WriteWindow();

    VFile* fFile;
    VFileDesc* fDesc = nullptr;
    // The stream's idea of the file's size: read at opening, raised by writes and positioning.
    int64_t fFileSize = 0;
    // The file offset of the buffer's first byte, and the valid bytes in it: read ahead when
    // reading, not yet written when writing.
    int64_t fWindowStart = 0;
    size_t fWindowLength = 0;
    size_t fBufferAllocated = 0;
    size_t fBufferWanted = 32768;
    uint8_t* fBuffer = nullptr;
    uint32_t fOptions;
};

} // namespace kova
