#include "kernel/values/VBagLoader.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"

#include <new>

namespace kova
{

// A borrowed key and a null identifier: made before the entry point without any allocation.
const StBagKeyWithDefault<VUUID, VUUID> VBagLoader::sUUIDKey("uuid", VUUID());

VBagLoader::VBagLoader(bool inRegenerateUUIDs, bool) : fRegenerateUUIDs(inRegenerateUUIDs) {}

VBagLoader::~VBagLoader() = default;

bool VBagLoader::GetUUID(const VValueBag& inBag, VUUID& ioUUID)
{
    if (!fRegenerateUUIDs)
    {
        if (inBag.GetAttribute(sUUIDKey, ioUUID))
            return true;
        ioUUID.Clear();
        ioUUID.Regenerate();
        return false;
    }
    VUUID stored;
    if (!inBag.GetAttribute(sUUIDKey, stored))
    {
        ioUUID.Regenerate();
        return false;
    }
    if (stored.IsNull())
    {
        ioUUID.Regenerate();
        return true;
    }
    auto known = fRegeneratedUUIDs.find(stored);
    if (known != fRegeneratedUUIDs.end())
    {
        ioUUID = known->second;
        return true;
    }
    ioUUID.Regenerate();
    try
    {
        fRegeneratedUUIDs.emplace(stored, ioUUID);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
    }
    return true;
}

bool VBagLoader::ResolveUUID(VUUID& ioUUID) const
{
    if (!fRegenerateUUIDs)
        return true;
    auto known = fRegeneratedUUIDs.find(ioUUID);
    if (known == fRegeneratedUUIDs.end())
        return false;
    ioUUID = known->second;
    return true;
}

} // namespace kova
