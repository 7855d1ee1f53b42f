#include "kernel/values/VPackedDictionary_base.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/PackedStreamChecks.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

namespace kova
{

namespace
{

// Room for inNeeded elements, growing geometrically: a dictionary filled one name at a time must
// not move its vectors at every name.
template <class VECTOR>
void ReserveGrowing(VECTOR& ioVector, size_t inNeeded, size_t inFirst)
{
    if (inNeeded > ioVector.capacity())
        ioVector.reserve(std::max({inNeeded, ioVector.capacity() * 2, inFirst}));
}

} // namespace

template <class SLOT>
StPackedDictionaryKey VPackedDictionary_base<SLOT>::GetNthKey(size_t inIndex) const
{
    if (inIndex >= fSlots.size())
        return StPackedDictionaryKey();
    size_t offset = size_t(fSlots[inIndex].fKeyOffset);
    return StPackedDictionaryKey::Borrowed(reinterpret_cast<const char*>(fKeyBuffer.data() + offset + 1),
                                           fKeyBuffer[offset]);
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::GetNthKeyString(size_t inIndex, VString& outName) const
{
    if (inIndex >= fSlots.size())
    {
        outName.Clear();
        return;
    }
    size_t offset = size_t(fSlots[inIndex].fKeyOffset);
    outName.FromBlock(fKeyBuffer.data() + offset + 1, fKeyBuffer[offset], VTC_UTF_8);
}

template <class SLOT>
const char* VPackedDictionary_base<SLOT>::_NthName(size_t inIndex) const
{
    return reinterpret_cast<const char*>(fKeyBuffer.data() + fSlots[inIndex].fKeyOffset + 1);
}

template <class SLOT>
uint32_t VPackedDictionary_base<SLOT>::_NthHash(size_t inIndex) const
{
    return StPackedDictionaryKey::GetHashCode(_NthName(inIndex), _NthLength(inIndex));
}

template <class SLOT>
uint32_t VPackedDictionary_base<SLOT>::_NthIndexHash(size_t inIndex) const
{
    return _VPackedKeyIndex::HashOf(_NthName(inIndex), _NthLength(inIndex));
}

template <class SLOT>
bool VPackedDictionary_base<SLOT>::_NameEquals(size_t inIndex, const StPackedDictionaryKey& inKey) const
{
    ++sPackedDictionaryProbeCount;
    return inKey.Equals(_NthName(inIndex), _NthLength(inIndex));
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::_BuildHashMap() const
{
    if (!_HasHashMap() && fSlots.size() >= kHashThreshold)
        fHashSize = _VHashKeyMap::_ComputeHashVectorSize(fSlots.size());
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::_PutLastName() const
{
    const size_t count = fSlots.size();
    bool full;
    if (!fHashMap.IsEmpty())
    {
        full = !fHashMap.Put(_NthHash(count - 1), uint32_t(count - 1));
        if (full)
            fHashMap.Clear();
    }
    else
    {
        full = fHashSize != 0 && count > fHashSize;
    }
    // Full: a vector sized for the new count, every name put again in slot order.
    if (full)
    {
        fHashSize = 0;
        _BuildHashMap();
    }
}

template <class SLOT>
bool VPackedDictionary_base<SLOT>::_MakeHashMap(_VHashKeyMap& outMap) const
{
    if (!outMap.Allocate(fHashSize))
        return false;
    for (size_t i = 0; i < fSlots.size(); ++i)
    {
        if (!outMap.Put(_NthHash(i), uint32_t(i)))
        {
            outMap.Clear();
            return false;
        }
    }
    return true;
}

template <class SLOT>
_VHashKeyMap VPackedDictionary_base<SLOT>::GetHashMap() const
{
    _VHashKeyMap map;
    if (!fHashMap.IsEmpty())
        map = fHashMap;
    else if (fHashSize != 0)
        _MakeHashMap(map);
    return map;
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::_BuildIndex() const
{
    if (!fIndex.Reserve(fSlots.size()))
        return;
    for (size_t i = 0; i < fSlots.size(); ++i)
        fIndex.Insert(_NthIndexHash(i), uint32_t(i));
}

template <class SLOT>
bool VPackedDictionary_base<SLOT>::_HashMapFindsEveryName() const
{
    // Readers of the stream form scan every slot from the one in a name's home cell, so they find
    // a name exactly when its home cell names a slot; cells naming no slot were refused when the
    // vector was read.
    for (size_t i = 0; i < fSlots.size(); ++i)
    {
        if (fHashMap.GetHomeCell(_NthHash(i)) == _VHashKeyMap::kEmptyCell)
            return false;
    }
    return true;
}

template <class SLOT>
size_t VPackedDictionary_base<SLOT>::_Find(const StPackedDictionaryKey& inKey) const
{
    if (!inKey.IsValid())
        return kNotFound;
    const size_t count = fSlots.size();
    if (count >= kHashThreshold)
    {
        // The stream form's vector dates from the first look-up, whether or not it is ever written.
        _BuildHashMap();
        if (fIndex.IsEmpty())
            _BuildIndex();
        if (!fIndex.IsEmpty())
        {
            uint32_t slot = fIndex.Find(_VPackedKeyIndex::HashOf(inKey.GetKey(), inKey.GetKeyLength()),
                                        [&](uint32_t inSlot) { return _NameEquals(inSlot, inKey); });
            return slot == _VPackedKeyIndex::kNoSlot ? kNotFound : size_t(slot);
        }
    }
    // Few names, or no memory for the index.
    for (size_t i = 0; i < count; ++i)
    {
        if (_NameEquals(i, inKey))
            return i;
    }
    return kNotFound;
}

template <class SLOT>
bool VPackedDictionary_base<SLOT>::_CopyKeysFrom(const VPackedDictionary_base& inOther, bool inWithHashMap)
{
    try
    {
        fKeyBuffer = inOther.fKeyBuffer;
        fSlots = inOther.fSlots;
        fHashMap = inWithHashMap ? inOther.fHashMap : _VHashKeyMap();
        fHashSize = inWithHashMap ? inOther.fHashSize : 0;
        fIndex = inOther.fIndex;
    }
    catch (const std::bad_alloc&)
    {
        _ClearKeys();
        return false;
    }
    return true;
}

template <class SLOT>
size_t VPackedDictionary_base<SLOT>::_AppendKeyAndSlot(const StPackedDictionaryKey& inKey, const SLOT& inSlot)
{
    if (!inKey.IsValid() || inKey.GetKeyLength() > StPackedDictionaryKey::kMaxKeyLength)
    {
        VString reason("name longer than 255 bytes or not convertible to UTF-8");
        _ThrowError(VE_INVALID_PARAMETER, &reason);
        return kNotFound;
    }
    size_t keyOffset = fKeyBuffer.size();
    size_t length = inKey.GetKeyLength();
    // A key borrowed from this very buffer (a name of this dictionary appended again) would be
    // read from freed memory once the buffer grows: its bytes are copied out first.
    const auto* bytes = reinterpret_cast<const uint8_t*>(inKey.GetKey());
    uint8_t ownName[StPackedDictionaryKey::kMaxKeyLength];
    std::less_equal<const uint8_t*> notAfter;
    if (length != 0 && notAfter(fKeyBuffer.data(), bytes) &&
        notAfter(bytes + length, fKeyBuffer.data() + keyOffset))
    {
        std::memcpy(ownName, bytes, length);
        bytes = ownName;
    }
    try
    {
        ReserveGrowing(fKeyBuffer, keyOffset + length + 1, 32);
        ReserveGrowing(fSlots, fSlots.size() + 1, 4);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return kNotFound;
    }
    // Both vectors have room now: nothing below can fail half-way.
    fKeyBuffer.push_back(uint8_t(length));
    fKeyBuffer.insert(fKeyBuffer.end(), bytes, bytes + length);
    SLOT slot = inSlot;
    slot.fKeyOffset = keyOffset;
    fSlots.push_back(slot);
    size_t index = fSlots.size() - 1;
    if (_HasHashMap())
        _PutLastName();
    if (!fIndex.IsEmpty() && !fIndex.Insert(_NthIndexHash(index), uint32_t(index)))
        fIndex.Clear();
    return index;
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::_RemoveKeyAndSlot(size_t inIndex)
{
    if (inIndex >= fSlots.size())
        return;
    if (!fIndex.IsEmpty())
        fIndex.Remove(_NthIndexHash(inIndex), uint32_t(inIndex));
    size_t offset = size_t(fSlots[inIndex].fKeyOffset);
    size_t cut = size_t(fKeyBuffer[offset]) + 1;
    fKeyBuffer.erase(fKeyBuffer.begin() + ptrdiff_t(offset), fKeyBuffer.begin() + ptrdiff_t(offset + cut));
    for (size_t i = inIndex + 1; i < fSlots.size(); ++i)
        fSlots[i].fKeyOffset -= cut;
    fSlots.erase(fSlots.begin() + ptrdiff_t(inIndex));
    fHashMap.Clear();
    fHashSize = 0;
}

template <class SLOT>
void VPackedDictionary_base<SLOT>::_ClearKeys()
{
    fKeyBuffer.clear();
    fKeyBuffer.shrink_to_fit();
    fSlots.clear();
    fSlots.shrink_to_fit();
    fHashMap.Clear();
    fHashSize = 0;
    fIndex.Clear();
}

template <class SLOT>
VError VPackedDictionary_base<SLOT>::_WriteKeysToStream(VStream* ioStream, bool inWithHash) const
{
    if (inWithHash)
        _BuildHashMap();
    ioStream->Put(uint32_t(fSlots.size()));
    ioStream->Put(uint32_t(fKeyBuffer.size()));
    if (!fKeyBuffer.empty())
        ioStream->PutData(fKeyBuffer.data(), fKeyBuffer.size());
    _VHashKeyMap made;
    const _VHashKeyMap* map = &fHashMap;
    if (inWithHash && fHashMap.IsEmpty() && fHashSize != 0 && _MakeHashMap(made))
        map = &made;
    if (inWithHash && !map->IsEmpty())
    {
        ioStream->Put(uint8_t(1));
        map->WriteToStream(ioStream);
    }
    else
    {
        ioStream->Put(uint8_t(0));
    }
    return ioStream->GetLastError();
}

template <class SLOT>
VError VPackedDictionary_base<SLOT>::_ReadKeysFromStream(VStream* ioStream)
{
    _ClearKeys();
    VError error = ioStream->GetLastError();
    if (error != VE_OK)
        return error;
    uint32_t count = 0;
    uint32_t bufferSize = 0;
    ioStream->Get(count);
    error = ioStream->Get(bufferSize);
    if (error != VE_OK)
        return error;
    if (!StreamHolds(ioStream, bufferSize))
        return FailAtEndOfStream(ioStream);
    // Every name takes at least its length byte.
    if (count > bufferSize)
        return ThrowCorruptData();
    try
    {
        fKeyBuffer.resize(bufferSize);
        fSlots.resize(count);
    }
    catch (const std::bad_alloc&)
    {
        _ClearKeys();
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    if (bufferSize != 0)
    {
        error = ioStream->GetData(fKeyBuffer.data(), bufferSize);
        if (error != VE_OK)
        {
            _ClearKeys();
            return error;
        }
    }
    // Bytes after the last name are tolerated: a name whose append failed half-way leaves some.
    size_t offset = 0;
    for (SLOT& slot : fSlots)
    {
        if (offset >= bufferSize || offset + 1 + fKeyBuffer[offset] > bufferSize)
        {
            _ClearKeys();
            return ThrowCorruptData();
        }
        slot.fKeyOffset = offset;
        offset += size_t(fKeyBuffer[offset]) + 1;
    }
    uint8_t hashFlag = 0;
    error = ioStream->Get(hashFlag);
    if (error != VE_OK)
    {
        _ClearKeys();
        return error;
    }
    if (hashFlag == 1)
    {
        error = fHashMap.Rebuild(ioStream, count);
        if (error != VE_OK)
        {
            _ClearKeys();
            return error;
        }
        // A vector of no cells is no vector. A stored vector may also hold every slot once yet
        // in the wrong cells, hiding names from readers that look up through it; the names
        // themselves are sound, so the vector is made again from them rather than passed on.
        if (fHashMap.GetSize() == 0 || !_HashMapFindsEveryName())
            fHashMap.Clear();
    }
    _BuildHashMap();
    return ioStream->GetLastError();
}

template class VPackedDictionary_base<_VPackedDictionary_with_backstore_slot<VPackedValue_VValueSingle>>;
template class VPackedDictionary_base<_VPackedDictionary_slot<VPackedValue_VBagArray>>;

} // namespace kova
