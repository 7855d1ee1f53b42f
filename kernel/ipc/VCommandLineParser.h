// VCommandLineParser turns an argument vector (argv[0] first) into calls on the options declared on
// it: GNU-style long options (--name=value, --name value), clusters of one-letter options (-abc),
// "--" to end the options, positional arguments handed to a sink, and a built-in help. A wrong
// command line is reported as one line on standard error, never as an error object. The parser
// also writes the help page, and exports the declared options as a man-page section or as JSON.
//
//     std::vector<VString> arguments = ...;
//     VCommandLineParser parser(arguments);
//     int pid = -1;
//     bool silent = false;
//     std::vector<VString> paths;
//     parser.AddOption(0, VString("pid"), VString("Wait for the caller's pid"), &pid);
//     parser.AddFlag(0, VString("silent"), VString("Show no message"), &silent);
//     parser.SetPositionalSink(&paths);
//     switch (parser.Parse()) { case 0: go on; case 1: wrong (a line was printed); case 2: help shown }
//
// Parsing is linear in the number of arguments. The parser keeps a reference to the vector.
#pragma once

#include "kernel/ipc/StOptionsInfos.h"
#include "kernel/ipc/VArgOption.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <new>
#include <vector>

namespace kova
{

class VCommandLineParser : public VObject
{
public:
    using VOptionBase = Private::CommandLineParser::VOptionBase;

    explicit VCommandLineParser(const std::vector<VString>& inArguments);
    ~VCommandLineParser() override;
    VCommandLineParser(const VCommandLineParser&) = delete;
    VCommandLineParser& operator=(const VCommandLineParser&) = delete;

    // Deletes the sink and every option and paragraph.
    void Clear();

    // Declares an option that takes a value into *outVariable, by a letter (0 for none), a long
    // name (empty for none) or both. Null, nothing declared, for a name that is not valid;
    // otherwise the option, which belongs to the parser.
    template <class T>
    VOptionBase* AddOption(UniChar inShortName, const VString& inLongName, const VString& inHelp,
                           T* outVariable)
    {
        return _Register(true, new (std::nothrow) Private::CommandLineParser::VArgOption<T>(
                                   inShortName, inLongName, inHelp, true, outVariable));
    }
    // Declares an option given without a value: its converter's flag value goes to *outVariable.
    template <class T>
    VOptionBase* AddFlag(UniChar inShortName, const VString& inLongName, const VString& inHelp,
                         T* outVariable)
    {
        return _Register(false, new (std::nothrow) Private::CommandLineParser::VArgOption<T>(
                                    inShortName, inLongName, inHelp, false, outVariable));
    }
    // Every positional argument goes to *outVariable, replacing any earlier sink.
    template <class T>
    void SetPositionalSink(T* outVariable)
    {
        fInfos.SetPositionalSink(new (std::nothrow) Private::CommandLineParser::VArgOption<T>(
            0, VString(), VString(), true, outVariable));
    }
    // A paragraph of free text on the help page.
    void AddParagraph(const VString& inText);
    // With it, a value "-" stands for the whole of standard input (read once).
    void SetValuesFromStandardInput(bool inRead) { fInfos.SetValuesFromStandardInput(inRead); }

    // 0 go on, 1 wrong command line (a line was printed on standard error), 2 stop (the help page
    // was printed).
    int32_t Parse();

    // The text as UTF-8, then a line end, on standard output, flushed.
    static void Print(const VString& inText);
    // The same on standard error; true.
    static bool PrintArgumentError(const VString& inText);

    void HelpUsage() const;
    void ExportAsManPage(VString* ioText) const;
    void ExportAsJSON(VString* ioText) const;
    // The JSON export on standard output, or on standard error when asked, then a line end.
    void PrintAllArguments(bool inToStandardError) const;

    // Empty, or two or more of 0-9, a-z and "-", neither first nor last a "-".
    static bool ValidateLongOptionName(const VString& inName);
    // 0 or a blank (no letter), a-z, A-Z or 0-9.
    static bool ValidateShortOptionName(UniChar inName);

    Private::CommandLineParser::StOptionsInfos& GetOptionsInfos() { return fInfos; }
    const Private::CommandLineParser::StOptionsInfos& GetOptionsInfos() const { return fInfos; }

    // The text as UTF-8 on standard output or standard error, with a line end when asked, flushed.
    static void _Write(bool inToStandardError, const VString& inText, bool inLineEnd);

private:
    VOptionBase* _Register(bool inRequiresValue, VOptionBase* inOption);

    Private::CommandLineParser::StOptionsInfos fInfos;
};

} // namespace kova
