#include "kernel/values/VObject.h"

namespace kova
{

VCppMemMgr* VObject::sCppMemMgr = nullptr;

VObject::~VObject() = default;

CharSet VObject::DebugDump(char*, int& ioSize) const
{
    ioSize = 0;
    return VTC_UTF_8;
}

} // namespace kova
