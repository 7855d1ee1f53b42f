// VPackedDictionary_base is the name store shared by the two dictionaries of a value bag (its
// attributes and its element lists): the names lie back to back in one byte buffer, each as one
// length byte and its UTF-8 bytes, and one slot record per name, in insertion order, holds the
// name's offset in that buffer and the value's place. Slots hold offsets, not pointers, so the
// buffers can move. From six names on, look-ups go through an index (_VPackedKeyIndex); below
// that a scan is cheaper. The dictionary never locks: even a const look-up may build the index.
//
// From the first look-up of six names or more on, the dictionary also has the hash vector of its
// stream form (_VHashKeyMap). Which vector depends on the dictionary's history (when it was made,
// when it filled), and stored bags and their readers rely on it byte for byte. A vector read from
// a stream is kept as it was read, new names put into it, until a removal empties it or it fills.
// Any other vector is the names put in slot order into a vector of some size: the dictionary keeps
// only that size and makes the cells when it writes them.
//
// Slot positions in this interface are 0-based; a look-up that finds nothing answers kNotFound.
#pragma once

#include "kernel/values/KovaTypes.h"
#include "kernel/values/StPackedDictionaryKey.h"
#include "kernel/values/VHashKeyMap.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VPackedKeyIndex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VBagArray;
class VStream;
class VString;
class VValueSingle;

// The value policies of the two dictionaries.
struct VPackedValue_VValueSingle;
struct VPackedValue_VBagArray;

// A slot of the attribute dictionary: the value's entry in the backstore, in 16-bit units, and
// the value as an object when one was made (owned by the dictionary).
template <class POLICY>
struct _VPackedDictionary_with_backstore_slot
{
    uint64_t fKeyOffset = 0;
    uint64_t fBackstoreOffset = 0;
    VValueSingle* fValue = nullptr;
};

// A slot of the element dictionary: the list of bags, one reference held by the dictionary.
template <class POLICY>
struct _VPackedDictionary_slot
{
    uint64_t fKeyOffset = 0;
    VBagArray* fValue = nullptr;
};

template <class SLOT>
class VPackedDictionary_base : public VObject
{
public:
    static constexpr size_t kNotFound = ~size_t(0);
    // Below this many names a look-up scans, and no hash vector is made for them.
    static constexpr size_t kHashThreshold = 6;

    size_t GetCount() const { return fSlots.size(); }
    bool IsEmpty() const { return fSlots.empty(); }

    // The name of a slot, borrowing the key buffer: valid until the dictionary changes.
    StPackedDictionaryKey GetNthKey(size_t inIndex) const;
    void GetNthKeyString(size_t inIndex, VString& outName) const;

    // The slot holding the name, or kNotFound. An invalid key finds nothing.
    size_t _Find(const StPackedDictionaryKey& inKey) const;

    // Stream form of the names: count, buffer size, buffer, hash flag and vector.
    VError _WriteKeysToStream(VStream* ioStream, bool inWithHash) const;
    // Reads that form into an empty dictionary, every slot zeroed but for its name's offset. On
    // failure the names are left cleared; a stream that already failed is not read.
    VError _ReadKeysFromStream(VStream* ioStream);

    // The hash vector as it stands, its cells made when it was not read (empty for none).
    _VHashKeyMap GetHashMap() const;
    size_t GetKeyBufferSize() const { return fKeyBuffer.size(); }

protected:
    VPackedDictionary_base() = default;
    ~VPackedDictionary_base() override = default;
    // The names and slots; the hash vector is not copied.
    VPackedDictionary_base(const VPackedDictionary_base& inOther) = delete;
    VPackedDictionary_base& operator=(const VPackedDictionary_base&) = delete;

    // Copies the names and the slots as they are (the caller fixes the values); the hash vector
    // when asked. False, and an empty dictionary, when memory runs out.
    bool _CopyKeysFrom(const VPackedDictionary_base& inOther, bool inWithHashMap);

    // Appends a name and its slot; the slot's key offset is set here. The new slot's position,
    // or kNotFound (and nothing appended) when the name is refused or memory runs out. An
    // invalid key is refused with kova 3.
    size_t _AppendKeyAndSlot(const StPackedDictionaryKey& inKey, const SLOT& inSlot);
    // Cuts a slot's name out of the buffer and removes the slot; the hash vector is emptied.
    void _RemoveKeyAndSlot(size_t inIndex);
    // Empties the names, the slots and the hash vector.
    void _ClearKeys();
    // Gives six names or more a hash vector, the one for their count, when they have none.
    void _BuildHashMap() const;

    std::vector<uint8_t> fKeyBuffer;
    // Mutable: const look-ups and reads fill caches held in the slots.
    mutable std::vector<SLOT> fSlots;
    // The hash vector as read from a stream; empty otherwise.
    mutable _VHashKeyMap fHashMap;
    // Without a vector read from a stream: the size of the vector of the names (0 for none).
    mutable size_t fHashSize = 0;
    mutable _VPackedKeyIndex fIndex;

private:
    bool _NameEquals(size_t inIndex, const StPackedDictionaryKey& inKey) const;
    const char* _NthName(size_t inIndex) const;
    uint8_t _NthLength(size_t inIndex) const { return fKeyBuffer[size_t(fSlots[inIndex].fKeyOffset)]; }
    uint32_t _NthHash(size_t inIndex) const;
    uint32_t _NthIndexHash(size_t inIndex) const;
    bool _HasHashMap() const { return !fHashMap.IsEmpty() || fHashSize != 0; }
    // Puts the last slot's name into the hash vector, which grows when full.
    void _PutLastName() const;
    // The vector of size fHashSize; false when memory runs out.
    bool _MakeHashMap(_VHashKeyMap& outMap) const;
    // Files every name in the index; it stays empty when memory runs out.
    void _BuildIndex() const;
    // Whether every name's look-up through the (non-empty) hash vector reaches it.
    bool _HashMapFindsEveryName() const;
};

using VPackedDictionary_attributes_base =
    VPackedDictionary_base<_VPackedDictionary_with_backstore_slot<VPackedValue_VValueSingle>>;
using VPackedDictionary_elements_base =
    VPackedDictionary_base<_VPackedDictionary_slot<VPackedValue_VBagArray>>;

extern template class VPackedDictionary_base<
    _VPackedDictionary_with_backstore_slot<VPackedValue_VValueSingle>>;
extern template class VPackedDictionary_base<_VPackedDictionary_slot<VPackedValue_VBagArray>>;

} // namespace kova
