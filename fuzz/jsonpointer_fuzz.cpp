// The pointer resolver over a crafted document and crafted pointers: the first line of the input
// is a JSON text, each further line a "$ref" text. Every pointer resolves or records an error,
// references in the document are expanded without end even when they form cycles, and with
// neither folder nor namespace no file is ever read.
//
// With a base folder (made once per run: files that refer to each other, links, and a file
// outside that holds a marker), nothing outside the folder is ever read: the marker never shows
// in a result and the outside file never enters the cache.
//
// Results share the document's parts, and a document may stand for far more than its text: the
// marker is looked for once per part, names included, over all the results of an input, and the
// expanded documents are written as text only where that stays in proportion to the input.
#include "fuzz/FuzzJSON.h"
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
#include <unordered_set>
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

bool HoldsMarker(const UniChar* inUnits, int32_t inLength)
{
    return inUnits != nullptr &&
           std::u16string_view(reinterpret_cast<const char16_t*>(inUnits), size_t(inLength)).find(kMarker) !=
               std::u16string_view::npos;
}

// The collections looked into, kept alive so that no address in the set is taken by another.
struct Seen
{
    std::unordered_set<const void*> fAddresses;
    std::vector<VJSONValue> fKept;
};

// Whether a string or a name that the value reaches holds the marker. Collections already looked
// into (ioSeen is kept from value to value) are not looked into again.
bool HoldsMarker(const VJSONValue& inValue, Seen& ioSeen)
{
    std::vector<VJSONValue> pending{inValue};
    while (!pending.empty())
    {
        const VJSONValue value = std::move(pending.back());
        pending.pop_back();
        int32_t length = 0;
        if (value.IsString() && HoldsMarker(value.GetStringUnits(&length), length))
            return true;
        const VJSONObject* object = value.GetObject();
        const VJSONArray* array = value.GetArray();
        if ((object == nullptr && array == nullptr) ||
            !ioSeen.fAddresses.insert(object != nullptr ? static_cast<const void*>(object) : array).second)
            continue;
        ioSeen.fKept.push_back(value);
        if (object != nullptr)
        {
            for (const VJSONObject::Property& property : object->_GetProperties())
            {
                if (HoldsMarker(property.fName.GetUnits(), property.fName.GetLength()))
                    return true;
                pending.push_back(property.fValue);
            }
        }
        else
        {
            pending.insert(pending.end(), array->_GetValues().begin(), array->_GetValues().end());
        }
    }
    return false;
}

void ResolveAll(const VString& inDocument, size_t inSize, const std::vector<VString>& inPointers,
                bool inMarkerInInput)
{
    VJSONValue document;
    VJSONImporter::ParseString(inDocument, document, 0);
    // The fuzzer may learn the marker from the checks themselves: a result may then hold what the
    // input brought, also through escapes.
    Seen seen;
    inMarkerInInput = inMarkerInInput || HoldsMarker(document, seen);
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
            fuzz::Check(inMarkerInInput || !HoldsMarker(result, seen), "nothing outside the folder is read");
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
        if (fuzz::WalksInProportion(copy, inSize))
            copy.Stringify(written, 0);

        VJSONValue another;
        VJSONImporter::ParseString(inDocument, another, 0);
        VRefPtr<VJSONPointerResolver> confined(
            new VJSONPointerResolver(another, scratch.fBase.Get(), nullptr, nullptr));
        confined->ResolveRecursively(another, patch, nullptr);
        fuzz::Check(inMarkerInInput || !HoldsMarker(another, seen), "nothing outside the folder is read");
        written.Clear();
        if (fuzz::WalksInProportion(another, inSize))
            another.Stringify(written, 0);
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
    ResolveAll(document, inSize, lines, HoldsMarker(text));
    return 0;
}
