// Numbers read from text: the string's own readers, and the value kinds' text readers.
#include "fuzz/FuzzSetup.h"

#include "kernel/values/VBoolean.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VUUID.h"

#include <cmath>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    for (const VString& text : {VString(inData, inSize, VTC_UTF_8), fuzz::UnitsOf(inData, inSize)})
    {
        text.GetBoolean();
        text.GetWord();
        text.GetLong();
        text.GetLong8();
        bool overflow = false;
        const double real = text.GetRealCheckOverflow(&overflow);
        fuzz::Check(real == text.GetReal() || (std::isnan(real) && std::isnan(text.GetReal())),
                    "both real readers agree");
        text.GetOsType();
        text.GetHexLong();

        VReal value;
        value.FromString(text);
        value.FromXMLString(text);
        value.FromJSONString(text, 0);
        VString written;
        value.GetXMLString(written, 0);
        VLong integer;
        integer.FromString(text);
        VLong8 integer8;
        integer8.FromString(text);
        VBoolean boolean;
        boolean.FromXMLString(text);
        boolean.FromString(text);
        VUUID uuid;
        uuid.FromString(text);
    }
    return 0;
}
