#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VPackedKeyIndex.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/ValueTesting.h"
#include "xml/ValueBagXML.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_values::TextIs;

std::string U8(const VString& inText)
{
    std::string bytes(size_t(inText.GetLength()) * 3 + 1, '\0');
    bytes.resize(inText.ToBlock(bytes.data(), bytes.size(), VTC_UTF_8, false, false));
    return bytes;
}

VString FromU8(const std::string& inText)
{
    return VString(inText.data(), inText.size(), VTC_UTF_8);
}

std::string XML(const VValueBag& inBag, bool inIndented, const char* inName = "item")
{
    VString dump;
    inBag.DumpXML(dump, VString(inName), inIndented);
    return U8(dump);
}

std::string JSON(const VValueBag& inBag, uint32_t inOptions = 0)
{
    VString text;
    EXPECT_EQ(inBag.GetJSONString(text, inOptions), VE_OK);
    return U8(text);
}

VRefPtr<VValueBag> NewBag()
{
    return VRefPtr<VValueBag>(new VValueBag);
}

// ---------------------------------------------------------------------------------------------
// XML

TEST(VValueBagText, XMLElementLayout)
{
    VRefPtr<VValueBag> bag = NewBag();
    EXPECT_EQ(XML(*bag, true), "<item/>");
    bag->SetLong("a", 1);
    bag->AddElement("c", NewBag().Get());
    EXPECT_EQ(XML(*bag, true), "<item a=\"1\">\n\t<c/>\n</item>");
    EXPECT_EQ(XML(*bag, false), "<item a=\"1\">\n<c/></item>");
    // The markers are never written; strings are escaped.
    bag->SetBool("____objectunic", true);
    bag->SetString("s", VString("<&\"'>"));
    EXPECT_EQ(XML(*bag, false), "<item a=\"1\" s=\"&lt;&amp;&quot;&apos;&gt;\">\n<c/></item>");

    VString tabs;
    VValueBag::DumpXMLIndentation(tabs, 150);
    EXPECT_EQ(tabs.GetLength(), 100);
}

TEST(VValueBagText, CharacterData)
{
    struct Case
    {
        std::string fData;
        const char* fXML;
    };
    const Case cases[] = {
        {"plain", "<item>plain</item>"},
        {"a]]>b", "<item><![CDATA[a]]>]]<![CDATA[>b]]></item>"},
        {"\n\t", "<item>\n</item>"},
        {"one\ntwo", "<item><![CDATA[one\ntwo]]></item>"},
        {std::string("x\x01y\xEF\xBF\xBEz", 7), "<item>xyz</item>"},
    };
    for (const Case& c : cases)
    {
        VRefPtr<VValueBag> bag = NewBag();
        bag->SetString(VValueBag::CDataAttributeName(), FromU8(c.fData));
        EXPECT_EQ(XML(*bag, true), c.fXML);
    }
    const UniChar markup[] = {u'<'};
    EXPECT_FALSE(VValueBag::NeedsEscapeSequence(VString(""), markup, markup + 1));
    EXPECT_TRUE(VValueBag::NeedsEscapeSequence(VString("a<b"), markup, markup + 1));
    EXPECT_TRUE(VValueBag::NeedsEscapeSequence(VString("a\tb"), markup, markup));
    EXPECT_FALSE(VValueBag::NeedsEscapeSequence(VString("\t \n"), markup, markup));
}

TEST(VValueBagText, NamesThatXMLCannotHoldAreLeftOut)
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->SetLong("good", 1);
    bag->SetLong("bad name", 2);
    bag->SetLong("1st", 3);
    bag->AddElement("bad<child", NewBag().Get());
    bag->AddElement("child", NewBag().Get());
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(XML(*bag, false), "<item good=\"1\">\n<child/></item>");
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 3u);
    EXPECT_EQ(errors.GetLastError(), VE_INVALID_PARAMETER);
    EXPECT_EQ(XML(*bag, false, "no good"), "");
}

// The reading side of a bag's XML, for the round trip: attributes typed by ParseXMLValue,
// character data as "<>", child elements as elements.
class XercesReader
{
public:
    XercesReader() { xercesc::XMLPlatformUtils::Initialize(); }
    ~XercesReader() { xercesc::XMLPlatformUtils::Terminate(); }

    VRefPtr<VValueBag> Read(const std::string& inXML)
    {
        xercesc::XercesDOMParser parser;
        parser.setDoNamespaces(false);
        xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(inXML.data()), inXML.size(),
                                          "bag");
        parser.parse(source);
        if (parser.getErrorCount() != 0 || parser.getDocument() == nullptr)
            return VRefPtr<VValueBag>();
        return Element(parser.getDocument()->getDocumentElement());
    }

private:
    static VString Text(const XMLCh* inText) { return VString(reinterpret_cast<const UniChar*>(inText)); }
    VRefPtr<VValueBag> Element(const xercesc::DOMElement* inElement)
    {
        VRefPtr<VValueBag> bag = NewBag();
        xercesc::DOMNamedNodeMap* attributes = inElement->getAttributes();
        for (XMLSize_t i = 0; i < attributes->getLength(); ++i)
        {
            xercesc::DOMNode* attribute = attributes->item(i);
            std::unique_ptr<VValueSingle> value(ParseXMLValue(Text(attribute->getNodeValue())));
            bag->SetAttribute(Text(attribute->getNodeName()), *value);
        }
        // Character data: sections, and text other than the indentation between children.
        VString data;
        bool hasData = false;
        for (xercesc::DOMNode* child = inElement->getFirstChild(); child != nullptr;
             child = child->getNextSibling())
        {
            if (child->getNodeType() == xercesc::DOMNode::ELEMENT_NODE)
            {
                bag->AddElement(Text(child->getNodeName()),
                                Element(static_cast<xercesc::DOMElement*>(child)).Get());
                continue;
            }
            VString text = Text(child->getNodeValue());
            const UniChar* units = text.GetCPointer();
            bool blank = std::all_of(units, units + text.GetLength(),
                                     [](UniChar u) { return u == '\n' || u == '\t'; });
            if (child->getNodeType() == xercesc::DOMNode::CDATA_SECTION_NODE ||
                (child->getNodeType() == xercesc::DOMNode::TEXT_NODE && !blank))
            {
                hasData = true;
                data.AppendString(text);
            }
        }
        if (hasData)
            bag->SetString(VValueBag::CDataAttributeName(), data);
        return bag;
    }
};

// The bag's content with its attributes sorted by name (an XML reader need not keep their order):
// each attribute's kind and text, then the elements.
std::string Canonical(const VValueBag& inBag)
{
    std::vector<std::string> attributes;
    VString name;
    for (int32_t i = 1; i <= inBag.GetAttributesCount(); ++i)
    {
        const VValueSingle* value = inBag.GetNthAttribute(i, &name);
        VString text;
        value->GetString(text);
        attributes.push_back(U8(name) + ":" + std::to_string(value->GetValueInfo()->GetKind()) + "=" +
                             U8(text));
    }
    std::sort(attributes.begin(), attributes.end());
    std::string canonical = "{";
    for (const std::string& attribute : attributes)
        canonical += attribute + ";";
    for (int32_t n = 1; n <= inBag.GetElementNamesCount(); ++n)
    {
        VBagArray* list = inBag.GetNthElementName(n, &name);
        canonical += U8(name) + "[";
        for (int32_t i = 1; i <= list->GetCount(); ++i)
            canonical += Canonical(*list->GetNth(i));
        canonical += "]";
    }
    return canonical + "}";
}

// A bag with every kind that text carries, character data that needs a section, and children.
VRefPtr<VValueBag> SampleBag()
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->SetLong("count", -12);
    bag->SetLong8("big", 9000000000LL);
    bag->SetReal("ratio", 0.25);
    bag->SetBool("on", true);
    bag->SetString("name", FromU8("caf\xC3\xA9 <&> \"quoted\" \xF0\x9F\x98\x80"));
    // A UUID text reads back as one when it starts with a digit, "f" or "{".
    bag->SetVUUID("id", VUUID("0F1E2D3C4B5A69788796A5B4C3D2E1F0"));
    bag->SetString(VValueBag::CDataAttributeName(), FromU8("line one\nline ]]> two & <three>"));
    VRefPtr<VValueBag> child = NewBag();
    child->SetString("path", VString("/a/b"));
    bag->AddElement("child", child.Get());
    bag->AddElement("child", NewBag().Get());
    VRefPtr<VValueBag> single = NewBag();
    single->SetBool("____objectunic", true);
    single->SetLong("x", 1);
    bag->AddElement("single", single.Get());
    return bag;
}

TEST(VValueBagText, RoundTripThroughXML)
{
    XercesReader reader;
    VRefPtr<VValueBag> bag = SampleBag();
    for (bool indented : {true, false})
    {
        std::string xml = XML(*bag, indented, "root");
        VRefPtr<VValueBag> back = reader.Read(xml);
        ASSERT_TRUE(back) << xml;
        // The single element's marker is not written in XML, so it comes back as a list.
        VRefPtr<VValueBag> expected(bag->Clone());
        expected->GetElements("single")->GetNth(1)->RemoveAttribute("____objectunic");
        EXPECT_EQ(Canonical(*back), Canonical(*expected)) << xml;
    }
}

TEST(VValueBagText, RoundTripThroughJSON)
{
    VRefPtr<VValueBag> bag = SampleBag();
    for (uint32_t options : {0u, 8u})
    {
        VRefPtr<VValueBag> back = NewBag();
        VString text;
        bag->GetJSONString(text, options);
        EXPECT_EQ(back->FromJSONString(text, 0), VE_OK);
        EXPECT_EQ(JSON(*back), JSON(*bag));
    }
    VJSONValue value;
    EXPECT_EQ(bag->GetJSONValue(value, 0), VE_OK);
    ASSERT_TRUE(value.IsObject());
    EXPECT_TRUE(value.GetObject()->GetProperty("single").IsObject());
    EXPECT_TRUE(value.GetObject()->GetProperty("child").IsArray());
    VRefPtr<VValueBag> back = NewBag();
    back->SetLong("stale", 1);
    EXPECT_EQ(back->FromJSONValue(value), VE_OK);
    EXPECT_EQ(JSON(*back), JSON(*bag));
}

// "a0", "a1", ...
std::string NumberedName(int inNumber)
{
    return std::string(1, 'a').append(std::to_string(inNumber));
}

// A bag of many names, read from XML or JSON or set one by one, costs a bounded number of
// dictionary probes per name, and keeps the names in the order they came.
TEST(VValueBagText, ManyNamesCostBoundedWorkPerNameAndKeepTheirOrder)
{
    const int kCount = 20000;
    auto text = [&](const char* inOpen, const char* inBefore, const char* inAfter, const char* inClose)
    {
        std::string all = inOpen;
        for (int i = 0; i < kCount; ++i)
            all.append(i == 0 ? "" : inBefore).append(NumberedName(i)).append(inAfter);
        return VString(all.c_str()) + VString(inClose);
    };
    struct Case
    {
        const char* fLabel;
        bool fElements;
        std::function<void(VValueBag&)> fBuild;
    };
    const Case cases[] = {
        {"setters", false,
         [&](VValueBag& ioBag)
         {
             for (int i = 0; i < kCount; ++i)
                 ioBag.SetLong(StPackedDictionaryKey(NumberedName(i).c_str()), i);
         }},
        {"XML attributes", false,
         [&](VValueBag& ioBag)
         { EXPECT_EQ(LoadBagFromXML(text("<r ", " ", "=\"1\"", "/>"), VString("r"), ioBag, 0), VE_OK); }},
        {"JSON attributes", false,
         [&](VValueBag& ioBag)
         { EXPECT_EQ(ioBag.FromJSONString(text("{\"", ",\"", "\":1", "}"), 0), VE_OK); }},
        {"elements", true,
         [&](VValueBag& ioBag)
         {
             for (int i = 0; i < kCount; ++i)
                 ioBag.AddElement(StPackedDictionaryKey(NumberedName(i).c_str()), NewBag().Get());
         }},
        {"XML elements", true,
         [&](VValueBag& ioBag)
         { EXPECT_EQ(LoadBagFromXML(text("<r><", "<", "/>", "</r>"), VString("r"), ioBag, 0), VE_OK); }},
        {"JSON objects", true,
         [&](VValueBag& ioBag)
         { EXPECT_EQ(ioBag.FromJSONString(text("{\"", ",\"", "\":{}", "}"), 0), VE_OK); }},
    };
    for (const Case& c : cases)
    {
        VRefPtr<VValueBag> bag = NewBag();
        const uint64_t before = GetPackedDictionaryProbeCount();
        c.fBuild(*bag);
        EXPECT_LE(GetPackedDictionaryProbeCount() - before, 16u * kCount) << c.fLabel;
        ASSERT_EQ(c.fElements ? bag->GetElementNamesCount() : bag->GetAttributesCount(), kCount) << c.fLabel;
        for (int i : {0, 1, kCount / 2, kCount - 1})
        {
            VString name;
            if (c.fElements)
                bag->GetNthElementName(i + 1, &name);
            else
                bag->GetNthAttribute(i + 1, &name);
            EXPECT_TRUE(TextIs(name, NumberedName(i).c_str())) << c.fLabel << " " << i;
        }
    }
}

TEST(VValueBagText, JSONLayout)
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->SetLong("a", 1);
    bag->AddElement("c", NewBag().Get());
    EXPECT_EQ(JSON(*bag), "{\"a\":1,\"c\":[{}]}");
    EXPECT_EQ(JSON(*bag, 32), "{\"a\":1,\"c\":{}}");
    EXPECT_EQ(JSON(*bag, 8), "\n{\n\t\"a\" : 1,\n\t\"c\" : \n\t[\n\t\t{\n\t\t}\n\t]\n}");

    VRefPtr<VValueBag> list = NewBag();
    for (const char* word : {"x", "y"})
    {
        VRefPtr<VValueBag> element = NewBag();
        element->SetString("____FakeArrayElement", VString(word));
        list->AddElement("l", element.Get());
    }
    list->SetString(VValueBag::CDataAttributeName(), VString("data"));
    EXPECT_EQ(JSON(*list), "{\"__CDATA\":\"data\",\"l\":[\"x\",\"y\"]}");
}

TEST(VValueBagText, ValuesWithoutJSONTextAreNull)
{
    VRefPtr<VValueBag> bag = NewBag();
    VBlobWithPtr blob;
    blob.PutData("abc", 3, 0);
    bag->SetAttribute("blob", blob);
    bag->SetReal("nan", std::nan(""));
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(JSON(*bag), "{\"blob\":null,\"nan\":null}");
    EXPECT_EQ(errors.GetLastError(), VE_OK);
    VError error = VE_OK;
    VJSONObject* object = bag->BuildJSONObject(error);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(error, VE_OK);
    EXPECT_TRUE(object->GetProperty("blob").IsNull());
    object->Release();
}

TEST(VValueBagText, ParseXMLValueReadsTypedValues)
{
    struct Case
    {
        const char* fText;
        ValueKind fKind;
        const char* fValue; // its text; null: the text itself
    };
    const Case cases[] = {
        {"12", VK_LONG, "12"},
        {"007", VK_LONG, "7"},
        {" \xC2\xA0-5\xE3\x80\x80", VK_LONG, "-5"},
        {"\xE2\x88\x92"
         "5",
         VK_LONG, "-5"},
        {"-2147483648", VK_LONG8, "-2147483648"},
        {"9223372036854775807", VK_LONG8, "9223372036854775807"},
        {"-9223372036854775808", VK_LONG8, "-9223372036854775808"},
        {"9223372036854775808", VK_STRING, nullptr},
        {"99999999999999999999", VK_STRING, nullptr},
        {"0012345678901", VK_STRING, nullptr},
        {"1.5e3", VK_REAL, "1500"},
        {"-0.25", VK_REAL, "-0.25"},
        {"1e999", VK_STRING, nullptr},
        {"1.", VK_STRING, nullptr},
        {"1.5x", VK_STRING, nullptr},
        {"\t12", VK_STRING, nullptr},
        {"+INF", VK_STRING, nullptr},
        {"NaN", VK_REAL, nullptr},
        {"true", VK_BOOLEAN, "true"},
        {"True", VK_STRING, nullptr},
        {"false", VK_BOOLEAN, "false"},
        {"0123456789ABCDEF0123456789abcdef", VK_UUID, "0123456789ABCDEF0123456789ABCDEF"},
        {"f1234567-89AB-CDEF-0123-456789ABCDEF", VK_UUID, "F123456789ABCDEF0123456789ABCDEF"},
        {"{F1234567-89AB-CDEF-0123-456789ABCDEF}", VK_UUID, "F123456789ABCDEF0123456789ABCDEF"},
        {"a1234567-89AB-CDEF-0123-456789ABCDEF", VK_STRING, nullptr},
        {"-0123456789ABCDEF0123456789abcdef", VK_STRING, nullptr},
        {"", VK_STRING, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        VString text = FromU8(c.fText);
        std::unique_ptr<VValueSingle> value(ParseXMLValue(text));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->GetValueInfo()->GetKind(), c.fKind);
        EXPECT_TRUE(value->IsDirty());
        VString written;
        value->GetString(written);
        if (c.fValue != nullptr)
        {
            EXPECT_EQ(U8(written), c.fValue);
        }
        else if (c.fKind == VK_STRING)
        {
            EXPECT_EQ(U8(written), c.fText);
        }
    }
    std::unique_ptr<VValueSingle> infinity(ParseXMLValue(VString("-INF")));
    EXPECT_TRUE(std::isinf(infinity->GetReal()) && infinity->GetReal() < 0);
}

TEST(VValueBagText, NumbersUseAPointWhateverTheLocale)
{
    testing_json::StCommaDecimalLocale comma;
    if (!comma.IsAvailable())
        GTEST_SKIP() << "no comma-decimal locale";
    std::unique_ptr<VValueSingle> real(ParseXMLValue(VString("1.25e1")));
    ASSERT_EQ(real->GetValueInfo()->GetKind(), VK_REAL);
    EXPECT_EQ(real->GetReal(), 12.5);
    std::unique_ptr<VValueSingle> refused(ParseXMLValue(VString("1,5")));
    EXPECT_EQ(refused->GetValueInfo()->GetKind(), VK_STRING);

    VRefPtr<VValueBag> bag = NewBag();
    bag->SetReal("r", 0.5);
    EXPECT_EQ(JSON(*bag), "{\"r\":0.5}");
    EXPECT_EQ(XML(*bag, false), "<item r=\"0.5\"/>");
    VRefPtr<VValueBag> back = NewBag();
    EXPECT_EQ(back->FromJSONString(VString("{r:2.5}"), 0), VE_OK);
    double read = 0;
    EXPECT_TRUE(back->GetReal("r", read));
    EXPECT_EQ(read, 2.5);
}

} // namespace
} // namespace kova
