// File paths from text, in the colon and the POSIX syntax, alone and relative to a folder: no
// valid path keeps a "." or ".." component, and one that lies in a folder has a POSIX form inside
// the folder's.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"

#include <string>

using namespace kova;

namespace
{

bool HasDotComponent(const std::u16string& inPath, char16_t inSeparator)
{
    size_t start = 0;
    for (;;)
    {
        size_t end = inPath.find(inSeparator, start);
        const std::u16string component =
            inPath.substr(start, end == std::u16string::npos ? end : end - start);
        if (component == u"." || component == u"..")
            return true;
        if (end == std::u16string::npos)
            return false;
        start = end + 1;
    }
}

void CheckPath(const VFilePath& inPath, const VFilePath& inFolder)
{
    VString text;
    inPath.GetPosixPath(text);
    if (!inPath.IsValid())
        return;
    fuzz::Check(!HasDotComponent(fuzz::Units(inPath.GetPath()), u':'), "no step stays in a path");
    if (inPath.IsChildOf(inFolder) || inPath.IsSameOrChildOf(inFolder))
    {
        VString folder;
        inFolder.GetPosixPath(folder);
        const std::u16string posix = fuzz::Units(text);
        fuzz::Check(posix.compare(0, size_t(folder.GetLength()), fuzz::Units(folder)) == 0 &&
                        !HasDotComponent(posix, u'/'),
                    "a path in a folder stays in it");
    }
    VFilePath parent;
    inPath.GetParent(parent);
    inPath.GetName(text);
    inPath.GetExtension(text);
    inPath.GetRelativePath(inFolder, text);
    inPath.GetRelativePosixPath(inFolder, text);
    inPath.GetDepth();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    const VString text(inData, inSize, VTC_UTF_8);
    const VFilePath folder(VString(u"Volume:root:"), FPS_SYSTEM);
    for (FilePathStyle style : {FPS_SYSTEM, FPS_POSIX})
    {
        CheckPath(VFilePath(text, style), folder);
        CheckPath(VFilePath(folder, text, style), folder);
        CheckPath(VFilePath(folder, text, style, true), folder);
    }
    VFilePath edited(folder);
    edited.ToSubFolder(text);
    CheckPath(edited, folder);
    edited = folder;
    edited.ToSubFile(text);
    CheckPath(edited, folder);
    edited = VFilePath(VString(u"Volume:root:a.b"), FPS_SYSTEM);
    edited.SetName(text);
    CheckPath(edited, folder);
    edited.SetExtension(text);
    CheckPath(edited, folder);
    edited.RemoveBlanks();
    CheckPath(edited, folder);
    VString posix(text);
    VFilePath::ResolveRelativePosix(posix);
    return 0;
}
