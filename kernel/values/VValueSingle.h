// VValueSingle is the base of the values that hold one datum (numbers, booleans, strings, times,
// durations, UUIDs, blobs). Conversion between two kinds goes through a pair: a class's GetValue
// calls the target's setter of its own native type (a long calls FromLong, a duration
// FromDuration), and a class's FromValue calls the source's getter of its own type, then takes
// the source's null state. So every kind reaches every other without knowing it. Conversions
// never raise: they fall back to 0 or leave the target as the base says.
#pragma once

#include "kernel/values/VValue.h"

namespace kova
{

class VDuration;
class VString;
class VTime;
class VUUID;
enum JSONType : uint32_t;

class VValueSingle : public VValue
{
public:
    VValueSingle() = default;
    VValueSingle(const VValueSingle&) = default;
    VValueSingle& operator=(const VValueSingle&) = default;
    ~VValueSingle() override = default;

    // The kind of the value's descriptor.
    ValueKind GetValueKind() const;

    // A new value of the kind holding this value's datum (through GetValue) and null state,
    // owned by the caller; null when the kind is not registered or is no single value.
    VValueSingle* ConvertTo(ValueKind inKind) const;

    // The value's text in UTF-16, cut to the buffer; nothing before the memory manager exists.
    CharSet DebugDump(char* outBuffer, int& ioSize) const override;
    using VObject::DebugDump;

    VValueSingle* IsVValueSingle() override { return this; }
    const VValueSingle* IsVValueSingle() const override { return this; }

    // FromJSONString and GetJSONString are the text forms and return 0. FromJSONValue clears
    // the value and GetJSONValue sets the JSON value to null; both return kova error 2 without
    // raising it.
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

    bool CanBeStreamed() const override;

    // Getters: the base answers 0 or clears the target.
    virtual uint8_t GetBoolean() const;
    virtual int8_t GetByte() const;
    virtual int16_t GetWord() const;
    virtual int32_t GetLong() const;
    virtual int64_t GetLong8() const;
    virtual int64_t GetLong8OrMilliSeconds() const;
    virtual double GetReal() const;
    virtual void GetDuration(VDuration& outDuration) const;
    virtual void GetTime(VTime& outTime) const;
    virtual void GetString(VString& outString) const;
    virtual void GetVUUID(VUUID& outUUID) const;
    virtual void GetValue(VValueSingle& outValue) const;

    // Setters: the base does nothing.
    virtual void FromBoolean(uint8_t inValue);
    virtual void FromByte(int8_t inValue);
    virtual void FromWord(int16_t inValue);
    virtual void FromLong(int32_t inValue);
    virtual void FromLong8(int64_t inValue);
    virtual void FromReal(double inValue);
    virtual void FromDuration(const VDuration& inDuration);
    virtual void FromTime(const VTime& inTime);
    virtual void FromString(const VString& inString);
    virtual void FromVUUID(const VUUID& inUUID);
    virtual void FromValue(const VValueSingle& inValue);

    // XML text forms: the base is GetString and FromString (which then answers true).
    virtual void GetXMLString(VString& outString, uint32_t inOptions) const;
    virtual bool FromXMLString(const VString& inString);

    // Compares with a value of any single kind.
    virtual CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const = 0;
    virtual bool EqualTo(const VValueSingle& inValue, bool inDiacritical) const;

    // Values made ready for JSON (with the reals, in VReal.cpp). A new value owned by the caller:
    // a real for the integer kinds (their null state kept), a real of seconds for a duration (of
    // milliseconds with inDurationInMilliseconds; null for a null duration), the text of a UUID,
    // and a clone of every other kind.
    static VValueSingle* ConvertVValueToJSONScalar(const VValueSingle& inValue,
                                                   bool inDurationInMilliseconds);
    // The JSON type of a value kind: boolean true, real number, time date, string string; null
    // for every other kind, the integers included.
    static JSONType ValueKindToJsonType(ValueKind inKind);
};

} // namespace kova
