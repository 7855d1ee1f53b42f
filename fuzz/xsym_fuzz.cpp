// The link files that a copy without symbolic links leaves in a framework: any content of
// "Versions/Current" is repaired or refused without a fault, and a repaired entry links inside the
// framework.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "platform/mac/tasks/XMacLibrary.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace kova;

namespace
{

namespace fs = std::filesystem;

const std::string& Framework()
{
    static const std::string framework = fuzz::NewScratchFolder("kova-xsym-fuzz") + "/Kit.framework";
    return framework;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    std::error_code error;
    fs::remove_all(Framework(), error);
    fs::create_directories(Framework() + "/Versions/A/Resources", error);
    const std::string entry = Framework() + "/Versions/Current";
    // Most inputs are given the link file's first line, so that the fuzzer works on the rest.
    std::string content(reinterpret_cast<const char*>(inData), inSize);
    if (inSize > 0 && (inData[0] & 1) == 0)
        content = "XSym\n" + content.substr(1);
    if (std::FILE* file = std::fopen(entry.c_str(), "we"))
    {
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    VString posix;
    posix.FromBlock(Framework().data(), Framework().size(), VTC_UTF_8);
    posix.AppendCString("/");
    XMacLibrary::RepairFrameworkLinks(VFilePath(posix, FPS_POSIX));

    if (fs::is_symlink(entry, error))
    {
        char resolved[PATH_MAX];
        const std::string frameworkReal = fs::canonical(Framework(), error).string();
        if (realpath(entry.c_str(), resolved) != nullptr)
            fuzz::Check(std::string(resolved).rfind(frameworkReal + "/", 0) == 0 ||
                            std::string(resolved) == frameworkReal,
                        "a repaired link stays inside the framework");
    }
    return 0;
}
