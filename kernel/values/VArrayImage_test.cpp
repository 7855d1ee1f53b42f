#include "kernel/values/VArrayImage.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <memory>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

// A picture of this test's own, registered as kind 12 only while a scope lives: its stream form
// is its number on 8 bytes.
class TestPicture : public VValueSingle
{
public:
    TestPicture() = default;
    explicit TestPicture(int64_t inNumber) : fNumber(inNumber) {}
    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override { return new TestPicture(*this); }
    CompareResult CompareTo(const VValueSingle&, bool) const override { return CR_UNRELEVANT; }
    VError WriteToStream(VStream* ioStream, int32_t) const override
    {
        return ioStream->Put<int64_t>(fNumber);
    }
    VError ReadFromStream(VStream* ioStream, int32_t) override { return ioStream->Get(fNumber); }
    int64_t fNumber = 0;
};

const VValueInfo* sPictureInfo = nullptr;

const VValueInfo* TestPicture::GetValueInfo() const
{
    return sPictureInfo;
}

class StPicturesRegistered
{
public:
    StPicturesRegistered() { sPictureInfo = &fInfo; }
    ~StPicturesRegistered() { sPictureInfo = nullptr; }

private:
    VValueInfo_default<TestPicture, VK_IMAGE> fInfo;
};

TEST(VArrayImage, RegisteredUnderKind111)
{
    std::unique_ptr<VValue> made(VValue::NewValueFromValueKind(VK_ARRAY_IMAGE));
    auto* array = dynamic_cast<VArrayImage*>(made.get());
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->GetCount(), 0);
    EXPECT_EQ(array->GetElemValueKind(), VK_IMAGE);
    EXPECT_FALSE(array->CanBeEvaluated());
    EXPECT_EQ(VValue::ValueInfoFromValueKind(VK_IMAGE), nullptr);
}

TEST(VArrayImage, CountAndSlotsNeverDisagree)
{
    VArrayImage array(3);
    EXPECT_EQ(array.GetCount(), 3);
    array.FromValue(VLong(5), 2); // no picture: ignored
    EXPECT_EQ(array.CloneValue(2), nullptr);
    array.SetCount(5);
    array.Insert(1, 2);
    array.Delete(3, 4);
    EXPECT_EQ(array.GetCount(), 3);
    for (int32_t i = 1; i <= array.GetCount(); ++i)
        EXPECT_EQ(array.CloneValue(i), nullptr);

    // Empty slots read as null values; out of range clears.
    VLong out(7);
    array.GetValue(out, 1);
    EXPECT_TRUE(out.IsNull());
    out.FromLong(7);
    array.GetValue(out, 9);
    EXPECT_FALSE(out.IsNull());
    EXPECT_EQ(out.GetLong(), 0);
    EXPECT_EQ(array.Find(VLong(0), 1, true, CM_VALUE_EQUAL), -1);

    std::unique_ptr<VValue> clone(array.Clone());
    EXPECT_EQ(static_cast<VArrayImage*>(clone.get())->GetCount(), 3);
    array.DeleteAllElements();
    EXPECT_EQ(array.GetCount(), 0);
}

TEST(VArrayImage, HoldsCopiesOfPicturesWhenTheKindExists)
{
    StPicturesRegistered registered;
    VArrayImage array(2);
    TestPicture picture(42);
    picture.SetNull(true);
    array.FromValue(picture, 2);
    array.FromValue(picture, 3); // out of range
    std::unique_ptr<VValueSingle> copy(array.CloneValue(2));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(static_cast<TestPicture*>(copy.get())->fNumber, 42);

    // Only the null and dirty states reach another value: a string keeps its own buffer marks.
    VString text(u"text");
    array.GetValue(text, 2);
    EXPECT_TRUE(text.IsNull());

    array.Sort(1, 2, false);
    EXPECT_EQ(array.CloneValue(1), nullptr); // pictures are not ordered

    // Written and read back through the registered kind.
    Bytes bytes = StreamOut(array, false);
    ASSERT_EQ(bytes.size(), 4u + 8u + 8u);
    VArrayImage read;
    EXPECT_EQ(StreamIn(read, bytes, false), VE_OK);
    ASSERT_EQ(read.GetCount(), 2);
    std::unique_ptr<VValueSingle> second(read.CloneValue(2));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(static_cast<TestPicture*>(second.get())->fNumber, 42);
}

TEST(VArrayImage, StreamFormWithoutThePictureKind)
{
    VArrayImage array(3);
    Bytes bytes = StreamOut(array, true);
    // The count, never the kind, then 8 zero bytes per empty slot.
    EXPECT_EQ(bytes,
              (Bytes{0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    VPtrStream tagged;
    tagged.OpenWriting();
    array.WriteToStream(&tagged, int32_t(FourCharCode("VVAL")));
    EXPECT_EQ(tagged.GetUnderlyingData().fSize, 28u);
    tagged.CloseWriting();

    // Read back, the stream is left just after the array: a value written after it is found.
    VPtrStream stream;
    stream.OpenWriting();
    array.WriteToStream(&stream, 0);
    stream.Put<int32_t>(1234);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    Bytes written(static_cast<const uint8_t*>(data.fData),
                  static_cast<const uint8_t*>(data.fData) + data.fSize);
    stream.CloseWriting();
    VConstPtrStream reader(written.data(), written.size());
    reader.OpenReading();
    VArrayImage read(1);
    EXPECT_EQ(read.ReadFromStream(&reader, 0), VE_OK);
    EXPECT_EQ(read.GetCount(), 3);
    int32_t after = 0;
    EXPECT_EQ(reader.Get(after), VE_OK);
    EXPECT_EQ(after, 1234);
    reader.CloseReading();
}

TEST(VArrayImage, RefusesBadStreams)
{
    StErrorContextInstaller errors;
    VArrayImage read;
    // A slot that is no empty slot cannot be read without the picture kind.
    EXPECT_EQ(StreamIn(read, Bytes{1, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0}, false), VE_STREAM_BAD_SIGNATURE);
    // A negative count, and a count the stream cannot hold, allocate nothing.
    EXPECT_EQ(StreamIn(read, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, false), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(read.GetCount(), 0);
    EXPECT_EQ(StreamIn(read, Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0, 0}, false), VE_STREAM_EOF);
    EXPECT_EQ(read.GetCount(), 0);
}

} // namespace
} // namespace kova
