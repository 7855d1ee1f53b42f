// A value bag read from JSON text (VJSONImporter::JSONObjectToBag): any text is read without a
// fault, and the bag that comes of it is written as JSON and as an XML element.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    for (uint32_t options : {0u, 0x1000u})
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        bag->FromJSONString(VString(inData, inSize, VTC_UTF_8), options);
        VString json;
        fuzz::Check(bag->GetJSONString(json, options & 8) == VE_OK, "the bag is written as JSON");
        VString xml;
        bag->DumpXML(xml, VString("bag"), true);
    }
    return 0;
}
