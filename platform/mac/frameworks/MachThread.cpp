#include "platform/mac/frameworks/MachThread.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kova::mach
{

struct Semaphore
{
    sem_t fSemaphore;
};

kern_return_t SemaphoreCreate(semaphore_t* outSemaphore, int32_t inValue)
{
    if (outSemaphore == nullptr || inValue < 0)
        return KERN_INVALID_ARGUMENT;
    Semaphore* semaphore = new (std::nothrow) Semaphore;
    if (semaphore == nullptr)
        return KERN_RESOURCE_SHORTAGE;
    if (sem_init(&semaphore->fSemaphore, 0, unsigned(inValue)) != 0)
    {
        delete semaphore;
        return KERN_INVALID_ARGUMENT;
    }
    *outSemaphore = semaphore;
    return KERN_SUCCESS;
}

kern_return_t SemaphoreDestroy(semaphore_t inSemaphore)
{
    if (inSemaphore == nullptr)
        return KERN_INVALID_ARGUMENT;
    sem_destroy(&inSemaphore->fSemaphore);
    delete inSemaphore;
    return KERN_SUCCESS;
}

kern_return_t SemaphoreSignal(semaphore_t inSemaphore)
{
    if (inSemaphore == nullptr)
        return KERN_INVALID_ARGUMENT;
    return sem_post(&inSemaphore->fSemaphore) == 0 ? KERN_SUCCESS : KERN_FAILURE;
}

kern_return_t SemaphoreWait(semaphore_t inSemaphore)
{
    if (inSemaphore == nullptr)
        return KERN_INVALID_ARGUMENT;
    if (sem_wait(&inSemaphore->fSemaphore) == 0)
        return KERN_SUCCESS;
    return errno == EINTR ? KERN_ABORTED : KERN_FAILURE;
}

kern_return_t SemaphoreTimedWait(semaphore_t inSemaphore, uint32_t inSeconds, int32_t inNanoseconds)
{
    if (inSemaphore == nullptr || inNanoseconds < 0 || inNanoseconds >= 1000000000)
        return KERN_INVALID_ARGUMENT;
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += time_t(inSeconds);
    deadline.tv_nsec += inNanoseconds;
    if (deadline.tv_nsec >= 1000000000L)
    {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;)
    {
        if (sem_clockwait(&inSemaphore->fSemaphore, CLOCK_MONOTONIC, &deadline) == 0)
            return KERN_SUCCESS;
        if (errno == ETIMEDOUT)
            return KERN_OPERATION_TIMED_OUT;
        if (errno != EINTR)
            return KERN_FAILURE;
    }
}

int32_t ThreadSelfPort()
{
    return int32_t(gettid());
}

kern_return_t ThreadInfo(int32_t inPort, ThreadBasicInfo& outInfo)
{
    outInfo = ThreadBasicInfo();
    if (inPort <= 0)
        return KERN_INVALID_ARGUMENT;
    char path[64];
    snprintf(path, sizeof(path), "/proc/self/task/%d/stat", int(inPort));
    FILE* file = fopen(path, "re");
    if (file == nullptr)
        return KERN_INVALID_ARGUMENT;
    char line[1024];
    size_t length = fread(line, 1, sizeof(line) - 1, file);
    fclose(file);
    line[length] = 0;

    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    const char* fields = strrchr(line, ')');
    if (fields == nullptr)
        return KERN_FAILURE;
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    unsigned long long startTicks = 0;
    // Fields 3 (state) to 22 (start time); utime and stime are 14 and 15.
    int read = sscanf(fields + 1,
                      " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %*d %*d %*d %*d %*d %*d %llu",
                      &userTicks, &systemTicks, &startTicks);
    if (read != 3)
        return KERN_FAILURE;
    double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    if (ticksPerSecond <= 0)
        return KERN_FAILURE;
    outInfo.fUserSeconds = double(userTicks) / ticksPerSecond;
    outInfo.fSystemSeconds = double(systemTicks) / ticksPerSecond;

    timespec boot;
    clock_gettime(CLOCK_BOOTTIME, &boot);
    double alive = double(boot.tv_sec) + double(boot.tv_nsec) / 1e9 - double(startTicks) / ticksPerSecond;
    if (alive > 0)
    {
        double usage = (outInfo.fUserSeconds + outInfo.fSystemSeconds) / alive * 1000.0;
        outInfo.fCPUUsage = usage > 1000.0 ? 1000 : int32_t(usage);
    }
    return KERN_SUCCESS;
}

bool GetCurrentThreadStack(uintptr_t& outTop, size_t& outSize)
{
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return false;
    void* low = nullptr;
    size_t size = 0;
    int result = pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    if (result != 0)
        return false;
    outTop = reinterpret_cast<uintptr_t>(low) + size;
    outSize = size;
    return true;
}

kern_return_t VMProtectNone(uintptr_t inAddress, size_t inSize)
{
    if (inAddress % PageSize() != 0)
        return KERN_INVALID_ADDRESS;
    if (mprotect(reinterpret_cast<void*>(inAddress), inSize, PROT_NONE) != 0)
        return KERN_PROTECTION_FAILURE;
    return KERN_SUCCESS;
}

int SetCurrentThreadName(const char* inUTF8Name)
{
    constexpr size_t kMaxBytes = 15;
    char name[kMaxBytes + 1];
    size_t length = inUTF8Name == nullptr ? 0 : strlen(inUTF8Name);
    if (length > kMaxBytes)
    {
        length = kMaxBytes;
        // Back over the continuation bytes of a character that would be cut.
        while (length > 0 && (uint8_t(inUTF8Name[length]) & 0xC0) == 0x80)
            --length;
    }
    if (length > 0)
        memcpy(name, inUTF8Name, length);
    name[length] = 0;
    return pthread_setname_np(pthread_self(), name);
}

} // namespace kova::mach
