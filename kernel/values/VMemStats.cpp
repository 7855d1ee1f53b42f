#include "kernel/values/VMemStats.h"

namespace kova
{

VCriticalSection gDumpMemMutex;

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

} // namespace kova
