// VJSONBlob carries binary data through the JSON model: a Blob object is an ordinary VJSONObject
// of class "Blob" whose delegate is a VJSONBlob. The delegate views a range of a SharedBuffer, so
// slicing and cloning never copy bytes. A Blob object is read-only: it answers "size", gives its
// bytes by index as numbers, offers "slice", and refuses every property write. The binary form
// writes it under the signature 'JBlb'; the object factory makes it again.
//
//     VRefPtr<VJSONObject> blob(VJSONBlob::Create(bytes, size));
//     VJSONBlob* view = VJSONBlob::CastJSONObject(blob.Get());
#pragma once
#include "kernel/json/IJSONObject.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kova
{

class IJSONFunctionContext;
class VJSONObject;

// One block from the C allocator: u64 size, atomic u32 reference count (1 at creation), then the
// bytes at offset 12. Nobody changes the bytes after creation, so any task may share a buffer.
class SharedBuffer
{
public:
    // Null when the block cannot be allocated (nothing raised); the bytes are not initialised.
    static SharedBuffer* Create(size_t inSize);
    static SharedBuffer* Create(const void* inData, size_t inSize);

    void Retain() const;
    // The release that takes the count to 0 frees the block.
    void Release() const;

    uint64_t GetSize() const { return fSize; }
    const uint8_t* GetBytes() const { return reinterpret_cast<const uint8_t*>(this) + kHeaderSize; }
    uint8_t* GetBytes() { return reinterpret_cast<uint8_t*>(this) + kHeaderSize; }

    SharedBuffer(const SharedBuffer&) = delete;
    SharedBuffer& operator=(const SharedBuffer&) = delete;

private:
    static constexpr size_t kHeaderSize = 12;
    explicit SharedBuffer(uint64_t inSize) : fSize(inSize), fCount(1) {}
    ~SharedBuffer() = default;

    uint64_t fSize;
    mutable std::atomic<uint32_t> fCount;
};

class VJSONBlob : public VObject, public IJSONObject
{
public:
    static constexpr uint32_t kSignature = 0x4A426C62; // 'JBlb'

    // Over [inStart, inEnd) of the buffer (retained; null for an empty blob).
    VJSONBlob(SharedBuffer* inBuffer, uint64_t inStart, uint64_t inEnd);
    ~VJSONBlob() override;

    // A new Blob object owned by the caller over a copy of the bytes; kova 100 and null when the
    // buffer cannot be allocated.
    static VJSONObject* Create(const void* inData, size_t inSize);
    // A new Blob object sharing this blob's buffer; negative offsets count from the end.
    VJSONObject* CreateSlice(int64_t inStart, int64_t inEnd) const;

    // The object's delegate when it is a blob, else null. Nothing retained.
    static VJSONBlob* CastJSONObject(const VJSONObject* inObject);
    static VJSONBlob* GetThis(IJSONFunctionContext* inContext);
    // The class object "Blob", registered in the process's class store whenever it lacks it.
    static VJSONObject* GetClass();
    // The object factory's creator for 'JBlb'.
    static IJSONObject* CreateIJSONObject(VJSONObject* inOwner, uint32_t inSignature, const void* inData,
                                          size_t inSize, VRefPtr<VJSONObject>& outClassObject,
                                          VError* outError);

    uint64_t GetSize() const { return fEnd - fStart; }
    // The first byte of the range; null for an empty blob.
    const uint8_t* GetData() const { return fBuffer != nullptr ? fBuffer->GetBytes() + fStart : nullptr; }

    static EJSONStatus do_slice(const VJSONObject* inFunctionObject, IJSONFunctionContext* inContext);
    static VJSONObject* do_instantiate(VJSONObject* inClassObject, IJSONFunctionContext* inContext);

    // IJSONObject
    bool IJSON_IsSharable(const VJSONObject* inObject, bool& ioFlag) const override;
    EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext* inContext) const override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;
    EJSONStatus IJSON_WriteToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBuffer,
                                    VError* outError) override;
    uint32_t IJSON_GetBinarySignature() const override;
    EJSONStatus IJSON_GetPropertyByIndex(const VJSONObject* inObject, size_t inIndex,
                                         VJSONValue& outValue) const override;
    EJSONStatus IJSON_GetCountPropertiesByIndex(const VJSONObject* inObject, size_t* outCount) const override;
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                            VError* outError) const override;

    static const VString& key_size();

private:
    static VJSONObject* _Wrap(VJSONBlob* inBlob);

    SharedBuffer* fBuffer;
    uint64_t fStart;
    uint64_t fEnd;
};

} // namespace kova
