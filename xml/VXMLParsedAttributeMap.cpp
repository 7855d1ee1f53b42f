#include "xml/VXMLParsedAttributeMap.h"

#include "kernel/values/VPackedKeyIndex.h"

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/util/XMLString.hpp>

#include <atomic>

namespace kova
{

namespace
{

std::atomic<size_t> sSearchesThroughIndexedMaps{0};

bool HasName(const xercesc::DOMNode* inNode, const XMLCh* inNamespaceURI, const XMLCh* inLocalName)
{
    return inNode != nullptr && xercesc::XMLString::equals(inNode->getNamespaceURI(), inNamespaceURI) &&
           xercesc::XMLString::equals(inNode->getLocalName(), inLocalName);
}

} // namespace

// ----- VXMLAttributeIndex

size_t VXMLAttributeIndex::KeyHash::operator()(const Key& inKey) const
{
    const auto hashOf = [](std::u16string_view inText)
    {
        return _VPackedKeyIndex::HashOf(reinterpret_cast<const char*>(inText.data()),
                                        inText.size() * sizeof(char16_t));
    };
    return (size_t(hashOf(inKey.first)) << 32) ^ hashOf(inKey.second);
}

VXMLAttributeIndex::Key VXMLAttributeIndex::KeyOf(const XMLCh* inNamespaceURI, const XMLCh* inLocalName)
{
    // The library takes no namespace and an empty one alike.
    return {inNamespaceURI != nullptr ? std::u16string_view(inNamespaceURI) : std::u16string_view(),
            std::u16string_view(inLocalName)};
}

void VXMLAttributeIndex::Clear()
{
    fNames.clear();
    fAdding.reset();
    fLength = 0;
    fBuilt = false;
    fLost = false;
}

bool VXMLAttributeIndex::Follows(const xercesc::DOMAttrMapImpl& inMap)
{
    if (fLost)
        return false;
    if (!fBuilt)
    {
        fBuilt = true;
        fLength = inMap.getLength();
        for (XMLSize_t index = 0; index < fLength; ++index)
        {
            const xercesc::DOMNode* node = inMap.item(index);
            if (node->getLocalName() == nullptr ||
                !fNames.emplace(KeyOf(node->getNamespaceURI(), node->getLocalName()), node->getNodeName())
                     .second)
            {
                fLost = true;
                return false;
            }
        }
    }
    // An attribute said missing and never added, or one added or removed unseen.
    if (fAdding || inMap.getLength() != fLength)
        fLost = true;
    return !fLost;
}

// ----- VXMLParsedAttributeMap

VXMLParsedAttributeMap* VXMLParsedAttributeMap::Install(xercesc::DOMElementImpl& ioElement,
                                                        xercesc::DOMAttrMapImpl*& ioMap)
{
    auto* map = new (ioElement.getOwnerDocument()) VXMLParsedAttributeMap(ioElement);
    if (ioMap != nullptr)
        map->TakeNodesOf(*ioMap);
    ioMap = map;
    return map;
}

void VXMLParsedAttributeMap::TakeNodesOf(xercesc::DOMAttrMapImpl& ioMap)
{
    // The library keeps a map's nodes in a member of its own: reached through a pointer to it. The
    // nodes keep their owner, the element.
    xercesc::DOMNodeVector* xercesc::DOMAttrMapImpl::*nodes = &VXMLParsedAttributeMap::fNodes;
    fNodes = ioMap.*nodes;
    ioMap.*nodes = nullptr;
    hasDefaults(ioMap.hasDefaults());
}

void VXMLParsedAttributeMap::StartIndexing(VXMLAttributeIndex& ioIndex)
{
    ioIndex.Clear();
    fIndex = &ioIndex;
}

int VXMLParsedAttributeMap::findNamePoint(const XMLCh* inName) const
{
    // The library adds the attribute said missing at the place of its qualified name.
    if (fIndex != nullptr)
    {
        if (fIndex->fAdding)
        {
            fIndex->fNames.emplace(*fIndex->fAdding, inName);
            fIndex->fAdding.reset();
            ++fIndex->fLength;
        }
        else
        {
            fIndex->fLost = true;
        }
    }
    return DOMAttrMapImpl::findNamePoint(inName);
}

size_t VXMLParsedAttributeMap::GetSearchesThroughIndexedMaps()
{
    return sSearchesThroughIndexedMaps.load(std::memory_order_relaxed);
}

int VXMLParsedAttributeMap::findNamePoint(const XMLCh* inNamespaceURI, const XMLCh* inLocalName) const
{
    if (fIndex == nullptr)
        return DOMAttrMapImpl::findNamePoint(inNamespaceURI, inLocalName);
    if (inLocalName == nullptr || !fIndex->Follows(*this))
        return SearchThrough(inNamespaceURI, inLocalName);
    const VXMLAttributeIndex::Key key = VXMLAttributeIndex::KeyOf(inNamespaceURI, inLocalName);
    const auto found = fIndex->fNames.find(key);
    if (found == fIndex->fNames.end())
    {
        fIndex->fAdding = key;
        return -1;
    }
    // Found by its qualified name, in order; an attribute that took another's place with another
    // prefix is not there, and is searched for as the library does.
    const int at = DOMAttrMapImpl::findNamePoint(found->second);
    if (at >= 0 && HasName(item(XMLSize_t(at)), inNamespaceURI, inLocalName))
        return at;
    return SearchThrough(inNamespaceURI, inLocalName);
}

int VXMLParsedAttributeMap::SearchThrough(const XMLCh* inNamespaceURI, const XMLCh* inLocalName) const
{
    sSearchesThroughIndexedMaps.fetch_add(1, std::memory_order_relaxed);
    return DOMAttrMapImpl::findNamePoint(inNamespaceURI, inLocalName);
}

// ----- VXMLAttributeIndexing

void VXMLAttributeIndexing::Start(xercesc::DOMElementImpl& ioElement)
{
    Stop();
    fAttributesMap = VXMLParsedAttributeMap::Install(ioElement, ioElement.fAttributes);
    fAttributesMap->StartIndexing(fAttributes);
    fDefaultsMap = VXMLParsedAttributeMap::Install(ioElement, ioElement.fDefaultAttributes);
    fDefaultsMap->StartIndexing(fDefaults);
}

void VXMLAttributeIndexing::Stop()
{
    if (fAttributesMap != nullptr)
        fAttributesMap->StopIndexing();
    if (fDefaultsMap != nullptr)
        fDefaultsMap->StopIndexing();
    fAttributesMap = nullptr;
    fDefaultsMap = nullptr;
}

} // namespace kova
