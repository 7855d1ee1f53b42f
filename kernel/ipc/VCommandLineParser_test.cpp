#include "kernel/ipc/VCommandLineParser.h"

#include "kernel/ipc/IPCTesting_test.h"
#include "kernel/text/StStringConverter.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cstdlib>
#include <fcntl.h>
#include <ostream>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

using testing_ipc::Arguments;
using testing_ipc::StCaptureOutput;

std::string Join(const std::vector<VString>& inTexts)
{
    std::string joined = "[";
    for (size_t i = 0; i < inTexts.size(); ++i)
        joined += (i > 0 ? "," : "") + to_string(inTexts[i]);
    return joined + "]";
}

// A small tool's options: a number, a flag, a text, a list, a letter alone, and the positional
// arguments.
struct ToolOptions
{
    int fPid = -1;
    bool fSilent = false;
    VString fLogDir;
    std::vector<VString> fNames;
    bool fVerbose = false;
    std::vector<VString> fFiles;

    void Declare(VCommandLineParser& ioParser, bool inWithSink = true)
    {
        ioParser.AddOption(u'p', VString("pid"), VString("Wait for the caller's pid"), &fPid);
        ioParser.AddFlag(u's', VString("silent"), VString("No message"), &fSilent);
        ioParser.AddOption(0, VString("log-dir"), VString("Log folder"), &fLogDir);
        ioParser.AddOption(u'n', VString(), VString("A name"), &fNames);
        ioParser.AddFlag(u'v', VString(), VString("Verbose"), &fVerbose);
        if (inWithSink)
            ioParser.SetPositionalSink(&fFiles);
    }

    std::string State() const
    {
        return "pid=" + std::to_string(fPid) + " silent=" + std::to_string(fSilent) +
               " log=" + to_string(fLogDir) + " names=" + Join(fNames) +
               " verbose=" + std::to_string(fVerbose) + " files=" + Join(fFiles);
    }
};

const std::string kDefaultState = "pid=-1 silent=0 log= names=[] verbose=0 files=[]";

struct ParseCase
{
    std::vector<const char*> fArguments;
    int32_t fResult;
    std::string fError;
    std::string fState;
};

void PrintTo(const ParseCase& inCase, std::ostream* ioStream)
{
    for (const char* argument : inCase.fArguments)
        *ioStream << '"' << argument << "\" ";
}

class ParseTable : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ParseTable, ResultErrorLineAndValues)
{
    const ParseCase& test = GetParam();
    std::vector<VString> arguments;
    // Decoded as the process decodes its own.
    for (const char* text : test.fArguments)
        arguments.emplace_back(text, std::strlen(text), VTC_UTF_8);
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, test.fResult);
    EXPECT_EQ(captured.Error(), test.fError);
    if (test.fResult == 2)
    {
        EXPECT_EQ(captured.Output().rfind("Usage: prog [OPTION]... [FILE]...\n", 0), 0u);
    }
    else
    {
        EXPECT_EQ(captured.Output(), "");
    }
    if (!test.fState.empty())
    {
        EXPECT_EQ(options.State(), test.fState);
    }
}

INSTANTIATE_TEST_SUITE_P(
    VCommandLineParser, ParseTable,
    testing::Values(
        ParseCase{{"prog"}, 0, "", kDefaultState},
        ParseCase{
            {"prog", "--pid", "42", "--silent"}, 0, "", "pid=42 silent=1 log= names=[] verbose=0 files=[]"},
        // The flag between the option and its value is stepped over, then handled.
        ParseCase{{"prog", "--log-dir", "--silent", "/tmp"},
                  0,
                  "",
                  "pid=-1 silent=1 log=/tmp names=[] verbose=0 files=[]"},
        ParseCase{
            {"prog", "--pid=42", "a", "b"}, 0, "", "pid=42 silent=0 log= names=[] verbose=0 files=[a,b]"},
        ParseCase{{"prog", "--pid=", "x"},
                  1,
                  "invalid value for argument '-p, --pid' got empty value expected a signed integral\n",
                  ""},
        ParseCase{{"prog", "--", "-x", "--pid", ""},
                  0,
                  "",
                  "pid=-1 silent=0 log= names=[] verbose=0 files=[-x,--pid,]"},
        ParseCase{{"prog", "-ApplePersistenceIgnoreState", "YES", "-NSDocumentRevisionsDebugMode"},
                  0,
                  "",
                  kDefaultState},
        ParseCase{{"prog", "-sp", "7", "-n", "a", "-n", "b", "-v"},
                  0,
                  "",
                  "pid=7 silent=1 log= names=[a,b] verbose=1 files=[]"},
        ParseCase{{"prog", "-pn", "1", "x"}, 0, "", "pid=1 silent=0 log= names=[x] verbose=0 files=[]"},
        ParseCase{
            {"prog", "--pid", "1", "--pid", "2"}, 0, "", "pid=2 silent=0 log= names=[] verbose=0 files=[]"},
        // A positional argument is never handed again to a later option.
        ParseCase{{"prog", "a", "--pid", "3"}, 0, "", "pid=3 silent=0 log= names=[] verbose=0 files=[a]"},
        // A "--" met while looking for a value ends the options from there on only.
        ParseCase{{"prog", "--pid", "--silent", "--", "-5", "--verbose"},
                  0,
                  "",
                  "pid=-5 silent=1 log= names=[] verbose=0 files=[--verbose]"},
        // A negative number is a value, not an option: the value given is the value read.
        ParseCase{{"prog", "--pid", "-3"}, 0, "", "pid=-3 silent=0 log= names=[] verbose=0 files=[]"},
        ParseCase{{"prog", "--pid", "-5", "/Apps/Old.app", "/New.app"},
                  0,
                  "",
                  "pid=-5 silent=0 log= names=[] verbose=0 files=[/Apps/Old.app,/New.app]"},
        ParseCase{{"prog", "--pid", "-5x", "/Apps/Old.app"},
                  1,
                  "invalid value for argument '-p, --pid' got \"-5x\" expected a signed integral\n",
                  ""},
        ParseCase{{"prog", "-7", "-n", "-0"}, 0, "", "pid=-1 silent=0 log= names=[-0] verbose=0 files=[-7]"},
        ParseCase{{"prog", "-n"}, 1, "error: missing value for option -n\n", ""},
        ParseCase{{"prog", "--log-dir"}, 1, "error: missing value for option --log-dir\n", ""},
        ParseCase{{"prog", "--help=1"}, 1, "error: invalid value for option  `help`\n", ""},
        ParseCase{{"prog", "--help=x"}, 1, "error: invalid value for option  `help`\n", ""},
        ParseCase{{"prog", "--silent=1"}, 1, "error: a value for option `silent` is not required\n", ""},
        ParseCase{{"prog", "-"}, 1, "error: missing short option `-`\n", ""},
        ParseCase{{"prog", "--bogus", "x"}, 1, "error: unknown option `bogus`\n", ""},
        ParseCase{{"prog", "--bogus=1"}, 1, "error: unknown option `bogus`\n", ""},
        // Long names compare exactly.
        ParseCase{{"prog", "--PID=3"}, 1, "error: unknown option `PID`\n", ""},
        ParseCase{{"prog", "---x"}, 1, "error: unknown option `-x`\n", ""},
        ParseCase{{"prog", "--="}, 1, "error: unknown option ``\n", ""},
        ParseCase{{"prog", "-sx"},
                  1,
                  "error: unknown option `x`\n",
                  "pid=-1 silent=1 log= names=[] verbose=0 files=[]"},
        ParseCase{{"prog", "-\xF0\x9F\x98\x80"}, 1, "error: unknown option `\xF0\x9F\x98\x80`\n", ""},
        // Bytes that are not UTF-8 (each read as the unit of its value) and empty arguments are
        // arguments like any other.
        ParseCase{{"prog", "--\xFF\xC3=1"}, 1, "error: unknown option `\xC3\xBF\xC3\x83`\n", ""},
        ParseCase{{"prog", "", "\xC3", "--log-dir", ""},
                  0,
                  "",
                  "pid=-1 silent=0 log= names=[] verbose=0 files=[,\xC3\x83]"},
        ParseCase{{"prog", "--pid=4294967297"},
                  1,
                  "invalid value for argument '-p, --pid' got \"4294967297\" expected a signed integral\n",
                  ""},
        ParseCase{{"prog", "--help"}, 2, "", ""}, ParseCase{{"prog", "-h"}, 2, "", ""},
        ParseCase{{"prog", "-v?"}, 2, "", "pid=-1 silent=0 log= names=[] verbose=1 files=[]"}));

TEST(VCommandLineParser, ADigitThatIsAShortOptionStaysAnOption)
{
    const std::vector<VString> arguments = Arguments({"prog", "--pid", "-1", "-2"});
    ToolOptions options;
    bool one = false;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    parser.AddFlag(u'1', VString(), VString("One"), &one);
    StCaptureOutput captured;
    EXPECT_EQ(parser.Parse(), 0);
    captured.Stop();
    EXPECT_EQ(captured.Error(), "");
    EXPECT_TRUE(one);
    EXPECT_EQ(options.State(), "pid=-2 silent=0 log= names=[] verbose=0 files=[]");
}

TEST(VCommandLineParser, PositionalArgumentWithoutSinkIsUnknown)
{
    const std::vector<VString> arguments = Arguments({"prog", "--silent", "stray"});
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser, false);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(captured.Error(), "error: unknown option `stray`\n");
}

TEST(VCommandLineParser, OptionsNamedHelpOrHReplaceTheBuiltInHelp)
{
    const std::vector<VString> arguments = Arguments({"prog", "-h", "--help", "x"});
    bool letter = false;
    VString help;
    VCommandLineParser parser(arguments);
    parser.AddFlag(u'h', VString("host"), VString(), &letter);
    parser.AddOption(0, VString("help"), VString(), &help);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(letter);
    EXPECT_EQ(to_string(help), "x");
    EXPECT_EQ(captured.Output(), "");
}

TEST(VCommandLineParser, InvalidNamesAreRefused)
{
    struct
    {
        const char* fName;
        bool fValid;
    } const longNames[] = {{"", true},     {"pid", true},  {"log-dir", true}, {"a1-b2", true},
                           {"x", false},   {"-ab", false}, {"ab-", false},    {"Pid", false},
                           {"a_b", false}, {"a b", false}, {"é-a", false}};
    for (const auto& name : longNames)
    {
        VString text;
        text.FromCString(name.fName);
        EXPECT_EQ(VCommandLineParser::ValidateLongOptionName(text), name.fValid) << name.fName;
    }
    for (UniChar letter : {UniChar(0), u' ', u'a', u'Z', u'7'})
        EXPECT_TRUE(VCommandLineParser::ValidateShortOptionName(letter));
    for (UniChar letter : {u'-', u'?', u'=', u'é', u'\t'})
        EXPECT_FALSE(VCommandLineParser::ValidateShortOptionName(letter));

    const std::vector<VString> arguments = Arguments({"prog", "--Bad", "1"});
    int value = 0;
    VCommandLineParser parser(arguments);
    EXPECT_EQ(parser.AddOption(0, VString("Bad"), VString(), &value), nullptr);
    EXPECT_EQ(parser.AddOption(u'-', VString("good"), VString(), &value), nullptr);
    EXPECT_TRUE(parser.GetOptionsInfos().GetHelpEntries().empty());
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 1);
}

TEST(VCommandLineParser, AValueOfMinusReadsStandardInputOnce)
{
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const int savedInput = dup(0);
    ASSERT_EQ(write(input[1], "fr\xC3\xA9\nd", 6), 6);
    close(input[1]);
    dup2(input[0], 0);
    close(input[0]);

    // A lone "-" is an option, so it comes as the value after "=" or after "--".
    const std::vector<VString> arguments = Arguments({"prog", "--log-dir=-", "--", "-", "-"});
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    parser.SetValuesFromStandardInput(true);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 0);
    dup2(savedInput, 0);
    close(savedInput);
    EXPECT_EQ(options.State(),
              "pid=-1 silent=0 log=fr\xC3\xA9\nd names=[] verbose=0 files=[fr\xC3\xA9\nd,fr\xC3\xA9\nd]");
}

TEST(VCommandLineParser, StandardInputThatCannotBeReadIsAnError)
{
    const int savedInput = dup(0);
    const int folder = open("/", O_RDONLY | O_DIRECTORY);
    dup2(folder, 0);
    close(folder);
    const std::vector<VString> arguments = Arguments({"prog", "--log-dir=-"});
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    parser.SetValuesFromStandardInput(true);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 1);
    dup2(savedInput, 0);
    close(savedInput);
    EXPECT_EQ(captured.Error(), "error: failed to read from stdin for option `log-dir`\n");
}

// An option that asks for the help page when given "help".
class HelpfulOption : public Private::CommandLineParser::VOptionBase
{
public:
    HelpfulOption() : VOptionBase(0, VString("topic"), VString(), true) {}
    int32_t AppendArgument(VCommandLineParser&, const VString& inValue) override
    {
        return inValue.EqualToUSASCIICString("help") ? 2 : 0;
    }
};

TEST(VCommandLineParser, AnOptionMayAskForTheHelpPage)
{
    const std::vector<VString> arguments = Arguments({"prog", "--topic", "help"});
    VCommandLineParser parser(arguments);
    ASSERT_TRUE(parser.GetOptionsInfos().RegisterOption(true, new HelpfulOption));
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(captured.Output(), "Usage: prog [OPTION]...\n\n      --topic=VALUE\n  -h, --help               "
                                 "  Display the help and exit\n");
}

// The updater's declarations, with a hidden option, a long option that reaches the description
// column and a letter alone.
void DeclareUpdaterLike(VCommandLineParser& ioParser, int& ioPid, bool& ioFlag, VString& ioText,
                        std::vector<VString>& ioFiles)
{
    ioParser.AddParagraph(VString(
        "\nQel Updater\n\t\tUpdates an existing Qel application residing at <path of app to update> using "
        "\t\tnewer versions tored <path of update>\n\n"));
    ioParser.AddOption(0, VString("pid"), VString("Wait for the caller's pid"), &ioPid);
    ioParser.AddFlag(0, VString("silent"),
                     VString("ensure that no message is displayed in case of error. Errors are still "
                             "logged though"),
                     &ioFlag);
    ioParser.AddOption(0, VString("a-very-long-option-name"), VString("Short help"), &ioText);
    ioParser.AddOption(u'x', VString(), VString("A letter with a value"), &ioText);
    ioParser.AddOption(0, VString("hidden-one"), VString("Never shown"), &ioText)->SetHidden(true);
    ioParser.AddOption(0, VString("cut"),
                       VString("Abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghij end"),
                       &ioText);
    ioParser.SetPositionalSink(&ioFiles);
    ioParser.AddParagraph(VString("\nHelp:\n"));
    ioParser.AddFlag(0, VString("version"), VString("Print the version and exits"), &ioFlag);
}

const char kUpdaterHelpPage[] =
    "Usage: /opt/updater [OPTION]... [FILE]...\n"
    "\n"
    "Qel Updater\n"
    "Updates an existing Qel application residing at <path of app to update> using\n"
    "newer versions tored <path of update>\n"
    "\n"
    "\n"
    "      --pid=VALUE            Wait for the caller's pid\n"
    "      --silent               ensure that no message is displayed in case of\n"
    "                             error. Errors are still logged though\n"
    "      --a-very-long-option-name=VALUE\n"
    "                             Short help\n"
    "  -x VALUE              A letter with a value\n"
    "      --cut=VALUE            Abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx\n"
    "                             yzabcdefghij end\n"
    "\n"
    "Help:\n"
    "\n"
    "      --version              Print the version and exits\n"
    "  -h, --help                 Display the help and exit\n";

TEST(VCommandLineParser, HelpPageByteForByte)
{
    const std::vector<VString> arguments = Arguments({"/opt/updater", "--help"});
    int pid = 0;
    bool flag = false;
    VString text;
    std::vector<VString> files;
    VCommandLineParser parser(arguments);
    DeclareUpdaterLike(parser, pid, flag, text, files);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(captured.Output(), kUpdaterHelpPage);
    EXPECT_EQ(captured.Error(), "");
}

TEST(VCommandLineParser, HelpPageInColourOnATerminal)
{
    const std::vector<VString> arguments = Arguments({"prog"});
    bool flag = false;
    VCommandLineParser parser(arguments);
    parser.AddFlag(u'q', VString("quiet"), VString("Say nothing"), &flag);
    parser.AddParagraph(VString("Notes"));

    int terminal = -1;
    int follower = -1;
    ASSERT_EQ(openpty(&terminal, &follower, nullptr, nullptr, nullptr), 0);
    std::fflush(stdout);
    const int savedOutput = dup(1);
    dup2(follower, 1);
    parser.HelpUsage();
    dup2(savedOutput, 1);
    close(savedOutput);
    close(follower);
    std::string shown;
    char block[1024];
    ssize_t count;
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    while ((count = read(terminal, block, sizeof block)) > 0)
        shown.append(block, size_t(count));
    close(terminal);
    // The terminal shows line ends as CR LF.
    EXPECT_EQ(shown, "Usage: prog [OPTION]...\r\n\r\n"
                     "\033[0;32m  -q, --quiet\033[0m                Say nothing\r\n"
                     "\033[0;33mNotes\033[0m\r\n"
                     "\033[0;32m  -h, --help\033[0m                 Display the help and exit\r\n");
}

TEST(VCommandLineParser, WrappingBreaksAtBlanksAndLineEndsAndCutsLongWords)
{
    struct
    {
        const char* fHelp;
        std::string fShown;
    } const cases[] = {
        // Exactly 50: one line.
        {"aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee.",
         "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee."},
        // A blank just past 50 breaks there and is dropped.
        {"aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeeee ff",
         "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeeee\n" + std::string(29, ' ') + "ff"},
        // After a "." the break keeps it.
        {"aaaaaaaaa.bbbbbbbbb.ccccccccc.ddddddddd.eeeeeeeeeeeeee",
         "aaaaaaaaa.bbbbbbbbb.ccccccccc.ddddddddd.\n" + std::string(29, ' ') + "eeeeeeeeeeeeee"},
        // A line end always breaks.
        {"one\ntwo\r\nthree", "one\n" + std::string(29, ' ') + "two\n" + std::string(29, ' ') + "three"},
        {"tabs\tgo", "tabsgo"},
    };
    for (const auto& test : cases)
    {
        const std::vector<VString> arguments = Arguments({"p"});
        bool flag = false;
        VCommandLineParser parser(arguments);
        parser.AddFlag(0, VString("long"), VString(test.fHelp), &flag);
        VString page;
        parser.GetOptionsInfos().AppendHelpPage(VString("p"), false, page);
        const std::string expected =
            "Usage: p [OPTION]...\n\n      --long                 " + test.fShown + "\n";
        EXPECT_EQ(to_string(page).substr(0, expected.size()), expected) << test.fHelp;
    }
}

TEST(VCommandLineParser, ManPageByteForByte)
{
    const std::vector<VString> arguments = Arguments({"prog"});
    int pid = 0;
    bool flag = false;
    VString text;
    VCommandLineParser parser(arguments);
    parser.AddParagraph(VString("Main \"options\"\nof the tool"));
    parser.AddOption(u'p', VString("pid"), VString("The caller's pid"), &pid);
    parser.AddFlag(u'q', VString(), VString(".starts with a dot\nback\\slash"), &flag);
    parser.AddOption(u'x', VString(), VString("Letter"), &text);
    parser.AddFlag(0, VString("silent"), VString("No message"), &flag);
    parser.AddFlag(0, VString("secret"), VString("Hidden"), &flag)->SetHidden(true);
    VString page("kept");
    parser.ExportAsManPage(&page);
    EXPECT_EQ(to_string(page), "kept.SH OPTIONS\n"
                               ".SS \"Main \\(dqoptions\\(dq of the tool\"\n"
                               ".TP\n.BR \\-p \", \" \\-\\-pid=\\fIVALUE\\fR\nThe caller's pid\n"
                               ".TP\n.BR \\-q\n\\&.starts with a dot\nback\\eslash\n"
                               ".TP\n.BR \\-x \\fIVALUE\\fR\nLetter\n"
                               ".TP\n.BR \\-\\-silent\nNo message\n");
}

TEST(VCommandLineParser, JSONExportByteForByte)
{
    const std::vector<VString> arguments = Arguments({"prog", "a\"b"});
    int pid = 0;
    bool flag = false;
    VCommandLineParser parser(arguments);
    parser.AddParagraph(VString("Tab\there"));
    parser.AddOption(u'p', VString("pid"), VString("The pid"), &pid);
    parser.AddFlag(0, VString("secret"), VString("Hidden"), &flag)->SetHidden(true);
    VString json;
    parser.ExportAsJSON(&json);
    EXPECT_EQ(to_string(json), "{\n"
                               "\t\"arguments\": {\n"
                               "\t\t\"count\": 2,\n"
                               "\t\t\"values\": [\n"
                               "\t\t\t\"prog\",\n"
                               "\t\t\t\"a\\\"b\"\n"
                               "\t\t]\n"
                               "\t},\n"
                               "\t\"options\": {\n"
                               "\t\t\"count\": 3,\n"
                               "\t\t\"values\": [\n"
                               "\t\t\t{\n"
                               "\t\t\t\t\"paragraph\": \"Tab\\there\",\n"
                               "\t\t\t\t\"description\": \"Tab\\there\"\n"
                               "\t\t\t},\n"
                               "\t\t\t{\n"
                               "\t\t\t\t\"shortName\": \"p\",\n"
                               "\t\t\t\t\"longName\": \"pid\",\n"
                               "\t\t\t\t\"requiresValue\": true,\n"
                               "\t\t\t\t\"description\": \"The pid\"\n"
                               "\t\t\t},\n"
                               "\t\t\t{\n"
                               "\t\t\t\t\"longName\": \"secret\",\n"
                               "\t\t\t\t\"description\": \"Hidden\"\n"
                               "\t\t\t}\n"
                               "\t\t]\n"
                               "\t}\n"
                               "}\n");

    StCaptureOutput captured;
    parser.PrintAllArguments(true);
    EXPECT_EQ(captured.Error(), to_string(json) + "\n");
    EXPECT_EQ(captured.Output(), "");
}

TEST(VCommandLineParser, PrintWritesUTF8AndALineEnd)
{
    StCaptureOutput captured;
    VString text;
    text.FromCString("caf\xC3\xA9\r\nnext");
    VCommandLineParser::Print(text);
    EXPECT_TRUE(VCommandLineParser::PrintArgumentError(text));
    EXPECT_EQ(captured.Output(), "caf\xC3\xA9\r\nnext\n");
    EXPECT_EQ(captured.Error(), "caf\xC3\xA9\r\nnext\n");
}

TEST(VCommandLineParser, ClearDeletesEverything)
{
    const std::vector<VString> arguments = Arguments({"prog", "--pid", "3"});
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    parser.Clear();
    EXPECT_TRUE(parser.GetOptionsInfos().GetHelpEntries().empty());
    EXPECT_EQ(parser.GetOptionsInfos().GetPositionalSink(), nullptr);
    StCaptureOutput captured;
    const int32_t result = parser.Parse();
    captured.Stop();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(captured.Error(), "error: unknown option `pid`\n");
}

// A long command line of every kind of argument: each is looked at a bounded number of times.
TEST(VCommandLineParser, OneHundredThousandArguments)
{
    std::vector<VString> arguments{VString("prog")};
    for (int i = 0; i < 25000; ++i)
    {
        arguments.push_back(VString("--pid"));
        arguments.push_back(VString("--silent"));
        arguments.push_back(VString("7"));
        arguments.push_back(VString("file"));
    }
    ToolOptions options;
    VCommandLineParser parser(arguments);
    options.Declare(parser);
    EXPECT_EQ(parser.Parse(), 0);
    EXPECT_EQ(options.fPid, 7);
    EXPECT_TRUE(options.fSilent);
    EXPECT_EQ(options.fFiles.size(), 25000u);
}

} // namespace
} // namespace kova
