#include "platform/mac/tasks/XMacFiber.h"

#include "platform/mac/frameworks/Mach.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace kova;

namespace
{

// Fibers are made on a thread of their own, which becomes the root fiber of the test.
template <class Body>
void OnRootFiber(Body inBody)
{
    std::thread thread(
        [&]
        {
            int rootData = 0;
            XMacFiber* root = ConvertThreadToFiber(&rootData);
            ASSERT_NE(root, nullptr);
            EXPECT_EQ(GetCurrentFiber(), root);
            EXPECT_EQ(GetFiberData(), &rootData);
            inBody(root);
            DeleteFiber(root);
            EXPECT_EQ(GetCurrentFiber(), nullptr);
        });
    thread.join();
}

struct Steps
{
    XMacFiber* fRoot = nullptr;
    std::vector<int> fSteps;
    void* fData = nullptr;
};

void TwoSteps(void* inSteps)
{
    Steps* steps = static_cast<Steps*>(inSteps);
    steps->fData = GetFiberData();
    steps->fSteps.push_back(1);
    SwitchToFiber(steps->fRoot);
    steps->fSteps.push_back(3);
    SwitchToFiber(steps->fRoot);
}

void Never(void* inSteps)
{
    static_cast<Steps*>(inSteps)->fSteps.push_back(99);
}

// Whether the page at the address is mapped without any access.
bool IsGuardPage(uintptr_t inAddress)
{
    FILE* maps = fopen("/proc/self/maps", "r");
    if (maps == nullptr)
        return false;
    char line[512];
    bool guard = false;
    while (fgets(line, sizeof(line), maps) != nullptr)
    {
        unsigned long start = 0;
        unsigned long end = 0;
        char permissions[5] = {};
        if (sscanf(line, "%lx-%lx %4s", &start, &end, permissions) == 3 && inAddress >= start &&
            inAddress < end)
            guard = strcmp(permissions, "---p") == 0;
    }
    fclose(maps);
    return guard;
}

} // namespace

TEST(XMacFiber, SwitchingToTheCurrentFiberReturnsAtOnce)
{
    OnRootFiber([](XMacFiber* inRoot) { EXPECT_TRUE(inRoot->Run()); });
    // A thread that is no fiber cannot switch.
    std::thread plain(
        []
        {
            Steps steps;
            XMacFiber* fiber = CreateFiberEx(0, 0, 1, &Never, &steps);
            ASSERT_NE(fiber, nullptr);
            EXPECT_FALSE(fiber->Run());
            DeleteFiber(fiber);
            EXPECT_TRUE(steps.fSteps.empty());
        });
    plain.join();
}

TEST(XMacFiber, FibersTakeTurnsAndEndWithTheirProcedure)
{
    OnRootFiber(
        [](XMacFiber* inRoot)
        {
            Steps steps;
            steps.fRoot = inRoot;
            XMacFiber* fiber = CreateFiberEx(0, 1, 1, &TwoSteps, &steps);
            ASSERT_NE(fiber, nullptr);
            // Never below 64 KiB.
            EXPECT_EQ(fiber->GetStackSize(), XMacThreadStack::kMinimumStackSize);
            SwitchToFiber(fiber);
            steps.fSteps.push_back(2);
            SwitchToFiber(fiber);
            steps.fSteps.push_back(4);
            EXPECT_EQ(steps.fSteps, (std::vector<int>{1, 2, 3, 4}));
            EXPECT_EQ(steps.fData, &steps);
            // The fiber still waits in its second switch: deleting it ends its thread.
            DeleteFiber(fiber);
        });
}

TEST(XMacFiber, AFiberDeletedBeforeItRanNeverRuns)
{
    OnRootFiber(
        [](XMacFiber*)
        {
            Steps steps;
            XMacFiber* fiber = CreateFiberEx(0, 4096, 1, &Never, &steps);
            ASSERT_NE(fiber, nullptr);
            DeleteFiber(fiber);
            EXPECT_TRUE(steps.fSteps.empty());
        });
}

TEST(XMacThreadStack, AStackHasAGuardPageBelowIt)
{
    XMacThreadStack stack;
    ASSERT_TRUE(stack.Allocate(1));
    EXPECT_EQ(stack.GetStackSize(), XMacThreadStack::kMinimumStackSize);
    EXPECT_EQ(stack.GetBlockSize(), XMacThreadStack::kMinimumStackSize + mach::PageSize());
    EXPECT_TRUE(IsGuardPage(stack.GetBlockAddress()));
    EXPECT_FALSE(IsGuardPage(stack.GetBlockAddress() + mach::PageSize()));
    stack.Free();
    EXPECT_FALSE(stack.IsAllocated());

    XMacThreadStack large;
    ASSERT_TRUE(large.Allocate(XMacThreadStack::kMinimumStackSize * 2 + 1));
    EXPECT_EQ(large.GetStackSize(), XMacThreadStack::kMinimumStackSize * 2 + mach::PageSize());
    large.Free();
}
