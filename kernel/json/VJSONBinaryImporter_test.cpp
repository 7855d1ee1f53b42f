#include "kernel/json/VJSONBinaryImporter.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONBinaryTesting_test.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONStamp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Bytes;
using testing_json::FanOutForm;
using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::ToU8;
using testing_json::Units;
using testing_json::Written;
using testing_json::operator+;

VJSONValue Read(const Bytes& inBytes, VError* outError = nullptr)
{
    VJSONBinaryImporter importer(inBytes.data(), inBytes.size());
    VJSONValue value;
    VError error = importer.GetValue(value);
    if (outError != nullptr)
        *outError = error;
    return value;
}

TEST(VJSONBinaryImporter, TreesComeBackWithEveryKindOfValue)
{
    const char* text = "{\"s\":\"\xC3\xA9t\xC3\xA9\",\"n\":-2.25,\"t\":true,\"f\":false,\"z\":null,"
                       "\"list\":[1,[],{},\"x\"],\"o\":{\"deep\":{\"er\":[[[]]]}},\"\":\"empty name\"}";
    VJSONValue tree = Parse(text);
    VJSONValue date;
    date.SetDate(2024, 2, 29);
    tree.SetProperty("date", date);
    VError error = VE_JSON_MALFORMED;
    VJSONValue back = Read(Written(tree), &error);
    EXPECT_EQ(error, VE_OK);
    EXPECT_EQ(testing_json::Write(back), testing_json::Write(tree));
    int16_t year = 0, month = 0, day = 0;
    ASSERT_TRUE(back.GetProperty("date").GetDate(year, month, day));
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240229);
}

TEST(VJSONBinaryImporter, CyclesAndSharedContainersComeBackAsTheSameObjects)
{
    VJSONValue root = Parse("{\"a%20b\":{},\"list\":[]}");
    VJSONValue shared = root.GetProperty("a%20b");
    VJSONValue list = root.GetProperty("list");
    list.GetArray()->Push(shared);
    list.GetArray()->Push(list);
    root.SetProperty("self", root);
    root.SetProperty("again", shared);

    VError error = VE_JSON_MALFORMED;
    VJSONValue back = Read(Written(root), &error);
    ASSERT_EQ(error, VE_OK);
    VJSONObject* object = back.GetObject();
    EXPECT_EQ(object->GetProperty("self").GetObject(), object);
    VJSONObject* backShared = object->GetProperty("a%20b").GetObject();
    ASSERT_NE(backShared, nullptr);
    EXPECT_EQ(object->GetProperty("again").GetObject(), backShared);
    VJSONArray* backList = object->GetProperty("list").GetArray();
    EXPECT_EQ(backList->GetAt(0).GetObject(), backShared);
    EXPECT_EQ(backList->GetAt(1).GetArray(), backList);
    root.GetObject()->RemoveProperty("self");
    back.GetObject()->RemoveProperty("self");
}

TEST(VJSONBinaryImporter, EveryCutOfAFormFailsWith200)
{
    VJSONValue tree = Parse("{\"s\":\"ab\",\"n\":1,\"l\":[true,{\"x\":null}],\"d\":{}}");
    tree.SetProperty("again", tree.GetProperty("l"));
    Bytes bytes = Written(tree);
    for (size_t size = 1; size < bytes.size(); ++size)
    {
        StCollectErrors errors;
        Bytes cut(bytes.begin(), bytes.begin() + long(size));
        VJSONBinaryImporter importer(cut.data(), cut.size());
        VJSONValue value;
        EXPECT_EQ(importer.GetValue(value), VE_STREAM_EOF) << size;
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_STREAM_EOF}) << size;
    }
}

TEST(VJSONBinaryImporter, LengthsAndCountsPastTheDataFailBeforeAnyAllocation)
{
    struct Case
    {
        const char* fWhat;
        Bytes fBytes;
    } cases[] = {
        {"array of two billion", {0x06, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"array count above the bytes left", {0x06, 0x03, 0, 0, 0, 0x00, 0x00}},
        {"string of four billion units", {0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x61, 0x00}},
        {"pointer past the end", {0x06, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"name past the end", {0x05, 0x10, 0x00, 0x61, 0x00}},
        {"unknown record smaller than its size", {0x09, 0x03, 0, 0, 0}},
        {"unknown record past the end", {0x09, 0x09, 0, 0, 0, 0xAA}},
        {"native record size past the end",
         Bytes{0x05, 0xFD, 0xFF, 0x62, 0x6C, 0x42, 0x4A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"object without a marker", {0x05, 0x00}},
    };
    for (const Case& c : cases)
    {
        StCollectErrors errors;
        VError error = VE_OK;
        Read(c.fBytes, &error);
        EXPECT_EQ(error, VE_STREAM_EOF) << c.fWhat;
    }
}

TEST(VJSONBinaryImporter, MarkersAndUnknownRecordsAreReadAsTheFormSays)
{
    VError error = VE_STREAM_EOF;
    // No data at all: undefined.
    VJSONBinaryImporter none(nullptr, 0);
    VJSONValue value(JSON_null);
    EXPECT_EQ(none.GetValue(value), VE_OK);
    EXPECT_TRUE(value.IsUndefined());

    EXPECT_TRUE(Read({0x05, 0xFE, 0xFF}, &error).IsUndefined());
    EXPECT_EQ(error, VE_OK);
    EXPECT_TRUE(Read({0x06, 0xFE, 0xFF, 0xFF, 0xFF}, &error).IsUndefined());
    EXPECT_EQ(error, VE_OK);

    // An unknown record in an array leaves its slot undefined; in an object, no property; and an
    // unknown marker in an object is passed over.
    Bytes bytes = Bytes{0x05, 0x01, 0x00} + Units("a") + Bytes{0x0A, 0x06, 0, 0, 0, 0xAA, 0xBB} +
                  Bytes{0x01, 0x00} + Units("b") + Bytes{0x06, 0x02, 0, 0, 0, 0x09, 0x04, 0, 0, 0, 0x02} +
                  Bytes{0x00, 0x90} + Bytes{0xFF, 0xFF};
    VJSONValue object = Read(bytes, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_FALSE(object.GetObject()->HasOwnProperty("a"));
    VJSONArray* b = object.GetProperty("b").GetArray();
    ASSERT_EQ(b->GetCount(), 2u);
    EXPECT_TRUE(b->GetAt(0).IsUndefined());
    EXPECT_TRUE(b->GetAt(1).IsTrue());

    // A native record of a signature nobody registered: a plain object, the record passed over.
    VJSONValue plain = Read(Bytes{0x06, 0x02, 0, 0, 0, 0x05, 0xFD, 0xFF, 'A',  'B',  'C', 'D',
                                  2,    0,    0, 0, 0, 0,    0,    0,    0xAA, 0xBB, 0x02},
                            &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_EQ(plain.GetArray()->GetAt(0).GetObject()->GetImplementation(), nullptr);
    EXPECT_TRUE(plain.GetArray()->GetAt(1).IsTrue());

    // A slot not read yet is undefined, also to a back-reference that names it.
    VJSONValue early = Read(
        Bytes{0x06, 0x02, 0, 0, 0, 0xFF, 0x03, 0, 0, 0} + Units("#/1") + Bytes{0x06, 0, 0, 0, 0}, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_TRUE(early.GetArray()->GetAt(0).IsUndefined());
    EXPECT_TRUE(early.GetArray()->GetAt(1).IsArray());

    // A trailer with fewer than 4 bytes left ends the object.
    EXPECT_TRUE(Read({0x05, 0xFD, 0xFF, 0x01}, &error).IsObject());
    EXPECT_EQ(error, VE_OK);
}

TEST(VJSONBinaryImporter, BackReferencesWalkOnlyWhatWasRead)
{
    VError error = VE_STREAM_EOF;
    // A back-reference as the root, to a missing name, to an index too long for 32 bits or to a
    // scalar: nothing, and no error.
    EXPECT_TRUE((Read(Bytes{0xFF, 0x01, 0, 0, 0} + Units("#"), &error)).IsUndefined());
    EXPECT_EQ(error, VE_OK);
    for (const char* pointer : {"#/nope", "#/l/99999999999", "#/l/0", "http://x/#", "#/l/-1", "../x.json#"})
    {
        Bytes bytes = Bytes{0x05, 0x01, 0x00} + Units("l") + Bytes{0x06, 0x01, 0, 0, 0, 0x02} +
                      Bytes{0x01, 0x00} + Units("r") +
                      Bytes{0xFF, uint8_t(std::string(pointer).size()), 0, 0, 0} + Units(pointer) +
                      Bytes{0xFF, 0xFF};
        VJSONValue value = Read(bytes, &error);
        EXPECT_EQ(error, VE_OK) << pointer;
        EXPECT_FALSE(value.GetObject()->HasOwnProperty("r")) << pointer;
    }
}

TEST(VJSONBinaryImporter, SharingThatMultipliesTheInputIsRefused)
{
    // 24 levels in 300 bytes: a walk of the value meets some 2^27 values.
    {
        StCollectErrors errors;
        VError error = VE_OK;
        EXPECT_TRUE(Read(FanOutForm(24), &error).IsUndefined());
        EXPECT_EQ(error, VE_JSON_EXPANSION_TOO_LARGE);
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_EXPANSION_TOO_LARGE});
    }
    // Cut after the levels: the failure does not hand the part read out either.
    {
        Bytes cut = FanOutForm(24);
        cut[1] = 26;
        StCollectErrors errors;
        VError error = VE_OK;
        EXPECT_TRUE(Read(cut, &error).IsUndefined());
        EXPECT_EQ(error, VE_STREAM_EOF);
    }
    // A few levels: each holds the one before it twice, the same array.
    VError error = VE_OK;
    VJSONValue few = Read(FanOutForm(4), &error);
    ASSERT_EQ(error, VE_OK);
    VJSONArray* levels = few.GetArray();
    ASSERT_EQ(levels->GetCount(), 5u);
    EXPECT_EQ(levels->GetAt(4).GetArray()->GetAt(0).GetArray(), levels->GetAt(3).GetArray());
    EXPECT_EQ(levels->GetAt(4).GetArray()->GetAt(1).GetArray(), levels->GetAt(3).GetArray());
}

// An array holding one part 16 times: written once, then back-references to it.
VJSONValue SixteenTimes(const VJSONValue& inPart)
{
    VJSONValue list = Parse("[]");
    for (int i = 0; i < 16; ++i)
        list.GetArray()->Push(inPart);
    return list;
}

TEST(VJSONBinaryImporter, APartOfAMegabyteMetSixteenTimesReads)
{
    const std::vector<uint8_t> megabyte(size_t(1) << 20, 0x5A);
    VRefPtr<VJSONObject> blob(VJSONBlob::Create(megabyte.data(), megabyte.size()));
    VJSONValue strings = Parse("[]");
    const VString thousand(std::string(1000, 'x').c_str());
    for (int i = 0; i < 1000; ++i)
        strings.GetArray()->Push(VJSONValue(thousand));
    struct Case
    {
        const char* fWhat;
        VJSONValue fPart;
        uint64_t fExpanded; // what a walk of the list meets
    } cases[] = {
        {"a blob of 1 MiB", VJSONValue(blob.Get()), 1 + 16 * (1 + (uint64_t(1) << 20))},
        {"1,000 strings of 1,000 units", strings, 1 + 16 * (1 + 1000 * 1001)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fWhat);
        const Bytes bytes = Written(SixteenTimes(c.fPart));
        VJSONBinaryImporter importer(bytes.data(), bytes.size());
        VJSONValue value;
        ASSERT_EQ(importer.GetValue(value), VE_OK);
        EXPECT_EQ(importer.GetExpandedSize(), c.fExpanded);
        VJSONArray* list = value.GetArray();
        ASSERT_EQ(list->GetCount(), 16u);
        const VJSONValue first = list->GetAt(0);
        ASSERT_TRUE(first.IsObject() || first.IsArray());
        EXPECT_EQ(list->GetAt(15).GetObject(), first.GetObject());
        EXPECT_EQ(list->GetAt(15).GetArray(), first.GetArray());
    }
}

// The form of the list with an unknown record of inSkipped bytes added as its last element.
Bytes WithSkippedRecord(Bytes inForm, uint32_t inSkipped)
{
    inForm[1] += 1; // one element more; the counts of these lists stay below 255
    inForm.push_back(0x10);
    for (int shift = 0; shift < 32; shift += 8)
        inForm.push_back(uint8_t(inSkipped >> shift));
    inForm.resize(inForm.size() + inSkipped - 4, 0xEE);
    return inForm;
}

TEST(VJSONBinaryImporter, WhatIsSkippedNeitherBuysNorCostsExpansion)
{
    // Read, written and read again, a form gives the same answer: the writer leaves out the records
    // the reader skips, so the bound follows what the reading built, not the bytes it passed over.
    VJSONValue part = Parse("[]");
    const VString hundred(std::string(100, 'y').c_str());
    for (int i = 0; i < 100; ++i)
        part.GetArray()->Push(VJSONValue(hundred));
    VJSONValue list = Parse("[]");
    for (int i = 0; i < 20; ++i)
        list.GetArray()->Push(part);
    struct Case
    {
        const char* fWhat;
        Bytes fBytes;
        VError fError;
    } cases[] = {
        {"a part of 10,000 units met 20 times, 40 kB skipped", WithSkippedRecord(Written(list), 40000),
         VE_OK},
        {"2^25 values in 400 bytes, 9 MB skipped", WithSkippedRecord(FanOutForm(22), 9000000),
         VE_JSON_EXPANSION_TOO_LARGE},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fWhat);
        StCollectErrors errors;
        VError error = VE_OK;
        VJSONValue value = Read(c.fBytes, &error);
        EXPECT_EQ(error, c.fError);
        if (error != VE_OK)
            continue;
        VJSONValue again = Read(Written(value), &error);
        ASSERT_EQ(error, VE_OK);
        EXPECT_EQ(again.GetArray()->GetCount(), value.GetArray()->GetCount());
    }
}

TEST(VJSONBinaryImporter, ArraysTogetherTakeNoMoreRoomThanTheDataHas)
{
    // Sixty arrays one inside the other, each claiming as many elements as bytes are left, as if
    // the arrays around it expected nothing more.
    constexpr int kLevels = 60;
    constexpr size_t kSize = kLevels * 5 + 10000;
    Bytes bytes;
    for (int level = 0; level < kLevels; ++level)
    {
        const uint32_t count = uint32_t(kSize - bytes.size() - 5);
        bytes = bytes + Bytes{0x06, uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), 0};
    }
    bytes.resize(kSize, 0x00);
    StCollectErrors errors;
    VError error = VE_OK;
    VJSONValue value = Read(bytes, &error);
    EXPECT_EQ(error, VE_STREAM_EOF);
    size_t elements = 0;
    for (VJSONValue level = value; level.IsArray(); level = level.GetArray()->GetAt(0))
        elements += level.GetArray()->GetCount();
    EXPECT_LE(elements, kSize);
}

TEST(VJSONBinaryImporter, NestingStopsAt10000Levels)
{
    for (uint8_t kind : {uint8_t(5), uint8_t(6)})
    {
        Bytes bytes;
        for (int i = 0; i < 10050; ++i)
            bytes =
                kind == 6 ? bytes + Bytes{0x06, 0x01, 0, 0, 0} : bytes + Bytes{0x05, 0x01, 0x00, 0x61, 0x00};
        bytes.push_back(0x00);
        StCollectErrors errors;
        VError error = VE_OK;
        Read(bytes, &error);
        EXPECT_EQ(error, VE_JSON_NOT_ENOUGH_STACK) << int(kind);
    }
}

TEST(VJSONBinaryImporter, ObjectsAndArraysGetTheImportersStamp)
{
    VRefPtr<VJSONStamp> stamp(new VJSONStamp);
    Bytes bytes = Written(Parse("{\"a\":[1],\"b\":{}}"));
    VJSONBinaryImporter importer(bytes.data(), bytes.size());
    importer.SetStamp(stamp.Get());
    VJSONValue value;
    ASSERT_EQ(importer.GetValue(value), VE_OK);
    uint32_t before = stamp->GetCounter();
    value.GetProperty("b").SetProperty("c", VJSONValue(1.0));
    EXPECT_NE(stamp->GetCounter(), before);
}

} // namespace
} // namespace kova
