#include "kernel/text/VIntlMgr.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VCollator_system.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VTime.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace kova
{

namespace
{

// ICU as a separate service of the manager: never offered here (the platform's services are
// ICU already).
constexpr bool sICU_Available = false;

// The default dialect, kNoDialect until resolved. Written without a lock: the first resolution
// happens during start-up, and every resolution gives the same answer.
std::atomic<uint32_t> sDefaultDialect{VIntlMgr::kNoDialect};

constexpr uint32_t kCaseMappingTag = FourCharCode("tupc");

// A code of the table: the code itself, else its language's primary dialect, else 1033.
uint32_t TableDialect(uint32_t inDialect)
{
    uint32_t dialect = VIntlMgr::ResolveDialectCode(inDialect);
    if (VIntlMgr::IsDialectCode(dialect))
        return dialect;
    uint32_t primary = (dialect & 0x3FF) | 0x400;
    return VIntlMgr::IsDialectCode(primary) ? primary : VIntlMgr::kDefaultDialect;
}

uint32_t DialectOfLanguage(const VString& inLanguage)
{
    uint32_t dialect = VIntlMgr::kNoDialect;
    if (!VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(inLanguage, dialect, true, true))
        dialect = VIntlMgr::kDefaultDialect;
    return dialect;
}

bool IsASCIILetter(UniChar inUnit)
{
    return (inUnit >= u'A' && inUnit <= u'Z') || (inUnit >= u'a' && inUnit <= u'z');
}

// Pattern letters are read outside quotes only; returns the index just past the quoted text.
int32_t SkipQuoted(const VString& inPattern, int32_t inQuote)
{
    const UniChar quote = inPattern.GetCPointer()[inQuote];
    int32_t i = inQuote + 1;
    while (i < inPattern.GetLength() && inPattern.GetCPointer()[i] != quote)
        ++i;
    return i + 1;
}

bool IsQuote(UniChar inUnit)
{
    return inUnit == u'\'' || inUnit == u'"';
}

// The number, zero-padded to the width and never cut (what "%0*d" writes).
void AppendPadded(VString& ioText, int64_t inValue, int32_t inWidth)
{
    VStr31 digits;
    digits.AppendLong8(inValue < 0 ? -inValue : inValue);
    if (inValue < 0)
    {
        ioText.AppendUniChar(u'-');
        --inWidth;
    }
    for (int32_t i = digits.GetLength(); i < inWidth; ++i)
        ioText.AppendUniChar(u'0');
    ioText.AppendString(digits);
}

void AppendPrefix(VString& ioText, const VString& inName, int32_t inCount)
{
    ioText.AppendUniChars(inName.GetCPointer(), std::min(inCount, inName.GetLength()));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Life cycle

bool VIntlMgr::Init()
{
    return true;
}

void VIntlMgr::ICU_Cleanup() {}

VIntlMgr::VIntlMgr(uint32_t inDialect, uint32_t inOptions)
    : fMacIntlMgr(inDialect), fOptions(inOptions), fDialect(inDialect)
{
}

VIntlMgr::VIntlMgr(const VIntlMgr& inOther)
    : VObject(inOther), IRefCountable(inOther), fMacIntlMgr(inOther.fMacIntlMgr), fOptions(inOther.fOptions),
      fCollator(inOther.fCollator != nullptr ? inOther.fCollator->Clone() : nullptr),
      fDialect(inOther.fDialect), fAMString(inOther.fAMString), fPMString(inOther.fPMString),
      fUseAMPM(inOther.fUseAMPM), fDecimalSeparator(inOther.fDecimalSeparator),
      fThousandSeparator(inOther.fThousandSeparator), fDateSeparator(inOther.fDateSeparator),
      fTimeSeparator(inOther.fTimeSeparator), fCurrencySymbol(inOther.fCurrencySymbol),
      fShortDatePattern(inOther.fShortDatePattern), fMediumDatePattern(inOther.fMediumDatePattern),
      fLongDatePattern(inOther.fLongDatePattern), fFullDatePattern(inOther.fFullDatePattern),
      fShortTimePattern(inOther.fShortTimePattern), fMediumTimePattern(inOther.fMediumTimePattern),
      fLongTimePattern(inOther.fLongTimePattern), fFullTimePattern(inOther.fFullTimePattern),
      fDateOrder(inOther.fDateOrder)
{
}

VIntlMgr::~VIntlMgr()
{
    ReleaseRefCountable(&fCollator);
}

VIntlMgr* VIntlMgr::Create(uint32_t inDialect, uint32_t inCollatorDialect, uint8_t inOptions)
{
    const uint32_t dialect = TableDialect(inDialect);
    uint32_t collatorDialect = TableDialect(inCollatorDialect);
    // No collation of their own for Hungarian and Thai.
    if (collatorDialect == 1038 || collatorDialect == 1054)
        collatorDialect = kDefaultDialect;
    const uint32_t options = (inOptions & kCreateWithSystemServices) != 0 || !sICU_Available
                                 ? kOptionSystemServices
                                 : kOptionICUServices;

    const VIntlMgr* current = VTask::GetCurrentIntlManager();
    if (current != nullptr && current->fDialect == dialect && current->fOptions == options &&
        current->fCollator != nullptr && current->fCollator->GetDialect() == collatorDialect)
    {
        if (VIntlMgr* copy = current->Clone())
        {
            copy->Reset();
            return copy;
        }
    }

    VIntlMgr* manager = new (std::nothrow) VIntlMgr(dialect, options);
    if (manager == nullptr || !manager->_InitCollator(collatorDialect, inOptions))
    {
        delete manager;
        _ThrowError(VE_INTL_MGR_CREATION_FAILED);
        return nullptr;
    }
    manager->_InitLocaleVariables();
    return manager;
}

VIntlMgr* VIntlMgr::Clone() const
{
    VIntlMgr* copy = new (std::nothrow) VIntlMgr(*this);
    if (copy != nullptr && copy->fCollator == nullptr && fCollator != nullptr)
    {
        delete copy;
        copy = nullptr;
    }
    return copy;
}

void VIntlMgr::Reset()
{
    if (fCollator != nullptr)
        fCollator->Reset();
}

bool VIntlMgr::_InitCollator(uint32_t inDialect, uint8_t)
{
    if (fCollator == nullptr)
        fCollator = VCollator_system::Create(inDialect, inDialect == fDialect ? this : nullptr);
    return fCollator != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Default and system dialects

uint32_t VIntlMgr::ResolveDialectCode(uint32_t inDialect)
{
    if (inDialect != 0 && inDialect != 0xFFFFFFFF && inDialect != kNoDialect)
        return inDialect;
    uint32_t dialect = sDefaultDialect.load(std::memory_order_relaxed);
    if (dialect == kNoDialect)
    {
        dialect = _ComputeDefaultDialectCode();
        sDefaultDialect.store(dialect, std::memory_order_relaxed);
    }
    return dialect;
}

uint32_t VIntlMgr::_ComputeDefaultDialectCode()
{
    std::vector<VString> languages;
    XMacIntlMgr::GetPreferredLanguages(languages, false);
    return languages.empty() ? kDefaultDialect : DialectOfLanguage(languages.front());
}

uint32_t VIntlMgr::GetSystemUIDialectCode()
{
    std::vector<VString> languages;
    XMacIntlMgr::GetPreferredLanguages(languages, true);
    return languages.empty() ? kDefaultDialect : DialectOfLanguage(languages.front());
}

void VIntlMgr::GetSystemUIDialectCodes(std::vector<uint32_t>& outDialects)
{
    outDialects.clear();
    std::vector<VString> languages;
    XMacIntlMgr::GetPreferredLanguages(languages, true);
    for (const VString& language : languages)
        outDialects.push_back(DialectOfLanguage(language));
}

bool VIntlMgr::IsSystemUIDialectIdeographic()
{
    switch (GetSystemUIDialectCode())
    {
    case 1028:
    case 1041:
    case 1042:
    case 2052:
    case 2066:
    case 3076:
    case 4100:
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Locale variables

void VIntlMgr::_ScanTimePattern(const VString& inPattern, bool& outUseAMPM, VString& outSeparator)
{
    outUseAMPM = false;
    outSeparator.Clear();
    const UniChar* units = inPattern.GetCPointer();
    for (int32_t i = 0; i < inPattern.GetLength();)
    {
        if (IsQuote(units[i]))
        {
            i = SkipQuoted(inPattern, i);
            continue;
        }
        if (units[i] == u'a')
            outUseAMPM = true;
        else if (outSeparator.IsEmpty() && !IsASCIILetter(units[i]))
            outSeparator.AppendUniChar(units[i]);
        ++i;
    }
}

uint32_t VIntlMgr::_ScanDatePattern(const VString& inPattern, VString& outSeparator)
{
    outSeparator.Clear();
    char order[4] = {};
    int32_t fields = 0;
    const UniChar* units = inPattern.GetCPointer();
    for (int32_t i = 0; i < inPattern.GetLength();)
    {
        const UniChar unit = units[i];
        if (IsQuote(unit))
        {
            i = SkipQuoted(inPattern, i);
            continue;
        }
        if (unit == u'M' || unit == u'd' || unit == u'y')
        {
            if (fields < 3 && std::strchr(order, char(unit)) == nullptr)
                order[fields++] = char(unit);
        }
        else if (outSeparator.IsEmpty() && !IsASCIILetter(unit))
        {
            outSeparator.AppendUniChar(unit);
        }
        ++i;
    }
    static constexpr const char* kOrders[6] = {"Mdy", "dMy", "yMd", "Myd", "dyM", "ydM"};
    for (uint32_t index = 0; index < 6; ++index)
    {
        if (std::strcmp(order, kOrders[index]) == 0)
            return index;
    }
    return 0;
}

void VIntlMgr::_InitLocaleVariables()
{
    if (fMacIntlMgr.GetCFLocaleRef() == nullptr)
        return;
    fMacIntlMgr.GetLocaleValue(XMacIntlMgr::eDecimalSeparator, fDecimalSeparator);
    fMacIntlMgr.GetLocaleValue(XMacIntlMgr::eGroupingSeparator, fThousandSeparator);
    fMacIntlMgr.GetLocaleValue(XMacIntlMgr::eCurrencySymbol, fCurrencySymbol);
    // The generic currency sign means the locale names no currency: the euro stands in.
    if (fCurrencySymbol.GetLength() == 1 && fCurrencySymbol.GetCPointer()[0] == 0x00A4)
        fCurrencySymbol.FromString(VString(UniChar(0x20AC)));

    fMacIntlMgr.GetAMPMSymbols(fAMString, fPMString);
    VString pattern;
    fMacIntlMgr.GetDateTimePattern(0, 1, pattern);
    _ScanTimePattern(pattern, fUseAMPM, fTimeSeparator);
    pattern.Clear();
    fMacIntlMgr.GetDateTimePattern(1, 0, pattern);
    fDateOrder = _ScanDatePattern(pattern, fDateSeparator);

    fMacIntlMgr.GetDateTimePattern(0, 1, fShortTimePattern);
    fMacIntlMgr.GetDateTimePattern(0, 2, fMediumTimePattern);
    fMacIntlMgr.GetDateTimePattern(0, 3, fLongTimePattern);
    fMacIntlMgr.GetDateTimePattern(0, 4, fFullTimePattern);
    fMacIntlMgr.GetDateTimePattern(1, 0, fShortDatePattern);
    fMacIntlMgr.GetDateTimePattern(2, 0, fMediumDatePattern);
    fMacIntlMgr.GetDateTimePattern(3, 0, fLongDatePattern);
    fMacIntlMgr.GetDateTimePattern(4, 0, fFullDatePattern);
}

// ---------------------------------------------------------------------------------------------
// Dates and times

void VIntlMgr::FormatDate(const VTime& inTime, VString& outText, EOSFormats inFormat, bool inUseGMT)
{
    fMacIntlMgr.FormatDate(inTime, outText, inFormat, inUseGMT);
}

void VIntlMgr::FormatTime(const VTime& inTime, VString& outText, EOSFormats inFormat, bool inUseGMT)
{
    fMacIntlMgr.FormatTime(inTime, outText, inFormat, inUseGMT);
}

void VIntlMgr::FormatDuration(const VDuration& inDuration, VString& outText, EOSFormats inFormat)
{
    fMacIntlMgr.FormatDuration(inDuration, outText, inFormat);
}

bool VIntlMgr::GetMonthName(int32_t inMonth, bool inShort, VString& outName)
{
    if (inMonth < 1 || inMonth > 12)
    {
        outName.Clear();
        return false;
    }
    return fMacIntlMgr.GetMonthName(inMonth, inShort, outName);
}

bool VIntlMgr::GetWeekDayName(int32_t inDay, bool inShort, VString& outName)
{
    if (inDay < 0 || inDay > 6)
    {
        outName.Clear();
        return false;
    }
    return fMacIntlMgr.GetWeekDayName(inDay, inShort, outName);
}

void VIntlMgr::FormatDateTimeWithPattern(const VTime& inTime, const VString& inPattern, bool inUseGMT,
                                         const VString* inMonthName, VString& outText)
{
    if (inTime.IsNull())
    {
        outText.Clear();
        return;
    }
    int16_t year, month, day, hour, minute, second, millisecond;
    if (inUseGMT)
        inTime.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    else
        inTime.GetLocalTime(year, month, day, hour, minute, second, millisecond);

    auto monthName = [&](bool inShort, VString& outName)
    {
        outName.Clear();
        if (inMonthName != nullptr)
            outName.FromString(*inMonthName);
        else
            GetMonthName(month, inShort, outName);
    };
    auto weekDayName = [&](bool inShort, VString& outName)
    {
        outName.Clear();
        GetWeekDayName(VTime::ComputeWeekDay(year, month, day), inShort, outName);
    };

    VString result;
    VString name;
    const UniChar* units = inPattern.GetCPointer();
    const int32_t length = inPattern.GetLength();
    for (int32_t i = 0; i < length;)
    {
        const UniChar letter = units[i];
        int32_t run = 1;
        while (i + run < length && units[i + run] == letter)
            ++run;
        // Each field takes at most as many letters as it reads; the rest of a run starts anew.
        int32_t taken = 1;
        switch (letter)
        {
        case u'D':
            taken = std::min(run, 3);
            AppendPadded(result, VTime::ComputeYearDay(year, month, day), taken);
            break;
        case u'E':
            taken = std::min(run, 5);
            weekDayName(taken <= 2, name);
            if (taken <= 3)
                result.AppendString(name);
            else
                AppendPrefix(result, name, taken == 4 ? 1 : 2);
            break;
        case u'G':
            taken = std::min(run, 5);
            result.AppendCString(taken <= 3 ? "AD" : taken == 4 ? "Anno Domini" : "A");
            break;
        case u'H':
        case u'K':
        case u'h':
        case u'k':
        case u'm':
        case u's':
        case u'd':
        {
            taken = std::min(run, 2);
            int32_t value = letter == u'H'   ? hour
                            : letter == u'K' ? hour % 12
                            : letter == u'h' ? (hour % 12 == 0 ? 12 : hour % 12)
                            : letter == u'k' ? (hour == 0 ? 24 : hour)
                            : letter == u'm' ? minute
                            : letter == u's' ? second
                                             : day;
            AppendPadded(result, value, taken);
            break;
        }
        case u'M':
        case u'L':
            taken = std::min(run, 5);
            if (taken <= 2)
            {
                AppendPadded(result, month, taken);
            }
            else
            {
                monthName(taken == 3, name);
                if (taken <= 4)
                    result.AppendString(name);
                else
                    AppendPrefix(result, name, 1);
            }
            break;
        case u'y':
        case u'Y':
            taken = std::min(run, 999);
            AppendPadded(result, year, taken == 1 ? 0 : taken);
            break;
        case u'g':
            taken = std::min(run, 999);
            AppendPadded(result, VTime::ComputeJulianDay(year, month, day), taken);
            break;
        case u'a':
            result.AppendCString(hour >= 12 ? "PM" : "AM");
            break;
        case u'A':
        case u'F':
        case u'Q':
        case u'S':
        case u'V':
        case u'W':
        case u'Z':
        case u'c':
        case u'e':
        case u'q':
        case u'u':
        case u'v':
        case u'w':
        case u'z':
            break;
        default:
            result.AppendUniChar(letter);
            break;
        }
        i += taken;
    }
    outText.FromString(result);
}

// ---------------------------------------------------------------------------------------------
// Comparison

int32_t VIntlMgr::CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                int32_t inLength2, bool inDiacritical) const
{
    return fCollator->CompareString(inText1, inLength1, inText2, inLength2, inDiacritical);
}

int32_t VIntlMgr::CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                int32_t inLength2, const VCompareOptions& inOptions) const
{
    if (inOptions.IsLike())
        return fCollator->CompareString_Like(inText1, inLength1, inText2, inLength2,
                                             inOptions.IsDiacritical());
    return fCollator->CompareString(inText1, inLength1, inText2, inLength2, inOptions.IsDiacritical());
}

bool VIntlMgr::EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                           int32_t inLength2, bool inDiacritical) const
{
    return fCollator->EqualString(inText1, inLength1, inText2, inLength2, inDiacritical);
}

int32_t VIntlMgr::CompareString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                     int32_t inPatternLength, bool inDiacritical) const
{
    return fCollator->CompareString_Like(inText, inLength, inPattern, inPatternLength, inDiacritical);
}

bool VIntlMgr::EqualString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                int32_t inPatternLength, bool inDiacritical) const
{
    return fCollator->EqualString_Like(inText, inLength, inPattern, inPatternLength, inDiacritical);
}

UniChar VIntlMgr::GetWildChar() const
{
    return fCollator->GetWildChar();
}

void VIntlMgr::GetStringComparisonAlgorithmSignature(VString& outSignature) const
{
    fCollator->GetStringComparisonAlgorithmSignature(outSignature);
}

void VIntlMgr::GetKewordAlgorithmSignature(VString& outSignature) const
{
    if ((fOptions & kOptionSystemServices) != 0)
        outSignature.FromString(VString("AlphaNum"));
    else if ((fOptions & (kOptionICUServices | kOptionCompareWords)) == 0)
        outSignature.Clear();
}

// ---------------------------------------------------------------------------------------------
// Case mapping and conversions

void VIntlMgr::ToUpperLowerCase(VString& ioText, bool, bool inUpper) const
{
    const int32_t length = ioText.GetLength();
    if (length == 0)
        return;
    if (length < 256)
    {
        UniChar buffer[512];
        int32_t resultLength = 512;
        if (XMacIntlMgr::ToUpperLowerCase(ioText.GetCPointer(), length, buffer, resultLength, inUpper) &&
            resultLength <= 512)
        {
            ioText.FromUniString(buffer, resultLength);
            return;
        }
    }
    // Twice the length holds nearly every mapping; a longer result gets a block of its exact size
    // rather than being cut.
    int64_t capacity = std::min<int64_t>(int64_t(length) * 2, INT32_MAX);
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        auto* block =
            static_cast<UniChar*>(VMemory::NewPtr(size_t(capacity) * sizeof(UniChar), kCaseMappingTag));
        if (block == nullptr)
            return;
        int32_t resultLength = int32_t(capacity);
        bool mapped =
            XMacIntlMgr::ToUpperLowerCase(ioText.GetCPointer(), length, block, resultLength, inUpper);
        if (mapped && resultLength <= capacity)
            ioText.FromUniString(block, resultLength);
        VMemory::DisposePtr(block);
        if (!mapped || resultLength <= capacity)
            return;
        capacity = resultLength;
    }
}

void VIntlMgr::NormalizeString(VString&, NormalizationMode) const {}

bool VIntlMgr::DebugConvertString(const void* inSource, int32_t inSourceSize, CharSet inSourceCharSet,
                                  void* outDestination, int32_t& ioDestinationSize,
                                  CharSet inDestinationCharSet) const
{
    if (inSourceCharSet != inDestinationCharSet || inSourceSize < 0 || ioDestinationSize < 0)
        return false;
    const int32_t size = std::min(inSourceSize, ioDestinationSize);
    if (size > 0 && (inSource == nullptr || outDestination == nullptr))
        return false;
    if (size > 0)
        std::memmove(outDestination, inSource, size_t(size));
    ioDestinationSize = size;
    return true;
}

bool VIntlMgr::GetLocalizedLanguageName(uint32_t, VString&) const
{
    return false;
}

bool VIntlMgr::GetLocalizedLanguageNameFromBCP47(const VString&, VString&) const
{
    return false;
}

void VIntlMgr::AdjustUniCharPosToCharacterBoundary(const VString&, int32_t&) const {}

} // namespace kova
