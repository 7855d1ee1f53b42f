// IXMLHandler receives the events of an XML parse (VXMLParser). The parser keeps a stack of
// handlers: the handler on top gets each new element and answers the handler that takes the
// element's attributes, text and children (itself, a new one, or null to skip the whole
// element). Names reach a handler as written in the document, prefix included ("kx:includeIf").
//
//     IXMLHandler* StartElement(const VString& inName) override
//     {
//         if (inName.EqualToUSASCIICString("item"))
//             return new MyItemHandler(fTarget); // the parser takes this reference
//         return nullptr;                        // skipped, with everything inside
//     }
//
// Handlers are reference-counted and start with a count of 1. A handler also resolves the
// external entities of the document: by default to files of its entity folder (see
// VXMLParser::ResolveEntityFromFolder).
//
// VNullXMLHandler swallows a whole subtree.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VFile;
class VFolder;

// Where the external entities of a document resolve: system ids that begin with the prefix, to
// files of the folder (retained). Held by handlers and parsers alike.
class VXMLEntityFolder
{
public:
    VXMLEntityFolder() = default;
    VXMLEntityFolder(const VXMLEntityFolder&) = delete;
    VXMLEntityFolder& operator=(const VXMLEntityFolder&) = delete;
    ~VXMLEntityFolder();

    void Set(const VString& inPrefix, VFolder* inFolder);
    // VXMLParser::ResolveEntityFromFolder with this prefix and folder.
    VFile* Resolve(const VString& inSystemID) const;

private:
    VString fPrefix;
    VFolder* fFolder = nullptr;
};

class IXMLHandler : public IRefCountable
{
public:
    IXMLHandler() = default;
    IXMLHandler(const IXMLHandler&) = delete;
    IXMLHandler& operator=(const IXMLHandler&) = delete;
    ~IXMLHandler() override;

    // The handler of a new element, with a reference for the caller; null skips the element.
    virtual IXMLHandler* StartElement(const VString& inElementName);
    // Called on the handler StartElement answered, at the element's end.
    virtual void EndElement(const VString& inElementName);
    // Once per attribute, in document order, after StartElement.
    virtual void SetAttribute(const VString& inName, const VString& inValue);
    // Each run of character data; an element's text may come in several runs.
    virtual void SetText(const VString& inText);
    // A file for an external entity, owned by the caller, or null. By default a file of the
    // entity folder (VXMLParser::ResolveEntityFromFolder).
    virtual VFile* ResolveEntity(const VString& inSystemID);
    // By default splits the pseudo-attributes of an "xml-stylesheet" instruction into the three
    // calls below; other instructions are ignored.
    virtual void processingInstruction(const VString& inTarget, const VString& inData);
    virtual void StartStyleSheet();
    virtual void SetStyleSheetAttribute(const VString& inName, const VString& inValue);
    virtual void EndStyleSheet();

    // System ids that begin with the prefix resolve to files in the folder (retained).
    void SetEntitiesLocalFolder(const VString& inPrefix, VFolder* inFolder);

    // U+0020, U+0009, U+000A, U+000C and U+000D.
    static bool WCharIsSpace(UniChar inUnit);
    // Whether XML 1.0 allows the unit.
    static bool IsXMLChar(UniChar inUnit);

protected:
    VXMLEntityFolder fEntityFolder;
};

class VNullXMLHandler : public VObject, public IXMLHandler
{
public:
    // Itself, retained: every nested element comes back here.
    IXMLHandler* StartElement(const VString& inElementName) override;
    void SetAttribute(const VString& inName, const VString& inValue) override;
    void SetText(const VString& inText) override;
};

} // namespace kova
