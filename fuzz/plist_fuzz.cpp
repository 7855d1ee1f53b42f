// Property lists read from untrusted bytes (a bundle's Info.plist is anyone's download): any bytes
// read without a fault, and without the toolbox's memory manager, which does not exist yet when the
// main bundle's list is read; the file reader answers what the reader of bytes does; a list that
// reads is no deeper than the reader allows, and written back as XML it reads again the same.
#include "fuzz/FuzzSetup.h"

#include "kernel/text/Base64Coder.h"
#include "kernel/values/VObject.h"
#include "platform/mac/frameworks/CFPropertyList.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace kova;
using cf::PropertyList;

namespace
{

// Reads with the toolbox's memory manager out of reach: a use of it faults.
template <class Read>
std::optional<PropertyList> WithoutMemoryManager(Read&& inRead)
{
    VCppMemMgr* manager = VObject::sCppMemMgr;
    VObject::sCppMemMgr = nullptr;
    std::optional<PropertyList> list = inRead();
    VObject::sCppMemMgr = manager;
    return list;
}

// Text as character data: markup, and the characters that an XML 1.1 document takes only as
// references (controls; line ends, which would be normalized), as references.
void WriteText(const std::string& inText, std::string& ioOut)
{
    for (size_t at = 0; at < inText.size(); ++at)
    {
        const unsigned char byte = static_cast<unsigned char>(inText[at]);
        // The text is UTF-8: U+0080 to U+009F are 0xC2 and the code, U+2028 three bytes.
        uint32_t reference = 0;
        size_t length = 1;
        if (byte == 0xC2 && at + 1 < inText.size() && static_cast<unsigned char>(inText[at + 1]) <= 0x9F)
        {
            reference = static_cast<unsigned char>(inText[at + 1]);
            length = 2;
        }
        else if (inText.compare(at, 3, "\xE2\x80\xA8") == 0)
        {
            reference = 0x2028;
            length = 3;
        }
        else if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F)
        {
            reference = byte;
        }
        if (byte == '&')
        {
            ioOut += "&amp;";
        }
        else if (byte == '<')
        {
            ioOut += "&lt;";
        }
        else if (byte == '>')
        {
            ioOut += "&gt;";
        }
        else if (reference != 0)
        {
            char text[16];
            std::snprintf(text, sizeof(text), "&#x%" PRIX32 ";", reference);
            ioOut += text;
        }
        else
        {
            ioOut.append(inText, at, length);
        }
        at += length - 1;
    }
}

// Days since 1970-01-01 to a date of the proleptic Gregorian calendar.
void CivilFromDays(int64_t inDays, int64_t& outYear, int64_t& outMonth, int64_t& outDay)
{
    inDays += 719468;
    const int64_t era = (inDays >= 0 ? inDays : inDays - 146096) / 146097;
    const int64_t dayOfEra = inDays - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    outDay = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    outMonth = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    outYear = yearOfEra + era * 400 + (outMonth <= 2 ? 1 : 0);
}

// The toolbox's encoder stands apart from the reader's decoder.
std::string Base64Of(const std::vector<uint8_t>& inBytes)
{
    Base64Coder::Buffer buffer;
    if (!Base64Coder::_Encode(inBytes.data(), inBytes.size(), buffer, 0, false))
        fuzz::Fail("the bytes of a list encode");
    return std::string(static_cast<const char*>(buffer.GetDataPtr()), buffer.GetDataSize());
}

void WriteValue(const PropertyList& inList, std::string& ioOut)
{
    char number[64];
    switch (inList.GetKind())
    {
    case PropertyList::Kind::kDictionary:
        ioOut += "<dict>";
        for (size_t index = 0; index < inList.GetCount(); ++index)
        {
            ioOut += "<key>";
            WriteText(inList.GetKeys()[index], ioOut);
            ioOut += "</key>";
            WriteValue(inList.GetItems()[index], ioOut);
        }
        ioOut += "</dict>";
        return;
    case PropertyList::Kind::kArray:
        ioOut += "<array>";
        for (const PropertyList& item : inList.GetItems())
            WriteValue(item, ioOut);
        ioOut += "</array>";
        return;
    case PropertyList::Kind::kString:
        ioOut += "<string>";
        WriteText(inList.GetString(), ioOut);
        ioOut += "</string>";
        return;
    case PropertyList::Kind::kInteger:
        ioOut += "<integer>" + std::to_string(inList.GetInteger()) + "</integer>";
        return;
    case PropertyList::Kind::kReal:
        std::snprintf(number, sizeof(number), "%.17g", inList.GetReal());
        ioOut += std::string("<real>") + number + "</real>";
        return;
    case PropertyList::Kind::kBoolean:
        ioOut += inList.GetBoolean() ? "<true/>" : "<false/>";
        return;
    case PropertyList::Kind::kDate:
    {
        constexpr int64_t kUnixTo2001 = 978307200;
        const int64_t seconds = int64_t(inList.GetDate()) + kUnixTo2001;
        const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
        const int64_t inDay = seconds - days * 86400;
        int64_t year, month, day;
        CivilFromDays(days, year, month, day);
        std::snprintf(number, sizeof(number),
                      "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64 "Z",
                      year, month, day, inDay / 3600, inDay / 60 % 60, inDay % 60);
        ioOut += std::string("<date>") + number + "</date>";
        return;
    }
    case PropertyList::Kind::kData:
        ioOut += "<data>" + Base64Of(inList.GetData()) + "</data>";
        return;
    }
}

// Equal, a real that is not a number being equal to another.
bool Same(const PropertyList& inOne, const PropertyList& inOther)
{
    if (inOne.GetKind() == PropertyList::Kind::kReal && inOther.GetKind() == PropertyList::Kind::kReal &&
        std::isnan(inOne.GetReal()) && std::isnan(inOther.GetReal()))
        return true;
    if (inOne.GetKind() != inOther.GetKind() || inOne.GetKeys() != inOther.GetKeys() ||
        inOne.GetCount() != inOther.GetCount())
        return false;
    if (inOne.GetKind() != PropertyList::Kind::kDictionary && inOne.GetKind() != PropertyList::Kind::kArray)
        return inOne == inOther;
    for (size_t index = 0; index < inOne.GetCount(); ++index)
    {
        if (!Same(inOne.GetItems()[index], inOther.GetItems()[index]))
            return false;
    }
    return true;
}

// Levels of values, the list itself one.
size_t DepthOf(const PropertyList& inList)
{
    size_t deepest = 0;
    for (const PropertyList& item : inList.GetItems())
        deepest = std::max(deepest, DepthOf(item));
    return deepest + 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    fuzz::HoldXMLLibrary();
    static const std::string sFile = fuzz::NewScratchFolder("plist_fuzz") + "/Info.plist";
    const char* bytes = reinterpret_cast<const char*>(inData);
    const std::optional<PropertyList> list =
        WithoutMemoryManager([&] { return cf::ReadXMLPropertyList(bytes, inSize); });

    std::ofstream(sFile, std::ios::binary | std::ios::trunc).write(bytes, std::streamsize(inSize));
    const std::optional<PropertyList> fromFile =
        WithoutMemoryManager([&] { return cf::ReadXMLPropertyListFile(sFile); });
    fuzz::Check(list.has_value() == fromFile.has_value() && (!list || Same(*list, *fromFile)),
                "the file reads as its bytes do");
    if (!list)
        return 0;

    // The root element is one level more.
    fuzz::Check(DepthOf(*list) < cf::kMaxPropertyListDepth, "a list is no deeper than the reader allows");
    std::string written = "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    WriteValue(*list, written);
    written += "</plist>\n";
    const std::optional<PropertyList> again =
        WithoutMemoryManager([&] { return cf::ReadXMLPropertyList(written.data(), written.size()); });
    fuzz::Check(again.has_value(), "a list written back reads");
    fuzz::Check(Same(*list, *again), "a list written back reads the same");
    return 0;
}
