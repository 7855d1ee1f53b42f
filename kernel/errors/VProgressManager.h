// VProgressManager is the process-wide registry of progress indicators, made by the process
// object's start-up after the task manager and deleted at its shut-down. Indicators register
// themselves under their id from construction until their last reference goes; the manager finds
// them by id or by user information, describes them all as bags, and gathers their snapshots for
// displays. It holds no reference of its own: it hands an indicator out only while its count is
// above 0, and one whose count reached 0 leaves the registry, under the manager's lock, before it
// is destroyed, so that nothing found in the registry is ever dying.
//
// Static operations act on the one manager and do nothing (null, 0) while it does not exist;
// indicators made then are simply not registered. Lock order: the manager's lock, then an
// indicator's session or snapshot lock.
#pragma once

#include "kernel/errors/VProgressIndicatorInfo.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VUUID.h"

#include <cstdint>
#include <map>
#include <vector>

namespace kova
{

class VProgressIndicator;
class VString;
class VValueBag;

// Makes the standard progress indicators of an application (CreateStdProgress).
class IProgressIndicatorFactory
{
public:
    // A new indicator, the caller's reference, or null.
    virtual VProgressIndicator* CreateStdProgress(int32_t inKind, uint32_t inOptions) = 0;

protected:
    ~IProgressIndicatorFactory() = default;
};

class VProgressManager : public VObject
{
public:
    VProgressManager() = default;
    VProgressManager(const VProgressManager&) = delete;
    VProgressManager& operator=(const VProgressManager&) = delete;
    ~VProgressManager() override;

    // Makes the manager when missing; true.
    static bool Init();
    // Deletes it; true. Harmless without Init.
    static bool Deinit();

    static void RegisterProgress(VProgressIndicator* inIndicator) { _RegisterProgress(inIndicator); }
    static void UnregisterProgress(VProgressIndicator* inIndicator) { _UnregisterProgress(inIndicator); }
    // Under the lock: an id registered already keeps its first indicator.
    static void _RegisterProgress(VProgressIndicator* inIndicator);
    // Under the lock, when the indicator is the one registered under its id: its DoMetrics, then
    // it leaves.
    static void _UnregisterProgress(VProgressIndicator* inIndicator);

    // The indicator of that id, retained; null when none, or when it is on its way out.
    static VProgressIndicator* RetainProgress(const VUUID& inID);
    // The first indicator in id order whose user information is the text, retained, or null.
    static VProgressIndicator* _RetainProgressIndicator(const VString& inUserInfo);
    // An element "ProgressInfo" per indicator in id order (only the first whose user information
    // is the text, when one is given), filled by its SaveInfoToBag. Returns 0.
    static VError _GetProgressInfo(VValueBag& ioBag, const VString* inUserInfo);
    // For each indicator with a session open: asks for a new snapshot (made later by its working
    // thread) and appends the latest one it has. Returns 0.
    static VError GetAllProgressInfo(std::vector<VRefPtr<VRefCountedSessionInfo>>& outSessions);
    // A standard indicator from the factory; null without one.
    static VProgressIndicator* CreateStdProgress(int32_t inKind, uint32_t inOptions);
    // The factory, kept (not owned) until replaced; null for none.
    static void SetStdProgressFactory(IProgressIndicatorFactory* inFactory);

    // Null before Init and after Deinit.
    static VProgressManager* sProgressManager;

private:
    VCriticalSection fLock;
    std::map<VUUID, VProgressIndicator*> fIndicators;
    IProgressIndicatorFactory* fFactory = nullptr;
};

// Adds an element "ProgressInfo" to the bag, filled by the indicator's SaveInfoToBag.
void _ProgressInfoToBag(VValueBag& ioBag, VProgressIndicator* inIndicator);

} // namespace kova
