// XMacProcess is the platform half of the process object: what the main bundle says of the
// product (its name, its version, its executable) and the process's own id.
#pragma once

#include <cstdint>

namespace kova
{

class VFilePath;
class VString;

class XMacProcess
{
public:
    XMacProcess() = delete;

    // The bundle name (CFBundleName) and "CFBundleShortVersionString" of the main bundle's
    // information dictionary; empty when absent or not text.
    static void ReadProductInfo(VString& outName, VString& outVersion);
    // The main bundle's executable file; an empty path when it cannot be told.
    static void GetExecutableFilePath(VFilePath& outPath);
    static int32_t GetSystemID();
};

} // namespace kova
