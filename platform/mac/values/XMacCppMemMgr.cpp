#include "platform/mac/values/XMacCppMemMgr.h"

#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/CFString.h"

namespace kova
{

bool XMacCppMemMgr::MainBundleAsksForPooledAllocator()
{
    std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    if (bundle == nullptr)
        return false;
    const cf::PropertyList* value = bundle->GetValueForInfoDictionaryKey("MemoryAllocator");
    if (value == nullptr || !value->IsString())
        return false;
    return cf::StringCompare(value->GetString(), "kova", cf::kCompareCaseInsensitive) == 0;
}

} // namespace kova
