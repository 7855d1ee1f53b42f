// IProgressInfoCollector adds what a long operation wants to show of itself to the snapshots of a
// progress indicator: while a snapshot is taken on the working thread, each session that has a
// collector asks it for a JSON object, kept as the session's collected information and merged into
// the session's JSON form.
#pragma once

namespace kova
{

class VJSONObject;
class VProgressIndicator;

class IProgressInfoCollector
{
public:
    // inFirst is true for the outermost session of the snapshot only. Returns a new reference, or
    // null.
    virtual VJSONObject* CollectInfo(VProgressIndicator* inIndicator, bool inFirst) = 0;

protected:
    // Sessions do not own their collector: it is never deleted through this interface.
    ~IProgressInfoCollector() = default;
};

} // namespace kova
