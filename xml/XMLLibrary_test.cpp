#include "xml/XMLLibrary.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
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
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <mutex>
#include <random>
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

// Blocks of 1 MiB taken and freed at once until one is refused, at most 100,000; the count taken.
size_t ChurnUntilRefused()
{
    xercesc::MemoryManager* manager = XMLBudgetedMemoryManager();
    size_t rounds = 0;
    try
    {
        for (; rounds < 100000; ++rounds)
            manager->deallocate(manager->allocate(kMiB));
    }
    catch (const xercesc::OutOfMemoryException&)
    {
    }
    return rounds;
}

void FreeAll(std::vector<void*>& ioHeld)
{
    for (void* block : ioHeld)
        XMLBudgetedMemoryManager()->deallocate(block);
    ioHeld.clear();
}

// The budget charges what the library holds: what it frees is given back, so that a document's
// working memory, used again and again, is no cost; what it holds at once is bounded.
TEST_F(XMLLibraryTest, BudgetChargesWhatIsHeldAtOnce)
{
    xercesc::MemoryManager* manager = XMLBudgetedMemoryManager();
    std::vector<void*> held;
    // Made before the parse: freeing it in the parse gives the parse nothing.
    void* earlier = manager->allocate(8 * kMiB);
    {
        StXMLAllocationBudget budget(0);
        budget.EnterContent();
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
        next.EnterContent();
        FreeAll(held);
        EXPECT_EQ(HoldUntilRefused(held), kXMLAllocationBase / kMiB + kXMLAllocationPerInputByte);
        FreeAll(held);
    }
    // A parse that takes and frees without end still stops, at a turnover in proportion to it.
    {
        StXMLAllocationBudget churning(0);
        churning.EnterContent();
        const size_t rounds = ChurnUntilRefused();
        EXPECT_TRUE(churning.IsExceeded());
        EXPECT_GT(rounds, 2 * kXMLAllocationBase / kMiB);
        EXPECT_LT(rounds, 100000u);
    }
    // Before the root element, what is allocated in all stops at the declarations' share.
    StXMLAllocationBudget declarations(kMiB);
    EXPECT_EQ(ChurnUntilRefused(), kXMLAllocationBase / kMiB + kXMLDeclarationAllocationPerInputByte);
    EXPECT_TRUE(declarations.IsExceeded());
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

// inCount names of inBlocks pairs of letters: made of the pairs "ag" and "bA", which the library's
// hash takes alike from any state, so that all of them share its hash whatever the table; or of
// letters drawn at random.
std::vector<std::string> NamesOfOneHash(size_t inCount, int inBlocks, bool inColliding)
{
    std::vector<std::string> names;
    std::mt19937 random(7);
    for (size_t index = 0; index < inCount; ++index)
    {
        std::string name;
        for (int block = 0; block < inBlocks; ++block)
        {
            if (inColliding)
            {
                name += (index >> block) & 1 ? "bA" : "ag";
            }
            else
            {
                name += char('a' + random() % 26);
                name += char('a' + random() % 26);
            }
        }
        names.push_back(name);
    }
    return names;
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

// Counts, below the budget, what the library holds and allocates while it is on: put in place of
// the library's own memory manager, which it calls for each block. It lives as long as the process,
// since what the library makes while it is in place keeps it as its manager.
class CountingMemoryManager : public xercesc::MemoryManager
{
public:
    static CountingMemoryManager& Get()
    {
        static CountingMemoryManager* sManager = new CountingMemoryManager;
        return *sManager;
    }

    xercesc::MemoryManager* getExceptionMemoryManager() override { return fOriginal; }
    void* allocate(XMLSize_t inSize) override
    {
        void* block = fOriginal->allocate(inSize);
        std::lock_guard<std::mutex> lock(fMutex);
        fSizes[block] = inSize;
        fHeld += inSize;
        fPeak = std::max(fPeak, fHeld);
        return block;
    }
    void deallocate(void* inBlock) override
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (auto found = fSizes.find(inBlock); found != fSizes.end())
            {
                fHeld -= found->second;
                fSizes.erase(found);
            }
        }
        fOriginal->deallocate(inBlock);
    }

    // The most the body held at once.
    template <class Body>
    size_t PeakOf(Body&& inBody)
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            fSizes.clear();
            fHeld = fPeak = 0;
        }
        fOriginal = xercesc::XMLPlatformUtils::fgMemoryManager;
        xercesc::XMLPlatformUtils::fgMemoryManager = this;
        inBody();
        xercesc::XMLPlatformUtils::fgMemoryManager = fOriginal;
        return fPeak;
    }

private:
    xercesc::MemoryManager* fOriginal = nullptr;
    std::mutex fMutex;
    std::unordered_map<void*, size_t> fSizes;
    size_t fHeld = 0;
    size_t fPeak = 0;
};

// 17 entities of 1 MiB in a default, or nested ones: the library expands the DTD's defaults
// without counting the expansions, so only what it allocates stops it. Until the root element
// starts, it allocates in all no more than the declarations of a document may take (the content
// may hold more at once).
TEST_F(XMLLibraryTest, DeclarationsAllocateNoMoreThanTheirShare)
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
        const size_t share = kXMLAllocationBase + kXMLDeclarationAllocationPerInputByte * xml.size();
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
