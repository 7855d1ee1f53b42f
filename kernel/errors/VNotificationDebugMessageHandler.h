// VNotificationDebugMessageHandler asks the user, through a system alert with the buttons Retry,
// Ignore and Abort, what to do about a failed assertion or a pushed error: Retry goes on, Ignore
// ignores it from now on, Abort breaks into the debugger (or quits without console output). The
// toolbox installs none; a tool may, with VDebugMgr::SetDebugMessageHandler.
#pragma once

#include "kernel/errors/IDebugMessageHandler.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VNotificationDebugMessageHandler : public VObject, public IDebugMessageHandler
{
public:
    // Nothing is shown, and the answer is to go on, while the task suppresses alerts.
    EDebugAction AssertFailed(VDebugContext& ioContext, const char* inMessage, const char* inFile,
                              int inLine) override;
    EDebugAction ErrorThrown(VDebugContext& ioContext, VErrorBase* inError) override;

    static EDebugAction _TranslateNotificationResponse(ENotificationResponse inResponse);

private:
    static EDebugAction _Ask(VDebugContext& ioContext, const VString& inTitle, const VString& inText);
};

} // namespace kova
