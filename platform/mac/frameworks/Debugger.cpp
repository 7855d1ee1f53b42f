#include "platform/mac/frameworks/Debugger.h"

#include "platform/mac/frameworks/TextEncodingConverter.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kova::cf
{

namespace
{

struct StatusText
{
    int32_t fStatus;
    const char* fName;
    const char* fComment;
};

constexpr StatusText kStatusTexts[] = {
    {tec::paramErr, "paramErr", "A parameter is not valid"},
    {tec::memFullErr, "memFullErr", "There is not enough memory"},
    {tec::kTextUnsupportedEncodingErr, "kTextUnsupportedEncodingErr", "The text encoding is not supported"},
    {tec::kTextMalformedInputErr, "kTextMalformedInputErr", "The text is not valid in its encoding"},
    {tec::kTECCorruptConverterErr, "kTECCorruptConverterErr", "The text converter is damaged"},
    {tec::kTECPartialCharErr, "kTECPartialCharErr", "The text ends inside a character"},
    {tec::kTECUnmappableElementErr, "kTECUnmappableElementErr",
     "A character of the text has no equivalent in the target encoding"},
    {tec::kTECOutputBufferFullStatus, "kTECOutputBufferFullStatus", "The output buffer is full"},
};

const StatusText* FindStatus(int32_t inStatus)
{
    for (const StatusText& text : kStatusTexts)
    {
        if (text.fStatus == inStatus)
            return &text;
    }
    return nullptr;
}

} // namespace

const char* GetMacOSStatusErrorString(int32_t inStatus)
{
    const StatusText* text = FindStatus(inStatus);
    return text != nullptr ? text->fName : nullptr;
}

const char* GetMacOSStatusCommentString(int32_t inStatus)
{
    const StatusText* text = FindStatus(inStatus);
    return text != nullptr ? text->fComment : nullptr;
}

bool IsBeingDebugged()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return false;
    long tracer = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
    {
        if (std::strncmp(line, "TracerPid:", 10) == 0)
        {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer != 0;
}

void Debugger()
{
    if (IsBeingDebugged())
        std::raise(SIGTRAP);
}

} // namespace kova::cf
