// Our stand-in for the file URLs of Foundation: a reference-counted URL that names a file by its
// absolute POSIX path, with the directory flag of fileURLWithPath:isDirectory:. Only file URLs
// exist here; they are made from paths and give their paths back.
#pragma once

#include <atomic>
#include <string>

namespace kova::ns
{

class URL
{
public:
    // fileURLWithPath:isDirectory:, returned with one reference. A relative path is taken from
    // the current folder; a directory URL's path ends with "/". Null for an empty path or when
    // the current folder cannot be read.
    static URL* FileURLWithPath(const std::string& path, bool isDirectory);

    // The path without its trailing "/" ("/" stays "/").
    const char* FileSystemRepresentation() const { return fRepresentation.c_str(); }
    // The path as the URL holds it.
    const std::string& GetPath() const { return fPath; }
    bool HasDirectoryPath() const { return !fPath.empty() && fPath.back() == '/'; }

    void Retain() const { fCount.fetch_add(1, std::memory_order_relaxed); }
    void Release() const;

private:
    explicit URL(std::string path);
    ~URL() = default;

    std::string fPath;
    std::string fRepresentation;
    mutable std::atomic<int> fCount{1};
};

} // namespace kova::ns
