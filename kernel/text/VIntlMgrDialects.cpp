// The dialect table and its lookups. Every lookup is a linear scan of constant rows in table
// order; the first match wins (codes, names and regions repeat on purpose).
#include "kernel/text/VIntlMgr.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VTask.h"

#include <iterator>
#include <new>
#include <string>

namespace kova
{

namespace
{

// Each text is zero-terminated ASCII, empty (never null) when absent. The subtag is a lower-case
// region ("gb") or a script ("Hant"); a row without one is its language's neutral row.
struct DialectRow
{
    uint32_t fCode;
    const char* fISO6391;
    const char* fISO6392;
    const char* fName;
    const char* fRegion;
    const char* fSubTag;
};

constexpr DialectRow kDialects[] = {
    {1078, "af", "afr", "afrikaans", "ZA", ""},
    {1052, "sq", "alb", "albanian", "AL", ""},
    {94, "am", "amh", "amharic", "", ""},
    {1, "ar", "ara", "arabic", "", ""},
    {1025, "ar", "ara", "arabic", "SA", "sa"},
    {2049, "ar", "ara", "arabic", "IQ", "iq"},
    {3073, "ar", "ara", "arabic", "EG", "eg"},
    {4097, "ar", "ara", "arabic", "LY", "ly"},
    {5121, "ar", "ara", "arabic", "DZ", "dz"},
    {6145, "ar", "ara", "arabic", "MA", "ma"},
    {7169, "ar", "ara", "arabic", "TN", "tn"},
    {8193, "ar", "ara", "arabic", "OM", "om"},
    {9217, "ar", "ara", "arabic", "YE", "ye"},
    {10241, "ar", "ara", "arabic", "SY", "sy"},
    {11265, "ar", "ara", "arabic", "JO", "jo"},
    {12289, "ar", "ara", "arabic", "LB", "lb"},
    {13313, "ar", "ara", "arabic", "KW", "kw"},
    {14337, "ar", "ara", "arabic", "AE", "ae"},
    {15361, "ar", "ara", "arabic", "BH", "bh"},
    {16385, "ar", "ara", "arabic", "QA", "qa"},
    {1067, "hy", "hye", "armenian", "AM", ""},
    {44, "az", "aze", "azerbaijani", "", ""},
    {1069, "eu", "baq", "spanish", "ES", "es"},
    {1059, "be", "bel", "belarusian", "BY", ""},
    {1093, "bn", "ben", "bangladesh", "BD", "bd"},
    {1026, "bg", "bul", "bulgarian", "BG", ""},
    {1027, "ca", "cat", "catalan", "ES", ""},
    {1028, "zh", "chi", "chinese", "TW", "Hant"},
    {2052, "zh", "chi", "chinese", "CN", "Hans"},
    {3076, "zh", "chi", "chinese", "HK", "hk"},
    {4100, "zh", "chi", "chinese", "SG", "sg"},
    {1050, "hr", "scr", "croatian", "HR", ""},
    {1029, "cs", "cze", "czech", "CZ", ""},
    {1030, "da", "dan", "danish", "DK", ""},
    {1043, "nl", "dut", "dutch", "NL", ""},
    {2067, "nl", "dut", "dutch", "BE", "be"},
    {1122, "fy", "dut", "dutch", "NL", "nl"},
    {1033, "en", "eng", "english", "US", ""},
    {2057, "en", "eng", "english", "GB", "gb"},
    {3081, "en", "eng", "english", "AU", "au"},
    {4105, "en", "eng", "english", "CA", "ca"},
    {5129, "en", "eng", "english", "NZ", "nz"},
    {6153, "en", "eng", "english", "IE", "ie"},
    {7177, "en", "eng", "english", "ZA", "za"},
    {8201, "en", "eng", "english", "JM", "jm"},
    {9225, "en", "eng", "english", "CB", "cb"},
    {10249, "en", "eng", "english", "BZ", "bz"},
    {11273, "en", "eng", "english", "TT", "tt"},
    {18441, "en", "eng", "english", "SG", "sg"},
    {1061, "et", "est", "estonian", "EE", ""},
    {1080, "fo", "fao", "faorese", "FO", ""},
    {1065, "fa", "per", "persian", "IR", ""},
    {1035, "fi", "fin", "finnish", "FI", ""},
    {1036, "fr", "fre", "french", "FR", ""},
    {2060, "fr", "fre", "french", "BE", "be"},
    {3084, "fr", "fre", "french", "CA", "ca"},
    {4108, "fr", "fre", "french", "CH", "ch"},
    {5132, "fr", "fre", "french", "LU", "lu"},
    {8192, "fr", "fre", "french", "NC", ""},
    {11264, "fr", "fre", "french", "NC", ""},
    {1169, "gd", "eng", "english", "GB", ""},
    {1110, "gl", "spa", "spanish", "ES", ""},
    {1031, "de", "ger", "german", "DE", ""},
    {2055, "de", "ger", "german", "CH", "ch"},
    {3079, "de", "ger", "german", "AT", "at"},
    {4103, "de", "ger", "german", "LU", "lu"},
    {5127, "de", "ger", "german", "LI", "li"},
    {1032, "el", "gre", "greek", "GR", ""},
    {1095, "gu", "guj", "india", "IN", ""},
    {1037, "he", "heb", "hebrew", "IL", ""},
    {1081, "hi", "hin", "india", "IN", ""},
    {1038, "hu", "hun", "hungarian", "HU", ""},
    {1039, "is", "ice", "iceland", "IS", ""},
    {1057, "id", "ind", "indonesian", "ID", ""},
    {2108, "ga", "gle", "ireland", "IE", ""},
    {1040, "it", "ita", "italian", "IT", ""},
    {2064, "it", "ita", "italian", "CH", "ch"},
    {1041, "ja", "jpn", "japanese", "JP", ""},
    {83, "kh", "khm", "khmer", "", ""},
    {1159, "rw", "kin", "kinyarwanda", "RW", ""},
    {1089, "sw", "swk", "kiswahili", "KE", ""},
    {1042, "ko", "kor", "korean", "", ""},
    {2066, "ko", "kor", "korean", "", ""},
    {1062, "lv", "lav", "latvian", "LV", ""},
    {1063, "lt", "lit", "lithuanian", "LT", ""},
    {1134, "lb", "ltz", "luxembourg", "LU", "lu"},
    {1071, "mk", "mkd", "macedonian", "MK", ""},
    {1086, "ms", "may", "malaysian", "MY", "my"},
    {58, "mt", "mlt", "malte", "", ""},
    {129, "mi", "mao", "new zealand", "", ""},
    {1102, "mr", "mar", "india", "IN", ""},
    {1100, "ml", "mal", "india", "IN", ""},
    {1104, "mn", "mon", "mongolian", "MN", ""},
    {1121, "ne", "nep", "nepali", "NP", ""},
    {1044, "no", "nor", "norwegian", "NO", ""},
    {1044, "nb", "nob", "bokmal", "NO", "no"},
    {2068, "nn", "nno", "nynorsk", "NO", "no"},
    {1154, "oc", "oci", "french", "FR", "fr"},
    {72, "or", "ori", "oriya", "", ""},
    {1065, "fa", "peo", "persian", "IR", "ir"},
    {1045, "pl", "pol", "polish", "PL", ""},
    {2070, "pt", "por", "portuguese", "PT", ""},
    {1046, "pt", "por", "portuguese", "BR", "br"},
    {70, "pa", "pan", "punjabi", "", ""},
    {1131, "qu", "que", "bolivia", "BO", ""},
    {1048, "ro", "rum", "romanian", "RO", ""},
    {1049, "ru", "rus", "russian", "RU", ""},
    {1083, "se", "sme", "Sami", "", ""},
    {2107, "se", "sme", "Sami", "", ""},
    {3131, "se", "sme", "Sami", "", ""},
    {4155, "smj", "smj", "Sami", "", ""},
    {5179, "smj", "smj", "Sami", "", ""},
    {6203, "sma", "sma", "Sami", "", ""},
    {7227, "sma", "sma", "Sami", "", ""},
    {8251, "sms", "sms", "Sami", "", ""},
    {9275, "smn", "smn", "Sami", "", ""},
    {1050, "sr", "scc", "serbian", "", ""},
    {2074, "sr", "scc", "serbian", "RS", "Latn"},
    {3098, "sr", "scc", "serbian", "RS", "Cyrl"},
    {1074, "tn", "afr", "afrikaans", "ZA", ""},
    {1115, "si", "sin", "sri lanka", "LK", ""},
    {1051, "sk", "slo", "slovak", "SK", ""},
    {1060, "sl", "slv", "slovenian", "SI", ""},
    {1034, "es", "spa", "spanish", "ES", "es"},
    {2058, "es", "spa", "spanish", "MX", "mx"},
    {3082, "es", "spa", "spanish", "", ""},
    {4106, "es", "spa", "spanish", "GT", "gt"},
    {5130, "es", "spa", "spanish", "CR", "cr"},
    {6154, "es", "spa", "spanish", "PA", "pa"},
    {7178, "es", "spa", "spanish", "DO", "do"},
    {8202, "es", "spa", "spanish", "VE", "ve"},
    {9226, "es", "spa", "spanish", "CO", "co"},
    {10250, "es", "spa", "spanish", "PE", "pe"},
    {11274, "es", "spa", "spanish", "AR", "ar"},
    {12298, "es", "spa", "spanish", "EC", "ec"},
    {13322, "es", "spa", "spanish", "CL", "cl"},
    {14346, "es", "spa", "spanish", "UY", "uy"},
    {15370, "es", "spa", "spanish", "PY", "py"},
    {16394, "es", "spa", "spanish", "BO", "bo"},
    {17418, "es", "spa", "spanish", "SV", "sv"},
    {18442, "es", "spa", "spanish", "HN", "hn"},
    {19466, "es", "spa", "spanish", "NI", "ni"},
    {20490, "es", "spa", "spanish", "PR", "pr"},
    {1053, "sv", "swe", "swedish", "SE", ""},
    {2077, "sv", "swe", "swedish", "FI", "fi"},
    {73, "ta", "tam", "indian", "", ""},
    {1054, "th", "tha", "thai", "TH", ""},
    {1055, "tr", "tur", "turkish", "TR", ""},
    {1058, "uk", "ukr", "ukrainian", "UA", ""},
    {1056, "ur", "urd", "pakistan", "PK", "pk"},
    {1066, "vi", "vie", "vietnamese", "VN", ""},
    {1106, "cy", "wel", "english", "GB", "gb"},
    {1076, "xh", "xho", "afrikaans", "ZA", ""},
    {1077, "zu", "zul", "afrikaans", "ZA", ""},
};
static_assert(std::size(kDialects) == 154);

struct ScriptOfDialect
{
    uint32_t fDialect;
    uint32_t fScript;
};

// clang-format off
constexpr ScriptOfDialect kScripts[] = {
    {1027, 0}, {1030, 0}, {1031, 0}, {1033, 0}, {1034, 0}, {1035, 0}, {1036, 0}, {1040, 0}, {1043, 0}, {1044, 0},
    {1046, 0}, {1052, 0}, {1053, 0}, {1057, 0}, {1068, 0}, {1069, 0}, {1070, 0}, {1078, 0}, {1083, 0}, {1086, 0},
    {1106, 0}, {1122, 0}, {1134, 0}, {2055, 0}, {2057, 0}, {2058, 0}, {2060, 0}, {2064, 0}, {2067, 0}, {2068, 0},
    {2070, 0}, {2077, 0}, {2094, 0}, {2107, 0}, {2108, 0}, {3079, 0}, {3081, 0}, {3082, 0}, {3084, 0}, {3131, 0},
    {4103, 0}, {4105, 0}, {4106, 0}, {4108, 0}, {4155, 0}, {5127, 0}, {5129, 0}, {5130, 0}, {5132, 0}, {5146, 0},
    {5179, 0}, {6153, 0}, {6154, 0}, {6203, 0}, {7177, 0}, {7178, 0}, {7227, 0}, {8192, 0}, {8201, 0}, {8202, 0},
    {8251, 0}, {9225, 0}, {9226, 0}, {9275, 0}, {10249, 0}, {10250, 0}, {11273, 0}, {11274, 0}, {12298, 0}, {13322, 0},
    {14346, 0}, {15370, 0}, {16394, 0}, {17418, 0}, {18441, 0}, {18442, 0}, {19466, 0}, {20490, 0},
    {1041, 1},
    {1028, 2}, {4100, 2},
    {2052, 3}, {3076, 3},
    {1042, 4}, {2066, 4},
    {1025, 5}, {2049, 5}, {3073, 5}, {4097, 5}, {5121, 5}, {6145, 5}, {7169, 5}, {8193, 5}, {9217, 5}, {10241, 5},
    {11265, 5}, {12289, 5}, {13313, 5}, {14337, 5}, {15361, 5}, {16385, 5},
    {1037, 6},
    {1032, 7},
    {1026, 8}, {1049, 8}, {1058, 8}, {1059, 8}, {1064, 8}, {1071, 8}, {1092, 8}, {1104, 8}, {2092, 8}, {2115, 8},
    {3098, 8}, {7194, 8},
    {1029, 9}, {1038, 9}, {1045, 9}, {1051, 9}, {1061, 9}, {1062, 9}, {1063, 9}, {1091, 9}, {2074, 9}, {6170, 9},
    {1050, 10}, {1060, 10}, {4122, 10},
    {1039, 11}, {1080, 11},
    {1065, 12},
    {1048, 13},
    {1054, 14},
    {1066, 15},
    {1055, 16},
};
// clang-format on

constexpr uint32_t kNoScript = 0xFFFFFFFF;

// A part of a language tag longer than this is no language or region.
constexpr size_t kMaxTagPart = 255;

const DialectRow* FindRow(uint32_t inDialect)
{
    for (const DialectRow& row : kDialects)
    {
        if (row.fCode == inDialect)
            return &row;
    }
    return nullptr;
}

char LowerASCII(char inCharacter)
{
    return inCharacter >= 'A' && inCharacter <= 'Z' ? char(inCharacter + 32) : inCharacter;
}

bool EqualIgnoringASCIICase(const char* inText1, const char* inText2)
{
    for (; *inText1 != 0 && *inText2 != 0; ++inText1, ++inText2)
    {
        if (LowerASCII(*inText1) != LowerASCII(*inText2))
            return false;
    }
    return *inText1 == *inText2;
}

// The 8-bit form of a part of a tag: units beyond ASCII become a byte no table text holds.
std::string EightBitPart(const VString& inPart)
{
    std::string part;
    for (int32_t i = 0; i < inPart.GetLength(); ++i)
    {
        UniChar unit = inPart.GetCPointer()[i];
        part.push_back(unit < 0x80 && unit != 0 ? char(unit) : '\x80');
    }
    return part;
}

// The non-empty parts of the text between separators.
std::vector<VString> SplitAt(const VString& inText, UniChar inSeparator)
{
    std::vector<VString> parts;
    inText.GetSubStrings(inSeparator, parts);
    return parts;
}

// Names compare as the current collation does without diacritics (nor case, nor width); ASCII
// without case while no manager exists.
bool EqualNames(const VString& inName1, const VString& inName2)
{
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager())
    {
        return manager->EqualString(inName1.GetCPointer(), inName1.GetLength(), inName2.GetCPointer(),
                                    inName2.GetLength(), false);
    }
    return EqualIgnoringASCIICase(EightBitPart(inName1).c_str(), EightBitPart(inName2).c_str());
}

VString LowerASCIIText(const VString& inText)
{
    VString lower(inText);
    for (int32_t i = 1; i <= lower.GetLength(); ++i)
    {
        UniChar unit = lower.GetUniChar(i);
        if (unit >= u'A' && unit <= u'Z')
            lower.SetUniChar(i, UniChar(unit + 32));
    }
    return lower;
}

// A text of the first row with the code; null when there is none.
const char* RowText(uint32_t inDialect, const char* DialectRow::*inText)
{
    const DialectRow* row = FindRow(inDialect);
    return row != nullptr ? row->*inText : nullptr;
}

bool SetFromRow(const char* inText, VString& outText)
{
    outText.Clear();
    if (inText != nullptr)
        outText.AppendCString(inText);
    return !outText.IsEmpty();
}

uint32_t PrimaryDialect(uint32_t inDialect)
{
    return (inDialect & 0x3FF) | 0x400;
}

} // namespace

const char* VIntlMgr::GetISO6391LanguageCode(uint32_t inDialect)
{
    return RowText(inDialect, &DialectRow::fISO6391);
}

bool VIntlMgr::GetISO6391LanguageCode(uint32_t inDialect, VString& outCode)
{
    return SetFromRow(RowText(inDialect, &DialectRow::fISO6391), outCode);
}

const char* VIntlMgr::GetISO6392LanguageCode(uint32_t inDialect)
{
    return RowText(inDialect, &DialectRow::fISO6392);
}

bool VIntlMgr::GetISO6392LanguageCode(uint32_t inDialect, VString& outCode)
{
    return SetFromRow(RowText(inDialect, &DialectRow::fISO6392), outCode);
}

const char* VIntlMgr::GetISOLanguageName(uint32_t inDialect)
{
    return RowText(inDialect, &DialectRow::fName);
}

bool VIntlMgr::GetISOLanguageName(uint32_t inDialect, VString& outName)
{
    return SetFromRow(RowText(inDialect, &DialectRow::fName), outName);
}

const char* VIntlMgr::GetISO3166RegionCode(uint32_t inDialect)
{
    return RowText(inDialect, &DialectRow::fRegion);
}

bool VIntlMgr::GetISO3166RegionCode(uint32_t inDialect, VString& outRegion)
{
    return SetFromRow(RowText(inDialect, &DialectRow::fRegion), outRegion);
}

bool VIntlMgr::GetRFC3066BisSubTagRegionCode(uint32_t inDialect, VString& outSubTag)
{
    return SetFromRow(RowText(inDialect, &DialectRow::fSubTag), outSubTag);
}

bool VIntlMgr::GetBCP47LanguageCode(uint32_t inDialect, VString& outCode)
{
    const DialectRow* row = FindRow(inDialect);
    if (!SetFromRow(row != nullptr ? row->fISO6391 : nullptr, outCode))
        return false;
    if (*row->fRegion != 0)
    {
        outCode.AppendUniChar(u'-');
        outCode.AppendCString(row->fRegion);
    }
    return true;
}

bool VIntlMgr::GetRFC3066BisLanguageCodeWithDialectCode(uint32_t inDialect, VString& outCode,
                                                        UniChar inSeparator)
{
    const DialectRow* row = FindRow(inDialect);
    if (!SetFromRow(row != nullptr ? row->fISO6391 : nullptr, outCode))
        return false;
    if (*row->fSubTag != 0)
    {
        outCode.AppendUniChar(inSeparator);
        outCode.AppendCString(row->fSubTag);
    }
    return true;
}

bool VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(const VString& inCode, uint32_t& outDialect,
                                                        bool inFallBackToLanguage, bool inPreferPrimary)
{
    outDialect = kNoDialect;
    // Two parts at "-", else the parts at "_" when the text has no "-" or they are two.
    std::vector<VString> parts = SplitAt(inCode, u'-');
    if (parts.size() != 2)
    {
        std::vector<VString> underscoreParts = SplitAt(inCode, u'_');
        if (underscoreParts.size() == 2 || parts.size() == 1)
            parts.swap(underscoreParts);
    }
    if (parts.size() != 1 && parts.size() != 2)
        return false;
    std::string language = EightBitPart(parts[0]);
    std::string region = parts.size() == 2 ? EightBitPart(parts[1]) : std::string();
    if (language.size() > kMaxTagPart || region.size() > kMaxTagPart)
        return false;
    return GetDialectCodeWithRFC3066BisLanguageCode(language.c_str(),
                                                    parts.size() == 2 ? region.c_str() : nullptr, outDialect,
                                                    inFallBackToLanguage, inPreferPrimary);
}

bool VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(const char* inLanguage, const char* inRegion,
                                                        uint32_t& outDialect, bool inFallBackToLanguage,
                                                        bool inPreferPrimary)
{
    outDialect = kNoDialect;
    if (inLanguage == nullptr)
        return false;
    if (inRegion != nullptr)
    {
        // A region is matched against the subtag column alone.
        for (const DialectRow& row : kDialects)
        {
            if (EqualIgnoringASCIICase(row.fISO6391, inLanguage) &&
                EqualIgnoringASCIICase(row.fSubTag, inRegion))
            {
                outDialect = row.fCode;
                return true;
            }
        }
        if (!inFallBackToLanguage)
            return false;
    }
    for (const DialectRow& row : kDialects)
    {
        if (*row.fSubTag == 0 && EqualIgnoringASCIICase(row.fISO6391, inLanguage))
        {
            outDialect = inRegion != nullptr || inPreferPrimary ? PrimaryDialect(row.fCode) : row.fCode;
            return true;
        }
    }
    return false;
}

bool VIntlMgr::GetDialectCodeWithISOLanguageName(const VString& inName, uint32_t& outDialect)
{
    outDialect = kNoDialect;
    VString name(inName);
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager())
        manager->ToUpperLowerCase(name, false, false);
    else
        name = LowerASCIIText(inName);
    for (const DialectRow& row : kDialects)
    {
        if (*row.fSubTag == 0 && EqualNames(name, VString(row.fName)))
        {
            outDialect = 0x400 | (row.fCode & 0xFF);
            return true;
        }
    }
    return false;
}

int32_t VIntlMgr::Compare2RFC3066LanguageCodes(const VString& inCode1, const VString& inCode2)
{
    const VString code1 = LowerASCIIText(inCode1);
    const VString code2 = LowerASCIIText(inCode2);
    uint32_t dialect1 = kNoDialect;
    uint32_t dialect2 = kNoDialect;
    if (!GetDialectCodeWithRFC3066BisLanguageCode(code1, dialect1, true, true) ||
        !GetDialectCodeWithRFC3066BisLanguageCode(code2, dialect2, true, true))
    {
        return -1;
    }
    if (EqualNames(code1, code2))
        return 4;
    std::vector<VString> parts1 = SplitAt(code1, u'-');
    std::vector<VString> parts2 = SplitAt(code2, u'-');
    const bool sameLanguage = !parts1.empty() && !parts2.empty() && EqualNames(parts1[0], parts2[0]);
    if (parts1.size() == 2 && parts2.size() == 1)
        return sameLanguage ? 3 : 0;
    if (parts1.size() == 1 && parts2.size() == 2)
        return sameLanguage ? 2 : 0;
    if (parts1.size() == 2 && parts2.size() == 2)
        return sameLanguage ? 1 : 0;
    return 0;
}

bool VIntlMgr::IsDialectCode(uint32_t inDialect)
{
    return FindRow(inDialect) != nullptr;
}

bool VIntlMgr::IsRightToLeftDialect(uint32_t inDialect)
{
    switch (ResolveDialectCode(inDialect) & 0x3FF)
    {
    case 0x01: // Arabic
    case 0x0D: // Hebrew
    case 0x20: // Urdu
    case 0x29: // Persian
        return true;
    default:
        return false;
    }
}

void VIntlMgr::GetAllDialects(std::vector<uint32_t>& outDialects)
{
    outDialects.reserve(outDialects.size() + std::size(kDialects));
    for (const DialectRow& row : kDialects)
        outDialects.push_back(row.fCode);
}

void VIntlMgr::GetDialectsHavingCollator(std::vector<std::pair<VString, uint32_t>>& outDialects)
{
    outDialects.reserve(outDialects.size() + std::size(kDialects));
    for (const DialectRow& row : kDialects)
    {
        // The language of the first row with the code, as every lookup by code gives.
        VString language;
        GetISO6391LanguageCode(row.fCode, language);
        outDialects.emplace_back(language, row.fCode);
    }
}

uint32_t VIntlMgr::DialectCodeToScriptCode(uint32_t inDialect)
{
    for (const ScriptOfDialect& entry : kScripts)
    {
        if (entry.fDialect == inDialect)
            return entry.fScript;
    }
    return kNoScript;
}

bool VIntlMgr::GetLocalizationFoldersWithDialect(uint32_t inDialect, const VFilePath& inFolder,
                                                 std::vector<VRefPtr<VFolder>>& outFolders)
{
    if (!inFolder.IsValid() || inFolder.GetPath().IsEmpty())
        return false;
    std::vector<VString> names;
    VString tag;
    GetRFC3066BisLanguageCodeWithDialectCode(inDialect, tag, u'-');
    auto addUnlessTag = [&](const VString& inName)
    {
        if (!inName.IsEmpty() && !EqualNames(inName, tag))
            names.push_back(inName);
    };
    if (!tag.IsEmpty())
        names.push_back(tag);
    VString name;
    GetRFC3066BisLanguageCodeWithDialectCode(inDialect, name, u'_');
    addUnlessTag(name);
    GetISO6391LanguageCode(inDialect, name);
    addUnlessTag(name);
    VString region;
    if (GetISO3166RegionCode(inDialect, region))
    {
        GetISO6391LanguageCode(inDialect, name);
        name.AppendUniChar(u'_');
        name.AppendString(region);
        addUnlessTag(name);
    }
    if (GetISOLanguageName(inDialect, name))
    {
        const UniChar first = name.GetUniChar(1);
        if (first >= u'a' && first <= u'z')
            name.SetUniChar(1, UniChar(first - 32));
        names.push_back(name);
    }
    for (VString& folderName : names)
    {
        folderName.AppendCString(".lproj");
        VFilePath path(inFolder);
        path.ToSubFolder(folderName);
        VRefPtr<VFolder> folder(new (std::nothrow) VFolder(path));
        if (folder != nullptr && folder->Exists())
            outFolders.push_back(std::move(folder));
    }
    return !outFolders.empty();
}

VFile* VIntlMgr::RetainLocalizationFile(const VFilePath& inFolder, const VString& inFileName,
                                        uint32_t inDialect, bool* outFoldersFound)
{
    std::vector<VRefPtr<VFolder>> folders;
    GetLocalizationFoldersWithDialect(inDialect, inFolder, folders);
    if (outFoldersFound != nullptr)
        *outFoldersFound = !folders.empty();
    // The most general folder first: its file wins over those of the more precise ones.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
    {
        VRefPtr<VFile> file(new (std::nothrow) VFile(**folder, inFileName, FPS_SYSTEM));
        if (file != nullptr && file->Exists())
            return file.Detach();
    }
    return nullptr;
}

} // namespace kova
