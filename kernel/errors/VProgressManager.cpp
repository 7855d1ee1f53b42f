#include "kernel/errors/VProgressManager.h"

#include <new>

namespace kova
{

VProgressManager* VProgressManager::sProgressManager = nullptr;

bool VProgressManager::Init()
{
    if (sProgressManager == nullptr)
        sProgressManager = new (std::nothrow) VProgressManager;
    return true;
}

bool VProgressManager::Deinit()
{
    delete sProgressManager;
    sProgressManager = nullptr;
    return true;
}

} // namespace kova
