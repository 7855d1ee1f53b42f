#include "kernel/files/VFilePath.h"

#include "platform/mac/files/XMacFile.h"

#include <vector>

namespace kova
{

namespace
{

// Resolves the parent steps of a colon path: each colon that directly follows another removes
// the component before it. False when a step climbs above the first component.
bool ResolveParentSteps(VString& ioPath)
{
    const UniChar* units = ioPath.GetCPointer();
    const int32_t length = ioPath.GetLength();
    std::vector<std::pair<int32_t, int32_t>> components; // start, length
    int32_t start = 0;
    bool changed = false;
    for (int32_t i = 0; i < length; ++i)
    {
        if (units[i] != u':')
            continue;
        if (i == start && i > 0)
        {
            // An empty component between two colons: one level up.
            if (components.empty())
                return false;
            components.pop_back();
            changed = true;
        }
        else
        {
            components.emplace_back(start, i - start);
        }
        start = i + 1;
    }
    if (!changed)
        return true;
    VString resolved;
    for (const auto& [componentStart, componentLength] : components)
    {
        resolved.AppendUniChars(units + componentStart, componentLength);
        resolved.AppendUniChar(u':');
    }
    resolved.AppendUniChars(units + start, length - start);
    ioPath.FromString(resolved);
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

VFilePath& VFilePath::operator=(const VFilePath& inOther)
{
    return FromFilePath(inOther);
}

VFilePath::~VFilePath() = default;

VFilePath& VFilePath::FromFullPath(const VString& inPath, FilePathStyle inStyle, bool)
{
    fPath.FromString(inPath);
    fIsValid = false;
    if (inStyle != FPS_SYSTEM || fPath.IsEmpty() || fPath.GetCPointer()[0] == u':')
        return *this;
    for (int32_t i = 0; i < fPath.GetLength(); ++i)
    {
        if (fPath.GetCPointer()[i] == 0)
            return *this;
    }
    fIsValid = ResolveParentSteps(fPath) && (fPath.IsEmpty() || fPath.GetCPointer()[0] != u':');
    return *this;
}

VFilePath& VFilePath::FromFilePath(const VFilePath& inOther)
{
    fPath.FromString(inOther.fPath);
    fIsValid = inOther.fIsValid;
    return *this;
}

void VFilePath::Clear()
{
    fPath.Clear();
    fIsValid = false;
}

bool VFilePath::IsFolder() const
{
    return fIsValid && !fPath.IsEmpty() && fPath.GetCPointer()[fPath.GetLength() - 1] == u':';
}

bool VFilePath::IsFile() const
{
    return fIsValid && !fPath.IsEmpty() && fPath.GetCPointer()[fPath.GetLength() - 1] != u':';
}

void VFilePath::GetPosixPath(VString& outPath) const
{
    outPath.Clear();
    if (fIsValid)
        XMacFile::HFSFullPathToPosix(fPath, outPath);
}

VFilePath& VFilePath::ToFolder()
{
    if (!fIsValid || IsFolder())
        return *this;
    int32_t last = fPath.GetLength() - 1;
    while (last >= 0 && fPath.GetCPointer()[last] != u':')
        --last;
    if (last < 0)
        Clear();
    else
        fPath.Truncate(last + 1);
    return *this;
}

VFilePath& VFilePath::ToSubFolder(const VString& inName)
{
    if (IsFolder())
    {
        fPath.AppendString(inName);
        fPath.AppendUniChar(u':');
    }
    return *this;
}

VFilePath& VFilePath::ToSubFile(const VString& inName)
{
    if (IsFolder())
        fPath.AppendString(inName);
    return *this;
}

} // namespace kova
