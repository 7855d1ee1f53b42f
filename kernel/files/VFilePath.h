// VFilePath names a file or a folder: one full path in the toolbox's colon syntax, with a validity
// flag. It touches no disk; existence and every other question about the file system belong to
// files, folders and the file layer.
//
// The colon syntax: the first component is the volume name; components are separated by ":"; a
// folder path ends with ":" ("Volume:Users:me:"), a file path does not ("Volume:Users:me:notes.txt");
// a run of colons inside a path is a parent step ("a:b::c:" names "a:c:"). A component ".." is a
// parent step too and "." no step at all, never names, since the file system would read them so;
// every path is kept with its steps resolved, so that none leads out of a folder it seems to lie
// in. The extension of a component is the text after its last "."; a path that holds a NUL is
// never valid.
//
// Paths compare exactly, unit by unit: the file systems of this platform tell names apart by case
// and by accents. Extensions match by the rules of the current dialect.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VFolder;

// The syntax in which a path string is given or wanted.
enum FilePathStyle
{
    FPS_SYSTEM = 0, // the colon syntax
    FPS_POSIX = 1,  // "/" separators; "/..." is absolute, anything else relative
};

class VFilePath : public VObject
{
public:
    // Empty and invalid.
    VFilePath();
    VFilePath(const VFilePath& inOther);
    VFilePath(const VString& inPath, FilePathStyle inStyle, bool inUnused = false);
    VFilePath(const VFilePath& inBase, const VString& inRelative, FilePathStyle inStyle,
              bool inRelativeOnly = false);
    VFilePath& operator=(const VFilePath& inOther);
    ~VFilePath() override;

    // A full path, parent steps resolved; a POSIX path is converted to the colon syntax first.
    // Invalid when empty, when it holds a NUL, or when it begins with ":" (before or after
    // resolving). A path whose parent steps cancel it out is empty and valid, and is neither a
    // file nor a folder path.
    VFilePath& FromFullPath(const VString& inPath, FilePathStyle inStyle, bool inUnused = false);
    // The base's string followed by the relative one, then checked as a full path. In the colon
    // syntax the base is not checked. In the POSIX syntax a relative string beginning with "/" is
    // absolute (the base is ignored), unless inRelativeOnly: then the base must be a valid folder
    // path and the string is read relative to it whatever it begins with.
    VFilePath& FromRelativePath(const VFilePath& inBase, const VString& inRelative, FilePathStyle inStyle,
                                bool inRelativeOnly = false);
    VFilePath& FromRelativePath(const VFolder& inBase, const VString& inRelative, FilePathStyle inStyle,
                                bool inRelativeOnly = false);
    VFilePath& FromFilePath(const VFilePath& inOther);
    void Clear();

    bool IsValid() const { return fIsValid; }
    bool IsEmpty() const { return fPath.IsEmpty(); }
    bool IsFolder() const;
    bool IsFile() const;
    bool HasParent() const;
    // The number of components ("a:b:c:" and "a:b:f" both have 3); 0 for an invalid path.
    int32_t GetDepth() const;
    // Both valid, inFolder a folder path, and this path inside it (IsChildOf: not the folder
    // itself).
    bool IsChildOf(const VFilePath& inFolder) const;
    bool IsChildOfRawPath(const VFilePath& inFolder) const;
    bool IsSameOrChildOf(const VFilePath& inFolder) const;
    // Whether the last component ends with "." and the extension; with inDiacritical, case and
    // accents count.
    bool MatchExtension(const VString& inExtension, bool inDiacritical) const;

    void GetPath(VString& outPath) const { outPath.FromString(fPath); }
    const VString& GetPath() const { return fPath; }
    // The absolute POSIX form; empty for an invalid or empty path.
    void GetPosixPath(VString& outPath) const;
    // The rest of this path inside inFolder (a valid folder path): true. Otherwise false, with
    // outPath the whole path (GetRelativePath) or untouched (_GetRelativePath).
    bool GetRelativePath(const VFilePath& inFolder, VString& outPath) const;
    bool _GetRelativePath(const VFilePath& inFolder, VString& outPath) const;
    // The same rest as a relative POSIX path; on failure the whole POSIX path (empty for an
    // invalid path) and false.
    bool GetRelativePosixPath(const VFilePath& inFolder, VString& outPath) const;
    // The parent folder's path; false, with outParent empty and invalid, when there is none.
    bool GetParent(VFilePath& outParent) const;
    // The folder path itself, or a file path's folder (see ToFolder).
    bool GetFolder(VFilePath& outFolder) const;
    // The last component with its extension (a path without ":" whole).
    void GetName(VString& outName) const;
    // Valid file paths (folder paths) only, else cleared: the last component, without its
    // extension unless asked.
    void GetFileName(VString& outName, bool inWithExtension = true) const;
    void GetFolderName(VString& outName, bool inWithExtension = true) const;
    // The text after the last "." of the last component; empty when it has none or ends with it.
    void GetExtension(VString& outExtension) const;

    VFilePath& ToParent();
    // A file path becomes its folder; a folder path stays; a path without ":" becomes empty and
    // invalid. An invalid path is left as it is.
    VFilePath& ToFolder();
    // On a valid folder path only: appends the name and ":" (a sub-folder) or the name alone (a
    // file in it). Neither checks the name; steps in it are resolved.
    VFilePath& ToSubFolder(const VString& inName);
    VFilePath& ToSubFile(const VString& inName);

    // The setters of names and extensions refuse an empty name and any name or extension that
    // holds ":" with kova error 614 and leave the path unchanged. Each returns the validity.
    // SetName: the last component of a valid path is replaced (a folder keeps its ":"); a path
    // with no component to replace becomes empty and invalid.
    bool SetName(const VString& inName);
    // On a folder path the name is added (a file in it); on a file path the last component is
    // replaced, keeping the old extension unless inWithExtension.
    bool SetFileName(const VString& inName, bool inWithExtension = true);
    // Valid folder paths only: the last component is replaced, keeping the old extension unless
    // inWithExtension.
    bool SetFolderName(const VString& inName, bool inWithExtension = true);
    // Valid paths only, by kind. A non-empty extension is added or replaces the old one; an
    // empty one removes it (from the last "." of the last component).
    bool SetExtension(const VString& inExtension);
    bool SetFileExtension(const VString& inExtension);
    bool SetFolderExtension(const VString& inExtension);
    // Trims white space (the international manager's spaces) at both ends and around every ":",
    // then checks the path again.
    VFilePath& RemoveBlanks();

    // Resolves the "../" and "./" steps of a POSIX path; false for a doubled separator. A ".."
    // at the top of an absolute path stays at its root; at the top of a relative one it is kept.
    static bool ResolveRelativePosix(VString& ioPath);
    // Resolves the parent steps of a colon path; false when they climb above its first component.
    static bool _ResolveRelative(VString& ioPath);
    // The parent steps of the components from inStart on (1-based), inSeparatorPos being the
    // separator that ends the first; ":" for colon paths, "/" or "\" for POSIX and Windows ones.
    // True when a step was resolved. Nothing is done when ioOK is already false or there is no
    // separator; a doubled "/" or "\" turns ioOK false and leaves the path as it was. A colon
    // path whose steps climb above its first component is left beginning with ":".
    static bool _ResolveStep(VString& ioPath, int32_t inStart, int32_t inSeparatorPos, bool& ioOK,
                             uint16_t inSeparator);
    static void _RemoveBlanks(VString& ioPath);
    static bool _GetParent(VString& ioPath);
    static bool _GetFolder(VString& ioPath);
    // No character is refused.
    static bool _CheckInvalidChars(const VString&) { return true; }

    CharSet DebugDump(char* ioBuffer, int& ioSize) const override;
    using VObject::DebugDump;

private:
    // Steps 2 to 4 of FromFullPath, on the string as it stands.
    void _Validate();
    // 1-based position of the last ":" before the last unit, or 0.
    int32_t _ParentColon() const;
    // 1-based position of the first unit of the last component (after the last ":" but a
    // trailing one), and its end (exclusive).
    void _LastComponent(int32_t& outStart, int32_t& outEnd) const;
    // GetFileName (inOfFolder false) and GetFolderName.
    void _GetLastName(VString& outName, bool inWithExtension, bool inOfFolder) const;

    VString fPath;
    bool fIsValid = false;
};

} // namespace kova
