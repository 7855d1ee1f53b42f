// The XLIFF reader: any bytes, read as an XLIFF document by the localization manager's handlers
// with the language check on and off, file texts without a fault; a failed parse says so with an
// xmlc error, and every text filed can be looked up.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VLocalizationManager.h"
#include "xml/VLocalizationXMLHandler.h"
#include "xml/VXMLParser.h"

#include <vector>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    fuzz::HoldXMLLibrary();
    StErrorContextInstaller errors(false, true);
    // French of Canada: its code meets every verdict of a file's language.
    VRefPtr<VLocalizationManager> manager(new VLocalizationManager(3084));
    VRefPtr<VLocalizationXMLHandler> handler(new VLocalizationXMLHandler(manager.Get()));
    VXMLParser parser;
    for (bool avoid : {false, true})
    {
        handler->SetAvoidLanguageChecking(avoid);
        const bool parsed = parser.Parse(inData, inSize, handler.Get(), XML_ValidateNever);
        fuzz::Check(parsed || ComponentOfError(errors.GetLastError()) == kCOMPONENT_XML,
                    "a failed parse leaves an xmlc error");
    }
    std::vector<VString> strings;
    manager->LocalizeGroupOfStringsWithAStrSharpID(1, strings);
    manager->GetOrderedStringsOfGroup(VString(), strings);
    std::vector<VRefPtr<const VValueBag>> bags;
    manager->RetainGroupBagsByRestype(VString("x-menu"), bags);
    VString text;
    manager->LocalizeErrorMessage(MakeKovaError(600), text);
    manager->ClearLocalizations();
    return 0;
}
