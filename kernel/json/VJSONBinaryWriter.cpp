#include "kernel/json/VJSONBinaryWriter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/IJSONObject.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONExpandedSize.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/values/VTime.h"

#include <cstring>

namespace kova
{

namespace
{

// False when the buffer cannot grow; nothing is then appended.
bool Append(VJSONBinaryWriter::Buffer& ioBuffer, const void* inBytes, size_t inSize)
{
    size_t size = ioBuffer.GetDataSize();
    size_t end;
    if (__builtin_add_overflow(size, inSize, &end) || !ioBuffer._EnlargeAmortized(end))
        return false;
    if (inSize != 0)
        std::memcpy(static_cast<char*>(ioBuffer.GetDataPtr()) + size, inBytes, inSize);
    ioBuffer.SetDataSize(end);
    return true;
}

template <class T>
bool AppendScalar(VJSONBinaryWriter::Buffer& ioBuffer, T inValue)
{
    return Append(ioBuffer, &inValue, sizeof(inValue));
}

// u32 length then the units: strings and pointer texts.
bool AppendUnits32(VJSONBinaryWriter::Buffer& ioBuffer, const UniChar* inUnits, int32_t inLength)
{
    uint32_t length = static_cast<uint32_t>(inLength);
    return AppendScalar(ioBuffer, length) && Append(ioBuffer, inUnits, size_t(length) * sizeof(UniChar));
}

bool AppendUnits16(VJSONBinaryWriter::Buffer& ioBuffer, const VString& inText)
{
    uint16_t length = static_cast<uint16_t>(inText.GetLength());
    return AppendScalar(ioBuffer, length) &&
           Append(ioBuffer, inText.GetCPointer(), size_t(length) * sizeof(UniChar));
}

// The container whose contents are written, for one scope.
class StCurrentEntry
{
public:
    StCurrentEntry(int64_t& ioCurrent, int64_t inEntry) : fCurrent(ioCurrent), fSaved(ioCurrent)
    {
        ioCurrent = inEntry;
    }
    ~StCurrentEntry() { fCurrent = fSaved; }
    StCurrentEntry(const StCurrentEntry&) = delete;
    StCurrentEntry& operator=(const StCurrentEntry&) = delete;

private:
    int64_t& fCurrent;
    int64_t fSaved;
};

// Counts the writing of values that nothing else may keep alive.
class StTemporary
{
public:
    explicit StTemporary(uint32_t& ioDepth, bool inTemporary = true)
        : fDepth(ioDepth), fTemporary(inTemporary)
    {
        if (fTemporary)
            ++fDepth;
    }
    ~StTemporary()
    {
        if (fTemporary)
            --fDepth;
    }
    StTemporary(const StTemporary&) = delete;
    StTemporary& operator=(const StTemporary&) = delete;

private:
    uint32_t& fDepth;
    bool fTemporary;
};

VError MemoryFull()
{
    _ThrowError(VE_MEMORY_FULL);
    return VE_MEMORY_FULL;
}

} // namespace

VJSONBinaryWriter::VJSONBinaryWriter(uint32_t inOptions) : fOptions(inOptions) {}

VJSONBinaryWriter::~VJSONBinaryWriter()
{
    for (const VJSONCollection* collection : fRetained)
        collection->Release();
}

VError VJSONBinaryWriter::StreamValue(const VJSONValue& inValue, Buffer& ioBuffer)
{
    size_t start = ioBuffer.GetDataSize();
    fWroteReference = false;
    return _Finish(_StreamValue(inValue, nullptr, ioBuffer), inValue, start, ioBuffer);
}

VError VJSONBinaryWriter::StreamObject(const VJSONObject* inObject, Buffer& ioBuffer)
{
    size_t start = ioBuffer.GetDataSize();
    fPendingEntry = -1;
    fWroteReference = false;
    return _Finish(_StreamObject(inObject, nullptr, ioBuffer), VJSONValue(const_cast<VJSONObject*>(inObject)),
                   start, ioBuffer);
}

VError VJSONBinaryWriter::StreamArray(const VJSONArray* inArray, Buffer& ioBuffer)
{
    size_t start = ioBuffer.GetDataSize();
    fPendingEntry = -1;
    fWroteReference = false;
    return _Finish(_StreamArray(inArray, nullptr, ioBuffer), VJSONValue(const_cast<VJSONArray*>(inArray)),
                   start, ioBuffer);
}

VError VJSONBinaryWriter::_Finish(VError inError, const VJSONValue& inValue, size_t inStartSize,
                                  Buffer& ioBuffer)
{
    // What the reader would refuse is not written: only a back-reference lets a value expand.
    if (inError == VE_OK && fWroteReference)
        inError = CheckJSONExpandedSize(inValue, JSONExpansionLimit(inValue));
    // A record cut short must not pass for a complete one.
    if (inError != VE_OK)
        ioBuffer.SetDataSize(inStartSize);
    return inError;
}

void VJSONBinaryWriter::BuildPathPointerString(const PathPart* inPath, VString& outPointer)
{
    std::vector<const PathPart*> steps;
    for (const PathPart* part = inPath; part != nullptr; part = part->fParent)
        steps.push_back(part);
    outPointer.FromString(VString("#"));
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
    {
        outPointer.AppendUniChar('/');
        if ((*step)->fName == nullptr && (*step)->fStoredName == nullptr)
        {
            outPointer.AppendULong8((*step)->fIndex);
            continue;
        }
        const UniChar* units =
            (*step)->fName != nullptr ? (*step)->fName->GetCPointer() : (*step)->fStoredName->GetUnits();
        int32_t length =
            (*step)->fName != nullptr ? (*step)->fName->GetLength() : (*step)->fStoredName->GetLength();
        for (int32_t i = 0; i < length; ++i)
        {
            UniChar unit = units[i];
            if (unit == '~')
                outPointer.AppendUniChar('~').AppendUniChar('0');
            else if (unit == '/')
                outPointer.AppendUniChar('~').AppendUniChar('1');
            else
                outPointer.AppendUniChar(unit);
        }
    }
}

VError VJSONBinaryWriter::_StreamValue(const VJSONValue& inValue, const PathPart* inPath, Buffer& ioBuffer)
{
    JSONType type = inValue.GetType();
    bool written = true;
    switch (type)
    {
    case JSON_null:
    case JSON_false:
    case JSON_true:
    case JSON_undefined:
        written = AppendScalar(ioBuffer, static_cast<uint8_t>(type));
        break;
    case JSON_string:
    {
        int32_t length = 0;
        const UniChar* units = inValue.GetStringUnits(&length);
        written =
            AppendScalar(ioBuffer, static_cast<uint8_t>(type)) && AppendUnits32(ioBuffer, units, length);
        break;
    }
    case JSON_number:
        written =
            AppendScalar(ioBuffer, static_cast<uint8_t>(type)) && AppendScalar(ioBuffer, inValue.GetNumber());
        break;
    case JSON_date:
    {
        VTime time;
        inValue.GetTime(time);
        written = AppendScalar(ioBuffer, static_cast<uint8_t>(type)) &&
                  AppendScalar(ioBuffer, static_cast<int64_t>(time.GetMilliseconds()));
        break;
    }
    case JSON_object:
    {
        VError error = VE_OK;
        if (inValue.GetObject() != nullptr && _StreamReference(inValue.GetObject(), inPath, ioBuffer, error))
            return error;
        return _StreamObject(inValue.GetObject(), inPath, ioBuffer);
    }
    case JSON_array:
    {
        VError error = VE_OK;
        if (inValue.GetArray() != nullptr && _StreamReference(inValue.GetArray(), inPath, ioBuffer, error))
            return error;
        return _StreamArray(inValue.GetArray(), inPath, ioBuffer);
    }
    default:
        break;
    }
    return written ? VE_OK : MemoryFull();
}

VError VJSONBinaryWriter::_StreamValueInPlace(const VJSONValue& inStored, const PathPart* inPath,
                                              Buffer& ioBuffer)
{
    // A collection is held by a copy while it is written: what its delegates do to the container
    // may not pull it away.
    if (inStored.IsObject() || inStored.IsArray())
        return _StreamValue(VJSONValue(inStored), inPath, ioBuffer);
    return _StreamValue(inStored, inPath, ioBuffer);
}

bool VJSONBinaryWriter::_StreamReference(const VJSONCollection* inCollection, const PathPart* inPath,
                                         Buffer& ioBuffer, VError& outError)
{
    fPendingEntry = -1;
    if (const size_t* found = fPointers.Find(inCollection))
    {
        try
        {
            const VString& pointer = _PointerOf(*found);
            fWroteReference = true;
            if (!AppendScalar(ioBuffer, kTagBackReference) ||
                !AppendUnits32(ioBuffer, pointer.GetCPointer(), pointer.GetLength()))
                outError = MemoryFull();
        }
        catch (const std::bad_alloc&)
        {
            outError = MemoryFull();
        }
        return true;
    }
    Entry entry{fCurrentEntry, inPath == nullptr,
                inPath != nullptr && (inPath->fName != nullptr || inPath->fStoredName != nullptr),
                VJSONObject::Name(), inPath != nullptr ? inPath->fIndex : 0};
    if (inPath != nullptr && inPath->fStoredName != nullptr)
        entry.fName = *inPath->fStoredName;
    else if (inPath != nullptr && inPath->fName != nullptr)
        entry.fName = VJSONObject::Name(*inPath->fName);
    try
    {
        fEntries.push_back(std::move(entry));
        fPointers.Add(inCollection, fEntries.size() - 1);
        // A container that a delegate made for the occasion may be freed once written, and its
        // address reused by another one: it is kept until the writer goes away.
        if (fTemporaryDepth != 0)
        {
            fRetained.push_back(inCollection);
            inCollection->Retain();
        }
    }
    catch (const std::bad_alloc&)
    {
        outError = MemoryFull();
        return true;
    }
    fPendingEntry = int64_t(fEntries.size() - 1);
    return false;
}

const VString& VJSONBinaryWriter::_PointerOf(size_t inEntry)
{
    auto built = fPointerTexts.find(inEntry);
    if (built != fPointerTexts.end())
        return built->second;
    // The steps from the root down, as the path parts the text is built from.
    std::vector<size_t> chain;
    for (int64_t entry = int64_t(inEntry); entry >= 0 && !fEntries[size_t(entry)].fRoot;
         entry = fEntries[size_t(entry)].fParent)
        chain.push_back(size_t(entry));
    std::vector<PathPart> parts(chain.size());
    const PathPart* parent = nullptr;
    for (size_t i = 0; i < chain.size(); ++i)
    {
        const Entry& step = fEntries[chain[chain.size() - 1 - i]];
        parts[i] = PathPart{parent, nullptr, step.fIndex, step.fNamed ? &step.fName : nullptr};
        parent = &parts[i];
    }
    VString& pointer = fPointerTexts[inEntry];
    BuildPathPointerString(parent, pointer);
    return pointer;
}

VError VJSONBinaryWriter::_StreamArray(const VJSONArray* inArray, const PathPart* inPath, Buffer& ioBuffer)
{
    if (inArray == nullptr)
        return AppendScalar(ioBuffer, static_cast<uint8_t>(JSON_null)) ? VE_OK : MemoryFull();
    int64_t self = fPendingEntry;
    fPendingEntry = -1;
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    StCurrentEntry current(fCurrentEntry, self);
    size_t count = inArray->GetCount();
    if (count > 0xFFFFFFFDu)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return VE_INVALID_PARAMETER;
    }
    if (!AppendScalar(ioBuffer, static_cast<uint8_t>(JSON_array)) ||
        !AppendScalar(ioBuffer, static_cast<uint32_t>(count)))
        return MemoryFull();
    // An array of one task is read in place; a shared one through copies taken under its lock.
    bool inPlace = inArray->_GetLocker() == nullptr;
    for (size_t i = 0; i < count; ++i)
    {
        PathPart step{inPath, nullptr, i};
        VError error;
        if (inPlace && i < inArray->_GetValues().size())
            error = _StreamValueInPlace(inArray->_GetValues()[i], &step, ioBuffer);
        else
            error = _StreamValue(inArray->GetAt(i), &step, ioBuffer);
        if (error != VE_OK)
            return error;
    }
    return VE_OK;
}

VError VJSONBinaryWriter::_StreamObject(const VJSONObject* inObject, const PathPart* inPath, Buffer& ioBuffer)
{
    if (inObject == nullptr)
        return AppendScalar(ioBuffer, static_cast<uint8_t>(JSON_null)) ? VE_OK : MemoryFull();
    int64_t self = fPendingEntry;
    fPendingEntry = -1;
    IJSONObject* delegate = inObject->GetImplementation();
    if (delegate != nullptr)
    {
        VJSONValue replacement(const_cast<VJSONObject*>(inObject));
        delegate->IJSON_GetValueToWriteToBuffer(replacement);
        if (replacement.GetObject() != inObject)
        {
            StTemporary temporary(fTemporaryDepth);
            return _StreamValue(replacement, inPath, ioBuffer);
        }
    }
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    if (!AppendScalar(ioBuffer, static_cast<uint8_t>(JSON_object)))
        return MemoryFull();
    StCurrentEntry current(fCurrentEntry, self);
    // Values a delegate answers, or that other tasks may replace, may live no longer than this.
    StTemporary temporary(fTemporaryDepth, delegate != nullptr || inObject->IsShared());
    bool native = delegate != nullptr && delegate->IJSON_GetBinarySignature() != 0;
    uint32_t flags = VJSONPropertyConstOrderedIterator::kSkipGetterNames;
    if (native)
        flags |= VJSONPropertyConstOrderedIterator::kSkipDelegateNames;
    if (delegate == nullptr && !inObject->IsShared())
    {
        // Nothing but the stored values: read in place.
        const std::vector<VJSONObject::Property>& properties = inObject->_GetProperties();
        for (size_t i = 0; i < properties.size(); ++i)
        {
            const VJSONObject::Name& name = properties[i].fName;
            if (name.GetLength() > kMaxNameLength)
            {
                VString text = name.GetString();
                _ThrowError(VE_INVALID_PARAMETER, &text);
                return VE_INVALID_PARAMETER;
            }
            uint16_t length = static_cast<uint16_t>(name.GetLength());
            if (!AppendScalar(ioBuffer, length) ||
                !Append(ioBuffer, name.GetUnits(), size_t(length) * sizeof(UniChar)))
                return MemoryFull();
            PathPart step{inPath, nullptr, 0, &name};
            VError error = _StreamValueInPlace(properties[i].fValue, &step, ioBuffer);
            if (error != VE_OK)
                return error;
        }
        return _StreamTrailer(inObject, ioBuffer);
    }
    for (VJSONPropertyConstOrderedIterator it(inObject, flags); it.IsValid(); ++it)
    {
        const VString& name = it.GetName();
        if (name.GetLength() > kMaxNameLength)
        {
            _ThrowError(VE_INVALID_PARAMETER, &name);
            return VE_INVALID_PARAMETER;
        }
        if (!AppendUnits16(ioBuffer, name))
            return MemoryFull();
        PathPart step{inPath, &name, 0};
        VError error = _StreamValue(it.GetValue(), &step, ioBuffer);
        if (error != VE_OK)
            return error;
    }
    return _StreamTrailer(inObject, ioBuffer);
}

VError VJSONBinaryWriter::_StreamTrailer(const VJSONObject* inObject, Buffer& ioBuffer)
{
    IJSONObject* delegate = inObject->GetImplementation();
    uint32_t signature = delegate != nullptr ? delegate->IJSON_GetBinarySignature() : 0;
    if (signature != 0)
    {
        if (!AppendScalar(ioBuffer, kTrailerMarker) || !AppendScalar(ioBuffer, signature))
            return MemoryFull();
        size_t before = ioBuffer.GetDataSize();
        VError error = VE_OK;
        EJSONStatus status = delegate->IJSON_WriteToBuffer(ioBuffer, &error);
        if (status == EJSON_error)
            return error != VE_OK ? error : VE_JSON_CANNOT_WRITE_TO_BUFFER;
        if (status == EJSON_unhandled)
        {
            ioBuffer.SetDataSize(before);
            return AppendScalar(ioBuffer, uint64_t(0)) ? VE_OK : MemoryFull();
        }
        // The record must be a u64 size and that many bytes: anything else would desynchronise
        // the reader.
        uint64_t size = 0;
        size_t written = ioBuffer.GetDataSize() - before;
        if (written >= sizeof(size))
            std::memcpy(&size, static_cast<const char*>(ioBuffer.GetDataPtr()) + before, sizeof(size));
        if (written < sizeof(size) || size != written - sizeof(size))
        {
            _ThrowError(VE_JSON_CANNOT_WRITE_TO_BUFFER);
            return VE_JSON_CANNOT_WRITE_TO_BUFFER;
        }
        return VE_OK;
    }
    VJSONClass* jsonClass = inObject->GetClass();
    if (jsonClass == nullptr ||
        (jsonClass->GetDepth() == 0 && jsonClass->GetName().EqualToStringRaw(VString("Object"))))
        return AppendScalar(ioBuffer, kEndMarker) ? VE_OK : MemoryFull();
    VString storeName;
    if (VProcess::sInstance != nullptr && VProcess::sInstance->GetClassStore() != nullptr)
        storeName = VProcess::sInstance->GetClassStore()->GetName();
    const VString& className = jsonClass->GetName();
    if (storeName.GetLength() > 0xFFFF || className.GetLength() > 0xFFFF)
    {
        _ThrowError(VE_INVALID_PARAMETER, &className);
        return VE_INVALID_PARAMETER;
    }
    uint64_t size = 2 * uint64_t(storeName.GetLength() + className.GetLength()) + 4;
    if (!AppendScalar(ioBuffer, kTrailerMarker) || !AppendScalar(ioBuffer, kClassSignature) ||
        !AppendScalar(ioBuffer, size) || !AppendUnits16(ioBuffer, storeName) ||
        !AppendUnits16(ioBuffer, className))
        return MemoryFull();
    return VE_OK;
}

} // namespace kova
