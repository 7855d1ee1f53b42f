// open -a BUNDLE [--args ARG...]: starts the bundle's executable with those arguments, detached
// (a session of its own, standard streams on /dev/null, no other descriptor of ours), and exits 0
// at once; non-zero with a message on standard error when the bundle or its executable is missing.
// This is how the updater restarts an application.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

int Usage()
{
    std::fputs("usage: open -a BUNDLE [--args ARG...]\n", stderr);
    return 1;
}

// The value of a key of the bundle's Info.plist, read as the plain property list the bundles
// carry: <key>NAME</key> followed by <string>VALUE</string>. Empty when absent, and when the
// Info.plist is no regular file: a pipe or a device there (a bundle is anyone's download) is
// opened without waiting and never read.
std::string InfoValue(const std::string& inBundle, const std::string& inKey)
{
    const int fd =
        ::open((inBundle + "/Contents/Info.plist").c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    struct stat status = {};
    std::string text;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
    {
        char buffer[4096];
        while (text.size() < (1u << 20))
        {
            const ssize_t count = ::read(fd, buffer, sizeof(buffer));
            if (count > 0)
                text.append(buffer, size_t(count));
            else if (count == 0 || errno != EINTR)
                break;
        }
    }
    ::close(fd);
    const std::string keyTag = "<key>" + inKey + "</key>";
    size_t at = text.find(keyTag);
    if (at == std::string::npos)
        return std::string();
    at = text.find_first_not_of(" \t\r\n", at + keyTag.size());
    if (at == std::string::npos || text.compare(at, 8, "<string>") != 0)
        return std::string();
    at += 8;
    const size_t end = text.find("</string>", at);
    return end == std::string::npos ? std::string() : text.substr(at, end - at);
}

// The bundle's executable: Contents/MacOS/ and CFBundleExecutable, else the bundle's name
// without its extension.
std::string ExecutableOf(std::string inBundle)
{
    while (inBundle.size() > 1 && inBundle.back() == '/')
        inBundle.pop_back();
    std::string name = InfoValue(inBundle, "CFBundleExecutable");
    if (name.empty() || name.find('/') != std::string::npos)
    {
        name = inBundle.substr(inBundle.rfind('/') + 1);
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.resize(dot);
    }
    return inBundle + "/Contents/MacOS/" + name;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::strcmp(argv[1], "-a") != 0)
        return Usage();
    const std::string bundle = argv[2];
    int next = 3;
    std::vector<char*> arguments;
    if (next < argc)
    {
        if (std::strcmp(argv[next], "--args") != 0)
            return Usage();
        ++next;
    }
    struct stat status = {};
    if (::stat(bundle.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    {
        std::fprintf(stderr, "open: no application bundle at %s\n", bundle.c_str());
        return 1;
    }
    const std::string executable = ExecutableOf(bundle);
    if (::stat(executable.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        ::access(executable.c_str(), X_OK) != 0)
    {
        std::fprintf(stderr, "open: the application %s has no executable %s\n", bundle.c_str(),
                     executable.c_str());
        return 1;
    }
    arguments.push_back(const_cast<char*>(executable.c_str()));
    for (; next < argc; ++next)
        arguments.push_back(argv[next]);
    arguments.push_back(nullptr);

    // Only 0, 1 and 2 reach the application, all on /dev/null.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    pid_t child = 0;
    const int error =
        ::posix_spawn(&child, executable.c_str(), &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
    {
        std::fprintf(stderr, "open: cannot start %s: %s\n", executable.c_str(), std::strerror(error));
        return 1;
    }
    return 0;
}
