#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

class Counted : public VObject, public IRefCountable
{
public:
    explicit Counted(std::atomic<int>* destroyed) : fDestroyed(destroyed) {}
    ~Counted() override { ++*fDestroyed; }

private:
    std::atomic<int>* fDestroyed;
};

TEST(IRefCountable, RetainAndReleaseCountAndDestroyAtZero)
{
    std::atomic<int> destroyed{0};
    Counted* object = new Counted(&destroyed);
    EXPECT_EQ(object->Retain(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

// An object that stays in memory once its count reached 0, as one waiting to leave a registry.
class Lingering : public IRefCountable
{
public:
    void DoOnRefCountZero() override { fReachedZero = true; }
    bool fReachedZero = false;
};

TEST(IRefCountable, RetainIfAliveRefusesAnObjectOnItsWayOut)
{
    Lingering object;
    EXPECT_TRUE(object.RetainIfAlive());
    EXPECT_EQ(object.GetRefCount(), 2u);
    object.Release();
    object.Release();
    EXPECT_TRUE(object.fReachedZero);
    EXPECT_FALSE(object.RetainIfAlive());
    EXPECT_EQ(object.GetRefCount(), 0u);
}

TEST(IRefCountable, ConcurrentRetainReleaseDestroysExactlyOnce)
{
    std::atomic<int> destroyed{0};
    Counted* object = new Counted(&destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
    {
        object->Retain();
        threads.emplace_back([object] {
            for (int i = 0; i < 10000; ++i)
            {
                object->Retain();
                object->Release();
            }
            object->Release();
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(object->GetRefCount(), 1u);
    object->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(VRefPtr, AdoptsCopiesRetainAndMovesHandOver)
{
    std::atomic<int> destroyed{0};
    {
        VRefPtr<Counted> first(new Counted(&destroyed));
        EXPECT_EQ(first->GetRefCount(), 1u);
        VRefPtr<Counted> copy = first;
        EXPECT_EQ(first->GetRefCount(), 2u);
        VRefPtr<Counted> moved = std::move(copy);
        EXPECT_EQ(copy, nullptr);
        EXPECT_EQ(first->GetRefCount(), 2u);
        VRefPtr<Counted> retained = VRefPtr<Counted>::Retained(first.Get());
        EXPECT_EQ(first->GetRefCount(), 3u);
        retained = nullptr;
        EXPECT_EQ(first->GetRefCount(), 2u);
    }
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace kova
