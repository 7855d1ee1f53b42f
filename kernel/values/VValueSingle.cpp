#include "kernel/values/VValueSingle.h"

#include "kernel/text/VString.h"

namespace kova
{

VValueSingle::~VValueSingle() = default;

void VValueSingle::GetString(VString& outString) const
{
    outString.Clear();
}

void VValueSingle::FromString(const VString&) {}

} // namespace kova
