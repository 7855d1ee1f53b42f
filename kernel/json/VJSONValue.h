// VJSONValue is the one value type of the JSON model: a small tagged value that is null, false,
// true, a string, a number, an object, an array, undefined or a date. It is meant to be passed
// and copied freely, so a copy costs no more than a reference count: a string shares its
// character block with the VString it came from, and objects and arrays (VJSONObject,
// VJSONArray) are reference-counted collections that values only point at. Deep copies belong to
// the cloner, not to the value.
//
//     VJSONValue config;
//     if (config.ParseFromString(text) == VE_OK && config.IsObject())
//         config.GetProperty("server").GetString(serverName);
//
// Every value carries a stamp from one process-wide counter, taken when it is built or copied and
// kept when it is moved or set; the property and element stamps of objects and arrays are the
// stamps of their stored values.
//
// A date holds a calendar day only, packed as year × 65536 + month × 256 + day; it reads back as
// midnight UTC of that day.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/CompareResult.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstring>
#include <cstdint>
#include <set>
#include <unordered_set>
#include <utility>

namespace kova
{

class IFile;
class VCompareOptions;
class VJSONArray;
class VJSONObject;
class VTime;
class VValue;

// The pairs of collections under deep comparison: a pair met again is taken as equal, so that
// structures that contain themselves compare without end.
using VJSONComparedPairs = std::set<std::pair<const void*, const void*>>;

// The kind of a JSON value. The numbers are also the tags of the binary JSON form and never
// change; JSON_last_type ends the enumeration and no operation builds a value of it.
enum JSONType : uint32_t
{
    JSON_null = 0,
    JSON_false = 1,
    JSON_true = 2,
    JSON_string = 3,
    JSON_number = 4,
    JSON_object = 5,
    JSON_array = 6,
    JSON_undefined = 7,
    JSON_date = 8,
    JSON_last_type = 9,
};

class VJSONValue : public VObject
{
public:
    // Undefined.
    VJSONValue();
    // An empty value of the type: the empty string, 0, the empty date, a new empty object or
    // array; the other kinds have no payload.
    explicit VJSONValue(JSONType inType);
    // Objects and arrays are retained; a null pointer gives null.
    explicit VJSONValue(VJSONObject* inObject);
    explicit VJSONValue(VJSONArray* inArray);
    // Shares the string's block; a null string gives null.
    explicit VJSONValue(const VString& inString);
    explicit VJSONValue(const VInlineString& inString);
    explicit VJSONValue(double inNumber);
    // The UTC day of the time; a null time gives null.
    explicit VJSONValue(const VTime& inTime);
    // A bool would silently become a number: SetBool says what is meant.
    VJSONValue(bool) = delete;
    VJSONValue(const VJSONValue& inOther);
    // The source keeps its type with an empty payload, fit only for destruction or assignment.
    VJSONValue(VJSONValue&& inOther) noexcept
        : VObject(), fType(inOther.fType), fStamp(inOther.fStamp), fPayload(inOther.fPayload)
    {
        inOther._ClearPayload();
    }
    ~VJSONValue() override
    {
        if (fType == JSON_string || fType == JSON_object || fType == JSON_array)
            _Dispose();
    }

    VJSONValue& operator=(const VJSONValue& inOther);
    VJSONValue& operator=(VJSONValue&& inOther) noexcept;

    JSONType GetType() const { return fType; }
    bool IsUndefined() const { return fType == JSON_undefined; }
    bool IsNull() const { return fType == JSON_null; }
    bool IsBool() const { return fType == JSON_true || fType == JSON_false; }
    bool IsTrue() const { return fType == JSON_true; }
    bool IsString() const { return fType == JSON_string; }
    bool IsNumber() const { return fType == JSON_number; }
    bool IsObject() const { return fType == JSON_object; }
    bool IsArray() const { return fType == JSON_array; }
    bool IsDate() const { return fType == JSON_date; }

    uint32_t GetStamp() const { return fStamp; }
    // A new stamp, the value unchanged.
    void TouchStamp() { fStamp = _NextStamp(); }

    // ----- Setters: they release the payload held before and keep the stamp.
    void SetNull();
    void SetUndefined();
    void SetBool(bool inValue);
    void SetNumber(double inValue);
    // A null string gives null.
    void SetString(const VString& inString);
    void SetString(const VInlineString& inString);
    // The object is retained before the old payload is released; null gives null.
    void SetObject(VJSONObject* inObject);
    void SetArray(VJSONArray* inArray);
    // A null time gives null.
    void SetTime(const VTime& inTime);
    // No range check.
    void SetDate(int16_t inYear, int16_t inMonth, int16_t inDay);
    // Empties the payload, keeping the kind where it has an empty form: true becomes false, a
    // string empty, a number or date 0, an object or array null.
    void Clear();
    // Releases the payload; the type stays.
    void _Dispose();

    // ----- Getters: each has a defined answer for every type.
    bool GetBool() const;
    // True is 1; a string "0x..." its hexadecimal value, another its real value; others 0.
    double GetNumber() const;
    // The text form (null and undefined clear it). For arrays the set guards against cycles.
    // Returns the error of an array's text, else 0.
    VError GetString(VString& outText, std::unordered_set<const VJSONArray*>* ioVisited = nullptr) const;
    // A date is midnight UTC of its day, a string is read as a time; anything else clears the
    // time and makes it null.
    void GetTime(VTime& outTime) const;
    // False, and all three 0, when the value is no date.
    bool GetDate(int16_t& outYear, int16_t& outMonth, int16_t& outDay) const;
    // With one more reference for the caller; null when the value is no object (array).
    VJSONObject* RetainObject() const;
    VJSONArray* RetainArray() const;
    // Borrowed: valid while the value holds it.
    VJSONObject* GetObject() const { return fType == JSON_object ? fPayload.fObject : nullptr; }
    VJSONArray* GetArray() const { return fType == JSON_array ? fPayload.fArray : nullptr; }
    // The units of a string value, borrowed; null for an empty string or another kind.
    const UniChar* GetStringUnits(int32_t* outLength) const;

    // An object's property; undefined for any other value.
    VJSONValue GetProperty(const VString& inName) const;
    // Sets an object's property; does nothing on any other value.
    void SetProperty(const VString& inName, const VJSONValue& inValue);

    // ----- Text
    // Writes the value as JSON text with the writer's flags. 0x800 asks for the binary fallback,
    // which this toolbox does not have yet: the writer's refusal is returned.
    VError Stringify(VString& outText, uint32_t inFlags) const;
    // Dates: false, none; true, "!!" dates and ISO dates; both, only "!!YYYY-MM-DD!!".
    VError ParseFromString(const VString& inText, bool inDates = false, bool inStrictDates = false);
    // Reads the file as UTF-8. On failure the value stays as it was, so that nobody acts on half
    // a file.
    VError LoadFromFile(const IFile* inFile, bool inDates = false);
    // The file is written only when the whole text could be made.
    VError SaveToFile(const IFile* inFile, uint32_t inFlags) const;

    // ----- Other
    // A new value owned by the caller. Objects and arrays become a marker text when
    // inWithMarkers, else a null string.
    VValue* CreateVValue(bool inWithMarkers) const;
    // Across types the type numbers decide (null and undefined are equal); objects and arrays
    // compare by identity. CR_UNRELEVANT for a type beyond the enumeration.
    CompareResult CompareTo(const VJSONValue& inOther, const VCompareOptions& inOptions) const;
    // Same types and, for objects and arrays, the same content.
    bool DeepEqualTo(const VJSONValue& inOther, const VCompareOptions& inOptions) const;
    bool _DeepEqualTo(const VJSONValue& inOther, const VCompareOptions& inOptions,
                      VJSONComparedPairs& ioPairs) const;

    // Dotted paths from an object root (VJSONObject::GetPropertyWithPath).
    // True only for JSON true.
    static bool GetBoolByPath(const VJSONValue& inRoot, const VString& inPath);
    // A number truncated toward zero; 0 for anything else, NaN and numbers out of 32 bits.
    static int32_t GetLongByPath(const VJSONValue& inRoot, const VString& inPath);
    // A string's text; false, outText untouched, for anything else.
    static bool GetStringByPath(const VJSONValue& inRoot, const VString& inPath, VString& outText);

    static const VJSONValue sUndefined;
    static const VJSONValue sNull;
    static const VJSONValue sTrue;
    static const VJSONValue sFalse;
    static const VJSONValue sLastType;

    static const VString sUndefinedString;
    static const VString sNullString;
    static const VString sTrueString;
    static const VString sFalseString;
    static const VString sObjectString;

    // The process-wide stamp counter. Values are stamped with plain loads and stores: stamps are
    // hints of change, unique only while one task builds values at a time.
    static std::atomic<uint32_t> sStamp;

private:
    union Payload
    {
        Payload() : fNumber(0) {}
        double fNumber;
        VJSONObject* fObject;
        VJSONArray* fArray;
        uint32_t fDate;
        VInlineString fString;
    };

    static uint32_t _NextStamp()
    {
        uint32_t next = sStamp.load(std::memory_order_relaxed) + 1;
        sStamp.store(next, std::memory_order_relaxed);
        return next;
    }
    // Takes the other's type and payload, sharing what it holds.
    void _CopyFrom(const VJSONValue& inOther);
    void _SetDatePacked(uint32_t inPacked);
    // Every byte of the payload 0: no collection, an empty string, 0.
    void _ClearPayload() { std::memset(static_cast<void*>(&fPayload), 0, sizeof(fPayload)); }
    // Drops what a payload of the type holds.
    static void _Release(JSONType inType, Payload& ioPayload);

    JSONType fType;
    uint32_t fStamp;
    Payload fPayload;
};

} // namespace kova
