#include "kernel/values/VLeaksChecker.h"

#include "platform/mac/errors/XMacStackCrawl.h"
#include "platform/mac/values/XMacLeaksChecker.h"

#include <ctime>
#include <string>

namespace kova
{

namespace
{

// The date line of the leaks file, in the C locale: "Monday, March 04, 2024 09:05:01 PM".
bool WriteDateLine(FILE* ioFile)
{
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr)
        return false;
    char text[200];
    size_t length = strftime(text, sizeof(text), "%A, %B %d, %Y %I:%M:%S %p\n", &local);
    return length > 0 && fputs(text, ioFile) >= 0;
}

bool WriteCountLine(FILE* ioFile, int32_t inLiveBlocks)
{
    if (inLiveBlocks == 0)
        return fputs("No memory leaks.\n", ioFile) >= 0;
    if (inLiveBlocks == 1)
        return fputs("You have one leak:\n\n", ioFile) >= 0;
    return fprintf(ioFile, "You have %i leaks:\n\n", inLiveBlocks) > 0;
}

} // namespace

VLeaksChecker::~VLeaksChecker() = default;

bool VLeaksChecker::SetLeaksCheck(bool inCheck)
{
    bool previous = fCheckLeaks;
    fCheckLeaks = inCheck;
    return previous;
}

void VLeaksChecker::RegisterBlock(XMacStackCrawl& ioCrawl)
{
    if (!fCheckLeaks)
        return;
    uint32_t skip = fStackFramesToSkip > 0 ? uint32_t(fStackFramesToSkip) : 0;
    ioCrawl.LoadFrames(skip, kMaxRecordedFrames);
    if (ioCrawl.GetCount() >= 1)
        ++fLiveBlocks;
}

void VLeaksChecker::UnregisterBlock(XMacStackCrawl& ioCrawl)
{
    if (ioCrawl.GetCount() >= 1)
        --fLiveBlocks;
}

FILE* VLeaksChecker::OpenDumpFile(const char* inName) const
{
    if (inName == nullptr)
        return nullptr;
    std::string path = XMacLeaksChecker::GetMainBundlePathWithoutExtension();
    if (path.empty())
        return nullptr;
    path.append(".").append(inName).append(".leaks");
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr)
        return nullptr;
    if (!WriteDateLine(file) || !WriteCountLine(file, fLiveBlocks) || fflush(file) != 0)
    {
        fclose(file);
        return nullptr;
    }
    return file;
}

} // namespace kova
