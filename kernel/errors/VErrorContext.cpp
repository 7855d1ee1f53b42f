#include "kernel/errors/VErrorContext.h"

#include "kernel/errors/KovaErrors.h"

namespace kova
{

bool VErrorContext::PushError(VErrorBase* inError)
{
    if (inError == nullptr)
        return false;
    if (inError->GetError() == VE_MEMORY_FULL)
        fFailedForMemory = true;
    fErrors.push_back(VRefPtr<VErrorBase>::Retained(inError));
    return true;
}

void VErrorContext::PushErrors(const VErrorContext& inOther)
{
    fErrors.insert(fErrors.end(), inOther.fErrors.begin(), inOther.fErrors.end());
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

VErrorTaskContext* VErrorTaskContext::GetCurrent()
{
    thread_local VErrorTaskContext sContext;
    return &sContext;
}

bool VErrorTaskContext::PushError(VErrorBase* inError)
{
    if (inError == nullptr)
        return false;
    if (fStack.empty())
        fStack.emplace_back(new VErrorContext);
    return fStack.back()->PushError(inError);
}

VErrorContext* VErrorTaskContext::PushNewContext(bool inKeep, bool inSilent)
{
    VErrorContext* context = new VErrorContext(inKeep, inSilent);
    fStack.push_back(VRefPtr<VErrorContext>::Retained(context));
    return context;
}

void VErrorTaskContext::PopContext()
{
    if (fStack.empty())
        return;
    VRefPtr<VErrorContext> innermost = fStack.back();
    if (!innermost->IsEmpty() && innermost->IsKeep() && fStack.size() == 1)
        return; // the bottom context keeps the thread's last errors
    fStack.pop_back();
    if (!innermost->IsEmpty() && innermost->IsKeep())
        fStack.back()->PushErrors(*innermost);
}

VError VErrorTaskContext::GetLastError() const
{
    return fStack.empty() ? VE_OK : fStack.back()->GetLastError();
}

VErrorBase* VErrorTaskContext::GetLast() const
{
    for (auto context = fStack.rbegin(); context != fStack.rend(); ++context)
    {
        if (VErrorBase* error = (*context)->GetLast())
            return error;
    }
    return nullptr;
}

void VErrorTaskContext::Flush()
{
    if (!fStack.empty())
        fStack.back()->Flush();
}

StErrorContextInstaller::StErrorContextInstaller(bool inKeep, bool inSilent)
    : fTaskContext(VErrorTaskContext::GetCurrent())
{
    fContext.Reset(fTaskContext->PushNewContext(inKeep, inSilent));
}

StErrorContextInstaller::~StErrorContextInstaller()
{
    fTaskContext->PopContext();
}

} // namespace kova
