#include "kernel/json/VJSONValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/JSONDisposal.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONWriter.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VTime.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace kova
{

// The counter first: the constants below take their stamps from it.
std::atomic<uint32_t> VJSONValue::sStamp{0};

const VJSONValue VJSONValue::sUndefined(JSON_undefined);
const VJSONValue VJSONValue::sNull(JSON_null);
const VJSONValue VJSONValue::sTrue(JSON_true);
const VJSONValue VJSONValue::sFalse(JSON_false);
const VJSONValue VJSONValue::sLastType(JSON_last_type);

const VString VJSONValue::sUndefinedString("undefined");
const VString VJSONValue::sNullString("null");
const VString VJSONValue::sTrueString("true");
const VString VJSONValue::sFalseString("false");
const VString VJSONValue::sObjectString("[object Object]");

namespace
{

// Dropping a deep tree: the collections released while one is being destroyed wait here. The
// list keeps its room from one drop to the next. Once the thread has destroyed its list (at its
// end), collections are destroyed at once.
thread_local bool tDisposing = false;
thread_local bool tPendingListGone = false;
struct PendingDisposals
{
    ~PendingDisposals() { tPendingListGone = true; }
    std::vector<IRefCountable*> fCollections;
};
thread_local PendingDisposals tPendingDisposals;

uint32_t PackDate(int16_t inYear, int16_t inMonth, int16_t inDay)
{
    return (uint32_t(uint16_t(inYear)) << 16) + (uint32_t(uint16_t(inMonth)) << 8) +
           uint32_t(uint16_t(inDay));
}

// Midnight UTC of a packed day. The fields are read back as they were packed (no range check),
// so a day that is no calendar day gives whatever VTime makes of it.
void UnpackDate(uint32_t inPacked, VTime& outTime)
{
    outTime.FromUTCTime(int16_t(inPacked >> 16), int16_t((inPacked >> 8) & 0xFF), int16_t(inPacked & 0xFF), 0,
                        0, 0, 0);
}

// The marker texts of CreateVValue.
constexpr UniChar kObjectMarker[] = {1, 2, 3, 1, 0};
constexpr UniChar kArrayMarker[] = {1, 2, 3, 2, 0};

} // namespace

void DisposeJSONCollection(IRefCountable* inCollection)
{
    if (tPendingListGone)
    {
        delete inCollection;
        return;
    }
    if (tDisposing)
    {
        try
        {
            tPendingDisposals.fCollections.push_back(inCollection);
            return;
        }
        catch (const std::bad_alloc&)
        {
            // No room to queue it: destroy it here, recursively.
            delete inCollection;
            return;
        }
    }
    tDisposing = true;
    delete inCollection;
    std::vector<IRefCountable*>& pending = tPendingDisposals.fCollections;
    while (!pending.empty())
    {
        IRefCountable* next = pending.back();
        pending.pop_back();
        delete next;
    }
    tDisposing = false;
}

// ---------------------------------------------------------------------------------------------
// Construction

VJSONValue::VJSONValue() : fType(JSON_undefined), fStamp(_NextStamp()) {}

VJSONValue::VJSONValue(JSONType inType) : fType(inType), fStamp(_NextStamp())
{
    switch (inType)
    {
    case JSON_string:
        fPayload.fString = VInlineString();
        break;
    case JSON_object:
        fPayload.fObject = new VJSONObject();
        break;
    case JSON_array:
        fPayload.fArray = new VJSONArray();
        break;
    case JSON_date:
        fPayload.fDate = 0;
        break;
    default:
        break;
    }
}

VJSONValue::VJSONValue(VJSONObject* inObject) : fType(JSON_null), fStamp(_NextStamp())
{
    if (inObject != nullptr)
    {
        inObject->Retain();
        fType = JSON_object;
        fPayload.fObject = inObject;
    }
}

VJSONValue::VJSONValue(VJSONArray* inArray) : fType(JSON_null), fStamp(_NextStamp())
{
    if (inArray != nullptr)
    {
        inArray->Retain();
        fType = JSON_array;
        fPayload.fArray = inArray;
    }
}

VJSONValue::VJSONValue(const VString& inString) : fType(JSON_null), fStamp(_NextStamp())
{
    if (!inString.IsNull())
    {
        fType = JSON_string;
        fPayload.fString = VInlineString();
        fPayload.fString.fString =
            inString.RetainBuffer(&fPayload.fString.fLength, &fPayload.fString.fMaxLength);
    }
}

VJSONValue::VJSONValue(const VInlineString& inString) : fType(JSON_string), fStamp(_NextStamp())
{
    inString.Retain();
    fPayload.fString = inString;
}

VJSONValue::VJSONValue(double inNumber) : fType(JSON_number), fStamp(_NextStamp())
{
    fPayload.fNumber = inNumber;
}

VJSONValue::VJSONValue(const VTime& inTime) : fType(JSON_null), fStamp(_NextStamp())
{
    if (!inTime.IsNull())
        SetTime(inTime);
}

VJSONValue::VJSONValue(const VJSONValue& inOther) : VObject(), fType(JSON_undefined), fStamp(_NextStamp())
{
    _CopyFrom(inOther);
}

VJSONValue& VJSONValue::operator=(const VJSONValue& inOther)
{
    if (this == &inOther)
        return *this;
    // The other may live inside the collection that only this value keeps alive: take its
    // payload before letting go of ours.
    JSONType oldType = fType;
    Payload oldPayload = fPayload;
    fType = JSON_undefined;
    _CopyFrom(inOther);
    fStamp = _NextStamp();
    _Release(oldType, oldPayload);
    return *this;
}

VJSONValue& VJSONValue::operator=(VJSONValue&& inOther) noexcept
{
    if (this == &inOther)
        return *this;
    JSONType oldType = fType;
    Payload oldPayload = fPayload;
    fType = inOther.fType;
    fStamp = inOther.fStamp;
    fPayload = inOther.fPayload;
    inOther._ClearPayload();
    _Release(oldType, oldPayload);
    return *this;
}

void VJSONValue::_CopyFrom(const VJSONValue& inOther)
{
    fType = inOther.fType;
    fPayload = inOther.fPayload;
    switch (fType)
    {
    case JSON_string:
        fPayload.fString.Retain();
        break;
    case JSON_object:
        if (fPayload.fObject != nullptr)
            fPayload.fObject->Retain();
        break;
    case JSON_array:
        if (fPayload.fArray != nullptr)
            fPayload.fArray->Retain();
        break;
    default:
        break;
    }
}

void VJSONValue::_Dispose()
{
    _Release(fType, fPayload);
}

void VJSONValue::_Release(JSONType inType, Payload& ioPayload)
{
    switch (inType)
    {
    case JSON_string:
        ioPayload.fString.Dispose();
        break;
    case JSON_object:
        if (VJSONObject* object = ioPayload.fObject)
        {
            ioPayload.fObject = nullptr;
            object->Release();
        }
        break;
    case JSON_array:
        if (VJSONArray* array = ioPayload.fArray)
        {
            ioPayload.fArray = nullptr;
            array->Release();
        }
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Setters

void VJSONValue::SetNull()
{
    _Dispose();
    fType = JSON_null;
}

void VJSONValue::SetUndefined()
{
    _Dispose();
    fType = JSON_undefined;
}

void VJSONValue::SetBool(bool inValue)
{
    _Dispose();
    fType = inValue ? JSON_true : JSON_false;
}

void VJSONValue::SetNumber(double inValue)
{
    _Dispose();
    fType = JSON_number;
    fPayload.fNumber = inValue;
}

void VJSONValue::SetString(const VString& inString)
{
    if (inString.IsNull())
    {
        SetNull();
        return;
    }
    if (fType == JSON_string && fPayload.fString.fString != nullptr &&
        fPayload.fString.fString == inString.GetCPointer() &&
        fPayload.fString.fLength == inString.GetLength())
        return;
    VInlineString record;
    record.fString = inString.RetainBuffer(&record.fLength, &record.fMaxLength);
    _Dispose();
    fType = JSON_string;
    fPayload.fString = record;
}

void VJSONValue::SetString(const VInlineString& inString)
{
    if (fType == JSON_string && fPayload.fString.fString == inString.fString &&
        fPayload.fString.fLength == inString.fLength)
        return;
    inString.Retain();
    _Dispose();
    fType = JSON_string;
    fPayload.fString = inString;
}

void VJSONValue::SetObject(VJSONObject* inObject)
{
    if (inObject == nullptr)
    {
        SetNull();
        return;
    }
    if (fType == JSON_object && fPayload.fObject == inObject)
        return;
    inObject->Retain();
    _Dispose();
    fType = JSON_object;
    fPayload.fObject = inObject;
}

void VJSONValue::SetArray(VJSONArray* inArray)
{
    if (inArray == nullptr)
    {
        SetNull();
        return;
    }
    if (fType == JSON_array && fPayload.fArray == inArray)
        return;
    inArray->Retain();
    _Dispose();
    fType = JSON_array;
    fPayload.fArray = inArray;
}

void VJSONValue::SetTime(const VTime& inTime)
{
    if (inTime.IsNull())
    {
        SetNull();
        return;
    }
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    inTime.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    _SetDatePacked(PackDate(year, month, day));
}

void VJSONValue::SetDate(int16_t inYear, int16_t inMonth, int16_t inDay)
{
    _SetDatePacked(PackDate(inYear, inMonth, inDay));
}

void VJSONValue::_SetDatePacked(uint32_t inPacked)
{
    _Dispose();
    fType = JSON_date;
    fPayload.fDate = inPacked;
}

void VJSONValue::Clear()
{
    switch (fType)
    {
    case JSON_true:
        fType = JSON_false;
        break;
    case JSON_string:
        _Dispose();
        break;
    case JSON_number:
        fPayload.fNumber = 0;
        break;
    case JSON_date:
        fPayload.fDate = 0;
        break;
    case JSON_object:
    case JSON_array:
        SetNull();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Getters

bool VJSONValue::GetBool() const
{
    switch (fType)
    {
    case JSON_true:
    case JSON_object:
    case JSON_array:
        return true;
    case JSON_string:
        return fPayload.fString.fString != nullptr && fPayload.fString.fLength > 0;
    case JSON_number:
        return fPayload.fNumber != 0; // NaN counts as true
    case JSON_date:
        return fPayload.fDate != 0;
    default:
        return false;
    }
}

double VJSONValue::GetNumber() const
{
    switch (fType)
    {
    case JSON_true:
        return 1;
    case JSON_number:
        return fPayload.fNumber;
    case JSON_string:
    {
        VString text(fPayload.fString, true);
        if (text.GetLength() >= 2 && text.GetUniChar(1) == u'0' &&
            (text.GetUniChar(2) == u'x' || text.GetUniChar(2) == u'X'))
            return double(text.GetHexLong());
        return text.GetReal();
    }
    default:
        return 0;
    }
}

VError VJSONValue::GetString(VString& outText, std::unordered_set<const VJSONArray*>* ioVisited) const
{
    switch (fType)
    {
    case JSON_null:
    case JSON_undefined:
        outText.Clear();
        break;
    case JSON_false:
        outText.FromString(sFalseString);
        break;
    case JSON_true:
        outText.FromString(sTrueString);
        break;
    case JSON_string:
        outText.FromString(fPayload.fString);
        break;
    case JSON_number:
        VReal::RealToJSONString(fPayload.fNumber, outText);
        break;
    case JSON_object:
        outText.FromString(sObjectString);
        break;
    case JSON_array:
        return fPayload.fArray->GetString(outText, ioVisited);
    case JSON_date:
    {
        VTime time;
        UnpackDate(fPayload.fDate, time);
        return time.GetJSONString(outText, 0x200);
    }
    default:
        break;
    }
    return VE_OK;
}

void VJSONValue::GetTime(VTime& outTime) const
{
    if (fType == JSON_date)
    {
        UnpackDate(fPayload.fDate, outTime);
    }
    else if (fType == JSON_string)
    {
        outTime.FromString(VString(fPayload.fString, true));
    }
    else
    {
        outTime.Clear();
        outTime.SetNull(true);
    }
}

bool VJSONValue::GetDate(int16_t& outYear, int16_t& outMonth, int16_t& outDay) const
{
    if (fType != JSON_date)
    {
        outYear = outMonth = outDay = 0;
        return false;
    }
    outYear = int16_t(fPayload.fDate >> 16);
    outMonth = int16_t((fPayload.fDate >> 8) & 0xFF);
    outDay = int16_t(fPayload.fDate & 0xFF);
    return true;
}

VJSONObject* VJSONValue::RetainObject() const
{
    return fType == JSON_object ? RetainRefCountable(fPayload.fObject) : nullptr;
}

VJSONArray* VJSONValue::RetainArray() const
{
    return fType == JSON_array ? RetainRefCountable(fPayload.fArray) : nullptr;
}

const UniChar* VJSONValue::GetStringUnits(int32_t* outLength) const
{
    bool hasUnits = fType == JSON_string && fPayload.fString.fString != nullptr;
    if (outLength != nullptr)
        *outLength = hasUnits ? fPayload.fString.fLength : 0;
    return hasUnits ? fPayload.fString.fString : nullptr;
}

VJSONValue VJSONValue::GetProperty(const VString& inName) const
{
    if (fType == JSON_object)
        return fPayload.fObject->GetProperty(inName);
    return VJSONValue(sUndefined);
}

void VJSONValue::SetProperty(const VString& inName, const VJSONValue& inValue)
{
    if (fType == JSON_object)
        fPayload.fObject->SetProperty(inName, inValue);
}

// ---------------------------------------------------------------------------------------------
// Text

VError VJSONValue::Stringify(VString& outText, uint32_t inFlags) const
{
    constexpr uint32_t kBinaryFallback = 0x800;
    if ((inFlags & kBinaryFallback) == 0)
    {
        VJSONWriter writer(inFlags);
        return writer.StringifyValue(*this, outText);
    }
    // The text is tried first; what it refuses goes as the binary form inside a one-property object.
    VJSONWriter writer(inFlags | VJSONWriter::kRefuseNativeBinary | VJSONWriter::kRefuseClassInstances |
                       VJSONWriter::kRefuseSharedObjects);
    StErrorContextInstaller errors(true, true);
    VError error = writer.StringifyValue(*this, outText);
    if (error != VE_JSON_CIRCULAR && error != VE_JSON_NATIVE_OBJECT && error != VE_JSON_CLASS_INSTANCE &&
        error != VE_JSON_OBJECT_MET_TWICE)
        return error;
    if (errors.GetContext() != nullptr)
        errors.GetContext()->Flush();
    VJSONBinaryWriter binaryWriter(64);
    VJSONBinaryWriter::Buffer buffer;
    error = binaryWriter.StreamValue(*this, buffer);
    if (error != VE_OK)
        return error;
    VString encoded;
    if (!encoded.EncodeBase64(buffer.GetDataPtr(), buffer.GetDataSize(), false))
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    VRefPtr<VJSONObject> carrier(new VJSONObject);
    if (!carrier->SetOwnProperty(VJSONBinaryImporter::sBinaryPropertyName(), VJSONValue(encoded)))
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    VJSONWriter carrierWriter(inFlags | VJSONWriter::kRefuseNativeBinary |
                              VJSONWriter::kRefuseClassInstances | VJSONWriter::kRefuseSharedObjects);
    return carrierWriter.StringifyValue(VJSONValue(carrier.Get()), outText);
}

VError VJSONValue::ParseFromString(const VString& inText, bool inDates, bool inStrictDates)
{
    uint32_t options = 0;
    if (inDates)
        options = inStrictDates ? (VJSONImporter::kBangDates | VJSONImporter::kNonAmbiguousDates)
                                : (VJSONImporter::kBangDates | VJSONImporter::kISODates);
    return VJSONImporter::ParseString(inText, *this, options);
}

VError VJSONValue::LoadFromFile(const IFile* inFile, bool inDates)
{
    VJSONValue loaded;
    VError error = VJSONImporter::ParseFile(
        inFile, loaded, inDates ? (VJSONImporter::kBangDates | VJSONImporter::kISODates) : 0);
    if (error == VE_OK)
        *this = std::move(loaded);
    return error;
}

VError VJSONValue::SaveToFile(const IFile* inFile, uint32_t inFlags) const
{
    return VJSONWriter::StringifyValueToFile(inFile, *this, inFlags);
}

// ---------------------------------------------------------------------------------------------
// Other

VValue* VJSONValue::CreateVValue(bool inWithMarkers) const
{
    switch (fType)
    {
    case JSON_false:
    case JSON_true:
        return new VBoolean(fType == JSON_true);
    case JSON_string:
        return new VString(fPayload.fString);
    case JSON_number:
        return new VReal(fPayload.fNumber);
    case JSON_date:
    {
        auto* time = new VTime();
        UnpackDate(fPayload.fDate, *time);
        return time;
    }
    case JSON_object:
        if (IJSONObject* implementation = fPayload.fObject->GetImplementation())
        {
            if (VValue* value = implementation->IJSON_CreateVValue())
                return value;
        }
        [[fallthrough]];
    case JSON_array:
        if (inWithMarkers)
            return new VString(fType == JSON_object ? kObjectMarker : kArrayMarker);
        [[fallthrough]];
    default:
    {
        auto* text = new VString();
        text->SetNull(true);
        return text;
    }
    }
}

CompareResult VJSONValue::CompareTo(const VJSONValue& inOther, const VCompareOptions& inOptions) const
{
    if (fType != inOther.fType)
    {
        bool bothEmpty = (fType == JSON_null || fType == JSON_undefined) &&
                         (inOther.fType == JSON_null || inOther.fType == JSON_undefined);
        if (bothEmpty)
            return CR_EQUAL;
        return fType < inOther.fType ? CR_SMALLER : CR_BIGGER;
    }
    switch (fType)
    {
    case JSON_null:
    case JSON_false:
    case JSON_true:
    case JSON_undefined:
        return CR_EQUAL;
    case JSON_string:
    {
        VString text(fPayload.fString, true);
        VString other(inOther.fPayload.fString, true);
        return text.CompareToSameKindWithOptions(&other, inOptions);
    }
    case JSON_number:
        return VReal::sInfo.CompareTwoPtrToDataWithOptions(&fPayload.fNumber, &inOther.fPayload.fNumber,
                                                           inOptions);
    case JSON_object:
    case JSON_array:
    {
        const void* mine = fPayload.fObject;
        const void* theirs = inOther.fPayload.fObject;
        if (mine == theirs)
            return CR_EQUAL;
        return std::less<const void*>()(mine, theirs) ? CR_SMALLER : CR_BIGGER;
    }
    case JSON_date:
        return CompareNatives(int32_t(fPayload.fDate), int32_t(inOther.fPayload.fDate));
    default:
        return CR_UNRELEVANT;
    }
}

bool VJSONValue::DeepEqualTo(const VJSONValue& inOther, const VCompareOptions& inOptions) const
{
    try
    {
        VJSONComparedPairs pairs;
        return _DeepEqualTo(inOther, inOptions, pairs);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
}

bool VJSONValue::_DeepEqualTo(const VJSONValue& inOther, const VCompareOptions& inOptions,
                              VJSONComparedPairs& ioPairs) const
{
    if (fType != inOther.fType)
        return false;
    if (fType == JSON_array)
        return fPayload.fArray->_DeepEqualTo(inOther.fPayload.fArray, inOptions, ioPairs);
    if (fType == JSON_object)
        return fPayload.fObject->_DeepEqualTo(inOther.fPayload.fObject, inOptions, ioPairs);
    return CompareTo(inOther, inOptions) == CR_EQUAL;
}

bool VJSONValue::GetBoolByPath(const VJSONValue& inRoot, const VString& inPath)
{
    if (!inRoot.IsObject())
        return false;
    return inRoot.fPayload.fObject->GetPropertyWithPath(inPath).IsTrue();
}

int32_t VJSONValue::GetLongByPath(const VJSONValue& inRoot, const VString& inPath)
{
    if (!inRoot.IsObject())
        return 0;
    VJSONValue value = inRoot.fPayload.fObject->GetPropertyWithPath(inPath);
    if (!value.IsNumber())
        return 0;
    double number = std::trunc(value.fPayload.fNumber);
    // NaN and numbers beyond 32 bits give 0, not whatever a conversion would make of them.
    if (!(number >= double(INT32_MIN) && number <= double(INT32_MAX)))
        return 0;
    return int32_t(number);
}

bool VJSONValue::GetStringByPath(const VJSONValue& inRoot, const VString& inPath, VString& outText)
{
    if (!inRoot.IsObject())
        return false;
    VJSONValue value = inRoot.fPayload.fObject->GetPropertyWithPath(inPath);
    if (!value.IsString())
        return false;
    outText.FromString(value.fPayload.fString);
    return true;
}

} // namespace kova
