#include "kernel/ipc/CommandLineArgument.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/ipc/IPCTesting_test.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/StStringConverter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

using Extension::CommandLineParser::Argument;
using testing_ipc::Arguments;
using testing_ipc::StCaptureOutput;

VString Text(const char* inUTF8)
{
    VString text;
    text.FromCString(inUTF8);
    return text;
}

// Reads the text into a variable that starts at inStart; the variable when accepted, else
// inStart (a rejected text changes nothing).
template <class T>
std::string Read(const char* inText, T inStart)
{
    T value = inStart;
    const bool accepted = Argument<T>::Append(value, Text(inText));
    if (!accepted)
        return value == inStart ? "rejected" : "rejected and changed";
    return std::to_string(value);
}

TEST(CommandLineArgument, Booleans)
{
    EXPECT_EQ(Read<bool>("1", false), "1");
    EXPECT_EQ(Read<bool>("true", false), "1");
    EXPECT_EQ(Read<bool>("TRUE", false), "1");
    EXPECT_EQ(Read<bool>("0", true), "0");
    EXPECT_EQ(Read<bool>("False", true), "0");
    for (const char* text : {"yes", "", "2", "on", " 1"})
        EXPECT_EQ(Read<bool>(text, true), "rejected") << text;
}

TEST(CommandLineArgument, IntegersAreReadWholeAndNeverCut)
{
    struct
    {
        const char* fText;
        const char* fInt;
        const char* fUnsigned;
        const char* fLong;
        const char* fUnsignedLong;
    } const cases[] = {
        {"42", "42", "42", "42", "42"},
        {" \t42\n ", "42", "42", "42", "42"},
        {"010", "8", "8", "8", "8"},
        {"+5", "5", "5", "5", "5"},
        {"-5", "-5", "rejected", "-5", "rejected"},
        {"-0", "0", "rejected", "0", "rejected"},
        {"09", "rejected", "rejected", "rejected", "rejected"},
        {"2147483647", "2147483647", "2147483647", "2147483647", "2147483647"},
        {"2147483648", "rejected", "2147483648", "2147483648", "2147483648"},
        {"-2147483648", "-2147483648", "rejected", "-2147483648", "rejected"},
        {"-2147483649", "rejected", "rejected", "-2147483649", "rejected"},
        {"4294967295", "rejected", "4294967295", "4294967295", "4294967295"},
        {"4294967297", "rejected", "rejected", "4294967297", "4294967297"},
        {"9223372036854775807", "rejected", "rejected", "9223372036854775807", "9223372036854775807"},
        {"9223372036854775808", "rejected", "rejected", "rejected", "9223372036854775808"},
        {"-9223372036854775808", "rejected", "rejected", "-9223372036854775808", "rejected"},
        {"18446744073709551615", "rejected", "rejected", "rejected", "18446744073709551615"},
        {"18446744073709551616", "rejected", "rejected", "rejected", "rejected"},
        {"000000000000000000000000000001", "rejected", "rejected", "rejected", "rejected"},
        {"00000000000000000000000000001", "1", "1", "1", "1"},
        {"", "rejected", "rejected", "rejected", "rejected"},
        {"  ", "rejected", "rejected", "rejected", "rejected"},
        {"0x10", "rejected", "rejected", "rejected", "rejected"},
        {"1e3", "rejected", "rejected", "rejected", "rejected"},
        {"4 2", "rejected", "rejected", "rejected", "rejected"},
        {"--5", "rejected", "rejected", "rejected", "rejected"},
        {"5-", "rejected", "rejected", "rejected", "rejected"},
        {"\xD9\xA3", "rejected", "rejected", "rejected", "rejected"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(Read<int>(test.fText, 77), test.fInt) << test.fText;
        EXPECT_EQ(Read<unsigned int>(test.fText, 77u), test.fUnsigned) << test.fText;
        EXPECT_EQ(Read<long long>(test.fText, 77ll), test.fLong) << test.fText;
        EXPECT_EQ(Read<unsigned long long>(test.fText, 77ull), test.fUnsignedLong) << test.fText;
    }
}

TEST(CommandLineArgument, TextsListsAndFlagValues)
{
    VString text("old");
    EXPECT_TRUE(Argument<VString>::Append(text, Text("new")));
    EXPECT_EQ(to_string(text), "new");
    Argument<VString>::SetFlag(text);
    EXPECT_EQ(to_string(text), "1");

    std::vector<VString> list;
    EXPECT_TRUE(Argument<std::vector<VString>>::Append(list, Text("a")));
    EXPECT_TRUE(Argument<std::vector<VString>>::Append(list, Text("")));
    ASSERT_EQ(list.size(), 2u);
    Argument<std::vector<VString>>::SetFlag(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].IsEmpty());

    int number = 0;
    Argument<int>::SetFlag(number);
    EXPECT_EQ(number, 1);
    bool flag = false;
    Argument<bool>::SetFlag(flag);
    EXPECT_TRUE(flag);
}

class CommandLineArgumentFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kova-cmdline-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        fFolder = pattern;
        std::ofstream(fFolder + "/file.txt") << "x";
        std::filesystem::create_directory(fFolder + "/sub");
        std::filesystem::create_symlink(fFolder + "/file.txt", fFolder + "/link");
    }
    void TearDown() override { std::filesystem::remove_all(fFolder); }

    std::string PosixOf(const VFilePath& inPath)
    {
        VString text;
        inPath.GetPosixPath(text);
        return to_string(text);
    }

    std::string fFolder;
};

TEST_F(CommandLineArgumentFiles, PathsAreResolvedOrKeptAsGiven)
{
    VFilePath path;
    EXPECT_TRUE(Argument<VFilePath>::Append(path, Text((fFolder + "/sub/../sub").c_str())));
    EXPECT_EQ(PosixOf(path), fFolder + "/sub/");
    EXPECT_TRUE(path.IsFolder());
    EXPECT_TRUE(Argument<VFilePath>::Append(path, Text((fFolder + "/link").c_str())));
    EXPECT_EQ(PosixOf(path), fFolder + "/file.txt");

    // Relative to the current folder.
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(fFolder.c_str()), 0);
    EXPECT_TRUE(Argument<VFilePath>::Append(path, Text("file.txt")));
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(PosixOf(path), fFolder + "/file.txt");

    EXPECT_TRUE(Argument<VFilePath>::Append(path, Text("/no/such/thing")));
    EXPECT_EQ(PosixOf(path), "/no/such/thing");
    EXPECT_TRUE(Argument<VFilePath>::Append(path, Text("")));
    EXPECT_TRUE(path.IsEmpty());

    // A zero unit would name a shorter path: the text is kept as it is, unresolved.
    VString withZero = Text((fFolder + "/file.txt").c_str());
    withZero.AppendUniChar(0).AppendCString("tail");
    EXPECT_TRUE(Argument<VFilePath>::Append(path, withZero));
    EXPECT_NE(PosixOf(path), fFolder + "/file.txt");
}

TEST_F(CommandLineArgumentFiles, FilesAndFoldersMustExistAndBeOfTheirKind)
{
    VRefPtr<VFile> file;
    EXPECT_TRUE(Argument<VRefPtr<VFile>>::Append(file, Text((fFolder + "/link").c_str())));
    ASSERT_NE(file.Get(), nullptr);
    EXPECT_EQ(PosixOf(file->GetPath()), fFolder + "/file.txt");
    for (const std::string& wrong : {fFolder + "/sub", fFolder + "/missing", std::string()})
    {
        file = VRefPtr<VFile>(new VFile(VFilePath(Text("/tmp/x"), FPS_POSIX)));
        EXPECT_FALSE(Argument<VRefPtr<VFile>>::Append(file, Text(wrong.c_str()))) << wrong;
        EXPECT_EQ(file.Get(), nullptr);
    }

    VRefPtr<VFolder> folder;
    EXPECT_TRUE(Argument<VRefPtr<VFolder>>::Append(folder, Text((fFolder + "/sub").c_str())));
    ASSERT_NE(folder.Get(), nullptr);
    EXPECT_EQ(PosixOf(folder->GetPath()), fFolder + "/sub/");
    for (const std::string& wrong : {fFolder + "/file.txt", fFolder + "/missing"})
    {
        folder = VRefPtr<VFolder>(new VFolder(VFilePath(Text("/tmp/"), FPS_POSIX)));
        EXPECT_FALSE(Argument<VRefPtr<VFolder>>::Append(folder, Text(wrong.c_str()))) << wrong;
        EXPECT_EQ(folder.Get(), nullptr);
    }
}

std::string JSONText(const VJSONValue& inValue)
{
    VString text;
    inValue.Stringify(text, 1);
    return to_string(text);
}

TEST(CommandLineArgument, JSONValuesByTheVariablesType)
{
    VJSONValue text(Text("before"));
    EXPECT_TRUE(Argument<VJSONValue>::Append(text, Text("{not json")));
    EXPECT_EQ(JSONText(text), "\"{not json\"");

    VJSONValue object(JSON_object);
    EXPECT_TRUE(Argument<VJSONValue>::Append(object, Text("{\"a\":[1,2]}")));
    EXPECT_EQ(JSONText(object), "{\"a\":[1,2]}");
    {
        // A text that does not parse is rejected, leaves the value and no error behind.
        StErrorContextInstaller errors;
        EXPECT_FALSE(Argument<VJSONValue>::Append(object, Text("{\"a\":")));
        EXPECT_EQ(errors.GetLastError(), VE_OK);
    }
    EXPECT_EQ(JSONText(object), "{\"a\":[1,2]}");

    VJSONValue undefined;
    EXPECT_TRUE(Argument<VJSONValue>::Append(undefined, Text("42")));
    EXPECT_EQ(JSONText(undefined), "42");

    VJSONValue flag;
    flag.SetBool(false);
    for (const char* yes : {"1", "true", "On"})
    {
        flag.SetBool(false);
        EXPECT_TRUE(Argument<VJSONValue>::Append(flag, Text(yes)));
        EXPECT_TRUE(flag.IsTrue()) << yes;
    }
    for (const char* no : {"0", "false", "OFF"})
    {
        flag.SetBool(true);
        EXPECT_TRUE(Argument<VJSONValue>::Append(flag, Text(no)));
        EXPECT_FALSE(flag.IsTrue()) << no;
    }
    EXPECT_FALSE(Argument<VJSONValue>::Append(flag, Text("maybe")));

    VJSONValue number(3.0);
    EXPECT_FALSE(Argument<VJSONValue>::Append(number, Text("4")));
    EXPECT_EQ(JSONText(number), "3");
    VJSONValue null(JSON_null);
    EXPECT_FALSE(Argument<VJSONValue>::Append(null, Text("4")));
}

// The lines of rejected values, through options of a parser.
TEST(CommandLineArgument, RejectedValuesPrintTheirLine)
{
    const std::string hundred(100, 'z');
    struct
    {
        std::vector<VString> fArguments;
        std::string fLine;
    } const cases[] = {
        {Arguments({"prog", "--switch=yes"}),
         "invalid value for argument '--switch' got \"yes\" expected 0, 1, true or false\n"},
        // A cut value keeps the blank before the reason.
        {Arguments({"prog", "--pid", hundred.c_str()}), "invalid value for argument '--pid' got \"" +
                                                            std::string(80, 'z') +
                                                            "...\" expected a signed integral\n"},
        {Arguments({"prog", "-c", ""}),
         "invalid value for argument '-c' got empty value expected a signed integral\n"},
        {Arguments({"prog", "-u", "+"}),
         "invalid value for argument '-u, --unsigned' got \"+\" expected an unsigned integral\n"},
        {Arguments({"prog", "stray"}),
         "invalid value for argument '<anonymous>' got \"stray\" expected a signed integral\n"},
    };
    for (const auto& test : cases)
    {
        bool flag = false;
        int pid = 0;
        unsigned int count = 0;
        int sink = 0;
        VCommandLineParser parser(test.fArguments);
        parser.AddOption(0, VString("switch"), VString(), &flag);
        parser.AddOption(0, VString("pid"), VString(), &pid);
        parser.AddOption(u'c', VString(), VString(), &pid);
        parser.AddOption(u'u', VString("unsigned"), VString(), &count);
        parser.SetPositionalSink(&sink);
        StCaptureOutput captured;
        const int32_t result = parser.Parse();
        captured.Stop();
        EXPECT_EQ(result, 1);
        EXPECT_EQ(captured.Error(), test.fLine);
        EXPECT_EQ(pid, 0);
        EXPECT_EQ(count, 0u);
    }
}

} // namespace
} // namespace kova
