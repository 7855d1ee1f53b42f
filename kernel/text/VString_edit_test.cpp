#include "kernel/text/VString.h"

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

struct ReplaceCase
{
    const char16_t* fText;
    int32_t fStart;
    int32_t fCount;
    const char16_t* fExpected;
};

class VStringReplace : public testing::TestWithParam<ReplaceCase>
{
};

TEST_P(VStringReplace, OnAbcde)
{
    const ReplaceCase& replace = GetParam();
    VString text(u"abcde");
    text.Replace(VString(replace.fText), replace.fStart, replace.fCount);
    EXPECT_EQ(Text(text), replace.fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, VStringReplace,
    testing::Values(ReplaceCase{u"XY", 2, 2, u"aXYde"}, ReplaceCase{u"XY", 4, 5, u"abcXY"},
                    ReplaceCase{u"XY", 6, 1, u"abcde"}, ReplaceCase{u"XY", 0, 2, u"abcde"},
                    ReplaceCase{u"XY", 2, 0, u"abcde"}, ReplaceCase{u"XY", 2, -1, u"abcde"},
                    // Shorter, longer and empty replacements move the tail.
                    ReplaceCase{u"1234", 2, 1, u"a1234cde"}, ReplaceCase{u"", 2, 2, u"ade"},
                    ReplaceCase{u"Z", 1, 5, u"Z"}, ReplaceCase{u"Z", 5, 1, u"abcdZ"},
                    // The end of the range overflows 32 bits: the whole tail goes.
                    ReplaceCase{u"Z", 3, INT32_MAX, u"abZ"}));

struct RemoveCase
{
    int32_t fStart;
    int32_t fCount;
    const char16_t* fExpected;
};

class VStringRemove : public testing::TestWithParam<RemoveCase>
{
};

TEST_P(VStringRemove, OnAbcde)
{
    const RemoveCase& remove = GetParam();
    VString text(u"abcde");
    text.Remove(remove.fStart, remove.fCount);
    EXPECT_EQ(Text(text), remove.fExpected);
}

INSTANTIATE_TEST_SUITE_P(Ranges, VStringRemove,
                         testing::Values(RemoveCase{2, 10, u"a"}, RemoveCase{6, 1, u"abcde"},
                                         RemoveCase{2, 3, u"ae"}, RemoveCase{1, 5, u""},
                                         RemoveCase{0, 1, u"abcde"}, RemoveCase{2, -1, u"abcde"},
                                         RemoveCase{2, 0, u"abcde"}, RemoveCase{3, INT32_MAX, u"ab"}));

TEST(VStringEditing, EditsLeaveSharersUntouched)
{
    VString original(u"abcdefghijklmnopqrstuvwxyz");
    VString shared(original);
    shared.Replace(VString(u"--"), 2, 20);
    EXPECT_EQ(Text(shared), u"a--vwxyz");
    EXPECT_EQ(Text(original), u"abcdefghijklmnopqrstuvwxyz");

    VString other(original);
    other.Remove(1, 25);
    EXPECT_EQ(Text(other), u"z");
    EXPECT_EQ(Text(original), u"abcdefghijklmnopqrstuvwxyz");
}

TEST(VStringEditing, ReplaceWithItselfCopiesTheTextFirst)
{
    VString text(u"abcde");
    text.Replace(text, 2, 1);
    EXPECT_EQ(Text(text), u"aabcdecde");

    VStr15 inlineText(u"xyz");
    inlineText.Replace(inlineText, 3, 1);
    EXPECT_EQ(Text(inlineText), u"xyxyz");
}

TEST(VStringEditing, GrowsPastTheInlineCapacity)
{
    VStr4 text(u"abcd");
    text.Replace(VString(u"0123456789"), 2, 1);
    EXPECT_EQ(Text(text), u"a0123456789cd");
}

TEST(VStringEditing, EditsMarkTheStringChangedEvenForAnEmptyRemoval)
{
    VString text(u"abc");
    text.SetDirty(false);
    text.Remove(2, 0);
    EXPECT_TRUE(text.IsDirty());
    EXPECT_EQ(Text(text), u"abc");

    text.SetDirty(false);
    text.Replace(VString(u"x"), 4, 1);
    EXPECT_FALSE(text.IsDirty());
}

} // namespace
} // namespace kova
