#include "kernel/values/VBlob.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VStream.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <algorithm>
#include <cstring>

namespace kova
{

const VBlob_info VBlob::sInfo;

namespace
{

constexpr VError kErrorShortRead = VE_STREAM_EOF;
constexpr VError kErrorReadOnly = VE_STREAM_CANNOT_WRITE;

// The largest blob: the packed and stream forms hold no more (their readers take the size as
// signed), and asking more of the memory manager is refused before it is asked.
constexpr size_t kMaxBlobSize = size_t(INT32_MAX);

// Copies what lies between the offset and the end; an offset past the end copies nothing.
VError CopyOut(const void* inData, size_t inSize, void* outData, size_t inCount, int64_t inOffset,
               size_t* outCopied)
{
    if (outCopied != nullptr)
        *outCopied = 0;
    if (inOffset < 0)
        return VE_INVALID_PARAMETER;
    size_t offset = uint64_t(inOffset) > inSize ? inSize : size_t(inOffset);
    size_t copied = std::min(inCount, inSize - offset);
    if (copied > 0)
        std::memcpy(outData, static_cast<const char*>(inData) + offset, copied);
    if (outCopied != nullptr)
        *outCopied = copied;
    return copied == inCount ? VE_OK : kErrorShortRead;
}

// The packed form: the 32-bit size, then the bytes.
void* WritePacked(void* outData, const void* inBytes, size_t inSize)
{
    uint32_t size = uint32_t(inSize);
    auto* cursor = static_cast<char*>(outData);
    std::memcpy(cursor, &size, sizeof(size));
    cursor += sizeof(size);
    if (inSize > 0)
        std::memcpy(cursor, inBytes, inSize);
    return cursor + inSize;
}

// The stream form: the 32-bit size in the stream's byte order, then the bytes.
VError WriteStreamed(VStream* ioStream, const void* inBytes, size_t inSize)
{
    if (inSize > kMaxBlobSize)
        return VE_INVALID_PARAMETER;
    VError error = ioStream->Put(uint32_t(inSize));
    if (error == VE_OK && inSize > 0)
        error = ioStream->PutData(inBytes, inSize);
    return error;
}

// A blob target receives the bytes; any other target is left alone.
void GiveBytes(VValueSingle& outValue, const void* inData, size_t inSize)
{
    if (outValue.GetValueKind() != VK_BLOB)
        return;
    if (auto* blob = dynamic_cast<VBlob*>(&outValue))
        blob->FromData(inData, inSize);
}

int32_t ReadPackedSize(const void* inData)
{
    int32_t size;
    std::memcpy(&size, inData, sizeof(size));
    return size;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// VBlob

VBlob::~VBlob() = default;

VError VBlob::FromData(const void* inData, size_t inSize)
{
    VError error = SetSize(inSize);
    if (error != VE_OK || inSize == 0)
        return error;
    return PutData(inData, inSize, 0);
}

const VValueInfo* VBlob::GetValueInfo() const
{
    return &sInfo;
}

bool VBlob::CanBeEvaluated() const
{
    return false;
}

CompareResult VBlob::CompareTo(const VValueSingle&, bool) const
{
    return CR_UNRELEVANT;
}

void VBlob::Clear()
{
    FromData(nullptr, 0);
}

void VBlob::DoNullChanged()
{
    if (IsNull())
        SetSize(0);
}

size_t VBlob::GetFullSpaceOnDisk(uint64_t&) const
{
    return GetSize();
}

const void* VBlob::LoadFromPtr(const void*, bool)
{
    return nullptr;
}

void* VBlob::WriteToPtr(void*, bool, size_t) const
{
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// VBlob_info

VValue* VBlob_info::LoadFromPtr(const void* inData, bool) const
{
    auto* blob = new VBlobWithPtr();
    int32_t size = ReadPackedSize(inData);
    if (size >= 1)
        blob->FromData(static_cast<const char*>(inData) + sizeof(size), size_t(size));
    return blob;
}

void* VBlob_info::ByteSwapPtr(void* ioData, bool) const
{
    auto* bytes = static_cast<unsigned char*>(ioData);
    const unsigned char swapped[4] = {bytes[3], bytes[2], bytes[1], bytes[0]};
    std::memcpy(bytes, swapped, sizeof(swapped));
    return bytes + sizeof(swapped);
}

size_t VBlob_info::GetSizeOfValueDataPtr(const void* inData) const
{
    int32_t size = ReadPackedSize(inData);
    return sizeof(size) + (size > 0 ? size_t(size) : 0);
}

// ---------------------------------------------------------------------------------------------
// VBlobWithPtr: construction

VBlobWithPtr::VBlobWithPtr(const void* inData, size_t inSize)
{
    if (inSize > 0 && inData != nullptr && _ResizeExactly(inSize))
    {
        std::memcpy(_Data(), inData, inSize);
        fBuffer.SetDataSize(inSize);
    }
}

VBlobWithPtr::VBlobWithPtr(const VBlobWithPtr& inOther) : VBlob(inOther), fBuffer(inOther.fBuffer.GetMemMgr())
{
    fFlags |= kFlagDirty;
    _CopyFrom(inOther);
}

VBlobWithPtr::VBlobWithPtr(const VBlob& inOther) : VBlob(inOther)
{
    fFlags |= kFlagDirty;
    _CopyFrom(inOther);
}

VBlobWithPtr& VBlobWithPtr::operator=(const VBlobWithPtr& inOther)
{
    if (this != &inOther)
        FromValueSameKind(&inOther);
    return *this;
}

VBlobWithPtr::~VBlobWithPtr() = default;

void VBlobWithPtr::_CopyFrom(const VBlob& inOther)
{
    size_t size = inOther.GetSize();
    if (inOther.IsNull() || size == 0 || !_ResizeExactly(size))
        return;
    size_t copied = 0;
    inOther.GetData(_Data(), size, 0, &copied);
    fBuffer.SetDataSize(copied);
}

VValue* VBlobWithPtr::Clone() const
{
    return new VBlobWithPtr(*this);
}

// ---------------------------------------------------------------------------------------------
// VBlobWithPtr: storage

bool VBlobWithPtr::_ResizeExactly(size_t inSize)
{
    return inSize <= kMaxBlobSize && fBuffer.ResizeExactly(inSize);
}

void VBlobWithPtr::_SetSizeWithZeros(size_t inSize)
{
    // Bytes nobody wrote must not show what the memory held before: they reach streams and files.
    size_t oldSize = GetSize();
    if (inSize > oldSize)
        std::memset(_Data() + oldSize, 0, inSize - oldSize);
    fBuffer.SetDataSize(inSize);
}

VError VBlobWithPtr::SetSize(size_t inSize)
{
    if (!_ResizeExactly(inSize))
        return VE_MEMORY_FULL;
    _SetSizeWithZeros(inSize);
    return VE_OK;
}

VError VBlobWithPtr::GetData(void* outData, size_t inCount, int64_t inOffset, size_t* outCopied) const
{
    return CopyOut(_Data(), GetSize(), outData, inCount, inOffset, outCopied);
}

VError VBlobWithPtr::PutData(const void* inData, size_t inCount, int64_t inOffset)
{
    if (inOffset < 0 || (inData == nullptr && inCount > 0))
        return VE_INVALID_PARAMETER;
    if (uint64_t(inOffset) > kMaxBlobSize || inCount > kMaxBlobSize - size_t(inOffset) ||
        !fBuffer._EnlargeAmortized(size_t(inOffset) + inCount))
    {
        _MarkSet();
        return VE_MEMORY_FULL;
    }
    size_t offset = size_t(inOffset);
    if (offset > GetSize())
        _SetSizeWithZeros(offset);
    if (inCount > 0)
        std::memcpy(_Data() + offset, inData, inCount);
    if (offset + inCount > GetSize())
        fBuffer.SetDataSize(offset + inCount);
    _MarkSet();
    return VE_OK;
}

VError VBlobWithPtr::FromData(const void* inData, size_t inSize)
{
    if (inData == nullptr && inSize > 0)
        return VE_INVALID_PARAMETER;
    if (!_ResizeExactly(inSize))
    {
        _MarkSet();
        return VE_MEMORY_FULL;
    }
    if (inSize > 0)
        std::memcpy(_Data(), inData, inSize);
    fBuffer.SetDataSize(inSize);
    _MarkSet();
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// VBlobWithPtr: value slots

bool VBlobWithPtr::EqualToSameKind(const VValue* inValue, bool) const
{
    auto* other = dynamic_cast<const VBlobWithPtr*>(inValue);
    if (other == nullptr || other->IsNull() || other->GetSize() != GetSize())
        return false;
    return GetSize() == 0 || std::memcmp(_Data(), other->_Data(), GetSize()) == 0;
}

bool VBlobWithPtr::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return EqualToSameKind(inValue, false);
}

VError VBlobWithPtr::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
    {
        outJSONValue.SetNull();
        return VE_OK;
    }
    VJSONObject* blob = VJSONBlob::Create(GetDataPtr(), GetSize());
    if (blob == nullptr)
    {
        outJSONValue.SetUndefined();
        return VE_MEMORY_FULL;
    }
    outJSONValue.SetObject(blob);
    blob->Release();
    return VE_OK;
}

VError VBlobWithPtr::FromJSONValue(const VJSONValue& inJSONValue)
{
    const VJSONBlob* blob = VJSONBlob::CastJSONObject(inJSONValue.GetObject());
    if (blob == nullptr)
    {
        Clear();
        SetNull(true);
        return VE_OK;
    }
    return FromData(blob->GetData(), size_t(blob->GetSize()));
}

bool VBlobWithPtr::FromValueSameKind(const VValue* inValue)
{
    auto* other = dynamic_cast<const VBlobWithPtr*>(inValue);
    if (other == nullptr)
        return false;
    // A copy that cannot be had leaves the blob empty, so the result below can tell.
    if (!fBuffer.Assign(other->fBuffer))
        fBuffer.ResizeExactly(0);
    SetNull(other->IsNull());
    SetDirty(true);
    return !(GetSize() == 0 && other->GetSize() != 0);
}

void VBlobWithPtr::GetValue(VValueSingle& outValue) const
{
    GiveBytes(outValue, _Data(), GetSize());
}

void VBlobWithPtr::FromValue(const VValueSingle& inValue)
{
    Clear();
    if (inValue.GetValueKind() != VK_BLOB)
        return;
    if (auto* blob = dynamic_cast<const VBlobWithPtr*>(&inValue); blob != nullptr && blob != this)
        PutData(blob->_Data(), blob->GetSize(), 0);
}

const void* VBlobWithPtr::LoadFromPtr(const void* inData, bool)
{
    int32_t size = ReadPackedSize(inData);
    const char* bytes = static_cast<const char*>(inData) + sizeof(size);
    if (size < 1)
        return bytes; // a size of 0 or less holds no bytes: the blob is left as it was
    FromData(bytes, size_t(size));
    return bytes + size;
}

void* VBlobWithPtr::WriteToPtr(void* outData, bool, size_t) const
{
    return WritePacked(outData, _Data(), GetSize());
}

size_t VBlobWithPtr::GetSpace(uint64_t&, size_t) const
{
    return GetSize() + sizeof(uint32_t);
}

VError VBlobWithPtr::WriteToStream(VStream* ioStream, int32_t) const
{
    return WriteStreamed(ioStream, _Data(), GetSize());
}

VError VBlobWithPtr::ReadFromStream(VStream* ioStream, int32_t)
{
    uint32_t size = 0;
    VError error = ioStream->Get(size);
    if (error != VE_OK)
        return error;
    int64_t remaining = ioStream->GetSize() - ioStream->GetPos();
    if (size > kMaxBlobSize || int64_t(size) > remaining)
    {
        // Not a blob this stream can hold: read past its end, so that the stream keeps its own
        // end-of-data error, as it would after reading the cut record.
        if (remaining > 0)
            ioStream->SetPosByOffset(remaining);
        uint8_t probe;
        ioStream->GetData(&probe, sizeof(probe));
        return ioStream->GetLastError();
    }
    if (!_ResizeExactly(size))
        return VE_MEMORY_FULL;
    if (size == 0)
    {
        fBuffer.SetDataSize(0);
        return VE_OK;
    }
    size_t read = 0;
    error = ioStream->GetData(_Data(), size, &read);
    // A stream that runs short leaves the rest zero, not the memory's old bytes.
    fBuffer.SetDataSize(read);
    _SetSizeWithZeros(size);
    return error;
}

// ---------------------------------------------------------------------------------------------
// VConstBlobWithPtr

VConstBlobWithPtr::VConstBlobWithPtr(const void* inData, size_t inSize)
    : fData(inData), fSize(inData == nullptr ? 0 : inSize)
{
}

VConstBlobWithPtr::VConstBlobWithPtr(const VConstBlobWithPtr& inOther)
    : VBlob(inOther), fData(inOther.fData), fSize(inOther.fSize)
{
    fFlags |= kFlagDirty;
}

VConstBlobWithPtr::~VConstBlobWithPtr() = default;

VError VConstBlobWithPtr::SetSize(size_t)
{
    return kErrorReadOnly;
}

VError VConstBlobWithPtr::GetData(void* outData, size_t inCount, int64_t inOffset, size_t* outCopied) const
{
    return CopyOut(fData, fSize, outData, inCount, inOffset, outCopied);
}

VError VConstBlobWithPtr::PutData(const void*, size_t, int64_t)
{
    return kErrorReadOnly;
}

VError VConstBlobWithPtr::FromData(const void*, size_t)
{
    return kErrorReadOnly;
}

VValue* VConstBlobWithPtr::Clone() const
{
    return new VConstBlobWithPtr(*this);
}

bool VConstBlobWithPtr::FromValueSameKind(const VValue* inValue)
{
    auto* other = dynamic_cast<const VConstBlobWithPtr*>(inValue);
    if (other == nullptr)
        return false;
    fData = other->fData;
    fSize = other->fSize;
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

void VConstBlobWithPtr::GetValue(VValueSingle& outValue) const
{
    GiveBytes(outValue, fData, fSize);
}

void* VConstBlobWithPtr::WriteToPtr(void* outData, bool, size_t) const
{
    return WritePacked(outData, fData, fSize);
}

size_t VConstBlobWithPtr::GetSpace(uint64_t&, size_t) const
{
    return fSize + sizeof(uint32_t);
}

VError VConstBlobWithPtr::ReadFromStream(VStream*, int32_t)
{
    return kErrorReadOnly;
}

VError VConstBlobWithPtr::WriteToStream(VStream* ioStream, int32_t) const
{
    return WriteStreamed(ioStream, fData, fSize);
}

} // namespace kova
