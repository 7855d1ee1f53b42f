// XMacUpdater holds what the updater asks of the system beyond the toolbox: its own folder on the
// PATH (so that the "open" built beside it is found), the executable of a bundle, opening a file
// with its application, quiet standard streams once the caller has been told, the signals that
// must not end an update half-way, what stands at a path (a bundle folder, a file named by an
// option), and the test hooks the updater takes from its environment.
#pragma once

#include "kernel/text/VString.h"

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
    // Whether the path's own name is a symbolic link, dangling or not; links in the folders above
    // it are followed.
    static bool IsSymbolicLink(const VFilePath& inPath);
    // Whether anything stands at the path, a dangling link included.
    static bool ItemExists(const VFilePath& inPath);
    // Whether the path names an item that is no regular file, links followed (a FIFO, a device,
    // a folder); nothing at the path is no such item. The item is not opened.
    static bool NamesOtherThanAFile(const VFilePath& inPath);
    // With the system's default application for its kind; false when none could be asked.
    static bool OpenWithDefaultApplication(const VString& inPosixPath);
    // Flushes standard output and error, then puts /dev/null on descriptors 0, 1 and 2: a stream
    // is never left closed, so that no later file takes its number.
    static void QuietStandardStreams();
    // Reads the updater's test hooks from the environment: KOVA_TEST_UPDATER_WAITS
    // ("poll,grace,retry,max" in milliseconds), KOVA_TEST_UPDATER_STOP_AT_WAITS (any value: the
    // updater stops itself with SIGSTOP in place of each wait, for a test to act and continue it)
    // and KOVA_TEST_COPY_FAULT ("ENOSPC:N", "EIO:N", "EMFILE:N" or "STOP:N": after N files of the folder
    // copy). Nothing is set when they are absent.
    static void InstallTestHooks(VUpdateEngine& ioEngine);
};

} // namespace kova
