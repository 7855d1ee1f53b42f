// The handlers of one XLIFF "trans-unit" and of an "alt-trans" inside it (see
// VLocalizationXMLHandler.h). A unit reads its "source" and "target" texts and, at its own end,
// files the target (else the source) in the manager's tables: under its STR# codes (group id and
// unit id), under its object URL or resource name, and in the tables of its groups. A unit whose
// "kx:includeIf" or "kx:excludeIf" rules this platform out files nothing; this platform counts as
// "mac", as stored files expect.
//
// Inline markup inside "source" or "target" is not read: a child element and the text after it
// are dropped. In a group with a resource type, the unit's attributes and text also go into a bag
// added to the group's bag; an "alt-trans" adds its own bag to the unit's.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"
#include "xml/IXMLHandler.h"

#include <cstdint>
#include <stack>

namespace kova
{

class VLocalizationManager;
class VValueBag;

// The texts of a unit or an alt-trans: what its "source" and "target" children hold.
class VLocalizationUnitTexts
{
public:
    // A child starts: true for "source" and "target", whose handler is the unit's own.
    bool StartChild(const VString& inElementName);
    // An element ends on the unit's handler: true when it is the unit's own end. Only the name
    // decides, so that the end of a "source" or "target" that held markup never ends the unit.
    bool EndElement(const VString& inElementName);
    // Text of the "source" or "target" being read; other text (after markup) is dropped.
    void Append(const VString& inText);
    // The target when there is one, else the source, else nothing.
    VString GetText() const;

private:
    VString fCurrentChild;
    // Null until some text arrives.
    VString fSource{true};
    VString fTarget{true};
};

class VLocalizationTransUnitHandler : public VObject, public IXMLHandler
{
public:
    // A unit outside any group.
    VLocalizationTransUnitHandler(bool inOverwrite, VLocalizationManager* inManager);
    // A unit in a group: its id, its stack of names, and its bag (retained) when the group keeps
    // one.
    VLocalizationTransUnitHandler(uint32_t inGroupID, const std::stack<VString>& inGroupNames,
                                  VValueBag* inGroupBag, bool inOverwrite, VLocalizationManager* inManager);
    ~VLocalizationTransUnitHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;

    // Sets *ioSkip when the words of inValue (blank-separated) name a platform and rule this one
    // out: an include list without "mac", an exclude list with it. Never clears it.
    static void CheckPlatformTag(const VString& inValue, bool inInclude, bool* ioSkip);

private:
    void _Finish();

    VLocalizationManager* fManager;
    VLocalizationUnitTexts fTexts;
    uint32_t fGroupID = 0;
    VValueBag* fGroupBag = nullptr;
    VValueBag* fUnitBag = nullptr;
    uint32_t fUnitID = 0;
    VString fResourceName;
    bool fFiled = false;
    bool fOverwrite;
    bool fSkip = false;
    std::stack<VString> fGroupNames;
};

class VLocalizationAltTransHandler : public VObject, public IXMLHandler
{
public:
    // Only the unit's bag is used (retained; may be null).
    VLocalizationAltTransHandler(uint32_t inGroupID, const std::stack<VString>& inGroupNames,
                                 VValueBag* inUnitBag, bool inOverwrite, VLocalizationManager* inManager);
    ~VLocalizationAltTransHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;

    static void CheckPlatformTag(const VString& inValue, bool inInclude, bool* ioSkip)
    {
        VLocalizationTransUnitHandler::CheckPlatformTag(inValue, inInclude, ioSkip);
    }

private:
    VLocalizationUnitTexts fTexts;
    VValueBag* fUnitBag = nullptr;
    VValueBag* fBag = nullptr;
    bool fSkip = false;
};

} // namespace kova
