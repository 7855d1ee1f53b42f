#include "platform/mac/app/XMacUpdater.h"

#include "app/VUpdateEngine.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/StStringConverter.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/SysTree.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace kova
{

namespace
{

std::string ToUTF8(const VString& inText)
{
    return to_string(inText);
}

} // namespace

void XMacUpdater::AppendExecutableFolderToPath()
{
    char buffer[4096];
    const ssize_t size = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (size <= 0)
        return;
    std::string folder(buffer, static_cast<size_t>(size));
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos)
        return;
    folder.resize(slash == 0 ? 1 : slash);
    const char* current = std::getenv("PATH");
    std::string path = current != nullptr && *current != 0 ? std::string(current) + ":" + folder : folder;
    ::setenv("PATH", path.c_str(), 1);
}

bool XMacUpdater::GetWorkingFolder(VFilePath& outFolder)
{
    char* folder = ::getcwd(nullptr, 0);
    if (folder == nullptr)
        return false;
    XMacFile::GetFilePathFromPosixPath(folder, true, outFolder);
    std::free(folder);
    return outFolder.IsValid();
}

void XMacUpdater::IgnoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

namespace
{

// Only a kill, which is safe in a handler: the SIGTERM handling in place notes the quit.
void RaiseTermination(int)
{
    const int savedErrno = errno;
    ::kill(::getpid(), SIGTERM);
    errno = savedErrno;
}

// A fault signal sent by another process (kill, sigqueue, tgkill) is deferred as the others are;
// one the process raised itself (a fault, abort()) takes its default action at once, so that a
// real crash still ends with a core. Only calls that are safe in a handler.
void DeferOrCrash(int inSignal, siginfo_t* inInfo, void*)
{
    const int savedErrno = errno;
    const bool fromUser = inInfo != nullptr && (inInfo->si_code == SI_USER || inInfo->si_code == SI_QUEUE ||
                                                inInfo->si_code == SI_TKILL);
    if (fromUser && inInfo->si_pid != ::getpid())
    {
        ::kill(::getpid(), SIGTERM);
        errno = savedErrno;
        return;
    }
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(inSignal, &defaultAction, nullptr);
    // Blocked while this handler runs, it is taken on return; a fault that the returning
    // instruction makes again is taken as well.
    ::raise(inSignal);
    errno = savedErrno;
}

} // namespace

void XMacUpdater::DeferEndingSignals()
{
    ::signal(SIGHUP, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = &RaiseTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    const int endings[] = {SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                           SIGIO,   SIGXCPU, SIGXFSZ, SIGPWR,    SIGSTKFLT};
    for (int signal : endings)
        ::sigaction(signal, &action, nullptr);
    // The real-time signals the C library keeps for itself lie below SIGRTMIN.
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        ::sigaction(signal, &action, nullptr);
    struct sigaction faults = {};
    faults.sa_sigaction = &DeferOrCrash;
    sigemptyset(&faults.sa_mask);
    faults.sa_flags = SA_SIGINFO | SA_RESTART;
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGSYS, SIGTRAP, SIGABRT})
        ::sigaction(signal, &faults, nullptr);
}

namespace
{

std::string PosixOf(const VFilePath& inPath)
{
    VString posix;
    inPath.GetPosixPath(posix);
    std::string path = ToUTF8(posix);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsFolder(const std::string& inPath, bool inFollowLink)
{
    struct stat status = {};
    const int result = inFollowLink ? ::stat(inPath.c_str(), &status) : ::lstat(inPath.c_str(), &status);
    return result == 0 && S_ISDIR(status.st_mode);
}

} // namespace

bool XMacUpdater::IsBundleFolder(const VFilePath& inPath, bool inFollowLink)
{
    const std::string path = PosixOf(inPath);
    return !path.empty() && IsFolder(path, inFollowLink) && IsFolder(path + "/Contents", false);
}

bool XMacUpdater::ItemExists(const VFilePath& inPath)
{
    const std::string path = PosixOf(inPath);
    struct stat status = {};
    return !path.empty() && ::lstat(path.c_str(), &status) == 0;
}

bool XMacUpdater::GetItemIdentity(const VFilePath& inPath, uint64_t& outDevice, uint64_t& outInode)
{
    const std::string path = PosixOf(inPath);
    struct stat status = {};
    if (path.empty() || ::lstat(path.c_str(), &status) != 0)
        return false;
    outDevice = uint64_t(status.st_dev);
    outInode = uint64_t(status.st_ino);
    return true;
}

bool XMacUpdater::NamesOtherThanAFile(const VFilePath& inPath)
{
    const std::string path = PosixOf(inPath);
    struct stat status = {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

bool XMacUpdater::GetBundleExecutablePath(const VString& inBundlePosixPath, VString& outPath)
{
    std::string path = ToUTF8(inBundlePosixPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    bool isApp = false;
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    const std::string executable = cf::BundleCopyExecutablePath(cf::Bundle(path, true));
    // Only an application bundle names its executable; another folder has none to fix.
    cf::BundlePathForExecutable(executable, &isApp);
    if (executable.empty() || !isApp)
        return false;
    outPath.FromBlock(executable.data(), executable.size(), VTC_UTF_8);
    return true;
}

bool XMacUpdater::OpenWithDefaultApplication(const VString& inPosixPath)
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        return false;
    const std::string path = ToUTF8(inPosixPath);
    char program[] = "xdg-open";
    char* arguments[] = {program, const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The signals the updater ignores or holds for itself are not the viewer's.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    const int error = ::posix_spawnp(&child, program, &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
}

void XMacUpdater::QuietStandardStreams()
{
    std::fflush(stdout);
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return;
    for (int fd = 0; fd <= 2; ++fd)
    {
        if (fd != null)
            ::dup2(null, fd);
    }
    if (null > 2)
        ::close(null);
}

void XMacUpdater::InstallTestHooks(VUpdateEngine& ioEngine)
{
    VUpdateEngine::Timing timing;
    bool timed = false;
    if (const char* waits = std::getenv("KOVA_TEST_UPDATER_WAITS"))
    {
        unsigned poll = 0, grace = 0, retry = 0, maximum = 0, turn = 0;
        const int given = std::sscanf(waits, "%u,%u,%u,%u,%u", &poll, &grace, &retry, &maximum, &turn);
        if (given >= 4)
        {
            timing.fPollInterval = poll;
            timing.fGrace = grace;
            timing.fRetryDelay = retry;
            timing.fMaxWait = maximum;
            if (given == 5)
                timing.fTurnWait = turn;
            timed = true;
        }
    }
    if (const char* stop = std::getenv("KOVA_TEST_UPDATER_STOP_AT_WAITS"); stop != nullptr && *stop != 0)
    {
        timing.fSleep = [](int32_t) { ::raise(SIGSTOP); };
        timed = true;
    }
    if (timed)
        ioEngine._SetTimingForTesting(timing);
    if (const char* stop = std::getenv("KOVA_TEST_UPDATER_STOP_AT_LOG"); stop != nullptr && *stop != 0)
        ioEngine._SetLogNamedForTesting([] { ::raise(SIGSTOP); });
    if (const char* fault = std::getenv("KOVA_TEST_COPY_FAULT"))
    {
        const char* colon = std::strchr(fault, ':');
        if (colon == nullptr)
            return;
        const std::string kind(fault, colon);
        const int after = std::atoi(colon + 1);
        if (kind == "ENOSPC")
            sys::SetCopyFaultForTesting(ENOSPC, after);
        else if (kind == "EIO")
            sys::SetCopyFaultForTesting(EIO, after);
        else if (kind == "EMFILE")
            sys::SetCopyFaultForTesting(EMFILE, after);
        else if (kind == "STOP")
            sys::SetCopyFaultForTesting(sys::kCopyFaultStop, after);
    }
}

// ---------------------------------------------------------------------------------------------
// The turn of an update

XMacUpdateTurn::XMacUpdateTurn(const VFilePath& inApplication)
{
    std::string folder = PosixOf(inApplication);
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos)
    {
        fUnavailability = XMacFile::PosixError(EINVAL);
        return;
    }
    folder.resize(slash == 0 ? 1 : slash);
    fFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fFolder < 0)
        fUnavailability = XMacFile::PosixError(errno);
}

XMacUpdateTurn::~XMacUpdateTurn()
{
    if (fFolder >= 0)
        ::close(fFolder);
}

XMacUpdateTurn::EAttempt XMacUpdateTurn::TryTake()
{
    if (fFolder < 0)
        return eUnavailable;
    int result = 0;
    do
        result = ::flock(fFolder, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        return eTaken;
    if (errno == EWOULDBLOCK)
        return _IsHeldByOwnUserOrRoot() ? eBusy : eHeldByAnotherUser;
    fUnavailability = XMacFile::PosixError(errno);
    return eUnavailable;
}

namespace
{

// The effective user of a running process, or -1 when it cannot be read (ended, or out of sight).
long EffectiveUserOf(long inPid)
{
    std::FILE* status = std::fopen(("/proc/" + std::to_string(inPid) + "/status").c_str(), "re");
    if (status == nullptr)
        return -1;
    long user = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
    {
        long real = -1;
        if (std::sscanf(line, "Uid: %ld %ld", &real, &user) == 2)
            break;
        user = -1;
    }
    std::fclose(status);
    return user;
}

} // namespace

bool XMacUpdateTurn::_IsHeldByOwnUserOrRoot() const
{
    struct stat folder = {};
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr || ::fstat(fFolder, &folder) != 0)
    {
        if (locks != nullptr)
            std::fclose(locks);
        return false;
    }
    const long self = long(::geteuid());
    bool trusted = true;
    char line[512];
    while (trusted && std::fgets(line, sizeof line, locks) != nullptr)
    {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:5678 0 EOF"; a waiter's line has "->" after the id.
        // The inode alone is compared: some file systems show another device there than stat
        // does, and a lock of another folder taken for ours only spares a wait.
        char type[16] = {};
        long pid = 0;
        unsigned long node = 0;
        const char* fields = std::strchr(line, ':');
        if (fields == nullptr)
            continue;
        ++fields;
        while (*fields == ' ' || *fields == '-' || *fields == '>')
            ++fields;
        if (std::sscanf(fields, "%15s %*s %*s %ld %*x:%*x:%lu", type, &pid, &node) != 3 ||
            std::strcmp(type, "FLOCK") != 0 || node != folder.st_ino)
            continue;
        const long user = EffectiveUserOf(pid);
        trusted = user >= 0 && (user == self || user == 0);
    }
    std::fclose(locks);
    return trusted;
}

} // namespace kova
