#include "kernel/files/IFileSystemObject.h"

#include "kernel/files/FileText.h"
#include "kernel/files/IFile.h"
#include "kernel/files/IFolder.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VURL.h"
#include "kernel/json/VJSONValue.h"

#include <string>

namespace kova
{

namespace
{

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Units 0 to 128 that may not stand in a file name.
constexpr bool IsReserved(UniChar inUnit)
{
    if (inUnit > 128)
        return false;
    if (inUnit < 0x20)
        return true;
    switch (inUnit)
    {
    case u'"':
    case u'%':
    case u'*':
    case u'/':
    case u':':
    case u'<':
    case u'>':
    case u'?':
    case u'\\':
    case u'|':
        return true;
    default:
        return false;
    }
}

} // namespace

IFileSystemObject::~IFileSystemObject() = default;

void IFileSystemObject::_MakeURL(VString& outURL, bool inEncoded) const
{
    VURL(GetPath()).GetAbsoluteURL(outURL, inEncoded);
}

void IFileSystemObject::_MakeRelativeURL(const IFileSystemObject* inBase, VString& outURL,
                                         bool inEncoded) const
{
    _MakeURL(outURL, inEncoded);
    if (inBase != nullptr)
    {
        VString base;
        inBase->_MakeURL(base, inEncoded);
        if (!base.IsEmpty() && outURL.BeginsWithRawString(base))
            outURL.Remove(1, base.GetLength());
    }
}

void IFileSystemObject::GetName(VString& outName) const
{
    GetPath().GetName(outName);
}

void IFileSystemObject::GetExtension(VString& outExtension) const
{
    GetPath().GetExtension(outExtension);
}

bool IFileSystemObject::MatchExtension(const VString& inExtension) const
{
    return GetPath().MatchExtension(inExtension, false);
}

VString IFileSystemObject::_MakePathWithFileSystem() const
{
    VString posixPath;
    GetPlatformPath(posixPath, FPS_POSIX);
    const VFileSystem* fileSystem = GetFileSystem();
    return fileSystem != nullptr ? fileSystem->MakePathWithFileSystem(GetPath(), posixPath) : posixPath;
}

IFile::~IFile() = default;

void IFile::GetNameWithoutExtension(VString& outName) const
{
    GetPath().GetFileName(outName, false);
}

IFolder::~IFolder() = default;

void IFolder::GetNameWithoutExtension(VString& outName) const
{
    GetPath().GetFolderName(outName, false);
}

bool IFolder::IsSameFolder(const IFolder* inOther) const
{
    if (inOther == nullptr)
        return false;
    const VString& path = GetPath().GetPath();
    const VString& other = inOther->GetPath().GetPath();
    return path.GetLength() == other.GetLength() &&
           std::u16string_view(path.GetCPointer(), size_t(path.GetLength())) ==
               std::u16string_view(other.GetCPointer(), size_t(other.GetLength()));
}

VString EncodeReservedFileCharacters(const VString& inName)
{
    const UniChar* units = inName.GetCPointer();
    const int32_t length = inName.GetLength();
    int32_t count = 0;
    for (int32_t i = 0; i < length; ++i)
        count += IsReserved(units[i]) ? 1 : 0;
    if (count == 0)
        return inName;
    std::u16string encoded;
    encoded.reserve(size_t(length) + 2 * size_t(count));
    for (int32_t i = 0; i < length; ++i)
    {
        if (IsReserved(units[i]))
        {
            encoded.push_back(u'%');
            encoded.push_back(UniChar(kHexDigits[(units[i] >> 4) & 0x0F]));
            encoded.push_back(UniChar(kHexDigits[units[i] & 0x0F]));
        }
        else
        {
            encoded.push_back(units[i]);
        }
    }
    VString result;
    result.FromUniString(encoded.data(), int32_t(encoded.size()));
    return result;
}

VString DecodeReservedFileCharacters(const VString& inName)
{
    const UniChar* units = inName.GetCPointer();
    const int32_t length = inName.GetLength();
    if (std::u16string_view(units, size_t(length)).find(u'%') == std::u16string_view::npos)
        return inName;
    std::u16string decoded;
    decoded.reserve(size_t(length));
    for (int32_t i = 0; i < length; ++i)
    {
        if (units[i] == u'%' && i + 2 < length)
        {
            // Read as a hexadecimal number: a unit that is no digit is skipped.
            int value = 0;
            for (int32_t digit = i + 1; digit <= i + 2; ++digit)
            {
                if (HexDigitValue(units[digit]) >= 0)
                    value = value * 16 + HexDigitValue(units[digit]);
            }
            decoded.push_back(UniChar(value));
            i += 2;
        }
        else
        {
            decoded.push_back(units[i]);
        }
    }
    VString result;
    result.FromUniString(decoded.data(), int32_t(decoded.size()));
    return result;
}

// ---------------------------------------------------------------------------------------------
// JSON hooks

namespace
{

FileExtractor sFileExtractor = nullptr;
FolderExtractor sFolderExtractor = nullptr;
FileWrapper sFileWrapper = nullptr;
FolderWrapper sFolderWrapper = nullptr;

} // namespace

void SetFileFolderExtractorAndWrapper(FileExtractor inFileExtractor, FolderExtractor inFolderExtractor,
                                      FileWrapper inFileWrapper, FolderWrapper inFolderWrapper)
{
    sFileExtractor = inFileExtractor;
    sFolderExtractor = inFolderExtractor;
    sFileWrapper = inFileWrapper;
    sFolderWrapper = inFolderWrapper;
}

IFile* ExtractFile(const VJSONValue& inValue)
{
    return sFileExtractor != nullptr ? sFileExtractor(inValue) : nullptr;
}

IFolder* ExtractFolder(const VJSONValue& inValue)
{
    return sFolderExtractor != nullptr ? sFolderExtractor(inValue) : nullptr;
}

VJSONValue WrapFile(IFile* inFile)
{
    return sFileWrapper != nullptr ? sFileWrapper(inFile) : VJSONValue(VJSONValue::sUndefined);
}

VJSONValue WrapFolder(IFolder* inFolder)
{
    return sFolderWrapper != nullptr ? sFolderWrapper(inFolder) : VJSONValue(VJSONValue::sUndefined);
}

} // namespace kova
