#include "kernel/json/VJSONBinaryImporter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/IJSONObject.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONExpandedSize.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONObjectFactory.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VTime.h"

#include <algorithm>
#include <cstring>

namespace kova
{

namespace
{

using Form = VJSONBinaryWriter;

// The units may lie at any alignment in the data: copied as bytes. A text that cannot be made
// comes back shorter than asked.
VString TextOf(const uint8_t* inUnits, size_t inLength)
{
    VString text;
    if (inLength == 0 || inLength > size_t(INT32_MAX) || !text.EnsureSize(int32_t(inLength)))
        return text;
    std::memcpy(text.GetCPointerForWrite(), inUnits, inLength * sizeof(UniChar));
    text.Validate(int32_t(inLength));
    return text;
}

// The array index of a pointer step: digits only, below 2^32.
bool IndexOf(const VString& inStep, uint64_t& outIndex)
{
    if (inStep.GetLength() == 0 || inStep.GetLength() > 10)
        return false;
    uint64_t index = 0;
    for (int32_t i = 0; i < inStep.GetLength(); ++i)
    {
        UniChar unit = inStep.GetCPointer()[i];
        if (unit < '0' || unit > '9')
            return false;
        index = index * 10 + (unit - '0');
    }
    outIndex = index;
    return index <= 0xFFFFFFFFu;
}

} // namespace

VJSONBinaryImporter::VJSONBinaryImporter(const void* inData, size_t inSize)
    : fData(static_cast<const uint8_t*>(inData)), fSize(inData == nullptr ? 0 : inSize)
{
}

VJSONBinaryImporter::~VJSONBinaryImporter() = default;

const VString& VJSONBinaryImporter::sBinaryPropertyName()
{
    static const VString sName("__PRIVATE_BINARY_OBJECT");
    return sName;
}

VError VJSONBinaryImporter::ReadBase64(const VString& inBase64, VJSONValue& outValue, uint64_t& ioBudget)
{
    VMemoryBuffer<1024ul, 2ul, 1048576ul> bytes;
    {
        StErrorContextInstaller decoding(true, false);
        if (!inBase64.DecodeBase64(bytes, false))
        {
            VError error = decoding.GetLastError();
            if (error == VE_OK)
            {
                error = VE_STREAM_TEXT_CONVERSION_FAILURE;
                _ThrowError(error);
            }
            return error;
        }
    }
    // An empty text is no form at all: cut data, not "no data".
    static const uint8_t sNothing = 0;
    const void* data = bytes.GetDataSize() != 0 ? bytes.GetDataPtr() : &sNothing;
    VJSONBinaryImporter importer(data, bytes.GetDataSize());
    importer.SetExpansionLimit(ioBudget);
    VError error = importer.GetValue(outValue);
    ioBudget -= std::min(ioBudget, importer.GetExpandedSize());
    return error;
}

VError VJSONBinaryImporter::_Truncated() const
{
    _ThrowError(VE_STREAM_EOF);
    return VE_STREAM_EOF;
}

bool VJSONBinaryImporter::_Read(void* outBytes, size_t inSize)
{
    if (inSize > _Left())
    {
        _Truncated();
        return false;
    }
    std::memcpy(outBytes, fData + fPosition, inSize);
    fPosition += inSize;
    return true;
}

VError VJSONBinaryImporter::GetValue(VJSONValue& outValue)
{
    if (fData == nullptr)
    {
        outValue.SetUndefined();
        return VE_OK;
    }
    bool hasContents = false;
    VJSONValue value;
    VError error = _GetValue(value, &hasContents);
    if (error == VE_OK && hasContents)
        error = _GetValueContents(value);
    fExpandedSize = 0;
    if (fShared)
    {
        // The bound of what was built: bytes passed over (unknown records, parts replaced) count
        // for nothing, as they are not written again.
        const uint64_t limit = std::min(fExpansionLimit, JSONExpansionLimit(value));
        fExpandedSize = JSONExpandedSize(value, limit);
        if (fExpandedSize > limit)
        {
            _ThrowError(VE_JSON_EXPANSION_TOO_LARGE);
            value.SetUndefined();
            if (error == VE_OK)
                error = VE_JSON_EXPANSION_TOO_LARGE;
        }
    }
    outValue = std::move(value);
    return error;
}

VError VJSONBinaryImporter::_GetValue(VJSONValue& outValue, bool* outHasContents)
{
    *outHasContents = false;
    uint8_t tag;
    if (!_Read(&tag, sizeof(tag)))
        return VE_STREAM_EOF;
    bool isRoot = !fHasRoot;
    switch (tag)
    {
    case JSON_null:
        outValue.SetNull();
        break;
    case JSON_false:
    case JSON_true:
        outValue.SetBool(tag == JSON_true);
        break;
    case JSON_undefined:
        outValue.SetUndefined();
        break;
    case JSON_string:
    {
        uint32_t length;
        if (!_Read(&length, sizeof(length)))
            return VE_STREAM_EOF;
        if (2 * uint64_t(length) > _Left())
            return _Truncated();
        VString text = TextOf(fData + fPosition, length);
        if (text.GetLength() != int32_t(length))
        {
            _ThrowError(VE_MEMORY_FULL);
            return VE_MEMORY_FULL;
        }
        fPosition += 2 * size_t(length);
        outValue.SetString(text);
        break;
    }
    case JSON_number:
    {
        double number;
        if (!_Read(&number, sizeof(number)))
            return VE_STREAM_EOF;
        outValue.SetNumber(number);
        break;
    }
    case JSON_date:
    {
        int64_t milliseconds;
        if (!_Read(&milliseconds, sizeof(milliseconds)))
            return VE_STREAM_EOF;
        VTime time;
        time.FromMilliseconds(milliseconds);
        outValue.SetTime(time);
        break;
    }
    case JSON_object:
    {
        uint16_t marker;
        if (_Left() < sizeof(marker))
            return _Truncated();
        std::memcpy(&marker, fData + fPosition, sizeof(marker));
        if (marker == Form::kUndefinedObject)
        {
            outValue.SetUndefined();
            break;
        }
        VRefPtr<VJSONObject> object(new VJSONObject);
        if (fStamp != nullptr)
            object->SetJSONStamp(fStamp);
        outValue.SetObject(object.Get());
        *outHasContents = true;
        break;
    }
    case JSON_array:
    {
        uint32_t count;
        if (!_Read(&count, sizeof(count)))
            return VE_STREAM_EOF;
        if (count == Form::kUndefinedArray)
        {
            outValue.SetUndefined();
            break;
        }
        // Each element takes at least its tag byte, and so does each element still to come in
        // the arrays around this one: a count past the bytes left for it is a lie. Checked
        // against the bytes left alone, every open level could claim them all, and sizing each
        // array from its count would take room for count times depth.
        if (fPendingElements > _Left() || count > _Left() - fPendingElements)
            return _Truncated();
        VRefPtr<VJSONArray> array(new VJSONArray);
        if (fStamp != nullptr)
            array->SetJSONStamp(fStamp);
        outValue.SetArray(array.Get());
        if (!array->Resize(count, JSON_undefined))
        {
            _ThrowError(VE_MEMORY_FULL);
            return VE_MEMORY_FULL;
        }
        *outHasContents = true;
        break;
    }
    case Form::kTagBackReference:
    {
        uint32_t length;
        if (!_Read(&length, sizeof(length)))
            return VE_STREAM_EOF;
        if (2 * uint64_t(length) > _Left())
            return _Truncated();
        if (!isRoot)
        {
            VJSONValue target = _Resolve(reinterpret_cast<const UniChar*>(fData + fPosition), length);
            if (target.IsObject() || target.IsArray())
            {
                outValue = std::move(target);
                fShared = true;
            }
        }
        fPosition += 2 * size_t(length);
        break;
    }
    default:
    {
        // An unknown record: its u32 size counts itself.
        size_t start = fPosition;
        uint32_t size;
        if (!_Read(&size, sizeof(size)))
            return VE_STREAM_EOF;
        if (size < sizeof(size) || size - sizeof(size) > _Left())
            return _Truncated();
        fPosition = start + size;
        break;
    }
    }
    if (isRoot)
    {
        fRoot = outValue;
        fHasRoot = true;
    }
    return VE_OK;
}

VString VJSONBinaryImporter::_NameOf(const uint8_t* inUnits, uint16_t inLength)
{
    // Names recur from record to record: short ones share one block each, as the text reader's do.
    constexpr uint16_t kMaxShared = 64;
    if (inLength == 0 || inLength > kMaxShared)
        return TextOf(inUnits, inLength);
    UniChar units[kMaxShared];
    std::memcpy(units, inUnits, inLength * sizeof(UniChar));
    uint32_t hash = VJSONObject::Name::Hash(units, inLength);
    auto range = fNames.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second.Equals(units, inLength, hash))
            return it->second.GetString();
    }
    VJSONObject::Name name(units, inLength);
    if (name.GetLength() != inLength)
        return VString();
    try
    {
        return fNames.emplace(hash, std::move(name))->second.GetString();
    }
    catch (const std::bad_alloc&)
    {
        return TextOf(inUnits, inLength);
    }
}

VError VJSONBinaryImporter::_GetValueContents(VJSONValue& ioValue)
{
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    if (ioValue.IsObject())
        return _GetObjectContents(ioValue.GetObject());
    if (ioValue.IsArray())
        return _GetArrayContents(ioValue.GetArray());
    return VE_OK;
}

VError VJSONBinaryImporter::_GetObjectContents(VJSONObject* inObject)
{
    if (inObject == nullptr)
        return _Truncated();
    for (;;)
    {
        uint16_t marker;
        if (!_Read(&marker, sizeof(marker)))
            return VE_STREAM_EOF;
        if (marker < Form::kFirstMarker)
        {
            if (2 * size_t(marker) > _Left())
                return _Truncated();
            VString name = _NameOf(fData + fPosition, marker);
            if (name.GetLength() != marker)
            {
                _ThrowError(VE_MEMORY_FULL);
                return VE_MEMORY_FULL;
            }
            fPosition += 2 * size_t(marker);
            VJSONValue value(JSON_undefined);
            bool hasContents = false;
            VError error = _GetValue(value, &hasContents);
            inObject->SetProperty(name, value);
            if (error == VE_OK && hasContents)
                error = _GetValueContents(value);
            if (error != VE_OK)
                return error;
            continue;
        }
        if (marker == Form::kEndMarker)
            return VE_OK;
        if (marker != Form::kTrailerMarker)
            continue;
        uint32_t signature;
        if (_Left() < sizeof(signature))
            return VE_OK;
        uint64_t size;
        if (!_Read(&signature, sizeof(signature)) || !_Read(&size, sizeof(size)))
            return VE_STREAM_EOF;
        if (size > _Left())
            return _Truncated();
        const uint8_t* record = fData + fPosition;
        fPosition += size_t(size);
        VRefPtr<VJSONObject> classObject;
        VError error = VE_OK;
        if (signature == Form::kClassSignature)
        {
            error = _CreateObjectWithClass(inObject, record, size, classObject);
        }
        else
        {
            VRefPtr<IJSONObject> delegate(VJSONObjectFactory::Get().CreateForSignature(
                inObject, signature, record, size_t(size), classObject, &error));
            inObject->_SetImplementation(delegate.Get());
        }
        if (VJSONClass* jsonClass = VJSONClass::CastClassObject(classObject.Get()))
        {
            inObject->_SetClass(jsonClass);
            inObject->SetConstructionLevel(jsonClass->GetDepth());
        }
        return error;
    }
}

VError VJSONBinaryImporter::_GetArrayContents(VJSONArray* inArray)
{
    if (inArray == nullptr)
        return _Truncated();
    const size_t count = inArray->GetCount();
    fPendingElements += count;
    for (size_t i = 0; i < count; ++i)
    {
        --fPendingElements;
        VJSONValue value(JSON_undefined);
        bool hasContents = false;
        VError error = _GetValue(value, &hasContents);
        if (error != VE_OK)
            return error;
        inArray->SetAt(i, value);
        if (hasContents)
            error = _GetValueContents(value);
        if (error != VE_OK)
            return error;
    }
    return VE_OK;
}

VError VJSONBinaryImporter::_CreateObjectWithClass(VJSONObject*, const uint8_t* inRecord, uint64_t inSize,
                                                   VRefPtr<VJSONObject>& outClassObject)
{
    // Lenient: a name whose units do not fit stays empty.
    VString names[2];
    uint64_t position = 0;
    for (VString& name : names)
    {
        uint16_t length = 0;
        if (inSize - position < sizeof(length))
            break;
        std::memcpy(&length, inRecord + position, sizeof(length));
        position += sizeof(length);
        if (2 * uint64_t(length) > inSize - position)
            break;
        name = TextOf(inRecord + position, length);
        position += 2 * uint64_t(length);
    }
    if (VProcess::sInstance != nullptr)
        outClassObject = VRefPtr<VJSONObject>(VProcess::sInstance->GetClassObject(names[0], names[1]));
    return VE_OK;
}

VJSONValue VJSONBinaryImporter::_Resolve(const UniChar* inUnits, uint32_t inLength) const
{
    VString pointer = TextOf(reinterpret_cast<const uint8_t*>(inUnits), inLength);
    if (pointer.GetLength() == 0 || pointer.GetCPointer()[0] != '#')
        return VJSONValue();
    VJSONValue current = fRoot;
    int32_t position = 1;
    while (position < pointer.GetLength())
    {
        if (pointer.GetCPointer()[position] != '/')
            return VJSONValue();
        ++position;
        VString step;
        for (; position < pointer.GetLength() && pointer.GetCPointer()[position] != '/'; ++position)
        {
            UniChar unit = pointer.GetCPointer()[position];
            if (unit == '~' && position + 1 < pointer.GetLength())
            {
                UniChar next = pointer.GetCPointer()[position + 1];
                if (next == '0' || next == '1')
                {
                    unit = next == '0' ? UniChar('~') : UniChar('/');
                    ++position;
                }
            }
            step.AppendUniChar(unit);
        }
        uint64_t index = 0;
        if (current.IsObject())
            current = current.GetObject()->GetOwnProperty(step);
        else if (current.IsArray() && IndexOf(step, index) && index < current.GetArray()->GetCount())
            current = current.GetArray()->GetAt(size_t(index));
        else
            return VJSONValue();
    }
    return current;
}

} // namespace kova
