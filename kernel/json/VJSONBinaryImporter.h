// VJSONBinaryImporter reads a value back from the binary form that VJSONBinaryWriter writes (the
// layout is described there). The bytes come from files and from text ("__PRIVATE_BINARY_OBJECT"),
// so every length, count and size is checked against the bytes left before it is used: a record
// that does not fit fails with kova 200, a tree nested too deeply with kova 108, and nothing read
// so far leaks. An array's count is checked against the bytes left for all the elements that the
// open arrays still expect, so that the room the arrays take is bounded by the data's size.
//
// Back-references share what they name, so a few bytes can stand for a value whose walk has no
// end: a value whose expanded size (JSONExpandedSize.h) passes the bound of its distinct size is
// refused with kova 918 and read as undefined, also when the reading failed otherwise.
//
// A back-reference is a JSON pointer walked from the root over what was read so far: no file,
// folder, URL decoding or namespace takes part, so crafted data reaches nothing but itself.
//
//     VJSONBinaryImporter importer(bytes, size);
//     VJSONValue value;
//     VError error = importer.GetValue(value);
#pragma once
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace kova
{

class VJSONArray;
class VJSONObject;
class VJSONStamp;

class VJSONBinaryImporter : public VObject
{
public:
    // The importer does not own the bytes, which must outlive it.
    VJSONBinaryImporter(const void* inData, size_t inSize);
    ~VJSONBinaryImporter() override;
    VJSONBinaryImporter(const VJSONBinaryImporter&) = delete;
    VJSONBinaryImporter& operator=(const VJSONBinaryImporter&) = delete;

    // The property that carries a binary form inside JSON text: "__PRIVATE_BINARY_OBJECT".
    static const VString& sBinaryPropertyName();
    // The value whose binary form the Base64 text holds: the decoder's error (kova 210 for text
    // that is no Base64) or the reader's. The value may expand to no more than ioBudget, which
    // loses what it takes: the forms that one text brings into a value bag share one budget.
    static VError ReadBase64(const VString& inBase64, VJSONValue& outValue, uint64_t& ioBudget);

    // Every object and array read gets this change counter (not retained here).
    void SetStamp(VJSONStamp* inStamp) { fStamp = inStamp; }
    // A limit on the expanded size, when tighter than the bound of the value's own size.
    void SetExpansionLimit(uint64_t inLimit) { fExpansionLimit = inLimit; }
    // The expanded size of the last value read.
    uint64_t GetExpandedSize() const { return fExpandedSize; }

    // One value with all its contents; no data gives undefined.
    VError GetValue(VJSONValue& outValue);

private:
    VError _GetValue(VJSONValue& outValue, bool* outHasContents);
    VError _GetValueContents(VJSONValue& ioValue);
    VError _GetObjectContents(VJSONObject* inObject);
    VError _GetArrayContents(VJSONArray* inArray);
    VError _CreateObjectWithClass(VJSONObject* inObject, const uint8_t* inRecord, uint64_t inSize,
                                  VRefPtr<VJSONObject>& outClassObject);
    // The value the pointer text names under the root; undefined when it names nothing.
    VJSONValue _Resolve(const UniChar* inUnits, uint32_t inLength) const;

    // A property name read from the data; empty when memory ran out.
    VString _NameOf(const uint8_t* inUnits, uint16_t inLength);

    size_t _Left() const { return fSize - fPosition; }
    // Kova 200 raised and false when fewer bytes are left.
    bool _Read(void* outBytes, size_t inSize);
    VError _Truncated() const;

    VJSONStamp* fStamp = nullptr;
    size_t fPosition = 0;
    const uint8_t* fData;
    size_t fSize;
    // The root as soon as its tag was read: back-references are resolved against it.
    VJSONValue fRoot;
    bool fHasRoot = false;
    // Set once a back-reference made a collection shared: only then can the value outgrow the data.
    bool fShared = false;
    // The elements that the arrays being read still expect, one byte each at least.
    size_t fPendingElements = 0;
    uint64_t fExpansionLimit = UINT64_MAX;
    uint64_t fExpandedSize = 0;
    // The short names read so far, by hash.
    std::unordered_multimap<uint32_t, VJSONObject::Name> fNames;
};

} // namespace kova
