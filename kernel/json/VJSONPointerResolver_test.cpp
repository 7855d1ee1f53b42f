#include "kernel/json/VJSONPointerResolver.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileSystemNamespace.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::ToU8;
using testing_json::U8;
using testing_json::Write;

// The recorded errors as "code:pointerURI:referredPath".
std::vector<std::string> Errors(const VJSONPointerResolver& inResolver)
{
    std::vector<std::string> errors;
    const VJSONArray* array = inResolver.GetErrors();
    for (size_t i = 0; array != nullptr && i < array->GetCount(); ++i)
    {
        VJSONValue error = array->GetAt(i);
        VString uri;
        VString path;
        error.GetProperty(VString("pointerURI")).GetString(uri);
        error.GetProperty(VString("referredPath")).GetString(path);
        errors.push_back(std::to_string(int(error.GetProperty(VString("code")).GetNumber())) + ":" +
                         ToU8(uri) + ":" + ToU8(path));
    }
    return errors;
}

VJSONValue Reference(const std::string& inURI)
{
    VJSONValue reference(JSON_object);
    reference.SetProperty(VJSONPointerResolver::sRefPropertyName, VJSONValue(U8(inURI)));
    return reference;
}

class VJSONPointerResolverTest : public ::testing::Test
{
protected:
    void WriteFile(const std::string& inName, const std::string& inText)
    {
        std::filesystem::create_directories(std::filesystem::path(fFolder.Posix(inName)).parent_path());
        WriteFileBytes(fFolder.Posix(inName), inText);
    }
    VRefPtr<VFolder> Folder(const std::string& inName = "") const
    {
        return VRefPtr<VFolder>(new VFolder(fFolder.Path(inName)));
    }

    StTemporaryFolder fFolder;
};

struct PointerCase
{
    const char* fURI;
    bool fResolveAlong;
    const char* fExpected; // the target as text, or "" on failure
    int fError;            // the one recorded error, or 0
};

TEST_F(VJSONPointerResolverTest, OnePointerWalksTheOwnDocument)
{
    const VJSONValue document = Parse(R"({"a":{"b":1},"a/b":2,"m~n":3,"~1":4,"list":[10,20],"n":5,)"
                                      R"("a b":6,"a%20b":7,"e":null})");
    const PointerCase cases[] = {
        {"#/a/b", true, "1", 0},
        {"#", true, "*", 0},
        {"", true, "*", 0},
        {"#/a~1b", true, "2", 0},
        {"#/m~0n", true, "3", 0},
        {"#/~01", true, "4", 0},
        {"#/list/0", true, "10", 0},
        {"#/list/1", true, "20", 0},
        {"#/e", true, "null", 0},
        {"#/a%20b", true, "6", 0},
        {"#/a%20b", false, "7", 0},
        {"#/list/01", true, "", 907},
        {"#/list/-", true, "", 909},
        {"#/list/x", true, "", 907},
        {"#/list/", true, "", 907},
        {"#/list/2", true, "", 906},
        {"#/list/99999999999999999999", true, "", 906},
        {"#/missing", true, "", 906},
        {"#/n/x", true, "", 910},
        {"#a", true, "", 907},
        {"http://host/x.json#/a", true, "", 909},
        {" HTTPS://host#/a", true, "", 909},
        {"file:///etc/passwd#", true, "", 909},
    };
    for (const PointerCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fURI) + (c.fResolveAlong ? "" : " (plain)"));
        VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
        VJSONValue reference = Reference(c.fURI);
        VJSONValue result;
        EXPECT_TRUE(resolver->ResolveOnePointer(reference.GetObject(), c.fResolveAlong, result));
        if (std::string(c.fExpected) == "*")
            EXPECT_EQ(result.GetObject(), document.GetObject());
        else if (c.fExpected[0] != 0)
            EXPECT_EQ(Write(result), c.fExpected);
        else
            EXPECT_TRUE(result.IsUndefined());
        std::vector<std::string> expected;
        if (c.fError != 0)
            expected.push_back(std::to_string(c.fError) + ":" + c.fURI + ":");
        EXPECT_EQ(Errors(*resolver), expected);
    }
}

TEST_F(VJSONPointerResolverTest, OnePointerAnswersWhetherTheObjectIsAReference)
{
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(Parse("{}"), nullptr, nullptr, nullptr));
    VJSONValue plain = Parse(R"({"$ref":1})");
    VJSONValue result;
    EXPECT_FALSE(resolver->ResolveOnePointer(plain.GetObject(), true, result));
    EXPECT_EQ(result.GetObject(), plain.GetObject());
    EXPECT_FALSE(resolver->ResolveOnePointer(nullptr, true, result));
    EXPECT_TRUE(result.IsNull());
}

TEST_F(VJSONPointerResolverTest, ErrorObjectsCarryCodeComponentAndMessage)
{
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(Parse("{}"), nullptr, nullptr, nullptr));
    VJSONValue reference = Reference("#/x");
    VJSONValue result;
    resolver->ResolveOnePointer(reference.GetObject(), true, result);
    ASSERT_NE(resolver->GetErrors(), nullptr);
    VJSONValue error = resolver->GetErrors()->GetAt(0);
    EXPECT_EQ(error.GetProperty(VString("code")).GetNumber(), 906);
    VString text;
    error.GetProperty(VString("component")).GetString(text);
    EXPECT_EQ(ToU8(text), "kova");
    error.GetProperty(VString("message")).GetString(text);
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_TRUE(error.GetProperty(VString("referredPath")).IsUndefined());
}

TEST_F(VJSONPointerResolverTest, RecursiveExpansionInTheOwnDocument)
{
    // c walks through a before the expansion reaches it: a's own reference must still be expanded.
    VJSONValue document =
        Parse(R"({"c":{"$ref":"#/a"},"a":{"y":{"$ref":"#/b"}},"b":[1,{"$ref":"#/d"}],"d":"x"})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"c":{"y":[1,"x"]},"a":{"y":[1,"x"]},"b":[1,"x"],"d":"x"})");
    EXPECT_EQ(document.GetProperty(VString("c")).GetObject(), document.GetProperty(VString("a")).GetObject());
    EXPECT_TRUE(Errors(*resolver).empty());
}

TEST_F(VJSONPointerResolverTest, CyclesEndWithTheReferenceInPlace)
{
    // A reference walked through while its own resolution is under way.
    VJSONValue document = Parse(R"({"a":{"$ref":"#/a/x"}})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"a":{"$ref":"#/a/x"}})");
    EXPECT_EQ(Errors(*resolver), std::vector<std::string>{"908:#/a/x:"});

    // An array that holds a reference to itself is expanded once.
    VJSONValue list = Parse(R"({"list":[{"$ref":"#/list"}]})");
    VRefPtr<VJSONPointerResolver> listResolver(new VJSONPointerResolver(list, nullptr, nullptr, nullptr));
    listResolver->ResolveRecursively(list, false, nullptr);
    VJSONArray* array = list.GetProperty(VString("list")).GetArray();
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->GetAt(0).GetArray(), array);
    EXPECT_TRUE(Errors(*listResolver).empty());
}

TEST_F(VJSONPointerResolverTest, FailedReferencesStayAsPropertiesAndVanishAsElements)
{
    VJSONValue document = Parse(R"({"p":{"$ref":"http://x/y#/a"},"l":[{"$ref":"http://x/y#/a"},2]})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"p":{"$ref":"http://x/y#/a"},"l":[null,2]})");
    EXPECT_TRUE(document.GetProperty(VString("l")).GetArray()->GetAt(0).IsUndefined());
    EXPECT_EQ(Errors(*resolver), (std::vector<std::string>{"909:http://x/y#/a:", "909:http://x/y#/a:"}));
}

TEST_F(VJSONPointerResolverTest, ReferencesToReferencesAreFollowed)
{
    VJSONValue document =
        Parse(R"({"a":{"$ref":"#/b"},"b":{"$ref":"#/c"},"c":3,"x":{"$ref":"#/y"},"y":{"$ref":"#/x"}})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"a":3,"b":3,"c":3,"x":{"$ref":"#/y"},"y":{"$ref":"#/x"}})");
    // One cycle, one error: y's failure is known once x's is.
    EXPECT_EQ(Errors(*resolver), std::vector<std::string>{"908:#/x:"});
}

TEST_F(VJSONPointerResolverTest, LongChainsStopAtTheNestingLimit)
{
    // Each reference leads to the next: following them all would recurse 12,000 deep, and walking
    // the chain again from each link would take 72 million steps.
    std::string text = "{";
    const int links = 12000;
    for (int i = 0; i < links; ++i)
        text += "\"r" + std::to_string(i) + "\":{\"$ref\":\"#/r" + std::to_string(i + 1) + "\"},";
    text += "\"r" + std::to_string(links) + "\":1}";
    VJSONValue document = Parse(text);
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    VJSONValue result;
    resolver->ResolveOnePointer(Reference("#/r0").GetObject(), true, result);
    EXPECT_TRUE(result.IsUndefined());
    ASSERT_NE(resolver->GetErrors(), nullptr);
    EXPECT_EQ(resolver->GetErrors()->GetAt(0).GetProperty(VString("code")).GetNumber(), 108);
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document.GetProperty(VString("r11999"))), "1");
}

TEST_F(VJSONPointerResolverTest, FanOutThroughReferencesIsRefusedAndUndone)
{
    // Each level refers to the one before it twice: resolved, a walk meets 2^26 values.
    auto levels = [](int inLevels, bool inReversed)
    {
        std::vector<std::string> members{"\"a0\":[0,1]"};
        for (int level = 1; level <= inLevels; ++level)
        {
            const std::string ref = "{\"$ref\":\"#/a" + std::to_string(level - 1) + "\"}";
            members.push_back("\"a" + std::to_string(level) + "\":[" + ref + "," + ref + "]");
        }
        if (inReversed)
            std::reverse(members.begin(), members.end());
        std::string text;
        for (const std::string& member : members)
            text += (text.empty() ? "{" : ",") + member;
        return text + "}";
    };
    for (bool reversed : {false, true})
    {
        for (bool patch : {false, true})
        {
            SCOPED_TRACE(std::string(reversed ? "reversed" : "in order") + (patch ? ", patch" : ""));
            const std::string text = levels(24, reversed);
            VJSONValue document = Parse(text);
            VRefPtr<VJSONPointerResolver> resolver(
                new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
            resolver->ResolveRecursively(document, patch, nullptr);
            ASSERT_EQ(Errors(*resolver), std::vector<std::string>{"918::"});
            EXPECT_EQ(Write(document), text);
        }
    }
    // A few levels: shared as before.
    VJSONValue document = Parse(levels(4, true));
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_TRUE(Errors(*resolver).empty());
    VJSONArray* four = document.GetProperty(VString("a4")).GetArray();
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->GetAt(1).GetArray(), document.GetProperty(VString("a3")).GetArray());
    EXPECT_EQ(Write(document.GetProperty(VString("a2"))), "[[[0,1],[0,1]],[[0,1],[0,1]]]");

    // Patching copies: 3,000 references each patching a target of 3,000 properties.
    std::string text = "{\"t\":{";
    for (int i = 0; i < 3000; ++i)
        text += (i == 0 ? "\"p" : ",\"p") + std::to_string(i) + "\":0";
    text += "}";
    for (int i = 0; i < 3000; ++i)
        text += ",\"r" + std::to_string(i) + "\":{\"$ref\":\"#/t\",\"x\":1}";
    text += "}";
    VJSONValue patched = Parse(text);
    VRefPtr<VJSONPointerResolver> patcher(new VJSONPointerResolver(patched, nullptr, nullptr, nullptr));
    patcher->ResolveRecursively(patched, true, nullptr);
    EXPECT_EQ(Errors(*patcher), std::vector<std::string>{"918::"});
    EXPECT_EQ(Write(patched.GetProperty(VString("r2999"))), R"({"$ref":"#/t","x":1})");
}

TEST_F(VJSONPointerResolverTest, TwoHundredReferencesToOneDefinitionResolve)
{
    // A definition of 16 kB met through 200 references: resolved, a walk meets it 200 times, some
    // 2.8 million values and units, while it stays one part.
    std::string definition;
    for (int i = 0; i < 400; ++i)
        definition += (i == 0 ? "{\"field" : ",\"field") + std::to_string(100 + i) +
                      "\":\"a text of twenty-six units\"";
    definition += "}";
    ASSERT_GE(definition.size(), 16000u);
    std::string text = "{\"definitions\":{\"item\":" + definition + "},\"uses\":[";
    for (int i = 0; i < 200; ++i)
        text += (i == 0 ? "" : ",") + std::string("{\"$ref\":\"#/definitions/item\"}");
    text += "]}";
    for (bool patch : {false, true})
    {
        SCOPED_TRACE(patch ? "patch" : "no patch");
        VJSONValue document = Parse(text);
        VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
        resolver->ResolveRecursively(document, patch, nullptr);
        EXPECT_TRUE(Errors(*resolver).empty());
        VJSONArray* uses = document.GetProperty(VString("uses")).GetArray();
        ASSERT_EQ(uses->GetCount(), 200u);
        EXPECT_EQ(uses->GetAt(199).GetObject(),
                  document.GetProperty(VString("definitions")).GetProperty(VString("item")).GetObject());
    }
}

TEST_F(VJSONPointerResolverTest, FilesResolveOnlyInsideTheBaseFolderOnDisk)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("base/inside.json", R"({"s":"inside"})");
    WriteFile("base/sub/nested.json",
              R"({"up":{"$ref":"../inside.json#/s"},"out":{"$ref":"../../outside/secret.json#/s"}})");
    WriteFile("outside/secret.json", R"({"s":"SECRET"})");
    WriteFile("outside/bad.json", "{'s':1}");
    namespace fs = std::filesystem;
    fs::create_symlink(fFolder.Posix("outside/secret.json"), fFolder.Posix("base/link.json"));
    fs::create_symlink("../outside", fFolder.Posix("base/linkdir"));
    fs::create_symlink("inside.json", fFolder.Posix("base/alias.json"));
    fs::create_directory_symlink(fFolder.Posix("base"), fFolder.Posix("via"));

    const PointerCase cases[] = {
        {"inside.json#/s", true, "\"inside\"", 0},
        {"alias.json#/s", true, "\"inside\"", 0},          // a link that stays inside
        {"../base/inside.json#/s", true, "\"inside\"", 0}, // out and back in
        {"../outside/secret.json#/s", true, "", 913},
        {"..%2foutside%2fsecret.json#/s", true, "", 913}, // decoded before the check
        {"link.json#/s", true, "", 913},                  // a link to a file outside
        {"linkdir/secret.json#/s", true, "", 913},        // through a link to a folder outside
        {"../outside/bad.json#/s", true, "", 913},        // not even parsed
        {"../outside/missing.json#/s", true, "", 913},    // no answer tells what exists
        {"sub/nested.json#/up", true, "\"inside\"", 0},
        {"sub/nested.json#/out", true, "", 913}, // from a file further in
    };
    // The base folder named as it is, and through a link to it.
    for (const char* base : {"base/", "via/"})
    {
        for (const PointerCase& c : cases)
        {
            SCOPED_TRACE(std::string(base) + " " + c.fURI);
            VRefPtr<VJSONPointerResolver> resolver(
                new VJSONPointerResolver(Parse("{}"), Folder(base).Get(), nullptr, nullptr));
            VJSONValue result;
            resolver->ResolveOnePointer(Reference(c.fURI).GetObject(), c.fResolveAlong, result);
            if (c.fError == 0)
            {
                EXPECT_EQ(Write(result), c.fExpected);
                EXPECT_TRUE(Errors(*resolver).empty());
            }
            else
            {
                EXPECT_TRUE(result.IsUndefined());
                std::vector<std::string> errors = Errors(*resolver);
                ASSERT_FALSE(errors.empty());
                EXPECT_EQ(errors.back().substr(0, 4), "913:");
            }
        }
    }
    // Expanded whole, the document keeps every reference that leads out.
    VJSONValue document = Parse(R"({"a":{"$ref":"link.json#/s"},"b":{"$ref":"sub/nested.json#"}})");
    VRefPtr<VJSONPointerResolver> resolver(
        new VJSONPointerResolver(document, Folder("base/").Get(), nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"a":{"$ref":"link.json#/s"},)"
                               R"("b":{"up":"inside","out":{"$ref":"../../outside/secret.json#/s"}}})");

    // A named file system keeps its references inside its own root.
    VRefPtr<VFileSystemNamespace> space(new VFileSystemNamespace());
    ASSERT_EQ(space->RegisterFileSystem(VString("DATA"), Folder("base/").Get(), 0), VE_OK);
    VJSONValue named =
        Parse(R"({"in":{"$ref":"/DATA/sub/nested.json#/up"},"out":{"$ref":"/DATA/link.json#/s"}})");
    VRefPtr<VJSONPointerResolver> namedResolver(
        new VJSONPointerResolver(named, nullptr, space.Get(), nullptr));
    namedResolver->ResolveRecursively(named, false, nullptr);
    EXPECT_EQ(Write(named), R"({"in":"inside","out":{"$ref":"/DATA/link.json#/s"}})");
}

TEST_F(VJSONPointerResolverTest, AJobChecksEachFileOnce)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("base/other.json", R"({"x":1,"next":{"$ref":"third.json#/y"}})");
    WriteFile("base/third.json", R"({"y":2})");
    WriteFile("outside/secret.json", R"({"x":"SECRET"})");
    std::filesystem::create_symlink(fFolder.Posix("outside/secret.json"), fFolder.Posix("base/link.json"));
    VRefPtr<VFileSystemNamespace> space(new VFileSystemNamespace());
    ASSERT_EQ(space->RegisterFileSystem(VString("DATA"), Folder("base/").Get(), 0), VE_OK);

    // Found under the base folder, and through a named file system (whose folders check too).
    for (const char* prefix : {"", "/DATA/"})
    {
        SCOPED_TRACE(prefix);
        const std::string p(prefix);
        VRefPtr<VJSONFileCache> cache(new VJSONFileCache());
        // The checks that a job of inCount times each reference makes.
        auto checks = [&](int inCount)
        {
            std::string text;
            auto add = [&](const std::string& inName, const std::string& inTarget)
            { text += (text.empty() ? "{\"" : ",\"") + inName + R"(":{"$ref":")" + p + inTarget + "\"}"; };
            for (int i = 0; i < inCount; ++i)
            {
                const std::string n = std::to_string(i);
                add("x" + n, "other.json#/x");
                add("next" + n, "other.json#/next");
                add("missing" + n, "missing.json#");
                add("link" + n, "link.json#/x");
            }
            VJSONValue document = Parse(text + "}");
            VRefPtr<VJSONPointerResolver> resolver(
                new VJSONPointerResolver(document, p.empty() ? Folder("base/").Get() : nullptr,
                                         p.empty() ? nullptr : space.Get(), cache.Get()));
            const uint64_t before = sFolderContainmentCheckCount;
            resolver->ResolveRecursively(document, false, nullptr);
            const uint64_t made = sFolderContainmentCheckCount - before;
            // Every reference still answers for itself.
            EXPECT_EQ(Errors(*resolver).size(), size_t(2 * inCount));
            for (int i = 0; i < inCount; ++i)
            {
                const std::string n = std::to_string(i);
                EXPECT_EQ(Write(document.GetProperty(U8("x" + n))), "1");
                EXPECT_EQ(Write(document.GetProperty(U8("next" + n))), "2");
                EXPECT_EQ(Write(document.GetProperty(U8("link" + n))),
                          R"({"$ref":")" + p + R"(link.json#/x"})");
            }
            return made;
        };
        checks(1); // the files read into the cache
        const uint64_t once = checks(1);
        // A later job checks again, the cache of documents notwithstanding.
        EXPECT_GT(once, 0u);
        EXPECT_EQ(checks(300), once);
    }
}

TEST_F(VJSONPointerResolverTest, PatchMergesTheReferenceObjectsProperties)
{
    VJSONValue document = Parse(R"({"t":{"x":1,"extra":0},"r":{"$ref":"#/t","extra":2},"s":{"$ref":"#/t"}})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    resolver->ResolveRecursively(document, true, nullptr);
    EXPECT_EQ(Write(document), R"({"t":{"x":1,"extra":0},"r":{"x":1,"extra":2},"s":{"x":1,"extra":0}})");
    EXPECT_EQ(document.GetProperty(VString("s")).GetObject(), document.GetProperty(VString("t")).GetObject());
}

TEST_F(VJSONPointerResolverTest, OtherFilesResolveAgainstTheirOwnFolders)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("other.json", R"({"x":{"inner":{"$ref":"sub/inner.json#/v"}}})");
    WriteFile("sub/inner.json", R"({"v":{"$ref":"deeper.json#"},"w":{"$ref":"gone.json#"}})");
    WriteFile("sub/deeper.json", R"([true])");
    VJSONValue document = Parse(R"({"one":{"$ref":"other.json#/x"},"two":{"$ref":"other.json#/x/inner"},)"
                                R"("three":{"$ref":"sub/inner.json#"}})");
    VRefPtr<VJSONFileCache> cache(new VJSONFileCache());
    VRefPtr<VJSONPointerResolver> resolver(
        new VJSONPointerResolver(document, Folder().Get(), nullptr, cache.Get()));
    std::vector<VRefPtr<IFile>> files;
    resolver->ResolveRecursively(document, false, &files);
    EXPECT_EQ(Write(document),
              R"({"one":{"inner":[true]},"two":[true],"three":{"v":[true],"w":{"$ref":"gone.json#"}}})");
    // Met while expanding inner.json with its own resolver, recorded with the job's.
    EXPECT_EQ(Errors(*resolver),
              std::vector<std::string>{"913:gone.json#:" + fFolder.Posix("sub/gone.json")});
    std::vector<std::string> names;
    for (const VRefPtr<IFile>& file : files)
    {
        VString name;
        file->GetName(name);
        names.push_back(ToU8(name));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"other.json", "inner.json", "deeper.json", "gone.json"}));
    EXPECT_EQ(cache->GetCount(), 3u);

    // A later job with the same cache does not read the file again.
    WriteFile("other.json", R"({"x":"changed"})");
    VJSONValue again = Parse(R"({"$ref":"other.json#/x/inner"})");
    VRefPtr<VJSONPointerResolver> second(
        new VJSONPointerResolver(again, Folder().Get(), nullptr, cache.Get()));
    second->ResolveRecursively(again, false, nullptr);
    EXPECT_EQ(Write(again), "[true]");
}

TEST_F(VJSONPointerResolverTest, TheCacheKeysExactPaths)
{
    VRefPtr<VJSONFileCache> cache(new VJSONFileCache());
    const VFilePath lower = fFolder.Path("a.json");
    const VFilePath upper = fFolder.Path("A.json");
    cache->SetValue(lower, Parse("[1]"));
    EXPECT_EQ(Write(cache->GetValue(lower)), "[1]");
    EXPECT_TRUE(cache->GetValue(upper).IsUndefined());
    cache->SetValue(lower, VJSONValue());
    EXPECT_EQ(cache->GetCount(), 0u);
}

TEST_F(VJSONPointerResolverTest, FilesThatCannotBeReadAreRecorded)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("bad.json", "{'a':1}");
    WriteFile("other.json", R"({"x":1})");
    VJSONValue document = Parse(R"({"bad":{"$ref":"bad.json#/a"},"missing":{"$ref":"none.json#"},)"
                                R"("case":{"$ref":"Other.json#/x"},"absolute":{"$ref":"/etc/hostname#"}})");
    VRefPtr<VJSONPointerResolver> resolver(
        new VJSONPointerResolver(document, Folder().Get(), nullptr, nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    const std::string folder = fFolder.Posix();
    EXPECT_EQ(Errors(*resolver), (std::vector<std::string>{"912:bad.json#/a:" + folder + "/bad.json",
                                                           "913:none.json#:" + folder + "/none.json",
                                                           "913:Other.json#/x:" + folder + "/Other.json",
                                                           "913:/etc/hostname#:/etc/hostname"}));
    EXPECT_EQ(Write(document.GetProperty(VString("case"))), R"({"$ref":"Other.json#/x"})");
}

TEST_F(VJSONPointerResolverTest, WithoutFolderOrNamespaceNoFileIsOpened)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("other.json", R"({"x":1})");
    const std::string absolute = fFolder.Posix("other.json") + "#/x";
    VJSONValue document = Parse("{}");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    for (const std::string& uri : {absolute, std::string("other.json#/x")})
    {
        VJSONValue reference = Reference(uri);
        VJSONValue result;
        resolver->ResolveOnePointer(reference.GetObject(), false, result);
        EXPECT_TRUE(result.IsUndefined()) << uri;
    }
    EXPECT_EQ(resolver->GetFileCache()->GetCount(), 0u);
    EXPECT_EQ(Errors(*resolver).size(), 2u);
}

TEST_F(VJSONPointerResolverTest, NamedFileSystemsFindFiles)
{
    ASSERT_TRUE(fFolder.IsValid());
    WriteFile("data/other.json", R"({"x":[1,2]})");
    VRefPtr<VFileSystemNamespace> space(new VFileSystemNamespace());
    ASSERT_EQ(space->RegisterFileSystem(VString("DATA"), Folder("data/").Get(), 0), VE_OK);
    VJSONValue document = Parse(R"({"r":{"$ref":"/DATA/other.json#/x/1"}})");
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, space.Get(), nullptr));
    resolver->ResolveRecursively(document, false, nullptr);
    EXPECT_EQ(Write(document), R"({"r":2})");
    EXPECT_TRUE(Errors(*resolver).empty());
}

} // namespace
} // namespace kova
