#include "kernel/tasks/VProcess.h"

#include "kernel/errors/VLogger.h"

#include <new>

namespace kova
{

VProcess* VProcess::sInstance = nullptr;

VProcess::VProcess() = default;

VProcess::~VProcess()
{
    if (sInstance == this)
        sInstance = nullptr;
    if (fLogger != nullptr)
    {
        fLogger->Stop();
        ReleaseRefCountable(&fLogger);
    }
}

VLogger* VProcess::GetLogger(EMessageLevel inLevel) const
{
    return fLogger != nullptr && fLogger->ShouldLog(inLevel) ? fLogger : nullptr;
}

VString VProcess::GetLogSourceIdentifier() const
{
    return fProductName;
}

bool VProcess::_InitLogger()
{
    if (fLogger == nullptr)
        fLogger = new (std::nothrow) VLogger;
    if (fLogger == nullptr)
        return false;
    fLogger->Start();
    return true;
}

} // namespace kova
