#include "kernel/json/VJSONBinaryWriter.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONBinaryTesting_test.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VCppMemMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Bytes;
using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::Units;
using testing_json::Written;
using testing_json::operator+;

TEST(VJSONBinaryWriter, ScalarsAndEmptyContainersHaveTheirFixedBytes)
{
    struct Case
    {
        std::string fText;
        Bytes fBytes;
    } cases[] = {
        {"null", {0x00}},
        {"false", {0x01}},
        {"true", {0x02}},
        {"\"ab\"", {0x03, 0x02, 0x00, 0x00, 0x00, 0x61, 0x00, 0x62, 0x00}},
        {"1.5", {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}},
        {"{}", {0x05, 0xFF, 0xFF}},
        {"[]", {0x06, 0x00, 0x00, 0x00, 0x00}},
        {"[null,true]", {0x06, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02}},
        {"{\"a\":1}", Bytes{0x05, 0x01, 0x00, 0x61, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0xFF, 0xFF}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Written(Parse(c.fText)), c.fBytes) << c.fText;
    EXPECT_EQ(Written(VJSONValue()), Bytes{0x07});
    EXPECT_EQ(Written(VJSONValue(static_cast<VJSONObject*>(nullptr))), Bytes{0x00});
}

TEST(VJSONBinaryWriter, ACycleAndASharedObjectBecomeBackReferences)
{
    VJSONValue root = Parse("{}");
    root.SetProperty("self", root);
    Bytes self =
        Bytes{0x05, 0x04, 0x00} + Units("self") + Bytes{0xFF, 0x01, 0, 0, 0} + Units("#") + Bytes{0xFF, 0xFF};
    EXPECT_EQ(Written(root), self);
    root.GetObject()->RemoveProperty("self");

    VJSONValue shared = Parse("{}");
    VJSONValue list = Parse("[]");
    list.GetArray()->Push(shared);
    list.GetArray()->Push(shared);
    Bytes twice = Bytes{0x06, 0x02, 0, 0, 0, 0x05, 0xFF, 0xFF, 0xFF, 0x03, 0, 0, 0} + Units("#/0");
    EXPECT_EQ(Written(list), twice);
}

TEST(VJSONBinaryWriter, ABareRootMetAgainIsWrittenInFullWhereItFirstOccurs)
{
    VJSONValue root = Parse("{\"inner\":{}}");
    VJSONValue inner = root.GetProperty("inner");
    inner.SetProperty("up", root);
    inner.SetProperty("again", root);
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    ASSERT_EQ(writer.StreamObject(root.GetObject(), buffer), VE_OK);
    const uint8_t* data = static_cast<const uint8_t*>(buffer.GetDataPtr());
    Bytes bytes(data, data + buffer.GetDataSize());
    // The root written again in full at #/inner/up, whose own "inner" then refers back to #/inner.
    Bytes upInner = Bytes{0x05, 0x05, 0x00} + Units("inner") + Bytes{0xFF, 0x07, 0, 0, 0} + Units("#/inner");
    Bytes again = Bytes{0x05, 0x00} + Units("again") + Bytes{0xFF, 0x0A, 0, 0, 0} + Units("#/inner/up");
    auto contains = [&](const Bytes& inPart)
    { return std::search(bytes.begin(), bytes.end(), inPart.begin(), inPart.end()) != bytes.end(); };
    EXPECT_TRUE(contains(upInner));
    EXPECT_TRUE(contains(again));
    inner.GetObject()->Clear();
}

TEST(VJSONBinaryWriter, PointerTextsEscapeTildeThenSlash)
{
    VJSONValue shared = Parse("[]");
    VJSONValue root = Parse("{\"a/b~\":[0]}");
    root.GetProperty("a/b~").GetArray()->Push(shared);
    root.SetProperty("again", shared);
    Bytes bytes = Written(root);
    Bytes pointer = Units("#/a~1b~0/1");
    Bytes tail(bytes.end() - 2 - long(pointer.size()), bytes.end() - 2);
    EXPECT_EQ(tail, pointer);

    VString a("~/");
    VJSONBinaryWriter::PathPart top{nullptr, &a, 0};
    VJSONBinaryWriter::PathPart index{&top, nullptr, 12};
    VString text;
    VJSONBinaryWriter::BuildPathPointerString(&index, text);
    EXPECT_EQ(testing_json::ToU8(text), "#/~0~1/12");
    VJSONBinaryWriter::BuildPathPointerString(nullptr, text);
    EXPECT_EQ(testing_json::ToU8(text), "#");
}

// A delegate that has a fresh temporary written in its place each time.
class Replaced : public IJSONObject
{
public:
    void IJSON_GetValueToWriteToBuffer(VJSONValue& outValue) const override { outValue = Parse("{\"t\":1}"); }
};

TEST(VJSONBinaryWriter, TemporariesAreKeptSoNoAddressIsReusedForABackReference)
{
    VJSONValue list = Parse("[]");
    for (int i = 0; i < 8; ++i)
    {
        VRefPtr<Replaced> delegate(new Replaced);
        VRefPtr<VJSONObject> object(new VJSONObject(nullptr, delegate.Get()));
        list.GetArray()->Push(VJSONValue(object.Get()));
    }
    Bytes bytes = Written(list);
    VJSONValue back;
    VJSONBinaryImporter importer(bytes.data(), bytes.size());
    ASSERT_EQ(importer.GetValue(back), VE_OK);
    ASSERT_EQ(back.GetArray()->GetCount(), 8u);
    for (size_t i = 1; i < 8; ++i)
        EXPECT_NE(back.GetArray()->GetAt(i).GetObject(), back.GetArray()->GetAt(0).GetObject()) << i;
}

// Written after a record of one byte, the value is refused with the code alone, and the buffer
// keeps that record only.
void ExpectRefusedAfterARecord(const VJSONValue& inValue, VError inError)
{
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    ASSERT_EQ(writer.StreamValue(Parse("true"), buffer), VE_OK);
    StCollectErrors errors;
    EXPECT_EQ(writer.StreamValue(inValue, buffer), inError);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{inError});
    EXPECT_EQ(buffer.GetDataSize(), 1u);
}

TEST(VJSONBinaryWriter, ANameOf0x8000UnitsIsRefusedAndNothingIsLeftWritten)
{
    VJSONValue root = Parse("{\"a\":1}");
    root.SetProperty(VString(std::string(0x8000, 'n').c_str()), VJSONValue(2.0));
    ExpectRefusedAfterARecord(root, VE_INVALID_PARAMETER);

    VJSONValue fits = Parse("{}");
    fits.SetProperty(VString(std::string(0x7FFF, 'n').c_str()), VJSONValue(2.0));
    VError error = VE_OK;
    Bytes bytes = Written(fits, &error);
    EXPECT_EQ(error, VE_OK);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x7F);
}

TEST(VJSONBinaryWriter, AValueThatWouldNotReadBackIsNotWritten)
{
    // Objects that each hold the one before twice: a few levels are written and read back, 30
    // (a walk meets 2^31 values) would be refused by the reader, and so the writer refuses them
    // with the reader's code and leaves the buffer as it was.
    auto levels = [](int inLevels)
    {
        VJSONValue level = Parse("{}");
        for (int i = 0; i < inLevels; ++i)
        {
            VJSONValue next = Parse("{}");
            next.SetProperty("a", level);
            next.SetProperty("b", level);
            level = next;
        }
        return level;
    };
    const Bytes few = Written(levels(4));
    VJSONBinaryImporter importer(few.data(), few.size());
    VJSONValue back;
    EXPECT_EQ(importer.GetValue(back), VE_OK);
    EXPECT_EQ(back.GetProperty("a").GetObject(), back.GetProperty("b").GetObject());

    const VJSONValue many = levels(30);
    ExpectRefusedAfterARecord(many, VE_JSON_EXPANSION_TOO_LARGE);
    StCollectErrors errors;
    VString text;
    EXPECT_EQ(many.Stringify(text, 0x801), VE_JSON_EXPANSION_TOO_LARGE);
}

TEST(VJSONBinaryWriter, ABufferThatCannotGrowGivesMemoryFull)
{
    VCppMemMgr failing(VCppMemMgr::EAllocatorKind(99), false, false);
    VJSONBinaryWriter::Buffer buffer(&failing);
    VJSONBinaryWriter writer(64);
    StCollectErrors errors;
    EXPECT_EQ(writer.StreamValue(Parse("{\"a\":[1,2,\"x\"]}"), buffer), VE_MEMORY_FULL);
    EXPECT_EQ(buffer.GetDataSize(), 0u);
    EXPECT_EQ(errors.Codes().front(), VE_MEMORY_FULL);
}

TEST(VJSONBinaryWriter, DeepTreesFailWith108ForArraysAndObjects)
{
    for (bool objects : {false, true})
    {
        // Built from the inside out: each level is linked once, to a finished child.
        VJSONValue root = objects ? Parse("{}") : Parse("[]");
        for (int i = 0; i < 10050; ++i)
        {
            VJSONValue parent = objects ? Parse("{}") : Parse("[]");
            if (objects)
                parent.SetProperty("n", root);
            else
                parent.GetArray()->Push(root);
            root = std::move(parent);
        }
        StCollectErrors errors;
        VError error = VE_OK;
        Written(root, &error);
        EXPECT_EQ(error, VE_JSON_NOT_ENOUGH_STACK) << objects;
    }
}

TEST(VJSONBinaryWriter, AClassInstanceEndsWithItsClassRecord)
{
    VRefPtr<VJSONObject> classObject(VJSONClassStore::GetProcessClassStore()->AddClass(
        VString("BinaryPoint"), {}, nullptr, nullptr, nullptr, 0));
    ASSERT_TRUE(classObject);
    VRefPtr<VJSONObject> instance(new VJSONObject(classObject.Get()));
    instance->SetProperty("x", VJSONValue(1.0));
    Bytes bytes = Written(VJSONValue(instance.Get()));
    VString store = VJSONClassStore::GetProcessClassStore()->GetName();
    std::string storeName = testing_json::ToU8(store);
    uint64_t size = 2 * (storeName.size() + 11) + 4;
    Bytes trailer = Bytes{0xFD, 0xFF, 0x2A, 0x2A, 0x2A, 0x2A};
    for (int i = 0; i < 8; ++i)
        trailer.push_back(uint8_t(size >> (8 * i)));
    trailer = trailer + Bytes{uint8_t(storeName.size()), 0} + Units(storeName) + Bytes{11, 0} +
              Units("BinaryPoint");
    ASSERT_GE(bytes.size(), trailer.size());
    EXPECT_EQ(Bytes(bytes.end() - long(trailer.size()), bytes.end()), trailer);

    VJSONValue back;
    VJSONBinaryImporter importer(bytes.data(), bytes.size());
    ASSERT_EQ(importer.GetValue(back), VE_OK);
    EXPECT_EQ(back.GetObject()->GetClass(), instance->GetClass());
    EXPECT_EQ(back.GetObject()->GetConstructionLevel(), instance->GetClass()->GetDepth());
    EXPECT_EQ(back.GetProperty("x").GetNumber(), 1.0);

    // Another store's name: a plain object with the same properties.
    Bytes other = bytes;
    other[other.size() - long(trailer.size()) + 16] ^= 0x20;
    VJSONBinaryImporter plain(other.data(), other.size());
    ASSERT_EQ(plain.GetValue(back), VE_OK);
    EXPECT_TRUE(back.GetObject()->IsGenericObject());
    EXPECT_EQ(back.GetProperty("x").GetNumber(), 1.0);
}

} // namespace
} // namespace kova
