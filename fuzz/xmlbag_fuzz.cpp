// Value bags read from XML: any bytes, read as a document of their own encoding and as UTF-16
// text, load without a fault, and a load that fails says so with an xmlc error.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/ValueBagXML.h"
#include "xml/VXMLBagHandler.h"
#include "xml/VXMLParser.h"

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    fuzz::HoldXMLLibrary();
    StErrorContextInstaller errors(false, true);
    {
        VXMLParser parser;
        VRefPtr<VValueBag> bag(new VValueBag);
        VRefPtr<VXMLBagHandler_UniqueElement> handler(new VXMLBagHandler_UniqueElement(bag.Get(), VString()));
        const bool parsed = parser.Parse(inData, inSize, handler.Get(), 0);
        const VError last = errors.GetLastError();
        fuzz::Check(parsed || ComponentOfError(last) == kCOMPONENT_XML,
                    "a failed parse leaves an xmlc error");
    }
    errors.GetContext()->Flush();
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        const VError error =
            LoadBagFromXML(fuzz::UnitsOf(inData, inSize), VString("bag"), *bag, XML_LoadExternalDTD);
        fuzz::Check(error == errors.GetLastError(), "the load answers its last error");
    }
    return 0;
}
