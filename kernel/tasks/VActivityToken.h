// VActivityToken marks the process as busy for as long as it lives. Every running task holds one,
// named "Running task " followed by the task's name, until it dies or gives it up
// (VTask::ReleaseCurrentActivityToken).
//
// For now a token only carries its name: the process object, which keeps the set of live tokens
// and answers whether the process is busy, will register each token when it is made and
// unregister it when it goes.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VActivityToken : public VObject, public IRefCountable
{
public:
    explicit VActivityToken(const VString& inName) : fName(inName) {}
    VActivityToken(const VActivityToken&) = delete;
    VActivityToken& operator=(const VActivityToken&) = delete;

    const VString& GetName() const { return fName; }

private:
    VString fName;
};

} // namespace kova
