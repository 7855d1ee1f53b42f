// ILogListener is what the process logger hands its records to: the log file writer is one. The
// logger's own task calls Put with each batch of records, oldest first; the records are valid only
// during the call, and a listener must not keep the logger waiting long, since logging tasks are
// not held up but the ring fills meanwhile.
#pragma once

#include "kernel/values/IRefCountable.h"

#include <vector>

namespace kova
{

class VValueBag;

class ILogListener : public IRefCountable
{
public:
    virtual void Put(const std::vector<const VValueBag*>& inRecords) = 0;
};

} // namespace kova
