// IXMLDomWrapper is the toolbox's small view of the XML library's DOM: parse bytes into a
// document, walk and read nodes, build elements with typed values, mark ID attributes, serialize
// a document to a blob, a stream or a file (line ends as bare carriage returns), and run the
// handlers of VXMLParser over a DOM subtree. Beside it, three functions move a value bag into and
// out of a DOM element.
//
//     VXMLDOMDocument_opaque* doc = IXMLDomWrapper::CreateNodeDocumentFromBuffer(bytes, size, nullptr);
//     VXMLDOMElement_opaque* root = IXMLDomWrapper::GetRootNodeElement(doc);
//     IXMLDomWrapper::AddNodeElement(root, VString("count"), int32_t(3));
//     IXMLDomWrapper::SerializeToBlob(doc, &blob, 0, written, false);
//     IXMLDomWrapper::ReleaseNode(doc);
//
// Callers never see the library's types: nodes travel as opaque handles. An element or a document
// handle is also a node handle (the same pointer), so either may be passed where a node is
// asked. Documents made by CreateNodeDocumentFromBuffer or CloneNodeDocument belong to the caller
// and are freed with ReleaseNode. The library must stay up (VXMLParser::Init) while handles live.
//
// No exception of the library leaves these operations. Those meant to answer quietly (the walking
// and ID look-ups, attributes, clone and release, the memory copy) answer their neutral result;
// the others also push xmlc 2 with the library's message. Documents given to
// CreateNodeDocumentFromBuffer are untrusted: nothing outside is fetched, entity expansion, depth
// and entity text are capped as for VXMLParser, and a refused document gives null and an xmlc
// error.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

// Never made: each stands for the library's object of its kind.
struct VXMLDOMNode_opaque
{
};
struct VXMLDOMElement_opaque : VXMLDOMNode_opaque
{
};
struct VXMLDOMDocument_opaque : VXMLDOMNode_opaque
{
};
struct VXMLMemBufFormatTarget_opaque
{
};

class IXMLHandler;
class VBlob;
class VDuration;
class VFile;
class VFileStream;
class VString;
class VTime;
class VURL;
class VValueBag;
class VValueSingle;

class IXMLDomWrapper
{
public:
    IXMLDomWrapper() = delete;

    // ----- Reading and walking
    static size_t GetNumberOfChildrenNodes(VXMLDOMNode_opaque* inNode);
    // Null out of range.
    static VXMLDOMNode_opaque* GetChildNode(VXMLDOMNode_opaque* inNode, size_t inIndex);
    // Null unless the node is an element.
    static VXMLDOMElement_opaque* GetNodeElement(VXMLDOMNode_opaque* inNode);
    static VXMLDOMNode_opaque* GetNodeFromNodeElement(VXMLDOMElement_opaque* inElement);
    static void GetNodeElementName(VXMLDOMElement_opaque* inElement, VString& outName);
    // The node itself when it is a document, else its owner document.
    static VXMLDOMDocument_opaque* GetNodeDocument(VXMLDOMNode_opaque* inNode);
    static VXMLDOMElement_opaque* GetRootNodeElement(VXMLDOMNode_opaque* inNode);
    // The element of the node's document whose ID attribute has the value.
    static VXMLDOMElement_opaque* FindNodeElementByID(VXMLDOMNode_opaque* inNode, const VString& inID);
    // A document URI that begins with "file://" is read as text not yet percent-encoded, any other
    // as already encoded. False without a URI or when it is no URL.
    static bool GetDocumentURL(VXMLDOMNode_opaque* inNode, VURL& outURL);

    // The first child's text when it is a text node (a CDATA section), else cleared.
    static void GetNodeElementValueString(VXMLDOMElement_opaque* inElement, VString& outValue);
    static void GetNodeElementCDATA(VXMLDOMElement_opaque* inElement, VString& outValue);
    // The first child's text converted; false, 0 and 0.0 without such a text.
    static bool GetNodeElementValueBoolean(VXMLDOMElement_opaque* inElement);
    static int32_t GetNodeElementValueLong(VXMLDOMElement_opaque* inElement);
    static double GetNodeElementValueReal(VXMLDOMElement_opaque* inElement);
    // The first child's text (empty without one) given to the value's XML reader.
    static void GetNodeElementValueTime(VXMLDOMElement_opaque* inElement, VTime& outValue);
    static void GetNodeElementValueDuration(VXMLDOMElement_opaque* inElement, VDuration& outValue);
    // A prefixed name is looked up in its namespace by its local part, falling back to the name as
    // written.
    static bool GetNodeElementAttribute(VXMLDOMElement_opaque* inElement, const VString& inName,
                                        VString& outValue);

    // ----- Building
    // Not attached. A prefix with a namespace known at the parent makes an element of that
    // namespace; otherwise a plain one.
    static VXMLDOMElement_opaque* CreateElement(VXMLDOMDocument_opaque* inDocument,
                                                VXMLDOMElement_opaque* inParent,
                                                const UniChar* inQualifiedName);
    // Appended to the parent, with one text node for the value.
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 const VString& inValue);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 const VDuration& inValue, uint32_t inOptions);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 const VTime& inValue, uint32_t inOptions);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 double inValue);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 bool inValue);
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 int32_t inValue);
    // Booleans, longs, reals, strings, times and durations; any other kind adds nothing (null).
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque* inParent, const VString& inName,
                                                 const VValueSingle* inValue);
    // A C string would otherwise be taken as a boolean.
    static VXMLDOMElement_opaque* AddNodeElement(VXMLDOMElement_opaque*, const VString&,
                                                 const char*) = delete;

    // Replaces the first child's text when it is a text node, else every child by one text node.
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VString& inValue);
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, bool inValue);
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, int32_t inValue);
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, double inValue);
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VTime& inValue,
                                    uint32_t inOptions);
    static void SetNodeElementValue(VXMLDOMElement_opaque* inElement, const VDuration& inValue,
                                    uint32_t inOptions);
    static void SetNodeElementValue(VXMLDOMElement_opaque*, const char*) = delete;

    // Sets the attribute, or removes it when the value is empty and inRemoveWhenEmpty. An
    // attribute whose (local) name is "id" becomes the element's ID attribute; *outIsID tells so
    // (also when it was removed). False for a null element or a name the DOM refuses.
    static bool SetNodeElementAttribute(VXMLDOMElement_opaque* inElement, const VString& inName,
                                        const VString& inValue, bool inRemoveWhenEmpty, bool* outIsID);
    // Marks every attribute "id" (or PREFIX:id of a known namespace) of the document as an ID.
    static void RegisterNodeIDs(VXMLDOMNode_opaque* inNode);
    // A deep copy of the node's document, with its URI; the caller's.
    static VXMLDOMDocument_opaque* CloneNodeDocument(VXMLDOMNode_opaque* inNode);
    // Frees the node (a document with all its content).
    static void ReleaseNode(VXMLDOMNode_opaque* inNode);

    // ----- Parsing and handlers
    // A new document owned by the caller; null when the bytes are refused.
    static VXMLDOMDocument_opaque* CreateNodeDocumentFromBuffer(const void* inBytes, size_t inSize,
                                                                const VString* inSystemID);
    // Runs the handlers over the element, or over the children of any other node. False when a
    // handler refused an element (StartElement answered null) anywhere in the walk.
    static bool Parse(VXMLDOMNode_opaque* inNode, IXMLHandler* inHandler);

    // ----- Serializing
    // The node's document form, in the document's own encoding (UTF-8 without one), no byte-order
    // mark, every line end a carriage return, written into the blob from the offset.
    static bool SerializeToBlob(VXMLDOMNode_opaque* inNode, VBlob* ioBlob, int64_t inOffset,
                                size_t& outWritten, bool inPrettyPrint);
    // The same bytes, written at the stream's position.
    static bool SerializeToFile(VXMLDOMNode_opaque* inNode, VFileStream& ioStream, size_t& outWritten,
                                bool inPrettyPrint);
    // Replaces the file whole, or leaves it as it was when any step fails.
    static bool WriteToFile(VXMLDOMNode_opaque* inNode, const VFile& inFile, bool inPrettyPrint);
    // The target's bytes into the blob at the offset, every line end made a carriage return when
    // asked and the encoding is UTF-8, UTF-16 or UTF-32 (UCS-4); other encodings are copied as
    // they are.
    static bool CopyMemBufFormatTargetToBlob(VBlob* ioBlob, int64_t inOffset, size_t& outWritten,
                                             VXMLMemBufFormatTarget_opaque* inTarget,
                                             const VString& inEncoding, bool inConvertLineEnds);
};

// The element's attributes, text and children into the bag (VXMLBagHandler). xmlc 2 when the node
// is no element or a handler refused an element; else the last error the read pushed, or 0.
VError ReadBagFromDomXML(VXMLDOMNode_opaque* inNode, VValueBag& ioBag);
// The bag's attributes as the element's attributes (values in their XML text) and each of its
// sub-bags as a child element named after its list, recorded in ioCreated when given.
bool WriteBagToDomXMLElement(const VValueBag& inBag, VXMLDOMElement_opaque* inElement,
                             std::vector<VXMLDOMNode_opaque*>* ioCreated);
// Returned, not pushed: kova 3 when the node is no element, kova 1 when the write failed.
VError WriteBagToDomXML(const VValueBag& inBag, VXMLDOMNode_opaque* inNode,
                        std::vector<VXMLDOMNode_opaque*>* ioCreated);

} // namespace kova
