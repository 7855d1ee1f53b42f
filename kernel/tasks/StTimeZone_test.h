// For tests: sets TZ for one scope and tells the system services, then puts the zone back. POSIX
// rules ("CET-1CEST,M3.5.0,M10.5.0/3") need no zone database.
#pragma once

#include "kernel/tasks/VSystem.h"

#include <cstdlib>
#include <string>

namespace kova
{

class StTimeZone
{
public:
    explicit StTimeZone(const char* inZone) : fSaved(std::getenv("TZ") != nullptr ? std::getenv("TZ") : "UTC")
    {
        Set(inZone);
    }
    ~StTimeZone() { Set(fSaved.c_str()); }
    StTimeZone(const StTimeZone&) = delete;
    StTimeZone& operator=(const StTimeZone&) = delete;

    void Set(const char* inZone)
    {
        setenv("TZ", inZone, 1);
        VSystem::SystemDateTimeChanged();
    }

private:
    std::string fSaved;
};

} // namespace kova
