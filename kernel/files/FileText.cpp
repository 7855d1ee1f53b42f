#include "kernel/files/FileText.h"

#include "kernel/tasks/VTask.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"

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
    if (!converter.Convert(inText.GetCPointer(), inText.GetLength(), consumed, outBytes.data(), needed, produced) ||
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

} // namespace kova
