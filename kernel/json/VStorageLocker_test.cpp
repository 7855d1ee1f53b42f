#include "kernel/json/VStorageLocker.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPropertyIterator.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/WaitUntil_test.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::Write;

constexpr int32_t kBound = 20000;

VJSONValue SharedArray()
{
    VRefPtr<VJSONArray> array(new VJSONArray(true));
    return VJSONValue(array.Get());
}

VJSONValue SharedObject()
{
    VRefPtr<VJSONObject> object(new VJSONObject(nullptr, nullptr, true));
    return VJSONValue(object.Get());
}

// Stops a task that is still running after the bound, so that a failing test ends.
void StopTask(VTask* inTask)
{
    inTask->Kill();
    inTask->SetMessageQueueEvent();
    inTask->WaitForDeath(kHungTestMilliseconds);
}

// A task's Use calls this between leaving the locker's lock and waiting.
class StWaitHook
{
public:
    explicit StWaitHook(void (*inHook)()) { VStorageLocker::_SetWaitHookForTesting(inHook); }
    ~StWaitHook() { VStorageLocker::_SetWaitHookForTesting(nullptr); }
};

TEST(VStorageLocker, UsesAreCountedPerOwner)
{
    VStorageLocker locker(false, true);
    EXPECT_TRUE(locker.Use());
    EXPECT_TRUE(locker.Use());
    EXPECT_EQ(locker.GetUseCount(), 2);
    EXPECT_EQ(locker.GetOwnerTaskID(), VTaskMgr::GetCurrentTaskID());
    EXPECT_TRUE(locker.IsHeldByCurrentTask());
    RunOnTask(
        [&]
        {
            EXPECT_FALSE(locker.TryToUse());
            EXPECT_FALSE(locker.IsHeldByCurrentTask());
            locker.EndUse(); // not the owner's: nothing
        });
    EXPECT_EQ(locker.GetUseCount(), 2);
    locker.EndUse();
    EXPECT_TRUE(locker.IsHeldByCurrentTask());
    locker.EndUse();
    EXPECT_EQ(locker.GetOwnerTaskID(), 0);
    RunOnTask(
        [&]
        {
            EXPECT_TRUE(locker.TryToUse());
            EXPECT_TRUE(locker.TryToUse());
            locker.EndUse();
            locker.EndUse();
        });
    EXPECT_EQ(locker.GetOwnerTaskID(), 0);

    // A thread that runs no task cannot hold a locker.
    std::thread(
        [&]
        {
            EXPECT_FALSE(locker.Use());
            EXPECT_FALSE(locker.TryToUse());
        })
        .join();
}

TEST(VStorageLocker, AWaitingTaskTakesTheLockerWhenTheOwnerGivesItBack)
{
    VStorageLocker locker(false, false);
    ASSERT_TRUE(locker.Use());
    std::atomic<bool> taken{false};
    VRefPtr<VTask> waiter = NewTask(
        [&]
        {
            taken = locker.Use();
            locker.EndUse();
        });
    ASSERT_TRUE(waiter->Run());
    WaitUntil([&] { return locker.IsWaiting(waiter.Get()); });
    locker.EndUse();
    ASSERT_TRUE(waiter->WaitForDeath(kBound));
    EXPECT_TRUE(taken);
    EXPECT_FALSE(locker.IsWaiting(waiter.Get()));
}

VStorageLocker* sHookLocker = nullptr;
VSyncEvent* sHookReached = nullptr;
VSyncEvent* sHookRelease = nullptr;

TEST(VStorageLocker, AnEndUseWhileTheWaiterPreparesToWaitIsNotLost)
{
    VStorageLocker locker(false, false);
    VRefPtr<VSyncEvent> reached(new VSyncEvent);
    VRefPtr<VSyncEvent> release(new VSyncEvent);
    sHookLocker = &locker;
    sHookReached = reached.Get();
    sHookRelease = release.Get();
    // The owner gives the locker back in the window between the waiter's look and its wait.
    StWaitHook hook(
        []
        {
            sHookReached->Unlock();
            sHookRelease->Lock();
        });
    ASSERT_TRUE(locker.Use());
    std::atomic<bool> taken{false};
    VRefPtr<VTask> waiter = NewTask(
        [&]
        {
            taken = locker.Use();
            if (taken)
                locker.EndUse();
        });
    ASSERT_TRUE(waiter->Run());
    reached->Lock();
    locker.EndUse();
    release->Unlock();
    bool ended = waiter->WaitForDeath(kBound);
    if (!ended)
        StopTask(waiter.Get());
    EXPECT_TRUE(ended);
    EXPECT_TRUE(taken);
}

TEST(VStorageLocker, ATaskStoppedWhileWaitingGivesUpWithinOneSlice)
{
    VStorageLocker locker(false, false);
    ASSERT_TRUE(locker.Use());
    std::atomic<int> result{-1};
    VRefPtr<VTask> waiter = NewTask([&] { result = locker.Use() ? 1 : 0; });
    ASSERT_TRUE(waiter->Run());
    WaitUntil([&] { return locker.IsWaiting(waiter.Get()); });
    // Not woken: the task notices at the end of its current wait slice.
    waiter->Kill();
    ASSERT_TRUE(waiter->WaitForDeath(kBound));
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(locker.IsWaiting(waiter.Get()));
    EXPECT_EQ(locker.GetOwnerTaskID(), VTaskMgr::GetCurrentTaskID());
    locker.EndUse();
}

// A delegate that may be stored into locked collections without a locker of its own.
class Sharable : public IJSONObject
{
public:
    bool IJSON_IsSharable(const VJSONObject*, bool& ioFlag) const override
    {
        ioFlag = false;
        return true;
    }
};

TEST(VStorageLocker, LockedCollectionsAdmitOnlyWhatTheirLockerMayServe)
{
    VJSONValue container = SharedArray();
    VJSONArray* array = container.GetArray();
    VJSONUser user(array);
    ASSERT_TRUE(user.IsInUse());
    EXPECT_LT(array->GetSharedID(), 0);

    struct Case
    {
        const char* fWhat;
        VJSONValue fValue;
        VError fError;
    };
    VJSONValue parsed = Parse(R"({"o":{},"a":[]})", VJSONImporter::kShared);
    std::vector<Case> cases;
    cases.push_back({"unshared array", Parse("[1]"), VE_JSON_COLLECTION_NOT_SHARED});
    cases.push_back({"unshared object", Parse("{}"), VE_JSON_COLLECTION_NOT_SHARED});
    cases.push_back(
        {"array of another locker", parsed.GetObject()->GetProperty("a"), VE_JSON_ARRAY_OF_ANOTHER_LOCKER});
    cases.push_back(
        {"object of another locker", parsed.GetObject()->GetProperty("o"), VE_JSON_OBJECT_OF_ANOTHER_LOCKER});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fWhat);
        StCollectErrors errors;
        EXPECT_FALSE(array->Push(c.fValue));
        EXPECT_EQ(errors.Codes(), std::vector<VError>{c.fError});
        // A refused Push leaves no placeholder behind.
        EXPECT_EQ(array->GetCount(), 0u);
    }

    // An adoptable collection moves over to the container's locker, which is then adoptable no
    // more.
    VJSONValue adopted = SharedArray();
    EXPECT_TRUE(array->Push(adopted));
    EXPECT_GT(array->GetSharedID(), 0);
    EXPECT_EQ(adopted.GetArray()->GetSharedID(), array->GetSharedID());
    EXPECT_EQ(adopted.GetArray()->GetStorageLocker().Get(), user.GetLocker());

    // One held by another task is refused.
    VJSONValue held = SharedObject();
    {
        VRefPtr<VSyncEvent> taken(new VSyncEvent);
        VRefPtr<VSyncEvent> done(new VSyncEvent);
        VRefPtr<VTask> holder = NewTask(
            [&]
            {
                VJSONUser other(held);
                taken->Unlock();
                done->Lock();
            });
        ASSERT_TRUE(holder->Run());
        taken->Lock();
        StCollectErrors errors;
        EXPECT_FALSE(array->Push(held));
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_LOCKER_HELD_ELSEWHERE});
        done->Unlock();
        ASSERT_TRUE(holder->WaitForDeath(kBound));
    }

    // A delegate that may be shared as it is needs no locker.
    VRefPtr<Sharable> sharable(new Sharable);
    VRefPtr<VJSONObject> native(new VJSONObject(nullptr, sharable.Get()));
    EXPECT_TRUE(array->Push(VJSONValue(native.Get())));
    EXPECT_EQ(native->GetStorageLocker().Get(), nullptr);

    // Past the end nothing is admitted: the adoptable array keeps its own locker.
    VJSONValue outside = SharedArray();
    const int32_t ownID = outside.GetArray()->GetSharedID();
    EXPECT_FALSE(array->SetAt(99, outside));
    EXPECT_EQ(outside.GetArray()->GetSharedID(), ownID);
}

TEST(VStorageLocker, AReferencesOnlyLockerServesCollectionsOfOtherLockers)
{
    VRefPtr<VStorageLocker> locker(new VStorageLocker(true, false));
    VRefPtr<VJSONObject> table(new VJSONObject(nullptr, nullptr, locker.Get(), false));
    VJSONUser user(table.Get());
    VJSONValue parsed = Parse(R"({"a":[]})", VJSONImporter::kShared);
    VJSONValue other = parsed.GetObject()->GetProperty("a");
    EXPECT_TRUE(table->SetProperty("a", other));
    EXPECT_NE(other.GetArray()->GetStorageLocker().Get(), locker.Get());
    VJSONValue adoptable = SharedObject();
    EXPECT_TRUE(table->SetProperty("o", adoptable));
    EXPECT_NE(adoptable.GetObject()->GetStorageLocker().Get(), locker.Get());
    EXPECT_TRUE(table->SetProperty("n", VJSONValue(JSON_null)));

    StCollectErrors errors;
    EXPECT_FALSE(table->SetProperty("s", VJSONValue(VString("x"))));
    EXPECT_FALSE(table->SetProperty("b", VJSONValue(VJSONValue::sTrue)));
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_REFERENCES_ONLY, VE_JSON_REFERENCES_ONLY}));
    EXPECT_FALSE(table->HasOwnProperty("s"));
    EXPECT_LT(table->GetSharedID(), 0);
}

TEST(VStorageLocker, SharedObjectsAnswerTheirLockerIdentifier)
{
    VJSONValue plain = Parse(R"({"__LockerID":5})");
    EXPECT_EQ(plain.GetObject()->GetProperty("__LockerID").GetNumber(), 5);

    VJSONValue shared = SharedObject();
    VJSONObject* object = shared.GetObject();
    const int32_t id = object->GetSharedID();
    EXPECT_LT(id, 0);
    EXPECT_EQ(object->GetProperty("__LockerID").GetNumber(), id);
    EXPECT_TRUE(object->HasOwnProperty("__LockerID"));
    VJSONUser user(object);
    StCollectErrors errors;
    EXPECT_FALSE(object->SetProperty("__LockerID", VJSONValue(1.0)));
    EXPECT_TRUE(errors.Codes().empty());
    EXPECT_EQ(object->GetProperty("__LockerID").GetNumber(), id);
    EXPECT_EQ(Write(shared), "{}");
}

TEST(VStorageLocker, OnlyTheHolderChangesReadersNeverWait)
{
    VJSONValue object = SharedObject();
    VJSONValue array = SharedArray();
    {
        VJSONUser user(object);
        ASSERT_TRUE(object.GetObject()->SetProperty("a", VJSONValue(1.0)));
        ASSERT_TRUE(object.GetObject()->SetProperty("list", array));
        ASSERT_TRUE(array.GetArray()->Push(VJSONValue(2.0)));
    }
    RunOnTask(
        [&]
        {
            VJSONObject* o = object.GetObject();
            VJSONArray* a = array.GetArray();
            StCollectErrors errors;
            EXPECT_FALSE(o->SetProperty("a", VJSONValue(3.0)));
            o->RemoveProperty("a");
            o->Clear();
            EXPECT_FALSE(a->Push(VJSONValue(3.0)));
            EXPECT_FALSE(a->SetAt(0, VJSONValue(3.0)));
            EXPECT_FALSE(a->Resize(5));
            a->RemoveAt(0, 1);
            a->Clear();
            EXPECT_FALSE(a->Concatenate(*a));
            a->Sort(nullptr);
            const VError object_ = VE_JSON_OBJECT_NOT_HELD;
            const VError array_ = VE_JSON_ARRAY_NOT_HELD;
            EXPECT_EQ(errors.Codes(), (std::vector<VError>{object_, object_, object_, array_, array_, array_,
                                                           array_, array_, array_, array_}));
            // Past the end there is nothing to refuse.
            errors.Flush();
            a->RemoveAt(7, 1);
            EXPECT_TRUE(errors.Codes().empty());
            // Reading needs no hold.
            EXPECT_EQ(Write(object), R"({"a":1,"list":[2]})");
            EXPECT_EQ(a->GetAt(0).GetNumber(), 2);
            EXPECT_TRUE(o->HasProperty("list"));
        });
    EXPECT_EQ(Write(object), R"({"a":1,"list":[2]})");
}

TEST(VStorageLocker, ReadersOnSeveralTasksWhileTheOwnerWrites)
{
    VJSONValue document = SharedObject();
    VJSONValue list = SharedArray();
    {
        VJSONUser user(document);
        ASSERT_TRUE(document.GetObject()->SetProperty("list", list));
    }
    std::atomic<bool> writing{true};
    VRefPtr<VTask> writer = NewTask(
        [&]
        {
            VJSONObject* object = document.GetObject();
            VJSONArray* array = list.GetArray();
            for (int i = 0; i < 300; ++i)
            {
                VJSONUser user(object);
                object->SetProperty("n", VJSONValue(double(i)));
                array->Push(VJSONValue(double(i)));
                if (i % 3 == 0)
                    array->RemoveAt(0, 1);
                VJSONValue child = SharedObject();
                object->SetProperty("child", child);
                child.GetObject()->SetProperty("parent", document);
            }
            writing = false;
        });
    std::vector<VRefPtr<VTask>> readers;
    std::atomic<int> reads{0};
    for (int r = 0; r < 3; ++r)
    {
        readers.push_back(NewTask(
            [&]
            {
                while (writing || reads < 30)
                {
                    VJSONObject* object = document.GetObject();
                    VJSONValue n = object->GetProperty("n");
                    VJSONValue child = object->GetProperty("child");
                    VJSONValue copy = list;
                    VString text;
                    list.GetArray()->GetString(text);
                    for (VJSONPropertyConstIterator it(object); it.IsValid(); ++it)
                        it.GetValue();
                    EXPECT_TRUE(n.IsUndefined() || n.IsNumber());
                    // A new child is stored before its parent is set.
                    EXPECT_TRUE(child.IsUndefined() || !child.GetObject()->GetProperty("parent").IsNumber());
                    ++reads;
                }
            }));
    }
    ASSERT_TRUE(writer->Run());
    for (auto& reader : readers)
        ASSERT_TRUE(reader->Run());
    ASSERT_TRUE(writer->WaitForDeath(kHungTestMilliseconds));
    for (auto& reader : readers)
        ASSERT_TRUE(reader->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(document.GetObject()->GetProperty("n").GetNumber(), 299);
    EXPECT_EQ(list.GetArray()->GetCount(), 200u);
    EXPECT_EQ(list.GetArray()->GetAt(0).GetNumber(), 100);
    VJSONUser user(document);
    document.GetObject()->RemoveProperty("child");
}

TEST(VStorageLocker, TasksHandTheLockerOverAndSeeEachOthersChanges)
{
    VJSONValue counter = SharedObject();
    {
        VJSONUser user(counter);
        counter.GetObject()->SetProperty("n", VJSONValue(0.0));
    }
    auto count = [&]
    {
        for (int i = 0; i < 200; ++i)
        {
            VJSONUser user(counter);
            ASSERT_TRUE(user.IsInUse());
            VJSONObject* object = counter.GetObject();
            object->SetProperty("n", VJSONValue(object->GetProperty("n").GetNumber() + 1));
        }
    };
    VRefPtr<VTask> first = NewTask(count);
    VRefPtr<VTask> second = NewTask(count);
    ASSERT_TRUE(first->Run());
    ASSERT_TRUE(second->Run());
    ASSERT_TRUE(first->WaitForDeath(kHungTestMilliseconds));
    ASSERT_TRUE(second->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(counter.GetObject()->GetProperty("n").GetNumber(), 400);
}

TEST(VStorageLocker, ASharedCycleIsFreedByTheTaskThatDropsItLast)
{
    testing_json::Tracker tracker;
    VJSONValue a = tracker.Make(true);
    VJSONValue b = tracker.Make(true);
    {
        VJSONUser user(a);
        ASSERT_TRUE(a.GetObject()->SetProperty("b", b));
        // b now serves under a's locker.
        ASSERT_TRUE(b.GetObject()->SetProperty("a", a));
    }
    VRefPtr<VSyncEvent> dropped(new VSyncEvent);
    VRefPtr<VTask> other = NewTask(
        [&, a = VJSONValue(a), b = VJSONValue(b)]() mutable
        {
            dropped->Lock();
            b.SetNull();
            a.SetNull();
        });
    ASSERT_TRUE(other->Run());
    a.SetNull();
    b.SetNull();
    dropped->Unlock();
    ASSERT_TRUE(other->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(tracker.Alive(), 0);
}

std::atomic<int32_t> sSelectingTask{0};
VSyncEvent* sSelectorWaits = nullptr;

TEST(VStorageLocker, SelectedRowsTakeBothLockersInIdentifierOrder)
{
    // a's locker is older (lower identifier) than b's.
    VJSONValue a = SharedArray();
    VJSONValue b = SharedArray();
    {
        VJSONUser ua(a);
        VJSONUser ub(b);
        a.GetArray()->Push(VJSONValue(VString("x")));
        a.GetArray()->Push(VJSONValue(VString("y")));
        b.GetArray()->Push(VJSONValue(VString("y")));
    }
    ASSERT_LT(a.GetArray()->GetStorageLocker()->GetID(), b.GetArray()->GetStorageLocker()->GetID());
    VRefPtr<VSyncEvent> aHeld(new VSyncEvent);
    VRefPtr<VSyncEvent> selectorWaits(new VSyncEvent);
    sSelectorWaits = selectorWaits.Get();
    // When the selecting task has to wait, the other task goes on and wants b.
    StWaitHook hook(
        []
        {
            if (VTaskMgr::GetCurrentTaskID() == sSelectingTask)
                sSelectorWaits->Unlock();
        });
    std::atomic<bool> otherTookBoth{false};
    VRefPtr<VTask> other = NewTask(
        [&]
        {
            VJSONUser ua(a);
            aHeld->Unlock();
            selectorWaits->Lock();
            VJSONUser ub(b);
            otherTookBoth = ua.IsInUse() && ub.IsInUse();
        });
    std::string selected;
    VRefPtr<VTask> selector = NewTask(
        [&]
        {
            sSelectingTask = VTaskMgr::GetCurrentTaskID();
            selected = Write(b.GetArray()->GetSelectedRows(a));
        });
    ASSERT_TRUE(other->Run());
    aHeld->Lock();
    ASSERT_TRUE(selector->Run());
    const bool ended = selector->WaitForDeath(kBound) && other->WaitForDeath(kBound);
    if (!ended)
    {
        StopTask(other.Get());
        StopTask(selector.Get());
    }
    sSelectingTask = 0;
    EXPECT_TRUE(ended);
    EXPECT_TRUE(otherTookBoth);
    EXPECT_EQ(selected, R"({"ranges":[{"start":0,"end":0}]})");
}

TEST(VStorageLocker, ConcatenatingReadsTheOtherUnderItsLocks)
{
    VJSONValue source = SharedArray();
    std::atomic<bool> filling{true};
    VRefPtr<VTask> owner = NewTask(
        [&]
        {
            for (int i = 0; i < 400; ++i)
            {
                VJSONUser user(source);
                source.GetArray()->Push(VJSONValue(double(i)));
            }
            filling = false;
        });
    ASSERT_TRUE(owner->Run());
    bool more = true;
    while (more)
    {
        more = filling;
        VJSONValue copy(JSON_array);
        ASSERT_TRUE(copy.GetArray()->Concatenate(*source.GetArray()));
        // Always a whole prefix, in order.
        for (size_t i = 0; i < copy.GetArray()->GetCount(); ++i)
            ASSERT_EQ(copy.GetArray()->GetAt(i).GetNumber(), double(i));
    }
    ASSERT_TRUE(owner->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(source.GetArray()->GetCount(), 400u);
}

} // namespace
} // namespace kova
