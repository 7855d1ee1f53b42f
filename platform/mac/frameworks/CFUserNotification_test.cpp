#include "platform/mac/frameworks/CFUserNotification.h"

#include "kernel/text/IntlTesting_test.h"
#include "platform/mac/frameworks/BundleTesting_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace kova::cf
{
namespace
{

using testing_support::StTemporaryFolder;

UserNotificationDescription YesNoCancel()
{
    UserNotificationDescription description;
    description.fHeader = "Header";
    description.fMessage = "Message";
    description.fButtons = {{"Yes", 3}, {"No", 4}, {"Cancel", 2}};
    description.fDismissedAnswer = 8;
    return description;
}

std::vector<std::string> Lines(const std::string& inPath)
{
    std::ifstream file(inPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// A desktop session whose zenity is a script: it records its arguments, prints
// FAKE_ZENITY_PRINT and exits with FAKE_ZENITY_EXIT, or waits when FAKE_ZENITY_WAIT is set.
class ZenityAlert : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string script = fFolder.WriteFile(
            "bin/zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + fArguments +
                              "\"\n[ -n \"$FAKE_ZENITY_PRINT\" ] && echo \"$FAKE_ZENITY_PRINT\"\n"
                              "[ -n \"$FAKE_ZENITY_WAIT\" ] && exec sleep 60\nexit ${FAKE_ZENITY_EXIT:-0}\n");
        ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    }

    int32_t Ask(std::initializer_list<std::pair<const char*, const char*>> inEnvironment)
    {
        StEnvironment environment(inEnvironment);
        UserNotification* notification = UserNotificationCreate(YesNoCancel());
        EXPECT_NE(notification, nullptr);
        int32_t answer = UserNotificationReceiveResponse(notification);
        UserNotificationRelease(notification);
        return answer;
    }

    StTemporaryFolder fFolder;
    std::string fArguments = fFolder.GetPath() + "/arguments";
    std::string fLog = fFolder.GetPath() + "/alerts.jsonl";
    std::string fPath = fFolder.GetPath() + "/bin:/usr/bin:/bin";
    StEnvironment fSession{{"DISPLAY", ":0"},
                           {"PATH", fPath.c_str()},
                           {"KOVA_NOTIFICATION_ANSWER", nullptr},
                           {"KOVA_NOTIFICATION_LOG", fLog.c_str()}};
};

TEST_F(ZenityAlert, TheDialogsResultPicksTheButton)
{
    EXPECT_EQ(Ask({{"FAKE_ZENITY_EXIT", "0"}}), 3);
    EXPECT_EQ(Lines(fArguments),
              (std::vector<std::string>{"--question", "--no-markup", "--title=Header", "--text=Message",
                                        "--ok-label=Yes", "--cancel-label=No", "--extra-button=Cancel"}));
    EXPECT_EQ(Ask({{"FAKE_ZENITY_EXIT", "1"}}), 4);
    EXPECT_EQ(Ask({{"FAKE_ZENITY_EXIT", "1"}, {"FAKE_ZENITY_PRINT", "Cancel"}}), 2);
    EXPECT_EQ(Ask({{"FAKE_ZENITY_EXIT", "5"}}), 8);
    // The answer given in the environment comes first: nothing is shown.
    std::remove(fArguments.c_str());
    EXPECT_EQ(Ask({{"KOVA_NOTIFICATION_ANSWER", "No"}}), 4);
    EXPECT_FALSE(std::ifstream(fArguments).good());
    EXPECT_EQ(Lines(fLog).size(), 5u);
    EXPECT_EQ(Lines(fLog)[2],
              R"({"title":"Header","message":"Message","buttons":["Yes","No","Cancel"],"answer":2})");
}

TEST_F(ZenityAlert, APendingAlertIsAnsweredOnceOrDismissedWhenCancelled)
{
    StEnvironment wait{{"FAKE_ZENITY_WAIT", "1"}};
    UserNotification* notification = UserNotificationCreate(YesNoCancel());
    ASSERT_NE(notification, nullptr);
    std::atomic<int32_t> answered{-1};
    UserNotificationNotifyWhenAnswered(
        notification,
        [](UserNotification*, int32_t inAnswer, void* inInfo)
        { static_cast<std::atomic<int32_t>*>(inInfo)->store(inAnswer); },
        &answered);
    EXPECT_EQ(answered.load(), -1);
    UserNotificationCancel(notification);
    EXPECT_EQ(UserNotificationReceiveResponse(notification), 8);
    while (answered.load() == -1)
        std::this_thread::yield();
    EXPECT_EQ(answered.load(), 8);
    UserNotificationRelease(notification);
    EXPECT_EQ(Lines(fLog).size(), 1u);
}

TEST(UserNotification, WithoutZenityADesktopSessionIsAnsweredAtOnce)
{
    StTemporaryFolder folder;
    StEnvironment environment{{"DISPLAY", ":0"},
                              {"PATH", folder.GetPath().c_str()},
                              {"KOVA_NOTIFICATION_ANSWER", nullptr},
                              {"KOVA_NOTIFICATION_LOG", nullptr}};
    UserNotification* notification = UserNotificationCreate(YesNoCancel());
    ASSERT_NE(notification, nullptr);
    EXPECT_EQ(UserNotificationReceiveResponse(notification), 3);
    UserNotificationRelease(notification);
    EXPECT_EQ(UserNotificationCreate(UserNotificationDescription()), nullptr);
}

} // namespace
} // namespace kova::cf
