// VErrorContext is an ordered list of errors, oldest first. Each task keeps a stack of them
// (VErrorTaskContext); the innermost receives the errors the task pushes. A context may filter
// codes (errors its scope expects: they are neither reported nor kept), may be silent (its errors
// are not reported to the debug manager when pushed) and keeps its errors for the enclosing
// context when its scope ends, unless keep is off. Parameters set on a context are copied into
// every error pushed into it.
//
// StErrorContextInstaller opens a nested context on the calling task for one scope and closes
// it when the scope ends:
//
//     StErrorContextInstaller errors(VE_FILE_NOT_FOUND, 0); // a missing file is expected
//     ...
//     if (errors.GetLastError() != VE_OK) ...
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace kova
{

class VErrorTaskContext;
class VJSONValue;
class VValueBag;

class VErrorContext : public VObject, public IRefCountable
{
public:
    // Empty, kept, not silent.
    VErrorContext();
    VErrorContext(bool inKeep, bool inSilent);
    // Kept and not silent, with no filter: the other's errors (merged with a clone of its
    // parameters) and its failed-for-memory flag.
    VErrorContext(const VErrorContext& inOther);
    VErrorContext& operator=(const VErrorContext&) = delete;
    ~VErrorContext() override;

    // Retains and appends the error after copying this context's parameters into it. Pushing
    // kova 100 marks the context failed for memory. False for null or when memory runs out.
    bool PushError(VErrorBase* inError);
    // Appends the other's errors (merged with this context's parameters) and adds its
    // failed-for-memory flag to this one's.
    void PushErrors(const VErrorContext& inOther);
    // Drops every error and clears failed-for-memory; filter, flags and parameters stay.
    void Flush();

    // Not retained; null when empty.
    VErrorBase* GetFirst() const;
    VErrorBase* GetLast() const;
    VError GetLastError() const;
    // The oldest error with the code, or null.
    VErrorBase* Find(VError inError) const;
    // True when any error has one of the codes; the list ends at the first 0.
    template <class... Codes>
    bool FindAny(VError inError, Codes... inMore) const
    {
        return _FindAny({inError, VError(inMore)...});
    }

    bool IsEmpty() const { return fErrors.empty(); }
    size_t GetErrorCount() const { return fErrors.size(); }
    // 1-based; null out of range. Not retained.
    VErrorBase* GetNthError(size_t inIndex) const;

    bool IsErrorFiltered(VError inError) const;
    void AddErrorToFilter(VError inError);
    bool IsFilterEmpty() const { return fFilter.empty(); }

    // The parameters copied into every pushed error; made empty on demand when inCreate.
    VValueBag* GetParametersForPushedErrors(bool inCreate);
    bool HasParametersForPushedErrors() const { return fParameters != nullptr; }

    bool FailedForMemory() const { return fFailedForMemory; }
    bool IsSilent() const { return fSilent; }
    void SetSilent(bool inSilent) { fSilent = inSilent; }
    bool IsKeep() const { return fKeep; }
    void SetKeep(bool inKeep) { fKeep = inKeep; }
    void ClearFailedForMemory() { fFailedForMemory = false; }

    // One element "error" per error, in order.
    VError SaveToBag(VValueBag& ioBag) const;
    // Appends an error for each "error" element, as stored (no parameter merge). Stops at the
    // first element that fails to load and returns its code; kova 100 when memory runs out.
    VError LoadFromBag(const VValueBag& inBag);
    // Undefined for an empty context, else an array of each error's JSON object, in order.
    void SaveToJSONArray(VJSONValue& outValue) const;

    // Hands each error to the process logger.
    void SendErrorsToLogger() const;
    // Builds each error's dump; true when the context has errors.
    bool DebugDisplay() const;

private:
    bool _Append(VErrorBase* inError);
    bool _FindAny(std::initializer_list<VError> inErrors) const;

    std::vector<VRefPtr<VErrorBase>> fErrors;
    std::vector<VError> fFilter;
    VRefPtr<VValueBag> fParameters;
    bool fFailedForMemory = false;
    bool fSilent = false;
    bool fKeep = true;
};

class StErrorContextInstaller
{
public:
    // Opens a context with these flags: with keep its errors go to the enclosing context when
    // the scope ends; silent keeps them from the debug manager.
    explicit StErrorContextInstaller(bool inKeep = true, bool inSilent = false);
    // Opens a kept, not silent context that filters the codes: the first whatever its value,
    // the others up to the first 0.
    template <class... Codes>
    explicit StErrorContextInstaller(VError inError, Codes... inMore)
    {
        _InitFiltered({inError, VError(inMore)...});
    }
    ~StErrorContextInstaller();
    StErrorContextInstaller(const StErrorContextInstaller&) = delete;
    StErrorContextInstaller& operator=(const StErrorContextInstaller&) = delete;

    // Null when the context could not be opened. Not retained.
    VErrorContext* GetContext() const { return fContext; }
    // The code of the scope's last error; 0 when it has none.
    VError GetLastError() const { return fContext != nullptr ? fContext->GetLastError() : VE_OK; }

private:
    void _Init(bool inKeep, bool inSilent);
    void _InitFiltered(std::initializer_list<VError> inErrors);

    // Null while the calling thread is no task: the context then stands alone.
    VErrorTaskContext* fTaskContext = nullptr;
    VErrorContext* fContext = nullptr;
};

} // namespace kova
