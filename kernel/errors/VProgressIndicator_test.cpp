#include "kernel/errors/VProgressIndicator.h"

#include "kernel/errors/IProgressInfoCollector.h"
#include "kernel/errors/VProgressManager.h"
#include "kernel/errors/VProgressSessionInfo.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kova
{
namespace
{

VRefPtr<VProgressIndicator> NewIndicator()
{
    return VRefPtr<VProgressIndicator>(new VProgressIndicator);
}

std::string Message(const VProgressIndicator& inIndicator)
{
    VString message;
    inIndicator.GetMessage(message);
    return to_string(message);
}

// Answers an object {"depth": n} numbered by call, and records the first flags it was given.
class CountingCollector : public IProgressInfoCollector
{
public:
    VJSONObject* CollectInfo(VProgressIndicator*, bool inFirst) override
    {
        fFirstFlags.push_back(inFirst);
        VJSONObject* info = new VJSONObject;
        info->SetProperty("call", VJSONValue(double(fFirstFlags.size())));
        return info;
    }
    std::vector<bool> fFirstFlags;
};

TEST(VProgressIndicator, PercentDoneCountsTheOutermostInUnitsAndEachInnerAsOneUnitOfItsParent)
{
    struct Session
    {
        int64_t fMax;
        int64_t fValue;
    };
    const struct
    {
        std::vector<Session> fSessions;
        float fExpected;
    } cases[] = {
        {{}, 0.0f},        {{{4, 3}}, 0.75f},         {{{4, 2}, {10, 5}}, 0.625f}, {{{-1, 0}, {10, 5}}, 0.0f},
        {{{-1, 7}}, 7.0f}, {{{0, 3}, {-1, 2}}, 2.0f},
    };
    for (const auto& test : cases)
    {
        VRefPtr<VProgressIndicator> progress = NewIndicator();
        for (const Session& session : test.fSessions)
        {
            progress->BeginSession(session.fMax, VString("step"));
            progress->Progress(session.fValue);
        }
        EXPECT_FLOAT_EQ(progress->ComputePercentDone(), test.fExpected)
            << test.fSessions.size() << " sessions";
    }
}

TEST(VProgressIndicator, SessionVersionMovesWhenTheFirstBeginsAndTheLastEnds)
{
    VRefPtr<VProgressIndicator> progress(new VProgressIndicator(VUUID(true), 7));
    EXPECT_EQ(progress->GetSessionVersion(), 7u);
    progress->BeginSession(10, VString("outer"));
    EXPECT_EQ(progress->GetSessionVersion(), 8u);
    progress->BeginSession(10, VString("inner"));
    progress->EndSession();
    EXPECT_EQ(progress->GetSessionVersion(), 8u);
    progress->EndSession();
    EXPECT_EQ(progress->GetSessionVersion(), 9u);
    EXPECT_EQ(progress->GetSessionCount(), 0);
    // Ending without a session changes nothing.
    const uint32_t changes = progress->GetChangesVersion();
    progress->EndSession();
    EXPECT_EQ(progress->GetSessionCount(), 0);
    EXPECT_EQ(progress->GetChangesVersion(), changes);
}

TEST(VProgressIndicator, EndingAnInnerSessionGivesBackTheOuterOneAsItWas)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(10, VString("Copying {curValue} of {maxValue}"));
    progress->Progress(3);
    progress->BeginSession(4, VString("file"));
    EXPECT_EQ(progress->GetCurrentValue(), 0);
    EXPECT_TRUE(progress->Increment(4));
    EXPECT_EQ(Message(*progress), "file");
    progress->EndSession();
    EXPECT_EQ(progress->GetCurrentValue(), 3);
    EXPECT_EQ(progress->GetMaxValue(), 10);
    EXPECT_EQ(Message(*progress), "Copying 3 of 10");
}

TEST(VProgressIndicator, OperationsWithoutASessionAreNeutral)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    EXPECT_TRUE(progress->Progress(5));
    EXPECT_TRUE(progress->Decrement(1));
    progress->SetMaxValue(9);
    progress->SetMessage(VString("ignored"));
    progress->Reset(VString("ignored"), 3, 1);
    EXPECT_EQ(progress->GetMaxValue(), 0);
    EXPECT_EQ(Message(*progress), "");
    EXPECT_EQ(progress->ComputePercentDone(), 0.0f);
}

TEST(VProgressIndicator, AdvancesStopOnTheUserAbortAndOnADyingTaskWhenInterruptible)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(10, VString("work"));
    EXPECT_TRUE(progress->Increment());
    progress->SetUserAbort(true);
    EXPECT_FALSE(progress->Increment());
    EXPECT_FALSE(progress->Progress(3));
    progress->SetUserAbort(false);
    EXPECT_TRUE(progress->Decrement());
    progress->EndSession();

    bool interruptible = true;
    bool uninterruptible = false;
    RunOnTask(
        [&]
        {
            VRefPtr<VProgressIndicator> local = NewIndicator();
            local->BeginSession(10, VString("work"));
            VTaskMgr::GetCurrentTask()->Kill();
            interruptible = local->Increment();
            local->SetCanInterrupt(false, false);
            uninterruptible = local->Increment();
            local->EndSession();
        });
    EXPECT_FALSE(interruptible);
    EXPECT_TRUE(uninterruptible);
}

TEST(VProgressIndicator, AttributesOfAnOuterSessionReachInnerOnesAndInnerOnesVanishAtTheirEnd)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(2, VString("outer"));
    progress->SetAttribute(VString("folder"), VString("docs"));
    progress->BeginSession(5, VString("inner"));
    progress->SetAttribute(VString("file"), VString("a.txt"));

    VValueBag bag;
    progress->SaveInfoToBag(bag);
    ASSERT_NE(bag.GetElements("SessionInfo"), nullptr);
    ASSERT_EQ(bag.GetElements("SessionInfo")->GetCount(), 2);
    VValueBag* inner = bag.GetElements("SessionInfo")->GetNth(2);
    VBagArray* extra = inner->GetElements("ExtraInfo");
    ASSERT_NE(extra, nullptr);
    VString value;
    EXPECT_TRUE(extra->GetNth(1)->GetString("folder", value));
    EXPECT_TRUE(extra->GetNth(1)->GetString("file", value));

    progress->EndSession();
    VValueBag after;
    progress->SaveInfoToBag(after);
    VValueBag* outer = after.GetElements("SessionInfo")->GetNth(1);
    VValueBag* attributes = outer->GetElements("ExtraInfo")->GetNth(1);
    EXPECT_TRUE(attributes->GetString("folder", value));
    EXPECT_FALSE(attributes->GetString("file", value));
    progress->EndSession();
}

TEST(VProgressIndicator, SnapshotsAreMadeByTheWorkingThreadWhenAsked)
{
    CountingCollector outerCollector;
    CountingCollector innerCollector;
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(3, VString("outer"), &outerCollector);
    progress->BeginSession(5, VString("inner"), &innerCollector);
    // A first snapshot is due from the start; after it, none until asked.
    progress->Increment();
    VRefPtr<VRefCountedSessionInfo> first(progress->RetainSessionsInfos());
    ASSERT_NE(first, nullptr);
    progress->Increment();
    VRefPtr<VRefCountedSessionInfo> same(progress->RetainSessionsInfos());
    EXPECT_EQ(same.Get(), first.Get());

    progress->UpdateSessionsInfos();
    EXPECT_EQ(VRefPtr<VRefCountedSessionInfo>(progress->RetainSessionsInfos()).Get(), first.Get());
    progress->Increment();
    VRefPtr<VRefCountedSessionInfo> second(progress->RetainSessionsInfos());
    ASSERT_NE(second.Get(), first.Get());
    ASSERT_EQ(second->GetSessions().size(), 2u);
    // Made before the advance that found it due.
    EXPECT_EQ(second->GetSessions()[1]->GetValue(), 2);
    EXPECT_EQ(outerCollector.fFirstFlags, (std::vector<bool>{true, true}));
    EXPECT_EQ(innerCollector.fFirstFlags, (std::vector<bool>{false, false}));
    ASSERT_NE(second->GetSessions()[1]->GetCollectedInfo(), nullptr);
    EXPECT_EQ(second->GetSessions()[1]->GetCollectedInfo()->GetProperty("call").GetNumber(), 2.0);
    progress->EndSession();
    progress->EndSession();
}

TEST(VProgressIndicator, SessionsFoundByTheirIdAndReplaced)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(3, VString("outer"));
    VProgressIndicatorInfo found;
    EXPECT_FALSE(progress->GetProgressInfo(VUUID(true), found));

    progress->UpdateSessionsInfos();
    progress->Increment();
    VRefPtr<VRefCountedSessionInfo> snapshot(progress->RetainSessionsInfos());
    const VUUID id = snapshot->GetSessions()[0]->GetID();
    ASSERT_TRUE(progress->GetProgressInfo(id, found));
    EXPECT_EQ(to_string(found.GetRawMessage()), "outer");

    VProgressIndicatorInfo replacement(found);
    replacement.SetMessage(VString("replaced"));
    replacement.SetValue(2);
    progress->SetProgressInfo(replacement);
    EXPECT_EQ(Message(*progress), "replaced");
    EXPECT_EQ(progress->GetCurrentValue(), 2);
    progress->EndSession();
}

TEST(VProgressIndicator, ResetRestartsTheCurrentSession)
{
    CountingCollector collector;
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    progress->BeginSession(3, 1, VString("first"), false, &collector);
    progress->Reset(VString("second"), 8, 2);
    EXPECT_EQ(Message(*progress), "second");
    EXPECT_EQ(progress->GetMaxValue(), 8);
    EXPECT_EQ(progress->GetCurrentValue(), 2);
    IProgressInfoCollector* previous = &collector;
    progress->SetProgressInfoCollector(nullptr, &previous);
    EXPECT_EQ(previous, nullptr);
    progress->EndSession();
}

TEST(VProgressIndicator, ReferenceForAnotherProcess)
{
    VRefPtr<VProgressIndicator> progress(new VProgressIndicator(VUUID(true), 4));
    VValueBag bag;
    VString kind;
    ASSERT_EQ(progress->WriteInfoForRemote(bag, kind), VE_OK);
    EXPECT_EQ(to_string(kind), "VProgressIndicator");
    VUUID id;
    int32_t version = 0;
    EXPECT_TRUE(bag.GetVUUID("uuid", id));
    EXPECT_EQ(id, progress->GetID());
    EXPECT_TRUE(bag.GetLong("version", version));
    EXPECT_EQ(version, 4);

    for (bool swap : {false, true})
    {
        VPtrStream stream;
        if (swap)
            stream.SetBigEndian();
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        ASSERT_EQ(progress->WriteInfoForRemote(stream), VE_OK);
        stream.CloseWriting(true);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        int16_t one = 0;
        int32_t count = 1;
        stream.GetWords(&one, &count);
        EXPECT_EQ(one, 1) << swap;
        // The id between them, then the session version last.
        stream.SetPos(stream.GetSize() - 4);
        int32_t read = 0;
        stream.GetLongs(&read, &count);
        EXPECT_EQ(read, 4) << swap;
        stream.CloseReading();
    }
}

// Readers on other tasks take the session lock while the working thread changes the sessions
// through every setter: the sanitizers see the races that a setter without the lock would make.
TEST(VProgressIndicator, ReadersOnOtherTasksRaceNoSetter)
{
    VRefPtr<VProgressIndicator> progress = NewIndicator();
    std::atomic<bool> done{false};
    VRefPtr<VTask> reader = NewTask(
        [&]
        {
            VProgressSessionInfo summary;
            VProgressIndicatorInfo info;
            while (!done.load())
            {
                VValueBag bag;
                progress->SaveInfoToBag(bag);
                VString message;
                progress->GetMessage(message);
                progress->GetProgressInfo(VUUID(), info);
                progress->GetProgressInfo(summary);
                progress->ComputePercentDone();
                std::vector<VRefPtr<VRefCountedSessionInfo>> all;
                VProgressManager::GetAllProgressInfo(all);
            }
        });
    ASSERT_TRUE(reader->Run());
    for (int i = 0; i < 300; ++i)
    {
        progress->BeginSession(100, VString("outer {curValue}"));
        progress->SetMessageAndValue(VString("now {curValue}"), i);
        progress->SetAttribute(VString("i"), VLong(i));
        progress->BeginSession(10, VString("inner"));
        progress->Increment(2);
        progress->SetMaxValue(20);
        progress->SetMessageAndIncrementValue(VString("more"), 1);
        progress->SetCanInterrupt(i % 2 == 0, true);
        progress->RemoveAttribute(VString("i"));
        progress->Reset(VString("reset"), 5, 1);
        progress->EndSession();
        progress->EndSession();
    }
    done.store(true);
    ASSERT_TRUE(reader->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(progress->GetSessionCount(), 0);
}

} // namespace
} // namespace kova
