#include "kernel/ipc/VProcessIPC.h"

#include "kernel/files/VFileSystemNotifier.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/tasks/VSleepNotifier.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VString.h"
#include "platform/mac/ipc/XPosixProcessIPC.h"

#include <cstring>
#include <new>
#include <vector>

namespace kova
{

int sProcessCommandLineArgc = 0;
char** sProcessCommandLineArgv = nullptr;

VProcessIPC* VProcessIPC::sInstance = nullptr;

namespace
{

// The argument the system adds to an application started from the Finder: its process serial
// number, which no option of ours takes.
constexpr char kProcessSerialNumberPrefix[] = "-psn_";

std::vector<VString> GatherArguments()
{
    std::vector<VString> arguments;
    if (sProcessCommandLineArgv == nullptr)
        return arguments;
    for (int i = 0; i < sProcessCommandLineArgc; ++i)
    {
        const char* argument = sProcessCommandLineArgv[i];
        if (argument == nullptr)
            break;
        if (std::strncmp(argument, kProcessSerialNumberPrefix, sizeof kProcessSerialNumberPrefix - 1) == 0)
            continue;
        arguments.emplace_back(argument, std::strlen(argument), VTC_UTF_8);
    }
    return arguments;
}

} // namespace

VProcessIPC::VProcessIPC()
{
    sInstance = this;
}

VProcessIPC::~VProcessIPC()
{
    delete fFileSystemNotifier;
    fFileSystemNotifier = nullptr;
    delete fSleepNotifier;
    fSleepNotifier = nullptr;
    delete fPosix;
    fPosix = nullptr;
    if (sInstance == this)
        sInstance = nullptr;
}

bool VProcessIPC::Init(uint32_t inFlags)
{
    if (fInitDone)
        return fInitResult;
    fInitResult = VProcess::Init(inFlags);
    fInitDone = true;
    if (!fInitResult)
    {
        fExitValue = 1;
        return false;
    }

    {
        const std::vector<VString> arguments = GatherArguments();
        VCommandLineParser parser(arguments);
        const int32_t result = DoParseCommandLine(parser);
        fExitValue = result == 0 || result == 2 ? 0 : 1;
        fInitResult = result == 0;
    }
    if (!fInitResult)
        return false;

    fPosix = new (std::nothrow) XPosixProcessIPC;
    fInitResult = fPosix != nullptr && fPosix->Init();
    if (!fInitResult)
    {
        fExitValue = 1;
        return false;
    }

    if ((inFlags & kInitFileSystemNotifier) != 0)
        fFileSystemNotifier = new (std::nothrow) VFileSystemNotifier;
    fSleepNotifier = new (std::nothrow) VSleepNotifier;
    // A process without sleep notifications still runs.
    if (fSleepNotifier != nullptr)
        fSleepNotifier->Init();
    return true;
}

void VProcessIPC::DoRun()
{
    while (IsRunning())
        VTask::ExecuteMessagesWithTimeout(100, true);
}

int32_t VProcessIPC::DoParseCommandLine(VCommandLineParser&)
{
    return 0;
}

} // namespace kova
