// VProcess is the one application object: its start-up brings the toolbox up in a fixed order and
// its destruction takes it down again. For now it carries what the task manager and the logging
// read of it: whether the process runs its tasks as fibers (start-up flag 2), the process logger
// (made with start-up flag 16) and the text that names the process in log records.
#pragma once

#include "kernel/errors/ILogger.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

namespace kova
{

class ILocalizer;
class VLogger;

class VProcess : public VObject
{
public:
    VProcess();
    VProcess(const VProcess&) = delete;
    VProcess& operator=(const VProcess&) = delete;
    // Stops and releases the logger; the process is no longer the instance.
    ~VProcess() override;

    // The process once initialised; null before start-up and after shut-down.
    static VProcess* sInstance;

    bool IsFiberMode() const { return fFiberMode; }

    // Null unless start-up made one. Not retained.
    VLogger* GetLogger() const { return fLogger; }
    // The logger when it would keep a record of that level, else null.
    VLogger* GetLogger(EMessageLevel inLevel) const;
    // The source of the records that name none: the product name.
    virtual VString GetLogSourceIdentifier() const;

    // The localizer LocalizeString asks; null until the program installs one. Not owned: the
    // program keeps it alive while it is installed.
    ILocalizer* GetLocalizer() const { return fLocalizer; }
    void SetLocalizer(ILocalizer* inLocalizer) { fLocalizer = inLocalizer; }

protected:
    // The logger step of start-up: makes the logger and starts it. False when memory runs out.
    bool _InitLogger();

    bool fFiberMode = false;
    VString fProductName;
    ILocalizer* fLocalizer = nullptr;
    // Retained.
    VLogger* fLogger = nullptr;
};

} // namespace kova
