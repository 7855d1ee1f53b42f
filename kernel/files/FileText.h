// The text that paths, names and URLs exchange with the system and with the network: UTF-8 bytes
// made and read by the toolbox's own converters (never the 8-bit default character set), and the
// Unicode normalization of that text.
//
// Normalization: paths are decomposed before they are handed to the system, and names read back
// (and decoded URL text) are composed. Both requests go to the calling task's international
// manager, whose normalization leaves text as it is on this system; the string's own Decompose
// and Compose, once it has them, take the place of DecomposeText and ComposeText.
#pragma once

#include "kernel/text/CharSet.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kova
{

class VString;

void DecomposeText(VString& ioText);
void ComposeText(VString& ioText);

// The UTF-8 bytes of the text; false (and out empty) when the text is not whole (a high surrogate
// at its end).
bool TextToUTF8(const VString& inText, std::string& outBytes);
// The text of UTF-8 bytes, as they are (no normalization). Bytes that end in a cut sequence are
// not dropped: each becomes the unit of its value, as the decoder does for bytes it cannot pair.
void TextFromUTF8(const char* inBytes, size_t inSize, VString& outText);

// The units of a string, for searching and slicing; valid while the string is not changed.
std::u16string_view UnitsOf(const VString& inText);
// Replaces the text by the units (which may be the text's own).
void AssignUnits(VString& outText, std::u16string_view inUnits);
// 0 to 15 for a hexadecimal digit of either case; -1 for any other unit.
int HexDigitValue(char16_t inUnit);
// The debug dump of a path or URL: its text as UTF-16, cut to the buffer.
CharSet DumpTextTo(const VString& inText, char* ioBuffer, int& ioSize);

} // namespace kova
