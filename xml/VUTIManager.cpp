#include "xml/VUTIManager.h"

namespace kova
{

VUTIManager* VUTIManager::fSingleton = nullptr;

VUTIManager* VUTIManager::GetUTIManager()
{
    if (fSingleton == nullptr)
        fSingleton = new VUTIManager();
    return fSingleton;
}

void VUTIManager::Delete()
{
    if (fSingleton != nullptr)
        fSingleton->Release();
    fSingleton = nullptr;
}

bool VUTIManager::DeInit()
{
    Delete();
    return true;
}

} // namespace kova
