#include "kernel/values/VValue.h"

namespace kova
{

VValue::~VValue() = default;

void VValue::SetNull(bool inNull)
{
    if (IsNull() == inNull)
        return;
    fFlags = inNull ? uint8_t(fFlags | kFlagNull) : uint8_t(fFlags & ~kFlagNull);
    DoNullChanged();
    // The hook may have changed the flags; the asked state wins.
    fFlags = inNull ? uint8_t(fFlags | kFlagNull) : uint8_t(fFlags & ~kFlagNull);
    if (!IsDirty())
    {
        fFlags |= kFlagDirty;
        DoDirtyChanged();
    }
}

void VValue::SetDirty(bool inDirty)
{
    if (IsDirty() == inDirty)
        return;
    fFlags = inDirty ? uint8_t(fFlags | kFlagDirty) : uint8_t(fFlags & ~kFlagDirty);
    DoDirtyChanged();
}

void VValue::Clear() {}

void VValue::DoNullChanged() {}

void VValue::DoDirtyChanged() {}

} // namespace kova
