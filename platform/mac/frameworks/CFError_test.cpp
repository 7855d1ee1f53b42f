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

TEST(CFError, DescribesTheCocoaCodesItKnowsAndNamesTheOthers)
{
    struct Case
    {
        const char* fDomain;
        int64_t fCode;
        const char* fDescription;
    };
    const Case cases[] = {
        {kErrorDomainCocoa, 640, "The file could not be written: there is no space left on the volume."},
        {kErrorDomainCocoa, 7, "Cocoa error 7."},
        // A known number in another domain is not the Cocoa code.
        {kErrorDomainPOSIX, 640, "POSIX error 640."},
    };
    for (const Case& test : cases)
    {
        Error* error = ErrorCreate(test.fDomain, test.fCode);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(ErrorCopyDescription(error), test.fDescription);
        ErrorRelease(error);
    }
}

} // namespace
} // namespace kova::cf
