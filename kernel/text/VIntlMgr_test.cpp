#include "kernel/text/VIntlMgr.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/StTimeZone_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VCollator.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

VRefPtr<VIntlMgr> Make(uint32_t inDialect, uint32_t inCollatorDialect = 0)
{
    return VRefPtr<VIntlMgr>(
        VIntlMgr::Create(inDialect, inCollatorDialect == 0 ? inDialect : inCollatorDialect, 1));
}

bool Contains(const VString& inText, std::u16string_view inPart)
{
    return Text(inText).find(inPart) != std::u16string::npos;
}

TEST(VIntlMgr, TheProcessManagerIsTheDefaultDialects)
{
    VIntlMgr* manager = VTask::GetCurrentIntlManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->GetDialectCode(), 1033u); // the test main sets en_US
    EXPECT_EQ(VIntlMgr::ResolveDialectCode(0), 1033u);
    EXPECT_EQ(VIntlMgr::ResolveDialectCode(0xFFFFFFFF), 1033u);
    EXPECT_EQ(VIntlMgr::ResolveDialectCode(VIntlMgr::kNoDialect), 1033u);
    EXPECT_EQ(VIntlMgr::ResolveDialectCode(1036), 1036u);
}

TEST(VIntlMgr, DialectsMissingFromTheTableFallBack)
{
    VRefPtr<VIntlMgr> australian = Make(0x0C09);
    ASSERT_NE(australian, nullptr);
    EXPECT_EQ(australian->GetDialectCode(), 0x0C09u);
    EXPECT_EQ(australian->GetOptions(), VIntlMgr::kOptionSystemServices);

    VRefPtr<VIntlMgr> unknownEnglish = Make(0x3009);
    ASSERT_NE(unknownEnglish, nullptr);
    EXPECT_EQ(unknownEnglish->GetDialectCode(), 1033u);

    // Neither language nor region in the table.
    VRefPtr<VIntlMgr> unknown = Make(0x7FFF);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->GetDialectCode(), 1033u);

    VRefPtr<VIntlMgr> thai = Make(1054);
    ASSERT_NE(thai, nullptr);
    EXPECT_EQ(thai->GetDialectCode(), 1054u);
    EXPECT_EQ(thai->GetCollator()->GetDialect(), 1033u);
    VRefPtr<VIntlMgr> hungarian = Make(1038);
    EXPECT_EQ(hungarian->GetCollator()->GetDialect(), 1033u);
}

TEST(VIntlMgr, CreatingTheCurrentDialectCopiesTheCurrentManager)
{
    VIntlMgr* current = VTask::GetCurrentIntlManager();
    ASSERT_NE(current, nullptr);
    current->GetCollator()->SetWildChar(u'*');
    VRefPtr<VIntlMgr> copy = Make(1033);
    current->Reset();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.Get(), current);
    EXPECT_NE(copy->GetCollator(), current->GetCollator());
    // The copy's collator starts over with the default wildcard.
    EXPECT_EQ(copy->GetWildChar(), u'@');
    EXPECT_EQ(Text(copy->GetShortDatePattern()), Text(current->GetShortDatePattern()));

    VRefPtr<VIntlMgr> clone(copy->Clone());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetDialectCode(), 1033u);
    EXPECT_NE(clone->GetCollator(), copy->GetCollator());
    EXPECT_EQ(Text(clone->GetDecimalSeparator()), u".");
}

TEST(VIntlMgr, DefaultDialectFromThePreferredLanguages)
{
    const std::tuple<const char*, const char*, const char*, uint32_t> cases[] = {
        {"fr_FR.UTF-8", nullptr, nullptr, 1036}, {"xx", nullptr, nullptr, 1033},
        {"de:fr", nullptr, nullptr, 1031},       {"en_GB:en", nullptr, nullptr, 2057},
        {nullptr, "de_AT.UTF-8", nullptr, 3079}, {"", nullptr, "C", 1033},
        {nullptr, nullptr, nullptr, 1033},
    };
    for (const auto& [language, all, lang, dialect] : cases)
    {
        StEnvironment environment{
            {"LANGUAGE", language}, {"LC_ALL", all}, {"LC_MESSAGES", nullptr}, {"LANG", lang}};
        EXPECT_EQ(VIntlMgr::_ComputeDefaultDialectCode(), dialect);
        EXPECT_EQ(VIntlMgr::GetSystemUIDialectCode(), dialect);
    }
    // Resolved once: later changes of the environment do not move it.
    StEnvironment french{{"LANGUAGE", "fr"}};
    EXPECT_EQ(VIntlMgr::ResolveDialectCode(0), 1033u);
}

TEST(VIntlMgr, SystemInterfaceDialects)
{
    StEnvironment environment{{"LANGUAGE", "fr:xx:en_GB.UTF-8"}};
    std::vector<uint32_t> dialects{1};
    VIntlMgr::GetSystemUIDialectCodes(dialects);
    EXPECT_EQ(dialects, (std::vector<uint32_t>{1036, 1033, 2057}));
    EXPECT_FALSE(VIntlMgr::IsSystemUIDialectIdeographic());
    StEnvironment japanese{{"LANGUAGE", "ja_JP"}};
    EXPECT_TRUE(VIntlMgr::IsSystemUIDialectIdeographic());
}

TEST(VIntlMgr, LocaleVariables)
{
    VIntlMgr* english = VTask::GetCurrentIntlManager();
    EXPECT_EQ(Text(english->GetDecimalSeparator()), u".");
    EXPECT_EQ(Text(english->GetThousandSeparator()), u",");
    EXPECT_EQ(Text(english->GetCurrencySymbol()), u"$");
    EXPECT_EQ(Text(english->GetAMString()), u"AM");
    EXPECT_EQ(Text(english->GetPMString()), u"PM");
    EXPECT_TRUE(english->UseAMPM());
    EXPECT_EQ(Text(english->GetTimeSeparator()), u":");
    EXPECT_EQ(Text(english->GetDateSeparator()), u"/");
    EXPECT_EQ(english->GetDateOrder(), 0u);
    EXPECT_TRUE(Contains(english->GetShortDatePattern(), u"M/d/yy"));
    EXPECT_TRUE(Contains(english->GetFullDatePattern(), u"EEEE"));
    EXPECT_TRUE(Contains(english->GetMediumTimePattern(), u"ss"));

    VRefPtr<VIntlMgr> german = Make(1031);
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(Text(german->GetDecimalSeparator()), u",");
    EXPECT_EQ(Text(german->GetThousandSeparator()), u".");
    EXPECT_EQ(Text(german->GetCurrencySymbol()), u"\u20ac");
    EXPECT_EQ(Text(german->GetDateSeparator()), u".");
    EXPECT_EQ(german->GetDateOrder(), 1u);
    EXPECT_FALSE(german->UseAMPM());

    VRefPtr<VIntlMgr> japanese = Make(1041);
    EXPECT_EQ(japanese->GetDateOrder(), 2u);

    // A locale without a currency of its own names the generic sign: the euro stands in.
    VRefPtr<VIntlMgr> arabic = Make(1);
    ASSERT_NE(arabic, nullptr);
    EXPECT_EQ(Text(arabic->GetCurrencySymbol()), u"\u20ac");
}

TEST(VIntlMgr, PatternScans)
{
    const std::tuple<const char16_t*, const char16_t*, uint32_t> dates[] = {
        {u"dd.MM.yy", u".", 1}, {u"M/d/y", u"/", 0},       {u"'d'y-MM-dd", u"-", 2},
        {u"MM y dd", u" ", 3},  {u"d-y-M", u"-", 4},       {u"yy.dd.MM", u".", 5},
        {u"EEEE", u"", 0},      {u"d 'de' MMMM", u" ", 0}, {u"'unclosed", u"", 0},
    };
    for (const auto& [pattern, separator, order] : dates)
    {
        VString found("x");
        EXPECT_EQ(VIntlMgr::_ScanDatePattern(VString(pattern), found), order);
        EXPECT_EQ(Text(found), separator);
    }
    bool ampm = false;
    VString separator;
    VIntlMgr::_ScanTimePattern(VString(u"h:mm a"), ampm, separator);
    EXPECT_TRUE(ampm);
    EXPECT_EQ(Text(separator), u":");
    VIntlMgr::_ScanTimePattern(VString(u"'a' HH.mm"), ampm, separator);
    EXPECT_FALSE(ampm);
    EXPECT_EQ(Text(separator), u" ");
}

class VIntlMgrDates : public testing::Test
{
protected:
    VIntlMgr& fManager = *VTask::GetCurrentIntlManager();
    VTime fTime;

    void SetUp() override { fTime.FromUTCTime(2024, 3, 5, 9, 7, 30, 250); }

    std::u16string Pattern(std::u16string_view inPattern, const VTime& inTime,
                           const VString* inMonth = nullptr)
    {
        VString text("old");
        fManager.FormatDateTimeWithPattern(inTime, VString(std::u16string(inPattern).c_str()), true, inMonth,
                                           text);
        return Text(text);
    }
};

TEST_F(VIntlMgrDates, FieldsByPattern)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"yyyy-MM-dd HH:mm", u"2024-03-05 09:07"},
        {u"yy", u"2024"},
        {u"y/M/d", u"2024/3/5"},
        {u"yyyyyy", u"002024"},
        {u"HHH:ss", u"099:30"},
        {u"D DDD", u"65 065"},
        {u"E EE EEE EEEE EEEEE", u"Tue Tue Tuesday T Tu"},
        {u"MMM MMMM MMMMM LLL", u"Mar March M Mar"},
        {u"G GGGG GGGGG", u"AD Anno Domini A"},
        {u"AFQSVWZcequvwz", u""},
        {u"'x' b [_]", u"'x' b [_]"},
        {u"h K k a", u"9 9 9 AM"},
    };
    for (const auto& [pattern, result] : cases)
        EXPECT_EQ(Pattern(pattern, fTime), result);

    // The toolbox's own day number, padded to the run.
    std::string day = std::to_string(VTime::ComputeJulianDay(2024, 3, 5));
    EXPECT_EQ(Pattern(u"g", fTime), std::u16string(day.begin(), day.end()));
    EXPECT_EQ(Pattern(u"gggggggggg", fTime), u"000" + std::u16string(day.begin(), day.end()));

    VTime midnight;
    midnight.FromUTCTime(2024, 3, 5, 0, 30, 0, 0);
    EXPECT_EQ(Pattern(u"h a", midnight), u"12 AM");
    EXPECT_EQ(Pattern(u"k K", midnight), u"24 0");
    VTime evening;
    evening.FromUTCTime(2024, 3, 5, 23, 0, 0, 0);
    EXPECT_EQ(Pattern(u"hh a kk KK", evening), u"11 PM 23 11");

    VString month(u"Mars");
    EXPECT_EQ(Pattern(u"d MMMM / MMM", fTime, &month), u"5 Mars / Mars");

    VTime null;
    null.SetNull(true);
    EXPECT_EQ(Pattern(u"yyyy", null), u"");
}

TEST_F(VIntlMgrDates, PatternsReadLocalTimeUnlessAskedForUniversal)
{
    StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    VString text;
    fManager.FormatDateTimeWithPattern(fTime, VString(u"HH:mm"), false, nullptr, text);
    EXPECT_EQ(Text(text), u"10:07");
    fManager.FormatDateTimeWithPattern(fTime, VString(u"HH:mm"), true, nullptr, text);
    EXPECT_EQ(Text(text), u"09:07");
}

TEST_F(VIntlMgrDates, PlatformFormats)
{
    VString text;
    fManager.FormatDate(fTime, text, eOS_SHORT_FORMAT, true);
    EXPECT_EQ(Text(text), u"3/5/24");
    fManager.FormatDate(fTime, text, eOS_MEDIUM_FORMAT, true);
    EXPECT_EQ(Text(text), u"Mar 5, 2024");
    fManager.FormatDate(fTime, text, eOS_LONG_FORMAT, true);
    EXPECT_TRUE(Contains(text, u"Tuesday")) << "full date style";
    text.FromString(VString("untouched"));
    fManager.FormatDate(fTime, text, EOSFormats(7), true);
    EXPECT_EQ(Text(text), u"untouched");

    fManager.FormatTime(fTime, text, eOS_SHORT_FORMAT, true);
    EXPECT_TRUE(Contains(text, u"9:07")) << "short time";
    EXPECT_FALSE(Contains(text, u":30"));
    fManager.FormatTime(fTime, text, eOS_MEDIUM_FORMAT, true);
    EXPECT_TRUE(Contains(text, u"9:07:30"));
    fManager.FormatTime(fTime, text, EOSFormats(3), true);
    EXPECT_EQ(Text(text), u"");

    {
        StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        fManager.FormatTime(fTime, text, eOS_MEDIUM_FORMAT, false);
        EXPECT_TRUE(Contains(text, u"10:07:30"));
        fManager.FormatTime(fTime, text, eOS_LONG_FORMAT, false);
        EXPECT_TRUE(Contains(text, u"GMT+1")) << "the zone's offset is shown";
    }

    VTime null;
    null.SetNull(true);
    fManager.FormatDate(null, text, eOS_SHORT_FORMAT, true);
    EXPECT_TRUE(text.IsEmpty());
    // The empty date has a time of day but no date.
    VTime timeOnly;
    timeOnly.FromUTCTime(0, 0, 0, 9, 7, 0, 0);
    fManager.FormatDate(timeOnly, text, eOS_SHORT_FORMAT, true);
    EXPECT_TRUE(text.IsEmpty());
    fManager.FormatTime(timeOnly, text, eOS_SHORT_FORMAT, true);
    EXPECT_TRUE(Contains(text, u"9:07"));
}

TEST_F(VIntlMgrDates, DurationsAreTimesOfDayWhateverTheZone)
{
    StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    VDuration duration;
    duration.SetDuration(0, 1, 2, 3, 400);
    VString text;
    fManager.FormatDuration(duration, text, eOS_MEDIUM_FORMAT);
    EXPECT_TRUE(Contains(text, u"1:02:03")) << "not shifted by the zone's offset";
    duration.SetNull(true);
    fManager.FormatDuration(duration, text, eOS_MEDIUM_FORMAT);
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(VIntlMgrDates, TemplatesAndCalendarNames)
{
    VString text;
    fManager.GetMacIntlMgr().FormatVTimeWithTemplate(fTime, text, VString("yMMMd"), true);
    EXPECT_EQ(Text(text), u"Mar 5, 2024");

    VString name;
    EXPECT_TRUE(fManager.GetMonthName(3, false, name));
    EXPECT_EQ(Text(name), u"March");
    EXPECT_TRUE(fManager.GetMonthName(12, true, name));
    EXPECT_EQ(Text(name), u"Dec");
    EXPECT_TRUE(fManager.GetWeekDayName(0, false, name));
    EXPECT_EQ(Text(name), u"Sunday");
    EXPECT_TRUE(fManager.GetWeekDayName(6, true, name));
    EXPECT_EQ(Text(name), u"Sat");
    EXPECT_FALSE(fManager.GetMonthName(13, false, name));
    EXPECT_TRUE(name.IsEmpty());
    name.FromString(VString("x"));
    EXPECT_FALSE(fManager.GetWeekDayName(7, false, name));
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_FALSE(fManager.GetMonthName(0, false, name));

    VRefPtr<VIntlMgr> french = Make(1036);
    EXPECT_TRUE(french->GetMonthName(3, false, name));
    EXPECT_EQ(Text(name), u"mars");
}

TEST(VIntlMgr, CaseMapping)
{
    const VIntlMgr& manager = *VTask::GetCurrentIntlManager();
    VString text(u"Stra\u00dfe \u00c0b");
    manager.ToUpperLowerCase(text, false, true);
    EXPECT_EQ(Text(text), u"STRASSE \u00c0B");
    manager.ToUpperLowerCase(text, false, false);
    EXPECT_EQ(Text(text), u"strasse \u00e0b");
    VString empty;
    manager.ToUpperLowerCase(empty, false, true);
    EXPECT_TRUE(empty.IsEmpty());

    // Longer texts, one that more than doubles: nothing is cut.
    std::u16string ligatures(300, u'\ufb03');
    VString longText(ligatures.c_str());
    manager.ToUpperLowerCase(longText, false, true);
    ASSERT_EQ(longText.GetLength(), 900);
    EXPECT_EQ(Text(longText).substr(0, 6), u"FFIFFI");
    std::u16string letters(1000, u'a');
    VString thousand(letters.c_str());
    manager.ToUpperLowerCase(thousand, false, true);
    EXPECT_EQ(Text(thousand), std::u16string(1000, u'A'));
}

TEST(VIntlMgr, SignaturesAndServicesThisSystemLacks)
{
    VIntlMgr& manager = *VTask::GetCurrentIntlManager();
    VString signature("x");
    manager.GetKewordAlgorithmSignature(signature);
    EXPECT_EQ(Text(signature), u"AlphaNum");
    manager.GetStringComparisonAlgorithmSignature(signature);
    EXPECT_EQ(Text(signature).substr(0, 7), u"system:");

    VString name("kept");
    EXPECT_FALSE(manager.GetLocalizedLanguageName(1036, name));
    EXPECT_FALSE(manager.GetLocalizedLanguageNameFromBCP47(VString("fr"), name));
    EXPECT_EQ(Text(name), u"kept");
    int32_t position = 3;
    manager.AdjustUniCharPosToCharacterBoundary(name, position);
    EXPECT_EQ(position, 3);
    manager.NormalizeString(name, eDecomposeNormalization);
    EXPECT_EQ(Text(name), u"kept");
}

TEST(VIntlMgr, DebugConvertString)
{
    const VIntlMgr& manager = *VTask::GetCurrentIntlManager();
    const char source[] = "abcdef";
    char destination[8] = {};
    int32_t size = 4;
    EXPECT_TRUE(manager.DebugConvertString(source, 6, VTC_UTF_8, destination, size, VTC_UTF_8));
    EXPECT_EQ(size, 4);
    EXPECT_EQ(std::string(destination), "abcd");
    size = 8;
    EXPECT_FALSE(manager.DebugConvertString(source, 6, VTC_UTF_8, destination, size, VTC_MacOSAnsi));
    EXPECT_EQ(size, 8);
    EXPECT_FALSE(manager.DebugConvertString(source, -1, VTC_UTF_8, destination, size, VTC_UTF_8));
}

class VIntlMgrLocalization : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kova-lproj-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        fRoot = pattern;
        // The colon form of an absolute path on a volume the file layer does not know.
        std::u16string colon;
        for (char c : fRoot.string().substr(1))
            colon.push_back(c == '/' ? u':' : char16_t(c));
        colon += u':';
        fFolder.FromFullPath(VString(colon.c_str()), FPS_SYSTEM);
        ASSERT_TRUE(fFolder.IsFolder());
    }
    void TearDown() override { std::filesystem::remove_all(fRoot); }

    void MakeFolder(const char* inName) { std::filesystem::create_directory(fRoot / inName); }
    void MakeFile(const char* inFolder, const char* inName)
    {
        std::ofstream(fRoot / inFolder / inName) << "x";
    }

    std::vector<std::u16string> Names(const std::vector<VRefPtr<VFolder>>& inFolders)
    {
        std::vector<std::u16string> names;
        for (const VRefPtr<VFolder>& folder : inFolders)
        {
            std::u16string path = Text(folder->GetPath().GetPath());
            path.pop_back();
            names.push_back(path.substr(path.rfind(u':') + 1));
        }
        return names;
    }

    std::filesystem::path fRoot;
    VFilePath fFolder;
};

TEST_F(VIntlMgrLocalization, FoldersNamedAfterTheDialectInOrder)
{
    for (const char* name : {"French.lproj", "fr_FR.lproj", "fr.lproj", "fr-FR.lproj", "de.lproj"})
        MakeFolder(name);
    std::vector<VRefPtr<VFolder>> folders;
    EXPECT_TRUE(VIntlMgr::GetLocalizationFoldersWithDialect(1036, fFolder, folders));
    EXPECT_EQ(Names(folders), (std::vector<std::u16string>{u"fr.lproj", u"fr_FR.lproj", u"French.lproj"}));

    // Appended to what the vector held.
    MakeFolder("en-gb.lproj");
    MakeFolder("en_gb.lproj");
    MakeFolder("English.lproj");
    EXPECT_TRUE(VIntlMgr::GetLocalizationFoldersWithDialect(2057, fFolder, folders));
    EXPECT_EQ(Names(folders),
              (std::vector<std::u16string>{u"fr.lproj", u"fr_FR.lproj", u"French.lproj", u"en-gb.lproj",
                                           u"en_gb.lproj", u"English.lproj"}));

    folders.clear();
    EXPECT_FALSE(VIntlMgr::GetLocalizationFoldersWithDialect(1041, fFolder, folders));
    EXPECT_TRUE(folders.empty());
    EXPECT_FALSE(VIntlMgr::GetLocalizationFoldersWithDialect(1036, VFilePath(), folders));
    EXPECT_TRUE(folders.empty());
}

TEST_F(VIntlMgrLocalization, TheMostGeneralFolderHoldingTheFileWins)
{
    MakeFolder("fr.lproj");
    MakeFolder("French.lproj");
    MakeFile("fr.lproj", "Strings.xlf");
    MakeFile("French.lproj", "Strings.xlf");
    MakeFile("fr.lproj", "Only.xlf");

    bool found = false;
    VRefPtr<VFile> file(VIntlMgr::RetainLocalizationFile(fFolder, VString("Strings.xlf"), 1036, &found));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(found);
    EXPECT_TRUE(Contains(file->GetPath().GetPath(), u":French.lproj:Strings.xlf"));

    file.Reset(VIntlMgr::RetainLocalizationFile(fFolder, VString("Only.xlf"), 1036, nullptr));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(Contains(file->GetPath().GetPath(), u":fr.lproj:Only.xlf"));

    file.Reset(VIntlMgr::RetainLocalizationFile(fFolder, VString("Missing.xlf"), 1036, &found));
    EXPECT_EQ(file, nullptr);
    EXPECT_TRUE(found);
    file.Reset(VIntlMgr::RetainLocalizationFile(fFolder, VString("Strings.xlf"), 1031, &found));
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(found);
}

} // namespace
} // namespace kova
