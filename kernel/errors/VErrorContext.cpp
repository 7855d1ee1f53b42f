#include "kernel/errors/VErrorContext.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/errors/VLogger.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

// ---------------------------------------------------------------------------------------------
// VErrorContext

VErrorContext::VErrorContext() = default;

VErrorContext::VErrorContext(bool inKeep, bool inSilent) : fSilent(inSilent), fKeep(inKeep) {}

VErrorContext::VErrorContext(const VErrorContext& inOther) : VObject(inOther), IRefCountable(inOther)
{
    if (inOther.fParameters)
        fParameters.Reset(inOther.fParameters->Clone());
    PushErrors(inOther);
}

VErrorContext::~VErrorContext() = default;

bool VErrorContext::_Append(VErrorBase* inError)
{
    if (fParameters)
        inError->GetBag()->UnionClone(fParameters.Get());
    try
    {
        fErrors.push_back(VRefPtr<VErrorBase>::Retained(inError));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

bool VErrorContext::PushError(VErrorBase* inError)
{
    if (inError == nullptr)
        return false;
    if (inError->GetError() == VE_MEMORY_FULL)
        fFailedForMemory = true;
    return _Append(inError);
}

void VErrorContext::PushErrors(const VErrorContext& inOther)
{
    // By index over the count on entry: merging a context into itself appends to the list read.
    size_t count = inOther.fErrors.size();
    for (size_t i = 0; i < count; ++i)
    {
        if (!_Append(inOther.fErrors[i].Get()))
            break;
    }
    // A child that ran out of memory leaves its parent failed too, never the reverse.
    fFailedForMemory = fFailedForMemory || inOther.fFailedForMemory;
}

void VErrorContext::Flush()
{
    fErrors.clear();
    fFailedForMemory = false;
}

VErrorBase* VErrorContext::GetFirst() const
{
    return fErrors.empty() ? nullptr : fErrors.front().Get();
}

VErrorBase* VErrorContext::GetLast() const
{
    return fErrors.empty() ? nullptr : fErrors.back().Get();
}

VError VErrorContext::GetLastError() const
{
    return fErrors.empty() ? VE_OK : fErrors.back()->GetError();
}

VErrorBase* VErrorContext::Find(VError inError) const
{
    for (const auto& error : fErrors)
    {
        if (error->GetError() == inError)
            return error.Get();
    }
    return nullptr;
}

bool VErrorContext::_FindAny(std::initializer_list<VError> inErrors) const
{
    for (VError wanted : inErrors)
    {
        if (wanted == VE_OK)
            break;
        if (Find(wanted) != nullptr)
            return true;
    }
    return false;
}

VErrorBase* VErrorContext::GetNthError(size_t inIndex) const
{
    return inIndex >= 1 && inIndex <= fErrors.size() ? fErrors[inIndex - 1].Get() : nullptr;
}

bool VErrorContext::IsErrorFiltered(VError inError) const
{
    for (VError filtered : fFilter)
    {
        if (filtered == inError)
            return true;
    }
    return false;
}

void VErrorContext::AddErrorToFilter(VError inError)
{
    try
    {
        fFilter.push_back(inError);
    }
    catch (const std::bad_alloc&)
    {
        // The code stays unfiltered: its error is then reported, nothing is lost.
    }
}

VValueBag* VErrorContext::GetParametersForPushedErrors(bool inCreate)
{
    if (!fParameters && inCreate)
        fParameters.Reset(new (std::nothrow) VValueBag);
    return fParameters.Get();
}

VError VErrorContext::SaveToBag(VValueBag& ioBag) const
{
    for (const auto& error : fErrors)
    {
        VRefPtr<VValueBag> errorBag(new (std::nothrow) VValueBag);
        if (!errorBag)
            return VE_MEMORY_FULL;
        error->SaveToBag(*errorBag);
        ioBag.AddElement(ErrorBagKeys::error, errorBag.Get());
    }
    return VE_OK;
}

VError VErrorContext::LoadFromBag(const VValueBag& inBag)
{
    const VBagArray* errors = inBag.GetElements(ErrorBagKeys::error);
    if (errors == nullptr)
        return VE_OK;
    for (int32_t i = 1; i <= errors->GetCount(); ++i)
    {
        try
        {
            VRefPtr<VValueBag> errorBag(errors->RetainNth(i));
            VRefPtr<VErrorBase> error(new VErrorBase);
            VError loaded = errorBag ? error->LoadFromBag(*errorBag) : VE_MEMORY_FULL;
            if (loaded != VE_OK)
                return loaded;
            fErrors.push_back(std::move(error));
        }
        catch (const std::bad_alloc&)
        {
            return VE_MEMORY_FULL;
        }
    }
    return VE_OK;
}

void VErrorContext::SendErrorsToLogger() const
{
    VLogger* logger = VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogger() : nullptr;
    if (logger == nullptr)
        return;
    for (const auto& error : fErrors)
        logger->LogErrorIfNecessary(error.Get());
}

bool VErrorContext::DebugDisplay() const
{
    for (const auto& error : fErrors)
    {
        VString dump;
        error->DumpToString(dump);
    }
    return !fErrors.empty();
}

// ---------------------------------------------------------------------------------------------
// StErrorContextInstaller

StErrorContextInstaller::StErrorContextInstaller(bool inKeep, bool inSilent)
{
    _Init(inKeep, inSilent);
}

void StErrorContextInstaller::_Init(bool inKeep, bool inSilent)
{
    fTaskContext = VTask::GetErrorContext(true);
    if (fTaskContext != nullptr)
        fContext = fTaskContext->PushNewContext(inKeep, inSilent);
    else
        fContext = new (std::nothrow) VErrorContext(inKeep, inSilent);
}

void StErrorContextInstaller::_InitFiltered(std::initializer_list<VError> inErrors)
{
    _Init(true, false);
    if (fContext == nullptr)
        return;
    bool first = true;
    for (VError error : inErrors)
    {
        if (!first && error == VE_OK)
            break;
        fContext->AddErrorToFilter(error);
        first = false;
    }
}

StErrorContextInstaller::~StErrorContextInstaller()
{
    if (fContext == nullptr)
        return;
    if (fTaskContext != nullptr)
    {
        fTaskContext->PopContext();
        fTaskContext->RecycleContext(fContext);
    }
    else
    {
        fContext->Release();
    }
}

} // namespace kova
