// VUUID is the value of kind 13: a 16-byte identifier (progress indicators, temporary file names
// and value bags carry them). The null identifier is 16 zero bytes. Its text is 32 upper-case
// hexadecimal digits without separators. Reading text never refuses: any text holding 32
// hexadecimal digits gives them, whatever lies around them (dashes, braces), and any other text
// becomes the identifier made of its first 16 UTF-8 bytes padded with blanks. Identifiers order
// byte by byte, byte 0 first; the packed and stream forms are the 16 bytes as they are.
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VString;

// The 16 bytes of an identifier, byte 0 first; no alignment.
struct VUUIDBuffer
{
    uint8_t fBytes[16] = {};

    bool IsNull() const;
};

class VUUID;

// Kind 13: packed identifiers compare byte-wise and are always 16 bytes.
class VUUID_info : public VValueInfo_default<VUUID, VK_UUID>
{
public:
    CompareResult CompareTwoPtrToData(const void* inData1, const void* inData2, bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                              bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                 const VCompareOptions& inOptions) const override;
    size_t GetSizeOfValueDataPtr(const void* inData) const override;
    size_t GetAvgSpace() const override;
};

class VUUID : public VValueSingle
{
public:
    // The null identifier, dirty.
    VUUID();
    // With true a new identifier (not null); with false the null one.
    explicit VUUID(bool inGenerate);
    // Null when the bytes are all zero.
    explicit VUUID(const VUUIDBuffer& inBuffer);
    // FromBuffer(const char*) on the null identifier.
    explicit VUUID(const char* inText);
    // The bytes and the null state; no cached text.
    VUUID(const VUUID& inOther);
    VUUID& operator=(const VUUID& inOther);
    ~VUUID() override;

    // A new random identifier, not null. A failed generation leaves the bytes as they were.
    void Regenerate();

    // The bytes only; null states are not looked at.
    bool operator==(const VUUID& inOther) const;
    bool operator!=(const VUUID& inOther) const { return !(*this == inOther); }
    // Byte-wise, unsigned, byte 0 first.
    bool operator<(const VUUID& inOther) const;

    void ToBuffer(VUUIDBuffer& outBuffer) const { outBuffer = fBuffer; }
    // Null when the bytes are all zero.
    void FromBuffer(const VUUIDBuffer& inBuffer);
    // A C string of exactly 32 characters is read as hexadecimal (a character that is no digit
    // counts as 0); one of at most 16 characters gives its bytes followed by zeros; any other
    // length changes nothing. Then null when the bytes are all zero.
    void FromBuffer(const char* inText);

    // The text kept by the identifier, made on the first call that asks for it; afterwards every
    // change of the bytes or of the null state rewrites it. Null when not made.
    const VString* GetCachedConvertedString(bool inMake);
    // After the bytes were written directly: the null state, the dirty flag and the cached text.
    void _GotValue(bool inNull);

    // Exactly 32 units, each '0'-'9' or 'A'-'F', and not all '0' unless inAcceptNull.
    static bool IsUUIDString(const VString& inText, bool inAcceptNull);

    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    // The null identifier.
    void Clear() override;

    void GetVUUID(VUUID& outUUID) const override;
    void GetValue(VValueSingle& outValue) const override;
    void FromVUUID(const VUUID& inUUID) override;
    void FromValue(const VValueSingle& inValue) override;
    bool FromValueSameKind(const VValue* inValue) override;
    // 32 upper-case hexadecimal digits; the null identifier gives 32 '0'.
    void GetString(VString& outString) const override;
    void FromString(const VString& inString) override;
    // The fallback of FromString alone: blanks overwritten by the text's first UTF-8 bytes.
    void BuildFromAnsiString(const VString& inString);

    // The 32 digits quoted.
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    // JSON null makes the UUID null; any other value is parsed from its text.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null UUID, else the string of its 32 digits.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

    // CR_UNRELEVANT against any other kind.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    bool EqualToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;
    bool EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;

    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    size_t GetStreamSpace() const override;
    // The identifier becomes not null even when its bytes are zero; a failed read leaves it as
    // it was.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    // Making the identifier null zeroes its bytes.
    void DoNullChanged() override;

    static const VUUID_info sInfo;
    static const VUUID sNullUUID;

private:
    void _RefreshCachedString();

    VUUIDBuffer fBuffer;
    VString* fCachedString = nullptr;
};

} // namespace kova
