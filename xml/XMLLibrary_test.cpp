#include "xml/XMLLibrary.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLDomWrapper.h"
#include "xml/IXMLHandler.h"
#include "xml/ValueBagXML.h"
#include "xml/VXMLBagHandler.h"
#include "xml/VXMLParser.h"
#include "xml/XMLTesting_test.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace kova
{
namespace
{

class XMLLibraryTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(VXMLParser::Init()); }
    void TearDown() override { VXMLParser::DeInit(); }
};

constexpr size_t kMiB = 1 << 20;

// Blocks of 1 MiB taken from the library's memory manager until it refuses one; the count taken.
size_t HoldUntilRefused(std::vector<void*>& ioHeld)
{
    xercesc::MemoryManager* manager = XMLBudgetedMemoryManager();
    const size_t before = ioHeld.size();
    try
    {
        for (int block = 0; block < 1000; ++block)
            ioHeld.push_back(manager->allocate(kMiB));
    }
    catch (const xercesc::OutOfMemoryException&)
    {
    }
    return ioHeld.size() - before;
}

void FreeAll(std::vector<void*>& ioHeld)
{
    for (void* block : ioHeld)
        XMLBudgetedMemoryManager()->deallocate(block);
    ioHeld.clear();
}

// The budget charges what the library holds: what it frees is given back, so that a document's
// working memory, used again and again (as it is for each parameter entity of a DTD), is no cost;
// what it holds at once is bounded.
TEST_F(XMLLibraryTest, BudgetChargesWhatIsHeldAtOnce)
{
    xercesc::MemoryManager* manager = XMLBudgetedMemoryManager();
    std::vector<void*> held;
    // Made before the parse: freeing it in the parse gives the parse nothing.
    void* earlier = manager->allocate(8 * kMiB);
    {
        StXMLAllocationBudget budget(0);
        for (int round = 0; round < 2 * int(kXMLAllocationBase / kMiB); ++round)
            manager->deallocate(manager->allocate(kMiB));
        EXPECT_FALSE(budget.IsExceeded());
        manager->deallocate(earlier);
        EXPECT_EQ(HoldUntilRefused(held), kXMLAllocationBase / kMiB);
        EXPECT_TRUE(budget.IsExceeded());
    }
    // Freed after the parse: nothing to give back to a budget that is gone, nor to the next one.
    {
        StXMLAllocationBudget next(kMiB);
        FreeAll(held);
        EXPECT_EQ(HoldUntilRefused(held), kXMLAllocationBase / kMiB + kXMLAllocationPerInputByte);
        FreeAll(held);
    }
    // An external entity read with the document may cost what the document's bytes do.
    {
        StXMLAllocationBudget withEntity(0);
        withEntity.AddInput(kMiB);
        EXPECT_EQ(HoldUntilRefused(held), kXMLAllocationBase / kMiB + kXMLAllocationPerInputByte);
        FreeAll(held);
    }
    // Ended, it charges nothing more: what the thread allocates then is never refused.
    StXMLAllocationBudget ended(0);
    EXPECT_EQ(HoldUntilRefused(held), kXMLAllocationBase / kMiB);
    ended.End();
    EXPECT_NO_THROW(held.push_back(manager->allocate(kMiB)));
    FreeAll(held);
}

// An 8 MiB list of empty elements, one a line: the most elements for its size.
std::string ListOfEmptyElements()
{
    std::string xml = "<bag>\n";
    while (xml.size() < 8 * kMiB)
        xml += "<i/>\n";
    return xml + "</bag>";
}

// 20 MiB of long attribute values, in a document that declares an entity and never uses it.
std::string LongValuesAndAnUnusedEntity()
{
    std::string xml = "<!DOCTYPE bag [<!ENTITY unused \"x\">]><bag>\n";
    const std::string item = "<i path=\"" + std::string(1000, 'p') + "\"/>\n";
    while (xml.size() < 20 * kMiB)
        xml += item;
    return xml + "</bag>";
}

size_t CountOf(const std::string& inText, const std::string& inPart)
{
    size_t count = 0;
    for (size_t at = inText.find(inPart); at != std::string::npos; at = inText.find(inPart, at + 1))
        ++count;
    return count;
}

// Documents of the size users have read through both readers, whatever their number of elements
// or their length of attribute values.
TEST_F(XMLLibraryTest, LargeOrdinaryDocumentsRead)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    const std::pair<const char*, std::string> documents[] = {
        {"8 MiB list", ListOfEmptyElements()},
        {"20 MiB of values, an unused entity", LongValuesAndAnUnusedEntity()},
    };
    for (const auto& [what, xml] : documents)
    {
        SCOPED_TRACE(what);
        const size_t items = CountOf(xml, "<i");
        StErrorContextInstaller errors(false, true);
        VXMLDOMDocument_opaque* document =
            IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr);
        EXPECT_NE(document, nullptr);
        if (document != nullptr)
        {
            // Each element and the line feed after it.
            EXPECT_EQ(IXMLDomWrapper::GetNumberOfChildrenNodes(IXMLDomWrapper::GetRootNodeElement(document)),
                      2 * items + 1);
            IXMLDomWrapper::ReleaseNode(document);
        }

        WriteFileBytes(temp.Posix("doc.xml"), xml);
        VRefPtr<VFile> file(new VFile(temp.Path("doc.xml")));
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(file.Get(), VString("bag"), *bag, XML_ValidateNever), VE_OK);
        ASSERT_NE(bag->GetElements("i"), nullptr);
        EXPECT_EQ(size_t(bag->GetElements("i")->GetCount()), items);
        EXPECT_EQ(errors.GetLastError(), VE_OK);
    }
}

// The root "r" of inElements elements "i", one a line, and a DTD that declares for "i" the
// attributes "d0" to "d<inDeclared - 1>", each with the default inDefault ("#IMPLIED" for none).
std::string DeclaredForEveryElement(int inDeclared, const std::string& inDefault, int inElements)
{
    std::string xml = "<!DOCTYPE r [<!ATTLIST i";
    for (int index = 0; index < inDeclared; ++index)
        xml += " d" + std::to_string(index) + " CDATA " + inDefault;
    xml += ">]>\n<r>\n";
    for (int element = 0; element < inElements; ++element)
        xml += "<i/>\n";
    return xml + "</r>";
}

// Counts the elements and attributes it is given.
class CountingHandler : public VObject, public IXMLHandler
{
public:
    IXMLHandler* StartElement(const VString&) override
    {
        ++fElements;
        Retain();
        return this;
    }
    void SetAttribute(const VString&, const VString&) override { ++fAttributes; }

    size_t fElements = 0;
    size_t fAttributes = 0;
};

// The library goes through every attribute the DTD declares for an element, and makes those it
// defaults, at each element of the document: a few kilobytes of declarations made every element
// of a document cost a thousand times its size. What they add in all is held in proportion to the
// document, so that such a document ends early, with one fatal error.
TEST_F(XMLLibraryTest, DefaultsOfEveryElementAreBounded)
{
    const std::pair<const char*, std::string> documents[] = {
        {"4,000 defaults on 4,000 elements", DeclaredForEveryElement(4000, "\"v\"", 4000)},
        {"8,000 attributes declared for 8,000 elements", DeclaredForEveryElement(8000, "#IMPLIED", 8000)},
    };
    for (const auto& [what, xml] : documents)
    {
        SCOPED_TRACE(what);
        const size_t elements = CountOf(xml, "<i/>");
        for (uint32_t options :
             {uint32_t(XML_ValidateNever), XML_ValidateNever | XML_ReportUnspecifiedAttributes,
              XML_ValidateNever | XML_DoNamespaces})
        {
            SCOPED_TRACE(options);
            StErrorContextInstaller errors(false, true);
            VXMLParser parser;
            VRefPtr<CountingHandler> handler(new CountingHandler);
            EXPECT_FALSE(parser.Parse(xml.data(), xml.size(), handler.Get(), options));
            EXPECT_EQ(errors.GetContext()->GetErrorCount(), 1u);
            EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
            // Ended within the first half of the elements.
            EXPECT_LT(handler->fElements, elements / 2);
        }
        StErrorContextInstaller errors(false, true);
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(VString(xml.c_str()), VString("r"), *bag, XML_ValidateNever),
                  VE_XML_ParseFatalError);
        EXPECT_EQ(IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr), nullptr);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
}

// Defaults that a DTD gives to every element of a document of megabytes read, through every reader;
// through the front end, more of them than the base of the bound pays for.
TEST_F(XMLLibraryTest, FewDefaultsOnManyElementsRead)
{
    for (int elements : {100000, 400000})
    {
        SCOPED_TRACE(elements);
        const std::string xml = DeclaredForEveryElement(3, "\"a default value\"", elements);
        StErrorContextInstaller errors(false, true);
        VXMLParser parser;
        VRefPtr<CountingHandler> handler(new CountingHandler);
        EXPECT_TRUE(parser.Parse(xml.data(), xml.size(), handler.Get(),
                                 XML_ValidateNever | XML_ReportUnspecifiedAttributes));
        EXPECT_EQ(handler->fElements, size_t(elements) + 1);
        EXPECT_EQ(handler->fAttributes, 3 * size_t(elements));
        EXPECT_EQ(errors.GetLastError(), VE_OK);
    }

    constexpr int kElements = 100000;
    const std::string xml = DeclaredForEveryElement(3, "\"a default value\"", kElements);
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(LoadBagFromXML(VString(xml.c_str()), VString("r"), *bag,
                             XML_ValidateNever | XML_ReportUnspecifiedAttributes),
              VE_OK);
    VBagArray* items = bag->GetElements("i");
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->GetCount(), kElements);
    VString value;
    EXPECT_TRUE(items->GetNth(kElements)->GetString("d2", value));
    EXPECT_EQ(Text(value), u"a default value");

    VXMLDOMDocument_opaque* document =
        IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr);
    ASSERT_NE(document, nullptr);
    VXMLDOMElement_opaque* root = IXMLDomWrapper::GetRootNodeElement(document);
    EXPECT_EQ(IXMLDomWrapper::GetNumberOfChildrenNodes(root), 2 * size_t(kElements) + 1);
    VXMLDOMElement_opaque* last =
        IXMLDomWrapper::GetNodeElement(IXMLDomWrapper::GetChildNode(root, 2 * size_t(kElements) - 1));
    EXPECT_TRUE(IXMLDomWrapper::GetNodeElementAttribute(last, VString("d1"), value));
    EXPECT_EQ(Text(value), u"a default value");
    IXMLDomWrapper::ReleaseNode(document);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

// ----- Ordinary documents of entities and DTDs

// The prefix under which the external DTDs of these documents are named; their files are written
// in the entity folder given to the readers.
const char kDTDPrefix[] = "http://example.com/dtd/";

// A document as writers make them, the files of its external DTD, and what every reader must find
// in it: the elements it repeats, and a unit that its entities alone hold, counted in the text and
// in the attribute values of the expanded document.
struct EntityDocument
{
    const char* fWhat;
    std::string fXML;
    std::vector<std::pair<std::string, std::string>> fFiles;
    const char* fRoot;
    const char* fItem;
    size_t fItems;
    char16_t fMarker;
    size_t fMarkersInText;
    size_t fMarkersInValues;
};

// 150 paragraphs that each name the product through an entity of 10 characters: 6.5 KB.
EntityDocument ProductParagraphs()
{
    std::string xml = "<!DOCTYPE doc [<!ENTITY product \"Qel Writer\">]>\n<doc>\n";
    for (int paragraph = 0; paragraph < 150; ++paragraph)
        xml += "<p>Paragraph " + std::to_string(paragraph) + " of the &product; guide.</p>\n";
    return {"150 paragraphs of one entity", xml + "</doc>", {}, "doc", "p", 150, u'Q', 150, 0};
}

// 1,000 shapes whose styles are entities, as drawing programs export them: 47 KB.
EntityDocument DrawingOfStyledShapes()
{
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n";
    for (int style = 0; style < 8; ++style)
        xml += "<!ENTITY st" + std::to_string(style) + " \"fill:#" + std::to_string(100000 + style * 1111) +
               ";stroke:#000000;stroke-width:" + std::to_string(style + 1) + ";Z\">\n";
    xml += "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000\" height=\"1000\">\n";
    for (int shape = 0; shape < 1000; ++shape)
        xml += "<circle cx=\"" + std::to_string(shape % 97 * 10) + "\" cy=\"" +
               std::to_string(shape / 97 * 10) + "\" r=\"4\" style=\"&st" + std::to_string(shape % 8) +
               ";\"/>\n";
    return {"1,000 shapes styled by entities", xml + "</svg>", {}, "svg", "circle", 1000, u'Z', 0, 1000};
}

// An XHTML-like page whose 60 paragraphs use the entities of its external DTD.
EntityDocument PageOfAnExternalDTD()
{
    const std::string dtd = "<!ENTITY nbsp \"&#160;\">\n<!ENTITY mdash \"&#8212;\">\n"
                            "<!ENTITY copy \"&#169;\">\n"
                            "<!ELEMENT html (head, body)>\n<!ELEMENT head (title)>\n"
                            "<!ELEMENT title (#PCDATA)>\n<!ELEMENT body (p*)>\n"
                            "<!ELEMENT p (#PCDATA)>\n<!ATTLIST p class CDATA #IMPLIED>\n";
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE html PUBLIC \"-//Kova//DTD Page//EN\" \"" +
                      std::string(kDTDPrefix) +
                      "page.dtd\">\n<html><head><title>Notes</title></head><body>\n";
    for (int paragraph = 0; paragraph < 60; ++paragraph)
        xml += "<p class=\"note\">Note&nbsp;" + std::to_string(paragraph) + " &mdash; as written.</p>\n";
    return {"60 paragraphs of an external DTD's entities",
            xml + "</body></html>",
            {{"page.dtd", dtd}},
            "html",
            "body",
            1,
            u'\u2014',
            60,
            0};
}

// An entity of 1 KB used 500 times in text and 200 times in attribute values: 15 KB.
EntityDocument LongEntityInTextAndValues()
{
    std::string notice;
    while (notice.size() < 1000)
        notice += "This notice is part of every page. ";
    notice.resize(999);
    notice += "N";
    std::string xml = "<!DOCTYPE doc [<!ENTITY notice \"" + notice + "\">]>\n<doc>\n";
    for (int use = 0; use < 500; ++use)
        xml += "<line>&notice;</line>\n";
    for (int use = 0; use < 200; ++use)
        xml += "<a v=\"&notice;\"/>\n";
    return {"an entity of 1 KB used 700 times", xml + "</doc>", {}, "doc", "line", 500, u'N', 500, 200};
}

// An internal subset of 1,000 element and attribute-list declarations, each brought in by a
// parameter entity: 88 KB.
EntityDocument DeclarationsThroughParameterEntities()
{
    std::string xml = "<!DOCTYPE doc [\n<!ELEMENT doc ANY>\n";
    for (int type = 0; type < 500; ++type)
    {
        const std::string name = "e" + std::to_string(type);
        xml += "<!ENTITY % " + name + ".element \"<!ELEMENT " + name + " (#PCDATA | em)*>\">\n%" + name +
               ".element;\n<!ENTITY % " + name + ".attributes \"<!ATTLIST " + name +
               " id ID #IMPLIED class CDATA #IMPLIED>\">\n%" + name + ".attributes;\n";
    }
    xml += "]>\n<doc>\n";
    for (int type = 0; type < 500; type += 5)
        xml += "<e" + std::to_string(type) + ">Y</e" + std::to_string(type) + ">\n";
    return {
        "1,000 declarations through parameter entities", xml + "</doc>", {}, "doc", "e0", 1, u'Y', 100, 0};
}

// A modular external DTD of 200 element types, in ten modules (17 KB), and a document of 3 KB.
EntityDocument ModularExternalDTD()
{
    const std::string prefix = kDTDPrefix;
    std::vector<std::pair<std::string, std::string>> files;
    std::string driver = "<!ENTITY % common.attributes \"id ID #IMPLIED class CDATA #IMPLIED\">\n"
                         "<!ENTITY % inline.content \"#PCDATA\">\n<!ELEMENT doc ANY>\n"
                         "<!ENTITY mark \"X\">\n";
    for (int module = 0; module < 10; ++module)
    {
        const std::string name = "module" + std::to_string(module) + ".mod";
        driver += "<!ENTITY % module" + std::to_string(module) + " SYSTEM \"" + prefix + name +
                  "\">\n%module" + std::to_string(module) + ";\n";
        std::string declarations;
        for (int type = module * 20; type < module * 20 + 20; ++type)
        {
            const std::string qname = "e" + std::to_string(type) + ".qname";
            declarations += "<!ENTITY % " + qname + " \"e" + std::to_string(type) + "\">\n<!ELEMENT %" +
                            qname + "; (%inline.content;)*>\n<!ATTLIST %" + qname +
                            "; %common.attributes;>\n";
        }
        files.emplace_back(name, declarations);
    }
    files.emplace_back("modular.dtd", driver);
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE doc SYSTEM \"" + prefix + "modular.dtd\">\n<doc>\n";
    for (int type = 0; type < 200; ++type)
        xml += "<e" + std::to_string(type) + ">&mark;</e" + std::to_string(type) + ">\n";
    return {
        "a modular external DTD of 200 element types", xml + "</doc>", files, "doc", "e0", 1, u'X', 200, 0};
}

// An external DTD of 40,000 references to a parameter entity (160 KB) and a document of 300 bytes:
// the DTD's bytes pay for its expansions, as the document's own would.
EntityDocument LargeExternalDTD()
{
    std::string dtd = "<!ENTITY % blank \"\">\n";
    for (int reference = 0; reference < 40000; ++reference)
        dtd += "%blank;\n";
    dtd += "<!ELEMENT doc ANY>\n<!ENTITY mark \"X\">\n";
    std::string xml = "<!DOCTYPE doc SYSTEM \"" + std::string(kDTDPrefix) + "large.dtd\">\n<doc>\n";
    for (int item = 0; item < 20; ++item)
        xml += "<i>&mark;</i>\n";
    return {"an external DTD of 40,000 references",
            xml + "</doc>",
            {{"large.dtd", dtd}},
            "doc",
            "i",
            20,
            u'X',
            20,
            0};
}

// Counts the elements of one name, and one unit in text and attribute values.
class MarkerCountingHandler : public VObject, public IXMLHandler
{
public:
    MarkerCountingHandler(const char* inItem, char16_t inMarker) : fItem(inItem), fMarker(inMarker) {}

    IXMLHandler* StartElement(const VString& inName) override
    {
        if (inName.EqualToString(VString(fItem), true))
            ++fItems;
        Retain();
        return this;
    }
    void SetAttribute(const VString&, const VString& inValue) override { fMarkersInValues += Count(inValue); }
    void SetText(const VString& inText) override { fMarkersInText += Count(inText); }

    size_t fItems = 0;
    size_t fMarkersInText = 0;
    size_t fMarkersInValues = 0;

private:
    size_t Count(const VString& inText) const
    {
        const std::u16string text = Text(inText);
        return size_t(std::count(text.begin(), text.end(), fMarker));
    }

    const char* fItem;
    char16_t fMarker;
};

// The unit in every attribute of the bag and of its sub-bags, character data included.
size_t MarkersInBag(const VValueBag& inBag, char16_t inMarker)
{
    size_t markers = 0;
    for (int32_t index = 1; index <= inBag.GetAttributesCount(); ++index)
    {
        VString value;
        inBag.GetNthAttribute(index, nullptr)->GetString(value);
        const std::u16string text = Text(value);
        markers += size_t(std::count(text.begin(), text.end(), inMarker));
    }
    for (int32_t name = 1; name <= inBag.GetElementNamesCount(); ++name)
    {
        const VBagArray* list = inBag.GetNthElementName(name, nullptr);
        for (int32_t index = 1; list != nullptr && index <= list->GetCount(); ++index)
            markers += MarkersInBag(*list->GetNth(index), inMarker);
    }
    return markers;
}

enum class Reader
{
    kSAX,
    kDOM,
    kBag,
};

// The documents above, through the front end, the DOM wrapper and the value-bag reader, each
// with its own entity folder where it has one. All read whole: the number of expansions, the
// parameter entities of a DTD and the bytes of an external DTD are what ordinary documents hold.
// The DOM wrapper never reads an external DTD: it reads the document without it.
TEST_F(XMLLibraryTest, OrdinaryDocumentsOfEntitiesAndDTDsRead)
{
    const EntityDocument documents[] = {
        ProductParagraphs(),
        DrawingOfStyledShapes(),
        PageOfAnExternalDTD(),
        LongEntityInTextAndValues(),
        DeclarationsThroughParameterEntities(),
        ModularExternalDTD(),
        LargeExternalDTD(),
    };
    for (const EntityDocument& document : documents)
    {
        SCOPED_TRACE(document.fWhat);
        StTemporaryFolder temp;
        ASSERT_TRUE(temp.IsValid());
        std::filesystem::create_directories(temp.Posix("dtd"));
        for (const auto& [name, content] : document.fFiles)
            WriteFileBytes(temp.Posix("dtd/" + name), content);
        WriteFileBytes(temp.Posix("doc.xml"), document.fXML);
        VRefPtr<VFolder> folder(new VFolder(temp.Path("dtd/")));
        const bool external = !document.fFiles.empty();
        const uint32_t options = XML_ValidateNever | XML_LoadExternalDTD;
        for (Reader reader : {Reader::kSAX, Reader::kDOM, Reader::kBag})
        {
            SCOPED_TRACE(int(reader));
            StErrorContextInstaller errors(false, true);
            VRefPtr<MarkerCountingHandler> handler(
                new MarkerCountingHandler(document.fItem, document.fMarker));
            switch (reader)
            {
            case Reader::kSAX:
            {
                VXMLParser parser;
                parser.SetEntitiesLocalFolder(VString(kDTDPrefix), folder.Get());
                VRefPtr<VFile> file(new VFile(temp.Path("doc.xml")));
                EXPECT_TRUE(parser.Parse(file.Get(), handler.Get(), options));
                EXPECT_EQ(handler->fItems, document.fItems);
                EXPECT_EQ(handler->fMarkersInText, document.fMarkersInText);
                EXPECT_EQ(handler->fMarkersInValues, document.fMarkersInValues);
                break;
            }
            case Reader::kDOM:
            {
                VXMLDOMDocument_opaque* dom = IXMLDomWrapper::CreateNodeDocumentFromBuffer(
                    document.fXML.data(), document.fXML.size(), nullptr);
                EXPECT_NE(dom, nullptr);
                if (dom == nullptr)
                    break;
                // The walk passes over entity references, whose text stays below them.
                EXPECT_TRUE(IXMLDomWrapper::Parse(dom, handler.Get()));
                const std::u16string text =
                    reinterpret_cast<xercesc::DOMNode*>(IXMLDomWrapper::GetRootNodeElement(dom))
                        ->getTextContent();
                IXMLDomWrapper::ReleaseNode(dom);
                EXPECT_EQ(handler->fItems, document.fItems);
                EXPECT_EQ(size_t(std::count(text.begin(), text.end(), document.fMarker)),
                          external ? 0 : document.fMarkersInText);
                EXPECT_EQ(handler->fMarkersInValues, external ? 0 : document.fMarkersInValues);
                break;
            }
            case Reader::kBag:
            {
                VRefPtr<VFile> file(new VFile(temp.Path("doc.xml")));
                VRefPtr<VValueBag> bag(new VValueBag);
                const VString prefix(kDTDPrefix);
                EXPECT_EQ(
                    LoadBagFromXML(file.Get(), VString(document.fRoot), *bag, options, &prefix, folder.Get()),
                    VE_OK);
                const VBagArray* items = bag->GetElements(document.fItem);
                EXPECT_EQ(items != nullptr ? size_t(items->GetCount()) : 0, document.fItems);
                EXPECT_EQ(MarkersInBag(*bag, document.fMarker),
                          document.fMarkersInText + document.fMarkersInValues);
                break;
            }
            }
            EXPECT_EQ(errors.GetLastError(), VE_OK);
        }
    }
}

// The expansions a document may make grow with it: 30,000 references of a document of 90 KB
// read through every reader, while a document of a few hundred bytes whose nested entities make
// more is refused early.
TEST_F(XMLLibraryTest, ExpansionsGrowWithTheDocument)
{
    std::string references = "<!DOCTYPE r [<!ENTITY a \"x\">]><r>";
    for (int reference = 0; reference < 30000; ++reference)
        references += "&a;";
    references += "</r>";
    // Five levels of ten references each to the one below: 111,110 expansions of nothing.
    std::string nested = "<!DOCTYPE r [<!ENTITY n0 \"\">";
    for (int level = 1; level <= 5; ++level)
    {
        nested += "<!ENTITY n" + std::to_string(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            nested += "&n" + std::to_string(level - 1) + ";";
        nested += "\">";
    }
    nested += "]><r>&n5;</r>";
    ASSERT_GT(30000u, kXMLEntityExpansionBase);
    ASSERT_GT(111110u, XMLEntityExpansionLimit(nested.size()));
    for (const std::string* xml : {&references, &nested})
    {
        const bool reads = xml == &references;
        SCOPED_TRACE(reads);
        StErrorContextInstaller errors(false, true);
        VXMLParser parser;
        EXPECT_EQ(parser.Parse(xml->data(), xml->size(), nullptr, XML_ValidateNever), reads);
        VXMLDOMDocument_opaque* document =
            IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml->data(), xml->size(), nullptr);
        EXPECT_EQ(document != nullptr, reads);
        IXMLDomWrapper::ReleaseNode(document);
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(VString(xml->c_str()), VString("r"), *bag, XML_ValidateNever),
                  reads ? VE_OK : VE_XML_ParseFatalError);
        if (reads)
        {
            VString text;
            bag->GetString(VValueBag::CDataAttributeName(), text);
            EXPECT_EQ(text.GetLength(), 30000);
            EXPECT_EQ(errors.GetLastError(), VE_OK);
            continue;
        }
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 3u);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
}

// An external entity is read anew at each reference: its bytes count as the document's the first
// time only, and what a file read again adds is held under the cap of what entities add. A footer
// file included 300 times reads; a module of 64 KiB of comments brought in 300 times by a
// document of 3 KB, in its DTD (under one name or many) or in its content, ends with one fatal
// error once 16 MiB are read again (each read used to let the document read as much more). The value-bag
// reader resolves entities through its root handler, which the references of the DTD reach.
TEST_F(XMLLibraryTest, AnExternalEntityReadAgainAddsToWhatEntitiesExpandTo)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    std::filesystem::create_directories(temp.Posix("dtd"));
    WriteFileBytes(temp.Posix("dtd/footer.ent"), "<footer>Printed by the Qel Writer: F</footer>");
    std::string comments;
    while (comments.size() < 64 * 1024)
        comments += "<!-- a line of a module that declares nothing -->\n";
    WriteFileBytes(temp.Posix("dtd/module.mod"), comments);
    WriteFileBytes(temp.Posix("dtd/chapter.ent"), "<chapter>" + comments + "</chapter>");
    const std::string prefix = kDTDPrefix;
    const auto repeated = [](const char* inUse, int inCount)
    {
        std::string uses;
        for (int use = 0; use < inCount; ++use)
            uses += inUse;
        return uses;
    };
    const auto spellings = [&]
    {
        std::string xml = "<!DOCTYPE doc [";
        std::string at = "./";
        for (int spelling = 0; spelling < 300; ++spelling, at += "./")
            xml += "<!ENTITY % m" + std::to_string(spelling) + " SYSTEM \"" + prefix + at +
                   "module.mod\">%m" + std::to_string(spelling) + ";";
        return xml + "]><doc/>";
    };
    const struct
    {
        const char* fWhat;
        std::string fXML;
        bool fReads;
        bool fInDTD;
    } documents[] = {
        {"a footer included 300 times",
         "<!DOCTYPE doc [<!ENTITY footer SYSTEM \"" + prefix + "footer.ent\">]><doc>" +
             repeated("<p>A page.</p>&footer;", 300) + "</doc>",
         true, false},
        {"a module brought into the DTD 300 times",
         "<!DOCTYPE doc [<!ENTITY % module SYSTEM \"" + prefix + "module.mod\">" + repeated("%module;", 300) +
             "]><doc/>",
         false, true},
        {"a module brought into the DTD under 300 spellings of its name", spellings(), false, true},
        {"a chapter of comments included 300 times",
         "<!DOCTYPE doc [<!ENTITY chapter SYSTEM \"" + prefix + "chapter.ent\">]><doc>" +
             repeated("&chapter;", 300) + "</doc>",
         false, false},
    };
    VRefPtr<VFolder> folder(new VFolder(temp.Path("dtd/")));
    const VString entityPrefix(kDTDPrefix);
    const std::u16string refused = u"the document's entities expand to too much text";
    for (const auto& [what, xml, reads, inDTD] : documents)
    {
        SCOPED_TRACE(what);
        StErrorContextInstaller errors(false, true);
        VXMLParser parser;
        parser.SetEntitiesLocalFolder(entityPrefix, folder.Get());
        VRefPtr<MarkerCountingHandler> handler(new MarkerCountingHandler("footer", u'F'));
        EXPECT_EQ(parser.Parse(xml.data(), xml.size(), handler.Get(), XML_ValidateNever), reads);
        if (reads)
        {
            EXPECT_EQ(handler->fItems, 300u);
            EXPECT_EQ(handler->fMarkersInText, 300u);
            EXPECT_EQ(errors.GetLastError(), VE_OK);
            continue;
        }
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "message"), refused);
        if (!inDTD)
            continue;
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(VString(xml.c_str()), VString("doc"), *bag, XML_ValidateNever, &entityPrefix,
                                 folder.Get()),
                  VE_XML_ParseFatalError);
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "message"), refused);
    }
}

// Element types of nested content models, which the library keeps in its grammar and frees with
// it, allocating as it goes.
std::string ContentModels()
{
    std::string declarations;
    for (int type = 0; type < 50; ++type)
        declarations += "<!ELEMENT e" + std::to_string(type) + " (a, (b | c)*, d?)>\n";
    return declarations;
}

// A grammar past which the document's DTD costs more than a document may: through ten levels of
// parameter entities, each ten references to the one below, in an external DTD (parameter entities
// may nest only there), whose values take all the memory allowed; or through an attribute default
// of nested general entities, which makes more expansions than allowed. The budget has ended when
// the grammar is freed: the parse ends with its fatal error, never the process.
TEST_F(XMLLibraryTest, ADTDPastItsBudgetEndsTheParseNotTheProcess)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    std::filesystem::create_directories(temp.Posix("dtd"));
    std::string nested = ContentModels() + "<!ENTITY % p0 \"<!-- -->\">\n";
    for (int level = 1; level < 10; ++level)
    {
        nested += "<!ENTITY % p" + std::to_string(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            nested += "%p" + std::to_string(level - 1) + ";";
        nested += "\">\n";
    }
    WriteFileBytes(temp.Posix("dtd/nested.dtd"), nested + "%p9;\n");
    VRefPtr<VFolder> folder(new VFolder(temp.Path("dtd/")));
    struct Document
    {
        const char* fWhat;
        std::string fXML;
        std::u16string fMessage;
    };
    const Document documents[] = {
        {"nested parameter entities", "<!DOCTYPE r SYSTEM \"" + std::string(kDTDPrefix) + "nested.dtd\"><r/>",
         u"the document takes too much memory to read"},
        {"nested entities in a default",
         NestedEntitiesDeclared("r") + ContentModels() + "<!ATTLIST r v CDATA \"&l9;\">]><r/>",
         u"the document expands too many entities"},
    };
    const VString prefix(kDTDPrefix);
    const uint32_t options = XML_ValidateNever | XML_LoadExternalDTD;
    for (const auto& [what, xml, message] : documents)
    {
        SCOPED_TRACE(what);
        StErrorContextInstaller errors(false, true);
        VXMLParser parser;
        parser.SetEntitiesLocalFolder(prefix, folder.Get());
        VRefPtr<CountingHandler> handler(new CountingHandler);
        EXPECT_FALSE(parser.Parse(xml.data(), xml.size(), handler.Get(), options));
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "message"), message);
        EXPECT_EQ(handler->fElements, 0u);

        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(VString(xml.c_str()), VString("r"), *bag, options, &prefix, folder.Get()),
                  VE_XML_ParseFatalError);
        // The DOM wrapper reads no external DTD: only the default is past its budget.
        VXMLDOMDocument_opaque* document =
            IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr);
        EXPECT_EQ(document != nullptr, xml.find("SYSTEM") != std::string::npos);
        IXMLDomWrapper::ReleaseNode(document);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
}

// The library files names in tables of its own under a hash anyone can compute: names made to share
// it turn each table into a list searched from end to end at every use, a thousand times the cost of
// other names at a few thousands of them. A document whose distinct names share one hash too often
// ends early, with one fatal error; the same document of other names reads.
TEST_F(XMLLibraryTest, NamesMadeToShareTheLibrarysHashAreRefused)
{
    constexpr size_t kNames = 4096;
    {
        const std::vector<std::string> names = NamesOfOneHash(4, 12, true);
        for (const std::string& name : names)
        {
            const std::u16string units(name.begin(), name.end());
            EXPECT_EQ(xercesc::XMLString::hash(units.c_str(), 1000003),
                      xercesc::XMLString::hash(u"agagagagagagagagagagagag", 1000003));
        }
    }
    struct Shape
    {
        const char* fWhat;
        std::string fBefore;
        std::string fItem; // "@" stands for the name
        std::string fAfter;
        uint32_t fOptions;
    };
    const std::string declaredItems = "<!DOCTYPE r [<!ELEMENT r (i*)><!ELEMENT i EMPTY>"
                                      "<!ATTLIST i id ID #REQUIRED>]>\n<r>\n";
    const Shape shapes[] = {
        {"element names", "<r>\n", "<@/>\n", "</r>", XML_ValidateNever},
        {"attribute names", "<r>\n", "<i @=\"\"/>\n", "</r>", XML_ValidateNever},
        {"attributes of one element", "<r", " @=\"\"", "/>", XML_ValidateNever},
        {"namespaces", "<r>\n", "<i xmlns:@=\"urn:@\"/>\n", "</r>", XML_ValidateNever | XML_DoNamespaces},
        {"ID values", declaredItems, "<i id=\"@\"/>\n", "</r>", XML_ValidateAlways},
        {"declared elements", "<!DOCTYPE r [\n", "<!ELEMENT @ EMPTY>\n", "]><r/>", XML_ValidateNever},
        {"declared entities", "<!DOCTYPE r [\n", "<!ENTITY @ \"\">\n", "]><r/>", XML_ValidateNever},
    };
    for (const Shape& shape : shapes)
    {
        SCOPED_TRACE(shape.fWhat);
        for (bool colliding : {true, false})
        {
            SCOPED_TRACE(colliding);
            std::string xml = shape.fBefore;
            for (const std::string& name : NamesOfOneHash(kNames, 12, colliding))
            {
                std::string item = shape.fItem;
                for (size_t at = item.find('@'); at != std::string::npos;
                     at = item.find('@', at + name.size()))
                    item.replace(at, 1, name);
                xml += item;
            }
            xml += shape.fAfter;

            StErrorContextInstaller errors(false, true);
            VXMLParser parser;
            VRefPtr<CountingHandler> handler(new CountingHandler);
            const bool parsed = parser.Parse(xml.data(), xml.size(), handler.Get(), shape.fOptions);
            VXMLDOMDocument_opaque* document =
                IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr);
            if (!colliding)
            {
                EXPECT_TRUE(parsed);
                EXPECT_NE(document, nullptr);
                EXPECT_EQ(errors.GetLastError(), VE_OK);
                IXMLDomWrapper::ReleaseNode(document);
                continue;
            }
            EXPECT_FALSE(parsed);
            EXPECT_EQ(document, nullptr);
            // Both ended within the first tenth of the names, each with one fatal error.
            EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
            for (size_t index = 1; index <= errors.GetContext()->GetErrorCount(); ++index)
            {
                const VErrorBase* error = errors.GetContext()->GetNthError(index);
                EXPECT_EQ(error->GetError(), VE_XML_ParseFatalError);
                int32_t line = 0;
                error->GetBag()->GetLong("line", line);
                EXPECT_LT(line, int32_t(kNames / 10));
            }
        }
    }
}

// 17 entities of 1 MiB in a default, or nested ones: the library expands the DTD's defaults
// without counting the expansions, nor telling them; the readers it makes for them are counted,
// and what it holds stays within the document's budget.
TEST_F(XMLLibraryTest, DefaultsOfTheDTDHoldNoMoreThanTheBudget)
{
    std::string wide = "<!DOCTYPE a [<!ENTITY w \"" + std::string(kMiB, 'w') + "\"><!ATTLIST a v CDATA \"";
    for (int copy = 0; copy < 17; ++copy)
        wide += "&w;\n";
    wide += "\">]><a/>";
    std::string laughs = NestedEntitiesDeclared("a");
    laughs += "<!ATTLIST a v CDATA \"&l9;\">]><a/>";
    for (const std::string& xml : {wide, laughs})
    {
        SCOPED_TRACE(xml.size());
        const size_t share = kXMLAllocationBase + kXMLAllocationPerInputByte * xml.size();
        StErrorContextInstaller errors(false, true);
        VXMLDOMDocument_opaque* document = nullptr;
        EXPECT_LE(CountingMemoryManager::Get().PeakOf(
                      [&] {
                          document =
                              IXMLDomWrapper::CreateNodeDocumentFromBuffer(xml.data(), xml.size(), nullptr);
                      }),
                  share);
        EXPECT_EQ(document, nullptr);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);

        VXMLParser parser;
        VRefPtr<VValueBag> bag(new VValueBag);
        VRefPtr<VXMLBagHandler_UniqueElement> handler(new VXMLBagHandler_UniqueElement(bag.Get(), VString()));
        bool parsed = true;
        EXPECT_LE(CountingMemoryManager::Get().PeakOf(
                      [&]
                      { parsed = parser.Parse(xml.data(), xml.size(), handler.Get(), XML_ValidateNever); }),
                  share);
        EXPECT_FALSE(parsed);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
}

} // namespace
} // namespace kova
