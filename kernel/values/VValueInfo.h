// VValueInfo describes one value kind: it makes values of the kind and compares, sizes and
// byte-swaps their packed data without building objects (value bags and arrays keep their
// values packed). Building a descriptor registers it under its true kind (VValue's registry);
// destroying it unregisters it. Each value class keeps its descriptor in a static sInfo.
//
// The templates below cover most kinds:
// - VValueInfo_scalar: a class over one native number, packed as that number;
// - VValueInfo_default: a class that packs itself (its own LoadFromPtr) or not at all;
// - VValueInfo_array: the typed arrays.
#pragma once

#include "kernel/values/CompareResult.h"
#include "kernel/values/ValueKind.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValue.h"

#include <cstddef>
#include <cstring>

namespace kova
{

class VBlob;
class VCompareOptions;

class VValueInfo : public VObject
{
public:
    explicit VValueInfo(ValueKind inKind);
    VValueInfo(ValueKind inKind, ValueKind inTrueKind);
    ~VValueInfo() override;
    VValueInfo(const VValueInfo&) = delete;
    VValueInfo& operator=(const VValueInfo&) = delete;

    ValueKind GetKind() const { return fKind; }
    // The kind of the registry, of streams and of every lookup.
    ValueKind GetTrueKind() const { return fTrueKind; }

    // A new value of the kind, owned by the caller.
    virtual VValue* Generate() const = 0;
    // The same for a value bound to a blob; the descriptors of the toolbox ignore the blob.
    virtual VValue* Generate(VBlob* inBlob) const = 0;
    // A new value from its packed datum, owned by the caller.
    virtual VValue* LoadFromPtr(const void* inData, bool inFlag) const = 0;
    // Swaps the byte order of one packed datum in place; returns the address past it (past what
    // the kind swaps). inFromNative says the datum was in the processor's order before.
    virtual void* ByteSwapPtr(void* ioData, bool inFromNative) const = 0;

    // Packed data compared; the base finds them equal.
    virtual CompareResult CompareTwoPtrToData(const void* inData1, const void* inData2, bool inDiacritical) const;
    // The first datum compared with the beginning of the second.
    virtual CompareResult CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                                      bool inDiacritical) const;
    virtual CompareResult CompareTwoPtrToData_Like(const void* inData1, const void* inData2,
                                                   bool inDiacritical) const;
    virtual CompareResult CompareTwoPtrToDataBegining_Like(const void* inData1, const void* inData2,
                                                           bool inDiacritical) const;
    virtual CompareResult CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                         const VCompareOptions& inOptions) const;
    // The bytes of the packed datum at the address; the base answers 0.
    virtual size_t GetSizeOfValueDataPtr(const void* inData) const;
    // The typical size of a packed datum; the base answers 0.
    virtual size_t GetAvgSpace() const;

private:
    ValueKind fKind;
    ValueKind fTrueKind;
};

// A class holding one NATIVE number. The class needs a constructor (const NATIVE*, bool init):
// init true gives zero (for a date-time the empty date) without reading the pointer.
template <class VALUE, ValueKind KIND, class NATIVE>
class VValueInfo_scalar : public VValueInfo
{
public:
    VValueInfo_scalar() : VValueInfo(KIND) {}

    VValue* Generate() const override { return new VALUE(static_cast<NATIVE*>(nullptr), true); }
    VValue* Generate(VBlob*) const override { return Generate(); }
    VValue* LoadFromPtr(const void* inData, bool) const override
    {
        NATIVE datum = Read(inData);
        return new VALUE(&datum, false);
    }
    void* ByteSwapPtr(void* ioData, bool) const override
    {
        auto* bytes = static_cast<unsigned char*>(ioData);
        for (size_t i = 0; i < sizeof(NATIVE) / 2; ++i)
        {
            unsigned char byte = bytes[i];
            bytes[i] = bytes[sizeof(NATIVE) - 1 - i];
            bytes[sizeof(NATIVE) - 1 - i] = byte;
        }
        return bytes + sizeof(NATIVE);
    }
    CompareResult CompareTwoPtrToData(const void* inData1, const void* inData2, bool) const override
    {
        return CompareNatives(Read(inData1), Read(inData2));
    }
    CompareResult CompareTwoPtrToDataBegining(const void* inData1, const void* inData2, bool) const override
    {
        return CompareNatives(Read(inData1), Read(inData2));
    }
    CompareResult CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                 const VCompareOptions&) const override
    {
        return CompareNatives(Read(inData1), Read(inData2));
    }
    size_t GetSizeOfValueDataPtr(const void*) const override { return sizeof(NATIVE); }
    size_t GetAvgSpace() const override { return sizeof(NATIVE); }

protected:
    // Packed data carry no alignment.
    static NATIVE Read(const void* inData)
    {
        NATIVE datum;
        std::memcpy(&datum, inData, sizeof(NATIVE));
        return datum;
    }
};

// A class made by its default constructor that reads its own packed form.
template <class VALUE, ValueKind KIND>
class VValueInfo_default : public VValueInfo
{
public:
    VValueInfo_default() : VValueInfo(KIND) {}

    VValue* Generate() const override { return new VALUE(); }
    VValue* Generate(VBlob*) const override { return Generate(); }
    VValue* LoadFromPtr(const void* inData, bool inFlag) const override
    {
        VALUE* value = new VALUE();
        value->LoadFromPtr(inData, inFlag);
        return value;
    }
    void* ByteSwapPtr(void* ioData, bool) const override { return ioData; }
};

// The typed arrays: packed arrays hold nothing, so every form makes a new empty array.
template <class VALUE, ValueKind KIND, class ELEMENT>
class VValueInfo_array : public VValueInfo_default<VALUE, KIND>
{
public:
    using Element = ELEMENT;

    VValue* LoadFromPtr(const void*, bool) const override { return new VALUE(); }
};

} // namespace kova
