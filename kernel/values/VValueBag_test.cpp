#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace
{

// While set on a thread, the global allocations that must not throw fail there.
thread_local bool sFailNothrowNew = false;

} // namespace

void* operator new(std::size_t inSize, const std::nothrow_t&) noexcept
{
    if (sFailNothrowNew)
        return nullptr;
    try
    {
        return ::operator new(inSize);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

namespace kova
{
namespace
{

// Memory runs out, for the allocations that must not throw, during a scope.
class StFailNothrowNew
{
public:
    StFailNothrowNew() { sFailNothrowNew = true; }
    ~StFailNothrowNew() { sFailNothrowNew = false; }
    StFailNothrowNew(const StFailNothrowNew&) = delete;
    StFailNothrowNew& operator=(const StFailNothrowNew&) = delete;
};

using testing_values::TextIs;

TEST(VValueBagTest, AttributesSetReadReplaceAndRemove)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_TRUE(bag->IsEmpty());
    EXPECT_TRUE(bag->SetString("name", VString("first")));
    EXPECT_TRUE(bag->SetLong("count", 12));
    VString text;
    ASSERT_TRUE(bag->GetString("name", text));
    EXPECT_TRUE(TextIs(text, "first"));
    // Read into another kind: converted.
    ASSERT_TRUE(bag->GetString("count", text));
    EXPECT_TRUE(TextIs(text, "12"));
    int32_t count = 0;
    ASSERT_TRUE(bag->GetLong("count", count));
    EXPECT_EQ(count, 12);

    // Absent: false, output untouched.
    int64_t untouched = 77;
    EXPECT_FALSE(bag->GetLong8("missing", untouched));
    EXPECT_EQ(untouched, 77);

    // Replaced by a longer value of the same name: still one attribute.
    EXPECT_TRUE(bag->SetString("name", VString("a much longer text")));
    EXPECT_EQ(bag->GetAttributesCount(), 2);
    ASSERT_TRUE(bag->GetString("name", text));
    EXPECT_TRUE(TextIs(text, "a much longer text"));

    bag->RemoveAttribute("name");
    EXPECT_FALSE(bag->AttributeExists("name"));
    ASSERT_TRUE(bag->GetLong("count", count));
    EXPECT_EQ(count, 12);
    EXPECT_FALSE(bag->IsEmpty());
}

TEST(VValueBagTest, RealsAreStoredAsRealsAndReadFromAnyKind)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_TRUE(bag->SetReal("ratio", 0.25));
    EXPECT_EQ(bag->GetAttributeValue("ratio")->GetValueKind(), VK_REAL);
    double ratio = 0.0;
    ASSERT_TRUE(bag->GetReal("ratio", ratio));
    EXPECT_EQ(ratio, 0.25);
    VString text;
    ASSERT_TRUE(bag->GetString("ratio", text));
    EXPECT_TRUE(TextIs(text, "0.25"));

    // Other kinds convert: a text is read as a number.
    bag->SetString("given", VString("1.5e2"));
    ASSERT_TRUE(bag->GetReal("given", ratio));
    EXPECT_EQ(ratio, 150.0);
    double untouched = 7.0;
    EXPECT_FALSE(bag->GetReal("missing", untouched));
    EXPECT_EQ(untouched, 7.0);
}

TEST(VValueBagTest, CloneIsDeepAndUnionCloneMerges)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetLong("a", 1);
    VRefPtr<VValueBag> child(new VValueBag);
    child->SetString("x", VString("child"));
    ASSERT_TRUE(bag->AddElement("c", child.Get()));

    VRefPtr<VValueBag> clone(bag->Clone());
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->GetRefCount(), 1u);
    child->SetString("x", VString("changed"));
    VString text;
    ASSERT_NE(clone->GetUniqueElementByPath(VString("c")), nullptr);
    clone->GetUniqueElementByPath(VString("c"))->GetString("x", text);
    EXPECT_TRUE(TextIs(text, "child"));

    VRefPtr<VValueBag> target(new VValueBag);
    target->SetLong("a", 5);
    target->SetLong("b", 2);
    ASSERT_TRUE(target->UnionClone(bag.Get()));
    int32_t value = 0;
    target->GetLong("a", value);
    EXPECT_EQ(value, 1);
    target->GetLong("b", value);
    EXPECT_EQ(value, 2);
    ASSERT_NE(target->GetElements("c"), nullptr);
    EXPECT_EQ(target->GetElements("c")->GetCount(), 1);
    EXPECT_NE(target->GetElements("c")->GetNth(1), child.Get());
    EXPECT_TRUE(target->UnionClone(nullptr));
}

TEST(VValueBagTest, UnionCloneWithItselfDoublesElementsOnce)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetLong("a", 1);
    VRefPtr<VValueBag> child(new VValueBag);
    bag->AddElement("c", child.Get());
    bag->AddElement("c", child.Get());
    ASSERT_TRUE(bag->UnionClone(bag.Get()));
    EXPECT_EQ(bag->GetAttributesCount(), 1);
    EXPECT_EQ(bag->GetElements("c")->GetCount(), 4);
}

VRefPtr<VValueBag> NewBag()
{
    return VRefPtr<VValueBag>(new VValueBag);
}

std::vector<std::string> ElementNames(const VValueBag& inBag)
{
    std::vector<std::string> names;
    VString name;
    for (int32_t i = 1; i <= inBag.GetElementNamesCount(); ++i)
    {
        inBag.GetNthElementName(i, &name);
        std::string text;
        for (int32_t j = 1; j <= name.GetLength(); ++j)
            text.push_back(char(name.GetUniChar(j)));
        names.push_back(text);
    }
    return names;
}

TEST(VValueBagTest, CDataAppendsToTextAndTurnsOtherKindsIntoText)
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->AppendToCData(VString("ab"));
    bag->AppendToCData(VString("cd"));
    VString text;
    ASSERT_TRUE(bag->GetString(VValueBag::CDataAttributeName(), text));
    EXPECT_TRUE(TextIs(text, "abcd"));
    EXPECT_FALSE(bag->IsEmpty());

    VRefPtr<VValueBag> numeric = NewBag();
    numeric->SetLong("<>", 42);
    numeric->AppendToCData(VString(" items"));
    ASSERT_TRUE(numeric->GetString(VValueBag::CDataAttributeName(), text));
    EXPECT_TRUE(TextIs(text, "42 items"));
    EXPECT_EQ(numeric->GetAttributeValue("<>")->GetTrueValueKind(), VK_STRING);
    // The change reaches the stored form.
    VRefPtr<VValueBag> copy(numeric->Clone());
    ASSERT_TRUE(copy->GetString("<>", text));
    EXPECT_TRUE(TextIs(text, "42 items"));
}

TEST(VValueBagTest, CDataOfAnotherKindStaysWhenItsTextCannotBeMade)
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->SetLong("<>", 42);
    // The number's object is made now, so that the text is the one allocation left.
    ASSERT_NE(bag->GetAttributeValue("<>"), nullptr);
    VString more(" items");
    StErrorContextInstaller context(false);
    {
        StFailNothrowNew failing;
        bag->AppendToCData(more);
    }
    EXPECT_EQ(context.GetLastError(), VE_MEMORY_FULL);
    EXPECT_EQ(bag->GetAttributeValue("<>")->GetTrueValueKind(), VK_LONG);
    int32_t number = 0;
    ASSERT_TRUE(bag->GetLong("<>", number));
    EXPECT_EQ(number, 42);
}

TEST(VValueBagTest, ReplaceElementKeepsTheOnlyBagAndReplacesLists)
{
    VRefPtr<VValueBag> bag = NewBag();
    VRefPtr<VValueBag> only = NewBag();
    ASSERT_TRUE(bag->ReplaceElement("e", only.Get()));
    EXPECT_EQ(only->GetRefCount(), 2u);
    EXPECT_FALSE(bag->ReplaceElement("e", only.Get()));
    EXPECT_EQ(only->GetRefCount(), 2u);

    VRefPtr<VValueBag> other = NewBag();
    bag->AddElement("e", other.Get());
    ASSERT_TRUE(bag->ReplaceElement("e", other.Get()));
    EXPECT_EQ(bag->GetElements("e")->GetCount(), 1);
    EXPECT_EQ(bag->GetElements("e")->GetNth(1), other.Get());
    EXPECT_EQ(only->GetRefCount(), 1u);
    EXPECT_EQ(other->GetRefCount(), 2u);

    EXPECT_FALSE(bag->ReplaceElement("e", nullptr));
    EXPECT_EQ(bag->GetElements("e"), nullptr);
    EXPECT_EQ(other->GetRefCount(), 1u);
}

TEST(VValueBagTest, ABagCannotBeItsOwnElement)
{
    VRefPtr<VValueBag> bag = NewBag();
    StErrorContextInstaller context(false);
    EXPECT_FALSE(bag->AddElement("self", bag.Get()));
    EXPECT_FALSE(bag->ReplaceElement("self", bag.Get()));
    EXPECT_EQ(context.GetLastError(), VE_INVALID_PARAMETER);
    EXPECT_EQ(bag->GetRefCount(), 1u);
    EXPECT_TRUE(bag->IsEmpty());
}

TEST(VValueBagTest, PathsSplitAtSlashesAndCreateMissingLevels)
{
    VValueBag::StKeyPath keys;
    VValueBag::GetKeysFromPath(VString("a//b/"), keys);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_TRUE(keys[0] == StPackedDictionaryKey("a"));
    EXPECT_TRUE(keys[1] == StPackedDictionaryKey(""));
    EXPECT_TRUE(keys[2] == StPackedDictionaryKey("b"));
    VValueBag::GetKeysFromUTF8PathNoCopy("a//b/", keys);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_FALSE(keys[0].OwnsText());

    VRefPtr<VValueBag> bag = NewBag();
    VRefPtr<VValueBag> leaf = NewBag();
    VValueBag::GetKeysFromPath(VString("a/b/c"), keys);
    ASSERT_TRUE(bag->ReplaceElementByPath(keys, leaf.Get()));
    EXPECT_EQ(ElementNames(*bag), std::vector<std::string>{"a"});
    EXPECT_EQ(bag->GetUniqueElementByPath(VString("a/b/c")), leaf.Get());
    EXPECT_EQ(bag->GetUniqueElementByPath(VString("a/x")), nullptr);
    EXPECT_EQ(bag->GetUniqueElementByPath(VString("")), bag.Get());

    // A segment too long to be a name stays in the path and finds nothing.
    std::string tooLong = "a/" + std::string(300, 'z');
    EXPECT_EQ(bag->GetUniqueElementByPath(VString(tooLong.c_str())), nullptr);
    VValueBag::GetKeysFromPath(VString(tooLong.c_str()), keys);
    ASSERT_EQ(keys.size(), 2u);
    StErrorContextInstaller context(false);
    EXPECT_EQ(bag->GetElementByPathAndCreateIfDontExists(keys), nullptr);
    EXPECT_EQ(bag->GetUniqueElementByPath(VString("a"))->GetElementNamesCount(), 1);

    // Removing by path with a null bag.
    VValueBag::GetKeysFromPath(VString("a/b/c"), keys);
    EXPECT_TRUE(bag->ReplaceElementByPath(keys, nullptr));
    EXPECT_EQ(bag->GetUniqueElementByPath(VString("a/b/c")), nullptr);
    EXPECT_EQ(leaf->GetRefCount(), 1u);
}

TEST(VValueBagTest, UniqueElementByAttributeAndAnyKind)
{
    VRefPtr<VValueBag> bag = NewBag();
    for (int32_t id : {1, 2, 2})
    {
        VRefPtr<VValueBag> child = NewBag();
        child->SetLong("id", id);
        bag->AddElement("item", child.Get());
    }
    VRefPtr<VValueBag> one(bag->RetainUniqueElementWithAttribute("item", "id", VLong(1)));
    ASSERT_TRUE(one);
    EXPECT_EQ(one.Get(), bag->GetElements("item")->GetNth(1));
    EXPECT_EQ(one->GetRefCount(), 2u); // the list's and ours
    EXPECT_EQ(bag->RetainUniqueElementWithAttribute("item", "id", VLong(2)), nullptr);
    EXPECT_EQ(bag->RetainUniqueElementWithAttribute("item", "id", VLong(3)), nullptr);

    VString name;
    EXPECT_EQ(bag->GetUniqueElementAnyKind(name), nullptr);
    EXPECT_TRUE(name.IsEmpty());
    VRefPtr<VValueBag> single = NewBag();
    single->AddElement("only", one.Get());
    EXPECT_EQ(single->GetUniqueElementAnyKind(name), one.Get());
    EXPECT_TRUE(TextIs(name, "only"));
}

TEST(VValueBagTest, BagArrayIndexesAreOneBasedAndRetainNthNeverFails)
{
    VRefPtr<VBagArray> array(new VBagArray);
    VRefPtr<VValueBag> a = NewBag();
    VRefPtr<VValueBag> b = NewBag();
    VRefPtr<VValueBag> c = NewBag();
    EXPECT_FALSE(array->AddTail(nullptr));
    array->AddTail(a.Get());
    array->AddNth(b.Get(), -5);
    array->AddNth(c.Get(), 99);
    EXPECT_EQ(array->Find(b.Get()), 1);
    EXPECT_EQ(array->Find(a.Get()), 2);
    EXPECT_EQ(array->Find(c.Get()), 3);

    VRefPtr<VValueBag> fresh(array->RetainNth(0));
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->IsEmpty());
    EXPECT_EQ(fresh->GetRefCount(), 1u);
    VRefPtr<VValueBag> second(array->RetainNth(2));
    EXPECT_EQ(second.Get(), a.Get());

    array->SetNth(c.Get(), 1);
    EXPECT_EQ(b->GetRefCount(), 1u);
    array->Delete(a.Get()); // without releasing: the caller takes the reference over
    EXPECT_EQ(a->GetRefCount(), 3u);
    a->Release();
    array->DeleteNth(1);
    EXPECT_EQ(array->GetCount(), 1);
    EXPECT_EQ(c->GetRefCount(), 2u);
    array->Destroy();
    EXPECT_EQ(c->GetRefCount(), 1u);
}

TEST(VValueBagTest, OverrideMergesSingleElementsAndAddsOthers)
{
    VRefPtr<VValueBag> bag = NewBag();
    VRefPtr<VValueBag> x = NewBag();
    x->SetLong("keep", 1);
    x->SetLong("change", 1);
    bag->AddElement("x", x.Get());

    VRefPtr<VValueBag> other = NewBag();
    VRefPtr<VValueBag> otherX = NewBag();
    otherX->SetLong("change", 2);
    other->AddElement("x", otherX.Get());
    other->AddElement("y", NewBag().Get());
    other->AddElement("y", NewBag().Get());
    other->SetString("title", VString("t"));

    ASSERT_TRUE(bag->Override(other.Get()));
    ASSERT_EQ(bag->GetElements("x")->GetCount(), 1);
    int32_t value = 0;
    x->GetLong("keep", value);
    EXPECT_EQ(value, 1);
    x->GetLong("change", value);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(bag->GetElements("y")->GetCount(), 2);
    EXPECT_TRUE(bag->AttributeExists("title"));
    ASSERT_TRUE(bag->Override(bag.Get()));
    EXPECT_EQ(bag->GetElements("y")->GetCount(), 4);
}

TEST(VValueBagTest, SortingReordersOnlyWhenAListedNameFollowsAHigherOne)
{
    static const StPackedDictionaryKey kItem("item");
    static const StPackedDictionaryKey kA("a");
    static const StPackedDictionaryKey kB("b");
    static const VValueBag::StBagElementsOrdering kTable[] = {
        {&kItem, {&kB, &kA, nullptr}},
        {nullptr, {nullptr}},
    };
    auto make = [](std::initializer_list<const char*> inNames)
    {
        VRefPtr<VValueBag> bag = NewBag();
        for (const char* name : inNames)
            bag->AddElement(name, NewBag().Get());
        return bag;
    };
    VRefPtr<VValueBag> swapped = make({"x", "a", "b"});
    swapped->SortElements(kItem, kTable);
    EXPECT_EQ(ElementNames(*swapped), (std::vector<std::string>{"x", "b", "a"}));

    VRefPtr<VValueBag> kept = make({"a", "x", "b"});
    kept->SortElements(kItem, kTable);
    EXPECT_EQ(ElementNames(*kept), (std::vector<std::string>{"a", "x", "b"}));

    // Child bags named by the table are sorted too.
    VRefPtr<VValueBag> root = NewBag();
    root->AddElement("item", swapped.Get());
    VRefPtr<VValueBag> nested = make({"a", "b"});
    swapped->AddElement("item", nested.Get());
    nested->SortElements(StPackedDictionaryKey("nothing"), kTable);
    EXPECT_EQ(ElementNames(*nested), (std::vector<std::string>{"a", "b"}));
    VRefPtr<VValueBag> outer = make({});
    outer->AddElement("item", nested.Get());
    outer->SortElements(StPackedDictionaryKey("item"), kTable);
    EXPECT_EQ(ElementNames(*nested), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(swapped->GetElements("a")->GetRefCount(), 1u);
}

TEST(VValueBagTest, DebugDumpListsAttributesAndElements)
{
    VRefPtr<VValueBag> bag = NewBag();
    bag->SetLong("n", 5);
    VRefPtr<VValueBag> child = NewBag();
    child->SetString("s", VString("x"));
    bag->AddElement("c", child.Get());
    VString dump;
    bag->DebugDump(dump);
    EXPECT_TRUE(TextIs(dump, "n = 5\n=======\n1 c :\n--\ns = x\n"));
    char small[8];
    int size = sizeof(small);
    bag->DebugDump(small, size);
    EXPECT_EQ(size, 8);
}

TEST(VValueBagTest, KindTwoHundredDescriptorMakesEmptyBags)
{
    const VValueInfo* info = VValue::ValueInfoFromValueKind(VK_BAG);
    ASSERT_EQ(info, &VValueBag::sInfo);
    VValue* made = info->Generate();
    auto* bag = dynamic_cast<VValueBag*>(made);
    ASSERT_NE(bag, nullptr);
    EXPECT_TRUE(bag->IsEmpty());
    bag->Release();
    VRefPtr<VValueBag> original = NewBag();
    EXPECT_EQ(original->GetValueInfo(), &VValueBag::sInfo);
    EXPECT_TRUE(original->IsDirty());
}

} // namespace
} // namespace kova
