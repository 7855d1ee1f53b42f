#include "kernel/json/VJSONBlob.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/values/RealToInteger.h"
#include "kernel/values/VMemoryBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kova
{

namespace
{

constexpr VError VE_JSON_INDEX_OUT_OF_RANGE = MakeQLRTError(-10713);
constexpr VError VE_JSON_TOO_MANY_PARAMETERS = MakeQLRTError(58);

// The allocation of a block: the header, the bytes and 3 spare (and never less than the object).
bool BlockSize(size_t inSize, size_t& outBlock)
{
    if (__builtin_add_overflow(inSize, size_t(15), &outBlock))
        return false;
    outBlock = std::max(outBlock, size_t(16));
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// SharedBuffer

SharedBuffer* SharedBuffer::Create(size_t inSize)
{
    size_t block;
    if (!BlockSize(inSize, block))
        return nullptr;
    void* memory = std::malloc(block);
    if (memory == nullptr)
        return nullptr;
    return new (memory) SharedBuffer(inSize);
}

SharedBuffer* SharedBuffer::Create(const void* inData, size_t inSize)
{
    SharedBuffer* buffer = Create(inSize);
    if (buffer != nullptr && inSize != 0)
        std::memcpy(buffer->GetBytes(), inData, inSize);
    return buffer;
}

void SharedBuffer::Retain() const
{
    fCount.fetch_add(1, std::memory_order_relaxed);
}

void SharedBuffer::Release() const
{
    if (fCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    {
        SharedBuffer* self = const_cast<SharedBuffer*>(this);
        self->~SharedBuffer();
        std::free(self);
    }
}

// ---------------------------------------------------------------------------------------------
// VJSONBlob

VJSONBlob::VJSONBlob(SharedBuffer* inBuffer, uint64_t inStart, uint64_t inEnd)
    : fBuffer(inBuffer), fStart(inStart), fEnd(inEnd)
{
    if (fBuffer != nullptr)
        fBuffer->Retain();
}

VJSONBlob::~VJSONBlob()
{
    if (fBuffer != nullptr)
        fBuffer->Release();
}

const VString& VJSONBlob::key_size()
{
    static const VString sKey("size");
    return sKey;
}

VJSONObject* VJSONBlob::_Wrap(VJSONBlob* inBlob)
{
    VJSONObject* object = new VJSONObject(GetClass(), inBlob, false);
    inBlob->Release();
    return object;
}

VJSONObject* VJSONBlob::Create(const void* inData, size_t inSize)
{
    SharedBuffer* buffer = nullptr;
    if (inSize != 0)
    {
        buffer = SharedBuffer::Create(inData, inSize);
        if (buffer == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            return nullptr;
        }
    }
    VJSONBlob* blob = new VJSONBlob(buffer, 0, inSize);
    if (buffer != nullptr)
        buffer->Release();
    return _Wrap(blob);
}

VJSONObject* VJSONBlob::CreateSlice(int64_t inStart, int64_t inEnd) const
{
    int64_t size = static_cast<int64_t>(GetSize());
    int64_t start = inStart < 0 ? std::max<int64_t>(0, size + inStart) : std::min(inStart, size);
    int64_t end = inEnd < 0 ? std::max<int64_t>(0, size + inEnd) : std::min(inEnd, size);
    if (end <= start)
        return _Wrap(new VJSONBlob(nullptr, 0, 0));
    return _Wrap(new VJSONBlob(fBuffer, fStart + uint64_t(start), fStart + uint64_t(end)));
}

VJSONBlob* VJSONBlob::CastJSONObject(const VJSONObject* inObject)
{
    if (inObject == nullptr || inObject->GetImplementation() == nullptr)
        return nullptr;
    return dynamic_cast<VJSONBlob*>(inObject->GetImplementation());
}

VJSONBlob* VJSONBlob::GetThis(IJSONFunctionContext* inContext)
{
    return inContext != nullptr ? CastJSONObject(inContext->GetThisObject()) : nullptr;
}

VJSONObject* VJSONBlob::GetClass()
{
    // Kept alive for the process; each process object's store gets the class when it lacks it.
    static VCriticalSection sLock;
    static VRefPtr<VJSONObject> sClassObject;
    VJSONClassStore* store = VProcess::sInstance != nullptr ? VProcess::sInstance->GetClassStore() : nullptr;
    if (store == nullptr)
        return nullptr;
    StLocker locker(sLock);
    static const VString sName("Blob");
    VRefPtr<VJSONObject> found = store->GetClassObject(sName, false);
    if (found)
    {
        if (found.Get() != sClassObject.Get())
            sClassObject = found;
        return sClassObject.Get();
    }
    std::vector<VJSONClass::FunctionDescriptor> functions{{VString("slice"), &VJSONBlob::do_slice, 0}};
    sClassObject = store->AddClass(sName, functions, nullptr, nullptr, &VJSONBlob::do_instantiate, 0);
    return sClassObject.Get();
}

IJSONObject* VJSONBlob::CreateIJSONObject(VJSONObject*, uint32_t, const void* inData, size_t inSize,
                                          VRefPtr<VJSONObject>& outClassObject, VError* outError)
{
    SharedBuffer* buffer = SharedBuffer::Create(inData, inSize);
    if (buffer == nullptr)
    {
        if (outError != nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            *outError = VE_MEMORY_FULL;
        }
        return nullptr;
    }
    VJSONObject* classObject = GetClass();
    if (classObject != outClassObject.Get())
        outClassObject = VRefPtr<VJSONObject>(RetainRefCountable(classObject));
    VJSONBlob* blob = new VJSONBlob(buffer, 0, inSize);
    buffer->Release();
    return blob;
}

EJSONStatus VJSONBlob::do_slice(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONBlob* blob = GetThis(inContext);
    if (blob == nullptr)
        return EJSON_error;
    double begin = 0;
    double finish = double(blob->GetSize());
    int64_t start = inContext->GetNumberOptParam(1, begin) ? RealToInteger<int64_t>(begin) : 0;
    int64_t end = inContext->GetNumberOptParam(2, finish) ? RealToInteger<int64_t>(finish)
                                                          : static_cast<int64_t>(blob->GetSize());
    VRefPtr<VJSONObject> slice(blob->CreateSlice(start, end));
    inContext->SetResult(VJSONValue(slice.Get()), 5);
    return EJSON_done;
}

VJSONObject* VJSONBlob::do_instantiate(VJSONObject*, IJSONFunctionContext* inContext)
{
    size_t count = inContext->GetParamCount();
    if (count == 0)
        return Create(nullptr, 0);
    if (count > 1)
    {
        _ThrowError(VE_JSON_TOO_MANY_PARAMETERS);
        return nullptr;
    }
    JSONBlobParam param = inContext->GetBlobParam(1, false);
    if (!param.fFound)
        return nullptr;
    return Create(param.fData, param.fSize);
}

bool VJSONBlob::IJSON_IsSharable(const VJSONObject*, bool& ioFlag) const
{
    ioFlag = false;
    return true;
}

EJSONStatus VJSONBlob::IJSON_GetProperty(const VJSONObject*, const VString& inName, VJSONValue& outValue,
                                         VDBLanguageContext*) const
{
    if (!inName.EqualToStringRaw(key_size()))
        return EJSON_unhandled;
    outValue.SetNumber(double(GetSize()));
    return EJSON_done;
}

EJSONStatus VJSONBlob::IJSON_SetProperty(VJSONObject*, const VString& inName, const VJSONValue&,
                                         VDBLanguageContext*)
{
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY, &inName);
    return EJSON_error;
}

EJSONStatus VJSONBlob::IJSON_GetPropertyNames(std::vector<VString>& outNames) const
{
    outNames.push_back(key_size());
    return EJSON_done;
}

EJSONStatus VJSONBlob::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.Clear();
    outText.AppendULong8(GetSize());
    outText.AppendString(VString(" bytes"));
    return EJSON_done;
}

EJSONStatus VJSONBlob::IJSON_WriteToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBuffer, VError* outError)
{
    uint64_t size = GetSize();
    size_t start = ioBuffer.GetDataSize();
    size_t end;
    if (__builtin_add_overflow(start, sizeof(size) + size_t(size), &end) || !ioBuffer._EnlargeAmortized(end))
    {
        // No partial record: the buffer stays as it was.
        _ThrowError(VE_MEMORY_FULL);
        if (outError != nullptr)
            *outError = VE_MEMORY_FULL;
        return EJSON_error;
    }
    uint8_t* bytes = static_cast<uint8_t*>(ioBuffer.GetDataPtr()) + start;
    std::memcpy(bytes, &size, sizeof(size));
    if (size != 0)
        std::memcpy(bytes + sizeof(size), GetData(), size_t(size));
    ioBuffer.SetDataSize(end);
    return EJSON_done;
}

uint32_t VJSONBlob::IJSON_GetBinarySignature() const
{
    return kSignature;
}

EJSONStatus VJSONBlob::IJSON_GetPropertyByIndex(const VJSONObject*, size_t inIndex,
                                                VJSONValue& outValue) const
{
    if (inIndex >= GetSize())
    {
        _ThrowError(VE_JSON_INDEX_OUT_OF_RANGE);
        return EJSON_error;
    }
    outValue.SetNumber(double(GetData()[inIndex]));
    return EJSON_done;
}

EJSONStatus VJSONBlob::IJSON_GetCountPropertiesByIndex(const VJSONObject*, size_t* outCount) const
{
    *outCount = size_t(GetSize());
    return EJSON_done;
}

EJSONStatus VJSONBlob::IJSON_Clone(const VJSONObject* inObject, VJSONCloner&, VJSONValue& outValue,
                                   VError*) const
{
    outValue.SetObject(const_cast<VJSONObject*>(inObject));
    return EJSON_done;
}

} // namespace kova
