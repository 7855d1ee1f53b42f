#include "xml/IXMLDomWrapper.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileStream.h"
#include "kernel/files/VURL.h"
#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VPackedKeyIndex.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLHandler.h"
#include "xml/VXMLBagHandler.h"
#include "xml/VXMLParsedAttributeMap.h"
#include "xml/VXMLParser.h"
#include "xml/XMLLibrary.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/DOMLSParserImpl.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace kova
{

namespace
{

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;

// ----- Handles. A node handle is the address of the library's DOMNode; an element's DOMNode is
// at the element's own address, a document's is not (it has several bases), so every conversion
// goes through DOMNode.

DOMNode* NodeOf(VXMLDOMNode_opaque* inHandle)
{
    return reinterpret_cast<DOMNode*>(inHandle);
}

DOMElement* ElementOf(VXMLDOMNode_opaque* inHandle)
{
    DOMNode* node = NodeOf(inHandle);
    return node != nullptr && node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(node)
                                                                           : nullptr;
}

DOMDocument* DocumentOf(VXMLDOMNode_opaque* inHandle)
{
    DOMNode* node = NodeOf(inHandle);
    if (node == nullptr)
        return nullptr;
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE)
        return static_cast<DOMDocument*>(node);
    return node->getOwnerDocument();
}

VXMLDOMNode_opaque* HandleOf(DOMNode* inNode)
{
    return reinterpret_cast<VXMLDOMNode_opaque*>(inNode);
}

VXMLDOMElement_opaque* HandleOf(DOMElement* inElement)
{
    return reinterpret_cast<VXMLDOMElement_opaque*>(static_cast<DOMNode*>(inElement));
}

VXMLDOMDocument_opaque* HandleOf(DOMDocument* inDocument)
{
    return reinterpret_cast<VXMLDOMDocument_opaque*>(static_cast<DOMNode*>(inDocument));
}

// ----- Text

VString TextOf(const XMLCh* inUnits)
{
    return inUnits != nullptr ? VString(UniCharsOfXMLCh(inUnits)) : VString();
}

// The library takes names and values as zero-terminated units: a text holding a zero unit would
// reach it cut short, so it is refused instead.
bool HoldsZero(const VString& inText)
{
    return inText.FindUniChar(0) > 0;
}

const XMLCh* UnitsOf(const VString& inText)
{
    return XMLChOfUniChars(inText.GetCPointer());
}

// ----- The library's exceptions

void PushLibraryError(const XMLCh* inMessage)
{
    PushXMLError(VE_XML_ParseError, inMessage, nullptr, nullptr, 0, 0);
}

// Runs the body; an exception of the library gives the neutral result, and with inReport an xmlc
// 2 with the library's message.
template <class Result, class Body>
Result Guarded(bool inReport, Result inNeutral, Body&& inBody)
{
    try
    {
        return inBody();
    }
    catch (const xercesc::DOMException& inException)
    {
        if (inReport)
            PushLibraryError(inException.getMessage());
    }
    catch (const xercesc::XMLException& inException)
    {
        if (inReport)
            PushLibraryError(inException.getMessage());
    }
    catch (const xercesc::OutOfMemoryException&)
    {
        if (inReport)
            PushLibraryError(u"the XML library ran out of memory");
    }
    catch (...)
    {
        if (inReport)
            PushLibraryError(u"the XML library failed");
    }
    return inNeutral;
}

template <class Body>
auto Quietly(decltype(std::declval<Body>()()) inNeutral, Body&& inBody)
{
    return Guarded(false, inNeutral, std::forward<Body>(inBody));
}

template <class Body>
auto Reporting(decltype(std::declval<Body>()()) inNeutral, Body&& inBody)
{
    return Guarded(true, inNeutral, std::forward<Body>(inBody));
}

template <class Body>
void Reporting(Body&& inBody)
{
    Guarded(true, 0,
            [&]
            {
                inBody();
                return 0;
            });
}

// ----- Namespaces and attributes

// The namespace of a prefix as seen from the element, with the two prefixes the Namespaces in XML
// recommendation binds by itself; null when unknown.
const XMLCh* NamespaceOfPrefix(const DOMElement* inElement, const XMLCh* inPrefix)
{
    if (const XMLCh* uri = inElement->lookupNamespaceURI(inPrefix))
        return uri;
    if (xercesc::XMLString::equals(inPrefix, xercesc::XMLUni::fgXMLString))
        return xercesc::XMLUni::fgXMLURIName;
    if (xercesc::XMLString::equals(inPrefix, xercesc::XMLUni::fgXMLNSString))
        return xercesc::XMLUni::fgXMLNSURIName;
    return nullptr;
}

// A name "prefix:local" split at its first colon (a colon first is no prefix).
struct SplitName
{
    explicit SplitName(const VString& inName)
    {
        const int32_t colon = inName.FindUniChar(u':');
        fPrefixed = colon >= 2;
        if (fPrefixed)
        {
            inName.GetSubString(1, colon - 1, fPrefix);
            inName.GetSubString(colon + 1, inName.GetLength() - colon, fLocal);
        }
    }

    bool fPrefixed = false;
    VString fPrefix;
    VString fLocal;
};

bool IsIDName(const XMLCh* inName)
{
    return xercesc::XMLString::equals(inName, u"id");
}

// ----- Element values

const XMLCh* FirstChildText(DOMElement* inElement, DOMNode::NodeType inType)
{
    if (inElement == nullptr)
        return nullptr;
    DOMNode* child = inElement->getFirstChild();
    if (child == nullptr || child->getNodeType() != inType)
        return nullptr;
    return child->getNodeValue();
}

VString FirstText(VXMLDOMElement_opaque* inElement)
{
    return Quietly(VString(),
                   [&] { return TextOf(FirstChildText(ElementOf(inElement), DOMNode::TEXT_NODE)); });
}

void SetElementText(VXMLDOMElement_opaque* inElement, const VString& inText)
{
    DOMElement* element = ElementOf(inElement);
    if (element == nullptr || HoldsZero(inText))
        return;
    Reporting(
        [&]
        {
            DOMNode* first = element->getFirstChild();
            if (first != nullptr && first->getNodeType() == DOMNode::TEXT_NODE)
            {
                first->setNodeValue(UnitsOf(inText));
                return;
            }
            while (DOMNode* child = element->getFirstChild())
                element->removeChild(child)->release();
            element->appendChild(element->getOwnerDocument()->createTextNode(UnitsOf(inText)));
        });
}

VXMLDOMElement_opaque* AddElementWithText(VXMLDOMElement_opaque* inParent, const VString& inName,
                                          const VString& inText)
{
    if (HoldsZero(inText))
        return nullptr;
    VXMLDOMElement_opaque* added = IXMLDomWrapper::AddNodeElement(inParent, inName);
    if (added == nullptr)
        return nullptr;
    const bool appended =
        Reporting(false,
                  [&]
                  {
                      DOMElement* element = ElementOf(added);
                      element->appendChild(element->getOwnerDocument()->createTextNode(UnitsOf(inText)));
                      return true;
                  });
    return appended ? added : nullptr;
}

VString XMLTextOf(const VValueSingle& inValue, uint32_t inOptions)
{
    VString text;
    inValue.GetXMLString(text, inOptions);
    return text;
}

VString LongText(int32_t inValue)
{
    VString text;
    text.FromLong(inValue);
    return text;
}

// ----- Line ends

// Where the low byte of a line feed falls in one unit of the encoding, found by encoding one with
// the library, so that the conversion follows the byte order the serializer writes. False when
// the library has no such encoder.
bool LineFeedLayout(const VString& inEncoding, size_t inUnitSize, size_t& outLowByte)
{
    xercesc::XMLTransService::Codes code;
    std::unique_ptr<xercesc::XMLTranscoder> transcoder(
        xercesc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(UnitsOf(inEncoding), code, 16));
    if (!transcoder)
        return false;
    const XMLCh lineFeed[] = {u'\n', 0};
    XMLByte bytes[8] = {};
    XMLSize_t eaten = 0;
    const XMLSize_t count = transcoder->transcodeTo(lineFeed, 1, bytes, sizeof(bytes), eaten,
                                                    xercesc::XMLTranscoder::UnRep_Throw);
    if (count != inUnitSize)
        return false;
    for (size_t index = 0; index < inUnitSize; ++index)
    {
        if (bytes[index] == 0x0A)
        {
            outLowByte = index;
            return true;
        }
    }
    return false;
}

// The unit at the bytes, when every byte but the low one is zero: its low byte; else -1.
template <size_t kUnit>
int LowByteOfUnit(const uint8_t* inUnit, size_t inLowByte)
{
    for (size_t index = 0; index < kUnit; ++index)
    {
        if (index != inLowByte && inUnit[index] != 0)
            return -1;
    }
    return inUnit[inLowByte];
}

// Line feeds become carriage returns and CR LF one carriage return; a trailing piece of a unit is
// copied as it is. Answers the size of the output, which is never larger.
template <size_t kUnit>
size_t ConvertLineEnds(const uint8_t* inBytes, size_t inSize, uint8_t* outBytes, size_t inLowByte)
{
    const size_t units = inSize / kUnit;
    size_t written = 0;
    for (size_t index = 0; index < units; ++index)
    {
        const uint8_t* unit = inBytes + index * kUnit;
        std::memcpy(outBytes + written, unit, kUnit);
        const int low = LowByteOfUnit<kUnit>(unit, inLowByte);
        if (low == 0x0A)
        {
            outBytes[written + inLowByte] = 0x0D;
        }
        else if (low == 0x0D && index + 1 < units && LowByteOfUnit<kUnit>(unit + kUnit, inLowByte) == 0x0A)
        {
            ++index;
        }
        written += kUnit;
    }
    std::memcpy(outBytes + written, inBytes + units * kUnit, inSize - units * kUnit);
    return written + (inSize - units * kUnit);
}

// The same for single bytes, by runs: the bytes between two line ends are copied at once.
size_t ConvertByteLineEnds(const uint8_t* inBytes, size_t inSize, uint8_t* outBytes)
{
    const uint8_t* end = inBytes + inSize;
    auto find = [end](const uint8_t* inFrom, uint8_t inByte)
    {
        const void* found = std::memchr(inFrom, inByte, size_t(end - inFrom));
        return found != nullptr ? static_cast<const uint8_t*>(found) : end;
    };
    const uint8_t* next = inBytes;
    const uint8_t* nextLF = find(next, 0x0A);
    const uint8_t* nextCR = find(next, 0x0D);
    size_t written = 0;
    for (;;)
    {
        const uint8_t* stop = std::min(nextLF, nextCR);
        std::memcpy(outBytes + written, next, size_t(stop - next));
        written += size_t(stop - next);
        if (stop == end)
            return written;
        outBytes[written++] = 0x0D;
        next = stop + 1;
        if (stop == nextCR && next != end && *next == 0x0A)
            ++next;
        if (nextLF < next)
            nextLF = find(next, 0x0A);
        if (nextCR < next)
            nextCR = find(next, 0x0D);
    }
}

size_t UnitSizeOfEncoding(const VString& inEncoding)
{
    if (inEncoding.EqualToString(VString("UTF-8"), false))
        return 1;
    if (inEncoding.EqualToString(VString("UTF-16"), false))
        return 2;
    for (const char* name : {"UTF-32", "UCS4", "UCS-4", "UCS_4"})
    {
        if (inEncoding.EqualToString(VString(name), false))
            return 4;
    }
    return 0;
}

// ----- Parsing bytes

// Thrown through the library to end a parse that must not go on; the error is already pushed.
struct StopParse
{
};

// The library pools a document's names (of elements and attributes, their parts and namespaces)
// in a table of 257 chains that never grows, searched from end to end for each name it meets: a
// document of many names would take quadratic time. The table is made longer here, in the
// document's own memory, once it holds more than two names a chain.
struct DocumentNames : xercesc::DOMDocumentImpl
{
    // Before the library pools the names of so many nodes (each with its parts and namespace); the
    // count of names pooled since the last count is kept by the caller.
    static void MayPool(xercesc::DOMDocumentImpl& ioDocument, size_t& ioUncounted, size_t inNodes)
    {
        ioUncounted += 4 * inNodes;
        if (ioUncounted <= ioDocument.*(&DocumentNames::fNameTableSize))
            return;
        // Counted after as many names as there are chains: a time in proportion to them.
        ioUncounted = 0;
        Spread(ioDocument);
    }

    static void Spread(xercesc::DOMDocumentImpl& ioDocument)
    {
        xercesc::DOMStringPoolEntry**& table = ioDocument.*(&DocumentNames::fNameTable);
        XMLSize_t& chains = ioDocument.*(&DocumentNames::fNameTableSize);
        size_t names = 0;
        for (XMLSize_t chain = 0; chain < chains; ++chain)
        {
            for (const xercesc::DOMStringPoolEntry* entry = table[chain]; entry != nullptr;
                 entry = entry->fNext)
                ++names;
        }
        if (names <= 2 * chains)
            return;
        // A length drawn under the process's key, so that no document can choose names that meet
        // in one chain of it; names that meet whatever the length are counted where they are read
        // (VXMLNameCollisions).
        const uint32_t draw = _VPackedKeyIndex::HashOf(reinterpret_cast<const char*>(&names), sizeof(names));
        const XMLSize_t spread = 2 * names + 1 + 2 * (draw % (names / 2 + 1));
        auto** grown = static_cast<xercesc::DOMStringPoolEntry**>(
            ioDocument.allocate(spread * sizeof(xercesc::DOMStringPoolEntry*)));
        std::fill(grown, grown + spread, nullptr);
        for (XMLSize_t chain = 0; chain < chains; ++chain)
        {
            for (xercesc::DOMStringPoolEntry* entry = table[chain]; entry != nullptr;)
            {
                xercesc::DOMStringPoolEntry* next = entry->fNext;
                // The library's own place for the name in a table of this length.
                const XMLSize_t place = xercesc::XMLString::hash(entry->fString, spread);
                entry->fNext = grown[place];
                grown[place] = entry;
                entry = next;
            }
        }
        table = grown;
        chains = spread;
    }
};

// The library's DOM parser with the depth and entity-text caps of untrusted input, which its
// settings alone do not give. It also hands each run of character data on in one piece: the
// library's parser appends every further piece of a run (a text broken by "&amp;") to the text
// node through a buffer pool it searches from end to end, which makes a large document take
// quadratic time. An element of many attributes gets a map that finds each of them through an
// index (VXMLParsedAttributeMap), and its attributes come in the order of their names, so that
// each one is added at the end of the map; the library's copies of the attributes that the DTD
// declares for an element, which it searches likewise, are bounded. It holds the parse's
// allocation budget, which thus ends before the library's part of the parser is torn down, in
// whatever way the parse ended.
class GuardedDOMParser : public xercesc::DOMLSParserImpl
{
public:
    explicit GuardedDOMParser(size_t inInputSize)
        : DOMLSParserImpl(nullptr, XMLBudgetedMemoryManager()), fAllocations(inInputSize),
          fBudget(inInputSize), fDefaults(inInputSize)
    {
    }

    StXMLAllocationBudget& GetAllocations() { return fAllocations; }

    xercesc::DOMElement* createElementNS(const XMLCh* inNamespaceURI, const XMLCh* inPrefix,
                                         const XMLCh* inLocalName, const XMLCh* inName) override
    {
        DOMElement* element = DOMLSParserImpl::createElementNS(inNamespaceURI, inPrefix, inLocalName, inName);
        if (fIndexNextElement)
        {
            fIndexNextElement = false;
            if (auto* made = dynamic_cast<xercesc::DOMElementImpl*>(element))
                fIndexing.Start(*made);
        }
        return element;
    }

    xercesc::DOMAttr* createAttrNS(const XMLCh* inNamespaceURI, const XMLCh* inPrefix,
                                   const XMLCh* inLocalName, const XMLCh* inName) override
    {
        MayPoolNames(1);
        return DOMLSParserImpl::createAttrNS(inNamespaceURI, inPrefix, inLocalName, inName);
    }

    void startElement(const xercesc::XMLElementDecl& inDecl, const unsigned int inURIID,
                      const XMLCh* const inPrefix, const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes,
                      const XMLSize_t inCount, const bool inIsEmpty, const bool inIsRoot) override
    {
        FlushText();
        if (fDepth >= kXMLMaxElementDepth)
            Stop(u"elements are nested too deeply");
        if (!fDefaults.AddElement(inDecl, inAttributes, inCount))
            Stop(u"the DTD declares too many attributes for the document's elements");
        fAllocations.AllowDefaults(inAttributes, inCount);
        if (!fBudget.AddAttributes(inAttributes, inCount))
            Stop(u"the document's entities expand to too much text");
        if (!fNames.AddStartTag(inDecl, inAttributes, inCount))
            StopForNames();
        if (!inIsEmpty)
            ++fDepth;
        MayPoolNames(1);
        if (inCount < VXMLParsedAttributeMap::kWorthIndexing)
        {
            DOMLSParserImpl::startElement(inDecl, inURIID, inPrefix, inAttributes, inCount, inIsEmpty,
                                          inIsRoot);
            return;
        }
        std::vector<const xercesc::XMLAttr*> ordered(inCount);
        for (XMLSize_t index = 0; index < inCount; ++index)
            ordered[index] = inAttributes.elementAt(index);
        std::sort(ordered.begin(), ordered.end(),
                  [](const xercesc::XMLAttr* inLeft, const xercesc::XMLAttr* inRight)
                  { return xercesc::XMLString::compareString(inLeft->getQName(), inRight->getQName()) < 0; });
        // Lent, not adopted: the library only reads them.
        xercesc::RefVectorOf<xercesc::XMLAttr> attributes(inCount, false, getMemoryManager());
        for (const xercesc::XMLAttr* attribute : ordered)
            attributes.addElement(const_cast<xercesc::XMLAttr*>(attribute));
        struct StIndexing
        {
            ~StIndexing()
            {
                fParser.fIndexNextElement = false;
                fParser.fIndexing.Stop();
            }
            GuardedDOMParser& fParser;
        } indexing{*this};
        fIndexNextElement = true;
        DOMLSParserImpl::startElement(inDecl, inURIID, inPrefix, attributes, inCount, inIsEmpty, inIsRoot);
    }

    void endAttList(const xercesc::DTDElementDecl& inDecl) override
    {
        // The library makes the element's defaults anew at each of its attribute lists, searching
        // each one among those made before it.
        const size_t declared = inDecl.getAttDefList().getAttDefCount();
        if (declared > kXMLMaxDeclaredAttributeWork / std::max<size_t>(declared, 1) ||
            declared * declared > kXMLMaxDeclaredAttributeWork - fDeclaredAttributeWork)
            Stop(u"the DTD declares too many attributes for one element");
        fDeclaredAttributeWork += declared * declared;
        MayPoolNames(declared);
        DOMLSParserImpl::endAttList(inDecl);
    }

    void endElement(const xercesc::XMLElementDecl& inDecl, const unsigned int inURIID, const bool inIsRoot,
                    const XMLCh* const inPrefix) override
    {
        FlushText();
        if (fDepth > 0)
            --fDepth;
        DOMLSParserImpl::endElement(inDecl, inURIID, inIsRoot, inPrefix);
    }

    void docCharacters(const XMLCh* const inChars, const XMLSize_t inLength, const bool inCDATA) override
    {
        if (!fBudget.AddText(inLength))
            Stop(u"the document's entities expand to too much text");
        if (!fText.empty() && fTextIsCDATA != inCDATA)
            FlushText();
        fTextIsCDATA = inCDATA;
        fText.append(inChars, inLength);
    }

    void docComment(const XMLCh* const inComment) override
    {
        FlushText();
        DOMLSParserImpl::docComment(inComment);
    }

    void docPI(const XMLCh* const inTarget, const XMLCh* const inData) override
    {
        FlushText();
        DOMLSParserImpl::docPI(inTarget, inData);
    }

    void ignorableWhitespace(const XMLCh* const inChars, const XMLSize_t inLength,
                             const bool inCDATA) override
    {
        FlushText();
        DOMLSParserImpl::ignorableWhitespace(inChars, inLength, inCDATA);
    }

    void startEntityReference(const xercesc::XMLEntityDecl& inDecl) override
    {
        FlushText();
        fBudget.EnterEntity();
        DOMLSParserImpl::startEntityReference(inDecl);
    }

    void endEntityReference(const xercesc::XMLEntityDecl& inDecl) override
    {
        FlushText();
        fBudget.LeaveEntity();
        DOMLSParserImpl::endEntityReference(inDecl);
    }

    void entityDecl(const xercesc::DTDEntityDecl& inDecl, const bool inIsParameter,
                    const bool inIsIgnored) override
    {
        MayPoolNames(1);
        DOMLSParserImpl::entityDecl(inDecl, inIsParameter, inIsIgnored);
        AddName(inDecl.getName());
        if (!inIsIgnored)
            fBudget.Declared(*getScanner(), inDecl);
    }

    void attDef(const xercesc::DTDElementDecl& inElement, const xercesc::DTDAttDef& inDef,
                const bool inIgnoring) override
    {
        DOMLSParserImpl::attDef(inElement, inDef, inIgnoring);
        AddName(inDef.getFullName());
        if (!inIgnoring)
            fBudget.DeclaredAttribute(inDef);
    }

    void elementDecl(const xercesc::DTDElementDecl& inDecl, const bool inIsIgnored) override
    {
        DOMLSParserImpl::elementDecl(inDecl, inIsIgnored);
        AddName(inDecl.getFullName());
    }

    void startIntSubset() override
    {
        fAllocations.EnterDTD();
        DOMLSParserImpl::startIntSubset();
    }
    void endIntSubset() override
    {
        DOMLSParserImpl::endIntSubset();
        fAllocations.LeaveDTD();
    }
    void startExtSubset() override
    {
        fAllocations.EnterDTD();
        DOMLSParserImpl::startExtSubset();
    }
    void endExtSubset() override
    {
        DOMLSParserImpl::endExtSubset();
        fAllocations.LeaveDTD();
    }

    void notationDecl(const xercesc::XMLNotationDecl& inDecl, const bool inIsIgnored) override
    {
        MayPoolNames(1);
        DOMLSParserImpl::notationDecl(inDecl, inIsIgnored);
        AddName(inDecl.getName());
    }

    void endDocument() override
    {
        FlushText();
        DOMLSParserImpl::endDocument();
    }

    // Our own fatal error, at the library's current position.
    void PushFatalError(const XMLCh* inMessage)
    {
        PushXMLFatalErrorAt(getScanner()->getLocator(), inMessage);
    }

private:
    void MayPoolNames(size_t inNodes)
    {
        if (fDocument != nullptr)
            DocumentNames::MayPool(*fDocument, fNamesUncounted, inNodes);
    }

    void FlushText()
    {
        if (fText.empty())
            return;
        DOMLSParserImpl::docCharacters(fText.data(), fText.size(), fTextIsCDATA);
        fText.clear();
    }

    [[noreturn]] void Stop(const XMLCh* inMessage)
    {
        PushFatalError(inMessage);
        throw StopParse();
    }

    [[noreturn]] void StopForNames() { Stop(u"too many of the document's names share one hash"); }

    void AddName(const XMLCh* inName)
    {
        if (!fNames.Add(inName))
            StopForNames();
    }

    StXMLAllocationBudget fAllocations;
    uint32_t fDepth = 0;
    VXMLEntityBudget fBudget;
    VXMLDefaultsBudget fDefaults;
    VXMLNameCollisions fNames;
    size_t fDeclaredAttributeWork = 0;
    // Names the library may have pooled since their count.
    size_t fNamesUncounted = 0;
    // Set for the element the start tag being read makes; its maps indexed while they are filled.
    bool fIndexNextElement = false;
    VXMLAttributeIndexing fIndexing;
    // The run of character data not yet handed on.
    std::u16string fText;
    bool fTextIsCDATA = false;
};

// Pushes the document's errors as xmlc errors (3 fatal, 2 others) and stops at the first.
class PushingErrorHandler : public xercesc::DOMErrorHandler
{
public:
    bool handleError(const xercesc::DOMError& inError) override
    {
        if (inError.getSeverity() == xercesc::DOMError::DOM_SEVERITY_WARNING)
            return true;
        fFailed = true;
        const xercesc::DOMLocator* where = inError.getLocation();
        PushXMLError(
            inError.getSeverity() == xercesc::DOMError::DOM_SEVERITY_FATAL_ERROR ? VE_XML_ParseFatalError
                                                                                 : VE_XML_ParseError,
            inError.getMessage(), where != nullptr ? where->getURI() : nullptr, nullptr,
            where != nullptr ? where->getLineNumber() : 0, where != nullptr ? where->getColumnNumber() : 0);
        return false;
    }

    bool fFailed = false;
};

xercesc::DOMImplementationLS* LSImplementation()
{
    static const XMLCh kLS[] = {u'L', u'S', 0};
    return xercesc::DOMImplementationRegistry::getDOMImplementation(kLS);
}

// The node serialized into the target as the document's encoding (UTF-8 without one); that
// encoding in outEncoding.
bool SerializeToTarget(DOMNode* inNode, bool inPrettyPrint, xercesc::MemBufFormatTarget& ioTarget,
                       VString& outEncoding)
{
    DOMDocument* document = DocumentOf(HandleOf(inNode));
    xercesc::DOMImplementationLS* implementation = LSImplementation();
    if (document == nullptr || implementation == nullptr)
        return false;
    struct Releaser
    {
        void operator()(xercesc::DOMLSSerializer* inSerializer) const { inSerializer->release(); }
        void operator()(xercesc::DOMLSOutput* inOutput) const { inOutput->release(); }
    };
    std::unique_ptr<xercesc::DOMLSSerializer, Releaser> serializer(implementation->createLSSerializer());
    xercesc::DOMConfiguration* config = serializer->getDomConfig();
    config->setParameter(xercesc::XMLUni::fgDOMWRTFormatPrettyPrint, inPrettyPrint);
    config->setParameter(xercesc::XMLUni::fgDOMWRTBOM, false);
    serializer->setNewLine(u"\n");

    const XMLCh* encoding = document->getXmlEncoding();
    if (encoding == nullptr || *encoding == 0)
        encoding = u"UTF-8";
    outEncoding = TextOf(encoding);
    std::unique_ptr<xercesc::DOMLSOutput, Releaser> output(implementation->createLSOutput());
    output->setEncoding(encoding);
    output->setByteStream(&ioTarget);
    if (!serializer->write(inNode, output.get()))
    {
        PushLibraryError(u"the document could not be serialized");
        return false;
    }
    return true;
}

// ----- Copies

// A document that copies another. The library's own copy of a document loses the new one when a
// node cannot be copied (a name its parser took, that its copy refuses); here the caller releases
// it. The children are copied by the library's means of copying a document's own (its type
// declaration and entities included). While it copies, as when the parser reads, each element's
// attributes are found through an index and the pool of names grows (the library copies an
// element's attributes before its children).
class CopiedDocument : public xercesc::DOMDocumentImpl
{
public:
    using DOMDocumentImpl::DOMDocumentImpl;

    void CopyFrom(const xercesc::DOMDocumentImpl& inSource)
    {
        if (const XMLCh* encoding = inSource.getXmlEncoding(); encoding != nullptr && *encoding != 0)
            setXmlEncoding(encoding);
        if (const XMLCh* version = inSource.getXmlVersion(); version != nullptr && *version != 0)
            setXmlVersion(version);
        setXmlStandalone(inSource.getXmlStandalone());
        setDocumentURI(inSource.getDocumentURI());
        VXMLAttributeIndexing indexing;
        struct StCopying
        {
            ~StCopying()
            {
                fDocument.fIndexing = nullptr;
                fDocument.fLast = nullptr;
            }
            CopiedDocument& fDocument;
        } copying{*this};
        fIndexing = &indexing;
        for (DOMNode* child = inSource.getFirstChild(); child != nullptr; child = child->getNextSibling())
            appendChild(importNode(child, true, true));
    }

    DOMElement* createElementNS(const XMLCh* inNamespaceURI, const XMLCh* inName) override
    {
        return Indexed(DOMDocumentImpl::createElementNS(inNamespaceURI, inName));
    }

    DOMElement* createElementNS(const XMLCh* inNamespaceURI, const XMLCh* inName, const XMLFileLoc inLine,
                                const XMLFileLoc inColumn) override
    {
        return Indexed(DOMDocumentImpl::createElementNS(inNamespaceURI, inName, inLine, inColumn));
    }

    // The attributes that come are the last element's: once they are many, its map takes an index.
    xercesc::DOMAttr* createAttributeNS(const XMLCh* inNamespaceURI, const XMLCh* inName) override
    {
        if (fIndexing != nullptr)
        {
            DocumentNames::MayPool(*this, fNamesUncounted, 1);
            if (++fAttributesOfLast == VXMLParsedAttributeMap::kWorthIndexing && fLast != nullptr)
                fIndexing->Start(*fLast);
        }
        return DOMDocumentImpl::createAttributeNS(inNamespaceURI, inName);
    }

private:
    DOMElement* Indexed(DOMElement* inElement)
    {
        if (fIndexing == nullptr)
            return inElement;
        DocumentNames::MayPool(*this, fNamesUncounted, 1);
        fIndexing->Stop();
        fLast = dynamic_cast<xercesc::DOMElementImpl*>(inElement);
        fAttributesOfLast = 0;
        return inElement;
    }

    VXMLAttributeIndexing* fIndexing = nullptr;
    xercesc::DOMElementImpl* fLast = nullptr;
    size_t fAttributesOfLast = 0;
    size_t fNamesUncounted = 0;
};

// ----- Walking with handlers

// One open level of the walk: the handler of its nodes, the next child to visit, and the element
// whose end is told when the level closes (none for the starting node's children).
struct WalkLevel
{
    VRefPtr<IXMLHandler> fHandler;
    DOMNode* fNext;
    DOMElement* fElement;
};

// Starts an element on the handler: its attributes to the child handler, and a level for its
// children. False when the handler refused the element.
bool OpenElement(DOMElement* inElement, IXMLHandler* inHandler, std::vector<WalkLevel>& ioLevels)
{
    VRefPtr<IXMLHandler> child(inHandler->StartElement(TextOf(inElement->getNodeName())));
    if (!child)
        return false;
    xercesc::DOMNamedNodeMap* attributes = inElement->getAttributes();
    const XMLSize_t count = attributes != nullptr ? attributes->getLength() : 0;
    for (XMLSize_t index = 0; index < count; ++index)
    {
        DOMNode* attribute = attributes->item(index);
        child->SetAttribute(TextOf(attribute->getNodeName()), TextOf(attribute->getNodeValue()));
    }
    ioLevels.push_back(WalkLevel{std::move(child), inElement->getFirstChild(), inElement});
    return true;
}

// Iterative, so that a deep document does not run a task's small stack out.
bool Walk(DOMNode* inNode, IXMLHandler* inHandler)
{
    std::vector<WalkLevel> levels;
    bool succeeded = true;
    if (inNode->getNodeType() == DOMNode::ELEMENT_NODE)
        succeeded = OpenElement(static_cast<DOMElement*>(inNode), inHandler, levels);
    else
        levels.push_back(
            WalkLevel{VRefPtr<IXMLHandler>::Retained(inHandler), inNode->getFirstChild(), nullptr});
    while (!levels.empty())
    {
        WalkLevel& level = levels.back();
        DOMNode* node = level.fNext;
        if (node == nullptr)
        {
            if (level.fElement != nullptr)
                level.fHandler->EndElement(TextOf(level.fElement->getNodeName()));
            levels.pop_back();
            continue;
        }
        level.fNext = node->getNextSibling();
        IXMLHandler* handler = level.fHandler.Get();
        switch (node->getNodeType())
        {
        case DOMNode::ELEMENT_NODE:
            // An element refused anywhere fails the walk, which goes on with the others.
            if (!OpenElement(static_cast<DOMElement*>(node), handler, levels))
                succeeded = false;
            break;
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
            handler->SetText(TextOf(node->getNodeValue()));
            break;
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
        {
            auto* instruction = static_cast<xercesc::DOMProcessingInstruction*>(node);
            if (instruction->getTarget() != nullptr && instruction->getData() != nullptr)
                handler->processingInstruction(TextOf(instruction->getTarget()),
                                               TextOf(instruction->getData()));
            break;
        }
        default:
            break;
        }
    }
    return succeeded;
}

// ----- Bags into elements

// One open level of the write: the bag, its element, and the next list and bag of the list.
struct WriteLevel
{
    const VValueBag* fBag;
    DOMElement* fElement;
    int32_t fList;
    int32_t fIndex;
};

bool WriteAttributes(const VValueBag& inBag, VXMLDOMElement_opaque* inElement)
{
    VString name;
    VString text;
    const int32_t count = inBag.GetAttributesCount();
    for (int32_t index = 1; index <= count; ++index)
    {
        const VValueSingle* value = inBag.GetNthAttribute(index, &name);
        if (value == nullptr)
            continue;
        if (value->GetValueKind() == VK_STRING)
        {
            value->GetString(text);
        }
        else
        {
            // The DOM escapes on output: the text must not come escaped already.
            value->GetXMLString(text, 1);
            text.TranscodeFromXML();
        }
        // The DOM refuses the name of the bag's character data, "<>": it is not written.
        IXMLDomWrapper::SetNodeElementAttribute(inElement, name, text, false, nullptr);
    }
    return true;
}

// Iterative, as the walk.
bool WriteBag(const VValueBag& inBag, DOMElement* inElement, std::vector<VXMLDOMNode_opaque*>* ioCreated)
{
    DOMDocument* document = inElement->getOwnerDocument();
    if (document == nullptr)
        return false;
    WriteAttributes(inBag, HandleOf(inElement));
    std::vector<WriteLevel> levels{WriteLevel{&inBag, inElement, 1, 1}};
    VString listName;
    while (!levels.empty())
    {
        WriteLevel& level = levels.back();
        if (level.fList > level.fBag->GetElementNamesCount())
        {
            levels.pop_back();
            continue;
        }
        VBagArray* list = level.fBag->GetNthElementName(level.fList, &listName);
        if (list == nullptr || level.fIndex > list->GetCount())
        {
            ++level.fList;
            level.fIndex = 1;
            continue;
        }
        const VValueBag* sub = list->GetNth(level.fIndex++);
        if (sub == nullptr)
            continue;
        if (HoldsZero(listName))
            return false;
        VXMLDOMElement_opaque* child = IXMLDomWrapper::CreateElement(
            HandleOf(document), HandleOf(level.fElement), listName.GetCPointer());
        if (child == nullptr)
            return false;
        level.fElement->appendChild(ElementOf(child));
        if (ioCreated != nullptr)
            ioCreated->push_back(child);
        WriteAttributes(*sub, child);
        levels.push_back(WriteLevel{sub, ElementOf(child), 1, 1});
    }
    return true;
}

} // namespace

// ----- Reading and walking

size_t IXMLDomWrapper::GetNumberOfChildrenNodes(VXMLDOMNode_opaque* inNode)
{
    return Quietly(size_t(0),
                   [&]
                   {
                       DOMNode* node = NodeOf(inNode);
                       return node != nullptr ? size_t(node->getChildNodes()->getLength()) : size_t(0);
                   });
}

VXMLDOMNode_opaque* IXMLDomWrapper::GetChildNode(VXMLDOMNode_opaque* inNode, size_t inIndex)
{
    return Quietly(static_cast<VXMLDOMNode_opaque*>(nullptr),
                   [&]
                   {
                       DOMNode* node = NodeOf(inNode);
                       return node != nullptr ? HandleOf(node->getChildNodes()->item(inIndex)) : nullptr;
                   });
}

VXMLDOMElement_opaque* IXMLDomWrapper::GetNodeElement(VXMLDOMNode_opaque* inNode)
{
    DOMElement* element = ElementOf(inNode);
    return element != nullptr ? HandleOf(element) : nullptr;
}

VXMLDOMNode_opaque* IXMLDomWrapper::GetNodeFromNodeElement(VXMLDOMElement_opaque* inElement)
{
    return inElement;
}

void IXMLDomWrapper::GetNodeElementName(VXMLDOMElement_opaque* inElement, VString& outName)
{
    DOMElement* element = ElementOf(inElement);
    outName = element != nullptr ? TextOf(element->getNodeName()) : VString();
}

VXMLDOMDocument_opaque* IXMLDomWrapper::GetNodeDocument(VXMLDOMNode_opaque* inNode)
{
    return Quietly(static_cast<VXMLDOMDocument_opaque*>(nullptr),
                   [&]
                   {
                       DOMDocument* document = DocumentOf(inNode);
                       return document != nullptr ? HandleOf(document) : nullptr;
                   });
}

VXMLDOMElement_opaque* IXMLDomWrapper::GetRootNodeElement(VXMLDOMNode_opaque* inNode)
{
    return Quietly(static_cast<VXMLDOMElement_opaque*>(nullptr),
                   [&]() -> VXMLDOMElement_opaque*
                   {
                       DOMDocument* document = DocumentOf(inNode);
                       DOMElement* root = document != nullptr ? document->getDocumentElement() : nullptr;
                       return root != nullptr ? HandleOf(root) : nullptr;
                   });
}

VXMLDOMElement_opaque* IXMLDomWrapper::FindNodeElementByID(VXMLDOMNode_opaque* inNode, const VString& inID)
{
    if (HoldsZero(inID))
        return nullptr;
    return Quietly(static_cast<VXMLDOMElement_opaque*>(nullptr),
                   [&]() -> VXMLDOMElement_opaque*
                   {
                       DOMDocument* document = DocumentOf(inNode);
                       DOMElement* found =
                           document != nullptr ? document->getElementById(UnitsOf(inID)) : nullptr;
                       return found != nullptr ? HandleOf(found) : nullptr;
                   });
}

bool IXMLDomWrapper::GetDocumentURL(VXMLDOMNode_opaque* inNode, VURL& outURL)
{
    return Quietly(false,
                   [&]
                   {
                       DOMDocument* document = DocumentOf(inNode);
                       const XMLCh* uri = document != nullptr ? document->getDocumentURI() : nullptr;
                       if (uri == nullptr || *uri == 0)
                           return false;
                       const VString text = TextOf(uri);
                       outURL.FromString(text, !text.BeginsWith(VString("file://")));
                       return outURL.IsValid();
                   });
}

void IXMLDomWrapper::GetNodeElementValueString(VXMLDOMElement_opaque* inElement, VString& outValue)
{
    outValue = FirstText(inElement);
}

void IXMLDomWrapper::GetNodeElementCDATA(VXMLDOMElement_opaque* inElement, VString& outValue)
{
    outValue = Quietly(VString(), [&]
                       { return TextOf(FirstChildText(ElementOf(inElement), DOMNode::CDATA_SECTION_NODE)); });
}

bool IXMLDomWrapper::GetNodeElementValueBoolean(VXMLDOMElement_opaque* inElement)
{
    VBoolean value;
    value.FromXMLString(FirstText(inElement));
    return value.GetBoolean() != 0;
}

int32_t IXMLDomWrapper::GetNodeElementValueLong(VXMLDOMElement_opaque* inElement)
{
    VLong value;
    value.FromString(FirstText(inElement));
    return value.GetLong();
}

double IXMLDomWrapper::GetNodeElementValueReal(VXMLDOMElement_opaque* inElement)
{
    VReal value;
    value.FromString(FirstText(inElement));
    return value.GetReal();
}

void IXMLDomWrapper::GetNodeElementValueTime(VXMLDOMElement_opaque* inElement, VTime& outValue)
{
    outValue.FromXMLString(FirstText(inElement));
}

void IXMLDomWrapper::GetNodeElementValueDuration(VXMLDOMElement_opaque* inElement, VDuration& outValue)
{
    outValue.FromXMLString(FirstText(inElement));
}

bool IXMLDomWrapper::GetNodeElementAttribute(VXMLDOMElement_opaque* inElement, const VString& inName,
                                             VString& outValue)
{
    DOMElement* element = ElementOf(inElement);
    if (element == nullptr || HoldsZero(inName))
        return false;
    return Quietly(false,
                   [&]
                   {
                       const SplitName name(inName);
                       xercesc::DOMAttr* attribute = nullptr;
                       if (name.fPrefixed)
                       {
                           if (const XMLCh* uri = NamespaceOfPrefix(element, UnitsOf(name.fPrefix)))
                               attribute = element->getAttributeNodeNS(uri, UnitsOf(name.fLocal));
                       }
                       if (attribute == nullptr)
                           attribute = element->getAttributeNode(UnitsOf(inName));
                       if (attribute == nullptr)
                           return false;
                       outValue = TextOf(attribute->getValue());
                       return true;
                   });
}

// ----- Building

VXMLDOMElement_opaque* IXMLDomWrapper::CreateElement(VXMLDOMDocument_opaque* inDocument,
                                                     VXMLDOMElement_opaque* inParent,
                                                     const UniChar* inQualifiedName)
{
    DOMNode* documentNode = NodeOf(inDocument);
    if (documentNode == nullptr || documentNode->getNodeType() != DOMNode::DOCUMENT_NODE ||
        inQualifiedName == nullptr)
    {
        return nullptr;
    }
    auto* document = static_cast<DOMDocument*>(documentNode);
    return Reporting(static_cast<VXMLDOMElement_opaque*>(nullptr),
                     [&]
                     {
                         const VString name(inQualifiedName);
                         const int32_t colon = name.FindUniChar(u':');
                         VString prefix;
                         if (colon > 0)
                             name.GetSubString(1, colon - 1, prefix);
                         if (DOMElement* parent = ElementOf(inParent))
                         {
                             const XMLCh* uri =
                                 parent->lookupNamespaceURI(prefix.IsEmpty() ? nullptr : UnitsOf(prefix));
                             if (uri != nullptr)
                             {
                                 DOMElement* element = document->createElementNS(uri, UnitsOf(name));
                                 if (!prefix.IsEmpty())
                                     element->setPrefix(UnitsOf(prefix));
                                 return HandleOf(element);
                             }
                         }
                         return HandleOf(document->createElement(UnitsOf(name)));
                     });
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName)
{
    DOMElement* parent = ElementOf(inParent);
    if (parent == nullptr || HoldsZero(inName))
        return nullptr;
    VXMLDOMElement_opaque* element =
        CreateElement(HandleOf(parent->getOwnerDocument()), inParent, inName.GetCPointer());
    if (element == nullptr)
        return nullptr;
    return Reporting(static_cast<VXMLDOMElement_opaque*>(nullptr),
                     [&]
                     {
                         parent->appendChild(ElementOf(element));
                         return element;
                     });
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      const VString& inValue)
{
    return AddElementWithText(inParent, inName, inValue);
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      const VDuration& inValue, uint32_t inOptions)
{
    return AddElementWithText(inParent, inName, XMLTextOf(inValue, inOptions));
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      const VTime& inValue, uint32_t inOptions)
{
    return AddElementWithText(inParent, inName, XMLTextOf(inValue, inOptions));
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      double inValue)
{
    return AddElementWithText(inParent, inName, XMLTextOf(VReal(inValue), 1));
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      bool inValue)
{
    return AddElementWithText(inParent, inName, XMLTextOf(VBoolean(inValue), 1));
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      int32_t inValue)
{
    return AddElementWithText(inParent, inName, LongText(inValue));
}

VXMLDOMElement_opaque* IXMLDomWrapper::AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                      const VValueSingle* inValue)
{
    if (inValue == nullptr)
        return nullptr;
    switch (inValue->GetValueKind())
    {
    case VK_BOOLEAN:
        return AddNodeElement(inParent, inName, inValue->GetBoolean() != 0);
    case VK_LONG:
        return AddNodeElement(inParent, inName, inValue->GetLong());
    case VK_REAL:
        return AddNodeElement(inParent, inName, inValue->GetReal());
    case VK_STRING:
    {
        VString text;
        inValue->GetString(text);
        return AddNodeElement(inParent, inName, text);
    }
    case VK_TIME:
    case VK_DURATION:
        return AddElementWithText(inParent, inName, XMLTextOf(*inValue, 1));
    default:
        return nullptr;
    }
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VString& inValue)
{
    SetElementText(inElement, inValue);
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, bool inValue)
{
    SetElementText(inElement, XMLTextOf(VBoolean(inValue), 1));
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, int32_t inValue)
{
    SetElementText(inElement, LongText(inValue));
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, double inValue)
{
    SetElementText(inElement, XMLTextOf(VReal(inValue), 1));
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VTime& inValue,
                                         uint32_t inOptions)
{
    SetElementText(inElement, XMLTextOf(inValue, inOptions));
}

void IXMLDomWrapper::SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VDuration& inValue,
                                         uint32_t inOptions)
{
    SetElementText(inElement, XMLTextOf(inValue, inOptions));
}

bool IXMLDomWrapper::SetNodeElementAttribute(VXMLDOMElement_opaque* inElement, const VString& inName,
                                             const VString& inValue, bool inRemoveWhenEmpty, bool* outIsID)
{
    if (outIsID != nullptr)
        *outIsID = false;
    DOMElement* element = ElementOf(inElement);
    if (element == nullptr || HoldsZero(inName) || HoldsZero(inValue))
        return false;
    return Quietly(false,
                   [&]
                   {
                       const bool remove = inValue.IsEmpty() && inRemoveWhenEmpty;
                       const SplitName name(inName);
                       const XMLCh* uri =
                           name.fPrefixed ? NamespaceOfPrefix(element, UnitsOf(name.fPrefix)) : nullptr;
                       if (uri != nullptr)
                       {
                           if (remove)
                               element->removeAttributeNS(uri, UnitsOf(name.fLocal));
                           else
                               element->setAttributeNS(uri, UnitsOf(inName), UnitsOf(inValue));
                           if (!remove && IsIDName(UnitsOf(name.fLocal)))
                           {
                               element->setIdAttributeNS(uri, UnitsOf(name.fLocal), true);
                               if (outIsID != nullptr)
                                   *outIsID = true;
                           }
                           return true;
                       }
                       if (remove)
                           element->removeAttribute(UnitsOf(inName));
                       else
                           element->setAttribute(UnitsOf(inName), UnitsOf(inValue));
                       if (IsIDName(UnitsOf(inName)))
                       {
                           if (!remove)
                               element->setIdAttribute(UnitsOf(inName), true);
                           if (outIsID != nullptr)
                               *outIsID = true;
                       }
                       return true;
                   });
}

void IXMLDomWrapper::RegisterNodeIDs(VXMLDOMNode_opaque* inNode)
{
    Quietly(0,
            [&]
            {
                DOMDocument* document = DocumentOf(inNode);
                if (document == nullptr)
                    return 0;
                // Document order without recursion: down to the first child, else to the next
                // sibling of the nearest level that has one.
                DOMNode* node = document->getFirstChild();
                while (node != nullptr)
                {
                    if (node->getNodeType() == DOMNode::ELEMENT_NODE)
                    {
                        auto* element = static_cast<DOMElement*>(node);
                        xercesc::DOMNamedNodeMap* attributes = element->getAttributes();
                        for (XMLSize_t index = 0; attributes != nullptr && index < attributes->getLength();
                             ++index)
                        {
                            auto* attribute = static_cast<xercesc::DOMAttr*>(attributes->item(index));
                            const SplitName name(TextOf(attribute->getName()));
                            if (name.fPrefixed)
                            {
                                if (IsIDName(UnitsOf(name.fLocal)) &&
                                    NamespaceOfPrefix(element, UnitsOf(name.fPrefix)) != nullptr)
                                    element->setIdAttributeNode(attribute, true);
                            }
                            else if (IsIDName(attribute->getName()))
                            {
                                element->setIdAttributeNode(attribute, true);
                            }
                        }
                    }
                    DOMNode* next = node->getFirstChild();
                    while (next == nullptr && node != nullptr)
                    {
                        next = node->getNextSibling();
                        if (next == nullptr)
                        {
                            node = node->getParentNode();
                            if (node == document)
                                node = nullptr;
                        }
                    }
                    node = next;
                }
                return 0;
            });
}

VXMLDOMDocument_opaque* IXMLDomWrapper::CloneNodeDocument(VXMLDOMNode_opaque* inNode)
{
    return Quietly(static_cast<VXMLDOMDocument_opaque*>(nullptr),
                   [&]() -> VXMLDOMDocument_opaque*
                   {
                       auto* document = dynamic_cast<xercesc::DOMDocumentImpl*>(DocumentOf(inNode));
                       if (document == nullptr)
                           return nullptr;
                       xercesc::MemoryManager* manager = document->getMemoryManager();
                       auto* copy = new (manager) CopiedDocument(document->getImplementation(), manager);
                       try
                       {
                           copy->CopyFrom(*document);
                       }
                       catch (...)
                       {
                           copy->release();
                           throw;
                       }
                       return HandleOf(static_cast<DOMDocument*>(copy));
                   });
}

void IXMLDomWrapper::ReleaseNode(VXMLDOMNode_opaque* inNode)
{
    Quietly(0,
            [&]
            {
                if (DOMNode* node = NodeOf(inNode))
                    node->release();
                return 0;
            });
}

// ----- Parsing and handlers

VXMLDOMDocument_opaque* IXMLDomWrapper::CreateNodeDocumentFromBuffer(const void* inBytes, size_t inSize,
                                                                     const VString* inSystemID)
{
    if (inSystemID != nullptr && HoldsZero(*inSystemID))
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return nullptr;
    }
    static const XMLByte sNothing = 0;
    const XMLByte* bytes = inBytes != nullptr ? static_cast<const XMLByte*>(inBytes) : &sNothing;
    const size_t size = inBytes != nullptr ? inSize : 0;
    // Some refusals of the library come as exceptions (a broken declaration): said as well.
    return Reporting(static_cast<VXMLDOMDocument_opaque*>(nullptr),
                     [&]() -> VXMLDOMDocument_opaque*
                     {
                         xercesc::SecurityManager security;
                         PushingErrorHandler errors;
                         GuardedDOMParser parser(size);
                         xercesc::DOMConfiguration* config = parser.getDomConfig();
                         ApplyUntrustedInputSettings(*config, security, size);
                         config->setParameter(xercesc::XMLUni::fgDOMEntities, true);
                         config->setParameter(xercesc::XMLUni::fgDOMNamespaces, true);
                         config->setParameter(xercesc::XMLUni::fgXercesValidationErrorAsFatal, true);
                         config->setParameter(xercesc::XMLUni::fgXercesContinueAfterFatalError, false);
                         config->setParameter(xercesc::XMLUni::fgDOMValidate, false);
                         config->setParameter(xercesc::XMLUni::fgXercesLoadExternalDTD, false);
                         config->setParameter(xercesc::XMLUni::fgXercesUserAdoptsDOMDocument, true);
                         config->setParameter(xercesc::XMLUni::fgDOMErrorHandler,
                                              static_cast<xercesc::DOMErrorHandler*>(&errors));

                         auto* source = new xercesc::MemBufInputSource(bytes, size, "Blob", false);
                         if (inSystemID != nullptr)
                             source->setSystemId(UnitsOf(*inSystemID));
                         xercesc::Wrapper4InputSource input(source, true);
                         DOMDocument* document = nullptr;
                         try
                         {
                             document = parser.parse(&input);
                         }
                         catch (const StopParse&)
                         {
                             return nullptr;
                         }
                         catch (const xercesc::OutOfMemoryException&)
                         {
                             if (!parser.GetAllocations().IsExceeded())
                                 throw;
                             parser.PushFatalError(parser.GetAllocations().GetExceededMessage());
                             return nullptr;
                         }
                         parser.GetAllocations().End();
                         if (document != nullptr && errors.fFailed)
                         {
                             document->release();
                             document = nullptr;
                         }
                         if (document == nullptr && !errors.fFailed)
                             PushLibraryError(u"the document could not be read");
                         return document != nullptr ? HandleOf(document) : nullptr;
                     });
}

bool IXMLDomWrapper::Parse(VXMLDOMNode_opaque* inNode, IXMLHandler* inHandler)
{
    DOMNode* node = NodeOf(inNode);
    if (node == nullptr || inHandler == nullptr)
        return false;
    return Reporting(false, [&] { return Walk(node, inHandler); });
}

// ----- Serializing

bool IXMLDomWrapper::SerializeToBlob(VXMLDOMNode_opaque* inNode, VBlob* ioBlob, int64_t inOffset,
                                     size_t& outWritten, bool inPrettyPrint)
{
    outWritten = 0;
    DOMNode* node = NodeOf(inNode);
    if (node == nullptr || ioBlob == nullptr)
        return false;
    return Reporting(false,
                     [&]
                     {
                         xercesc::MemBufFormatTarget target(1023);
                         VString encoding;
                         if (!SerializeToTarget(node, inPrettyPrint, target, encoding))
                             return false;
                         return CopyMemBufFormatTargetToBlob(
                             ioBlob, inOffset, outWritten,
                             reinterpret_cast<VXMLMemBufFormatTarget_opaque*>(&target), encoding, true);
                     });
}

bool IXMLDomWrapper::SerializeToFile(VXMLDOMNode_opaque* inNode, VFileStream& ioStream, size_t& outWritten,
                                     bool inPrettyPrint)
{
    VBlobWithPtr blob;
    if (!SerializeToBlob(inNode, &blob, 0, outWritten, inPrettyPrint))
        return false;
    if (ioStream.PutData(blob.GetDataPtr(), blob.GetSize()) != VE_OK)
    {
        outWritten = 0;
        return false;
    }
    return true;
}

bool IXMLDomWrapper::WriteToFile(VXMLDOMNode_opaque* inNode, const VFile& inFile, bool inPrettyPrint)
{
    VBlobWithPtr blob;
    size_t written = 0;
    if (!SerializeToBlob(inNode, &blob, 0, written, inPrettyPrint))
        return false;
    // Written beside the file and renamed over it: a failure leaves the old file whole.
    return inFile.SetContent(blob.GetDataPtr(), blob.GetSize()) == VE_OK;
}

bool IXMLDomWrapper::CopyMemBufFormatTargetToBlob(VBlob* ioBlob, int64_t inOffset, size_t& outWritten,
                                                  VXMLMemBufFormatTarget_opaque* inTarget,
                                                  const VString& inEncoding, bool inConvertLineEnds)
{
    outWritten = 0;
    if (ioBlob == nullptr || inTarget == nullptr)
        return false;
    return Quietly(false,
                   [&]
                   {
                       auto* target = reinterpret_cast<xercesc::MemBufFormatTarget*>(inTarget);
                       const uint8_t* bytes = target->getRawBuffer();
                       size_t size = target->getLen();
                       std::unique_ptr<uint8_t[]> converted;
                       const size_t unit = inConvertLineEnds ? UnitSizeOfEncoding(inEncoding) : 0;
                       size_t lowByte = 0;
                       if (unit != 0 && size != 0 && (unit == 1 || LineFeedLayout(inEncoding, unit, lowByte)))
                       {
                           converted.reset(new (std::nothrow) uint8_t[size]);
                           if (!converted)
                           {
                               _ThrowError(VE_MEMORY_FULL);
                               return false;
                           }
                           switch (unit)
                           {
                           case 1:
                               size = ConvertByteLineEnds(bytes, size, converted.get());
                               break;
                           case 2:
                               size = ConvertLineEnds<2>(bytes, size, converted.get(), lowByte);
                               break;
                           default:
                               size = ConvertLineEnds<4>(bytes, size, converted.get(), lowByte);
                               break;
                           }
                           bytes = converted.get();
                       }
                       if (const VError error = ioBlob->PutData(bytes, size, inOffset); error != VE_OK)
                       {
                           _ThrowError(error);
                           return false;
                       }
                       outWritten = size;
                       return true;
                   });
}

// ----- Value bags

VError ReadBagFromDomXML(VXMLDOMNode_opaque* inNode, VValueBag& ioBag)
{
    VXMLDOMElement_opaque* element = IXMLDomWrapper::GetNodeElement(inNode);
    if (element == nullptr)
        return VE_XML_ParseError;
    StErrorContextInstaller errors(true, false);
    VString name;
    IXMLDomWrapper::GetNodeElementName(element, name);
    VRefPtr<VXMLBagHandler_UniqueElement> handler(new VXMLBagHandler_UniqueElement(&ioBag, name));
    const bool walked = IXMLDomWrapper::Parse(element, handler.Get());
    if (const VError error = errors.GetLastError(); error != VE_OK)
        return error;
    return walked ? VE_OK : VE_XML_ParseError;
}

bool WriteBagToDomXMLElement(const VValueBag& inBag, VXMLDOMElement_opaque* inElement,
                             std::vector<VXMLDOMNode_opaque*>* ioCreated)
{
    DOMElement* element = ElementOf(inElement);
    if (element == nullptr)
        return false;
    return Reporting(false, [&] { return WriteBag(inBag, element, ioCreated); });
}

VError WriteBagToDomXML(const VValueBag& inBag, VXMLDOMNode_opaque* inNode,
                        std::vector<VXMLDOMNode_opaque*>* ioCreated)
{
    VXMLDOMElement_opaque* element = IXMLDomWrapper::GetNodeElement(inNode);
    if (element == nullptr)
        return VE_INVALID_PARAMETER;
    return WriteBagToDomXMLElement(inBag, element, ioCreated) ? VE_OK : VE_UNKNOWN_ERROR;
}

} // namespace kova
