#include "xml/VXMLBagHandler.h"

#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

namespace kova
{

namespace
{

// The key of a name, its UTF-8 bytes on the stack when the name is ASCII (as names nearly always
// are), so that the many elements and attributes of a document cost no allocation for their keys.
class StNameKey
{
public:
    explicit StNameKey(const VString& inName)
    {
        const int32_t length = inName.GetLength();
        const UniChar* units = inName.GetCPointer();
        bool ascii = size_t(length) <= StPackedDictionaryKey::kMaxKeyLength;
        for (int32_t index = 0; ascii && index < length; ++index)
        {
            ascii = units[index] < 0x80;
            fBytes[index] = char(units[index]);
        }
        fKey =
            ascii ? StPackedDictionaryKey::Borrowed(fBytes, size_t(length)) : StPackedDictionaryKey(inName);
    }
    StNameKey(const StNameKey&) = delete;
    StNameKey& operator=(const StNameKey&) = delete;

    const StPackedDictionaryKey& Get() const { return fKey; }

private:
    char fBytes[StPackedDictionaryKey::kMaxKeyLength];
    StPackedDictionaryKey fKey;
};

} // namespace

VXMLBagHandler::VXMLBagHandler(VValueBag* inBag)
{
    fBagStack.AddTail(inBag);
}

VXMLBagHandler::~VXMLBagHandler() = default;

IXMLHandler* VXMLBagHandler::StartElement(const VString& inElementName)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    if (VValueBag* parent = fBagStack.GetNth(fBagStack.GetCount()))
        parent->AddElement(StNameKey(inElementName).Get(), bag.Get());
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
        bag->SetString(StNameKey(inName).Get(), inValue);
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
