// A blob is the value of kind 11: a block of bytes of any size. VBlob is the interface (size,
// resize, read and write at an offset, replace all); VBlobWithPtr owns its bytes and is the class
// the kind registry makes; VConstBlobWithPtr is a read-only view over bytes somebody else owns,
// which must outlive the view and its copies.
//
// Blob operations return their error codes and never raise them: kova 100 when memory runs out
// or a blob would pass 2^31 - 1 bytes (the most its packed and stream forms hold), 200 when fewer
// bytes than asked could be read, 204 when a read-only blob is asked to change, 3 for a negative
// offset. A null blob holds no bytes (becoming null empties it).
// Blobs have no text form and are not ordered.
//
// Packed form, in the processor's byte order, and stream form, in the stream's: a 32-bit size n,
// then the n bytes. Sizes read from outside are checked before anything is allocated.
#pragma once

#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VBlob_info;
class VBlobWithPtr;

class VBlob : public VValueSingle
{
public:
    VBlob() = default;
    VBlob(const VBlob&) = default;
    VBlob& operator=(const VBlob&) = default;
    ~VBlob() override;

    virtual size_t GetSize() const = 0;
    // Resizes; added bytes are zero. The null and dirty flags are not touched.
    virtual VError SetSize(size_t inSize) = 0;
    // Copies up to inCount bytes from inOffset into outData and gives the count copied in
    // outCopied (when given); 200 when fewer than inCount were copied.
    virtual VError GetData(void* outData, size_t inCount, int64_t inOffset, size_t* outCopied) const = 0;
    // Writes inCount bytes at inOffset, growing the blob; bytes between the old end and the
    // offset are zero.
    virtual VError PutData(const void* inData, size_t inCount, int64_t inOffset) = 0;
    // Replaces the whole content.
    virtual VError FromData(const void* inData, size_t inSize);

    const VValueInfo* GetValueInfo() const override;
    bool CanBeEvaluated() const override;
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    void Clear() override;
    void DoNullChanged() override;
    size_t GetFullSpaceOnDisk(uint64_t& ioOutsideSpace) const override;
    // No packed form at this level: null addresses.
    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;

    static const VBlob_info sInfo;
};

// Kind 11: makes VBlobWithPtr values. The packed size field is swapped; the bytes need none.
class VBlob_info : public VValueInfo_default<VBlobWithPtr, VK_BLOB>
{
public:
    VValue* LoadFromPtr(const void* inData, bool inFlag) const override;
    // Returns the address past the size field, not past the bytes.
    void* ByteSwapPtr(void* ioData, bool inFromNative) const override;
    // 4 + the size field (0 for a negative size field).
    size_t GetSizeOfValueDataPtr(const void* inData) const override;
};

class VBlobWithPtr : public VBlob
{
public:
    // A copy of inSize bytes; empty, without report, when the room cannot be had.
    explicit VBlobWithPtr(const void* inData = nullptr, size_t inSize = 0);
    VBlobWithPtr(const VBlobWithPtr& inOther);
    // A copy of any blob's bytes (none when it is null).
    explicit VBlobWithPtr(const VBlob& inOther);
    VBlobWithPtr& operator=(const VBlobWithPtr& inOther);
    ~VBlobWithPtr() override;

    // The bytes in use; valid until the next change of the blob.
    const void* GetDataPtr() const { return fBuffer.GetDataPtr(); }
    size_t GetAllocatedSize() const { return fBuffer.GetAllocatedSize(); }

    size_t GetSize() const override { return fBuffer.GetDataSize(); }
    VError SetSize(size_t inSize) override;
    VError GetData(void* outData, size_t inCount, int64_t inOffset, size_t* outCopied) const override;
    VError PutData(const void* inData, size_t inCount, int64_t inOffset) override;
    VError FromData(const void* inData, size_t inSize) override;

    VValue* Clone() const override;
    // False against a missing or null blob, or one of another class; this blob's null state is
    // not looked at.
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    // False when inValue is no VBlobWithPtr, or when this blob ended empty while it is not.
    bool FromValueSameKind(const VValue* inValue) override;
    // A blob target receives the bytes; any other target is left alone.
    void GetValue(VValueSingle& outValue) const override;
    // Empties the blob, then takes the bytes of a VBlobWithPtr source.
    void FromValue(const VValueSingle& inValue) override;

    // A null blob gives JSON null; otherwise a new Blob object over a copy of the bytes (kova 100
    // and undefined when it cannot be made).
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;
    // The bytes of a Blob object; any other value makes the blob null.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;

    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    // A size of 2^31 or more, or beyond the stream's remaining bytes, is refused before anything
    // is allocated: the stream is left at its end with its end-of-data error, the blob as it was.
    // The null and dirty flags are not touched.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    // A blob of 2^31 bytes or more has no stream form: kova 3, nothing written.
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

private:
    char* _Data() const { return static_cast<char*>(fBuffer.GetDataPtr()); }
    // Exactly inSize bytes (none for 0); false with the blob unchanged when refused.
    bool _ResizeExactly(size_t inSize);
    // The data size becomes inSize, bytes past the old size zero; the room must be there.
    void _SetSizeWithZeros(size_t inSize);
    void _CopyFrom(const VBlob& inOther);

    // The block comes from, and goes back to, the buffer's own memory manager.
    VMemoryBuffer<1024ul, 2ul, 1048576ul> fBuffer;
};

class VConstBlobWithPtr : public VBlob
{
public:
    // A view over the caller's bytes; not null, dirty.
    VConstBlobWithPtr(const void* inData, size_t inSize);
    VConstBlobWithPtr(const VConstBlobWithPtr& inOther);
    VConstBlobWithPtr& operator=(const VConstBlobWithPtr& inOther) = default;
    ~VConstBlobWithPtr() override;

    size_t GetSize() const override { return fSize; }
    VError GetData(void* outData, size_t inCount, int64_t inOffset, size_t* outCopied) const override;
    // The next three change nothing and answer 204.
    VError SetSize(size_t inSize) override;
    VError PutData(const void* inData, size_t inCount, int64_t inOffset) override;
    VError FromData(const void* inData, size_t inSize) override;

    VValue* Clone() const override;
    // Takes the other view's pointer, size and null state.
    bool FromValueSameKind(const VValue* inValue) override;
    void GetValue(VValueSingle& outValue) const override;

    // Written like an owning blob; a view cannot be loaded (null address) nor read (204).
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

private:
    const void* fData;
    size_t fSize;
};

} // namespace kova
