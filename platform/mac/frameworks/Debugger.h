// Our stand-in for the debugging services of CoreServices: the Debugger call, which stops in the
// debugger that traces the process (without one it does nothing, where the signal would end the
// process), and the texts of the Carbon status codes.
#pragma once

#include <cstdint>

namespace kova::cf
{

// Whether a debugger (any tracer) is attached to the process.
bool IsBeingDebugged();
void Debugger();

// GetMacOSStatusErrorString and GetMacOSStatusCommentString: the status's name and a short
// description of it in our own words; null for a status the stand-ins never answer with.
const char* GetMacOSStatusErrorString(int32_t inStatus);
const char* GetMacOSStatusCommentString(int32_t inStatus);

} // namespace kova::cf
