#include "kernel/files/VFilePath.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileText.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFolder.h"
#include "kernel/files/VURL.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "platform/mac/files/XMacFile.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace kova
{

namespace
{

using Units = std::u16string_view;

bool EndsWithUnit(const VString& inText, UniChar inUnit)
{
    return !inText.IsEmpty() && inText.GetCPointer()[inText.GetLength() - 1] == inUnit;
}

bool Contains(const VString& inText, UniChar inUnit)
{
    return UnitsOf(inText).find(inUnit) != Units::npos;
}

// Name matching by the current dialect's rules (extensions are names, not path identity).
bool EndsWithCollated(const VString& inText, const VString& inSuffix, bool inDiacritical)
{
    VIntlMgr* manager = VTask::GetCurrentIntlManager();
    if (manager == nullptr || manager->GetCollator() == nullptr)
    {
        const Units text = UnitsOf(inText);
        const Units suffix = UnitsOf(inSuffix);
        return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
    }
    return manager->GetCollator()->EndsWithString(inText.GetCPointer(), inText.GetLength(),
                                                  inSuffix.GetCPointer(), inSuffix.GetLength(), inDiacritical,
                                                  nullptr);
}

bool IsBlank(VIntlMgr* inManager, UniChar inUnit)
{
    return inManager != nullptr && inManager->IsSpace(inUnit);
}

// Whether the name may stand as one component: not empty and without ":". Raises 614 if not.
bool CheckName(const VString& inName, bool inMayBeEmpty)
{
    if ((!inMayBeEmpty && inName.IsEmpty()) || Contains(inName, u':'))
    {
        _ThrowError(VE_FILE_BAD_NAME, &inName);
        return false;
    }
    return true;
}

// Whether a component of the colon syntax is "." or "..": on this platform such a name would be
// read by the file system as a step, so it is one in the colon syntax too.
bool IsDotStep(Units inComponent)
{
    return inComponent == u"." || inComponent == u"..";
}

// A name that changes no step once appended: not empty, without ":" or NUL, not "." or "..".
bool IsPlainComponent(const VString& inName)
{
    const Units name = UnitsOf(inName);
    return !name.empty() && name.find(u':') == Units::npos && name.find(u'\0') == Units::npos &&
           !IsDotStep(name);
}

bool HasDotStep(Units inPath, size_t inFrom)
{
    for (size_t start = inFrom; start <= inPath.size();)
    {
        size_t colon = inPath.find(u':', start);
        if (colon == Units::npos)
            colon = inPath.size();
        if (IsDotStep(inPath.substr(start, colon - start)))
            return true;
        start = colon + 1;
    }
    return false;
}

// Colon syntax: each empty component before a ":" goes one level up, and so does "..", while "."
// is no step at all; a last component "." or ".." names a folder. The first component, the
// volume, cannot be either: it climbs above the path.
bool ResolveColonSteps(VString& ioPath, size_t inFrom)
{
    const Units path = UnitsOf(ioPath);
    if (path.find(u"::", inFrom) == Units::npos && !HasDotStep(path, inFrom))
        return false;
    std::vector<Units> components;
    size_t climbs = 0;
    size_t start = inFrom;
    bool first = inFrom == 0;
    Units rest;
    for (;;)
    {
        const size_t colon = path.find(u':', start);
        const Units component = path.substr(start, colon == Units::npos ? Units::npos : colon - start);
        const bool last = colon == Units::npos;
        if (last && !IsDotStep(component))
        {
            rest = component;
            break;
        }
        const bool up = component.empty() || component == u"..";
        if (first && !up && component == u".")
            ++climbs; // no volume is named so
        else if (up && !components.empty())
            components.pop_back();
        else if (up)
            ++climbs;
        else if (component != u".")
            components.push_back(component);
        first = false;
        if (last)
            break;
        start = colon + 1;
    }
    std::u16string resolved(path.substr(0, inFrom));
    resolved.append(climbs, u':');
    for (const Units component : components)
    {
        resolved.append(component);
        resolved.push_back(u':');
    }
    resolved.append(rest);
    AssignUnits(ioPath, resolved);
    return true;
}

// "/" or "\\" syntax: "./" dropped, "../" takes the component before it away.
bool ResolveSeparatedSteps(VString& ioPath, size_t inFrom, UniChar inSeparator, bool& ioOK)
{
    const Units path = UnitsOf(ioPath);
    std::vector<Units> components;
    const bool absolute = inFrom == 0 && !path.empty() && path[0] == inSeparator;
    size_t start = absolute ? 1 : inFrom;
    bool changed = false;
    for (;;)
    {
        const size_t separator = path.find(inSeparator, start);
        if (separator == Units::npos)
            break;
        const Units component = path.substr(start, separator - start);
        if (component.empty())
        {
            ioOK = false;
            return false;
        }
        if (component == u".")
        {
            changed = true;
        }
        else if (component == u"..")
        {
            if (!components.empty() && components.back() != u"..")
            {
                components.pop_back();
                changed = true;
            }
            else if (absolute)
            {
                changed = true; // the root's parent is the root
            }
            else
            {
                components.push_back(component);
            }
        }
        else
        {
            components.push_back(component);
        }
        start = separator + 1;
    }
    if (!changed)
        return false;
    std::u16string resolved(path.substr(0, absolute ? 1 : inFrom));
    for (const Units component : components)
    {
        resolved.append(component);
        resolved.push_back(inSeparator);
    }
    resolved.append(path.substr(start));
    AssignUnits(ioPath, resolved);
    return true;
}

} // namespace

VFilePath::VFilePath() = default;

VFilePath::VFilePath(const VFilePath& inOther)
    : VObject(inOther), fPath(inOther.fPath), fIsValid(inOther.fIsValid)
{
}

VFilePath::VFilePath(const VString& inPath, FilePathStyle inStyle, bool inUnused)
{
    FromFullPath(inPath, inStyle, inUnused);
}

VFilePath::VFilePath(const VFilePath& inBase, const VString& inRelative, FilePathStyle inStyle,
                     bool inRelativeOnly)
{
    FromRelativePath(inBase, inRelative, inStyle, inRelativeOnly);
}

VFilePath& VFilePath::operator=(const VFilePath& inOther)
{
    return FromFilePath(inOther);
}

VFilePath::~VFilePath() = default;

void VFilePath::_Validate()
{
    fIsValid = false;
    if (fPath.IsEmpty() || fPath.GetCPointer()[0] == u':' || Contains(fPath, 0))
        return;
    bool ok = true;
    _ResolveStep(fPath, 1, 1, ok, u':');
    fIsValid = ok && (fPath.IsEmpty() || fPath.GetCPointer()[0] != u':');
}

VFilePath& VFilePath::FromFullPath(const VString& inPath, FilePathStyle inStyle, bool)
{
    VString path(inPath);
    if (inStyle == FPS_POSIX)
        VURL::Convert(path, eURL_POSIX_STYLE, eURL_HFS_STYLE, false);
    fPath.FromString(path);
    _Validate();
    return *this;
}

VFilePath& VFilePath::FromRelativePath(const VFilePath& inBase, const VString& inRelative,
                                       FilePathStyle inStyle, bool inRelativeOnly)
{
    if (inStyle == FPS_SYSTEM)
    {
        VString path(inBase.fPath);
        path.AppendString(inRelative);
        fPath.FromString(path);
    }
    else if (inStyle == FPS_POSIX)
    {
        VString relative(inRelative);
        if (inRelativeOnly)
        {
            if (!inBase.IsFolder())
            {
                Clear();
                return *this;
            }
            // Relative whatever it begins with: a leading "/" does not climb out of the base.
            int32_t slashes = 0;
            while (slashes < relative.GetLength() && relative.GetCPointer()[slashes] == u'/')
                ++slashes;
            if (slashes > 0)
                relative.Remove(1, slashes);
        }
        else if (!relative.IsEmpty() && relative.GetCPointer()[0] == u'/')
        {
            VURL::POSIX_to_HFS(relative);
            fPath.FromString(relative);
            _Validate();
            return *this;
        }
        VURL::POSIX_to_HFS(relative);
        VString path(inBase.fPath);
        path.AppendString(relative);
        fPath.FromString(path);
    }
    _Validate();
    return *this;
}

VFilePath& VFilePath::FromRelativePath(const VFolder& inBase, const VString& inRelative,
                                       FilePathStyle inStyle, bool inRelativeOnly)
{
    const VFilePath base(inBase.GetPath());
    return FromRelativePath(base, inRelative, inStyle, inRelativeOnly);
}

VFilePath& VFilePath::FromFilePath(const VFilePath& inOther)
{
    if (&inOther != this)
    {
        fPath.FromString(inOther.fPath);
        fIsValid = inOther.fIsValid;
    }
    return *this;
}

void VFilePath::Clear()
{
    fPath.Clear();
    fIsValid = false;
}

bool VFilePath::IsFolder() const
{
    return fIsValid && EndsWithUnit(fPath, u':');
}

bool VFilePath::IsFile() const
{
    return fIsValid && !fPath.IsEmpty() && !EndsWithUnit(fPath, u':');
}

int32_t VFilePath::_ParentColon() const
{
    if (!fIsValid || fPath.GetLength() < 2)
        return 0;
    const Units path = UnitsOf(fPath);
    const size_t colon = path.rfind(u':', path.size() - 2);
    return colon == Units::npos ? 0 : int32_t(colon) + 1;
}

void VFilePath::_LastComponent(int32_t& outStart, int32_t& outEnd) const
{
    const Units path = UnitsOf(fPath);
    size_t end = path.size();
    if (end > 0 && path[end - 1] == u':')
        --end;
    const size_t colon = end == 0 ? Units::npos : path.rfind(u':', end - 1);
    outStart = colon == Units::npos ? 1 : int32_t(colon) + 2;
    outEnd = int32_t(end) + 1;
}

bool VFilePath::HasParent() const
{
    return _ParentColon() > 0;
}

int32_t VFilePath::GetDepth() const
{
    if (!fIsValid || fPath.IsEmpty())
        return 0;
    const Units path = UnitsOf(fPath);
    int32_t depth = 0;
    for (UniChar unit : path)
        depth += unit == u':' ? 1 : 0;
    return path.back() == u':' ? depth : depth + 1;
}

bool VFilePath::IsChildOfRawPath(const VFilePath& inFolder) const
{
    if (!fIsValid || !inFolder.IsFolder())
        return false;
    const Units path = UnitsOf(fPath);
    const Units folder = UnitsOf(inFolder.fPath);
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder;
}

bool VFilePath::IsChildOf(const VFilePath& inFolder) const
{
    // Path identity is exact on this platform.
    return IsChildOfRawPath(inFolder);
}

bool VFilePath::IsSameOrChildOf(const VFilePath& inFolder) const
{
    return IsChildOfRawPath(inFolder) ||
           (fIsValid && inFolder.IsFolder() && UnitsOf(fPath) == UnitsOf(inFolder.fPath));
}

bool VFilePath::MatchExtension(const VString& inExtension, bool inDiacritical) const
{
    VString suffix(u".");
    suffix.AppendString(inExtension);
    if (IsFolder())
        suffix.AppendUniChar(u':');
    return EndsWithCollated(fPath, suffix, inDiacritical);
}

void VFilePath::GetPosixPath(VString& outPath) const
{
    outPath.Clear();
    // An empty path names nothing: it must not become the root.
    if (fIsValid && !fPath.IsEmpty())
        XMacFile::HFSFullPathToPosix(fPath, outPath);
}

bool VFilePath::_GetRelativePath(const VFilePath& inFolder, VString& outPath) const
{
    if (!inFolder.IsFolder())
        return false;
    const Units path = UnitsOf(fPath);
    const Units folder = UnitsOf(inFolder.fPath);
    if (path.size() < folder.size() || path.substr(0, folder.size()) != folder)
        return false;
    AssignUnits(outPath, path.substr(folder.size()));
    return true;
}

bool VFilePath::GetRelativePath(const VFilePath& inFolder, VString& outPath) const
{
    if (_GetRelativePath(inFolder, outPath))
        return true;
    outPath.FromString(fPath);
    return false;
}

bool VFilePath::GetRelativePosixPath(const VFilePath& inFolder, VString& outPath) const
{
    VString rest;
    if (_GetRelativePath(inFolder, rest))
    {
        VURL::HFS_to_POSIX(rest, true);
        outPath.FromString(rest);
        return true;
    }
    GetPosixPath(outPath);
    return false;
}

bool VFilePath::_GetParent(VString& ioPath)
{
    const Units path = UnitsOf(ioPath);
    if (path.size() < 2)
        return false;
    const size_t colon = path.rfind(u':', path.size() - 2);
    if (colon == Units::npos)
        return false;
    ioPath.Truncate(int32_t(colon) + 1);
    return true;
}

bool VFilePath::GetParent(VFilePath& outParent) const
{
    outParent.FromFilePath(*this);
    return fIsValid ? outParent.ToParent().IsValid() : (outParent.Clear(), false);
}

VFilePath& VFilePath::ToParent()
{
    if (!fIsValid || !_GetParent(fPath))
        Clear();
    return *this;
}

bool VFilePath::_GetFolder(VString& ioPath)
{
    if (EndsWithUnit(ioPath, u':'))
        return true;
    const size_t colon = UnitsOf(ioPath).rfind(u':');
    if (colon == Units::npos)
    {
        ioPath.Clear();
        return false;
    }
    ioPath.Truncate(int32_t(colon) + 1);
    return true;
}

VFilePath& VFilePath::ToFolder()
{
    if (fIsValid && !_GetFolder(fPath))
        Clear();
    return *this;
}

bool VFilePath::GetFolder(VFilePath& outFolder) const
{
    outFolder.FromFilePath(*this);
    outFolder.ToFolder();
    return outFolder.IsValid();
}

VFilePath& VFilePath::ToSubFolder(const VString& inName)
{
    if (IsFolder())
    {
        // A plain name keeps a valid folder path valid: only another one has the whole path looked
        // at again (a folder walk names thousands of items this way).
        const bool plain = IsPlainComponent(inName);
        fPath.AppendString(inName);
        fPath.AppendUniChar(u':');
        if (!plain)
            _Validate();
    }
    return *this;
}

VFilePath& VFilePath::ToSubFile(const VString& inName)
{
    if (IsFolder())
    {
        const bool plain = IsPlainComponent(inName);
        fPath.AppendString(inName);
        if (!plain)
            _Validate();
    }
    return *this;
}

void VFilePath::GetName(VString& outName) const
{
    int32_t start = 0;
    int32_t end = 0;
    _LastComponent(start, end);
    if (UnitsOf(fPath).find(u':') == Units::npos)
        outName.FromString(fPath);
    else
        AssignUnits(outName, UnitsOf(fPath).substr(size_t(start - 1), size_t(end - start)));
}

void VFilePath::_GetLastName(VString& outName, bool inWithExtension, bool inOfFolder) const
{
    outName.Clear();
    if (inOfFolder ? !IsFolder() : !IsFile())
        return;
    GetName(outName);
    const size_t dot = UnitsOf(outName).rfind(u'.');
    if (!inWithExtension && dot != std::u16string_view::npos)
        outName.Truncate(int32_t(dot));
}

void VFilePath::GetFileName(VString& outName, bool inWithExtension) const
{
    _GetLastName(outName, inWithExtension, false);
}

void VFilePath::GetFolderName(VString& outName, bool inWithExtension) const
{
    _GetLastName(outName, inWithExtension, true);
}

void VFilePath::GetExtension(VString& outExtension) const
{
    outExtension.Clear();
    int32_t start = 0;
    int32_t end = 0;
    _LastComponent(start, end);
    const Units name = UnitsOf(fPath).substr(size_t(start - 1), size_t(end - start));
    const size_t dot = name.rfind(u'.');
    if (dot != Units::npos && dot + 1 < name.size())
        AssignUnits(outExtension, name.substr(dot + 1));
}

bool VFilePath::SetName(const VString& inName)
{
    if (!CheckName(inName, false))
        return false;
    if (!fIsValid)
        return false;
    const bool folder = IsFolder();
    VString path(fPath);
    if (folder ? _GetParent(path) : _GetFolder(path))
    {
        path.AppendString(inName);
        if (folder)
            path.AppendUniChar(u':');
        fPath.FromString(path);
        _Validate();
    }
    else
    {
        Clear();
    }
    return fIsValid;
}

bool VFilePath::SetFileName(const VString& inName, bool inWithExtension)
{
    if (!CheckName(inName, false))
        return false;
    if (IsFolder())
    {
        fPath.AppendString(inName);
        _Validate();
        return fIsValid;
    }
    if (!IsFile())
        return false;
    VString extension;
    GetExtension(extension);
    VString path(fPath);
    if (!_GetFolder(path))
        path.Clear();
    path.AppendString(inName);
    if (!inWithExtension && !extension.IsEmpty())
    {
        path.AppendUniChar(u'.');
        path.AppendString(extension);
    }
    fPath.FromString(path);
    _Validate();
    return fIsValid;
}

bool VFilePath::SetFolderName(const VString& inName, bool inWithExtension)
{
    if (!CheckName(inName, false) || !IsFolder())
        return false;
    VString extension;
    GetExtension(extension);
    VString path(fPath);
    if (!_GetParent(path))
    {
        Clear();
        return false;
    }
    path.AppendString(inName);
    if (!inWithExtension && !extension.IsEmpty())
    {
        path.AppendUniChar(u'.');
        path.AppendString(extension);
    }
    path.AppendUniChar(u':');
    fPath.FromString(path);
    _Validate();
    return fIsValid;
}

bool VFilePath::SetExtension(const VString& inExtension)
{
    if (IsFile())
        return SetFileExtension(inExtension);
    if (IsFolder())
        return SetFolderExtension(inExtension);
    return false;
}

bool VFilePath::SetFileExtension(const VString& inExtension)
{
    if (!CheckName(inExtension, true) || !IsFile())
        return false;
    int32_t start = 0;
    int32_t end = 0;
    _LastComponent(start, end);
    const Units name = UnitsOf(fPath).substr(size_t(start - 1), size_t(end - start));
    const size_t dot = name.rfind(u'.');
    VString path(fPath);
    if (inExtension.IsEmpty())
    {
        if (dot != Units::npos)
            path.Truncate(start - 1 + int32_t(dot));
    }
    else
    {
        if (dot == Units::npos)
            path.AppendUniChar(u'.');
        else
            path.Truncate(start + int32_t(dot));
        path.AppendString(inExtension);
    }
    // A name made only of its extension cannot lose it.
    if (path.IsEmpty() || EndsWithUnit(path, u':'))
        return fIsValid;
    fPath.FromString(path);
    _Validate();
    return fIsValid;
}

bool VFilePath::SetFolderExtension(const VString& inExtension)
{
    if (!CheckName(inExtension, true) || !IsFolder())
        return false;
    // The name without its ":" is a file name: the same rules apply to it.
    fPath.Truncate(fPath.GetLength() - 1);
    if (IsFile())
        SetFileExtension(inExtension);
    fPath.AppendUniChar(u':');
    _Validate();
    return fIsValid;
}

void VFilePath::_RemoveBlanks(VString& ioPath)
{
    VIntlMgr* manager = VTask::GetCurrentIntlManager();
    const Units path = UnitsOf(ioPath);
    std::u16string trimmed;
    trimmed.reserve(path.size());
    size_t start = 0;
    for (;;)
    {
        const size_t colon = path.find(u':', start);
        size_t end = colon == Units::npos ? path.size() : colon;
        size_t first = start;
        while (first < end && IsBlank(manager, path[first]))
            ++first;
        while (end > first && IsBlank(manager, path[end - 1]))
            --end;
        trimmed.append(path.substr(first, end - first));
        if (colon == Units::npos)
            break;
        trimmed.push_back(u':');
        start = colon + 1;
    }
    if (trimmed.size() != path.size())
        AssignUnits(ioPath, trimmed);
}

VFilePath& VFilePath::RemoveBlanks()
{
    _RemoveBlanks(fPath);
    _Validate();
    return *this;
}

bool VFilePath::_ResolveStep(VString& ioPath, int32_t inStart, int32_t inSeparatorPos, bool& ioOK,
                             uint16_t inSeparator)
{
    if (!ioOK || inSeparatorPos < 1 || inStart < 1 || inStart > ioPath.GetLength() + 1)
        return false;
    if (inSeparator == u':')
        return ResolveColonSteps(ioPath, size_t(inStart - 1));
    return ResolveSeparatedSteps(ioPath, size_t(inStart - 1), UniChar(inSeparator), ioOK);
}

bool VFilePath::ResolveRelativePosix(VString& ioPath)
{
    bool ok = true;
    if (!ioPath.IsEmpty())
        _ResolveStep(ioPath, 1, 1, ok, u'/');
    return ok;
}

bool VFilePath::_ResolveRelative(VString& ioPath)
{
    bool ok = true;
    if (!ioPath.IsEmpty())
        _ResolveStep(ioPath, 1, 1, ok, u':');
    return ok && (ioPath.IsEmpty() || ioPath.GetCPointer()[0] != u':');
}

CharSet VFilePath::DebugDump(char* ioBuffer, int& ioSize) const
{
    return DumpTextTo(fPath, ioBuffer, ioSize);
}

} // namespace kova
