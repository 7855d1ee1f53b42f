// The update engine's steps in this process, on an engine that is built but never started (the
// test main's process object runs the toolbox): the old bundle's name, the restart command, the
// rename aside with its retries, the wait for the caller on a clock of the test's, the restart
// that cannot start, the log folder it makes.
#include "app/VUpdateEngine.h"

#include "app/UpdaterTesting_test.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/StStringConverter.h"
#include "xml/VLocalizationManager.h"
#include "xml/VUTIManager.h"
#include "platform/mac/app/XMacUpdater.h"
#include "platform/mac/errors/XMacLogFolder.h"
#include "platform/mac/ipc/XPosixProcessLauncher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kova
{
namespace
{

VFilePath FolderPath(const std::string& inPosix)
{
    const std::string path = inPosix + "/";
    return VFilePath(VString(path.data(), path.size(), VTC_UTF_8), FPS_POSIX);
}

std::string PosixOf(const VFilePath& inPath)
{
    VString posix;
    inPath.GetPosixPath(posix);
    return to_string(posix);
}

// The clock and sleep of the engine's waits: a sleep moves the clock on, and may run an action.
struct FakeTime
{
    static inline uint32_t sNow = 0;
    static inline std::vector<int32_t> sSleeps;
    static inline std::function<void()> sOnSleep;

    static uint32_t Clock() { return sNow; }
    static void Sleep(int32_t inMilliseconds)
    {
        sSleeps.push_back(inMilliseconds);
        sNow += uint32_t(inMilliseconds);
        if (sOnSleep)
            sOnSleep();
    }
    static VUpdateEngine::Timing Timing()
    {
        sNow = 0xFFFFF000u; // the elapsed time is an unsigned difference: it survives the wrap
        sSleeps.clear();
        sOnSleep = nullptr;
        VUpdateEngine::Timing timing;
        timing.fClock = Clock;
        timing.fSleep = Sleep;
        return timing;
    }
};

class VUpdateEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fScratch.IsValid());
        MakeBundle(fScratch.Posix("Sample.app"), "1");
        MakeBundle(fScratch.Posix("new/Sample.app"), "2");
        fEngine._SetPaths(FolderPath(fScratch.Posix("Sample.app")),
                          FolderPath(fScratch.Posix("new/Sample.app")));
        fEngine._SetTimingForTesting(FakeTime::Timing());
    }

    StTemporaryFolder fScratch;
    VUpdateEngine fEngine;
};

TEST_F(VUpdateEngineTest, TheOldBundleTakesTheFirstFreeName)
{
    const VString suffix("old");
    VFilePath path;
    EXPECT_TRUE(
        VUpdateEngine::_ComputeTempFolderPath(FolderPath(fScratch.Posix("Sample.app")), path, &suffix));
    EXPECT_EQ(PosixOf(path), fScratch.Posix("Sample_old0001.app/"));
    mkdir(fScratch.Posix("Sample_old0001.app").c_str(), 0755);
    EXPECT_TRUE(
        VUpdateEngine::_ComputeTempFolderPath(FolderPath(fScratch.Posix("Sample.app")), path, &suffix));
    EXPECT_EQ(PosixOf(path), fScratch.Posix("Sample_old0002.app/"));
    EXPECT_TRUE(
        VUpdateEngine::_ComputeTempFolderPath(FolderPath(fScratch.Posix("Sample.app")), path, nullptr));
    EXPECT_EQ(PosixOf(path), fScratch.Posix("Sample0001.app/"));
}

TEST_F(VUpdateEngineTest, TheRestartCommandIsReadBackAsItsArguments)
{
    struct Case
    {
        const char* fApplication;
        const char* fParameters;
        bool fHeadless;
        const char* fCommand;
        std::vector<std::string> fArguments;
    };
    const Case cases[] = {
        {"/Apps/Sample.app", "", false, "open -a \"/Apps/Sample.app/\"", {"open", "-a", "/Apps/Sample.app/"}},
        {"/Apps/Sample.app",
         "/tmp/a b.link",
         true,
         "open -a \"/Apps/Sample.app/\" --args \"/tmp/a b.link\" --headless",
         {"open", "-a", "/Apps/Sample.app/", "--args", "/tmp/a b.link", "--headless"}},
        {"/Apps/Sample.app",
         "",
         true,
         "open -a \"/Apps/Sample.app/\" --args --headless",
         {"open", "-a", "/Apps/Sample.app/", "--args", "--headless"}},
        {"/A \"q\"/b\\c.app",
         "/p\\\"",
         false,
         "open -a \"/A \\\"q\\\"/b\\\\c.app/\" --args \"/p\\\\\\\"\"",
         {"open", "-a", "/A \"q\"/b\\c.app/", "--args", "/p\\\""}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fCommand);
        VFilePath parameters;
        if (*test.fParameters != 0)
            parameters.FromFullPath(VString(test.fParameters), FPS_POSIX);
        fEngine._SetRestartParameters(parameters, test.fHeadless);
        VString command;
        fEngine._BuildRestartCommand(FolderPath(test.fApplication), command);
        EXPECT_EQ(to_string(command), test.fCommand);
        std::vector<VString> arguments;
        XPosixProcessLauncher::_AnalyzeCommandLine(command, arguments);
        std::vector<std::string> texts;
        for (const VString& argument : arguments)
            texts.push_back(to_string(argument));
        EXPECT_EQ(texts, test.fArguments);
    }
}

TEST_F(VUpdateEngineTest, ARenameThatSucceedsOnARetryLeavesNoError)
{
    if (!SetReadOnly(fScratch.Posix(), true))
        GTEST_SKIP() << "the folder cannot be made read-only here";
    // Writable again during the second wait: the third attempt succeeds.
    FakeTime::sOnSleep = [this]
    {
        if (FakeTime::sSleeps.size() == 2)
            SetReadOnly(fScratch.Posix(), false);
    };
    StErrorContextInstaller errors(false, true);
    VFolder outdated(FolderPath(fScratch.Posix("Sample.app")));
    VFolder upToDate(FolderPath(fScratch.Posix("new/Sample.app")));
    VFolder install(FolderPath(fScratch.Posix("Sample.app")));
    VFolder* old = fEngine._SwapApplications(outdated, upToDate, install);
    SetReadOnly(fScratch.Posix(), false);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(PosixOf(old->GetPath()), fScratch.Posix("Sample_old0001.app/"));
    old->Release();
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
    EXPECT_EQ(FakeTime::sSleeps, (std::vector<int32_t>{3000, 3000}));
    EXPECT_EQ(TreeOf(fScratch.Posix("Sample.app")), TreeOf(fScratch.Posix("new/Sample.app")));
}

TEST_F(VUpdateEngineTest, FiveFailedRenamesLeaveFourRetryErrors)
{
    if (!SetReadOnly(fScratch.Posix(), true))
        GTEST_SKIP() << "the folder cannot be made read-only here";
    const std::vector<std::string> before = TreeOf(fScratch.Posix("Sample.app"));
    StErrorContextInstaller errors(false, true);
    VFolder outdated(FolderPath(fScratch.Posix("Sample.app")));
    VFolder upToDate(FolderPath(fScratch.Posix("new/Sample.app")));
    VFolder install(FolderPath(fScratch.Posix("Sample.app")));
    EXPECT_EQ(fEngine._SwapApplications(outdated, upToDate, install), nullptr);
    SetReadOnly(fScratch.Posix(), false);
    EXPECT_EQ(FakeTime::sSleeps, std::vector<int32_t>(4, 3000));
    // Each retry's error follows the attempt after it: r1 r2 11 r3 11 r4 11 r5 11.
    VErrorContext* context = errors.GetContext();
    std::vector<bool> isRetryError;
    for (size_t i = 1; i <= context->GetErrorCount(); ++i)
        isRetryError.push_back(context->GetNthError(i)->GetError() == VE_UPDATER_RENAME_ASIDE_FAILED);
    ASSERT_GE(isRetryError.size(), 9u);
    EXPECT_EQ(std::count(isRetryError.begin(), isRetryError.end(), true), 4);
    EXPECT_TRUE(isRetryError.back());
    EXPECT_FALSE(isRetryError[0]);
    EXPECT_FALSE(isRetryError[1]);
    const VErrorBase* retry = context->GetLast();
    VString source;
    retry->GetBag()->GetString("srcPath", source);
    EXPECT_EQ(to_string(source), to_string(FolderPath(fScratch.Posix("Sample.app")).GetPath()));
    EXPECT_EQ(TreeOf(fScratch.Posix("Sample.app")), before);
}

TEST_F(VUpdateEngineTest, ACallerThatStaysIsWaitedForSixtySeconds)
{
    // This process is a caller that never quits.
    fEngine._SetCallerPid(getpid());
    StErrorContextInstaller errors(false, true);
    EXPECT_FALSE(fEngine._WaitForPidToQuit());
    EXPECT_EQ(FakeTime::sSleeps, std::vector<int32_t>(120, 500));
    EXPECT_EQ(errors.GetLastError(), VE_UPDATER_WAIT_FAILED);
}

TEST_F(VUpdateEngineTest, AZombieCallerHasQuit)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    siginfo_t info = {};
    ASSERT_EQ(waitid(P_PID, child, &info, WEXITED | WNOWAIT), 0); // ended, not reaped
    fEngine._SetCallerPid(child);
    StErrorContextInstaller errors(false, true);
    EXPECT_TRUE(fEngine._WaitForPidToQuit());
    EXPECT_EQ(FakeTime::sSleeps, (std::vector<int32_t>{500, 1000})); // one look, then the grace
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
    waitpid(child, nullptr, 0);
}

TEST_F(VUpdateEngineTest, AnotherUpdateOfTheFolderIsWaitedForTenMinutesAtMost)
{
    // Another update of an application of this folder holds its turn: this process's own lock,
    // through another open of the folder.
    const int other = open(fScratch.Posix().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    {
        StErrorContextInstaller errors(false, true);
        XMacUpdateTurn turn(FolderPath(fScratch.Posix("Sample.app")));
        EXPECT_FALSE(fEngine._WaitForTurn(turn));
        EXPECT_EQ(FakeTime::sSleeps, std::vector<int32_t>(1200, 500));
        EXPECT_EQ(errors.GetLastError(), VE_UPDATER_OTHER_UPDATE_RUNS);
    }
    // The other update ends during the third wait; the turn is then held until it goes.
    FakeTime::sSleeps.clear();
    FakeTime::sOnSleep = [other]
    {
        if (FakeTime::sSleeps.size() == 3)
            flock(other, LOCK_UN);
    };
    {
        StErrorContextInstaller errors(false, true);
        XMacUpdateTurn turn(FolderPath(fScratch.Posix("Sample.app")));
        EXPECT_TRUE(fEngine._WaitForTurn(turn));
        EXPECT_EQ(FakeTime::sSleeps, std::vector<int32_t>(3, 500));
        EXPECT_TRUE(errors.GetContext()->IsEmpty());
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    }
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);

    // Where no turn can be taken, the update goes on at once.
    FakeTime::sSleeps.clear();
    StErrorContextInstaller errors(false, true);
    XMacUpdateTurn nowhere(FolderPath(fScratch.Posix("missing/Sample.app")));
    EXPECT_TRUE(fEngine._WaitForTurn(nowhere));
    EXPECT_TRUE(FakeTime::sSleeps.empty());
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
}

TEST_F(VUpdateEngineTest, ARestartThatCannotStartFails)
{
    const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "";
    setenv("PATH", fScratch.Posix().c_str(), 1);
    StErrorContextInstaller errors(false, true);
    const bool launched = fEngine._LaunchApplication(FolderPath(fScratch.Posix("Sample.app")));
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(launched);
    EXPECT_EQ(errors.GetLastError(), VE_UPDATER_RESTART_FAILED);
}

TEST_F(VUpdateEngineTest, TheLogFolderItMakesKeepsTheLogOnceItsPathIsSwappedForALink)
{
    // A user who may write where the log folder is made swaps the folders the updater made for a
    // link to a folder of theirs as soon as the last one is made: the log file is still made in
    // the updater's folder, never in theirs.
    static std::string sLogs;
    static std::string sElsewhere;
    StTemporaryFolder elsewhere;
    std::filesystem::create_directory(elsewhere.Posix("run"));
    sLogs = fScratch.Posix("logs");
    sElsewhere = elsewhere.Posix();
    XMacLogFolder::SetFolderMadeHookForTesting(
        [](const std::string& inPath)
        {
            if (inPath != sLogs + "/run")
                return;
            std::filesystem::rename(sLogs, sLogs + "-made");
            std::filesystem::create_directory_symlink(sElsewhere, sLogs);
        });
    fEngine._SetLogFolder(FolderPath(fScratch.Posix("logs/run")));
    StErrorContextInstaller errors(false, true);
    const bool started = fEngine._InitLog();
    XMacLogFolder::SetFolderMadeHookForTesting(nullptr);
    fEngine._DeInitLog();
    EXPECT_TRUE(started);
    EXPECT_EQ(NamesIn(elsewhere.Posix("run")), std::vector<std::string>{});
    EXPECT_EQ(NamesIn(fScratch.Posix("logs-made/run")).size(), 1u);
}

TEST(VUpdateEngineLocalization, TheManagerIsUnregisteredEverywhereBeforeItGoes)
{
    const OsType components[] = {kCOMPONENT_KOVA, FourCharCode("xmlc"), FourCharCode("PW32"),
                                 kCOMPONENT_UPDATER};
    for (OsType component : components)
        ASSERT_EQ(VErrorBase::GetLocalizer(component), nullptr);
    {
        VUpdateEngine engine;
        EXPECT_TRUE(engine._InitLocalizationManager());
        ILocalizer* manager = engine.GetLocalizer();
        ASSERT_NE(manager, nullptr);
        for (OsType component : components)
            EXPECT_EQ(VErrorBase::GetLocalizer(component), manager);
        EXPECT_EQ(static_cast<ILocalizer*>(VUTIManager::GetUTIManager()->GetLocalizationManager()), manager);
    }
    for (OsType component : components)
        EXPECT_EQ(VErrorBase::GetLocalizer(component), nullptr);
    EXPECT_EQ(VUTIManager::GetUTIManager()->GetLocalizationManager(), nullptr);
}

} // namespace
} // namespace kova
