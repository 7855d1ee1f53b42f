#include "kernel/errors/VMetricsManager.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <new>

namespace kova
{

VMetricsManager VMetricsManager::sMetricsSingleton;

VMetricsManager::~VMetricsManager()
{
    _ReleaseBinds();
}

void VMetricsManager::_ReleaseBinds()
{
    for (VJSONObject* bind : fBinds)
        bind->Release();
    // The room goes too: a session's binds cost nothing once it ended.
    std::vector<VJSONObject*>().swap(fBinds);
}

void VMetricsManager::StartSession(uint64_t inMinimumDuration, bool inProgresses, bool inKind0, bool inKind1)
{
    StLocker locker(fLock);
    fMinimumDuration.store(inMinimumDuration, std::memory_order_relaxed);
    fKindMask.store((inProgresses ? 1u << eMetricsKindProgress : 0) | (inKind0 ? 1u << eMetricsKind0 : 0) |
                        (inKind1 ? 1u << eMetricsKind1 : 0),
                    std::memory_order_relaxed);
}

bool VMetricsManager::IsProgressesCollected() const
{
    StLocker locker(fLock);
    return (fKindMask.load(std::memory_order_relaxed) & (1u << eMetricsKindProgress)) != 0;
}

VJSONObject* VMetricsManager::CreateBind(EMetricsKindBit inKind, uint64_t inDuration) const
{
    if (inKind >= 32 || (fKindMask.load(std::memory_order_relaxed) & (1u << inKind)) == 0 ||
        fMinimumDuration.load(std::memory_order_relaxed) > inDuration)
        return nullptr;
    VJSONObject* bind = new (std::nothrow) VJSONObject;
    if (bind == nullptr)
        return nullptr;
    bind->SetProperty("activityKind", VJSONValue(double(1u << inKind)));
    bind->SetProperty("activityDuration", VJSONValue(double(inDuration) / 1000.0));
    return bind;
}

void VMetricsManager::BindDatas(VJSONObject* inBind, VJSONObject* inData)
{
    if (inBind == nullptr)
        return;
    // Reporters bind from destructors: running out of memory is an error raised, never thrown, and
    // a bind without its data is not kept.
    if (!inBind->SetProperty("activityData", VJSONValue(inData)))
    {
        _ThrowError(VE_MEMORY_FULL);
        return;
    }
    bool kept = true;
    {
        StLocker locker(fLock);
        try
        {
            fBinds.push_back(inBind);
            inBind->Retain();
        }
        catch (const std::bad_alloc&)
        {
            kept = false;
        }
    }
    if (!kept)
        _ThrowError(VE_MEMORY_FULL);
}

VJSONArray* VMetricsManager::CreateCollection() const
{
    VJSONArray* collection = new (std::nothrow) VJSONArray;
    if (collection == nullptr)
        return nullptr;
    StLocker locker(fLock);
    for (VJSONObject* bind : fBinds)
    {
        VJSONCloner cloner;
        VJSONValue copy(bind);
        if (cloner.CloneValue(copy) == VE_OK)
            collection->Push(copy);
    }
    return collection;
}

void VMetricsManager::EndSession()
{
    StLocker locker(fLock);
    fKindMask.store(0, std::memory_order_relaxed);
    _ReleaseBinds();
}

} // namespace kova
