#include "kernel/json/VJSONObject.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONBinaryTesting_test.h"
#include "kernel/json/JSONCollidingNames_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONStamp.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::NamesSharingTheUnkeyedHash;
using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::ToU8;
using testing_json::U8;
using testing_json::UnkeyedHash;
using testing_json::Write;

std::vector<std::string> OrderedNames(const VJSONObject* inObject, uint32_t inFlags = 0)
{
    std::vector<std::string> names;
    for (VJSONPropertyConstOrderedIterator it(inObject, inFlags); it.IsValid(); ++it)
        names.push_back(ToU8(it.GetName()));
    return names;
}

// A delegate that answers for a few names: "answer" is 42, "hidden" is answered undefined,
// "refused" cannot be set, "kept" is stored by the delegate; it reports "answer" and "kept".
class TestDelegate : public IJSONObject
{
public:
    EJSONStatus IJSON_GetProperty(const VJSONObject*, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext*) const override
    {
        if (inName.EqualToUSASCIICString("answer"))
            outValue.SetNumber(42);
        else if (inName.EqualToUSASCIICString("hidden"))
            outValue.SetUndefined();
        else if (inName.EqualToUSASCIICString("kept"))
            outValue = fKept;
        else
            return EJSON_unhandled;
        return EJSON_done;
    }
    EJSONStatus IJSON_SetProperty(VJSONObject*, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext*) override
    {
        if (inName.EqualToUSASCIICString("refused"))
            return EJSON_error;
        if (!inName.EqualToUSASCIICString("kept"))
            return EJSON_unhandled;
        fKept = inValue;
        return EJSON_done;
    }
    EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const override
    {
        outNames.push_back(VString("answer"));
        outNames.push_back(VString("kept"));
        return EJSON_done;
    }
    EJSONStatus IJSON_GetCountPropertiesByIndex(const VJSONObject*, size_t* outCount) const override
    {
        *outCount = 3;
        return EJSON_done;
    }

    VJSONValue fKept;
};

TEST(VJSONObject, InsertionIndexesFollowRemovalsAndReplacements)
{
    VRefPtr<VJSONObject> object(new VJSONObject);
    for (const char* name : {"a", "b", "c"})
        EXPECT_TRUE(object->SetProperty(name, VJSONValue(1.0)));
    object->RemoveProperty("b");
    EXPECT_EQ(OrderedNames(object.Get()), (std::vector<std::string>{"a", "c"}));
    object->SetProperty("b", VJSONValue(2.0));
    object->SetProperty("a", VJSONValue(3.0));
    EXPECT_EQ(OrderedNames(object.Get()), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(object->GetProperty("a").GetNumber(), 3);

    // Undefined removes, present or not, and answers true.
    EXPECT_TRUE(object->SetProperty("c", VJSONValue()));
    EXPECT_TRUE(object->SetProperty("never", VJSONValue()));
    EXPECT_EQ(OrderedNames(object.Get()), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(object->GetProperty("c").IsUndefined());
    EXPECT_FALSE(object->HasOwnProperty("c"));
    // Names are compared unit by unit: no case folding.
    EXPECT_FALSE(object->HasProperty("A"));
}

TEST(VJSONObject, ManyPropertiesBehaveAsAnOrderedMap)
{
    // Random sets and removals over enough names to need the hash index, against a model.
    std::mt19937 random(7);
    VRefPtr<VJSONObject> object(new VJSONObject);
    std::vector<std::pair<std::string, double>> model;
    for (int step = 0; step < 4000; ++step)
    {
        std::string name = "n" + std::to_string(random() % 60);
        auto found = std::find_if(model.begin(), model.end(), [&](const auto& p) { return p.first == name; });
        if (random() % 3 == 0)
        {
            object->RemoveProperty(U8(name));
            if (found != model.end())
                model.erase(found);
        }
        else
        {
            double value = double(step);
            object->SetProperty(U8(name), VJSONValue(value));
            if (found != model.end())
                found->second = value;
            else
                model.emplace_back(name, value);
        }
        if (step % 97 == 0 || step == 3999)
        {
            std::vector<std::string> expected;
            for (const auto& [n, v] : model)
            {
                expected.push_back(n);
                ASSERT_EQ(object->GetProperty(U8(n)).GetNumber(), v) << n;
            }
            ASSERT_EQ(OrderedNames(object.Get()), expected);
        }
    }
    object->ClearInternalProperties();
    EXPECT_TRUE(object->IsEmpty());
    EXPECT_FALSE(object->HasOwnProperty("n1"));
}

VString FromUnits(const std::u16string& inUnits)
{
    VString text;
    text.AppendUniChars(inUnits.data(), int32_t(inUnits.size()));
    return text;
}

TEST(VJSONObject, NamesChosenToCollideDoNotShareAProbeChain)
{
    const std::vector<std::u16string> names = NamesSharingTheUnkeyedHash(10);
    ASSERT_EQ(names.size(), 1024u);
    std::set<uint32_t> hashes;
    for (const std::u16string& name : names)
    {
        ASSERT_EQ(UnkeyedHash(name), UnkeyedHash(names[0]));
        hashes.insert(VJSONObject::Name::Hash(name.data(), int32_t(name.size())));
    }
    // The hash the table places names by is keyed: the names no longer meet.
    EXPECT_GT(hashes.size(), names.size() - 8);

    const VString source = FromUnits(testing_json::ObjectOfNames(names));

    // Placing each name costs a few probes however many names came before it (all of them, had
    // they shared one chain: over a million probes in all).
    const uint64_t kProbesPerName = 8;
    VJSONValue parsed;
    uint64_t before = sJSONPropertyProbeCount;
    ASSERT_EQ(VJSONImporter::ParseString(source, parsed, 0), VE_OK);
    EXPECT_LT(sJSONPropertyProbeCount - before, names.size() * kProbesPerName) << "text reader";

    VRefPtr<VJSONObject> built(new VJSONObject);
    before = sJSONPropertyProbeCount;
    for (size_t i = 0; i < names.size(); ++i)
        built->SetProperty(FromUnits(names[i]), VJSONValue(double(i % 10)));
    EXPECT_LT(sJSONPropertyProbeCount - before, names.size() * kProbesPerName) << "SetProperty";

    const testing_json::Bytes bytes = testing_json::Written(parsed);
    VJSONBinaryImporter importer(bytes.data(), bytes.size());
    VJSONValue read;
    before = sJSONPropertyProbeCount;
    ASSERT_EQ(importer.GetValue(read), VE_OK);
    EXPECT_LT(sJSONPropertyProbeCount - before, names.size() * kProbesPerName) << "binary reader";

    // The names keep the order they came in, and each is found.
    for (const VJSONValue& value : {parsed, VJSONValue(built.Get()), read})
    {
        VString written;
        ASSERT_EQ(value.Stringify(written, 1), VE_OK);
        EXPECT_TRUE(written.EqualToStringRaw(source));
        for (size_t i = 0; i < names.size(); ++i)
            ASSERT_EQ(value.GetProperty(FromUnits(names[i])).GetNumber(), double(i % 10)) << i;
    }
}

TEST(VJSONObject, TheDelegateIsAskedFirst)
{
    VRefPtr<TestDelegate> delegate(new TestDelegate);
    VRefPtr<VJSONObject> object(new VJSONObject(nullptr, delegate.Get()));
    EXPECT_EQ(delegate->GetRefCount(), 2u);
    object->SetOwnProperty("answer", VJSONValue(1.0));
    object->SetProperty("own", VJSONValue(2.0));

    EXPECT_EQ(object->GetProperty("answer").GetNumber(), 42);
    EXPECT_EQ(object->GetOwnProperty("answer").GetNumber(), 1);
    EXPECT_EQ(object->GetProperty("own").GetNumber(), 2);
    // An answer of undefined stands; it does not make the name exist.
    object->SetOwnProperty("hidden", VJSONValue(3.0));
    EXPECT_TRUE(object->GetProperty("hidden").IsUndefined());
    EXPECT_FALSE(object->HasProperty("hidden"));
    EXPECT_TRUE(object->HasProperty("answer"));
    EXPECT_TRUE(object->HasProperty("own"));

    EXPECT_FALSE(object->SetProperty("refused", VJSONValue(1.0)));
    EXPECT_FALSE(object->HasOwnProperty("refused"));
    EXPECT_TRUE(object->SetProperty("kept", VJSONValue(5.0)));
    EXPECT_FALSE(object->HasOwnProperty("kept"));
    EXPECT_EQ(object->GetProperty("kept").GetNumber(), 5);

    // Delegate names first, then the own properties in insertion order.
    EXPECT_EQ(OrderedNames(object.Get()),
              (std::vector<std::string>{"answer", "kept", "answer", "own", "hidden"}));
    EXPECT_EQ(OrderedNames(object.Get(), VJSONPropertyConstOrderedIterator::kSkipDelegateNames),
              (std::vector<std::string>{"answer", "own", "hidden"}));

    // Names reported by the delegate make an object without own properties not empty.
    object->ClearInternalProperties();
    EXPECT_FALSE(object->IsEmpty());
    EJSONStatus status = EJSON_error;
    EXPECT_EQ(object->GetCountPropertiesByIndex(&status), 3u);
    EXPECT_EQ(status, EJSON_done);

    object.Reset();
    EXPECT_EQ(delegate->GetRefCount(), 1u);

    VRefPtr<VJSONObject> plain(new VJSONObject);
    plain->SetProperty("x", VJSONValue(1.0));
    EXPECT_TRUE(plain->GetPropertyByIndex(0, &status).IsUndefined());
    EXPECT_EQ(status, EJSON_unhandled);
}

TEST(VJSONObject, ClearPropertyEmptiesTheValueInPlace)
{
    VJSONValue root = Parse(R"({"t":true,"o":{},"s":"x","n":4})");
    VJSONObject* object = root.GetObject();
    for (const char* name : {"t", "o", "s", "n", "absent"})
        object->ClearProperty(name);
    EXPECT_EQ(Write(root), R"({"t":false,"o":null,"s":"","n":0})");
}

TEST(VJSONObject, DeepEqualityIgnoresOrderAndEndsOnCycles)
{
    VCompareOptions options;
    VJSONValue first = Parse(R"({"a":1,"b":"x"})");
    VJSONValue second = Parse(R"({"b":"x","a":1})");
    EXPECT_TRUE(first.GetObject()->DeepEqualTo(second.GetObject(), options));
    second.GetObject()->SetProperty("c", VJSONValue(JSON_null));
    EXPECT_FALSE(first.GetObject()->DeepEqualTo(second.GetObject(), options));
    EXPECT_FALSE(first.GetObject()->DeepEqualTo(nullptr, options));

    first.GetObject()->SetProperty("self", first);
    VJSONValue third = Parse(R"({"a":1,"b":"x"})");
    third.GetObject()->SetProperty("self", third);
    EXPECT_TRUE(first.GetObject()->DeepEqualTo(third.GetObject(), options));
    EXPECT_FALSE(first.GetObject()->DeepEqualTo(second.GetObject(), options));
    first.GetObject()->Clear();
    third.GetObject()->Clear();
}

TEST(VJSONObject, ExtractPathCutsComponentsAndNamesTheFault)
{
    struct Case
    {
        const char* fPath;
        VError fError;
        std::vector<std::string> fComponents;
    };
    const Case cases[] = {
        {"a.b.c", VE_OK, {"a", "b", "c"}},
        {"server.ports[2]", VE_OK, {"server", "ports", "2"}},
        {"a[0][1]", VE_OK, {"a", "0", "1"}},
        {"a[b]", VE_OK, {"a", "b"}},
        {" a . b ", VE_OK, {"a", "b"}},
        {"a..b", VE_JSON_PATH_EMPTY_COMPONENT, {"a", ""}},
        {"a.", VE_JSON_PATH_EMPTY_COMPONENT, {"a", ""}},
        {"", VE_JSON_PATH_EMPTY_COMPONENT, {""}},
        {"a[0", VE_JSON_PATH_UNCLOSED_BRACKET, {"a", "0"}},
        {"[0]", VE_JSON_PATH_EMPTY_COMPONENT, {""}},
        {"a[]", VE_JSON_PATH_EMPTY_COMPONENT, {"a", ""}},
        {"a[", VE_JSON_PATH_EMPTY_COMPONENT, {"a", ""}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fPath);
        StCollectErrors errors;
        std::vector<VString> components;
        EXPECT_EQ(VJSONObject::ExtractPath(U8(c.fPath), components), c.fError);
        std::vector<std::string> texts;
        for (const VString& component : components)
            texts.push_back(ToU8(component));
        EXPECT_EQ(texts, c.fComponents);
        EXPECT_EQ(errors.Codes(), c.fError == VE_OK ? std::vector<VError>{} : std::vector<VError>{c.fError});
    }
}

TEST(VJSONObject, GetPropertyWithPathWalksObjectsAndArrays)
{
    VJSONValue root = Parse(R"({"list":[10,{"x":"deep"},30,40],"o":{"length":"own"},"n":5})");
    const VJSONObject* object = root.GetObject();
    struct Case
    {
        const char* fPath;
        const char* fWritten; // null: undefined
    };
    const Case cases[] = {
        {"list.length", "4"},
        {"list[1].x", "\"deep\""},
        {"list.1.x", "\"deep\""},
        {"list.9", nullptr},
        {"list.foo", nullptr},
        {"list.-1", nullptr},
        {"list.01", "{\"x\":\"deep\"}"},
        {"o.length", "\"own\""},
        {"n.x", nullptr},
        {"missing.x", nullptr},
        {"list.99999999999999999999999", nullptr},
        {"a..b", nullptr},
    };
    StCollectErrors errors;
    for (const Case& c : cases)
    {
        VJSONValue value = object->GetPropertyWithPath(U8(c.fPath));
        if (c.fWritten == nullptr)
        {
            EXPECT_TRUE(value.IsUndefined()) << c.fPath;
        }
        else
        {
            EXPECT_EQ(Write(value), c.fWritten) << c.fPath;
        }
    }
    EXPECT_EQ(object->GetPropertyWithPath(std::vector<VString>{}).GetObject(), object);
}

TEST(VJSONObject, TheOrderedIteratorKeepsItsSnapshotWhileTheObjectChanges)
{
    VJSONValue root = Parse(R"({"a":"first","b":{"c":1},"d":[2]})");
    VJSONObject* object = root.GetObject();
    std::vector<std::string> seen;
    for (VJSONPropertyConstOrderedIterator it(object, 0); it.IsValid(); ++it)
    {
        object->ClearInternalProperties(); // frees every stored value the iterator does not hold
        seen.push_back(ToU8(it.GetName()) + "=" + Write(it.GetValue()));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a=\"first\"", "b={\"c\":1}", "d=[2]"}));
    EXPECT_TRUE(object->IsEmpty());
}

TEST(VJSONObject, SetPropertiesStopsAtTheFirstRefusal)
{
    VRefPtr<TestDelegate> delegate(new TestDelegate);
    VRefPtr<VJSONObject> object(new VJSONObject(nullptr, delegate.Get()));
    std::vector<std::pair<VString, VJSONValue>> list;
    list.emplace_back(VString("a"), VJSONValue(1.0));
    list.emplace_back(VString("refused"), VJSONValue(2.0));
    list.emplace_back(VString("c"), VJSONValue(3.0));
    EXPECT_FALSE(object->SetProperties(list));
    EXPECT_TRUE(object->HasOwnProperty("a"));
    EXPECT_FALSE(object->HasOwnProperty("c"));
    EXPECT_TRUE(object->SetProperties({}));
}

TEST(VJSONObject, SetPropertyWithPathMakesTheMissingStepsOrNamesTheFault)
{
    struct Case
    {
        const char* fPath;
        bool fResult;
        const char* fAfter;
        VError fError;
        const char* fStep; // "p1" of the error
    };
    const char* const before = R"({"n":5,"list":[1]})";
    const Case cases[] = {
        {"a.b", true, R"({"n":5,"list":[1],"a":{"b":7}})", VE_OK, ""},
        {"a[2]", true, R"({"n":5,"list":[1],"a":[null,null,7]})", VE_OK, ""},
        {"a.0.b", true, R"({"n":5,"list":[1],"a":[{"b":7}]})", VE_OK, ""},
        {"list[1]", true, R"({"n":5,"list":[1,7]})", VE_OK, ""},
        {"list.0", true, R"({"n":5,"list":[7]})", VE_OK, ""},
        {"n.b", false, before, VE_JSON_PATH_NOT_AN_OBJECT, "n"},
        {"n.0", false, before, VE_JSON_PATH_NOT_AN_ARRAY, "n"},
        // On an array only digits make an index, when setting as when reading.
        {"list.x", false, before, VE_JSON_PATH_NOT_AN_OBJECT, "list"},
        {"list.-1", false, before, VE_JSON_PATH_NOT_AN_OBJECT, "list"},
        {"list.1e1", false, before, VE_JSON_PATH_NOT_AN_OBJECT, "list"},
        {"list.2147483648", false, before, VE_INVALID_PARAMETER, ""},
        {"a..b", false, before, VE_JSON_PATH_EMPTY_COMPONENT, ""},
        {"a[0", false, before, VE_JSON_PATH_UNCLOSED_BRACKET, ""},
        {"", false, before, VE_JSON_PATH_EMPTY_COMPONENT, ""},
    };
    for (const Case& c : cases)
    {
        VJSONValue root = Parse(before);
        StCollectErrors errors;
        EXPECT_EQ(root.GetObject()->SetPropertyWithPath(U8(c.fPath), VJSONValue(7.0)), c.fResult) << c.fPath;
        EXPECT_EQ(Write(root), c.fAfter) << c.fPath;
        EXPECT_EQ(errors.Codes(), c.fError == VE_OK ? std::vector<VError>{} : std::vector<VError>{c.fError})
            << c.fPath;
        if (*c.fStep != 0)
        {
            EXPECT_EQ(errors.Param(1, "p1"), c.fStep) << c.fPath;
        }
    }

    // A list stops after its first failure.
    VJSONValue root = Parse("{}");
    StCollectErrors errors;
    std::vector<std::pair<VString, VJSONValue>> list;
    list.emplace_back(VString("a"), VJSONValue(1.0));
    list.emplace_back(VString("a.b"), VJSONValue(2.0));
    list.emplace_back(VString("c"), VJSONValue(3.0));
    EXPECT_FALSE(root.GetObject()->SetPropertiesWithPaths(list));
    EXPECT_EQ(Write(root), R"({"a":1})");
    EXPECT_TRUE(root.GetObject()->SetPropertiesWithPaths({}));
}

TEST(VJSONObject, IsValidNumberAcceptsDigitsOnly)
{
    const std::pair<const char*, bool> cases[] = {{"", true},    {"12", true},  {"007", true},
                                                  {"1a", false}, {"-1", false}, {" 1", false}};
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(isvalidnumber(U8(text)), valid) << text;
}

TEST(VJSONObject, StampsGrowWithEveryChange)
{
    VJSONValue root = Parse(R"({"list":[1,2,3]})");
    VJSONObject* object = root.GetObject();
    VRefPtr<VJSONStamp> counter(new VJSONStamp);
    object->SetJSONStamp(counter.Get());

    EXPECT_EQ(object->GetPropertyStamp("x"), 0u);
    object->SetProperty("x", VJSONValue(1.0));
    const uint32_t first = object->GetPropertyStamp("x");
    object->SetProperty("x", VJSONValue(1.0));
    const uint32_t second = object->GetPropertyStamp("x");
    EXPECT_GT(second, first);
    object->TouchPropertyStamp("x");
    EXPECT_GT(object->GetPropertyStamp("x"), second);
    EXPECT_EQ(object->GetProperty("x").GetNumber(), 1.0);
    EXPECT_EQ(counter->GetCounter(), 3u);
    // Removing an absent name still counts as a change.
    object->RemoveProperty("absent");
    EXPECT_EQ(counter->GetCounter(), 4u);

    // Along paths: "length" of an array is its count, an element has its own stamp.
    EXPECT_EQ(object->GetPropertyStampWithPath("list.length"), 3u);
    const uint32_t element = object->GetPropertyStampWithPath("list[1]");
    EXPECT_NE(element, 0u);
    object->TouchPropertyStampWithPath("list[1]");
    EXPECT_GT(object->GetPropertyStampWithPath("list[1]"), element);
    EXPECT_EQ(object->GetPropertyStampWithPath("list[9]"), 0u);
    EXPECT_EQ(object->GetPropertyStampWithPath("list.x"), 0u);
    EXPECT_EQ(object->GetPropertyStampWithPath("x"), object->GetPropertyStamp("x"));

    // An array's counter moves on every resize, also to its own size.
    VJSONArray* list = object->GetProperty("list").GetArray();
    VRefPtr<VJSONStamp> arrayCounter(new VJSONStamp);
    list->SetJSONStamp(arrayCounter.Get());
    EXPECT_TRUE(list->Resize(3));
    EXPECT_EQ(arrayCounter->GetCounter(), 1u);
}

EJSONStatus DoGetAnswer(const VJSONObject*, IJSONFunctionContext* inContext)
{
    inContext->SetResult(VJSONValue(42.0));
    return EJSON_done;
}

TEST(VJSONObject, AGetterPropertyTakesTheStampOfItsObject)
{
    VRefPtr<VJSONObject> classObject(
        VJSONClass::Create(VString("Answering"), {{VString("get answer"), &DoGetAnswer, 0}}, nullptr, nullptr,
                           &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> instance(VJSONClass::CreateInstance(classObject.Get(), nullptr));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetPropertyStamp("answer"), 0u);
    instance->SetProperty("other", VJSONValue(1.0));
    EXPECT_EQ(instance->GetPropertyStamp("answer"), 1u);
}

} // namespace
} // namespace kova
