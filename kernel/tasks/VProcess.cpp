#include "kernel/tasks/VProcess.h"

#include "kernel/errors/VLogger.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"

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
    ReleaseRefCountable(&fClassStore);
}

VLogger* VProcess::GetLogger(EMessageLevel inLevel) const
{
    return fLogger != nullptr && fLogger->ShouldLog(inLevel) ? fLogger : nullptr;
}

VString VProcess::GetLogSourceIdentifier() const
{
    return fProductName;
}

VJSONObject* VProcess::GetClassObject(const VString& inStoreName, const VString& inClassName) const
{
    if (fClassStore == nullptr || !fClassStore->GetName().EqualToStringRaw(inStoreName))
        return nullptr;
    return fClassStore->GetClassObject(inClassName, false).Detach();
}

bool VProcess::_InitClassStore()
{
    VJSONClassStore* store = new (std::nothrow) VJSONClassStore(VString("qel"));
    if (store == nullptr)
        return false;
    // The store is the process's before its roots are made: they take their classes from it.
    VJSONClassStore* previous = fClassStore;
    fClassStore = store;
    ReleaseRefCountable(&previous);
    store->AddRootClasses();
    return true;
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
