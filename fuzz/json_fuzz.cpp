// The JSON text reader, lenient and strict, over the input read as UTF-8 and as raw UTF-16 units:
// any text is read without a fault and what was read is written; what strict reading accepts
// is written as text that strict reading accepts again, and whose writing is stable.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"

using namespace kova;

namespace
{

// The text read strictly and written again.
VString Rewritten(const VString& inText)
{
    VJSONValue value;
    fuzz::Check(VJSONImporter::ParseString(inText, value, VJSONImporter::kStrict) == VE_OK,
                "strict text is written as strict text");
    VString written;
    value.Stringify(written, 1);
    return written;
}

void ReadAndWrite(const VString& inText)
{
    for (uint32_t options : {0u, 1u | 8u, 0xC0u, uint32_t(VJSONImporter::kStrict), 2u | 4u | 0x240u})
    {
        VJSONValue value;
        VJSONImporter importer(inText, options);
        VError error = importer.Parse(value);
        VString written;
        fuzz::Check(value.Stringify(written, 1) == VE_OK, "what was read is written");
        VString indented;
        value.Stringify(indented, 9);
        if ((options & VJSONImporter::kStrict) != 0 && error == VE_OK)
        {
            // Numbers lose what lies past their 14 digits once: the text is stable from the
            // second writing on.
            VString second = Rewritten(written);
            fuzz::Check(Rewritten(second).EqualToStringRaw(second),
                        "strict text writes the same from then on");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    ReadAndWrite(VString(inData, inSize, VTC_UTF_8));
    ReadAndWrite(fuzz::UnitsOf(inData, inSize));
    return 0;
}
