// XMacVolumes is the process's one cache of mounted volumes: which volume name belongs to a mount
// path and which mount path to a volume name. The conversions between POSIX paths and colon paths,
// whose first component is a volume name, rely on it.
//
// A look-up reloads the cache when more than 2000 ms have passed since the previous reload, so
// that conversions in loops do not enumerate the volumes for every item; a volume mounted or
// unmounted in between is seen with the next reload. Every volume takes part in both maps or in
// neither: a volume whose name holds ":" (which the colon syntax cannot hold) or is already taken
// by a volume enumerated before it is left out, so that a colon path always leads back to the
// volume it was made from; paths on a left-out volume are named through the volumes that hold
// its mount point.
//
// When the application bundle lies on a translocation mount (a "nullfs" file system), that mount
// is recorded once and answers for the name of the volume it stands for.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace kova
{

class VString;

class XMacVolumes : public VObject
{
public:
    struct Volume
    {
        std::string fMountPath; // file-system representation
        std::string fName;      // UTF-8
        bool fNameReadable;
    };
    using VolumeLister = std::vector<Volume> (*)();
    using Clock = uint32_t (*)();

    // The process's cache: the system's mounted volumes, the millisecond clock of VSystem and
    // the main bundle's path for the translocation check.
    XMacVolumes();
    // A cache over the given volume list and clock; inBundlePath, when not null, is checked for
    // translocation in place of the main bundle.
    XMacVolumes(VolumeLister inLister, Clock inClock, const char* inBundlePath);
    XMacVolumes(const XMacVolumes&) = delete;
    XMacVolumes& operator=(const XMacVolumes&) = delete;
    ~XMacVolumes() override;

    // The name of the volume mounted exactly at inMountPath (byte for byte), NUL-terminated in a
    // buffer of inSize bytes. False when no volume is mounted there or its name does not fit.
    bool GetVolumeNameFromMountPath(const char* inMountPath, char* outName, size_t inSize);
    // The mount path of the volume of that name (names compare exactly); else, when the
    // application's translocated volume path equals the name, the translocation mount point.
    bool GetMountPathFromVolumeName(const VString& inName, VString& outMountPath);
    // The translocation test of the previous operation alone.
    bool _GetTranslocationMountPathForVolume(const VString& inName, VString& outMountPath);

    // For tests: the next look-up reloads whatever the clock says.
    void _Invalidate();

    static XMacVolumes fInstance;

private:
    // With the lock held.
    void _ReloadCacheIfNecessary();
    void _CheckTranslocation();

    VolumeLister fLister;
    Clock fClock;
    std::string fBundlePath;
    bool fUseMainBundle;

    std::unordered_map<std::string, std::string> fNamesByMountPath;
    std::map<std::string, std::string> fMountPathsByName;
    VCriticalSection fLock;
    uint32_t fLastReload = 0;
    bool fLoaded = false;

    // Fixed once, on first need; read without the lock afterwards.
    std::once_flag fTranslocationChecked;
    std::string fTranslocatedVolumePath;
    std::string fTranslocatedMountPoint;
};

} // namespace kova
