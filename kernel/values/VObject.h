// VObject is the root class of the toolbox's objects. It has no data: only a virtual destructor and
// a virtual debug dump. It also holds the process-wide memory manager pointer through which every
// toolbox allocation goes; the entry point sets it before anything else runs.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/KovaTypes.h"

namespace kova
{

class VCppMemMgr;
class VString;

class VObject
{
public:
    VObject() = default;
    VObject(const VObject&) = default;
    VObject& operator=(const VObject&) = default;
    virtual ~VObject() = default;

    // Writes a description of the object into buffer, whose size in bytes ioSize gives on entry;
    // ioSize is set to the bytes written. Returns the character set of the text.
    virtual CharSet DebugDump(char* buffer, int& ioSize) const;

    // The same text, decoded into a string.
    void DebugDump(VString& outDump) const;

    void DebugGetClassName(VString& outName) const;

    // Null until the entry point creates the manager; never reset while the process runs.
    static VCppMemMgr* sCppMemMgr;
};

} // namespace kova
