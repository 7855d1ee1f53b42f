// VStringLessCompareStrict orders strings by their UTF-16 units, as unsigned numbers: the strict
// order of maps keyed by exact text (names of environment variables), whatever the dialect.
#pragma once

#include "kernel/text/VString.h"

namespace kova
{

struct VStringLessCompareStrict
{
    bool operator()(const VString& inA, const VString& inB) const
    {
        return inA.CompareToStringRaw(inB) == CR_SMALLER;
    }
};

} // namespace kova
