#include "kernel/values/VCompareOptions.h"

namespace kova
{

VCompareOptions::~VCompareOptions() = default;

} // namespace kova
