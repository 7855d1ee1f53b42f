#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

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

} // namespace
} // namespace kova
