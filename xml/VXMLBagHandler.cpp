#include "xml/VXMLBagHandler.h"

#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

namespace kova
{

VXMLBagHandler::VXMLBagHandler(VValueBag* inBag)
{
    fBagStack.AddTail(inBag);
}

VXMLBagHandler::~VXMLBagHandler() = default;

IXMLHandler* VXMLBagHandler::StartElement(const VString& inElementName)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    if (VValueBag* parent = fBagStack.GetNth(fBagStack.GetCount()))
        parent->AddElement(inElementName, bag.Get());
    fBagStack.AddTail(bag.Get());
    Retain();
    return this;
}

void VXMLBagHandler::EndElement(const VString&)
{
    fBagStack.DeleteNth(fBagStack.GetCount());
}

void VXMLBagHandler::SetAttribute(const VString& inName, const VString& inValue)
{
    if (VValueBag* bag = fBagStack.GetNth(fBagStack.GetCount()))
        bag->SetString(inName, inValue);
}

void VXMLBagHandler::SetText(const VString& inText)
{
    if (VValueBag* bag = fBagStack.GetNth(fBagStack.GetCount()))
        bag->AppendToCData(inText);
}

VXMLBagHandler_UniqueElement::VXMLBagHandler_UniqueElement(VValueBag* inBag, const VString& inRootName)
    : fBag(RetainRefCountable(inBag)), fRootName(inRootName)
{
}

VXMLBagHandler_UniqueElement::~VXMLBagHandler_UniqueElement()
{
    ReleaseRefCountable(&fBag);
}

IXMLHandler* VXMLBagHandler_UniqueElement::StartElement(const VString& inElementName)
{
    ++fElementCount;
    if (!fRootName.IsEmpty() && !fRootName.EqualToString(inElementName, false))
        return nullptr;
    if (fElementCount != 1)
        return nullptr;
    if (fRootName.IsEmpty())
        fRootName.FromString(inElementName);
    return new VXMLBagHandler(fBag);
}

void VXMLBagHandler_UniqueElement::SetText(const VString&) {}

} // namespace kova
