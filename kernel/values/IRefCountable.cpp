#include "kernel/values/IRefCountable.h"

namespace kova
{

IRefCountable::~IRefCountable() = default;

uint32_t IRefCountable::Retain(const char*) const
{
    return fRefCount.fetch_add(1, std::memory_order_acq_rel) + 1;
}

uint32_t IRefCountable::Release(const char*) const
{
    uint32_t previous = fRefCount.fetch_sub(1, std::memory_order_acq_rel);
    if (previous == 1)
    {
        const_cast<IRefCountable*>(this)->DoOnRefCountZero();
        return 0;
    }
    return previous - 1;
}

bool IRefCountable::RetainIfAlive() const
{
    uint32_t count = fRefCount.load(std::memory_order_acquire);
    while (count != 0)
    {
        if (fRefCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
            return true;
    }
    return false;
}

void IRefCountable::ReleaseDependencies() {}

void IRefCountable::DoOnRefCountZero()
{
    delete this;
}

} // namespace kova
