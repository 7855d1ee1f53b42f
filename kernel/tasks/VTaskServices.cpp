// VTask: the services a task offers to the code running on it: data slots, idlers, international
// text, error contexts and the JSON objects it keeps alive.
#include "kernel/tasks/VTask.h"

#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/IIdleable.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/VIntlMgr.h"

#include <algorithm>
#include <mutex>
#include <new>

namespace kova
{

namespace
{

using StLock = std::lock_guard<std::recursive_mutex>;

} // namespace

// ---------------------------------------------------------------------------------------------
// Data slots

void* VTask::GetCurrentData(size_t inKey)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || inKey == 0 || inKey > task->fDataSlots.size())
        return nullptr;
    const VTaskMgr::DataSlot& slot = task->fDataSlots[inKey - 1];
    uint32_t generation = 0;
    if (slot.fValue == nullptr || !task->fManager->_GetDataKeyGeneration(inKey, generation) ||
        generation != slot.fGeneration)
        return nullptr;
    return slot.fValue;
}

void VTask::SetCurrentData(size_t inKey, void* inValue)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    uint32_t generation = 0;
    // A value set under a key that does not exist could never be read nor destroyed.
    if (task == nullptr || !task->fManager->_GetDataKeyGeneration(inKey, generation))
        return;
    if (task->fDataSlots.size() < inKey)
        task->fDataSlots.resize(inKey);
    task->fDataSlots[inKey - 1] = {inValue, generation};
}

void VTask::DisposeAllData()
{
    // Destructors may set data again: they work on fresh slots.
    std::vector<VTaskMgr::DataSlot> slots;
    slots.swap(fDataSlots);
    fManager->DisposeData(slots.data(), slots.size());
}

// ---------------------------------------------------------------------------------------------
// Idlers

void VTask::RegisterIdler(IIdleable* inIdler)
{
    if (inIdler == nullptr)
        return;
    StLock lock(fManager->_GetLock());
    if (std::find(fIdlers.begin(), fIdlers.end(), inIdler) == fIdlers.end())
        fIdlers.push_back(inIdler);
    fCallingIdlers = false;
}

void VTask::UnregisterIdler(IIdleable* inIdler)
{
    std::unique_lock<std::recursive_mutex> lock(fManager->_GetLock());
    auto found = std::find(fIdlers.begin(), fIdlers.end(), inIdler);
    if (found != fIdlers.end())
        fIdlers.erase(found);
    fCallingIdlers = false;
    // From another task, the idler may be going away: wait until this task is done calling it.
    if (VTaskMgr::GetCurrentTask() != this)
    {
        while (fCallingIdler == inIdler && inIdler != nullptr)
        {
            lock.unlock();
            VTaskMgr::YieldNow();
            lock.lock();
        }
    }
}

bool VTask::IsIdlerRegistered(const IIdleable* inIdler) const
{
    StLock lock(fManager->_GetLock());
    return std::find(fIdlers.begin(), fIdlers.end(), inIdler) != fIdlers.end();
}

bool VTask::_CallRegisteredIdler(IIdleable* inIdler)
{
    {
        StLock lock(fManager->_GetLock());
        if (std::find(fIdlers.begin(), fIdlers.end(), inIdler) == fIdlers.end() || !inIdler->IsIdling())
            return false;
        fCallingIdler = inIdler;
    }
    inIdler->Idle();
    StLock lock(fManager->_GetLock());
    fCallingIdler = nullptr;
    return true;
}

void VTask::CallIdlers()
{
    if (VTaskMgr::GetCurrentTask() != this)
        return;
    std::vector<IIdleable*> idlers;
    {
        StLock lock(fManager->_GetLock());
        if (fIdlers.empty())
            return;
        idlers = fIdlers;
        fCallingIdlers = true;
    }
    for (IIdleable* idler : idlers)
    {
        {
            StLock lock(fManager->_GetLock());
            // A change of the list stops the pass; an idler taken off meanwhile is never called.
            if (!fCallingIdlers)
                break;
            if (std::find(fIdlers.begin(), fIdlers.end(), idler) == fIdlers.end())
                continue;
            fCallingIdler = idler;
        }
        idler->Idle();
        StLock lock(fManager->_GetLock());
        fCallingIdler = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// International text

VIntlMgr* VTask::GetCurrentIntlManager()
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task != nullptr && task->fIntlMgr != nullptr)
        return task->fIntlMgr;
    return GetProcessIntlManager();
}

void VTask::SetCurrentIntlManager(VIntlMgr* inManager)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || inManager == nullptr || inManager == task->fIntlMgr)
        return;
    inManager->Retain();
    VIntlMgr* previous = task->fIntlMgr;
    task->fIntlMgr = inManager;
    ReleaseRefCountable(&previous);
}

void VTask::SetCurrentDialectCode(uint32_t inDialect, uint8_t inOptions)
{
    if (VTaskMgr::GetCurrentTask() == nullptr)
        return;
    VIntlMgr* manager = VIntlMgr::Create(inDialect, inDialect, inOptions);
    SetCurrentIntlManager(manager);
    ReleaseRefCountable(&manager);
}

uint32_t VTask::GetDialectCode() const
{
    const VIntlMgr* manager = fIntlMgr != nullptr ? fIntlMgr : GetProcessIntlManager();
    return manager != nullptr ? manager->GetDialectCode() : 0;
}

UniChar VTask::GetWildChar()
{
    const VIntlMgr* manager = GetCurrentIntlManager();
    return manager != nullptr ? manager->GetWildChar() : u'@';
}

VIntlMgr* VTask::GetProcessIntlManager()
{
    const VProcess* process = VProcess::sInstance;
    return process != nullptr ? process->GetIntlMgr() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Errors

VErrorTaskContext* VTask::GetErrorContext(bool inCreate)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return nullptr;
    if (task->fErrorContext == nullptr && inCreate)
        task->fErrorContext = new (std::nothrow) VErrorTaskContext;
    return task->fErrorContext;
}

bool VTask::PushError(VErrorBase* inError)
{
    if (inError == nullptr)
        return false;
    VErrorTaskContext* errors = GetErrorContext(true);
    if (errors == nullptr)
        return false;
    bool silent = false;
    bool pushed = errors->PushError(inError, &silent);
    // The debug manager hears of every error that no context silences.
    if (!silent)
        VDebugMgr::Get()->ErrorThrown(inError);
    return pushed;
}

void VTask::PushRetainedError(VErrorBase* inError)
{
    PushError(inError);
    ReleaseRefCountable(&inError);
}

void VTask::PushErrors(const VErrorContext* inContext)
{
    if (inContext == nullptr || inContext->IsEmpty())
        return;
    if (VErrorTaskContext* errors = GetErrorContext(true))
        errors->PushErrorsFromContext(inContext);
}

void VTask::FlushErrors()
{
    if (VErrorTaskContext* errors = GetErrorContext(false))
        errors->Flush();
}

VError VTask::GetLastError()
{
    VErrorTaskContext* errors = GetErrorContext(false);
    return errors == nullptr ? VE_OK : errors->GetLastError();
}

bool VTask::FailedForMemory()
{
    VErrorTaskContext* errors = GetErrorContext(false);
    return errors != nullptr && errors->FailedForMemory();
}

// ---------------------------------------------------------------------------------------------
// JSON objects

void VTask::RegisterJSONObject(VJSONObject* inObject)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || inObject == nullptr)
        return;
    if (task->fJSONObjects.insert(inObject).second)
        inObject->Retain();
}

void VTask::UnregisterJSONObject(VJSONObject* inObject)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || inObject == nullptr)
        return;
    inObject->Retain();
    if (task->fJSONObjects.erase(inObject) != 0)
        inObject->Release();
    inObject->Release();
}

void VTask::_ClearJSONObjects()
{
    std::set<VJSONObject*> objects;
    objects.swap(fJSONObjects);
    for (VJSONObject* object : objects)
        object->Release();
}

} // namespace kova
