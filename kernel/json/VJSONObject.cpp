#include "kernel/json/VJSONObject.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/json/VJSONStamp.h"
#include "kernel/json/VJSONWriter.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VPackedKeyIndex.h"

#include <cstring>
#include <functional>
#include <new>

namespace kova
{

namespace
{

// Up to this many properties a linear scan is faster than hashing into an index.
constexpr size_t kLinearLimit = 8;

// Past this index an array would need more than 2^31 elements: paths do not grow one that far.
constexpr size_t kLargestPathIndex = 0x7FFFFFFF;

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

bool IsArrayIndex(const VString& inComponent)
{
    size_t index = 0;
    return IsArrayIndex(inComponent, index);
}

const VJSONCollection* CollectionOf(const VJSONValue& inValue)
{
    if (const VJSONObject* object = inValue.GetObject())
        return object;
    return inValue.GetArray();
}

bool HoldSameCollection(const VJSONValue& inFirst, const VJSONValue& inSecond)
{
    const VJSONCollection* collection = CollectionOf(inFirst);
    return collection != nullptr && collection == CollectionOf(inSecond);
}

// A new empty collection for a path step: an array when the next component is an index. Into a
// locked container it goes with an adoptable locker, which the container's locker takes over.
VJSONValue NewPathStep(bool inArray, bool inShared)
{
    if (inArray)
    {
        VRefPtr<VJSONArray> array(new VJSONArray(inShared));
        return VJSONValue(array.Get());
    }
    VRefPtr<VJSONObject> object(new VJSONObject(nullptr, nullptr, inShared));
    return VJSONValue(object.Get());
}

} // namespace

bool isvalidnumber(const VString& inText)
{
    const UniChar* units = inText.GetCPointer();
    for (int32_t i = 0; i < inText.GetLength(); ++i)
    {
        if (units[i] < u'0' || units[i] > u'9')
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Construction

VJSONObject::VJSONObject(VJSONObject* inClassObject, IJSONObject* inImplementation, bool inShared)
    : fImplementation(RetainRefCountable(inImplementation))
{
    // The object keeps the locker's first reference.
    if (inShared)
        fStorageLocker.store(new VStorageLocker(false, true), std::memory_order_relaxed);
    _InitClass(inClassObject);
    if (fImplementation != nullptr)
        fImplementation->IJSON_DoConnectDependencies(this);
}

VJSONObject::VJSONObject(VJSONObject* inClassObject, IJSONObject* inImplementation, VStorageLocker* inLocker,
                         bool)
    : fImplementation(RetainRefCountable(inImplementation))
{
    fStorageLocker.store(RetainRefCountable(inLocker), std::memory_order_relaxed);
    _InitClass(inClassObject);
    if (fImplementation != nullptr)
        fImplementation->IJSON_DoConnectDependencies(this);
}

void VJSONObject::_InitClass(VJSONObject* inClassObject)
{
    if (inClassObject == nullptr)
    {
        // Before the process's store (or its roots) exist, objects have no class.
        VJSONClassStore* store = VJSONClassStore::GetProcessClassStore();
        fClass = store != nullptr ? store->GetObjectClass() : nullptr;
    }
    else
    {
        fClass = VJSONClass::CastClassObject(inClassObject);
    }
    if (fClass != nullptr)
        fClass->UseClassObject();
}

void VJSONObject::_SetImplementation(IJSONObject* inImplementation)
{
    if (fImplementation != nullptr || inImplementation == nullptr)
        return;
    fImplementation = RetainRefCountable(inImplementation);
    fImplementation->IJSON_DoConnectDependencies(this);
}

VJSONObject::~VJSONObject()
{
    if (fImplementation != nullptr)
        fImplementation->IJSON_DoDisconnectDependencies(this);
    if (fClass != nullptr)
    {
        VJSONClass* previous = fClass;
        fClass = nullptr;
        previous->UnuseClassObject();
    }
    {
        StGraphLocker lock(_NeedsGraphLock());
        if (fGraph != nullptr)
        {
            DisconnectAll();
            fGraph->_Leave(this);
            VJSONGraph* graph = fGraph;
            fGraph = nullptr;
            graph->Release();
        }
    }
    ReleaseRefCountable(&fImplementation);
}

void VJSONObject::_SetClass(VJSONClass* inClass)
{
    if (inClass == nullptr || inClass == fClass)
        return;
    inClass->UseClassObject();
    VJSONClass* previous = fClass;
    fClass = inClass;
    if (previous != nullptr)
        previous->UnuseClassObject();
}

VJSONObject* VJSONObject::_GetPrototype() const
{
    return fClass != nullptr ? fClass->GetPrototype() : nullptr;
}

bool VJSONObject::IsGenericObject() const
{
    return fClass == nullptr || fClass->GetDepth() == 0;
}

bool VJSONObject::IsInstanceOf(const VJSONClass* inClass) const
{
    for (const VJSONClass* current = fClass; current != nullptr; current = current->GetSuperClass())
    {
        if (current == inClass)
            return true;
    }
    return inClass == nullptr;
}

bool VJSONObject::IsInstanceOf(const VJSONObject* inClassObject) const
{
    const VJSONClass* cls = VJSONClass::CastClassObject(inClassObject);
    if (cls == nullptr)
    {
        _ThrowError(VE_JSON_NOT_A_CLASS_OBJECT);
        return false;
    }
    return IsInstanceOf(cls);
}

VJSONObject* VJSONObject::GetClassObject() const
{
    return fClass != nullptr ? fClass->GetClassObject() : nullptr;
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
    ++sJSONPropertyProbeCount;
    return fHash == inHash && fRecord.fLength == inLength &&
           (inLength == 0 || std::memcmp(fRecord.fString, inUnits, size_t(inLength) * sizeof(UniChar)) == 0);
}

uint32_t VJSONObject::Name::Hash(const UniChar* inUnits, int32_t inLength)
{
    // Names come from documents: under the bags' per-process key, no document can choose names
    // that meet in one probe chain. The hash lives in memory only; no stored form holds it.
    return _VPackedKeyIndex::HashOf(reinterpret_cast<const char*>(inUnits),
                                    size_t(inLength) * sizeof(UniChar));
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
        for (; fIndex[slot] != 0; slot = (slot + 1) & mask)
            ++sJSONPropertyProbeCount;
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
    for (; fIndex[slot] != 0; slot = (slot + 1) & mask)
        ++sJSONPropertyProbeCount;
    fIndex[slot] = uint32_t(inPosition + 1);
}

template <class VALUE>
bool VJSONObject::_Store(const Name& inName, VALUE&& inValue)
{
    ptrdiff_t position = _Find(inName.GetUnits(), inName.GetLength(), inName.GetHash());
    if (position >= 0)
    {
        // The position, and so the insertion index, stays. The previous value leaves the table
        // before it is unlinked, so that the local check sees the object as it now is.
        VJSONValue& stored = fProperties[size_t(position)].fValue;
        VJSONValue previous(std::move(stored));
        stored = std::forward<VALUE>(inValue);
        stored.TouchStamp();
        if (!HoldSameCollection(previous, stored))
        {
            if (!VJSONGraph::Connect(&fGraph, stored, this, nullptr))
            {
                stored = std::move(previous);
                return false;
            }
            VJSONGraph::Disconnect(fGraph, previous);
        }
        _TouchJSONStamp();
        return true;
    }
    if (fProperties.size() >= UINT32_MAX - 1)
        return false;
    try
    {
        fProperties.push_back(Property{inName, std::forward<VALUE>(inValue)});
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    fProperties.back().fValue.TouchStamp();
    if (!VJSONGraph::Connect(&fGraph, fProperties.back().fValue, this, nullptr))
    {
        fProperties.pop_back();
        return false;
    }
    _InsertInIndex(fProperties.size() - 1);
    _TouchJSONStamp();
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

void VJSONObject::_RemoveInternalProperty(size_t inPosition)
{
    // Later names move down one place: their insertion indexes go down by one.
    VJSONValue removed(std::move(fProperties[inPosition].fValue));
    fProperties.erase(fProperties.begin() + ptrdiff_t(inPosition));
    _RebuildIndex();
    VJSONGraph::Disconnect(fGraph, removed);
}

void VJSONObject::_TakeProperties(std::vector<Property>& outProperties)
{
    outProperties.swap(fProperties);
    fIndex.clear();
}

// ---------------------------------------------------------------------------------------------
// Reading

bool VJSONObject::_IsLockerIDName(const VString& inName) const
{
    return _GetLocker() != nullptr && inName.EqualToUSASCIICString("__LockerID");
}

VJSONValue VJSONObject::GetProperty(const VString& inName, VDBLanguageContext* inContext) const
{
    VJSONValue result;
    {
        StCollectionLocks locks(this, false);
        if (fImplementation != nullptr &&
            fImplementation->IJSON_GetProperty(this, inName, result, inContext) != EJSON_unhandled)
            return result;
        result = _GetOwnProperty(inName);
    }
    // The class answers outside the locks: a getter may run any code.
    if (result.IsUndefined() && fClass != nullptr)
    {
        if (VJSONObject* function = fClass->GetFunction(inName))
            result.SetObject(function);
        else if (VJSONObject* getter = fClass->GetGetter(inName))
            getter->CallAsFunction(const_cast<VJSONObject*>(this), nullptr, nullptr, result, nullptr,
                                   inContext);
    }
    return result;
}

VJSONValue VJSONObject::GetOwnProperty(const VString& inName) const
{
    StCollectionLocks locks(this, false);
    return _GetOwnProperty(inName);
}

VJSONValue VJSONObject::_GetOwnProperty(const VString& inName) const
{
    VJSONValue result;
    if (_IsLockerIDName(inName))
    {
        result.SetNumber(_GetLocker()->GetSharedID());
        return result;
    }
    ptrdiff_t position = _Find(inName);
    if (position >= 0)
        result = fProperties[size_t(position)].fValue;
    return result;
}

bool VJSONObject::HasProperty(const VString& inName, VDBLanguageContext* inContext) const
{
    StCollectionLocks locks(this, false);
    bool ownLookUp = true;
    if (fImplementation != nullptr)
    {
        VJSONValue scratch;
        EJSONStatus status = fImplementation->IJSON_GetProperty(this, inName, scratch, inContext);
        if (status == EJSON_done && !scratch.IsUndefined())
            return true;
        // Any other answer leaves only the prototype chain.
        ownLookUp = status == EJSON_unhandled;
    }
    if (ownLookUp && (_IsLockerIDName(inName) || _Find(inName) >= 0))
        return true;
    const VJSONObject* prototype = _GetPrototype();
    return prototype != nullptr && prototype != this && prototype->HasProperty(inName, nullptr);
}

bool VJSONObject::HasOwnProperty(const VString& inName) const
{
    StCollectionLocks locks(this, false);
    return _HasOwnProperty(inName);
}

bool VJSONObject::_HasOwnProperty(const VString& inName) const
{
    return _IsLockerIDName(inName) || _Find(inName) >= 0;
}

std::vector<VJSONObject::Property> VJSONObject::GetInternalProperties() const
{
    StCollectionLocks locks(this, false);
    return fProperties;
}

bool VJSONObject::IsEmpty() const
{
    {
        StCollectionLocks locks(this, false);
        if (!fProperties.empty())
            return false;
        if (fImplementation != nullptr && !fImplementation->IJSON_IsEmpty(this))
            return false;
    }
    return fClass == nullptr || !fClass->HasGetters();
}

VJSONValue VJSONObject::GetPropertyByIndex(size_t inIndex, EJSONStatus* outStatus) const
{
    VJSONValue result;
    EJSONStatus status = EJSON_unhandled;
    {
        StCollectionLocks locks(this, false);
        if (fImplementation != nullptr)
            status = fImplementation->IJSON_GetPropertyByIndex(this, inIndex, result);
    }
    if (outStatus != nullptr)
        *outStatus = status;
    return result;
}

size_t VJSONObject::GetCountPropertiesByIndex(EJSONStatus* outStatus) const
{
    size_t count = 0;
    EJSONStatus status = EJSON_unhandled;
    {
        StCollectionLocks locks(this, false);
        if (fImplementation != nullptr)
            status = fImplementation->IJSON_GetCountPropertiesByIndex(this, &count);
    }
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

bool VJSONObject::_ChangeNeedsGraphLock(const VJSONValue* inStored) const
{
    if (_NeedsGraphLock())
        return true;
    const VJSONCollection* stored = inStored != nullptr ? CollectionOf(*inStored) : nullptr;
    return stored != nullptr && stored->_NeedsGraphLock();
}

bool VJSONObject::_AdmitStore(const VString& inName, const VJSONValue& inValue)
{
    VStorageLocker* locker = _GetLocker();
    if (locker == nullptr)
        return true;
    if (inName.EqualToUSASCIICString("__LockerID"))
        return false;
    if (!locker->IsHeldByCurrentTask())
    {
        _ThrowError(VE_JSON_OBJECT_NOT_HELD);
        return false;
    }
    if (!locker->AssignValue(inValue))
        return false;
    if (locker->IsReferencesOnly())
    {
        JSONType type = inValue.GetType();
        if (type != JSON_null && type != JSON_object && type != JSON_array && type != JSON_undefined)
        {
            _ThrowError(VE_JSON_REFERENCES_ONLY);
            return false;
        }
    }
    return true;
}

template <class VALUE>
bool VJSONObject::_SetChecked(const VString& inName, VALUE&& inValue)
{
    if (inValue.IsUndefined())
    {
        _RemoveOwnProperty(inName);
        return true;
    }
    if (!_AdmitStore(inName, inValue))
        return false;
    // A value that lives in this very table is copied first: storing may move the table.
    if constexpr (!std::is_rvalue_reference_v<VALUE&&>)
    {
        std::less<const void*> before;
        if (!fProperties.empty() && !before(&inValue, &fProperties.front()) &&
            before(&inValue, &fProperties.back() + 1))
        {
            VJSONValue copy(inValue);
            return _Store(Name(inName), std::move(copy));
        }
    }
    return _Store(Name(inName), std::forward<VALUE>(inValue));
}

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
    if (fClass != nullptr && fClass->HasSetters())
    {
        if (VJSONObject* setter = fClass->GetSetter(inName))
        {
            std::vector<VJSONValue> arguments{inValue};
            VJSONValue scratch;
            EJSONStatus status =
                setter->CallAsFunction(this, nullptr, &arguments, scratch, nullptr, inContext);
            if (status != EJSON_unhandled)
                return status == EJSON_done;
        }
    }
    StCollectionLocks locks(this, _ChangeNeedsGraphLock(&inValue));
    return _SetChecked(inName, inValue);
}

bool VJSONObject::SetOwnProperty(const VString& inName, const VJSONValue& inValue)
{
    if (inValue.IsUndefined())
    {
        RemoveOwnProperty(inName);
        return true;
    }
    StCollectionLocks locks(this, _ChangeNeedsGraphLock(&inValue));
    return _SetChecked(inName, inValue);
}

bool VJSONObject::_SetOwnProperty(const VString& inName, const VJSONValue& inValue)
{
    return _SetChecked(inName, inValue);
}

bool VJSONObject::_SetOwnProperty(const VString& inName, VJSONValue&& inValue)
{
    return _SetChecked(inName, std::move(inValue));
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
    RemoveOwnProperty(inName);
}

void VJSONObject::RemoveOwnProperty(const VString& inName)
{
    StCollectionLocks locks(this, _NeedsGraphLock());
    _RemoveOwnProperty(inName);
}

void VJSONObject::_RemoveOwnProperty(const VString& inName)
{
    VStorageLocker* locker = _GetLocker();
    if (locker != nullptr && !locker->IsHeldByCurrentTask())
    {
        _ThrowError(VE_JSON_OBJECT_NOT_HELD);
        return;
    }
    _TouchJSONStamp();
    ptrdiff_t position = _Find(inName);
    if (position >= 0)
        _RemoveInternalProperty(size_t(position));
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
    // The values go after the locks: dropping them may free collections that run code of their
    // own.
    std::vector<Property> removed;
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (!locks.CheckHeld(VE_JSON_OBJECT_NOT_HELD))
        return;
    DisconnectAll();
    _TakeProperties(removed);
    _TouchJSONStamp();
}

void VJSONObject::ConnectImplementationProperty(const VJSONValue& inValue)
{
    StGraphLocker lock(_ChangeNeedsGraphLock(&inValue));
    VJSONGraph::Connect(&fGraph, inValue, this, nullptr);
}

void VJSONObject::DisconnectImplementationProperty(const VJSONValue& inValue)
{
    StGraphLocker lock(_NeedsGraphLock());
    VJSONGraph::Disconnect(fGraph, inValue);
}

// ---------------------------------------------------------------------------------------------
// Sharing and the graph

bool VJSONObject::IsShared() const
{
    if (_GetLocker() != nullptr)
        return true;
    bool flag = false;
    return fImplementation != nullptr && fImplementation->IJSON_IsSharable(this, flag);
}

bool VJSONObject::IsSharableWithoutLocker() const
{
    bool flag = false;
    return _GetLocker() == nullptr && fImplementation != nullptr &&
           fImplementation->IJSON_IsSharable(this, flag) && !flag;
}

void VJSONObject::DisconnectAll()
{
    StGraphLocker lock(_NeedsGraphLock());
    if (fGraph == nullptr)
        return;
    for (const Property& property : fProperties)
        VJSONGraph::DisconnectWithoutCheck(fGraph, property.fValue);
}

void VJSONObject::ClearFromGraph()
{
    std::vector<Property> removed;
    StGraphLocker lock(_NeedsGraphLock());
    DisconnectAll();
    _TakeProperties(removed);
}

// ---------------------------------------------------------------------------------------------
// Comparison and calls

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
    StCollectionLocks mine(this, false);
    StCollectionLocks theirs(inOther, false);
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

EJSONStatus VJSONObject::CallAsFunction(VJSONObject* inThisObject, VJSONArray* inArguments,
                                        std::vector<VJSONValue>* inArgumentList, VJSONValue& outResult,
                                        CDBQelBaseContext* inBaseContext,
                                        VDBLanguageContext* inLanguageContext) const
{
    if (fImplementation == nullptr)
        return EJSON_unhandled;
    VJSONFunctionContext context(inThisObject, inArguments, inArgumentList, inBaseContext, inLanguageContext);
    EJSONStatus status = fImplementation->IJSON_CallAsFunction(this, &context);
    context.GetResult(outResult);
    return status;
}

// ---------------------------------------------------------------------------------------------
// Cloning, merging, description

VError VJSONObject::Clone(VJSONValue& outResult, VJSONCloner& inCloner) const
{
    if (inCloner.GetMode() == VJSONCloner::kKeepShared && IsShared())
    {
        outResult.SetObject(const_cast<VJSONObject*>(this));
        return VE_OK;
    }
    if (fImplementation != nullptr)
    {
        VError error = VE_OK;
        if (fImplementation->IJSON_Clone(this, inCloner, outResult, &error) != EJSON_unhandled)
            return error;
    }
    VRefPtr<VJSONObject> copy(new VJSONObject(GetClassObject(), nullptr, nullptr, false));
    copy->fConstructionLevel = fConstructionLevel;
    if (inCloner.GetMode() == VJSONCloner::kBindToOneLocker)
        copy->SetStorageLocker(inCloner.GetStorageLockerAndAssignIfNecessary());
    VJSONUser user(copy.Get());
    // The result first: a cycle back to this object finds the clone.
    outResult.SetObject(copy.Get());
    return CloneProperties(inCloner, copy.Get());
}

VError VJSONObject::CloneProperties(VJSONCloner& inCloner, VJSONObject* inDestination) const
{
    if (inDestination == nullptr)
        return VE_OK;
    inDestination->ClearInternalProperties();
    // Copies of the own properties, in insertion order: cloning a value may run code (a
    // delegate's) that changes this object.
    std::vector<Property> own;
    try
    {
        StCollectionLocks locks(this, false);
        own = fProperties;
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    try
    {
        StCollectionLocks locks(inDestination, inDestination->_NeedsGraphLock());
        inDestination->fProperties.reserve(own.size());
    }
    catch (const std::bad_alloc&)
    {
        // Grown one by one instead.
    }
    for (Property& property : own)
    {
        VError error = inCloner.CloneValue(property.fValue);
        if (error != VE_OK)
            return error;
        // Into a destination without locker, and with nothing shared on either side, the value
        // is stored as SetOwnProperty would store it, under the name as it is (hash included).
        if (inDestination->_GetLocker() == nullptr && !inDestination->_ChangeNeedsGraphLock(&property.fValue))
            inDestination->_Store(property.fName, std::move(property.fValue));
        else
            inDestination->SetOwnProperty(property.fName.GetString(), property.fValue);
    }
    return VE_OK;
}

void VJSONObject::MergeWith(const VJSONObject* inOther, bool inOnlyMissing)
{
    if (inOther == nullptr)
        return;
    if (inOther != this && inOther->fImplementation == nullptr && inOther->_GetLocker() == nullptr &&
        fImplementation == nullptr && (fClass == nullptr || !fClass->HasSetters()) && !_NeedsGraphLock())
    {
        // Two plain objects, neither shared: SetProperty would only store each value, without
        // lock or admission. The other's entries are stored as they are, names and hashes
        // included, from a snapshot: a value released here may free what changes the other.
        std::vector<Property> entries;
        try
        {
            entries = inOther->fProperties;
        }
        catch (const std::bad_alloc&)
        {
            _ThrowError(VE_MEMORY_FULL);
            return;
        }
        for (Property& entry : entries)
        {
            const Name& name = entry.fName;
            if (inOnlyMissing && _Find(name.GetUnits(), name.GetLength(), name.GetHash()) >= 0)
                continue;
            // A value holding a shared collection takes the locked path, as SetProperty would.
            if (_ChangeNeedsGraphLock(&entry.fValue))
                SetProperty(name.GetString(), entry.fValue);
            else
                _Store(name, std::move(entry.fValue));
        }
        return;
    }
    constexpr uint32_t kOwnOnly = VJSONPropertyConstOrderedIterator::kSkipDelegateNames |
                                  VJSONPropertyConstOrderedIterator::kSkipGetterNames;
    for (VJSONPropertyConstOrderedIterator it(inOther, kOwnOnly); it.IsValid(); ++it)
    {
        if (inOnlyMissing && HasOwnProperty(it.GetName()))
            continue;
        SetProperty(it.GetName(), it.GetValue());
    }
}

void VJSONObject::GetDescription(VString& outText, bool inShort, VDBLanguageContext* inContext) const
{
    if (fImplementation != nullptr && fImplementation->IJSON_GetDescription(this, outText) != EJSON_unhandled)
        return;
    StCollectionLocks locks(this, false);
    VJSONWriter writer(inContext, inShort ? VJSONWriter::kCut | VJSONWriter::kQuoted : VJSONWriter::kQuoted);
    writer.StringifyObject(this, outText);
}

void VJSONObject::GetClassName(VString& outName) const
{
    outName.Clear();
    if (fImplementation != nullptr && fImplementation->IJSON_GetClassName(this, outName) != EJSON_unhandled &&
        !outName.IsEmpty() && !outName.IsNull())
        return;
    if (fClass != nullptr && !fClass->GetName().IsEmpty() && !fClass->GetName().IsNull())
    {
        outName.FromString(fClass->GetName());
        return;
    }
    outName.FromCString(_GetLocker() != nullptr ? "Shared Object" : "Object");
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

bool VJSONObject::SetPropertyWithPath(const VString& inPath, const VJSONValue& inValue,
                                      VDBLanguageContext* inContext)
{
    std::vector<VString> components;
    if (ExtractPath(inPath, components) != VE_OK)
        return false;
    VJSONValue current(this);
    VString walked;
    for (size_t i = 0; i < components.size(); ++i)
    {
        const VString& component = components[i];
        const bool last = i + 1 == components.size();
        const bool nextIsIndex = !last && IsArrayIndex(components[i + 1]);
        if (VJSONObject* object = current.GetObject())
        {
            if (last)
                return object->SetProperty(component, inValue, inContext);
            VJSONValue child = object->GetProperty(component, inContext);
            if (child.IsUndefined() || child.IsNull())
                child = NewPathStep(nextIsIndex, object->_GetLocker() != nullptr);
            // Set in every case, also when the child existed.
            if (!object->SetProperty(component, child, inContext))
                return false;
            current = std::move(child);
        }
        else if (VJSONArray* array = current.GetArray())
        {
            size_t index = 0;
            if (!IsArrayIndex(component, index))
            {
                _ThrowError(VE_JSON_PATH_NOT_AN_OBJECT, &walked);
                return false;
            }
            if (index > kLargestPathIndex)
            {
                _ThrowError(VE_INVALID_PARAMETER, &component);
                return false;
            }
            if (array->GetCount() <= index && !array->Resize(index + 1))
                return false;
            if (last)
                return array->SetAt(index, inValue);
            VJSONValue child = array->GetAt(index);
            if (child.IsUndefined() || child.IsNull())
                child = NewPathStep(nextIsIndex, array->_GetLocker() != nullptr);
            if (!array->SetAt(index, child))
                return false;
            current = std::move(child);
        }
        else
        {
            _ThrowError(IsArrayIndex(component) ? VE_JSON_PATH_NOT_AN_ARRAY : VE_JSON_PATH_NOT_AN_OBJECT,
                        &walked);
            return false;
        }
        walked = component;
    }
    return true;
}

bool VJSONObject::SetPropertiesWithPaths(const std::vector<std::pair<VString, VJSONValue>>& inList)
{
    bool result = true;
    for (const auto& [path, value] : inList)
    {
        result = SetPropertyWithPath(path, value, nullptr);
        if (!result)
            break;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Stamps

uint32_t VJSONObject::GetPropertyStamp(const VString& inName) const
{
    uint32_t stamp = 0;
    if (fImplementation != nullptr &&
        fImplementation->IJSON_GetPropertyStamp(inName, &stamp) != EJSON_unhandled)
        return stamp;
    {
        StCollectionLocks locks(this, false);
        ptrdiff_t position = _Find(inName);
        if (position >= 0)
            stamp = fProperties[size_t(position)].fValue.GetStamp();
    }
    // A property served by a getter has no stored value: its stamp is the object's counter.
    if (fClass != nullptr && fClass->GetGetter(inName) != nullptr)
    {
        VJSONObject* self = const_cast<VJSONObject*>(this);
        if (_GetJSONStamp() == nullptr)
        {
            VRefPtr<VJSONStamp> counter(new VJSONStamp);
            self->SetJSONStamp(counter.Get());
        }
        StGraphLocker lock(_NeedsGraphLock());
        stamp = _GetJSONStamp() != nullptr ? _GetJSONStamp()->GetCounter() : 0;
    }
    return stamp;
}

void VJSONObject::SetJSONStamp(VJSONStamp* inStamp)
{
    _SwapJSONStamp(inStamp);
    if (fImplementation != nullptr)
        fImplementation->IJSON_SetJSONStamp(inStamp);
}

void VJSONObject::TouchPropertyStamp(const VString& inName)
{
    StCollectionLocks locks(this, false);
    if (fImplementation != nullptr && fImplementation->IJSON_TouchPropertyStamp(inName) != EJSON_unhandled)
        return;
    _TouchJSONStamp();
    ptrdiff_t position = _Find(inName);
    if (position >= 0)
        fProperties[size_t(position)].fValue.TouchStamp();
}

uint32_t VJSONObject::GetPropertyStampWithPath(const VString& inPath) const
{
    std::vector<VString> components;
    if (ExtractPath(inPath, components) != VE_OK || components.empty())
        return 0;
    if (components.size() == 1)
        return GetPropertyStamp(components[0]);
    VString last = components.back();
    components.pop_back();
    VJSONValue container = GetPropertyWithPath(components, nullptr);
    if (const VJSONObject* object = container.GetObject())
        return object->GetPropertyStamp(last);
    if (const VJSONArray* array = container.GetArray())
    {
        size_t index = 0;
        if (last.EqualToUSASCIICString("length"))
            return uint32_t(array->GetCount());
        return IsArrayIndex(last, index) ? array->GetStampAt(index) : 0;
    }
    return 0;
}

void VJSONObject::TouchPropertyStampWithPath(const VString& inPath)
{
    std::vector<VString> components;
    if (ExtractPath(inPath, components) != VE_OK || components.empty())
        return;
    if (components.size() == 1)
    {
        TouchPropertyStamp(components[0]);
        return;
    }
    VString last = components.back();
    components.pop_back();
    VJSONValue container = GetPropertyWithPath(components, nullptr);
    if (VJSONObject* object = container.GetObject())
    {
        object->TouchPropertyStamp(last);
    }
    else if (VJSONArray* array = container.GetArray())
    {
        size_t index = 0;
        if (IsArrayIndex(last, index))
            array->TouchStampAt(index);
    }
}

} // namespace kova
