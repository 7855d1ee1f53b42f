#include "kernel/values/VMemoryBuffer.h"

#include "kernel/values/VCppMemMgrTesting_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace kova
{
namespace
{

using testing_support::kTenMiB;
using testing_support::MakePooled;
using testing_support::ManagerPtr;
using testing_support::StUseMemMgr;

using Buffer = VMemoryBuffer<1024ul, 2ul, 1048576ul>;

void Fill(Buffer& buffer, const char* text)
{
    size_t size = std::strlen(text);
    ASSERT_TRUE(buffer._EnlargeAmortized(size));
    std::memcpy(buffer.GetDataPtr(), text, size);
    ASSERT_TRUE(buffer.SetDataSize(size));
}

std::string Contents(const Buffer& buffer)
{
    return std::string(static_cast<const char*>(buffer.GetDataPtr()), buffer.GetDataSize());
}

TEST(VMemoryBuffer, EnlargeAmortizedRoundsTheGrowthStep)
{
    struct Case
    {
        size_t fNeeded;
        size_t fAllocated;
    };
    for (Case c : {Case{1, 1024}, Case{1000, 2048}, Case{4096, 6144}, Case{4194304, 5242880}})
    {
        Buffer buffer;
        ASSERT_TRUE(buffer._EnlargeAmortized(c.fNeeded));
        EXPECT_EQ(buffer.GetAllocatedSize(), c.fAllocated) << c.fNeeded;
        EXPECT_EQ(buffer.GetDataSize(), 0u);
    }
}

TEST(VMemoryBuffer, EnlargeKeepsDataAndNeverShrinks)
{
    Buffer buffer;
    Fill(buffer, "kept bytes");
    void* before = buffer.GetDataPtr();
    EXPECT_TRUE(buffer._EnlargeAmortized(5));
    EXPECT_EQ(buffer.GetDataPtr(), before);
    EXPECT_EQ(buffer.GetAllocatedSize(), 1024u);
    ASSERT_TRUE(buffer._EnlargeAmortized(100000));
    EXPECT_EQ(Contents(buffer), "kept bytes");
    EXPECT_FALSE(buffer.SetDataSize(buffer.GetAllocatedSize() + 1));
    EXPECT_EQ(buffer.GetDataSize(), 10u);
}

TEST(VMemoryBuffer, AppendingByteByByteCostsFewReallocations)
{
    Buffer buffer;
    std::set<size_t> sizes;
    for (size_t size = 1; size <= 3 * 1048576; ++size)
    {
        if (size > buffer.GetAllocatedSize())
        {
            ASSERT_TRUE(buffer._EnlargeAmortized(size));
            sizes.insert(buffer.GetAllocatedSize());
        }
        static_cast<char*>(buffer.GetDataPtr())[size - 1] = char(size);
        buffer.SetDataSize(size);
    }
    EXPECT_LT(sizes.size(), 30u);
    EXPECT_EQ(static_cast<char*>(buffer.GetDataPtr())[4999], char(5000));
}

// The pooled arenas of a 20 MiB manager hold at most 5 MiB in one block: the amortized size of
// 4 MiB does not fit, the exact size does.
TEST(VMemoryBuffer, EnlargeFallsBackToTheExactSizeThenFailsCleanly)
{
    ManagerPtr pooled = MakePooled(2 * kTenMiB);
    StUseMemMgr use(pooled.get());
    Buffer buffer;
    Fill(buffer, "abc");
    ASSERT_TRUE(buffer._EnlargeAmortized(4194304));
    EXPECT_EQ(buffer.GetAllocatedSize(), 4194304u);
    EXPECT_EQ(Contents(buffer), "abc");

    void* before = buffer.GetDataPtr();
    EXPECT_FALSE(buffer._EnlargeAmortized(6 * 1048576));
    EXPECT_EQ(buffer.GetDataPtr(), before);
    EXPECT_EQ(buffer.GetAllocatedSize(), 4194304u);
    EXPECT_EQ(Contents(buffer), "abc");

    Buffer empty;
    EXPECT_FALSE(empty._EnlargeAmortized(SIZE_MAX));
    EXPECT_EQ(empty.GetDataPtr(), nullptr);
    EXPECT_EQ(empty.GetAllocatedSize(), 0u);
}

TEST(VMemoryBuffer, ResizeExactlyShrinksGrowsAndFrees)
{
    Buffer buffer;
    Fill(buffer, "0123456789");
    ASSERT_TRUE(buffer.ResizeExactly(4));
    EXPECT_EQ(buffer.GetAllocatedSize(), 4u);
    EXPECT_EQ(Contents(buffer), "0123");
    void* before = buffer.GetDataPtr();
    ASSERT_TRUE(buffer.ResizeExactly(4));
    EXPECT_EQ(buffer.GetDataPtr(), before);
    ASSERT_TRUE(buffer.ResizeExactly(100));
    EXPECT_EQ(buffer.GetAllocatedSize(), 100u);
    EXPECT_EQ(Contents(buffer), "0123");
    ASSERT_TRUE(buffer.ResizeExactly(0));
    EXPECT_EQ(buffer.GetDataPtr(), nullptr);
    EXPECT_EQ(buffer.GetDataSize(), 0u);
    EXPECT_EQ(buffer.GetAllocatedSize(), 0u);
}

// The arenas of a 10 MiB pooled manager hold no 4 MiB block.
TEST(VMemoryBuffer, FailedResizeExactlyChangesNothing)
{
    ManagerPtr pooled = MakePooled(kTenMiB);
    StUseMemMgr use(pooled.get());
    Buffer buffer;
    Fill(buffer, "kept");
    void* before = buffer.GetDataPtr();
    EXPECT_FALSE(buffer.ResizeExactly(4194304));
    EXPECT_EQ(buffer.GetDataPtr(), before);
    EXPECT_EQ(buffer.GetAllocatedSize(), 1024u);
    EXPECT_EQ(Contents(buffer), "kept");
}

TEST(VMemoryBuffer, AssignCopiesResizesAndEmpties)
{
    Buffer source;
    Fill(source, "source text");
    Buffer target;
    Fill(target, "a longer old text than the source");
    ASSERT_TRUE(target.Assign(source));
    EXPECT_EQ(Contents(target), "source text");
    EXPECT_EQ(target.GetAllocatedSize(), 11u);
    EXPECT_NE(target.GetDataPtr(), source.GetDataPtr());

    ASSERT_TRUE(target.Assign(target));
    EXPECT_EQ(Contents(target), "source text");

    Buffer empty;
    ASSERT_TRUE(target.Assign(empty));
    EXPECT_EQ(target.GetDataPtr(), nullptr);
    EXPECT_EQ(target.GetDataSize(), 0u);
    EXPECT_EQ(target.GetAllocatedSize(), 0u);

    ASSERT_TRUE(target.Assign(source));
    EXPECT_EQ(Contents(target), "source text");
}

// A buffer over a small pooled manager cannot take a copy of 8 MiB: the assignment says so and
// the buffer keeps what it had.
TEST(VMemoryBuffer, FailedAssignReportsFailureAndKeepsTheOldBytes)
{
    Buffer large;
    ASSERT_TRUE(large._EnlargeAmortized(8 * 1048576));
    std::memset(large.GetDataPtr(), 'x', 8 * 1048576);
    large.SetDataSize(8 * 1048576);

    ManagerPtr pooled = MakePooled(kTenMiB);
    StUseMemMgr use(pooled.get());
    Buffer target;
    Fill(target, "old bytes");
    EXPECT_FALSE(target.Assign(large));
    EXPECT_EQ(Contents(target), "old bytes");

    Buffer empty;
    EXPECT_FALSE(empty.Assign(large));
    EXPECT_EQ(empty.GetDataPtr(), nullptr);
    EXPECT_EQ(empty.GetDataSize(), 0u);
}

TEST(VMemoryBuffer, BlockGoesBackToTheManagerItCameFrom)
{
    ManagerPtr pooled = MakePooled(kTenMiB);
    {
        Buffer* buffer;
        {
            StUseMemMgr use(pooled.get());
            buffer = new Buffer;
        }
        Fill(*buffer, "in the arenas");
        size_t total = 0;
        size_t used = 0;
        pooled->GetMemUsageInfo(total, used);
        EXPECT_GT(used, 0u);
        delete buffer;
        pooled->GetMemUsageInfo(total, used);
        EXPECT_EQ(used, 0u);
    }
}

TEST(VMemoryBuffer, BufferMadeBeforeTheManagerAdoptsItOnFirstUse)
{
    VCppMemMgr* process = VObject::sCppMemMgr;
    Buffer* buffer;
    {
        StUseMemMgr none(nullptr);
        buffer = new Buffer;
        EXPECT_FALSE(buffer->_EnlargeAmortized(10));
    }
    ASSERT_EQ(VObject::sCppMemMgr, process);
    Fill(*buffer, "late");
    EXPECT_EQ(Contents(*buffer), "late");
    delete buffer;
}

} // namespace
} // namespace kova
