// The sample application of the demo and the end-to-end test, built once per version
// (SAMPLE_VERSION). Started normally it appends one line to its record file: its version, its
// process id and its arguments, separated by tabs. Started with
//     --update UPDATER UPTODATE_BUNDLE LOG_FOLDER
// it is the caller of an update: it starts the updater with its own pid and its bundle as the
// outdated one, reads the updater's progress line, and quits so that the update can go on.
// The record file is KOVA_SAMPLE_RECORD, else SampleRecord.txt beside the bundle.
#include <cstdio>
#include <dirent.h>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <unistd.h>

#ifndef SAMPLE_VERSION
#define SAMPLE_VERSION "0"
#endif

extern char** environ;

namespace
{

// The bundle X.app of X.app/Contents/MacOS/NAME, from the executable's own path.
std::string OwnBundle()
{
    char buffer[4096];
    const ssize_t size = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (size <= 0)
        return std::string();
    std::string path(buffer, static_cast<size_t>(size));
    for (int i = 0; i < 3; ++i)
        path.resize(path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    return path;
}

std::string RecordPath(const std::string& inBundle)
{
    if (const char* record = std::getenv("KOVA_SAMPLE_RECORD"))
        return record;
    return inBundle.substr(0, inBundle.rfind('/') + 1) + "SampleRecord.txt";
}

// The descriptors open at start, before the record file is.
int OpenDescriptors()
{
    int count = 0;
    if (DIR* folder = ::opendir("/proc/self/fd"))
    {
        while (const dirent* entry = ::readdir(folder))
            count += entry->d_name[0] != '.' ? 1 : 0;
        ::closedir(folder);
        --count; // the listing's own
    }
    return count;
}

int Record(const std::string& inBundle, int argc, char** argv)
{
    const int descriptors = OpenDescriptors();
    FILE* file = std::fopen(RecordPath(inBundle).c_str(), "ae");
    if (file == nullptr)
        return 1;
    std::fprintf(file, "version %s\tpid %d\tfds %d", SAMPLE_VERSION, static_cast<int>(::getpid()),
                 descriptors);
    for (int i = 1; i < argc; ++i)
        std::fprintf(file, "\t%s", argv[i]);
    std::fputc('\n', file);
    return std::fclose(file) == 0 ? 0 : 1;
}

int StartUpdate(const std::string& inBundle, const char* inUpdater, const char* inUpToDate,
                const char* inLogs)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return 1;
    const std::string pid = "--pid=" + std::to_string(::getpid());
    const std::string logs = std::string("--log-dir=") + inLogs;
    const std::string outdated = "--outdated-app=" + inBundle;
    const std::string upToDate = std::string("--uptodate-app=") + inUpToDate;
    char callerLog[] = "--caller-log=1";
    char* arguments[] = {const_cast<char*>(inUpdater),
                         const_cast<char*>(pid.c_str()),
                         callerLog,
                         const_cast<char*>(logs.c_str()),
                         const_cast<char*>(outdated.c_str()),
                         const_cast<char*>(upToDate.c_str()),
                         nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t child = 0;
    const int error = ::posix_spawn(&child, inUpdater, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0)
    {
        ::close(fds[0]);
        std::fprintf(stderr, "sample: cannot start the updater: %s\n", std::strerror(error));
        return 1;
    }
    // The updater says it waits for us, then closes its streams: read to the end, and quit.
    std::string progress;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(fds[0], buffer, sizeof(buffer))) > 0)
        progress.append(buffer, static_cast<size_t>(count));
    ::close(fds[0]);
    std::printf("sample %s: the updater (pid %d) said \"%s\"; quitting\n", SAMPLE_VERSION,
                static_cast<int>(child), progress.substr(0, progress.find('\n')).c_str());
    return progress == "waitquit,-1\n" ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string bundle = OwnBundle();
    if (argc == 5 && std::strcmp(argv[1], "--update") == 0)
        return StartUpdate(bundle, argv[2], argv[3], argv[4]);
    return Record(bundle, argc, argv);
}
