#include "platform/mac/errors/XMacStackCrawl.h"

#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kova
{
namespace
{

// Not inlined, so that the stack below the crawl has a known extra frame.
[[gnu::noinline]] uint32_t CountFromNestedCall(uint32_t inSkip, uint32_t inMax)
{
    XMacStackCrawl crawl;
    crawl.LoadFrames(inSkip, inMax);
    return crawl.GetCount();
}

TEST(XMacStackCrawl, KeepsAtMostTheAskedFramesAfterTheSkippedOnes)
{
    XMacStackCrawl crawl;
    EXPECT_EQ(crawl.GetCount(), 0u);
    crawl.LoadFrames(0, 100);
    uint32_t all = crawl.GetCount();
    ASSERT_GE(all, 3u);
    EXPECT_LE(all, XMacStackCrawl::kMaxFrames);

    crawl.LoadFrames(0, 2);
    EXPECT_EQ(crawl.GetCount(), 2u);
    crawl.LoadFrames(1, 100);
    EXPECT_EQ(crawl.GetCount(), all - 1);
    crawl.LoadFrames(all, 100);
    EXPECT_EQ(crawl.GetCount(), 0u);
    EXPECT_EQ(CountFromNestedCall(1, 100), all);
}

TEST(XMacStackCrawl, DumpsNumberFramesDownToZero)
{
    XMacStackCrawl empty;
    VString text("kept");
    empty.Dump(text);
    EXPECT_EQ(to_string(text), "kept");

    XMacStackCrawl crawl;
    crawl.LoadFrames(0, 3);
    ASSERT_EQ(crawl.GetCount(), 3u);
    crawl.Dump(text);
    std::string dump = to_string(text);
    EXPECT_EQ(dump.rfind("kept   {2} 0x", 0), 0u) << dump;
    EXPECT_NE(dump.find("XMacStackCrawl::LoadFrames"), std::string::npos) << dump;
    EXPECT_LT(dump.find("   {1} 0x"), dump.find("   {0} 0x"));
    EXPECT_EQ(dump.back(), '\n');

    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&buffer, &size);
    ASSERT_NE(file, nullptr);
    empty.Dump(file);
    crawl.Dump(file);
    std::fclose(file);
    std::string lines(buffer, size);
    std::free(buffer);
    EXPECT_EQ(lines.rfind("  :: frame 2: ", 0), 0u) << lines;
    EXPECT_NE(lines.find("\n  :: frame 0: "), std::string::npos);

    XMacStackCrawl shorter;
    shorter.LoadFrames(0, 2);
    EXPECT_TRUE(shorter < crawl);
    EXPECT_FALSE(crawl < shorter);
    EXPECT_FALSE(crawl < crawl);
}

} // namespace
} // namespace kova
