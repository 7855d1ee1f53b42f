// The files of /proc, /sys and /dev that the system information reads: the input, cut at its zero
// bytes, fills them in a fixture tree made the system's root, and every question is asked twice
// (the statistics compare two samples) without a fault.
#include "fuzz/FuzzSetup.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/SysInfo.h"
#include "platform/mac/tasks/XMacSystem.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace kova;

namespace
{

namespace fs = std::filesystem;

// The files the input fills, in its order.
const char* const kFiles[] = {
    "/proc/stat",
    "/proc/uptime",
    "/proc/self/task/1/stat",
    "/proc/self/task/2/stat",
    "/proc/net/dev",
    "/proc/net/if_inet6",
    "/proc/self/mountinfo",
    "/proc/sys/kernel/osrelease",
    "/proc/sys/kernel/ostype",
    "/sys/class/dmi/id/product_name",
    "/sys/class/net/eth0/type",
    "/sys/class/net/eth0/flags",
    "/sys/class/block/sda/size",
    "/sys/class/block/sda/device/model",
    "/proc/stat",
    "/proc/net/dev",
};

const std::string& Root()
{
    static const std::string root = fuzz::NewScratchFolder("kova-sysinfo-fuzz");
    return root;
}

void Write(const std::string& inPath, const std::string& inText)
{
    const fs::path path = Root() + inPath;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (std::FILE* file = std::fopen(path.c_str(), "we"))
    {
        std::fwrite(inText.data(), 1, inText.size(), file);
        std::fclose(file);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < inSize; ++i)
    {
        if (inData[i] == 0)
            parts.emplace_back();
        else
            parts.back().push_back(char(inData[i]));
    }
    std::error_code error;
    fs::remove_all(Root(), error);
    sys::SetSystemRootForTesting(Root().c_str());
    XMacSystem::ResetStatisticsForTesting();
    const size_t fileCount = sizeof kFiles / sizeof kFiles[0];
    // The first samples from the first parts; the last two files change for the second ones.
    for (size_t i = 0; i < fileCount - 2; ++i)
        Write(kFiles[i], i < parts.size() ? parts[i] : std::string());

    for (int pass = 0; pass < 2; ++pass)
    {
        double load = 0;
        if (XMacSystem::GetProcessorsPercentageUse(load))
            fuzz::Check(!std::isnan(load), "a load is a number");
        XMacSystem::GetApplicationProcessorsPercentageUse();
        std::vector<double> rates;
        XMacSystem::GetInOutNetworkStats(rates);
        VRefPtr<VJSONArray> adapters(new VJSONArray);
        XMacSystem::GetNetworkAdaptersInformations(*adapters);
        VRefPtr<VJSONArray> volumes(new VJSONArray);
        XMacSystem::GetDiskPartitionsInfos(*volumes);
        VString text;
        XMacSystem::GetFullOSName(text);
        VString build;
        if (XMacSystem::GetSystemBuildNumber(build) == VE_OK)
            fuzz::Check(build.GetLength() <= 15, "a build number of 15 characters at most");
        VString model;
        if (XMacSystem::GetComputerManufacturer(model) == VE_OK)
            fuzz::Check(model.GetLength() <= 24, "a model of 24 characters at most");
        for (size_t i = fileCount - 2; i < fileCount; ++i)
            Write(kFiles[i], i < parts.size() ? parts[i] : std::string());
    }
    sys::SetSystemRootForTesting(nullptr);
    return 0;
}
