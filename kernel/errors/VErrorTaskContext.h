// VErrorTaskContext is the error state of one task: its stack of error contexts, outermost
// first, and one spare context kept empty for reuse. The task makes it on first use
// (VTask::GetErrorContext) and alone reads and changes it, so it takes no lock.
//
// The innermost context receives the errors the task pushes; a push on an empty stack first makes
// the bottom context. The bottom context is never popped while it holds kept errors, so the
// task's last error survives every scope: the updater's exit status is read from it.
#pragma once

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstddef>
#include <vector>

namespace kova
{

class VErrorBase;
class VValueBag;

class VErrorTaskContext : public VObject, public IRefCountable
{
public:
    VErrorTaskContext();
    VErrorTaskContext(const VErrorTaskContext&) = delete;
    VErrorTaskContext& operator=(const VErrorTaskContext&) = delete;
    ~VErrorTaskContext() override;

    // Pushes the error on the innermost context and tells, through outSilent when given,
    // whether it is hidden from the debug manager: a silent context on the way out hides it,
    // and a context filtering its code turns the innermost context silent and not kept. False
    // for null or when it could not be stored.
    bool PushError(VErrorBase* inError, bool* outSilent);
    void PushErrorsFromContext(const VErrorContext* inContext);
    // Pushes an error for each "error" element of the bag, up to the first that fails to load.
    void PushErrorsFromBag(const VValueBag& inBag);

    // Opens a context (the spare when there is one) and returns it with one reference for the
    // caller; null when memory runs out.
    VErrorContext* PushNewContext(bool inKeep, bool inSilent);
    // Closes the innermost context: kept errors go to the enclosing context, or stay on the
    // bottom one; others are dropped.
    void PopContext();
    // Moves the innermost context's errors outward (when kept) and empties it, leaving it on
    // the stack; with inLog the errors are first handed to the logger.
    void MergeAndFlushLastContext(bool inLog);
    // Takes the caller's reference to a closed context: an untouched one becomes the spare
    // when there is none, any other is released.
    void RecycleContext(VErrorContext* inContext);

    // Every error of the stack, outermost context first, appended to ioInto.
    void GetErrors(VErrorContext& ioInto) const;
    // The innermost context's last error; outer contexts are not searched.
    VError GetLastError() const;
    // The newest error of the innermost context that has one. Not retained.
    VErrorBase* GetLast() const;
    // The oldest error of the outermost context that has one. Not retained.
    VErrorBase* GetFirst() const;
    // The first error with the code, outermost context first. Not retained.
    VErrorBase* Find(VError inError) const;
    bool IsErrorFiltered(VError inError) const;
    bool FailedForMemory() const;
    // Empties the innermost context.
    void Flush();

    size_t GetContextCount() const { return fStack.size(); }
    // Null on an empty stack. Not retained.
    VErrorContext* GetInnermostContext() const { return fStack.empty() ? nullptr : fStack.back().Get(); }
    bool HasSpareContext() const { return fSpare != nullptr; }

    // Fills the bag with one element "__ERROR" per error of the calling task, oldest first,
    // with its "message", "componentSignature" and "errCode".
    static void BuildErrorStack(VValueBag& ioBag);

private:
    VRefPtr<VErrorContext> fSpare;
    std::vector<VRefPtr<VErrorContext>> fStack;
};

} // namespace kova
