#include "xml/IXMLDomWrapper.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileStream.h"
#include "kernel/files/VURL.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLHandler.h"
#include "xml/VXMLParsedAttributeMap.h"
#include "xml/VXMLParser.h"
#include "xml/ValueBagXML.h"
#include "xml/XMLTesting_test.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>

#include <set>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using Dom = IXMLDomWrapper;

// Logs the calls it receives; answers itself for every element but those it refuses.
class RecordingHandler : public VObject, public IXMLHandler
{
public:
    explicit RecordingHandler(std::set<std::u16string> inRefused = {}) : fRefused(std::move(inRefused)) {}

    IXMLHandler* StartElement(const VString& inName) override
    {
        fEvents.push_back(u"start " + Text(inName));
        if (fRefused.count(Text(inName)) != 0)
            return nullptr;
        Retain();
        return this;
    }
    void EndElement(const VString& inName) override { fEvents.push_back(u"end " + Text(inName)); }
    void SetAttribute(const VString& inName, const VString& inValue) override
    {
        fEvents.push_back(u"attr " + Text(inName) + u"=" + Text(inValue));
    }
    void SetText(const VString& inText) override { fEvents.push_back(u"text " + Text(inText)); }
    void processingInstruction(const VString& inTarget, const VString& inData) override
    {
        fEvents.push_back(u"pi " + Text(inTarget) + u" " + Text(inData));
    }

    std::vector<std::u16string> fEvents;

private:
    std::set<std::u16string> fRefused;
};

class IXMLDomWrapperTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(VXMLParser::Init()); }
    void TearDown() override
    {
        for (VXMLDOMDocument_opaque* document : fDocuments)
            Dom::ReleaseNode(document);
        VXMLParser::DeInit();
    }

    // A document released at the end of the test.
    VXMLDOMDocument_opaque* Load(const std::string& inXML, const VString* inSystemID = nullptr)
    {
        VXMLDOMDocument_opaque* document =
            Dom::CreateNodeDocumentFromBuffer(inXML.data(), inXML.size(), inSystemID);
        if (document != nullptr)
            fDocuments.push_back(document);
        return document;
    }

    // The serialized bytes, without pretty printing.
    static std::string Serialized(VXMLDOMNode_opaque* inNode)
    {
        VBlobWithPtr blob;
        size_t written = 0;
        EXPECT_TRUE(Dom::SerializeToBlob(inNode, &blob, 0, written, false));
        EXPECT_EQ(written, blob.GetSize());
        return std::string(static_cast<const char*>(blob.GetDataPtr()), blob.GetSize());
    }

    // The root's serialized form with the declaration cut off.
    static std::string Body(VXMLDOMNode_opaque* inNode)
    {
        std::string text = Serialized(inNode);
        const size_t end = text.find("?>");
        return end == std::string::npos ? text : text.substr(end + 2);
    }

    std::vector<VXMLDOMDocument_opaque*> fDocuments;
};

TEST_F(IXMLDomWrapperTest, WalksNodesAndReadsNames)
{
    VXMLDOMDocument_opaque* document = Load("<root a=\"1\">text<child/><?pi data?><![CDATA[x<y]]></root>");
    ASSERT_NE(document, nullptr);
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Dom::GetNodeFromNodeElement(root), static_cast<VXMLDOMNode_opaque*>(root));
    EXPECT_EQ(Dom::GetNodeDocument(root), document);
    EXPECT_EQ(Dom::GetNodeDocument(document), document);
    EXPECT_EQ(Dom::GetRootNodeElement(root), root);
    EXPECT_EQ(Dom::GetRootNodeElement(nullptr), nullptr);

    ASSERT_EQ(Dom::GetNumberOfChildrenNodes(root), 4u);
    EXPECT_EQ(Dom::GetNodeElement(Dom::GetChildNode(root, 0)), nullptr); // text
    VXMLDOMElement_opaque* child = Dom::GetNodeElement(Dom::GetChildNode(root, 1));
    ASSERT_NE(child, nullptr);
    VString name;
    Dom::GetNodeElementName(child, name);
    EXPECT_EQ(Text(name), u"child");
    EXPECT_EQ(Dom::GetChildNode(root, 4), nullptr);
    EXPECT_EQ(Dom::GetNumberOfChildrenNodes(nullptr), 0u);

    VString value;
    Dom::GetNodeElementValueString(root, value);
    EXPECT_EQ(Text(value), u"text");
    Dom::GetNodeElementCDATA(root, value);
    EXPECT_EQ(Text(value), u""); // the first child is no CDATA section
}

TEST_F(IXMLDomWrapperTest, ReadsTypedValuesOfTheFirstChild)
{
    struct Case
    {
        const char* fXML;
        bool fBoolean;
        int32_t fLong;
        double fReal;
    };
    const Case cases[] = {
        {"<v>true</v>", true, 0, 0.0},
        {"<v>1</v>", true, 1, 1.0},
        {"<v>42</v>", false, 42, 42.0},
        {"<v>-2.5</v>", false, -2, -2.5},
        {"<v/>", false, 0, 0.0},
        {"<v><n>7</n></v>", false, 0, 0.0}, // the first child is an element
        {"<v><![CDATA[7]]></v>", false, 0, 0.0},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fXML);
        VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(Load(test.fXML));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(Dom::GetNodeElementValueBoolean(root), test.fBoolean);
        EXPECT_EQ(Dom::GetNodeElementValueLong(root), test.fLong);
        EXPECT_DOUBLE_EQ(Dom::GetNodeElementValueReal(root), test.fReal);
    }

    VXMLDOMElement_opaque* root =
        Dom::GetRootNodeElement(Load("<r><t>2024-03-01T10:20:30Z</t><d>PT1M</d></r>"));
    VTime time;
    Dom::GetNodeElementValueTime(Dom::GetNodeElement(Dom::GetChildNode(root, 0)), time);
    VString text;
    time.GetXMLString(text, 0);
    EXPECT_EQ(Text(text).substr(0, 19), u"2024-03-01T10:20:30");
    VDuration duration;
    Dom::GetNodeElementValueDuration(Dom::GetNodeElement(Dom::GetChildNode(root, 1)), duration);
    duration.GetXMLString(text, 0);
    EXPECT_EQ(Text(text), u"60");
}

TEST_F(IXMLDomWrapperTest, BuildsElementsWithTypedValues)
{
    VXMLDOMDocument_opaque* document = Load("<r/>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    ASSERT_NE(Dom::AddNodeElement(root, VString("s"), VString("a<b")), nullptr);
    ASSERT_NE(Dom::AddNodeElement(root, VString("b"), true), nullptr);
    ASSERT_NE(Dom::AddNodeElement(root, VString("i"), int32_t(-12)), nullptr);
    ASSERT_NE(Dom::AddNodeElement(root, VString("d"), 1.5), nullptr);
    VDuration minute;
    minute.FromXMLString(VString("PT1M"));
    ASSERT_NE(Dom::AddNodeElement(root, VString("m"), minute, 0), nullptr);
    ASSERT_NE(Dom::AddNodeElement(root, VString("e")), nullptr);
    VLong seven(7);
    ASSERT_NE(Dom::AddNodeElement(root, VString("v"), &seven), nullptr);
    VUUID uuid;
    EXPECT_EQ(Dom::AddNodeElement(root, VString("u"), &uuid), nullptr);
    EXPECT_EQ(Dom::AddNodeElement(root, VString("u"), static_cast<const VValueSingle*>(nullptr)), nullptr);
    EXPECT_EQ(Body(document), "<r><s>a&lt;b</s><b>true</b><i>-12</i><d>1.5</d><m>60</m><e/><v>7</v></r>");
}

TEST_F(IXMLDomWrapperTest, SetsValuesOverTextOrOverEveryChild)
{
    VXMLDOMDocument_opaque* document = Load("<r><a>old<x/></a><b><x/>tail</b></r>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    Dom::SetNodeElementValue(Dom::GetNodeElement(Dom::GetChildNode(root, 0)), VString("new"));
    Dom::SetNodeElementValue(Dom::GetNodeElement(Dom::GetChildNode(root, 1)), int32_t(5));
    EXPECT_EQ(Body(document), "<r><a>new<x/></a><b>5</b></r>");
}

TEST_F(IXMLDomWrapperTest, LibraryRefusalsGiveNullAndAnXMLError)
{
    VXMLDOMDocument_opaque* document = Load("<r/>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Dom::AddNodeElement(root, VString("1bad")), nullptr);
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseError);
    EXPECT_NE(StringParameter(LastErrorObject(errors), "message"), u"");
    errors.GetContext()->Flush();

    // The quiet operations answer false alone: the bag's character data "<>" is refused so.
    EXPECT_FALSE(Dom::SetNodeElementAttribute(root, VString("<>"), VString("x"), false, nullptr));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
    EXPECT_EQ(Body(document), "<r/>");
}

TEST_F(IXMLDomWrapperTest, AttributesAndIDs)
{
    VXMLDOMDocument_opaque* document =
        Load("<r xmlns:k=\"urn:k\"><a id=\"one\"/><b k:id=\"two\"/><c q:id=\"three\" xmlns:q=\"urn:q\"/>"
             "<d z:id=\"four\"/></r>");
    ASSERT_EQ(document, nullptr); // "z" is bound nowhere: refused with namespaces on
    document = Load("<r xmlns:k=\"urn:k\"><a id=\"one\"/><b k:id=\"two\"/><c kid=\"three\"/></r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(Dom::FindNodeElementByID(document, VString("one")), nullptr);
    Dom::RegisterNodeIDs(document);
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    EXPECT_EQ(Dom::FindNodeElementByID(document, VString("one")),
              Dom::GetNodeElement(Dom::GetChildNode(root, 0)));
    EXPECT_EQ(Dom::FindNodeElementByID(root, VString("two")),
              Dom::GetNodeElement(Dom::GetChildNode(root, 1)));
    EXPECT_EQ(Dom::FindNodeElementByID(root, VString("three")), nullptr);

    VXMLDOMElement_opaque* b = Dom::GetNodeElement(Dom::GetChildNode(root, 1));
    VString value;
    EXPECT_TRUE(Dom::GetNodeElementAttribute(b, VString("k:id"), value));
    EXPECT_EQ(Text(value), u"two");
    EXPECT_FALSE(Dom::GetNodeElementAttribute(b, VString("id"), value));

    bool isID = false;
    VXMLDOMElement_opaque* c = Dom::GetNodeElement(Dom::GetChildNode(root, 2));
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("id"), VString("new"), true, &isID));
    EXPECT_TRUE(isID);
    EXPECT_EQ(Dom::FindNodeElementByID(root, VString("new")), c);
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("xml:lang"), VString("fr"), true, &isID));
    EXPECT_FALSE(isID);
    EXPECT_TRUE(Dom::GetNodeElementAttribute(c, VString("xml:lang"), value));
    EXPECT_EQ(Text(value), u"fr");
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("k:id"), VString("nsid"), true, &isID));
    EXPECT_TRUE(isID);
    EXPECT_EQ(Dom::FindNodeElementByID(root, VString("nsid")), c);
    // An unknown prefix is a plain name.
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("u:x"), VString("1"), true, &isID));
    EXPECT_TRUE(Dom::GetNodeElementAttribute(c, VString("u:x"), value));

    // Removing "id" reports an ID although the attribute is gone.
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("id"), VString(), true, &isID));
    EXPECT_TRUE(isID);
    EXPECT_FALSE(Dom::GetNodeElementAttribute(c, VString("id"), value));
    EXPECT_TRUE(Dom::SetNodeElementAttribute(c, VString("kid"), VString(), false, &isID));
    EXPECT_TRUE(Dom::GetNodeElementAttribute(c, VString("kid"), value));
    EXPECT_EQ(Text(value), u"");
    EXPECT_FALSE(Dom::SetNodeElementAttribute(nullptr, VString("id"), VString("x"), true, &isID));
}

TEST_F(IXMLDomWrapperTest, CreatesElementsInTheParentsNamespace)
{
    VXMLDOMDocument_opaque* document = Load("<r xmlns=\"urn:d\" xmlns:k=\"urn:k\"/>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    VXMLDOMElement_opaque* prefixed = Dom::AddNodeElement(root, VString("k:item"));
    VXMLDOMElement_opaque* plain = Dom::AddNodeElement(root, VString("item"));
    ASSERT_NE(prefixed, nullptr);
    ASSERT_NE(plain, nullptr);
    // Namespaced elements need no declaration of their own when serialized under the root.
    EXPECT_EQ(Body(document), "<r xmlns=\"urn:d\" xmlns:k=\"urn:k\"><k:item/><item/></r>");
    // A prefix unknown at the parent makes a plain element.
    EXPECT_NE(Dom::CreateElement(document, root, u"z:item"), nullptr);
}

TEST_F(IXMLDomWrapperTest, ParseRunsTheHandlersAndFailsOnAnyRefusedElement)
{
    VXMLDOMDocument_opaque* document = Load("<r a=\"1\" b=\"2\">t<x/><?p d?><y>u</y></r>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    VRefPtr<RecordingHandler> handler(new RecordingHandler);
    EXPECT_TRUE(Dom::Parse(root, handler.Get()));
    const std::vector<std::u16string> expected = {u"start r", u"attr a=1", u"attr b=2", u"text t",
                                                  u"start x", u"end x",    u"pi p d",   u"start y",
                                                  u"text u",  u"end y",    u"end r"};
    EXPECT_EQ(handler->fEvents, expected);

    // A document walks its children.
    VRefPtr<RecordingHandler> fromDocument(new RecordingHandler);
    EXPECT_TRUE(Dom::Parse(document, fromDocument.Get()));
    EXPECT_EQ(fromDocument->fEvents, expected);

    // An early refusal is not masked by a later success.
    VRefPtr<RecordingHandler> refusing(new RecordingHandler({u"x"}));
    EXPECT_FALSE(Dom::Parse(root, refusing.Get()));
    EXPECT_EQ(refusing->fEvents.back(), u"end r");
    VRefPtr<RecordingHandler> refusingRoot(new RecordingHandler({u"r"}));
    EXPECT_FALSE(Dom::Parse(root, refusingRoot.Get()));
}

TEST_F(IXMLDomWrapperTest, UntrustedDocumentsAreCapped)
{
    StTemporaryFolder folder;
    WriteFileBytes(folder.Posix("secret.txt"), "SECRET");
    struct Case
    {
        const char* fWhat;
        std::string fXML;
    };
    std::string deep;
    for (int level = 0; level < 1100; ++level)
        deep += "<a>";
    std::string laughs = NestedEntitiesDeclared("r");
    const std::string laughsInADefault = laughs + "<!ATTLIST r v CDATA \"&l9;\">]><r/>";
    laughs += "]><r>&l9;</r>";
    std::string wide = "<!DOCTYPE r [<!ENTITY w \"" + std::string(1 << 20, 'w') + "\">]><r v=\"";
    for (int copy = 0; copy < 99; ++copy)
        wide += "&w;";
    wide += "\"/>";
    // A default that holds an expansion, taken again by every element.
    std::string defaulted =
        "<!DOCTYPE r [<!ENTITY w \"" + std::string(1 << 18, 'w') + "\"><!ATTLIST i v CDATA \"&w;\">]><r>";
    for (int element = 0; element < 100; ++element)
        defaulted += "<i/>";
    defaulted += "</r>";
    // The DOM copies all the attributes declared for an element at each of its declarations,
    // searching each among the others: defaults of one element beyond measure, declared at once
    // or one by one.
    std::string declaredAtOnce = "<!DOCTYPE r [<!ATTLIST r";
    std::string declaredOneByOne = "<!DOCTYPE r [";
    for (int index = 0; index < 40000; ++index)
    {
        declaredAtOnce += " d" + std::to_string(index) + " CDATA \"v\"";
        if (index < 2000)
            declaredOneByOne += "<!ATTLIST r d" + std::to_string(index) + " CDATA \"v\">";
    }
    declaredAtOnce += ">]><r/>";
    declaredOneByOne += "]><r/>";
    const Case cases[] = {
        {"malformed", "<r><a></r>"},
        {"empty", ""},
        {"too deep", deep},
        {"entity expansion", laughs},
        {"two roots", "<r/><s/>"},
        {"entities in an attribute", wide},
        {"entities in a default", laughsInADefault},
        {"a default's expansion on every element", defaulted},
        {"defaults declared at once", declaredAtOnce},
        {"defaults declared one by one", declaredOneByOne},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fWhat);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Load(test.fXML), nullptr);
        EXPECT_EQ(ComponentOfError(errors.GetLastError()), kCOMPONENT_XML);
    }

    // An external entity is not fetched.
    StErrorContextInstaller errors(false, true);
    const std::string external =
        "<!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + folder.Posix("secret.txt") + "\">]><r>&s;</r>";
    if (VXMLDOMDocument_opaque* document = Load(external))
    {
        EXPECT_EQ(Serialized(document).find("SECRET"), std::string::npos);
    }
}

// One element with a name "aN" valued "N" for each N from inCount down to 1, and one more in a
// namespace: the names come in the reverse of the order the DOM keeps them in.
std::string ElementOfManyAttributes(int inCount)
{
    std::string xml = "<r xmlns:k=\"urn:k\" k:x=\"in k\"";
    for (int index = inCount; index > 0; --index)
        xml += " a" + std::to_string(index) + "=\"" + std::to_string(index) + "\"";
    return xml + "/>";
}

// Whether the element's attributes were made through an index.
bool IsIndexed(VXMLDOMElement_opaque* inElement)
{
    const auto* node = reinterpret_cast<xercesc::DOMNode*>(inElement);
    return dynamic_cast<const VXMLParsedAttributeMap*>(node->getAttributes()) != nullptr;
}

// Each attribute used to be searched for among all those of its element before it: some minutes for
// this element of 1 MB, through the DOM. The DOM now finds each of them through an index, as it
// reads the element and as it copies it: no search goes through the element's attributes.
TEST_F(IXMLDomWrapperTest, ElementOfManyAttributesReadsInProportion)
{
    constexpr int kCount = 100000;
    const std::string xml = ElementOfManyAttributes(kCount);
    const size_t searches = VXMLParsedAttributeMap::GetSearchesThroughIndexedMaps();
    VXMLDOMDocument_opaque* document = Load(xml);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(IsIndexed(Dom::GetRootNodeElement(document)));
    EXPECT_EQ(VXMLParsedAttributeMap::GetSearchesThroughIndexedMaps(), searches);
    VRefPtr<RecordingHandler> walked(new RecordingHandler);
    EXPECT_TRUE(Dom::Parse(document, walked.Get()));

    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(LoadBagFromXML(VString(xml.c_str()), VString("r"), *bag, 0), VE_OK);
    EXPECT_EQ(bag->GetAttributesCount(), kCount + 2);
    VXMLParser parser;
    VRefPtr<RecordingHandler> parsed(new RecordingHandler);
    EXPECT_TRUE(parser.Parse(xml.data(), xml.size(), parsed.Get(), XML_DoNamespaces));
    EXPECT_EQ(parsed->fEvents.size(), size_t(kCount) + 4);

    // The walk: the element, its attributes ordered by name, its end.
    ASSERT_EQ(walked->fEvents.size(), size_t(kCount) + 4);
    EXPECT_EQ(walked->fEvents[1], u"attr a1=1");
    EXPECT_EQ(walked->fEvents[2], u"attr a10=10");
    EXPECT_EQ(walked->fEvents[kCount], u"attr a99999=99999");
    EXPECT_EQ(walked->fEvents[kCount + 1], u"attr k:x=in k");
    EXPECT_EQ(walked->fEvents[kCount + 2], u"attr xmlns:k=urn:k");

    // The element's attributes change as any other's.
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    EXPECT_TRUE(Dom::SetNodeElementAttribute(root, VString("a5"), VString("five"), true, nullptr));
    EXPECT_TRUE(Dom::SetNodeElementAttribute(root, VString("k:x"), VString("still in k"), true, nullptr));
    EXPECT_TRUE(Dom::SetNodeElementAttribute(root, VString("b"), VString("new"), true, nullptr));
    EXPECT_TRUE(Dom::SetNodeElementAttribute(root, VString("a7"), VString(), true, nullptr));
    VString value;
    EXPECT_TRUE(Dom::GetNodeElementAttribute(root, VString("a5"), value));
    EXPECT_EQ(Text(value), u"five");
    EXPECT_TRUE(Dom::GetNodeElementAttribute(root, VString("k:x"), value));
    EXPECT_EQ(Text(value), u"still in k");
    EXPECT_TRUE(Dom::GetNodeElementAttribute(root, VString("b"), value));
    EXPECT_FALSE(Dom::GetNodeElementAttribute(root, VString("a7"), value));
    VRefPtr<RecordingHandler> changed(new RecordingHandler);
    EXPECT_TRUE(Dom::Parse(root, changed.Get()));
    EXPECT_EQ(changed->fEvents.size(), size_t(kCount) + 4);
    VXMLDOMDocument_opaque* copy = Dom::CloneNodeDocument(document);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(IsIndexed(Dom::GetRootNodeElement(copy)));
    // The attribute set by its plain name ("b") cannot be indexed: the two after it in the order of
    // names are searched for as the library does.
    EXPECT_LE(VXMLParsedAttributeMap::GetSearchesThroughIndexedMaps(), searches + 2);
    EXPECT_EQ(Serialized(copy), Serialized(document));
    Dom::ReleaseNode(copy);
}

// Attributes of a small element, the same name twice in one namespace included, and defaults of
// the DTD given or left: the fast look-ups of a large element give what the library's own give.
TEST_F(IXMLDomWrapperTest, AttributesOfLargeAndSmallElementsAlike)
{
    const std::string doubled = "<r xmlns:k=\"urn:k\" xmlns:q=\"urn:k\" k:x=\"1\" q:x=\"2\"";
    std::string declared = "<!DOCTYPE r [<!ATTLIST r";
    std::string given = "<r";
    for (int index = 0; index < 3000; ++index)
    {
        declared += " d" + std::to_string(index) + " CDATA \"default\"";
        if (index % 2 == 0)
            given += " d" + std::to_string(index) + "=\"given\"";
    }
    declared += " id ID #IMPLIED>]>";
    for (int count : {3, 3000})
    {
        SCOPED_TRACE(count);
        std::string padding;
        for (int index = 0; index < count; ++index)
            padding += " p" + std::to_string(index) + "=\"\"";
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Load(doubled + padding + "/>"), nullptr);
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
    VXMLDOMDocument_opaque* document = Load(declared + given + " id=\"me\"/>");
    ASSERT_NE(document, nullptr);
    VRefPtr<RecordingHandler> walked(new RecordingHandler);
    EXPECT_TRUE(Dom::Parse(document, walked.Get()));
    ASSERT_EQ(walked->fEvents.size(), 3003u);
    EXPECT_EQ(walked->fEvents[1], u"attr d0=given");
    EXPECT_EQ(walked->fEvents[2], u"attr d1=default");
    EXPECT_EQ(walked->fEvents[3001], u"attr id=me");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    EXPECT_EQ(Dom::FindNodeElementByID(document, VString("me")), root);
}

TEST_F(IXMLDomWrapperTest, DocumentURLCloneAndRelease)
{
    const VString systemID("file:///tmp/a b.xml");
    VXMLDOMDocument_opaque* document = Load("<r><c/></r>", &systemID);
    ASSERT_NE(document, nullptr);
    VURL url;
    ASSERT_TRUE(Dom::GetDocumentURL(Dom::GetRootNodeElement(document), url));
    // Taken as text not yet encoded: the space is a space.
    VString name;
    url.GetLastPathComponent(name, false);
    EXPECT_EQ(Text(name), u"a b.xml");

    VXMLDOMDocument_opaque* clone = Dom::CloneNodeDocument(Dom::GetRootNodeElement(document));
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, document);
    EXPECT_TRUE(Dom::GetDocumentURL(clone, url));
    EXPECT_EQ(Body(clone), "<r><c/></r>");
    Dom::ReleaseNode(clone);

    // A name the library's parser took and its copy refuses (a fuzzer's find): no copy, and
    // nothing of it left behind (the leak checker sees to that).
    const std::string refused("<\x3fxml version=\x22"
                              "1.0\x22 encoding=\x22UTF-08\x22\x3f><k:r xmlns:k=\x22urn:\x22 k:i=\x22"
                              "d1\x22><k:c "
                              "en\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"
                              "\xff\xff\xff\xff\xff\xff\xff\xff\xffsy\x8d\x8b\x9a\x92\xb6\xbb\xbd\xbd\xbd\xbd"
                              "\xe6\xe6\xe6\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd\xbd"
                              "coda\xff\xff\xff\xff\xff\xff\xff\xff\xff"
                              "A\xff\xff\xff\xff\xff\xff\xff\xff\x8d\x8b\x9a\x92\xf0\xbb\x91\x92"
                              "4444444444444=\x22"
                              "fr\x22/>8.0* enco</k:r>",
                              197);
    VXMLDOMDocument_opaque* odd = Load(refused);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(Dom::CloneNodeDocument(odd), nullptr);
}

// The serialized text of "<r>a LF b CR LF c CR d</r>" in an encoding, decoded in the byte order
// the first unit ("<") shows.
std::u32string DecodedUnits(const std::string& inBytes, size_t inUnit)
{
    const bool little = static_cast<unsigned char>(inBytes[0]) == '<';
    std::u32string units;
    for (size_t at = 0; at + inUnit <= inBytes.size(); at += inUnit)
    {
        char32_t unit = 0;
        for (size_t index = 0; index < inUnit; ++index)
        {
            const auto byte = static_cast<unsigned char>(inBytes[at + (little ? inUnit - 1 - index : index)]);
            unit = (unit << 8) | byte;
        }
        units.push_back(unit);
    }
    return units;
}

TEST_F(IXMLDomWrapperTest, SerializesWithCarriageReturnsInEachEncoding)
{
    struct Case
    {
        const char* fEncoding;
        size_t fUnit;
    };
    const Case cases[] = {{"UTF-8", 1}, {"UTF-16", 2}, {"UTF-32", 4}, {"UCS-4", 4}};
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fEncoding);
        const std::string xml = std::string("<?xml version=\"1.0\" encoding=\"") + test.fEncoding +
                                "\"?>\n<r>a&#10;b&#13;&#10;c&#13;d</r>";
        VXMLDOMDocument_opaque* document = Load(xml);
        ASSERT_NE(document, nullptr);
        const std::u32string text = DecodedUnits(Serialized(document), test.fUnit);
        std::string narrow;
        for (char32_t unit : text)
            narrow.push_back(unit < 0x80 ? char(unit) : '?');
        EXPECT_EQ(narrow, std::string("<?xml version=\"1.0\" encoding=\"") + test.fEncoding +
                              "\" standalone=\"no\" ?><r>a\rb&#xD;\rc&#xD;d</r>");
    }
}

// The bytes of ASCII text in units of the size, in the processor's order, as the library's
// serializer writes them here.
std::string NativeUnits(const std::string& inText, size_t inUnit)
{
    std::string bytes;
    for (char ascii : inText)
    {
        const char32_t unit = char32_t(ascii);
        bytes.append(reinterpret_cast<const char*>(&unit), inUnit); // little-endian machine
    }
    return bytes;
}

TEST_F(IXMLDomWrapperTest, CopiesTargetsWithEveryLineEndMadeACarriageReturn)
{
    struct Case
    {
        const char* fEncoding;
        size_t fUnit; // 0: copied as it is
        bool fConvert;
    };
    const Case cases[] = {
        {"UTF-8", 1, true}, {"utf-8", 1, true}, {"UTF-16", 2, true},     {"UTF-32", 4, true},
        {"UCS4", 4, true},  {"UCS_4", 4, true}, {"ISO-8859-1", 0, true}, {"UTF-8", 0, false},
    };
    const std::string source = "a\r\nb\nc\rd\n\n\r\r\n";
    const std::string converted = "a\rb\rc\rd\r\r\r\r";
    for (const Case& test : cases)
    {
        SCOPED_TRACE(std::string(test.fEncoding) + (test.fConvert ? " converted" : " as it is"));
        const size_t unit = test.fUnit != 0 ? test.fUnit : 1;
        const std::string input = NativeUnits(source, unit);
        xercesc::MemBufFormatTarget target;
        target.writeChars(reinterpret_cast<const XMLByte*>(input.data()), input.size(), nullptr);
        VBlobWithPtr blob;
        size_t written = 0;
        ASSERT_TRUE(Dom::CopyMemBufFormatTargetToBlob(
            &blob, 0, written, reinterpret_cast<VXMLMemBufFormatTarget_opaque*>(&target),
            VString(test.fEncoding), test.fConvert));
        const std::string output(static_cast<const char*>(blob.GetDataPtr()), blob.GetSize());
        EXPECT_EQ(written, output.size());
        EXPECT_EQ(output, test.fUnit != 0 ? NativeUnits(converted, unit) : input);
    }
}

TEST_F(IXMLDomWrapperTest, SerializesAtAnOffsetAndOtherEncodingsAsTheyAre)
{
    VXMLDOMDocument_opaque* document = Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>a&#10;b</r>");
    VBlobWithPtr blob("abc", 3);
    size_t written = 0;
    ASSERT_TRUE(Dom::SerializeToBlob(document, &blob, 3, written, false));
    const std::string bytes(static_cast<const char*>(blob.GetDataPtr()), blob.GetSize());
    EXPECT_EQ(bytes.substr(0, 8), "abc<?xml");
    EXPECT_EQ(written, bytes.size() - 3);
    EXPECT_NE(bytes.find("<r>a\nb</r>"), std::string::npos);

    EXPECT_FALSE(Dom::SerializeToBlob(nullptr, &blob, 0, written, false));
    EXPECT_EQ(written, 0u);
}

TEST_F(IXMLDomWrapperTest, WritesFilesWholeOrNotAtAll)
{
    StTemporaryFolder folder;
    VXMLDOMDocument_opaque* document = Load("<r>a&#10;b</r>");
    VFile file(VString(folder.Posix("out.xml").c_str()), FPS_POSIX);
    ASSERT_TRUE(Dom::WriteToFile(document, file, false));
    const std::string written = ReadFileBytes(folder.Posix("out.xml"));
    EXPECT_NE(written.find("<r>a\rb</r>"), std::string::npos);

    // A failing disk leaves the old file whole.
    VXMLDOMDocument_opaque* other = Load("<other/>");
    {
        StErrorContextInstaller errors(false, true);
        StIOFault fault(true, ENOSPC, 5);
        EXPECT_FALSE(Dom::WriteToFile(other, file, false));
        EXPECT_NE(errors.GetLastError(), VE_OK);
    }
    EXPECT_EQ(ReadFileBytes(folder.Posix("out.xml")), written);
    EXPECT_EQ(NamesIn(folder.Posix()), std::vector<std::string>{"out.xml"});

    // To a stream at its position.
    VRefPtr<VFile> streamed(new VFile(VString(folder.Posix("stream.xml").c_str()), FPS_POSIX));
    VFileStream stream(streamed.Get(), FO_CreateIfNotFound);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutData("xy", 2), VE_OK);
    size_t count = 0;
    EXPECT_TRUE(Dom::SerializeToFile(other, stream, count, false));
    ASSERT_EQ(stream.CloseWriting(), VE_OK);
    const std::string content = ReadFileBytes(folder.Posix("stream.xml"));
    EXPECT_EQ(content.substr(0, 7), "xy<?xml");
    EXPECT_EQ(count, content.size() - 2);
}

TEST_F(IXMLDomWrapperTest, BagsIntoAndOutOfElements)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("name", VString("a<b & \"c\""));
    bag->SetLong("count", 3);
    bag->SetBool("on", true);
    bag->SetString(VValueBag::CDataAttributeName(), VString("text"));
    VRefPtr<VValueBag> first(new VValueBag);
    first->SetString("n", VString("1"));
    VRefPtr<VValueBag> inner(new VValueBag);
    first->AddElement("inner", inner.Get());
    VRefPtr<VValueBag> second(new VValueBag);
    bag->AddElement("item", first.Get());
    bag->AddElement("item", second.Get());

    VXMLDOMDocument_opaque* document = Load("<bag/>");
    VXMLDOMElement_opaque* root = Dom::GetRootNodeElement(document);
    std::vector<VXMLDOMNode_opaque*> created;
    ASSERT_EQ(WriteBagToDomXML(*bag, root, &created), VE_OK);
    EXPECT_EQ(created.size(), 3u);
    // The DOM orders attributes by name.
    EXPECT_EQ(Body(document), "<bag count=\"3\" name=\"a&lt;b &amp; &quot;c&quot;\" on=\"true\">"
                              "<item n=\"1\"><inner/></item><item/></bag>");

    VRefPtr<VValueBag> read(new VValueBag);
    ASSERT_EQ(ReadBagFromDomXML(root, *read), VE_OK);
    VString value;
    EXPECT_TRUE(read->GetString("name", value));
    EXPECT_EQ(Text(value), u"a<b & \"c\"");
    EXPECT_TRUE(read->GetString("count", value));
    EXPECT_EQ(Text(value), u"3");
    ASSERT_NE(read->GetElements("item"), nullptr);
    ASSERT_EQ(read->GetElements("item")->GetCount(), 2);
    EXPECT_NE(read->GetElements("item")->GetNth(1)->GetElements("inner"), nullptr);

    // Returned, not pushed.
    StErrorContextInstaller errors(false, true);
    VXMLDOMNode_opaque* text = Dom::GetChildNode(Dom::GetRootNodeElement(Load("<r>t</r>")), 0);
    EXPECT_EQ(WriteBagToDomXML(*bag, text, nullptr), VE_INVALID_PARAMETER);
    EXPECT_EQ(ReadBagFromDomXML(text, *read), VE_XML_ParseError);
    EXPECT_EQ(errors.GetLastError(), VE_OK);

    // A name the DOM refuses fails the write.
    VRefPtr<VValueBag> badName(new VValueBag);
    badName->AddElement("1bad", second.Get());
    EXPECT_EQ(WriteBagToDomXML(*badName, root, nullptr), VE_UNKNOWN_ERROR);
    EXPECT_EQ(errors.GetLastError(), VE_XML_ParseError);
}

} // namespace
} // namespace kova
