// XMacUpdater holds what the updater asks of the system beyond the toolbox: its own folder on the
// PATH (so that the "open" built beside it is found), the executable of a bundle, opening a file
// with its application, quiet standard streams once the caller has been told, the signals that
// must not end an update half-way, what stands at a path (a bundle folder, a file named by an
// option), the turn an update takes among the updates of one folder, and the test hooks the
// updater takes from its environment.
#pragma once

#include "kernel/text/VString.h"

#include <cstdint>

namespace kova
{

class VFilePath;
class VUpdateEngine;

class XMacUpdater
{
public:
    XMacUpdater() = delete;

    // Appends the executable's folder to PATH: an "open" earlier on PATH still wins.
    static void AppendExecutableFolderToPath();
    // The process's working folder, against which the command line's relative paths are read;
    // false when it cannot be known.
    static bool GetWorkingFolder(VFilePath& outFolder);
    // A broken pipe to the caller must not kill the update half-way.
    static void IgnoreBrokenPipes();
    // Nor the caller's terminal closing (SIGHUP is ignored), nor any other signal that would end
    // the process and can be caught: each is raised again as SIGTERM, which takes effect once the
    // run is over. The fault signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGSYS, SIGTRAP, SIGABRT)
    // are deferred so only when another process sends them; the process's own faults and abort()
    // take their default actions (a core).
    static void DeferEndingSignals();
    // The executable of an application bundle (CFBundleExecutable, else the bundle's name without
    // extension); false when the folder is no application bundle.
    static bool GetBundleExecutablePath(const VString& inBundlePosixPath, VString& outPath);
    // Whether a real folder (no link) holding a real Contents folder stands at the path. With
    // inFollowLink, a link at the path's own name is followed, as a copy of the path follows it.
    static bool IsBundleFolder(const VFilePath& inPath, bool inFollowLink = false);
    // Whether anything stands at the path, a dangling link included.
    static bool ItemExists(const VFilePath& inPath);
    // The device and inode of what stands at the path, a link itself and not what it leads to;
    // false when nothing does.
    static bool GetItemIdentity(const VFilePath& inPath, uint64_t& outDevice, uint64_t& outInode);
    // Whether the path names an item that is no regular file, links followed (a FIFO, a device,
    // a folder); nothing at the path is no such item. The item is not opened.
    static bool NamesOtherThanAFile(const VFilePath& inPath);
    // With the system's default application for its kind; false when none could be asked.
    static bool OpenWithDefaultApplication(const VString& inPosixPath);
    // Flushes standard output and error, then puts /dev/null on descriptors 0, 1 and 2: a stream
    // is never left closed, so that no later file takes its number.
    static void QuietStandardStreams();
    // Reads the updater's test hooks from the environment: KOVA_TEST_UPDATER_WAITS
    // ("poll,grace,retry,max" in milliseconds, and optionally ",turn": how long another update of
    // the application is waited for), KOVA_TEST_UPDATER_STOP_AT_WAITS (any value: the
    // updater stops itself with SIGSTOP in place of each wait, for a test to act and continue it),
    // KOVA_TEST_UPDATER_STOP_AT_LOG (any value: it stops itself so once it has named its log,
    // before it opens the log's file) and KOVA_TEST_COPY_FAULT ("ENOSPC:N", "EIO:N", "EMFILE:N" or
    // "STOP:N": after N files of the folder copy). Nothing is set when they are absent.
    static void InstallTestHooks(VUpdateEngine& ioEngine);
};

// The turn of an update among the updates of the applications of one folder: an advisory lock
// (flock) on the folder that holds the application, opened read-only, so that nothing is written
// there. Two updates of one application (the application started twice, or an update retried
// while the first runs) then never interleave their renames and copies. The lock goes with the
// object, or with the process however it ends, and no child inherits it.
class XMacUpdateTurn
{
public:
    enum EAttempt
    {
        eTaken,
        eBusy,              // another update holds it
        eHeldByAnotherUser, // a process of a user other than ours and root holds it: no update
                            // to wait for, and waiting would let anyone who may read the folder
                            // hold back every update in it
        eUnavailable        // the folder cannot be opened or locked here (a file system without such locks)
    };

    explicit XMacUpdateTurn(const VFilePath& inApplication);
    ~XMacUpdateTurn();
    XMacUpdateTurn(const XMacUpdateTurn&) = delete;
    XMacUpdateTurn& operator=(const XMacUpdateTurn&) = delete;

    // Never waits.
    EAttempt TryTake();
    // Why the turn is unavailable (the system's code), VE_OK otherwise.
    VError GetUnavailability() const { return fUnavailability; }

private:
    // Whether every process holding a lock on the folder runs as our user or as root.
    bool _IsHeldByOwnUserOrRoot() const;

    int fFolder = -1;
    VError fUnavailability = VE_OK;
};

} // namespace kova
