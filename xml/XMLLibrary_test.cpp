#include "xml/XMLLibrary.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLDomWrapper.h"
#include "xml/ValueBagXML.h"
#include "xml/VXMLBagHandler.h"
#include "xml/VXMLParser.h"
#include "xml/XMLTesting_test.h"

#include <gtest/gtest.h>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
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
