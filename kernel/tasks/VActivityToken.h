// VActivityToken marks the process as busy for as long as it lives: the process object keeps the
// set of live tokens and answers whether the process is busy (VProcess::HasSomeActivityTokens).
// Every running task holds one, named "Running task " followed by the task's name, until it dies
// or gives it up (VTask::ReleaseCurrentActivityToken).
//
// A token registers itself with the process instance when it is made and unregisters itself when
// it goes; one made or destroyed while there is no process instance (before start-up, after
// shut-down has begun) touches nothing.
//
//     VActivityToken* busy = new VActivityToken(VString("Saving"));
//     ...
//     busy->Release();
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VActivityToken : public VObject, public IRefCountable
{
public:
    explicit VActivityToken(const VString& inName);
    VActivityToken(const VActivityToken&) = delete;
    VActivityToken& operator=(const VActivityToken&) = delete;
    ~VActivityToken() override;

    const VString& GetName() const { return fName; }

private:
    VString fName;
};

} // namespace kova
