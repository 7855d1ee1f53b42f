// The pointer resolver over a crafted document and crafted pointers: the first line of the input
// is a JSON text, each further line a "$ref" text. Every pointer resolves or records an error,
// references in the document are expanded without end even when they form cycles, and with
// neither folder nor namespace no file is ever read.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPointerResolver.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VRefPtr.h"

#include <vector>

using namespace kova;

namespace
{

void ResolveAll(const VString& inDocument, const std::vector<VString>& inPointers)
{
    VJSONValue document;
    VJSONImporter::ParseString(inDocument, document, 0);
    VRefPtr<VJSONPointerResolver> resolver(new VJSONPointerResolver(document, nullptr, nullptr, nullptr));
    for (const VString& pointer : inPointers)
    {
        for (bool along : {true, false})
        {
            VJSONValue reference(JSON_object);
            reference.SetProperty(VJSONPointerResolver::sRefPropertyName, VJSONValue(pointer));
            VJSONValue result;
            fuzz::Check(resolver->ResolveOnePointer(reference.GetObject(), along, result),
                        "a string \"$ref\" is a reference");
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
    }
    fuzz::Check(resolver->GetFileCache()->GetCount() == 0, "no file is read without a folder");
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
    ResolveAll(document, lines);
    return 0;
}
