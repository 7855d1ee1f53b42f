// VValue is the abstract base of every value class: a datum of one kind with a null flag (the
// value holds no datum, a database null) and a dirty flag (it changed since somebody cleared the
// flag). VValueSingle is the base of the values that hold one datum and convert between kinds.
// The flags byte is shared with derived classes, which may use the bits above the two below.
#pragma once

#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VValueSingle;

class VValue : public VObject
{
public:
    static constexpr uint8_t kFlagNull = 0x01;
    static constexpr uint8_t kFlagDirty = 0x02;

    VValue() = default;
    VValue(const VValue&) = default;
    VValue& operator=(const VValue&) = default;
    ~VValue() override;

    bool IsNull() const { return (fFlags & kFlagNull) != 0; }
    bool IsDirty() const { return (fFlags & kFlagDirty) != 0; }

    // Changing the null state also makes the value dirty; each change calls its hook once.
    void SetNull(bool inNull);
    void SetDirty(bool inDirty);

    virtual void Clear();
    virtual VValueSingle* IsVValueSingle() { return nullptr; }
    virtual const VValueSingle* IsVValueSingle() const { return nullptr; }

    // A new value of the same class, kind, datum and null state, owned by the caller.
    virtual VValue* Clone() const = 0;

    virtual void DoNullChanged();
    virtual void DoDirtyChanged();

protected:
    uint8_t fFlags = kFlagDirty;
};

} // namespace kova
