#include "platform/mac/frameworks/NSWorkspace.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace kova::ns
{

namespace
{

bool HasDesktop()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != 0) || (wayland != nullptr && *wayland != 0);
}

} // namespace

bool IsFilePackageAtPath(const std::string& inPath)
{
    static const char* const kExtensions[] = {"app", "bundle", "framework", "plugin"};
    struct stat status = {};
    if (::stat(inPath.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    size_t end = inPath.size();
    while (end > 1 && inPath[end - 1] == '/')
        --end;
    const size_t slash = inPath.rfind('/', end - 1);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = inPath.rfind('.', end - 1);
    // A name that is all extension (".app") has none.
    if (dot == std::string::npos || dot <= start || dot + 1 >= end)
        return false;
    const std::string extension = inPath.substr(dot + 1, end - dot - 1);
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&extension](const char* inKnown)
                       { return ::strcasecmp(extension.c_str(), inKnown) == 0; });
}

void ActivateFileViewerSelecting(const std::string& inPath)
{
    if (!HasDesktop() || inPath.empty())
        return;
    std::string folder = inPath;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
    // The shell puts the viewer in the background and ends at once, so it is reaped here and the
    // viewer, left to the system, never becomes a zombie of this process.
    static const char kScript[] =
        "command -v xdg-open >/dev/null 2>&1 && xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
    char shell[] = "/bin/sh";
    char option[] = "-c";
    char script[sizeof(kScript)];
    std::copy(std::begin(kScript), std::end(kScript), script);
    char name[] = "sh";
    char* const arguments[] = {shell, option, script, name, const_cast<char*>(folder.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, shell, nullptr, nullptr, arguments, environ) != 0)
        return;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
}

} // namespace kova::ns
