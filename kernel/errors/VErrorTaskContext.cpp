#include "kernel/errors/VErrorTaskContext.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VString.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

namespace
{

// The error stack built for logs: one element per error with its message and code.
const StPackedDictionaryKey sErrorStackEntry("__ERROR");
const StPackedDictionaryKey sErrorStackMessage("message");
const StPackedDictionaryKey sErrorStackSignature("componentSignature");
const StPackedDictionaryKey sErrorStackNumber("errCode");

// A copy of the context with the same errors, kept and not silent; null when memory runs out
// before every error is copied.
VErrorContext* CopyKeptErrors(const VErrorContext& inContext)
{
    VRefPtr<VErrorContext> copy(new (std::nothrow) VErrorContext(inContext));
    if (!copy || copy->GetErrorCount() != inContext.GetErrorCount())
        return nullptr;
    return copy.Detach();
}

} // namespace

VErrorTaskContext::VErrorTaskContext() : fSpare(new (std::nothrow) VErrorContext) {}

VErrorTaskContext::~VErrorTaskContext() = default;

bool VErrorTaskContext::PushError(VErrorBase* inError, bool* outSilent)
{
    bool silent = false;
    bool pushed = false;
    if (inError != nullptr)
    {
        if (fStack.empty())
        {
            VRefPtr<VErrorContext> bottom(new (std::nothrow) VErrorContext(true, false));
            try
            {
                if (bottom)
                    fStack.push_back(std::move(bottom));
            }
            catch (const std::bad_alloc&)
            {
            }
        }
        pushed = !fStack.empty() && fStack.back()->PushError(inError);
        if (pushed)
        {
            VError code = inError->GetError();
            for (auto context = fStack.rbegin(); context != fStack.rend(); ++context)
            {
                if ((*context)->IsSilent())
                {
                    silent = true;
                    break;
                }
                if ((*context)->IsErrorFiltered(code))
                {
                    // The scope expected this code: its innermost context now hides and drops
                    // everything it holds.
                    fStack.back()->SetSilent(true);
                    fStack.back()->SetKeep(false);
                    silent = true;
                    break;
                }
            }
        }
    }
    if (outSilent != nullptr)
        *outSilent = silent;
    return pushed;
}

void VErrorTaskContext::PushErrorsFromContext(const VErrorContext* inContext)
{
    if (inContext == nullptr)
        return;
    // By index over the count on entry: the context may be this task's own innermost one.
    size_t count = inContext->GetErrorCount();
    for (size_t i = 1; i <= count; ++i)
        PushError(inContext->GetNthError(i), nullptr);
}

void VErrorTaskContext::PushErrorsFromBag(const VValueBag& inBag)
{
    const VBagArray* errors = inBag.GetElements(ErrorBagKeys::error);
    if (errors == nullptr)
        return;
    for (int32_t i = 1; i <= errors->GetCount(); ++i)
    {
        try
        {
            VRefPtr<VValueBag> errorBag(errors->RetainNth(i));
            VRefPtr<VErrorBase> error(new VErrorBase);
            if (!errorBag || error->LoadFromBag(*errorBag) != VE_OK)
                return;
            PushError(error.Get(), nullptr);
        }
        catch (const std::bad_alloc&)
        {
            return; // running out of memory ends the loading quietly
        }
    }
}

VErrorContext* VErrorTaskContext::PushNewContext(bool inKeep, bool inSilent)
{
    VRefPtr<VErrorContext> context;
    if (fSpare)
    {
        context = std::move(fSpare);
        context->SetKeep(inKeep);
        context->SetSilent(inSilent);
        context->ClearFailedForMemory();
    }
    else
    {
        context.Reset(new (std::nothrow) VErrorContext(inKeep, inSilent));
        if (!context)
            return nullptr;
    }
    try
    {
        fStack.push_back(context);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    return context.Detach();
}

void VErrorTaskContext::PopContext()
{
    if (fStack.empty())
        return;
    VRefPtr<VErrorContext> innermost = fStack.back();
    if (innermost->IsEmpty() || !innermost->IsKeep())
    {
        fStack.pop_back();
        return;
    }
    if (fStack.size() > 1)
    {
        fStack.pop_back();
        VErrorContext* parent = fStack.back().Get();
        if (innermost->IsSilent() && !parent->IsSilent())
            innermost->SendErrorsToLogger();
        parent->PushErrors(*innermost);
        return;
    }
    // The bottom context stays with its errors, reset to kept and not silent. When no copy can
    // be made it stays as it is: its errors matter more than its flags.
    if (innermost->IsSilent())
        innermost->SendErrorsToLogger();
    if (VErrorContext* copy = CopyKeptErrors(*innermost))
        fStack.back().Reset(copy);
}

void VErrorTaskContext::MergeAndFlushLastContext(bool inLog)
{
    if (fStack.empty())
        return;
    VErrorContext* innermost = fStack.back().Get();
    if (innermost->IsEmpty())
        return;
    if (innermost->IsKeep())
    {
        if (inLog)
            innermost->SendErrorsToLogger();
        if (fStack.size() == 1)
        {
            VRefPtr<VErrorContext> copy(CopyKeptErrors(*innermost));
            if (!copy)
                return; // the errors stay where they are rather than being lost
            try
            {
                fStack.insert(fStack.begin(), std::move(copy));
            }
            catch (const std::bad_alloc&)
            {
                return;
            }
        }
        else
        {
            fStack[fStack.size() - 2]->PushErrors(*innermost);
        }
    }
    innermost->Flush();
    innermost->SetSilent(inLog);
}

void VErrorTaskContext::RecycleContext(VErrorContext* inContext)
{
    if (inContext == nullptr)
        return;
    if (!fSpare && inContext->IsEmpty() && inContext->IsFilterEmpty() && inContext->GetRefCount() == 1 &&
        !inContext->HasParametersForPushedErrors())
    {
        fSpare.Reset(inContext);
        return;
    }
    inContext->Release();
}

void VErrorTaskContext::GetErrors(VErrorContext& ioInto) const
{
    for (const auto& context : fStack)
        ioInto.PushErrors(*context);
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

VErrorBase* VErrorTaskContext::GetFirst() const
{
    for (const auto& context : fStack)
    {
        if (VErrorBase* error = context->GetFirst())
            return error;
    }
    return nullptr;
}

VErrorBase* VErrorTaskContext::Find(VError inError) const
{
    for (const auto& context : fStack)
    {
        if (VErrorBase* error = context->Find(inError))
            return error;
    }
    return nullptr;
}

bool VErrorTaskContext::IsErrorFiltered(VError inError) const
{
    for (const auto& context : fStack)
    {
        if (context->IsErrorFiltered(inError))
            return true;
    }
    return false;
}

bool VErrorTaskContext::FailedForMemory() const
{
    return !fStack.empty() && fStack.back()->FailedForMemory();
}

void VErrorTaskContext::Flush()
{
    if (!fStack.empty())
        fStack.back()->Flush();
}

void VErrorTaskContext::BuildErrorStack(VValueBag& ioBag)
{
    VErrorTaskContext* errors = VTask::GetErrorContext(false);
    if (errors == nullptr)
        return;
    VErrorContext gathered;
    errors->GetErrors(gathered);
    for (size_t i = 1; i <= gathered.GetErrorCount(); ++i)
    {
        VErrorBase* error = gathered.GetNthError(i);
        VRefPtr<VValueBag> entry(new (std::nothrow) VValueBag);
        if (!entry)
            return;
        VString message;
        error->GetErrorDescription(message);
        entry->SetString(sErrorStackMessage, message);
        entry->SetString(sErrorStackSignature, VOsTypeString(ComponentOfError(error->GetError())));
        entry->SetLong(sErrorStackNumber, NumberOfError(error->GetError()));
        ioBag.AddElement(sErrorStackEntry, entry.Get());
    }
}

} // namespace kova
