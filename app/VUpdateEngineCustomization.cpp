// Client customization: the server link file written into the up-to-date bundle, and its
// executable made executable.
#include "app/VUpdateEngine.h"

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
    VFile file(fClientInfoPath);
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

    VFilePath folderPath(inUpToDatePath);
    folderPath.ToSubFolder(VString("Contents")).ToSubFolder(VString("Database"));
    VFolder folder(folderPath);
    if (!folder.Exists())
        folder.CreateRecursive(false); // a failure shows as the write's

    VValueBag bag;
    bag.SetBool(kIsRemote, true);
    bag.SetString(kServerDatabaseName, databaseName);
    bag.SetString(kServerPath, serverPath);
    bag.SetString(kCacheFolderName, cacheFolderName);
    bag.SetBool(kRemoteSharedResources, false);
    VFile linkFile(folder, VString("EnginedServer.Qellink"), FPS_POSIX);
    WriteBagToFileInXML(bag, VString("database_shortcut"), &linkFile, false);
    return true;
}

bool VUpdateEngine::_FinishMacClientCustomization(const VJSONObject&)
{
    StErrorContextInstaller errors(true, true);
    VString bundlePath;
    fUpToDatePath.GetPosixPath(bundlePath);
    VString executablePath;
    if (XMacUpdater::GetBundleExecutablePath(bundlePath, executablePath))
    {
        VFile executable(executablePath, FPS_POSIX);
        uint16_t mode = 0;
        {
            // Permissions that cannot be read are left as they are, without an error.
            StErrorContextInstaller quiet(false, true);
            if (executable.MAC_GetPermissions(&mode) != VE_OK)
                return true;
        }
        if ((mode & 0111) != 0111)
            executable.MAC_SetPermissions(static_cast<uint16_t>(mode | 0111));
    }
    return errors.GetContext() == nullptr || errors.GetContext()->IsEmpty();
}

} // namespace kova
