#include "kernel/values/VLeaksChecker.h"

namespace kova
{

VLeaksChecker::~VLeaksChecker() = default;

bool VLeaksChecker::SetLeaksCheck(bool inCheck)
{
    bool previous = fCheckLeaks;
    fCheckLeaks = inCheck;
    return previous;
}

} // namespace kova
