// VBagLoader accompanies the loading of objects from bags (IBaggable::LoadFromBagWithLoader).
// Its one service is identifiers: objects saved with a "uuid" attribute either keep it, or, when
// the loader regenerates identifiers (loading a copy beside the original), get a new one, with
// the map old -> new kept so that references between loaded objects can be resolved.
#pragma once

#include "kernel/values/VObject.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"

#include <map>

namespace kova
{

class VBagLoader : public VObject
{
public:
    // The second flag is accepted from callers, but no operation reads it.
    VBagLoader(bool inRegenerateUUIDs, bool inSecondFlag);
    ~VBagLoader() override;

    bool IsRegeneratingUUIDs() const { return fRegenerateUUIDs; }

    // The identifier of the bag's object into outUUID. Without regeneration: the "uuid"
    // attribute, or a new identifier (false) when it is missing. With regeneration: a new
    // identifier, the same one for every bag that held the same old identifier; false only when
    // the attribute is missing.
    bool GetUUID(const VValueBag& inBag, VUUID& ioUUID);
    // Without regeneration the identifier stays (true); with it, the new identifier that
    // replaced it (true) or unchanged (false) when it was not loaded.
    bool ResolveUUID(VUUID& ioUUID) const;

    // The key "uuid", with the null identifier as default.
    static const StBagKeyWithDefault<VUUID, VUUID> sUUIDKey;

private:
    bool fRegenerateUUIDs;
    std::map<VUUID, VUUID> fRegeneratedUUIDs;
};

} // namespace kova
