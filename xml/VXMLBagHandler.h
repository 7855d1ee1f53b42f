// The handlers that read a value bag from XML (VXMLParser). VXMLBagHandler_UniqueElement is the
// root handler of a load: it takes the document element when its name is the expected one (any
// name when none is expected) and hands it to a VXMLBagHandler over the target bag, so that the
// element's attributes, text and children land in the target bag itself. VXMLBagHandler then
// serves the whole subtree alone: each child element becomes a new bag, added under the
// element's name to its parent's list of that name, in document order.
//
// What comes back: every attribute as a string (whatever kind it had when written), every run of
// character data appended to the bag's CDATA attribute "<>" (the line feeds and tabs between
// child elements included).
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VObject.h"
#include "xml/IXMLHandler.h"

#include <cstdint>

namespace kova
{

class VValueBag;

class VXMLBagHandler : public VObject, public IXMLHandler
{
public:
    // The bag that receives the first element's content (retained), the only entry of the stack.
    explicit VXMLBagHandler(VValueBag* inBag);
    ~VXMLBagHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;

private:
    // The bag of each open element, the innermost last.
    VBagArray fBagStack;
};

class VXMLBagHandler_UniqueElement : public VObject, public IXMLHandler
{
public:
    // The target bag is retained; an empty root name accepts any document element.
    VXMLBagHandler_UniqueElement(VValueBag* inBag, const VString& inRootName);
    ~VXMLBagHandler_UniqueElement() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void SetText(const VString& inText) override;

private:
    VValueBag* fBag;
    VString fRootName;
    uint32_t fElementCount = 0;
};

} // namespace kova
