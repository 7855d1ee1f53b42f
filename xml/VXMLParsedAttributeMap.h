// The attribute map of an element with a long start tag, as the XML library's DOM parser fills it.
// The library adds each attribute after a search by namespace and local name through all those
// already in the map, one by one: a start tag of n attributes (given or defaulted) costs it n²
// comparisons. While its start tag is read, this map answers those searches from an index of the
// names it holds; at any other time, or once it meets a change it was not told of, it searches as
// the library does. The attributes stay ordered by name, as in every other map.
//
//     VXMLAttributeIndexing indexing;   // the parser's, used again for each element
//     indexing.Start(element);          // just made, before its attributes
//     ... the library adds the attributes and the defaults ...
//     indexing.Stop();
//
// The maps are made in the element's document, like the library's own, and never destroyed: they
// hold nothing of their own but a pointer to their index while indexing.
#pragma once

#include <xercesc/dom/impl/DOMAttrMapImpl.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>

#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace kova
{

// The names of one start tag's attributes: namespace and local name to the qualified name.
class VXMLAttributeIndex
{
public:
    VXMLAttributeIndex() = default;
    VXMLAttributeIndex(const VXMLAttributeIndex&) = delete;
    VXMLAttributeIndex& operator=(const VXMLAttributeIndex&) = delete;

private:
    friend class VXMLParsedAttributeMap;

    using Key = std::pair<std::u16string_view, std::u16string_view>;
    // Names come from documents: hashed under the process's key, so that none can be chosen to
    // meet in one bucket.
    struct KeyHash
    {
        size_t operator()(const Key& inKey) const;
    };

    static Key KeyOf(const XMLCh* inNamespaceURI, const XMLCh* inLocalName);
    void Clear();
    // False, from then on, when the map no longer is what the index was told of.
    bool Follows(const xercesc::DOMAttrMapImpl& inMap);

    std::unordered_map<Key, const XMLCh*, KeyHash> fNames;
    // Said missing: the library adds it next, looking its qualified name up first.
    std::optional<Key> fAdding;
    size_t fLength = 0;
    bool fBuilt = false;
    bool fLost = false;
};

class VXMLParsedAttributeMap : public xercesc::DOMAttrMapImpl
{
public:
    // Fewer attributes cost the library's own search little.
    static constexpr XMLSize_t kWorthIndexing = 32;

    // One of the element's maps (its attributes or its defaults) moves into a new map of this kind.
    static VXMLParsedAttributeMap* Install(xercesc::DOMElementImpl& ioElement,
                                           xercesc::DOMAttrMapImpl*& ioMap);

    void StartIndexing(VXMLAttributeIndex& ioIndex);
    void StopIndexing() { fIndex = nullptr; }

    int findNamePoint(const XMLCh* inName) const override;
    int findNamePoint(const XMLCh* inNamespaceURI, const XMLCh* inLocalName) const override;

    // The searches by namespace and local name that went through a whole map while it was indexed,
    // in the process: the work the index is there to save, which a test can count.
    static size_t GetSearchesThroughIndexedMaps();

private:
    explicit VXMLParsedAttributeMap(xercesc::DOMElementImpl& ioElement) : DOMAttrMapImpl(&ioElement) {}
    // The library's own search, while indexed.
    int SearchThrough(const XMLCh* inNamespaceURI, const XMLCh* inLocalName) const;
    void TakeNodesOf(xercesc::DOMAttrMapImpl& ioMap);

    VXMLAttributeIndex* fIndex = nullptr;
};

// Both maps of one element at a time, its attributes and its defaults, indexed while the library
// adds to them.
class VXMLAttributeIndexing
{
public:
    VXMLAttributeIndexing() = default;
    VXMLAttributeIndexing(const VXMLAttributeIndexing&) = delete;
    VXMLAttributeIndexing& operator=(const VXMLAttributeIndexing&) = delete;
    ~VXMLAttributeIndexing() { Stop(); }

    // Stops the element indexed before.
    void Start(xercesc::DOMElementImpl& ioElement);
    void Stop();

private:
    VXMLAttributeIndex fAttributes;
    VXMLAttributeIndex fDefaults;
    VXMLParsedAttributeMap* fAttributesMap = nullptr;
    VXMLParsedAttributeMap* fDefaultsMap = nullptr;
};

} // namespace kova
