#include "platform/mac/frameworks/CFError.h"

#include <atomic>
#include <new>
#include <string>

namespace kova::cf
{

struct Error
{
    Error(const char* inDomain, int64_t inCode) : fDomain(inDomain), fCode(inCode) {}

    std::atomic<int32_t> fRefCount{1};
    std::string fDomain;
    int64_t fCode;
};

Error* ErrorCreate(const char* inDomain, int64_t inCode)
{
    if (inDomain == nullptr)
        return nullptr;
    try
    {
        return new Error(inDomain, inCode);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

Error* ErrorRetain(Error* inError)
{
    if (inError != nullptr)
        inError->fRefCount.fetch_add(1, std::memory_order_relaxed);
    return inError;
}

void ErrorRelease(Error* inError)
{
    // The last owner must see every write the other owners made before they let go.
    if (inError != nullptr && inError->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete inError;
}

const char* ErrorGetDomain(const Error* inError)
{
    return inError->fDomain.c_str();
}

int64_t ErrorGetCode(const Error* inError)
{
    return inError->fCode;
}

int32_t ErrorGetRetainCount(const Error* inError)
{
    return inError->fRefCount.load(std::memory_order_relaxed);
}

} // namespace kova::cf
