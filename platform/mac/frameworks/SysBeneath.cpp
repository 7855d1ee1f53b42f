#include "platform/mac/frameworks/SysBeneath.h"

#include "platform/mac/frameworks/SysFile.h"

#include <atomic>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace kova::sys
{

namespace
{

// As the system resolves links: a longer chain is a loop.
constexpr int kMaxLinks = 40;
// openat2 answers EAGAIN when something was renamed anywhere while it went up a "..".
constexpr int kAttempts = 8;
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

std::atomic<bool> sByHand{false};

// The names of a path; empty ones (of "//" or a trailing "/") are left out.
std::vector<std::string> Split(const std::string& inPath)
{
    std::vector<std::string> names;
    for (size_t start = 0; start <= inPath.size();)
    {
        size_t slash = inPath.find('/', start);
        if (slash == std::string::npos)
            slash = inPath.size();
        if (slash > start)
            names.push_back(inPath.substr(start, slash - start));
        start = slash + 1;
    }
    return names;
}

std::string Join(const std::vector<std::string>& inNames)
{
    std::string path;
    for (const std::string& name : inNames)
    {
        if (!path.empty())
            path.push_back('/');
        path.append(name);
    }
    return path;
}

// ---------------------------------------------------------------------------------------------
// openat2

// The folder at inPath beneath the root (the root itself for an empty path), or -1 with errno;
// ENOSYS where the system has no openat2 or refuses it.
int Open2(int inRootFD, const std::string& inPath)
{
    if (sByHand.load(std::memory_order_relaxed))
    {
        errno = ENOSYS;
        return -1;
    }
    struct open_how how = {};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const char* path = inPath.empty() ? "." : inPath.c_str();
    int fd = -1;
    for (int attempt = 0; attempt < kAttempts; ++attempt)
    {
        fd = int(::syscall(SYS_openat2, inRootFD, path, &how, sizeof(how)));
        if (fd >= 0 || errno != EAGAIN)
            break;
    }
    // A filter that refuses the calls it does not know, as container runtimes older than openat2
    // do: the walk of our own answers in its place (no lookup of a folder answers EPERM).
    if (fd < 0 && errno == EPERM)
        errno = ENOSYS;
    return fd;
}

// ResolveBeneath by openat2, without making folders; EXDEV does not tell the link.
int Resolve2(int inRootFD, const std::string& inRelative, BeneathItem& outItem)
{
    std::vector<std::string> names = Split(inRelative);
    for (int links = 0;;)
    {
        if (names.empty())
            return EINVAL;
        const std::string name = names.back();
        if (name == "." || name == "..")
        {
            // A folder, once its way is known to stay beneath the root.
            const StDescriptor folder(Open2(inRootFD, Join(names)));
            return folder.Get() < 0 ? errno : EISDIR;
        }
        names.pop_back();
        StDescriptor folder(Open2(inRootFD, Join(names)));
        if (folder.Get() < 0)
            return errno;
        struct stat status = {};
        const bool missing = ::fstatat(folder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0;
        if (missing && errno != ENOENT)
            return errno;
        if (missing || !S_ISLNK(status.st_mode))
        {
            outItem.fFolderFD = folder.Release();
            outItem.fName = name;
            return 0;
        }
        if (++links > kMaxLinks)
            return ELOOP;
        std::string text;
        if (const int error = ReadLinkAt(folder.Get(), name.c_str(), size_t(status.st_size), text);
            error != 0)
            return error;
        if (text.empty())
            return ENOENT;
        if (text[0] == '/')
            return EXDEV;
        for (std::string& step : Split(text))
            names.push_back(std::move(step));
    }
}

// ---------------------------------------------------------------------------------------------
// The walk of our own

// A step of the walk: a name, and the link (relative to the root) whose text it comes from, empty
// for the path as named.
struct Step
{
    std::string fName;
    std::string fLink;
};

// Walks a path beneath a root, one name at a time, through descriptors opened without following
// links: each link met is read and its text walked in its place. Only the folder reached is held;
// ".." goes up through the system's ".." and must lead to the folder the walk came from.
class Walk
{
public:
    explicit Walk(int inRootFD) : fRootFD(inRootFD) {}
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    int Run(const std::string& inRelative, bool inCreate, BeneathItem& outItem, std::string& outLink);

private:
    struct Folder
    {
        dev_t fDevice = 0;
        ino_t fInode = 0;
        std::string fName;
    };

    int Up(const Step& inStep, std::string& outLink);
    int Into(const std::string& inName);
    // The path of the name in the folder reached, relative to the root.
    std::string Below(const std::string& inName) const;

    int fRootFD;
    StDescriptor fFolder;
    Folder fRoot;
    // The folders below the root down to the one reached.
    std::vector<Folder> fReached;
};

int Walk::Run(const std::string& inRelative, bool inCreate, BeneathItem& outItem, std::string& outLink)
{
    struct stat status = {};
    if (::fstat(fRootFD, &status) != 0)
        return errno;
    fRoot = Folder{status.st_dev, status.st_ino, std::string()};
    fFolder.Reset(::fcntl(fRootFD, F_DUPFD_CLOEXEC, 0));
    if (fFolder.Get() < 0)
        return errno;
    std::deque<Step> steps;
    for (std::string& name : Split(inRelative))
        steps.push_back(Step{std::move(name), std::string()});
    if (steps.empty())
        return EINVAL;
    int links = 0;
    while (!steps.empty())
    {
        const Step step = std::move(steps.front());
        steps.pop_front();
        const bool last = steps.empty();
        const char* name = step.fName.c_str();
        if (step.fName == "." || step.fName == "..")
        {
            if (step.fName == "..")
            {
                if (const int error = Up(step, outLink); error != 0)
                    return error;
            }
            if (last)
                return EISDIR;
            continue;
        }
        struct stat item = {};
        if (::fstatat(fFolder.Get(), name, &item, AT_SYMLINK_NOFOLLOW) != 0)
        {
            if (errno != ENOENT)
                return errno;
            if (!last && !inCreate)
                return ENOENT;
            if (!last && ((::mkdirat(fFolder.Get(), name, 0755) != 0 && errno != EEXIST) ||
                          ::fstatat(fFolder.Get(), name, &item, AT_SYMLINK_NOFOLLOW) != 0))
                return errno;
        }
        else if (S_ISLNK(item.st_mode))
        {
            if (++links > kMaxLinks)
                return ELOOP;
            std::string text;
            if (const int error = ReadLinkAt(fFolder.Get(), name, size_t(item.st_size), text); error != 0)
                return error;
            const std::string link = Below(step.fName);
            if (text.empty())
                return ENOENT;
            if (text[0] == '/')
            {
                outLink = link;
                return EXDEV;
            }
            std::vector<std::string> names = Split(text);
            for (auto it = names.rbegin(); it != names.rend(); ++it)
                steps.push_front(Step{std::move(*it), link});
            continue;
        }
        if (last)
        {
            outItem.fFolderFD = fFolder.Release();
            outItem.fName = step.fName;
            return 0;
        }
        if (!S_ISDIR(item.st_mode))
            return ENOTDIR;
        if (const int error = Into(step.fName); error != 0)
            return error;
    }
    return EINVAL;
}

int Walk::Up(const Step& inStep, std::string& outLink)
{
    if (fReached.empty())
    {
        outLink = inStep.fLink;
        return EXDEV;
    }
    StDescriptor parent(::openat(fFolder.Get(), "..", kFolderFlags));
    struct stat status = {};
    if (parent.Get() < 0 || ::fstat(parent.Get(), &status) != 0)
        return errno;
    const Folder& expected = fReached.size() >= 2 ? fReached[fReached.size() - 2] : fRoot;
    // Moved since the walk came down: it does not go where the path says.
    if (status.st_dev != expected.fDevice || status.st_ino != expected.fInode)
        return EAGAIN;
    fFolder.Reset(parent.Release());
    fReached.pop_back();
    return 0;
}

int Walk::Into(const std::string& inName)
{
    // A link put in the folder's place since the look is no folder (ENOTDIR).
    StDescriptor next(::openat(fFolder.Get(), inName.c_str(), kFolderFlags | O_NOFOLLOW));
    struct stat status = {};
    if (next.Get() < 0 || ::fstat(next.Get(), &status) != 0)
        return errno;
    fFolder.Reset(next.Release());
    fReached.push_back(Folder{status.st_dev, status.st_ino, inName});
    return 0;
}

std::string Walk::Below(const std::string& inName) const
{
    std::string path;
    for (const Folder& folder : fReached)
        path.append(folder.fName).push_back('/');
    return path.append(inName);
}

} // namespace

int ResolveBeneath(int inRootFD, const std::string& inRelative, bool inCreate, BeneathItem& outItem,
                   std::string& outLink)
{
    outLink.clear();
    BeneathItem item;
    const int error = Resolve2(inRootFD, inRelative, item);
    if (error != ENOSYS && error != EXDEV && (error != ENOENT || !inCreate))
    {
        if (error == 0)
            outItem = item;
        return error;
    }
    // The walk of our own does the work where openat2 is missing or folders are to be made, and
    // tells the link where the way leaves.
    const bool telling = error == EXDEV;
    Walk walk(inRootFD);
    const int walked = walk.Run(inRelative, inCreate && !telling, item, outLink);
    if (walked == 0 && telling)
        ::close(item.fFolderFD);
    else if (walked == 0)
        outItem = item;
    return telling ? EXDEV : walked;
}

void SetResolveBeneathByHandForTesting(bool inByHand)
{
    sByHand.store(inByHand, std::memory_order_relaxed);
}

} // namespace kova::sys
