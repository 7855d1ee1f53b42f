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

class VJSONClassStore;
class VJSONObject;
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

    // The JSON class store "qel"; null before start-up made it. Not retained.
    VJSONClassStore* GetClassStore() const { return fClassStore; }
    // The class object of that name in the store, retained, when the store is the process's
    // (its name exactly); else null.
    virtual VJSONObject* GetClassObject(const VString& inStoreName, const VString& inClassName) const;
    // The class-store step of start-up: a new store "qel" with its root classes replaces the
    // previous one. False when memory runs out.
    bool _InitClassStore();

protected:
    // The logger step of start-up: makes the logger and starts it. False when memory runs out.
    bool _InitLogger();

    bool fFiberMode = false;
    VString fProductName;
    // Retained.
    VLogger* fLogger = nullptr;
    // Retained.
    VJSONClassStore* fClassStore = nullptr;
};

} // namespace kova
