// What the test main offers the tests: a child process in which the test main made no process
// object, for the tests of start-up and shut-down, which bring up their own.
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace kova::testing_support
{

// Set in a child's environment: the test main there makes no process object.
inline constexpr const char* kNoProcessVariable = "KOVA_TEST_WITHOUT_PROCESS";

// In the child: runs the body and exits, 0 when it failed nothing. The child reports to no
// listener: its failures are gathered and told on the standard error stream, which the parent
// shows.
[[noreturn]] inline void RunChildBodyAndExit(const std::function<void()>& inBody)
{
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
        inBody();
    }
    int failures = 0;
    for (int i = 0; i < results.size(); ++i)
    {
        const testing::TestPartResult& result = results.GetTestPartResult(i);
        if (result.failed())
        {
            ++failures;
            std::fprintf(stderr, "%s:%d: %s\n", result.file_name() != nullptr ? result.file_name() : "?",
                         result.line_number(), result.summary());
        }
    }
    std::exit(failures == 0 ? 0 : 1);
}

// Runs the body in a death test's child without process object; the test fails unless the body
// returns without a failure of its own (whose message the child prints). Call it from the test
// body itself: the child runs the test again up to here.
inline void RunInFreshProcess(const std::function<void()>& inBody)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv(kNoProcessVariable, "1", 1);
    EXPECT_EXIT(RunChildBodyAndExit(inBody), testing::ExitedWithCode(0), "");
    unsetenv(kNoProcessVariable);
}

} // namespace kova::testing_support
