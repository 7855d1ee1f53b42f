#include "kernel/text/VTextConverters.h"

#include "kernel/text/CharSetTable.h"
#include "kernel/text/VString.h"
#include "platform/mac/text/XMacIntlMgr.h"

#include <cstring>
#include <new>
#include <utility>

namespace kova
{

std::atomic<VTextConverters*> VTextConverters::sInstance{nullptr};

VTextConverters::VTextConverters() = default;

VTextConverters::~VTextConverters() = default;

VTextConverters* VTextConverters::Get()
{
    VTextConverters* instance = sInstance.load(std::memory_order_acquire);
    if (instance != nullptr)
        return instance;
    // The language makes one thread build it while the others wait. Static storage, so that
    // nothing is taken from the memory manager, which may not exist yet.
    alignas(VTextConverters) static unsigned char sStorage[sizeof(VTextConverters)];
    static VTextConverters* const sMade = []
    {
        auto* made = new (sStorage) VTextConverters;
        sInstance.store(made, std::memory_order_release);
        return made;
    }();
    return sMade;
}

// ---------------------------------------------------------------------------------------------
// Converters

namespace
{

// Made for the caller: the swapped UTF-32 forms, and the platform's converter of any other set
// (a Void one when it has none, or when nothing can be allocated).
template <class Converter, class Void, class UTF32, class UTF32Raw, class NewPlatform>
Converter* NewConverter(CharSet inCharSet, Converter& inVoid, NewPlatform inNewPlatform)
{
    Converter* converter;
    switch (inCharSet)
    {
    case VTC_UTF_32_BIGENDIAN:
        converter = new (std::nothrow) UTF32(true);
        break;
    case VTC_UTF_32_RAW_SWAPPED:
        converter = new (std::nothrow) UTF32Raw(true);
        break;
    case VTC_UNKNOWN:
        converter = new (std::nothrow) Void;
        break;
    default:
        converter = inNewPlatform(inCharSet);
        if (converter == nullptr)
            converter = new (std::nothrow) Void;
        break;
    }
    if (converter == nullptr)
    {
        inVoid.Retain();
        converter = &inVoid;
    }
    return converter;
}

} // namespace

VToUnicodeConverter* VTextConverters::_GetCachedToUnicode(CharSet inCharSet) const
{
    switch (inCharSet)
    {
    case VTC_StdLib_char:
        return &fStdLibToUnicode;
    case VTC_UTF_16_BIGENDIAN:
        return &fSwapToUnicode;
    case VTC_UTF_16:
        return &fNullToUnicode;
    case VTC_UTF_32:
        return &fUTF32ToUnicode;
    case VTC_UTF_32_RAW:
        return &fUTF32RawToUnicode;
    case VTC_UTF_8:
        return &fUTF8ToUnicode;
    default:
        return nullptr;
    }
}

VFromUnicodeConverter* VTextConverters::_GetCachedFromUnicode(CharSet inCharSet) const
{
    switch (inCharSet)
    {
    case VTC_StdLib_char:
        return &fStdLibFromUnicode;
    case VTC_UTF_16_BIGENDIAN:
        return &fSwapFromUnicode;
    case VTC_UTF_16:
        return &fNullFromUnicode;
    case VTC_UTF_32:
        return &fUTF32FromUnicode;
    case VTC_UTF_32_RAW:
        return &fUTF32RawFromUnicode;
    case VTC_UTF_8:
        return &fUTF8FromUnicode;
    default:
        return nullptr;
    }
}

VToUnicodeConverter* VTextConverters::RetainToUnicodeConverter(CharSet inCharSet) const
{
    if (VToUnicodeConverter* cached = _GetCachedToUnicode(inCharSet))
    {
        cached->Retain();
        return cached;
    }
    return NewConverter<VToUnicodeConverter, VToUnicodeConverter_Void, VToUnicodeConverter_UTF32,
                        VToUnicodeConverter_UTF32_Raw>(inCharSet, fVoidToUnicode,
                                                       &XMacIntlMgr::NewToUnicodeConverter);
}

VFromUnicodeConverter* VTextConverters::RetainFromUnicodeConverter(CharSet inCharSet) const
{
    if (VFromUnicodeConverter* cached = _GetCachedFromUnicode(inCharSet))
    {
        cached->Retain();
        return cached;
    }
    return NewConverter<VFromUnicodeConverter, VFromUnicodeConverter_Void, VFromUnicodeConverter_UTF32,
                        VFromUnicodeConverter_UTF32_Raw>(inCharSet, fVoidFromUnicode,
                                                         &XMacIntlMgr::NewFromUnicodeConverter);
}

bool VTextConverters::ConvertToVString(const void* inSource, size_t inSourceBytes, CharSet inCharSet,
                                       VString& outString) const
{
    outString.Truncate(0);
    if (inCharSet == VTC_UTF_16)
    {
        outString.FromBlock(inSource, inSourceBytes, VTC_UTF_16);
        return inSourceBytes % 2 == 0;
    }
    size_t consumed = 0;
    bool converted;
    if (const VToUnicodeConverter* cached = _GetCachedToUnicode(inCharSet))
    {
        converted = cached->ConvertLastString(inSource, inSourceBytes, &consumed, outString);
    }
    else
    {
        VToUnicodeConverter* converter = RetainToUnicodeConverter(inCharSet);
        converted = converter->ConvertLastString(inSource, inSourceBytes, &consumed, outString);
        converter->Release();
    }
    return converted && consumed == inSourceBytes;
}

bool VTextConverters::ConvertFromVString(const VString& inString, int32_t& outCharsConsumed,
                                         void* inDestination, size_t inDestinationBytes,
                                         size_t& outBytesProduced, CharSet inCharSet) const
{
    if (const VFromUnicodeConverter* cached = _GetCachedFromUnicode(inCharSet))
        return cached->ConvertLast(inString.GetCPointer(), inString.GetLength(), outCharsConsumed,
                                   inDestination, inDestinationBytes, outBytesProduced);
    VFromUnicodeConverter* converter = RetainFromUnicodeConverter(inCharSet);
    bool converted = converter->ConvertLast(inString.GetCPointer(), inString.GetLength(), outCharsConsumed,
                                            inDestination, inDestinationBytes, outBytesProduced);
    converter->Release();
    return converted;
}

// ---------------------------------------------------------------------------------------------
// Names

// Names compare as the collators compare without diacritics (neither case, nor accents, nor
// width count); the platform's comparison does the same, and also before any international
// manager exists, when converters are already looked up by name.
int32_t VTextConverters::_CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                       int32_t inLength2)
{
    return XMacIntlMgr::CompareNames(inName1, inLength1, inName2, inLength2);
}

int32_t VTextConverters::_CompareNames(const VString& inName1, const VString& inName2)
{
    return _CompareNames(inName1.GetCPointer(), inName1.GetLength(), inName2.GetCPointer(),
                         inName2.GetLength());
}

bool VTextConverters::_EqualNames(const VString& inName, const char* inTableName)
{
    // Table names are short ASCII: widened on the stack.
    UniChar tableName[32];
    int32_t length = 0;
    while (inTableName[length] != 0 && length < 32)
    {
        tableName[length] = UniChar(uint8_t(inTableName[length]));
        ++length;
    }
    return _CompareNames(inName.GetCPointer(), inName.GetLength(), tableName, length) == 0;
}

namespace
{

const CharSetTableRow* FindRowByCharSet(CharSet inCharSet)
{
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (row->fCharSet == inCharSet)
            return row;
    }
    return nullptr;
}

const CharSetTableRow* FindRowByMIBEnum(int32_t inMIBEnum)
{
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (row->fMIBEnum == inMIBEnum)
            return row;
    }
    return nullptr;
}

} // namespace

void VTextConverters::GetNameFromCharSet(CharSet inCharSet, VString& outName) const
{
    outName.Clear();
    if (const CharSetTableRow* row = FindRowByCharSet(inCharSet))
        outName.AppendCString(row->fName);
}

CharSet VTextConverters::GetCharSetFromName(const VString& inName) const
{
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (_EqualNames(inName, row->fName))
            return row->fCharSet;
    }
    return VTC_UNKNOWN;
}

int32_t VTextConverters::GetMIBEnumFromCharSet(CharSet inCharSet) const
{
    const CharSetTableRow* row = FindRowByCharSet(inCharSet);
    return row != nullptr ? row->fMIBEnum : 0;
}

int32_t VTextConverters::GetMIBEnumFromName(const VString& inName) const
{
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (_EqualNames(inName, row->fName))
            return row->fMIBEnum;
    }
    return 0;
}

CharSet VTextConverters::GetCharSetFromMIBEnum(int32_t inMIBEnum) const
{
    const CharSetTableRow* row = FindRowByMIBEnum(inMIBEnum);
    return row != nullptr ? row->fCharSet : VTC_UNKNOWN;
}

void VTextConverters::GetNameFromMIBEnum(int32_t inMIBEnum, VString& outName) const
{
    outName.Clear();
    if (const CharSetTableRow* row = FindRowByMIBEnum(inMIBEnum))
        outName.AppendCString(row->fName);
}

void VTextConverters::EnumWebCharsets(std::vector<VString>& outNames, std::vector<CharSet>& outCharSets) const
{
    outNames.clear();
    outCharSets.clear();
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (row->fWeb)
        {
            outNames.emplace_back(row->fName);
            outCharSets.push_back(row->fCharSet);
        }
    }
}

void VTextConverters::EnumCharsets(std::vector<VString>& outNames, std::vector<CharSet>& outCharSets) const
{
    std::vector<VString> names;
    std::vector<CharSet> charSets;
    const CharSetTableRow* taken = nullptr;
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (taken != nullptr && row->fCharSet == taken->fCharSet)
            continue;
        taken = row;
        VString name(row->fName);
        // Before the first name that does not sort before it, so that a tie goes first.
        size_t index = 0;
        while (index < names.size() && _CompareNames(names[index], name) < 0)
            ++index;
        names.insert(names.begin() + std::ptrdiff_t(index), std::move(name));
        charSets.insert(charSets.begin() + std::ptrdiff_t(index), row->fCharSet);
    }
    outNames.swap(names);
    outCharSets.swap(charSets);
}

// ---------------------------------------------------------------------------------------------
// Byte-order marks

namespace
{

constexpr uint8_t kBOM_UTF8[] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kBOM_UTF16BE[] = {0xFE, 0xFF};
constexpr uint8_t kBOM_UTF16LE[] = {0xFF, 0xFE};
constexpr uint8_t kBOM_UTF32BE[] = {0x00, 0x00, 0xFE, 0xFF};
constexpr uint8_t kBOM_UTF32LE[] = {0xFF, 0xFE, 0x00, 0x00};

struct BOM
{
    CharSet fCharSet;
    const uint8_t* fBytes;
    size_t fSize;
};

// In the order ParseBOM tries them: the UTF-32 marks before the UTF-16 marks they begin with.
constexpr BOM kBOMs[] = {
    {VTC_UTF_8, kBOM_UTF8, sizeof(kBOM_UTF8)},
    {VTC_UTF_32, kBOM_UTF32LE, sizeof(kBOM_UTF32LE)},
    {VTC_UTF_32_BIGENDIAN, kBOM_UTF32BE, sizeof(kBOM_UTF32BE)},
    {VTC_UTF_16_BIGENDIAN, kBOM_UTF16BE, sizeof(kBOM_UTF16BE)},
    {VTC_UTF_16, kBOM_UTF16LE, sizeof(kBOM_UTF16LE)},
};

} // namespace

bool VTextConverters::ParseBOM(const void* inBytes, size_t inByteCount, size_t* outBOMSize,
                               CharSet* outCharSet)
{
    for (const BOM& bom : kBOMs)
    {
        if (inBytes != nullptr && inByteCount >= bom.fSize &&
            std::memcmp(inBytes, bom.fBytes, bom.fSize) == 0)
        {
            if (outBOMSize != nullptr)
                *outBOMSize = bom.fSize;
            if (outCharSet != nullptr)
                *outCharSet = bom.fCharSet;
            return true;
        }
    }
    if (outBOMSize != nullptr)
        *outBOMSize = 0;
    if (outCharSet != nullptr)
        *outCharSet = VTC_UNKNOWN;
    return false;
}

const uint8_t* VTextConverters::GetBOMForCharSet(CharSet inCharSet, size_t& outBOMSize)
{
    for (const BOM& bom : kBOMs)
    {
        if (bom.fCharSet == inCharSet)
        {
            outBOMSize = bom.fSize;
            return bom.fBytes;
        }
    }
    outBOMSize = 0;
    return nullptr;
}

} // namespace kova
