// VFileDesc is an open file: what VFile::Open hands out and what a file stream reads and writes
// through. It keeps the file it was opened from (retained) and a current position, and turns
// system failures into file errors naming the file and the request: "count" (the bytes asked),
// "offset" and, when it can be read at that moment, the file's "size".
//
// GetData and PutData work at an absolute offset and leave the current position alone; the AtPos
// forms work from the current position and move it on by the bytes transferred. Whoever receives
// a descriptor owns it: deleting it closes the file and releases the file object.
#pragma once

#include "kernel/files/FileAccess.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacFileDesc.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VFile;

class VFileDesc : public VObject
{
public:
    // Takes over the descriptor; the file is retained.
    VFileDesc(const VFile* inFile, int inFD, FileAccess inAccess);
    VFileDesc(const VFileDesc&) = delete;
    VFileDesc& operator=(const VFileDesc&) = delete;
    ~VFileDesc() override;

    FileAccess GetMode() const { return fAccess; }
    const VFile* GetParentFile() const { return fFile; }
    const XMacFileDesc& GetImpl() const { return fImpl; }

    // 0 on failure (kova 218).
    int64_t GetSize() const;
    // Kova 219, with "size".
    VError SetSize(int64_t inSize) const;
    // Fewer bytes than asked: kova 200, pushed as a file error by GetData, returned alone by
    // GetDataAtPos. *outRead (when given) gets the bytes read, also on failure. Kova 215 else.
    VError GetData(void* outBuffer, size_t inCount, int64_t inOffset, size_t* outRead = nullptr) const;
    VError GetDataAtPos(void* outBuffer, size_t inCount, int64_t inOffset = 0,
                        size_t* outRead = nullptr) const;
    // Kova 216.
    VError PutData(const void* inData, size_t inCount, int64_t inOffset, size_t* outWritten = nullptr) const;
    VError PutDataAtPos(const void* inData, size_t inCount, int64_t inOffset = 0,
                        size_t* outWritten = nullptr) const;
    // 0 on failure (kova 213).
    int64_t GetPos() const;
    // Absolute, or a move by inPosition; kova 214 with "offset" and "size".
    VError SetPos(int64_t inPosition, bool inAbsolute) const;
    // Kova 217.
    VError Flush() const;

private:
    // A native failure (and, for reads at an offset, the end of data) as a file error of the code,
    // with the request's numbers.
    VError _ThrowTransfer(VError inResult, VError inOperationError, size_t inCount, int64_t inOffset) const;
    VError _ThrowNative(VError inResult, VError inOperationError) const;

    FileAccess fAccess;
    VFile* fFile;
    XMacFileDesc fImpl;
};

} // namespace kova
