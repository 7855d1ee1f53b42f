#include "xml/VLocalizationXMLHandler.h"

#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VLocalizationManager.h"
#include "xml/VLocalizationTransUnitHandler.h"

namespace kova
{

VLocalizationXMLHandler::VLocalizationXMLHandler(VLocalizationManager* inManager) : fManager(inManager) {}

IXMLHandler* VLocalizationXMLHandler::StartElement(const VString& inElementName)
{
    if (inElementName.EqualToUSASCIICString("file"))
        fCurrentElement.FromCString("file");
    else
        fCurrentElement.Clear();

    const bool taken = fLanguageVerdict || fAvoidLanguageChecking;
    if (taken && inElementName.EqualToUSASCIICString("group"))
        return new VLocalizationGroupHandler(fOverwrite, fManager);
    if (taken && inElementName.EqualToUSASCIICString("trans-unit"))
        return new VLocalizationTransUnitHandler(fOverwrite, fManager);
    // Everything else: walked by this handler, so that groups and units are found at any depth.
    Retain();
    return this;
}

void VLocalizationXMLHandler::SetAttribute(const VString& inName, const VString& inValue)
{
    if (!fCurrentElement.EqualToUSASCIICString("file") || !inName.EqualToUSASCIICString("target-language"))
        return;
    VString code;
    if (!VIntlMgr::GetRFC3066BisLanguageCodeWithDialectCode(fManager->GetLocalizationLanguage(), code, u'-'))
        return;
    switch (VIntlMgr::Compare2RFC3066LanguageCodes(code, inValue))
    {
    case 4: // the same code
        fLanguageVerdict = true;
        fOverwrite = true;
        break;
    case 3: // the same language, with or without a region, or another region
    case 2:
    case 1:
        fLanguageVerdict = true;
        fOverwrite = false;
        break;
    default: // another language, or a code that names no dialect
        fLanguageVerdict = false;
        break;
    }
}

void VLocalizationXMLHandler::SetText(const VString&) {}

VLocalizationGroupHandler::VLocalizationGroupHandler(bool inOverwrite, VLocalizationManager* inManager)
    : fManager(inManager), fOverwrite(inOverwrite)
{
    fGroupNames.push(VString());
}

VLocalizationGroupHandler::~VLocalizationGroupHandler()
{
    ReleaseRefCountable(&fGroupBag);
}

IXMLHandler* VLocalizationGroupHandler::StartElement(const VString& inElementName)
{
    if (inElementName.EqualToUSASCIICString("trans-unit"))
    {
        return new VLocalizationTransUnitHandler(
            fGroupID, fGroupNames, fResourceType.IsEmpty() ? nullptr : fGroupBag, fOverwrite, fManager);
    }
    if (inElementName.EqualToUSASCIICString("group"))
    {
        fGroupNames.push(VString());
        Retain();
        return this;
    }
    return nullptr;
}

void VLocalizationGroupHandler::EndElement(const VString&)
{
    if (fGroupBag != nullptr)
    {
        if (!fResourceType.IsEmpty())
        {
            const VString& name = fGroupNames.empty() ? VString() : fGroupNames.top();
            if (!name.IsEmpty())
                fGroupBag->SetString("resname", name);
            fManager->_InsertGroupBag(name, fResourceType, fGroupBag);
        }
        ReleaseRefCountable(&fGroupBag);
    }
    fResourceType.Clear();
    if (!fGroupNames.empty())
        fGroupNames.pop();
}

void VLocalizationGroupHandler::SetAttribute(const VString& inName, const VString& inValue)
{
    if (fGroupBag == nullptr)
        fGroupBag = new VValueBag;
    if (inName.EqualToUSASCIICString("id"))
    {
        if (int32_t id = inValue.GetLong(); id != 0)
            fGroupID = uint32_t(id);
    }
    else if (inName.EqualToUSASCIICString("resname"))
    {
        if (!inValue.IsEmpty() && !fGroupNames.empty())
            fGroupNames.top() = inValue;
    }
    else if (inName.EqualToUSASCIICString("restype"))
    {
        fResourceType = inValue;
    }
    fGroupBag->SetString(inName, inValue);
}

void VLocalizationGroupHandler::SetText(const VString&) {}

} // namespace kova
