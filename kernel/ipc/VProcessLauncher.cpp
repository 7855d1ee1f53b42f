#include "kernel/ipc/VProcessLauncher.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFilePath.h"
#include "platform/mac/ipc/XPosixProcessLauncher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace kova
{

namespace
{

// Reads of ExecuteCommandLine, and the most one write hands the child.
constexpr long kReadBlock = 4096;
constexpr size_t kWriteBlock = size_t(1) << 30;

// Appends the bytes, growing the buffer by its amortized steps; false, nothing appended, when
// the room cannot be had.
bool Append(VMemoryBuffer<>& ioBuffer, const char* inData, size_t inSize)
{
    const size_t size = ioBuffer.GetDataSize();
    if (size + inSize < size || !ioBuffer._EnlargeAmortized(size + inSize))
        return false;
    std::memcpy(static_cast<char*>(ioBuffer.GetDataPtr()) + size, inData, inSize);
    return ioBuffer.SetDataSize(size + inSize);
}

} // namespace

VProcessLauncher::VProcessLauncher() : fImpl(new (std::nothrow) XPosixProcessLauncher) {}

VProcessLauncher::~VProcessLauncher()
{
    delete fImpl;
}

XPosixProcessLauncher* VProcessLauncher::_Impl() const
{
    if (fImpl == nullptr)
        _ThrowError(VE_MEMORY_FULL);
    return fImpl;
}

void VProcessLauncher::SetBinaryPath(const VString& inPath)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetBinaryPath(inPath);
}

void VProcessLauncher::CreateArgumentsFromFullCommandLine(const VString& inCommandLine)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->CreateArgumentsFromFullCommandLine(inCommandLine);
}

void VProcessLauncher::AddArgument(const VString& inArgument, bool inQuote)
{
    XPosixProcessLauncher* impl = _Impl();
    if (impl == nullptr)
        return;
    if (!inQuote)
    {
        impl->AddArgument(inArgument);
        return;
    }
    VString quoted(inArgument);
    quoted.Insert(u'"', 1);
    quoted.AppendUniChar(u'"');
    impl->AddArgument(quoted);
}

void VProcessLauncher::ClearArguments()
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->ClearArguments();
}

void VProcessLauncher::SetEnvironmentVariable(const VString& inName, const VString& inValue)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetEnvironmentVariable(inName, inValue);
}

void VProcessLauncher::SetEnvironmentVariables(const EnvironmentVariables& inVariables)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetEnvironmentVariables(inVariables);
}

void VProcessLauncher::SetDefaultDirectory(const VFilePath& inFolder)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetDefaultDirectory(inFolder);
}

void VProcessLauncher::SetWaitClosingChildProcess(int32_t inMilliseconds)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->fWaitClosingChildProcess = inMilliseconds;
}

void VProcessLauncher::SetRedirectStandardInput(bool inRedirect)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetRedirectStandardInput(inRedirect);
}

void VProcessLauncher::SetRedirectStandardOutput(bool inRedirect)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetRedirectStandardOutput(inRedirect);
}

void VProcessLauncher::SetQuoteArgumentsIfNeeded(bool inQuote)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->SetQuoteArgumentsIfNeeded(inQuote);
}

void VProcessLauncher::EnableProcessTreeKill()
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->fProcessTreeKill = true;
}

int32_t VProcessLauncher::Start()
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->Start() : ENOMEM;
}

int32_t VProcessLauncher::Start(const EnvironmentVariables& inEnvironment)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->Start(inEnvironment) : ENOMEM;
}

bool VProcessLauncher::IsRunning()
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->IsRunning() : false;
}

int32_t VProcessLauncher::GetPid() const
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->fPid : 0;
}

int32_t VProcessLauncher::GetExitStatus() const
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->fExitStatus : 0;
}

int32_t VProcessLauncher::WriteToChild(const void* inData, uint32_t inLength, bool inCloseAfterWrite)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->WriteToChild(inData, inLength, inCloseAfterWrite) : -1;
}

void VProcessLauncher::CloseStandardInput()
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->CloseStandardInput();
}

int32_t VProcessLauncher::ReadFromChild(char* outBuffer, long inSize)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->ReadFromChild(outBuffer, inSize) : -1;
}

int32_t VProcessLauncher::ReadErrorFromChild(char* outBuffer, long inSize)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->ReadErrorFromChild(outBuffer, inSize) : -1;
}

int32_t VProcessLauncher::WaitForData()
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->WaitForData() : 4;
}

int32_t VProcessLauncher::ReadFromChildAndShutdown(DataCallback inOnOutput, DataCallback inOnError)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->ReadFromChildAndShutdown(std::move(inOnOutput), std::move(inOnError)) : -1;
}

int32_t VProcessLauncher::Shutdown(bool inForce, bool inKillProcessTree)
{
    XPosixProcessLauncher* impl = _Impl();
    return impl != nullptr ? impl->Shutdown(inForce, inKillProcessTree) : -1;
}

bool VProcessLauncher::KillProcess(int32_t inPid)
{
    return XPosixProcessLauncher::KillProcess(inPid);
}

void VProcessLauncher::_SetTerminationStepForTesting(int32_t inMilliseconds)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->_SetTerminationStepForTesting(inMilliseconds);
}

void VProcessLauncher::_SetKillTimerHookForTesting(KillTimerHook inHook)
{
    if (XPosixProcessLauncher* impl = _Impl())
        impl->_SetKillTimerHookForTesting(std::move(inHook));
}

int32_t VProcessLauncher::ExecuteCommandLine(const VString& inCommandLine, int32_t inOptions,
                                             VMemoryBuffer<>* inInput, VMemoryBuffer<>* outOutput,
                                             VMemoryBuffer<>* outError, EnvironmentVariables* inEnvironment,
                                             VFilePath* inFolder, int32_t* outExitStatus,
                                             VProcessLauncher** outLauncher,
                                             std::vector<VString>* inExtraArguments, bool inQuoteArguments,
                                             bool inKillProcessTree)
{
    VProcessLauncher* launcher = new (std::nothrow) VProcessLauncher;
    if (launcher == nullptr || launcher->fImpl == nullptr)
    {
        delete launcher;
        _ThrowError(VE_MEMORY_FULL);
        return ENOMEM;
    }
    launcher->CreateArgumentsFromFullCommandLine(inCommandLine);
    if (inEnvironment != nullptr)
        launcher->SetEnvironmentVariables(*inEnvironment);
    if (inFolder != nullptr)
        launcher->SetDefaultDirectory(*inFolder);
    const bool wait = (inOptions & kDoNotWait) == 0;
    if (!wait)
        launcher->SetWaitClosingChildProcess(0);
    launcher->SetQuoteArgumentsIfNeeded(inQuoteArguments);
    if (inExtraArguments != nullptr)
    {
        for (const VString& argument : *inExtraArguments)
            launcher->AddArgument(argument, false);
    }
    if (inKillProcessTree)
        launcher->EnableProcessTreeKill();

    int32_t result = launcher->Start();
    if (result == 0)
    {
        if (inInput != nullptr)
        {
            const char* data = static_cast<const char*>(inInput->GetDataPtr());
            for (size_t at = 0; at < inInput->GetDataSize();)
            {
                const size_t size = std::min(inInput->GetDataSize() - at, kWriteBlock);
                if (launcher->WriteToChild(data + at, uint32_t(size), false) < 0)
                    break;
                at += size;
            }
        }
        launcher->CloseStandardInput();

        // Both streams are read to their end, also those nobody keeps: a child whose pipe is full
        // never ends. Once a buffer could not grow, it keeps what it had and takes nothing more.
        bool keptAll = true;
        if (wait)
        {
            VMemoryBuffer<>* buffers[2] = {outOutput, outError};
            char block[kReadBlock];
            for (;;)
            {
                int32_t counts[2];
                for (int stream = 0; stream < 2; ++stream)
                {
                    counts[stream] = stream == 0 ? launcher->ReadFromChild(block, kReadBlock)
                                                 : launcher->ReadErrorFromChild(block, kReadBlock);
                    if (counts[stream] > 0 && buffers[stream] != nullptr &&
                        !Append(*buffers[stream], block, size_t(counts[stream])))
                    {
                        buffers[stream] = nullptr;
                        keptAll = false;
                    }
                }
                if (counts[0] < 0 && counts[1] < 0)
                    break;
                if (counts[0] <= 0 && counts[1] <= 0)
                    launcher->WaitForData();
            }
        }
        if (outLauncher == nullptr)
            result = launcher->Shutdown(false, inKillProcessTree);
        if (result == 0)
        {
            if (outExitStatus != nullptr)
                *outExitStatus = launcher->GetExitStatus();
            if (!keptAll)
                result = ENOMEM;
        }
    }
    if (outLauncher != nullptr)
        *outLauncher = launcher;
    else
        delete launcher;
    return result;
}

} // namespace kova
