#include "platform/mac/files/XMacFolder.h"

#include "kernel/files/FileText.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/NSURL.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

namespace kova
{

namespace
{

// mkdir -p, each missing folder with inMode; 0 or errno.
int CreateFolders(const std::string& inPath, mode_t inMode)
{
    struct stat status = {};
    if (stat(inPath.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    for (size_t slash = inPath.find('/', 1); slash != std::string::npos; slash = inPath.find('/', slash + 1))
    {
        const std::string prefix = inPath.substr(0, slash);
        if (mkdir(prefix.c_str(), inMode) != 0 && errno != EEXIST)
            return errno;
    }
    if (inPath.back() != '/' && mkdir(inPath.c_str(), inMode) != 0 && errno != EEXIST)
        return errno;
    return stat(inPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

} // namespace

XMacFolder::XMacFolder() = default;

XMacFolder::XMacFolder(const char* inPosixPath)
{
    if (inPosixPath != nullptr)
        fPosixPath = XMacFile::CopyPosixPath(inPosixPath, false);
}

XMacFolder::XMacFolder(ns::URL* inURL)
{
    fPosixPath = XMacFile::AdoptURL(inURL, fURL, true);
}

XMacFolder::~XMacFolder()
{
    XMacFile::ReleasePathAndURL(fPosixPath, fURL);
}

void XMacFolder::Init(VFolder* inOwner)
{
    fOwner = inOwner;
    if (fPosixPath == nullptr && inOwner != nullptr)
        fPosixPath = XMacFile::AllocatePosixPathFromFilePath(inOwner->GetPath());
}

VError XMacFolder::Create() const
{
    return mkdir(GetPosixPathCString(), 0755) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

bool XMacFolder::Exists(bool inFollowLinks) const
{
    struct stat status = {};
    const int result =
        inFollowLinks ? stat(GetPosixPathCString(), &status) : lstat(GetPosixPathCString(), &status);
    return result == 0 && S_ISDIR(status.st_mode);
}

VError XMacFolder::MakeWritableByAll() const
{
    return chmod(GetPosixPathCString(), 0777) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFolder::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return XMacFile::GetTimeAttributes(GetPosixPathCString(), true, outModified, outCreated, outAccessed);
}

VError XMacFolder::GetPosixPath(VString& outPath) const
{
    XMacFile::TextFromPosixPath(GetPosixPathCString(), outPath);
    return VE_OK;
}

VError XMacFolder::RetainSystemFolder(int32_t inKind, bool inCreate, VFolder** outFolder)
{
    if (outFolder == nullptr)
        return VE_OK;
    std::string folder;
    switch (inKind)
    {
    case eSystemFolderTemporary:
        folder = ns::TemporaryDirectory();
        break;
    default:
        return VE_OK;
    }
    // The temporary folder is the user's own when $TMPDIR names one that is missing.
    if (inCreate && CreateFolders(folder, 0700) != 0)
        return VE_OK;
    ns::URL* url = ns::URL::FileURLWithPath(folder, true);
    if (url == nullptr)
        return VE_OK;
    *outFolder = new (std::nothrow) VFolder(url);
    url->Release();
    return VE_OK;
}

} // namespace kova
