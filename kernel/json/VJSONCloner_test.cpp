#include "kernel/json/VJSONCloner.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::ToU8;
using testing_json::Write;

std::vector<std::string> Names(const VJSONObject* inObject)
{
    std::vector<std::string> names;
    for (const VJSONObject::Property& property : inObject->_GetProperties())
        names.push_back(ToU8(property.fName.GetString()));
    return names;
}

// A delegate that answers the clone itself: with the object (as a blob does) or with a failure.
class CloneAnswer : public IJSONObject
{
public:
    explicit CloneAnswer(VError inFailure) : fFailure(inFailure) {}
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner&, VJSONValue& outValue,
                            VError* outError) const override
    {
        if (fFailure != VE_OK)
        {
            *outError = fFailure;
            return EJSON_error;
        }
        outValue.SetObject(const_cast<VJSONObject*>(inObject));
        *outError = VE_OK;
        return EJSON_done;
    }

private:
    VError fFailure;
};

TEST(VJSONCloner, ACopyHasTheSameContentAndNoCollectionOfTheSource)
{
    VJSONValue source = Parse(R"({"name":"x","list":[1,{"deep":[true,null]}],"n":2.5})");
    VJSONValue copy = source;
    VJSONCloner cloner;
    ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
    EXPECT_EQ(Write(copy), Write(source));
    EXPECT_NE(copy.GetObject(), source.GetObject());
    VJSONValue deep = copy.GetObject()->GetPropertyWithPath("list[1]");
    EXPECT_NE(deep.GetObject(), source.GetObject()->GetPropertyWithPath("list[1]").GetObject());

    // Changing the copy leaves the source.
    deep.GetObject()->SetProperty("deep", VJSONValue(3.0));
    EXPECT_EQ(Write(source), R"({"name":"x","list":[1,{"deep":[true,null]}],"n":2.5})");

    // Scalars are values already.
    VJSONValue number(4.0);
    EXPECT_EQ(cloner.CloneValue(number), VE_OK);
    EXPECT_EQ(number.GetNumber(), 4.0);
    VJSONValue none;
    EXPECT_EQ(cloner.CloneObject(nullptr, none), VE_OK);
    EXPECT_TRUE(none.IsUndefined());
}

TEST(VJSONCloner, SharingAndCyclesAreReproducedInTheCopy)
{
    VJSONValue source(JSON_object);
    VJSONObject* object = source.GetObject();
    object->SetProperty("self", source);
    VJSONValue shared(JSON_object);
    VJSONValue list(JSON_array);
    list.GetArray()->Push(shared);
    list.GetArray()->Push(shared);
    object->SetProperty("list", list);

    VJSONValue copy = source;
    {
        VJSONCloner cloner;
        ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
        // A second job on the same cloner reuses the clones of the first.
        VJSONValue again = source;
        ASSERT_EQ(cloner.CloneValue(again), VE_OK);
        EXPECT_EQ(again.GetObject(), copy.GetObject());
    }
    VJSONObject* clone = copy.GetObject();
    ASSERT_NE(clone, object);
    EXPECT_EQ(clone->GetProperty("self").GetObject(), clone);
    VJSONArray* clonedList = clone->GetProperty("list").GetArray();
    ASSERT_NE(clonedList, nullptr);
    EXPECT_NE(clonedList, list.GetArray());
    ASSERT_EQ(clonedList->GetCount(), 2u);
    EXPECT_EQ(clonedList->GetAt(0).GetObject(), clonedList->GetAt(1).GetObject());
    EXPECT_NE(clonedList->GetAt(0).GetObject(), shared.GetObject());
    // Both cycles are freed with their last outside references (LeakSanitizer).
}

TEST(VJSONCloner, ModesKeepSharedObjectsOrBindCopiesToOneLocker)
{
    VJSONValue locked(VRefPtr<VJSONObject>(new VJSONObject(nullptr, nullptr, true)).Get());
    VJSONValue plain = Parse(R"({"a":{"b":1},"c":[2]})");

    {
        VJSONCloner cloner(VJSONCloner::kKeepShared);
        VJSONValue copy = locked;
        ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
        EXPECT_EQ(copy.GetObject(), locked.GetObject());
        copy = plain;
        ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
        EXPECT_NE(copy.GetObject(), plain.GetObject());
    }
    {
        VJSONCloner cloner(VJSONCloner::kBindToOneLocker);
        VJSONValue copy = plain;
        ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
        VStorageLocker* locker = cloner.GetStorageLockerAndAssignIfNecessary();
        ASSERT_NE(locker, nullptr);
        // Handed out more than once, the locker serves many collections: no longer adoptable.
        EXPECT_FALSE(locker->IsAdoptable());
        EXPECT_EQ(copy.GetObject()->GetStorageLocker().Get(), locker);
        EXPECT_EQ(copy.GetObject()->GetProperty("a").GetObject()->GetStorageLocker().Get(), locker);
        EXPECT_EQ(copy.GetObject()->GetProperty("c").GetArray()->GetStorageLocker().Get(), locker);
        EXPECT_EQ(Write(copy), Write(plain));
    }
}

TEST(VJSONCloner, ACopyKeepsItsClassAndItsConstructionLevel)
{
    VRefPtr<VJSONObject> classObject(VJSONClass::Create(VString("Point"), nullptr, nullptr, VString(), 0));
    ASSERT_NE(classObject, nullptr);
    VRefPtr<VJSONObject> instance(new VJSONObject(classObject.Get()));
    instance->SetConstructionLevel(1);
    instance->SetProperty("x", VJSONValue(1.0));
    VJSONValue copy(instance.Get());
    VJSONCloner cloner;
    ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
    EXPECT_EQ(copy.GetObject()->GetClassObject(), classObject.Get());
    EXPECT_EQ(copy.GetObject()->GetConstructionLevel(), 1);
    VString name;
    copy.GetObject()->GetClassName(name);
    EXPECT_EQ(ToU8(name), "Point");
}

TEST(VJSONCloner, DelegatesAnswerForTheirObjects)
{
    VRefPtr<CloneAnswer> itself(new CloneAnswer(VE_OK));
    VRefPtr<VJSONObject> kept(new VJSONObject(nullptr, itself.Get()));
    VJSONValue copy(kept.Get());
    VJSONCloner cloner;
    EXPECT_EQ(cloner.CloneValue(copy), VE_OK);
    EXPECT_EQ(copy.GetObject(), kept.Get());

    // A failure deep in the tree is the copy's failure, and the value is left as it was.
    VRefPtr<CloneAnswer> failing(new CloneAnswer(VE_JSON_NOT_ENOUGH_STACK));
    VRefPtr<VJSONObject> refused(new VJSONObject(nullptr, failing.Get()));
    VJSONValue tree = Parse(R"({"a":1,"b":{}})");
    tree.GetObject()->GetProperty("b").GetObject()->SetProperty("refused", VJSONValue(refused.Get()));
    VJSONValue attempt = tree;
    VJSONCloner second;
    EXPECT_EQ(second.CloneValue(attempt), VE_JSON_NOT_ENOUGH_STACK);
    EXPECT_EQ(attempt.GetObject(), tree.GetObject());
}

TEST(VJSONObject, ClonePropertiesReplacesTheDestinationsOwnProperties)
{
    VJSONValue source = Parse(R"({"b":1,"a":{"c":2}})");
    VJSONValue destination = Parse(R"({"old":true,"b":0})");
    VJSONCloner cloner;
    EXPECT_EQ(source.GetObject()->CloneProperties(cloner, destination.GetObject()), VE_OK);
    EXPECT_EQ(Write(destination), R"({"b":1,"a":{"c":2}})");
    EXPECT_NE(destination.GetObject()->GetProperty("a").GetObject(),
              source.GetObject()->GetProperty("a").GetObject());
    EXPECT_EQ(source.GetObject()->CloneProperties(cloner, nullptr), VE_OK);
}

TEST(VJSONObject, MergeWithAddsTheMissingOrLetsTheOtherWin)
{
    struct Case
    {
        bool fOnlyMissing;
        const char* fExpected;
    };
    const Case cases[] = {
        {true, R"({"a":1,"b":2,"d":{"e":5},"c":4})"},
        {false, R"({"a":1,"b":3,"d":{"e":5},"c":4})"},
    };
    for (const Case& c : cases)
    {
        VJSONValue mine = Parse(R"({"a":1,"b":2})");
        VJSONValue other = Parse(R"({"d":{"e":5},"b":3,"c":4})");
        mine.GetObject()->MergeWith(other.GetObject(), c.fOnlyMissing);
        EXPECT_EQ(Write(mine), c.fExpected) << c.fOnlyMissing;
        // Values are shared, not cloned.
        EXPECT_EQ(mine.GetObject()->GetProperty("d").GetObject(),
                  other.GetObject()->GetProperty("d").GetObject());
        EXPECT_EQ(Names(other.GetObject()), (std::vector<std::string>{"d", "b", "c"}));
    }
    VJSONValue mine = Parse(R"({"a":1})");
    mine.GetObject()->MergeWith(nullptr, false);
    mine.GetObject()->MergeWith(mine.GetObject(), false);
    EXPECT_EQ(Write(mine), R"({"a":1})");
}

TEST(VJSONObject, MergeWithGoesOnPastARefusedProperty)
{
    // A locked object not in use refuses every change (QLRT -10719): each property leaves its
    // error, and the merge tries them all.
    VRefPtr<VJSONObject> locked(new VJSONObject(nullptr, nullptr, true));
    VJSONValue other = Parse(R"({"a":1,"b":2})");
    StCollectErrors errors;
    locked->MergeWith(other.GetObject(), false);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_OBJECT_NOT_HELD, VE_JSON_OBJECT_NOT_HELD}));
    EXPECT_TRUE(locked->_GetProperties().empty());
}

} // namespace
} // namespace kova
