#include "kernel/values/VArrayBlob.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

std::string Content(const VArrayBlob& inArray, int32_t inIndex)
{
    VBlobWithPtr blob;
    inArray.GetValue(blob, inIndex);
    if (blob.IsNull())
        return "-";
    return std::string(static_cast<const char*>(blob.GetDataPtr()), blob.GetSize());
}

TEST(VArrayBlob, StoresOwnedCopiesOfAnyBlobAndNothingElse)
{
    char bytes[] = "view";
    VArrayBlob array(3);
    {
        VConstBlobWithPtr view(bytes, 4);
        array.FromValue(view, 1);
    }
    bytes[0] = 'X'; // the array holds its own copy, not a view over these bytes
    EXPECT_EQ(Content(array, 1), "view");
    array.FromValue(VBlobWithPtr("ab", 2), 1);
    EXPECT_EQ(Content(array, 1), "ab");
    array.FromValue(VLong(5), 2);
    array.FromValue(VBlobWithPtr("zz", 2), 4);
    EXPECT_EQ(Content(array, 2), "-");
    EXPECT_EQ(array.GetCount(), 3);

    std::unique_ptr<VValueSingle> clone(array.CloneValue(1));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_BLOB);
    EXPECT_EQ(static_cast<VBlobWithPtr*>(clone.get())->GetSize(), 2u);

    VArrayBlob copy(array);
    array.FromValue(VBlobWithPtr("new", 3), 1);
    EXPECT_EQ(Content(copy, 1), "ab");
    array.Delete(1, 1);
    EXPECT_EQ(array.GetCount(), 2);
}

TEST(VArrayBlob, SearchesByEqualBytesAndSortsEmptySlotsFirst)
{
    VArrayBlob array(4);
    array.FromValue(VBlobWithPtr("one", 3), 1);
    array.FromValue(VBlobWithPtr("two", 3), 3);
    array.FromValue(VBlobWithPtr("one", 3), 4);
    char bytes[] = "one";
    VConstBlobWithPtr view(bytes, 3);
    EXPECT_EQ(array.Find(view, 2, 1, CM_VALUE_EQUAL), 4);
    EXPECT_EQ(array.Find(view, 4, 0, CM_VALUE_EQUAL), 4);
    EXPECT_EQ(array.Find(VBlobWithPtr("two", 3), 1, 1, CM_VALUE_EQUAL), 3);
    EXPECT_EQ(array.Find(view, 1, 1, CM_VALUE_LESS), -1);
    EXPECT_EQ(array.Find(VLong(1), 1, 1, CM_VALUE_EQUAL), -1);
    EXPECT_EQ(array.CompareTo(view, false, 2), CR_SMALLER);

    array.Sort(1, 4, 0);
    EXPECT_EQ(Content(array, 1), "-");
    EXPECT_NE(Content(array, 4), "-");
}

class VArrayBlobStream : public ::testing::TestWithParam<bool>
{
};

TEST_P(VArrayBlobStream, EachBlobInItsOwnFormAndEmptySlotsAsEmptyBlobs)
{
    bool swap = GetParam();
    VArrayBlob array(2);
    array.FromValue(VBlobWithPtr("abc", 3), 1);
    Bytes written = StreamOut(array, swap);
    Bytes expected = swap ? Bytes{0, 0, 0, 2, 0, 0, 0, 3, 'a', 'b', 'c', 0, 0, 0, 0}
                          : Bytes{2, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0};
    EXPECT_EQ(written, expected);

    VArrayBlob read(5);
    EXPECT_EQ(StreamIn(read, written, swap), VE_OK);
    ASSERT_EQ(read.GetCount(), 2);
    EXPECT_EQ(Content(read, 1), "abc");
    EXPECT_EQ(Content(read, 2), "");

    Bytes tooMany = swap ? Bytes{0x01, 0, 0, 0, 0, 0, 0, 0} : Bytes{0, 0, 0, 0x01, 0, 0, 0, 0};
    EXPECT_EQ(StreamIn(read, tooMany, swap), VE_STREAM_EOF);
    EXPECT_EQ(read.GetCount(), 2);
    written.pop_back();
    EXPECT_EQ(StreamIn(read, written, swap), VE_STREAM_EOF);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VArrayBlobStream, ::testing::Values(false, true));

} // namespace
} // namespace kova
