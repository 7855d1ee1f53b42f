#include "platform/mac/errors/XMacStackCrawl.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace kova
