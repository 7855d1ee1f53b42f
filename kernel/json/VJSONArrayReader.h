// VJSONArrayReader reads the top-level elements of a JSON array text as texts and converts them
// to arrays of numbers, booleans or strings: for callers that exchange flat lists as JSON and
// have no use for a value tree. Nested arrays and objects are skipped whole.
//
//     VJSONArrayReader reader(VString("[1,2,3]"));
//     std::vector<int32_t> values(reader.GetCountOfElements(nullptr));
//     reader.ToArrayLong(values.data(), int32_t(values.size()));
//
// Malformed input is reported only as kova 550, kept in the reader and returned by every
// conversion; the reader raises nothing for it.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <vector>

namespace kova
{

class VJSONArrayReader : public VObject
{
public:
    VJSONArrayReader() = default;
    explicit VJSONArrayReader(const VString& inText);

    // Forgets what was read and reads the text.
    void FromJSONString(const VString& inText);
    // outError (may be null) receives the parse error.
    int32_t GetCountOfElements(VError* outError) const;

    // Each element converted into the caller's array of inCapacity entries. With a parse error or
    // a null destination nothing is written and the parse error is returned; a capacity below the
    // element count writes nothing and returns kova 3 (raised).
    VError ToArrayShort(int16_t* outValues, int32_t inCapacity) const;
    VError ToArrayLong(int32_t* outValues, int32_t inCapacity) const;
    VError ToArrayReal(double* outValues, int32_t inCapacity) const;
    // "true" (through the collator) is true, anything else false.
    VError ToArrayBool(char* outValues, int32_t inCapacity) const;
    // Without inAppend the vector is emptied first; the texts are added when there is no parse
    // error.
    VError ToArrayString(std::vector<VString>& ioValues, bool inAppend) const;

private:
    void _Parse(const VString& inText);
    // The parse error, or kova 3 (raised) for a capacity below the count; 0 to go on.
    VError _CheckDestination(const void* inValues, int32_t inCapacity) const;
    template <class T, class CONVERT>
    VError _ToArray(T* outValues, int32_t inCapacity, CONVERT inConvert) const;

    VError fError = VE_OK;
    std::vector<VString> fElements;
    int32_t fCount = 0;
};

} // namespace kova
