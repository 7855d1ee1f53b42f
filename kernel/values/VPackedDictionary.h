// The element dictionary of a value bag: names mapped to lists of child bags (VBagArray). The
// dictionary holds one reference to each list it stores. Copying it copies every list and every
// bag in them (a deep copy), so that a copied bag shares nothing with its source.
#pragma once

#include "kernel/values/VPackedDictionary_base.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VBagArray;

struct VPackedValue_VBagArray
{
    using value_type = VBagArray;
};

template <class POLICY>
class VPackedDictionary;

template <>
class VPackedDictionary<VPackedValue_VBagArray> : public VPackedDictionary_elements_base
{
public:
    using Slot = _VPackedDictionary_slot<VPackedValue_VBagArray>;

    VPackedDictionary() = default;
    // A deep copy; memory failures leave it incomplete and raise kova 100 (CopyFrom tells).
    VPackedDictionary(const VPackedDictionary& inOther);
    VPackedDictionary& operator=(const VPackedDictionary&) = delete;
    ~VPackedDictionary() override;

    // Makes this empty dictionary a deep copy of the other; false, and empty, when memory runs out.
    bool CopyFrom(const VPackedDictionary& inOther);

    // Stores a list under a name, appending the name when absent: the new list (when not null) is
    // retained and the one it replaces released. False when the name is refused or memory runs
    // out (nothing changed).
    bool SetValue(const StPackedDictionaryKey& inKey, VBagArray* inArray);
    // The list of a name, not retained; null when absent.
    VBagArray* GetValue(const StPackedDictionaryKey& inKey) const;
    VBagArray* GetNthValue(size_t inIndex) const
    {
        return inIndex < fSlots.size() ? fSlots[inIndex].fValue : nullptr;
    }
    // Appends a name with a list whose reference the dictionary takes over. False when refused
    // (the caller keeps its reference).
    bool _AppendAdopting(const StPackedDictionaryKey& inKey, VBagArray* inArray);
    // Releases the name's list and removes the name; nothing when absent.
    void Clear(const StPackedDictionaryKey& inKey);
    // Releases every list and empties the dictionary.
    void Destroy();

    // Stream form: the names, then for each name its list (count and bag bodies). The element
    // dictionary is written by its bag; reading empties it first. inDepth is the nesting depth of
    // the bag that owns it.
    VError ReadFromStream(VStream* ioStream, uint32_t inDepth = 0);
};

using VPackedDictionary_elements = VPackedDictionary<VPackedValue_VBagArray>;

} // namespace kova
