// The attribute dictionary of a value bag: names mapped to single values, packed into one buffer
// of 16-bit units (the backstore) rather than one object each. An entry is the value's true kind
// in one unit, then the value's packed bytes (its WriteToPtr form), padded with a 0 byte to whole
// units; its size follows from its kind (EntryBytes), so the slots store only where each entry
// starts. Entries lie in slot order.
//
// Objects are made on demand and kept as a cache in the slot: when a value is read into a value
// of another kind, when a bag needs it as an object, and when a new value does not fit the old
// entry. In that last case the cached object is the value and its stale entry stays until the
// dictionary is packed (pack pending); writing to a stream and copying pack first.
#pragma once

#include "kernel/values/VPackedDictionary_base.h"
#include "kernel/values/ValueKind.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VValueSingle;

struct VPackedValue_VValueSingle
{
    using value_type = VValueSingle;

    // Writes the value over an entry of inEntryBytes bytes when its packed size + 2 is exactly
    // that; otherwise changes nothing and answers false.
    static bool SaveValueCheckSpace(const VValueSingle& inValue, uint16_t* ioEntry, size_t inEntryBytes);
};

template <class POLICY>
class VPackedDictionary_with_backstore;

template <>
class VPackedDictionary_with_backstore<VPackedValue_VValueSingle> : public VPackedDictionary_attributes_base
{
public:
    using Slot = _VPackedDictionary_with_backstore_slot<VPackedValue_VValueSingle>;

    VPackedDictionary_with_backstore() = default;
    // Copies hold their values packed only; memory failures leave the copy empty (kova 100).
    VPackedDictionary_with_backstore(const VPackedDictionary_with_backstore& inOther);
    VPackedDictionary_with_backstore& operator=(const VPackedDictionary_with_backstore& inOther);
    ~VPackedDictionary_with_backstore() override;

    // The copy behind both: the other is packed first when packing is pending. False, and this
    // dictionary empty, when memory runs out.
    bool AssignFrom(const VPackedDictionary_with_backstore& inOther);

    // Sets the value of a name that exists; false (nothing changed) when it does not.
    bool SetExistingValue(const StPackedDictionaryKey& inKey, const VValueSingle& inValue);
    // Appends the name with its value packed, without looking for the name first. False when the
    // name is refused or memory runs out: nothing is then added.
    bool Append(const StPackedDictionaryKey& inKey, const VValueSingle& inValue);
    // False when the name is absent. Otherwise true, with the value converted into outValue; a
    // kind that has no descriptor leaves outValue untouched.
    bool GetValue(const StPackedDictionaryKey& inKey, VValueSingle& outValue) const;
    // Removes the name and its value; nothing when absent.
    void Clear(const StPackedDictionaryKey& inKey);
    // Empties the dictionary.
    void Destroy();

    // The value of a slot as an object: the cached one, else one made from the entry and cached.
    // Null when the kind has no descriptor. Owned by the dictionary.
    VValueSingle* GetNthValue(size_t inIndex) const;
    // The true kind of a slot's value.
    ValueKind GetNthKind(size_t inIndex) const;
    // A slot's cached object changed (or is replaced by inNewValue, which the dictionary adopts):
    // its entry is stale until packing.
    void _UpdateNthValue(size_t inIndex, VValueSingle* inNewValue);

    // Brings every cached value into the backstore; false when memory runs out (nothing changed).
    bool _Pack() const;
    bool IsPackPending() const { return fPackPending; }
    void SetPackPending() { fPackPending = true; }

    const std::vector<uint16_t>& GetBackstore() const { return fBackstore; }
    uint64_t GetNthBackstoreOffset(size_t inIndex) const { return fSlots[inIndex].fBackstoreOffset; }

    // Bytes of the entry at inEntry (kind unit included) from its kind, in the processor's order.
    static size_t EntryBytes(const uint16_t* inEntry);
    static size_t EntryUnits(size_t inBytes) { return (inBytes + 1) / 2; }

    // Stream form: the names, then the backstore size in units and the backstore, entries in the
    // stream's byte order. Writing packs first when packing is pending.
    VError WriteToStream(VStream* ioStream, bool inWithHash) const;
    // Empties the dictionary and reads that form; on failure the dictionary is left empty.
    VError ReadFromStream(VStream* ioStream);

private:
    bool _PackIfPending() const;
    // Writes kind and packed bytes at an entry of the right size.
    static void _WriteEntry(const VValueSingle& inValue, uint16_t* outEntry, size_t inDataBytes);
    void _DeleteCachedValues();

    mutable std::vector<uint16_t> fBackstore;
    mutable bool fPackPending = false;
};

using VPackedDictionary_attributes = VPackedDictionary_with_backstore<VPackedValue_VValueSingle>;

} // namespace kova
