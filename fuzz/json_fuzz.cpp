// The JSON text reader, lenient and strict, over the input read as UTF-8 and as raw UTF-16 units:
// any text is read without a fault and what was read is written; what strict reading accepts
// is written as text that strict reading accepts again and that writes the same.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"

using namespace kova;

namespace
{

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
            VJSONValue again;
            fuzz::Check(VJSONImporter::ParseString(written, again, VJSONImporter::kStrict) == VE_OK,
                        "strict text is written as strict text");
            VString rewritten;
            again.Stringify(rewritten, 1);
            fuzz::Check(rewritten.EqualToStringRaw(written), "strict text writes the same twice");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::BringUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    ReadAndWrite(VString(inData, inSize, VTC_UTF_8));
    ReadAndWrite(fuzz::UnitsOf(inData, inSize));
    return 0;
}
