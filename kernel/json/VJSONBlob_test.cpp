#include "kernel/json/VJSONBlob.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::StCollectErrors;
using testing_json::ToU8;
using Bytes = std::vector<uint8_t>;

constexpr VError kIndexOutOfRange = MakeQLRTError(-10713);

Bytes BytesOf(const VJSONObject* inObject)
{
    const VJSONBlob* blob = VJSONBlob::CastJSONObject(inObject);
    EXPECT_NE(blob, nullptr);
    if (blob == nullptr || blob->GetSize() == 0)
        return {};
    return Bytes(blob->GetData(), blob->GetData() + blob->GetSize());
}

// Calls "slice" on the blob object with the parameters, as script code would.
VJSONValue Slice(VJSONObject* inBlob, std::vector<VJSONValue> inParameters)
{
    VJSONValue function = inBlob->GetProperty("slice");
    EXPECT_TRUE(function.IsObject());
    VJSONValue result;
    EXPECT_EQ(function.GetObject()->CallAsFunction(inBlob, nullptr, &inParameters, result, nullptr, nullptr),
              EJSON_done);
    return result;
}

class VJSONBlobTest : public ::testing::Test
{
protected:
    const Bytes fFive{0x10, 0x11, 0x12, 0x13, 0xFF};
    VRefPtr<VJSONObject> fBlob{VJSONBlob::Create(fFive.data(), fFive.size())};
};

TEST_F(VJSONBlobTest, AnEmptyBlobHasNoBuffer)
{
    VRefPtr<VJSONObject> empty(VJSONBlob::Create(nullptr, 0));
    VJSONBlob* blob = VJSONBlob::CastJSONObject(empty.Get());
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->GetSize(), 0u);
    EXPECT_EQ(blob->GetData(), nullptr);
    VString description;
    empty->GetDescription(description, false);
    EXPECT_EQ(ToU8(description), "0 bytes");
    EJSONStatus status = EJSON_error;
    EXPECT_EQ(empty->GetCountPropertiesByIndex(&status), 0u);
    VString className;
    empty->GetClassName(className);
    EXPECT_EQ(ToU8(className), "Blob");
    EXPECT_EQ(empty->GetClassObject(), VJSONBlob::GetClass());
    EXPECT_EQ(VJSONClassStore::GetProcessClassStore()->GetClassObject(VString("Blob"), false).Get(),
              VJSONBlob::GetClass());
}

TEST_F(VJSONBlobTest, SizeBytesByIndexAndNoWrites)
{
    EXPECT_EQ(fBlob->GetProperty("size").GetNumber(), 5.0);
    EJSONStatus status = EJSON_error;
    EXPECT_EQ(fBlob->GetPropertyByIndex(4, &status).GetNumber(), 255.0);
    EXPECT_EQ(status, EJSON_done);
    {
        StCollectErrors errors;
        fBlob->GetPropertyByIndex(5, &status);
        EXPECT_EQ(status, EJSON_error);
        EXPECT_EQ(errors.Codes(), std::vector<VError>{kIndexOutOfRange});
    }
    for (const char* name : {"size", "other"})
    {
        StCollectErrors errors;
        EXPECT_FALSE(fBlob->SetProperty(name, VJSONValue(1.0))) << name;
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_READ_ONLY_PROPERTY}) << name;
    }
    EXPECT_FALSE(fBlob->HasOwnProperty("other"));
    EXPECT_EQ(BytesOf(fBlob.Get()), fFive);
}

TEST_F(VJSONBlobTest, SlicesCountFromTheirOwnStartAndShareTheBuffer)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        std::vector<VJSONValue> fParameters;
        Bytes fBytes;
    } cases[] = {
        {{}, fFive},
        {{VJSONValue(-2.0)}, {0x13, 0xFF}},
        {{VJSONValue(1.0), VJSONValue(-1.0)}, {0x11, 0x12, 0x13}},
        {{VJSONValue(3.0), VJSONValue(1.0)}, {}},
        {{VJSONValue(7.0)}, {}},
        {{VJSONValue(0.0), VJSONValue(100.0)}, fFive},
        {{VJSONValue(1.9), VJSONValue(-1.9)}, {0x11, 0x12, 0x13}},
        // Beyond 64 bits saturates; NaN is 0.
        {{VJSONValue(-1e300), VJSONValue(1e300)}, fFive},
        {{VJSONValue(nan), VJSONValue(nan)}, {}},
        {{VJSONValue(nan)}, fFive},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        VJSONValue slice = Slice(fBlob.Get(), cases[i].fParameters);
        ASSERT_TRUE(slice.IsObject()) << i;
        EXPECT_EQ(BytesOf(slice.GetObject()), cases[i].fBytes) << i;
    }
    VJSONValue middle = Slice(fBlob.Get(), {VJSONValue(1.0), VJSONValue(4.0)});
    VJSONValue inner = Slice(middle.GetObject(), {VJSONValue(1.0)});
    EXPECT_EQ(BytesOf(inner.GetObject()), (Bytes{0x12, 0x13}));
    EXPECT_EQ(VJSONBlob::CastJSONObject(inner.GetObject())->GetData(),
              VJSONBlob::CastJSONObject(fBlob.Get())->GetData() + 2);

    // On an object that is no blob: failure without an error of its own.
    VJSONValue function = fBlob->GetProperty("slice");
    VRefPtr<VJSONObject> plain(new VJSONObject);
    VJSONValue result;
    StCollectErrors errors;
    EXPECT_EQ(function.GetObject()->CallAsFunction(plain.Get(), nullptr, nullptr, result, nullptr, nullptr),
              EJSON_error);
}

TEST_F(VJSONBlobTest, CloningGivesTheSameObject)
{
    VJSONCloner cloner;
    VJSONValue clone;
    EXPECT_EQ(fBlob->Clone(clone, cloner), VE_OK);
    EXPECT_EQ(clone.GetObject(), fBlob.Get());
}

TEST_F(VJSONBlobTest, TheBinaryFormCarriesTheBytesUnderItsSignature)
{
    VJSONValue slice = Slice(fBlob.Get(), {VJSONValue(1.0), VJSONValue(3.0)});
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    ASSERT_EQ(writer.StreamValue(slice, buffer), VE_OK);
    const uint8_t* data = static_cast<const uint8_t*>(buffer.GetDataPtr());
    Bytes written(data, data + buffer.GetDataSize());
    EXPECT_EQ(written, (Bytes{0x05, 0xFD, 0xFF, 0x62, 0x6C, 0x42, 0x4A, 2, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x12}));

    VJSONBinaryImporter importer(written.data(), written.size());
    VJSONValue back;
    ASSERT_EQ(importer.GetValue(back), VE_OK);
    EXPECT_EQ(BytesOf(back.GetObject()), (Bytes{0x11, 0x12}));
    EXPECT_EQ(back.GetObject()->GetClassObject(), VJSONBlob::GetClass());

    // Through text as well.
    VString text;
    ASSERT_EQ(VJSONValue(fBlob.Get()).Stringify(text, 0x800), VE_OK);
    VJSONValue parsed;
    ASSERT_EQ(parsed.ParseFromString(text), VE_OK);
    EXPECT_EQ(BytesOf(parsed.GetObject()), fFive);
}

TEST_F(VJSONBlobTest, TheConstructorCopiesOneBlobAndRefusesMore)
{
    VJSONObject* classObject = VJSONBlob::GetClass();
    JSONInstantiator instantiate = VJSONClass::CastClassObject(classObject)->GetInstantiator();
    ASSERT_NE(instantiate, nullptr);

    std::vector<VJSONValue> none;
    VJSONFunctionContext empty(nullptr, nullptr, &none, nullptr, nullptr);
    VRefPtr<VJSONObject> made(instantiate(classObject, &empty));
    EXPECT_TRUE(BytesOf(made.Get()).empty());

    std::vector<VJSONValue> one{VJSONValue(fBlob.Get())};
    VJSONFunctionContext copying(nullptr, nullptr, &one, nullptr, nullptr);
    VRefPtr<VJSONObject> copy(instantiate(classObject, &copying));
    EXPECT_EQ(BytesOf(copy.Get()), fFive);
    EXPECT_NE(VJSONBlob::CastJSONObject(copy.Get())->GetData(),
              VJSONBlob::CastJSONObject(fBlob.Get())->GetData());

    StCollectErrors errors;
    std::vector<VJSONValue> two{VJSONValue(fBlob.Get()), VJSONValue(fBlob.Get())};
    VJSONFunctionContext tooMany(nullptr, nullptr, &two, nullptr, nullptr);
    EXPECT_EQ(instantiate(classObject, &tooMany), nullptr);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{MakeQLRTError(58)});
}

TEST_F(VJSONBlobTest, BlobParametersAreFoundOnlyOnBlobs)
{
    std::vector<VJSONValue> parameters{VJSONValue(fBlob.Get()), VJSONValue(1.0)};
    VJSONFunctionContext context(nullptr, nullptr, &parameters, nullptr, nullptr);
    JSONBlobParam found = context.GetBlobParam(1, false);
    EXPECT_TRUE(found.fFound);
    EXPECT_EQ(found.fSize, 5u);
    EXPECT_EQ(found.fData, VJSONBlob::CastJSONObject(fBlob.Get())->GetData());
    {
        StCollectErrors errors;
        EXPECT_FALSE(context.GetBlobParam(2, true).fFound);
        EXPECT_TRUE(errors.Codes().empty());
        EXPECT_TRUE(context.IsParameterCheckOK());
    }
    StCollectErrors errors;
    EXPECT_FALSE(context.GetBlobParam(2, false).fFound);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_PARAM_NOT_A_COLLECTION});
    EXPECT_FALSE(context.IsParameterCheckOK());
}

TEST(SharedBuffer, SizesThatOverflowTheBlockAreRefused)
{
    EXPECT_EQ(SharedBuffer::Create(std::numeric_limits<size_t>::max() - 14), nullptr);
    SharedBuffer* buffer = SharedBuffer::Create("abc", 3);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->GetSize(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer->GetBytes()), 3), "abc");
    EXPECT_EQ(buffer->GetBytes(), reinterpret_cast<uint8_t*>(buffer) + 12);
    buffer->Retain();
    buffer->Release();
    buffer->Release();
}

} // namespace
} // namespace kova
