#include "xml/ValueBagXML.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VXMLParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

std::u16string StringOf(const VValueBag& inBag, const char* inName)
{
    VString value;
    if (!inBag.GetString(inName, value))
        return u"<none>";
    return Text(value);
}

std::u16string CDataOf(const VValueBag& inBag)
{
    VString value;
    if (!inBag.GetString(VValueBag::CDataAttributeName(), value))
        return u"<none>";
    return Text(value);
}

// The bytes of a stream record: the version, then the text in the string's stream form.
std::string StreamRecord(uint32_t inVersion, const VString& inText)
{
    VPtrStream stream;
    stream.OpenWriting();
    stream.Put(inVersion);
    inText.WriteToStream(&stream, 0);
    const VStream::UnderlyingData data = stream.GetUnderlyingData();
    std::string bytes(static_cast<const char*>(data.fData), data.fSize);
    stream.CloseWriting();
    return bytes;
}

// The two-bag example: one string attribute and one list of two empty bags.
const char kTwoBags[] = "<bag name=\"value\">\n<item/>\n<item/></bag>";

TEST(ValueBagXMLTest, LoadKeepsAttributesListsAndTextBetweenElements)
{
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    ASSERT_EQ(LoadBagFromXML(VString(kTwoBags), VString("bag"), *bag, 0), VE_OK);
    EXPECT_EQ(StringOf(*bag, "name"), u"value");
    VBagArray* items = bag->GetElements("item");
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->GetCount(), 2);
    EXPECT_EQ(items->GetNth(1)->GetAttributesCount(), 0);
    EXPECT_EQ(CDataOf(*bag), u"\n\n");
    EXPECT_EQ(bag->GetElementNamesCount(), 1);

    // Deeper: children by name in document order, every attribute a string, text and CDATA
    // sections joined, entities decoded.
    const char* nested = "<root n=\"12\" flag=\"true\"><a k=\"1\"><b>x &amp; y<![CDATA[<z>]]></b></a>"
                         "<c/><a k=\"2\"/></root>";
    VRefPtr<VValueBag> tree(new VValueBag);
    ASSERT_EQ(LoadBagFromXML(VString(nested), VString("root"), *tree, 0), VE_OK);
    EXPECT_EQ(tree->GetAttributeValue("n")->GetValueKind(), VK_STRING);
    VBagArray* list = tree->GetElements("a");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(StringOf(*list->GetNth(1), "k"), u"1");
    EXPECT_EQ(StringOf(*list->GetNth(2), "k"), u"2");
    ASSERT_NE(list->GetNth(1)->GetElements("b"), nullptr);
    EXPECT_EQ(CDataOf(*list->GetNth(1)->GetElements("b")->GetNth(1)), u"x & y<z>");
    EXPECT_NE(tree->GetElements("c"), nullptr);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST(ValueBagXMLTest, RootNameSelectsTheDocument)
{
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("kept", VString("yes"));
    // Another root: nothing changes and nothing fails.
    EXPECT_EQ(LoadBagFromXML(VString("<other a=\"1\"><x/></other>"), VString("bag"), *bag, 0), VE_OK);
    EXPECT_EQ(bag->GetAttributesCount(), 1);
    EXPECT_EQ(bag->GetElementNamesCount(), 0);
    // The root name compares without diacritics; an empty one takes any element.
    EXPECT_EQ(LoadBagFromXML(VString(u"<b\u00e0g a=\"1\"/>"), VString("bag"), *bag, 0), VE_OK);
    EXPECT_EQ(StringOf(*bag, "a"), u"1");
    EXPECT_EQ(LoadBagFromXML(VString("<anything b=\"2\"/>"), VString(), *bag, 0), VE_OK);
    EXPECT_EQ(StringOf(*bag, "b"), u"2");
    EXPECT_EQ(StringOf(*bag, "kept"), u"yes");
}

TEST(ValueBagXMLTest, ErrorsJoinTheCallersContextAndKeepWhatWasRead)
{
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(LoadBagFromXML(VString("<bag a=\"1\"><x b=\"2\"/><y>"), VString("bag"), *bag, 0),
              VE_XML_ParseFatalError);
    EXPECT_EQ(StringOf(*bag, "a"), u"1");
    EXPECT_NE(bag->GetElements("x"), nullptr);
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);

    // A load that succeeds answers 0 even after an older error.
    VRefPtr<VValueBag> other(new VValueBag);
    EXPECT_EQ(LoadBagFromXML(VString(kTwoBags), VString("bag"), *other, 0), VE_OK);
}

TEST(ValueBagXMLTest, LoadFromFileWithEntityFolder)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    std::filesystem::create_directories(temp.Posix("dtd"));
    WriteFileBytes(temp.Posix("dtd/bag.dtd"), "<!ENTITY product \"Qel\">");
    WriteFileBytes(temp.Posix("doc.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                          "<!DOCTYPE bag SYSTEM \"urn:qel:bag.dtd\">"
                                          "<bag name=\"&product; \xc3\xa9\"/>");
    VRefPtr<VFile> file(new VFile(temp.Path("doc.xml")));
    VRefPtr<VFolder> folder(new VFolder(temp.Path("dtd/")));
    StErrorContextInstaller errors(false, true);
    const VString prefix("urn:qel:");
    VRefPtr<VValueBag> bag(new VValueBag);
    ASSERT_EQ(LoadBagFromXML(file.Get(), VString("bag"), *bag, XML_ValidateNever | XML_LoadExternalDTD,
                             &prefix, folder.Get()),
              VE_OK);
    EXPECT_EQ(StringOf(*bag, "name"), u"Qel \u00e9");

    // Without the folder, or with one that does not exist, the DTD is empty: the entity gives
    // nothing.
    VRefPtr<VValueBag> alone(new VValueBag);
    LoadBagFromXML(file.Get(), VString("bag"), *alone, XML_ValidateNever | XML_LoadExternalDTD);
    EXPECT_EQ(StringOf(*alone, "name").find(u"Qel"), std::u16string::npos);
    VRefPtr<VFolder> missing(new VFolder(temp.Path("none/")));
    VRefPtr<VValueBag> none(new VValueBag);
    LoadBagFromXML(file.Get(), VString("bag"), *none, XML_ValidateNever | XML_LoadExternalDTD, &prefix,
                   missing.Get());
    EXPECT_EQ(StringOf(*none, "name").find(u"Qel"), std::u16string::npos);
}

TEST(ValueBagXMLTest, StreamRecordOfAnotherVersionIsPassedOver)
{
    const std::string bytes =
        StreamRecord(2, VString("<bag skipped=\"1\"/>")) +
        StreamRecord(1, VString("<?xml version=\"1.0\" encoding=\"UTF-16\"?><bag read=\"1\"/>"));
    VConstPtrStream stream(bytes.data(), bytes.size());
    stream.OpenReading();
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &stream), VE_OK);
    EXPECT_TRUE(bag->IsEmpty());
    // The stream stays in step: the next record is read.
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &stream), VE_OK);
    EXPECT_EQ(StringOf(*bag, "read"), u"1");
    EXPECT_EQ(bag->GetAttributesCount(), 1);
    // Nothing left: the stream's end of data.
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &stream), VE_STREAM_EOF);
    stream.CloseReading();
}

TEST(ValueBagXMLTest, StreamReadAnswersItsOwnErrorsOnly)
{
    StErrorContextInstaller errors(false, true);
    _ThrowError(VE_FILE_NOT_FOUND); // an older error of the task
    const std::string good = StreamRecord(1, VString("<bag a=\"1\"/>"));
    VConstPtrStream stream(good.data(), good.size());
    stream.OpenReading();
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &stream), VE_OK);
    stream.CloseReading();

    const std::string bad = StreamRecord(1, VString("<bag a=\"1\">"));
    VConstPtrStream badStream(bad.data(), bad.size());
    badStream.OpenReading();
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &badStream), VE_XML_ParseFatalError);
    badStream.CloseReading();
    // Big-endian data read by a swapping stream.
    VPtrStream swapped;
    swapped.SetNeedSwap(true);
    swapped.OpenWriting();
    swapped.Put(uint32_t(1));
    VString("<bag big=\"1\"/>").WriteToStream(&swapped, 0);
    const VStream::UnderlyingData data = swapped.GetUnderlyingData();
    const std::string swappedBytes(static_cast<const char*>(data.fData), data.fSize);
    swapped.CloseWriting();
    EXPECT_EQ(swappedBytes.substr(0, 4), std::string("\0\0\0\1", 4));
    VConstPtrStream reader(swappedBytes.data(), swappedBytes.size());
    reader.SetNeedSwap(true);
    reader.OpenReading();
    EXPECT_EQ(ReadBagFromStreamInXML(*bag, &reader), VE_OK);
    EXPECT_EQ(StringOf(*bag, "big"), u"1");
    reader.CloseReading();
}

} // namespace
} // namespace kova
