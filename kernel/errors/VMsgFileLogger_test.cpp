#include "kernel/errors/VMsgFileLogger.h"

#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VSplitableLogFile.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/UnprivilegedTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/ProcessTesting_test.h"
#include "kernel/tasks/StTimeZone_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

// 2026-01-31T09:05:07.250Z
constexpr int64_t kNow = 1769850307250;
int64_t FixedClock()
{
    return kNow;
}

const char* const kLogName = "2026-01-31_09-05-07_log";

VFolder FolderAt(const std::string& inPosixPath)
{
    const std::string path = inPosixPath + "/";
    return VFolder(VFilePath(VString(path.data(), path.size(), VTC_UTF_8), FPS_POSIX));
}

VRefPtr<VValueBag> Record(std::initializer_list<std::pair<const char*, const char*>> inTexts,
                          std::initializer_list<std::pair<const char*, int64_t>> inNumbers = {})
{
    VRefPtr<VValueBag> record(new VValueBag);
    for (const auto& [key, text] : inTexts)
        record->SetString(key, VString(text, std::strlen(text), VTC_UTF_8));
    for (const auto& [key, number] : inNumbers)
    {
        if (std::string(key) == "error_code")
            record->SetLong8(key, number);
        else
            record->SetLong(key, int32_t(number));
    }
    return record;
}

// A started process logger that the test flushes.
class LoggerProcess : public testing::Test
{
protected:
    void SetUp() override
    {
        fLogger = fProcess.GetLogger();
        fLogger->_SetFlushPeriodForTesting(60000);
    }

    StTestProcess fProcess{true, "Updater"};
    VLogger* fLogger = nullptr;
};

// And a writer on a temporary folder whose lines carry a fixed time.
class MsgFileLogger : public LoggerProcess
{
protected:
    void SetUp() override
    {
        LoggerProcess::SetUp();
        fWriter.SetClockForTesting(FixedClock);
    }

    std::string FileOf(int32_t inNumber) const
    {
        return fFolder.Posix(std::string(kLogName) + "_" + std::to_string(inNumber) + ".txt");
    }
    // The lines of a file, each without its sequence number; the numbers must follow each other,
    // and every line is one record's.
    std::vector<std::string> Lines(int32_t inNumber) const
    {
        std::istringstream text(ReadFileBytes(FileOf(inNumber)));
        std::vector<std::string> lines;
        uint64_t previous = 0;
        for (std::string line; std::getline(text, line);)
        {
            if (line.empty() || line[0] < '0' || line[0] > '9')
            {
                ADD_FAILURE() << "not a line of its own: " << line;
                lines.push_back(line);
                continue;
            }
            size_t blank = line.find(' ');
            uint64_t sequence = std::stoull(line.substr(0, blank));
            if (previous != 0)
            {
                EXPECT_EQ(sequence, previous + 1) << line;
            }
            previous = sequence;
            lines.push_back(line.substr(blank + 1));
        }
        return lines;
    }

    StTemporaryFolder fFolder;
    VMsgFileLogger fWriter{VFolder(fFolder.Path()), VString(kLogName)};
};

TEST_F(MsgFileLogger, WritesEachRecordAsItsLine)
{
    fWriter.Start();
    ASSERT_TRUE(fWriter.IsStarted());
    fLogger->WithDebug(true);
    const int64_t kova600 = int64_t(VE_FILE_NOT_FOUND);
    fLogger->LogBag(Record({{"message", "hello"}}).Get());
    fLogger->LogBag(Record({{"source", "Engine"}, {"message", "abc"}},
                           {{"level", 6}, {"error_code", kova600}, {"task_id", 3}})
                        .Get());
    fLogger->LogBag(
        Record({{"source", "S"}, {"message", "m"}}, {{"component_signature", 0}, {"error_code", kova600}})
            .Get());
    fLogger->LogBag(Record({{"message", "p"}, {"payload", "a\nb"}}).Get());
    fLogger->LogBag(Record({{"message", "debug"}}, {{"level", 3}}).Get());
    fLogger->LogBag(Record({{"message", "36"}}, {{"level", 36}}).Get());
    fLogger->LogBag(Record({{"message", "two\nlines"}, {"task_name", "Main"}, {"file_name", "f.cpp"}},
                           {{"level", 5}, {"line_number", 7}})
                        .Get());
    fLogger->LogBag(Record({{"message", "é ∑"}, {"source", ""}}, {{"level", 7}}).Get());
    fLogger->Flush();
    EXPECT_EQ(Lines(1), (std::vector<std::string>{
                            "2026-01-31T09:05:07.250 [Updater] INFO - hello ()",
                            "2026-01-31T09:05:07.250 [Engine.kova] ERROR - [600] abc (task=3)",
                            "2026-01-31T09:05:07.250 [S] INFO - [600] m ()",
                            "2026-01-31T09:05:07.250 [Updater] INFO - p (payload=a ; b)",
                            "2026-01-31T09:05:07.250 [Updater] INFO - 36 ()",
                            "2026-01-31T09:05:07.250 [Updater] WARN - two\\nlines (taskName=Main, "
                            "fileName=f.cpp, lineNumber=7)",
                            "2026-01-31T09:05:07.250 [] FATAL - é ∑ ()",
                        }));
}

TEST_F(MsgFileLogger, ARecordIsOneLineWhateverItsTexts)
{
    struct Case
    {
        const char* fSource;
        const char* fMessage;
        const char* fLine;
    };
    // One visible form per control character; everything else, a backslash included, as it is.
    const Case kCases[] = {
        {"T", "failed\n1 2026-01-31T09:05:07.250 [Updater.QLUP] INFO - Update successful",
         "[T] INFO - failed\\n1 2026-01-31T09:05:07.250 [Updater.QLUP] INFO - Update successful ()"},
        {"T", "a\rb\tc\r\n", "[T] INFO - a\\rb\\tc\\r\\n ()"},
        {"T", "esc\x1b[2J bell\x07 del\x7f unit\x1f",
         "[T] INFO - esc\\x1B[2J bell\\x07 del\\x7F unit\\x1F ()"},
        {"T", "next\u0085line\u2028para\u2029end", "[T] INFO - next\\u0085line\\u2028para\\u2029end ()"},
        {"T", "C:\\new \u00e9\u2019\u20ac", "[T] INFO - C:\\new \u00e9\u2019\u20ac ()"},
        {"a\nb", "source", "[a\\nb] INFO - source ()"},
    };
    fWriter.Start();
    for (const Case& test : kCases)
    {
        const VString source(test.fSource, std::strlen(test.fSource), VTC_UTF_8);
        fLogger->LogMessage(EML_Info, VString(test.fMessage, std::strlen(test.fMessage), VTC_UTF_8), source);
    }
    fLogger->Flush();
    std::vector<std::string> lines = Lines(1);
    ASSERT_EQ(lines.size(), std::size(kCases));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], std::string("2026-01-31T09:05:07.250 ") + kCases[i].fLine);
}

TEST_F(MsgFileLogger, TellsWhetherItsFileTookEveryLine)
{
    EXPECT_EQ(fWriter.GetWriteError(), VE_OK);
    fWriter.Start();
    fLogger->LogMessage(EML_Info, VString("taken"), VString("T"));
    fLogger->Flush();
    EXPECT_EQ(fWriter.GetWriteError(), VE_OK);
    VSplitableLogFile::SetWriteFunctionForTesting(
        [](const void*, size_t, FILE*) -> size_t
        {
            errno = ENOSPC;
            return 0;
        });
    testing::internal::CaptureStderr();
    fLogger->LogMessage(EML_Info, VString("not taken"), VString("T"));
    fLogger->Flush();
    fWriter.Flush();
    const VError error = fWriter.GetWriteError();
    fWriter.Stop();
    VSplitableLogFile::SetWriteFunctionForTesting(nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, MakeVError(kCOMPONENT_POSIX, ENOSPC));
    EXPECT_EQ(Lines(1).size(), 1u);
}

TEST_F(MsgFileLogger, TheTimeIsTheLocalTimeOfWriting)
{
    StTimeZone paris("CET-1CEST,M3.5.0,M10.5.0/3");
    fWriter.Start();
    fLogger->LogMessage(EML_Info, VString("x"), VString("T"));
    fLogger->Flush();
    VTime time;
    time.FromUTCTime(2026, 1, 31, 9, 5, 7, 250);
    VString expected;
    time.GetRfc3339String(expected, 2);
    EXPECT_EQ(to_string(expected), "2026-01-31T10:05:07.250");
    EXPECT_EQ(Lines(1), std::vector<std::string>{to_string(expected) + " [T] INFO - x ()"});
}

TEST_F(MsgFileLogger, ARecordWithoutAttributesTakesTheDefaults)
{
    VString source;
    VString message;
    EMessageLevel level = EML_Fatal;
    VMsgFileLogger::GetLogInfosFromBag(nullptr, source, level, message);
    EXPECT_EQ(to_string(source), "Updater");
    EXPECT_EQ(level, EML_Info);
    EXPECT_EQ(to_string(message), " ()");
    EXPECT_STREQ(VMsgFileLogger::GetMessageLevelName(EMessageLevel(9)), "INFO");
    EXPECT_STREQ(VMsgFileLogger::GetMessageLevelName(EML_Assert), "ASSERT");
}

TEST_F(MsgFileLogger, PausedItWritesNothingAndNumbersNothing)
{
    fWriter.Start();
    fLogger->LogMessage(EML_Info, VString("one"), VString("T"));
    fLogger->Flush();
    fWriter.Pause();
    EXPECT_TRUE(fWriter.ShouldLog(EML_Info));
    fLogger->LogMessage(EML_Info, VString("dropped"), VString("T"));
    fLogger->Flush();
    fWriter.Resume();
    fLogger->LogMessage(EML_Info, VString("two"), VString("T"));
    fLogger->Flush();
    // Lines checks that the numbers follow each other.
    EXPECT_EQ(Lines(1).size(), 2u);
}

TEST_F(MsgFileLogger, StartAppendsToTheLastFileOfTheRun)
{
    struct Case
    {
        std::vector<int32_t> fPresent;
        int32_t fChosen;
    };
    const Case kCases[] = {
        {{}, 1},
        {{1, 2, 3}, 3},
        {{1, 3}, 1},
        // The first files of an older run were removed: a new file 1 would later empty file 2.
        {{2, 3, 4}, 4},
    };
    for (const Case& test : kCases)
    {
        StTemporaryFolder folder;
        for (int32_t number : test.fPresent)
            WriteFileBytes(folder.Posix(std::string(kLogName) + "_" + std::to_string(number) + ".txt"),
                           "old\n");
        VMsgFileLogger writer(VFolder(folder.Path()), VString(kLogName));
        writer.SetClockForTesting(FixedClock);
        EXPECT_EQ(writer.GetLogMaxNumberToKeep(), 0);
        writer.Start();
        EXPECT_EQ(writer.GetLogMaxNumberToKeep(), 50);
        fLogger->LogMessage(EML_Info, VString("new"), VString("T"));
        writer.Stop();
        const std::string chosen =
            folder.Posix(std::string(kLogName) + "_" + std::to_string(test.fChosen) + ".txt");
        std::string text = ReadFileBytes(chosen);
        EXPECT_NE(text.find("[T] INFO - new ()\n"), std::string::npos) << test.fChosen;
    }
}

TEST_F(MsgFileLogger, StopWritesWhatWaitsAndAStartedWriterStartsAgain)
{
    fWriter.Start();
    fLogger->LogMessage(EML_Info, VString("before stop"), VString("T"));
    fWriter.Stop();
    EXPECT_FALSE(fWriter.IsStarted());
    EXPECT_FALSE(fWriter._IsStarted());
    fLogger->LogMessage(EML_Info, VString("while stopped"), VString("T"));
    fLogger->Flush();
    fWriter.Start();
    fLogger->LogMessage(EML_Info, VString("after"), VString("T"));
    fWriter.Stop();
    std::vector<std::string> lines = Lines(1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("before stop"), std::string::npos);
    EXPECT_NE(lines[1].find("after"), std::string::npos);
}

TEST_F(MsgFileLogger, AFolderItMadeKeepsItsFilesOnceItsPathIsSwappedForALink)
{
    // Between two starts, whoever may write the folder above the ones the writer made swaps them
    // for a link to a folder of theirs that holds a run of the same name: the writer still
    // appends to the file it made, and their files stay as they were.
    StTemporaryFolder elsewhere;
    std::filesystem::create_directory(elsewhere.Posix("b"));
    for (const char* number : {"1", "2"})
        WriteFileBytes(elsewhere.Posix(std::string("b/") + kLogName + "_" + number + ".txt"), "theirs\n");
    VMsgFileLogger writer(FolderAt(fFolder.Posix("a/b")), VString(kLogName));
    writer.SetClockForTesting(FixedClock);
    writer.Start();
    ASSERT_TRUE(writer.IsStarted());
    fLogger->LogMessage(EML_Info, VString("first"), VString("T"));
    writer.Stop();
    std::filesystem::rename(fFolder.Posix("a"), fFolder.Posix("made"));
    std::filesystem::create_directory_symlink(elsewhere.Posix(), fFolder.Posix("a"));
    writer.Start();
    fLogger->LogMessage(EML_Info, VString("again"), VString("T"));
    writer.Stop();
    for (const char* number : {"1", "2"})
        EXPECT_EQ(ReadFileBytes(elsewhere.Posix(std::string("b/") + kLogName + "_" + number + ".txt")),
                  "theirs\n");
    EXPECT_EQ(NamesIn(elsewhere.Posix("b")).size(), 2u);
    const std::string made = ReadFileBytes(fFolder.Posix(std::string("made/b/") + kLogName + "_1.txt"));
    EXPECT_NE(made.find("[T] INFO - first ()\n"), std::string::npos) << made;
    EXPECT_NE(made.find("[T] INFO - again ()\n"), std::string::npos) << made;
}

TEST_F(MsgFileLogger, ALogFolderThatCannotBeMadeRaisesAFolderErrorOnWhatStandsInTheWay)
{
    // A file where a folder of the path is to be made; a link on the way that leads out of the
    // folder that exists, to a folder that does not: nothing is made there.
    StTemporaryFolder elsewhere;
    WriteFileBytes(fFolder.Posix("file"), "");
    ASSERT_EQ(symlink(elsewhere.Posix("missing").c_str(), fFolder.Posix("out").c_str()), 0);
    struct Case
    {
        const char* fFolder;
        const char* fInTheWay;
        int fErrno;
    };
    const Case kCases[] = {
        {"file/a/b", "file", ENOTDIR},
        {"out/a/b", "out", ELOOP},
    };
    for (const Case& test : kCases)
    {
        SCOPED_TRACE(test.fFolder);
        VMsgFileLogger writer(FolderAt(fFolder.Posix(test.fFolder)), VString(kLogName));
        StErrorContextInstaller errors(false, true);
        EXPECT_NE(writer.CreateLogFolder(), VE_OK);
        const VErrorContext* context = errors.GetContext();
        ASSERT_EQ(context->GetErrorCount(), 2u);
        EXPECT_EQ(context->GetNthError(1)->GetError(), MakeVError(kCOMPONENT_POSIX, uint32_t(test.fErrno)));
        VString path;
        context->GetNthError(2)->GetBag()->GetString("path", path);
        VString expected;
        FolderAt(fFolder.Posix(test.fInTheWay)).GetPath().GetPath(expected);
        EXPECT_EQ(to_string(path), to_string(expected));
        writer.Start();
        EXPECT_FALSE(writer.IsStarted());
    }
    EXPECT_EQ(NamesIn(elsewhere.Posix()), std::vector<std::string>{});
}

TEST_F(MsgFileLogger, WithoutAProcessLoggerNothingStarts)
{
    StTestProcess bare(false);
    fWriter.Start();
    EXPECT_FALSE(fWriter.IsStarted());
    EXPECT_FALSE(PathExists(FileOf(1)));
}

TEST_F(MsgFileLogger, ManyTasksReachTheFileThroughTheLoggersTask)
{
    fLogger->_SetFlushPeriodForTesting(1);
    fWriter.Start();
    LogFromTasks(*fLogger, 8, 100);
    fWriter.Stop();
    std::vector<std::string> messages;
    for (const std::string& line : Lines(1))
        messages.push_back(line.substr(line.find(" - ") + 3, line.size() - line.find(" - ") - 3 - 3));
    EXPECT_EQ(ExpectEachTasksOrder(messages), 800u);
}

TEST_F(MsgFileLogger, APushedErrorGivesOneErrorLine)
{
    VDebugMgr::Get()->Init();
    fWriter.Start();
    RunOnTask([] { _ThrowError(MakeKovaError(1001)); });
    VDebugMgr::Get()->DeInit();
    fWriter.Stop();
    std::vector<std::string> lines = Lines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(
                  "2026-01-31T09:05:07.250 [Updater.kova] ERROR - [1001] Error code: 1001 (kova) (task=", 0),
              0u)
        << lines[0];
}

TEST_F(MsgFileLogger, AFileThatFailsThenRecoversGetsEveryLineInOrder)
{
    fWriter.Start();
    static std::atomic<int32_t> sFailures{0};
    VSplitableLogFile::SetWriteFunctionForTesting(
        [](const void* inData, size_t inSize, FILE* inStream) -> size_t
        {
            if (sFailures.load() > 0)
            {
                --sFailures;
                errno = ENOSPC;
                return 0;
            }
            return std::fwrite(inData, 1, inSize, inStream);
        });
    sFailures = 2;
    testing::internal::CaptureStderr();
    for (int batch = 1; batch <= 3; ++batch)
    {
        fLogger->LogMessage(EML_Info, VString(std::to_string(batch).c_str()), VString("T"));
        fLogger->Flush();
    }
    VSplitableLogFile::SetWriteFunctionForTesting(nullptr);
    std::string reports = testing::internal::GetCapturedStderr();
    // Every line reached the file in the end.
    EXPECT_EQ(fWriter.GetWriteError(), VE_OK);
    fWriter.Stop();
    std::vector<std::string> lines = Lines(1);
    ASSERT_EQ(lines.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(lines[size_t(i)].find(" - " + std::to_string(i + 1) + " ()"), std::string::npos);
    EXPECT_NE(reports.find("(No space left on device): the lines wait for it"), std::string::npos) << reports;
    EXPECT_NE(reports.find("takes the lines again; 0 lines were lost meanwhile"), std::string::npos)
        << reports;
}

// As a user who may not write in the folder (root may write anywhere: the test then takes another
// user's identity in a child of its own). The death tests' children make no temporary folder that
// they could not remove.
using MsgFileLoggerDeathTest = LoggerProcess;

TEST_F(MsgFileLoggerDeathTest, AFolderItCannotWriteRaisesWhyAndStartsNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string folder = DeathTestFolder("read-only-logs");
    auto check = [&]
    {
        if (geteuid() == 0 && !BecomeUnprivileged())
            std::exit(2);
        VMsgFileLogger writer(FolderAt(folder), VString("log"));
        StErrorContextInstaller errors;
        writer.Start();
        const VErrorContext* context = errors.GetContext();
        bool raised = context->GetErrorCount() == 2 &&
                      context->GetNthError(1)->GetError() == MakeVError(kCOMPONENT_POSIX, EACCES) &&
                      context->GetNthError(2)->GetError() == VE_ACCESS_DENIED;
        std::exit(!writer.IsStarted() && raised && !PathExists(folder + "/log_1.txt") ? 0 : 1);
    };
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    chmod(folder.c_str(), 0555);
    EXPECT_EXIT(check(), testing::ExitedWithCode(0), "");
    std::filesystem::remove_all(folder);
}

// A process killed at any step of a split keeps every line it wrote, leaves at most one file
// more than it keeps, and its next run appends to the last file. Step 1: the next file is open; 2:
// the current one is closed; 3: the oldest is removed.
class KilledSplit : public LoggerProcess, public testing::WithParamInterface<int32_t>
{
protected:
    std::string File(int32_t inNumber) const { return fLogs + "/log_" + std::to_string(inNumber) + ".txt"; }
    VFolder Logs() const { return FolderAt(fLogs); }

    std::string fLogs = DeathTestFolder("killed-split");
    static inline int32_t sKillAt = 0;
};

TEST_P(KilledSplit, LosesNoWrittenLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::filesystem::remove_all(fLogs);
    std::filesystem::create_directory(fLogs);
    for (int32_t number = 1; number <= 3; ++number)
        WriteFileBytes(File(number), "");
    std::filesystem::resize_file(File(3), uintmax_t(VSplitableLogFile::kSplitSize));
    sKillAt = GetParam();
    auto run = [&]
    {
        VMsgFileLogger writer(Logs(), VString("log"));
        writer.Start();
        writer.SetLogMaxNumberToKeep(3);
        fLogger->LogMessage(EML_Info, VString("written"), VString("T"));
        fLogger->Flush();
        VSplitableLogFile::SetSplitStepHookForTesting(
            [](int32_t inStep)
            {
                if (inStep == sKillAt)
                    raise(SIGKILL);
            });
        fLogger->LogMessage(EML_Info, VString("splits"), VString("T"));
        fLogger->Flush();
        std::exit(0);
    };
    EXPECT_EXIT(run(), testing::KilledBySignal(SIGKILL), "");

    const std::string tail = ReadFileBytes(File(3)).substr(size_t(VSplitableLogFile::kSplitSize));
    EXPECT_NE(tail.find("[T] INFO - written ()\n"), std::string::npos) << tail;
    int32_t files = 0;
    for (int32_t number = 1; number <= 4; ++number)
        files += PathExists(File(number)) ? 1 : 0;
    EXPECT_LE(files, 4);
    EXPECT_EQ(PathExists(File(1)), GetParam() < 3);

    VMsgFileLogger again(Logs(), VString("log"));
    again.Start();
    fLogger->LogMessage(EML_Info, VString("restarted"), VString("T"));
    again.Stop();
    EXPECT_NE(ReadFileBytes(File(4)).find("[T] INFO - restarted ()\n"), std::string::npos);
    std::filesystem::remove_all(fLogs);
}

INSTANTIATE_TEST_SUITE_P(EachStep, KilledSplit, testing::Values(1, 2, 3));

} // namespace
} // namespace kova
