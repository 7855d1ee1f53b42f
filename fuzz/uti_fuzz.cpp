// Type declarations read from a property list: any bytes parse, link and answer look-ups without a
// fault, every walk of the conformance tree ends (no type is its own ancestor), and the manager
// leaves no type behind.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VRefPtr.h"
#include "xml/VUTI.h"
#include "xml/VUTIManager.h"
#include "xml/VUTIManagerXMLHandlers.h"
#include "xml/VXMLParser.h"

#include <vector>

using namespace kova;

namespace
{

// The tags of the corpus, each tried in every class.
const char* const kTags[] = {"txt", "doc", "a", "text/plain", "TEXT", "x"};

void CheckType(VUTI* inType)
{
    fuzz::Check(!inType->IsParent(inType) && !inType->IsChild(inType), "no type is its own ancestor");
    std::vector<VString> extensions;
    inType->GetAllExtensionsVector(extensions);
    inType->IsChildOrChildOfAParent(inType);
    inType->ConformsToIdentifier(VString("public.data"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    fuzz::HoldXMLLibrary();
    StErrorContextInstaller errors(false, true);
    VRefPtr<VUTIManager> manager(new VUTIManager());
    {
        VXMLParser parser;
        VRefPtr<VUTIManagerXMLHandler> handler(new VUTIManagerXMLHandler(manager.Get()));
        parser.Parse(inData, inSize, handler.Get(), XML_ValidateNever);
    }
    manager->ProcessExtractedUTIs();
    for (const VString& tagClass : {VUTIManager::kTagClassFilenameExtension, VUTIManager::kTagClassOSType,
                                    VUTIManager::kTagClassMIMEType})
    {
        for (const char* tag : kTags)
        {
            std::vector<VUTI*>* all =
                manager->UTTypeCreateAllIdentifiersForTag(tagClass, VString(tag), VString());
            fuzz::Check(all != nullptr, "a look-up with a class and a tag answers a vector");
            for (VUTI* type : *all)
            {
                CheckType(type);
                type->Release();
            }
            delete all;
            VUTI* preferred =
                manager->UTTypeCreatePreferredIdentifierForTag(tagClass, VString(tag), VString());
            ReleaseRefCountable(&preferred);
        }
    }
    return 0;
}
