#include "platform/mac/frameworks/CFPropertyList.h"

#include "kernel/values/VPackedKeyIndex.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "xml/XMLLibrary.h"
#include "xml/XMLTesting_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::cf
{
namespace
{

std::optional<PropertyList> Read(const std::string& text)
{
    return ReadXMLPropertyList(text.data(), text.size());
}

std::string Plist(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

TEST(CFPropertyList, ReadsEveryKindOfValue)
{
    std::optional<PropertyList> list = Read(Plist(R"(<dict>
  <key>name</key> <string>Caf&#xE9; &amp; more <![CDATA[<raw>]]></string>
  <key>empty</key> <string/>
  <key>face</key> <string>&#x1F600;</string>
  <key>count</key> <integer> -42 </integer>
  <key>big</key> <integer>+9223372036854775807</integer>
  <key>ratio</key> <real>2.5e-1</real>
  <key>whole</key> <real>-3</real>
  <key>yes</key> <true/>
  <key>no</key> <false></false>
  <key>when</key> <date>2001-01-02T00:00:01Z</date>
  <key>before</key> <date>1970-01-01T00:00:00Z</date>
  <key>bytes</key> <data>
    AAEC
    /w==
  </data>
  <key>list</key> <array><integer>1</integer><array/><dict/></array>
  <!-- comments are ignored -->
</dict>)"));
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->GetKind(), PropertyList::Kind::kDictionary);
    EXPECT_EQ(list->GetKeys().front(), "name");
    EXPECT_EQ(list->GetValue("name")->GetString(), "Caf\xC3\xA9 & more <raw>");
    EXPECT_TRUE(list->GetValue("empty")->IsString());
    EXPECT_EQ(list->GetValue("empty")->GetString(), "");
    EXPECT_EQ(list->GetValue("face")->GetString(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(list->GetValue("count")->GetInteger(), -42);
    EXPECT_EQ(list->GetValue("big")->GetInteger(), INT64_MAX);
    EXPECT_DOUBLE_EQ(list->GetValue("ratio")->GetReal(), 0.25);
    EXPECT_DOUBLE_EQ(list->GetValue("whole")->GetReal(), -3.0);
    EXPECT_TRUE(list->GetValue("yes")->GetBoolean());
    EXPECT_EQ(list->GetValue("no")->GetKind(), PropertyList::Kind::kBoolean);
    EXPECT_FALSE(list->GetValue("no")->GetBoolean());
    EXPECT_DOUBLE_EQ(list->GetValue("when")->GetDate(), 86401.0);
    EXPECT_DOUBLE_EQ(list->GetValue("before")->GetDate(), -978307200.0);
    EXPECT_EQ(list->GetValue("bytes")->GetData(), (std::vector<uint8_t>{0, 1, 2, 0xFF}));
    const PropertyList* array = list->GetValue("list");
    ASSERT_EQ(array->GetKind(), PropertyList::Kind::kArray);
    ASSERT_EQ(array->GetCount(), 3u);
    EXPECT_EQ(array->GetItems()[0].GetInteger(), 1);
    EXPECT_EQ(array->GetItems()[1].GetKind(), PropertyList::Kind::kArray);
    EXPECT_EQ(array->GetItems()[2].GetKind(), PropertyList::Kind::kDictionary);
    EXPECT_EQ(list->GetValue("absent"), nullptr);
    // A getter of another kind gives an empty answer.
    EXPECT_EQ(list->GetValue("count")->GetString(), "");
    EXPECT_EQ(list->GetValue("name")->GetInteger(), 0);
}

TEST(CFPropertyList, RootMayBeAnyValueAndLaterKeysReplaceEarlierOnes)
{
    EXPECT_EQ(Read(Plist("<string>alone</string>")), PropertyList::MakeString("alone"));
    std::optional<PropertyList> list =
        Read(Plist("<dict><key>k</key><integer>1</integer><key>k</key><integer>2</integer></dict>"));
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->GetCount(), 1u);
    EXPECT_EQ(list->GetValue("k")->GetInteger(), 2);
}

// The reader finds each key of a dictionary among those before it with a probe or a few of an
// index, however many they are; a search through them all would cost the square of their number.
TEST(CFPropertyList, KeysAreFoundAmongThoseBeforeInConstantTime)
{
    constexpr size_t kKeys = 20000;
    std::string body = "<dict>";
    for (int round = 0; round < 2; ++round)
    {
        for (size_t index = 0; index < kKeys; ++index)
            body +=
                "<key>k" + std::to_string(index) + "</key><integer>" + std::to_string(round) + "</integer>";
    }
    const uint64_t before = GetPackedDictionaryProbeCount();
    std::optional<PropertyList> list = Read(Plist(body + "</dict>"));
    const uint64_t probes = GetPackedDictionaryProbeCount() - before;
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->GetCount(), kKeys);
    EXPECT_EQ(list->GetKeys().back(), "k" + std::to_string(kKeys - 1));
    EXPECT_EQ(list->GetValue("k0")->GetInteger(), 1);
    EXPECT_GE(probes, 2 * kKeys);
    EXPECT_LE(probes, 16 * kKeys);
}

class CFPropertyListRefuses : public testing::TestWithParam<const char*>
{
};

TEST_P(CFPropertyListRefuses, MalformedInputIsAbsent)
{
    EXPECT_FALSE(Read(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Table, CFPropertyListRefuses,
    testing::Values(
        "", "not xml at all", "<plist><string>unclosed</plist>", "<plist></plist>",
        "<dict><key>a</key><string>b</string></dict>", "<plist><string>a</string><string>b</string></plist>",
        "<plist><dict><key>a</key></dict></plist>", "<plist><dict><string>b</string></dict></plist>",
        "<plist><dict><key>a</key><key>b</key></dict></plist>",
        "<plist><dict>stray text<key>a</key><true/></dict></plist>",
        "<plist><array><unknown/></array></plist>", "<plist><key>a</key></plist>",
        "<plist><string>a<b/></string></plist>", "<plist><true>yes</true></plist>",
        "<plist><integer>12a</integer></plist>", "<plist><integer></integer></plist>",
        "<plist><integer>+-1</integer></plist>", "<plist><integer>9223372036854775808</integer></plist>",
        "<plist><integer>&#x661;</integer></plist>", "<plist><real>1.5.5</real></plist>",
        "<plist><real>--1</real></plist>", "<plist><date>2001-02-29T00:00:00Z</date></plist>",
        "<plist><date>2001-13-01T00:00:00Z</date></plist>", "<plist><date>2001-01-01 00:00:00</date></plist>",
        "<plist><date>2001-01-01T24:00:00Z</date></plist>", "<plist><data>AA=A</data></plist>",
        "<plist><data>AAA</data></plist>", "<plist><data>AA*=</data></plist>",
        "<plist><data>A===</data></plist>", "<plist><string>a</string></plist><plist/>",
        "<plist><string>\xff\xfe</string></plist>"));

TEST(CFPropertyList, NestingBeyondTheLimitIsAbsent)
{
    auto nested = [](size_t depth)
    {
        std::string text = "<plist>";
        for (size_t i = 0; i < depth; ++i)
            text += "<array>";
        for (size_t i = 0; i < depth; ++i)
            text += "</array>";
        return text + "</plist>";
    };
    EXPECT_TRUE(Read(nested(kMaxPropertyListDepth - 1)).has_value());
    EXPECT_FALSE(Read(nested(kMaxPropertyListDepth)).has_value());
    EXPECT_FALSE(Read(nested(100000)).has_value());
}

TEST(CFPropertyList, EntitiesAndExternalFilesAreRefused)
{
    testing_support::StTemporaryFolder folder;
    std::string secret = folder.WriteFile("secret.txt", "secret contents");
    EXPECT_FALSE(Read("<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY leak SYSTEM \"file://" + secret +
                      "\">]><plist><string>&leak;</string></plist>")
                     .has_value());
    EXPECT_FALSE(
        Read(
            "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
            "<plist><string>&b;&b;&b;&b;</string></plist>")
            .has_value());
    // Nested entities in an attribute default, which the library expands as it reads the document
    // type, without a count of its own: the internal subset ends the reading before its first
    // declaration, and the library holds no more than for an ordinary list.
    ASSERT_TRUE(XMLLibraryInitialize());
    const std::string ordinary = "<plist version=\"1.0\"><string>a</string></plist>";
    const size_t ordinaryPeak =
        CountingMemoryManager::Get().PeakOf([&] { EXPECT_TRUE(Read(ordinary).has_value()); });
    std::optional<PropertyList> laughs;
    EXPECT_LE(CountingMemoryManager::Get().PeakOf(
                  [&] {
                      laughs = Read(NestedEntitiesDeclared("plist") + "<!ATTLIST plist v CDATA \"&l9;\">]>" +
                                    ordinary);
                  }),
              2 * ordinaryPeak);
    EXPECT_FALSE(laughs.has_value());
    XMLLibraryTerminate();
    // A document type naming an outside DTD is fine: the DTD is not fetched.
    std::string dtd = folder.WriteFile("list.dtd", "<!ENTITY injected \"from the dtd\">");
    std::optional<PropertyList> list = Read("<?xml version=\"1.0\"?><!DOCTYPE plist SYSTEM \"file://" + dtd +
                                            "\"><plist><string>plain</string></plist>");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->GetString(), "plain");
}

// The library files the names of a document type's declarations and of a start tag's attributes
// under a hash anyone can compute, and reads the whole document type, or the whole tag, before it
// tells anything: names made to share the hash would cost the square of their number there. A
// list has no document type of its own and one attribute, so each shape ends while the library
// reads it, before it holds more than for an ordinary list; and so do tags that each bring a few
// attributes more than the one before, which the library takes again at every tag.
TEST(CFPropertyList, NamesMadeToShareTheLibrarysHashAreRefusedAsTheLibraryReadsThem)
{
    const std::vector<std::string> names = NamesOfOneHash(4096, 12, true);
    const std::string prolog = "<?xml version=\"1.0\"?>\n";
    std::string declarations = prolog + "<!DOCTYPE plist [\n";
    std::string model = prolog + "<!DOCTYPE plist [<!ELEMENT plist (string";
    std::string attributeList = prolog + "<!DOCTYPE plist [<!ATTLIST plist\n";
    std::string attributes;
    for (const std::string& name : names)
    {
        declarations += "<!ELEMENT " + name + " EMPTY>\n";
        model += "|" + name;
        attributeList += " " + name + " CDATA #IMPLIED\n";
        attributes += " " + name + "=\"\"";
    }
    const std::string body = "<plist version=\"1.0\"><string>a</string></plist>";
    std::string growing = prolog + "<plist version=\"1.0\"><array>";
    for (size_t count = 128; count <= names.size(); count += 128)
    {
        growing += "<string";
        for (size_t index = 0; index < count; ++index)
            growing += " " + names[index] + "=\"\"";
        growing += ">a</string>\n";
    }
    const std::pair<const char*, std::string> shapes[] = {
        {"element declarations", declarations + "]>" + body},
        {"one content model", model + ")>]>" + body},
        {"one attribute list", attributeList + ">]>" + body},
        {"the root's start tag",
         prolog + "<plist version=\"1.0\"" + attributes + "><string>a</string></plist>"},
        {"an inner start tag",
         prolog + "<plist version=\"1.0\"><string" + attributes + ">a</string></plist>"},
        {"start tags, each longer", growing + "</array></plist>"},
    };
    ASSERT_TRUE(XMLLibraryInitialize());
    const std::string ordinary = prolog +
                                 "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n" +
                                 body;
    const size_t ordinaryPeak =
        CountingMemoryManager::Get().PeakOf([&] { EXPECT_TRUE(Read(ordinary).has_value()); });
    for (const auto& shape : shapes)
    {
        SCOPED_TRACE(shape.first);
        std::optional<PropertyList> list;
        EXPECT_LE(CountingMemoryManager::Get().PeakOf([&] { list = Read(shape.second); }), 2 * ordinaryPeak);
        EXPECT_FALSE(list.has_value());
    }
    XMLLibraryTerminate();
}

// Lists as they come, of any size: the document type names the outside DTD, comments lie
// between the values, every kind of value comes again and again, strings are long and nesting
// deep. The bounds on what the library may do for one list never meet them, in either encoding.
TEST(CFPropertyList, OrdinaryListsOfAnySizeRead)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"@\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n<dict>\n<!-- " +
                      std::string(1 << 20, 'c') + " -->\n";
    const char* values[] = {"<string>S&amp;P &#xE9;</string>",
                            "<integer>-7</integer>",
                            "<real>0.5</real>",
                            "<true/>",
                            "<false/>",
                            "<date>2024-02-29T12:00:00Z</date>",
                            "<data>AAEC</data>",
                            "<array><string>x</string><dict/></array>",
                            "<dict><key>k</key><true/></dict>"};
    constexpr size_t kKeys = 60000;
    for (size_t index = 0; index < kKeys; ++index)
        xml +=
            "<key>CFBundleKey" + std::to_string(index) + "</key>" + values[index % std::size(values)] + "\n";
    xml += "<key>long</key><string>" + std::string(4 << 20, 'x') + "</string>\n<key>deep</key>";
    // The root and the outer dictionary take two levels.
    for (size_t level = 2; level < kMaxPropertyListDepth; ++level)
        xml += "<array>";
    for (size_t level = 2; level < kMaxPropertyListDepth; ++level)
        xml += "</array>";
    xml += "\n</dict>\n</plist>\n";

    for (const char* encoding : {"UTF-8", "UTF-16"})
    {
        SCOPED_TRACE(encoding);
        std::string bytes = xml;
        bytes.replace(bytes.find('@'), 1, encoding);
        if (std::string_view(encoding) == "UTF-16")
        {
            // Little-endian, after its byte order mark.
            std::string wide = "\xFF\xFE";
            for (char unit : bytes)
                wide += std::string{unit, '\0'};
            bytes = std::move(wide);
        }
        std::optional<PropertyList> list = ReadXMLPropertyList(bytes.data(), bytes.size());
        ASSERT_TRUE(list.has_value());
        EXPECT_EQ(list->GetCount(), kKeys + 2);
        EXPECT_EQ(list->GetValue("CFBundleKey0")->GetString(), "S&P \xC3\xA9");
        EXPECT_EQ(list->GetValue("CFBundleKey59993")->GetKind(), PropertyList::Kind::kDictionary);
        EXPECT_EQ(list->GetValue("long")->GetString().size(), size_t(4 << 20));
        const PropertyList* deepest = list->GetValue("deep");
        size_t depth = 3;
        while (deepest->GetCount() == 1)
        {
            deepest = &deepest->GetItems().front();
            ++depth;
        }
        EXPECT_EQ(depth, kMaxPropertyListDepth);
    }
}

TEST(CFPropertyList, ReadsFilesAndRefusesMissingOrOversizedOnes)
{
    testing_support::StTemporaryFolder folder;
    std::string path = folder.WriteFile("Info.plist", Plist("<dict><key>k</key><string>v</string></dict>"));
    std::optional<PropertyList> list = ReadXMLPropertyListFile(path);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->GetValue("k")->GetString(), "v");

    EXPECT_FALSE(ReadXMLPropertyListFile(folder.GetPath() + "/missing.plist").has_value());
    EXPECT_FALSE(ReadXMLPropertyListFile(folder.GetPath()).has_value());
    std::string padding(kMaxPropertyListSize, ' ');
    std::string large = folder.WriteFile("large.plist", Plist("<string>x</string>") + padding);
    EXPECT_FALSE(ReadXMLPropertyListFile(large).has_value());
}

TEST(CFPropertyList, APipeOrADeviceIsNoListAndIsNeverWaitedOn)
{
    // A bundle is anyone's download: its Info.plist may be a pipe that nobody writes, named
    // directly or through a link.
    testing_support::StTemporaryFolder folder;
    const std::string fifo = folder.GetPath() + "/fifo.plist";
    const std::string link = folder.GetPath() + "/link.plist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
    for (const std::string& path : {fifo, link, std::string("/dev/zero")})
    {
        SCOPED_TRACE(path);
        std::future<bool> read =
            std::async(std::launch::async, [path] { return ReadXMLPropertyListFile(path).has_value(); });
        const bool ended = read.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        // A reader that waits is let go by a writer that comes and goes.
        for (int i = 0;
             !ended && i < 100 && read.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready;
             ++i)
        {
            const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0)
                close(writer);
        }
        EXPECT_TRUE(ended) << "the reader waited on the pipe";
        EXPECT_FALSE(read.get());
    }
}

} // namespace
} // namespace kova::cf
