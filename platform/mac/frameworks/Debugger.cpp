#include "platform/mac/frameworks/Debugger.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kova::cf
{

bool IsBeingDebugged()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return false;
    long tracer = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
    {
        if (std::strncmp(line, "TracerPid:", 10) == 0)
        {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer != 0;
}

void Debugger()
{
    if (IsBeingDebugged())
        std::raise(SIGTRAP);
}

} // namespace kova::cf
