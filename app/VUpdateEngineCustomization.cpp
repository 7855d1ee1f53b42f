// Client customization: the server link file written into the up-to-date bundle, and its
// executable made executable.
#include "app/VUpdateEngine.h"

#include "app/UpdaterErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/app/XMacUpdater.h"
#include "xml/ValueBagXML.h"

namespace kova
{

namespace
{

// The keys of the link file, made once.
const StPackedDictionaryKey kIsRemote("is_remote");
const StPackedDictionaryKey kServerDatabaseName("server_database_name");
const StPackedDictionaryKey kServerPath("server_path");
const StPackedDictionaryKey kCacheFolderName("cache_folder_name");
const StPackedDictionaryKey kRemoteSharedResources("remote_shared_resources");

// A file of the up-to-date bundle as the XML writer sees it: its content goes inside the bundle
// only, through no link whose way leaves it; that link, when one was met, is kept for the error.
class VFileInBundle : public VFile
{
public:
    VFileInBundle(const VFolder& inBundle, const VFilePath& inPath) : VFile(inPath), fBundle(inBundle) {}

    VError SetContent(const void* inData, size_t inSize) const override
    {
        return SetContentBeneath(fBundle, inData, inSize, &fLink);
    }
    const VFilePath& GetLink() const { return fLink; }

private:
    const VFolder& fBundle;
    mutable VFilePath fLink;
};

// The member when it is a string; false otherwise, the text untouched.
bool GetStringMember(const VJSONObject& inObject, const char* inName, VString& outText)
{
    const VJSONValue value = inObject.GetProperty(VString(inName));
    return value.IsString() && value.GetString(outText) == VE_OK;
}

} // namespace

bool VUpdateEngine::_FinishClientCustomization()
{
    StErrorContextInstaller errors(true, true);
    VJSONValue info;
    // A whole content is read from a regular file only, never waiting on a pipe or a device.
    const VFile file(fClientInfoPath);
    info.LoadFromFile(&file);
    VJSONObject* object = info.IsObject() ? info.RetainObject() : nullptr;
    VString platform;
    if (object == nullptr || !GetStringMember(*object, "ServerPlatform", platform))
    {
        _ThrowError(VE_UPDATER_BAD_CLIENT_INFO);
    }
    else
    {
        _SetIPAdressOnClientPref(*object, fUpToDatePath);
        _FinishMacClientCustomization(*object);
    }
    if (object != nullptr)
        object->Release();
    return errors.GetContext() == nullptr || errors.GetContext()->IsEmpty();
}

bool VUpdateEngine::_SetIPAdressOnClientPref(const VJSONObject& inInfo, const VFilePath& inUpToDatePath)
{
    VString serverPath;
    if (!GetStringMember(inInfo, "BuildIPAdress", serverPath))
        return true;
    VString port;
    if (GetStringMember(inInfo, "BuildIPPort", port))
        serverPath.AppendPrintf(":%S", &port);
    VString databaseName;
    GetStringMember(inInfo, "PublishName", databaseName);
    VString cacheFolderName;
    GetStringMember(inInfo, "BuildCacheFolderNameClient", cacheFolderName);

    VValueBag bag;
    bag.SetBool(kIsRemote, true);
    bag.SetString(kServerDatabaseName, databaseName);
    bag.SetString(kServerPath, serverPath);
    bag.SetString(kCacheFolderName, cacheFolderName);
    bag.SetBool(kRemoteSharedResources, false);
    // Its folders are made by the write, none out of the bundle; a failure shows as the write's.
    VFilePath path(inUpToDatePath);
    path.ToSubFolder(VString("Contents"))
        .ToSubFolder(VString("Database"))
        .ToSubFile(VString("EnginedServer.Qellink"));
    const VFolder bundle(inUpToDatePath);
    VFileInBundle linkFile(bundle, path);
    WriteBagToFileInXML(bag, VString("database_shortcut"), &linkFile, false);
    if (!linkFile.GetLink().IsEmpty())
        ThrowErrorWithPath(VE_UPDATER_LINK_NOT_FOLLOWED, linkFile.GetLink());
    return true;
}

bool VUpdateEngine::_FinishMacClientCustomization(const VJSONObject&)
{
    StErrorContextInstaller errors(true, true);
    VString bundlePath;
    fUpToDatePath.GetPosixPath(bundlePath);
    VString executablePath;
    while (bundlePath.GetLength() > 1 && bundlePath.GetCPointer()[bundlePath.GetLength() - 1] == u'/')
        bundlePath.Truncate(bundlePath.GetLength() - 1);
    if (XMacUpdater::GetBundleExecutablePath(bundlePath, executablePath))
    {
        // The executable's path is made from the bundle's: a path read from the disk would have
        // the links on its way resolved already.
        const VFolder bundle(fUpToDatePath);
        VString relative(executablePath);
        const int32_t prefix = bundlePath.GetLength();
        if (relative.BeginsWithRawString(bundlePath) && relative.GetLength() > prefix + 1 &&
            relative.GetCPointer()[prefix] == u'/')
            relative.Remove(1, prefix + 1);
        const VFile executable(VFilePath(fUpToDatePath, relative, FPS_POSIX));
        VFilePath link;
        VFilePath otherNames;
        uint16_t mode = 0;
        VError error = VE_OK;
        {
            // Permissions that cannot be read are left as they are, without an error; a way out
            // of the bundle to them is the bundle's fault.
            StErrorContextInstaller quiet(false, true);
            error = executable.MAC_GetPermissionsBeneath(bundle, &mode, &link);
        }
        // Nothing is changed, nor refused, where nothing needs to change.
        if (error == VE_OK && (mode & 0111) != 0111)
            executable.MAC_SetPermissionsBeneath(bundle, static_cast<uint16_t>(mode | 0111), &link,
                                                 &otherNames);
        if (!link.IsEmpty())
            ThrowErrorWithPath(VE_UPDATER_LINK_NOT_FOLLOWED, link);
        else if (!otherNames.IsEmpty())
            ThrowErrorWithPath(VE_UPDATER_FILE_HAS_OTHER_NAMES, otherNames);
    }
    return errors.GetContext() == nullptr || errors.GetContext()->IsEmpty();
}

} // namespace kova
