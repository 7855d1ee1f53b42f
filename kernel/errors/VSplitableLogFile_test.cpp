#include "kernel/errors/VSplitableLogFile.h"

#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/UnprivilegedTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/StStringConverter.h"
#include "platform/mac/errors/XMacLogFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

constexpr int64_t kSplit = VSplitableLogFile::kSplitSize;

// A log file "log_N.txt" in a temporary folder.
class SplitableLogFile : public testing::Test
{
protected:
    std::string FileOf(int32_t inNumber) const
    {
        return fFolder.Posix("log_" + std::to_string(inNumber) + ".txt");
    }
    // A file of that size, all of it a hole.
    void MakeSparse(int32_t inNumber, int64_t inSize) const
    {
        WriteFileBytes(FileOf(inNumber), "");
        std::filesystem::resize_file(FileOf(inNumber), uintmax_t(inSize));
    }
    VSplitableLogFile* NewFile(int32_t inNumber) const
    {
        return new VSplitableLogFile(VFolder(fFolder.Path()), VString("log"), inNumber, false);
    }
    // The bytes of the file after its first inSkip ones.
    std::string TailOf(int32_t inNumber, int64_t inSkip = 0) const
    {
        return ReadFileBytes(FileOf(inNumber)).substr(size_t(inSkip));
    }

    StTemporaryFolder fFolder;
};

// The stream's writes fail (errno sErrno) while sFailures is above 0, each failure counting one;
// with sPartial, a failing write takes that many bytes first.
std::atomic<int32_t> sFailures{0};
std::atomic<size_t> sPartial{0};
std::atomic<int> sErrno{EIO};

size_t FailingWrite(const void* inData, size_t inSize, FILE* inStream)
{
    if (sFailures.load() > 0)
    {
        --sFailures;
        size_t taken = std::min(sPartial.load(), inSize);
        if (taken > 0)
            std::fwrite(inData, 1, taken, inStream);
        errno = sErrno.load();
        return taken;
    }
    return std::fwrite(inData, 1, inSize, inStream);
}

class StFailingWrites
{
public:
    explicit StFailingWrites(int32_t inFailures, size_t inPartial = 0, int inErrno = EIO)
    {
        sFailures = inFailures;
        sPartial = inPartial;
        sErrno = inErrno;
        VSplitableLogFile::SetWriteFunctionForTesting(FailingWrite);
    }
    ~StFailingWrites()
    {
        VSplitableLogFile::SetWriteFunctionForTesting(nullptr);
        sFailures = 0;
    }
    StFailingWrites(const StFailingWrites&) = delete;
    StFailingWrites& operator=(const StFailingWrites&) = delete;
};

void AppendAll(VSplitableLogFile& ioFile, const std::vector<std::string>& inLines)
{
    std::string buffer;
    std::vector<size_t> ends;
    for (const std::string& line : inLines)
    {
        buffer += line;
        ends.push_back(buffer.size());
    }
    ioFile.AppendLines(buffer.data(), ends.data(), ends.size());
}

TEST(VSplitableLogFileNames, BaseNameNumberAndExtension)
{
    VString name;
    VSplitableLogFile::BuildLogFileName(VString("2026-01-31_09-05-07_log"), 3, name);
    EXPECT_EQ(to_string(name), "2026-01-31_09-05-07_log_3.txt");
    VSplitableLogFile::BuildLogFileNameWithExt(VString("a"), 12, VString(".log"), name);
    EXPECT_EQ(to_string(name), "a_12.log");
}

TEST_F(SplitableLogFile, OpensToAppendOrToOverwriteAndMakesItsFolder)
{
    WriteFileBytes(FileOf(1), "old\n");
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    file->AppendString("new\n");
    file->Close();
    EXPECT_EQ(ReadFileBytes(FileOf(1)), "old\nnew\n");
    ASSERT_TRUE(file->Open(1, true));
    file->AppendString(VString("again\n"));
    file->Close();
    EXPECT_EQ(ReadFileBytes(FileOf(1)), "again\n");

    WriteFileBytes(FileOf(2), "");
    ASSERT_TRUE(file->Open(false, true));
    EXPECT_EQ(file->GetLogNumber(), 3);
    file->Close();

    StTemporaryFolder other;
    VSplitableLogFile deep(VFolder(other.Path("a/b/")), VString("log"), 1, false);
    ASSERT_TRUE(deep.Open(false, false));
    deep.Close();
    EXPECT_TRUE(PathExists(other.Posix("a/b/log_1.txt")));
}

TEST_F(SplitableLogFile, SplitsOnlyPastTenMebibytesAndEmptiesTheNextFile)
{
    MakeSparse(1, kSplit);
    WriteFileBytes(FileOf(2), "stale\n");
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    EXPECT_EQ(file->CheckLogSize(), 0);
    file->AppendString("x\n");
    EXPECT_EQ(file->GetLogNumber(), 1);
    file->AppendString("y\n");
    EXPECT_EQ(file->GetLogNumber(), 2);
    file->Close();
    EXPECT_EQ(TailOf(1, kSplit), "x\n");
    EXPECT_EQ(ReadFileBytes(FileOf(2)), "y\n");
}

TEST_F(SplitableLogFile, KeepsTheNewestFiftyFiles)
{
    for (int32_t number = 1; number < 50; ++number)
        WriteFileBytes(FileOf(number), "");
    MakeSparse(49, kSplit + 1);
    std::unique_ptr<VSplitableLogFile> file(NewFile(49));
    ASSERT_TRUE(file->Open(false, false));
    EXPECT_EQ(file->CheckLogSize(), 50);
    EXPECT_TRUE(PathExists(FileOf(1)));
    MakeSparse(50, kSplit + 1);
    file->Close();
    ASSERT_TRUE(file->Open(false, false));
    EXPECT_EQ(file->CheckLogSize(), 51);
    EXPECT_FALSE(PathExists(FileOf(1)));
    EXPECT_TRUE(PathExists(FileOf(2)));
}

TEST_F(SplitableLogFile, ABatchGoesAtOnceWithTheSameBytesAndSplitsAsLineByLine)
{
    StTemporaryFolder byLine;
    const std::vector<std::string> lines = {"first line 1\n", "second line\n", "third line\n", "fourth\n",
                                            "5\n"};
    auto run = [&](const StTemporaryFolder& inFolder, bool inAsBatch)
    {
        const std::string first = inFolder.Posix("log_1.txt");
        WriteFileBytes(first, "");
        std::filesystem::resize_file(first, uintmax_t(kSplit - 20));
        VSplitableLogFile file(VFolder(inFolder.Path()), VString("log"), 1, false);
        file.SetSeparator(VString("--\n"));
        file.SetHeader(VString("H\n"));
        file.SetFooter(VString("F\n"));
        EXPECT_TRUE(file.Open(false, false));
        if (inAsBatch)
        {
            AppendAll(file, lines);
        }
        else
        {
            for (const std::string& line : lines)
                file.AppendString(line.c_str());
        }
        file.Close();
        return ReadFileBytes(first).substr(size_t(kSplit - 20)) + "|" +
               ReadFileBytes(inFolder.Posix("log_2.txt"));
    };
    const std::string expected =
        "H\nfirst line 1\n--\nsecond line\nF\n|H\nthird line\n--\nfourth\n--\n5\nF\n";
    EXPECT_EQ(run(byLine, false), expected);
    EXPECT_EQ(run(fFolder, true), expected);
}

TEST_F(SplitableLogFile, UnwrittenLinesWaitAndGoFirstOnceTheFileTakesThem)
{
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    testing::internal::CaptureStderr();
    {
        // The first write takes 5 bytes then fails; the retry of the next batch fails too.
        StFailingWrites failing(2, 5);
        AppendAll(*file, {"line 1\n", "line 2\n"});
        AppendAll(*file, {"line 3\n"}); // waits behind, not tried before the retry
        EXPECT_GT(file->GetBacklogBytes(), 0u);
        file->RetryPending();
        EXPECT_EQ(ReadFileBytes(FileOf(1)), "line 1\nlin"); // 5 bytes at each failed write
        file->RetryPending();
        AppendAll(*file, {"line 4\n"});
    }
    std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes(FileOf(1)), "line 1\nline 2\nline 3\nline 4\n");
    EXPECT_EQ(file->GetBacklogBytes(), 0u);
    // Every line reached the file in the end.
    EXPECT_EQ(file->GetWriteError(), VE_OK);
    const std::string path = FileOf(1);
    EXPECT_EQ(reports, "kova log: cannot write " + path + " (Input/output error): the lines wait for it\n" +
                           "kova log: " + path + " takes the lines again; 0 lines were lost meanwhile\n");
}

TEST_F(SplitableLogFile, LinesBeyondTheBacklogAreCountedAndTold)
{
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    const std::string line(1023, 'x');
    testing::internal::CaptureStderr();
    {
        StFailingWrites failing(1000000);
        for (int batch = 0; batch < 3; ++batch)
        {
            file->RetryPending();
            AppendAll(*file, std::vector<std::string>(600, line + "\n"));
        }
    }
    EXPECT_EQ(file->GetBacklogBytes(), VSplitableLogFile::kBacklogBytes);
    EXPECT_EQ(file->GetDroppedLineCount(), 1800u - 1024u);
    file->RetryPending();
    std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_NE(reports.find("; 776 lines were lost meanwhile\n"), std::string::npos) << reports;
    EXPECT_EQ(file->GetWriteError(), MakeVError(kCOMPONENT_POSIX, EIO));
    EXPECT_EQ(std::filesystem::file_size(FileOf(1)), 1024u * 1024u);
}

TEST_F(SplitableLogFile, ANextFileThatCannotBeOpenedKeepsTheCurrentOneUntilTheNextBatch)
{
    MakeSparse(1, kSplit + 1);
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    // Every name the split may pass holds a folder: the next file cannot be opened.
    const int32_t last = 2 + VSplitableLogFile::kMaxTakenNames;
    for (int32_t number = 2; number <= last; ++number)
        ASSERT_TRUE(std::filesystem::create_directory(FileOf(number)));
    testing::internal::CaptureStderr();
    AppendAll(*file, {"a\n", "b\n"});
    EXPECT_EQ(file->GetLogNumber(), 1);
    for (int32_t number = 2; number <= last; ++number)
        std::filesystem::remove(FileOf(number));
    AppendAll(*file, {"c\n"}); // no new try before the next batch
    EXPECT_EQ(file->GetLogNumber(), 1);
    file->RetryPending();
    AppendAll(*file, {"d\n"});
    EXPECT_EQ(file->GetLogNumber(), 2);
    file->Close();
    std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_EQ(TailOf(1, kSplit + 1), "a\nb\nc\n");
    EXPECT_EQ(ReadFileBytes(FileOf(2)), "d\n");
    EXPECT_EQ(reports, "kova log: cannot open " + FileOf(last) + " (File exists): the lines go on into " +
                           FileOf(1) + "\nkova log: split again, into " + FileOf(2) + "\n");
}

TEST_F(SplitableLogFile, AFileThatTakesNothingLosesItsLinesOnlyWithAReport)
{
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    EXPECT_EQ(file->GetWriteError(), VE_OK);
    testing::internal::CaptureStderr();
    {
        StFailingWrites full(1000000, 0, ENOSPC);
        for (int batch = 0; batch < 3; ++batch)
        {
            file->RetryPending();
            AppendAll(*file, {"a\n", "b\n"});
        }
        // Lines that wait are lines the file has not taken.
        EXPECT_EQ(file->GetWriteError(), MakeVError(kCOMPONENT_POSIX, ENOSPC));
        file->Close();
    }
    std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_EQ(reports, "kova log: cannot write " + FileOf(1) +
                           " (No space left on device): the lines wait for it\n" + "kova log: " + FileOf(1) +
                           " closed before it took 6 lines: they are lost\n");
    EXPECT_EQ(file->GetDroppedLineCount(), 6u);
    EXPECT_EQ(file->GetWriteError(), MakeVError(kCOMPONENT_POSIX, ENOSPC));
}

// What a user who may write the log folder plants under the name of a file to come. The victim
// is a file elsewhere, the target a path the planted entry must not bring into being.
struct Planted
{
    const char* fKind;
    std::function<void(const std::string& inName, const std::string& inVictim, const std::string& inTarget)>
        fPlant;
};

const Planted kPlanted[] = {
    {"a link to a file", [](const std::string& inName, const std::string& inVictim, const std::string&)
     { ASSERT_EQ(symlink(inVictim.c_str(), inName.c_str()), 0); }},
    {"a dangling link", [](const std::string& inName, const std::string&, const std::string& inTarget)
     { ASSERT_EQ(symlink(inTarget.c_str(), inName.c_str()), 0); }},
    {"a hard link", [](const std::string& inName, const std::string& inVictim, const std::string&)
     { ASSERT_EQ(link(inVictim.c_str(), inName.c_str()), 0); }},
    {"a folder", [](const std::string& inName, const std::string&, const std::string&)
     { ASSERT_EQ(mkdir(inName.c_str(), 0755), 0); }},
    {"a pipe", [](const std::string& inName, const std::string&, const std::string&)
     { ASSERT_EQ(mkfifo(inName.c_str(), 0666), 0); }},
};

TEST_F(SplitableLogFile, ANameThatHoldsAnythingButARegularFileOfItsOwnGoesToTheNextNumber)
{
    for (const Planted& planted : kPlanted)
    {
        for (bool overwrite : {false, true})
        {
            SCOPED_TRACE(std::string(planted.fKind) + (overwrite ? ", emptying" : ", appending"));
            StTemporaryFolder elsewhere;
            const std::string victim = elsewhere.Posix("secret");
            const std::string target = elsewhere.Posix("made");
            WriteFileBytes(victim, "secret\n");
            chmod(victim.c_str(), 0600);
            StTemporaryFolder logs;
            const std::string name = logs.Posix("log_1.txt");
            planted.fPlant(name, victim, target);
            // A reader on the pipe: a writer's open would not wait, and what it wrote would show.
            struct stat status = {};
            const int reader = lstat(name.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)
                                   ? open(name.c_str(), O_RDONLY | O_NONBLOCK)
                                   : -1;

            VSplitableLogFile file(VFolder(logs.Path()), VString("log"), 1, false);
            ASSERT_TRUE(file.Open(overwrite, false));
            EXPECT_EQ(file.GetLogNumber(), 2);
            file.AppendString("line\n");
            file.Close();
            EXPECT_EQ(ReadFileBytes(logs.Posix("log_2.txt")), "line\n");
            EXPECT_EQ(ReadFileBytes(victim), "secret\n");
            EXPECT_FALSE(PathExists(target));
            if (reader >= 0)
            {
                char byte = 0;
                EXPECT_LE(read(reader, &byte, 1), 0);
                close(reader);
            }
        }
    }
}

TEST_F(SplitableLogFile, ASplitIntoATakenNameGoesPastIt)
{
    StTemporaryFolder elsewhere;
    const std::string victim = elsewhere.Posix("secret");
    WriteFileBytes(victim, "secret\n");
    MakeSparse(1, kSplit + 1);
    ASSERT_EQ(symlink(victim.c_str(), FileOf(2).c_str()), 0);
    std::unique_ptr<VSplitableLogFile> file(NewFile(1));
    ASSERT_TRUE(file->Open(false, false));
    EXPECT_EQ(file->CheckLogSize(), 3);
    file->AppendString("after the split\n");
    file->Close();
    EXPECT_EQ(ReadFileBytes(FileOf(3)), "after the split\n");
    EXPECT_EQ(ReadFileBytes(victim), "secret\n");
}

TEST_F(SplitableLogFile, AFolderItMakesIsEnteredWithoutFollowingALink)
{
    // The folder the file makes is swapped for a link to another folder as soon as it is made.
    static std::string sElsewhere;
    StTemporaryFolder elsewhere;
    sElsewhere = elsewhere.Posix();
    XMacLogFolder::SetFolderMadeHookForTesting(
        [](const std::string& inPath)
        {
            std::filesystem::rename(inPath, inPath + "-made");
            std::filesystem::create_directory_symlink(sElsewhere, inPath);
        });
    VSplitableLogFile file(VFolder(fFolder.Path("a/b/")), VString("log"), 1, false);
    const bool opened = file.Open(false, false);
    XMacLogFolder::SetFolderMadeHookForTesting(nullptr);
    EXPECT_FALSE(opened);
    EXPECT_NE(file.GetLastOpenError(), VE_OK);
    EXPECT_EQ(NamesIn(sElsewhere), std::vector<std::string>{});
}

TEST_F(SplitableLogFile, AFolderItMadeKeepsItsFilesOnceItsPathIsSwappedForALink)
{
    // Whoever may write the folder above the ones the file made swaps them for a link to a folder
    // of theirs once the file is open: the split, the removal of the oldest file and a reopen
    // stay in the folder made, and their folder is neither written nor emptied.
    StTemporaryFolder elsewhere;
    std::filesystem::create_directory(elsewhere.Posix("b"));
    WriteFileBytes(elsewhere.Posix("b/log_1.txt"), "theirs\n");
    VSplitableLogFile file(VFolder(fFolder.Path("a/b/")), VString("log"), 1, false);
    file.SetMaxLogsToKeep(1);
    ASSERT_TRUE(file.Open(false, false));
    std::filesystem::rename(fFolder.Posix("a"), fFolder.Posix("made"));
    std::filesystem::create_directory_symlink(elsewhere.Posix(), fFolder.Posix("a"));
    file.AppendString(std::string(size_t(kSplit) + 1, 'x').c_str());
    file.AppendString("split\n");
    EXPECT_EQ(file.GetLogNumber(), 2);
    file.SetLogNumber(7, false);
    file.AppendString("reopened\n");
    file.Close();
    EXPECT_EQ(NamesIn(elsewhere.Posix("b")), std::vector<std::string>{"log_1.txt"});
    EXPECT_EQ(ReadFileBytes(elsewhere.Posix("b/log_1.txt")), "theirs\n");
    EXPECT_EQ(NamesIn(fFolder.Posix("made/b")), (std::vector<std::string>{"log_2.txt", "log_7.txt"}));
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("made/b/log_2.txt")), "split\n");
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("made/b/log_7.txt")), "reopened\n");
}

// No open of a log file waits for a reader of a pipe planted under its name, nor does the removal
// of the oldest file when a pipe stands in its place.
TEST(VSplitableLogFileDeathTest, NoOpenNorRemovalWaitsOnAPipe)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string folder = DeathTestFolder("pipe-log");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mkfifo((folder + "/log_1.txt").c_str(), 0666), 0);
    WriteFileBytes(folder + "/log_2.txt", "");
    std::filesystem::resize_file(folder + "/log_2.txt", uintmax_t(kSplit + 1));
    auto run = [&]
    {
        alarm(10);
        const std::string path = folder + "/";
        VSplitableLogFile log(VFolder(VFilePath(VString(path.data(), path.size(), VTC_UTF_8), FPS_POSIX)),
                              VString("log"), 1, false);
        log.SetMaxLogsToKeep(2);
        // Past the pipe to file 2, then split into 3, which removes file 1: here the pipe.
        if (!log.Open(false, false) || log.GetLogNumber() != 2 || log.CheckLogSize() != 3)
            std::exit(3);
        log.Close();
        std::exit(0);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
    struct stat status = {};
    EXPECT_EQ(lstat((folder + "/log_1.txt").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    std::filesystem::remove_all(folder);
}

// A file its user may write but not read is appended to, never emptied. (Root reads anything: the
// test then takes another user's identity in a child of its own.)
TEST(VSplitableLogFileDeathTest, AnUnreadableFileIsAppendedToNotEmptied)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string folder = DeathTestFolder("write-only-log");
    const std::string file = folder + "/log_1.txt";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    WriteFileBytes(file, "old\n");
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    ASSERT_EQ(chmod(file.c_str(), 0222), 0);
    auto append = [&]
    {
        if (geteuid() == 0 && !BecomeUnprivileged())
            std::exit(2);
        const std::string path = folder + "/";
        VSplitableLogFile log(VFolder(VFilePath(VString(path.data(), path.size(), VTC_UTF_8), FPS_POSIX)),
                              VString("log"), 1, false);
        if (!log.Open(false, false))
            std::exit(3);
        log.AppendString("new\n");
        log.Close();
        std::exit(0);
    };
    EXPECT_EXIT(append(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFileBytes(file), "old\nnew\n");
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace kova
