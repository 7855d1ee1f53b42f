#include "kernel/errors/VNotificationDebugMessageHandler.h"

#include "kernel/errors/VDebugContext.h"
#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"

#include <cstring>

namespace kova
{

EDebugAction VNotificationDebugMessageHandler::_Ask(VDebugContext& ioContext, const VString& inTitle,
                                                    const VString& inText)
{
    if (ioContext.GetAlertSuppressionCount() != 0)
        return EDA_Continue;
    ENotificationResponse response = ENR_None;
    VSystem::DisplayNotification(inTitle, inText, ENF_RetryIgnoreAbort, &response);
    return _TranslateNotificationResponse(response);
}

EDebugAction VNotificationDebugMessageHandler::AssertFailed(VDebugContext& ioContext, const char* inMessage,
                                                            const char* inFile, int inLine)
{
    auto utf8 = [](const char* inText)
    {
        const char* text = inText != nullptr ? inText : "";
        return VString(text, std::strlen(text), VTC_UTF_8);
    };
    VString message = utf8(inMessage);
    VString file = utf8(inFile);
    VString text;
    text.Printf("Condition: %S\nFile: %S, %d", &message, &file, inLine);
    return _Ask(ioContext, VString("Assert Failed"), text);
}

EDebugAction VNotificationDebugMessageHandler::ErrorThrown(VDebugContext& ioContext, VErrorBase* inError)
{
    VString text("Error: ");
    if (inError != nullptr)
    {
        VString dump;
        inError->DumpToString(dump);
        text.AppendString(dump);
    }
    text.AppendUniChar(u'\n');
    return _Ask(ioContext, VString("Error Thrown"), text);
}

EDebugAction
VNotificationDebugMessageHandler::_TranslateNotificationResponse(ENotificationResponse inResponse)
{
    switch (inResponse)
    {
    case ENR_Abort:
        return VDebugMgr::Get()->GetConsoleOutput() ? EDA_Break : EDA_Abort;
    case ENR_Retry:
        return EDA_Continue;
    default:
        return EDA_Ignore;
    }
}

} // namespace kova
