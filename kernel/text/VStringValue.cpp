// The string as the value of kind 10: the slots of the value protocol that this file owns, the
// packed and stream forms, the kind descriptor, hashing and the handing out of buffers. The
// conversions to and from the other kinds are the other kinds' own readers and writers: a target
// reads this text (its FromString), a source writes its text here (its GetString).
#include "kernel/text/VString.h"

#include "kernel/files/VStream.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"

#include <cstdint>
#include <cstring>

namespace kova
{

// ---------------------------------------------------------------------------------------------
// Clearing and the null state

void VString::_Clear()
{
    if (!_IsInline())
    {
        // The release rule leaves a caller's buffer and an early block alone.
        _ReleaseBuffer();
        fFlags &= uint8_t(~(kFlagExternal | kFlagExclusive));
    }
    _ResetToInline();
}

void VString::Clear()
{
    _Clear();
    SetNull(false);
    SetDirty(true);
}

void VString::DoNullChanged()
{
    if (IsNull())
        _Clear();
}

// ---------------------------------------------------------------------------------------------
// Equality and copies of the same kind

bool VString::EqualToSameKind(const VValue* inValue, bool inDiacritical) const
{
    const auto* other = static_cast<const VString*>(inValue);
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager())
        return manager->EqualString(fString, fLength, other->fString, other->fLength, inDiacritical);
    // No manager yet (static initialisation): the units themselves.
    return fLength == other->fLength &&
           std::memcmp(fString, other->fString, size_t(fLength) * sizeof(UniChar)) == 0;
}

bool VString::EqualToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    const auto* pattern = static_cast<const VString*>(inValue);
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager())
        return manager->EqualString_Like(fString, fLength, pattern->fString, pattern->fLength, inDiacritical);
    return EqualToSameKind(inValue, inDiacritical);
}

bool VString::FromValueSameKind(const VValue* inValue)
{
    const auto* other = dynamic_cast<const VString*>(inValue);
    if (other == nullptr)
        return false;
    FromString(*other);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Conversions through the other kinds' text forms

void VString::GetVUUID(VUUID& outUUID) const
{
    outUUID.FromString(*this);
}

void VString::FromVUUID(const VUUID& inUUID)
{
    inUUID.GetString(*this);
}

void VString::GetTime(VTime& outTime) const
{
    outTime.FromString(*this);
}

void VString::GetDuration(VDuration& outDuration) const
{
    outDuration.FromString(*this);
}

void VString::FromTime(const VTime& inTime)
{
    inTime.GetString(*this);
}

void VString::FromDuration(const VDuration& inDuration)
{
    inDuration.GetString(*this);
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms

// Packed form: u32 count, then the units; no alignment is assumed.
const void* VString::LoadFromPtr(const void* inData, bool)
{
    uint32_t count;
    std::memcpy(&count, inData, sizeof(count));
    const char* units = static_cast<const char*>(inData) + sizeof(count);
    // A count above the longest string cannot be held: the text stays as it was.
    if (count <= uint32_t(INT32_MAX) && _EnsureRoom(int32_t(count), false))
    {
        std::memcpy(fString, units, size_t(count) * sizeof(UniChar));
        _Commit(int32_t(count));
    }
    return units + size_t(count) * sizeof(UniChar);
}

void* VString::WriteToPtr(void* outData, bool, size_t inMax) const
{
    // Not even the count fits: nothing is written.
    if (inMax != 0 && inMax < sizeof(uint32_t))
        return outData;
    uint32_t count = uint32_t(fLength);
    if (inMax != 0 && size_t(count) * sizeof(UniChar) + sizeof(uint32_t) > inMax)
        count = uint32_t((inMax - sizeof(uint32_t)) / sizeof(UniChar));
    char* cursor = static_cast<char*>(outData);
    std::memcpy(cursor, &count, sizeof(count));
    cursor += sizeof(count);
    if (count > 0)
        std::memcpy(cursor, fString, size_t(count) * sizeof(UniChar));
    return cursor + size_t(count) * sizeof(UniChar);
}

size_t VString::GetSpace(uint64_t&, size_t inMax) const
{
    size_t space = size_t(fLength) * sizeof(UniChar) + sizeof(uint32_t);
    return (inMax != 0 && inMax < space) ? inMax : space;
}

VError VString::WriteToStream(VStream* ioStream, int32_t) const
{
    VError error = ioStream->Put(int32_t(-fLength));
    if (error == VE_OK && fLength > 0)
        error = ioStream->PutWords(reinterpret_cast<const int16_t*>(fString), fLength);
    return error;
}

VError VString::ReadFromStream(VStream* ioStream, int32_t)
{
    int32_t count = 0;
    if (ioStream->Get(count) != VE_OK)
        return ioStream->GetLastError();
    if (count == 0)
    {
        Clear();
        return ioStream->GetLastError();
    }
    if (count < 0)
    {
        _ReadUnits(ioStream, -int64_t(count), -int64_t(count));
        return ioStream->GetLastError();
    }
    // The older form: a version, then the units and their terminating 0.
    int32_t version = 0;
    if (ioStream->Get(version) != VE_OK)
        return ioStream->GetLastError();
    if (version != 1 && version != 2)
    {
        ioStream->SetPosByOffset(2 * (int64_t(count) + 1));
        return ioStream->GetLastError();
    }
    _ReadUnits(ioStream, int64_t(count) + 1, count);
    return ioStream->GetLastError();
}

void VString::_ReadUnits(VStream* ioStream, int64_t inUnits, int64_t inKeep)
{
    // Room only for what the stream holds, plus one unit so that the read goes past its end and
    // the stream keeps its end-of-data error; a short stream gives the units it has.
    int64_t remaining = ioStream->GetSize() - ioStream->GetPos();
    int64_t units = inUnits;
    if (2 * units > remaining)
        units = (remaining > 0 ? remaining / 2 : 0) + 1;
    // The terminator slot takes the last unit, so one unit less of room is needed.
    int64_t room = units - 1 >= inKeep ? inKeep : units;
    constexpr int64_t kLongestText = 2147483644; // the longest text the growth policy allows
    if (room > kLongestText || !_EnsureRoom(int32_t(room), false))
    {
        // The stream stays in step: the record's units are passed over.
        Clear();
        ioStream->SetPosByOffset(2 * inUnits);
        return;
    }
    int32_t read = int32_t(units);
    ioStream->GetWords(reinterpret_cast<int16_t*>(fString), &read);
    _Commit(int32_t(read < inKeep ? read : inKeep));
}

size_t VString::GetSizeInStream() const
{
    return fLength == 0 ? 4 : 2 * size_t(fLength) + 10;
}

// ---------------------------------------------------------------------------------------------
// Kind descriptor

VValue* VString_info::Generate() const
{
    return new VString();
}

VValue* VString_info::Generate(VBlob*) const
{
    return new VString();
}

VValue* VString_info::LoadFromPtr(const void* inData, bool inFlag) const
{
    auto* text = new VString();
    text->LoadFromPtr(inData, inFlag);
    return text;
}

void* VString_info::ByteSwapPtr(void* ioData, bool inFromNative) const
{
    auto* bytes = static_cast<unsigned char*>(ioData);
    uint32_t count;
    if (inFromNative)
        std::memcpy(&count, bytes, sizeof(count));
    const unsigned char swapped[4] = {bytes[3], bytes[2], bytes[1], bytes[0]};
    std::memcpy(bytes, swapped, sizeof(swapped));
    if (!inFromNative)
        std::memcpy(&count, bytes, sizeof(count));
    unsigned char* unit = bytes + sizeof(count);
    for (uint32_t i = 0; i < count; ++i, unit += sizeof(UniChar))
    {
        unsigned char first = unit[0];
        unit[0] = unit[1];
        unit[1] = first;
    }
    return unit;
}

size_t VString_info::GetSizeOfValueDataPtr(const void* inData) const
{
    uint32_t count;
    std::memcpy(&count, inData, sizeof(count));
    return sizeof(count) + size_t(count) * sizeof(UniChar);
}

size_t VString_info::GetAvgSpace() const
{
    return 64;
}

// ---------------------------------------------------------------------------------------------
// Debug dump, hash, buffer sharing

CharSet VString::DebugDump(char* outBuffer, int& ioSize) const
{
    // Two bytes are kept for the caller's terminator; whole units only.
    int64_t room = int64_t(ioSize) - 2;
    int64_t bytes = int64_t(fLength) * int64_t(sizeof(UniChar));
    if (room < bytes)
        bytes = room < 0 ? 0 : room & ~int64_t(1);
    if (bytes > 0 && outBuffer != nullptr)
        std::memcpy(outBuffer, fString, size_t(bytes));
    else
        bytes = 0;
    ioSize = int(bytes);
    return VTC_UTF_16;
}

uint32_t VString::GetHashValue() const
{
    if (fLength <= 0)
        return 0;
    uint32_t hash = uint32_t(fLength);
    auto take = [&hash](const UniChar* inUnits, int32_t inCount)
    {
        for (int32_t i = 0; i < inCount; ++i)
            hash = hash * 257 + inUnits[i];
    };
    if (fLength <= 16)
    {
        take(fString, fLength);
    }
    else
    {
        take(fString, 8);
        take(fString + fLength - 8, 8);
    }
    return (hash << (uint32_t(fLength) % 32)) + hash;
}

UniChar* VString::RetainBuffer(int32_t* outLength, int32_t* outMaxLength) const
{
    int32_t length = 0;
    int32_t maxLength = 0;
    UniChar* units = nullptr;
    if (!IsNull() && fLength > 0)
    {
        units = const_cast<UniChar*>(_RetainBuffer());
        if (units != nullptr)
        {
            length = fLength;
            maxLength = fMaxLength;
        }
        else if (sCppMemMgr != nullptr)
        {
            units = _NewBlockWithText(fString, fLength, kMEM_TAG_STRING_RETAINED);
            if (units != nullptr)
                length = maxLength = fLength;
        }
    }
    if (outLength != nullptr)
        *outLength = length;
    if (outMaxLength != nullptr)
        *outMaxLength = maxLength;
    return units;
}

} // namespace kova
