#include "platform/mac/tasks/XMacLibrary.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VLibrary.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/CFError.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kova
{

namespace
{

// An "XSym" file is about a kilobyte: anything much larger is no link file.
constexpr size_t kMaxLinkFileSize = 4096;

std::string PosixPathOf(const VFilePath& inPath)
{
    char* path = XMacFile::AllocatePosixPathFromFilePath(inPath);
    std::string text(path != nullptr ? path : "");
    if (path != nullptr)
        VObject::sCppMemMgr->Free(path);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// Raises kova 1010 on the path with the loader's text as "reason", after inNative when not 0.
void ThrowCannotLoad(const VFilePath& inPath, const std::string& inReason, VError inNative = VE_OK)
{
    VFileError* error = new (std::nothrow) VFileError(inPath, VE_LIBRARY_CANNOT_LOAD);
    if (error != nullptr)
    {
        VString reason;
        reason.FromBlock(inReason.data(), inReason.size(), VTC_UTF_8);
        error->GetBag()->SetString("reason", reason);
    }
    _PushRetainedError(error, inNative);
}

std::string DlError()
{
    const char* text = ::dlerror();
    return text != nullptr ? text : "";
}

// Adds the permission bits that are missing; the result of chmod is not looked at (a file of
// another owner keeps its mode, and loading tells whether that matters).
void AddPermissions(const std::string& inPath, mode_t inBits)
{
    struct stat status = {};
    if (::stat(inPath.c_str(), &status) == 0 && (status.st_mode & inBits) != inBits)
        ::chmod(inPath.c_str(), (status.st_mode & 07777) | inBits);
}

// The lines of a text split at line feeds.
std::vector<std::string_view> SplitLines(std::string_view inText)
{
    std::vector<std::string_view> lines;
    while (!inText.empty())
    {
        size_t end = inText.find('\n');
        lines.push_back(inText.substr(0, end));
        inText = end == std::string_view::npos ? std::string_view() : inText.substr(end + 1);
    }
    return lines;
}

// The text of a regular file no larger than kMaxLinkFileSize, read without following a link and
// without waiting; false for anything else.
bool ReadSmallFile(const std::string& inPath, std::string& outText)
{
    int fd = ::open(inPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status = {};
    bool ok =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && size_t(status.st_size) <= kMaxLinkFileSize;
    if (ok)
    {
        outText.resize(size_t(status.st_size));
        size_t done = 0;
        while (ok && done < outText.size())
        {
            ssize_t count = ::read(fd, outText.data() + done, outText.size() - done);
            if (count < 0 && errno == EINTR)
                continue;
            ok = count > 0;
            if (ok)
                done += size_t(count);
        }
    }
    ::close(fd);
    return ok;
}

// Whether the link file's lines make a sound link: the byte length on line 2 is that of the target
// on line 4, and the target, a relative path, stays inside the framework once resolved from the
// entry's folder. outTarget receives the target's path.
bool IsSoundLinkFile(const std::vector<std::string_view>& inLines, const VFilePath& inEntry,
                     const VFilePath& inFramework, VFilePath& outTarget)
{
    if (inLines.size() < 4 || inLines[0] != "XSym")
        return false;
    std::string_view lengthText = inLines[1];
    size_t length = 0;
    auto [end, status] = std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
    std::string_view target = inLines[3];
    if (status != std::errc() || end != lengthText.data() + lengthText.size() || length != target.size() ||
        target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos)
        return false;
    VString text;
    text.FromBlock(target.data(), target.size(), VTC_UTF_8);
    VFilePath folder;
    inEntry.GetFolder(folder);
    outTarget.FromRelativePath(folder, text, FPS_POSIX);
    return outTarget.IsValid() && outTarget.IsChildOf(inFramework);
}

} // namespace

void XMacLibrary::RepairFrameworkLinks(const VFilePath& inFramework)
{
    VString frameworkName;
    inFramework.GetFolderName(frameworkName, false);
    const VString entries[] = {VString("Versions/Current"), VString("Resources"), frameworkName};
    for (const VString& entry : entries)
    {
        if (entry.IsEmpty())
            continue;
        const VFilePath entryPath(inFramework, entry, FPS_POSIX);
        VRefPtr<VFile> file(new (std::nothrow) VFile(entryPath));
        if (file == nullptr || file->MAC_IsSymbolicLink())
            continue;
        std::string content;
        if (!ReadSmallFile(PosixPathOf(entryPath), content) || content.compare(0, 4, "XSym") != 0)
            continue;
        VFilePath target;
        if (!IsSoundLinkFile(SplitLines(content), entryPath, inFramework, target))
        {
            VFileError* error = new (std::nothrow) VFileError(entryPath, VE_LIBRARY_BAD_LINK_FILE);
            _PushRetainedError(error, VE_OK);
            continue;
        }
        file->MAC_CreateSymbolicLink(target, true);
    }
}

bool XMacLibrary::Load(const VFilePath& inPath)
{
    if (!inPath.IsFolder() && !inPath.IsFile())
        return fBundle != nullptr;
    if (inPath.IsFile())
    {
        if (fHandle != nullptr)
            return true;
        const std::string path = PosixPathOf(inPath);
        AddPermissions(path, 0555);
        fHandle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (fHandle == nullptr)
            ThrowCannotLoad(inPath, DlError());
        return fHandle != nullptr;
    }
    if (fBundle != nullptr)
        return true;
    VString extension;
    inPath.GetExtension(extension);
    if (extension.EqualToUSASCIICString("framework"))
        RepairFrameworkLinks(inPath);
    std::shared_ptr<cf::Bundle> bundle = cf::BundleCreate(PosixPathOf(inPath));
    if (bundle == nullptr)
        return false;
    fBundle = bundle;
    if (!_dlopen_RTLD_GLOBAL(inPath))
    {
        Unload();
        return false;
    }
    cf::Error* nativeError = nullptr;
    std::string reason;
    if (!cf::BundleLoadExecutable(*fBundle, &nativeError, &reason))
    {
        ThrowCannotLoad(inPath, reason, VErrorBase::MakeVErrorFromCFErrorAndRelease(nativeError));
        Unload();
        return false;
    }
    return true;
}

bool XMacLibrary::_dlopen_RTLD_GLOBAL(const VFilePath& inPath)
{
    const std::string executable = cf::BundleCopyExecutablePath(*fBundle);
    if (executable.empty())
        return true;
    if (fBundle->GetLayout() == cf::Bundle::Layout::kFramework)
        AddPermissions(executable, 0500);
    fHandle = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (fHandle == nullptr)
        ThrowCannotLoad(inPath, DlError());
    return fHandle != nullptr;
}

void XMacLibrary::Unload()
{
    if (fBundle != nullptr)
        cf::BundleUnloadExecutable(*fBundle);
    fBundle.reset();
    if (fHandle != nullptr)
        ::dlclose(fHandle);
    fHandle = nullptr;
}

void* XMacLibrary::GetProcAddress(const VString& inName) const
{
    // The whole name: a NUL inside would look up a shorter one.
    const std::string name = to_string(inName);
    if (name.empty() || std::memchr(name.data(), 0, name.size()) != nullptr)
        return nullptr;
    if (fBundle != nullptr)
        return cf::BundleGetFunctionPointerForName(*fBundle, name.c_str());
    return fHandle != nullptr ? ::dlsym(fHandle, name.c_str()) : nullptr;
}

VFolder* XMacLibrary::RetainFolder(const VFilePath& inPath, BundleFolderKind inKind) const
{
    if (fBundle == nullptr)
        return nullptr;
    std::string folder;
    switch (inKind)
    {
    case kBUNDLE_FOLDER:
        return new (std::nothrow) VFolder(inPath);
    case kBUNDLE_EXECUTABLE_FOLDER:
    {
        folder = cf::BundleCopyExecutablePath(*fBundle);
        size_t slash = folder.rfind('/');
        if (slash == std::string::npos)
            return nullptr;
        folder.resize(slash);
        break;
    }
    case kBUNDLE_RESOURCES_FOLDER:
        folder = cf::BundleCopyResourcesDirectoryPath(*fBundle);
        break;
    case kBUNDLE_PLUGINS_FOLDER:
        folder = cf::BundleCopyBuiltInPlugInsPath(*fBundle);
        break;
    case kBUNDLE_FRAMEWORKS_FOLDER:
        folder = cf::BundleCopyPrivateFrameworksPath(*fBundle);
        break;
    case kBUNDLE_SUPPORT_FOLDER:
        folder = cf::BundleCopySupportFilesDirectoryPath(*fBundle);
        break;
    default:
        return nullptr;
    }
    if (folder.empty())
        return nullptr;
    VFilePath path;
    XMacFile::GetFilePathFromPosixPath(folder.c_str(), true, path);
    return path.IsValid() ? new (std::nothrow) VFolder(path) : nullptr;
}

VFile* XMacLibrary::RetainExecutableFile(const VFilePath&) const
{
    if (fBundle == nullptr)
        return nullptr;
    const std::string executable = cf::BundleCopyExecutablePath(*fBundle);
    if (executable.empty())
        return nullptr;
    VFilePath path;
    XMacFile::GetFilePathFromPosixPath(executable.c_str(), false, path);
    return path.IsValid() ? new (std::nothrow) VFile(path) : nullptr;
}

} // namespace kova
