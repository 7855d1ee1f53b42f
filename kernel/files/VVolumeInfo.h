// VVolumeInfo is one answer about a volume's space, stamped with the time it was asked, so that a
// file can answer again from it for a while instead of asking the system each time.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VVolumeInfo : public VObject, public IRefCountable
{
public:
    VVolumeInfo(uint32_t inStamp, bool inWithQuotas, int64_t inFree, int64_t inTotal)
        : fStamp(inStamp), fWithQuotas(inWithQuotas), fFree(inFree), fTotal(inTotal)
    {
    }

    // The monotonic milliseconds (VSystem::GetCurrentTime) of the answer.
    uint32_t GetStamp() const { return fStamp; }
    bool IsWithQuotas() const { return fWithQuotas; }
    int64_t GetFree() const { return fFree; }
    int64_t GetTotal() const { return fTotal; }

private:
    uint32_t fStamp;
    bool fWithQuotas;
    int64_t fFree;
    int64_t fTotal;
};

} // namespace kova
