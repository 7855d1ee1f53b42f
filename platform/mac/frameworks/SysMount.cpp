#include "platform/mac/frameworks/SysMount.h"

#include "platform/mac/frameworks/SysInfo.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <sys/statvfs.h>

namespace kova::sys
{

namespace
{

std::mutex sTablePathMutex;
std::string sTablePath = "/proc/self/mountinfo";

std::string TablePath()
{
    std::lock_guard<std::mutex> lock(sTablePathMutex);
    return sTablePath;
}

// Fields of the table escape blanks, tabs, line ends and backslashes as "\ooo".
std::string Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i)
    {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7')
        {
            out.push_back(
                char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        }
        else
        {
            out.push_back(field[i]);
        }
    }
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One line: id, parent id, device, root, mount point, options, optional fields, "-", type,
// source, super-block options. False for a line that does not have that shape.
bool ParseLine(std::string_view line, MountEntry& out)
{
    std::vector<std::string_view> words;
    for (size_t i = 0; i < line.size();)
    {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    if (words.size() < 9)
        return false;
    size_t dash = 6;
    while (dash < words.size() && words[dash] != "-")
        ++dash;
    if (dash + 1 >= words.size())
        return false;
    out.fMountPoint = Unescape(words[4]);
    if (out.fMountPoint.empty() || out.fMountPoint[0] != '/')
        return false;
    while (out.fMountPoint.size() > 1 && out.fMountPoint.back() == '/')
        out.fMountPoint.pop_back();
    out.fType = Unescape(words[dash + 1]);
    out.fSource = dash + 2 < words.size() ? Unescape(words[dash + 2]) : std::string();
    return true;
}

// Whether path lies at or under the mount point, component by component.
bool IsUnder(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

} // namespace

std::vector<MountEntry> ReadMountTableFile(const std::string& path)
{
    // Read through the C library: the table is read at start-up, where a C++ stream would fault
    // in the C++ library's locale and stream code for one small file.
    std::vector<MountEntry> entries;
    FILE* table = std::fopen(path.c_str(), "re");
    if (table == nullptr)
        return entries;
    char* line = nullptr;
    size_t capacity = 0;
    for (ssize_t length; (length = getline(&line, &capacity, table)) >= 0;)
    {
        MountEntry entry;
        if (ParseLine(std::string_view(line, size_t(length)), entry))
            entries.push_back(std::move(entry));
    }
    std::free(line);
    std::fclose(table);
    return entries;
}

std::vector<MountEntry> ReadMountTable()
{
    std::vector<MountEntry> entries = ReadMountTableFile(TablePath());
    if (entries.empty())
        entries.push_back(MountEntry{"/", std::string(), std::string()});
    return entries;
}

std::string VolumeNameOfMountPoint(const std::string& mountPoint)
{
    std::string path = mountPoint;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return path;
    if (path == "/")
        return kRootVolumeName;
    return path.substr(path.rfind('/') + 1);
}

int GetRealPath(const char* path, std::string& out)
{
    if (path == nullptr || *path == 0)
    {
        errno = ENOENT;
        return -1;
    }
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr)
        return -1;
    out.assign(resolved);
    std::free(resolved);
    return 0;
}

int statfs(const char* path, StatFS& out)
{
    std::string real;
    if (GetRealPath(path, real) != 0)
        return -1;
    const MountEntry* best = nullptr;
    const std::vector<MountEntry> table = ReadMountTable();
    // The longest mount point wins; of mounts stacked on one point, the last one is seen.
    for (const MountEntry& entry : table)
    {
        if (IsUnder(real, entry.fMountPoint) &&
            (best == nullptr || entry.fMountPoint.size() >= best->fMountPoint.size()))
            best = &entry;
    }
    if (best == nullptr)
    {
        out.f_mntonname = "/";
        out.f_fstypename.clear();
        return 0;
    }
    out.f_mntonname = best->fMountPoint;
    out.f_fstypename = best->fType;
    return 0;
}

std::vector<FileSystemStatus> getfsstat()
{
    std::vector<FileSystemStatus> statuses;
    for (MountEntry& entry : ReadMountTableFile(SystemPath("/proc/self/mountinfo")))
    {
        FileSystemStatus status;
        struct statvfs figures = {};
        if (::statvfs(entry.fMountPoint.c_str(), &figures) == 0)
        {
            status.fBlocks = figures.f_blocks;
            status.fBlockSize = figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize;
            status.fAvailableBlocks = figures.f_bavail;
        }
        status.fEntry = std::move(entry);
        statuses.push_back(std::move(status));
    }
    return statuses;
}

void SetMountTablePathForTesting(const char* path)
{
    std::lock_guard<std::mutex> lock(sTablePathMutex);
    sTablePath = path != nullptr ? path : "/proc/self/mountinfo";
}

} // namespace kova::sys
