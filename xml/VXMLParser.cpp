#include "xml/VXMLParser.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/IFile.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLHandler.h"
#include "xml/XMLLibrary.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax/DTDHandler.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

#include <algorithm>
#include <climits>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>

namespace kova
{

namespace
{

const char kFromMemory[] = "frommem";

// Units at most in one VString: longer runs of the library are handed on in pieces.
constexpr XMLSize_t kMaxRun = 1 << 30;

// The library's line and column are 64-bit; the error's are 32-bit.
int32_t ClampPosition(XMLFileLoc inPosition)
{
    return int32_t(std::min<XMLFileLoc>(inPosition, INT32_MAX));
}

void SetText(VString& outText, const XMLCh* inUnits)
{
    if (inUnits == nullptr)
        outText.Clear();
    else
        outText.FromUniCString(UniCharsOfXMLCh(inUnits));
}

// A string over the library's own units, without a copy: it is only ever handed on as a const
// reference, and a handler that keeps it copies the units (the string is exclusive).
VString ViewOf(const XMLCh* inUnits, XMLSize_t inLength)
{
    return VString(const_cast<UniChar*>(UniCharsOfXMLCh(inUnits)), int32_t(inLength),
                   size_t(inLength) * sizeof(UniChar));
}

VString ViewOf(const XMLCh* inUnits)
{
    return ViewOf(inUnits, std::char_traits<XMLCh>::length(inUnits));
}

// The bytes of a file that the library reads by itself; a size that cannot be read is none.
size_t SizeOf(const IFile& inFile)
{
    int64_t size = 0;
    StErrorContextInstaller quiet(false, true);
    inFile.GetSize(&size);
    return size_t(std::max<int64_t>(size, 0));
}

// Thrown by the handlers through the library to end a parse that must not go on; the error is
// already on the context.
struct StopParse
{
};

// The library's parser, with its position at hand for our own errors, and the document's
// declarations told to the parse's budget and to its count of names (reported once a DTD handler
// is installed). It holds the parse's allocation budget, which thus ends before the library's part
// of the parser is torn down, in whatever way the parse ended.
class SAXParserWithLocator : public xercesc::SAXParser
{
public:
    SAXParserWithLocator(size_t inInputSize, VXMLEntityBudget& ioBudget, VXMLNameCollisions& ioNames)
        : SAXParser(nullptr, XMLBudgetedMemoryManager()), fAllocations(inInputSize), fBudget(ioBudget),
          fNames(ioNames)
    {
    }
    const xercesc::Locator* GetLocator() const { return getScanner().getLocator(); }
    StXMLAllocationBudget& GetAllocations() { return fAllocations; }

    // An external entity's bytes, read with the document.
    void AddInput(size_t inBytes)
    {
        fAllocations.AddInput(inBytes);
        fBudget.AddInput(const_cast<xercesc::XMLScanner&>(getScanner()), inBytes);
    }

    void entityDecl(const xercesc::DTDEntityDecl& inDecl, const bool inIsParameter,
                    const bool inIsIgnored) override
    {
        SAXParser::entityDecl(inDecl, inIsParameter, inIsIgnored);
        AddName(inDecl.getName());
        if (!inIsIgnored)
            fBudget.Declared(const_cast<xercesc::XMLScanner&>(getScanner()), inDecl);
    }

    void attDef(const xercesc::DTDElementDecl& inElement, const xercesc::DTDAttDef& inDef,
                const bool inIgnoring) override
    {
        SAXParser::attDef(inElement, inDef, inIgnoring);
        AddName(inDef.getFullName());
        if (!inIgnoring)
            fBudget.DeclaredAttribute(inDef);
    }

    void elementDecl(const xercesc::DTDElementDecl& inDecl, const bool inIsIgnored) override
    {
        SAXParser::elementDecl(inDecl, inIsIgnored);
        AddName(inDecl.getFullName());
    }

    void startIntSubset() override
    {
        fAllocations.EnterDTD();
        SAXParser::startIntSubset();
    }
    void endIntSubset() override
    {
        SAXParser::endIntSubset();
        fAllocations.LeaveDTD();
    }
    void startExtSubset() override
    {
        fAllocations.EnterDTD();
        SAXParser::startExtSubset();
    }
    void endExtSubset() override
    {
        SAXParser::endExtSubset();
        fAllocations.LeaveDTD();
    }

    void notationDecl(const xercesc::XMLNotationDecl& inDecl, const bool inIsIgnored) override
    {
        SAXParser::notationDecl(inDecl, inIsIgnored);
        AddName(inDecl.getName());
    }

    void AddStartTag(const xercesc::XMLElementDecl& inDecl,
                     const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, XMLSize_t inCount)
    {
        if (!fNames.AddStartTag(inDecl, inAttributes, inCount))
            StopForNames();
    }

private:
    void AddName(const XMLCh* inName)
    {
        if (!fNames.Add(inName))
            StopForNames();
    }

    [[noreturn]] void StopForNames()
    {
        PushXMLFatalErrorAt(GetLocator(), u"too many of the document's names share one hash");
        throw StopParse();
    }

    StXMLAllocationBudget fAllocations;
    VXMLEntityBudget& fBudget;
    VXMLNameCollisions& fNames;
};

} // namespace

void PushXMLError(VError inError, const XMLCh* inMessage, const XMLCh* inSystemID, const XMLCh* inPublicID,
                  XMLFileLoc inLine, XMLFileLoc inColumn)
{
    VErrorBase* error = new (std::nothrow) VErrorBase(inError);
    if (error == nullptr)
        return;
    VValueBag* bag = error->GetBag();
    VString text;
    SetText(text, inMessage);
    bag->SetString("message", text);
    SetText(text, inSystemID);
    bag->SetString("systemID", text);
    SetText(text, inPublicID);
    bag->SetString("publicID", text);
    bag->SetLong("line", ClampPosition(inLine));
    bag->SetLong("column", ClampPosition(inColumn));
    _PushRetainedError(error, VE_OK);
}

void PushXMLFatalErrorAt(const xercesc::Locator* inLocator, const XMLCh* inMessage)
{
    if (inLocator != nullptr)
    {
        PushXMLError(VE_XML_ParseFatalError, inMessage, inLocator->getSystemId(), inLocator->getPublicId(),
                     inLocator->getLineNumber(), inLocator->getColumnNumber());
    }
    else
    {
        PushXMLError(VE_XML_ParseFatalError, inMessage, nullptr, nullptr, 0, 0);
    }
}

// The library's handlers for one parse: turns its events into calls on the stack of handlers.
class SAX_Handlers : public xercesc::XMLDocumentHandler,
                     public xercesc::EntityResolver,
                     public xercesc::ErrorHandler,
                     public xercesc::DTDHandler
{
public:
    SAX_Handlers(SAXParserWithLocator* inParser, VXMLParser* inOwner, IXMLHandler* inRoot,
                 VXMLEntityBudget& ioBudget, VXMLDefaultsBudget& ioDefaults)
        : fParser(inParser), fOwner(inOwner), fBudget(ioBudget), fDefaults(ioDefaults)
    {
        fStack.push_back(VRefPtr<IXMLHandler>::Retained(inRoot));
    }
    SAX_Handlers(const SAX_Handlers&) = delete;
    SAX_Handlers& operator=(const SAX_Handlers&) = delete;
    ~SAX_Handlers() override = default;

    // Our own fatal error, at the library's current position.
    void PushFatalError(const XMLCh* inMessage) { PushXMLFatalErrorAt(fParser->GetLocator(), inMessage); }

    // XMLDocumentHandler
    void docCharacters(const XMLCh* const inChars, const XMLSize_t inLength, const bool) override
    {
        if (!fBudget.AddText(inLength))
            StopForEntityText();
        IXMLHandler* top = fStack.back().Get();
        if (top == nullptr)
            return;
        for (XMLSize_t done = 0; done < inLength;)
        {
            XMLSize_t count = std::min(inLength - done, kMaxRun);
            top->SetText(ViewOf(inChars + done, count));
            done += count;
        }
    }

    void docComment(const XMLCh* const) override {}

    void docPI(const XMLCh* const inTarget, const XMLCh* const inData) override
    {
        IXMLHandler* top = fStack.back().Get();
        if (inTarget == nullptr || inData == nullptr || top == nullptr)
            return;
        top->processingInstruction(ViewOf(inTarget), ViewOf(inData));
    }

    void endDocument() override {}

    void endElement(const xercesc::XMLElementDecl& inDecl, const unsigned int, const bool,
                    const XMLCh* const) override
    {
        if (fStack.size() <= 1)
            return; // never pops the root entry
        if (IXMLHandler* top = fStack.back().Get())
        {
            top->EndElement(ViewOf(inDecl.getFullName()));
        }
        fStack.pop_back();
    }

    void endEntityReference(const xercesc::XMLEntityDecl&) override { fBudget.LeaveEntity(); }

    // Whitespace that a DTD declares ignorable is dropped.
    void ignorableWhitespace(const XMLCh* const, const XMLSize_t, const bool) override {}

    void resetDocument() override {}
    void startDocument() override {}

    void startElement(const xercesc::XMLElementDecl& inDecl, const unsigned int, const XMLCh* const,
                      const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, const XMLSize_t inCount,
                      const bool inIsEmpty, const bool) override
    {
        // The stack holds the root entry and one per open element.
        if (fStack.size() > kXMLMaxElementDepth)
        {
            PushFatalError(u"elements are nested too deeply");
            throw StopParse();
        }
        if (!fDefaults.AddElement(inDecl, inAttributes, inCount))
        {
            PushFatalError(u"the DTD declares too many attributes for the document's elements");
            throw StopParse();
        }
        if (!fBudget.AddAttributes(inAttributes, inCount))
            StopForEntityText();
        fParser->AddStartTag(inDecl, inAttributes, inCount);
        IXMLHandler* top = fStack.back().Get();
        VRefPtr<IXMLHandler> handler;
        if (top != nullptr)
        {
            const VString name = ViewOf(inDecl.getFullName());
            handler = VRefPtr<IXMLHandler>(top->StartElement(name));
            if (handler)
            {
                bool withUnspecified = fOwner->IsReportingUnspecifiedAttributes();
                for (XMLSize_t index = 0; index < inCount; ++index)
                {
                    const xercesc::XMLAttr* attribute = inAttributes.elementAt(index);
                    if (!attribute->getSpecified() && !withUnspecified)
                        continue;
                    handler->SetAttribute(ViewOf(attribute->getQName()), ViewOf(attribute->getValue()));
                }
                if (inIsEmpty)
                    handler->EndElement(name);
            }
        }
        if (!inIsEmpty)
            fStack.push_back(std::move(handler));
    }

    void startEntityReference(const xercesc::XMLEntityDecl&) override { fBudget.EnterEntity(); }

    void XMLDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const, const XMLCh* const) override {}

    // EntityResolver: never null, so that the library reads nothing of its own choosing.
    xercesc::InputSource* resolveEntity(const XMLCh* const, const XMLCh* const inSystemID) override
    {
        VRefPtr<VFile> file;
        if (IXMLHandler* top = fStack.back().Get())
        {
            VString systemID;
            SetText(systemID, inSystemID);
            file = VRefPtr<VFile>(top->ResolveEntity(systemID));
            if (!file)
                file = VRefPtr<VFile>(fOwner->ResolveEntity(systemID));
        }
        if (file && file->Exists())
        {
            VString path;
            file->GetPlatformPath(path, FPS_POSIX);
            // The library reads the file anew at each reference: its bytes are the document's the
            // first time only, or each reference would pay for the next ones.
            const size_t size = SizeOf(*file);
            if (fReadFiles.emplace(path.GetCPointer(), size_t(path.GetLength())).second)
            {
                fParser->AddInput(size);
                fDefaults.AddInput(size);
            }
            else if (!fBudget.AddReadAgain(size))
            {
                StopForEntityText();
            }
            return new xercesc::LocalFileInputSource(XMLChOfUniChars(path.GetCPointer()));
        }
        static const XMLByte sNothing = 0;
        return new xercesc::MemBufInputSource(&sNothing, 0, inSystemID != nullptr ? inSystemID : u"");
    }

    // ErrorHandler
    void warning(const xercesc::SAXParseException&) override {}
    void error(const xercesc::SAXParseException& inException) override
    {
        PushException(VE_XML_ParseError, inException);
    }
    void fatalError(const xercesc::SAXParseException& inException) override
    {
        PushException(VE_XML_ParseFatalError, inException);
    }
    void resetErrors() override {}

    // DTDHandler: installed only so that the parser reports entity declarations.
    void notationDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const) override {}
    void unparsedEntityDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                            const XMLCh* const) override
    {
    }
    void resetDocType() override {}

private:
    [[noreturn]] void StopForEntityText()
    {
        PushFatalError(u"the document's entities expand to too much text");
        throw StopParse();
    }

    static void PushException(VError inError, const xercesc::SAXParseException& inException)
    {
        PushXMLError(inError, inException.getMessage(), inException.getSystemId(), inException.getPublicId(),
                     inException.getLineNumber(), inException.getColumnNumber());
    }

    // The root entry first; an entry is null where an element and its subtree are skipped.
    std::deque<VRefPtr<IXMLHandler>> fStack;
    SAXParserWithLocator* fParser;
    VXMLParser* fOwner;
    VXMLEntityBudget& fBudget;
    VXMLDefaultsBudget& fDefaults;
    // The paths of the external entities read so far.
    std::unordered_set<std::u16string> fReadFiles;
};

bool VXMLParser::Init()
{
    return XMLLibraryInitialize();
}

void VXMLParser::DeInit()
{
    XMLLibraryTerminate();
}

bool VXMLParser::Parse(IFile* inFile, IXMLHandler* inRootHandler, uint32_t inOptions)
{
    if (inFile == nullptr)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return false;
    }
    VString path;
    inFile->GetPlatformPath(path, FPS_POSIX);
    if (dynamic_cast<VFile*>(inFile) != nullptr)
    {
        return _Parse([&path]
                      { return new xercesc::LocalFileInputSource(XMLChOfUniChars(path.GetCPointer())); },
                      SizeOf(*inFile), inRootHandler, inOptions);
    }
    VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
    if (inFile->GetContent(content) != VE_OK)
        return false;
    return _Parse(
        [&content, &path]
        {
            return new xercesc::MemBufInputSource(static_cast<const XMLByte*>(content.GetDataPtr()),
                                                  content.GetDataSize(), XMLChOfUniChars(path.GetCPointer()));
        },
        content.GetDataSize(), inRootHandler, inOptions);
}

bool VXMLParser::Parse(const void* inBytes, size_t inSize, IXMLHandler* inRootHandler, uint32_t inOptions)
{
    static const XMLByte sNothing = 0;
    const XMLByte* bytes = inBytes != nullptr ? static_cast<const XMLByte*>(inBytes) : &sNothing;
    size_t size = inBytes != nullptr ? inSize : 0;
    return _Parse([bytes, size] { return new xercesc::MemBufInputSource(bytes, size, kFromMemory); }, size,
                  inRootHandler, inOptions);
}

bool VXMLParser::Parse(const VString& inText, IXMLHandler* inRootHandler, uint32_t inOptions)
{
    return _Parse(
        [&inText]
        {
            auto* source =
                new xercesc::MemBufInputSource(reinterpret_cast<const XMLByte*>(inText.GetCPointer()),
                                               size_t(inText.GetLength()) * sizeof(UniChar), kFromMemory);
            source->setEncoding(u"UTF-16LE");
            return source;
        },
        size_t(inText.GetLength()) * sizeof(UniChar), inRootHandler, inOptions);
}

bool VXMLParser::_Parse(const std::function<xercesc::InputSource*()>& inMakeSource, size_t inSize,
                        IXMLHandler* inRootHandler, uint32_t inOptions)
{
    // Whoever parses holds the library up, so that a parse never finds it down; everything of
    // the library is made after this and gone before the matching termination.
    if (!XMLLibraryInitialize())
    {
        PushXMLError(VE_XML_ParseFatalError, u"the XML library could not start", nullptr, nullptr, 0, 0);
        return false;
    }
    bool ok = false;
    try
    {
        std::unique_ptr<xercesc::InputSource> source(inMakeSource());
        VXMLEntityBudget budget(inSize);
        VXMLDefaultsBudget defaults(inSize);
        VXMLNameCollisions names;
        xercesc::SecurityManager security;
        SAXParserWithLocator parser(inSize, budget, names);
        ApplyUntrustedInputSettings(parser, security, inSize);
        if (inOptions & XML_ValidateAlways)
            parser.setValidationScheme(xercesc::SAXParser::Val_Always);
        else if (inOptions & XML_ValidateNever)
            parser.setValidationScheme(xercesc::SAXParser::Val_Never);
        else
            parser.setValidationScheme(xercesc::SAXParser::Val_Auto);
        parser.setLoadExternalDTD((inOptions & XML_LoadExternalDTD) != 0);
        parser.setDoNamespaces((inOptions & XML_DoNamespaces) != 0);

        SAX_Handlers handlers(&parser, this, inRootHandler, budget, defaults);
        fReportUnspecifiedAttributes = (inOptions & XML_ReportUnspecifiedAttributes) != 0;
        parser.installAdvDocHandler(&handlers);
        parser.setErrorHandler(&handlers);
        parser.setEntityResolver(&handlers);
        parser.setDTDHandler(&handlers);
        try
        {
            parser.parse(*source);
            ok = parser.getErrorCount() == 0;
        }
        catch (const StopParse&)
        {
        }
        catch (const xercesc::XMLException& inException)
        {
            handlers.PushFatalError(inException.getMessage());
        }
        catch (const xercesc::OutOfMemoryException&)
        {
            if (!parser.GetAllocations().IsExceeded())
                throw;
            handlers.PushFatalError(parser.GetAllocations().GetExceededMessage());
        }
    }
    catch (...)
    {
        // The library reports some faults by exceptions (memory, streams): the parse failed.
        PushXMLError(VE_XML_ParseFatalError, u"the XML library failed", nullptr, nullptr, 0, 0);
        ok = false;
    }
    XMLLibraryTerminate();
    return ok;
}

void VXMLParser::SetEntitiesLocalFolder(const VString& inPrefix, VFolder* inFolder)
{
    fEntityFolder.Set(inPrefix, inFolder);
}

VFile* VXMLParser::ResolveEntity(const VString& inSystemID)
{
    return fEntityFolder.Resolve(inSystemID);
}

VFile* VXMLParser::ResolveEntityFromFolder(const VString& inPrefix, VFolder* inFolder,
                                           const VString& inSystemID)
{
    if (inFolder == nullptr || !inSystemID.BeginsWith(inPrefix, false))
        return nullptr;
    VString relative(inSystemID);
    if (!inPrefix.IsEmpty())
        relative.Exchange(inPrefix, VString(), 1, 1);

    // What stays must name a file below the folder.
    if (relative.IsEmpty() || relative.GetUniChar(1) == u'/' || relative.FindUniChar(u':') > 0 ||
        relative.FindUniChar(0) > 0)
        return nullptr;
    int32_t nameStart = 1;
    for (int32_t position = 1; position <= relative.GetLength() + 1; ++position)
    {
        if (position <= relative.GetLength() && relative.GetUniChar(position) != u'/')
            continue;
        int32_t nameLength = position - nameStart;
        const UniChar* name = relative.GetCPointer() + nameStart - 1;
        if (nameLength == 0 || (nameLength == 2 && name[0] == u'.' && name[1] == u'.'))
            return nullptr;
        nameStart = position + 1;
    }
    relative.Exchange(u'/', u':');

    const VFilePath& folderPath = inFolder->GetPath();
    VFilePath path(folderPath, relative, FPS_SYSTEM);
    if (!path.IsFile() || !path.IsChildOf(folderPath) || !IsInFolderOnDisk(path, folderPath))
        return nullptr;
    return new VFile(path, inFolder->GetFileSystem());
}

} // namespace kova
