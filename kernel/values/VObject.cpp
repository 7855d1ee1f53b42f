#include "kernel/values/VObject.h"

#include "kernel/text/VString.h"

namespace kova
{

VCppMemMgr* VObject::sCppMemMgr = nullptr;

CharSet VObject::DebugDump(char*, int& ioSize) const
{
    ioSize = 0;
    return VTC_UTF_8;
}

void VObject::DebugDump(VString& outDump) const
{
    char buffer[1024];
    int size = sizeof(buffer);
    CharSet charSet = DebugDump(buffer, size);
    if (size < 0 || size > int(sizeof(buffer)))
        size = 0;
    outDump.FromBlock(buffer, size_t(size), charSet);
}

void VObject::DebugGetClassName(VString& outName) const
{
    outName.Clear();
}

} // namespace kova
