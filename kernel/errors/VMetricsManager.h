// VMetricsManager collects, during a metrics session, one small JSON object (a bind) for each
// finished activity that lasted long enough and whose kind the session asked for: progress
// sessions report themselves this way with their indicator's information. A caller starts a
// session, takes the collection as a JSON array, and ends the session; outside one, nothing is
// collected and reporters skip their work (CreateBind gives null).
//
//     VMetricsManager::Get().StartSession(1000, true, false, false); // progresses of 1 s or more
//     ...
//     VRefPtr<VJSONArray> binds(VMetricsManager::Get().CreateCollection());
//     VMetricsManager::Get().EndSession();
//
// Reporters run on any task: CreateBind reads the session's figures as relaxed atomics (a session
// that starts or ends meanwhile may or may not see the activity), the rest takes the lock.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kova
{

class VJSONArray;
class VJSONObject;

// An activity kind k stands for bit (1 << k) of a session's mask.
enum EMetricsKindBit : uint32_t
{
    eMetricsKind0 = 0,
    eMetricsKind1 = 1,
    eMetricsKindProgress = 2,
};

class VMetricsManager : public VObject
{
public:
    VMetricsManager() = default;
    VMetricsManager(const VMetricsManager&) = delete;
    VMetricsManager& operator=(const VMetricsManager&) = delete;
    // Releases the binds collected.
    ~VMetricsManager() override;

    static VMetricsManager& Get() { return sMetricsSingleton; }

    // Opens a session, or changes the running one: activities shorter than inMinimumDuration (ms)
    // are not collected; the flags choose the kinds. Binds collected already stay.
    void StartSession(uint64_t inMinimumDuration, bool inProgresses, bool inKind0, bool inKind1);
    bool IsProgressesCollected() const;
    // A new bind for an activity of that kind and duration (ms), with "activityKind" and
    // "activityDuration" (seconds), the caller's reference; null when the session does not want
    // it.
    VJSONObject* CreateBind(EMetricsKindBit inKind, uint64_t inDuration) const;
    // Sets the bind's "activityData" and collects the bind (retained). Without the memory for either,
    // raises VE_MEMORY_FULL and keeps nothing.
    void BindDatas(VJSONObject* inBind, VJSONObject* inData);
    // A new array of deep copies of the binds collected, in their order; the caller's reference.
    // The collection stays.
    VJSONArray* CreateCollection() const;
    // Closes the session and drops what it collected.
    void EndSession();

private:
    void _ReleaseBinds();

    static VMetricsManager sMetricsSingleton;

    mutable VCriticalSection fLock;
    std::vector<VJSONObject*> fBinds;
    std::atomic<uint64_t> fMinimumDuration{0};
    std::atomic<uint32_t> fKindMask{0};
};

} // namespace kova
