// Test helpers of the date-time tests: a date-time from its universal fields, its fields read
// back in universal or local time, and a null date-time.
#pragma once

#include "kernel/values/VTime.h"

#include <array>
#include <cstdint>

namespace kova::testing_time
{

using Fields = std::array<int16_t, 7>;

inline VTime MakeTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour = 0,
                      int16_t inMinute = 0, int16_t inSecond = 0, int16_t inMillisecond = 0)
{
    VTime time;
    time.FromUTCTime(inYear, inMonth, inDay, inHour, inMinute, inSecond, inMillisecond);
    return time;
}

inline Fields UTCFields(const VTime& inTime)
{
    Fields fields{};
    inTime.GetUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    return fields;
}

inline Fields LocalFields(const VTime& inTime)
{
    Fields fields{};
    inTime.GetLocalTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    return fields;
}

inline VTime NullTime()
{
    VTime time;
    time.SetNull(true);
    return time;
}

} // namespace kova::testing_time
