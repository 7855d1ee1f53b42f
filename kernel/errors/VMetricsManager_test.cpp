#include "kernel/errors/VMetricsManager.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/values/VRefPtr.h"
#include "testing/FailingAllocations.h"

#include <gtest/gtest.h>

#include <atomic>

namespace kova
{
namespace
{

// The process's one manager, its session ended again after each test.
class VMetricsManagerTest : public testing::Test
{
protected:
    void TearDown() override { fMetrics.EndSession(); }

    VRefPtr<VJSONObject> Bind(EMetricsKindBit inKind, uint64_t inDuration)
    {
        return VRefPtr<VJSONObject>(fMetrics.CreateBind(inKind, inDuration));
    }

    VMetricsManager& fMetrics = VMetricsManager::Get();
};

TEST_F(VMetricsManagerTest, NothingIsBoundOutsideASessionOrOfAKindNotAskedFor)
{
    EXPECT_EQ(Bind(eMetricsKindProgress, 100000), nullptr);
    EXPECT_FALSE(fMetrics.IsProgressesCollected());
    fMetrics.StartSession(0, false, true, false);
    EXPECT_FALSE(fMetrics.IsProgressesCollected());
    EXPECT_EQ(Bind(eMetricsKindProgress, 100000), nullptr);
    EXPECT_EQ(Bind(eMetricsKind1, 100000), nullptr);
    EXPECT_NE(Bind(eMetricsKind0, 0), nullptr);
}

TEST_F(VMetricsManagerTest, ActivitiesShorterThanTheMinimumAreLeftOut)
{
    fMetrics.StartSession(1000, true, false, false);
    EXPECT_TRUE(fMetrics.IsProgressesCollected());
    EXPECT_EQ(Bind(eMetricsKindProgress, 999), nullptr);
    VRefPtr<VJSONObject> bind = Bind(eMetricsKindProgress, 1000);
    ASSERT_NE(bind, nullptr);
    EXPECT_EQ(bind->GetProperty("activityKind").GetNumber(), 4.0);
    EXPECT_EQ(bind->GetProperty("activityDuration").GetNumber(), 1.0);
}

TEST_F(VMetricsManagerTest, CollectionsAreCopiesAndEndSessionDropsThem)
{
    fMetrics.StartSession(0, true, true, true);
    VRefPtr<VJSONObject> bind = Bind(eMetricsKind1, 1500);
    VRefPtr<VJSONObject> data(new VJSONObject);
    data->SetProperty("name", VJSONValue(VString("copy")));
    fMetrics.BindDatas(bind.Get(), data.Get());

    VRefPtr<VJSONArray> first(fMetrics.CreateCollection());
    VRefPtr<VJSONArray> second(fMetrics.CreateCollection());
    ASSERT_EQ(first->GetCount(), 1u);
    ASSERT_EQ(second->GetCount(), 1u);
    VString firstText;
    VString secondText;
    VJSONValue(first.Get()).Stringify(firstText, 1);
    VJSONValue(second.Get()).Stringify(secondText, 1);
    EXPECT_TRUE(firstText.EqualToString(secondText, true));
    EXPECT_NE(first->GetAt(0).GetObject(), bind.Get());
    EXPECT_NE(first->GetAt(0).GetProperty("activityData").GetObject(), data.Get());
    EXPECT_EQ(first->GetAt(0).GetProperty("activityKind").GetNumber(), 2.0);

    fMetrics.EndSession();
    VRefPtr<VJSONArray> after(fMetrics.CreateCollection());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->GetCount(), 0u);
}

// Progress indicators bind from their destructors: a bind that cannot be kept must fail with an
// error there, never throw.
TEST_F(VMetricsManagerTest, ABindThatCannotBeKeptFailsWithTheMemoryErrorAndIsNotCollected)
{
    if (!testing_support::kAllocationsCanFail)
        GTEST_SKIP() << "allocations cannot be made to fail in this build";
    struct Case
    {
        const char* fFailingStep;
        bool fDataSetAlready;
    };
    // With the data set already, storing it again takes no memory: the collection's growth fails.
    for (const Case& c : {Case{"the collection", true}, Case{"the bind's data", false}})
    {
        fMetrics.StartSession(0, true, false, false);
        VRefPtr<VJSONObject> bind = Bind(eMetricsKindProgress, 10);
        ASSERT_NE(bind, nullptr);
        VRefPtr<VJSONObject> data(new VJSONObject);
        if (c.fDataSetAlready)
            bind->SetProperty("activityData", VJSONValue(data.Get()));
        const uint32_t references = bind->GetRefCount();
        StErrorContextInstaller errors(false);
        bool failed = false;
        {
            testing_support::StFailAllocations failing(testing_support::kNextAllocation);
            fMetrics.BindDatas(bind.Get(), data.Get());
            failed = testing_support::StFailAllocations::HasFailed();
        }
        EXPECT_TRUE(failed) << c.fFailingStep;
        EXPECT_EQ(errors.GetLastError(), VE_MEMORY_FULL) << c.fFailingStep;
        EXPECT_EQ(bind->GetRefCount(), references) << c.fFailingStep;
        VRefPtr<VJSONArray> collection(fMetrics.CreateCollection());
        ASSERT_NE(collection, nullptr);
        EXPECT_EQ(collection->GetCount(), 0u) << c.fFailingStep;
        fMetrics.EndSession();
    }
}

// Reporters read the session's figures without the lock while another task starts and ends
// sessions: the sanitizers see a race unless they are atomics.
TEST_F(VMetricsManagerTest, ReportersRaceNoSessionChange)
{
    std::atomic<bool> done{false};
    VRefPtr<VTask> reporter = NewTask(
        [&]
        {
            while (!done.load())
                VRefPtr<VJSONObject> bind(fMetrics.CreateBind(eMetricsKindProgress, 10));
        });
    ASSERT_TRUE(reporter->Run());
    for (int i = 0; i < 2000; ++i)
    {
        fMetrics.StartSession(uint64_t(i % 20), true, false, false);
        fMetrics.EndSession();
    }
    done.store(true);
    ASSERT_TRUE(reporter->WaitForDeath(kHungTestMilliseconds));
}

} // namespace
} // namespace kova
