#include "xml/VLocalizationManager.h"

#include "kernel/errors/ILocalizer.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"
#include "xml/VXMLParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

// French of Canada: its code "fr-ca" meets every verdict of a file's language.
constexpr uint32_t kFrenchCanada = 3084;

// An XLIFF document of one "file" element around the body.
std::string XLIFF(const std::string& inLanguage, const std::string& inBody)
{
    std::string language = inLanguage.empty() ? "" : " target-language=\"" + inLanguage + "\"";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<xliff version=\"1.2\"><file original=\"x\" source-language=\"en\"" +
           language + "><body>\n" + inBody + "\n</body></file></xliff>";
}

std::string Unit(const std::string& inResName, const std::string& inTarget, const std::string& inMore = "")
{
    return "<trans-unit resname=\"" + inResName + "\"" + inMore + "><source>src " + inResName +
           "</source><target>" + inTarget + "</target></trans-unit>";
}

class VLocalizationManagerTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(fTemp.IsValid()); }

    // Writes a file into the temporary folder and loads it.
    VError Load(const std::string& inName, const std::string& inContent, bool inAvoidLanguageChecking = false)
    {
        WriteFileBytes(fTemp.Posix(inName), inContent);
        VRefPtr<VFile> file(new VFile(fTemp.Path(inName)));
        return fManager->LoadFile(file.Get(), inAvoidLanguageChecking);
    }

    std::u16string Lookup(const char* inKey)
    {
        VString text;
        if (!fManager->LocalizeStringWithKey(VString(inKey), text))
            return u"<none>";
        return Text(text);
    }

    std::u16string STRSharp(int32_t inID, int32_t inIndex)
    {
        VString text;
        if (!fManager->LocalizeStringWithSTRSharpCodes({inID, inIndex}, text))
            return u"<none>";
        return Text(text);
    }

    std::vector<std::u16string> Group(const char* inName)
    {
        std::vector<VString> strings;
        fManager->GetOrderedStringsOfGroup(VString(inName), strings);
        std::vector<std::u16string> texts;
        for (const VString& text : strings)
            texts.push_back(Text(text));
        return texts;
    }

    StTemporaryFolder fTemp;
    StErrorContextInstaller fErrors{false, true};
    VRefPtr<VLocalizationManager> fManager{new VLocalizationManager(kFrenchCanada)};
};

// ---- error keys

TEST_F(VLocalizationManagerTest, ErrorKeysHoldAtMostFourteenCharacters)
{
    const struct
    {
        VError fError;
        const char* fKey;
    } cases[] = {
        {MakeVError(FourCharCode("UPQL"), 12), "ERR_UPQL_12"},
        {VE_FILE_NOT_FOUND, "ERR_kova_600"},
        {MakeVError(FourCharCode("UPQL"), 123456), "ERR_UPQL_12345"},
        {MakeVError(FourCharCode("xmlc"), 2147483647u), "ERR_xmlc_21474"},
        {MakeVError(FourCharCode("PW32"), uint32_t(-1234567)), "ERR_PW32_-1234"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.fKey);
        VString text(u"untouched");
        EXPECT_FALSE(fManager->LocalizeErrorMessage(test.fError, text));
        EXPECT_EQ(Text(text), u"untouched");
        fManager->_InsertObjectURLAndString(VString(test.fKey), VString(test.fKey), false);
        ASSERT_TRUE(fManager->LocalizeErrorMessage(test.fError, text));
        EXPECT_EQ(Text(text), Text(VString(test.fKey)));
    }
}

// The update engine makes the manager the process's localizer and the error localizer of its
// components: LocalizeString and error descriptions then come from its files.
TEST_F(VLocalizationManagerTest, ServesTheProcessAndTheErrors)
{
    ASSERT_EQ(
        Load("texts.xlf", XLIFF("fr", Unit("Greeting", "Bonjour") + Unit("ERR_UPQL_12", "Panne {path}"))),
        VE_OK);
    VProcess* process = VProcess::sInstance;
    ASSERT_NE(process, nullptr);
    process->SetLocalizer(fManager.Get());
    VErrorBase::RegisterLocalizer(FourCharCode("UPQL"), fManager.Get());

    EXPECT_EQ(Text(LocalizeString(VString("Greeting"), "Hello")), u"Bonjour");
    EXPECT_EQ(Text(LocalizeString(VString("Missing"), "Fallback")), u"Fallback");
    VRefPtr<VErrorBase> error(new VErrorBase(MakeVError(FourCharCode("UPQL"), 12)));
    error->GetBag()->SetString(VString("path"), VString("/tmp/x"));
    VString description;
    error->GetErrorDescription(description);
    EXPECT_EQ(Text(description), u"Panne /tmp/x");

    VErrorBase::UnregisterLocalizer(FourCharCode("UPQL"));
    process->SetLocalizer(nullptr);
    EXPECT_EQ(Text(LocalizeString(VString("Greeting"), "Hello")), u"Hello");
}

// ---- .strings files

TEST_F(VLocalizationManagerTest, DotStringsGrammar)
{
    const std::string lines = "\"quoted\" = \"a value\";\n"
                              "plain\t=  text ;\r\n"
                              "\"cut\" = \"v\"\n"      // no semicolon: the quote step empties it
                              "\"two\" = \"ab\"\n"     // no semicolon: keeps "a"
                              "\"three\" = \"a=b\";\n" // three parts
                              "/* no equals sign */\n"
                              "\n"
                              "\"empty\" = ;\n"
                              "\"dup\" = \"first\";\r"
                              "\"dup\" = \"second\";\n"
                              "\"last\" = \"line\";";
    ASSERT_EQ(Load("Localizable.strings", lines), VE_OK);
    const std::pair<const char*, const char16_t*> expected[] = {
        {"quoted", u"a value"}, {"plain", u"text"},   {"cut", u"<none>"}, {"two", u"a"},
        {"three", u"<none>"},   {"empty", u"<none>"}, {"dup", u"second"}, {"last", u"line"},
    };
    for (const auto& [key, text] : expected)
        EXPECT_EQ(Lookup(key), text) << key;

    // UTF-16 with its byte-order mark.
    std::u16string utf16 = u"\ufeff\"wide\" = \"\u00e9t\u00e9\";\n";
    std::string bytes;
    for (char16_t unit : utf16)
    {
        bytes.push_back(char(unit >> 8));
        bytes.push_back(char(unit & 0xFF));
    }
    ASSERT_EQ(Load("Wide.strings", bytes), VE_OK);
    EXPECT_EQ(Lookup("wide"), u"\u00e9t\u00e9");
    // The file's path is not recorded: .strings files are not watched.
    EXPECT_TRUE(fManager->GetLoadedPaths().empty());
}

TEST_F(VLocalizationManagerTest, LoadFileRefusals)
{
    EXPECT_EQ(Load("notes.txt", "\"a\" = \"b\";"), MakeKovaError(613));
    EXPECT_EQ(Lookup("a"), u"<none>");
    VRefPtr<VFile> missing(new VFile(fTemp.Path("missing.xlf")));
    EXPECT_EQ(fManager->LoadFile(missing.Get(), false), VE_FILE_NOT_FOUND);
    EXPECT_EQ(fManager->LoadFile(nullptr, false), VE_INVALID_PARAMETER);
    EXPECT_EQ(fManager->ScanAndLoadFolder(nullptr, false), VE_INVALID_PARAMETER);
    VRefPtr<VFolder> none(new VFolder(fTemp.Path("none/")));
    EXPECT_EQ(fManager->ScanAndLoadFolder(none.Get(), false), VE_FILE_NOT_FOUND);
    EXPECT_FALSE(fManager->LoadDefaultLocalizationFolders(none.Get()));
    EXPECT_FALSE(fManager->LoadDefaultLocalizationFoldersForComponentOrPlugin(nullptr));
}

// ---- XLIFF: which files and units are taken

TEST_F(VLocalizationManagerTest, LanguageVerdictAndOverwriting)
{
    // Another region of the language first, then the exact code: the exact one overwrites.
    ASSERT_EQ(Load("region.xlf", XLIFF("fr-FR", Unit("ok", "Region"))), VE_OK);
    EXPECT_EQ(Lookup("ok"), u"Region");
    ASSERT_EQ(Load("exact.xlf", XLIFF("fr-CA", Unit("ok", "Exact"))), VE_OK);
    EXPECT_EQ(Lookup("ok"), u"Exact");
    // After it, other files of the language do not.
    ASSERT_EQ(Load("language.xlf", XLIFF("fr", Unit("ok", "Language") + Unit("new", "Nouveau"))), VE_OK);
    EXPECT_EQ(Lookup("ok"), u"Exact");
    EXPECT_EQ(Lookup("new"), u"Nouveau");
    // Another language files nothing, unless the language check is off.
    ASSERT_EQ(Load("german.xlf", XLIFF("de", Unit("de", "Deutsch"))), VE_OK);
    EXPECT_EQ(Lookup("de"), u"<none>");
    ASSERT_EQ(Load("german2.xlf", XLIFF("de-DE", Unit("de2", "Deutsch"))), VE_OK);
    EXPECT_EQ(Lookup("de2"), u"<none>");
    // A file without a language is judged by the last verdict (here: another language)...
    ASSERT_EQ(Load("none.xlf", XLIFF("", Unit("nolang", "x"))), VE_OK);
    EXPECT_EQ(Lookup("nolang"), u"<none>");
    // ... and taken with the check off.
    ASSERT_EQ(Load("any.xlf", XLIFF("de", Unit("any", "Beliebig")), true), VE_OK);
    EXPECT_EQ(Lookup("any"), u"Beliebig");
    EXPECT_EQ(fManager->GetLoadedPaths().size(), 7u);
}

TEST_F(VLocalizationManagerTest, PlatformAttributes)
{
    const std::string units = Unit("winlinux", "x", " kx:includeIf=\"win linux\"") +
                              Unit("macwin", "x", " kx:includeIf=\"  mac   win \"") +
                              Unit("unknown", "x", " kx:includeIf=\"beos\"") +
                              Unit("notmac", "x", " kx:excludeIf=\"Mac\"") +
                              Unit("notwin", "x", " kx:excludeIf=\"win\"");
    ASSERT_EQ(Load("platforms.xlf", XLIFF("fr-CA", units)), VE_OK);
    EXPECT_EQ(Lookup("winlinux"), u"<none>");
    EXPECT_EQ(Lookup("macwin"), u"x");
    EXPECT_EQ(Lookup("unknown"), u"x");
    EXPECT_EQ(Lookup("notmac"), u"<none>");
    EXPECT_EQ(Lookup("notwin"), u"x");
}

TEST_F(VLocalizationManagerTest, TargetElseSource)
{
    const std::string units =
        Unit("both", "Cible") +
        "<trans-unit resname=\"emptyTarget\"><source> Source \n</source><target/></trans-unit>" +
        "<trans-unit resname=\"noText\"><source/></trans-unit>";
    ASSERT_EQ(Load("texts.xlf", XLIFF("fr-CA", units)), VE_OK);
    EXPECT_EQ(Lookup("both"), u"Cible");
    EXPECT_EQ(Lookup("emptyTarget"), u" Source \n");
    EXPECT_EQ(Lookup("noText"), u"<none>");
}

TEST_F(VLocalizationManagerTest, InlineMarkupDoesNotCutTheUnitShort)
{
    const std::string units =
        "<group resname=\"dialog\" restype=\"x-form\">"
        "<trans-unit resname=\"marked\"><source>Hello <g id=\"1\">bold</g> tail</source>"
        "<target>Bonjour</target></trans-unit>"
        "<trans-unit resname=\"sourceOnly\"><source>Cut <x/> here</source></trans-unit>"
        "</group>";
    ASSERT_EQ(Load("inline.xlf", XLIFF("fr-CA", units)), VE_OK);
    // The target after a source with markup is the text; the source alone is cut at the markup.
    EXPECT_EQ(Lookup("marked"), u"Bonjour");
    EXPECT_EQ(Lookup("sourceOnly"), u"Cut ");
    VRefPtr<const VValueBag> bag(fManager->RetainGroupBag(VString("dialog")));
    ASSERT_TRUE(bag);
    VBagArray* units_ = bag->GetElements("trans-unit");
    ASSERT_NE(units_, nullptr);
    EXPECT_EQ(units_->GetCount(), 2); // each unit once
}

TEST_F(VLocalizationManagerTest, FilingByObjectURLGroupsAndSTRSharpCodes)
{
    const std::string units =
        "<group resname=\"[forms]\"><group resname=\"dialog\">" + Unit("ok", "OK form", " id=\"3\"") +
        "</group></group>"
        "<group resname=\"outer\"><group resname=\"inner\">" +
        Unit("plain", "Plain", " id=\"5\"") + Unit("second", "Second", " id=\"2\"") +
        "</group></group>"
        "<group id=\"128\">" +
        Unit("s1", "One", " id=\"1\"") + Unit("s2", "Two", " id=\"2\"") + Unit("s4", "Four", " id=\"4\"") +
        Unit("s0", "Zero", " id=\"0\"") + Unit("sx", "NoNumber", " id=\"x\"") + "</group>" +
        Unit("alone", "Alone", " id=\"7\"");
    ASSERT_EQ(Load("filing.xlf", XLIFF("fr-CA", units)), VE_OK);

    EXPECT_EQ(Lookup("[forms]#}[{@dialog#}[{@ok"), u"OK form");
    EXPECT_EQ(Lookup("ok"), u"<none>");
    EXPECT_TRUE(Group("dialog").empty());

    EXPECT_EQ(Lookup("plain"), u"Plain");
    EXPECT_EQ(Group("inner"), (std::vector<std::u16string>{u"Second", u"Plain"}));
    EXPECT_EQ(Group("outer"), (std::vector<std::u16string>{u"Second", u"Plain"}));

    EXPECT_EQ(STRSharp(128, 1), u"One");
    EXPECT_EQ(STRSharp(128, 4), u"Four");
    EXPECT_EQ(STRSharp(128, 0), u"<none>");
    EXPECT_EQ(STRSharp(0, 7), u"<none>"); // outside groups: no STR# entry
    std::vector<VString> strings;
    ASSERT_TRUE(fManager->LocalizeGroupOfStringsWithAStrSharpID(128, strings));
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(Text(strings[1]), u"Two");
    EXPECT_FALSE(fManager->LocalizeGroupOfStringsWithAStrSharpID(129, strings));
    EXPECT_TRUE(strings.empty());
    // Units with id 0 or none file in their group under 0; the later one wins.
    EXPECT_EQ(Group(""), (std::vector<std::u16string>{u"NoNumber", u"One", u"Two", u"Four"}));
}

TEST_F(VLocalizationManagerTest, GroupsWithAResourceTypeAreKeptAsBags)
{
    const std::string units =
        "<group resname=\"menu\" restype=\"x-menu\" id=\"10\" extra=\"e\">" +
        Unit("open", "Ouvrir", " id=\"1\"") +
        "<trans-unit resname=\"save\" id=\"2\"><source>Save</source><target>Enregistrer</target>"
        "<alt-trans><target>Sauver</target></alt-trans>"
        "<alt-trans kx:includeIf=\"win\"><target>Skipped</target></alt-trans></trans-unit>"
        "</group>"
        "<group resname=\"menu\" restype=\"x-menu\">" +
        Unit("again", "Encore") +
        "</group>"
        "<group resname=\"plain\">" +
        Unit("p", "P") + "</group>";
    ASSERT_EQ(Load("bags.xlf", XLIFF("fr-CA", units)), VE_OK);

    VRefPtr<const VValueBag> menu(fManager->RetainGroupBag(VString("MENU")));
    ASSERT_TRUE(menu);
    VString value;
    EXPECT_TRUE(menu->GetString("extra", value));
    EXPECT_TRUE(menu->GetString("resname", value));
    EXPECT_EQ(Text(value), u"menu");
    VBagArray* bagUnits = menu->GetElements("trans-unit");
    ASSERT_NE(bagUnits, nullptr);
    ASSERT_EQ(bagUnits->GetCount(), 2);
    EXPECT_TRUE(bagUnits->GetNth(2)->GetString("target", value));
    EXPECT_EQ(Text(value), u"Enregistrer");
    VBagArray* alternatives = bagUnits->GetNth(2)->GetElements("alt-trans");
    ASSERT_NE(alternatives, nullptr);
    ASSERT_EQ(alternatives->GetCount(), 1);
    EXPECT_TRUE(alternatives->GetNth(1)->GetString("target", value));
    EXPECT_EQ(Text(value), u"Sauver");
    // An alt-trans files nothing.
    EXPECT_EQ(Lookup("save"), u"Enregistrer");

    std::vector<VRefPtr<const VValueBag>> bags;
    fManager->RetainGroupBagsByRestype(VString("x-menu"), bags);
    ASSERT_EQ(bags.size(), 2u); // the second "menu" is kept by type only
    EXPECT_EQ(bags[0].Get(), menu.Get());
    EXPECT_EQ(fManager->RetainGroupBag(VString("plain")), nullptr);

    EXPECT_TRUE(fManager->ClearLocalizations());
    EXPECT_EQ(fManager->RetainGroupBag(VString("menu")), nullptr);
    EXPECT_EQ(Lookup("save"), u"<none>");
}

TEST_F(VLocalizationManagerTest, BrokenXLIFFKeepsWhatWasFiled)
{
    EXPECT_EQ(Load("broken.xlf", XLIFF("fr-CA", Unit("before", "Avant") + "<trans-unit>")), VE_OK);
    EXPECT_EQ(Lookup("before"), u"Avant");
    EXPECT_EQ(fErrors.GetLastError(), VE_XML_ParseFatalError);
}

// ---- changes

TEST_F(VLocalizationManagerTest, ChangedFileIsReloaded)
{
    ASSERT_EQ(Load("app.xlf", XLIFF("fr-CA", Unit("title", "Ancien"))), VE_OK);
    ASSERT_EQ(Load("Localizable.strings", "\"kept\" = \"no\";"), VE_OK);
    // Loaded whatever its language: a reload takes it the same way.
    ASSERT_EQ(Load("any.xlf", XLIFF("de", Unit("any", "Jede")), true), VE_OK);
    EXPECT_FALSE(fManager->DoesNeedAnUpdate());
    EXPECT_FALSE(fManager->UpdateIfNeeded());

    WriteFileBytes(fTemp.Posix("app.xlf"), XLIFF("fr-CA", Unit("title", "Nouveau")));
    VTime later;
    VTime::Now(later);
    later.AddSeconds(10);
    VRefPtr<VFile> file(new VFile(fTemp.Path("app.xlf")));
    ASSERT_EQ(file->SetTimeAttributes(&later, nullptr, nullptr), VE_OK);
    EXPECT_TRUE(fManager->UpdateIfNeeded());
    EXPECT_EQ(Lookup("title"), u"Nouveau");
    EXPECT_EQ(Lookup("any"), u"Jede");
    EXPECT_EQ(Lookup("kept"), u"<none>"); // cleared; .strings files loaded alone are not remembered
    EXPECT_FALSE(fManager->DoesNeedAnUpdate());

    std::filesystem::remove(fTemp.Posix("app.xlf"));
    EXPECT_TRUE(fManager->DoesNeedAnUpdate());
    EXPECT_FALSE(fManager->DoesNeedAnUpdate()); // forgotten
}

TEST_F(VLocalizationManagerTest, LookUpsWhileReloading)
{
    std::string units;
    for (int index = 1; index <= 50; ++index)
        units += Unit("k" + std::to_string(index), "v" + std::to_string(index),
                      " id=\"" + std::to_string(index) + "\"");
    units = "<group id=\"1\" resname=\"g\" restype=\"t\">" + units + "</group>";
    ASSERT_EQ(Load("many.xlf", XLIFF("fr-CA", units)), VE_OK);
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 3; ++reader)
    {
        readers.emplace_back(
            [this, &done]
            {
                StErrorContextInstaller errors(false, true);
                while (!done)
                {
                    VString text;
                    fManager->LocalizeStringWithKey(VString("k7"), text);
                    std::vector<VRefPtr<const VValueBag>> bags;
                    fManager->RetainGroupBagsByRestype(VString("t"), bags);
                    std::vector<VString> strings;
                    fManager->LocalizeGroupOfStringsWithAStrSharpID(1, strings);
                }
            });
    }
    VRefPtr<VFile> file(new VFile(fTemp.Path("many.xlf")));
    for (int round = 0; round < 20; ++round)
    {
        fManager->ClearLocalizations();
        fManager->LoadFile(file.Get(), false);
    }
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(Lookup("k50"), u"v50");
}

// ---- folders

TEST_F(VLocalizationManagerTest, BundleFoldersLoadAndReload)
{
    const std::string resources = "App.app/Contents/Resources/";
    std::filesystem::create_directories(fTemp.Posix(resources + "fr.lproj"));
    std::filesystem::create_directories(fTemp.Posix(resources + "fr_CA.lproj"));
    std::filesystem::create_directories(fTemp.Posix(resources + "de.lproj"));
    std::filesystem::create_directories(fTemp.Posix(resources + "sub"));
    // Directly in Resources: taken whatever the language; hidden files and other kinds are not.
    WriteFileBytes(fTemp.Posix(resources + "common.xlf"), XLIFF("de", Unit("common", "Gemeinsam")));
    WriteFileBytes(fTemp.Posix(resources + ".hidden.xlf"), XLIFF("fr-CA", Unit("hidden", "x")));
    WriteFileBytes(fTemp.Posix(resources + "notes.txt"), "\"notes\" = \"x\";");
    WriteFileBytes(fTemp.Posix(resources + "Localizable.strings"), "\"strings\" = \"Cha\u00eene\";");
    WriteFileBytes(fTemp.Posix(resources + "sub/deep.xlf"), XLIFF("fr-CA", Unit("deep", "x")));
    // The language folders: checked by language.
    WriteFileBytes(fTemp.Posix(resources + "fr_CA.lproj/app.xlf"), XLIFF("fr-CA", Unit("title", "Canada")));
    WriteFileBytes(fTemp.Posix(resources + "fr.lproj/app.xlf"),
                   XLIFF("fr", Unit("title", "France") + Unit("only", "Seulement")));
    WriteFileBytes(fTemp.Posix(resources + "fr.lproj/other.xlf"), XLIFF("es", Unit("spanish", "x")));
    WriteFileBytes(fTemp.Posix(resources + "de.lproj/app.xlf"), XLIFF("fr-CA", Unit("german", "x")));
    // Links: one that stays in Resources is read; a file and a language folder outside are not.
    WriteFileBytes(fTemp.Posix(resources + "sub/linked.xlf"), XLIFF("fr-CA", Unit("linked", "Li\u00e9")));
    ASSERT_EQ(symlink("sub/linked.xlf", fTemp.Posix(resources + "alias.xlf").c_str()), 0);
    std::filesystem::create_directories(fTemp.Posix("outside"));
    WriteFileBytes(fTemp.Posix("outside/leak.xlf"), XLIFF("fr-CA", Unit("leak", "x")));
    ASSERT_EQ(symlink("../../../outside/leak.xlf", fTemp.Posix(resources + "leak.xlf").c_str()), 0);
    ASSERT_EQ(symlink("../../../outside", fTemp.Posix(resources + "French.lproj").c_str()), 0);

    VRefPtr<VFolder> bundle(new VFolder(fTemp.Path("App.app/")));
    ASSERT_TRUE(fManager->LoadDefaultLocalizationFoldersForComponentOrPlugin(bundle.Get()));
    // The files the scans pass over raise nothing.
    EXPECT_EQ(fErrors.GetLastError(), VE_OK);
    const std::pair<const char*, const char16_t*> expected[] = {
        {"common", u"Gemeinsam"}, {"strings", u"Cha\u00eene"}, {"title", u"Canada"}, {"only", u"Seulement"},
        {"hidden", u"<none>"},    {"notes", u"<none>"},        {"deep", u"<none>"},  {"spanish", u"<none>"},
        {"german", u"<none>"},    {"linked", u"Li\u00e9"},     {"leak", u"<none>"},
    };
    for (const auto& [key, text] : expected)
        EXPECT_EQ(Lookup(key), text) << key;
    // Each scanned folder once, in the order of loading: the language alone comes before the
    // region, whose exact code overwrites its texts ("title").
    const std::vector<VFilePath>& loaded = fManager->GetLoadedPaths();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(Text(loaded[0].GetPath()), Text(fTemp.Path(resources).GetPath()));
    EXPECT_EQ(Text(loaded[1].GetPath()), Text(fTemp.Path(resources + "fr.lproj/").GetPath()));
    EXPECT_EQ(Text(loaded[2].GetPath()), Text(fTemp.Path(resources + "fr_CA.lproj/").GetPath()));
    VRefPtr<VFolder> again(new VFolder(fTemp.Path(resources + "fr.lproj/")));
    EXPECT_EQ(fManager->ScanAndLoadFolder(again.Get(), false), VE_OK);
    EXPECT_EQ(fManager->GetLoadedPaths().size(), 3u);
    EXPECT_FALSE(fManager->DoesNeedAnUpdate());

    // A .strings file added or changed is not watched; a new XLIFF file is.
    WriteFileBytes(fTemp.Posix(resources + "More.strings"), "\"more\" = \"x\";");
    EXPECT_FALSE(fManager->DoesNeedAnUpdate());
    WriteFileBytes(fTemp.Posix(resources + "fr.lproj/new.xlf"), XLIFF("fr-CA", Unit("fresh", "Nouveau")));
    EXPECT_TRUE(fManager->DoesNeedAnUpdate());
    ASSERT_TRUE(fManager->UpdateIfNeeded());
    EXPECT_EQ(Lookup("fresh"), u"Nouveau");
    EXPECT_EQ(Lookup("more"), u"x");
    // Resources is scanned again as it was the first time: whatever the languages of its files.
    EXPECT_EQ(Lookup("common"), u"Gemeinsam");
    EXPECT_FALSE(fManager->DoesNeedAnUpdate());

    // A scanned folder that vanished is a change.
    std::filesystem::remove_all(fTemp.Posix(resources + "fr.lproj"));
    EXPECT_TRUE(fManager->DoesNeedAnUpdate());
}

} // namespace
} // namespace kova
