// VErrorBase is an error object: a 64-bit code (component signature and number), the task that
// made it, and named text parameters that fill the placeholders of its message. Operations that
// fail make one, push it on the calling task's current error context and return their failure
// result: nothing is unwound.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <utility>
#include <vector>

namespace kova
{

class VErrorBase : public VObject, public IRefCountable
{
public:
    VErrorBase() = default;
    explicit VErrorBase(VError inError);
    ~VErrorBase() override;

    VError GetError() const { return fError; }
    int32_t GetTaskID() const { return fTaskID; }

    // Named text parameters ("p1", "p2", "p3" from _ThrowError, others from the raising code).
    void SetParameter(const VString& inName, const VString& inValue);
    bool GetParameter(const VString& inName, VString& outValue) const;

private:
    VError fError = VE_OK;
    int32_t fTaskID = 0;
    std::vector<std::pair<VString, VString>> fParameters;
};

// Raises an error: makes it with the code and up to three texts (parameters "p1" to "p3") and
// pushes it on the calling task's current error context.
void _ThrowError(VError inError, const VString* inP1 = nullptr, const VString* inP2 = nullptr,
                 const VString* inP3 = nullptr);

} // namespace kova
