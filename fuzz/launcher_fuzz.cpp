// The launcher's splitting of a command line (its restart command carries text from the updater's
// own command line) over any text: it never reads past the end, and what it splits comes back the
// same when each argument is written again between double quotes, backslashes and double quotes
// escaped.
#include "fuzz/FuzzSetup.h"

#include "kernel/text/VString.h"
#include "platform/mac/ipc/XPosixProcessLauncher.h"

#include <vector>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    const VString commandLine(inData, inSize, VTC_UTF_8);
    std::vector<VString> arguments;
    const int32_t count = XPosixProcessLauncher::_AnalyzeCommandLine(commandLine, arguments);
    fuzz::Check(count == int32_t(arguments.size()), "the count is the number of arguments");
    fuzz::Check(count <= commandLine.GetLength(), "every argument takes at least one unit");

    VString quoted;
    for (const VString& argument : arguments)
    {
        if (!quoted.IsEmpty())
            quoted.AppendUniChar(u' ');
        quoted.AppendUniChar(u'"');
        const UniChar* units = argument.GetCPointer();
        for (int32_t i = 0; i < argument.GetLength(); ++i)
        {
            if (units[i] == u'\\' || units[i] == u'"')
                quoted.AppendUniChar(u'\\');
            quoted.AppendUniChar(units[i]);
        }
        quoted.AppendUniChar(u'"');
    }
    std::vector<VString> again;
    XPosixProcessLauncher::_AnalyzeCommandLine(quoted, again);
    fuzz::Check(again.size() == arguments.size(), "quoted arguments split into as many");
    for (size_t i = 0; i < again.size() && i < arguments.size(); ++i)
        fuzz::Check(again[i].EqualToStringRaw(arguments[i]), "quoted arguments come back the same");
    return 0;
}
