#include "platform/mac/files/XMacVolumes.h"

#include "kernel/files/FileText.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/SysMount.h"

#include <cstring>
#include <strings.h>

namespace kova
{

namespace
{

std::vector<XMacVolumes::Volume> SystemVolumes()
{
    std::vector<XMacVolumes::Volume> volumes;
    for (ns::MountedVolume& volume : ns::MountedVolumeURLs())
        volumes.push_back(
            XMacVolumes::Volume{std::move(volume.fPath), std::move(volume.fName), volume.fNameReadable});
    return volumes;
}

uint32_t SystemClock()
{
    return VSystem::GetCurrentTime();
}

void MountPathText(const std::string& inPath, VString& outPath)
{
    TextFromUTF8(inPath.data(), inPath.size(), outPath);
    ComposeText(outPath);
}

} // namespace

XMacVolumes XMacVolumes::fInstance;

XMacVolumes::XMacVolumes() : fLister(&SystemVolumes), fClock(&SystemClock), fUseMainBundle(true) {}

XMacVolumes::XMacVolumes(VolumeLister inLister, Clock inClock, const char* inBundlePath)
    : fLister(inLister), fClock(inClock), fBundlePath(inBundlePath != nullptr ? inBundlePath : ""),
      fUseMainBundle(false)
{
}

XMacVolumes::~XMacVolumes() = default;

void XMacVolumes::_ReloadCacheIfNecessary()
{
    const uint32_t now = fClock();
    // The first look-up always loads, whatever the clock reads then.
    if (fLoaded && uint32_t(now - fLastReload) < 2001u)
        return;
    fNamesByMountPath.clear();
    fMountPathsByName.clear();
    for (const Volume& volume : fLister())
    {
        if (!volume.fNameReadable || volume.fName.empty() || volume.fMountPath.empty() ||
            volume.fName.find(':') != std::string::npos || fMountPathsByName.count(volume.fName) != 0 ||
            fNamesByMountPath.count(volume.fMountPath) != 0)
            continue;
        fNamesByMountPath.emplace(volume.fMountPath, volume.fName);
        fMountPathsByName.emplace(volume.fName, volume.fMountPath);
    }
    fLastReload = now;
    fLoaded = true;
}

void XMacVolumes::_Invalidate()
{
    StLocker locker(fLock);
    fLoaded = false;
}

bool XMacVolumes::GetVolumeNameFromMountPath(const char* inMountPath, char* outName, size_t inSize)
{
    if (inMountPath == nullptr || outName == nullptr || inSize == 0)
        return false;
    StLocker locker(fLock);
    _ReloadCacheIfNecessary();
    auto found = fNamesByMountPath.find(inMountPath);
    // A name cut to the buffer would name another volume: it must fit whole.
    if (found == fNamesByMountPath.end() || found->second.size() >= inSize)
        return false;
    std::memcpy(outName, found->second.c_str(), found->second.size() + 1);
    return true;
}

bool XMacVolumes::GetMountPathFromVolumeName(const VString& inName, VString& outMountPath)
{
    std::string name;
    if (!TextToUTF8(inName, name))
        return false;
    {
        StLocker locker(fLock);
        _ReloadCacheIfNecessary();
        auto found = fMountPathsByName.find(name);
        if (found != fMountPathsByName.end())
        {
            MountPathText(found->second, outMountPath);
            return true;
        }
    }
    return _GetTranslocationMountPathForVolume(inName, outMountPath);
}

bool XMacVolumes::_GetTranslocationMountPathForVolume(const VString& inName, VString& outMountPath)
{
    std::call_once(fTranslocationChecked, [this] { _CheckTranslocation(); });
    std::string name;
    if (fTranslocatedVolumePath.empty() || !TextToUTF8(inName, name) || name != fTranslocatedVolumePath)
        return false;
    MountPathText(fTranslocatedMountPoint, outMountPath);
    return true;
}

void XMacVolumes::_CheckTranslocation()
{
    std::string bundlePath = fBundlePath;
    if (fUseMainBundle)
    {
        std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
        if (bundle == nullptr)
            return;
        bundlePath = bundle->GetPath();
    }
    if (bundlePath.empty() || bundlePath.size() > 1024)
        return;
    sys::StatFS status;
    if (sys::statfs(bundlePath.c_str(), status) != 0 || status.f_fstypename != "nullfs")
        return;
    for (const Volume& volume : fLister())
    {
        if (volume.fNameReadable && strcasecmp(volume.fMountPath.c_str(), status.f_mntonname.c_str()) == 0)
        {
            fTranslocatedVolumePath = volume.fMountPath;
            fTranslocatedMountPoint = status.f_mntonname;
            return;
        }
    }
}

} // namespace kova
