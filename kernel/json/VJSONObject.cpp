#include "kernel/json/VJSONObject.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONDisposal.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/values/VCppMemMgr.h"

#include <cstring>
#include <new>

namespace kova
{

namespace
{

// Up to this many properties a linear scan is faster than hashing into an index.
constexpr size_t kLinearLimit = 8;

// Spreads a hash over the slots of a power-of-two table.
inline size_t SlotOf(uint32_t inHash, size_t inMask)
{
    uint32_t h = inHash;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    return size_t(h) & inMask;
}

// Whether the path component names an array element: a non-empty run of ASCII digits.
bool IsArrayIndex(const VString& inComponent, size_t& outIndex)
{
    int32_t length = inComponent.GetLength();
    if (length == 0)
        return false;
    const UniChar* units = inComponent.GetCPointer();
    size_t index = 0;
    bool overflow = false;
    for (int32_t i = 0; i < length; ++i)
    {
        if (units[i] < u'0' || units[i] > u'9')
            return false;
        if (index > (SIZE_MAX - 9) / 10)
            overflow = true;
        else
            index = index * 10 + size_t(units[i] - u'0');
    }
    // Too large for any array: an index past every end.
    outIndex = overflow ? SIZE_MAX : index;
    return true;
}

} // namespace

VJSONObject::VJSONObject(IJSONObject* inImplementation)
    : fImplementation(RetainRefCountable(inImplementation))
{
    if (fImplementation != nullptr)
        fImplementation->IJSON_DoConnectDependencies(this);
}

VJSONObject::~VJSONObject()
{
    if (fImplementation != nullptr)
        fImplementation->IJSON_DoDisconnectDependencies(this);
    ReleaseRefCountable(&fImplementation);
}

void VJSONObject::DoOnRefCountZero()
{
    DisposeJSONCollection(this);
}

// ---------------------------------------------------------------------------------------------
// Names

VJSONObject::Name::Name(const VString& inText)
{
    fRecord.fString = inText.RetainBuffer(&fRecord.fLength, &fRecord.fMaxLength);
    fHash = Hash(fRecord.fString, fRecord.fLength);
}

VJSONObject::Name::Name(const UniChar* inUnits, int32_t inLength)
{
    if (inLength > 0)
    {
        fRecord.fString = VString::_NewBlockWithText(inUnits, inLength, kMEM_TAG_STRING);
        if (fRecord.fString != nullptr)
            fRecord.fLength = fRecord.fMaxLength = inLength;
    }
    fHash = Hash(fRecord.fString, fRecord.fLength);
}

VJSONObject::Name& VJSONObject::Name::operator=(const Name& inOther)
{
    Name copy(inOther);
    return *this = std::move(copy);
}

VJSONObject::Name& VJSONObject::Name::operator=(Name&& inOther) noexcept
{
    if (this != &inOther)
    {
        fRecord.Dispose();
        fRecord = inOther.fRecord;
        fHash = inOther.fHash;
        inOther.fRecord = VInlineString();
    }
    return *this;
}

bool VJSONObject::Name::Equals(const UniChar* inUnits, int32_t inLength, uint32_t inHash) const
{
    return fHash == inHash && fRecord.fLength == inLength &&
           (inLength == 0 || std::memcmp(fRecord.fString, inUnits, size_t(inLength) * sizeof(UniChar)) == 0);
}

uint32_t VJSONObject::Name::Hash(const UniChar* inUnits, int32_t inLength)
{
    // FNV-1a over the units.
    uint32_t hash = 2166136261u;
    for (int32_t i = 0; i < inLength; ++i)
        hash = (hash ^ inUnits[i]) * 16777619u;
    return hash;
}

// ---------------------------------------------------------------------------------------------
// The property table

ptrdiff_t VJSONObject::_Find(const UniChar* inUnits, int32_t inLength, uint32_t inHash) const
{
    if (fIndex.empty())
    {
        for (size_t i = 0; i < fProperties.size(); ++i)
        {
            if (fProperties[i].fName.Equals(inUnits, inLength, inHash))
                return ptrdiff_t(i);
        }
        return -1;
    }
    size_t mask = fIndex.size() - 1;
    for (size_t slot = SlotOf(inHash, mask); fIndex[slot] != 0; slot = (slot + 1) & mask)
    {
        if (fProperties[fIndex[slot] - 1].fName.Equals(inUnits, inLength, inHash))
            return ptrdiff_t(fIndex[slot] - 1);
    }
    return -1;
}

void VJSONObject::_RebuildIndex()
{
    if (fProperties.size() <= kLinearLimit)
    {
        fIndex.clear();
        return;
    }
    size_t capacity = 16;
    while (capacity < fProperties.size() * 2)
        capacity *= 2;
    try
    {
        fIndex.assign(capacity, 0);
    }
    catch (const std::bad_alloc&)
    {
        // Without an index every look-up scans: slower, still right.
        fIndex.clear();
        return;
    }
    size_t mask = capacity - 1;
    for (size_t i = 0; i < fProperties.size(); ++i)
    {
        size_t slot = SlotOf(fProperties[i].fName.GetHash(), mask);
        while (fIndex[slot] != 0)
            slot = (slot + 1) & mask;
        fIndex[slot] = uint32_t(i + 1);
    }
}

void VJSONObject::_InsertInIndex(size_t inPosition)
{
    if (fProperties.size() <= kLinearLimit)
        return;
    // Kept at most half full, so that probes stay short.
    if (fIndex.empty() || fProperties.size() * 2 > fIndex.size())
    {
        _RebuildIndex();
        return;
    }
    size_t mask = fIndex.size() - 1;
    size_t slot = SlotOf(fProperties[inPosition].fName.GetHash(), mask);
    while (fIndex[slot] != 0)
        slot = (slot + 1) & mask;
    fIndex[slot] = uint32_t(inPosition + 1);
}

template <class VALUE>
bool VJSONObject::_Store(const VString& inName, VALUE&& inValue)
{
    uint32_t hash = Name::Hash(inName.GetCPointer(), inName.GetLength());
    ptrdiff_t position = _Find(inName.GetCPointer(), inName.GetLength(), hash);
    if (position >= 0)
    {
        // The position, and so the insertion index, stays.
        VJSONValue& stored = fProperties[size_t(position)].fValue;
        stored = std::forward<VALUE>(inValue);
        stored.TouchStamp();
        return true;
    }
    if (fProperties.size() >= UINT32_MAX - 1)
        return false;
    try
    {
        fProperties.push_back(Property{Name(inName), std::forward<VALUE>(inValue)});
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    fProperties.back().fValue.TouchStamp();
    _InsertInIndex(fProperties.size() - 1);
    return true;
}

bool VJSONObject::_AdoptProperties(Property* inFirst, Property* inLast)
{
    try
    {
        fProperties.reserve(fProperties.size() + size_t(inLast - inFirst));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    for (Property* property = inFirst; property != inLast; ++property)
    {
        const Name& name = property->fName;
        ptrdiff_t position = _Find(name.GetUnits(), name.GetLength(), name.GetHash());
        if (position >= 0)
        {
            fProperties[size_t(position)].fValue = std::move(property->fValue);
            fProperties[size_t(position)].fValue.TouchStamp();
            continue;
        }
        fProperties.push_back(std::move(*property));
        fProperties.back().fValue.TouchStamp();
        _InsertInIndex(fProperties.size() - 1);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reading

VJSONValue VJSONObject::GetProperty(const VString& inName, VDBLanguageContext* inContext) const
{
    VJSONValue result;
    if (fImplementation != nullptr &&
        fImplementation->IJSON_GetProperty(this, inName, result, inContext) != EJSON_unhandled)
        return result;
    ptrdiff_t position = _Find(inName);
    if (position >= 0)
        result = fProperties[size_t(position)].fValue;
    return result;
}

VJSONValue VJSONObject::GetOwnProperty(const VString& inName) const
{
    return _GetOwnProperty(inName);
}

VJSONValue VJSONObject::_GetOwnProperty(const VString& inName) const
{
    VJSONValue result;
    ptrdiff_t position = _Find(inName);
    if (position >= 0)
        result = fProperties[size_t(position)].fValue;
    return result;
}

bool VJSONObject::HasProperty(const VString& inName, VDBLanguageContext* inContext) const
{
    if (fImplementation != nullptr)
    {
        VJSONValue scratch;
        EJSONStatus status = fImplementation->IJSON_GetProperty(this, inName, scratch, inContext);
        if (status == EJSON_done && !scratch.IsUndefined())
            return true;
        // Any other answer leaves only the prototype chain, which no object has yet.
        if (status != EJSON_unhandled)
            return false;
    }
    return _Find(inName) >= 0;
}

bool VJSONObject::HasOwnProperty(const VString& inName) const
{
    return _HasOwnProperty(inName);
}

bool VJSONObject::_HasOwnProperty(const VString& inName) const
{
    return _Find(inName) >= 0;
}

std::vector<VJSONObject::Property> VJSONObject::GetInternalProperties() const
{
    return fProperties;
}

bool VJSONObject::IsEmpty() const
{
    if (!fProperties.empty())
        return false;
    if (fImplementation != nullptr && !fImplementation->IJSON_IsEmpty(this))
        return false;
    return true;
}

VJSONValue VJSONObject::GetPropertyByIndex(size_t inIndex, EJSONStatus* outStatus) const
{
    VJSONValue result;
    EJSONStatus status = EJSON_unhandled;
    if (fImplementation != nullptr)
        status = fImplementation->IJSON_GetPropertyByIndex(this, inIndex, result);
    if (outStatus != nullptr)
        *outStatus = status;
    return result;
}

size_t VJSONObject::GetCountPropertiesByIndex(EJSONStatus* outStatus) const
{
    size_t count = 0;
    EJSONStatus status = EJSON_unhandled;
    if (fImplementation != nullptr)
        status = fImplementation->IJSON_GetCountPropertiesByIndex(this, &count);
    if (outStatus != nullptr)
        *outStatus = status;
    return count;
}

void VJSONObject::GetString(VString& outText) const
{
    outText.FromString(VJSONValue::sObjectString);
}

// ---------------------------------------------------------------------------------------------
// Changing

bool VJSONObject::SetProperty(const VString& inName, const VJSONValue& inValue, VDBLanguageContext* inContext)
{
    if (inValue.IsUndefined())
    {
        RemoveProperty(inName);
        return true;
    }
    if (fImplementation != nullptr)
    {
        EJSONStatus status = fImplementation->IJSON_SetProperty(this, inName, inValue, inContext);
        if (status != EJSON_unhandled)
            return status == EJSON_done;
    }
    return _SetOwnProperty(inName, inValue);
}

bool VJSONObject::SetOwnProperty(const VString& inName, const VJSONValue& inValue)
{
    return _SetOwnProperty(inName, inValue);
}

bool VJSONObject::_SetOwnProperty(const VString& inName, const VJSONValue& inValue)
{
    if (inValue.IsUndefined())
    {
        _RemoveOwnProperty(inName);
        return true;
    }
    return _Store(inName, inValue);
}

bool VJSONObject::_SetOwnProperty(const VString& inName, VJSONValue&& inValue)
{
    if (inValue.IsUndefined())
    {
        _RemoveOwnProperty(inName);
        return true;
    }
    return _Store(inName, std::move(inValue));
}

bool VJSONObject::SetProperties(const std::vector<std::pair<VString, VJSONValue>>& inProperties,
                                VDBLanguageContext* inContext)
{
    if (inProperties.empty())
        return true;
    if (fImplementation != nullptr && fImplementation->IJSON_BeginChangeProperties() == EJSON_error)
    {
        fImplementation->IJSON_EndChangeProperties();
        return false;
    }
    bool result = true;
    for (const auto& [name, value] : inProperties)
    {
        result = SetProperty(name, value, inContext);
        if (!result)
            break;
    }
    if (fImplementation != nullptr && fImplementation->IJSON_EndChangeProperties() == EJSON_error)
        result = false;
    return result;
}

void VJSONObject::RemoveProperty(const VString& inName)
{
    if (fImplementation != nullptr && fImplementation->IJSON_RemoveProperty(this, inName) != EJSON_unhandled)
        return;
    _RemoveOwnProperty(inName);
}

void VJSONObject::RemoveOwnProperty(const VString& inName)
{
    _RemoveOwnProperty(inName);
}

void VJSONObject::_RemoveOwnProperty(const VString& inName)
{
    ptrdiff_t position = _Find(inName);
    if (position < 0)
        return;
    // The value goes last: dropping it may free collections that run code of their own.
    VJSONValue removed(std::move(fProperties[size_t(position)].fValue));
    fProperties.erase(fProperties.begin() + position);
    _RebuildIndex();
}

void VJSONObject::ClearProperty(const VString& inName, VDBLanguageContext* inContext)
{
    VJSONValue value = GetProperty(inName, inContext);
    if (value.IsUndefined())
        return;
    value.Clear();
    SetProperty(inName, value, inContext);
}

void VJSONObject::Clear()
{
    if (fImplementation != nullptr)
        fImplementation->IJSON_Clear(this);
    ClearInternalProperties();
}

void VJSONObject::ClearInternalProperties()
{
    std::vector<Property> removed;
    removed.swap(fProperties);
    fIndex.clear();
}

// ---------------------------------------------------------------------------------------------
// Comparison

bool VJSONObject::DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions) const
{
    // Through the values, which hold the comparison's set of pairs.
    return VJSONValue(const_cast<VJSONObject*>(this))
        .DeepEqualTo(VJSONValue(const_cast<VJSONObject*>(inOther)), inOptions);
}

bool VJSONObject::_DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions,
                               VJSONComparedPairs& ioPairs) const
{
    if (inOther == nullptr)
        return false;
    if (!ioPairs.emplace(this, inOther).second)
        return true;
    StJSONNesting level;
    if (!level.IsOK())
        return false;
    if (fImplementation != nullptr)
    {
        bool equal = false;
        EJSONStatus status = fImplementation->IJSON_DeepEqualTo(this, inOther, &equal);
        if (status == EJSON_error)
            return equal;
        if (status != EJSON_unhandled && !equal)
            return false;
    }
    if (fProperties.size() != inOther->fProperties.size())
        return false;
    for (const Property& property : fProperties)
    {
        const Name& name = property.fName;
        ptrdiff_t position = inOther->_Find(name.GetUnits(), name.GetLength(), name.GetHash());
        if (position < 0)
            return false;
        if (!property.fValue._DeepEqualTo(inOther->fProperties[size_t(position)].fValue, inOptions, ioPairs))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Paths

VError VJSONObject::ExtractPath(const VString& inPath, std::vector<VString>& outComponents)
{
    outComponents.clear();
    std::vector<VString> pieces;
    inPath.GetSubStrings(u'.', pieces, true, true);
    VError error = VE_OK;
    std::vector<VString> parts;
    for (const VString& piece : pieces)
    {
        if (!piece.GetSubStrings(u'[', parts, true, true))
        {
            outComponents.push_back(piece);
            if (piece.IsEmpty())
                error = VE_JSON_PATH_EMPTY_COMPONENT;
        }
        else
        {
            // The name before the first bracket, then each bracketed part without its "]".
            outComponents.push_back(parts[0]);
            if (parts[0].IsEmpty())
                error = VE_JSON_PATH_EMPTY_COMPONENT;
            for (size_t i = 1; i < parts.size() && error == VE_OK; ++i)
            {
                const VString& part = parts[i];
                int32_t length = part.GetLength();
                if (length == 0)
                {
                    error = VE_JSON_PATH_EMPTY_COMPONENT;
                    outComponents.push_back(part);
                }
                else if (part.GetUniChar(length) != u']')
                {
                    error = VE_JSON_PATH_UNCLOSED_BRACKET;
                    outComponents.push_back(part);
                }
                else
                {
                    outComponents.push_back(part.Before(length));
                    if (length == 1)
                        error = VE_JSON_PATH_EMPTY_COMPONENT;
                }
            }
        }
        if (error != VE_OK)
        {
            _ThrowError(error);
            break;
        }
    }
    return error;
}

VJSONValue VJSONObject::GetPropertyWithPath(const VString& inPath, VDBLanguageContext* inContext) const
{
    std::vector<VString> components;
    if (ExtractPath(inPath, components) != VE_OK)
        return VJSONValue(VJSONValue::sUndefined);
    return GetPropertyWithPath(components, inContext);
}

VJSONValue VJSONObject::GetPropertyWithPath(const std::vector<VString>& inComponents,
                                            VDBLanguageContext* inContext) const
{
    static const VString sLength("length");
    VJSONValue current(const_cast<VJSONObject*>(this));
    for (const VString& component : inComponents)
    {
        if (VJSONObject* object = current.GetObject())
        {
            current = object->GetProperty(component, inContext);
        }
        else if (VJSONArray* array = current.GetArray())
        {
            size_t index = 0;
            if (component.EqualToString(sLength, false))
                current = VJSONValue(double(array->GetCount()));
            else if (IsArrayIndex(component, index))
                current = array->GetAt(index);
            else
                current.SetUndefined();
        }
        else
        {
            return VJSONValue(VJSONValue::sUndefined);
        }
    }
    return current;
}

} // namespace kova
