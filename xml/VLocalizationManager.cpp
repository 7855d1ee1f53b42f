#include "xml/VLocalizationManager.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/IFile.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFileStream.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VLocalizationXMLHandler.h"
#include "xml/VXMLParser.h"

#include <cstdio>
#include <vector>

namespace kova
{

namespace
{

// The longest error key: "ERR_" + 4 + "_" + 5 digits ("ERR_UPQL_12345").
constexpr size_t kMaxErrorKeyLength = 14;

VError Fail(VError inError)
{
    _ThrowError(inError);
    return inError;
}

bool IsLocalizationFile(const VFile& inFile)
{
    return inFile.MatchExtension(VString("xlf")) || inFile.MatchExtension(VString("strings"));
}

// Inserts or, when asked, replaces.
template <class MAP, class KEY>
void File(MAP& ioMap, const KEY& inKey, const VString& inText, bool inOverwrite)
{
    auto [entry, inserted] = ioMap.emplace(inKey, inText);
    if (!inserted && inOverwrite)
        entry->second = inText;
}

template <class MAP, class KEY>
bool Find(const MAP& inMap, const KEY& inKey, VString& outText)
{
    auto found = inMap.find(inKey);
    if (found == inMap.end())
        return false;
    outText.FromString(found->second);
    return true;
}

} // namespace

VLocalizationManager::VLocalizationManager(uint32_t inLanguage) : fLanguage(inLanguage)
{
    VXMLParser::Init();
    fParser = std::make_unique<VXMLParser>();
    fRootHandler = VRefPtr<VLocalizationXMLHandler>(new VLocalizationXMLHandler(this));
}

VLocalizationManager::~VLocalizationManager()
{
    fRootHandler = nullptr;
    if (fParser)
    {
        fParser.reset();
        VXMLParser::DeInit();
    }
}

// ---- look-ups

bool VLocalizationManager::LocalizeStringWithKey(const VString& inKey, VString& outText)
{
    StLocker lock(fLock);
    return Find(fKeyStrings, inKey, outText);
}

bool VLocalizationManager::LocalizeStringWithDotStringsKey(const VString& inKey, VString& outText)
{
    StLocker lock(fLock);
    return Find(fDotStringsKeyStrings, inKey, outText);
}

bool VLocalizationManager::LocalizeStringWithSTRSharpCodes(const STRSharpCodes& inCodes, VString& outText)
{
    StLocker lock(fLock);
    return Find(fSTRSharpStrings, inCodes, outText);
}

bool VLocalizationManager::LocalizeErrorMessage(VError inError, VString& outMessage)
{
    const OsType signature = ComponentOfError(inError);
    char key[kMaxErrorKeyLength + 1];
    std::snprintf(key, sizeof(key), "ERR_%c%c%c%c_%d", char(signature >> 24), char(signature >> 16),
                  char(signature >> 8), char(signature), NumberOfError(inError));
    return LocalizeStringWithKey(VString(key), outMessage);
}

bool VLocalizationManager::LocalizeGroupOfStringsWithAStrSharpID(int32_t inID,
                                                                 std::vector<VString>& outStrings)
{
    outStrings.clear();
    StLocker lock(fLock);
    for (int32_t index = 1; index > 0; ++index)
    {
        auto found = fSTRSharpStrings.find({inID, index});
        if (found == fSTRSharpStrings.end())
            break;
        outStrings.push_back(found->second);
    }
    return !outStrings.empty();
}

bool VLocalizationManager::GetOrderedStringsOfGroup(const VString& inGroupName,
                                                    std::vector<VString>& outStrings)
{
    outStrings.clear();
    StLocker lock(fLock);
    auto group = fGroupStrings.find(inGroupName);
    if (group == fGroupStrings.end() || group->second.empty())
        return false;
    for (const auto& [id, text] : group->second)
        outStrings.push_back(text);
    return true;
}

const VValueBag* VLocalizationManager::RetainGroupBag(const VString& inGroupName)
{
    StLocker lock(fLock);
    auto found = fGroupBagsByName.find(inGroupName);
    if (found == fGroupBagsByName.end())
        return nullptr;
    return RetainRefCountable(found->second.Get());
}

void VLocalizationManager::RetainGroupBagsByRestype(const VString& inType,
                                                    std::vector<VRefPtr<const VValueBag>>& ioBags)
{
    StLocker lock(fLock);
    auto [first, last] = fGroupBagsByType.equal_range(inType);
    for (auto entry = first; entry != last; ++entry)
        ioBags.push_back(entry->second);
}

// ---- filing

bool VLocalizationManager::_InsertSTRSharpCodeAndString(STRSharpCodes inCodes, VString& inText,
                                                        bool inOverwrite)
{
    StLocker lock(fLock);
    File(fSTRSharpStrings, inCodes, inText, inOverwrite);
    return true;
}

bool VLocalizationManager::_InsertObjectURLAndString(const VString& inKey, const VString& inText,
                                                     bool inOverwrite)
{
    StLocker lock(fLock);
    File(fKeyStrings, inKey, inText, inOverwrite);
    return true;
}

bool VLocalizationManager::_InsertDotStringsKeyAndString(const VString& inKey, const VString& inText,
                                                         bool inOverwrite)
{
    StLocker lock(fLock);
    File(fKeyStrings, inKey, inText, inOverwrite);
    return true;
}

bool VLocalizationManager::_InsertIDAndStringInAGroup(uint32_t inID, const VString& inText,
                                                      const VString& inGroupName, bool)
{
    StLocker lock(fLock);
    fGroupStrings[inGroupName][inID] = inText;
    return true;
}

bool VLocalizationManager::_InsertGroupBag(const VString& inGroupName, const VString& inType,
                                           const VValueBag* inBag)
{
    StLocker lock(fLock);
    VRefPtr<const VValueBag> bag = VRefPtr<const VValueBag>::Retained(inBag);
    if (!inGroupName.IsEmpty() && !inGroupName.IsNull())
        fGroupBagsByName.emplace(inGroupName, bag);
    fGroupBagsByType.emplace(inType, bag);
    return true;
}

bool VLocalizationManager::ClearLocalizations()
{
    StLocker lock(fLock);
    fSTRSharpStrings.clear();
    fKeyStrings.clear();
    fGroupStrings.clear();
    fDotStringsKeyStrings.clear();
    fGroupBagsByName.clear();
    fGroupBagsByType.clear();
    return true;
}

// ---- loading

bool VLocalizationManager::LoadDefaultLocalizationFoldersForComponentOrPlugin(VFolder* inBundleFolder)
{
    if (inBundleFolder == nullptr || !inBundleFolder->Exists())
        return false;
    VFilePath resources(inBundleFolder->GetPath());
    resources.ToSubFolder(VString("Contents")).ToSubFolder(VString("Resources"));
    VRefPtr<VFolder> folder(new VFolder(resources, inBundleFolder->GetFileSystem()));
    return LoadDefaultLocalizationFolders(folder.Get());
}

bool VLocalizationManager::LoadDefaultLocalizationFolders(VFolder* inFolder)
{
    if (inFolder == nullptr || !inFolder->Exists())
        return false;
    ScanAndLoadFolder(inFolder, true);
    std::vector<VRefPtr<VFolder>> languageFolders;
    if (!VIntlMgr::GetLocalizationFoldersWithDialect(fLanguage, inFolder->GetPath(), languageFolders))
        return false;
    // A language folder that is a link out of the folder is not read.
    std::erase_if(languageFolders, [inFolder](const VRefPtr<VFolder>& inLanguageFolder)
                  { return !IsInFolderOnDisk(inLanguageFolder->GetPath(), inFolder->GetPath()); });
    fLanguageFolders = languageFolders;
    bool loaded = false;
    for (const VRefPtr<VFolder>& folder : languageFolders)
        loaded = ScanAndLoadFolder(folder.Get(), false) == VE_OK || loaded;
    return loaded;
}

VError VLocalizationManager::ScanAndLoadFolder(VFolder* inFolder, bool inAvoidLanguageChecking)
{
    if (inFolder == nullptr)
        return Fail(VE_INVALID_PARAMETER);
    if (!inFolder->Exists())
        return Fail(VE_FILE_NOT_FOUND);
    // The visible localization files lying directly in the folder; a link is read only when it
    // stays in the folder. Other files are passed over without a word: the scan has no use for
    // them and its caller no error to hear.
    for (VFileIterator file(inFolder, FI_WANT_FILES); file.IsValid(); ++file)
    {
        if (IsLocalizationFile(*file.Current()) && IsInFolderOnDisk(file->GetPath(), inFolder->GetPath()))
            _LoadFile(file.Current(), true, inAvoidLanguageChecking);
    }
    _RecordLoadedPath(inFolder->GetPath(), inAvoidLanguageChecking);
    return VE_OK;
}

VError VLocalizationManager::LoadFile(VFile* inFile, bool inAvoidLanguageChecking)
{
    return _LoadFile(inFile, false, inAvoidLanguageChecking);
}

VError VLocalizationManager::_LoadFile(VFile* inFile, bool inFromFolderScan, bool inAvoidLanguageChecking)
{
    if (inFile == nullptr)
        return Fail(VE_INVALID_PARAMETER);
    if (!inFile->Exists())
        return Fail(VE_FILE_NOT_FOUND);
    if (inFile->MatchExtension(VString("xlf")))
    {
        if (VError error = AnalyzeXLIFFFile(inFile, inAvoidLanguageChecking); error != VE_OK)
            return error;
        if (!inFromFolderScan)
            _RecordLoadedPath(inFile->GetPath(), inAvoidLanguageChecking);
        VTime modified;
        if (inFile->GetTimeAttributes(&modified, nullptr, nullptr) == VE_OK)
        {
            StLocker lock(fLock);
            fFileDates[inFile->GetPath()] = modified;
        }
        return VE_OK;
    }
    if (inFile->MatchExtension(VString("strings")))
        return AnalyzeDotStringsFile(inFile);
    return Fail(MakeKovaError(613));
}

VError VLocalizationManager::AnalyzeXLIFFFile(VFile* inFile, bool inAvoidLanguageChecking)
{
    fRootHandler->SetAvoidLanguageChecking(inAvoidLanguageChecking);
    VString text;
    VError error = inFile->GetContentAsString(text, VTC_UTF_8, eCRM_NONE);
    if (error == VE_OK)
        fParser->Parse(text, fRootHandler.Get(), XML_ValidateNever);
    fRootHandler->SetAvoidLanguageChecking(false);
    return error;
}

VError VLocalizationManager::AnalyzeDotStringsFile(VFile* inFile)
{
    if (inFile == nullptr)
        return Fail(VE_INVALID_PARAMETER);
    if (!inFile->Exists())
        return Fail(VE_FILE_NOT_FOUND);
    VFileStream stream(inFile);
    if (VError error = stream.OpenReading(); error != VE_OK)
        return error;
    if (VError error = stream.GuessCharSetFromLeadingBytes(VTC_UTF_16_BIGENDIAN, false, nullptr);
        error != VE_OK)
    {
        stream.CloseReading();
        return error;
    }
    stream.SetCarriageReturnMode(eCRM_LF);
    VString line;
    std::vector<VString> parts;
    while (stream.GetTextLine(line, false) == VE_OK)
    {
        if (line.IsEmpty())
            continue;
        line.Truncate(line.GetLength() - 1); // the closing ";" of a well-formed line
        line.GetSubStrings(u'=', parts, false, false);
        if (parts.size() != 2 || parts[0].IsEmpty() || parts[1].IsEmpty())
            continue;
        for (VString& part : parts)
        {
            part.RemoveWhiteSpaces(true, true);
            if (!part.IsEmpty() && part.GetUniChar(1) == u'"')
            {
                // The last character goes too, whatever it is.
                part.Truncate(part.GetLength() - 1);
                part.Remove(1, 1);
            }
        }
        if (!parts[0].IsEmpty() && !parts[1].IsEmpty())
            _InsertDotStringsKeyAndString(parts[0], parts[1], true);
    }
    stream.CloseReading();
    return VE_OK;
}

void VLocalizationManager::_RecordLoadedPath(const VFilePath& inPath, bool inAvoidLanguageChecking)
{
    StLocker lock(fLock);
    if (inAvoidLanguageChecking)
        fPathsWithoutLanguageCheck.insert(inPath);
    for (const VFilePath& loaded : fLoadedPaths)
    {
        if (loaded.GetPath().EqualToStringRaw(inPath.GetPath()))
            return;
    }
    fLoadedPaths.push_back(inPath);
}

// ---- changes

bool VLocalizationManager::DoesNeedAnUpdate()
{
    StLocker lock(fLock);
    bool changed = false;
    std::map<VFilePath, VTime, CompareTwoVFilePaths> dates;
    for (const auto& [path, recorded] : fFileDates)
    {
        VFile file(path);
        if (!file.Exists())
        {
            changed = true;
            continue;
        }
        VTime modified;
        if (file.GetTimeAttributes(&modified, nullptr, nullptr) == VE_OK)
        {
            dates[path] = modified;
            changed = changed || modified != recorded;
        }
    }
    fFileDates = dates;
    if (changed)
        return true;
    for (const VFilePath& path : fLoadedPaths)
    {
        if (!path.IsFolder())
            continue;
        VFolder folder(path);
        if (!folder.Exists())
            return true;
        for (VFileIterator file(&folder, FI_WANT_FILES); file.IsValid(); ++file)
        {
            if (file->MatchExtension(VString("xlf")) &&
                fFileDates.find(file->GetPath()) == fFileDates.end() &&
                IsInFolderOnDisk(file->GetPath(), path))
                return true;
        }
    }
    return false;
}

bool VLocalizationManager::UpdateIfNeeded()
{
    if (!DoesNeedAnUpdate())
        return false;
    ClearLocalizations();
    const std::vector<VFilePath> paths = fLoadedPaths;
    for (const VFilePath& path : paths)
    {
        if (!path.IsValid() || path.IsEmpty())
            continue;
        const bool avoidLanguageChecking = fPathsWithoutLanguageCheck.count(path) != 0;
        if (path.IsFolder())
        {
            VRefPtr<VFolder> folder(new VFolder(path));
            if (folder->Exists())
                ScanAndLoadFolder(folder.Get(), avoidLanguageChecking);
        }
        else if (path.IsFile())
        {
            VRefPtr<VFile> file(new VFile(path));
            if (file->Exists())
                _LoadFile(file.Get(), false, avoidLanguageChecking);
        }
    }
    return true;
}

} // namespace kova
