// VValue is the abstract base of every value class: a datum of one kind with a null flag (the
// value holds no datum, a database null) and a dirty flag (it changed since somebody cleared the
// flag; nothing in the value model clears it by itself). It gives all kinds one protocol:
// comparison in several flavours, a packed form in caller memory (value bags, arrays), a stream
// form, JSON forms and cloning. Each class is described by one registered VValueInfo, found by
// its kind through the registry below, so that a kind read from a stream or a packed dictionary
// turns back into an object.
//
// Arguments of the compare family: a `const VValue*` is a value of the same kind, a
// `const void*` a packed datum of the same kind (the form WriteToPtr writes), and the bool
// inDiacritical says that diacritics count (string kinds pass it to collation; others ignore it).
//
// The flags byte is shared with derived classes, which may use the bits above the two below.
#pragma once

#include "kernel/values/CompareResult.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/ValueKind.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VBlob;
class VCompareOptions;
class VJSONValue;
class VStream;
class VString;
class VValueInfo;
class VValueInfoRegistry;
class VValueSingle;

class VValue : public VObject
{
public:
    static constexpr uint8_t kFlagNull = 0x01;
    static constexpr uint8_t kFlagDirty = 0x02;

    // A new value is dirty and not null.
    VValue() = default;
    VValue(const VValue&) = default;
    VValue& operator=(const VValue&) = default;
    ~VValue() override = default;

    bool IsNull() const { return (fFlags & kFlagNull) != 0; }
    bool IsDirty() const { return (fFlags & kFlagDirty) != 0; }

    // Changing the null state also makes the value dirty; each change calls its hook once.
    void SetNull(bool inNull);
    void SetDirty(bool inDirty);

    // The kind this value is registered and streamed under.
    ValueKind GetTrueValueKind() const;

    // Registry of descriptors by true kind. A second descriptor of a kind replaces the first.
    static void RegisterValueInfo(const VValueInfo* inInfo);
    static void UnregisterValueInfo(const VValueInfo* inInfo);
    // Null when the kind is not registered.
    static const VValueInfo* ValueInfoFromValueKind(ValueKind inKind);
    // A new value of the kind, owned by the caller; null when the kind is not registered.
    static VValue* NewValueFromValueKind(ValueKind inKind);
    // Smaller and bigger swap places; equal and CR_UNRELEVANT stay.
    static CompareResult InvertCompResult(CompareResult inResult);

    // Identity. The base answers the kind-65535 descriptor, whose values are empty.
    virtual const VValueInfo* GetValueInfo() const;
    virtual void Clear();
    virtual VValueSingle* IsVValueSingle() { return nullptr; }
    virtual const VValueSingle* IsVValueSingle() const { return nullptr; }

    // JSON forms. The base raises kova error 2 (not implemented) and returns it; GetJSONValue also
    // makes the JSON value undefined.
    virtual VError FromJSONString(const VString& inJSONString, uint32_t inOptions);
    virtual VError GetJSONString(VString& outJSONString, uint32_t inOptions) const;
    virtual VError FromJSONValue(const VJSONValue& inJSONValue);
    virtual VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const;

    // Comparison with options (collation manager, like, diacritical, beginning, real tolerance).
    virtual CompareResult CompareToSameKindWithOptions(const VValue* inValue,
                                                       const VCompareOptions& inOptions) const;
    virtual bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const;
    virtual CompareResult CompareToSameKindPtrWithOptions(const void* inData,
                                                          const VCompareOptions& inOptions) const;
    virtual bool EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const;
    // The packed datum compared with this value.
    virtual CompareResult Swap_CompareToSameKindPtrWithOptions(const void* inData,
                                                               const VCompareOptions& inOptions) const;

    // Plain comparison.
    virtual CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const;
    virtual CompareResult CompareBeginingToSameKind(const VValue* inValue, bool inDiacritical) const;
    virtual bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const;
    // Copies the datum and null state of a value of the same class; false when it could not.
    virtual bool FromValueSameKind(const VValue* inValue);
    virtual CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const;
    virtual CompareResult Swap_CompareToSameKindPtr(const void* inData, bool inDiacritical) const;
    virtual CompareResult CompareBeginingToSameKindPtr(const void* inData, bool inDiacritical) const;
    virtual CompareResult IsTheBeginingToSameKindPtr(const void* inData, bool inDiacritical) const;
    virtual bool EqualToSameKindPtr(const void* inData, bool inDiacritical) const;

    // Pattern (wildcard) comparison; the base forms are the plain ones.
    virtual CompareResult CompareToSameKind_Like(const VValue* inValue, bool inDiacritical) const;
    virtual CompareResult CompareBeginingToSameKind_Like(const VValue* inValue, bool inDiacritical) const;
    virtual bool EqualToSameKind_Like(const VValue* inValue, bool inDiacritical) const;
    virtual CompareResult CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const;
    virtual CompareResult Swap_CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const;
    virtual CompareResult CompareBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const;
    virtual CompareResult IsTheBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const;
    virtual bool EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const;
    virtual bool Swap_EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const;

    // Packed form, in the processor's byte order. LoadFromPtr reads a datum, makes the value not
    // null and dirty, and returns the address past it; WriteToPtr writes the datum and returns
    // the address past it; GetSpace gives the bytes written, so callers make that much room.
    // inMax, when not 0, is a limit that strings honour by keeping the units that fit (GetSpace
    // then gives the cut size); every other kind writes its whole datum.
    // inFlag is passed on by containers; no kind of the toolbox reads it. ioOutsideSpace counts
    // room kept outside the packed form; no kind of the toolbox writes it.
    virtual const void* LoadFromPtr(const void* inData, bool inFlag);
    virtual void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const;
    virtual size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const;

    // Stream form, in the stream's byte order. Both return the stream's last error; inParam is
    // read by no kind of the toolbox.
    virtual bool CanBeStreamed() const;
    virtual size_t GetFullSpaceOnDisk(uint64_t& ioOutsideSpace) const;
    virtual VError ReadFromStream(VStream* ioStream, int32_t inParam);
    virtual VError WriteToStream(VStream* ioStream, int32_t inParam) const;
    virtual size_t GetStreamSpace() const;

    // Hooks for values stored outside their record (database fields). The toolbox stores none:
    // setters do nothing, tests answer false.
    virtual int32_t Flush(void* inDataPtr, void* inContext) const;
    virtual void SetReservedBlobNumber(int32_t inBlobNumber);
    virtual VValue* FullyClone(bool inForPush) const;
    virtual void RestoreFromPop(void* inContext);
    virtual void Detach(bool inMayEmpty);
    virtual bool WillContainBlobData() const;
    virtual void SetOutsidePath(const VString& inPath, bool inRelative);
    // Clears the path: no value of the toolbox has one.
    virtual void GetOutsidePath(VString& outPath, bool inRelative) const;
    virtual void SetOutsideSuffixe(const VString& inSuffix);
    virtual bool IsOutsidePath() const;
    virtual VError ReloadFromOutsidePath();
    virtual bool ForcePathIfEmpty() const;
    virtual void SetForcePathIfEmpty(bool inForce);
    virtual void SetHintRecNum(int32_t inTableNum, int32_t inFieldNum, int32_t inRecNum);
    virtual void AssociateRecord(void* inRecord, int32_t inFieldNum);
    virtual bool HasInternalPropertyChanged() const;
    virtual void ResetInternalPropertyChanged();
    virtual void AddJSONStamp(uint32_t inStamp);
    virtual VError ReadRawFromStream(VStream* ioStream, int32_t inParam);
    virtual VBlob* GetDataBlob() const;

    // A new value of the same class, kind, datum and null state, owned by the caller.
    virtual VValue* Clone() const = 0;
    virtual bool CanBeEvaluated() const;

    // Called by SetNull and SetDirty when a flag changed.
    virtual void DoNullChanged();
    virtual void DoDirtyChanged();

    // Constant-initialised, so registration during static initialisation finds it ready.
    static VValueInfoRegistry sInfos;

protected:
    // Not null and dirty: the end of every setter.
    void _MarkSet()
    {
        SetNull(false);
        SetDirty(true);
    }

    uint8_t fFlags = kFlagDirty;
};

} // namespace kova
