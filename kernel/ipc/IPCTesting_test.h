// Test helpers of the command-line tests: what a scope writes on standard output and standard
// error, caught in files of its own, and arguments made from C strings.
#pragma once

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace kova::testing_ipc
{

// Standard output and standard error go to memory files until the first look at what they
// caught (so that a failure reported after it is shown), or the end of the scope.
class StCaptureOutput
{
public:
    StCaptureOutput()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int stream : {1, 2})
        {
            fSaved[stream - 1] = dup(stream);
            fFiles[stream - 1] = memfd_create("captured", MFD_CLOEXEC);
            dup2(fFiles[stream - 1], stream);
        }
    }
    ~StCaptureOutput() { _Stop(); }
    StCaptureOutput(const StCaptureOutput&) = delete;
    StCaptureOutput& operator=(const StCaptureOutput&) = delete;

    // Ends the capture.
    void Stop() { _Stop(); }
    const std::string& Output()
    {
        _Stop();
        return fTexts[0];
    }
    const std::string& Error()
    {
        _Stop();
        return fTexts[1];
    }

private:
    void _Stop()
    {
        if (fStopped)
            return;
        fStopped = true;
        std::fflush(stdout);
        std::fflush(stderr);
        for (int stream : {1, 2})
        {
            dup2(fSaved[stream - 1], stream);
            close(fSaved[stream - 1]);
            char block[4096];
            ssize_t count;
            off_t offset = 0;
            while ((count = pread(fFiles[stream - 1], block, sizeof block, offset)) > 0)
            {
                fTexts[stream - 1].append(block, size_t(count));
                offset += count;
            }
            close(fFiles[stream - 1]);
        }
    }

    int fSaved[2];
    int fFiles[2];
    bool fStopped = false;
    std::string fTexts[2];
};

inline std::vector<VString> Arguments(std::initializer_list<const char*> inTexts)
{
    std::vector<VString> arguments;
    for (const char* text : inTexts)
    {
        VString argument;
        argument.FromCString(text);
        arguments.push_back(argument);
    }
    return arguments;
}

} // namespace kova::testing_ipc
