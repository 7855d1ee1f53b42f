// The JSON text reader, lenient and strict, over the input read as UTF-8 and as raw UTF-16 units:
// any text is read without a fault and what was read is written (unless a binary form brought a
// cycle, which text cannot hold, or sharing that a walk pays out of proportion to the input);
// what strict reading accepts is written as text that strict reading accepts again, and whose
// writing is stable.
#include "fuzz/FuzzJSON.h"
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <set>

using namespace kova;

namespace
{

// Whether the value reaches a collection from inside it: only a binary form can make one.
bool HoldsCycle(const VJSONValue& inValue, std::set<const void*>& ioOpen, std::set<const void*>& ioDone)
{
    const VJSONObject* object = inValue.GetObject();
    const VJSONArray* array = inValue.GetArray();
    const void* collection = object != nullptr ? static_cast<const void*>(object) : array;
    if (collection == nullptr || ioDone.count(collection) != 0)
        return false;
    if (!ioOpen.insert(collection).second)
        return true;
    bool cycle = false;
    if (object != nullptr)
    {
        for (const VJSONObject::Property& property : object->_GetProperties())
            cycle = cycle || HoldsCycle(property.fValue, ioOpen, ioDone);
    }
    else
    {
        for (const VJSONValue& element : array->_GetValues())
            cycle = cycle || HoldsCycle(element, ioOpen, ioDone);
    }
    ioOpen.erase(collection);
    ioDone.insert(collection);
    return cycle;
}

// The text read strictly and written again.
VString Rewritten(const VString& inText)
{
    VJSONValue value;
    fuzz::Check(VJSONImporter::ParseString(inText, value, VJSONImporter::kStrict) == VE_OK,
                "strict text is written as strict text");
    VString written;
    value.Stringify(written, 1);
    return written;
}

void ReadAndWrite(const VString& inText, size_t inSize, bool inSmall, bool inLarge)
{
    const uint32_t symbols = inSmall ? 8u : 0u;
    for (uint32_t options : {0u, 1u | symbols, 0xC0u, uint32_t(VJSONImporter::kStrict), 2u | 4u | 0x240u})
    {
        if (inLarge && options != 0 && options != VJSONImporter::kStrict)
            continue;
        VJSONValue value;
        VJSONImporter importer(inText, options);
        VError error = importer.Parse(value);
        // Some twenty walks of the value follow.
        if (!fuzz::WalksInProportion(value, inSize))
            continue;
        VString written;
        VError writing = value.Stringify(written, 1);
        std::set<const void*> open;
        std::set<const void*> done;
        fuzz::Check(writing == VE_OK || (writing == VE_JSON_CIRCULAR && HoldsCycle(value, open, done)),
                    "what was read is written");
        if (inSmall)
        {
            VString indented;
            value.Stringify(indented, 9);
        }
        if ((options & VJSONImporter::kStrict) != 0 && error == VE_OK && writing == VE_OK)
        {
            // Numbers lose what lies past their 14 digits once: the text is stable from the
            // second writing on.
            VString second = Rewritten(written);
            fuzz::Check(Rewritten(second).EqualToStringRaw(second),
                        "strict text writes the same from then on");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    // Symbols name each value by its path, and indentation gives each line a tab per level: what
    // they make grows with depth times size, so only small inputs take them. Large inputs are
    // there for their size and shape (a form of a megabyte): they are read twice, as UTF-8,
    // lenient and strict, rather than ten times.
    const bool small = inSize <= 1024;
    const bool large = inSize > 65536;
    ReadAndWrite(VString(inData, inSize, VTC_UTF_8), inSize, small, large);
    if (!large)
        ReadAndWrite(fuzz::UnitsOf(inData, inSize), inSize, small, false);
    return 0;
}
