#include "kernel/errors/VErrorUserGenerated.h"

namespace kova
{

VErrorUserGenerated::VErrorUserGenerated(VError inError, const VString& inText)
    : VErrorBase(inError), fText(inText)
{
}

void VErrorUserGenerated::GetErrorDescription(VString& outText) const
{
    outText.FromString(fText);
}

void VErrorUserGenerated::DumpToString(VString& outDump) const
{
    outDump.FromString(fText);
}

} // namespace kova
