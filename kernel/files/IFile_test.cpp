#include "kernel/files/IFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/IFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kova
{
namespace
{

// What a file and a folder held in memory share: a path and nothing on disk.
template <class Interface>
class MemoryObject : public Interface
{
public:
    explicit MemoryObject(const char16_t* inPath) : fPath(VString(inPath), FPS_SYSTEM) {}

    const VFilePath& GetPath() const override { return fPath; }
    VFileSystem* GetFileSystem() const override { return nullptr; }
    void GetPlatformPath(VString& outPath, FilePathStyle) const override { outPath.Clear(); }
    VString GetPathWithFileSystem() const override { return VString(); }
    IFolder* RetainParentFolder(bool) const override { return nullptr; }
    bool Exists() const override { return true; }
    VError GetTimeAttributes(VTime*, VTime*, VTime*) const override { return VE_OK; }

    VFilePath fPath;
};

// A file held in memory: the whole-content operations work on its bytes, and a read can be made
// to fail.
class MemoryFile : public MemoryObject<IFile>
{
public:
    using MemoryObject::MemoryObject;

    VError GetContent(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outContent) const override
    {
        if (fReadError != VE_OK)
            return fRaiseReadError ? (_ThrowError(fReadError), fReadError) : fReadError;
        if (!outContent.ResizeExactly(fBytes.size()))
            return VE_MEMORY_FULL;
        if (!fBytes.empty())
            std::memcpy(outContent.GetDataPtr(), fBytes.data(), fBytes.size());
        outContent.SetDataSize(fBytes.size());
        return VE_OK;
    }
    VError GetData(void*, size_t, size_t*) const override { return VE_UNIMPLEMENTED; }
    VError SetContent(const void* inData, size_t inSize) const override
    {
        const uint8_t* bytes = static_cast<const uint8_t*>(inData);
        fBytes.assign(bytes, bytes + inSize);
        ++fWrites;
        return VE_OK;
    }
    VError AppendContent(const void*, size_t) const override { return VE_UNIMPLEMENTED; }
    VError Delete() const override { return VE_UNIMPLEMENTED; }
    bool IsWritable() const override { return true; }
    VError GetSize(int64_t* outSize) const override { return *outSize = int64_t(fBytes.size()), VE_OK; }
    VError CopyTo(const VFile&, uint32_t) const override { return VE_UNIMPLEMENTED; }
    VError CopyTo(const VFolder&, VFile**, uint32_t) const override { return VE_UNIMPLEMENTED; }

    mutable std::vector<uint8_t> fBytes;
    mutable int fWrites = 0;
    VError fReadError = VE_OK;
    bool fRaiseReadError = true;
};

class MemoryFolder : public MemoryObject<IFolder>
{
public:
    using MemoryObject::MemoryObject;

    IFolder* RetainRelativeFolder(const VString&, FilePathStyle, VFileSystem*) const override
    {
        return nullptr;
    }
    VError GetElements(std::vector<VRefPtr<IFile>>*, std::vector<VRefPtr<IFolder>>*) const override
    {
        return VE_OK;
    }
    VError Iterate(std::function<bool(IFileAttributeAccessor*)>&&, uint32_t) const override { return VE_OK; }
    IFile* _RetainRelativeIFile(const VString&, FilePathStyle) const override { return nullptr; }
};

std::vector<uint8_t> Bytes(std::initializer_list<int> inBytes)
{
    std::vector<uint8_t> bytes;
    for (int byte : inBytes)
        bytes.push_back(uint8_t(byte));
    return bytes;
}

TEST(IFile, NamesComeFromThePath)
{
    VRefPtr<MemoryFile> file(new MemoryFile(u"v:dir:Report.TXT"));
    VString name;
    file->GetName(name);
    EXPECT_EQ(Text(name), u"Report.TXT");
    file->GetNameWithoutExtension(name);
    EXPECT_EQ(Text(name), u"Report");
    file->GetExtension(name);
    EXPECT_EQ(Text(name), u"TXT");
    EXPECT_TRUE(file->MatchExtension(VString(u"txt")));

    VRefPtr<MemoryFolder> folder(new MemoryFolder(u"v:Tool.app:"));
    folder->GetNameWithoutExtension(name);
    EXPECT_EQ(Text(name), u"Tool");
    VRefPtr<MemoryFolder> same(new MemoryFolder(u"v:Tool.app:"));
    VRefPtr<MemoryFolder> otherCase(new MemoryFolder(u"v:tool.app:"));
    EXPECT_TRUE(folder->IsSameFolder(same.Get()));
    EXPECT_FALSE(folder->IsSameFolder(otherCase.Get()));
    EXPECT_FALSE(folder->IsSameFolder(nullptr));
}

TEST(IFile, TextWithAndWithoutByteOrderMark)
{
    VRefPtr<MemoryFile> file(new MemoryFile(u"v:a.txt"));
    StErrorContextInstaller context(false, true);
    EXPECT_EQ(file->SetContentAsString(VString(u"h\u00E9"), VTC_UTF_8, eCRM_NONE, true), VE_OK);
    EXPECT_EQ(file->fBytes, Bytes({0xEF, 0xBB, 0xBF, 'h', 0xC3, 0xA9}));
    // An empty text empties the file, without a mark.
    EXPECT_EQ(file->SetContentAsString(VString(), VTC_UTF_8, eCRM_NONE, true), VE_OK);
    EXPECT_TRUE(file->fBytes.empty());
    EXPECT_EQ(file->SetContentAsString(VString(u"a\nb"), VTC_UTF_16, eCRM_CRLF, false), VE_OK);
    EXPECT_EQ(file->fBytes, Bytes({'a', 0, 13, 0, 10, 0, 'b', 0}));

    // A mark chooses the set, whatever was asked for.
    file->fBytes = Bytes({0xFF, 0xFE, 'o', 0, 'k', 0, 13, 0, 10, 0});
    VString text;
    EXPECT_EQ(file->GetContentAsString(text, VTC_UTF_8, eCRM_LF), VE_OK);
    EXPECT_EQ(Text(text), u"ok\n");
    file->fBytes = Bytes({'x', 13, 'y'});
    EXPECT_EQ(file->GetContentAsString(text, VTC_UTF_8, eCRM_NONE), VE_OK);
    EXPECT_EQ(Text(text), u"x\ry");
    EXPECT_EQ(context.GetLastError(), VE_OK);
}

TEST(IFile, FailuresAreReportedAndWriteNothing)
{
    VRefPtr<MemoryFile> file(new MemoryFile(u"v:a.txt"));
    StErrorContextInstaller outer(false, true);
    VString text(u"kept?");
    file->fReadError = VE_FILE_NOT_FOUND;
    EXPECT_EQ(file->GetContentAsString(text, VTC_UTF_8, eCRM_NONE), VE_FILE_NOT_FOUND);
    EXPECT_TRUE(text.IsEmpty());
    // A failure returned without being raised still reaches the caller.
    file->fRaiseReadError = false;
    text.FromString(VString(u"x"));
    EXPECT_EQ(file->GetContentAsString(text, VTC_UTF_8, eCRM_NONE), VE_FILE_NOT_FOUND);
    EXPECT_EQ(outer.GetLastError(), VE_FILE_NOT_FOUND);

    EXPECT_EQ(file->SetContentAsString(VString(u"x"), CharSet(9999), eCRM_NONE, false),
              VE_STREAM_NO_TEXT_CONVERTER);
    // A text that cannot be encoded whole: UTF-32 has no form for a lone surrogate.
    const UniChar cut[] = {u'a', 0xDC00};
    VString unfinished;
    unfinished.FromUniString(cut, 2);
    EXPECT_NE(file->SetContentAsString(unfinished, VTC_UTF_32, eCRM_NONE, false), VE_OK);
    EXPECT_EQ(file->fWrites, 0);
}

TEST(IFile, ReservedFileCharacters)
{
    struct EscapeCase
    {
        const char16_t* fName;
        const char16_t* fEncoded;
    };
    const EscapeCase cases[] = {
        {u"a:b?c", u"a%3Ab%3Fc"},
        {u"plain name.txt", u"plain name.txt"},
        {u"tab\there", u"tab%09here"},
        {u"caf\u00E9", u"caf\u00E9"},
        {u"\"%*/<>\\|", u"%22%25%2A%2F%3C%3E%5C%7C"},
    };
    for (const EscapeCase& c : cases)
    {
        const VString encoded = EncodeReservedFileCharacters(VString(c.fName));
        EXPECT_EQ(Text(encoded), c.fEncoded);
        EXPECT_EQ(Text(DecodeReservedFileCharacters(encoded)), c.fName);
    }
    EXPECT_EQ(Text(DecodeReservedFileCharacters(VString(u"100%"))), u"100%");
    EXPECT_EQ(Text(DecodeReservedFileCharacters(VString(u"%41"))), u"A");
    EXPECT_EQ(Text(DecodeReservedFileCharacters(VString(u"%4G"))), u"\u0004");
}

} // namespace
} // namespace kova
