#include "xml/XMLLibrary.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLDomWrapper.h"
#include "xml/ValueBagXML.h"
#include "xml/VXMLParser.h"

#include <gtest/gtest.h>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>

#include <string>
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
// working memory, used again and again, is no cost; what it holds at once is bounded.
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
    // A parse that takes and frees without end still stops, at a turnover in proportion to it.
    StXMLAllocationBudget churning(0);
    size_t rounds = 0;
    try
    {
        for (; rounds < 100000; ++rounds)
            manager->deallocate(manager->allocate(kMiB));
    }
    catch (const xercesc::OutOfMemoryException&)
    {
    }
    EXPECT_TRUE(churning.IsExceeded());
    EXPECT_GT(rounds, 2 * kXMLAllocationBase / kMiB);
    EXPECT_LT(rounds, 100000u);
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

} // namespace
} // namespace kova
