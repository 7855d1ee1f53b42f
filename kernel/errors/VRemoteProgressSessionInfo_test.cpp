#include "kernel/errors/VRemoteProgressSessionInfo.h"

#include "kernel/errors/VProgressIndicator.h"
#include "kernel/errors/VProgressSessionInfo.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

std::string Message(const VProgressIndicator& inIndicator)
{
    VString message;
    inIndicator.GetMessage(message);
    return to_string(message);
}

// One indicator mirrored by another through the bag form, as between two processes.
class RemoteProgress : public testing::Test
{
protected:
    // Sends what changed since the last message; false when nothing did.
    bool Send()
    {
        VRemoteProgressSessionInfo message;
        if (!fSender->GetProgressInfo(message, fHasPrevious ? &fPrevious : nullptr))
            return false;
        VValueBag bag;
        VString kind;
        message.SaveToBag(bag, kind, fHasPrevious ? &fPrevious : nullptr);
        EXPECT_EQ(to_string(kind), "DistantSessionInfo");
        Receive(bag);
        fPrevious = message;
        fHasPrevious = true;
        return true;
    }
    void Receive(const VValueBag& inBag)
    {
        VRemoteProgressSessionInfo received;
        received.LoadFromBag(inBag);
        fReceiver->UpdateFromRemoteInfo(received);
    }

    VRefPtr<VProgressIndicator> fSender{new VProgressIndicator};
    VRefPtr<VProgressIndicator> fReceiver{new VProgressIndicator};
    VRemoteProgressSessionInfo fPrevious;
    bool fHasPrevious = false;
};

TEST_F(RemoteProgress, MirrorKeptInStep)
{
    fSender->BeginSession(10, VString("outer {curValue}"));
    fSender->Progress(3);
    ASSERT_TRUE(Send());
    EXPECT_TRUE(fReceiver->IsRemoteSessionOpen());
    EXPECT_EQ(fReceiver->GetSessionCount(), 1);
    EXPECT_EQ(Message(*fReceiver), "outer 3");
    EXPECT_FALSE(Send());

    fSender->BeginSession(4, VString("inner {curValue}"));
    ASSERT_TRUE(Send());
    EXPECT_EQ(fReceiver->GetSessionCount(), 2);
    // A change of the innermost session only.
    fSender->Increment(2);
    fSender->SetAttribute(VString("file"), VString("a"));
    ASSERT_TRUE(Send());
    EXPECT_EQ(fPrevious.fFlags & VRemoteProgressSessionInfo::kCURRENT_ONLY,
              VRemoteProgressSessionInfo::kCURRENT_ONLY);
    EXPECT_EQ(Message(*fReceiver), "inner 2");
    EXPECT_FLOAT_EQ(fReceiver->ComputePercentDone(), fSender->ComputePercentDone());
    EXPECT_EQ(fReceiver->GetChangesVersion(), fSender->GetChangesVersion());

    fSender->EndSession();
    ASSERT_TRUE(Send());
    EXPECT_EQ(fReceiver->GetSessionCount(), 1);
    EXPECT_EQ(Message(*fReceiver), "outer 3");

    fSender->SetUserAbort(true);
    fSender->EndSession();
    ASSERT_TRUE(Send());
    EXPECT_EQ(fReceiver->GetSessionCount(), 0);
    EXPECT_FALSE(fReceiver->IsRemoteSessionOpen());
    EXPECT_TRUE(fReceiver->IsUserAbort());
}

TEST_F(RemoteProgress, MirroredSessionsSitOnTopOfTheLocalOnes)
{
    fReceiver->BeginSession(2, VString("local outer"));
    fReceiver->BeginSession(3, VString("local inner"));
    fSender->BeginSession(10, VString("remote"));
    ASSERT_TRUE(Send());
    EXPECT_EQ(fReceiver->GetSessionCount(), 3);

    fSender->EndSession();
    ASSERT_TRUE(Send());
    EXPECT_EQ(fReceiver->GetSessionCount(), 2);
    EXPECT_EQ(Message(*fReceiver), "local inner");
    EXPECT_FALSE(fReceiver->IsRemoteSessionOpen());
    fReceiver->EndSession();
    fReceiver->EndSession();
}

TEST_F(RemoteProgress, EndSessionOnTheMirrorEndsTheMirroredSessionsAndOnlyThenALocalOne)
{
    fSender->BeginSession(10, VString("a"));
    fSender->BeginSession(10, VString("b"));
    ASSERT_TRUE(Send());
    ASSERT_EQ(fReceiver->GetSessionCount(), 2);
    // Nothing local under the mirror: the count stays at 0.
    fReceiver->EndSession();
    EXPECT_EQ(fReceiver->GetSessionCount(), 0);
    EXPECT_FALSE(fReceiver->IsRemoteSessionOpen());
    fReceiver->BeginSession(1, VString("local"));
    EXPECT_EQ(fReceiver->GetSessionCount(), 1);
    fReceiver->EndSession();
}

TEST_F(RemoteProgress, AMessageOfAnotherRunRebuildsTheMirror)
{
    fReceiver->BeginSession(5, VString("local"));
    fSender->BeginSession(10, VString("a"));
    fSender->BeginSession(10, VString("b"));
    ASSERT_TRUE(Send());
    ASSERT_EQ(fReceiver->GetSessionCount(), 3);

    // The sender starts over with three sessions: its new session version tells another run.
    fSender->EndSession();
    fSender->EndSession();
    fSender->BeginSession(10, VString("x"));
    fSender->BeginSession(10, VString("y"));
    fSender->BeginSession(10, VString("z"));
    VRemoteProgressSessionInfo whole;
    ASSERT_TRUE(fSender->GetProgressInfo(whole, nullptr));
    VValueBag bag;
    VString kind;
    whole.SaveToBag(bag, kind, nullptr);
    Receive(bag);
    EXPECT_EQ(fReceiver->GetSessionCount(), 1 + 3);
    EXPECT_EQ(Message(*fReceiver), "z");
    // Closed over there: the local session is left.
    while (fSender->GetSessionCount() > 0)
        fSender->EndSession();
    VRemoteProgressSessionInfo closed;
    ASSERT_TRUE(fSender->GetProgressInfo(closed, &whole));
    VValueBag closedBag;
    closed.SaveToBag(closedBag, kind, &whole);
    Receive(closedBag);
    EXPECT_EQ(fReceiver->GetSessionCount(), 1);
    EXPECT_EQ(Message(*fReceiver), "local");
    fReceiver->EndSession();
}

TEST_F(RemoteProgress, MessagesWithoutRecordsChangeNoSession)
{
    fSender->BeginSession(10, VString("a"));
    ASSERT_TRUE(Send());
    const int32_t count = fReceiver->GetSessionCount();

    // A whole stack announced but not carried, and a change without its record.
    for (uint32_t flags : {0x8Fu, 0x4Fu})
    {
        VValueBag bag;
        bag.SetLong("fFlags", int32_t(flags));
        bag.SetLong("fSessionCount", 2);
        bag.SetLong("fSessionVersion", 99);
        bag.SetLong("fChangesVersion", 1234);
        Receive(bag);
        EXPECT_EQ(fReceiver->GetSessionCount(), count) << flags;
        EXPECT_EQ(Message(*fReceiver), "a") << flags;
    }
    // A repeated "fCurrent" stops the reading with nothing read.
    VValueBag repeated;
    repeated.SetLong("fFlags", 0x4F);
    repeated.AddElement("fCurrent", VRefPtr<VValueBag>(new VValueBag).Get());
    repeated.AddElement("fCurrent", VRefPtr<VValueBag>(new VValueBag).Get());
    VRemoteProgressSessionInfo read;
    read.LoadFromBag(repeated);
    EXPECT_TRUE(read.fSessions.empty());

    // A fresh mirror opens only with records.
    VRefPtr<VProgressIndicator> fresh(new VProgressIndicator);
    VValueBag empty;
    empty.SetLong("fFlags", 0x8F);
    empty.SetLong("fSessionCount", 3);
    VRemoteProgressSessionInfo announced;
    announced.LoadFromBag(empty);
    fresh->UpdateFromRemoteInfo(announced);
    EXPECT_EQ(fresh->GetSessionCount(), 0);
    EXPECT_FALSE(fresh->IsRemoteSessionOpen());
}

TEST_F(RemoteProgress, TheSenderLeavesTheSessionLockOnEveryAnswer)
{
    fSender->BeginSession(10, VString("a"));
    ASSERT_TRUE(Send());
    EXPECT_FALSE(Send());
    // Another task can take the lock: it would wait for ever on a lock left taken.
    bool locked = false;
    RunOnTask(
        [&]
        {
            fSender->Lock();
            locked = true;
            fSender->Unlock();
        });
    EXPECT_TRUE(locked);
}

TEST(VProgressSessionInfo, SummaryShowsTheOutermostTheInnermostAndItsParent)
{
    VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
    VProgressSessionInfo summary;
    EXPECT_FALSE(progress->GetProgressInfo(summary));
    for (const char* message : {"one", "two", "three", "four"})
        progress->BeginSession(10, VString(message));
    // The summary reads the snapshot that the working thread makes at its next advance.
    progress->GetProgressInfo(summary);
    progress->Increment();
    ASSERT_TRUE(progress->GetProgressInfo(summary));
    EXPECT_EQ(summary.fSessionCount, 4);
    EXPECT_EQ(summary.fSessionsShown, 3);
    EXPECT_EQ(to_string(summary.fFirst.GetRawMessage()), "one");
    EXPECT_EQ(to_string(summary.fSecond.GetRawMessage()), "three");
    EXPECT_EQ(to_string(summary.fThird.GetRawMessage()), "four");
    for (int i = 0; i < 4; ++i)
        progress->EndSession();
}

} // namespace
} // namespace kova
