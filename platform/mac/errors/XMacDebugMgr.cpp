#include "platform/mac/errors/XMacDebugMgr.h"

#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/Debugger.h"

namespace kova
{

std::string XMacDebugMgr::GetMainBundlePath()
{
    std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    return bundle ? bundle->GetPath() : std::string();
}

void XMacDebugMgr::Debugger()
{
    cf::Debugger();
}

} // namespace kova
