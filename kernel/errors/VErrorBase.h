// VErrorBase is an error object: a 64-bit code (component signature and number), the task that
// made it, and named parameters in a value bag that fill the placeholders of its message. An
// operation that fails makes one, pushes it on the calling task's current error context and
// returns its failure result: nothing is unwound.
//
//     VErrorBase* error = new VErrorBase(VE_FILE_NOT_FOUND);
//     error->GetBag()->SetString(key, path);
//     _PushRetainedError(error, nativeCode); // the reference passes to the context
//
// Messages come from the localizer registered for the code's component, else from the platform
// for its own codes, else from the "error_description" parameter, else from the code itself, so
// a non-zero code never has an empty message.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

namespace kova
{

class ILocalizer;
class VJSONObject;
class VValueBag;

namespace cf
{
// The system's error object (a CFError; an NSError is the same object), opaque to the toolbox.
struct Error;
} // namespace cf

class VErrorBase : public VObject, public IRefCountable
{
public:
    // Code 0, task 0; for an error about to be loaded from a bag.
    VErrorBase();
    // The calling task's id and name are recorded with the code.
    explicit VErrorBase(VError inError);
    // Code and task copied, parameters cloned.
    VErrorBase(const VErrorBase& inOther);
    VErrorBase& operator=(const VErrorBase&) = delete;
    ~VErrorBase() override;

    // Start-up and shut-down hooks of the process object.
    static bool Init();
    static void DeInit();

    VError GetError() const { return fError; }
    int32_t GetTaskID() const { return fTaskID; }
    // The parameters; never null.
    VValueBag* GetBag() { return fBag.Get(); }
    const VValueBag* GetBag() const { return fBag.Get(); }

    // "Error code: %d (%.4s)": the signed number and the signature up to its first zero byte.
    virtual void GetErrorString(VString& outText) const;
    // The message, by the fallback chain above, its placeholders filled from the parameters.
    virtual void GetErrorDescription(VString& outText) const;
    // The "action_description" parameter, its placeholders filled.
    virtual void GetActionDescription(VString& outText) const;
    // "pelmarin" for the toolbox's own codes, else "component: 'xxxx'".
    virtual void GetLocation(VString& outText) const;
    virtual void GetTaskName(VString& outName, int32_t* outTaskID = nullptr) const;
    // Error string, description, location, action (each when not empty) and task, one a line.
    virtual void DumpToString(VString& outDump) const;
    // No call stack is recorded for errors: the text is left as it is.
    void GetStackCrawl(VString& ioText) const;

    // The localizer's text for the code, filled from this error's parameters. True at once for
    // code 0; false, with the text empty, when there is no localizer or no text.
    bool CallLocalizer(ILocalizer* inLocalizer, VError inError, VString& outText) const;

    // The dump as UTF-16, cut to the buffer's size.
    CharSet DebugDump(char* ioBuffer, int& ioSize) const override;
    using VObject::DebugDump;

    // "error_code", "task_id", "task_name" and the element "parameters". Returns 0.
    VError SaveToBag(VValueBag& ioBag) const;
    // Reads what SaveToBag wrote; absent code and task id are left unchanged. Returns 0.
    VError LoadFromBag(const VValueBag& inBag);
    // A new JSON object, one reference for the caller: "errCode" (the signed number),
    // "componentSignature" (four characters) and "message" (the description), in that order.
    VJSONObject* CreateJSONObject() const;

    // The localizers by component signature. A localizer is not retained: it must outlive its
    // registration. Registration happens during start-up and shut-down, on the main task.
    static void RegisterLocalizer(OsType inSignature, ILocalizer* inLocalizer);
    static void UnregisterLocalizer(OsType inSignature);
    static ILocalizer* GetLocalizer(OsType inSignature);

    // A platform code (POSX, CARB) as the toolbox code of the native table, else inFallback;
    // MACH and COCO codes give inFallback; any other code is returned unchanged, except that the
    // unknown-error code kova 1 gives inFallback.
    static VError EncodedNativeErrorToVError(VError inNative, VError inFallback);
    // A Carbon status as the toolbox code of the native table, else as its CARB code.
    static VError MAC_MapCarbonErrorToVError(int32_t inStatus);
    // The native code of a system error object: 0 for null; CARB, POSX, MACH or COCO by its
    // domain with its code in the low 32 bits; kova 1 for another domain. The object is kept.
    static VError MakeVErrorFromCFError(cf::Error* inError);
    // The same, then drops the caller's reference to a non-null object.
    static VError MakeVErrorFromCFErrorAndRelease(cf::Error* inError);
    static VError MakeVErrorFromNSError(cf::Error* inError);

protected:
    // The one 8-bit line DebugDump writes without a process object, cut to the buffer's size.
    CharSet _DebugDumpLine(char* ioBuffer, int& ioSize) const;

private:
    VError fError = VE_OK;
    int32_t fTaskID = 0;
    VString fTaskName;
    VRefPtr<VValueBag> fBag;
};

// Raises an error: makes it with the code and up to three texts (parameters "p1" to "p3") and
// pushes it on the calling task's current error context.
void _ThrowError(VError inError, const VString* inP1 = nullptr, const VString* inP2 = nullptr,
                 const VString* inP3 = nullptr);

// Pushes an error the caller made, taking over the caller's reference. A non-zero inNative pushes
// an error of that code first (so the given error is the last one), unless the calling task's
// contexts filter the given error's code. A null error pushes the native code's error alone.
void _PushRetainedError(VErrorBase* inError, VError inNative);

// Raises a VErrorUserGenerated with the code and its text; returns the code.
VError vThrowUserGeneratedError(VError inError, const VString& inText);

} // namespace kova
