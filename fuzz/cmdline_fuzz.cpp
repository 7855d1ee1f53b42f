// The command-line parser over an argument vector made of the input's bytes (arguments separated by
// zero bytes, read as UTF-8 as the process reads its own): whatever the arguments, Parse answers
// 0, 1 or 2; 1 always comes with one line or more on standard error, 2 with the help page on
// standard output, 0 with nothing on standard error; and the same vector parses the same way again.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/json/VJSONValue.h"

#include <sanitizer/common_interface_defs.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace kova;

namespace
{

// Standard output and standard error go to memory files during a parse; the sanitizers keep the
// process's own standard error.
class StCapture
{
public:
    StCapture()
    {
        fflush(stdout);
        fflush(stderr);
        for (int stream : {1, 2})
        {
            // Emptied, and written again from its start.
            if (ftruncate(sFiles[stream - 1], 0) != 0 || lseek(sFiles[stream - 1], 0, SEEK_SET) != 0)
                fuzz::Fail("the capture files can be emptied");
            fSaved[stream - 1] = dup(stream);
            dup2(sFiles[stream - 1], stream);
        }
    }
    ~StCapture()
    {
        fflush(stdout);
        fflush(stderr);
        for (int stream : {1, 2})
        {
            dup2(fSaved[stream - 1], stream);
            close(fSaved[stream - 1]);
        }
    }

    static std::string Caught(int inStream)
    {
        std::string text;
        char block[4096];
        ssize_t count;
        off_t offset = 0;
        while ((count = pread(sFiles[inStream - 1], block, sizeof block, offset)) > 0)
        {
            text.append(block, size_t(count));
            offset += count;
        }
        return text;
    }

    static int sFiles[2];

private:
    int fSaved[2];
};

int StCapture::sFiles[2] = {memfd_create("out", MFD_CLOEXEC), memfd_create("err", MFD_CLOEXEC)};

struct Options
{
    int fNumber = 0;
    unsigned long long fBig = 0;
    bool fFlag = false;
    VString fText;
    std::vector<VString> fList;
    std::vector<VString> fFiles;
    VFilePath fPath;
    VJSONValue fJSON;

    void Declare(VCommandLineParser& ioParser)
    {
        ioParser.AddParagraph(VString("Options:"));
        ioParser.AddOption(u'p', VString("pid"), VString("A number"), &fNumber);
        ioParser.AddOption(u'b', VString("big"), VString("A large number"), &fBig);
        ioParser.AddFlag(u's', VString("silent"), VString("A flag"), &fFlag);
        ioParser.AddOption(0, VString("text"), VString("A text"), &fText);
        ioParser.AddOption(u'l', VString(), VString("A list"), &fList);
        ioParser.AddOption(0, VString("path"), VString("A path"), &fPath);
        ioParser.AddOption(u'j', VString("json"), VString("JSON"), &fJSON);
        ioParser.AddFlag(u'h', VString("hidden"), VString("Hidden"), &fFlag)->SetHidden(true);
        ioParser.SetPositionalSink(&fFiles);
    }
};

int32_t ParseOnce(const std::vector<VString>& inArguments, std::string& outOutput, std::string& outError)
{
    Options options;
    VCommandLineParser parser(inArguments);
    options.Declare(parser);
    int32_t result;
    {
        StCapture capture;
        result = parser.Parse();
    }
    outOutput = StCapture::Caught(1);
    outError = StCapture::Caught(2);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    static const bool sReportsKept = []
    {
        __sanitizer_set_report_fd(reinterpret_cast<void*>(intptr_t(dup(2))));
        return true;
    }();
    (void)sReportsKept;

    StErrorContextInstaller errors(false);
    std::vector<VString> arguments{VString("prog")};
    size_t start = 0;
    for (size_t at = 0; at <= inSize; ++at)
    {
        if (at == inSize || inData[at] == 0)
        {
            arguments.emplace_back(inData + start, at - start, VTC_UTF_8);
            start = at + 1;
        }
    }

    std::string output;
    std::string error;
    const int32_t result = ParseOnce(arguments, output, error);
    fuzz::Check(result >= 0 && result <= 2, "Parse answers 0, 1 or 2");
    if (result == 1)
        fuzz::Check(!error.empty() && error.back() == '\n', "a wrong command line prints its line");
    else
        fuzz::Check(error.empty(), "a right command line prints no error");
    if (result == 2)
        fuzz::Check(output.rfind("Usage: prog [OPTION]... [FILE]...\n", 0) == 0, "the help page is printed");
    else
        fuzz::Check(output.empty(), "only the help page goes to standard output");

    std::string outputAgain;
    std::string errorAgain;
    fuzz::Check(ParseOnce(arguments, outputAgain, errorAgain) == result && outputAgain == output &&
                    errorAgain == error,
                "the same arguments parse the same way");
    return 0;
}
