// The updater's signals as the platform sets them. Kept with the updater's tests: only their
// executable links the updater, which this platform class serves.
#include "platform/mac/app/XMacUpdater.h"

#include "kernel/files/FileTesting_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kova
{
namespace
{

// The signal that ends a child whose signals are set as the updater's, once it is ready:
// inChild runs in it (it waits for signals when null), inParent in the test. 0 when the child
// exits or has to be killed.
int EndingSignal(void (*inChild)(void*), void* inArgument, const std::function<void(pid_t)>& inParent)
{
    int ready[2];
    if (pipe(ready) != 0)
        return 0;
    const pid_t child = fork();
    if (child == 0)
    {
        // SIGTERM as before the process base takes it: the deferred signals end the child by it.
        signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        XMacUpdater::DeferEndingSignals();
        (void)!write(ready[1], "r", 1);
        if (inChild != nullptr)
            inChild(inArgument);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte = 0;
    const bool started = child > 0 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (started)
        inParent(child);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (child > 0 && waitpid(child, &status, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

TEST(XMacUpdater, AFaultSignalFromAnotherProcessIsDeferredAndARealFaultStillCrashes)
{
    // Sent by another process (kill, sigqueue, tgkill), it is raised again as SIGTERM, which the
    // updater takes once its run is over.
    const union sigval value = {};
    EXPECT_EQ(EndingSignal(nullptr, nullptr, [](pid_t inChild) { kill(inChild, SIGSEGV); }), SIGTERM);
    EXPECT_EQ(EndingSignal(nullptr, nullptr, [&](pid_t inChild) { sigqueue(inChild, SIGABRT, value); }),
              SIGTERM);
    EXPECT_EQ(
        EndingSignal(nullptr, nullptr, [](pid_t inChild) { syscall(SYS_tgkill, inChild, inChild, SIGBUS); }),
        SIGTERM);

    // The process's own: a fault, abort() and a signal it sends itself take their default actions.
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    EXPECT_EQ(
        EndingSignal([](void* inPage) { *static_cast<volatile char*>(inPage) = 1; }, page, [](pid_t) {}),
        SIGSEGV);
    munmap(page, 4096);
    EXPECT_EQ(EndingSignal([](void*) { abort(); }, nullptr, [](pid_t) {}), SIGABRT);
    EXPECT_EQ(EndingSignal([](void*) { kill(getpid(), SIGFPE); }, nullptr, [](pid_t) {}), SIGFPE);
}

// The programs the updater starts take the signals as the system gives them: the hang-ups and
// broken pipes it ignores for itself are not ignored by the viewer of its log.
TEST(XMacUpdater, TheLogViewerDoesNotInheritTheIgnoredSignals)
{
    StTemporaryFolder folder;
    ASSERT_TRUE(folder.IsValid());
    ASSERT_EQ(mkdir(folder.Posix("bin").c_str(), 0755), 0);
    const std::string ignored = folder.Posix("ignored");
    WriteFileBytes(folder.Posix("bin/xdg-open"),
                   "#!/bin/sh\nsed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > \"" + ignored +
                       ".part\" && mv \"" + ignored + ".part\" \"" + ignored + "\"\n");
    ASSERT_EQ(chmod(folder.Posix("bin/xdg-open").c_str(), 0755), 0);
    const std::string path =
        folder.Posix("bin") + ":" + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin");

    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction hangUp = {};
    struct sigaction brokenPipe = {};
    sigaction(SIGHUP, &ignore, &hangUp);
    sigaction(SIGPIPE, &ignore, &brokenPipe);
    bool started = false;
    {
        StEnvironment environment({{"PATH", path.c_str()}, {"DISPLAY", ":0"}});
        started = XMacUpdater::OpenWithDefaultApplication(VString(folder.Posix("log.txt").c_str()));
    }
    sigaction(SIGHUP, &hangUp, nullptr);
    sigaction(SIGPIPE, &brokenPipe, nullptr);
    ASSERT_TRUE(started);

    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!PathExists(ignored) && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::string mask = ReadFileBytes(ignored);
    ASSERT_FALSE(mask.empty());
    const unsigned long long signals = std::stoull(mask, nullptr, 16);
    EXPECT_EQ(signals & ((1ull << (SIGHUP - 1)) | (1ull << (SIGPIPE - 1))), 0u) << mask;
}

} // namespace
} // namespace kova
