#include "kernel/text/VString.h"

#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

struct FormatCase
{
    const char16_t* fTemplate;
    bool fRemoveMissing;
    const char16_t* fExpected;
};

class VStringFormat : public testing::TestWithParam<FormatCase>
{
protected:
    VStringFormat()
    {
        fBag->SetString("a", VString(u"x"));
        fBag->SetString("long", VString(u"hello"));
        fBag->SetString("self", VString(u"{a}"));
        fBag->SetLong("n", -42);
        fBag->SetString("empty", VString(u""));
    }

    VRefPtr<VValueBag> fBag{new VValueBag};
};

TEST_P(VStringFormat, ExpandsFromTheBag)
{
    const FormatCase& format = GetParam();
    VString text(format.fTemplate);
    text.Format(fBag.Get(), format.fRemoveMissing);
    EXPECT_EQ(Text(text), format.fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, VStringFormat,
    testing::Values(FormatCase{u"{a}-{long}", false, u"x-hello"}, FormatCase{u"{b}", false, u"{b}"},
                    FormatCase{u"{b}", true, u""}, FormatCase{u"<{b}{a}>", true, u"<x>"},
                    // Doubled braces are passed over, never collapsed.
                    FormatCase{u"{{a}}", false, u"{{a}}"}, FormatCase{u"{a}}z", false, u"{a}}z"},
                    FormatCase{u"{a}}", false, u"x}"}, FormatCase{u"{{a}} {a}", false, u"{{a}} x"},
                    FormatCase{u"{a b}", true, u"{a b}"}, FormatCase{u"{}", true, u"{}"},
                    FormatCase{u"{a}{a}", false, u"xx"}, FormatCase{u"{self}", false, u"{a}"},
                    // Values of any kind give their text; an empty value leaves nothing.
                    FormatCase{u"n={n}.", false, u"n=-42."}, FormatCase{u"[{empty}]{a}", false, u"[]x"},
                    FormatCase{u"{a", true, u"{a"}, FormatCase{u"a}", true, u"a}"},
                    FormatCase{u"}{a}{", false, u"}x{"}, FormatCase{u"{ {a}", false, u"{ x"}));

TEST(VStringFormatEdges, NullOrEmptyBagsAndShortTextsChangeNothing)
{
    VString text(u"{a}");
    text.Format(nullptr, true);
    EXPECT_EQ(Text(text), u"{a}");

    VRefPtr<VValueBag> empty(new VValueBag);
    text.Format(empty.Get(), true);
    EXPECT_EQ(Text(text), u"{a}");

    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("a", VString(u"x"));
    VString one(u"{");
    one.Format(bag.Get(), true);
    EXPECT_EQ(Text(one), u"{");
}

TEST(VStringFormatEdges, NamesBeyondTheKeyLimitFindNothing)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("a", VString(u"x"));
    std::u16string longName(300, u'n');
    VString text((u"{" + longName + u"}{a}").c_str());
    text.Format(bag.Get(), false);
    EXPECT_EQ(Text(text), u"{" + longName + u"}x");
}

TEST(VStringFormatEdges, LongValuesGrowTheString)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    std::u16string value(100, u'v');
    bag->SetString("value", VString(value.c_str()));
    VStr15 text(u"<{value}>");
    text.Format(bag.Get(), false);
    EXPECT_EQ(Text(text), u"<" + value + u">");
}

} // namespace
} // namespace kova
