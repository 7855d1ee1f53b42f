// Type declarations read from a property list: any bytes parse, link and answer look-ups without a
// fault, every walk of the conformance tree ends (no type is its own ancestor), a look-up over all
// the types answers for each what its own walk answers, and the manager leaves no type behind.
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

bool ClaimsAlone(const VUTI& inType, const VString& inTagClass, const VString& inTag)
{
    if (VUTIManager::UTTypeEqual(inTagClass, VUTIManager::kTagClassFilenameExtension))
        return inType.ConformsToExtension(inTag);
    if (VUTIManager::UTTypeEqual(inTagClass, VUTIManager::kTagClassOSType))
        return inType.ConformsToOSType(inTag);
    return inType.ConformsToMIMEType(inTag);
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
            // The look-up shares its walks between the types; each type's own walk must agree.
            VString lastFound;
            for (VUTI* type : *all)
            {
                fuzz::Check(ClaimsAlone(*type, tagClass, VString(tag)), "a type found claims the tag itself");
                lastFound = type->GetIdentifier();
                CheckType(type);
                type->Release();
            }
            delete all;
            VUTI* preferred =
                manager->UTTypeCreatePreferredIdentifierForTag(tagClass, VString(tag), VString());
            ReleaseRefCountable(&preferred);
            if (lastFound.IsEmpty())
                continue;
            preferred = manager->UTTypeCreatePreferredIdentifierForTag(tagClass, VString(tag), lastFound);
            fuzz::Check(preferred == nullptr || preferred->ConformsToIdentifier(lastFound),
                        "the preferred type conforms to the type asked for");
            ReleaseRefCountable(&preferred);
        }
    }
    return 0;
}
