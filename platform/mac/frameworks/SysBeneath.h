// Our stand-in for resolving a path beneath a folder, as openat2 with RESOLVE_BENEATH does (Linux
// 5.6 and later; a walk of our own by directory descriptors elsewhere, which behaves the same): the
// symbolic links met are followed while their way stays beneath the folder. An absolute link, or
// a ".." above the folder, leaves it, wherever the way would end: a link that names the folder by
// its own path or name would name another folder once the folder is copied elsewhere.
#pragma once

#include <string>

namespace kova::sys
{

// An item found beneath a folder: the folder that holds it, opened for paths alone (O_PATH) and
// the caller's to close, and its name there, never that of a symbolic link (a link that leads to
// nothing is resolved to the missing item it names).
struct BeneathItem
{
    int fFolderFD = -1;
    std::string fName;
};

// Finds the item that inRelative ('/'-separated names, no "." nor "..", which may come from the
// text of a link only) names beneath the folder inRootFD, the links on the way and at its end
// followed. With inCreate the missing folders on the way are made (0755 less the umask). 0 or
// errno: EXDEV when the way leaves the folder (outLink, relative to the folder, is the link that
// leads out, or empty when it cannot be told), ELOOP past 40 links, EISDIR when the path ends at
// the folder or above an item, ENOENT, ENOTDIR and the others of the system. outItem is set on
// success only.
int ResolveBeneath(int inRootFD, const std::string& inRelative, bool inCreate, BeneathItem& outItem,
                   std::string& outLink);

// For tests: resolve by the walk of our own even where openat2 exists.
void SetResolveBeneathByHandForTesting(bool inByHand);

} // namespace kova::sys
