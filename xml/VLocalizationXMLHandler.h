// The handlers that read an XLIFF file for the localization manager (VXMLParser handlers).
// VLocalizationXMLHandler walks the document and decides from each "file" element's
// "target-language" whether its units are taken for the manager's language, and whether they may
// overwrite texts already filed (only a file of the exact language may). It hands each outermost
// "group" to a VLocalizationGroupHandler and each "trans-unit" outside groups to a
// VLocalizationTransUnitHandler (VLocalizationTransUnitHandler.h).
//
// The document handler lives as long as its manager and keeps its verdict from one "file"
// element, and one XLIFF file, to the next: a file without "target-language" is judged by the
// last verdict.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "xml/IXMLHandler.h"

#include <cstdint>
#include <stack>

namespace kova
{

class VLocalizationManager;
class VValueBag;

class VLocalizationXMLHandler : public VObject, public IXMLHandler
{
public:
    // The manager is not retained: it owns this handler.
    explicit VLocalizationXMLHandler(VLocalizationManager* inManager);

    IXMLHandler* StartElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;

    // With true, units are taken whatever the files' languages.
    void SetAvoidLanguageChecking(bool inAvoid) { fAvoidLanguageChecking = inAvoid; }

private:
    VLocalizationManager* fManager;
    bool fLanguageVerdict = false;
    bool fOverwrite = true;
    // "file" while a "file" element's attributes arrive.
    VString fCurrentElement;
    bool fAvoidLanguageChecking = false;
};

// One outermost "group" and the groups nested in it. Its id, resource type and bag belong to the
// handler, not to the level: a nested group's attributes change them for the rest of the outer
// group, and a bag is filed and dropped at the end of the first level that closes after it was
// made.
class VLocalizationGroupHandler : public VObject, public IXMLHandler
{
public:
    VLocalizationGroupHandler(bool inOverwrite, VLocalizationManager* inManager);
    ~VLocalizationGroupHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;

private:
    VLocalizationManager* fManager;
    bool fOverwrite;
    uint32_t fGroupID = 0;
    // One entry per open level: its "resname", or empty.
    std::stack<VString> fGroupNames;
    // Made at the first attribute; filed when the group has a resource type.
    VValueBag* fGroupBag = nullptr;
    VString fResourceType;
};

} // namespace kova
