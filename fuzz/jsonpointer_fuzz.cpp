// The pointer resolver over a crafted document and crafted pointers: the first line of the input
// is a JSON text, each further line a "$ref" text. Every pointer resolves or records an error,
// references in the document are expanded without end even when they form cycles, and with
// neither folder nor namespace no file is ever read.
//
// With a base folder (made once per run: files that refer to each other, links, and a file
// outside that holds a marker), nothing outside the folder is ever read: the marker never shows
// in a result and the outside file never enters the cache.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPointerResolver.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VRefPtr.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

using namespace kova;

namespace
{

constexpr std::u16string_view kMarker = u"kova-outside-7c1e5a";

struct Scratch
{
    VRefPtr<VFolder> fBase;
    VFilePath fOutside;
};

void WriteText(const std::string& inPath, const std::string& inText)
{
    std::ofstream(inPath, std::ios::binary | std::ios::trunc) << inText;
}

VFilePath PosixPath(const std::string& inPath)
{
    return VFilePath(VString(inPath.data(), inPath.size(), VTC_UTF_8), FPS_POSIX);
}

// base/a.json, base/sub/b.json and links out of base to outside/secret.json.
const Scratch& GetScratch()
{
    static const Scratch sScratch = []
    {
        namespace fs = std::filesystem;
        const std::string root = fuzz::NewScratchFolder("jsonpointer");
        fs::create_directories(root + "/base/sub");
        fs::create_directories(root + "/outside");
        const std::string marker(kMarker.begin(), kMarker.end());
        const std::string secret = "{\"s\":\"" + marker + "\",\"t\":[\"" + marker + "\"]}";
        WriteText(root + "/outside/secret.json", secret);
        WriteText(root + "/base/a.json",
                  R"({"x":[1,{"$ref":"#/x/0"}],"y":{"$ref":"sub/b.json#/z"},"o":{"$ref":"link.json#/s"}})");
        WriteText(root + "/base/sub/b.json",
                  R"({"z":{"$ref":"../a.json#/x"},"w":{"$ref":"../../outside/secret.json#/t"}})");
        std::error_code ignored;
        fs::create_symlink(root + "/outside/secret.json", root + "/base/link.json", ignored);
        fs::create_symlink("../outside", root + "/base/linkdir", ignored);
        fs::create_symlink("../../outside/secret.json", root + "/base/sub/up.json", ignored);
        Scratch scratch;
        scratch.fBase = VRefPtr<VFolder>(new VFolder(PosixPath(root + "/base/")));
        scratch.fOutside = PosixPath(root + "/outside/secret.json");
        return scratch;
    }();
    return sScratch;
}

// Unit for unit: no collation may find the marker where it is not.
bool HoldsMarker(const VString& inText)
{
    return fuzz::Units(inText).find(kMarker) != std::u16string::npos;
}

void ResolveAll(const VString& inDocument, const std::vector<VString>& inPointers, bool inMarkerInInput)
{
    VJSONValue document;
    VJSONImporter::ParseString(inDocument, document, 0);
    // The fuzzer may learn the marker from the checks themselves: a result may then hold what the
    // input brought, also through escapes.
    VString read;
    document.Stringify(read, 0);
    inMarkerInInput = inMarkerInInput || HoldsMarker(read);
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    const Scratch& scratch = GetScratch();
    VRefPtr<VJSONPointerResolver> inFolder(
        new VJSONPointerResolver(document, scratch.fBase.Get(), nullptr, nullptr));
    for (const VString& pointer : inPointers)
    {
        for (bool along : {true, false})
        {
            VJSONValue reference(JSON_object);
            reference.SetProperty(VJSONPointerResolver::sRefPropertyName, VJSONValue(pointer));
            VJSONValue result;
            fuzz::Check(resolver->ResolveOnePointer(reference.GetObject(), along, result),
                        "a string \"$ref\" is a reference");
            inFolder->ResolveOnePointer(reference.GetObject(), along, result);
            VString written;
            result.Stringify(written, 0);
            fuzz::Check(inMarkerInInput || !HoldsMarker(written), "nothing outside the folder is read");
        }
    }
    for (bool patch : {false, true})
    {
        VJSONValue copy;
        VJSONImporter::ParseString(inDocument, copy, 0);
        VRefPtr<VJSONPointerResolver> expander(new VJSONPointerResolver(copy, nullptr, nullptr, nullptr));
        expander->ResolveRecursively(copy, patch, nullptr);
        fuzz::Check(expander->GetFileCache()->GetCount() == 0, "no file is read without a folder");
        VString written;
        copy.Stringify(written, 0);

        VJSONValue another;
        VJSONImporter::ParseString(inDocument, another, 0);
        VRefPtr<VJSONPointerResolver> confined(
            new VJSONPointerResolver(another, scratch.fBase.Get(), nullptr, nullptr));
        confined->ResolveRecursively(another, patch, nullptr);
        written.Clear();
        another.Stringify(written, 0);
        fuzz::Check(inMarkerInInput || !HoldsMarker(written), "nothing outside the folder is read");
        fuzz::Check(confined->GetFileCache()->GetValue(scratch.fOutside).IsUndefined(),
                    "no file outside the folder is read");
    }
    fuzz::Check(resolver->GetFileCache()->GetCount() == 0, "no file is read without a folder");
    fuzz::Check(inFolder->GetFileCache()->GetValue(scratch.fOutside).IsUndefined(),
                "no file outside the folder is read");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    VString text(inData, inSize, VTC_UTF_8);
    std::vector<VString> lines;
    text.GetSubStrings(u'\n', lines, true);
    if (lines.empty())
        return 0;
    VString document = lines.front();
    lines.erase(lines.begin());
    ResolveAll(document, lines, HoldsMarker(text));
    return 0;
}
