#include "kernel/errors/VDebugMgr.h"

#include "kernel/errors/IDebugMessageHandler.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VNotificationDebugMessageHandler.h"
#include "kernel/tasks/ProcessTesting_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

constexpr VError kA = MakeKovaError(1001);
constexpr VError kB = MakeKovaError(1002);

// A handler that gives the answers it is told, and counts what it is asked.
class VScriptedHandler : public VObject, public IDebugMessageHandler
{
public:
    EDebugAction AssertFailed(VDebugContext&, const char*, const char*, int inLine) override
    {
        fAsked.push_back(inLine);
        return fAnswer;
    }
    EDebugAction ErrorThrown(VDebugContext&, VErrorBase* inError) override
    {
        fAsked.push_back(int(NumberOfError(inError->GetError())));
        if (fOnError)
            fOnError();
        return fAnswer;
    }

    EDebugAction fAnswer = EDA_Continue;
    std::vector<int> fAsked;
    std::function<void()> fOnError;
};

// A process with a started logger and a listener; the test flushes it.
class DebugMgrTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fLogger = fProcess.GetLogger();
        fLogger->_SetFlushPeriodForTesting(60000);
        ASSERT_TRUE(fLogger->AddLogListener(fListener.Get()));
        fManager.Init();
    }
    void TearDown() override { fLogger->RemoveLogListener(fListener.Get()); }

    // Lets the manager handle a new error of the code, on the calling task.
    void Throw(VError inError)
    {
        VRefPtr<VErrorBase> error(new VErrorBase(inError));
        fManager.ErrorThrown(error.Get());
    }
    std::vector<std::string> Logged()
    {
        fLogger->Flush();
        return fListener->Messages();
    }

    StTestProcess fProcess;
    VLogger* fLogger = nullptr;
    VRefPtr<VRecordingListener> fListener{new VRecordingListener};
    VDebugMgr fManager;
};

TEST_F(DebugMgrTest, APushedErrorBecomesOneErrorRecordAndNothingElse)
{
    VDebugMgr* manager = VDebugMgr::Get();
    manager->Init();
    testing::internal::CaptureStderr();
    RunOnTask(
        []
        {
            _ThrowError(kA);
            StErrorContextInstaller silent(true, true);
            _ThrowError(kB); // silent: not reported now, logged when the scope merges
        });
    manager->DeInit();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::vector<VRecordingListener::Record> records = (Logged(), fListener->Records());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fMessage, "Error code: 1001 (kova)");
    EXPECT_EQ(records[0].fLevel, EML_Error);
    EXPECT_EQ(records[1].fMessage, "Error code: 1002 (kova)");
}

TEST_F(DebugMgrTest, AnErrorRaisedWhileOneIsHandledIsLeftAlone)
{
    VRefPtr<VScriptedHandler> handler(new VScriptedHandler);
    handler->fOnError = [this] { Throw(kB); };
    fManager.SetDebugMessageHandler(handler.Get());
    Throw(kA);
    EXPECT_EQ(handler->fAsked, std::vector<int>{1001});
    EXPECT_EQ(Logged(), std::vector<std::string>{"Error code: 1001 (kova)"});
}

TEST_F(DebugMgrTest, IgnoredErrorsSkipTheLoggerFromThenOn)
{
    VRefPtr<VScriptedHandler> handler(new VScriptedHandler);
    fManager.SetDebugMessageHandler(handler.Get());
    handler->fAnswer = EDA_Ignore;
    Throw(kA);
    handler->fAnswer = EDA_Continue;
    Throw(kA);
    Throw(kB);
    EXPECT_EQ(handler->fAsked, (std::vector<int>{1001, 1002}));
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Error code: 1001 (kova)", "Error code: 1002 (kova)"}));

    handler->fAnswer = EDA_IgnoreAll;
    Throw(kB);
    Throw(kB);
    Throw(MakeKovaError(1003));
    EXPECT_EQ(handler->fAsked.size(), 3u);
    EXPECT_EQ(Logged().size(), 3u);
}

TEST_F(DebugMgrTest, LowLevelModeAndDisabledMessagesLeaveErrorsAlone)
{
    fManager.StartLowLevelMode();
    Throw(kA);
    fManager.StopLowLevelMode();
    fManager.SetMessagesEnabled(false);
    Throw(kA);
    EXPECT_TRUE(Logged().empty());
    fManager.SetMessagesEnabled(true);
    Throw(kA);
    EXPECT_EQ(Logged().size(), 1u);
}

TEST_F(DebugMgrTest, AnIgnoredAssertionIsThatFileAndLineOnly)
{
    fLogger->WithAssert(true);
    VRefPtr<VScriptedHandler> handler(new VScriptedHandler);
    fManager.SetDebugMessageHandler(handler.Get());
    handler->fAnswer = EDA_Ignore;
    EXPECT_FALSE(fManager.AssertFailed("a", "file.cpp", 10));
    handler->fAnswer = EDA_Break;
    EXPECT_FALSE(fManager.AssertFailed("a", "file.cpp", 10));
    EXPECT_TRUE(fManager.AssertFailed("b", "file.cpp", 11));
    EXPECT_TRUE(fManager.AssertFailed("c", "other.cpp", 10));
    EXPECT_EQ(handler->fAsked, (std::vector<int>{10, 11, 10}));
    EXPECT_EQ(Logged(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(DebugMgrTest, AnAssertionOffATaskOrWithMessagesOffOnlyAnswersTheBreakFlag)
{
    fLogger->WithAssert(true);
    fManager.SetBreakOnAssert(true);
    bool answer = false;
    std::thread([&] { answer = fManager.AssertFailed("off task", "f.cpp", 1); }).join();
    EXPECT_TRUE(answer);
    fManager.SetMessagesEnabled(false);
    EXPECT_TRUE(fManager.AssertFailed("disabled", "f.cpp", 2));
    EXPECT_TRUE(Logged().empty());
}

TEST_F(DebugMgrTest, DebugMessagesAreDebugRecords)
{
    fManager.DebugMsg(VString("hidden\n"));
    EXPECT_TRUE(Logged().empty());
    fLogger->WithDebug(true);
    fManager.DebugMsg(VString("shown\n"));
    std::vector<VRecordingListener::Record> records = (Logged(), fListener->Records());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fMessage, "shown");
    EXPECT_EQ(records[0].fLevel, EML_Debug);
}

TEST(DebugMgrDeathTest, QuittingAnswersAndAbortNeverEndWithSuccess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto quitOnError = [](EDebugAction inAnswer)
    {
        VDebugMgr manager;
        manager.Init();
        VRefPtr<VScriptedHandler> handler(new VScriptedHandler);
        handler->fAnswer = inAnswer;
        manager.SetDebugMessageHandler(handler.Get());
        VRefPtr<VErrorBase> error(new VErrorBase(kA));
        manager.ErrorThrown(error.Get());
    };
    EXPECT_EXIT(quitOnError(EDA_Abort), testing::ExitedWithCode(EXIT_FAILURE), "");
    EXPECT_EXIT(VDebugMgr::Get()->Abort(), testing::ExitedWithCode(EXIT_FAILURE), "");
    // Breaking without a debugger attached goes on: the trap would end the process.
    EXPECT_EXIT(
        {
            quitOnError(EDA_Break);
            std::exit(7);
        },
        testing::ExitedWithCode(7), "");
}

TEST(VNotificationDebugMessageHandlerTest, AsksThroughAnAlertUnlessAlertsAreSuppressed)
{
    std::string log = testing::TempDir() + "notification-handler-" + std::to_string(getpid()) + ".jsonl";
    std::remove(log.c_str());
    VRefPtr<VNotificationDebugMessageHandler> handler(new VNotificationDebugMessageHandler);
    VDebugContext context;
    struct Case
    {
        const char* fAnswer;
        EDebugAction fAction;
    };
    for (const Case& test :
         {Case{"Retry", EDA_Continue}, Case{"Ignore", EDA_Ignore}, Case{"Abort", EDA_Break}})
    {
        StEnvironment environment{{"KOVA_NOTIFICATION_LOG", log.c_str()},
                                  {"KOVA_NOTIFICATION_ANSWER", test.fAnswer}};
        EXPECT_EQ(handler->AssertFailed(context, "x > 0", "f.cpp", 3), test.fAction) << test.fAnswer;
    }
    {
        StEnvironment environment{{"KOVA_NOTIFICATION_LOG", log.c_str()},
                                  {"KOVA_NOTIFICATION_ANSWER", "Retry"}};
        VRefPtr<VErrorBase> error(new VErrorBase(kA));
        EXPECT_EQ(handler->ErrorThrown(context, error.Get()), EDA_Continue);
        context.DisableAlerts();
        EXPECT_EQ(handler->ErrorThrown(context, error.Get()), EDA_Continue);
    }
    std::ifstream lines(log);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);)
        shown.push_back(line);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "{\"title\":\"Assert Failed\",\"message\":\"Condition: x > 0\\nFile: f.cpp, 3\","
                        "\"buttons\":[\"Retry\",\"Ignore\",\"Abort\"],\"answer\":6}");
    EXPECT_NE(shown[3].find("\"title\":\"Error Thrown\",\"message\":\"Error: Error code: 1001 (kova)\\n"),
              std::string::npos);
    std::remove(log.c_str());
}

} // namespace
} // namespace kova
