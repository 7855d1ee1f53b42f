#include "kernel/errors/VProgressManager.h"

#include "kernel/errors/VMetricsManager.h"
#include "kernel/errors/VProgressIndicator.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace kova
{
namespace
{

TEST(VProgressManager, IndicatorsAreFoundWhileTheyLive)
{
    ASSERT_NE(VProgressManager::sProgressManager, nullptr);
    VUUID id;
    {
        VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
        id = progress->GetID();
        VRefPtr<VProgressIndicator> found(VProgressManager::RetainProgress(id));
        EXPECT_EQ(found.Get(), progress.Get());
        EXPECT_EQ(progress->GetRefCount(), 2u);
    }
    EXPECT_EQ(VProgressManager::RetainProgress(id), nullptr);
}

TEST(VProgressManager, AnIdRegisteredTwiceKeepsTheFirstIndicator)
{
    VRefPtr<VProgressIndicator> first(new VProgressIndicator);
    {
        VRefPtr<VProgressIndicator> second(new VProgressIndicator(first->GetID(), 0));
        VRefPtr<VProgressIndicator> found(VProgressManager::RetainProgress(first->GetID()));
        EXPECT_EQ(found.Get(), first.Get());
    }
    // The second one going leaves the first registered.
    VRefPtr<VProgressIndicator> found(VProgressManager::RetainProgress(first->GetID()));
    EXPECT_EQ(found.Get(), first.Get());
}

TEST(VProgressManager, LookUpAndDescribeByUserInformation)
{
    VRefPtr<VProgressIndicator> copy(new VProgressIndicator);
    VRefPtr<VProgressIndicator> backup(new VProgressIndicator);
    copy->SetUserInfo(VString("copy"));
    backup->SetUserInfo(VString("backup"));
    backup->SetTitle(VString("Backing up"));
    backup->BeginSession(4, VString("outer"));
    backup->BeginSession(2, VString("inner"));

    VRefPtr<VProgressIndicator> found(VProgressManager::_RetainProgressIndicator(VString("backup")));
    EXPECT_EQ(found.Get(), backup.Get());
    EXPECT_EQ(VProgressManager::_RetainProgressIndicator(VString("none")), nullptr);

    VValueBag bag;
    const VString name("backup");
    EXPECT_EQ(VProgressManager::_GetProgressInfo(bag, &name), VE_OK);
    VBagArray* infos = bag.GetElements("ProgressInfo");
    ASSERT_NE(infos, nullptr);
    ASSERT_EQ(infos->GetCount(), 1);
    VValueBag* info = infos->GetNth(1);
    VString text;
    int32_t count = 0;
    bool canInterrupt = false;
    EXPECT_TRUE(info->GetString("UserInfo", text));
    EXPECT_EQ(to_string(text), "backup");
    EXPECT_TRUE(info->GetString("Title", text));
    EXPECT_EQ(to_string(text), "Backing up");
    EXPECT_TRUE(info->GetLong("SessionCount", count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(info->GetBool("CanInterrupt", canInterrupt));
    EXPECT_TRUE(canInterrupt);
    ASSERT_NE(info->GetElements("SessionInfo"), nullptr);
    EXPECT_EQ(info->GetElements("SessionInfo")->GetCount(), 2);

    VValueBag all;
    VProgressManager::_GetProgressInfo(all, nullptr);
    ASSERT_NE(all.GetElements("ProgressInfo"), nullptr);
    EXPECT_GE(all.GetElements("ProgressInfo")->GetCount(), 2);
    backup->EndSession();
    backup->EndSession();
}

TEST(VProgressManager, AllProgressInfoGathersTheSnapshotsMadeSinceTheLastRequest)
{
    VRefPtr<VProgressIndicator> idle(new VProgressIndicator);
    VRefPtr<VProgressIndicator> busy(new VProgressIndicator);
    busy->BeginSession(10, VString("busy"));
    auto mine = [&]
    {
        std::vector<VRefPtr<VRefCountedSessionInfo>> all;
        EXPECT_EQ(VProgressManager::GetAllProgressInfo(all), VE_OK);
        size_t count = 0;
        for (const VRefPtr<VRefCountedSessionInfo>& snapshot : all)
        {
            if (snapshot->GetSessions().size() == 1 &&
                to_string(snapshot->GetSessions()[0]->GetRawMessage()) == "busy")
                ++count;
        }
        return count;
    };
    EXPECT_EQ(mine(), 0u);
    busy->Increment();
    EXPECT_EQ(mine(), 1u);
    busy->EndSession();
    EXPECT_EQ(mine(), 0u);
}

TEST(VProgressManager, CreateStdProgressNeedsAFactory)
{
    EXPECT_EQ(VProgressManager::CreateStdProgress(1, 0), nullptr);
    class Factory : public IProgressIndicatorFactory
    {
    public:
        VProgressIndicator* CreateStdProgress(int32_t, uint32_t) override { return new VProgressIndicator; }
    } factory;
    VProgressManager::SetStdProgressFactory(&factory);
    VRefPtr<VProgressIndicator> made(VProgressManager::CreateStdProgress(1, 0));
    VProgressManager::SetStdProgressFactory(nullptr);
    EXPECT_NE(made, nullptr);
}

TEST(VProgressManager, EndedSessionsAndUnregisteredIndicatorsReportToTheMetrics)
{
    VMetricsManager& metrics = VMetricsManager::Get();
    metrics.StartSession(0, true, false, false);
    {
        VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
        progress->SetTitle(VString("Copy"));
        progress->BeginSession(3, VString("files"));
        progress->SetAttribute(VString("folder"), VString("docs"));
        progress->EndSession();
    }
    VRefPtr<VJSONArray> binds(metrics.CreateCollection());
    metrics.EndSession();
    ASSERT_NE(binds, nullptr);
    // One at the end of the session, one when the indicator left, its session as it was left.
    ASSERT_EQ(binds->GetCount(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        VJSONValue bind = binds->GetAt(i);
        EXPECT_EQ(bind.GetProperty("activityKind").GetNumber(), 4.0);
        VJSONValue data = bind.GetProperty("activityData");
        VString text;
        data.GetProperty("title").GetString(text);
        EXPECT_EQ(to_string(text), "Copy");
        data.GetProperty("message").GetString(text);
        EXPECT_EQ(to_string(text), "files");
        VJSONValue extra = data.GetProperty("extraInfo");
        ASSERT_TRUE(extra.IsObject());
        extra.GetProperty("folder").GetString(text);
        EXPECT_EQ(to_string(text), "docs");
    }
}

// A finder on another task looks indicators up while they are made and released: it must never
// get one whose count reached 0 (the sanitizers see the use after free that would follow).
TEST(VProgressManager, AFinderNeverGetsADyingIndicator)
{
    constexpr int kRounds = 2000;
    std::vector<VUUID> ids(kRounds, VUUID());
    for (VUUID& id : ids)
        id = VUUID(true);
    std::atomic<int> made{0};
    std::atomic<bool> done{false};
    VRefPtr<VTask> finder = NewTask(
        [&]
        {
            while (!done.load())
            {
                const int last = made.load();
                for (int i = last > 4 ? last - 4 : 0; i < last; ++i)
                {
                    VProgressIndicator* found = VProgressManager::RetainProgress(ids[size_t(i)]);
                    if (found != nullptr)
                    {
                        found->Increment();
                        found->Release();
                    }
                }
            }
        });
    ASSERT_TRUE(finder->Run());
    for (int i = 0; i < kRounds; ++i)
    {
        VProgressIndicator* progress = new VProgressIndicator(ids[size_t(i)], 0);
        made.store(i + 1);
        progress->Release();
    }
    done.store(true);
    ASSERT_TRUE(finder->WaitForDeath(kHungTestMilliseconds));
    for (const VUUID& id : ids)
        EXPECT_EQ(VProgressManager::RetainProgress(id), nullptr);
}

} // namespace
} // namespace kova
