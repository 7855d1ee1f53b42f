// A seeded fuzz run of the JSON readers: random texts and mutations of valid ones, read with every
// mode, must never crash or hang (run under AddressSanitizer in CI), and what strict reading
// accepts must come back through the writer as strict text.
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kova
{
namespace
{

const char* const kSeeds[] = {
    R"({"a":1,"b":[true,false,null],"c":{"d":"e\n\u00e9\ud83d\ude00"},"f":-1.5e-3})",
    R"([0,-0,1E10,1e-10,"",[],{},[[[]]],{"":{}}])",
    R"({a:1 b:[1,{c:true}] d:{} "__CDATA":"x"})",
    R"(["!!2024-01-05!!","2024-01-05","\"\\\/\b\f\n\r\t"])",
    R"({"n":12345678901234567890,"m":0.000001,"s":"\u0000\u001f"})",
    "  [1, 2,\r\n 3]  ",
    // More digits than the writer keeps: the first writing rounds to a whole number.
    "[440000004000003.3787, 1.23456789012345678]",
};

// Units that steer the reader into its other paths.
const UniChar kInteresting[] = {u'{',   u'}',   u'[',   u']',   u',', u':', u'"',  u'\\', u'u',  u'0', u'9',
                                u'-',   u'.',   u'e',   u'E',   u'+', u' ', u'\t', u'\n', u'\r', 0,    0x0B,
                                0x2212, 0xD83D, 0xDE00, 0xDC00, u'!', u't', u'n',  u'f',  u'a'};

class Fuzzer
{
public:
    explicit Fuzzer(uint32_t inSeed) : fRandom(inSeed) {}

    std::u16string RandomText()
    {
        std::u16string text;
        size_t length = fRandom() % 64;
        for (size_t i = 0; i < length; ++i)
            text += RandomUnit();
        return text;
    }

    std::u16string Mutated(std::u16string inText)
    {
        int mutations = 1 + int(fRandom() % 4);
        for (int m = 0; m < mutations; ++m)
        {
            size_t at = inText.empty() ? 0 : fRandom() % inText.size();
            switch (fRandom() % 5)
            {
            case 0:
                if (!inText.empty())
                    inText[at] = RandomUnit();
                break;
            case 1:
                inText.insert(inText.begin() + ptrdiff_t(at), RandomUnit());
                break;
            case 2:
                if (!inText.empty())
                    inText.erase(at, 1 + fRandom() % 4);
                break;
            case 3:
                inText.insert(at, inText.substr(fRandom() % (inText.size() + 1), fRandom() % 16));
                break;
            default:
                inText.resize(at);
                break;
            }
        }
        return inText;
    }

private:
    UniChar RandomUnit()
    {
        if (fRandom() % 3 == 0)
            return UniChar(fRandom() % 0x10000);
        return kInteresting[fRandom() % std::size(kInteresting)];
    }

    std::mt19937 fRandom;
};

// The text read strictly and written again; a null string when strict reading refuses it.
VString Rewritten(const VString& inText)
{
    VJSONValue value;
    VString written;
    if (VJSONImporter::ParseString(inText, value, VJSONImporter::kStrict) != VE_OK)
        written.SetNull(true);
    else
        value.Stringify(written, 1);
    return written;
}

void ReadEveryWay(const std::u16string& inText)
{
    VString text(inText.data(), inText.size() * 2, VTC_UTF_16);
    testing_json::StCollectErrors errors;
    for (uint32_t mode : {0u, 1u | 8u, 2u, 2u | 4u, 0xC0u, 0x240u})
    {
        VJSONValue value;
        VJSONImporter importer(text, mode);
        VError error = importer.Parse(value);
        VString written;
        VError writeError = value.Stringify(written, (mode & 8) != 0 ? 9 : 1);
        ASSERT_EQ(writeError, VE_OK);
        if ((mode & VJSONImporter::kStrict) != 0 && error == VE_OK)
        {
            // Strict text comes back through the writer as strict text, stable from the second
            // writing on (numbers lose what lies past their 14 digits once).
            VString second = Rewritten(written);
            ASSERT_FALSE(second.IsNull()) << testing_json::ToU8(written);
            VString third = Rewritten(second);
            ASSERT_TRUE(third.EqualToStringRaw(second)) << testing_json::ToU8(second);
        }
    }
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->FromJSONString(text, 0);
    VString json;
    bag->GetJSONString(json, 0);
    VString xml;
    bag->DumpXML(xml, VString("fuzz"), true);
    errors.Flush();
}

TEST(VJSONImporterFuzz, RandomAndMutatedTextsNeverBreakTheReaders)
{
    Fuzzer fuzzer(20241205);
    std::vector<std::u16string> seeds;
    for (const char* seed : kSeeds)
    {
        VString text = testing_json::U8(seed);
        seeds.emplace_back(text.GetCPointer(), size_t(text.GetLength()));
    }
    for (int round = 0; round < 8000; ++round)
    {
        ReadEveryWay(fuzzer.RandomText());
        std::u16string mutated = fuzzer.Mutated(seeds[size_t(round) % seeds.size()]);
        ReadEveryWay(mutated);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace kova
