#include "platform/mac/files/XMacFile.h"

#include "kernel/files/FileText.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacVolumes.h"
#include "platform/mac/frameworks/DiskArbitration.h"
#include "platform/mac/frameworks/NSURL.h"
#include "platform/mac/frameworks/SysMount.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kova
{

namespace
{

constexpr uint32_t kPosixPathTag = FourCharCode("path");
constexpr size_t kVolumeNameSize = 1024;

// From macOS 10.15 on, the data volume of the boot disk is mounted apart from "/". The version
// does not change while the process runs: it is tested once.
bool DataVolumeIsMountedApart()
{
    static const bool sApart = VSystem::IsSystemVersionOrAbove(SystemVersion_MacOSX_10_15);
    return sApart;
}

bool EndsWithSlash(const std::string& inPath)
{
    return !inPath.empty() && inPath.back() == '/';
}

// The rest of a path after its mount point, in the colon syntax: each "/" opens a component
// (a run of them counts as one, as for the system), ":" in names becomes "/", "." steps are
// dropped and ".." steps are written as parent steps. A ".." at the top of the volume stays
// there, as the system keeps it at its root.
void TranslateRest(const std::string& inRest, std::string& ioColonPath)
{
    const size_t length = inRest.size();
    int64_t depth = 0;
    size_t i = 0;
    while (i < length)
    {
        if (inRest[i] != '/')
        {
            if (i == 0)
                ++depth; // the rest begins inside its first component
            ioColonPath.push_back(inRest[i] == ':' ? '/' : inRest[i]);
            ++i;
            continue;
        }
        size_t start = i;
        while (start < length && inRest[start] == '/')
            ++start;
        size_t end = start;
        while (end < length && inRest[end] != '/')
            ++end;
        const std::string_view component(inRest.data() + start, end - start);
        if (component == ".")
        {
            i = end;
        }
        else if (component == "..")
        {
            i = end;
            if (depth > 0)
            {
                ioColonPath.append("::");
                --depth;
                // The "/" that follows goes with the step.
                while (i < length && inRest[i] == '/')
                    ++i;
            }
        }
        else
        {
            ioColonPath.push_back(':');
            if (!component.empty())
                ++depth;
            i = start;
        }
    }
}

// Steps 1 to 5 of the conversion: the volume that holds the path, found directly.
bool ConvertWithVolume(const std::string& inPath, bool inMeasureWhole, std::string& outColonPath)
{
    std::string measured = inPath;
    if (!inMeasureWhole)
    {
        const size_t slash = measured.rfind('/');
        measured.erase(slash == std::string::npos ? 0 : slash + 1);
    }
    sys::StatFS status;
    if (sys::statfs(measured.c_str(), status) != 0)
        return false;
    std::string mountPoint = status.f_mntonname;
    if (!inMeasureWhole && mountPoint == "/System/Volumes/Data" && DataVolumeIsMountedApart())
        mountPoint = "/";

    auto beginsWithMountPoint = [&mountPoint](const std::string& inCandidate)
    { return inCandidate.compare(0, mountPoint.size(), mountPoint) == 0; };
    std::string used;
    if (!inMeasureWhole && beginsWithMountPoint(inPath))
    {
        used = inPath;
    }
    else
    {
        if (sys::GetRealPath(inPath.c_str(), used) != 0)
            return false;
        if (EndsWithSlash(inPath) && !EndsWithSlash(used))
            used.push_back('/');
        if (!beginsWithMountPoint(used))
            return false;
    }

    char name[kVolumeNameSize];
    if (!XMacVolumes::fInstance.GetVolumeNameFromMountPath(mountPoint.c_str(), name, sizeof(name)))
        return false;
    // The root's own "/" opens the rest, so that its first component is read like the others.
    const std::string rest = mountPoint == "/" ? used : used.substr(mountPoint.size());
    outColonPath.assign(name);
    if ((!rest.empty() && rest[0] != '/') || (rest.empty() && EndsWithSlash(inPath)))
        outColonPath.push_back(':');
    TranslateRest(rest, outColonPath);
    return true;
}

// Step 6 for one name: what it adds to the colon path of its parent.
void AppendName(const std::string& inName, bool inParentIsRoot, std::string& ioColonPath)
{
    const bool endsWithColon = !ioColonPath.empty() && ioColonPath.back() == ':';
    if (inName.empty() || inName == ".")
        return;
    if (inName == "..")
    {
        if (!endsWithColon)
            ioColonPath.push_back(':');
        ioColonPath.push_back(':');
        return;
    }
    if (!inParentIsRoot && !endsWithColon)
        ioColonPath.push_back(':');
    for (char c : inName)
        ioColonPath.push_back(c == ':' ? '/' : c);
}

} // namespace

char* XMacFile::AllocatePosixPathFromString(const VString& inPath)
{
    VCppMemMgr* manager = VObject::sCppMemMgr;
    if (manager == nullptr)
        return nullptr;
    VStr255 path(inPath);
    // A copy that could not be made is shorter than its source.
    bool convertible = path.GetLength() == inPath.GetLength();
    DecomposeText(path);
    const UniChar* units = path.GetCPointer();
    for (int32_t i = 0; convertible && i < path.GetLength(); ++i)
        convertible = units[i] != 0;
    if (convertible)
    {
        const VFromUnicodeConverter_UTF8 converter;
        void* block = nullptr;
        size_t size = 0;
        int32_t consumed = 0;
        if (converter.ConvertRealloc(units, path.GetLength(), block, size, 1, &consumed) &&
            consumed == path.GetLength() && block != nullptr)
        {
            static_cast<char*>(block)[size] = 0;
            return static_cast<char*>(block);
        }
        manager->Free(block);
    }
    return static_cast<char*>(manager->Calloc(1, 1, kPosixPathTag));
}

char* XMacFile::AllocatePosixPathFromFilePath(const VFilePath& inPath)
{
    VString posixPath;
    inPath.GetPosixPath(posixPath);
    return AllocatePosixPathFromString(posixPath);
}

ns::URL* XMacFile::CreateNSURLFromFilePath(const VFilePath& inPath)
{
    VString posixPath;
    inPath.GetPosixPath(posixPath);
    DecomposeText(posixPath);
    std::string bytes;
    if (posixPath.IsEmpty() || !TextToUTF8(posixPath, bytes) ||
        std::memchr(bytes.data(), 0, bytes.size()) != nullptr)
        return nullptr;
    return ns::URL::FileURLWithPath(bytes, inPath.IsFolder());
}

void XMacFile::GetFilePathFromPosixPath(const char* inPath, bool inIsFolder, VFilePath& outPath)
{
    if (inPath == nullptr)
    {
        outPath.Clear();
        return;
    }
    VString text;
    TextFromUTF8(inPath, std::strlen(inPath), text);
    ComposeText(text);
    if (inIsFolder && (text.IsEmpty() || text.GetCPointer()[text.GetLength() - 1] != u'/'))
        text.AppendUniChar(u'/');
    outPath.FromFullPath(text, FPS_POSIX);
}

void XMacFile::GetFilePathFromNSURL(const ns::URL* inURL, VFilePath& outPath)
{
    const char* representation = inURL != nullptr ? inURL->FileSystemRepresentation() : nullptr;
    if (representation == nullptr || *representation == 0)
    {
        outPath.Clear();
        return;
    }
    GetFilePathFromPosixPath(representation, inURL->HasDirectoryPath(), outPath);
}

void XMacFile::GetNameFromPosixName(const std::string& inName, VString& outName)
{
    // ASCII alone without ":" (nearly every name) is its own colon form.
    const bool plain =
        std::none_of(inName.begin(), inName.end(),
                     [](char inByte) { return static_cast<unsigned char>(inByte) >= 0x80 || inByte == ':'; });
    if (plain)
    {
        outName.Clear();
        outName.AppendCString(inName.c_str());
        return;
    }
    TextFromUTF8(inName.data(), inName.size(), outName);
    ComposeText(outName);
    outName.Exchange(u':', u'/');
}

bool XMacFile::ResolveRealPath(const VFilePath& inPath, VFilePath& outPath)
{
    outPath.Clear();
    char* posix = AllocatePosixPathFromFilePath(inPath);
    if (posix == nullptr)
        return false;
    std::string path(posix);
    VObject::sCppMemMgr->Free(posix);
    if (path.empty() || path[0] != '/')
        return false;
    const bool isFolder = inPath.IsFolder();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // Up to the deepest item that exists; what lies below it is kept as it is.
    std::string rest;
    std::string real;
    while (sys::GetRealPath(path.c_str(), real) != 0)
    {
        const size_t slash = path.rfind('/');
        const std::string name = path.substr(slash + 1);
        if (name == "." || name == "..")
            return false;
        rest.insert(0, "/" + name);
        if (slash == 0)
        {
            path = "/";
            if (sys::GetRealPath(path.c_str(), real) != 0)
                return false;
            break;
        }
        path.erase(slash);
    }
    if (real == "/" && !rest.empty())
        real.clear();
    real += rest;
    if (isFolder && (real.empty() || real.back() != '/'))
        real.push_back('/');
    GetFilePathFromPosixPath(real.c_str(), isFolder, outPath);
    return outPath.IsValid();
}

bool XMacFile::PosixNameBeginsWithDot(const char* inPath)
{
    if (inPath == nullptr)
        return false;
    size_t length = std::strlen(inPath);
    if (length < 2)
        return false;
    if (inPath[length - 1] == '/')
        --length;
    size_t start = length;
    while (start > 0 && inPath[start - 1] != '/')
        --start;
    return start < length && inPath[start] == '.';
}

bool XMacFile::GetVolumeNameFromMountPath(const char* inMountPath, char* outName, size_t inSize)
{
    if (outName == nullptr || inSize < 2)
        return false;
    std::string name;
    if (!da::CopyVolumeNameOfMountPath(inMountPath, name) || name.size() + 1 > inSize - 1)
        return false;
    std::memcpy(outName, name.c_str(), name.size() + 1);
    return true;
}

bool XMacFile::PosixFullPathToHFS(const char* inPath, bool inMeasureWhole, VString& outPath)
{
    if (inPath == nullptr)
        return false;
    const std::string path(inPath);
    std::string colonPath;
    bool converted = ConvertWithVolume(path, inMeasureWhole, colonPath);
    if (!converted)
    {
        // Up the parents until one is found on a volume, then its names back down. A loop, not a
        // recursion: a path from outside may hold any number of components.
        struct Level
        {
            std::string fName;
            bool fParentIsRoot;
            bool fEndsWithSlash;
        };
        std::vector<Level> levels;
        std::string current = path;
        while (!converted)
        {
            size_t cut = current.size() > 1 && EndsWithSlash(current) ? current.rfind('/', current.size() - 2)
                                                                      : current.rfind('/');
            if (cut == std::string::npos)
                return false;
            std::string name = current.substr(cut + 1);
            if (EndsWithSlash(name))
                name.pop_back();
            std::string parent = cut == 0 ? std::string("/") : current.substr(0, cut);
            levels.push_back(Level{std::move(name), cut == 0, EndsWithSlash(current)});
            // The root itself has no parent to climb to.
            if (current == "/" && levels.size() > 1)
                return false;
            converted = ConvertWithVolume(parent, true, colonPath);
            current = std::move(parent);
        }
        for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        {
            AppendName(level->fName, level->fParentIsRoot, colonPath);
            if (level->fEndsWithSlash && (colonPath.empty() || colonPath.back() != ':'))
                colonPath.push_back(':');
        }
    }
    TextFromUTF8(colonPath.data(), colonPath.size(), outPath);
    ComposeText(outPath);
    return true;
}

bool XMacFile::HFSFullPathToPosix(const VString& inPath, VString& ioPosixPath)
{
    // Resolved before the volume is looked up: a ".." kept in the POSIX form would lead out of
    // the folder the colon path seems to lie in.
    VString path(inPath);
    if (!VFilePath::_ResolveRelative(path) || path.IsEmpty())
        return false;
    const UniChar* units = path.GetCPointer();
    const int32_t length = path.GetLength();
    int32_t colon = 0;
    while (colon < length && units[colon] != u':')
        ++colon;
    VString volumeName;
    volumeName.FromUniString(units, colon);
    VString mountPath;
    const bool known =
        !volumeName.IsEmpty() && XMacVolumes::fInstance.GetMountPathFromVolumeName(volumeName, mountPath);
    auto appendName = [&ioPosixPath](UniChar inUnit) {
        ioPosixPath.AppendUniChar(inUnit == u':' ? u'/' : inUnit == u'/' ? u':' : inUnit);
    };
    if (known)
    {
        ioPosixPath.AppendString(mountPath);
    }
    else
    {
        // A "/" in the name is a character of it, as in any other name.
        ioPosixPath.AppendUniChar(u'/');
        for (int32_t i = 0; i < colon; ++i)
            appendName(units[i]);
    }
    if (ioPosixPath.IsEmpty() || ioPosixPath.GetCPointer()[ioPosixPath.GetLength() - 1] != u'/')
        ioPosixPath.AppendUniChar(u'/');
    for (int32_t i = colon + 1; i < length; ++i)
        appendName(units[i]);
    return known;
}

} // namespace kova
