// Test helpers of the JSON classes: texts from UTF-8, values parsed and written in one call, and
// the error records a scope collected.
#pragma once

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/IFile.h"
#include "kernel/files/IFolder.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/json/VJSONWriter.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <string>
#include <vector>

namespace kova::testing_json
{

// Counts the destruction of the objects it is the delegate of (from any task).
class Probe : public IJSONObject
{
public:
    explicit Probe(std::atomic<int>& ioDestroyed) : fDestroyed(ioDestroyed) {}
    ~Probe() override { ++fDestroyed; }

private:
    std::atomic<int>& fDestroyed;
};

// Objects whose destruction is counted; shared ones have an adoptable locker.
class Tracker
{
public:
    VJSONValue Make(bool inShared = false)
    {
        VRefPtr<Probe> probe(new Probe(fDestroyed));
        VRefPtr<VJSONObject> object(new VJSONObject(nullptr, probe.Get(), inShared));
        ++fMade;
        return VJSONValue(object.Get());
    }
    int Destroyed() const { return fDestroyed; }
    int Alive() const { return fMade - fDestroyed; }

private:
    std::atomic<int> fMade{0};
    std::atomic<int> fDestroyed{0};
};

// A file on disk reached through the file interface alone: its whole content read and written
// with the C++ library. A file that does not exist cannot be read (kova 600).
class DiskFile : public IFile
{
public:
    explicit DiskFile(const std::string& inPosixPath)
        : fPosixPath(inPosixPath),
          fPath(VString(inPosixPath.data(), inPosixPath.size(), VTC_UTF_8), FPS_POSIX)
    {
    }

    std::string ReadBytes() const
    {
        std::ifstream in(fPosixPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteBytes(const std::string& inBytes) const
    {
        std::ofstream(fPosixPath, std::ios::binary | std::ios::trunc) << inBytes;
    }

    const VFilePath& GetPath() const override { return fPath; }
    VFileSystem* GetFileSystem() const override { return nullptr; }
    void GetPlatformPath(VString& outPath, FilePathStyle) const override
    {
        outPath = VString(fPosixPath.data(), fPosixPath.size(), VTC_UTF_8);
    }
    VString GetPathWithFileSystem() const override { return VString(); }
    IFolder* RetainParentFolder(bool) const override { return nullptr; }
    bool Exists() const override { return std::ifstream(fPosixPath).good(); }
    VError GetTimeAttributes(VTime*, VTime*, VTime*) const override { return VE_OK; }
    VError GetContent(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outContent) const override
    {
        if (!Exists())
        {
            _ThrowError(VE_FILE_NOT_FOUND);
            return VE_FILE_NOT_FOUND;
        }
        std::string bytes = ReadBytes();
        if (!outContent.ResizeExactly(bytes.size()))
            return VE_MEMORY_FULL;
        std::copy(bytes.begin(), bytes.end(), static_cast<char*>(outContent.GetDataPtr()));
        outContent.SetDataSize(bytes.size());
        return VE_OK;
    }
    VError GetData(void*, size_t, size_t*) const override { return VE_UNIMPLEMENTED; }
    VError SetContent(const void* inData, size_t inSize) const override
    {
        WriteBytes(std::string(static_cast<const char*>(inData), inSize));
        return VE_OK;
    }
    VError AppendContent(const void*, size_t) const override { return VE_UNIMPLEMENTED; }
    VError Delete() const override
    {
        return std::remove(fPosixPath.c_str()) == 0 ? VE_OK : VE_FILE_NOT_FOUND;
    }
    bool IsWritable() const override { return true; }
    VError GetSize(int64_t* outSize) const override { return *outSize = int64_t(ReadBytes().size()), VE_OK; }
    VError CopyTo(const VFile&, uint32_t) const override { return VE_UNIMPLEMENTED; }
    VError CopyTo(const VFolder&, VFile**, uint32_t) const override { return VE_UNIMPLEMENTED; }

private:
    std::string fPosixPath;
    VFilePath fPath;
};

// A file in a temporary folder of its own, removed with it.
class StTemporaryFile
{
public:
    explicit StTemporaryFile(const char* inName)
    {
        char pattern[] = "/tmp/kova-json-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            fFolder = pattern;
        fFile = VRefPtr<DiskFile>(new DiskFile(fFolder + "/" + inName));
    }
    ~StTemporaryFile()
    {
        fFile->Delete();
        rmdir(fFolder.c_str());
    }
    StTemporaryFile(const StTemporaryFile&) = delete;
    StTemporaryFile& operator=(const StTemporaryFile&) = delete;

    DiskFile* operator->() const { return fFile.Get(); }
    DiskFile* Get() const { return fFile.Get(); }

private:
    std::string fFolder;
    VRefPtr<DiskFile> fFile;
};

inline VString U8(const std::string& inText)
{
    return VString(inText.data(), inText.size(), VTC_UTF_8);
}

inline std::string ToU8(const VString& inText)
{
    std::string bytes;
    for (int32_t i = 0; i < inText.GetLength(); ++i)
    {
        uint32_t unit = inText.GetCPointer()[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < inText.GetLength())
        {
            uint32_t low = inText.GetCPointer()[i + 1];
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (unit < 0x80)
            bytes += char(unit);
        else if (unit < 0x800)
            bytes += {char(0xC0 | (unit >> 6)), char(0x80 | (unit & 0x3F))};
        else if (unit < 0x10000)
            bytes +=
                {char(0xE0 | (unit >> 12)), char(0x80 | ((unit >> 6) & 0x3F)), char(0x80 | (unit & 0x3F))};
        else
            bytes += {char(0xF0 | (unit >> 18)), char(0x80 | ((unit >> 12) & 0x3F)),
                      char(0x80 | ((unit >> 6) & 0x3F)), char(0x80 | (unit & 0x3F))};
    }
    return bytes;
}

// The codes a scope collected, oldest first. The scope keeps nothing for its enclosing one.
class StCollectErrors
{
public:
    StCollectErrors() : fErrors(false, true) {}

    std::vector<VError> Codes() const
    {
        std::vector<VError> codes;
        VErrorContext* context = fErrors.GetContext();
        for (size_t i = 1; context != nullptr && i <= context->GetErrorCount(); ++i)
            codes.push_back(context->GetNthError(i)->GetError());
        return codes;
    }
    // A parameter of the nth error (1-based), as text.
    std::string Param(size_t inIndex, const char* inName) const
    {
        VErrorContext* context = fErrors.GetContext();
        VString text;
        if (context != nullptr && inIndex >= 1 && inIndex <= context->GetErrorCount())
            context->GetNthError(inIndex)->GetBag()->GetString(inName, text);
        return ToU8(text);
    }
    void Flush() const
    {
        if (fErrors.GetContext() != nullptr)
            fErrors.GetContext()->Flush();
    }

private:
    StErrorContextInstaller fErrors;
};

inline std::string Write(const VJSONValue& inValue, uint32_t inFlags = 1, VError* outError = nullptr)
{
    VString text;
    VError error = inValue.Stringify(text, inFlags);
    if (outError != nullptr)
        *outError = error;
    return ToU8(text);
}

inline VJSONValue Parse(const std::string& inText, uint32_t inOptions = 0, VError* outError = nullptr)
{
    VJSONValue value;
    VError error = VJSONImporter::ParseString(U8(inText), value, inOptions);
    if (outError != nullptr)
        *outError = error;
    return value;
}

} // namespace kova::testing_json

#include "kernel/json/StJSONNesting.h"

#ifdef KOVA_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <unistd.h>

namespace kova::testing_json
{

// Allocations made in the scope are not reported as leaks (LeakSanitizer only).
#ifdef KOVA_ADDRESS_SANITIZER
using StLeaksIgnored = __lsan::ScopedDisabler;
#else
struct StLeaksIgnored
{
};
#endif

// The calling thread writes and reads numbers with a decimal comma (de_DE) for one scope. The
// locale is compiled once into a temporary folder; IsAvailable is false when the system cannot
// make it (the test then skips).
class StCommaDecimalLocale
{
public:
    StCommaDecimalLocale()
    {
        static const locale_t sComma = Make();
        if (sComma != locale_t(nullptr))
            fPrevious = uselocale(sComma);
    }
    ~StCommaDecimalLocale()
    {
        if (fPrevious != locale_t(nullptr))
            uselocale(fPrevious);
    }
    StCommaDecimalLocale(const StCommaDecimalLocale&) = delete;
    StCommaDecimalLocale& operator=(const StCommaDecimalLocale&) = delete;

    bool IsAvailable() const { return fPrevious != locale_t(nullptr); }

private:
    static locale_t Make()
    {
        if (locale_t ready = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", locale_t(nullptr)))
            return ready;
        std::string folder = "/tmp/kova-locale-" + std::to_string(getpid());
        std::string command = "localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(("mkdir -p " + folder + " && " + command).c_str()) != 0)
            return locale_t(nullptr);
        const char* saved = std::getenv("LOCPATH");
        std::string savedPath = saved != nullptr ? saved : "";
        setenv("LOCPATH", folder.c_str(), 1);
        locale_t made;
        {
            // The C library keeps its reading of LOCPATH for good: no leak of ours.
            [[maybe_unused]] StLeaksIgnored ignored;
            made = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", locale_t(nullptr));
        }
        if (saved != nullptr)
            setenv("LOCPATH", savedPath.c_str(), 1);
        else
            unsetenv("LOCPATH");
        std::system(("rm -rf " + folder).c_str());
        return made;
    }

    locale_t fPrevious = locale_t(nullptr);
};

} // namespace kova::testing_json
