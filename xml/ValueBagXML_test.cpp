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

VRefPtr<VValueBag> TwoBags()
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("name", VString("value"));
    for (int index = 0; index < 2; ++index)
    {
        VRefPtr<VValueBag> item(new VValueBag);
        bag->AddElement("item", item.Get());
    }
    return bag;
}

// A bag of every common kind, nested, with character data that needs escapes.
VRefPtr<VValueBag> RichBag()
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("text", VString(u"a <b> & \"c\" \u00e9\u4e2d"));
    bag->SetLong("count", -12);
    bag->SetBool("yes", true);
    bag->SetBool("no", false);
    bag->SetReal("ratio", 0.5);
    VRefPtr<VValueBag> child(new VValueBag);
    child->SetString("k", VString("v"));
    child->AppendToCData(VString("x < y"));
    VRefPtr<VValueBag> grandchild(new VValueBag);
    child->AddElement("leaf", grandchild.Get());
    bag->AddElement("child", child.Get());
    VRefPtr<VValueBag> other(new VValueBag);
    bag->AddElement("other", other.Get());
    return bag;
}

std::string Bytes(const std::string& inPath)
{
    return ReadFileBytes(inPath);
}

TEST(ValueBagXMLTest, FileFormIsTheDeclarationAndTheElement)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    StErrorContextInstaller errors(false, true);
    VRefPtr<VFile> file(new VFile(temp.Path("bag.xml")));
    ASSERT_EQ(WriteBagToFileInXML(*TwoBags(), VString("bag"), file.Get(), false), VE_OK);
    EXPECT_EQ(Bytes(temp.Posix("bag.xml")),
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + kTwoBags);

    // Indented: a tab per level below the root, the closing tag of an element with children on a
    // line of its own.
    ASSERT_EQ(WriteBagToFileInXML(*TwoBags(), VString("bag"), file.Get(), true), VE_OK);
    EXPECT_EQ(Bytes(temp.Posix("bag.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><bag name=\"value\">\n\t<item/>\n"
              "\t<item/>\n</bag>");
    EXPECT_EQ(WriteBagToFileInXML(*TwoBags(), VString("bag"), nullptr, false), VE_OK);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

// The server link file of a client customization, as the updater writes it, pinned byte for byte.
TEST(ValueBagXMLTest, ServerLinkFileIsPinned)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetBool("is_remote", true);
    bag->SetString("server_database_name", VString());
    bag->SetString("server_path", VString("10.0.0.5:19813"));
    bag->SetString("cache_folder_name", VString());
    bag->SetBool("remote_shared_resources", false);
    VRefPtr<VFile> file(new VFile(temp.Path("Contents/Database/EnginedServer.Qellink")));
    ASSERT_EQ(WriteBagToFileInXML(*bag, VString("database_shortcut"), file.Get(), false), VE_OK);
    const std::string fixture =
        (std::filesystem::path(__FILE__).parent_path() / "fixtures" / "EnginedServer.Qellink").string();
    const std::string pinned = Bytes(fixture);
    ASSERT_FALSE(pinned.empty());
    EXPECT_EQ(Bytes(temp.Posix("Contents/Database/EnginedServer.Qellink")), pinned);

    VRefPtr<VValueBag> read(new VValueBag);
    ASSERT_EQ(LoadBagFromXML(file.Get(), VString("database_shortcut"), *read, 0), VE_OK);
    EXPECT_EQ(StringOf(*read, "is_remote"), u"true");
    EXPECT_EQ(StringOf(*read, "server_path"), u"10.0.0.5:19813");
    EXPECT_EQ(StringOf(*read, "remote_shared_resources"), u"false");
}

TEST(ValueBagXMLTest, RoundTripThroughFileAndStream)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag = RichBag();
    VRefPtr<VFile> file(new VFile(temp.Path("rich.xml")));
    for (bool indented : {false, true})
    {
        SCOPED_TRACE(indented);
        ASSERT_EQ(WriteBagToFileInXML(*bag, VString("rich"), file.Get(), indented), VE_OK);
        VRefPtr<VValueBag> read(new VValueBag);
        ASSERT_EQ(LoadBagFromXML(file.Get(), VString("rich"), *read, 0), VE_OK);
        EXPECT_EQ(StringOf(*read, "text"), u"a <b> & \"c\" \u00e9\u4e2d");
        EXPECT_EQ(StringOf(*read, "count"), u"-12");
        EXPECT_EQ(StringOf(*read, "yes"), u"true");
        EXPECT_EQ(StringOf(*read, "no"), u"false");
        EXPECT_EQ(StringOf(*read, "ratio"), u"0.5");
        ASSERT_NE(read->GetElements("child"), nullptr);
        const VValueBag* child = read->GetElements("child")->GetNth(1);
        EXPECT_EQ(StringOf(*child, "k"), u"v");
        EXPECT_NE(CDataOf(*child).find(u"x < y"), std::u16string::npos);
        EXPECT_NE(child->GetElements("leaf"), nullptr);
        EXPECT_NE(read->GetElements("other"), nullptr);
    }

    // The stream record: version 1 in the stream's order, then the text in the string's form.
    for (bool swap : {false, true})
    {
        SCOPED_TRACE(swap);
        VPtrStream stream;
        stream.SetNeedSwap(swap);
        stream.OpenWriting();
        ASSERT_EQ(WriteBagToStreamInXML(*TwoBags(), &stream), VE_OK);
        const VStream::UnderlyingData data = stream.GetUnderlyingData();
        const std::string bytes(static_cast<const char*>(data.fData), data.fSize);
        stream.CloseWriting();
        EXPECT_EQ(bytes.substr(0, 4), swap ? std::string("\0\0\0\1", 4) : std::string("\1\0\0\0", 4));
        VConstPtrStream reader(bytes.data(), bytes.size());
        reader.SetNeedSwap(swap);
        reader.OpenReading();
        uint32_t version = 0;
        reader.Get(version);
        VString text;
        ASSERT_EQ(text.ReadFromStream(&reader, 0), VE_OK);
        EXPECT_EQ(
            Text(text),
            Text(VString((std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") + kTwoBags).c_str())));
        reader.SetPos(0);
        VRefPtr<VValueBag> read(new VValueBag);
        ASSERT_EQ(ReadBagFromStreamInXML(*read, &reader), VE_OK);
        EXPECT_EQ(StringOf(*read, "name"), u"value");
        ASSERT_NE(read->GetElements("item"), nullptr);
        EXPECT_EQ(read->GetElements("item")->GetCount(), 2);
        reader.CloseReading();
    }
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST(ValueBagXMLTest, FailedWritesLeaveTheOldFileWhole)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    const std::string path = temp.Posix("keep.xml");
    WriteFileBytes(path, "<old/>");
    VRefPtr<VFile> file(new VFile(temp.Path("keep.xml")));
    StErrorContextInstaller errors(false, true);
    {
        StIOFault fault(true, ENOSPC, 10);
        EXPECT_NE(WriteBagToFileInXML(*RichBag(), VString("rich"), file.Get(), false), VE_OK);
    }
    EXPECT_EQ(Bytes(path), "<old/>");

    // A name XML cannot hold: the bag cannot be written whole, so nothing is written.
    VRefPtr<VValueBag> bad = TwoBags();
    bad->SetString("not a name", VString("x"));
    EXPECT_EQ(WriteBagToFileInXML(*bad, VString("bag"), file.Get(), false), VE_INVALID_PARAMETER);
    EXPECT_EQ(Bytes(path), "<old/>");
    VPtrStream stream;
    stream.OpenWriting();
    EXPECT_EQ(WriteBagToStreamInXML(*bad, &stream), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.GetSize(), 0);
    stream.CloseWriting();
}

// Where a text goes in the bag written as an XML element.
enum class Place
{
    kAttributeValue,
    kText,
    kAttributeName,
    kElementName,
    kRootName,
};

// A one-level bag holding the text at the place, and the root name to write it under.
VRefPtr<VValueBag> BagWith(Place inPlace, const VString& inText, VString& outRoot)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    VRefPtr<VValueBag> child(new VValueBag);
    outRoot = VString("bag");
    switch (inPlace)
    {
    case Place::kAttributeValue:
        child->SetString("server_path", inText);
        break;
    case Place::kText:
        child->AppendToCData(inText);
        break;
    case Place::kAttributeName:
        child->SetString(inText, VString("x"));
        break;
    case Place::kElementName:
        bag->AddElement(inText, child.Get());
        return bag;
    case Place::kRootName:
        outRoot = inText;
        break;
    }
    bag->AddElement("item", child.Get());
    return bag;
}

VString Units(std::initializer_list<UniChar> inUnits)
{
    VString text;
    for (UniChar unit : inUnits)
        text.AppendUniChar(unit);
    return text;
}

// What cannot be written as well-formed XML is refused whole: an error, the old file kept, nothing
// in the stream.
TEST(ValueBagXMLTest, WritersRefuseWhatXMLCannotHold)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    const std::string path = temp.Posix("keep.xml");
    VRefPtr<VFile> file(new VFile(temp.Path("keep.xml")));
    auto expectRefused = [&](Place inPlace, const VString& inText)
    {
        WriteFileBytes(path, "<old/>");
        VString root;
        VRefPtr<VValueBag> bag = BagWith(inPlace, inText, root);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(WriteBagToFileInXML(*bag, root, file.Get(), false), VE_INVALID_PARAMETER);
        EXPECT_EQ(errors.GetLastError(), VE_INVALID_PARAMETER);
        EXPECT_EQ(Bytes(path), "<old/>");
        VPtrStream stream;
        stream.OpenWriting();
        if (inPlace != Place::kRootName) // the stream record's root is always "bag"
        {
            EXPECT_EQ(WriteBagToStreamInXML(*bag, &stream), VE_INVALID_PARAMETER);
            EXPECT_EQ(stream.GetSize(), 0);
        }
        stream.CloseWriting();
    };
    // Units XML 1.0 has no character for, alone or inside a text: C0 controls but tab, line feed
    // and carriage return; U+FFFE and U+FFFF; surrogates that are not a pair.
    const struct
    {
        const char* fWhat;
        VString fText;
    } badCharacters[] = {
        {"NUL", Units({u'a', 0x0000, u'b'})},
        {"U+0001", Units({0x0001})},
        {"U+0008", Units({u'a', 0x0008})},
        {"U+000B", Units({0x000B, u'b'})},
        {"U+000C", Units({0x000C})},
        {"U+001F", Units({u'a', 0x001F, u'b'})},
        {"U+FFFE", Units({u'a', 0xFFFE})},
        {"U+FFFF", Units({0xFFFF})},
        {"lone high surrogate", Units({u'a', 0xD800, u'b'})},
        {"high surrogate at the end", Units({u'a', 0xDBFF})},
        {"lone low surrogate", Units({0xDC00, u'b'})},
        {"pair reversed", Units({0xDC00, 0xD800})},
    };
    for (const auto& test : badCharacters)
    {
        for (Place place : {Place::kAttributeValue, Place::kText, Place::kAttributeName, Place::kElementName,
                            Place::kRootName})
        {
            SCOPED_TRACE(std::string(test.fWhat) + " at place " + std::to_string(int(place)));
            expectRefused(place, test.fText);
        }
    }
    // Names that XML does not allow, whatever their characters.
    const char16_t* const badNames[] = {u"",    u"1abc", u"-a",   u".a",     u"a b",    u"a<b",
                                        u"a&b", u"a=b",  u"a\"b", u"\u00d7", u"a\u037e"};
    for (size_t index = 0; index < std::size(badNames); ++index)
    {
        for (Place place : {Place::kAttributeName, Place::kElementName, Place::kRootName})
        {
            SCOPED_TRACE("name " + std::to_string(index) + " at place " + std::to_string(int(place)));
            expectRefused(place, VString(badNames[index]));
        }
    }

    // What XML can carry is written and reads back as a document.
    const VString good = Units({u'\t', u'a', u'\n', 0xE000, 0xFFFD, 0xD800, 0xDC00, u'\r', u'<'});
    for (Place place : {Place::kAttributeValue, Place::kText})
    {
        SCOPED_TRACE(int(place));
        VString root;
        VRefPtr<VValueBag> bag = BagWith(place, good, root);
        StErrorContextInstaller errors(false, true);
        ASSERT_EQ(WriteBagToFileInXML(*bag, root, file.Get(), false), VE_OK);
        VRefPtr<VValueBag> read(new VValueBag);
        EXPECT_EQ(LoadBagFromXML(file.Get(), root, *read, 0), VE_OK);
        EXPECT_EQ(errors.GetLastError(), VE_OK);
    }
    VString root;
    VRefPtr<VValueBag> named =
        BagWith(Place::kElementName, VString(u"\u00e9t\u00e9_1.x-y:z\U00010000"), root);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(WriteBagToFileInXML(*named, root, file.Get(), false), VE_OK);
}

// A reader turns a raw tab, line feed or carriage return of an attribute value into a space (and
// a CR LF into one space), so the writers give those three as character references; character
// data keeps them as they are.
TEST(ValueBagXMLTest, AttributeValuesKeepTheirLineBreaksAndTabs)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    StErrorContextInstaller errors(false, true);
    const std::pair<const char*, std::u16string> values[] = {
        {"lf", u"first\nsecond"},         {"cr", u"first\rsecond"},
        {"crlf", u"first\r\nsecond\r\n"}, {"tab", u"\tindented\t"},
        {"only_breaks", u"\n\r\t"},       {"markup", u"<a href=\"x\">\n\t&amp; 'b'</a>"},
        {"spaces", u"  two  spaces  "},
    };
    VRefPtr<VValueBag> bag(new VValueBag);
    VRefPtr<VValueBag> child(new VValueBag);
    for (const auto& [name, value] : values)
    {
        bag->SetString(name, VString(value.c_str()));
        child->SetString(name, VString(value.c_str()));
    }
    child->AppendToCData(VString("line one\nline two\ttab"));
    bag->AddElement("child", child.Get());

    auto expectSame = [&](const VValueBag& inRead)
    {
        const VValueBag* readChild =
            inRead.GetElements("child") != nullptr ? inRead.GetElements("child")->GetNth(1) : nullptr;
        ASSERT_NE(readChild, nullptr);
        for (const auto& [name, value] : values)
        {
            SCOPED_TRACE(name);
            EXPECT_EQ(StringOf(inRead, name), value);
            EXPECT_EQ(StringOf(*readChild, name), value);
        }
        EXPECT_EQ(CDataOf(*readChild), u"line one\nline two\ttab");
    };

    VRefPtr<VFile> file(new VFile(temp.Path("link.xml")));
    for (bool indented : {false, true})
    {
        SCOPED_TRACE(indented);
        ASSERT_EQ(WriteBagToFileInXML(*bag, VString("bag"), file.Get(), indented), VE_OK);
        const std::string bytes = Bytes(temp.Posix("link.xml"));
        EXPECT_NE(bytes.find(" lf=\"first&#10;second\""), std::string::npos);
        EXPECT_NE(bytes.find(" crlf=\"first&#13;&#10;second&#13;&#10;\""), std::string::npos);
        EXPECT_NE(bytes.find(" tab=\"&#9;indented&#9;\""), std::string::npos);
        EXPECT_NE(
            bytes.find(" markup=\"&lt;a href=&quot;x&quot;&gt;&#10;&#9;&amp;amp; &apos;b&apos;&lt;/a&gt;\""),
            std::string::npos);
        // Character data is written as before: in a section that keeps its breaks.
        EXPECT_NE(bytes.find("<![CDATA[line one\nline two\ttab]]>"), std::string::npos);
        VRefPtr<VValueBag> read(new VValueBag);
        ASSERT_EQ(LoadBagFromXML(file.Get(), VString("bag"), *read, 0), VE_OK);
        expectSame(*read);
    }

    VPtrStream stream;
    stream.OpenWriting();
    ASSERT_EQ(WriteBagToStreamInXML(*bag, &stream), VE_OK);
    const VStream::UnderlyingData data = stream.GetUnderlyingData();
    const std::string record(static_cast<const char*>(data.fData), data.fSize);
    stream.CloseWriting();
    VConstPtrStream reader(record.data(), record.size());
    reader.OpenReading();
    VRefPtr<VValueBag> read(new VValueBag);
    ASSERT_EQ(ReadBagFromStreamInXML(*read, &reader), VE_OK);
    reader.CloseReading();
    expectSame(*read);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

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

    // A link in the folder that leads out of it is not followed.
    WriteFileBytes(temp.Posix("outside.dtd"), "<!ENTITY product \"Leak\">");
    ASSERT_EQ(symlink("../outside.dtd", temp.Posix("dtd/linked.dtd").c_str()), 0);
    const VString linked("<!DOCTYPE bag SYSTEM \"urn:qel:linked.dtd\"><bag name=\"&product;\"/>");
    VRefPtr<VValueBag> leaked(new VValueBag);
    LoadBagFromXML(linked, VString("bag"), *leaked, XML_ValidateNever | XML_LoadExternalDTD, &prefix,
                   folder.Get());
    EXPECT_EQ(StringOf(*leaked, "name").find(u"Leak"), std::u16string::npos);
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
