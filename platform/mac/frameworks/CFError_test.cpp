#include "platform/mac/frameworks/CFError.h"

#include <gtest/gtest.h>

#include <string>

namespace kova::cf
{
namespace
{

TEST(CFError, KeepsACopyOfItsDomainAndItsCode)
{
    std::string domain = "org.example.tool";
    Error* error = ErrorCreate(domain.c_str(), -43);
    ASSERT_NE(error, nullptr);
    domain.assign("changed afterwards");
    EXPECT_STREQ(ErrorGetDomain(error), "org.example.tool");
    EXPECT_EQ(ErrorGetCode(error), -43);
    ErrorRelease(error);

    EXPECT_EQ(ErrorCreate(nullptr, 1), nullptr);
}

TEST(CFError, LivesUntilItsLastReferenceIsDropped)
{
    Error* error = ErrorCreate(kErrorDomainPOSIX, 2);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(ErrorGetRetainCount(error), 1);
    EXPECT_EQ(ErrorRetain(error), error);
    EXPECT_EQ(ErrorGetRetainCount(error), 2);
    ErrorRelease(error);
    EXPECT_EQ(ErrorGetRetainCount(error), 1);
    EXPECT_STREQ(ErrorGetDomain(error), kErrorDomainPOSIX);
    ErrorRelease(error);

    EXPECT_EQ(ErrorRetain(nullptr), nullptr);
    ErrorRelease(nullptr);
}

} // namespace
} // namespace kova::cf
