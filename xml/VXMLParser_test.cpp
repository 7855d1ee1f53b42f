#include "xml/VXMLParser.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"
#include "xml/IXMLHandler.h"
#include "xml/XMLLibrary.h"
#include "xml/XMLTesting_test.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using Events = std::vector<std::u16string>;

// Logs every call it receives into a shared list; returns itself for every element but those it
// is told to skip.
class RecordingHandler : public VObject, public IXMLHandler
{
public:
    RecordingHandler(std::shared_ptr<Events> inEvents, std::set<std::u16string> inSkipped = {})
        : fEvents(std::move(inEvents)), fSkipped(std::move(inSkipped))
    {
    }

    IXMLHandler* StartElement(const VString& inName) override
    {
        Log(u"start " + Text(inName));
        if (fSkipped.count(Text(inName)) != 0)
            return nullptr;
        Retain();
        return this;
    }
    void EndElement(const VString& inName) override { Log(u"end " + Text(inName)); }
    void SetAttribute(const VString& inName, const VString& inValue) override
    {
        Log(u"attr " + Text(inName) + u"=" + Text(inValue));
    }
    void SetText(const VString& inText) override { Log(u"text " + Text(inText)); }
    void StartStyleSheet() override { Log(u"style"); }
    void SetStyleSheetAttribute(const VString& inName, const VString& inValue) override
    {
        Log(u"style " + Text(inName) + u"=" + Text(inValue));
    }
    void EndStyleSheet() override { Log(u"style end"); }

private:
    void Log(std::u16string inEvent) { fEvents->push_back(std::move(inEvent)); }

    std::shared_ptr<Events> fEvents;
    std::set<std::u16string> fSkipped;
};

class VXMLParserTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(VXMLParser::Init()); }
    void TearDown() override { VXMLParser::DeInit(); }

    // Parses the bytes with a recording root handler; the events in fEvents.
    bool ParseBytes(const std::string& inXML, uint32_t inOptions = 0, std::set<std::u16string> inSkipped = {})
    {
        fEvents->clear();
        VRefPtr<RecordingHandler> handler(new RecordingHandler(fEvents, std::move(inSkipped)));
        return fParser.Parse(inXML.data(), inXML.size(), handler.Get(), inOptions);
    }

    VXMLParser fParser;
    std::shared_ptr<Events> fEvents = std::make_shared<Events>();
};

int32_t LongParameter(const VErrorBase* inError, const char* inName)
{
    int32_t value = -1;
    if (inError != nullptr)
        inError->GetBag()->GetLong(inName, value);
    return value;
}

TEST_F(VXMLParserTest, HandlerStackSkipsSubtreesAndClosesEmptyElementsAtOnce)
{
    StErrorContextInstaller errors(false, true);
    const std::string xml = "<?xml version=\"1.0\"?>\n"
                            "<!-- comment --><root a=\"1\" b='two'><skip x=\"y\"><inner>lost</inner></skip>"
                            "<leaf only=\"one\"/><kx:item kx:includeIf=\"mac\">t</kx:item></root>";
    ASSERT_TRUE(ParseBytes(xml, 0, {u"skip"}));
    const Events expected = {u"start root", u"attr a=1",      u"attr b=two",
                             u"start skip", u"start leaf",    u"attr only=one",
                             u"end leaf",   u"start kx:item", u"attr kx:includeIf=mac",
                             u"text t",     u"end kx:item",   u"end root"};
    EXPECT_EQ(*fEvents, expected);
    EXPECT_EQ(errors.GetLastError(), VE_OK);

    // With namespaces the names still come as written.
    const std::string withNamespace = "<root xmlns:kx=\"urn:k\"><kx:item kx:includeIf=\"win\"/></root>";
    ASSERT_TRUE(ParseBytes(withNamespace, XML_DoNamespaces));
    const Events namespaced = {u"start root",    u"attr xmlns:kx=urn:k",
                               u"start kx:item", u"attr kx:includeIf=win",
                               u"end kx:item",   u"end root"};
    EXPECT_EQ(*fEvents, namespaced);
}

TEST_F(VXMLParserTest, RootThatTakesNothingAndNullRootStillCheckTheDocument)
{
    StErrorContextInstaller errors(false, true);
    ASSERT_TRUE(ParseBytes("<root a=\"1\"><child>text</child></root>", 0, {u"root"}));
    EXPECT_EQ(*fEvents, Events{u"start root"});

    const std::string good = "<root><child/></root>";
    EXPECT_TRUE(fParser.Parse(good.data(), good.size(), nullptr, 0));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
    const std::string bad = "<root><child></root>";
    EXPECT_FALSE(fParser.Parse(bad.data(), bad.size(), nullptr, 0));
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
}

TEST_F(VXMLParserTest, TextComesRunByRunUnjoined)
{
    StErrorContextInstaller errors(false, true);
    ASSERT_TRUE(ParseBytes("<a>one<![CDATA[<two>]]>three<b/>\n four</a>"));
    Events texts;
    for (const std::u16string& event : *fEvents)
    {
        if (event.rfind(u"text ", 0) == 0)
            texts.push_back(event.substr(5));
    }
    ASSERT_GE(texts.size(), 4u);
    std::u16string joined;
    for (const std::u16string& text : texts)
        joined += text;
    EXPECT_EQ(joined, u"one<two>three\n four");
    EXPECT_EQ(texts[0], u"one");
    EXPECT_EQ(texts[1], u"<two>");
}

TEST_F(VXMLParserTest, FatalErrorKeepsEarlierEventsAndNamesThePlace)
{
    StErrorContextInstaller errors(false, true);
    EXPECT_FALSE(ParseBytes("<root>\n  <a>x</a>\n  <b></c>\n</root>"));
    EXPECT_EQ(fEvents->front(), u"start root");
    EXPECT_NE(std::find(fEvents->begin(), fEvents->end(), u"end a"), fEvents->end());
    ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
    const VErrorBase* error = LastErrorObject(errors);
    EXPECT_EQ(error->GetError(), VE_XML_ParseFatalError);
    EXPECT_EQ(LongParameter(error, "line"), 3);
    EXPECT_GT(LongParameter(error, "column"), 0);
    EXPECT_EQ(StringParameter(error, "systemID"), u"frommem");
    EXPECT_EQ(StringParameter(error, "publicID"), u"");
    EXPECT_NE(StringParameter(error, "message"), u"");
}

TEST_F(VXMLParserTest, ValidityErrorGoesOnAndReportsError2)
{
    StErrorContextInstaller errors(false, true);
    const std::string xml = "<!DOCTYPE root [<!ELEMENT root (a)><!ELEMENT a EMPTY>"
                            "<!ATTLIST a kind CDATA \"plain\">]>"
                            "<root><a/><b/></root>";
    EXPECT_FALSE(ParseBytes(xml, XML_ValidateAlways));
    EXPECT_EQ(fEvents->back(), u"end root");
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseError);

    // A default from the DTD reaches the handler only when asked for.
    StErrorContextInstaller quiet(false, true);
    const std::string valid = "<!DOCTYPE root [<!ELEMENT root (a)><!ELEMENT a EMPTY>"
                              "<!ATTLIST a kind CDATA \"plain\">]><root><a/></root>";
    ASSERT_TRUE(ParseBytes(valid, XML_ValidateNever));
    EXPECT_EQ(std::count(fEvents->begin(), fEvents->end(), u"attr kind=plain"), 0);
    ASSERT_TRUE(ParseBytes(valid, XML_ValidateNever | XML_ReportUnspecifiedAttributes));
    EXPECT_EQ(std::count(fEvents->begin(), fEvents->end(), u"attr kind=plain"), 1);
}

TEST_F(VXMLParserTest, StringIsReadAsUTF16WhateverItDeclares)
{
    StErrorContextInstaller errors(false, true);
    VString text(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a t=\"\u00e9\u4e2d\">\U0001F600</a>");
    VRefPtr<RecordingHandler> handler(new RecordingHandler(fEvents));
    ASSERT_TRUE(fParser.Parse(text, handler.Get(), 0));
    const Events expected = {u"start a", u"attr t=\u00e9\u4e2d", u"text \U0001F600", u"end a"};
    EXPECT_EQ(*fEvents, expected);
}

struct StyleSheetCase
{
    const char* fData;
    Events fCalls;
};

TEST_F(VXMLParserTest, StyleSheetPseudoAttributes)
{
    const StyleSheetCase cases[] = {
        {"href=\"style.css\" type='text/css'",
         {u"style", u"style href=style.css", u"style type=text/css", u"style end"}},
        {"href = 'a.xsl'", {u"style", u"style href=a.xsl", u"style end"}},
        // A blank ends a token even inside quotes.
        {"title=\"two words\" media=\"all\"",
         {u"style", u"style title=\"two", u"style media=all", u"style end"}},
        {"alone", {u"style", u"style end"}},
        {"=\"no name\"", {u"style", u"style end"}},
    };
    StErrorContextInstaller errors(false, true);
    for (const StyleSheetCase& test : cases)
    {
        SCOPED_TRACE(test.fData);
        ASSERT_TRUE(ParseBytes(std::string("<?xml-stylesheet ") + test.fData + "?><a/>"));
        Events calls(fEvents->begin(), fEvents->end() - 2); // less the element's events
        EXPECT_EQ(calls, test.fCalls);
    }
    // Other instructions reach no style-sheet call.
    ASSERT_TRUE(ParseBytes("<?other href=\"x\"?><a/>"));
    EXPECT_EQ(*fEvents, (Events{u"start a", u"end a"}));
}

TEST(IXMLHandlerTest, CharacterClasses)
{
    for (UniChar unit : {u' ', u'\t', u'\n', u'\f', u'\r'})
        EXPECT_TRUE(IXMLHandler::WCharIsSpace(unit)) << int(unit);
    for (UniChar unit : {u'a', u'\v', u'\u00a0', u'\u3000', u'\0'})
        EXPECT_FALSE(IXMLHandler::WCharIsSpace(unit)) << int(unit);
    for (UniChar unit : {u'a', u'\t', u'\n', u'\r', u'\u00e9', u'\ufffd'})
        EXPECT_TRUE(IXMLHandler::IsXMLChar(unit)) << int(unit);
    for (UniChar unit : {u'\0', u'\x01', u'\x1f', u'\ufffe', u'\uffff'})
        EXPECT_FALSE(IXMLHandler::IsXMLChar(unit)) << int(unit);
}

// Text of UTF-8 bytes.
VString UTF8(const std::string& inText)
{
    return VString(inText.data(), inText.size(), VTC_UTF_8);
}

// ---- entities

class VXMLParserEntityTest : public VXMLParserTest
{
protected:
    void SetUp() override
    {
        VXMLParserTest::SetUp();
        ASSERT_TRUE(fTemp.IsValid());
        std::filesystem::create_directories(fTemp.Posix("entities/sub"));
        WriteFileBytes(fTemp.Posix("entities/sub/defs.dtd"), "<!ENTITY greeting \"hello from the DTD\">");
        WriteFileBytes(fTemp.Posix("entities/part.xml"), "<part>inside</part>");
        WriteFileBytes(fTemp.Posix("secret.txt"), "SECRET");
        // Links out of the folder, to the file and to the folder above; one that stays inside.
        ASSERT_EQ(symlink("../secret.txt", fTemp.Posix("entities/out.txt").c_str()), 0);
        ASSERT_EQ(symlink("..", fTemp.Posix("entities/up").c_str()), 0);
        ASSERT_EQ(symlink("sub/defs.dtd", fTemp.Posix("entities/in.dtd").c_str()), 0);
        fFolder = VRefPtr<VFolder>(new VFolder(fTemp.Path("entities/")));
    }

    bool HasSecret() const
    {
        for (const std::u16string& event : *fEvents)
        {
            if (event.find(u"SECRET") != std::u16string::npos)
                return true;
        }
        return false;
    }

    StTemporaryFolder fTemp;
    VRefPtr<VFolder> fFolder;
};

TEST_F(VXMLParserEntityTest, SystemIDsResolveInsideTheEntityFolder)
{
    StErrorContextInstaller errors(false, true);
    fParser.SetEntitiesLocalFolder(VString("http://example.com/dtd/"), fFolder.Get());
    const std::string xml = "<!DOCTYPE a SYSTEM \"http://example.com/dtd/sub/defs.dtd\">"
                            "<a>&greeting;</a>";
    ASSERT_TRUE(ParseBytes(xml, XML_LoadExternalDTD | XML_ValidateNever));
    EXPECT_EQ(*fEvents, (Events{u"start a", u"text hello from the DTD", u"end a"}));

    // The handler's own folder comes first.
    VRefPtr<RecordingHandler> handler(new RecordingHandler(fEvents));
    handler->SetEntitiesLocalFolder(VString("local:"), fFolder.Get());
    fEvents->clear();
    const std::string external = "<!DOCTYPE a [<!ENTITY p SYSTEM \"local:part.xml\">]><a>&p;</a>";
    ASSERT_TRUE(fParser.Parse(external.data(), external.size(), handler.Get(), XML_ValidateNever));
    EXPECT_EQ(*fEvents, (Events{u"start a", u"start part", u"text inside", u"end part", u"end a"}));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST_F(VXMLParserEntityTest, NothingOutsideTheFolderIsRead)
{
    StErrorContextInstaller errors(false, true);
    fParser.SetEntitiesLocalFolder(VString(""), fFolder.Get());
    const std::string secret = fTemp.Posix("secret.txt");
    const std::string ids[] = {"../secret.txt", "sub/../../secret.txt",    secret,    "file://" + secret,
                               "sub//defs.dtd", "http://localhost:1/none", "out.txt", "up/secret.txt"};
    for (const std::string& id : ids)
    {
        SCOPED_TRACE(id);
        const std::string xml = "<!DOCTYPE a [<!ENTITY e SYSTEM \"" + id + "\">]><a>[&e;]</a>";
        EXPECT_TRUE(ParseBytes(xml, XML_ValidateNever));
        EXPECT_FALSE(HasSecret());
        EXPECT_EQ(fEvents->size(), 4u); // start, "[", "]", end: the entity is empty
    }
    // An external DTD that names no local file is empty too.
    EXPECT_TRUE(
        ParseBytes("<!DOCTYPE a SYSTEM \"" + secret + "\"><a/>", XML_LoadExternalDTD | XML_ValidateNever));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

struct ResolveCase
{
    const char* fPrefix;
    const char* fSystemID;
    const char* fFile; // relative to the folder; null: refused
};

TEST_F(VXMLParserEntityTest, ResolveEntityFromFolder)
{
    const ResolveCase cases[] = {
        {"urn:x/", "urn:x/sub/defs.dtd", "sub/defs.dtd"},
        {"", "part.xml", "part.xml"},
        {"", "missing.xml", "missing.xml"}, // existence is not checked here
        {"", "in.dtd", "in.dtd"},
        {"", "out.txt", nullptr},
        {"", "up/secret.txt", nullptr},
        {"", "up/entities/part.xml", "up/entities/part.xml"},
        {"urn:x/", "urn:y/part.xml", nullptr},
        {"", "/etc/passwd", nullptr},
        {"", "../secret.txt", nullptr},
        {"", "sub/..", nullptr},
        {"", "sub//defs.dtd", nullptr},
        {"", "sub/", nullptr},
        {"", "a:b", nullptr},
        {"", "", nullptr},
        {"urn:x/", "urn:x/", nullptr},
    };
    for (const ResolveCase& test : cases)
    {
        SCOPED_TRACE(std::string(test.fPrefix) + " | " + test.fSystemID);
        VRefPtr<VFile> file(VXMLParser::ResolveEntityFromFolder(VString(test.fPrefix), fFolder.Get(),
                                                                VString(test.fSystemID)));
        if (test.fFile == nullptr)
        {
            EXPECT_FALSE(file);
            continue;
        }
        ASSERT_TRUE(file);
        VString path;
        file->GetPlatformPath(path, FPS_POSIX);
        EXPECT_EQ(Text(path), Text(UTF8(fTemp.Posix(std::string("entities/") + test.fFile))));
    }
    EXPECT_EQ(VXMLParser::ResolveEntityFromFolder(VString(""), nullptr, VString("part.xml")), nullptr);
}

// ---- hostile documents

TEST_F(VXMLParserTest, HostileDocumentsEndWithOneFatalError)
{
    std::string deep;
    for (uint32_t level = 0; level <= kXMLMaxElementDepth; ++level)
        deep += "<a>";
    std::string laughs = NestedEntitiesDeclared("a");
    // The same in the default of an attribute, which the library expands where it counts nothing.
    const std::string laughsInADefault = laughs + "<!ATTLIST a v CDATA \"&l9;\">]><a/>";
    laughs += "]><a>&l9;</a>";
    // Few expansions, each of much text.
    std::string wide = "<!DOCTYPE a [<!ENTITY w \"" + std::string(1 << 20, 'w') + "\">]><a>";
    for (int copy = 0; copy < 40; ++copy)
        wide += "&w;";
    wide += "</a>";
    const std::pair<const char*, std::string> documents[] = {
        {"deep", deep},
        {"laughs", laughs},
        {"laughs in a default", laughsInADefault},
        {"wide", wide},
        {"truncated", "<a><b>text"},
        {"invalid UTF-8", "<a>ok\xff\xfe</a>"},
        {"not XML", "{\"json\": true}"},
        {"empty", ""},
    };
    for (const auto& [name, xml] : documents)
    {
        SCOPED_TRACE(name);
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(ParseBytes(xml, XML_ValidateNever));
        ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        const VErrorBase* error = LastErrorObject(errors);
        EXPECT_EQ(error->GetError(), VE_XML_ParseFatalError);
        EXPECT_GE(LongParameter(error, "line"), 1);
        EXPECT_NE(StringParameter(error, "message"), u"");
    }
}

// Entities of 1 MiB referenced in attribute values, one reference a line.
std::string WideAttributeDocument(int inReferences, bool inAsDefault)
{
    std::string references;
    for (int copy = 0; copy < inReferences; ++copy)
        references += "&w;\n";
    std::string xml = "<!DOCTYPE a [<!ENTITY w \"" + std::string(1 << 20, 'w') + "\">";
    if (inAsDefault)
        return xml + "<!ATTLIST a v CDATA \"" + references + "\">]><a/>";
    return xml + "]><a v=\"" + references + "\"/>";
}

TEST_F(VXMLParserTest, EntitiesInAttributeValuesCountAgainstTheCap)
{
    {
        // Stopped while the library expands the value, long before its 99 references.
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(ParseBytes(WideAttributeDocument(99, false), XML_ValidateNever));
        EXPECT_TRUE(fEvents->empty());
        ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
        EXPECT_LT(LongParameter(LastErrorObject(errors), "line"), 20);
    }
    {
        // A default of the DTD, expanded where the library counts nothing.
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(ParseBytes(WideAttributeDocument(17, true), XML_ValidateNever));
        EXPECT_TRUE(fEvents->empty());
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
    // Expansions of a quarter of a MiB each, one an element: in the elements' own values, and in a
    // default that every element takes again.
    const std::string quarter = "<!ENTITY w \"" + std::string(1 << 18, 'w') + "\">";
    std::string spread = "<!DOCTYPE a [" + quarter + "]><a>";
    std::string defaulted = "<!DOCTYPE a [" + quarter + "<!ATTLIST i v CDATA \"&w;\">]><a>";
    for (int element = 0; element < 100; ++element)
    {
        spread += "<i v=\"&w;\"/>\n";
        defaulted += "<i/>\n";
    }
    for (const std::string& xml : {spread + "</a>", defaulted + "</a>"})
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(ParseBytes(xml, XML_ValidateNever));
        ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
        EXPECT_LT(LongParameter(LastErrorObject(errors), "line"), 80);
    }
    StErrorContextInstaller errors(false, true);
    EXPECT_TRUE(ParseBytes("<!DOCTYPE a [<!ENTITY w \"ab\">]><a v=\"&w;-&w;\"/>", XML_ValidateNever));
    EXPECT_EQ(*fEvents, (Events{u"start a", u"attr v=ab-ab", u"end a"}));
}

TEST_F(VXMLParserTest, DepthUpToTheLimitIsRead)
{
    StErrorContextInstaller errors(false, true);
    std::string xml;
    for (uint32_t level = 0; level < kXMLMaxElementDepth; ++level)
        xml += "<a>";
    for (uint32_t level = 0; level < kXMLMaxElementDepth; ++level)
        xml += "</a>";
    EXPECT_TRUE(ParseBytes(xml));
    EXPECT_EQ(fEvents->size(), 2 * size_t(kXMLMaxElementDepth));
}

TEST_F(VXMLParserEntityTest, FilesAreReadByPathAndNamedInErrors)
{
    const std::string brokenPath = fTemp.Posix("doc \u00e9.xml");
    WriteFileBytes(brokenPath, "<doc>\n<broken>\n</doc>");
    WriteFileBytes(fTemp.Posix("good.xml"), "<doc k=\"v\"/>");
    VRefPtr<VFile> good(new VFile(fTemp.Path("good.xml")));
    VRefPtr<RecordingHandler> handler(new RecordingHandler(fEvents));
    StErrorContextInstaller errors(false, true);
    ASSERT_TRUE(fParser.Parse(good.Get(), handler.Get(), 0));
    EXPECT_EQ(*fEvents, (Events{u"start doc", u"attr k=v", u"end doc"}));

    VRefPtr<VFile> broken(new VFile(UTF8(brokenPath), FPS_POSIX));
    EXPECT_FALSE(fParser.Parse(broken.Get(), handler.Get(), 0));
    const VErrorBase* error = LastErrorObject(errors);
    EXPECT_EQ(error->GetError(), VE_XML_ParseFatalError);
    EXPECT_EQ(StringParameter(error, "systemID"), Text(UTF8(brokenPath)));
    EXPECT_EQ(LongParameter(error, "line"), 3);

    // Another kind of file is read whole first, and its path is the system id.
    VRefPtr<testing_json::DiskFile> other(new testing_json::DiskFile(brokenPath));
    EXPECT_FALSE(fParser.Parse(other.Get(), handler.Get(), 0));
    EXPECT_EQ(StringParameter(LastErrorObject(errors), "systemID"), Text(UTF8(brokenPath)));
    EXPECT_EQ(LongParameter(LastErrorObject(errors), "line"), 3);
    VRefPtr<testing_json::DiskFile> otherGood(new testing_json::DiskFile(fTemp.Posix("good.xml")));
    fEvents->clear();
    EXPECT_TRUE(fParser.Parse(otherGood.Get(), handler.Get(), 0));
    EXPECT_EQ(fEvents->size(), 3u);
    // One that cannot be read is not parsed: its reading error stays.
    VRefPtr<testing_json::DiskFile> unreadable(new testing_json::DiskFile(fTemp.Posix("none.xml")));
    EXPECT_FALSE(fParser.Parse(unreadable.Get(), handler.Get(), 0));
    EXPECT_EQ(errors.GetLastError(), VE_FILE_NOT_FOUND);

    VRefPtr<VFile> missing(new VFile(fTemp.Path("missing.xml")));
    EXPECT_FALSE(fParser.Parse(missing.Get(), handler.Get(), 0));
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    EXPECT_FALSE(fParser.Parse(static_cast<IFile*>(nullptr), handler.Get(), 0));
    EXPECT_EQ(errors.GetLastError(), VE_INVALID_PARAMETER);
}

TEST(VXMLParserLibraryTest, ParsesWithoutInitAndInitNests)
{
    StErrorContextInstaller errors(false, true);
    VXMLParser parser;
    const std::string xml = "<a/>";
    EXPECT_TRUE(parser.Parse(xml.data(), xml.size(), nullptr, 0));
    ASSERT_TRUE(VXMLParser::Init());
    ASSERT_TRUE(VXMLParser::Init());
    VXMLParser::DeInit();
    EXPECT_TRUE(parser.Parse(xml.data(), xml.size(), nullptr, 0));
    VXMLParser::DeInit();
    VXMLParser::DeInit(); // one too many does no harm
    EXPECT_TRUE(parser.Parse(xml.data(), xml.size(), nullptr, 0));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

} // namespace
} // namespace kova
