// Our stand-in for the part of the workspace of AppKit that shows items to the user and knows
// packages. With a desktop session (DISPLAY or WAYLAND_DISPLAY set) the folder that holds the item
// is opened with xdg-open, when it is installed, in a process of its own that is never waited for;
// without one nothing is shown. Packages are the folders whose extension (any case) is app,
// bundle, framework or plugin.
#pragma once

#include <string>

namespace kova::ns
{

// activateFileViewerSelectingURLs: with the one item. Never fails.
void ActivateFileViewerSelecting(const std::string& inPath);
// isFilePackageAtPath: a folder (links followed) with a package's extension.
bool IsFilePackageAtPath(const std::string& inPath);

} // namespace kova::ns
