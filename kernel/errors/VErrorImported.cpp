#include "kernel/errors/VErrorImported.h"

#include "kernel/text/VString.h"

namespace kova
{

void VErrorImported::GetLocation(VString& outText) const
{
    outText.Clear();
    outText.AppendCString("REST Imported Error");
}

} // namespace kova
