// Text from outside through the string's own readers: XML escapes undo what they do, splitting
// and joining give the text back, trimming removes only spaces.
#include "fuzz/FuzzSetup.h"

#include <vector>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    const VString text = fuzz::UnitsOf(inData, inSize);
    const std::u16string units = fuzz::Units(text);

    VString unescaped(text);
    unescaped.TranscodeFromXML();
    fuzz::Check(unescaped.GetLength() <= text.GetLength(), "unescaping never lengthens");
    if (units.find(u'\0') == std::u16string::npos)
    {
        VString escaped(text);
        escaped.TranscodeToXML(inSize % 2 == 0);
        escaped.TranscodeFromXML();
        fuzz::Check(fuzz::Units(escaped) == units, "escaping is undone");
    }

    const UniChar separator = inSize > 0 ? UniChar(inData[0] % 4 == 0 ? u',' : inData[0]) : u',';
    std::vector<VString> pieces;
    text.GetSubStrings(separator, pieces, true, false);
    VString joined;
    fuzz::Check(joined.Join(pieces, separator) && fuzz::Units(joined) == units,
                "split and join give the text");
    text.GetSubStrings(VString(u"::"), pieces, inSize % 2 == 0, inSize % 3 == 0, inSize % 5 == 0);
    text.GetSubStrings(separator, pieces, false, true);

    VString trimmed(text);
    trimmed.TrimeSpaces();
    fuzz::Check(units.find(fuzz::Units(trimmed)) != std::u16string::npos,
                "trimming keeps a piece of the text");
    VString part;
    text.GetSubString(inSize % 7, int32_t(inSize % 11) - 1, part);
    return 0;
}
