// Errors pushed by a task are collected in error contexts. Each task (until tasks exist: each
// thread) owns a stack of them; the innermost receives new errors. StErrorContextInstaller opens
// a nested context for one scope; when the scope ends its errors move to the enclosing context
// (keep) or are dropped. The bottom context is never popped while it holds errors, so the last
// error of a thread survives every scope.
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/values/VRefPtr.h"

#include <vector>

namespace kova
{

class VErrorContext : public VObject, public IRefCountable
{
public:
    VErrorContext() = default;
    VErrorContext(bool inKeep, bool inSilent) : fKeep(inKeep), fSilent(inSilent) {}

    bool PushError(VErrorBase* inError);
    void PushErrors(const VErrorContext& inOther);
    void Flush();

    VErrorBase* GetFirst() const;
    VErrorBase* GetLast() const;
    VError GetLastError() const;
    VErrorBase* Find(VError inError) const;
    bool IsEmpty() const { return fErrors.empty(); }
    size_t GetErrorCount() const { return fErrors.size(); }
    bool FailedForMemory() const { return fFailedForMemory; }

    bool IsKeep() const { return fKeep; }
    bool IsSilent() const { return fSilent; }

private:
    std::vector<VRefPtr<VErrorBase>> fErrors;
    bool fFailedForMemory = false;
    bool fKeep = true;
    bool fSilent = false;
};

// The error state of the calling thread: its stack of contexts, outermost first.
class VErrorTaskContext
{
public:
    static VErrorTaskContext* GetCurrent();

    bool PushError(VErrorBase* inError);
    VErrorContext* PushNewContext(bool inKeep, bool inSilent);
    void PopContext();

    VError GetLastError() const;
    VErrorBase* GetLast() const;
    void Flush();

private:
    std::vector<VRefPtr<VErrorContext>> fStack;
};

class StErrorContextInstaller
{
public:
    explicit StErrorContextInstaller(bool inKeep = true, bool inSilent = false);
    ~StErrorContextInstaller();
    StErrorContextInstaller(const StErrorContextInstaller&) = delete;
    StErrorContextInstaller& operator=(const StErrorContextInstaller&) = delete;

    VErrorContext* GetContext() const { return fContext.Get(); }
    VError GetLastError() const { return fContext ? fContext->GetLastError() : VE_OK; }

private:
    VErrorTaskContext* fTaskContext;
    VRefPtr<VErrorContext> fContext;
};

} // namespace kova
