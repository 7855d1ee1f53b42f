#include "kernel/tasks/VActivityToken.h"

#include "kernel/tasks/VProcess.h"

namespace kova
{

VActivityToken::VActivityToken(const VString& inName) : fName(inName)
{
    VProcess::StInstanceUser process;
    if (process.Get() != nullptr)
        process.Get()->RegisterActivityToken(this);
}

VActivityToken::~VActivityToken()
{
    VProcess::StInstanceUser process;
    if (process.Get() != nullptr)
        process.Get()->UnregisterActivityToken(this);
}

} // namespace kova
