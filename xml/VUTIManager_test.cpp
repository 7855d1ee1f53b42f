#include "xml/VUTIManager.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileKind.h"
#include "kernel/files/VFileKindManager.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VRefPtr.h"
#include "xml/UTIDeclarations_test.h"
#include "xml/VUTI.h"
#include "xml/VXMLParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

using testing_uti::BundleDeclarations;
using testing_uti::Declaration;
using testing_uti::PropertyList;

class VUTIManagerTest : public ::testing::Test
{
protected:
    VUTIManagerTest() : fManager(new VUTIManager()) {}

    VRefPtr<VFile> WriteFile(const std::string& inName, const std::string& inBytes)
    {
        WriteFileBytes(fFolder.Posix(inName), inBytes);
        return VRefPtr<VFile>(new VFile(fFolder.Path(inName)));
    }
    bool Load(const std::vector<Declaration>& inDeclarations)
    {
        return fManager->LoadXMLFile(WriteFile("Info.plist", PropertyList(inDeclarations)).Get());
    }
    // The identifiers of the types, released.
    static std::vector<std::string> IDs(std::vector<VUTI*>* inTypes)
    {
        std::vector<std::string> ids;
        if (inTypes == nullptr)
            return {"(null)"};
        for (VUTI* type : *inTypes)
        {
            ids.push_back(ToUTF8(type->GetIdentifier()));
            type->Release();
        }
        delete inTypes;
        return ids;
    }
    static std::string ID(VUTI* inType)
    {
        if (inType == nullptr)
            return "(null)";
        std::string id = ToUTF8(inType->GetIdentifier());
        inType->Release();
        return id;
    }
    static std::string ToUTF8(const VString& inText)
    {
        std::string text;
        for (UniChar unit : std::u16string(reinterpret_cast<const char16_t*>(inText.GetCPointer()),
                                           static_cast<size_t>(inText.GetLength())))
            text += static_cast<char>(unit);
        return text;
    }
    // The files loaded in turn, each declaration also claiming the extension "all"; false when one
    // does not load.
    bool LoadInTurn(const std::vector<std::vector<Declaration>>& inFiles)
    {
        for (std::vector<Declaration> file : inFiles)
        {
            for (Declaration& declaration : file)
                declaration.fExtensions.push_back("all");
            if (!Load(file))
                return false;
        }
        return true;
    }
    // The work of loading one file into the registry: the links walked and the types, placeholders
    // and registrations gone through.
    uint64_t LoadWork(const std::vector<Declaration>& inDeclarations)
    {
        const VRefPtr<VFile> plist = WriteFile("Info.plist", PropertyList(inDeclarations));
        const uint64_t before =
            VUTI::GetWalkStepCountForTesting() + VUTIManager::GetLinkStepCountForTesting();
        EXPECT_TRUE(fManager->LoadXMLFile(plist.Get()));
        return VUTI::GetWalkStepCountForTesting() + VUTIManager::GetLinkStepCountForTesting() - before;
    }
    // Every type that claims "all", in the listing order, each with its parents in identifier
    // order, a placeholder marked "~": "a b<a,~z>". A declared parent lists the type as its child.
    std::string Describe()
    {
        std::vector<VUTI*>* types = fManager->UTTypeCreateAllIdentifiersForTag(
            VUTIManager::kTagClassFilenameExtension, VString("all"), VString());
        if (types == nullptr)
            return "(null)";
        std::string text;
        for (VUTI* type : *types)
        {
            text += (text.empty() ? "" : " ") + ToUTF8(type->GetIdentifier());
            std::string parents;
            for (const auto& [parentID, parent] : type->GetParentUTIsMap())
            {
                parents += (parents.empty() ? "" : ",") + std::string(parent->IsTemporary() ? "~" : "") +
                           ToUTF8(parentID);
                if (!parent->IsTemporary())
                {
                    EXPECT_EQ(parent->GetChildrenUTIsMap().count(type->GetIdentifier()), 1u)
                        << ToUTF8(parentID) << " lacks its child " << ToUTF8(type->GetIdentifier());
                }
            }
            if (!parents.empty())
                text += "<" + parents + ">";
        }
        IDs(types);
        return text;
    }
    std::string Preferred(const char* inClass, const char* inTag, const char* inConformingTo = "")
    {
        return ID(fManager->UTTypeCreatePreferredIdentifierForTag(VString(inClass), VString(inTag),
                                                                  VString(inConformingTo)));
    }
    StTemporaryFolder fFolder;
    VRefPtr<VUTIManager> fManager;
};

TEST_F(VUTIManagerTest, ReadsDeclarationsAtAnyDepthWithTheirTags)
{
    const std::string plist =
        "<plist><dict><key>Outer</key><dict>"
        "<key>UTImportedTypeDeclarations</key><array>"
        "<dict><key>UTTypeIdentifier</key><string>com.example.doc</string>"
        "<key>UTTypeDescription</key><string>Example document</string>"
        "<key>UTTypeIconFile</key><string>doc.icns</string>"
        "<key>Unknown</key><array><dict><key>UTTypeIdentifier</key><string>x</string></dict></array>"
        "<key>UTTypeTagSpecification</key><dict>"
        "<key>public.filename-extension</key><array><string>exd</string><string>exdoc</string></array>"
        "<key>com.apple.ostype</key><string>EXDC</string>"
        "<key>public.mime-type</key><string>application/x-example</string>"
        "<key>Other</key><string>notatag</string>"
        "</dict></dict>"
        "<dict><key>UTTypeDescription</key><string>no identifier</string></dict>"
        "</array></dict></dict></plist>";
    ASSERT_TRUE(fManager->LoadXMLFile(WriteFile("Info.plist", plist).Get()));
    ASSERT_EQ(fManager->GetUTIsCount(), 1u);

    std::vector<VUTI*>* types =
        fManager->UTTypeCreateAllIdentifiersForTag(VUTIManager::kTagClassOSType, VString("EXDC"), VString());
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->size(), 1u);
    VUTI* type = types->front();
    EXPECT_EQ(ToUTF8(type->GetDescription()), "Example document");
    std::vector<std::string> extensions;
    for (const VString& extension : type->GetExtensionsVector())
        extensions.push_back(ToUTF8(extension));
    EXPECT_EQ(extensions, (std::vector<std::string>{"exd", "exdoc"}));
    EXPECT_EQ(type->GetMIMETypesVector().size(), 1u);
    // The string under a key that is no tag class is nobody's tag.
    EXPECT_FALSE(type->ConformsToMIMEType(VString("notatag")));
    EXPECT_FALSE(type->ConformsToExtension(VString("notatag")));
    EXPECT_TRUE(type->ConformsToMIMEType(VString("application/x-example")));
    IDs(types);
}

TEST_F(VUTIManagerTest, TheFirstDeclarationOfAnIdentifierWins)
{
    ASSERT_TRUE(
        Load({{"com.example.a", {}, {"one"}, "", "first"}, {"com.example.a", {}, {"two"}, "", "second"}}));
    EXPECT_EQ(fManager->GetUTIsCount(), 1u);
    EXPECT_EQ(Preferred("public.filename-extension", "one"), "com.example.a");
    EXPECT_EQ(Preferred("public.filename-extension", "two"), "(null)");
}

TEST_F(VUTIManagerTest, LinksConformancesDeclaredLaterAndKeepsUndeclaredOnesAsPlaceholders)
{
    ASSERT_TRUE(Load({{"com.example.child", {"com.example.parent", "com.example.nowhere"}, {"chd"}},
                      {"com.example.parent", {}, {"par"}}}));
    VUTI* child = fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                  VString("chd"), VString());
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->ConformsToIdentifier(VString("com.example.parent")));
    EXPECT_FALSE(child->ConformsToIdentifier(VString("com.example.nowhere")));
    const VUTIMap parents = child->GetParentUTIsMap();
    ASSERT_EQ(parents.size(), 2u);
    EXPECT_FALSE(parents.at(VString("com.example.parent"))->IsTemporary());
    EXPECT_TRUE(parents.at(VString("com.example.nowhere"))->IsTemporary());
    EXPECT_TRUE(child->CouldBeAParent(parents.at(VString("com.example.nowhere"))));
    EXPECT_FALSE(child->IsParent(parents.at(VString("com.example.nowhere"))));
    std::vector<VString> all;
    child->GetAllExtensionsVector(all);
    EXPECT_EQ(all.size(), 2u);
    child->Release();
}

TEST_F(VUTIManagerTest, AConformanceToAnAncestorsParentIsStillLinked)
{
    // "c" lies below "a" once "a" is linked first; its own conformance to "b" is still owed.
    ASSERT_TRUE(Load({{"com.example.a", {}, {}},
                      {"com.example.b", {"com.example.a"}, {}},
                      {"com.example.c", {"com.example.a", "com.example.b"}, {"cee"}}}));
    VUTI* c = fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                              VString("cee"), VString());
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->ConformsToIdentifier(VString("com.example.b")));
    EXPECT_TRUE(c->ConformsToIdentifier(VString("com.example.a")));
    for (const auto& [id, parent] : c->GetParentUTIsMap())
        EXPECT_FALSE(parent->IsTemporary()) << ToUTF8(id);
    c->Release();
}

TEST_F(VUTIManagerTest, AChildAlreadyBelowItsParentGetsNoSecondLink)
{
    // "c" is linked below "z" and "d" below "c" before the pair ("z", "d") comes.
    ASSERT_TRUE(Load({{"com.example.z", {}, {"zzz"}},
                      {"com.example.c", {"com.example.z"}, {}},
                      {"com.example.d", {"com.example.c", "com.example.z"}, {"ddd"}}}));
    VRefPtr<VUTI> z(fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                    VString("zzz"), VString()));
    VRefPtr<VUTI> d(fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                    VString("ddd"), VString()));
    ASSERT_NE(z.Get(), nullptr);
    ASSERT_NE(d.Get(), nullptr);
    EXPECT_EQ(z->GetChildrenUTIsMap().size(), 1u);
    const VUTIMap parents = d->GetParentUTIsMap();
    ASSERT_EQ(parents.size(), 2u);
    EXPECT_FALSE(parents.at(VString("com.example.c"))->IsTemporary());
    EXPECT_TRUE(parents.at(VString("com.example.z"))->IsTemporary());
    EXPECT_TRUE(d->ConformsToIdentifier(VString("com.example.z")));
}

TEST_F(VUTIManagerTest, KeysOfNestedDictionariesAreNotTheDeclarations)
{
    const std::string plist = "<plist><dict><key>UTExportedTypeDeclarations</key><array><dict>"
                              "<key>UTTypeIdentifier</key><string>com.example.own</string>"
                              "<key>Extra</key><dict><key>UTTypeIdentifier</key><string>.nested</string>"
                              "<key>UTTypeDescription</key><string>nested</string></dict>"
                              "<key>UTTypeTagSpecification</key><dict>"
                              "<key>public.filename-extension</key><string>own</string></dict>"
                              "</dict></array></dict></plist>";
    ASSERT_TRUE(fManager->LoadXMLFile(WriteFile("Info.plist", plist).Get()));
    VRefPtr<VUTI> type(fManager->UTTypeCreatePreferredIdentifierForTag(
        VUTIManager::kTagClassFilenameExtension, VString("own"), VString()));
    ASSERT_NE(type.Get(), nullptr);
    EXPECT_EQ(ToUTF8(type->GetIdentifier()), "com.example.own");
    EXPECT_TRUE(type->GetDescription().IsEmpty());
}

TEST_F(VUTIManagerTest, ACyclicDeclarationFileAnswersWithoutEndlessRecursion)
{
    ASSERT_TRUE(Load({{"com.example.a", {"com.example.b"}, {"aaa"}},
                      {"com.example.b", {"com.example.a"}, {"bbb"}},
                      {"com.example.x", {"com.example.z"}, {"xxx"}},
                      {"com.example.y", {"com.example.x"}, {}},
                      {"com.example.z", {"com.example.y"}, {}}}));
    EXPECT_EQ(Preferred("public.filename-extension", "aaa"), "com.example.a");
    EXPECT_EQ(Preferred("public.filename-extension", "xxx"), "com.example.x");
    // y and z lie below x; the link of x below z was refused.
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(VUTIManager::kTagClassFilenameExtension,
                                                             VString("xxx"), VString())),
              (std::vector<std::string>{"com.example.x", "com.example.y", "com.example.z"}));
    EXPECT_EQ(Preferred("public.filename-extension", "xxx", "com.example.z"), "(null)");
    VRefPtr<VUTI> a(fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                    VString("aaa"), VString()));
    VRefPtr<VUTI> b(fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                    VString("bbb"), VString()));
    ASSERT_NE(a.Get(), nullptr);
    ASSERT_NE(b.Get(), nullptr);
    // The first link in identifier order stands; the one that would close the cycle is refused.
    EXPECT_TRUE(b->ConformsToIdentifier(VString("com.example.a")));
    EXPECT_FALSE(a->ConformsToIdentifier(VString("com.example.b")));
    EXPECT_FALSE(a->IsParent(a.Get()));
    EXPECT_FALSE(b->IsChild(b.Get()));
    EXPECT_FALSE(a->IsChildOrChildOfAParent(a.Get()));
}

TEST_F(VUTIManagerTest, WalksVisitSharedAncestorsOnce)
{
    // 64 levels of two types, each conforming to both types of the level above: 2^63 paths lead
    // from a type of the bottom level to the top. The bottom sorts first, so that every link is
    // made.
    constexpr int kLevels = 64;
    auto id = [](int inLevel, char inSide)
    { return std::string("com.example.l") + (inLevel < 10 ? "0" : "") + std::to_string(inLevel) + inSide; };
    std::vector<Declaration> lattice;
    for (int level = 0; level < kLevels; ++level)
    {
        for (char side : {'a', 'b'})
        {
            Declaration type{id(level, side)};
            if (level + 1 < kLevels)
                type.fConformsTo = {id(level + 1, 'a'), id(level + 1, 'b')};
            if (level == 0 && side == 'a')
                type.fExtensions = {"low"};
            if (level == kLevels - 1 && side == 'b')
                type.fExtensions = {"top"};
            lattice.push_back(type);
        }
    }
    ASSERT_TRUE(Load(lattice));
    // Each type asks all its ancestors about a tag that only one claims.
    EXPECT_EQ(Preferred("public.filename-extension", "low"), id(0, 'a'));
    EXPECT_EQ(Preferred("public.filename-extension", "top"), id(kLevels - 1, 'b'));
    EXPECT_EQ(Preferred("public.filename-extension", "none"), "(null)");
    VRefPtr<VUTI> bottom(fManager->UTTypeCreatePreferredIdentifierForTag(
        VUTIManager::kTagClassFilenameExtension, VString("low"), VString()));
    VRefPtr<VUTI> top(fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                      VString("top"), VString()));
    ASSERT_NE(bottom.Get(), nullptr);
    ASSERT_NE(top.Get(), nullptr);
    EXPECT_EQ(bottom->GetParentUTIsMap().size(), 2u);
    EXPECT_TRUE(bottom->ConformsToIdentifier(VString(id(kLevels - 1, 'a').c_str())));
    EXPECT_FALSE(bottom->ConformsToIdentifier(VString("com.example.none")));
    EXPECT_TRUE(bottom->IsParent(top.Get()));
    EXPECT_TRUE(top->IsChild(bottom.Get()));
    VRefPtr<VUTI> unrelated(new VUTI(VString("com.example.unrelated")));
    EXPECT_FALSE(bottom->IsParent(unrelated.Get()));
    EXPECT_FALSE(bottom->CouldBeAParent(unrelated.Get()));
    EXPECT_FALSE(top->IsChild(unrelated.Get()));
    EXPECT_FALSE(top->CouldBeAChild(unrelated.Get()));
    EXPECT_FALSE(bottom->IsChildOrChildOfAParent(unrelated.Get()));
    EXPECT_FALSE(top->IsChildOrChildOfAParent(top.Get()));
    std::vector<VString> extensions;
    bottom->GetAllExtensionsVector(extensions);
    ASSERT_EQ(extensions.size(), 2u);
    EXPECT_EQ(ToUTF8(extensions[0]), "low");
    EXPECT_EQ(ToUTF8(extensions[1]), "top");
}

TEST_F(VUTIManagerTest, ALookUpFollowsEachConformanceOnce)
{
    // A chain of types, each conforming to the next; each claims "own", the top alone "top". Asked
    // type by type, every type walks the rest of the chain again: the square of its length.
    constexpr int kTypes = 300;
    auto id = [](int inIndex)
    {
        std::string digits = std::to_string(inIndex);
        return "com.example.c" + std::string(4 - digits.size(), '0') + digits;
    };
    std::vector<Declaration> chain;
    std::vector<std::string> all;
    for (int index = 0; index < kTypes; ++index)
    {
        Declaration type{id(index)};
        if (index + 1 < kTypes)
            type.fConformsTo = {id(index + 1)};
        type.fExtensions = {"own"};
        if (index + 1 == kTypes)
            type.fExtensions.push_back("top");
        chain.push_back(type);
        all.push_back(id(index));
    }
    ASSERT_TRUE(Load(chain));

    // Each look-up may follow every link a few times, never once per pair of types.
    constexpr uint64_t kBound = 4 * kTypes;
    uint64_t counted = VUTI::GetWalkStepCountForTesting();
    auto stepsSinceLast = [&]
    {
        const uint64_t before = counted;
        counted = VUTI::GetWalkStepCountForTesting();
        return counted - before;
    };
    const VString extension = VUTIManager::kTagClassFilenameExtension;
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(extension, VString("top"), VString())), all);
    EXPECT_LE(stepsSinceLast(), kBound);
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(extension, VString("none"), VString())),
              std::vector<std::string>{});
    EXPECT_LE(stepsSinceLast(), kBound);

    const struct
    {
        const char* fTag;
        std::string fConformingTo;
        std::string fExpected;
    } cases[] = {
        {"top", "", id(kTypes - 1)},
        {"none", "", "(null)"},
        // Every type is its own candidate, and each candidate's conformance is asked.
        {"own", "", id(0)},
        {"own", id(kTypes - 1), id(0)},
        {"own", id(kTypes / 2), id(0)},
        {"top", id(0), "(null)"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(Preferred("public.filename-extension", test.fTag, test.fConformingTo.c_str()),
                  test.fExpected)
            << test.fTag << " " << test.fConformingTo;
        EXPECT_LE(stepsSinceLast(), kBound) << test.fTag << " " << test.fConformingTo;
    }
}

TEST_F(VUTIManagerTest, LinksTheSameWhicheverFileDeclaresTheParent)
{
    using Files = std::vector<std::vector<Declaration>>;
    const struct
    {
        const char* fName;
        Files fFiles;
        const char* fExpected;
    } cases[] = {
        {"parent later in the file", {{{"b", {"a"}}, {"a"}}}, "a b<a>"},
        {"parent in a later file", {{{"b", {"a"}}}, {{"a"}}}, "a b<a>"},
        {"child in a later file", {{{"a"}}, {{"b", {"a"}}}}, "a b<a>"},
        {"several parents over three files",
         {{{"d", {"a", "b", "c"}}}, {{"b"}}, {{"a"}, {"c", {"b"}}}},
         "a b c<b> d<a,b,c>"},
        {"a duplicate in a later file changes nothing",
         {{{"a"}, {"b", {"a"}}}, {{"b", {"c"}}, {"c"}, {"a", {"c"}}}},
         "a b<a> c"},
        {"a duplicate of a type still waiting for its parent",
         {{{"b", {"c"}}}, {{"b", {"a"}}, {"a"}}, {{"c"}}},
         "a b<c> c"},
        {"an undeclared parent stays a placeholder", {{{"b", {"q"}}}, {{"a"}}}, "a b<~q>"},
        {"a conformance to itself stays a placeholder", {{{"a", {"a"}}}, {{"b", {"a"}}}}, "a<~a> b<a>"},
        {"a child below its parent already, one file",
         {{{"z"}, {"c", {"z"}}, {"d", {"c", "z"}}}},
         "c<z> d<c,~z> z"},
        {"a child below its parent already, over two files",
         {{{"d", {"c", "z"}}}, {{"z"}, {"c", {"z"}}}},
         "c<z> d<c,~z> z"},
        {"a direct link made before the path through another parent",
         {{{"d", {"a", "c"}}}, {{"c", {"a"}}, {"a"}}},
         "a c<a> d<a,c>"},
        {"the child of a later file joins a tree linked before",
         {{{"a"}, {"b", {"a"}}}, {{"c", {"b", "a"}}}},
         "a b<a> c<a,b>"},
        {"a cycle in one file", {{{"a", {"b"}}, {"b", {"a"}}}}, "a<~b> b<a>"},
        {"a cycle over two files", {{{"a", {"b"}}}, {{"b", {"a"}}}}, "a<~b> b<a>"},
        {"a cycle over two files, declared the other way", {{{"b", {"a"}}}, {{"a", {"b"}}}}, "a<~b> b<a>"},
        {"a cycle of three over three files",
         {{{"x", {"z"}}}, {{"y", {"x"}}}, {{"z", {"y"}}}},
         "x<~z> y<x> z<y>"},
        {"a parent named in other letter case", {{{"b", {"A"}}}, {{"a"}}}, "a b<a>"},
    };
    for (const auto& test : cases)
    {
        fManager = VRefPtr<VUTIManager>(new VUTIManager());
        ASSERT_TRUE(LoadInTurn(test.fFiles)) << test.fName;
        EXPECT_EQ(Describe(), test.fExpected) << test.fName;
    }
}

TEST_F(VUTIManagerTest, LoadingCostsInProportionToWhatItAdds)
{
    constexpr int kTypesPerBundle = 40;
    // The work of loading the files in turn into a new manager.
    auto loadWork = [&](int inFiles, int inBundlesPerFile)
    {
        fManager = VRefPtr<VUTIManager>(new VUTIManager());
        uint64_t work = 0;
        for (int file = 0; file < inFiles; ++file)
            work += LoadWork(BundleDeclarations(file * inBundlesPerFile, inBundlesPerFile, kTypesPerBundle));
        const size_t bundles = size_t(inFiles) * size_t(inBundlesPerFile);
        EXPECT_EQ(fManager->GetUTIsCount(), 2 + bundles * kTypesPerBundle);
        // The first bundle's types claim their identifiers as extensions.
        auto type = [&](const char* inIdentifier)
        {
            return VRefPtr<VUTI>(fManager->UTTypeCreatePreferredIdentifierForTag(
                VUTIManager::kTagClassFilenameExtension, VString(inIdentifier), VString()));
        };
        const VRefPtr<VUTI> beforeItsParent = type("com.b0000.t04");
        const VRefPtr<VUTI> belowTheNextBundle = type("com.b0000.t05");
        const VRefPtr<VUTI> waiting = type("com.b0000.t07");
        const VRefPtr<VUTI> belowContent = type("com.b0000.t08");
        if (beforeItsParent == nullptr || belowTheNextBundle == nullptr || waiting == nullptr ||
            belowContent == nullptr)
        {
            ADD_FAILURE() << "a type of the first bundle is missing";
            return work;
        }
        EXPECT_TRUE(beforeItsParent->ConformsToIdentifier(VString("com.b0000.t05")));
        EXPECT_TRUE(beforeItsParent->ConformsToIdentifier(VString("public.content")));
        EXPECT_TRUE(belowTheNextBundle->ConformsToIdentifier(VString("com.b0001.t06")));
        EXPECT_TRUE(belowTheNextBundle->ConformsToIdentifier(VString("public.data")));
        EXPECT_TRUE(waiting->GetParentUTIsMap().at(VString("com.undeclared.b0"))->IsTemporary());
        // The first declaration of the public types stands, with every child of every bundle.
        const VUTI* content = belowContent->GetParentUTIsMap().at(VString("public.content"));
        EXPECT_FALSE(content->IsTemporary());
        EXPECT_EQ(content->GetChildrenUTIsMap().size(), bundles * kTypesPerBundle / 4);
        EXPECT_TRUE(content->ConformsToIdentifier(VString("public.data")));
        return work;
    };
    // 2,000 declarations in one file against 8,000.
    const uint64_t small = loadWork(1, 50);
    const uint64_t large = loadWork(1, 200);
    EXPECT_LE(large, small * 9 / 2) << small << " then " << large;
    // 25 bundles of 40 types loaded in turn against 100.
    const uint64_t few = loadWork(25, 1);
    const uint64_t many = loadWork(100, 1);
    EXPECT_LE(many, few * 9 / 2) << few << " then " << many;
}

TEST_F(VUTIManagerTest, ALongChainLoadsInProportionToItsLength)
{
    // Each type conforms to the one before it, or to the one after it: a link weighed at the
    // bottom of a chain has the whole chain above it, one weighed at the top the whole chain below.
    for (const bool toTheOneBefore : {true, false})
    {
        auto chainWork = [&](int inLength)
        {
            auto id = [](int inIndex)
            {
                std::string digits = std::to_string(inIndex);
                return "com.example.c" + std::string(5 - digits.size(), '0') + digits;
            };
            std::vector<Declaration> chain;
            for (int index = 0; index < inLength; ++index)
            {
                const int parent = toTheOneBefore ? index - 1 : index + 1;
                chain.push_back({id(index)});
                if (parent >= 0 && parent < inLength)
                    chain.back().fConformsTo = {id(parent)};
                if (index == 0 || index + 1 == inLength)
                    chain.back().fExtensions = {index == 0 ? "first" : "last"};
            }
            fManager = VRefPtr<VUTIManager>(new VUTIManager());
            const uint64_t work = LoadWork(chain);
            const std::string bottom = toTheOneBefore ? "last" : "first";
            const std::string top = toTheOneBefore ? id(0) : id(inLength - 1);
            EXPECT_EQ(Preferred("public.filename-extension", bottom.c_str(), top.c_str()),
                      toTheOneBefore ? id(inLength - 1) : id(0));
            return work;
        };
        const uint64_t small = chainWork(2000);
        const uint64_t large = chainWork(8000);
        EXPECT_LE(large, small * 9 / 2) << toTheOneBefore << ": " << small << " then " << large;
    }
}

// Declarations whose links each take a long walk to weigh, whatever the order: many parents of
// one type that share a long line of ancestors while the type has a long line of descendants, or
// many children of a type in the middle of a long line. Each line is inLength types long.
struct LongWalks
{
    std::vector<Declaration> fTypes;
    // Pairs of a type's extension and an identifier it conforms to once all is linked, the links
    // weighed first (the lines above) in the first fFirst pairs.
    std::vector<std::pair<std::string, std::string>> fConformances;
    size_t fFirst;
};

std::string LineID(const char* inPrefix, int inIndex)
{
    std::string digits = std::to_string(inIndex);
    return std::string(inPrefix) + std::string(6 - digits.size(), '0') + digits;
}

// A line of types of that prefix, each below the one before it, the first below inTop when given;
// the last one claims the extension inLast.
void AddLine(std::vector<Declaration>& ioTypes, const char* inPrefix, int inLength, const std::string& inTop,
             const std::string& inLast)
{
    for (int index = 0; index < inLength; ++index)
    {
        ioTypes.push_back({LineID(inPrefix, index)});
        const std::string parent = index > 0 ? LineID(inPrefix, index - 1) : inTop;
        if (!parent.empty())
            ioTypes.back().fConformsTo = {parent};
    }
    ioTypes.back().fExtensions = {inLast};
}

// Links are weighed in the order of the parents' identifiers: the line of "com.a.", its last
// type's children "com.d.", the line "com.b.", then the child "com.c" of every "com.d.".
LongWalks ParentsOverALongLine(int inLength)
{
    LongWalks shape;
    std::vector<Declaration>& types = shape.fTypes;
    AddLine(types, "com.a.", inLength, "", "alast");
    Declaration child{"com.c", {}, {"c"}};
    for (int index = 0; index < inLength; ++index)
    {
        types.push_back({LineID("com.d.", index), {LineID("com.a.", inLength - 1)}});
        child.fConformsTo.push_back(types.back().fIdentifier);
    }
    types[size_t(inLength)].fExtensions = {"dfirst"};
    types.push_back(child);
    AddLine(types, "com.b.", inLength, "com.c", "blast");
    shape.fConformances = {{"alast", LineID("com.a.", 0)},
                           {"dfirst", LineID("com.a.", 0)},
                           {"blast", LineID("com.a.", 0)},
                           {"c", LineID("com.d.", inLength - 1)}};
    shape.fFirst = 2;
    return shape;
}

// The line of "com.a.", the line "com.b.", then the children of "com.p": the line's first, then
// the "com.q." ones.
LongWalks ChildrenInTheMiddleOfALongLine(int inLength)
{
    LongWalks shape;
    std::vector<Declaration>& types = shape.fTypes;
    AddLine(types, "com.a.", inLength, "", "alast");
    types.push_back({"com.p", {LineID("com.a.", inLength - 1)}});
    AddLine(types, "com.b.", inLength, "com.p", "blast");
    for (int index = 0; index < inLength; ++index)
        types.push_back({LineID("com.q.", index), {"com.p"}});
    types[types.size() - size_t(inLength)].fExtensions = {"qfirst"};
    types.back().fExtensions = {"qlast"};
    shape.fConformances = {{"alast", LineID("com.a.", 0)},
                           {"blast", LineID("com.a.", 0)},
                           {"qfirst", LineID("com.a.", 0)},
                           {"qlast", LineID("com.a.", 0)}};
    shape.fFirst = 3;
    return shape;
}

// Such a load used to cost the square of its size (a file of 2.3 MB some 50 million steps). It now
// weighs links for as long as its input pays, and refuses the links past it as it refuses one that
// would close a cycle: the placeholder stays. Every link of a small one is made; the links weighed
// first in a large one are.
TEST_F(VUTIManagerTest, LinksThatTakeLongWalksCostInProportionToTheLoad)
{
    for (LongWalks (*shape)(int) : {ParentsOverALongLine, ChildrenInTheMiddleOfALongLine})
    {
        auto loadWork = [&](int inLength, bool inWhole)
        {
            const LongWalks declarations = shape(inLength);
            fManager = VRefPtr<VUTIManager>(new VUTIManager());
            const uint64_t work = LoadWork(declarations.fTypes);
            EXPECT_EQ(fManager->GetUTIsCount(), declarations.fTypes.size());
            const size_t checked = inWhole ? declarations.fConformances.size() : declarations.fFirst;
            for (size_t index = 0; index < checked; ++index)
            {
                const auto& [extension, identifier] = declarations.fConformances[index];
                EXPECT_NE(Preferred("public.filename-extension", extension.c_str(), identifier.c_str()),
                          "(null)")
                    << inLength << ": " << extension << " below " << identifier;
            }
            return work;
        };
        loadWork(20, true);
        const uint64_t small = loadWork(1000, false);
        const uint64_t large = loadWork(4000, false);
        EXPECT_LE(large, small * 9 / 2) << small << " then " << large;
    }
}

TEST_F(VUTIManagerTest, TagLookUps)
{
    ASSERT_TRUE(Load({{"com.example.base", {}, {"shared"}, "text/x-base"},
                      {"com.example.derived", {"com.example.base"}, {"drv"}},
                      {"public.shared-text", {}, {"shared", "common"}},
                      {"com.zzz.private", {}, {"common", "priv"}},
                      {"com.aaa.private", {}, {"priv"}}}));
    // Found for both the base and its child, the base is kept once.
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(VUTIManager::kTagClassFilenameExtension,
                                                             VString("shared"), VString())),
              (std::vector<std::string>{"com.example.base", "com.example.derived", "public.shared-text"}));
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(VUTIManager::kTagClassMIMEType,
                                                             VString("text/x-base"), VString())),
              (std::vector<std::string>{"com.example.base", "com.example.derived"}));
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(VString("public.other-class"), VString("shared"),
                                                             VString())),
              std::vector<std::string>{});
    EXPECT_EQ(IDs(fManager->UTTypeCreateAllIdentifiersForTag(VString(), VString("shared"), VString())),
              std::vector<std::string>{"(null)"});

    const struct
    {
        const char* fClass;
        const char* fTag;
        const char* fConformingTo;
        const char* fExpected;
    } cases[] = {
        {"public.filename-extension", "drv", "", "com.example.derived"},
        {"public.filename-extension", "DRV", "", "com.example.derived"},
        {"public.filename-extension", "common", "", "public.shared-text"}, // public first
        {"public.filename-extension", "priv", "", "com.aaa.private"},      // then order
        {"public.filename-extension", "shared", "", "public.shared-text"},
        {"public.filename-extension", "shared", "com.example.base", "com.example.base"},
        {"public.filename-extension", "shared", "com.example.nowhere", "(null)"},
        {"public.mime-type", "text/x-base", "", "com.example.base"},
        {"com.apple.ostype", "drv", "", "(null)"},
        {"public.other-class", "drv", "", "(null)"},
        {"public.filename-extension", "", "", "(null)"},
        {"", "drv", "", "(null)"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Preferred(test.fClass, test.fTag, test.fConformingTo), test.fExpected)
            << test.fClass << " " << test.fTag << " " << test.fConformingTo;
}

TEST_F(VUTIManagerTest, AFileConformsThroughItsExtension)
{
    // Errors of earlier tests may still stand on the task: only this test's count.
    StErrorContextInstaller errors(false, true);
    ASSERT_TRUE(Load({{"com.example.base", {}, {}}, {"com.example.doc", {"com.example.base"}, {"exdoc"}}}));
    VRefPtr<VFile> document = WriteFile("letter.exdoc", "x");
    VRefPtr<VFile> other = WriteFile("letter.txt", "x");
    VRefPtr<VFile> bare = WriteFile("letter", "x");
    VRefPtr<VFile> missing(new VFile(fFolder.Path("gone.exdoc")));
    EXPECT_TRUE(fManager->UTTypeConformsTo(document.Get(), VString("com.example.doc")));
    EXPECT_TRUE(fManager->UTTypeConformsTo(document.Get(), VString("com.example.base")));
    EXPECT_FALSE(fManager->UTTypeConformsTo(document.Get(), VString("com.example.other")));
    EXPECT_FALSE(fManager->UTTypeConformsTo(document.Get(), VString()));
    EXPECT_FALSE(fManager->UTTypeConformsTo(other.Get(), VString("com.example.base")));
    EXPECT_FALSE(fManager->UTTypeConformsTo(bare.Get(), VString("com.example.base")));
    EXPECT_FALSE(fManager->UTTypeConformsTo(missing.Get(), VString("com.example.doc")));
    EXPECT_FALSE(fManager->UTTypeConformsTo(nullptr, VString("com.example.doc")));
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST_F(VUTIManagerTest, RegistersEveryTypeAsAPrivateFileKind)
{
    // The child comes in one file, its parent in the next.
    ASSERT_TRUE(Load({{"com.example.kindchild", {"com.example.kindbase"}, {"kch"}, "", "Child kind"}}));
    ASSERT_TRUE(Load({{"com.example.kindbase", {}, {"kba"}, "", "Base kind"}}));
    VFileKindManager* kinds = VFileKindManager::Get();
    ASSERT_NE(kinds, nullptr);
    VRefPtr<VFileKind> kind(kinds->RetainFileKind(VString("com.example.kindchild")));
    ASSERT_NE(kind.Get(), nullptr);
    EXPECT_EQ(ToUTF8(kind->GetDescription()), "Child kind");
    VString extension;
    EXPECT_TRUE(kind->GetPreferredExtension(extension));
    EXPECT_EQ(ToUTF8(extension), "kch");
    EXPECT_TRUE(kind->ConformsTo(VString("com.example.kindbase")));
    VRefPtr<VFileKind> base(kinds->RetainFileKind(VString("com.example.kindbase")));
    ASSERT_NE(base.Get(), nullptr);
    EXPECT_EQ(ToUTF8(base->GetDescription()), "Base kind");

    // A file-kind manager made anew (the process started again) has every type at the next load,
    // even where the memory of the one before is used again.
    kind = VRefPtr<VFileKind>();
    base = VRefPtr<VFileKind>();
    VFileKindManager::DeInit();
    ASSERT_TRUE(VFileKindManager::Init());
    ASSERT_TRUE(Load({{"com.example.kindlater", {"com.example.kindbase"}}}));
    for (const char* identifier : {"com.example.kindchild", "com.example.kindbase", "com.example.kindlater"})
    {
        VRefPtr<VFileKind> again(VFileKindManager::Get()->RetainFileKind(VString(identifier)));
        EXPECT_NE(again.Get(), nullptr) << identifier;
    }
}

TEST_F(VUTIManagerTest, LoadingAnswersFalseForMissingAndBrokenFiles)
{
    EXPECT_FALSE(fManager->LoadXMLFile(nullptr));
    VRefPtr<VFile> missing(new VFile(fFolder.Path("none.plist")));
    EXPECT_FALSE(fManager->LoadXMLFile(missing.Get()));
    {
        StErrorContextInstaller errors(false, true);
        std::string broken = PropertyList({{"com.example.kept", {}, {"kpt"}}});
        broken.resize(broken.rfind("</array>") + 8);
        broken += "<unclosed>";
        EXPECT_FALSE(fManager->LoadXMLFile(WriteFile("broken.plist", broken).Get()));
        EXPECT_EQ(errors.GetLastError(), VE_XML_ParseFatalError);
    }
    // What was declared before the fault is kept.
    EXPECT_EQ(Preferred("public.filename-extension", "kpt"), "com.example.kept");
    // A later file loads beside what was kept.
    ASSERT_TRUE(Load({{"com.example.next", {}, {"nxt"}}}));
    EXPECT_EQ(fManager->GetUTIsCount(), 2u);
}

TEST_F(VUTIManagerTest, TheManagerBreaksTheLinksOfItsTypesOnTheWayOut)
{
    ASSERT_TRUE(Load({{"com.example.top", {}, {"top"}}, {"com.example.low", {"com.example.top"}, {"low"}}}));
    VUTI* top = fManager->UTTypeCreatePreferredIdentifierForTag(VUTIManager::kTagClassFilenameExtension,
                                                                VString("top"), VString());
    ASSERT_NE(top, nullptr);
    fManager = nullptr;
    EXPECT_EQ(top->GetRefCount(), 1u);
    EXPECT_TRUE(top->GetChildrenUTIsMap().empty());
    top->Release();
}

TEST(VUTIManagerSingleton, IsMadeOnceEvenFromTwoThreadsAtOnce)
{
    VUTIManager::Delete();
    VUTIManager* seen[2] = {nullptr, nullptr};
    std::thread first([&seen] { seen[0] = VUTIManager::GetUTIManager(); });
    std::thread second([&seen] { seen[1] = VUTIManager::GetUTIManager(); });
    first.join();
    second.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(VUTIManager::GetUTIManager(), seen[0]);
    EXPECT_TRUE(VUTIManager::DeInit());
    EXPECT_NE(VUTIManager::GetUTIManager(), nullptr);
}

} // namespace
} // namespace kova
