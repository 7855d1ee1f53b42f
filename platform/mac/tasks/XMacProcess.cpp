#include "platform/mac/tasks/XMacProcess.h"

#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/CFBundle.h"

#include <string>
#include <unistd.h>

namespace kova
{

namespace
{

void ReadInfoString(const cf::Bundle& inBundle, const char* inKey, VString& outText)
{
    outText.Clear();
    const cf::PropertyList* value = inBundle.GetValueForInfoDictionaryKey(inKey);
    if (value != nullptr && value->IsString())
        outText.FromBlock(value->GetString().data(), value->GetString().size(), VTC_UTF_8);
}

} // namespace

void XMacProcess::ReadProductInfo(VString& outName, VString& outVersion)
{
    std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    ReadInfoString(*bundle, "CFBundleName", outName);
    ReadInfoString(*bundle, "CFBundleShortVersionString", outVersion);
}

void XMacProcess::GetExecutableFilePath(VFilePath& outPath)
{
    const std::string path = cf::BundleCopyExecutablePath(*cf::GetMainBundle());
    if (path.empty())
        outPath.Clear();
    else
        XMacFile::GetFilePathFromPosixPath(path.c_str(), false, outPath);
}

int32_t XMacProcess::GetSystemID()
{
    return int32_t(getpid());
}

} // namespace kova
