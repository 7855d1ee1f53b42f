// VLocalizationManager holds the localized texts of one language and hands them out by key. It
// reads the localization files of a bundle: XLIFF files ("xlf", through the handlers of
// VLocalizationXMLHandler.h) and key/value files ("strings"), lying directly in the bundle's
// Contents/Resources folder (taken whatever their language) or in its language folders
// ("<language>.lproj"). Made once at start-up for the application's language, it then serves as
// the process's localizer (LocalizeString) and as the error localizer of several components.
//
//     VRefPtr<VLocalizationManager> manager(new VLocalizationManager(dialect));
//     manager->LoadDefaultLocalizationFoldersForComponentOrPlugin(bundleFolder);
//     VString text;
//     if (manager->LocalizeStringWithKey(VString("LogFileSentence"), text)) ...
//
// Texts are filed under resource names, under object URLs (a unit inside a group of a
// bracketed group), under the keys of .strings files, in numbered groups (STR# codes: a group id
// and an index), and by group name; XLIFF groups with a "restype" are also kept whole as value
// bags, by name and by type. Loading adds: a repeated key keeps the first text unless a file of
// the manager's exact language overwrites it; only ClearLocalizations removes texts.
//
// The manager remembers the files and folders it loaded and their files' dates, so that it can
// tell when they changed and reload them. One lock guards the tables: loading, filing and look-ups
// may run on different tasks.
#pragma once

#include "kernel/errors/ILocalizer.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace kova
{

class VFile;
class VFolder;
class VLocalizationXMLHandler;
class VValueBag;
class VXMLParser;

// A resource id and an index in it.
struct STRSharpCodes
{
    int32_t fID = 0;
    int32_t fIndex = 0;
};

// By id (signed), then by index (unsigned).
struct CompareTwoSTRSharpCodes
{
    bool operator()(const STRSharpCodes& inFirst, const STRSharpCodes& inSecond) const
    {
        if (inFirst.fID != inSecond.fID)
            return inFirst.fID < inSecond.fID;
        return uint32_t(inFirst.fIndex) < uint32_t(inSecond.fIndex);
    }
};

// Unit by unit.
struct CompareTwoVStrings
{
    bool operator()(const VString& inFirst, const VString& inSecond) const
    {
        return inFirst.CompareToStringRaw(inSecond) == CR_SMALLER;
    }
};

// Paths are told apart exactly, as the file systems of this platform tell them.
struct CompareTwoVFilePaths
{
    bool operator()(const VFilePath& inFirst, const VFilePath& inSecond) const
    {
        return inFirst.GetPath().CompareToStringRaw(inSecond.GetPath()) == CR_SMALLER;
    }
};

// Through the current dialect, diacritics not significant.
struct CompareVStringsWithoutDiacritics
{
    bool operator()(const VString& inFirst, const VString& inSecond) const
    {
        return inFirst.CompareToString(inSecond, false) == CR_SMALLER;
    }
};

class VLocalizationManager : public VObject, public IRefCountable, public ILocalizer
{
public:
    // Empty tables for the dialect; brings the XML library up (VXMLParser::Init).
    explicit VLocalizationManager(uint32_t inLanguage);
    VLocalizationManager(const VLocalizationManager&) = delete;
    VLocalizationManager& operator=(const VLocalizationManager&) = delete;
    ~VLocalizationManager() override;

    // ILocalizer. Each answers true, with the text copied out, when the key has one; the output
    // is untouched otherwise.
    bool LocalizeStringWithKey(const VString& inKey, VString& outText) override;
    bool LocalizeStringWithDotStringsKey(const VString& inKey, VString& outText) override;
    // The key "ERR_" + the signature's four characters + "_" + the number as a signed integer,
    // at most 14 characters (longer numbers are cut): "ERR_kova_600".
    bool LocalizeErrorMessage(VError inError, VString& outMessage) override;
    uint32_t GetLocalizationLanguage() override { return fLanguage; }
    const VValueBag* RetainGroupBag(const VString& inGroupName) override;

    // The bundle's Contents/Resources folder, as LoadDefaultLocalizationFolders. False for a null
    // or missing bundle folder.
    bool LoadDefaultLocalizationFoldersForComponentOrPlugin(VFolder* inBundleFolder);
    // The files lying in the folder, whatever their language, then the folder's language folders
    // for the manager's language. True when at least one language folder loaded without error.
    bool LoadDefaultLocalizationFolders(VFolder* inFolder);
    // Loads every visible file of the folder (results ignored) and records the folder. Kova 3 for
    // null, 600 for a folder that does not exist.
    VError ScanAndLoadFolder(VFolder* inFolder, bool inAvoidLanguageChecking);
    // Kova 3 for null, 600 for a missing file, 613 for an extension other than "xlf" and
    // "strings"; else the error of reading the file.
    VError LoadFile(VFile* inFile, bool inAvoidLanguageChecking);
    VError _LoadFile(VFile* inFile, bool inFromFolderScan, bool inAvoidLanguageChecking);
    // The error of reading the file; parse errors go to the context.
    VError AnalyzeXLIFFFile(VFile* inFile, bool inAvoidLanguageChecking);
    // Lines of "key" = "value"; (quotes optional, the last character of each line dropped): no
    // escapes, no comments, no values over several lines.
    VError AnalyzeDotStringsFile(VFile* inFile);
    // Empties every table; what was loaded is still remembered.
    bool ClearLocalizations();

    // Whether a loaded XLIFF file changed or vanished, or a scanned folder vanished or holds an
    // XLIFF file not loaded yet. Files that vanished are forgotten.
    bool DoesNeedAnUpdate();
    // When it needs one: clears the tables and loads again what was loaded, each file and folder
    // with the language check as it had the first time. Answers whether it needed one.
    bool UpdateIfNeeded();

    bool LocalizeStringWithSTRSharpCodes(const STRSharpCodes& inCodes, VString& outText);
    // The texts of (id, 1), (id, 2), ... up to the first missing index. True when there is one.
    bool LocalizeGroupOfStringsWithAStrSharpID(int32_t inID, std::vector<VString>& outStrings);
    // The group's texts in ascending id order. True when the group holds one.
    bool GetOrderedStringsOfGroup(const VString& inGroupName, std::vector<VString>& outStrings);
    // Appends (retained) the bags of that resource type, in the order they were filed.
    void RetainGroupBagsByRestype(const VString& inType, std::vector<VRefPtr<const VValueBag>>& ioBags);

    // Filing, by the XLIFF handlers. Each answers true. A key already there keeps its text unless
    // inOverwrite; a group's entry always takes the new text.
    bool _InsertSTRSharpCodeAndString(STRSharpCodes inCodes, VString& inText, bool inOverwrite);
    bool _InsertObjectURLAndString(const VString& inKey, const VString& inText, bool inOverwrite);
    bool _InsertDotStringsKeyAndString(const VString& inKey, const VString& inText, bool inOverwrite);
    bool _InsertIDAndStringInAGroup(uint32_t inID, const VString& inText, const VString& inGroupName,
                                    bool inOverwrite);
    // Filed by name (the first bag of a name stays) when the name is not empty, and always by type.
    bool _InsertGroupBag(const VString& inGroupName, const VString& inType, const VValueBag* inBag);

    const std::vector<VFilePath>& GetLoadedPaths() const { return fLoadedPaths; }

private:
    using StringMap = std::map<VString, VString, CompareTwoVStrings>;

    // Records a path once, and whether it was loaded with the language check off.
    void _RecordLoadedPath(const VFilePath& inPath, bool inAvoidLanguageChecking);

    mutable VCriticalSection fLock;
    uint32_t fLanguage;
    std::map<STRSharpCodes, VString, CompareTwoSTRSharpCodes> fSTRSharpStrings;
    StringMap fKeyStrings;
    std::map<VString, std::map<uint32_t, VString>, CompareTwoVStrings> fGroupStrings;
    StringMap fDotStringsKeyStrings;
    std::unique_ptr<VXMLParser> fParser;
    VRefPtr<VLocalizationXMLHandler> fRootHandler;
    std::vector<VFilePath> fLoadedPaths;
    // The paths of fLoadedPaths that were loaded with the language check off: a reload loads
    // them the same way.
    std::set<VFilePath, CompareTwoVFilePaths> fPathsWithoutLanguageCheck;
    std::map<VFilePath, VTime, CompareTwoVFilePaths> fFileDates;
    std::map<VString, VRefPtr<const VValueBag>, CompareVStringsWithoutDiacritics> fGroupBagsByName;
    std::multimap<VString, VRefPtr<const VValueBag>, CompareVStringsWithoutDiacritics> fGroupBagsByType;
    std::vector<VRefPtr<VFolder>> fLanguageFolders;
};

} // namespace kova
