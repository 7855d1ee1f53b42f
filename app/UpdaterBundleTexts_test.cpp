// The updater's bundle gives the toolbox's errors their English texts (the localization manager is
// their localizer): every kova and xmlc code an update can raise has one, read as the updater reads
// it, and each of its placeholders names a parameter that every error of that code carries.
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/ipc/VProcessLauncher.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VLocalizationManager.h"
#include "xml/VXMLParser.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

namespace kova
{
namespace
{

const std::string kBundleTexts = std::string(KOVA_APP_BIN) + "/../Resources/en.lproj/Updater.xlf";

using Parameters = std::set<std::string>;

// What every error of a code carries, from each place in the toolbox that raises one. A code also
// raised bare somewhere (the memory, the stream codes, a missing file found by the localization
// manager...) carries nothing.
const Parameters kNone;
const Parameters kFile{"name", "path"};
const Parameters kFileTo{"name", "path", "destination", "options"};
const Parameters kXML{"message", "systemID", "publicID", "line", "column"};

const std::map<VError, Parameters> kCarried = {
    {VE_INVALID_PARAMETER, kNone},
    // Mapped from the system's "permission denied" for the file concerned.
    {VE_ACCESS_DENIED, kFile},
    {VE_CHILD_PROCESS_TIMED_OUT, kNone},
    {VE_MEMORY_FULL, kNone},
    {VE_STRING_ALLOC_FAILED, kNone},
    {VE_JSON_NOT_ENOUGH_STACK, kNone},
    {VE_STREAM_EOF, kNone},
    {VE_STREAM_NOT_OPENED, kNone},
    {VE_STREAM_ALREADY_OPENED, kNone},
    {VE_STREAM_CANNOT_READ, kNone},
    {VE_STREAM_CANNOT_WRITE, kNone},
    {VE_STREAM_USER_ABORTED, kNone},
    {VE_STREAM_BAD_SIGNATURE, kNone},
    {VE_STREAM_NO_TEXT_CONVERTER, kNone},
    {VE_STREAM_TEXT_CONVERSION_FAILURE, kNone},
    {VE_STREAM_CANNOT_UNGET, kNone},
    {VE_STREAM_BAD_VERSION, kNone},
    {VE_FILE_CANNOT_GET_POS, kFile},
    {VE_FILE_CANNOT_SET_POS, kFile},
    {VE_FILE_CANNOT_READ, kFile},
    {VE_FILE_CANNOT_WRITE, kFile},
    {VE_FILE_CANNOT_FLUSH, kFile},
    {VE_FILE_CANNOT_GET_SIZE, kFile},
    {VE_FILE_CANNOT_SET_SIZE, kFile},
    {VE_JSON_MALFORMED, {"source", "line", "position"}},
    {VE_JSON_INVALID_TOKEN, {"found", "expected"}},
    {VE_JSON_UNTERMINATED_STRING, {"token"}},
    {VE_JSON_EXTRA_COMMA, {"token"}},
    {VE_JSON_TOKEN_AT_END, {"found", "expected"}},
    {VE_FILE_NOT_FOUND, kNone},
    {VE_FILE_CANNOT_RENAME, {"name", "path", "newname"}},
    {VE_FILE_CANNOT_OPEN, kFile},
    {VE_FILE_CANNOT_DELETE, kFile},
    {VE_FILE_CANNOT_COPY, kFileTo},
    {VE_FILE_CANNOT_MOVE, kFileTo},
    {VE_FILE_CANNOT_CREATE, {"name", "path", "options"}},
    {VE_FILE_CANNOT_GET_ATTRIBUTES, kFile},
    {VE_FILE_CANNOT_SET_ATTRIBUTES, kFile},
    {VE_FILE_CANNOT_CREATE_ALIAS, kFile},
    {VE_FILE_CANNOT_RESOLVE_ALIAS, kFile},
    {VE_FILE_CANNOT_REVEAL, kFile},
    // A file of another kind than XLIFF or .strings among the bundle's texts.
    {MakeKovaError(613), kNone},
    {VE_FILE_BAD_NAME, kNone},
    // Both an alias to a folder where a file was expected and a link file that cannot be restored.
    {VE_FILE_ALIAS_TARGET_IS_FOLDER, kFile},
    {VE_FOLDER_ALIAS_TARGET_IS_FILE, kFile},
    {VE_FOLDER_NOT_FOUND, kNone},
    {VE_FOLDER_NOT_EMPTY, kFile},
    {VE_FOLDER_CANNOT_CREATE, kFile},
    {VE_FOLDER_CANNOT_DELETE, kFile},
    {VE_FOLDER_CANNOT_GET_ATTRIBUTES, kFile},
    {VE_FOLDER_CANNOT_SET_ATTRIBUTES, kFile},
    {VE_FOLDER_CANNOT_REVEAL, kFile},
    // A move names no new name, a rename does.
    {VE_FOLDER_CANNOT_RENAME, kFile},
    {VE_DISK_FULL, kFile},
    {VE_FOLDER_CANNOT_COPY, {"name", "path", "destination"}},
    {VE_FOLDER_CANNOT_MOVE_TO_TRASH, kFile},
    {VE_XML_ParseError, kXML},
    {VE_XML_ParseFatalError, kXML},
};

std::string Utf8(const VString& inText)
{
    StStringConverter<char> converted(inText, VTC_UTF_8, eCRM_NONE);
    return std::string(converted.GetCPointer(), converted.GetSize());
}

// The localization manager over the bundle's file, registered for the toolbox's codes while it
// lives, as the updater registers it.
class StBundleLocalizer
{
public:
    StBundleLocalizer() : fManager(new VLocalizationManager(0))
    {
        StErrorContextInstaller errors(false, true);
        VRefPtr<VFile> file(new VFile(VString(kBundleTexts.c_str()), FPS_POSIX));
        fLoaded = fManager->LoadFile(file.Get(), true) == VE_OK && errors.GetLastError() == VE_OK;
        for (OsType component : kComponents)
            VErrorBase::RegisterLocalizer(component, fManager.Get());
    }
    ~StBundleLocalizer()
    {
        for (OsType component : kComponents)
            VErrorBase::UnregisterLocalizer(component);
    }
    StBundleLocalizer(const StBundleLocalizer&) = delete;
    StBundleLocalizer& operator=(const StBundleLocalizer&) = delete;

    bool IsLoaded() const { return fLoaded; }
    VLocalizationManager& Get() const { return *fManager; }

private:
    static constexpr OsType kComponents[] = {kCOMPONENT_KOVA, kCOMPONENT_XML};
    VRefPtr<VLocalizationManager> fManager;
    bool fLoaded = false;
};

TEST(UpdaterBundleTexts, EveryToolboxCodeOfAnUpdateHasATextItsParametersFill)
{
    StBundleLocalizer localizer;
    ASSERT_TRUE(localizer.IsLoaded()) << kBundleTexts;
    const std::regex placeholder("\\{([^{} ]+)\\}");
    for (const auto& [code, carried] : kCarried)
    {
        SCOPED_TRACE(::testing::Message() << std::hex << code);
        VString localized;
        if (!localizer.Get().LocalizeErrorMessage(code, localized))
        {
            ADD_FAILURE() << "no text";
            continue;
        }
        const std::string text = Utf8(localized);
        for (std::sregex_iterator match(text.begin(), text.end(), placeholder), end; match != end; ++match)
            EXPECT_EQ(carried.count((*match)[1]), 1u) << text;

        // The message of an error that carries them has every placeholder filled.
        VRefPtr<VErrorBase> error(new VErrorBase(code));
        for (const std::string& name : carried)
            error->GetBag()->SetString(VString(name.c_str()), VString(("<" + name + ">").c_str()));
        VString description;
        error->GetErrorDescription(description);
        const std::string message = Utf8(description);
        EXPECT_EQ(message.find_first_of("{}"), std::string::npos) << message;
        EXPECT_EQ(message.rfind("Error code:", 0), std::string::npos) << message;
    }
}

TEST(UpdaterBundleTexts, EveryToolboxTextOfTheBundleIsForACodeWhoseParametersAreKnown)
{
    const std::string document = ReadFileBytes(kBundleTexts);
    const std::regex resname("resname=\"ERR_(kova|xmlc)_(-?[0-9]+)\"");
    std::set<VError> named;
    for (std::sregex_iterator match(document.begin(), document.end(), resname), end; match != end; ++match)
    {
        const OsType component = (*match)[1] == "kova" ? kCOMPONENT_KOVA : kCOMPONENT_XML;
        const VError code = MakeVError(component, uint32_t(std::stoi((*match)[2])));
        EXPECT_EQ(kCarried.count(code), 1u) << (*match)[0];
        EXPECT_TRUE(named.insert(code).second) << "named twice: " << (*match)[0];
    }
}

} // namespace
} // namespace kova
