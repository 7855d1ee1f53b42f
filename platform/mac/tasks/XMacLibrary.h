// The platform half of VLibrary: a bundle (a plug-in, a framework, an application) through the
// bundle stand-in, a plain library file through dlopen. The bundle's executable is loaded once
// with its symbols global (so that libraries loaded after it see them), then as the bundle's own.
// Before a framework loads, the links of its top level that a copy flattened into "XSym" text
// files are made links again. VLibrary's lock guards every call.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>
#include <memory>

namespace kova
{

namespace cf
{
class Bundle;
} // namespace cf

class VFile;
class VFilePath;
class VFolder;
class VResourceFile;
class VString;
enum BundleFolderKind : int32_t;

class XMacLibrary
{
public:
    XMacLibrary() = default;
    XMacLibrary(const XMacLibrary&) = delete;
    XMacLibrary& operator=(const XMacLibrary&) = delete;
    ~XMacLibrary() { Unload(); }

    // A file path: the library file; a folder path: the bundle there. Failures are raised (kova
    // 1010 naming the path, its "reason" the loader's text; 617 for a link file that cannot be
    // repaired) and give false. A path of neither kind answers whether a bundle is held.
    bool Load(const VFilePath& inPath);
    void Unload();
    // The function of that name (its whole UTF-8 text); null when unloaded or absent.
    void* GetProcAddress(const VString& inName) const;

    // Retained; null without a bundle or for a kind that names no folder.
    VFolder* RetainFolder(const VFilePath& inPath, BundleFolderKind inKind) const;
    VFile* RetainExecutableFile(const VFilePath& inPath) const;
    // Libraries have no resource file here.
    VResourceFile* RetainResourceFile(const VFilePath&) const { return nullptr; }

    const cf::Bundle* GetBundleRef() const { return fBundle.get(); }

    // Makes the entries "Versions/Current", "Resources" and the framework's own name links again
    // where a copy flattened them into "XSym" files: only a file whose first line is "XSym", whose
    // second gives the byte length of the fourth, the target, and whose target is relative and
    // stays inside the framework; any other "XSym" file raises 617 and stays.
    static void RepairFrameworkLinks(const VFilePath& inFramework);

private:
    // Loads the bundle's executable with its symbols global; false (raised) on failure.
    bool _dlopen_RTLD_GLOBAL(const VFilePath& inPath);

    std::shared_ptr<cf::Bundle> fBundle;
    void* fHandle = nullptr;
};

} // namespace kova
