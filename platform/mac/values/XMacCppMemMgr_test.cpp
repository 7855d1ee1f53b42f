#include "platform/mac/values/XMacCppMemMgr.h"

#include "kernel/values/VCppMemMgr.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "platform/mac/frameworks/CFBundle.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

struct AllocatorCase
{
    const char* fInfoPlist;
    bool fPooled;
};

class XMacCppMemMgrChoice : public testing::TestWithParam<AllocatorCase>
{
protected:
    void TearDown() override { cf::SetMainBundlePath(""); }
};

TEST_P(XMacCppMemMgrChoice, MainBundleChoosesTheBackEnd)
{
    testing_support::StTemporaryFolder folder;
    cf::SetMainBundlePath(folder.MakeApp("Tool", GetParam().fInfoPlist));
    EXPECT_EQ(XMacCppMemMgr::MainBundleAsksForPooledAllocator(), GetParam().fPooled);

    VCppMemMgr* manager = new VCppMemMgr(VCppMemMgr::eAllocatorFromBundle);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->IsUsingStdLib(), !GetParam().fPooled);
    EXPECT_EQ(manager->GetArenaCount(), GetParam().fPooled ? 4 : 0);
    delete manager;
}

std::string WithAllocator(const char* value)
{
    return testing_support::InfoPlistWithString("MemoryAllocator", value);
}

const std::string kNoKey = testing_support::InfoPlistWithString("CFBundleName", "Tool");
const std::string kStdlib = WithAllocator("stdlib");
const std::string kStdlibUpper = WithAllocator("STDLIB");
const std::string kKova = WithAllocator("kova");
const std::string kKovaMixed = WithAllocator("KoVa");
const std::string kKovaSpaced = WithAllocator(" kova");
const std::string kOther = WithAllocator("jemalloc");
const std::string kInteger = "<plist><dict><key>MemoryAllocator</key><integer>2</integer></dict></plist>";

INSTANTIATE_TEST_SUITE_P(
    Table, XMacCppMemMgrChoice,
    testing::Values(AllocatorCase{"", false}, AllocatorCase{kNoKey.c_str(), false},
                    AllocatorCase{kStdlib.c_str(), false}, AllocatorCase{kStdlibUpper.c_str(), false},
                    AllocatorCase{kKova.c_str(), true}, AllocatorCase{kKovaMixed.c_str(), true},
                    AllocatorCase{kKovaSpaced.c_str(), false}, AllocatorCase{kOther.c_str(), false},
                    AllocatorCase{kInteger.c_str(), false}));

} // namespace
} // namespace kova
