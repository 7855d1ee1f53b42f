// VJSONBinaryWriter writes a VJSONValue tree in the JSON subsystem's private binary form, which
// keeps what JSON text cannot: sub-objects shared by several parents, cycles, the class of an
// object and native objects (blobs) that write themselves as bytes. Stringify embeds the form,
// Base64-encoded, when the text writer refuses a tree; VJSONBinaryImporter reads it back.
//
// Layout (processor byte order, strings as UTF-16 units without terminator): one tag byte per
// value, then its payload: 0 null, 1 false, 2 true, 3 string (u32 n, n units), 4 number (f64),
// 5 object (property records, then a trailer), 6 array (u32 n, n values), 7 undefined,
// 8 date (i64 milliseconds), 255 back-reference (u32 n, n units of a JSON pointer text to the
// first occurrence of the same object or array). A property record is a u16 name length below
// 0x8000, the units and the value. The trailer is FF FF (plain object), or FD FF, a u32
// signature, a u64 size and that many bytes: "****" for a class record (store and class names),
// any other signature for the bytes of a native delegate.
//
// Every container that a delegate answers (or that other tasks may replace) is retained until the
// writer goes away, so that no address it registered for back-references can be reused by another
// container while it writes; the containers of the tree itself are kept alive by the tree. A container's
// pointer text is built only when a second occurrence needs it, from the steps kept per container: deep trees
// cost no text per level.
#pragma once
#include "kernel/json/VJSONAddressTable.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VObject.h"
#include "kernel/text/VString.h"
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kova
{

class VJSONArray;
class VJSONCollection;
class VJSONValue;

class VJSONBinaryWriter : public VObject
{
public:
    using Buffer = VMemoryBuffer<1024ul, 2ul, 1048576ul>;

    // One step of the path of the value being written.
    struct PathPart
    {
        const PathPart* fParent;
        const VString* fName; // null for an array element (unless fStoredName is set)
        uint64_t fIndex;
        const VJSONObject::Name* fStoredName = nullptr; // the name as an object stores it
    };

    // Markers of the form, shared with the reader. A u16 of kFirstMarker or more in an object body
    // is a marker, so names must be shorter.
    static constexpr uint8_t kTagBackReference = 0xFF;
    static constexpr uint16_t kFirstMarker = 0x8000;
    static constexpr uint16_t kTrailerMarker = 0xFFFD;
    static constexpr uint16_t kUndefinedObject = 0xFFFE;
    static constexpr uint16_t kEndMarker = 0xFFFF;
    static constexpr uint32_t kUndefinedArray = 0xFFFFFFFE;
    static constexpr uint32_t kClassSignature = 0x2A2A2A2A; // "****"
    static constexpr int32_t kMaxNameLength = kFirstMarker - 1;

    // The options are kept for callers (the text writer's fallback passes 64); no step of the
    // writing depends on them.
    explicit VJSONBinaryWriter(uint32_t inOptions = 0);
    uint32_t GetOptions() const { return fOptions; }
    ~VJSONBinaryWriter() override;
    VJSONBinaryWriter(const VJSONBinaryWriter&) = delete;
    VJSONBinaryWriter& operator=(const VJSONBinaryWriter&) = delete;

    // Appends the value's record. Kova 100 when the buffer cannot grow (what was appended by this
    // call is taken back), 3 for a name too long, 108 for a tree too deep, 918 for sharing that
    // the reader would refuse (JSONExpandedSize.h), or a delegate's error.
    VError StreamValue(const VJSONValue& inValue, Buffer& ioBuffer);
    // A bare object or array at the root path; the root is registered only where a reference
    // back to it is first written in full.
    VError StreamObject(const VJSONObject* inObject, Buffer& ioBuffer);
    VError StreamArray(const VJSONArray* inArray, Buffer& ioBuffer);

    // "#", then "/" and each step: a name with "~" as "~0" and "/" as "~1", or the index.
    static void BuildPathPointerString(const PathPart* inPath, VString& outPointer);

private:
    VError _StreamValue(const VJSONValue& inValue, const PathPart* inPath, Buffer& ioBuffer);
    // A value stored in a container of the tree.
    VError _StreamValueInPlace(const VJSONValue& inStored, const PathPart* inPath, Buffer& ioBuffer);
    // True when the container was met before and its back-reference was written (or failed).
    bool _StreamReference(const VJSONCollection* inCollection, const PathPart* inPath, Buffer& ioBuffer,
                          VError& outError);
    VError _StreamObject(const VJSONObject* inObject, const PathPart* inPath, Buffer& ioBuffer);
    VError _StreamArray(const VJSONArray* inArray, const PathPart* inPath, Buffer& ioBuffer);
    VError _StreamTrailer(const VJSONObject* inObject, Buffer& ioBuffer);
    VError _Finish(VError inError, const VJSONValue& inValue, size_t inStartSize, Buffer& ioBuffer);

    // Where a registered container was first met: the entry of the container holding it (-1 for
    // the root's contents), and the step from there (none for the root itself).
    struct Entry
    {
        int64_t fParent;
        bool fRoot;
        bool fNamed;
        VJSONObject::Name fName;
        uint64_t fIndex;
    };
    const VString& _PointerOf(size_t inEntry);

    uint32_t fOptions;
    VJSONAddressTable fPointers;
    // The pointer texts built so far, by entry.
    std::unordered_map<size_t, VString> fPointerTexts;
    std::vector<Entry> fEntries;
    std::vector<const VJSONCollection*> fRetained;
    // The entry of the container whose contents are being written, and the one just registered.
    int64_t fCurrentEntry = -1;
    int64_t fPendingEntry = -1;
    // Above 0 while writing values that only the writing keeps alive.
    uint32_t fTemporaryDepth = 0;
    // Set when the current call wrote a back-reference.
    bool fWroteReference = false;
};

} // namespace kova
