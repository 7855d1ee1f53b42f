// XMacFolder is the platform half of a folder: every VFolder embeds one, and every folder operation
// that touches the disk is done here, on the folder's POSIX path. An operation returns 0 or a
// native code (POSX with errno, or the code of a file-manager error); VFolder turns it into a
// file error with its own toolbox code.
//
// This first form creates folders, tests them, makes them writable by all, reads their times and
// finds the temporary folder; the folder operations on whole trees join it with the folders'
// own work.
#pragma once

#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>

namespace kova
{

namespace ns
{
class URL;
} // namespace ns

class VFolder;
class VString;
class VTime;

class XMacFolder : public VObject
{
public:
    XMacFolder();
    // The path is copied; null leaves it empty until Init.
    explicit XMacFolder(const char* inPosixPath);
    // The URL is kept; the path is its file-system representation, with a trailing "/".
    explicit XMacFolder(ns::URL* inURL);
    XMacFolder(const XMacFolder&) = delete;
    XMacFolder& operator=(const XMacFolder&) = delete;
    ~XMacFolder() override;

    // Records the owner and, when no path is held yet, makes it from the owner's path.
    void Init(VFolder* inOwner);

    // mkdir with mode 0755 (less the process's umask): the parent must exist.
    VError Create() const;
    // A folder is there (links followed with inFollowLinks).
    bool Exists(bool inFollowLinks) const;
    // chmod 0777.
    VError MakeWritableByAll() const;
    // Links followed.
    VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const;
    // The path as UTF-8 text, composed. Always 0.
    VError GetPosixPath(VString& outPath) const;
    // The path handed to the system: decomposed UTF-8 ending with "/"; never null.
    const char* GetPosixPathCString() const { return fPosixPath != nullptr ? fPosixPath : ""; }

    // The folder of the kind (ESystemFolderKind) in *outFolder, created with its parents when
    // inCreate asks and it is missing. Kinds without a folder leave *outFolder untouched and
    // return 0: the caller tests the folder, not the result.
    static VError RetainSystemFolder(int32_t inKind, bool inCreate, VFolder** outFolder);

private:
    VFolder* fOwner = nullptr;
    char* fPosixPath = nullptr;
    mutable std::atomic<ns::URL*> fURL{nullptr};
};

} // namespace kova
