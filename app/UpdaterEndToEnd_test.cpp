// The real updater, run as its own process over bundles in a scratch folder: what it prints, logs,
// notifies and leaves on disk, and its exit status, on the success road and each failure road,
// and the application's safety when the copy fails, the disk is full, the destination is
// read-only, the updater is killed half-way or the caller never quits.
#include "app/UpdaterTesting_test.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/UnprivilegedTesting_test.h"
#include "kernel/text/StStringConverter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/fs.h>
#include <map>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kova
{
namespace
{

const std::string kBin = KOVA_APP_BIN;
const std::string kSampleBin = KOVA_SAMPLE_BIN;

struct Outcome
{
    int fStatus = -1;
    std::string fOut;
    std::string fErr;
};

// How long a run, or something a run does, is waited for: only a hung one takes so long, even on a
// machine whose every core is busy, where a run under the sanitizers may wait many seconds for its
// turn.
constexpr int kHungRunSeconds = 120;

// Polls the condition until it holds; false after a limit that only a hung run reaches.
template <class Condition>
bool PollUntil(Condition inHolds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kHungRunSeconds);
    while (!inHolds())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A child of the test, reaped at the end of the scope unless it was waited for.
class StChild
{
public:
    StChild(const std::vector<std::string>& inArguments,
            const std::map<std::string, std::string>& inEnvironment, const std::string& inOut = "/dev/null",
            const std::string& inErr = "/dev/null")
    {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry)
        {
            const std::string text(*entry);
            const std::string name = text.substr(0, text.find('='));
            if (inEnvironment.count(name) == 0 && name != "DISPLAY" && name != "WAYLAND_DISPLAY")
                environment.push_back(text);
        }
        for (const auto& [name, value] : inEnvironment)
            environment.push_back(name + "=" + value);
        std::vector<char*> argv;
        for (const std::string& argument : inArguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, inOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, inErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&fPid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            fPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~StChild()
    {
        if (fPid > 0 && !fReaped)
        {
            kill(fPid, SIGKILL);
            waitpid(fPid, nullptr, 0);
        }
    }
    pid_t Pid() const { return fPid; }
    // The exit status, or -1 when it had to be killed after the time-out.
    int Wait(int inSeconds = kHungRunSeconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(inSeconds);
        int status = 0;
        while (waitpid(fPid, &status, WNOHANG) == 0)
        {
            if (std::chrono::steady_clock::now() > deadline)
            {
                kill(fPid, SIGKILL);
                waitpid(fPid, &status, 0);
                fReaped = true;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        fReaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Waits until the child stopped itself (state T); false after the time-out.
    bool WaitStopped()
    {
        return PollUntil(
            [this]
            {
                const std::string stat = ReadFileBytes("/proc/" + std::to_string(fPid) + "/stat");
                const size_t close = stat.rfind(')');
                return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'T';
            });
    }
    // The exit status once the child ends, continued each time it stops itself; -1 when it had to
    // be killed after the time-out.
    int WaitContinuing(int inSeconds = kHungRunSeconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(inSeconds);
        for (;;)
        {
            int status = 0;
            const pid_t changed = waitpid(fPid, &status, WNOHANG | WUNTRACED);
            if (changed == fPid && !WIFSTOPPED(status))
            {
                fReaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (changed == fPid)
                kill(fPid, SIGCONT);
            if (changed < 0 || std::chrono::steady_clock::now() > deadline)
            {
                kill(fPid, SIGKILL);
                waitpid(fPid, nullptr, 0);
                fReaped = true;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Leaves the child unreaped, a zombie once it ends.
    void Forget() { fReaped = true; }

private:
    pid_t fPid = -1;
    bool fReaped = false;
};

// The children started in the scope write no core file.
class StNoCoreFiles
{
public:
    StNoCoreFiles()
    {
        getrlimit(RLIMIT_CORE, &fSaved);
        const struct rlimit none = {0, fSaved.rlim_max};
        setrlimit(RLIMIT_CORE, &none);
    }
    ~StNoCoreFiles() { setrlimit(RLIMIT_CORE, &fSaved); }
    StNoCoreFiles(const StNoCoreFiles&) = delete;
    StNoCoreFiles& operator=(const StNoCoreFiles&) = delete;

private:
    struct rlimit fSaved = {};
};

int CountStartingWith(const std::vector<std::string>& inMessages, const std::string& inPrefix)
{
    return int(std::count_if(inMessages.begin(), inMessages.end(),
                             [&](const std::string& inMessage)
                             { return inMessage.rfind(inPrefix, 0) == 0; }));
}

// The folder path of a bundle as the updater's errors carry it.
std::string ErrorPathOf(const std::string& inPosix)
{
    const std::string folder = inPosix + "/";
    return to_string(VFilePath(VString(folder.data(), folder.size(), VTC_UTF_8), FPS_POSIX).GetPath());
}

std::string NoBundleSentence(const std::string& inPosix)
{
    return "The up-to-date application " + ErrorPathOf(inPosix) +
           " is not an application bundle: it holds no Contents folder.";
}

std::string LinkSentence(const std::string& inPosix)
{
    return "The outdated application " + ErrorPathOf(inPosix) +
           " is a symbolic link; the updater replaces only a real application folder.";
}

class UpdaterEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fScratch.IsValid());
        mkdir(fScratch.Posix("apps").c_str(), 0755);
        mkdir(fScratch.Posix("new").c_str(), 0755);
        fOutdated = fScratch.Posix("apps/Sample.app");
        fUpToDate = fScratch.Posix("new/Sample.app");
        MakeSampleBundle(fOutdated, "1");
        MakeSampleBundle(fUpToDate, "2");
        fOldTree = TreeOf(fOutdated);
        fNewTree = TreeOf(fUpToDate);
        fEnvironment = {{"XDG_DATA_HOME", fScratch.Posix("data")},
                        {"KOVA_SAMPLE_RECORD", fScratch.Posix("record.txt")},
                        {"KOVA_NOTIFICATION_LOG", fScratch.Posix("notifications.txt")},
                        // A caller that quits is waited for as long as only a hung run would be.
                        {"KOVA_TEST_UPDATER_WAITS", "5,5,5,120000"},
                        {"LANG", "en_US.UTF-8"},
                        {"LANGUAGE", "en_US"},
                        {"TZ", "UTC"}};
    }

    static void MakeSampleBundle(const std::string& inPath, const std::string& inVersion)
    {
        MakeBundle(inPath, inVersion);
        std::filesystem::copy_file(kSampleBin + "/sample_v" + inVersion, inPath + "/Contents/MacOS/Sample",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    std::vector<std::string> Arguments(std::vector<std::string> inMore,
                                       const std::string& inLogs = "logs") const
    {
        std::vector<std::string> arguments{kBin + "/updater", "--log-dir=" + fScratch.Posix(inLogs)};
        arguments.insert(arguments.end(), inMore.begin(), inMore.end());
        return arguments;
    }

    Outcome Run(const std::vector<std::string>& inArguments)
    {
        StChild updater(inArguments, fEnvironment, fScratch.Posix("out.txt"), fScratch.Posix("err.txt"));
        Outcome outcome;
        outcome.fStatus = updater.Wait();
        outcome.fOut = ReadFileBytes(fScratch.Posix("out.txt"));
        outcome.fErr = ReadFileBytes(fScratch.Posix("err.txt"));
        return outcome;
    }

    // A run that stops once the updater has named its log, before it opens it: inPlant is given
    // the log's base names ("YYYY-MM-DD_hh-mm-ss_log") of every second the name can be of, and
    // plants what it will in the log folder before the run goes on.
    Outcome RunPlanting(const std::vector<std::string>& inArguments,
                        const std::function<void(const std::vector<std::string>&)>& inPlant)
    {
        std::map<std::string, std::string> environment = fEnvironment;
        environment["KOVA_TEST_UPDATER_STOP_AT_LOG"] = "1";
        const time_t first = WallSeconds();
        StChild updater(inArguments, environment, fScratch.Posix("out.txt"), fScratch.Posix("err.txt"));
        Outcome outcome;
        if (!updater.WaitStopped())
        {
            ADD_FAILURE() << "the updater never stopped at its log";
            return outcome;
        }
        std::vector<std::string> names;
        for (time_t second = first, last = WallSeconds(); second <= last; ++second)
        {
            // The updater runs with TZ=UTC.
            struct tm universal = {};
            gmtime_r(&second, &universal);
            char name[64];
            strftime(name, sizeof(name), "%Y-%m-%d_%H-%M-%S_log", &universal);
            names.push_back(name);
        }
        inPlant(names);
        kill(updater.Pid(), SIGCONT);
        outcome.fStatus = updater.Wait();
        outcome.fOut = ReadFileBytes(fScratch.Posix("out.txt"));
        outcome.fErr = ReadFileBytes(fScratch.Posix("err.txt"));
        return outcome;
    }

    // The wall clock's second, as the updater reads it for its log's name.
    static time_t WallSeconds()
    {
        struct timespec now = {};
        clock_gettime(CLOCK_REALTIME, &now);
        return now.tv_sec;
    }

    Outcome Update(std::vector<std::string> inMore = {})
    {
        inMore.push_back(fOutdated);
        inMore.push_back(fUpToDate);
        return Run(Arguments(inMore));
    }

    // The updater's own messages in the log, in order; never empty, so that a test may read the
    // last one even of a run that was killed before it wrote any.
    std::vector<std::string> LogMessages(const std::string& inLogs = "logs") const
    {
        std::vector<std::string> messages;
        const std::vector<std::string> files = NamesIn(fScratch.Posix(inLogs));
        if (files.size() != 1)
            return {"log files: " + std::to_string(files.size())};
        std::istringstream lines(ReadFileBytes(fScratch.Posix(inLogs + "/" + files[0])));
        for (std::string line; std::getline(lines, line);)
        {
            const size_t dash = line.find(" - ");
            if (line.find("QLUP] ") == std::string::npos || dash == std::string::npos || line.size() < 3 ||
                line.compare(line.size() - 3, 3, " ()") != 0)
                continue;
            const size_t level = line.rfind(' ', dash - 1);
            messages.push_back(line.substr(level + 1, dash - level - 1) + " " +
                               line.substr(dash + 3, line.size() - 3 - dash - 3));
        }
        if (messages.empty())
            messages.push_back("no message in " + files[0]);
        return messages;
    }

    // Dates and times are left out.
    static std::vector<std::string> WithoutTimes(std::vector<std::string> inMessages)
    {
        for (std::string& message : inMessages)
        {
            for (const char* prefix : {"Updater starting - ", "Update successful - ", "Update failed - "})
            {
                if (message.find(prefix) != std::string::npos)
                    message = message.substr(0, message.find(prefix) + std::strlen(prefix) - 3);
            }
        }
        return inMessages;
    }

    std::string Record() const
    {
        std::string record;
        PollUntil(
            [&]
            {
                // Whole once its line ends.
                record = ReadFileBytes(fScratch.Posix("record.txt"));
                return !record.empty() && record.back() == '\n';
            });
        return record;
    }

    // The application is whole: at its path, or aside under its old name with nothing at its path.
    void ExpectRecoverable() const
    {
        const std::string aside = fScratch.Posix("apps/Sample_old0001.app");
        EXPECT_EQ(TreeOf(fUpToDate), fNewTree) << "the up-to-date bundle changed";
        const bool installed = std::filesystem::exists(fOutdated);
        const bool setAside = std::filesystem::exists(aside);
        ASSERT_TRUE(installed || setAside) << "no bundle left";
        if (installed)
        {
            const std::vector<std::string> tree = TreeOf(fOutdated);
            EXPECT_TRUE(tree == fOldTree || (tree == fNewTree && setAside)) << "a partial bundle at the path";
        }
        if (setAside)
        {
            EXPECT_EQ(TreeOf(aside), fOldTree);
        }
    }

    // An update killed with SIGKILL where the copy stops at the point ("STOP:N").
    void KillDuringCopy(const std::string& inPoint)
    {
        fEnvironment["KOVA_TEST_COPY_FAULT"] = inPoint;
        StChild updater(Arguments({fOutdated, fUpToDate}), fEnvironment);
        ASSERT_TRUE(updater.WaitStopped());
        kill(updater.Pid(), SIGKILL);
        updater.Wait();
    }

    // A small tmpfs mounted in the outdated bundle at Contents/Resources/mounted, which the test
    // names; false when it cannot be (without root, or without tmpfs). Wherever the update moves
    // it, it is unmounted before the scratch folder goes.
    bool MountInOutdatedBundle(std::string& outMounted)
    {
        outMounted = fOutdated + "/Contents/Resources/mounted";
        if (geteuid() != 0 || mkdir(outMounted.c_str(), 0755) != 0 ||
            mount("tmpfs", outMounted.c_str(), "tmpfs", 0, "size=64k") != 0)
            return false;
        fMounts = {outMounted, fScratch.Posix("apps/Sample_old0001.app/Contents/Resources/mounted")};
        return true;
    }

    // The run was refused before the wait for the caller, its log holding a line that begins with
    // the error's sentence, and nothing moved: the scratch folders hold what they held (links, the
    // old bundle's name and the hidden name of a copy would show), and nothing went to the trash.
    void ExpectRefusedBeforeAnythingMoved(const Outcome& inOutcome, const std::vector<std::string>& inApps,
                                          const std::vector<std::string>& inUpdates,
                                          const std::string& inSentence) const
    {
        EXPECT_EQ(inOutcome.fStatus, 2) << inOutcome.fErr;
        EXPECT_TRUE(TreeOf(fScratch.Posix("apps")) == inApps);
        EXPECT_TRUE(TreeOf(fScratch.Posix("new")) == inUpdates);
        EXPECT_FALSE(PathExists(fScratch.Posix("data/Trash")));
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        EXPECT_EQ(CountStartingWith(messages, "ERROR " + inSentence), 1)
            << ::testing::PrintToString(messages);
        EXPECT_EQ(CountStartingWith(messages, "INFO Waiting for external process to quit"), 0);
        EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application install"), 0);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }

    // The run refused the two bundles as one folder, or one inside the other, before anything
    // moved.
    void ExpectRefusedAsSameOrNested(const Outcome& inOutcome, const std::vector<std::string>& inApps,
                                     const std::vector<std::string>& inUpdates) const
    {
        ExpectRefusedBeforeAnythingMoved(inOutcome, inApps, inUpdates,
                                         "The up-to-date application is the outdated one, lies inside it or "
                                         "holds it: ");
        EXPECT_EQ(CountStartingWith(WithoutTimes(LogMessages()),
                                    "ERROR Installing the up-to-date application failed."),
                  1);
    }

    // The PATH of an "open" that stops the updater which runs it: the update stands at the
    // application's path, its old bundle beside it not yet disposed of, until the test lets the
    // updater go on.
    std::string PathOfAnOpenThatStopsItsCaller() const
    {
        const std::string fake = fScratch.Posix("fake");
        mkdir(fake.c_str(), 0755);
        WriteFileBytes(fake + "/open", "#!/bin/sh\nkill -STOP $PPID\n");
        chmod((fake + "/open").c_str(), 0755);
        return fake + ":/usr/bin:/bin";
    }

    // Where a bundle of that tree lies: at or beside the application's path, or in the trash;
    // empty when it is nowhere.
    std::string WhereIs(const std::vector<std::string>& inTree) const
    {
        for (const std::string folder : {"apps", "data/Trash/files"})
        {
            for (const std::string& name : NamesIn(fScratch.Posix(folder)))
            {
                if (TreeOf(fScratch.Posix(folder + "/" + name)) == inTree)
                    return folder + "/" + name;
            }
        }
        return std::string();
    }

    // How many times the line stands in the log, dates and times left out.
    int CountInLog(const std::string& inLine, const std::string& inLogs) const
    {
        const std::vector<std::string> messages = WithoutTimes(LogMessages(inLogs));
        return int(std::count(messages.begin(), messages.end(), inLine));
    }

    // The exit status is the one the log's last line tells.
    void ExpectStatusAsLogged(int inStatus, const std::string& inLogs) const
    {
        const std::vector<std::string> messages = WithoutTimes(LogMessages(inLogs));
        ASSERT_FALSE(messages.empty());
        EXPECT_TRUE((inStatus == 0 && messages.back() == "INFO Update successful") ||
                    (inStatus == 2 && messages.back() == "INFO Update failed"))
            << inStatus << " " << ::testing::PrintToString(messages);
    }

    void TearDown() override
    {
        for (const std::string& path : fMounts)
            umount2(path.c_str(), MNT_DETACH);
    }

    StTemporaryFolder fScratch;
    std::string fOutdated;
    std::string fUpToDate;
    std::vector<std::string> fOldTree;
    std::vector<std::string> fNewTree;
    std::map<std::string, std::string> fEnvironment;
    std::vector<std::string> fMounts;
};

TEST_F(UpdaterEndToEnd, UpdatesRestartsAndTrashesForACallerThatQuits)
{
    // The caller quits at once and is never reaped by its parent: a zombie has quit.
    StChild caller({"/bin/true"}, {});
    caller.Forget();
    const Outcome outcome = Update(
        {"--pid=" + std::to_string(caller.Pid()), "--caller-log=yes", "--restart-params=/tmp/x y.link"});
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(outcome.fOut, "waitquit,-1\n");
    EXPECT_EQ(outcome.fErr, "");
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(TreeOf(fUpToDate), fNewTree);
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("apps/Sample_old0001.app")));
    EXPECT_EQ(TreeOf(fScratch.Posix("data/Trash/files/Sample_old0001.app")), fOldTree);
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("notifications.txt")));
    EXPECT_THAT(Record(), ::testing::MatchesRegex("version 2\\.0\tpid [0-9]+\tfds 3\t/tmp/x y\\.link\n"));
    const std::string pid = std::to_string(caller.Pid());
    const std::vector<std::string> expected{"INFO Updater starting",
                                            "INFO Waiting for external process to quit",
                                            "INFO Waiting for process " + pid + " to quit",
                                            "INFO Process " + pid + " has quit. Proceeding.",
                                            "INFO Proceeding with up-to-date application install...",
                                            "INFO Proceeding with up-to-date application restart...",
                                            "INFO Restarting installed application (open -a \"" + fOutdated +
                                                "/\" --args \"/tmp/x y.link\")...",
                                            "INFO Updated application restarted, returned 0",
                                            "INFO Up-to-date application restarted",
                                            "INFO Update successful"};
    EXPECT_EQ(WithoutTimes(LogMessages()), expected);
    waitpid(caller.Pid(), nullptr, 0);
}

TEST_F(UpdaterEndToEnd, CommandLineErrorsAndVersion)
{
    Outcome outcome = Run({kBin + "/updater"});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr,
              "mismatched value for option --uptodate-app\nmismatched value for option --outdated-app\n");
    outcome = Run({kBin + "/updater", "a", "b", "c"});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr, "two many arguments from the command line\n");
    outcome = Run({kBin + "/updater", "--outdated-app=X", "Y", "Z"});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr, "mismatched value for option --outdated-app\n");
    outcome = Run({kBin + "/updater", "only"});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr, "not enough arguments from the command line (required <dest> <src>)\n");
    outcome = Run({kBin + "/updater", "--version", "--silent", "a", "b"});
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(outcome.fOut, "1.0\n");
    EXPECT_EQ(outcome.fErr, "");
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("logs")));
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
}

TEST_F(UpdaterEndToEnd, AStartUpThatFailsExitsWithOneAndChangesNothing)
{
    // An updater whose bundle holds a damaged file-system definition cannot start: the process
    // ends before the run, with the start-up's exit value.
    const std::string macOS = fScratch.Posix("Broken.app/Contents/MacOS");
    std::filesystem::create_directories(macOS);
    std::filesystem::create_directories(fScratch.Posix("Broken.app/Contents/Resources"));
    std::filesystem::copy_file(kBin + "/updater", macOS + "/updater");
    WriteFileBytes(fScratch.Posix("Broken.app/Contents/Resources/fileSystems.json"), "[{\"name\":");
    std::vector<std::string> arguments = Arguments({fOutdated, fUpToDate});
    arguments[0] = macOS + "/updater";
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fOut, "");
    EXPECT_EQ(outcome.fErr, "");
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("logs")));
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("notifications.txt")));
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    EXPECT_EQ(TreeOf(fUpToDate), fNewTree);
}

TEST_F(UpdaterEndToEnd, MissingBundlesFailAndNotifyWithTheLogFile)
{
    fUpToDate = fScratch.Posix("new/Missing.app");
    fOutdated = fScratch.Posix("apps/Missing.app");
    // The run of the log's second already has two files: the writer goes on in the second.
    mkdir(fScratch.Posix("logs").c_str(), 0755);
    std::vector<std::string> earlier;
    const Outcome outcome =
        RunPlanting(Arguments({fOutdated, fUpToDate}),
                    [&](const std::vector<std::string>& inNames)
                    {
                        for (const std::string& name : inNames)
                        {
                            for (const char* number : {"_1.txt", "_2.txt"})
                            {
                                WriteFileBytes(fScratch.Posix("logs/") + name + number, "");
                                earlier.push_back(fScratch.Posix("logs/") + name + number);
                            }
                        }
                    });
    std::string logFile;
    for (const std::string& path : earlier)
    {
        if (std::filesystem::file_size(path) != 0)
            logFile = path;
        else
            std::filesystem::remove(path);
    }
    ASSERT_NE(logFile.find("_2.txt"), std::string::npos);
    EXPECT_EQ(outcome.fStatus, 2);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "INFO Updater starting");
    // Newest first, with the paths as the toolbox writes them.
    EXPECT_THAT(messages[1],
                ::testing::StartsWith("ERROR The up-to-date application bundle does not exist: "));
    EXPECT_THAT(messages[2], ::testing::StartsWith("ERROR The outdated application bundle does not exist: "));
    EXPECT_EQ(messages[3], "INFO Update failed");
    const std::string notice = ReadFileBytes(fScratch.Posix("notifications.txt"));
    EXPECT_NE(notice.find("More information is available in the log file '" + logFile + "'"),
              std::string::npos)
        << notice;
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1);
}

TEST_F(UpdaterEndToEnd, ALogThatCannotBeOpenedIsReportedEvenWhenSilent)
{
    WriteFileBytes(fScratch.Posix("logs"), "a file, not a folder");
    const Outcome outcome = Update({"--silent"});
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    const std::string notice = ReadFileBytes(fScratch.Posix("notifications.txt"));
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1);
    EXPECT_EQ(notice.find("log file"), std::string::npos) << notice;
}

TEST_F(UpdaterEndToEnd, SilentFailureNotifiesNothing)
{
    const Outcome outcome = Run(Arguments({"--silent", fOutdated, fScratch.Posix("new/Missing.app")}));
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix("notifications.txt")));
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
}

TEST_F(UpdaterEndToEnd, NestedBundlesAreRefused)
{
    // An update downloaded into the application itself.
    fUpToDate = fOutdated + "/Contents/Resources/Update/Sample.app";
    MakeSampleBundle(fUpToDate, "2");
    fOldTree = TreeOf(fOutdated);
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 2);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(
        CountStartingWith(
            messages, "ERROR The up-to-date application is the outdated one, lies inside it or holds it: "),
        1);
    EXPECT_EQ(CountStartingWith(messages, "ERROR Installing the up-to-date application failed."), 1);
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
}

TEST_F(UpdaterEndToEnd, AFailedCopyPutsTheOutdatedBundleBack)
{
    for (const char* fault : {"ENOSPC:0", "EIO:3"})
    {
        SCOPED_TRACE(fault);
        fEnvironment["KOVA_TEST_COPY_FAULT"] = fault;
        std::filesystem::remove_all(fScratch.Posix("logs"));
        const Outcome outcome = Update();
        EXPECT_EQ(outcome.fStatus, 2);
        EXPECT_EQ(TreeOf(fOutdated), fOldTree);
        EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        EXPECT_NE(
            std::find(messages.begin(), messages.end(), "INFO Rolling back up-to-date application install"),
            messages.end());
        EXPECT_EQ(CountStartingWith(messages, "ERROR Copying the up-to-date application "), 1);
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }
}

TEST_F(UpdaterEndToEnd, AKillAtAnyPointOfTheCopyLeavesTheApplicationRecoverable)
{
    for (const char* point : {"STOP:0", "STOP:2", "STOP:4"})
    {
        SCOPED_TRACE(point);
        ASSERT_NO_FATAL_FAILURE(KillDuringCopy(point));
        ExpectRecoverable();
        // Put back by hand, as the user would, for the next point.
        std::filesystem::rename(fScratch.Posix("apps/Sample_old0001.app"), fOutdated);
        for (const std::string& name : NamesIn(fScratch.Posix("apps")))
        {
            if (name != "Sample.app")
                std::filesystem::remove_all(fScratch.Posix("apps/" + name));
        }
    }
}

TEST_F(UpdaterEndToEnd, ATerminationSignalWaitsForTheEndOfTheRun)
{
    fEnvironment["KOVA_TEST_COPY_FAULT"] = "STOP:2";
    StChild updater(Arguments({fOutdated, fUpToDate}), fEnvironment);
    ASSERT_TRUE(updater.WaitStopped());
    kill(updater.Pid(), SIGTERM);
    kill(updater.Pid(), SIGCONT);
    EXPECT_EQ(updater.Wait(), 0);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(WithoutTimes(LogMessages()).back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, ACallerThatNeverQuitsChangesNothing)
{
    fEnvironment["KOVA_TEST_UPDATER_WAITS"] = "5,5,5,150";
    StChild caller({"/bin/sleep", "30"}, {});
    const Outcome outcome = Update({"--pid=" + std::to_string(caller.Pid())});
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    const std::string pid = std::to_string(caller.Pid());
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "ERROR Process " + pid + " still exists after maximum wait time. Giving up."),
              messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "ERROR External process wait failed"),
              messages.end());
    EXPECT_EQ(
        CountStartingWith(messages, "ERROR The application that started the update did not quit in time"), 2);
}

TEST_F(UpdaterEndToEnd, TheCallerReadsTheEndOfOutputBeforeTheWait)
{
    // The old version is the caller: it starts the updater, reads its line to the end and quits.
    const Outcome outcome = Run({fOutdated + "/Contents/MacOS/Sample", "--update", kBin + "/updater",
                                 fUpToDate, fScratch.Posix("logs")});
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_NE(outcome.fOut.find("said \"waitquit,-1\"; quitting"), std::string::npos) << outcome.fOut;
    // The restarted version records itself once the update is done.
    EXPECT_THAT(Record(), ::testing::StartsWith("version 2.0\t"));
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    // The updater, no child of ours, has ended once its log says how the update went.
    std::vector<std::string> messages;
    PollUntil(
        [&]
        {
            messages = WithoutTimes(LogMessages());
            return !messages.empty() && messages.back().rfind("INFO Update ", 0) == 0;
        });
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, TheClientCustomizationGoesWithTheNewBundle)
{
    WriteFileBytes(fScratch.Posix("client.json"), R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})");
    chmod((fUpToDate + "/Contents/MacOS/Sample").c_str(), 0644);
    Outcome outcome = Update({"--client-info=" + fScratch.Posix("client.json")});
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(TreeOf(fOutdated), TreeOf(fUpToDate));
    EXPECT_TRUE(std::filesystem::exists(fOutdated + "/Contents/Database/EnginedServer.Qellink"));
    struct stat status = {};
    stat((fOutdated + "/Contents/MacOS/Sample").c_str(), &status);
    EXPECT_EQ(status.st_mode & 0777, 0755u);

    // A file that is no customization stops the update before anything moves.
    const std::vector<std::string> installed = TreeOf(fOutdated);
    WriteFileBytes(fScratch.Posix("client.json"), R"({"ServerPlatform": 3})");
    std::filesystem::remove_all(fScratch.Posix("logs"));
    outcome = Update({"--client-info=" + fScratch.Posix("client.json"), "--caller-log=1"});
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(outcome.fOut, "");
    EXPECT_EQ(TreeOf(fOutdated), installed);
    EXPECT_EQ(CountStartingWith(LogMessages(), "ERROR The client customization file is not a JSON object"),
              1);
}

TEST_F(UpdaterEndToEnd, AClientInfoThatXMLCannotCarryStopsTheUpdate)
{
    // A control character, a lone surrogate and U+FFFF in the server's address: the link file
    // could not be well-formed XML, so it is not written and nothing is installed.
    for (const char* address : {"10.0.0.5\\u0001", "10.0.0.5\\ud800", "10.0.0.5\\uffff"})
    {
        SCOPED_TRACE(address);
        WriteFileBytes(fScratch.Posix("client.json"),
                       std::string(R"({"ServerPlatform": "x", "BuildIPAdress": ")") + address + "\"}");
        std::filesystem::remove_all(fScratch.Posix("logs"));
        const Outcome outcome = Update({"--client-info=" + fScratch.Posix("client.json"), "--caller-log=1"});
        EXPECT_EQ(outcome.fStatus, 2);
        EXPECT_TRUE(TreeOf(fOutdated) == fOldTree) << "the installed application changed";
        EXPECT_FALSE(std::filesystem::exists(fUpToDate + "/Contents/Database/EnginedServer.Qellink"));
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }
}

TEST_F(UpdaterEndToEnd, AReadOnlyDestinationChangesNothing)
{
    const std::string apps = fScratch.Posix("apps");
    if (!SetReadOnly(apps, true))
        GTEST_SKIP() << "the destination cannot be made read-only here";
    const Outcome outcome = Update();
    SetReadOnly(apps, false);
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(CountStartingWith(messages, "ERROR Moving the outdated application "), 4);
    // The dump, newest first, begins with the install's failure.
    const auto failed =
        std::find(messages.begin(), messages.end(), "ERROR Up-to-date application install failed");
    ASSERT_NE(failed, messages.end());
    ASSERT_NE(failed + 1, messages.end());
    EXPECT_EQ(failed[1], "ERROR Installing the up-to-date application failed.");
}

TEST_F(UpdaterEndToEnd, AFullDiskRollsBack)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string small = fScratch.Posix("small");
    mkdir(small.c_str(), 0755);
    // Room for the old bundle and half a megabyte more, whatever the size of the build's sample.
    const uintmax_t sample = std::filesystem::file_size(kSampleBin + "/sample_v1");
    const std::string options = "size=" + std::to_string((sample + 512 * 1024) / 1024) + "k";
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, options.c_str()) != 0)
        GTEST_SKIP() << "no tmpfs here";
    fOutdated = small + "/Sample.app";
    MakeSampleBundle(fOutdated, "1");
    fOldTree = TreeOf(fOutdated);
    // The new version does not fit beside the old one.
    WriteFileBytes(fUpToDate + "/Contents/Resources/big", std::string(600 * 1024, 'x'));
    fNewTree = TreeOf(fUpToDate);
    const Outcome outcome = Update();
    const std::vector<std::string> leftover = NamesIn(small);
    const std::vector<std::string> tree = TreeOf(fOutdated);
    umount(small.c_str());
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(tree, fOldTree);
    EXPECT_EQ(leftover, std::vector<std::string>{"Sample.app"});
}

TEST_F(UpdaterEndToEnd, AFailedTrashFollowedByADeletionSucceeds)
{
    // The trash cannot be made under a file.
    WriteFileBytes(fScratch.Posix("data"), "not a folder");
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
    EXPECT_EQ(WithoutTimes(LogMessages()).back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, AFailedTrashFollowedByAFailedDeletionKeepsBothErrors)
{
    // The forced deletion unlocks and opens up whatever it owns, so a read-only or locked folder
    // does not stop it; a mount point inside the old bundle does.
    std::string mounted;
    if (!MountInOutdatedBundle(mounted))
        GTEST_SKIP() << "mounting inside the bundle needs root and tmpfs";
    const std::string aside = fScratch.Posix("apps/Sample_old0001.app");
    WriteFileBytes(mounted + "/file", "on the mount");
    WriteFileBytes(fScratch.Posix("data"), "not a folder");
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_TRUE(std::filesystem::exists(aside + "/Contents/Resources/mounted"));
    // Each failure has its line as it happens; then the dump, newest first: the deletion's
    // failure, then the trash's, each with its cause.
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    const std::vector<std::string> tail{
        "INFO Up-to-date application restarted",
        "WARN Moving the old application " + aside +
            "/ to the trash failed: The folder Sample_old0001.app could not be moved to the trash.; "
            "The operation is not supported for this item or on its volume.",
        "ERROR Deleting the old application " + aside + "/ failed",
        "ERROR The folder mounted could not be deleted.",
        "ERROR Device or resource busy",
        "ERROR The folder Sample_old0001.app could not be moved to the trash.",
        "ERROR The operation is not supported for this item or on its volume.",
        "INFO Update failed"};
    ASSERT_GE(messages.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(messages.end() - tail.size(), messages.end()), tail);
    const std::string notice = ReadFileBytes(fScratch.Posix("notifications.txt"));
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1);
}

TEST_F(UpdaterEndToEnd, OpenRefusesWhatItCannotStart)
{
    Outcome outcome = Run({kBin + "/open", "-a", fScratch.Posix("apps/Missing.app")});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr, "open: no application bundle at " + fScratch.Posix("apps/Missing.app") + "\n");
    std::filesystem::remove(fOutdated + "/Contents/MacOS/Sample");
    outcome = Run({kBin + "/open", "-a", fOutdated});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_NE(outcome.fErr.find("has no executable"), std::string::npos);
    outcome = Run({kBin + "/open", "-a", fUpToDate, "--argz"});
    EXPECT_EQ(outcome.fStatus, 1);
    EXPECT_EQ(outcome.fErr, "usage: open -a BUNDLE [--args ARG...]\n");
    EXPECT_EQ(ReadFileBytes(fScratch.Posix("record.txt")), "");
}

TEST_F(UpdaterEndToEnd, ARestartThatCannotStartKeepsTheNewBundle)
{
    // A fake "open" first on PATH: one that runs and fails, one that cannot be started at all.
    struct Case
    {
        std::string fScript;
        int fStatus;
        bool fKeepsOldBundle;
        std::vector<std::string> fLogAfterCommand;
    };
    const Case cases[] = {
        {"#!/bin/sh\necho \"$@\" > " + fScratch.Posix("open-args.txt") + "\nexit 3\n",
         0, // an exit status alone is no failure
         false,
         {"INFO Updated application restarted, returned 3", "INFO Up-to-date application restarted",
          "INFO Update successful"}},
        {"#!/no/such/interpreter\n",
         2,
         true,
         {"ERROR Failed to restart updated application (returned error 2 - exit status 0)",
          "ERROR Up-to-date application restart failed", "ERROR Restarting the application failed.",
          "INFO Update failed"}},
    };
    const std::string fake = fScratch.Posix("fake");
    mkdir(fake.c_str(), 0755);
    fEnvironment["PATH"] = fake + ":/usr/bin:/bin";
    const std::string aside = fScratch.Posix("apps/Sample_old0001.app");
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fScript);
        std::filesystem::remove_all(fScratch.Posix("apps"));
        std::filesystem::remove_all(fScratch.Posix("logs"));
        MakeSampleBundle(fOutdated, "1");
        const std::vector<std::string> oldTree = TreeOf(fOutdated);
        WriteFileBytes(fake + "/open", test.fScript);
        chmod((fake + "/open").c_str(), 0755);
        const Outcome outcome = Update({"--restart-headless"});
        EXPECT_EQ(outcome.fStatus, test.fStatus);
        EXPECT_EQ(TreeOf(fOutdated), fNewTree);
        if (test.fKeepsOldBundle)
            EXPECT_EQ(TreeOf(aside), oldTree);
        else
            EXPECT_FALSE(std::filesystem::exists(aside));
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        const auto command = std::find(messages.begin(), messages.end(),
                                       "INFO Restarting installed application (open -a \"" + fOutdated +
                                           "/\" --args --headless)...");
        ASSERT_NE(command, messages.end());
        EXPECT_EQ(std::vector<std::string>(command + 1, messages.end()), test.fLogAfterCommand);
    }
    EXPECT_EQ(ReadFileBytes(fScratch.Posix("open-args.txt")), "-a " + fOutdated + "/ --args --headless\n");
}

TEST_F(UpdaterEndToEnd, AFailedUpdateLogsItsCauseInWords)
{
    // The log is all a user has: each failure names its cause, and no error stands there as a
    // bare code or with a placeholder left unfilled.
    const std::string apps = fScratch.Posix("apps");
    struct Case
    {
        const char* fName;
        const char* fCopyFault;
        bool fReadOnlyDestination;
        bool fMissingBundle;
        const char* fCause;
    };
    const Case cases[] = {
        {"full disk", "ENOSPC:1", false, false, "no space left"},
        {"read-only folder", "", true, false, "read-only"},
        {"missing bundle", "", false, true, "does not exist"},
    };
    std::string skipped;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        std::filesystem::remove_all(fScratch.Posix("logs"));
        fEnvironment["KOVA_TEST_COPY_FAULT"] = test.fCopyFault;
        std::string upToDate = fUpToDate;
        if (test.fMissingBundle)
            upToDate = fScratch.Posix("new/Missing.app");
        // A read-only view of the destination, undone whatever the run did.
        struct StReadOnlyMount
        {
            std::string fPath;
            ~StReadOnlyMount()
            {
                if (!fPath.empty())
                    umount2(fPath.c_str(), MNT_DETACH);
            }
        } readOnly;
        if (test.fReadOnlyDestination)
        {
            if (geteuid() == 0 && mount(apps.c_str(), apps.c_str(), nullptr, MS_BIND, nullptr) == 0)
                readOnly.fPath = apps;
            if (readOnly.fPath.empty() ||
                mount(nullptr, apps.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            {
                skipped += std::string(test.fName) + ": no read-only mount here. ";
                continue;
            }
        }
        const Outcome outcome = Run(Arguments({fOutdated, upToDate}));
        EXPECT_EQ(outcome.fStatus, 2);
        std::vector<std::string> errors;
        for (const std::string& message : WithoutTimes(LogMessages()))
        {
            if (message.rfind("ERROR ", 0) == 0)
                errors.push_back(message);
        }
        ASSERT_FALSE(errors.empty());
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](std::string inError)
                                {
                                    std::transform(inError.begin(), inError.end(), inError.begin(),
                                                   [](unsigned char inChar) { return std::tolower(inChar); });
                                    return inError.find(test.fCause) != std::string::npos;
                                }))
            << ::testing::PrintToString(errors);
        for (const std::string& error : errors)
        {
            for (const char* bare :
                 {"Error code: ", "Cocoa error ", "Mach error ", "Carbon status ", "{", "}"})
                EXPECT_EQ(error.find(bare), std::string::npos) << error;
        }
        EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    }
    // The other rows have run; a failure among them still fails the test.
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(UpdaterEndToEnd, TheClientCustomizationFollowsNoLinkOutOfTheBundle)
{
    // One link a case in the up-to-date bundle, on the way to the link file or at the executable,
    // to a folder outside that holds a private file where the link file would go and an
    // executable that is not executable yet.
    const std::string outside = fScratch.Posix("outside");
    struct Case
    {
        std::string fLink;
        std::string fTarget;
        const char* fClientInfo;
        // A download whose Contents is a link is no bundle, refused before the customization.
        bool fNoBundle = false;
    };
    const char* withAddress = R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})";
    const Case cases[] = {
        {"Contents/Database/EnginedServer.Qellink", outside + "/Database/EnginedServer.Qellink", withAddress},
        {"Contents/Database", outside + "/Database", withAddress},
        {"Contents", outside, withAddress, true},
        {"Contents/MacOS/Sample", outside + "/MacOS/Sample", R"({"ServerPlatform": "x"})"},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fLink);
        for (const std::string& folder : {fScratch.Posix("new"), outside, fScratch.Posix("logs")})
            std::filesystem::remove_all(folder);
        MakeSampleBundle(fUpToDate, "2");
        mkdir((fUpToDate + "/Contents/Database").c_str(), 0755);
        for (const char* folder : {"", "/Database", "/MacOS"})
            mkdir((outside + folder).c_str(), 0755);
        WriteFileBytes(outside + "/Info.plist", "<plist>outside</plist>");
        WriteFileBytes(outside + "/Database/EnginedServer.Qellink", "private");
        chmod((outside + "/Database/EnginedServer.Qellink").c_str(), 0600);
        WriteFileBytes(outside + "/MacOS/Sample", "#!/bin/sh\n");
        chmod((outside + "/MacOS/Sample").c_str(), 0644);
        std::filesystem::remove_all(fUpToDate + "/" + test.fLink);
        ASSERT_EQ(symlink(test.fTarget.c_str(), (fUpToDate + "/" + test.fLink).c_str()), 0);
        WriteFileBytes(fScratch.Posix("client.json"), test.fClientInfo);
        const std::vector<std::string> outsideTree = TreeOf(outside);
        const std::vector<std::string> newTree = TreeOf(fUpToDate);

        const Outcome outcome = Update({"--client-info=" + fScratch.Posix("client.json")});
        EXPECT_EQ(outcome.fStatus, 2);
        EXPECT_EQ(TreeOf(outside), outsideTree);
        EXPECT_EQ(TreeOf(fUpToDate), newTree);
        EXPECT_EQ(TreeOf(fOutdated), fOldTree);
        const std::string link = fUpToDate + "/" + test.fLink;
        const VFilePath linkPath(VString(link.data(), link.size(), VTC_UTF_8), FPS_POSIX);
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        const std::string refusal =
            test.fNoBundle ? NoBundleSentence(fUpToDate)
                           : "The client customization does not write through the symbolic link " +
                                 to_string(linkPath.GetPath()) + ".";
        EXPECT_NE(std::find(messages.begin(), messages.end(), "ERROR " + refusal), messages.end())
            << ::testing::PrintToString(messages);
        EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application install"), 0);
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }
}

TEST_F(UpdaterEndToEnd, AFailedTrashIsLoggedBeforeTheDeletionThatTakesItsPlace)
{
    // The trash cannot be made under a file.
    WriteFileBytes(fScratch.Posix("data"), "not a folder");
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    const auto restarted =
        std::find(messages.begin(), messages.end(), "INFO Up-to-date application restarted");
    ASSERT_EQ(messages.end() - restarted, 4) << ::testing::PrintToString(messages);
    const std::string aside = fScratch.Posix("apps/Sample_old0001.app/");
    const std::string trashFailed = "WARN Moving the old application " + aside + " to the trash failed: ";
    EXPECT_THAT(restarted[1], ::testing::StartsWith(trashFailed));
    // The trash's own error text follows.
    EXPECT_GT(restarted[1].size(), trashFailed.size());
    EXPECT_EQ(restarted[2], "INFO Deleted the old application " + aside + " instead");
    EXPECT_EQ(restarted[3], "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, ARenameThatSucceedsOnARetryIsLoggedAndSucceeds)
{
    const std::string apps = fScratch.Posix("apps");
    if (!SetReadOnly(apps, true))
        GTEST_SKIP() << "the destination cannot be made read-only here";
    // The updater stops itself in place of the wait before the second attempt.
    fEnvironment["KOVA_TEST_UPDATER_STOP_AT_WAITS"] = "1";
    StChild updater(Arguments({fOutdated, fUpToDate}), fEnvironment);
    const bool stopped = updater.WaitStopped();
    SetReadOnly(apps, false);
    ASSERT_TRUE(stopped);
    kill(updater.Pid(), SIGCONT);
    EXPECT_EQ(updater.Wait(), 0);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(TreeOf(fScratch.Posix("data/Trash/files/Sample_old0001.app")), fOldTree);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    const auto install =
        std::find(messages.begin(), messages.end(), "INFO Proceeding with up-to-date application install...");
    ASSERT_NE(install, messages.end());
    ASSERT_LT(install + 2, messages.end());
    const std::string attemptFailed = "WARN Renaming the outdated application " + fOutdated + "/ aside to " +
                                      apps + "/Sample_old0001.app/ failed (attempt 1 of 5): ";
    EXPECT_THAT(install[1], ::testing::StartsWith(attemptFailed));
    EXPECT_GT(install[1].size(), attemptFailed.size());
    EXPECT_EQ(install[2], "INFO Proceeding with up-to-date application restart...");
    EXPECT_EQ(CountStartingWith(messages, "ERROR "), 0);
    EXPECT_EQ(messages.back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, RelativePathsAreTakenAgainstTheWorkingFolder)
{
    // Run from the folder of the outdated bundle, every path given relative to it.
    WriteFileBytes(fScratch.Posix("client.json"), R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})");
    const Outcome outcome = Run({"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", fScratch.Posix("apps"),
                                 kBin + "/updater", "--log-dir=../logs", "--restart-params=link.txt",
                                 "--client-info=../client.json", "Sample.app", "../new/Sample.app"});
    EXPECT_EQ(outcome.fStatus, 0) << outcome.fErr;
    EXPECT_EQ(TreeOf(fOutdated), TreeOf(fUpToDate));
    EXPECT_TRUE(PathExists(fOutdated + "/Contents/Database/EnginedServer.Qellink"));
    EXPECT_THAT(Record(), ::testing::MatchesRegex("version 2\\.0\tpid [0-9]+\tfds 3\t" +
                                                  fScratch.Posix("apps") + "/link\\.txt\n"));
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "INFO Update successful");
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "INFO Restarting installed application (open -a \"" + fOutdated + "/\" --args \"" +
                            fScratch.Posix("apps") + "/link.txt\")..."),
              messages.end());
}

TEST_F(UpdaterEndToEnd, AnUpToDateBundleGivenAsALinkIsInstalledAsTheFolderItLeadsTo)
{
    // A relative link, which would dangle once copied beside the application.
    ASSERT_EQ(rename(fUpToDate.c_str(), fScratch.Posix("new/Sample-2.app").c_str()), 0);
    ASSERT_EQ(symlink("Sample-2.app", fUpToDate.c_str()), 0);
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0);
    struct stat status = {};
    ASSERT_EQ(lstat(fOutdated.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_THAT(Record(), ::testing::StartsWith("version 2.0\t"));
    EXPECT_EQ(TreeOf(fScratch.Posix("new/Sample-2.app")), fNewTree);
    EXPECT_EQ(WithoutTimes(LogMessages()).back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, AFileSystemMountedInTheOldBundleOutlivesItsDeletion)
{
    std::string mounted;
    if (!MountInOutdatedBundle(mounted))
        GTEST_SKIP() << "mounting inside the bundle needs root and tmpfs";
    const std::string moved = fScratch.Posix("apps/Sample_old0001.app/Contents/Resources/mounted");
    ASSERT_EQ(mkdir((mounted + "/folder").c_str(), 0700), 0);
    WriteFileBytes(mounted + "/folder/file", "on the mount");
    const std::vector<std::string> onTheMount = TreeOf(mounted);
    // The trash cannot be made: the old bundle is deleted instead.
    WriteFileBytes(fScratch.Posix("data"), "not a folder");
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(TreeOf(moved), onTheMount);
    // The deletion's error names the mount point it stopped at.
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "ERROR The folder mounted could not be deleted."),
              1);
}

TEST_F(UpdaterEndToEnd, AnUpdateAfterAKilledCopyLeavesNoPartialCopy)
{
    ASSERT_NO_FATAL_FAILURE(KillDuringCopy("STOP:2"));
    // Put back by hand, as the user would: the partial copy stays where the kill left it.
    std::filesystem::rename(fScratch.Posix("apps/Sample_old0001.app"), fOutdated);
    const std::vector<std::string> left = NamesIn(fScratch.Posix("apps"));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].rfind(".Sample.app.kov", 0), 0u) << left[0];

    fEnvironment.erase("KOVA_TEST_COPY_FAULT");
    std::filesystem::remove_all(fScratch.Posix("logs"));
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
}

// ---------------------------------------------------------------------------------------------
// The log's own safety: names planted in its folder, texts holding line ends, a volume that takes
// no line.

// The regular files of a folder, sorted.
std::vector<std::string> RegularFilesIn(const std::string& inFolder)
{
    std::vector<std::string> files;
    for (const std::string& name : NamesIn(inFolder))
    {
        struct stat status = {};
        if (lstat((inFolder + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode))
            files.push_back(name);
    }
    return files;
}

TEST_F(UpdaterEndToEnd, NamesPlantedInTheLogFolderAreNeitherFollowedNorWaitedOn)
{
    // Whoever may write the log folder plants an entry under the first file's name of the log's
    // second: the updater (root here) writes its log to the next number, a file of its own.
    const std::string logs = fScratch.Posix("logs");
    const std::string victim = fScratch.Posix("secret");
    const std::string target = fScratch.Posix("made-by-the-link");
    for (const std::string kind : {"a link to a root-only file", "a dangling link", "a pipe"})
    {
        SCOPED_TRACE(kind);
        std::filesystem::remove_all(logs);
        ASSERT_EQ(mkdir(logs.c_str(), 0777), 0);
        WriteFileBytes(victim, "secret\n");
        ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
        std::vector<std::string> names;
        const Outcome outcome =
            RunPlanting(Arguments({"--silent", fOutdated, fScratch.Posix("new/Missing.app")}),
                        [&](const std::vector<std::string>& inNames)
                        {
                            names = inNames;
                            for (const std::string& name : names)
                            {
                                const std::string planted = logs + "/" + name + "_1.txt";
                                if (kind == "a pipe")
                                    ASSERT_EQ(mkfifo(planted.c_str(), 0666), 0);
                                else
                                    ASSERT_EQ(symlink((kind == "a dangling link" ? target : victim).c_str(),
                                                      planted.c_str()),
                                              0);
                            }
                        });
        EXPECT_EQ(outcome.fStatus, 2);
        EXPECT_EQ(ReadFileBytes(victim), "secret\n");
        EXPECT_FALSE(PathExists(target));
        const std::vector<std::string> files = RegularFilesIn(logs);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_NE(std::find(names.begin(), names.end(), files[0].substr(0, files[0].size() - 6)), names.end())
            << files[0];
        EXPECT_EQ(files[0].substr(files[0].size() - 6), "_2.txt");
        EXPECT_THAT(ReadFileBytes(logs + "/" + files[0]), ::testing::HasSubstr("] INFO - Update failed - "));
        EXPECT_EQ(NamesIn(logs).size(), names.size() + 1);
    }
}

TEST_F(UpdaterEndToEnd, ANameWithLineEndsCannotForgeALogLine)
{
    // The missing bundle's path, copied into the error's text (in the colon form, where "/" and
    // ":" trade places), holds what would read as a line of the updater's own.
    fUpToDate = fScratch.Posix("new/Missing\n1 2026-01-31T09/05/07.250 [Qel Updater.QLUP] INFO - Update "
                               "successful - 1:31:26 - 9/05 AM ()\r.app");
    const Outcome outcome = Update({"--silent"});
    EXPECT_EQ(outcome.fStatus, 2);
    const std::vector<std::string> files = RegularFilesIn(fScratch.Posix("logs"));
    ASSERT_EQ(files.size(), 1u);
    std::istringstream text(ReadFileBytes(fScratch.Posix("logs/" + files[0])));
    size_t count = 0;
    for (std::string line; std::getline(text, line); ++count)
        EXPECT_THAT(line, ::testing::MatchesRegex("[0-9]+ [-0-9T:.]+ \\[[^]]*\\] [A-Z]+ - .*"));
    // The updater's three lines and the toolbox's line of the error.
    EXPECT_EQ(count, 4u);
    const std::vector<std::string> messages = LogMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_THAT(messages[0], ::testing::StartsWith("INFO Updater starting - "));
    EXPECT_THAT(messages[1],
                ::testing::StartsWith("ERROR The up-to-date application bundle does not exist: "));
    EXPECT_THAT(messages[1],
                ::testing::HasSubstr("Missing\\n1 2026-01-31T09:05:07.250 [Qel Updater.QLUP] INFO - "
                                     "Update successful - 1/31/26 - 9:05 AM ()\\r.app"));
    EXPECT_THAT(messages[2], ::testing::StartsWith("INFO Update failed - "));
}

TEST_F(UpdaterEndToEnd, ALogOnAFullVolumeIsReportedEvenWhenSilent)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const std::string small = fScratch.Posix("small");
    mkdir(small.c_str(), 0755);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no tmpfs here";
    fMounts.push_back(small);
    const std::string logs = small + "/logs";
    ASSERT_EQ(mkdir(logs.c_str(), 0755), 0);
    {
        // Filled to the last byte.
        const int filler = open((small + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(filler, 0);
        const std::string block(4096, 'x');
        while (write(filler, block.data(), block.size()) > 0)
        {
        }
        while (write(filler, block.data(), 1) > 0)
        {
        }
        close(filler);
    }
    // Standard error is /dev/null once the caller is told: the notification alone tells it.
    const Outcome outcome =
        Run({kBin + "/updater", "--log-dir=" + logs, "--caller-log=1", "--silent", fOutdated, fUpToDate});
    // The update itself succeeded.
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(outcome.fOut, "waitquit,-1\n");
    EXPECT_EQ(TreeOf(fOutdated), fNewTree);
    const std::vector<std::string> files = RegularFilesIn(logs);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(logs + "/" + files[0]), "");
    const std::string notice = ReadFileBytes(fScratch.Posix("notifications.txt"));
    EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 1) << notice;
    EXPECT_THAT(notice, ::testing::HasSubstr("The log file " + logs + "/" + files[0] +
                                             " could not be written (No space left on device)."));
    EXPECT_EQ(notice.find("More information"), std::string::npos) << notice;
}

// ---------------------------------------------------------------------------------------------
// What the installed bundle is given, and what the customization and the copy make of downloads
// shaped by someone else.

// Every item under the folder, the folder included, by path: its owner, group and mode (links
// themselves, whose mode stands for nothing: 0).
std::vector<std::tuple<std::string, uid_t, gid_t, mode_t>> RightsOf(const std::string& inFolder)
{
    std::vector<std::tuple<std::string, uid_t, gid_t, mode_t>> items;
    std::vector<std::string> paths{inFolder};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(inFolder))
        paths.push_back(entry.path().string());
    for (const std::string& path : paths)
    {
        struct stat status = {};
        if (lstat(path.c_str(), &status) == 0)
            items.emplace_back(path, status.st_uid, status.st_gid,
                               S_ISLNK(status.st_mode) ? 0 : status.st_mode & 07777);
    }
    return items;
}

TEST_F(UpdaterEndToEnd, TheInstalledBundleTakesTheOutdatedOwnerAndNoDangerousMode)
{
    // A download of an unprivileged user, with a set-user-id and a set-group-id executable and a
    // file and a folder anyone may write.
    const std::string helper = fUpToDate + "/Contents/MacOS/helper";
    const std::string shared = fUpToDate + "/Contents/Resources/shared";
    const std::string drop = fUpToDate + "/Contents/Resources/drop";
    WriteFileBytes(helper, "#!/bin/sh\n");
    WriteFileBytes(shared, "shared");
    ASSERT_EQ(mkdir(drop.c_str(), 0777), 0);
    const bool root = geteuid() == 0;
    if (root)
    {
        for (const auto& [path, user, group, mode] : RightsOf(fUpToDate))
            ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0) << path;
        ASSERT_EQ(chown(fOutdated.c_str(), 1234, 4321), 0);
    }
    const std::pair<std::string, mode_t> modes[] = {
        {fUpToDate + "/Contents/MacOS/Sample", 04755}, {helper, 02755}, {shared, 0666}, {drop, 0777}};
    for (const auto& [path, mode] : modes)
        ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
    const std::vector<std::string> download = TreeOf(fUpToDate);
    struct stat outdated = {};
    ASSERT_EQ(stat(fOutdated.c_str(), &outdated), 0);

    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_THAT(Record(), ::testing::StartsWith("version 2.0\t"));
    const auto installed = RightsOf(fOutdated);
    EXPECT_EQ(installed.size(), download.size() + 1);
    for (const auto& [path, user, group, mode] : installed)
    {
        EXPECT_EQ(mode & (S_ISUID | S_ISGID | S_IWOTH), 0u) << path;
        if (root)
        {
            EXPECT_EQ(user, outdated.st_uid) << path;
            EXPECT_EQ(group, outdated.st_gid) << path;
        }
    }
    EXPECT_EQ(ModeOf(fOutdated + "/Contents/MacOS/Sample"), 0755u);
    EXPECT_EQ(ModeOf(fOutdated + "/Contents/Resources/drop"), 0775u);
    EXPECT_EQ(TreeOf(fUpToDate), download);
}

TEST_F(UpdaterEndToEnd, TheClientCustomizationFollowsLinksThatStayInTheBundle)
{
    // The executable and the link file reached through links inside the bundle; a link whose way
    // leaves the bundle still stops the update.
    const std::string outside = fScratch.Posix("outside");
    struct Case
    {
        const char* fName;
        const char* fLink;
        std::string fTarget;
        mode_t fMode;          // of the real executable, Contents/Resources/Sample-bin
        const char* fLinkFile; // where the link file lands, relative to the bundle
        int fStatus;
    };
    const Case cases[] = {
        {"executable inside", "Contents/MacOS/Sample", "../Resources/Sample-bin", 0644,
         "Contents/Database/EnginedServer.Qellink", 0},
        {"executable inside, executable already", "Contents/MacOS/Sample", "../Resources/Sample-bin", 0755,
         "Contents/Database/EnginedServer.Qellink", 0},
        {"database inside", "Contents/Database", "Resources/Database", 0644,
         "Contents/Resources/Database/EnginedServer.Qellink", 0},
        {"executable out and back in", "Contents/MacOS/Sample",
         "../../../Sample.app/Contents/Resources/Sample-bin", 0644, "", 2},
        {"executable outside", "Contents/MacOS/Sample", "../../../../outside/Sample-bin", 0644, "", 2},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        for (const std::string& folder : {fScratch.Posix("new"), outside, fScratch.Posix("logs")})
            std::filesystem::remove_all(folder);
        std::filesystem::remove(fScratch.Posix("record.txt"));
        MakeSampleBundle(fUpToDate, "2");
        for (const char* folder : {"/Contents/Database", "/Contents/Resources/Database"})
            mkdir((fUpToDate + folder).c_str(), 0755);
        mkdir(outside.c_str(), 0755);
        const std::string executable = fUpToDate + "/Contents/Resources/Sample-bin";
        ASSERT_EQ(rename((fUpToDate + "/Contents/MacOS/Sample").c_str(), executable.c_str()), 0);
        std::filesystem::copy_file(executable, outside + "/Sample-bin");
        for (const std::string& path : {executable, outside + "/Sample-bin"})
            ASSERT_EQ(chmod(path.c_str(), test.fMode), 0);
        const std::string link = fUpToDate + "/" + test.fLink;
        std::filesystem::remove_all(link);
        ASSERT_EQ(symlink(test.fTarget.c_str(), link.c_str()), 0);
        if (std::string(test.fLink) == "Contents/Database")
        {
            ASSERT_EQ(symlink("../Resources/Sample-bin", (fUpToDate + "/Contents/MacOS/Sample").c_str()), 0);
        }
        WriteFileBytes(fScratch.Posix("client.json"),
                       R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})");
        struct stat before = {};
        ASSERT_EQ(stat(executable.c_str(), &before), 0);
        const std::vector<std::string> outsideTree = TreeOf(outside);
        const std::vector<std::string> installed = TreeOf(fOutdated);

        const Outcome outcome = Update({"--client-info=" + fScratch.Posix("client.json")});
        EXPECT_EQ(outcome.fStatus, test.fStatus);
        EXPECT_EQ(TreeOf(outside), outsideTree);
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        ASSERT_FALSE(messages.empty());
        if (test.fStatus != 0)
        {
            const VFilePath linkPath(VString(link.data(), link.size(), VTC_UTF_8), FPS_POSIX);
            EXPECT_EQ(CountStartingWith(messages, "ERROR The client customization does not write through the "
                                                  "symbolic link " +
                                                      to_string(linkPath.GetPath()) + "."),
                      1)
                << ::testing::PrintToString(messages);
            EXPECT_TRUE(TreeOf(fOutdated) == installed) << "the installed application changed";
            continue;
        }
        EXPECT_EQ(messages.back(), "INFO Update successful");
        EXPECT_THAT(Record(), ::testing::StartsWith("version 2.0\t"));
        EXPECT_EQ(ModeOf(fOutdated + "/Contents/Resources/Sample-bin"), 0755u);
        EXPECT_TRUE(PathExists(fOutdated + "/" + test.fLinkFile));
        struct stat installedLink = {};
        ASSERT_EQ(lstat((fOutdated + "/" + test.fLink).c_str(), &installedLink), 0);
        EXPECT_TRUE(S_ISLNK(installedLink.st_mode));
        // Nothing is changed where nothing needs to be.
        struct stat after = {};
        ASSERT_EQ(stat(executable.c_str(), &after), 0);
        if (test.fMode == 0755)
        {
            EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
            EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
        }
    }
}

TEST_F(UpdaterEndToEnd, AnExecutableWithAnotherNameOutsideIsNotChanged)
{
    // The download's executable is a second name of a file outside: making it executable would
    // change that file too. A link file with another name is replaced, which leaves that name be.
    const std::string outside = fScratch.Posix("outside");
    ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((fUpToDate + "/Contents/Database").c_str(), 0755), 0);
    WriteFileBytes(outside + "/EnginedServer.Qellink", "private");
    ASSERT_EQ(chmod((outside + "/EnginedServer.Qellink").c_str(), 0600), 0);
    ASSERT_EQ(link((outside + "/EnginedServer.Qellink").c_str(),
                   (fUpToDate + "/Contents/Database/EnginedServer.Qellink").c_str()),
              0);
    WriteFileBytes(fScratch.Posix("client.json"), R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})");
    const std::vector<std::string> before = TreeOf(outside);
    Outcome outcome = Update({"--client-info=" + fScratch.Posix("client.json")});
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_EQ(TreeOf(outside), before);
    EXPECT_NE(ReadFileBytes(fOutdated + "/Contents/Database/EnginedServer.Qellink"), "private");

    for (const std::string& folder : {fScratch.Posix("new"), fScratch.Posix("logs")})
        std::filesystem::remove_all(folder);
    MakeSampleBundle(fUpToDate, "2");
    const std::string executable = fUpToDate + "/Contents/MacOS/Sample";
    ASSERT_EQ(rename(executable.c_str(), (outside + "/Sample").c_str()), 0);
    ASSERT_EQ(chmod((outside + "/Sample").c_str(), 0644), 0);
    ASSERT_EQ(link((outside + "/Sample").c_str(), executable.c_str()), 0);
    const std::vector<std::string> outsideTree = TreeOf(outside);
    const std::vector<std::string> installed = TreeOf(fOutdated);
    outcome = Update({"--client-info=" + fScratch.Posix("client.json")});
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(outside), outsideTree);
    EXPECT_EQ(TreeOf(fOutdated), installed);
    const VFilePath path(VString(executable.data(), executable.size(), VTC_UTF_8), FPS_POSIX);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(CountStartingWith(messages, "ERROR The client customization does not change the file " +
                                              to_string(path.GetPath()) + ", which has other names"),
              1)
        << ::testing::PrintToString(messages);
    EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application install"), 0);
    EXPECT_EQ(messages.back(), "INFO Update failed");
}

TEST_F(UpdaterEndToEnd, ADeepDownloadInstallsUnderTheUsualLimitOfOpenFiles)
{
    // 600 folders deep: more than the usual 1,024 open files at one or two a level.
    std::string deep = fUpToDate + "/Contents/Resources/deep";
    for (int level = 0; level < 600; ++level)
    {
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
        if (level % 50 == 0)
            WriteFileBytes(deep + "/f", std::to_string(level));
        deep += "/d";
    }
    const std::vector<std::string> download = TreeOf(fUpToDate);
    std::vector<std::string> arguments{"/bin/sh", "-c", "ulimit -n 1024 && exec \"$@\"", "sh"};
    for (const std::string& argument : Arguments({fOutdated, fUpToDate}))
        arguments.push_back(argument);
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.fStatus, 0) << outcome.fErr;
    EXPECT_TRUE(TreeOf(fOutdated) == download) << "the installed bundle differs from the download";
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "INFO Update successful") << ::testing::PrintToString(messages);
}

TEST_F(UpdaterEndToEnd, RunningOutOfOpenFilesIsToldAsSuch)
{
    fEnvironment["KOVA_TEST_COPY_FAULT"] = "EMFILE:2";
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 2);
    EXPECT_EQ(TreeOf(fOutdated), fOldTree);
    std::vector<std::string> errors;
    for (std::string message : WithoutTimes(LogMessages()))
    {
        std::transform(message.begin(), message.end(), message.begin(),
                       [](unsigned char inChar) { return std::tolower(inChar); });
        if (message.rfind("error ", 0) == 0)
            errors.push_back(message);
    }
    EXPECT_EQ(std::count(errors.begin(), errors.end(), "error too many open files"), 1)
        << ::testing::PrintToString(errors);
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& inError)
                            { return inError.find("could not be read") != std::string::npos; }),
              0);
}

// ---------------------------------------------------------------------------------------------
// Bundles named through links, signals that come during the copy, and option files that are not
// regular files.

// Every item under the folder given to the user (lchown: links are not followed).
void GiveTo(const std::string& inFolder, uid_t inUser)
{
    lchown(inFolder.c_str(), inUser, inUser);
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(inFolder, ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored))
        lchown(entry->path().c_str(), inUser, inUser);
}

TEST_F(UpdaterEndToEnd, BundlesThatAreTheSameOrNestedOnDiskAreRefusedWhateverTheirNames)
{
    // An update downloaded into the outdated bundle, and an old bundle lying in the up-to-date one.
    const std::string inside = fOutdated + "/Contents/Resources/Update/Sample.app";
    const std::string holder = fUpToDate + "/Contents/Resources/Old/Sample.app";
    MakeSampleBundle(inside, "2");
    MakeSampleBundle(holder, "1");
    const std::string newLink = fScratch.Posix("new/Link.app");
    struct Case
    {
        const char* fName;
        // A link made for the case when not empty.
        std::string fLink;
        std::string fTarget;
        std::string fOutdated;
        std::string fUpToDate;
        bool fUnprivileged;
    };
    const Case cases[] = {
        {"absolute link to the outdated bundle", newLink, fOutdated, fOutdated, newLink, false},
        {"relative link to the outdated bundle", newLink, "../apps/Sample.app", fOutdated, newLink, false},
        {"link to an update inside the outdated bundle", newLink, inside, fOutdated, newLink, false},
        {"outdated bundle inside the up-to-date one", "", "", holder, fUpToDate, false},
        {"relative link to the outdated bundle, unprivileged", newLink, "../apps/Sample.app", fOutdated,
         newLink, true},
    };
    std::string skipped;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        std::vector<std::string> arguments = Arguments({test.fOutdated, test.fUpToDate});
        // That user runs a copy of the updater's bundle: the build may lie where it cannot read.
        std::optional<StUnprivilegedCopy> updater;
        if (test.fUnprivileged && geteuid() == 0)
        {
            updater.emplace(std::filesystem::path(kBin).parent_path().parent_path().string());
            ASSERT_TRUE(updater->IsValid());
            arguments[0] = updater->Posix("Contents/MacOS/updater");
            arguments = UnprivilegedCommand(arguments);
            if (arguments.empty())
            {
                skipped += std::string(test.fName) + ": no setpriv here. ";
                continue;
            }
            GiveTo(fScratch.Posix(), kUnprivilegedUser);
        }
        unlink(newLink.c_str());
        std::filesystem::remove_all(fScratch.Posix("logs"));
        if (!test.fLink.empty())
        {
            ASSERT_EQ(symlink(test.fTarget.c_str(), test.fLink.c_str()), 0);
        }
        const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
        const std::vector<std::string> updates = TreeOf(fScratch.Posix("new"));

        ExpectRefusedAsSameOrNested(Run(arguments), apps, updates);
    }
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(UpdaterEndToEnd, BundlesThatAreOneFolderThroughABindMountAreRefused)
{
    // A bind mount shows a bundle at another name, which no real path resolves: the up-to-date
    // path may be the outdated bundle itself, or an update lying inside it, and the outdated
    // path an old bundle lying inside the up-to-date one.
    const std::string boundOutdated = fScratch.Posix("new/Bound.app");
    const std::string boundUpToDate = fScratch.Posix("apps/Holder.app");
    MakeSampleBundle(fOutdated + "/Contents/Resources/Update/Sample.app", "2");
    MakeSampleBundle(fUpToDate + "/Contents/Resources/Old/Sample.app", "1");
    for (const std::string& point : {boundOutdated, boundUpToDate})
        ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
    if (geteuid() != 0 || mount(fOutdated.c_str(), boundOutdated.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts need root";
    fMounts.push_back(boundOutdated);
    ASSERT_EQ(mount(fUpToDate.c_str(), boundUpToDate.c_str(), nullptr, MS_BIND, nullptr), 0);
    fMounts.push_back(boundUpToDate);
    struct Case
    {
        const char* fName;
        std::string fOutdated;
        std::string fUpToDate;
    };
    const Case cases[] = {
        {"the outdated bundle itself", fOutdated, boundOutdated},
        {"an update inside the outdated bundle", fOutdated,
         boundOutdated + "/Contents/Resources/Update/Sample.app"},
        {"an old bundle inside the up-to-date one", boundUpToDate + "/Contents/Resources/Old/Sample.app",
         fUpToDate},
    };
    const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
    const std::vector<std::string> updates = TreeOf(fScratch.Posix("new"));
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        std::filesystem::remove_all(fScratch.Posix("logs"));
        ExpectRefusedAsSameOrNested(Run(Arguments({test.fOutdated, test.fUpToDate})), apps, updates);
    }
}

TEST_F(UpdaterEndToEnd, AnUpToDateFolderThatHoldsNoBundleIsRefusedBeforeAnythingMoves)
{
    // Told as what it is, before the outdated bundle moves: a copy made in whole would only be
    // taken away again.
    const std::string elsewhere = fScratch.Posix("new/NoBundle");
    struct Case
    {
        const char* fName;
        std::function<void()> fShape;
    };
    const Case cases[] = {
        {"an empty folder", [&] { mkdir(fUpToDate.c_str(), 0755); }},
        {"Contents a file",
         [&]
         {
             mkdir(fUpToDate.c_str(), 0755);
             WriteFileBytes(fUpToDate + "/Contents", "a file");
         }},
        {"Contents a link to a folder of the download",
         [&]
         {
             MakeSampleBundle(fUpToDate, "2");
             ASSERT_EQ(rename((fUpToDate + "/Contents").c_str(), (fUpToDate + "/Real").c_str()), 0);
             ASSERT_EQ(symlink("Real", (fUpToDate + "/Contents").c_str()), 0);
         }},
        {"a link to a folder without Contents",
         [&]
         {
             mkdir(elsewhere.c_str(), 0755);
             WriteFileBytes(elsewhere + "/Info.plist", "<plist>2</plist>");
             ASSERT_EQ(symlink("NoBundle", fUpToDate.c_str()), 0);
         }},
    };
    const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        for (const std::string& path : {fUpToDate, elsewhere, fScratch.Posix("logs")})
            std::filesystem::remove_all(path);
        ASSERT_NO_FATAL_FAILURE(test.fShape());
        const std::vector<std::string> updates = TreeOf(fScratch.Posix("new"));
        const Outcome outcome = Update();
        ExpectRefusedBeforeAnythingMoved(outcome, apps, updates, NoBundleSentence(fUpToDate));
        EXPECT_EQ(CountStartingWith(WithoutTimes(LogMessages()), "ERROR Copying the up-to-date application "),
                  0);
    }
}

TEST_F(UpdaterEndToEnd, ADownloadThatStopsBeingABundleWhileTheUpdaterWaitsIsRolledBack)
{
    // Checked before anything moved, the download loses its Contents while the updater waits for
    // its caller: the copy is made, and the old bundle goes back, as no bundle stands in its place.
    StChild caller({"/bin/true"}, {});
    caller.Forget();
    fEnvironment["KOVA_TEST_UPDATER_STOP_AT_WAITS"] = "1";
    StChild updater(Arguments({"--pid=" + std::to_string(caller.Pid()), fOutdated, fUpToDate}), fEnvironment);
    ASSERT_TRUE(updater.WaitStopped());
    std::filesystem::remove_all(fUpToDate + "/Contents");
    const std::vector<std::string> updates = TreeOf(fScratch.Posix("new"));
    EXPECT_EQ(updater.WaitContinuing(), 2);
    waitpid(caller.Pid(), nullptr, 0);
    EXPECT_TRUE(TreeOf(fOutdated) == fOldTree);
    EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
    EXPECT_TRUE(TreeOf(fScratch.Posix("new")) == updates);
    EXPECT_FALSE(PathExists(fScratch.Posix("data/Trash")));
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(CountStartingWith(messages, "INFO Rolling back up-to-date application install"), 1);
    EXPECT_EQ(CountStartingWith(messages, "ERROR Copying the up-to-date application "), 1);
    EXPECT_EQ(CountStartingWith(messages, "ERROR Installing the up-to-date application failed."), 1);
    EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application restart"), 0);
}

TEST_F(UpdaterEndToEnd, AnOutdatedApplicationThatIsALinkIsRefusedBeforeAnythingMoves)
{
    // As versioned installs lay it out: apps/Sample.app -> Sample-1.0.app. Moved aside, the link
    // would leave the folder it leads to behind; a link that leads nowhere is told as a link too.
    const std::string versioned = fScratch.Posix("apps/Sample-1.0.app");
    ASSERT_EQ(rename(fOutdated.c_str(), versioned.c_str()), 0);
    const std::string targets[] = {"Sample-1.0.app", versioned, "Sample-0.9.app", "../new/Sample.app"};
    for (const std::string& target : targets)
    {
        SCOPED_TRACE(target);
        unlink(fOutdated.c_str());
        std::filesystem::remove_all(fScratch.Posix("logs"));
        ASSERT_EQ(symlink(target.c_str(), fOutdated.c_str()), 0);
        const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
        const std::vector<std::string> updates = TreeOf(fScratch.Posix("new"));
        const Outcome outcome = Update();
        ExpectRefusedBeforeAnythingMoved(outcome, apps, updates, LinkSentence(fOutdated));
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        EXPECT_EQ(CountStartingWith(messages, "ERROR The outdated application bundle does not exist"), 0);
        EXPECT_EQ(CountStartingWith(messages, "WARN Renaming the outdated application "), 0);
    }
}

TEST_F(UpdaterEndToEnd, AnApplicationInAFolderReachedThroughALinkIsUpdated)
{
    // apps -> apps-real: only the bundle's own name must be no link.
    const std::string real = fScratch.Posix("apps-real");
    ASSERT_EQ(rename(fScratch.Posix("apps").c_str(), real.c_str()), 0);
    ASSERT_EQ(symlink("apps-real", fScratch.Posix("apps").c_str()), 0);
    const Outcome outcome = Update();
    EXPECT_EQ(outcome.fStatus, 0) << outcome.fErr;
    char target[64] = {};
    EXPECT_EQ(readlink(fScratch.Posix("apps").c_str(), target, sizeof(target) - 1), 9);
    EXPECT_STREQ(target, "apps-real");
    EXPECT_TRUE(TreeOf(real + "/Sample.app") == fNewTree);
    EXPECT_EQ(NamesIn(real), std::vector<std::string>{"Sample.app"});
    EXPECT_TRUE(TreeOf(fScratch.Posix("data/Trash/files/Sample_old0001.app")) == fOldTree);
    EXPECT_THAT(Record(), ::testing::StartsWith("version 2.0\t"));
    EXPECT_EQ(WithoutTimes(LogMessages()).back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, SignalsThatWouldEndTheRunMidCopyWaitForItsEnd)
{
    // The caller's terminal closing, and every other signal that would end the process, come
    // half-way through the copy; fault signals too, sent by another process.
    const int signals[] = {SIGHUP,  SIGUSR1, SIGUSR2,  SIGALRM,  SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,
                           SIGXCPU, SIGXFSZ, SIGRTMIN, SIGRTMAX, SIGSEGV,   SIGBUS,  SIGABRT, SIGTRAP};
    fEnvironment["KOVA_TEST_COPY_FAULT"] = "STOP:2";
    for (int signal : signals)
    {
        SCOPED_TRACE(strsignal(signal));
        for (const char* folder : {"apps", "logs", "data"})
            std::filesystem::remove_all(fScratch.Posix(folder));
        MakeSampleBundle(fOutdated, "1");
        // An updater the signal would end leaves no core behind.
        StNoCoreFiles noCore;
        StChild updater(Arguments({fOutdated, fUpToDate}), fEnvironment);
        ASSERT_TRUE(updater.WaitStopped());
        kill(updater.Pid(), signal);
        kill(updater.Pid(), SIGCONT);
        EXPECT_EQ(updater.Wait(), 0);
        EXPECT_TRUE(TreeOf(fOutdated) == fNewTree);
        EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "INFO Update successful");
    }
}

TEST_F(UpdaterEndToEnd, ARunKilledMidCopyLeavesALogThatTellsHowFarItGot)
{
    ASSERT_NO_FATAL_FAILURE(KillDuringCopy("STOP:2"));
    const std::vector<std::string> expected{"INFO Updater starting",
                                            "INFO Waiting for external process to quit",
                                            "INFO Skipping process wait (negative pid)",
                                            "INFO Proceeding with up-to-date application install..."};
    EXPECT_EQ(WithoutTimes(LogMessages()), expected);
    ExpectRecoverable();
}

TEST_F(UpdaterEndToEnd, AnOptionFileThatIsNoRegularFileIsRefusedBeforeAnythingMoves)
{
    // A FIFO would hold the run for ever once opened; a device or a folder holds no such file.
    const std::string fifo = fScratch.Posix("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string fifoLink = fScratch.Posix("fifo-link");
    ASSERT_EQ(symlink("fifo", fifoLink.c_str()), 0);
    struct Case
    {
        const char* fOption;
        std::string fPath;
    };
    const Case cases[] = {
        {"--client-info=", fifo},
        {"--client-info=", fifoLink},
        {"--client-info=", "/dev/zero"},
        {"--restart-params=", fifo},
        {"--restart-params=", fScratch.Posix("new")},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fOption + test.fPath);
        std::filesystem::remove_all(fScratch.Posix("logs"));
        const Outcome outcome = Update({test.fOption + test.fPath});
        EXPECT_EQ(outcome.fStatus, 2);
        EXPECT_TRUE(TreeOf(fOutdated) == fOldTree);
        EXPECT_TRUE(TreeOf(fUpToDate) == fNewTree);
        EXPECT_EQ(NamesIn(fScratch.Posix("apps")), std::vector<std::string>{"Sample.app"});
        const VFilePath path(VString(test.fPath.data(), test.fPath.size(), VTC_UTF_8), FPS_POSIX);
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        EXPECT_EQ(std::count(messages.begin(), messages.end(),
                             "ERROR The file " + to_string(path.GetPath()) +
                                 " named on the command line is not a regular file."),
                  1)
            << ::testing::PrintToString(messages);
        EXPECT_EQ(CountStartingWith(messages, "INFO Waiting for external process to quit"), 0);
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }
}

// Lets go every reader that waits on the pipe: a writer that opens and closes at once ends it.
void ReleasePipeReaders(const std::string& inPipe)
{
    for (int i = 0; i < 100; ++i)
    {
        const int fd = open(inPipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST_F(UpdaterEndToEnd, AnInfoPlistThatIsAPipeNeverHoldsTheRun)
{
    // The download's Contents/Info.plist is a pipe that nobody writes: read by the customization
    // before anything moves, or, as a link to it, by the restart of the installed copy.
    const std::string fifo = fScratch.Posix("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    WriteFileBytes(fScratch.Posix("client.json"), R"({"ServerPlatform": "x", "BuildIPAdress": "10.0.0.5"})");
    struct Case
    {
        const char* fName;
        bool fLink;
        std::vector<std::string> fOptions;
    };
    const Case cases[] = {
        {"a pipe in the download, with a client customization",
         false,
         {"--client-info=" + fScratch.Posix("client.json")}},
        {"a link to a pipe outside, read by the restart", true, {}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        for (const char* folder : {"apps", "new", "logs", "data"})
            std::filesystem::remove_all(fScratch.Posix(folder));
        MakeSampleBundle(fOutdated, "1");
        MakeSampleBundle(fUpToDate, "2");
        const std::string plist = fUpToDate + "/Contents/Info.plist";
        ASSERT_EQ(unlink(plist.c_str()), 0);
        if (test.fLink)
            ASSERT_EQ(symlink(fifo.c_str(), plist.c_str()), 0);
        else
            ASSERT_EQ(mkfifo(plist.c_str(), 0644), 0);
        std::vector<std::string> more = test.fOptions;
        more.push_back(fOutdated);
        more.push_back(fUpToDate);
        StChild updater(Arguments(more), fEnvironment);
        const int status = updater.Wait();
        ReleasePipeReaders(test.fLink ? fifo : plist);
        EXPECT_NE(status, -1) << "the run never ended";
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        ASSERT_FALSE(messages.empty());
        EXPECT_TRUE(messages.back() == "INFO Update successful" || messages.back() == "INFO Update failed")
            << ::testing::PrintToString(messages);
        struct stat bundle = {};
        struct stat contents = {};
        EXPECT_TRUE(lstat(fOutdated.c_str(), &bundle) == 0 && S_ISDIR(bundle.st_mode) &&
                    lstat((fOutdated + "/Contents").c_str(), &contents) == 0 && S_ISDIR(contents.st_mode))
            << "no application at its path";
    }
}

TEST_F(UpdaterEndToEnd, AnOwnerThatCannotBeGivenLeavesTheCopyItsMakers)
{
    // Run as root of a user namespace that maps root alone: the outdated bundle's owner shows as
    // the overflow id, which no one there may give. The copy stays its maker's, as where the
    // process may not change owners at all, never the download's. The outdated bundle's group is
    // root's, with the right to write, so that the root of the namespace may put it away.
    if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0)
        GTEST_SKIP() << "needs root and unshare";
    ASSERT_EQ(chown(fOutdated.c_str(), 1234, 0), 0);
    ASSERT_EQ(chmod(fOutdated.c_str(), 0775), 0);
    for (const auto& [path, user, group, mode] : RightsOf(fUpToDate))
        ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0) << path;
    std::vector<std::string> arguments{"/usr/bin/unshare", "--user", "--map-root-user", "--"};
    for (const std::string& argument : Arguments({fOutdated, fUpToDate}))
        arguments.push_back(argument);
    const Outcome outcome = Run(arguments);
    if (outcome.fStatus == 1 && outcome.fErr.find("unshare") != std::string::npos)
        GTEST_SKIP() << "no user namespaces here: " << outcome.fErr;
    EXPECT_EQ(outcome.fStatus, 0) << outcome.fErr;
    EXPECT_TRUE(TreeOf(fOutdated) == fNewTree);
    for (const auto& [path, user, group, mode] : RightsOf(fOutdated))
    {
        EXPECT_EQ(user, 0u) << path;
        EXPECT_EQ(group, 0u) << path;
    }
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "INFO Update successful") << ::testing::PrintToString(messages);
}

// ---------------------------------------------------------------------------------------------
// Updates of one application that overlap: the application started twice, or an update retried
// while the first still runs.

TEST_F(UpdaterEndToEnd, TwoUpdatesOfOneApplicationTakeTurns)
{
    const std::string third = fScratch.Posix("new3/Sample.app");
    MakeBundle(third, "3");
    const std::vector<std::string> thirdTree = TreeOf(third);
    fEnvironment["PATH"] = PathOfAnOpenThatStopsItsCaller();
    // The update to version 3 has put it in place and is about to trash version 1.
    StChild toThree(Arguments({fOutdated, third}, "logs-3"), fEnvironment);
    ASSERT_TRUE(toThree.WaitStopped());
    ASSERT_TRUE(TreeOf(fOutdated) == thirdTree);
    // The update to version 2 stops itself at each wait and half-way through its copy.
    std::map<std::string, std::string> environment = fEnvironment;
    environment["KOVA_TEST_UPDATER_STOP_AT_WAITS"] = "1";
    environment["KOVA_TEST_COPY_FAULT"] = "STOP:2";
    StChild toTwo(Arguments({fOutdated, fUpToDate}, "logs-2"), environment);
    ASSERT_TRUE(toTwo.WaitStopped());
    EXPECT_TRUE(TreeOf(fOutdated) == thirdTree) << "the application moved while the other update ran";
    const int threeStatus = toThree.WaitContinuing();
    const int twoStatus = toTwo.WaitContinuing();

    const std::vector<std::string> installed = TreeOf(fOutdated);
    EXPECT_TRUE(installed == fNewTree || installed == thirdTree) << "no whole bundle at the path";
    EXPECT_NE(WhereIs(fOldTree), "") << "version 1 is lost";
    EXPECT_NE(WhereIs(fNewTree), "") << "version 2 is lost";
    EXPECT_NE(WhereIs(thirdTree), "") << "version 3 is lost";
    for (const std::string& name : NamesIn(fScratch.Posix("apps")))
        EXPECT_NE(name[0], '.') << "a partial copy is left: " << name;
    ExpectStatusAsLogged(threeStatus, "logs-3");
    ExpectStatusAsLogged(twoStatus, "logs-2");
    // Turn by turn both succeed: the later one waited, then updated what the earlier one installed.
    EXPECT_EQ(threeStatus, 0);
    EXPECT_EQ(twoStatus, 0);
    EXPECT_TRUE(installed == fNewTree);
    const std::string application = fOutdated + "/";
    EXPECT_EQ(CountInLog("INFO Waiting for another update of " + application + " to end", "logs-2"), 1);
    EXPECT_EQ(CountInLog("INFO The other update of " + application + " has ended. Proceeding.", "logs-2"), 1);
}

TEST_F(UpdaterEndToEnd, AnUpdateThatWaitsTooLongForAnotherChangesNothing)
{
    const std::string third = fScratch.Posix("new3/Sample.app");
    MakeBundle(third, "3");
    const std::vector<std::string> thirdTree = TreeOf(third);
    std::map<std::string, std::string> environment = fEnvironment;
    environment["PATH"] = PathOfAnOpenThatStopsItsCaller();
    StChild first(Arguments({fOutdated, fUpToDate}), environment);
    ASSERT_TRUE(first.WaitStopped());
    const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
    // The fifth wait: how long another update of the application is waited for.
    fEnvironment["KOVA_TEST_UPDATER_WAITS"] = "5,5,5,3000,50";
    const Outcome late = Run(Arguments({fOutdated, third}, "logs-3"));
    EXPECT_EQ(late.fStatus, 2);
    EXPECT_TRUE(TreeOf(fScratch.Posix("apps")) == apps) << "the application moved";
    EXPECT_TRUE(TreeOf(third) == thirdTree);
    const std::string application = fOutdated + "/";
    EXPECT_EQ(CountInLog("INFO Waiting for another update of " + application + " to end", "logs-3"), 1);
    EXPECT_EQ(CountInLog("ERROR Another update of " + application +
                             " still runs after maximum wait time. Giving up.",
                         "logs-3"),
              1);
    const std::vector<std::string> messages = WithoutTimes(LogMessages("logs-3"));
    EXPECT_EQ(CountStartingWith(messages, "ERROR The application "), 1) << ::testing::PrintToString(messages);
    EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application install"), 0);
    ExpectStatusAsLogged(late.fStatus, "logs-3");
    // The first update goes on to its end.
    EXPECT_EQ(first.WaitContinuing(), 0);
    EXPECT_TRUE(TreeOf(fOutdated) == fNewTree);
    EXPECT_EQ(WhereIs(fOldTree), "data/Trash/files/Sample_old0001.app");
}

TEST_F(UpdaterEndToEnd, ALockOfAnotherUserOnTheFolderHoldsNoUpdateBack)
{
    // Anyone who may read the applications' folder may lock it: only an update of the updater's
    // own user, or of root, is waited for.
    if (geteuid() != 0)
        GTEST_SKIP() << "handing a lock to another user needs root";
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const std::string apps = fScratch.Posix("apps");
    const pid_t holder = fork();
    if (holder == 0)
    {
        // Only calls that are safe in the child of a threaded process.
        const int folder = open(apps.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const char held =
            folder >= 0 && flock(folder, LOCK_EX | LOCK_NB) == 0 && BecomeUnprivileged() ? '1' : '0';
        (void)!write(ready[1], &held, 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char held = '0';
    if (holder > 0 && read(ready[0], &held, 1) != 1)
        held = '0';
    close(ready[0]);
    // A wait for that lock would outlast this one and fail the update.
    fEnvironment["KOVA_TEST_UPDATER_WAITS"] = "5,5,5,120000,3000";
    const Outcome outcome = held == '1' ? Update() : Outcome();
    if (holder > 0)
    {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    ASSERT_EQ(held, '1') << "the lock could not be taken and handed over";
    EXPECT_EQ(outcome.fStatus, 0);
    EXPECT_TRUE(TreeOf(fOutdated) == fNewTree);
    const std::vector<std::string> messages = WithoutTimes(LogMessages());
    EXPECT_EQ(CountStartingWith(messages, "WARN The folder of " + fOutdated +
                                              "/ is locked by a process of another user, which is no update "
                                              "to wait for. Proceeding."),
              1)
        << ::testing::PrintToString(messages);
    EXPECT_EQ(CountStartingWith(messages, "INFO Waiting for another update of "), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "INFO Update successful");
}

TEST_F(UpdaterEndToEnd, AnItemPutAtTheApplicationsPathMeanwhileIsNeverReplaced)
{
    // Something else takes the application's path while the outdated bundle is aside: during the
    // copy, or after the restart, once another hand has moved the installed copy away. It stays as
    // it is, and the old bundle stays beside it.
    struct Case
    {
        const char* fName;
        bool fAfterRestart;
        std::function<void(const std::string&)> fPut;
    };
    const Case cases[] = {
        {"a bundle, during the copy", false, [](const std::string& inPath) { MakeBundle(inPath, "3"); }},
        {"an empty folder, during the copy", false,
         [](const std::string& inPath) { mkdir(inPath.c_str(), 0755); }},
        {"a link, during the copy", false,
         [](const std::string& inPath) { symlink("Elsewhere.app", inPath.c_str()); }},
        {"an empty folder, after the restart", true,
         [](const std::string& inPath) { mkdir(inPath.c_str(), 0755); }},
        {"a link, after the restart", true,
         [](const std::string& inPath) { symlink("Elsewhere.app", inPath.c_str()); }},
    };
    const std::string apps = fScratch.Posix("apps");
    const std::string stoppingOpen = PathOfAnOpenThatStopsItsCaller();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        for (const char* folder : {"apps", "logs", "data", "moved"})
            std::filesystem::remove_all(fScratch.Posix(folder));
        MakeSampleBundle(fOutdated, "1");
        const std::vector<std::string> oldTree = TreeOf(fOutdated);
        std::map<std::string, std::string> environment = fEnvironment;
        if (test.fAfterRestart)
            environment["PATH"] = stoppingOpen;
        else
            environment["KOVA_TEST_COPY_FAULT"] = "STOP:2";
        StChild updater(Arguments({fOutdated, fUpToDate}), environment);
        ASSERT_TRUE(updater.WaitStopped());
        if (test.fAfterRestart)
        {
            mkdir(fScratch.Posix("moved").c_str(), 0755);
            ASSERT_EQ(rename(fOutdated.c_str(), fScratch.Posix("moved/Sample.app").c_str()), 0);
        }
        test.fPut(fOutdated);
        // The hidden partial copy aside.
        std::vector<std::string> before = TreeOf(apps);
        before.erase(std::remove_if(before.begin(), before.end(),
                                    [](const std::string& inLine) { return inLine[0] == '.'; }),
                     before.end());
        const int status = updater.WaitContinuing();
        EXPECT_EQ(status, 2);
        EXPECT_TRUE(TreeOf(apps) == before) << "what stands there, or the old bundle beside it, changed";
        EXPECT_EQ(NamesIn(apps), (std::vector<std::string>{"Sample.app", "Sample_old0001.app"}));
        EXPECT_TRUE(TreeOf(fScratch.Posix("apps/Sample_old0001.app")) == oldTree);
        EXPECT_FALSE(PathExists(fScratch.Posix("data/Trash")));
        EXPECT_EQ(CountStartingWith(WithoutTimes(LogMessages()), "ERROR The application's path "), 1)
            << ::testing::PrintToString(LogMessages());
        ExpectStatusAsLogged(status, "logs");
    }
}

TEST_F(UpdaterEndToEnd, WhatStandsAtTheApplicationsPathIsLookedAtAgainOnceTheTurnComes)
{
    // While the update waited for its turn, another one left the application's path otherwise
    // than the first look found it: refused as that look would have refused it, nothing moved.
    struct Case
    {
        const char* fName;
        std::function<void()> fChange;
        std::string fSentence;
    };
    const std::string versioned = fScratch.Posix("apps/Sample-1.0.app");
    const std::string moved = fScratch.Posix("moved/Sample.app");
    const Case cases[] = {
        {"a link there now",
         [&]
         {
             ASSERT_EQ(rename(fOutdated.c_str(), versioned.c_str()), 0);
             ASSERT_EQ(symlink("Sample-1.0.app", fOutdated.c_str()), 0);
         },
         LinkSentence(fOutdated)},
        {"nothing there now",
         [&]
         {
             ASSERT_EQ(mkdir(fScratch.Posix("moved").c_str(), 0755), 0);
             ASSERT_EQ(rename(fOutdated.c_str(), moved.c_str()), 0);
         },
         "The outdated application bundle does not exist: " + ErrorPathOf(fOutdated)},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        for (const char* folder : {"apps", "logs", "data", "moved"})
            std::filesystem::remove_all(fScratch.Posix(folder));
        MakeSampleBundle(fOutdated, "1");
        // The other update's turn, held by the test.
        const int other = open(fScratch.Posix("apps").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
        std::map<std::string, std::string> environment = fEnvironment;
        environment["KOVA_TEST_UPDATER_STOP_AT_WAITS"] = "1";
        StChild updater(Arguments({fOutdated, fUpToDate}), environment);
        const bool waiting = updater.WaitStopped();
        if (waiting)
            test.fChange();
        const std::vector<std::string> apps = TreeOf(fScratch.Posix("apps"));
        close(other);
        ASSERT_TRUE(waiting);
        EXPECT_EQ(updater.WaitContinuing(), 2);
        EXPECT_TRUE(TreeOf(fScratch.Posix("apps")) == apps) << "the application's folder changed";
        EXPECT_FALSE(PathExists(fScratch.Posix("data/Trash")));
        const std::vector<std::string> messages = WithoutTimes(LogMessages());
        EXPECT_EQ(CountStartingWith(messages, "INFO Waiting for another update of "), 1)
            << ::testing::PrintToString(messages);
        EXPECT_EQ(CountStartingWith(messages, "ERROR " + test.fSentence), 1);
        EXPECT_EQ(CountStartingWith(messages, "INFO Proceeding with up-to-date application install"), 0);
        EXPECT_EQ(CountStartingWith(messages, "WARN Renaming the outdated application "), 0);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "INFO Update failed");
    }
}

} // namespace
} // namespace kova
