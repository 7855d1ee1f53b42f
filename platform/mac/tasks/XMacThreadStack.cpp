#include "platform/mac/tasks/XMacThreadStack.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/values/KovaTypes.h"
#include "platform/mac/frameworks/Mach.h"
#include "platform/mac/frameworks/MachThread.h"

#include <algorithm>

namespace kova
{

bool XMacThreadStack::Allocate(size_t inStackSize)
{
    const size_t page = mach::PageSize();
    size_t stackSize = std::max(inStackSize, kMinimumStackSize);
    if (stackSize > SIZE_MAX - 2 * page)
    {
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(mach::KERN_NO_SPACE)));
        return false;
    }
    stackSize = (stackSize + page - 1) / page * page;

    uintptr_t block = 0;
    mach::kern_return_t result = mach::VMAllocate(&block, stackSize + page, true);
    if (result == mach::KERN_SUCCESS)
    {
        result = mach::VMProtectNone(block, page);
        if (result != mach::KERN_SUCCESS)
            mach::VMDeallocate(block, stackSize + page);
    }
    if (result != mach::KERN_SUCCESS)
    {
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(result)));
        return false;
    }
    fBlock = block;
    fBlockSize = stackSize + page;
    fStackSize = stackSize;
    return true;
}

bool XMacThreadStack::StartThread(void* (*inProc)(void*), void* inArgument, pthread_t& outThread) const
{
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0)
    {
        result = pthread_attr_setstack(&attributes, reinterpret_cast<void*>(fBlock + mach::PageSize()),
                                       fStackSize);
        if (result == 0)
            result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_JOINABLE);
        if (result == 0)
            result = pthread_create(&outThread, &attributes, inProc, inArgument);
        pthread_attr_destroy(&attributes);
    }
    if (result != 0)
    {
        _ThrowError(MakeVError(kCOMPONENT_POSIX, uint32_t(result)));
        return false;
    }
    return true;
}

void XMacThreadStack::Free()
{
    if (fBlock != 0)
        mach::VMDeallocate(fBlock, fBlockSize);
    fBlock = 0;
    fBlockSize = 0;
    fStackSize = 0;
}

} // namespace kova
