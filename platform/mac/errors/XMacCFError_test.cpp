#include "platform/mac/errors/XMacCFError.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "platform/mac/frameworks/CFError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace kova
{
namespace
{

struct DomainCase
{
    const char* fDomain;
    int64_t fCode;
    VError fExpected;
};

TEST(XMacCFError, DomainsGiveTheComponentAndTheCodeItsNumber)
{
    const std::string posixCopy(cf::kErrorDomainPOSIX);
    const DomainCase cases[] = {
        {cf::kErrorDomainOSStatus, -43, MakeVError(kCOMPONENT_CARBON, uint32_t(-43))},
        {cf::kErrorDomainPOSIX, ENOENT, MakeVError(kCOMPONENT_POSIX, ENOENT)},
        {cf::kErrorDomainMach, 5, MakeVError(kCOMPONENT_MACH, 5)},
        {cf::kErrorDomainCocoa, 4, MakeVError(kCOMPONENT_COCOA, 4)},
        // Only the low 32 bits of a code fit.
        {cf::kErrorDomainCocoa, (int64_t(1) << 32) | 7, MakeVError(kCOMPONENT_COCOA, 7)},
        {"org.example.tool", 12, VE_UNKNOWN_ERROR},
        // Domains are matched by their text, not by their address.
        {posixCopy.c_str(), EACCES, MakeVError(kCOMPONENT_POSIX, EACCES)},
    };
    for (const DomainCase& c : cases)
    {
        cf::Error* error = cf::ErrorCreate(c.fDomain, c.fCode);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(VErrorBase::MakeVErrorFromCFError(error), c.fExpected) << c.fDomain << " " << c.fCode;
        EXPECT_EQ(VErrorBase::MakeVErrorFromNSError(error), c.fExpected) << c.fDomain << " " << c.fCode;
        // Neither takes the caller's reference.
        EXPECT_EQ(cf::ErrorGetRetainCount(error), 1);
        cf::ErrorRelease(error);
    }
    EXPECT_EQ(VErrorBase::MakeVErrorFromCFError(nullptr), VE_OK);
    EXPECT_EQ(VErrorBase::MakeVErrorFromNSError(nullptr), VE_OK);
}

TEST(XMacCFError, TheReleasingFormDropsOneReference)
{
    cf::Error* error = cf::ErrorCreate(cf::kErrorDomainMach, 3);
    ASSERT_NE(error, nullptr);
    cf::ErrorRetain(error);
    EXPECT_EQ(VErrorBase::MakeVErrorFromCFErrorAndRelease(error), MakeVError(kCOMPONENT_MACH, 3));
    EXPECT_EQ(cf::ErrorGetRetainCount(error), 1);
    cf::ErrorRelease(error);
    EXPECT_EQ(VErrorBase::MakeVErrorFromCFErrorAndRelease(nullptr), VE_OK);
}

} // namespace
} // namespace kova
