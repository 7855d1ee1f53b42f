// How a file is opened: the access modes and the option bits that VFile::Open and the file streams
// pass down to the platform layer, and the option bit of copies, moves and creation.
#pragma once

#include <cstdint>

namespace kova
{

enum FileAccess : int32_t
{
    FA_READ = 0,
    // Read and write under an exclusive lock, never waiting for it: a file locked elsewhere is
    // refused at once.
    FA_READ_WRITE = 1,
    // Read and write under a shared lock, never waiting for it.
    FA_SHARED = 2,
    // As FA_READ_WRITE when that succeeds, else FA_READ.
    FA_READ_WRITE_OR_READ = 3,
};

// Open options.
constexpr uint32_t FO_OpenResourceFork = 0x01; // there are none here: refused
constexpr uint32_t FO_CreateIfNotFound = 0x02; // new files get mode 0644 (less the umask)
constexpr uint32_t FO_Truncate = 0x04;         // once the lock is held
constexpr uint32_t FO_ReadAhead = 0x08;
constexpr uint32_t FO_NoCache = 0x20; // either bit
constexpr uint32_t FO_NoCacheAlso = 0x40;
// A final symbolic link is followed; without it opening a link is refused.
constexpr uint32_t FO_FollowLinks = 0x80;
// Only a regular file is opened, and the open never waits: a pipe with no writer, a device or a
// folder is refused at once (EISDIR for a folder, ENOTSUP for the others).
constexpr uint32_t FO_RegularFileOnly = 0x100;

// Copy, move and create option: an existing destination is replaced.
constexpr uint32_t FO_Overwrite = 0x04;

} // namespace kova
