// VProgressManager is the process-wide registry of progress indicators, made by the process
// object's start-up after the task manager and deleted at its shut-down. For now it is only that
// one instance and its start-up and shut-down; the registry itself arrives with the progress
// indicators.
#pragma once

#include "kernel/values/VObject.h"

namespace kova
{

class VProgressManager : public VObject
{
public:
    VProgressManager() = default;
    VProgressManager(const VProgressManager&) = delete;
    VProgressManager& operator=(const VProgressManager&) = delete;

    // Makes the manager when missing; true.
    static bool Init();
    // Deletes it; true. Harmless without Init.
    static bool Deinit();

    // Null before Init and after Deinit.
    static VProgressManager* sProgressManager;
};

} // namespace kova
