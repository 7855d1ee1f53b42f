#include "platform/mac/errors/XMacCFError.h"

#include "kernel/errors/KovaErrors.h"
#include "platform/mac/frameworks/CFError.h"

#include <cstring>

namespace kova
{

namespace
{

struct DomainComponent
{
    const char* fDomain;
    OsType fComponent;
};

constexpr DomainComponent kDomains[] = {
    {cf::kErrorDomainOSStatus, kCOMPONENT_CARBON},
    {cf::kErrorDomainPOSIX, kCOMPONENT_POSIX},
    {cf::kErrorDomainMach, kCOMPONENT_MACH},
    {cf::kErrorDomainCocoa, kCOMPONENT_COCOA},
};

} // namespace

VError XMacCFError::GetNativeError(const cf::Error* inError)
{
    if (inError == nullptr)
        return VE_OK;
    const char* domain = cf::ErrorGetDomain(inError);
    for (const DomainComponent& known : kDomains)
    {
        if (std::strcmp(domain, known.fDomain) == 0)
            return MakeVError(known.fComponent, uint32_t(cf::ErrorGetCode(inError)));
    }
    return VE_UNKNOWN_ERROR;
}

void XMacCFError::Release(cf::Error* inError)
{
    cf::ErrorRelease(inError);
}

} // namespace kova
