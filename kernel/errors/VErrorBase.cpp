#include "kernel/errors/VErrorBase.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/ILocalizer.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/errors/VErrorUserGenerated.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/errors/XMacCFError.h"
#include "platform/mac/errors/XMacErrorText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <utility>

namespace kova
{

namespace
{

void GetCallingTask(int32_t& outID, VString& outName)
{
    outID = VTaskMgr::GetCurrentTaskID();
    if (VTask* task = VTaskMgr::GetCurrentTask())
        task->GetName(outName);
    else
        outName.Clear();
}

// The four characters of a signature, first character first, up to the first zero byte.
void GetSignatureChars(OsType inSignature, char (&outChars)[5])
{
    outChars[0] = char(inSignature >> 24);
    outChars[1] = char(inSignature >> 16);
    outChars[2] = char(inSignature >> 8);
    outChars[3] = char(inSignature);
    outChars[4] = 0;
}

struct NativeErrorMapping
{
    VError fNative;
    VError fToolbox;
};

constexpr VError Carbon(int32_t inStatus)
{
    return MakeVError(kCOMPONENT_CARBON, uint32_t(inStatus));
}

// Searched from the first row; the row whose toolbox code is kova 1 ends the table.
constexpr NativeErrorMapping sNativeErrors[] = {
    {VE_OK, VE_OK},
    {Carbon(-108), VE_MEMORY_FULL},        // memory full
    {Carbon(-39), VE_STREAM_EOF},          // end of file
    {Carbon(-34), VE_DISK_FULL},           // disk full
    {Carbon(-43), VE_FILE_NOT_FOUND},      // file not found
    {Carbon(-120), VE_FOLDER_NOT_FOUND},   // folder not found
    {Carbon(-45), VE_ACCESS_DENIED},       // file locked
    {Carbon(-46), VE_ACCESS_DENIED},       // volume locked
    {Carbon(-192), VE_RESOURCE_NOT_FOUND}, // resource not found
    {Carbon(-37), VE_FILE_BAD_NAME},       // bad name
    {Carbon(-54), VE_ACCESS_DENIED},       // permission denied
    {Carbon(-128), VE_USER_ABORT},         // cancelled by the user
    {MakeVError(kCOMPONENT_POSIX, ENOENT), VE_FILE_NOT_FOUND},
    {MakeVError(kCOMPONENT_POSIX, EACCES), VE_ACCESS_DENIED},
    {VE_OK, VE_UNKNOWN_ERROR},
};

// The toolbox code of a native code; false when the table has none.
bool FindNativeError(VError inNative, VError& outToolbox)
{
    for (const NativeErrorMapping& mapping : sNativeErrors)
    {
        if (mapping.fToolbox == VE_UNKNOWN_ERROR)
            break;
        if (mapping.fNative == inNative)
        {
            outToolbox = mapping.fToolbox;
            return true;
        }
    }
    return false;
}

// An error of the class, or null when memory runs out (the constructor makes the parameters).
template <class ERROR, class... ARGS>
ERROR* NewError(ARGS&&... inArgs)
{
    try
    {
        return new ERROR(std::forward<ARGS>(inArgs)...);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

// No lock: localizers are registered and removed on the main task during start-up and shut-down
// and only looked up in between.
std::map<OsType, ILocalizer*> sLocalizers;

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

VErrorBase::VErrorBase() : fBag(new VValueBag) {}

VErrorBase::VErrorBase(VError inError) : fError(inError), fBag(new VValueBag)
{
    GetCallingTask(fTaskID, fTaskName);
}

VErrorBase::VErrorBase(const VErrorBase& inOther)
    : VObject(inOther), IRefCountable(inOther), fError(inOther.fError), fTaskID(inOther.fTaskID),
      fTaskName(inOther.fTaskName), fBag(inOther.fBag->Clone())
{
    if (!fBag)
        fBag.Reset(new VValueBag);
}

VErrorBase::~VErrorBase() = default;

bool VErrorBase::Init()
{
    return true;
}

void VErrorBase::DeInit() {}

// ---------------------------------------------------------------------------------------------
// Texts

void VErrorBase::GetErrorString(VString& outText) const
{
    char signature[5];
    GetSignatureChars(ComponentOfError(fError), signature);
    outText.Clear();
    outText.AppendCString("Error code: ");
    outText.AppendLong(NumberOfError(fError));
    outText.AppendCString(" (");
    outText.AppendCString(signature);
    outText.AppendCString(")");
}

void VErrorBase::GetErrorDescription(VString& outText) const
{
    outText.Clear();
    if (fError != VE_OK)
    {
        ILocalizer* localizer = GetLocalizer(ComponentOfError(fError));
        if (localizer != nullptr && localizer->LocalizeErrorMessage(fError, outText))
        {
            outText.Format(fBag.Get(), true);
        }
        else
        {
            outText.Clear();
            XMacErrorText::GetErrorText(fError, outText);
        }
    }
    if (!outText.IsEmpty())
        return;
    outText.Clear();
    fBag->GetString(ErrorBagKeys::error_description, outText);
    if (!outText.IsEmpty())
    {
        outText.Format(fBag.Get(), true);
        return;
    }
    GetErrorString(outText);
}

void VErrorBase::GetActionDescription(VString& outText) const
{
    outText.Clear();
    fBag->GetString(ErrorBagKeys::action_description, outText);
    outText.Format(fBag.Get(), true);
}

void VErrorBase::GetLocation(VString& outText) const
{
    OsType signature = ComponentOfError(fError);
    outText.Clear();
    if (signature == kCOMPONENT_KOVA)
    {
        outText.AppendCString("pelmarin");
        return;
    }
    char chars[5];
    GetSignatureChars(signature, chars);
    outText.AppendCString("component: '");
    for (char c : {chars[0], chars[1], chars[2], chars[3]})
    {
        const char one[2] = {c, 0};
        outText.AppendCString(one);
    }
    outText.AppendCString("'");
}

void VErrorBase::GetTaskName(VString& outName, int32_t* outTaskID) const
{
    outName.FromString(fTaskName);
    if (outTaskID != nullptr)
        *outTaskID = fTaskID;
}

void VErrorBase::GetStackCrawl(VString&) const {}

bool VErrorBase::CallLocalizer(ILocalizer* inLocalizer, VError inError, VString& outText) const
{
    if (inError == VE_OK)
        return true;
    if (inLocalizer != nullptr && inLocalizer->LocalizeErrorMessage(inError, outText))
    {
        outText.Format(fBag.Get(), true);
        return true;
    }
    outText.Clear();
    return false;
}

void VErrorBase::DumpToString(VString& outDump) const
{
    outDump.Clear();
    VString line;
    GetErrorString(line);
    outDump.AppendString(line).AppendUniChar(u'\n');
    // Each is a virtual call, so that a subclass shapes the dump.
    GetErrorDescription(line);
    if (!line.IsEmpty())
        outDump.AppendString(line).AppendUniChar(u'\n');
    GetLocation(line);
    if (!line.IsEmpty())
        outDump.AppendString(line).AppendUniChar(u'\n');
    GetActionDescription(line);
    if (!line.IsEmpty())
        outDump.AppendString(line).AppendUniChar(u'\n');
    int32_t taskID = 0;
    GetTaskName(line, &taskID);
    if (line.IsEmpty())
    {
        outDump.AppendCString("task ").AppendLong(taskID);
    }
    else
    {
        outDump.AppendCString("task ").AppendLong(taskID).AppendCString(", name: '");
        outDump.AppendString(line).AppendCString("'");
    }
    outDump.AppendUniChar(u'\n');
}

CharSet VErrorBase::DebugDump(char* ioBuffer, int& ioSize) const
{
    if (VProcess::sInstance == nullptr)
        return _DebugDumpLine(ioBuffer, ioSize);
    VString dump;
    DumpToString(dump);
    int32_t units = ioBuffer == nullptr || ioSize <= 0 ? 0 : ioSize / 2;
    if (units > dump.GetLength())
        units = dump.GetLength();
    if (units > 0)
        std::memcpy(ioBuffer, dump.GetCPointer(), size_t(units) * sizeof(UniChar));
    ioSize = units * 2;
    return VTC_UTF_16;
}

CharSet VErrorBase::_DebugDumpLine(char* ioBuffer, int& ioSize) const
{
    if (ioBuffer == nullptr || ioSize <= 0)
    {
        ioSize = 0;
        return VTC_MacOSAnsi;
    }
    char signature[5];
    GetSignatureChars(ComponentOfError(fError), signature);
    int length = std::snprintf(ioBuffer, size_t(ioSize), "Error code: %ld, component: '%.4s', task ID: %d",
                               long(NumberOfError(fError)), signature, fTaskID);
    // snprintf keeps the last byte for its terminator; the line is what precedes it.
    if (length < 0)
        length = 0;
    if (length > ioSize - 1)
        length = ioSize - 1;
    ioSize = length;
    return VTC_MacOSAnsi;
}

// ---------------------------------------------------------------------------------------------
// Bag form

VError VErrorBase::SaveToBag(VValueBag& ioBag) const
{
    ioBag.SetLong8(ErrorBagKeys::error_code, int64_t(fError));
    ioBag.SetLong(ErrorBagKeys::task_id, fTaskID);
    ioBag.SetString(ErrorBagKeys::task_name, fTaskName);
    ioBag.ReplaceElement(ErrorBagKeys::parameters, fBag.Get());
    return VE_OK;
}

VError VErrorBase::LoadFromBag(const VValueBag& inBag)
{
    int64_t code = 0;
    if (inBag.GetLong8(ErrorBagKeys::error_code, code))
        fError = VError(code);
    inBag.GetLong(ErrorBagKeys::task_id, fTaskID);
    fTaskName.Clear();
    inBag.GetString(ErrorBagKeys::task_name, fTaskName);
    const VBagArray* parameters = inBag.GetElements(ErrorBagKeys::parameters);
    if (parameters != nullptr && parameters->GetCount() > 0)
    {
        VRefPtr<VValueBag> first(parameters->RetainNth(1));
        if (first)
        {
            if (VValueBag* clone = first->Clone())
                fBag.Reset(clone);
        }
    }
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Localizers

void VErrorBase::RegisterLocalizer(OsType inSignature, ILocalizer* inLocalizer)
{
    try
    {
        sLocalizers[inSignature] = inLocalizer;
    }
    catch (const std::bad_alloc&)
    {
        // Unregistered, the component's messages fall back to the platform's and the code's.
    }
}

void VErrorBase::UnregisterLocalizer(OsType inSignature)
{
    sLocalizers.erase(inSignature);
}

ILocalizer* VErrorBase::GetLocalizer(OsType inSignature)
{
    auto found = sLocalizers.find(inSignature);
    return found == sLocalizers.end() ? nullptr : found->second;
}

// ---------------------------------------------------------------------------------------------
// Native codes

VError VErrorBase::EncodedNativeErrorToVError(VError inNative, VError inFallback)
{
    OsType component = ComponentOfError(inNative);
    if (component == kCOMPONENT_POSIX || component == kCOMPONENT_CARBON)
    {
        VError toolbox = VE_OK;
        return FindNativeError(inNative, toolbox) ? toolbox : inFallback;
    }
    if ((component == kCOMPONENT_MACH || component == kCOMPONENT_COCOA) && NumberOfError(inNative) != 0)
        return inFallback;
    return inNative == VE_UNKNOWN_ERROR ? inFallback : inNative;
}

VError VErrorBase::MAC_MapCarbonErrorToVError(int32_t inStatus)
{
    if (inStatus == 0)
        return VE_OK;
    VError toolbox = VE_OK;
    return FindNativeError(Carbon(inStatus), toolbox) ? toolbox : Carbon(inStatus);
}

VError VErrorBase::MakeVErrorFromCFError(cf::Error* inError)
{
    return XMacCFError::GetNativeError(inError);
}

VError VErrorBase::MakeVErrorFromCFErrorAndRelease(cf::Error* inError)
{
    VError native = XMacCFError::GetNativeError(inError);
    XMacCFError::Release(inError);
    return native;
}

VError VErrorBase::MakeVErrorFromNSError(cf::Error* inError)
{
    return MakeVErrorFromCFError(inError);
}

// ---------------------------------------------------------------------------------------------
// Raising

void _ThrowError(VError inError, const VString* inP1, const VString* inP2, const VString* inP3)
{
    if (VProcess::sInstance == nullptr)
        return;
    VErrorBase* error = NewError<VErrorBase>(inError);
    if (error == nullptr)
        return;
    if (inP1 != nullptr)
        error->GetBag()->SetString(ErrorBagKeys::p1, *inP1);
    if (inP2 != nullptr)
        error->GetBag()->SetString(ErrorBagKeys::p2, *inP2);
    if (inP3 != nullptr)
        error->GetBag()->SetString(ErrorBagKeys::p3, *inP3);
    VTask::PushRetainedError(error);
}

void _PushRetainedError(VErrorBase* inError, VError inNative)
{
    if (inNative != VE_OK)
    {
        VErrorTaskContext* errors = VTask::GetErrorContext(false);
        bool filtered =
            inError != nullptr && errors != nullptr && errors->IsErrorFiltered(inError->GetError());
        if (!filtered)
            VTask::PushRetainedError(NewError<VErrorBase>(inNative));
    }
    VTask::PushRetainedError(inError);
}

VError vThrowUserGeneratedError(VError inError, const VString& inText)
{
    VTask::PushRetainedError(NewError<VErrorUserGenerated>(inError, inText));
    return inError;
}

} // namespace kova
