// IDebugMessageHandler is what the debug manager asks, when one is set, what to do about a failed
// assertion or a pushed error: go on, break into the debugger, quit, or ignore that assertion
// (that error code) or all of them from now on.
#pragma once

#include "kernel/values/IRefCountable.h"

#include <cstdint>

namespace kova
{

class VDebugContext;
class VErrorBase;

enum EDebugAction : int32_t
{
    EDA_Continue = 0,
    EDA_Break = 1, // into the debugger when console output is on, else quit
    EDA_Abort = 2,
    EDA_Ignore = 3,    // this assertion (file and line) or this error code
    EDA_IgnoreAll = 4, // every assertion or every error
};

class IDebugMessageHandler : public IRefCountable
{
public:
    virtual EDebugAction AssertFailed(VDebugContext& ioContext, const char* inMessage, const char* inFile,
                                      int inLine) = 0;
    virtual EDebugAction ErrorThrown(VDebugContext& ioContext, VErrorBase* inError) = 0;
};

} // namespace kova
