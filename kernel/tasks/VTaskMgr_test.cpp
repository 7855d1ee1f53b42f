#include "kernel/tasks/VTaskMgr.h"

#include "kernel/tasks/VTask.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>

using namespace kova;

TEST(VTaskMgr, ThreadsWithoutTaskGetDistinctStableNegativeIDs)
{
    constexpr int kThreads = 16;
    std::vector<int32_t> firstIDs(kThreads);
    std::vector<int32_t> secondIDs(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
    {
        threads.emplace_back(
            [&, i]
            {
                firstIDs[size_t(i)] = VTaskMgr::GetCurrentTaskID();
                secondIDs[size_t(i)] = VTaskMgr::GetCurrentTaskID();
            });
    }
    for (std::thread& thread : threads)
        thread.join();

    int32_t mainID = VTaskMgr::GetCurrentTaskID();
    EXPECT_LT(mainID, 0);
    EXPECT_EQ(VTaskMgr::GetCurrentTaskID(), mainID);
    std::set<int32_t> distinct{mainID};
    for (int i = 0; i < kThreads; ++i)
    {
        EXPECT_LT(firstIDs[size_t(i)], 0);
        EXPECT_EQ(secondIDs[size_t(i)], firstIDs[size_t(i)]);
        distinct.insert(firstIDs[size_t(i)]);
    }
    EXPECT_EQ(distinct.size(), size_t(kThreads + 1));
}

TEST(VTask, SleepReturnsAtOnceOnAThreadWithoutTask)
{
    auto start = std::chrono::steady_clock::now();
    VTask::Sleep(0);
    VTask::Sleep(-1);
    VTask::Sleep(1000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}
