#include "platform/mac/frameworks/SysFile.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <new>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kova::sys
{

namespace
{

// Kernel copies are asked for at most this much at a time, so that a huge file never waits on one
// call; read and write copies go through a buffer of kBufferSize.
constexpr size_t kKernelChunk = size_t(1) << 30;
constexpr size_t kBufferSize = size_t(1) << 20;
// Names on the file systems here hold at most 255 bytes; a temporary's adds a dot and at most 70
// to the item's.
constexpr size_t kMaxNameBytes = 255;
constexpr size_t kKeptNameBytes = 180;
constexpr char kTemporaryMark[] = ".kov";

struct Fault
{
    std::atomic<int> fErrno{0};
    std::atomic<int64_t> fRemaining{0};
};

Fault sReadFault;
Fault sWriteFault;
std::atomic<int> sOwnerFault{0};

// Cuts ioCount to what the fault still lets through; false, with errno set, when nothing may.
bool Admit(Fault& ioFault, size_t& ioCount)
{
    const int error = ioFault.fErrno.load(std::memory_order_relaxed);
    if (error == 0)
        return true;
    const int64_t remaining = ioFault.fRemaining.load(std::memory_order_relaxed);
    if (remaining <= 0)
    {
        errno = error;
        return false;
    }
    ioCount = size_t(std::min<int64_t>(int64_t(ioCount), remaining));
    return true;
}

void Consume(Fault& ioFault, ssize_t inTransferred)
{
    if (inTransferred > 0 && ioFault.fErrno.load(std::memory_order_relaxed) != 0)
        ioFault.fRemaining.fetch_sub(inTransferred, std::memory_order_relaxed);
}

bool FaultArmed()
{
    return sReadFault.fErrno.load(std::memory_order_relaxed) != 0 ||
           sWriteFault.fErrno.load(std::memory_order_relaxed) != 0;
}

// Errors after which a kernel copy is given up for reads and writes.
bool KernelCopyRefused(int inErrno)
{
    return inErrno == EXDEV || inErrno == EINVAL || inErrno == ENOSYS || inErrno == EOPNOTSUPP ||
           inErrno == ENOTSUP;
}

int CopyThroughBuffer(int inFD, int outFD, uint64_t inFrom, uint64_t inSize, bool& outReadSide)
{
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
    if (buffer == nullptr)
        return ENOMEM;
    uint64_t done = inFrom;
    while (done < inSize)
    {
        const size_t wanted = size_t(std::min<uint64_t>(kBufferSize, inSize - done));
        const ssize_t got = sys::pread(inFD, buffer.get(), wanted, off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        outReadSide = got <= 0;
        if (got < 0)
            return errno;
        if (got == 0)
            return EIO;
        for (ssize_t put = 0; put < got;)
        {
            const ssize_t written =
                sys::pwrite(outFD, buffer.get() + put, size_t(got - put), off_t(done + put));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return written < 0 ? errno : EIO;
            put += written;
        }
        done += uint64_t(got);
    }
    return 0;
}

int CopyData(int inFD, int outFD, uint64_t inSize, bool& outReadSide)
{
    if (inSize == 0)
        return 0;
    // A clone shares the extents: nothing to copy at all where the file system allows it.
    if (!FaultArmed() && ::ioctl(outFD, FICLONE, inFD) == 0)
        return 0;
    off_t inOffset = 0;
    off_t outOffset = 0;
    uint64_t done = 0;
    while (done < inSize)
    {
        const size_t wanted = size_t(std::min<uint64_t>(kKernelChunk, inSize - done));
        const ssize_t copied = sys::copy_file_range(inFD, &inOffset, outFD, &outOffset, wanted);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && done == 0 && KernelCopyRefused(errno))
            return CopyThroughBuffer(inFD, outFD, 0, inSize, outReadSide);
        if (copied < 0)
            return errno;
        // The source ended before its size.
        outReadSide = copied == 0;
        if (copied == 0)
            return EIO;
        done += uint64_t(copied);
    }
    return 0;
}

bool SameItem(const struct stat& inFirst, const struct stat& inSecond)
{
    return inFirst.st_dev == inSecond.st_dev && inFirst.st_ino == inSecond.st_ino;
}

// ---------------------------------------------------------------------------------------------
// The process that makes a temporary

// Who made a temporary: a pid is only a process together with its start time, of one boot and
// seen in one pid namespace. A pid of 0 is a process that cannot be told.
struct ProcessMark
{
    uint64_t fPid = 0;
    uint64_t fStart = 0;
    uint64_t fBoot = 0;
    uint64_t fNamespace = 0;
};

// The first line of a small file of /proc, or empty.
std::string ReadProcLine(const char* inPath)
{
    std::FILE* file = std::fopen(inPath, "re");
    if (file == nullptr)
        return std::string();
    char line[1024];
    const bool read = std::fgets(line, sizeof(line), file) != nullptr;
    std::fclose(file);
    return read ? std::string(line) : std::string();
}

// The state letter and start time of /proc/PID/stat (after the command name, which may hold
// blanks and parentheses, the state is field 3 and the start time field 22). False when the
// process is gone (outGone) or its line cannot be read.
bool ReadProcessStat(uint64_t inPid, char& outState, uint64_t& outStart, bool& outGone)
{
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%llu/stat", static_cast<unsigned long long>(inPid));
    errno = 0;
    const std::string line = ReadProcLine(path);
    outGone = line.empty() && (errno == ENOENT || errno == ESRCH);
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return false;
    outState = line[close + 2];
    // Fields 3 to 22 after the name: the start time is the twentieth.
    size_t at = close + 2;
    for (int field = 3; field < 22 && at != std::string::npos; ++field)
        at = line.find(' ', at + 1);
    if (at == std::string::npos)
        return false;
    char* end = nullptr;
    outStart = std::strtoull(line.c_str() + at + 1, &end, 10);
    return end != line.c_str() + at + 1;
}

// The first eight hexadecimal digits of the boot's id; 0 when unknown.
uint64_t ReadBootMark()
{
    const std::string id = ReadProcLine("/proc/sys/kernel/random/boot_id");
    return id.size() >= 8 ? std::strtoull(id.substr(0, 8).c_str(), nullptr, 16) : 0;
}

// The inode of the pid namespace that /proc shows ("pid:[4026531836]"); 0 when unknown.
uint64_t ReadNamespaceMark(const char* inLink)
{
    std::string text;
    if (ReadLinkAt(AT_FDCWD, inLink, 32, text) != 0 || text.compare(0, 5, "pid:[") != 0)
        return 0;
    return std::strtoull(text.c_str() + 5, nullptr, 10);
}

// This process, read again after a fork.
ProcessMark OwnMark()
{
    static std::mutex sLock;
    static ProcessMark sMark;
    const uint64_t pid = uint64_t(::getpid());
    std::lock_guard<std::mutex> lock(sLock);
    if (sMark.fPid == pid)
        return sMark;
    ProcessMark mark;
    char state = 0;
    bool gone = false;
    if (ReadProcessStat(pid, state, mark.fStart, gone))
    {
        mark.fBoot = ReadBootMark();
        mark.fNamespace = ReadNamespaceMark("/proc/self/ns/pid");
        if (mark.fBoot != 0 && mark.fNamespace != 0)
            mark.fPid = pid;
    }
    if (mark.fPid != 0)
        sMark = mark;
    return mark;
}

// Reads "PID-START-BOOT-NS-RANDOM": the pid in decimal digits, the others in hexadecimal ones.
bool ParseMark(const std::string& inText, ProcessMark& outMark)
{
    uint64_t fields[5] = {};
    size_t at = 0;
    for (int i = 0; i < 5; ++i)
    {
        const size_t end = i < 4 ? inText.find('-', at) : inText.size();
        if (end == std::string::npos || end == at || end - at > 16)
            return false;
        for (size_t c = at; c < end; ++c)
        {
            if (!std::isxdigit(static_cast<unsigned char>(inText[c])) || (i == 0 && !std::isdigit(inText[c])))
                return false;
        }
        fields[i] = std::strtoull(inText.substr(at, end - at).c_str(), nullptr, i == 0 ? 10 : 16);
        at = end + 1;
    }
    outMark = ProcessMark{fields[0], fields[1], fields[2], fields[3]};
    return true;
}

// Where the mark of a temporary's name begins (its ".kov"), with the maker it names; npos for a
// name TemporarySiblingPath did not make.
size_t MarkOfTemporary(const std::string& inEntry, ProcessMark& outMaker)
{
    const size_t mark = inEntry.rfind(kTemporaryMark);
    if (inEntry.empty() || inEntry[0] != '.' || mark == std::string::npos || mark < 2 ||
        !ParseMark(inEntry.substr(mark + sizeof(kTemporaryMark) - 1), outMaker))
        return std::string::npos;
    return mark;
}

// Whether the process of the mark has surely quit.
bool HasQuit(const ProcessMark& inMark)
{
    const ProcessMark own = OwnMark();
    if (inMark.fPid == 0 || own.fPid == 0)
        return false;
    // Every process of another boot is gone.
    if (inMark.fBoot != own.fBoot)
        return true;
    // The pids of another namespace are not ours to look up.
    if (inMark.fNamespace != own.fNamespace)
        return false;
    if (inMark.fPid > uint64_t(INT_MAX))
        return false;
    char state = 0;
    uint64_t start = 0;
    bool gone = false;
    // A /proc that hides other users' processes makes them look gone: the kernel has the last word.
    if (!ReadProcessStat(inMark.fPid, state, start, gone))
        return gone && ::kill(pid_t(inMark.fPid), 0) != 0 && errno == ESRCH;
    // A zombie has quit, and a pid taken again is another process.
    return state == 'Z' || state == 'X' || start != inMark.fStart;
}

} // namespace

int renamex_np(const char* from, const char* to, unsigned flags)
{
    if ((flags & kRenameExclusive) == 0)
        return ::rename(from, to);
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    struct stat status = {};
    if (::lstat(from, &status) != 0)
        return -1;
    if (!S_ISDIR(status.st_mode))
    {
        // A second name, then the first one goes: the destination is never replaced.
        if (::link(from, to) == 0)
            return ::unlink(from);
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
            return -1;
    }
    // The place is claimed with an empty folder of our own, which rename may replace: a look
    // before the rename would let a folder made meanwhile, empty, be replaced.
    if (::mkdir(to, 0700) != 0)
        return -1;
    if (::rename(from, to) == 0)
        return 0;
    const int error = errno;
    ::rmdir(to);
    errno = error;
    return -1;
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    if (!Admit(sReadFault, count))
        return -1;
    const ssize_t result = ::pread(fd, buffer, count, offset);
    Consume(sReadFault, result);
    return result;
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset)
{
    if (!Admit(sWriteFault, count))
        return -1;
    const ssize_t result = ::pwrite(fd, buffer, count, offset);
    Consume(sWriteFault, result);
    return result;
}

ssize_t copy_file_range(int inFD, off_t* ioInOffset, int outFD, off_t* ioOutOffset, size_t count)
{
    if (!Admit(sReadFault, count) || !Admit(sWriteFault, count))
        return -1;
    const ssize_t result = ::copy_file_range(inFD, ioInOffset, outFD, ioOutOffset, count, 0);
    Consume(sReadFault, result);
    Consume(sWriteFault, result);
    return result;
}

int CopyFileData(int inFD, int outFD, uint64_t inSize, bool* outReadSide)
{
    bool readSide = false;
    const int error = CopyData(inFD, outFD, inSize, readSide);
    if (outReadSide != nullptr)
        *outReadSide = error != 0 && readSide;
    return error;
}

// Without rights, owners are kept where the caller may give them away, as a copy by an
// administrator does; a copy by anyone else, or on a volume without owners, belongs to its maker.
int GiveOwner(int inFD, const char* inName, const struct stat& inSource, const ItemRights* inRights)
{
    const int flags = inName[0] == 0 ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (inRights == nullptr)
    {
        if (::geteuid() == 0 && ::fchownat(inFD, inName, inSource.st_uid, inSource.st_gid, flags) != 0)
        {
        }
        return 0;
    }
    if (!inRights->fGiveOwner)
        return 0;
    int error = sOwnerFault.load(std::memory_order_relaxed);
    if (error == 0 && ::fchownat(inFD, inName, inRights->fUser, inRights->fGroup, flags) != 0)
        error = errno;
    // The system refuses that owner, not the item: an id it cannot map (EINVAL), or that the
    // volume cannot hold (EOVERFLOW), a volume that squashes the superuser (EPERM) or keeps no
    // owners (EOPNOTSUPP), a security policy (EACCES). The item stays its maker's, who runs the
    // copy; a failure of the disk still fails it.
    if (error == EINVAL || error == EOVERFLOW || error == EPERM || error == EOPNOTSUPP || error == EACCES)
        return 0;
    return error;
}

bool MayChangeOwners()
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    return ::syscall(SYS_capget, &header, data) == 0 && (data[0].effective & (1u << CAP_CHOWN)) != 0;
}

int GetPathOfDescriptor(int inFD, std::string& outPath)
{
    char link[64];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", inFD);
    std::string path;
    if (const int error = ReadLinkAt(AT_FDCWD, link, 255, path); error != 0)
        return error;
    // An item removed since it was opened has no path any more.
    if (path.empty() || path[0] != '/')
        return ENOENT;
    struct stat named = {};
    struct stat opened = {};
    if (::stat(path.c_str(), &named) != 0 || ::fstat(inFD, &opened) != 0 || !SameItem(named, opened))
        return ENOENT;
    outPath = std::move(path);
    return 0;
}

int ChangeModeOfPathDescriptor(int inFD, mode_t inMode)
{
#ifdef SYS_fchmodat2
    constexpr long kFchmodat2 = SYS_fchmodat2;
#else
    constexpr long kFchmodat2 = 452; // the same on every architecture
#endif
    if (::syscall(kFchmodat2, inFD, "", inMode, AT_EMPTY_PATH) == 0)
        return 0;
    // An older kernel, or a filter that refuses the calls it does not know.
    const int direct = errno;
    if (direct != ENOSYS && direct != EPERM)
        return direct;
    char link[64];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", inFD);
    if (::chmod(link, inMode) == 0)
        return 0;
    // A descriptor held has its name there whenever /proc is mounted.
    if (errno == ENOENT)
        return direct == ENOSYS ? EOPNOTSUPP : direct;
    return errno;
}

int ReadLinkAt(int inDirFD, const char* inPath, size_t inSizeHint, std::string& outTarget)
{
    size_t size = inSizeHint + 1;
    for (;;)
    {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
        if (buffer == nullptr)
            return ENOMEM;
        const ssize_t length = ::readlinkat(inDirFD, inPath, buffer.get(), size);
        if (length < 0)
            return errno;
        if (size_t(length) < size)
        {
            outTarget.assign(buffer.get(), size_t(length));
            return 0;
        }
        size *= 2;
    }
}

int CopyRegularFileAt(int inFromDirFD, const char* inFrom, const struct stat& inStatus, int inToDirFD,
                      const char* inTo, bool& outReadSide, const ItemRights* inRights)
{
    outReadSide = true;
    const int source = ::openat(inFromDirFD, inFrom, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (source < 0)
        return errno;
    struct stat opened = {};
    // The item looked at is the one opened, not one put there since.
    errno = 0;
    if (::fstat(source, &opened) != 0 || !SameItem(opened, inStatus) || !S_ISREG(opened.st_mode))
    {
        const int error = errno != 0 ? errno : EAGAIN;
        ::close(source);
        return error;
    }
    outReadSide = false;
    const int destination = ::openat(inToDirFD, inTo, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (destination < 0)
    {
        const int error = errno;
        ::close(source);
        return error;
    }
    int error = CopyFileData(source, destination, uint64_t(opened.st_size), &outReadSide);
    if (error == 0)
    {
        const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
        // The owner first: a change of owner takes the set-id bits away.
        error = GiveOwner(destination, "", opened, inRights);
        const mode_t mode = opened.st_mode & 07777 & ~(inRights != nullptr ? inRights->fClearedModes : 0);
        if (error == 0 && (::fchmod(destination, mode) != 0 || ::futimens(destination, times) != 0))
            error = errno;
    }
    if (::close(destination) != 0 && error == 0)
        error = errno;
    ::close(source);
    if (error != 0)
        ::unlinkat(inToDirFD, inTo, 0);
    return error;
}

int CopyLinkAt(int inFromDirFD, const char* inFrom, const struct stat& inStatus, int inToDirFD,
               const char* inTo, bool& outReadSide, const ItemRights* inRights)
{
    outReadSide = true;
    std::string target;
    if (const int error = ReadLinkAt(inFromDirFD, inFrom, size_t(inStatus.st_size), target); error != 0)
        return error;
    outReadSide = false;
    if (::symlinkat(target.c_str(), inToDirFD, inTo) != 0)
        return errno;
    const struct timespec times[2] = {inStatus.st_atim, inStatus.st_mtim};
    int error = GiveOwner(inToDirFD, inTo, inStatus, inRights);
    if (error == 0 && ::utimensat(inToDirFD, inTo, times, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error != 0)
        ::unlinkat(inToDirFD, inTo, 0);
    return error;
}

std::string TemporaryItemName(const std::string& inName)
{
    std::string name = inName;
    if (name.size() > kKeptNameBytes)
    {
        // Cut at the start of a character, never inside one.
        size_t cut = kKeptNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

std::string ItemOfTemporary(const std::string& inEntry)
{
    ProcessMark maker;
    const size_t mark = MarkOfTemporary(inEntry, maker);
    return mark == std::string::npos ? std::string() : inEntry.substr(1, mark - 1);
}

bool TemporaryMakerHasQuit(const std::string& inEntry)
{
    ProcessMark maker;
    return MarkOfTemporary(inEntry, maker) != std::string::npos && HasQuit(maker);
}

std::string TemporarySiblingPath(const std::string& inPath)
{
    const size_t slash = inPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : inPath.substr(0, slash + 1);
    const std::string name =
        TemporaryItemName(slash == std::string::npos ? inPath : inPath.substr(slash + 1));
    uint64_t random = 0;
    if (::getrandom(&random, sizeof(random), GRND_NONBLOCK) != ssize_t(sizeof(random)))
    {
        static std::atomic<uint64_t> sCounter{0};
        random = (uint64_t(::getpid()) << 32) ^ uint64_t(::time(nullptr)) ^
                 (sCounter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    }
    const ProcessMark maker = OwnMark();
    char suffix[80];
    std::snprintf(suffix, sizeof(suffix), "%s%llu-%llx-%08llx-%llx-%012llx", kTemporaryMark,
                  static_cast<unsigned long long>(maker.fPid), static_cast<unsigned long long>(maker.fStart),
                  static_cast<unsigned long long>(maker.fBoot & 0xFFFFFFFFull),
                  static_cast<unsigned long long>(maker.fNamespace),
                  static_cast<unsigned long long>(random & 0xFFFFFFFFFFFFull));
    // The mark, 10 decimal digits, 16, 8, 16 and 12 hexadecimal ones and the dashes: at most 70.
    static_assert(kKeptNameBytes + 1 + 70 <= kMaxNameBytes);
    return folder + "." + name + suffix;
}

void SetReadFaultForTesting(int inErrno, int64_t inAfterBytes)
{
    sReadFault.fRemaining.store(inAfterBytes, std::memory_order_relaxed);
    sReadFault.fErrno.store(inErrno, std::memory_order_relaxed);
}

void SetWriteFaultForTesting(int inErrno, int64_t inAfterBytes)
{
    sWriteFault.fRemaining.store(inAfterBytes, std::memory_order_relaxed);
    sWriteFault.fErrno.store(inErrno, std::memory_order_relaxed);
}

void SetOwnerFaultForTesting(int inErrno)
{
    sOwnerFault.store(inErrno, std::memory_order_relaxed);
}

} // namespace kova::sys
