#include "kernel/values/VCppMemMgr.h"

#include "kernel/values/VMemCppImpl_stdlib.h"

#include <cstring>
#include <new>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace kova
{

// Interim: the stdlib back end only. The pooled arenas, purges and the bundle's choice come next.

VCppMemMgr::VCppMemMgr(EAllocatorKind kind) : VCppMemMgr(kind, false, false) {}

VCppMemMgr::VCppMemMgr(EAllocatorKind kind, bool flag1, bool flag2)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&fMainLock, &attributes);
    pthread_mutexattr_destroy(&attributes);
    _Init(kind, flag1, flag2);
}

VCppMemMgr::~VCppMemMgr()
{
    delete fStdLib;
    pthread_mutex_destroy(&fMainLock);
}

void VCppMemMgr::_Init(EAllocatorKind, bool flag1, bool flag2)
{
    fStdLib = new VMemCppImpl_stdlib;
    fUseStdLib = true;
    fFlag1 = flag1;
    fFlag2 = flag2;
}

void* VCppMemMgr::operator new(size_t size)
{
    size_t reserved = size + 8;
    void* pages = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
    std::memcpy(pages, &reserved, sizeof(reserved));
#if defined(__SANITIZE_ADDRESS__)
    // Leak checkers do not scan anonymous pages: the manager's back ends would look leaked.
    __lsan_register_root_region(pages, reserved);
#endif
    return static_cast<char*>(pages) + 8;
}

void VCppMemMgr::operator delete(void* block)
{
    if (block == nullptr)
        return;
    char* pages = static_cast<char*>(block) - 8;
    size_t reserved;
    std::memcpy(&reserved, pages, sizeof(reserved));
    munmap(pages, reserved);
}

void* VCppMemMgr::Malloc(size_t size, bool isObject, uint32_t tag, int32_t)
{
    return fStdLib->Malloc(size, 0, isObject, tag);
}

void* VCppMemMgr::Calloc(size_t count, size_t size, uint32_t tag)
{
    size_t total;
    if (__builtin_mul_overflow(count, size, &total))
        return nullptr;
    void* block = Malloc(total, false, tag, -1);
    if (block != nullptr)
        std::memset(block, 0, total);
    return block;
}

void VCppMemMgr::Free(void* block)
{
    fStdLib->Free(block);
}

void* VCppMemMgr::Realloc(void* block, size_t size)
{
    if (block == nullptr)
        return Malloc(size, false, 0, -1);
    if (size == 0)
    {
        Free(block);
        return nullptr;
    }
    if (fUseStdLib)
        return fStdLib->Realloc(block, size);
    void* grown = Malloc(size, false, kMEM_TAG_GROW, -1);
    if (grown == nullptr)
        return nullptr;
    size_t oldSize = GetPtrSize(block);
    std::memcpy(grown, block, oldSize < size ? oldSize : size);
    Free(block);
    return grown;
}

size_t VCppMemMgr::GetPtrSize(const void* block)
{
    return fStdLib->GetPtrSize(block);
}

} // namespace kova
