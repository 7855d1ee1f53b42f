#include "kernel/files/FileText.h"

#include "kernel/tasks/VTask.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"

#include <cstring>

namespace kova
{

void DecomposeText(VString& ioText)
{
    if (VIntlMgr* manager = VTask::GetCurrentIntlManager())
        manager->NormalizeString(ioText, eDecomposeNormalization);
}

void ComposeText(VString& ioText)
{
    if (VIntlMgr* manager = VTask::GetCurrentIntlManager())
        manager->NormalizeString(ioText, eComposeNormalization);
}

bool TextToUTF8(const VString& inText, std::string& outBytes)
{
    outBytes.clear();
    const VFromUnicodeConverter_UTF8 converter;
    int32_t consumed = 0;
    size_t needed = 0;
    if (!converter.Convert(inText.GetCPointer(), inText.GetLength(), consumed, nullptr, 0, needed) ||
        consumed != inText.GetLength())
        return false;
    outBytes.resize(needed);
    size_t produced = 0;
    if (!converter.Convert(inText.GetCPointer(), inText.GetLength(), consumed, outBytes.data(), needed,
                           produced) ||
        consumed != inText.GetLength() || produced != needed)
    {
        outBytes.clear();
        return false;
    }
    return true;
}

void TextFromUTF8(const char* inBytes, size_t inSize, VString& outText)
{
    outText.Clear();
    if (inBytes == nullptr || inSize == 0)
        return;
    size_t consumed = outText.FromBlock(inBytes, inSize, VTC_UTF_8);
    for (; consumed < inSize; ++consumed)
        outText.AppendUniChar(UniChar(uint8_t(inBytes[consumed])));
}

std::u16string_view UnitsOf(const VString& inText)
{
    return std::u16string_view(inText.GetCPointer(), size_t(inText.GetLength()));
}

void AssignUnits(VString& outText, std::u16string_view inUnits)
{
    VString copy;
    copy.FromUniString(inUnits.data(), int32_t(inUnits.size()));
    outText.FromString(copy);
}

int HexDigitValue(char16_t inUnit)
{
    if (inUnit >= u'0' && inUnit <= u'9')
        return inUnit - u'0';
    if (inUnit >= u'A' && inUnit <= u'F')
        return inUnit - u'A' + 10;
    if (inUnit >= u'a' && inUnit <= u'f')
        return inUnit - u'a' + 10;
    return -1;
}

CharSet DumpTextTo(const VString& inText, char* ioBuffer, int& ioSize)
{
    int32_t units = ioBuffer == nullptr || ioSize <= 0 ? 0 : ioSize / 2;
    if (units > inText.GetLength())
        units = inText.GetLength();
    if (units > 0)
        std::memcpy(ioBuffer, inText.GetCPointer(), size_t(units) * sizeof(UniChar));
    ioSize = units * 2;
    return VTC_UTF_16;
}

} // namespace kova
