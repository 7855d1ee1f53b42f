#include "kernel/text/VIntlMgr.h"

#include "kernel/tasks/VTask.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VBidiRun.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VMemory.h"

#include <gtest/gtest.h>

#include <vector>

namespace kova
{
namespace
{

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

class VIntlMgrCharClasses : public testing::Test
{
protected:
    const VIntlMgr& fManager = *VTask::GetCurrentIntlManager();
};

TEST_F(VIntlMgrCharClasses, ClassesByTheirTables)
{
    for (UniChar unit : {u'A', u'z', u'\u00e9', u'\u03a9', u'\u30a2', u'\u4e00', u'\u9fa5', u'\uac00',
                         u'\u04d0', u'\u1f4d', u'\uffdc'})
        EXPECT_TRUE(fManager.IsAlpha(unit)) << std::hex << int(unit);
    for (UniChar unit : {u'1', u'@', u'\u4e01', u'\uac01', u'\u00d7', u'\u0242', u'\uffdd', u'\0'})
        EXPECT_FALSE(fManager.IsAlpha(unit)) << std::hex << int(unit);

    EXPECT_TRUE(fManager.IsDigit(u'0'));
    EXPECT_TRUE(fManager.IsDigit(u'\u0663'));
    EXPECT_TRUE(fManager.IsDigit(u'\uff19'));
    EXPECT_FALSE(fManager.IsDigit(u'a'));
    EXPECT_EQ(fManager.CharDigitValue(u'7'), 7u);
    EXPECT_EQ(fManager.CharDigitValue(u'\u0663'), 0xFFFFFFFFu);

    EXPECT_TRUE(fManager.IsPunctuation(u','));
    EXPECT_TRUE(fManager.IsPunctuation(u'\u06d4'));
    EXPECT_TRUE(fManager.IsPunctuation(u'\uff65'));
    EXPECT_FALSE(fManager.IsPunctuation(u'$'));
    EXPECT_FALSE(fManager.IsPunctuation(u'+'));

    for (UniChar unit : {u' ', u'\u00a0', u'\u2003', u'\u200b', u'\u3000'})
        EXPECT_TRUE(fManager.IsSpace(unit)) << std::hex << int(unit);
    for (UniChar unit : {u'\t', u'\n', u'\r', u'\0', u'\u200c'})
        EXPECT_FALSE(fManager.IsSpace(unit)) << std::hex << int(unit);

    EXPECT_EQ(fManager.CharType(u'a'), 0u);
    EXPECT_FALSE(fManager.IsUpper(u'A'));
    EXPECT_FALSE(fManager.IsLower(u'a'));
}

TEST_F(VIntlMgrCharClasses, BothWalksOfATableAgree)
{
    // Split at 3: a unit at or below it walks forward, above it backward.
    const uint16_t table[] = {3, 3, 2, 3, 5, 5, 9, 12};
    const bool expected[] = {false, false, true, true, false, true, false,
                             false, false, true, true, true,  true, false};
    for (UniChar unit = 0; unit < 14; ++unit)
        EXPECT_EQ(fManager._CharTest(unit, table), expected[unit]) << int(unit);
}

TEST_F(VIntlMgrCharClasses, MacRomanKinds)
{
    EXPECT_TRUE(VIntlMgr::IsAMacCharacter(0x8E, 1));
    EXPECT_FALSE(VIntlMgr::IsAMacCharacter(0x8E, 3));
    EXPECT_TRUE(VIntlMgr::IsAMacCharacter(0xCF, 2));
    EXPECT_FALSE(VIntlMgr::IsAMacCharacter('7', 2));
    EXPECT_TRUE(VIntlMgr::IsAMacCharacter('7', 5));
    EXPECT_TRUE(VIntlMgr::IsAMacCharacter('_', 4));
    EXPECT_TRUE(VIntlMgr::IsAMacCharacter('\t', 0));
    EXPECT_FALSE(VIntlMgr::IsAMacCharacter(0x7F, 0));
    EXPECT_FALSE(VIntlMgr::IsAMacCharacter('\n', 0));
    EXPECT_FALSE(VIntlMgr::IsAMacCharacter('a', 6));
}

TEST_F(VIntlMgrCharClasses, TablesFromFlags)
{
    std::vector<uint16_t> flags(65536, 0);
    flags[0] = 1; // unit 0 never belongs to a class
    for (int unit = 'a'; unit <= 'c'; ++unit)
        flags[size_t(unit)] = 1;
    flags['x'] = 3;
    flags['y'] = 2;
    for (int unit = 0xFFF0; unit <= 0xFFFF; ++unit)
        flags[size_t(unit)] = 1;
    uint16_t* table = VIntlMgr::_FillOneRangesArray(flags.data(), 1);
    ASSERT_NE(table, nullptr);
    const std::vector<uint16_t> expected{
        3, uint16_t(('a' + 'x' + 0xFFF0) / 3), 'a', 'c', 'x', 'x', 0xFFF0, 0xFFFF};
    EXPECT_GE(VMemory::GetPtrSize(table), expected.size() * sizeof(uint16_t));
    EXPECT_EQ(std::vector<uint16_t>(table, table + expected.size()), expected);
    EXPECT_TRUE(fManager._CharTest(u'b', table));
    EXPECT_TRUE(fManager._CharTest(u'\uffff', table));
    EXPECT_FALSE(fManager._CharTest(u'y', table));
    VMemory::DisposePtr(table);

    uint16_t* none = VIntlMgr::_FillOneRangesArray(flags.data(), 4);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none[0], 0);
    EXPECT_EQ(none[1], 0);
    VMemory::DisposePtr(none);
}

TEST_F(VIntlMgrCharClasses, WordBoundaries)
{
    Ranges words{{9, 9}};
    EXPECT_TRUE(fManager.GetWordBoundariesWithOptions(VString("ab, cd"), words, 1));
    EXPECT_EQ(words, (Ranges{{1, 2}, {5, 2}}));
    EXPECT_TRUE(fManager.GetWordBoundariesWithOptions(VString(u"\u00e9t\u00e9 2024\u3000\u4e00!"), words, 1));
    EXPECT_EQ(words, (Ranges{{1, 3}, {5, 4}, {10, 1}}));
    EXPECT_TRUE(fManager.GetWordBoundariesWithOptions(VString(".,;!"), words, 1));
    EXPECT_TRUE(words.empty());
    words = {{9, 9}};
    EXPECT_TRUE(fManager.GetWordBoundariesWithOptions(VString(), words, 0));
    EXPECT_TRUE(words.empty());
    words = {{9, 9}};
    EXPECT_FALSE(fManager.GetWordBoundariesWithOptions(VString("ab cd"), words, 0));
    EXPECT_TRUE(words.empty());
}

TEST_F(VIntlMgrCharClasses, WordHelpers)
{
    EXPECT_TRUE(fManager._IsItaDeadChar(u'\u0001'));
    EXPECT_TRUE(fManager._IsItaDeadChar(u'-'));
    EXPECT_FALSE(fManager._IsItaDeadChar(u'\u00e9'));
    EXPECT_FALSE(fManager._IsItaDeadChar(u'5'));

    VString text(u"Dell'Amore l\u2019Hotel l'x lo'ok");
    EXPECT_FALSE(fManager._HasApostropheSecondFollowedByVowel(text, 1, 10)); // "e" is no apostrophe
    EXPECT_TRUE(fManager._HasApostropheSecondFollowedByVowel(text, 4, 7));   // "l'Amore"
    EXPECT_TRUE(fManager._HasApostropheSecondFollowedByVowel(text, 12, 7));  // "l’Hotel"
    EXPECT_FALSE(fManager._HasApostropheSecondFollowedByVowel(text, 20, 3)); // too short
    EXPECT_FALSE(fManager._HasApostropheSecondFollowedByVowel(text, 24, 5));
    EXPECT_FALSE(fManager._HasApostropheSecondFollowedByVowel(text, 27, 4)); // beyond the text

    Ranges ranges;
    VString dotted("x.ab..c.");
    EXPECT_TRUE(fManager._SplitWordRangeOnDot(dotted, 1, 8, ranges, false));
    EXPECT_EQ(ranges, (Ranges{{1, 1}, {3, 2}, {7, 1}}));
    ranges.clear();
    EXPECT_TRUE(fManager._SplitWordRangeOnDot(dotted, 3, 5, ranges, true));
    EXPECT_EQ(ranges, (Ranges{{3, 2}, {5, 1}, {6, 1}, {7, 1}}));
    ranges.clear();
    EXPECT_FALSE(fManager._SplitWordRangeOnDot(VString("word"), 1, 4, ranges, true));
    EXPECT_TRUE(ranges.empty());
    EXPECT_FALSE(fManager._SplitWordRangeOnDot(dotted, 0, 4, ranges, true));
    EXPECT_TRUE(fManager._SplitWordRangeOnDot(dotted, 6, 99, ranges, false)); // cut to the text
    EXPECT_EQ(ranges, (Ranges{{7, 1}}));
}

TEST_F(VIntlMgrCharClasses, WholeWords)
{
    VCompareOptions options;
    EXPECT_TRUE(fManager.FindWord(VString("the cat sat"), VString("cat"), options));
    EXPECT_FALSE(fManager.FindWord(VString("concatenate"), VString("cat"), options));
    // The search goes on after a match inside a word.
    EXPECT_TRUE(fManager.FindWord(VString("catalog, cat"), VString("cat"), options));
    EXPECT_TRUE(fManager.FindWord(VString(u"un caf\u00e9"), VString("CAFE"), options));
    options.SetDiacritical(true);
    EXPECT_FALSE(fManager.FindWord(VString(u"un caf\u00e9"), VString("CAFE"), options));
    // An empty word is never found, not even between two dead units.
    EXPECT_FALSE(fManager.FindWord(VString("the  cat"), VString(), options));

    // A pattern is matched word by word.
    options.SetDiacritical(false);
    options.SetLike(true);
    EXPECT_TRUE(fManager.FindWord(VString("the category"), VString("cat@"), options));
    EXPECT_FALSE(fManager.FindWord(VString("concatenate"), VString("cat@"), options));
}

TEST_F(VIntlMgrCharClasses, ConstrainedSearches)
{
    Ranges matches{{9, 9}};
    VString text("cat concatenate cat catalog");
    fManager.FindStrings(text, VString("cat"), eFindWholeWords, false, matches, true);
    EXPECT_EQ(matches, (Ranges{{1, 3}, {17, 3}}));
    fManager.FindStrings(text, VString("cat"), eFindWordStart, false, matches, true);
    EXPECT_EQ(matches, (Ranges{{1, 3}, {17, 3}, {21, 3}}));
    fManager.FindStrings(text, VString("cat"), eFindWordEnd, false, matches, true);
    EXPECT_EQ(matches, (Ranges{{1, 3}, {17, 3}}));
    fManager.FindStrings(VString("xcatx concatenate"), VString("cat"), eFindWholeWords, false, matches, true);
    EXPECT_TRUE(matches.empty());
    fManager.FindStrings(VString("xcatx concatenate"), VString("cat"), eFindWordEnd, false, matches, false);
    EXPECT_TRUE(matches.empty());

    fManager.FindStrings(VString("aaaa"), VString("aa"), eFindContains, false, matches, true);
    EXPECT_EQ(matches, (Ranges{{1, 2}, {3, 2}}));
    fManager.FindStrings(VString("aaaa"), VString("AA"), eFindContains, false, matches, false);
    EXPECT_EQ(matches, (Ranges{{1, 2}}));
    fManager.FindStrings(VString("aaaa"), VString("AA"), eFindContains, true, matches, true);
    EXPECT_TRUE(matches.empty());
    fManager.FindStrings(VString("aaaa"), VString(), eFindContains, false, matches, true);
    EXPECT_TRUE(matches.empty());
    // A pattern that collation ignores matches no unit: the search still moves on, and ends.
    fManager.FindStrings(VString("ab"), VString(u"\u0001"), eFindContains, false, matches, true);
    EXPECT_EQ(matches, (Ranges{{1, 0}, {2, 0}}));
}

TEST_F(VIntlMgrCharClasses, OneRunAtTheParagraphLevel)
{
    std::vector<VBidiRun> runs;
    std::vector<int32_t> order{4, 5};
    const UniChar text[] = u"abcd\r";
    EXPECT_FALSE(fManager.GetBidiRuns(text, 5, runs, order, 0, true));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].GetStart(), 0);
    EXPECT_EQ(runs[0].GetLength(), 4);
    EXPECT_EQ(runs[0].GetLevel(), 0);
    EXPECT_EQ(order, std::vector<int32_t>{0});

    EXPECT_TRUE(fManager.GetBidiRuns(text, 5, runs, order, 3, false));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].GetLength(), 5);
    EXPECT_EQ(runs[0].GetLevel(), 1);
    EXPECT_FALSE(fManager.GetBidiRuns(nullptr, 3, runs, order, 0, true));
    EXPECT_EQ(runs[0].GetLength(), 0);

    EXPECT_TRUE(fManager.TextLogicalToVisual(VString(), 0));
    EXPECT_TRUE(fManager.TextLogicalToVisual(VString("\r"), 1));
    EXPECT_FALSE(fManager.TextLogicalToVisual(VString("ab"), 0));
}

} // namespace
} // namespace kova
