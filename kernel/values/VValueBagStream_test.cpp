// The bag's stream form, byte for byte, in both byte orders, and its reading of damaged data.
#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VHashKeyMap.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VUUID.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

Bytes Concat(std::initializer_list<Bytes> inParts)
{
    Bytes all;
    for (const Bytes& part : inParts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kHeaderLE = {0x47, 0x41, 0x42, 0x56, 0x01, 0x00, 0x00, 0x00};
const Bytes kHeaderBE = {0x56, 0x42, 0x41, 0x47, 0x00, 0x01, 0x00, 0x00};

// A bag with one long attribute a = 1.
const Bytes kLongBagLE =
    Concat({kHeaderLE, {0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x61,
                        0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}});
const Bytes kLongBagBE =
    Concat({kHeaderBE, {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x61,
                        0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01}});

class VValueBagStreamTest : public ::testing::TestWithParam<bool>
{
protected:
    bool Swap() const { return GetParam(); }
    const Bytes& Header() const { return Swap() ? kHeaderBE : kHeaderLE; }

    // Reads the bytes into a fresh bag, which the caller owns.
    VRefPtr<VValueBag> Read(const Bytes& inBytes, VError* outError)
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        bag->SetLong("stale", 1);
        *outError = StreamIn(*bag, inBytes, Swap());
        return bag;
    }
};

TEST_P(VValueBagStreamTest, EmptyBagIsTheHeaderAndAFlagsByte)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(StreamOut(*bag, Swap()), Concat({Header(), {0x00}}));
}

TEST_P(VValueBagStreamTest, LongAttributeBytesAndBack)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetLong("a", 1);
    const Bytes& expected = Swap() ? kLongBagBE : kLongBagLE;
    EXPECT_EQ(StreamOut(*bag, Swap()), expected);

    VError error;
    VRefPtr<VValueBag> read = Read(expected, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_EQ(read->GetAttributesCount(), 1);
    int32_t value = 0;
    ASSERT_TRUE(read->GetLong("a", value));
    EXPECT_EQ(value, 1);
}

TEST_P(VValueBagStreamTest, BooleanEntryIsPaddedToTwoUnits)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetBool("b", true);
    Bytes bytes = StreamOut(*bag, Swap());
    Bytes tail(bytes.end() - 8, bytes.end());
    Bytes expected = Swap() ? Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x01, 0x00}
                            : Bytes{0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    EXPECT_EQ(tail, expected);
}

TEST_P(VValueBagStreamTest, HashVectorFromSixNames)
{
    for (int count : {5, 6, 8})
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        for (int i = 0; i < count; ++i)
            bag->SetLong(StPackedDictionaryKey(VString(("k" + std::to_string(i)).c_str())), i);
        Bytes bytes = StreamOut(*bag, Swap());
        // header, flags, N, K, names (3 bytes each), then the hash flag
        size_t flagAt = 8 + 1 + 4 + 4 + size_t(count) * 3;
        ASSERT_GT(bytes.size(), flagAt);
        EXPECT_EQ(bytes[flagAt], count >= 6 ? 1 : 0) << count;
        if (count >= 6)
        {
            Bytes cells(bytes.begin() + ptrdiff_t(flagAt + 1), bytes.begin() + ptrdiff_t(flagAt + 5));
            EXPECT_EQ(cells, Swap() ? Bytes({0, 0, 0, 11}) : Bytes({11, 0, 0, 0}));
        }
        VError error;
        VRefPtr<VValueBag> read = Read(bytes, &error);
        ASSERT_EQ(error, VE_OK);
        for (int i = 0; i < count; ++i)
        {
            int32_t value = -1;
            EXPECT_TRUE(
                read->GetLong(StPackedDictionaryKey(VString(("k" + std::to_string(i)).c_str())), value));
            EXPECT_EQ(value, i);
        }
        // Written again, byte for byte the same: the stored vector was adopted.
        EXPECT_EQ(StreamOut(*read, Swap()), bytes);
    }
}

// Every slot once, but not where the names' home cells send look-ups: the vector is made again.
TEST_P(VValueBagStreamTest, HashVectorThatHidesANameIsRebuilt)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    for (int i = 0; i < 6; ++i)
        bag->SetLong(StPackedDictionaryKey(VString(("k" + std::to_string(i)).c_str())), i);
    const Bytes original = StreamOut(*bag, Swap());
    // header, flags, N, K, six names of 3 bytes, hash flag, 11 cells
    const size_t cellsAt = 8 + 1 + 4 + 4 + 6 * 3 + 1 + 4;
    auto cell = [&](const Bytes& inBytes, size_t inIndex)
    {
        const uint8_t* p = inBytes.data() + cellsAt + inIndex * 4;
        return Swap() ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                      : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    size_t home = StPackedDictionaryKey::GetHashCode("k0", 2) % 11;
    size_t empty = 0;
    while (cell(original, empty) != _VHashKeyMap::kEmptyCell)
        ++empty;
    ASSERT_NE(cell(original, home), _VHashKeyMap::kEmptyCell);
    Bytes damaged = original;
    std::swap_ranges(damaged.begin() + ptrdiff_t(cellsAt + home * 4),
                     damaged.begin() + ptrdiff_t(cellsAt + home * 4 + 4),
                     damaged.begin() + ptrdiff_t(cellsAt + empty * 4));

    VError error;
    VRefPtr<VValueBag> read = Read(damaged, &error);
    ASSERT_EQ(error, VE_OK);
    for (int i = 0; i < 6; ++i)
    {
        int32_t value = -1;
        EXPECT_TRUE(read->GetLong(StPackedDictionaryKey(VString(("k" + std::to_string(i)).c_str())), value))
            << i;
        EXPECT_EQ(value, i);
    }
    EXPECT_EQ(StreamOut(*read, Swap()), original);
    // Setting a name, and merging the bag with itself, find the names already there.
    read->SetLong("k0", 9);
    ASSERT_TRUE(read->UnionClone(read.Get()));
    ASSERT_TRUE(read->Override(read.Get()));
    EXPECT_EQ(read->GetAttributesCount(), 6);
}

TEST_P(VValueBagStreamTest, TreeRoundTripKeepsKindsValuesAndOrder)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString("name", VString("caf\xc3\xa9 \xe2\x82\xac")); // Mac Roman bytes: any text will do
    bag->SetLong8("big", int64_t(1) << 40);
    VUUID uuid(true);
    bag->SetVUUID("id", uuid);
    bag->AppendToCData(VString("text"));
    VRefPtr<VValueBag> child(new VValueBag);
    VRefPtr<VValueBag> grandChild(new VValueBag);
    grandChild->SetBool("deep", true);
    child->AddElement("g", grandChild.Get());
    bag->AddElement("c", child.Get());
    bag->AddElement("c", VRefPtr<VValueBag>(new VValueBag).Get());
    bag->AddElement("d", VRefPtr<VValueBag>(new VValueBag).Get());

    Bytes bytes = StreamOut(*bag, Swap());
    VError error;
    VRefPtr<VValueBag> read = Read(bytes, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_EQ(StreamOut(*read, Swap()), bytes);
    VString text;
    ASSERT_TRUE(read->GetString("name", text));
    VString original;
    bag->GetString("name", original);
    EXPECT_EQ(text.GetLength(), original.GetLength());
    int64_t big = 0;
    ASSERT_TRUE(read->GetLong8("big", big));
    EXPECT_EQ(big, int64_t(1) << 40);
    VUUID readId;
    ASSERT_TRUE(read->GetVUUID("id", readId));
    EXPECT_TRUE(readId == uuid);
    ASSERT_TRUE(read->GetString(VValueBag::CDataAttributeName(), text));
    EXPECT_TRUE(TextIs(text, "text"));
    ASSERT_EQ(read->GetElementNamesCount(), 2);
    EXPECT_EQ(read->GetElements("c")->GetCount(), 2);
    bool deep = false;
    VValueBag::StKeyPath path;
    VValueBag::GetKeysFromUTF8PathNoCopy("c/g", path);
    ASSERT_NE(read->GetUniqueElementByPath(path), nullptr);
    EXPECT_TRUE(read->GetUniqueElementByPath(path)->GetBool("deep", deep));
    EXPECT_TRUE(deep);
}

TEST_P(VValueBagStreamTest, ChildWithElementsOnlyHasFlagsTwo)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    VRefPtr<VValueBag> child(new VValueBag);
    child->AddElement("e", VRefPtr<VValueBag>(new VValueBag).Get());
    bag->AddElement("c", child.Get());
    Bytes bytes = StreamOut(*bag, Swap());
    // header; flags 02; N 1, K 2, "\x01c", no hash; M 1; child flags 02 ...
    ASSERT_GT(bytes.size(), 8u + 1 + 4 + 4 + 2 + 1 + 4 + 1);
    EXPECT_EQ(bytes[8], 0x02);
    EXPECT_EQ(bytes[8 + 1 + 4 + 4 + 2 + 1 + 4], 0x02);
}

TEST_P(VValueBagStreamTest, ReplacedValueIsPackedBeforeWriting)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetLong("a", 1);
    bag->SetString("a", VString("xy"));
    Bytes bytes = StreamOut(*bag, Swap());
    VRefPtr<VValueBag> fresh(new VValueBag);
    fresh->SetString("a", VString("xy"));
    EXPECT_EQ(bytes, StreamOut(*fresh, Swap()));
    EXPECT_FALSE(bag->GetAttributesDictionary().IsPackPending());
}

TEST_P(VValueBagStreamTest, WrongSignatureAndVersionAreRefusedAfterTheHeader)
{
    Bytes wrongSignature = kLongBagLE;
    wrongSignature[0] = 'X';
    Bytes wrongVersion = Swap() ? kLongBagBE : kLongBagLE;
    wrongVersion[Swap() ? 5 : 4] = 2;
    {
        StErrorContextInstaller context;
        VRefPtr<VValueBag> bag(new VValueBag);
        int64_t pos = 0;
        EXPECT_EQ(StreamIn(*bag, wrongSignature, Swap(), nullptr, &pos), VE_STREAM_BAD_SIGNATURE);
        EXPECT_EQ(pos, 8);
        EXPECT_TRUE(bag->IsEmpty());
        EXPECT_EQ(context.GetLastError(), VE_STREAM_BAD_SIGNATURE);
    }
    {
        StErrorContextInstaller context;
        VError error;
        VRefPtr<VValueBag> bag = Read(wrongVersion, &error);
        // The number peers know, checked as a number.
        EXPECT_EQ(error, MakeKovaError(212));
        EXPECT_TRUE(bag->IsEmpty());
    }
}

// Every cut of a valid stream fails cleanly and leaves the bag empty.
TEST_P(VValueBagStreamTest, TruncatedStreamsFailWithEndOfDataAndAnEmptyBag)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    for (int i = 0; i < 7; ++i)
        bag->SetString(StPackedDictionaryKey(VString(("s" + std::to_string(i)).c_str())), VString("value"));
    VRefPtr<VValueBag> child(new VValueBag);
    child->SetBool("b", false);
    bag->AddElement("c", child.Get());
    Bytes bytes = StreamOut(*bag, Swap());
    for (size_t cut = 0; cut < bytes.size(); ++cut)
    {
        StErrorContextInstaller context(false);
        VError error;
        VRefPtr<VValueBag> read = Read(Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(cut)), &error);
        EXPECT_EQ(error, VE_STREAM_EOF) << cut;
        EXPECT_TRUE(read->IsEmpty()) << cut;
    }
}

// Builds a body from little-endian fields, reversing the 16- and 32-bit numbers for a swapping
// stream; each field is tagged by its width.
struct Field
{
    int fWidth; // 1: raw bytes, 2: a 16-bit number, 4: a 32-bit number
    uint32_t fNumber;
    std::string fBytes;
};

Bytes Build(const std::vector<Field>& inFields, bool inSwap)
{
    Bytes out;
    for (const Field& field : inFields)
    {
        if (field.fWidth == 1)
        {
            out.insert(out.end(), field.fBytes.begin(), field.fBytes.end());
            continue;
        }
        for (int i = 0; i < field.fWidth; ++i)
        {
            int shift = inSwap ? (field.fWidth - 1 - i) * 8 : i * 8;
            out.push_back(uint8_t(field.fNumber >> shift));
        }
    }
    return out;
}

Field Raw(std::string inBytes)
{
    return Field{1, 0, std::move(inBytes)};
}
Field U16(uint32_t inNumber)
{
    return Field{2, inNumber, {}};
}
Field U32(uint32_t inNumber)
{
    return Field{4, inNumber, {}};
}

struct CorruptCase
{
    const char* fLabel;
    std::vector<Field> fBody;
    VError fError;
};

TEST_P(VValueBagStreamTest, DamagedDataIsRefusedWithoutReadingOutOfBounds)
{
    const std::string kFlagsAttributes("\x01", 1);
    const std::string kFlagsElements("\x02", 1);
    const std::string kNoHash("\x00", 1);
    const std::string kHash("\x01", 1);
    const CorruptCase cases[] = {
        {"unknown flag bits", {Raw("\x04")}, VE_STREAM_BAD_SIGNATURE},
        {"name count beyond the buffer",
         {Raw(kFlagsAttributes), U32(3), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash)},
         VE_STREAM_BAD_SIGNATURE},
        {"name length past the buffer",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x05"
              "a"),
          Raw(kNoHash)},
         VE_STREAM_BAD_SIGNATURE},
        {"name buffer beyond the stream",
         {Raw(kFlagsAttributes), U32(1), U32(0x7FFFFFF0),
          Raw("\x01"
              "a")},
         VE_STREAM_EOF},
        {"hash cell naming no slot",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kHash), U32(5), U32(7), U32(0xFFFFFFFF), U32(0xFFFFFFFF), U32(0xFFFFFFFF), U32(0xFFFFFFFF),
          U32(3), U16(4), U32(1)},
         VE_STREAM_BAD_SIGNATURE},
        {"hash vector of no cells for a name",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kHash), U32(0), U32(3), U16(4), U32(1)},
         VE_STREAM_BAD_SIGNATURE},
        {"hash vector beyond the stream",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kHash), U32(0x40000000)},
         VE_STREAM_EOF},
        {"backstore beyond the stream",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash), U32(0x7FFFFFFF)},
         VE_STREAM_EOF},
        {"negative backstore",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash), U32(0xFFFFFFFF)},
         VE_STREAM_BAD_SIGNATURE},
        {"entry longer than the backstore",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash), U32(2), U16(4), U16(1)},
         VE_STREAM_BAD_SIGNATURE},
        {"more names than entries",
         {Raw(kFlagsAttributes), U32(2), U32(4),
          Raw("\x01"
              "a"
              "\x01"
              "b"),
          Raw(kNoHash), U32(3), U16(4), U32(1)},
         VE_STREAM_BAD_SIGNATURE},
        {"string count far past the backstore",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash), U32(4), U16(10), U32(0x7FFFFFFF), U16(0x41)},
         VE_STREAM_BAD_SIGNATURE},
        {"string count cut by the backstore end",
         {Raw(kFlagsAttributes), U32(1), U32(2),
          Raw("\x01"
              "a"),
          Raw(kNoHash), U32(2), U16(10), U16(0)},
         VE_STREAM_BAD_SIGNATURE},
        {"bag count beyond the stream",
         {Raw(kFlagsElements), U32(1), U32(2),
          Raw("\x01"
              "c"),
          Raw(kNoHash), U32(0x7FFFFFFF), Raw(std::string(1, '\0'))},
         VE_STREAM_EOF},
    };
    for (const CorruptCase& c : cases)
    {
        StErrorContextInstaller context(false);
        VError error;
        VRefPtr<VValueBag> bag = Read(Concat({Header(), Build(c.fBody, Swap())}), &error);
        EXPECT_EQ(error, c.fError) << c.fLabel;
        EXPECT_TRUE(bag->IsEmpty()) << c.fLabel;
    }
}

TEST_P(VValueBagStreamTest, NestingDeeperThanTheLimitIsRefused)
{
    // Each level: flags 02, one name "c" without hash, one bag; the innermost bag is empty.
    auto nested = [this](uint32_t inLevels)
    {
        std::vector<Field> body;
        for (uint32_t i = 0; i < inLevels; ++i)
        {
            body.push_back(Raw("\x02"));
            body.push_back(U32(1));
            body.push_back(U32(2));
            body.push_back(Raw("\x01"
                               "c"));
            body.push_back(Raw(std::string(1, '\0')));
            body.push_back(U32(1));
        }
        body.push_back(Raw(std::string(1, '\0')));
        return Concat({Header(), Build(body, Swap())});
    };
    VError error;
    VRefPtr<VValueBag> within = Read(nested(kMaxBagStreamDepth), &error);
    EXPECT_EQ(error, VE_OK);
    EXPECT_EQ(within->GetElementNamesCount(), 1);

    StErrorContextInstaller context(false);
    VRefPtr<VValueBag> deep = Read(nested(kMaxBagStreamDepth + 1), &error);
    EXPECT_EQ(error, VE_STREAM_BAD_SIGNATURE);
    EXPECT_TRUE(deep->IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VValueBagStreamTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& inInfo)
                         { return inInfo.param ? std::string("Swapped") : std::string("Native"); });

// The earlier body form: names as a string list, kinds and values, element names, lists.
TEST(VValueBagStreamV1Test, ReadsTheEarlierLayout)
{
    VPtrStream out;
    out.OpenWriting();
    out.Put(int32_t(2)); // attribute names
    out.Put(uint32_t(2));
    VString("a").WriteToStream(&out, 0);
    out.Put(uint32_t(2));
    VString("b").WriteToStream(&out, 0);
    out.Put(int32_t(2)); // attributes
    out.Put(uint32_t(VK_LONG));
    VLong(7).WriteToStream(&out, 0);
    out.Put(uint32_t(VK_STRING));
    VString("text").WriteToStream(&out, 0);
    out.Put(int32_t(1)); // element names
    out.Put(uint32_t(2));
    VString("c").WriteToStream(&out, 0);
    out.Put(int32_t(1));
    out.Put(uint32_t(1)); // one bag, empty
    out.Put(uint8_t(0));
    VStream::UnderlyingData data = out.GetUnderlyingData();
    Bytes bytes(static_cast<const uint8_t*>(data.fData),
                static_cast<const uint8_t*>(data.fData) + data.fSize);
    out.CloseWriting();

    VConstPtrStream in(bytes.data(), bytes.size());
    in.OpenReading();
    VRefPtr<VValueBag> bag(new VValueBag);
    ASSERT_EQ(bag->_ReadFromStream_v1(&in), VE_OK);
    int32_t number = 0;
    EXPECT_TRUE(bag->GetLong("a", number));
    EXPECT_EQ(number, 7);
    VString text;
    EXPECT_TRUE(bag->GetString("b", text));
    EXPECT_TRUE(TextIs(text, "text"));
    ASSERT_NE(bag->GetElements("c"), nullptr);
    EXPECT_EQ(bag->GetElements("c")->GetCount(), 1);
    in.CloseReading();

    // Cut short: an error and an empty bag.
    StErrorContextInstaller context(false);
    VConstPtrStream cut(bytes.data(), bytes.size() - 3);
    cut.OpenReading();
    EXPECT_EQ(bag->_ReadFromStream_v1(&cut), VE_STREAM_EOF);
    EXPECT_TRUE(bag->IsEmpty());
    cut.CloseReading();
}

} // namespace
} // namespace kova
