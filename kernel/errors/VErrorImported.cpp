#include "kernel/errors/VErrorImported.h"

namespace kova
{

VErrorImported::VErrorImported(VError inError, const VString& inText) : VErrorBase(inError), fText(inText) {}

void VErrorImported::GetErrorDescription(VString& outText) const
{
    outText.FromString(fText);
}

void VErrorImported::DumpToString(VString& outDump) const
{
    outDump.FromString(fText);
}

void VErrorImported::GetLocation(VString& outText) const
{
    outText.Clear();
    outText.AppendCString("REST Imported Error");
}

} // namespace kova
