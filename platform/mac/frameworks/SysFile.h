// Our stand-in for the file calls of libSystem that Linux lacks or names differently: renamex_np
// with its no-replace flag, and the reads, writes and in-kernel copies of file data that the file
// layer makes, through which tests inject failures of the disk (a full disk, an I/O error) without
// filling a real one; and a descriptor closed at the end of a scope, for the code over them.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kova::sys
{

// Closes a descriptor at the end of a scope.
class StDescriptor
{
public:
    explicit StDescriptor(int inFD = -1) : fFD(inFD) {}
    // The errno of a failure before the scope's end survives the close.
    ~StDescriptor()
    {
        const int saved = errno;
        Close();
        errno = saved;
    }
    StDescriptor(const StDescriptor&) = delete;
    StDescriptor& operator=(const StDescriptor&) = delete;

    int Get() const { return fFD; }
    // The descriptor passes to the caller.
    int Release()
    {
        const int fd = fFD;
        fFD = -1;
        return fd;
    }
    void Reset(int inFD)
    {
        Close();
        fFD = inFD;
    }
    // 0 or errno.
    int Close()
    {
        const int result = fFD >= 0 && ::close(fFD) != 0 ? errno : 0;
        fFD = -1;
        return result;
    }

private:
    int fFD;
};

// renamex_np's flag: an existing destination makes the rename fail with EEXIST.
inline constexpr unsigned kRenameExclusive = 4;

// rename, or with kRenameExclusive one that never replaces. Where the file system refuses the
// no-replace flag, a file is linked and then unlinked (no window), and a folder is renamed over an
// empty folder made at the destination first (an existing one fails the rename with EEXIST, and
// the claim goes when the rename fails). 0, or -1 with errno set.
int renamex_np(const char* from, const char* to, unsigned flags);

// pread, pwrite and copy_file_range, failing as a fault set for tests asks.
ssize_t pread(int fd, void* buffer, size_t count, off_t offset);
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset);
ssize_t copy_file_range(int inFD, off_t* ioInOffset, int outFD, off_t* ioOutOffset, size_t count);

// Copies inSize bytes of an open file into another from their starts: a clone of the extents
// where the file system shares them, else copies in the kernel, else reads and writes; short
// transfers are continued. 0, or the errno of the failure (EIO when the source ends early), with
// *outReadSide (when given) telling whether reading the source failed.
int CopyFileData(int inFD, int outFD, uint64_t inSize, bool* outReadSide = nullptr);

// fcntl F_GETPATH: the path of the item the descriptor was opened on, links resolved (through
// /proc/self/fd). 0 or errno.
int GetPathOfDescriptor(int inFD, std::string& outPath);

// fchmod for a descriptor held for the item's path alone (O_PATH), which fchmod refuses: on the
// descriptor itself (fchmodat2, Linux 6.6 and later), else through its name under /proc/self/fd.
// 0 or errno: EOPNOTSUPP where neither way is there.
int ChangeModeOfPathDescriptor(int inFD, mode_t inMode);

// What a copy gives the item it makes in place of the source's owner and some of its modes, for
// a tree that someone else laid out and that others will run. The source's owner is never kept:
// with fGiveOwner the item (a link itself, not what it names) takes fUser and fGroup; where the
// system refuses that owner (an id it cannot map, a volume that squashes the superuser or keeps no
// owners) the item stays the maker's, as it does without fGiveOwner, while any other failure
// fails the copy. No item keeps a mode bit of fClearedModes.
struct ItemRights
{
    bool fGiveOwner = false;
    uid_t fUser = 0;
    gid_t fGroup = 0;
    mode_t fClearedModes = 0;
};

// Whether the process may give what it makes to another owner: CAP_CHOWN in its effective set,
// as the superuser has it unless it was dropped.
bool MayChangeOwners();
// Gives the item inName of the folder inDirFD (inDirFD itself for an empty name; a link itself,
// not what it names) the owner a copy of inSource takes: with inRights theirs, or none; without,
// inSource's own when the caller is the superuser (silently left when that fails). 0 or errno.
int GiveOwner(int inDirFD, const char* inName, const struct stat& inSource, const ItemRights* inRights);

// The text of the link at inPath (relative to the folder inDirFD, or AT_FDCWD), read whole however
// long it is; inSizeHint is the size its status gave. 0 or errno.
int ReadLinkAt(int inDirFD, const char* inPath, size_t inSizeHint, std::string& outTarget);
// Copies the regular file inFrom (relative to inFromDirFD), whose status the caller read, to the
// new item inTo (relative to inToDirFD; it must not exist): its bytes, mode and times, and its
// owner when the caller is the superuser, or with inRights what they give. The source opened must
// still be the item of that status; it is opened without following a link and without waiting (a
// pipe put in its place never blocks the copy). On failure nothing is left at inTo. 0 or errno,
// with outReadSide telling whether reading the source failed.
int CopyRegularFileAt(int inFromDirFD, const char* inFrom, const struct stat& inStatus, int inToDirFD,
                      const char* inTo, bool& outReadSide, const ItemRights* inRights = nullptr);
// Makes inTo a link with the text of the link inFrom, with its times (and owner, as above).
int CopyLinkAt(int inFromDirFD, const char* inFrom, const struct stat& inStatus, int inToDirFD,
               const char* inTo, bool& outReadSide, const ItemRights* inRights = nullptr);

// A path beside inPath for a temporary item: the same folder, a hidden name made of inPath's name
// (cut to fit a name of the file system), ".kov", the process that makes it and a random part:
// ".NAME.kovPID-START-BOOT-NS-RANDOM", where START is the process's start time (ticks since boot),
// BOOT the first digits of the boot's id and NS the process's pid namespace, so that whoever finds
// the item can tell whether its maker still runs; all but PID in hexadecimal.
std::string TemporarySiblingPath(const std::string& inPath);
// The name of the item that the temporary named inEntry stands for, as TemporarySiblingPath kept
// it there (TemporaryItemName); empty for a name it did not make.
std::string ItemOfTemporary(const std::string& inEntry);
// inName as TemporarySiblingPath keeps it in a temporary's name.
std::string TemporaryItemName(const std::string& inName);
// Whether the process that made the temporary named inEntry has surely quit: its pid names no
// process, a zombie, or one that started at another time or in another boot. False when it runs
// or cannot be told (a process of another pid namespace, a /proc that cannot be read).
bool TemporaryMakerHasQuit(const std::string& inEntry);

// For tests: once inAfterBytes more bytes have been read (written) through the calls above, each
// read (write) fails with inErrno, until the fault is cleared with errno 0. Transfers that cross
// the limit are cut short at it, as a disk that fills up does.
void SetReadFaultForTesting(int inErrno, int64_t inAfterBytes);
void SetWriteFaultForTesting(int inErrno, int64_t inAfterBytes);
// For tests: every owner that ItemRights give fails with inErrno, until errno 0 clears the fault.
void SetOwnerFaultForTesting(int inErrno);

} // namespace kova::sys
