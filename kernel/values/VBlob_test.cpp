#include "kernel/values/VBlob.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace kova
{
namespace
{

using testing_support::kTenMiB;
using testing_support::MakePooled;
using testing_support::ManagerPtr;
using testing_support::StUseMemMgr;
using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

Bytes Content(const VBlob& inBlob)
{
    Bytes bytes(inBlob.GetSize());
    inBlob.GetData(bytes.data(), bytes.size(), 0, nullptr);
    return bytes;
}

const uint8_t kTen[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

// ---------------------------------------------------------------------------------------------
// Reading and writing at offsets

TEST(VBlobWithPtr, GetDataCopiesWhatLiesBeforeTheEnd)
{
    VBlobWithPtr blob(kTen, sizeof(kTen));
    uint8_t out[10] = {};
    size_t copied = 99;
    EXPECT_EQ(blob.GetData(out, 10, 4, &copied), VE_STREAM_EOF);
    EXPECT_EQ(copied, 6u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[5], 9);
    EXPECT_EQ(blob.GetData(out, 0, 4, &copied), VE_OK);
    EXPECT_EQ(copied, 0u);
    EXPECT_EQ(blob.GetData(out, 10, 0, &copied), VE_OK);
    EXPECT_EQ(copied, 10u);
}

TEST(VBlobWithPtr, GetDataOutsideTheBlobReadsNothing)
{
    VBlobWithPtr blob(kTen, sizeof(kTen));
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    size_t copied = 99;
    EXPECT_EQ(blob.GetData(out, 4, 11, &copied), VE_STREAM_EOF);
    EXPECT_EQ(copied, 0u);
    EXPECT_EQ(blob.GetData(out, 4, int64_t(1) << 40, &copied), VE_STREAM_EOF);
    EXPECT_EQ(copied, 0u);
    EXPECT_EQ(blob.GetData(out, 4, -1, &copied), VE_INVALID_PARAMETER);
    EXPECT_EQ(copied, 0u);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(VBlobWithPtr, PutDataGrowsAndSetSizeKeepsTheFront)
{
    VBlobWithPtr blob;
    const uint8_t five[5] = {'a', 'b', 'c', 'd', 'e'};
    blob.SetDirty(false);
    EXPECT_EQ(blob.PutData(five, 5, 8), VE_OK);
    EXPECT_EQ(blob.GetSize(), 13u);
    EXPECT_TRUE(blob.IsDirty());
    EXPECT_GE(blob.GetAllocatedSize(), 13u);
    uint8_t tail[5] = {};
    EXPECT_EQ(blob.GetData(tail, 5, 8, nullptr), VE_OK);
    EXPECT_EQ(std::memcmp(tail, five, 5), 0);

    EXPECT_EQ(blob.PutData(kTen, 3, 0), VE_OK);
    EXPECT_EQ(blob.SetSize(3), VE_OK);
    EXPECT_EQ(blob.GetAllocatedSize(), 3u);
    EXPECT_EQ(Content(blob), (Bytes{0, 1, 2}));
}

// Bytes a blob gains without being written read as zeros, whatever the memory held before: the
// block first holds 0xFF everywhere, then shrinks and grows again.
TEST(VBlobWithPtr, GrowthNeverShowsOldBytes)
{
    const Bytes ones(5000, 0xFF);
    struct Case
    {
        const char* fName;
        VError (*fGrow)(VBlobWithPtr&);
        size_t fSize;
        size_t fWrittenAt;
    };
    const Case cases[] = {
        {"SetSize", [](VBlobWithPtr& b) { return b.SetSize(5000); }, 5000, 0},
        {"PutData past the end",
         [](VBlobWithPtr& b)
         {
             const uint8_t seven = 7;
             return b.PutData(&seven, 1, 4999);
         },
         5000, 4999},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        VBlobWithPtr blob(ones.data(), ones.size());
        ASSERT_EQ(blob.SetSize(4), VE_OK);
        ASSERT_EQ(c.fGrow(blob), VE_OK);
        Bytes expected(c.fSize, 0);
        std::fill(expected.begin(), expected.begin() + 4, 0xFF);
        if (c.fWrittenAt != 0)
            expected[c.fWrittenAt] = 7;
        EXPECT_EQ(Content(blob), expected);
    }
}

// A blob copy keeps its block where its source's lives, and a blob's block goes back to the
// manager it came from whichever manager is current then.
TEST(VBlobWithPtr, BlocksStayWithTheManagerTheBlobWasMadeWith)
{
    ManagerPtr pooled = MakePooled(kTenMiB);
    size_t total = 0;
    size_t used = 0;
    {
        std::unique_ptr<VBlobWithPtr> blob;
        {
            StUseMemMgr use(pooled.get());
            blob = std::make_unique<VBlobWithPtr>();
        }
        ASSERT_EQ(blob->PutData(kTen, 10, 0), VE_OK);
        pooled->GetMemUsageInfo(total, used);
        EXPECT_GT(used, 0u);
        size_t withOne = used;

        VBlobWithPtr copy(*blob);
        EXPECT_EQ(Content(copy), Bytes(kTen, kTen + 10));
        pooled->GetMemUsageInfo(total, used);
        EXPECT_GT(used, withOne);
    }
    pooled->GetMemUsageInfo(total, used);
    EXPECT_EQ(used, 0u);
}

TEST(VBlobWithPtr, PutDataGrowsAmortizedInWholeKiB)
{
    VBlobWithPtr blob;
    EXPECT_EQ(blob.PutData(kTen, 1, 999), VE_OK);
    EXPECT_EQ(blob.GetAllocatedSize(), 2048u); // 1000 + 500 + 1023, cut to KiB
    EXPECT_EQ(blob.PutData(kTen, 10, 1000), VE_OK);
    EXPECT_EQ(blob.GetAllocatedSize(), 2048u);
}

TEST(VBlobWithPtr, BadOffsetsAndCountsAreRefusedWithoutChange)
{
    VBlobWithPtr blob(kTen, sizeof(kTen));
    EXPECT_EQ(blob.PutData(kTen, 3, -1), VE_INVALID_PARAMETER);
    EXPECT_EQ(blob.PutData(nullptr, 3, 0), VE_INVALID_PARAMETER);
    // An end past every address: no room can be made for it.
    EXPECT_EQ(blob.PutData(kTen, 3, INT64_MAX), VE_MEMORY_FULL);
    // Past the most a blob holds: refused before the memory manager is asked.
    EXPECT_EQ(blob.PutData(kTen, 1, INT32_MAX), VE_MEMORY_FULL);
    EXPECT_EQ(blob.SetSize(size_t(1) << 31), VE_MEMORY_FULL);
    EXPECT_EQ(blob.FromData(nullptr, 3), VE_INVALID_PARAMETER);
    EXPECT_EQ(Content(blob), Bytes(kTen, kTen + 10));
}

TEST(VBlobWithPtr, EmptyingFreesTheBlock)
{
    std::vector<uint8_t> big(1 << 20, 0x5A);
    VBlobWithPtr blob(big.data(), big.size());
    blob.SetNull(true);
    blob.SetNull(false);
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_EQ(blob.GetAllocatedSize(), 0u);

    ASSERT_EQ(blob.FromData(big.data(), big.size()), VE_OK);
    blob.SetNull(true);
    EXPECT_EQ(blob.FromData(nullptr, 0), VE_OK);
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_EQ(blob.GetAllocatedSize(), 0u);
    EXPECT_FALSE(blob.IsNull());

    ASSERT_EQ(blob.FromData(big.data(), 10), VE_OK);
    blob.Clear();
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_FALSE(blob.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Copies, equality and conversions

TEST(VBlobWithPtr, CopiesAreExact)
{
    VBlobWithPtr blob(kTen, sizeof(kTen));
    blob.SetDirty(false);
    std::unique_ptr<VValue> clone(blob.Clone());
    auto* copy = static_cast<VBlobWithPtr*>(clone.get());
    EXPECT_EQ(Content(*copy), Bytes(kTen, kTen + 10));
    EXPECT_EQ(copy->GetAllocatedSize(), 10u);
    EXPECT_TRUE(copy->IsDirty());
    EXPECT_TRUE(copy->EqualToSameKind(&blob, false));

    VConstBlobWithPtr view(kTen, 4);
    VBlobWithPtr fromView(view);
    EXPECT_EQ(Content(fromView), (Bytes{0, 1, 2, 3}));
    view.SetNull(true);
    VBlobWithPtr fromNullView(view);
    EXPECT_EQ(fromNullView.GetSize(), 0u);
    EXPECT_TRUE(fromNullView.IsNull());
}

TEST(VBlobWithPtr, EqualityLooksAtTheOthersNullStateOnly)
{
    VBlobWithPtr empty;
    VBlobWithPtr otherEmpty;
    EXPECT_TRUE(empty.EqualToSameKind(&otherEmpty, false));
    otherEmpty.SetNull(true);
    EXPECT_FALSE(empty.EqualToSameKind(&otherEmpty, false));
    EXPECT_TRUE(otherEmpty.EqualToSameKind(&empty, false));
    EXPECT_FALSE(empty.EqualToSameKind(nullptr, false));

    VBlobWithPtr a(kTen, 3);
    VBlobWithPtr b(kTen + 1, 3);
    EXPECT_FALSE(a.EqualToSameKind(&b, false));
    EXPECT_EQ(a.CompareTo(b, false), CR_UNRELEVANT);
    EXPECT_FALSE(a.CanBeEvaluated());
}

TEST(VBlobWithPtr, ConversionsOnlyBetweenBlobs)
{
    VBlobWithPtr blob(kTen, 5);
    VBlobWithPtr target(kTen, 2);
    target.SetNull(true);
    blob.GetValue(target);
    EXPECT_EQ(Content(target), Bytes(kTen, kTen + 5));
    EXPECT_FALSE(target.IsNull());

    VLong number(3);
    blob.GetValue(number);
    EXPECT_EQ(number.Get(), 3);

    VBlobWithPtr fromString(kTen, 5);
    fromString.SetNull(true);
    fromString.FromValue(VString("abc"));
    EXPECT_EQ(fromString.GetSize(), 0u);
    EXPECT_FALSE(fromString.IsNull());

    VBlobWithPtr fromBlob;
    fromBlob.FromValue(blob);
    EXPECT_EQ(Content(fromBlob), Bytes(kTen, kTen + 5));

    VBlobWithPtr same;
    EXPECT_TRUE(same.FromValueSameKind(&blob));
    EXPECT_EQ(Content(same), Bytes(kTen, kTen + 5));
    EXPECT_FALSE(same.FromValueSameKind(&number));
}

// The options take no part: equality is the plain one, and blobs are not ordered.
TEST(VBlobWithPtr, ComparisonsWithOptions)
{
    VCompareOptions everything;
    everything.SetLike(true);
    everything.SetDiacritical(true);
    everything.SetBeginOnly(true);
    VBlobWithPtr abc(kTen, 3);
    VBlobWithPtr same(kTen, 3);
    VBlobWithPtr other(kTen + 1, 3);
    VBlobWithPtr shorter(kTen, 2);
    VBlobWithPtr nullBlob;
    nullBlob.SetNull(true);
    VBlobWithPtr empty;
    VConstBlobWithPtr view(kTen, 3);
    for (const VCompareOptions& options : {VCompareOptions(), everything})
    {
        SCOPED_TRACE(options.IsDiacritical());
        EXPECT_TRUE(abc.EqualToSameKindWithOptions(&same, options));
        EXPECT_FALSE(abc.EqualToSameKindWithOptions(&other, options));
        EXPECT_FALSE(abc.EqualToSameKindWithOptions(&shorter, options));
        EXPECT_FALSE(empty.EqualToSameKindWithOptions(&nullBlob, options));
        EXPECT_TRUE(nullBlob.EqualToSameKindWithOptions(&empty, options));
        EXPECT_FALSE(abc.EqualToSameKindWithOptions(&view, options));
        EXPECT_FALSE(abc.EqualToSameKindWithOptions(nullptr, options));

        uint8_t packed[7];
        other.WriteToPtr(packed, false, 0);
        EXPECT_EQ(abc.CompareToSameKindWithOptions(&other, options), CR_EQUAL);
        EXPECT_EQ(abc.CompareToSameKindPtrWithOptions(packed, options), CR_EQUAL);
    }
}

// ---------------------------------------------------------------------------------------------
// Packed form and descriptor

TEST(VBlobWithPtr, PackedFormRoundTrips)
{
    VBlobWithPtr blob(kTen, 7);
    uint64_t space = 0;
    ASSERT_EQ(blob.GetSpace(space, 0), 11u);
    uint8_t buffer[12] = {};
    EXPECT_EQ(blob.WriteToPtr(buffer + 1, false, 0), buffer + 12);
    EXPECT_EQ(VBlob::sInfo.GetSizeOfValueDataPtr(buffer + 1), 11u);

    VBlobWithPtr read;
    EXPECT_EQ(read.LoadFromPtr(buffer + 1, false), buffer + 12);
    EXPECT_EQ(Content(read), Bytes(kTen, kTen + 7));

    std::unique_ptr<VValue> made(VBlob::sInfo.LoadFromPtr(buffer + 1, false));
    EXPECT_TRUE(static_cast<VBlobWithPtr*>(made.get())->EqualToSameKind(&blob, false));

    EXPECT_EQ(VBlob::sInfo.ByteSwapPtr(buffer + 1, true), buffer + 5);
    EXPECT_EQ(buffer[4], 7);
}

TEST(VBlobWithPtr, APackedSizeOfZeroOrLessLoadsNothingAndDoesNotMoveBack)
{
    const int32_t sizes[] = {0, -1, INT32_MIN};
    for (int32_t size : sizes)
    {
        SCOPED_TRACE(size);
        uint8_t packed[4];
        std::memcpy(packed, &size, 4);
        VBlobWithPtr blob(kTen, 2);
        blob.SetNull(true);
        EXPECT_EQ(blob.LoadFromPtr(packed, false), packed + 4);
        EXPECT_TRUE(blob.IsNull());
        EXPECT_EQ(VBlob::sInfo.GetSizeOfValueDataPtr(packed), 4u);
        std::unique_ptr<VValue> made(VBlob::sInfo.LoadFromPtr(packed, false));
        EXPECT_EQ(static_cast<VBlob*>(made.get())->GetSize(), 0u);
        EXPECT_FALSE(made->IsNull());
    }
}

// ---------------------------------------------------------------------------------------------
// Stream form

TEST(VBlobWithPtr, StreamFormInBothByteOrders)
{
    const uint8_t abcdef[3] = {0xAB, 0xCD, 0xEF};
    VBlobWithPtr blob(abcdef, 3);
    const Bytes swapped{0x00, 0x00, 0x00, 0x03, 0xAB, 0xCD, 0xEF};
    const Bytes hostOrder{0x03, 0x00, 0x00, 0x00, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(StreamOut(blob, true), swapped);
    EXPECT_EQ(StreamOut(blob, false), hostOrder);
    EXPECT_EQ(blob.GetStreamSpace(), 7u);

    for (bool swap : {false, true})
    {
        VBlobWithPtr read(kTen, 10);
        read.SetNull(true);
        EXPECT_EQ(StreamIn(read, swap ? swapped : hostOrder, swap), VE_OK);
        EXPECT_EQ(Content(read), Bytes(abcdef, abcdef + 3));
        EXPECT_EQ(read.GetAllocatedSize(), 3u);
        EXPECT_TRUE(read.IsNull()); // reading does not touch the flags
    }
}

TEST(VBlobWithPtr, ReadingASizeOfZeroEmptiesTheBlob)
{
    VBlobWithPtr blob(kTen, 10);
    EXPECT_EQ(StreamIn(blob, Bytes{0, 0, 0, 0}, false), VE_OK);
    EXPECT_EQ(blob.GetSize(), 0u);
    EXPECT_EQ(blob.GetAllocatedSize(), 0u);
}

TEST(VBlobWithPtr, ImpossibleSizesInAStreamFailWithoutAllocating)
{
    struct Case
    {
        const char* fName;
        Bytes fBytes;
    };
    const Case cases[] = {
        {"2^31", {0x00, 0x00, 0x00, 0x80, 1, 2, 3}},
        {"2^32 - 1", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}},
        {"past the end", {0x04, 0x00, 0x00, 0x00, 1, 2, 3}},
        {"cut size", {0x04, 0x00}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        VBlobWithPtr blob(kTen, 2);
        VError streamError = VE_OK;
        int64_t pos = 0;
        EXPECT_EQ(StreamIn(blob, c.fBytes, false, &streamError, &pos), VE_STREAM_EOF);
        EXPECT_EQ(streamError, VE_STREAM_EOF);
        EXPECT_EQ(pos, int64_t(c.fBytes.size()));
        EXPECT_EQ(Content(blob), (Bytes{0, 1}));
    }
}

// A stream that claims more bytes than it can give: a blob read from it keeps zeros, not the
// memory's old bytes, where the data ran out.
class OverstatedStream : public VConstPtrStream
{
public:
    using VConstPtrStream::VConstPtrStream;

protected:
    int64_t DoGetSize() override { return VConstPtrStream::DoGetSize() + 100000; }
};

TEST(VBlobWithPtr, AShortReadLeavesZerosBeyondTheData)
{
    StErrorContextInstaller errors(false);
    Bytes bytes{0x00, 0x10, 0x00, 0x00}; // 4096 bytes announced
    bytes.insert(bytes.end(), 100, 0xAB);
    OverstatedStream stream(bytes.data(), bytes.size());
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VBlobWithPtr blob;
    EXPECT_EQ(blob.ReadFromStream(&stream, 0), VE_STREAM_EOF);
    Bytes expected(4096, 0);
    std::fill(expected.begin(), expected.begin() + 100, 0xAB);
    EXPECT_EQ(Content(blob), expected);
}

// ---------------------------------------------------------------------------------------------
// Read-only views

TEST(VConstBlobWithPtr, RefusesEveryChange)
{
    VConstBlobWithPtr view(kTen, 10);
    EXPECT_EQ(view.PutData(kTen, 1, 0), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(view.SetSize(2), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(view.FromData(kTen, 2), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(StreamIn(view, Bytes{1, 0, 0, 0, 9}, false), VE_STREAM_CANNOT_WRITE);
    view.Clear();
    view.SetNull(true);
    EXPECT_EQ(view.GetSize(), 10u);

    uint8_t out[3];
    size_t copied = 0;
    EXPECT_EQ(view.GetData(out, 3, 8, &copied), VE_STREAM_EOF);
    EXPECT_EQ(copied, 2u);

    // Two views are always equal; a view loads nothing.
    VConstBlobWithPtr other(kTen, 1);
    EXPECT_TRUE(view.EqualToSameKind(&other, false));
    EXPECT_EQ(view.LoadFromPtr(out, false), nullptr);
}

TEST(VConstBlobWithPtr, WritesLikeAnOwningBlobAndCopiesShareTheBytes)
{
    VConstBlobWithPtr view(kTen, 3);
    EXPECT_EQ(StreamOut(view, true), (Bytes{0, 0, 0, 3, 0, 1, 2}));
    uint8_t packed[7];
    EXPECT_EQ(view.WriteToPtr(packed, false, 0), packed + 7);
    EXPECT_EQ(packed[4], 0);
    EXPECT_EQ(packed[6], 2);

    std::unique_ptr<VValue> clone(view.Clone());
    auto* copy = static_cast<VConstBlobWithPtr*>(clone.get());
    EXPECT_EQ(copy->GetSize(), 3u);
    VConstBlobWithPtr target(nullptr, 0);
    EXPECT_TRUE(target.FromValueSameKind(&view));
    EXPECT_EQ(Content(target), (Bytes{0, 1, 2}));

    VBlobWithPtr owned;
    view.GetValue(owned);
    EXPECT_EQ(Content(owned), (Bytes{0, 1, 2}));
}

TEST(VBlobWithPtr, JSONFormIsABlobObjectAndOnlyABlobObjectReadsBack)
{
    const uint8_t bytes[] = {0, 1, 0xFE, 0xFF, 'x'};
    VBlobWithPtr blob(bytes, sizeof bytes);
    VJSONValue json;
    ASSERT_EQ(blob.GetJSONValue(json, 0), VE_OK);
    ASSERT_NE(VJSONBlob::CastJSONObject(json.GetObject()), nullptr);
    EXPECT_EQ(VJSONBlob::CastJSONObject(json.GetObject())->GetSize(), sizeof bytes);

    VBlobWithPtr back;
    ASSERT_EQ(back.FromJSONValue(json), VE_OK);
    EXPECT_FALSE(back.IsNull());
    ASSERT_EQ(back.GetSize(), sizeof bytes);
    EXPECT_EQ(std::memcmp(back.GetDataPtr(), bytes, sizeof bytes), 0);

    // An empty blob is still a Blob object, and comes back empty, not null.
    VBlobWithPtr empty;
    ASSERT_EQ(empty.GetJSONValue(json, 0), VE_OK);
    ASSERT_EQ(back.FromJSONValue(json), VE_OK);
    EXPECT_FALSE(back.IsNull());
    EXPECT_EQ(back.GetSize(), 0u);

    VBlobWithPtr null;
    null.SetNull(true);
    ASSERT_EQ(null.GetJSONValue(json, 0), VE_OK);
    EXPECT_TRUE(json.IsNull());

    VJSONValue others[3];
    others[1].SetString(VString("AAEC"));
    VJSONObject* plain = new VJSONObject();
    others[2].SetObject(plain);
    plain->Release();
    for (const VJSONValue& other : others)
    {
        VBlobWithPtr target(bytes, sizeof bytes);
        EXPECT_EQ(target.FromJSONValue(other), VE_OK);
        EXPECT_TRUE(target.IsNull());
        EXPECT_EQ(target.GetSize(), 0u);
    }
}

} // namespace
} // namespace kova
