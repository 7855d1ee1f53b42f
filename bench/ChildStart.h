// Starting a program as a benchmark's iteration: the time until the child writes its first byte
// to a pipe (the descriptor named by its last argument, or its standard output), and its own peak
// resident size.
//
// The peak is the child's VmHWM, read from /proc while the child is stopped at its exit with its
// memory still mapped. ru_maxrss would not do: exec carries the high-water mark of the address
// space it replaces into the new program's, and a spawned child begins in the benchmark's (a
// vfork shares it, a fork copies it), so ru_maxrss is never below the benchmark's own size. Once
// the child is a zombie its memory is gone and /proc has no VmHWM left to read, so it is stopped
// just before (ptrace's exit event).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kova::bench
{

// The children are built beside the benchmark program.
inline std::string ChildPath(const char* inName)
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return inName;
    std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/') + 1) + inName;
}

// A kilobyte count of a /proc status line ("VmHWM:\t  12345 kB"), -1 when the line is missing.
inline long StatusKilobytes(pid_t inPid, const char* inKey)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", int(inPid));
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return -1;
    long value = -1;
    char line[256];
    const size_t keyLength = std::strlen(inKey);
    while (std::fgets(line, sizeof line, file) != nullptr)
    {
        if (std::strncmp(line, inKey, keyLength) == 0 && line[keyLength] == ':')
        {
            value = std::strtol(line + keyLength + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return value;
}

// Splits the benchmark's cores while it times children: with two or more in its affinity mask the
// timing thread keeps the first and the child runs on the last, so that the thread reading the
// child's signal never waits for the child to yield its core; with one they share it. The mask
// comes back at the end of the scope.
class StChildCore
{
public:
    StChildCore()
    {
        if (sched_getaffinity(0, sizeof fSaved, &fSaved) != 0 || CPU_COUNT(&fSaved) < 2)
            return;
        int first = -1;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        {
            if (!CPU_ISSET(cpu, &fSaved))
                continue;
            if (first < 0)
                first = cpu;
            fChildCPU = cpu;
        }
        cpu_set_t own;
        CPU_ZERO(&own);
        CPU_SET(first, &own);
        fSplit = sched_setaffinity(0, sizeof own, &own) == 0;
        if (!fSplit)
            fChildCPU = -1;
    }
    ~StChildCore()
    {
        if (fSplit)
            sched_setaffinity(0, sizeof fSaved, &fSaved);
    }
    StChildCore(const StChildCore&) = delete;
    StChildCore& operator=(const StChildCore&) = delete;

    // -1: the child inherits the mask.
    int GetChildCPU() const { return fChildCPU; }

private:
    cpu_set_t fSaved{};
    int fChildCPU = -1;
    bool fSplit = false;
};

// A child started traced only so that it stops once, at its exit: Start returns when the program
// runs (a failed exec is reported by Finish), Finish lets it end and returns its peak resident
// size in kilobytes, -1 when it did not exit with 0 or its peak could not be read. Signals the
// child gets are handed on to it; the threads it starts are not traced. The child's standard
// output may be a given descriptor, and it may be put on one core.
class VTracedChild
{
public:
    bool Start(const std::string& inPath, std::vector<std::string> inArguments, int inStandardOutput = -1,
               int inCPU = -1)
    {
        fPath = inPath;
        fArguments = std::move(inArguments);
        for (std::string& argument : fArguments)
            fArgumentPointers.push_back(argument.data());
        fArgumentPointers.push_back(nullptr);
        fStandardOutput = inStandardOutput;
        fCPU = inCPU;
        // As posix_spawn does: the child runs in our memory on a stack of its own until its exec.
        fStack.resize(64 * 1024);
        fPid =
            clone(&VTracedChild::Exec, fStack.data() + fStack.size(), CLONE_VM | CLONE_VFORK | SIGCHLD, this);
        if (fPid <= 0)
            return false;
        // A traced program stops with SIGTRAP after its exec: from there it is to stop at its exit.
        int status = 0;
        if (waitpid(fPid, &status, 0) != fPid || !WIFSTOPPED(status))
        {
            fStatus = status;
            fExited = true;
            return true;
        }
        return ptrace(PTRACE_SETOPTIONS, fPid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL) == 0 &&
               ptrace(PTRACE_CONT, fPid, nullptr, nullptr) == 0;
    }

    // Lets the child end; its peak, or -1 when it did not exit with 0 or its peak was not read.
    long Finish()
    {
        while (!fExited && Follow(true))
        {
        }
        return fExited && WIFEXITED(fStatus) && WEXITSTATUS(fStatus) == 0 ? fPeak : -1;
    }

    // Handles one stop of the child, waiting for it when asked; false when there was none to
    // handle or the child is gone. Stopped at its exit, the child still holds its descriptors:
    // whoever waits on one must keep following it.
    bool Follow(bool inWait)
    {
        int status = 0;
        const pid_t waited = fExited ? -1 : waitpid(fPid, &status, inWait ? 0 : WNOHANG);
        if (waited != fPid)
        {
            fExited = fExited || waited < 0;
            return false;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status))
        {
            fStatus = status;
            fExited = true;
        }
        else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8)))
        {
            fPeak = StatusKilobytes(fPid, "VmHWM");
            ptrace(PTRACE_CONT, fPid, nullptr, nullptr);
        }
        else
        {
            // A signal on its way is handed on; a stop the child entered (no signal information)
            // is left, so that a stop signal is not handed on again and again.
            siginfo_t information;
            const bool delivery = ptrace(PTRACE_GETSIGINFO, fPid, nullptr, &information) == 0;
            const intptr_t signal = delivery ? WSTOPSIG(status) : 0;
            ptrace(PTRACE_CONT, fPid, nullptr, reinterpret_cast<void*>(signal));
        }
        return true;
    }

    ~VTracedChild()
    {
        if (fPid > 0 && !fExited)
        {
            kill(fPid, SIGKILL);
            Finish();
        }
    }

private:
    static int Exec(void* inChild)
    {
        auto* child = static_cast<VTracedChild*>(inChild);
        if (child->fCPU >= 0)
        {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(child->fCPU, &one);
            sched_setaffinity(0, sizeof one, &one);
        }
        if (child->fStandardOutput >= 0 && dup2(child->fStandardOutput, STDOUT_FILENO) < 0)
            _exit(127);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execve(child->fPath.c_str(), child->fArgumentPointers.data(), environ);
        _exit(127);
    }

    std::string fPath;
    std::vector<std::string> fArguments;
    std::vector<char*> fArgumentPointers;
    std::vector<char> fStack;
    int fStandardOutput = -1;
    int fCPU = -1;
    pid_t fPid = 0;
    int fStatus = 0;
    long fPeak = -1;
    bool fExited = false;
};

// One start: the time from the spawn to the child's first byte on the signal descriptor, and its
// peak resident size in kilobytes. The descriptor is the child's standard output when asked,
// else its number is added as the last argument. False when the child did not run to its end
// with 0 or said nothing.
inline bool MeasureStart(const std::string& inPath, std::vector<std::string> inArguments,
                         bool inOnStandardOutput, int inCPU, double& outSeconds, long& outPeakKilobytes)
{
    int signal[2];
    if (pipe2(signal, O_CLOEXEC) != 0)
        return false;
    // Only the end the child writes to stays open in it.
    int childEnd = signal[1];
    if (!inOnStandardOutput)
    {
        childEnd = dup(signal[1]);
        close(signal[1]);
        inArguments.push_back(std::to_string(childEnd));
    }
    const auto start = std::chrono::steady_clock::now();
    VTracedChild child;
    const bool started =
        child.Start(inPath, std::move(inArguments), inOnStandardOutput ? childEnd : -1, inCPU);
    close(childEnd);
    // Woken at once by the byte; meanwhile the child's stops are handled every millisecond, so
    // that a child stopped at its exit before it said anything closes the pipe.
    bool told = false;
    for (pollfd reader{signal[0], POLLIN, 0}; started;)
    {
        const int ready = poll(&reader, 1, 1);
        if (ready > 0)
        {
            char byte = 0;
            told = read(signal[0], &byte, 1) == 1;
            break;
        }
        if (ready < 0 && errno != EINTR)
            break;
        while (child.Follow(false))
        {
        }
    }
    const auto end = std::chrono::steady_clock::now();
    close(signal[0]);
    outPeakKilobytes = child.Finish();
    outSeconds = std::chrono::duration<double>(end - start).count();
    return told && outPeakKilobytes >= 0;
}

inline void SpawnAndMeasure(benchmark::State& ioState, const char* inChild)
{
    const std::string path = ChildPath(inChild);
    const StChildCore cores;
    double peakTotal = 0;
    for (auto _ : ioState)
    {
        double seconds = 0;
        long peak = 0;
        if (!MeasureStart(path, {path}, false, cores.GetChildCPU(), seconds, peak))
        {
            ioState.SkipWithError("the child did not run to its end");
            return;
        }
        ioState.SetIterationTime(seconds);
        peakTotal += double(peak);
    }
    ioState.counters["rss_kb"] = benchmark::Counter(peakTotal, benchmark::Counter::kAvgIterations);
}

} // namespace kova::bench
