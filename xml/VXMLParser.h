// VXMLParser reads an XML document (a file, bytes in memory or a string) and hands its events to a
// stack of handlers (IXMLHandler), beginning with the root handler given to Parse. It is the one
// front end of the toolbox over the XML library: value bags, XLIFF files and type declarations are
// all read through it.
//
//     VXMLParser parser;
//     VRefPtr<MyHandler> handler(new MyHandler);
//     if (!parser.Parse(file, handler.Get(), XML_ValidateNever)) ... // xmlc errors on the context
//
// Documents are untrusted. The library resolves no entity by itself: a system id resolves to a
// file of an entity folder (the handler's, else the parser's) or to nothing; nesting deeper than
// kXMLMaxElementDepth, runaway entity expansion and a document that would take the library more
// memory than its budget end the parse (XMLLibrary.h). Every problem of the document
// becomes an error of the component "xmlc" (2 an error, 3 a fatal one) with the library's
// message, the entity's system and public ids, and the line and column; Parse then answers false.
//
// Init and DeInit bring the library up and down for the process (counted); long-lived users call
// them in their constructor and destructor. A parse also holds the library up for itself.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "xml/IXMLHandler.h"

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>

XERCES_CPP_NAMESPACE_BEGIN
class InputSource;
class Locator;
XERCES_CPP_NAMESPACE_END

namespace kova
{

class IFile;
class VFile;
class VFolder;

constexpr OsType kCOMPONENT_XML = FourCharCode("xmlc");
constexpr VError VE_XML_ParseError = MakeVError(kCOMPONENT_XML, 2);
constexpr VError VE_XML_ParseFatalError = MakeVError(kCOMPONENT_XML, 3);

// Pushes an xmlc error with the parameters of a problem of a document: "message", "systemID",
// "publicID", "line" and "column" (null texts give empty ones).
void PushXMLError(VError inError, const XMLCh* inMessage, const XMLCh* inSystemID, const XMLCh* inPublicID,
                  XMLFileLoc inLine, XMLFileLoc inColumn);
// A fatal one that the parsers' own guards find, at the library's current position (none
// without a locator).
void PushXMLFatalErrorAt(const xercesc::Locator* inLocator, const XMLCh* inMessage);

// Options of a parse (bits).
enum : uint32_t
{
    XML_ValidateAlways = 1,
    // Only looked at without XML_ValidateAlways. With neither, a document that declares a
    // grammar is validated.
    XML_ValidateNever = 2,
    XML_DoNamespaces = 4,
    XML_LoadExternalDTD = 8,
    // Attributes that a DTD gives a default also reach the handlers.
    XML_ReportUnspecifiedAttributes = 16,
};

class VXMLParser : public VObject
{
public:
    VXMLParser() = default;
    VXMLParser(const VXMLParser&) = delete;
    VXMLParser& operator=(const VXMLParser&) = delete;
    ~VXMLParser() override = default;

    // The library for the process, counted and locked; Init answers whether it started.
    static bool Init();
    static void DeInit();

    // The file's POSIX path is the document's system id. A VFile is read by the library; another
    // IFile is read whole first (its reading error stays on the context). A null file: kova 3.
    bool Parse(IFile* inFile, IXMLHandler* inRootHandler, uint32_t inOptions);
    // The encoding is found from the bytes; the system id is "frommem". The bytes are not copied.
    bool Parse(const void* inBytes, size_t inSize, IXMLHandler* inRootHandler, uint32_t inOptions);
    // The string's units are read as UTF-16LE, whatever the document declares.
    bool Parse(const VString& inText, IXMLHandler* inRootHandler, uint32_t inOptions);

    // The entity folder of last resort (retained) and its prefix.
    void SetEntitiesLocalFolder(const VString& inPrefix, VFolder* inFolder);
    VFile* ResolveEntity(const VString& inSystemID);
    // The file that a system id names in the folder, owned by the caller, or null. The id must
    // begin with the prefix; the rest, with "/" between names, must stay inside the folder: an
    // absolute rest, an empty name ("//"), a ".." name, a ":" and a link that leads out are
    // refused. Whether the file exists is not checked.
    static VFile* ResolveEntityFromFolder(const VString& inPrefix, VFolder* inFolder,
                                          const VString& inSystemID);

    // Set from the options at the start of every parse.
    bool IsReportingUnspecifiedAttributes() const { return fReportUnspecifiedAttributes; }

private:
    // The source is made once the library is up; inSize is the document's, in bytes, for the
    // budget of what the library may allocate.
    bool _Parse(const std::function<xercesc::InputSource*()>& inMakeSource, size_t inSize,
                IXMLHandler* inRootHandler, uint32_t inOptions);

    VXMLEntityFolder fEntityFolder;
    bool fReportUnspecifiedAttributes = false;
};

} // namespace kova
