#include "kernel/ipc/VProcessIPC.h"

#include "kernel/files/VFileSystemNotifier.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/tasks/VSleepNotifier.h"
#include "kernel/tasks/VTask.h"
#include "platform/mac/ipc/XPosixProcessIPC.h"

#include <cstring>
#include <new>
#include <vector>

namespace kova
{

int sProcessCommandLineArgc = 0;
char** sProcessCommandLineArgv = nullptr;

VProcessIPC* VProcessIPC::sInstance = nullptr;

VProcessIPC::VProcessIPC()
{
    sInstance = this;
}

VProcessIPC::~VProcessIPC()
{
    delete fFileSystemNotifier;
    delete fSleepNotifier;
    delete fImpl;
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

    int32_t parseResult = 1;
    {
        std::vector<VString> arguments;
        for (int i = 0; i < sProcessCommandLineArgc && sProcessCommandLineArgv != nullptr; ++i)
        {
            const char* argument = sProcessCommandLineArgv[i];
            if (argument == nullptr)
                continue;
            // The process serial number the system adds to applications started from its desktop.
            if (std::strncmp(argument, "-psn_", 5) == 0)
                continue;
            VString text;
            text.FromBlock(argument, std::strlen(argument), VTC_UTF_8);
            arguments.push_back(text);
        }
        VCommandLineParser parser(arguments);
        parseResult = DoParseCommandLine(parser);
    }
    fExitValue = parseResult == 0 || parseResult == 2 ? 0 : 1;
    fInitResult = parseResult == 0;
    if (!fInitResult)
        return false;

    fImpl = new (std::nothrow) XPosixProcessIPC();
    fInitResult = fImpl != nullptr && fImpl->Init();
    if (!fInitResult)
    {
        fExitValue = 1;
        return false;
    }
    if ((inFlags & kInitFileSystemNotifier) != 0)
        fFileSystemNotifier = new (std::nothrow) VFileSystemNotifier();
    fSleepNotifier = new (std::nothrow) VSleepNotifier();
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
