#include "kernel/json/VJSONPropertyIterator.h"

#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::ToU8;
using testing_json::Write;

// A getter that rearranges its object while it is read: removes "b", adds properties.
EJSONStatus DoGetRestless(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONObject* self = inContext->GetThisObject();
    self->RemoveProperty("b");
    for (int i = 0; i < 40; ++i)
        self->SetProperty(VString(("late" + std::to_string(i)).c_str()), VJSONValue(double(i)));
    inContext->SetResult(VJSONValue(1.0));
    return EJSON_done;
}

VRefPtr<VJSONObject> RestlessInstance()
{
    static VJSONObject* const sClass =
        VJSONClass::Create(VString("Restless"), {{VString("get restless"), &DoGetRestless, 0}}, nullptr,
                           nullptr, &VJSONClass::GenericInstantiator, VString(), 0);
    VRefPtr<VJSONObject> instance(VJSONClass::CreateInstance(sClass, nullptr));
    instance->SetProperty("a", VJSONValue(1.0));
    instance->SetProperty("b", VJSONValue(2.0));
    return instance;
}

template <class ITERATOR, class... FLAGS>
std::vector<std::string> Walk(VJSONObject* inObject, FLAGS... inFlags)
{
    std::vector<std::string> seen;
    for (ITERATOR it(inObject, inFlags...); it.IsValid(); ++it)
    {
        VJSONValue value = it.GetValue();
        seen.push_back(ToU8(it.GetName()) + "=" + (value.IsUndefined() ? "undefined" : Write(value)));
    }
    return seen;
}

TEST(VJSONPropertyIterator, AGetterThatChangesTheObjectLeavesNothingDangling)
{
    // The getter runs first (class names come before own names); the snapshot taken before it
    // still names "b", which now reads undefined, and none of the names added meanwhile.
    const std::vector<std::string> expected{"restless=1", "a=1", "b=undefined"};
    for (int kind = 0; kind < 2; ++kind)
    {
        VRefPtr<VJSONObject> object = RestlessInstance();
        std::vector<std::string> seen = kind == 0 ? Walk<VJSONPropertyConstIterator>(object.Get())
                                                  : Walk<VJSONPropertyIterator>(object.Get());
        std::sort(seen.begin(), seen.end());
        std::vector<std::string> sorted = expected;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(seen, sorted) << kind;
        EXPECT_FALSE(object->HasOwnProperty("b"));
    }
    // The ordered iterator keeps copies of the values as they were when it was made.
    VRefPtr<VJSONObject> object = RestlessInstance();
    EXPECT_EQ(Walk<VJSONPropertyConstOrderedIterator>(object.Get(), 0u),
              (std::vector<std::string>{"restless=1", "a=1", "b=2"}));
}

TEST(VJSONPropertyIterator, SettingUndefinedNeverRemovesTheCurrentProperty)
{
    VRefPtr<VJSONObject> object(new VJSONObject);
    object->SetProperty("a", VJSONValue(1.0));
    object->SetProperty("b", VJSONValue(2.0));
    for (VJSONPropertyIterator it(object.Get()); it.IsValid(); ++it)
        it.SetValue(ToU8(it.GetName()) == "a" ? VJSONValue() : VJSONValue(3.0));
    EXPECT_EQ(Write(VJSONValue(object.Get())), R"({"a":1,"b":3})");
}

TEST(VJSONPropertyConstOrderedIterator, FollowsInsertionOrderAndItsFlags)
{
    VRefPtr<VJSONObject> object = RestlessInstance();
    object->SetProperty("c", VJSONValue(3.0));
    object->RemoveProperty("a");
    object->SetProperty("a", VJSONValue(4.0));
    std::vector<std::string> names;
    for (VJSONPropertyConstOrderedIterator it(object.Get(),
                                              VJSONPropertyConstOrderedIterator::kSkipGetterNames);
         it.IsValid(); ++it)
        names.push_back(ToU8(it.GetName()));
    EXPECT_EQ(names, (std::vector<std::string>{"b", "c", "a"}));
    VString className;
    object->GetClassName(className);
    EXPECT_EQ(ToU8(className), "Restless");

    // A short description stops after the member that passed 512 characters.
    VRefPtr<VJSONObject> large(new VJSONObject);
    for (int i = 0; i < 200; ++i)
        large->SetProperty(VString(("property" + std::to_string(i)).c_str()), VJSONValue(double(i)));
    VString description;
    large->GetDescription(description, true);
    EXPECT_LT(description.GetLength(), 600);
    EXPECT_EQ(ToU8(description).substr(size_t(description.GetLength()) - 3), "...");
    large->GetDescription(description, false);
    EXPECT_GT(description.GetLength(), 2000);

    // The class name of an object without delegate: its class's, else by its sharing.
    VRefPtr<VJSONObject> shared(new VJSONObject(nullptr, nullptr, true));
    shared->GetClassName(className);
    EXPECT_EQ(ToU8(className), "Object");
}

} // namespace
} // namespace kova
