// VDuration is the value of kind 9: a signed span of time counted in milliseconds. Date-times
// subtract into it and add it; value bags and arrays hold it. The units are fixed: a day is
// 86 400 000 ms, an hour 3 600 000, a minute 60 000, a second 1 000.
//
// Components (days, hours, ... milliseconds) divide toward zero, so every component of a negative
// duration is zero or negative. Arithmetic saturates at the bounds of the 64-bit count instead of
// wrapping or trapping, and every real is turned into milliseconds through RealToInteger.
//
// Unlike most values, a copy or a clone is never null, whatever the source's null state.
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VDuration;

using VDuration_info = VValueInfo_scalar<VDuration, VK_DURATION, int64_t>;

class VDuration : public VValueSingle
{
public:
    static constexpr int64_t kMillisecondsPerSecond = 1000;
    static constexpr int64_t kMillisecondsPerMinute = 60000;
    static constexpr int64_t kMillisecondsPerHour = 3600000;
    static constexpr int64_t kMillisecondsPerDay = 86400000;

    explicit VDuration(int64_t inMilliseconds = 0);
    // inInit true gives 0 without reading the address.
    VDuration(const int64_t* inMilliseconds, bool inInit);
    VDuration(const VDuration& inOther);
    VDuration& operator=(const VDuration& inOther);
    ~VDuration() override;

    // Setters: each leaves the duration not null and dirty.
    void FromNbMilliseconds(int64_t inCount);
    void FromNbSeconds(int64_t inCount);
    void FromNbMinutes(int64_t inCount);
    void FromNbHours(int64_t inCount);
    void FromNbDays(int64_t inCount);
    void SetDuration(int32_t inDays, int32_t inHours, int32_t inMinutes, int32_t inSeconds,
                     int32_t inMilliseconds);
    void AddDuration(int32_t inDays, int32_t inHours, int32_t inMinutes, int32_t inSeconds,
                     int32_t inMilliseconds);
    void AddDays(int32_t inCount);
    void AddHours(int32_t inCount);
    void AddMinutes(int32_t inCount);
    void AddSeconds(int32_t inCount);
    void AddMilliseconds(int64_t inCount);
    // Replace one component, carrying nothing into the others.
    void AdjustDay(int32_t inDay);
    void AdjustHour(int32_t inHour);
    void AdjustMinute(int32_t inMinute);
    void AdjustSecond(int32_t inSecond);
    void AdjustMillisecond(int32_t inMillisecond);
    void FromDecimalHour(double inHours);
    void AddDecimalHour(double inHours);

    // Arithmetic that leaves the flags alone.
    void Add(const VDuration& inOther);
    void Substract(const VDuration& inOther);
    VDuration& Multiply(double inFactor);
    VDuration& Divide(double inDivisor);
    double Divide(const VDuration& inDivisor) const;
    // A zero divisor leaves the duration unchanged.
    void Remainder(const VDuration& inDivisor);

    // Components; see the header comment for negative durations.
    int32_t GetDay() const;
    int32_t GetHour() const;
    int32_t GetMinute() const;
    int32_t GetSecond() const;
    int32_t GetMillisecond() const;
    // All five are -1 when the duration is null.
    void GetDuration(int32_t& outDays, int32_t& outHours, int32_t& outMinutes, int32_t& outSeconds,
                     int32_t& outMilliseconds) const;
    int64_t ConvertToMilliseconds() const { return fMilliseconds; }
    int64_t ConvertToSeconds() const { return fMilliseconds / kMillisecondsPerSecond; }
    int64_t ConvertToMinutes() const { return fMilliseconds / kMillisecondsPerMinute; }
    int64_t ConvertToHours() const { return fMilliseconds / kMillisecondsPerHour; }
    double GetDecimalHour() const;

    // On the counts; the null state takes no part.
    bool operator==(const VDuration& inOther) const { return fMilliseconds == inOther.fMilliseconds; }
    bool operator!=(const VDuration& inOther) const { return fMilliseconds != inOther.fMilliseconds; }
    bool operator<(const VDuration& inOther) const { return fMilliseconds < inOther.fMilliseconds; }
    bool operator>(const VDuration& inOther) const { return fMilliseconds > inOther.fMilliseconds; }
    bool operator<=(const VDuration& inOther) const { return fMilliseconds <= inOther.fMilliseconds; }
    bool operator>=(const VDuration& inOther) const { return fMilliseconds >= inOther.fMilliseconds; }

    // Text forms. GetFormattedString appends days:hours:minutes:seconds:milliseconds without
    // leading zeros; a negative duration is written as a minus and the components of its size
    // ("-0:0:0:1:500"), a null one as -1 for each component.
    void GetFormattedString(VString& ioString) const;
    // Option bit 1: ISO 8601 ("P1DT1H1M1.00100004673004S"); otherwise whole seconds.
    void GetXMLString(VString& outString, uint32_t inOptions) const override;
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    // Without ":" a count of seconds; with it minutes:seconds, hours:minutes:seconds or
    // hours:minutes:seconds:milliseconds (pieces after the fourth are ignored). Numbers are read
    // as the string reads integers: digits anywhere, a "-" before them, up to the decimal
    // separator. Not null, dirty.
    void FromString(const VString& inString) override;
    // ISO 8601 ("P1Y2M3DT4H5M6.5S", a month counting 30 days and a year 360), else the forms of
    // FromString; an unknown designator is part of the next number. Always true; not null, dirty.
    bool FromXMLString(const VString& inString) override;
    // The text is a count of milliseconds. Not null, dirty; answers 0.
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    // JSON null makes the duration null (the count stays); anything else is a number of
    // seconds, truncated to milliseconds.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null duration. Option 4: the string H:MM:SS; option 2: the number of
    // milliseconds; otherwise the number of seconds.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

    // The value protocol.
    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    void Clear() override;
    bool CanBeEvaluated() const override;

    uint8_t GetBoolean() const override;
    // Whole seconds, cut to the width of the result.
    int8_t GetByte() const override;
    int16_t GetWord() const override;
    int32_t GetLong() const override;
    int64_t GetLong8() const override;
    int64_t GetLong8OrMilliSeconds() const override;
    // Seconds.
    double GetReal() const override;
    // Copies the count; the target's flags stay.
    void GetDuration(VDuration& outDuration) const override;
    // The count in decimal; empty when null.
    void GetString(VString& outString) const override;
    void GetValue(VValueSingle& outValue) const override;

    // Numbers are seconds.
    void FromBoolean(uint8_t inValue) override;
    void FromByte(int8_t inValue) override;
    void FromWord(int16_t inValue) override;
    void FromLong(int32_t inValue) override;
    void FromLong8(int64_t inValue) override;
    void FromReal(double inValue) override;
    void FromDuration(const VDuration& inDuration) override;
    void FromValue(const VValueSingle& inValue) override;
    bool FromValueSameKind(const VValue* inValue) override;

    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindWithOptions(const VValue* inValue,
                                               const VCompareOptions& inOptions) const override;
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData,
                                                  const VCompareOptions& inOptions) const override;

    // Packed form: the 8-byte count in the processor's order.
    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    // Stream form: the 8-byte count in the stream's order. Reading keeps the flags, and keeps the
    // count when the bytes could not be read.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VDuration_info sInfo;

private:
    // The count becomes inMilliseconds; not null, dirty.
    void _Set(int64_t inMilliseconds);

    int64_t fMilliseconds;
};

// The H:MM:SS clock text of a count of milliseconds (hours unbounded, minutes and seconds on two
// digits), appended to ioText; a negative count is written as a minus and the clock of its size.
void AppendDurationClockText(int64_t inMilliseconds, VString& ioText);

} // namespace kova
