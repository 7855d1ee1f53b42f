// Date-time and duration readers: any text is read without a fault, and an instant read from RFC
// 3339 text is written and read back to the same instant.
#include "fuzz/FuzzSetup.h"

#include "kernel/values/VDuration.h"
#include "kernel/values/VTime.h"

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    const VString text(inData, inSize, VTC_UTF_8);
    VTime time;
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    // The form has four digits of year: an offset may carry a date past 9999.
    if (time.FromRfc3339String(text) && !time.IsNull() && !time.IsEmptyDate() &&
        (time.GetUTCTime(year, month, day, hour, minute, second, millisecond), year <= 9999))
    {
        VString written;
        time.GetRfc3339String(written, 1);
        VTime read;
        fuzz::Check(read.FromRfc3339String(written) && read.GetStamp() == time.GetStamp(),
                    "an instant read is written and read back");
    }
    time.FromXMLString(text);
    time.FromJSONString(text, 0);
    time.FromString(text);
    time.FromRfc822String(text);
    VString written;
    time.GetRfc822String(written);
    time.GetXMLString(written, 0);

    VDuration duration;
    duration.FromString(text);
    duration.FromXMLString(text);
    duration.FromJSONString(text, 0);
    duration.GetXMLString(written, 0);
    text.GetDuration(duration);
    text.GetTime(time);
    return 0;
}
