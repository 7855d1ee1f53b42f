#include "kernel/errors/ILocalizer.h"

#include "kernel/tasks/VProcess.h"
#include "kernel/text/VString.h"

namespace kova
{

VString LocalizeString(const VString& inKey, const char* inDefault)
{
    VString result;
    ILocalizer* localizer = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLocalizer() : nullptr;
    if (localizer != nullptr && localizer->LocalizeStringWithKey(inKey, result))
        return result;
    if (inDefault != nullptr)
        result.FromCString(inDefault);
    return result;
}

} // namespace kova
