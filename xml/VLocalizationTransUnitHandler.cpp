#include "xml/VLocalizationTransUnitHandler.h"

#include "kernel/values/VValueBag.h"
#include "xml/VLocalizationManager.h"

#include <vector>

namespace kova
{

namespace
{

// The object URL joins a bracketed group's name, the inner group's name and the resource name.
const char kObjectURLSeparator[] = "#}[{@";

} // namespace

bool VLocalizationUnitTexts::StartChild(const VString& inElementName)
{
    fCurrentChild = inElementName;
    return inElementName.EqualToUSASCIICString("source") || inElementName.EqualToUSASCIICString("target");
}

bool VLocalizationUnitTexts::EndElement(const VString& inElementName)
{
    fCurrentChild.Clear();
    return !inElementName.EqualToUSASCIICString("source") && !inElementName.EqualToUSASCIICString("target");
}

void VLocalizationUnitTexts::Append(const VString& inText)
{
    // Appending makes a null text present.
    if (fCurrentChild.EqualToUSASCIICString("source"))
        fSource.AppendString(inText);
    else if (fCurrentChild.EqualToUSASCIICString("target"))
        fTarget.AppendString(inText);
}

VString VLocalizationUnitTexts::GetText() const
{
    if (!fTarget.IsNull())
        return fTarget;
    if (!fSource.IsNull())
        return fSource;
    return VString();
}

VLocalizationTransUnitHandler::VLocalizationTransUnitHandler(bool inOverwrite,
                                                             VLocalizationManager* inManager)
    : fManager(inManager), fOverwrite(inOverwrite)
{
}

VLocalizationTransUnitHandler::VLocalizationTransUnitHandler(uint32_t inGroupID,
                                                             const std::stack<VString>& inGroupNames,
                                                             VValueBag* inGroupBag, bool inOverwrite,
                                                             VLocalizationManager* inManager)
    : fManager(inManager), fGroupID(inGroupID), fGroupBag(RetainRefCountable(inGroupBag)),
      fOverwrite(inOverwrite), fGroupNames(inGroupNames)
{
    if (fGroupBag != nullptr)
        fUnitBag = new VValueBag;
}

VLocalizationTransUnitHandler::~VLocalizationTransUnitHandler()
{
    ReleaseRefCountable(&fUnitBag);
    ReleaseRefCountable(&fGroupBag);
}

IXMLHandler* VLocalizationTransUnitHandler::StartElement(const VString& inElementName)
{
    if (fTexts.StartChild(inElementName))
    {
        Retain();
        return this;
    }
    if (inElementName.EqualToUSASCIICString("alt-trans"))
        return new VLocalizationAltTransHandler(fGroupID, fGroupNames, fUnitBag, fOverwrite, fManager);
    return nullptr;
}

void VLocalizationTransUnitHandler::EndElement(const VString& inElementName)
{
    if (fTexts.EndElement(inElementName) && !fSkip)
        _Finish();
}

void VLocalizationTransUnitHandler::_Finish()
{
    VString text = fTexts.GetText();
    if (fUnitBag != nullptr)
    {
        fUnitBag->SetString("target", text);
        fGroupBag->AddElement("trans-unit", fUnitBag);
    }
    if (fFiled)
        return;
    if (fUnitID != 0 && fGroupID != 0)
        fFiled =
            fManager->_InsertSTRSharpCodeAndString({int32_t(fGroupID), int32_t(fUnitID)}, text, fOverwrite);
    if (text.IsEmpty())
        return;

    VString objectURL;
    if (fGroupNames.size() >= 2 && !fResourceName.IsEmpty())
    {
        std::stack<VString> names(fGroupNames);
        const VString inner = names.top();
        names.pop();
        const VString& outer = names.top();
        if (!inner.IsEmpty() && !outer.IsEmpty() && outer.GetUniChar(1) == u'[' &&
            outer.GetUniChar(outer.GetLength()) == u']')
        {
            objectURL = outer;
            objectURL.AppendCString(kObjectURLSeparator);
            objectURL.AppendString(inner);
            objectURL.AppendCString(kObjectURLSeparator);
            objectURL.AppendString(fResourceName);
        }
    }
    if (!objectURL.IsEmpty())
    {
        fFiled = fManager->_InsertObjectURLAndString(objectURL, text, fOverwrite) || fFiled;
        return;
    }
    if (!fResourceName.IsEmpty())
        fFiled = fManager->_InsertObjectURLAndString(fResourceName, text, fOverwrite) || fFiled;
    for (std::stack<VString> names(fGroupNames); !names.empty(); names.pop())
        fFiled = fManager->_InsertIDAndStringInAGroup(fUnitID, text, names.top(), fOverwrite) || fFiled;
}

void VLocalizationTransUnitHandler::SetAttribute(const VString& inName, const VString& inValue)
{
    if (fUnitBag != nullptr)
        fUnitBag->SetString(inName, inValue);
    if (inName.EqualToUSASCIICString("id"))
    {
        if (int32_t id = inValue.GetLong(); id >= 1)
            fUnitID = uint32_t(id);
    }
    else if (inName.EqualToUSASCIICString("resname"))
    {
        fResourceName = inValue;
    }
    else if (inName.EqualToUSASCIICString("kx:excludeIf"))
    {
        CheckPlatformTag(inValue, false, &fSkip);
    }
    else if (inName.EqualToUSASCIICString("kx:includeIf"))
    {
        CheckPlatformTag(inValue, true, &fSkip);
    }
}

void VLocalizationTransUnitHandler::SetText(const VString& inText)
{
    fTexts.Append(inText);
}

void VLocalizationTransUnitHandler::CheckPlatformTag(const VString& inValue, bool inInclude, bool* ioSkip)
{
    std::vector<VString> words;
    inValue.GetSubStrings(u' ', words, false, true);
    bool mac = false;
    bool anyPlatform = false;
    for (const VString& word : words)
    {
        const bool isMac = word.EqualToString(VString("mac"), false);
        mac = mac || isMac;
        anyPlatform = anyPlatform || isMac || word.EqualToString(VString("win"), false) ||
                      word.EqualToString(VString("linux"), false);
    }
    if (!anyPlatform)
        return;
    if (inInclude != mac)
        *ioSkip = true;
}

VLocalizationAltTransHandler::VLocalizationAltTransHandler(uint32_t, const std::stack<VString>&,
                                                           VValueBag* inUnitBag, bool, VLocalizationManager*)
    : fUnitBag(RetainRefCountable(inUnitBag))
{
    if (fUnitBag != nullptr)
        fBag = new VValueBag;
}

VLocalizationAltTransHandler::~VLocalizationAltTransHandler()
{
    ReleaseRefCountable(&fBag);
    ReleaseRefCountable(&fUnitBag);
}

IXMLHandler* VLocalizationAltTransHandler::StartElement(const VString& inElementName)
{
    if (fTexts.StartChild(inElementName))
    {
        Retain();
        return this;
    }
    return nullptr;
}

void VLocalizationAltTransHandler::EndElement(const VString& inElementName)
{
    if (!fTexts.EndElement(inElementName) || fSkip)
        return;
    if (fBag != nullptr)
    {
        fBag->SetString("target", fTexts.GetText());
        fUnitBag->AddElement("alt-trans", fBag);
    }
}

void VLocalizationAltTransHandler::SetAttribute(const VString& inName, const VString& inValue)
{
    if (fBag != nullptr)
        fBag->SetString(inName, inValue);
    if (inName.EqualToUSASCIICString("kx:excludeIf"))
        CheckPlatformTag(inValue, false, &fSkip);
    else if (inName.EqualToUSASCIICString("kx:includeIf"))
        CheckPlatformTag(inValue, true, &fSkip);
}

void VLocalizationAltTransHandler::SetText(const VString& inText)
{
    fTexts.Append(inText);
}

} // namespace kova
