#include "kernel/values/VMemStats.h"

#include "kernel/files/VStream.h"
#include "kernel/text/VString.h"

namespace kova
{

VCriticalSection gDumpMemMutex;

namespace
{

// Writes pieces of text and numbers in decimal, each piece through one PutText.
class StatsWriter
{
public:
    explicit StatsWriter(VStream* ioStream) : fStream(ioStream) {}

    StatsWriter& operator<<(const char* inText)
    {
        fStream->PutText(VString(inText));
        return *this;
    }
    StatsWriter& operator<<(const VString& inText)
    {
        fStream->PutText(inText);
        return *this;
    }
    StatsWriter& operator<<(uint64_t inNumber)
    {
        VString text;
        text.AppendULong8(inNumber);
        fStream->PutText(text);
        return *this;
    }
    StatsWriter& operator<<(int32_t inNumber)
    {
        VString text;
        text.AppendLong(inNumber);
        fStream->PutText(text);
        return *this;
    }

private:
    VStream* fStream;
};

// The tag's four characters in their natural order ('memb' reads "memb"), read as UTF-8.
VString TagText(uint32_t inTag)
{
    const uint8_t bytes[4] = {uint8_t(inTag >> 24), uint8_t(inTag >> 16), uint8_t(inTag >> 8),
                              uint8_t(inTag)};
    return VString(bytes, sizeof(bytes), VTC_UTF_8);
}

void WriteUsage(StatsWriter& ioOut, const char* inTitle, const std::map<uint64_t, VMemStatsUsage>& inUsage)
{
    ioOut << "\n\n" << inTitle << "\n\n";
    for (const auto& [size, usage] : inUsage)
        ioOut << size << " : NbUsed = " << usage.fUsed << " , NbFree = " << usage.fFree << "\n";
}

} // namespace

void VMemStats::Clear()
{
    fFreeMemory = 0;
    fUsedMemory = 0;
    fPagesOfSmallBlocks = 0;
    fObjectCount = 0;
    fSmallBlockCount = 0;
    fFreeSmallBlockCount = 0;
    fUsedSmallBlockCount = 0;
    fBigBlockCount = 0;
    fFreeBigBlockCount = 0;
    fUsedBigBlockCount = 0;
    fBiggestBlock = 0;
    fBiggestFreeBlock = 0;
}

VError VMemStats::DumpToStream(VStream* ioStream) const
{
    StatsWriter out(ioStream);
    out << "Used Mem = " << fUsedMemory << "\n";
    out << "Free Mem = " << fFreeMemory << "\n";
    out << "Biggest Free Block = " << fBiggestFreeBlock << "\n";
    out << "\n\n";
    out << "Nb Objects = " << fObjectCount << "\n";
    out << "\n\n";
    for (const auto& [type, count] : fObjectsByClass)
        out << type.name() << " : " << count.fCount << "   ,  mem = " << count.fBytes << "\n";
    out << "\n\n"
        << "Blocks by Tags"
        << "\n\n";
    for (const auto& [tag, count] : fBlocksByTag)
        out << TagText(tag) << " : " << count.fCount << "   ,  mem = " << count.fBytes << "\n";
    return ioStream->GetLastError();
}

VError VMemStats::Dump(VStream* ioStream) const
{
    DumpToStream(ioStream);
    StatsWriter out(ioStream);
    out << "\n\n";
    out << "Biggest Block = " << fBiggestBlock << "\n";
    out << "Nb Big Blocks = " << fBigBlockCount << "\n";
    out << "Nb Used Big Blocks = " << fUsedBigBlockCount << "\n";
    out << "Nb Free Big Blocks = " << fFreeBigBlockCount << "\n";
    out << "Nb Pages containing small blocks = " << fPagesOfSmallBlocks << "\n";
    out << "Nb Small Blocks = " << fSmallBlockCount << "\n";
    out << "Nb Used Small Blocks = " << fUsedSmallBlockCount << "\n";
    out << "Nb Free Small Blocks = " << fFreeSmallBlockCount << "\n";
    WriteUsage(out, "Small Blocks", fSmallBlocks);
    WriteUsage(out, "Other Big Blocks", fOtherBigBlocks);
    out << "\n\n"
        << "Allocation Pages"
        << "\n\n";
    for (const auto& [size, pages] : fAllocationPages)
        out << size << " : NbFull = " << pages.fFull << " , NbPartial = " << pages.fPartial << "\n";
    return ioStream->GetLastError();
}

} // namespace kova
