// The toolbox's own error numbers (component kova). Other components define theirs beside their
// code. Each constant is the whole 64-bit code.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

constexpr VError VE_UNKNOWN_ERROR = MakeKovaError(1);
constexpr VError VE_UNIMPLEMENTED = MakeKovaError(2);
constexpr VError VE_INVALID_PARAMETER = MakeKovaError(3);
constexpr VError VE_CANNOT_INITIALIZE_APPLICATION = MakeKovaError(4);
constexpr VError VE_ACCESS_DENIED = MakeKovaError(5);
constexpr VError VE_USER_ABORT = MakeKovaError(6);
constexpr VError VE_MEMORY_FULL = MakeKovaError(100);
constexpr VError VE_STRING_ALLOC_FAILED = MakeKovaError(107);

} // namespace kova
