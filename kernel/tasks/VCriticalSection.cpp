#include "kernel/tasks/VCriticalSection.h"

namespace kova
{

// Interim: the lock itself arrives with the locks change.
VCriticalSection::~VCriticalSection() = default;

} // namespace kova
