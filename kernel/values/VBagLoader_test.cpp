#include "kernel/values/VBagLoader.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/text/VString.h"
#include "kernel/values/IBaggable.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

TEST(VBagLoaderTest, KeepsStoredIdentifiersWithoutRegeneration)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    VUUID stored(true);
    bag->SetVUUID("uuid", stored);
    VBagLoader loader(false, false);
    VUUID id;
    EXPECT_TRUE(loader.GetUUID(*bag, id));
    EXPECT_TRUE(id == stored);
    EXPECT_TRUE(loader.ResolveUUID(id));
    EXPECT_TRUE(id == stored);

    VRefPtr<VValueBag> without(new VValueBag);
    EXPECT_FALSE(loader.GetUUID(*without, id));
    EXPECT_FALSE(id.IsNull());
    EXPECT_FALSE(id == stored);
}

TEST(VBagLoaderTest, RegeneratesOneNewIdentifierPerStoredOne)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    VUUID stored(true);
    bag->SetVUUID("uuid", stored);
    VBagLoader loader(true, false);
    VUUID first;
    VUUID second;
    EXPECT_TRUE(loader.GetUUID(*bag, first));
    EXPECT_TRUE(loader.GetUUID(*bag, second));
    EXPECT_FALSE(first == stored);
    EXPECT_TRUE(first == second);
    VUUID resolved = stored;
    EXPECT_TRUE(loader.ResolveUUID(resolved));
    EXPECT_TRUE(resolved == first);
    VUUID unknown(true);
    VUUID unchanged = unknown;
    EXPECT_FALSE(loader.ResolveUUID(unchanged));
    EXPECT_TRUE(unchanged == unknown);

    VRefPtr<VValueBag> nullId(new VValueBag);
    nullId->SetVUUID("uuid", VUUID());
    VUUID id;
    EXPECT_TRUE(loader.GetUUID(*nullId, id));
    EXPECT_FALSE(id.IsNull());
    VRefPtr<VValueBag> without(new VValueBag);
    EXPECT_FALSE(loader.GetUUID(*without, id));

    // The typed key reads the attribute or its default.
    VUUID read(true);
    EXPECT_FALSE(VBagLoader::sUUIDKey.Get(*without, read));
    EXPECT_TRUE(read.IsNull());
}

class NamedThing : public IBaggable
{
public:
    explicit NamedThing(VError inResult) : fResult(inResult) {}
    VError SaveToBag(VValueBag& ioBag, VString& outKind) const override
    {
        ioBag.SetString("label", VString("thing"));
        outKind.FromString(VString("thing"));
        return fResult;
    }

private:
    VError fResult;
};

TEST(VBagLoaderTest, BaggableObjectsAreFiledUnderTheNameTheyGive)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(bag->AddElement(static_cast<const IBaggable*>(nullptr)), VE_OK);
    NamedThing good(VE_OK);
    EXPECT_EQ(bag->AddElement(&good), VE_OK);
    ASSERT_NE(bag->GetElements("thing"), nullptr);
    EXPECT_EQ(bag->GetElements("thing")->GetNth(1)->GetRefCount(), 1u);
    NamedThing failing(VE_UNKNOWN_ERROR);
    EXPECT_EQ(bag->AddElement(&failing), VE_UNKNOWN_ERROR);
    EXPECT_EQ(bag->GetElements("thing")->GetCount(), 1);
    // The default loading does nothing and succeeds.
    EXPECT_EQ(good.LoadFromBagWithLoader(*bag, nullptr), VE_OK);
}

} // namespace
} // namespace kova
