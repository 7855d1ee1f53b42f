#include "kernel/errors/VErrorBase.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/ILocalizer.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VErrorImported.h"
#include "kernel/errors/VErrorUserGenerated.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

std::u16string Utf16(const std::string& inAscii)
{
    return std::u16string(inAscii.begin(), inAscii.end());
}

constexpr VError Carbon(int32_t inStatus)
{
    return MakeVError(kCOMPONENT_CARBON, uint32_t(inStatus));
}

constexpr VError Posix(int32_t inNumber)
{
    return MakeVError(kCOMPONENT_POSIX, uint32_t(inNumber));
}

// ---------------------------------------------------------------------------------------------
// Native codes

struct NativeCase
{
    VError fNative;
    VError fExpected;
};

class NativeErrors : public testing::TestWithParam<NativeCase>
{
};

constexpr VError kFallback = MakeKovaError(9999);

TEST_P(NativeErrors, MapToToolboxCodesOrTheFallback)
{
    EXPECT_EQ(VErrorBase::EncodedNativeErrorToVError(GetParam().fNative, kFallback), GetParam().fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NativeErrors,
    testing::Values(NativeCase{Posix(ENOENT), VE_FILE_NOT_FOUND}, NativeCase{Posix(EACCES), VE_ACCESS_DENIED},
                    NativeCase{Posix(22), kFallback}, NativeCase{Posix(0), kFallback},
                    NativeCase{Carbon(-45), VE_ACCESS_DENIED}, NativeCase{Carbon(-46), VE_ACCESS_DENIED},
                    NativeCase{Carbon(-54), VE_ACCESS_DENIED}, NativeCase{Carbon(-108), VE_MEMORY_FULL},
                    NativeCase{Carbon(-39), VE_STREAM_EOF}, NativeCase{Carbon(-34), VE_DISK_FULL},
                    NativeCase{Carbon(-120), VE_FOLDER_NOT_FOUND},
                    NativeCase{Carbon(-192), VE_RESOURCE_NOT_FOUND},
                    NativeCase{Carbon(-37), VE_FILE_BAD_NAME}, NativeCase{Carbon(-128), VE_USER_ABORT},
                    NativeCase{Carbon(-50), kFallback}, NativeCase{MakeVError(kCOMPONENT_MACH, 5), kFallback},
                    NativeCase{MakeVError(kCOMPONENT_COCOA, 4), kFallback},
                    NativeCase{MakeVError(kCOMPONENT_MACH, 0), MakeVError(kCOMPONENT_MACH, 0)},
                    NativeCase{VE_UNKNOWN_ERROR, kFallback}, NativeCase{VE_FILE_NOT_FOUND, VE_FILE_NOT_FOUND},
                    NativeCase{VE_OK, VE_OK},
                    NativeCase{MakeVError(FourCharCode("UPQL"), 7), MakeVError(FourCharCode("UPQL"), 7)}));

TEST(VErrorBase, CarbonStatusesMapThroughTheTable)
{
    EXPECT_EQ(VErrorBase::MAC_MapCarbonErrorToVError(-43), VE_FILE_NOT_FOUND);
    EXPECT_EQ(VErrorBase::MAC_MapCarbonErrorToVError(-50), Carbon(-50));
    EXPECT_EQ(VErrorBase::MAC_MapCarbonErrorToVError(0), VE_OK);
}

// ---------------------------------------------------------------------------------------------
// Texts

// Gives texts for the codes it holds, under a signature registered for the test's length only.
class TableLocalizer : public ILocalizer
{
public:
    bool LocalizeErrorMessage(VError inError, VString& outMessage) override
    {
        auto found = fTexts.find(inError);
        if (found == fTexts.end())
            return false;
        outMessage.FromUniString(found->second.c_str(), int32_t(found->second.size()));
        return true;
    }
    bool LocalizeStringWithKey(const VString&, VString&) override { return false; }

    std::map<VError, std::u16string> fTexts;
};

constexpr OsType kTestSignature = FourCharCode("TEST");

class VErrorTexts : public testing::Test
{
protected:
    VErrorTexts() { VErrorBase::RegisterLocalizer(kTestSignature, &fLocalizer); }
    ~VErrorTexts() override { VErrorBase::UnregisterLocalizer(kTestSignature); }

    static std::u16string Description(const VErrorBase& inError)
    {
        VString text;
        inError.GetErrorDescription(text);
        return Text(text);
    }

    TableLocalizer fLocalizer;
};

TEST_F(VErrorTexts, ErrorStringPrintsTheSignatureMostSignificantByteFirst)
{
    struct
    {
        VError fError;
        const char16_t* fExpected;
    } cases[] = {
        {MakeKovaError(600), u"Error code: 600 (kova)"},
        {Carbon(-43), u"Error code: -43 (CARB)"},
        {VE_OK, u"Error code: 0 ()"},
        // A zero byte ends the signature, as a C string would.
        {MakeVError(0x61620064, 1), u"Error code: 1 (ab)"},
    };
    for (const auto& item : cases)
    {
        VString text;
        VErrorBase(item.fError).GetErrorString(text);
        EXPECT_EQ(Text(text), item.fExpected);
    }
}

TEST_F(VErrorTexts, LocationNamesTheComponent)
{
    VString text;
    VErrorBase(MakeKovaError(600)).GetLocation(text);
    EXPECT_EQ(Text(text), u"pelmarin");
    VErrorBase(Posix(2)).GetLocation(text);
    EXPECT_EQ(Text(text), u"component: 'POSX'");
}

TEST_F(VErrorTexts, DescriptionFallsBackToTheErrorString)
{
    VErrorBase error(MakeKovaError(600));
    EXPECT_EQ(Description(error), u"Error code: 600 (kova)");
}

TEST_F(VErrorTexts, DescriptionOfAPosixCodeIsTheSystemText)
{
    EXPECT_EQ(Description(VErrorBase(Posix(ENOENT))), u"No such file or directory");
}

TEST_F(VErrorTexts, LocalizedTextsAreFilledFromTheParameters)
{
    const VError code = MakeVError(kTestSignature, 3);
    fLocalizer.fTexts[code] = u"Cannot open {path}{missing}.";
    VErrorBase error(code);
    error.GetBag()->SetString("path", VString(u"/tmp/a b"));
    EXPECT_EQ(Description(error), u"Cannot open /tmp/a b.");

    VString text;
    EXPECT_TRUE(error.CallLocalizer(&fLocalizer, code, text));
    EXPECT_EQ(Text(text), u"Cannot open /tmp/a b.");
    EXPECT_FALSE(error.CallLocalizer(&fLocalizer, MakeVError(kTestSignature, 4), text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(error.CallLocalizer(nullptr, code, text));
    EXPECT_TRUE(error.CallLocalizer(nullptr, VE_OK, text));
}

TEST_F(VErrorTexts, WithoutALocalizedTextTheDescriptionParameterServes)
{
    VErrorBase error(MakeVError(kTestSignature, 5));
    error.GetBag()->SetString(ErrorBagKeys::error_description, VString(u"Lost {what}"));
    error.GetBag()->SetString("what", VString(u"the key"));
    EXPECT_EQ(Description(error), u"Lost the key");

    // An empty localized text falls back too.
    fLocalizer.fTexts[error.GetError()] = u"";
    EXPECT_EQ(Description(error), u"Lost the key");

    VErrorBase bare(MakeVError(kTestSignature, 6));
    EXPECT_EQ(Description(bare), u"Error code: 6 (TEST)");
}

TEST_F(VErrorTexts, ActionDescriptionIsFilledFromTheParameters)
{
    VErrorBase error(MakeKovaError(600));
    VString text;
    error.GetActionDescription(text);
    EXPECT_TRUE(text.IsEmpty());
    error.GetBag()->SetString(ErrorBagKeys::action_description, VString(u"Check {path}"));
    error.GetBag()->SetString("path", VString(u"/x"));
    error.GetActionDescription(text);
    EXPECT_EQ(Text(text), u"Check /x");
}

TEST_F(VErrorTexts, DumpListsEachTextThatIsNotEmpty)
{
    VErrorBase error(MakeKovaError(600));
    error.GetBag()->SetString(ErrorBagKeys::action_description, VString(u"Retry"));
    VString dump;
    error.DumpToString(dump);
    const std::string task = "task " + std::to_string(VTaskMgr::GetCurrentTaskID()) + "\n";
    EXPECT_EQ(Text(dump), Utf16("Error code: 600 (kova)\nError code: 600 (kova)\npelmarin\nRetry\n" + task));
}

TEST_F(VErrorTexts, UserGeneratedAndImportedErrorsTellTheirOwnText)
{
    VErrorUserGenerated user(MakeKovaError(7), VString(u"Stopped by you"));
    VString text;
    user.GetErrorDescription(text);
    EXPECT_EQ(Text(text), u"Stopped by you");
    user.DumpToString(text);
    EXPECT_EQ(Text(text), u"Stopped by you");
    user.GetLocation(text);
    EXPECT_EQ(Text(text), u"pelmarin");

    VErrorImported imported(MakeKovaError(8), VString(u"Remote failure"));
    imported.GetErrorDescription(text);
    EXPECT_EQ(Text(text), u"Remote failure");
    imported.DumpToString(text);
    EXPECT_EQ(Text(text), u"Remote failure");
    imported.GetLocation(text);
    EXPECT_EQ(Text(text), u"REST Imported Error");
}

// ---------------------------------------------------------------------------------------------
// Debug dumps

// Reaches the line written without a process object.
class DumpLineError : public VErrorBase
{
public:
    using VErrorBase::_DebugDumpLine;
    using VErrorBase::VErrorBase;
};

TEST(VErrorDebugDump, WritesTheDumpAsUtf16CutToTheBuffer)
{
    VErrorBase error(MakeKovaError(600));
    char buffer[64];
    std::memset(buffer, 0x7F, sizeof(buffer));
    int size = 21; // room for 10 characters
    EXPECT_EQ(error.DebugDump(buffer, size), VTC_UTF_16);
    ASSERT_EQ(size, 20);
    std::u16string written(10, u'\0');
    std::memcpy(written.data(), buffer, 20);
    EXPECT_EQ(written, u"Error code");
    EXPECT_EQ(buffer[20], 0x7F);

    VString whole;
    error.DebugDump(whole);
    EXPECT_EQ(Text(whole).substr(0, 23), u"Error code: 600 (kova)\n");
}

TEST(VErrorDebugDump, TheEightBitLineStaysInsideTheCallersBuffer)
{
    DumpLineError error(Carbon(-43));
    char buffer[32];
    std::memset(buffer, 0x7F, sizeof(buffer));
    int size = 16;
    error._DebugDumpLine(buffer, size);
    EXPECT_EQ(size, 15);
    EXPECT_EQ(std::string(buffer, 15), "Error code: -43");
    EXPECT_EQ(buffer[16], 0x7F);

    char whole[128];
    size = sizeof(whole);
    error._DebugDumpLine(whole, size);
    const std::string expected =
        "Error code: -43, component: 'CARB', task ID: " + std::to_string(VTaskMgr::GetCurrentTaskID());
    EXPECT_EQ(std::string(whole, size_t(size)), expected);

    size = 0;
    error._DebugDumpLine(buffer, size);
    EXPECT_EQ(size, 0);
}

// ---------------------------------------------------------------------------------------------
// Bag form and copies

TEST(VErrorBag, SaveAndLoadRestoreCodeTaskAndParameters)
{
    VErrorBase error(Carbon(-43));
    error.GetBag()->SetString("path", VString(u"/a"));
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(error.SaveToBag(*bag), VE_OK);

    int64_t code = 0;
    EXPECT_TRUE(bag->GetLong8(ErrorBagKeys::error_code, code));
    EXPECT_EQ(VError(code), Carbon(-43));
    ASSERT_NE(bag->GetElements(ErrorBagKeys::parameters), nullptr);
    EXPECT_EQ(bag->GetElements(ErrorBagKeys::parameters)->GetCount(), 1);

    VErrorBase loaded;
    EXPECT_EQ(loaded.LoadFromBag(*bag), VE_OK);
    EXPECT_EQ(loaded.GetError(), Carbon(-43));
    EXPECT_EQ(loaded.GetTaskID(), error.GetTaskID());
    VString path;
    EXPECT_TRUE(loaded.GetBag()->GetString("path", path));
    EXPECT_EQ(Text(path), u"/a");
    // The loaded parameters are a copy of their own.
    EXPECT_NE(loaded.GetBag(), error.GetBag());

    // Saving again replaces what the bag held.
    VErrorBase other(MakeKovaError(5));
    other.SaveToBag(*bag);
    EXPECT_EQ(bag->GetElements(ErrorBagKeys::parameters)->GetCount(), 1);
    EXPECT_TRUE(bag->GetLong8(ErrorBagKeys::error_code, code));
    EXPECT_EQ(VError(code), MakeKovaError(5));
}

TEST(VErrorBag, AbsentAttributesLeaveCodeAndTaskButClearTheName)
{
    VErrorBase error(MakeKovaError(5));
    int32_t taskID = error.GetTaskID();
    VRefPtr<VValueBag> bag(new VValueBag);
    bag->SetString(ErrorBagKeys::task_name, VString(u"worker"));
    error.LoadFromBag(*bag);
    VString name;
    error.GetTaskName(name);
    EXPECT_EQ(Text(name), u"worker");

    VRefPtr<VValueBag> empty(new VValueBag);
    error.LoadFromBag(*empty);
    EXPECT_EQ(error.GetError(), MakeKovaError(5));
    int32_t id = 0;
    error.GetTaskName(name, &id);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_EQ(id, taskID);
}

TEST(VErrorBag, CopiesCloneTheParameters)
{
    VErrorBase error(MakeKovaError(5));
    error.GetBag()->SetString("p1", VString(u"first"));
    VErrorBase copy(error);
    copy.GetBag()->SetString("p1", VString(u"changed"));
    VString text;
    error.GetBag()->GetString("p1", text);
    EXPECT_EQ(Text(text), u"first");
    EXPECT_EQ(copy.GetError(), error.GetError());
    EXPECT_EQ(copy.GetTaskID(), error.GetTaskID());
}

// ---------------------------------------------------------------------------------------------
// Raising

TEST(VErrorRaising, ThrowErrorStoresTheGivenTexts)
{
    StErrorContextInstaller errors(false);
    VString first(u"one");
    VString third(u"three");
    _ThrowError(MakeKovaError(3), &first, nullptr, &third);
    ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
    VErrorBase* error = errors.GetContext()->GetLast();
    EXPECT_EQ(error->GetError(), MakeKovaError(3));
    EXPECT_EQ(error->GetTaskID(), VTaskMgr::GetCurrentTaskID());
    VString text;
    EXPECT_TRUE(error->GetBag()->GetString(ErrorBagKeys::p1, text));
    EXPECT_EQ(Text(text), u"one");
    EXPECT_FALSE(error->GetBag()->AttributeExists(ErrorBagKeys::p2));
    EXPECT_TRUE(error->GetBag()->GetString(ErrorBagKeys::p3, text));
    EXPECT_EQ(Text(text), u"three");
    // The context holds the only reference.
    EXPECT_EQ(error->GetRefCount(), 1u);
}

TEST(VErrorRaising, PushRetainedErrorPutsTheNativeCodeBelowTheError)
{
    StErrorContextInstaller errors(false);
    auto* error = new VErrorBase(VE_FILE_NOT_FOUND);
    _PushRetainedError(error, Posix(2));
    VErrorContext* context = errors.GetContext();
    ASSERT_EQ(context->GetErrorCount(), 2u);
    EXPECT_EQ(context->GetFirst()->GetError(), Posix(2));
    EXPECT_EQ(context->GetLast(), error);
    // Neither the wrapper nor the given error keeps a reference beyond the context's.
    EXPECT_EQ(context->GetFirst()->GetRefCount(), 1u);
    EXPECT_EQ(error->GetRefCount(), 1u);
}

TEST(VErrorRaising, PushRetainedErrorWithoutNativeCodeOrWithAFilteredCodePushesTheErrorAlone)
{
    {
        StErrorContextInstaller errors(false);
        _PushRetainedError(new VErrorBase(VE_FILE_NOT_FOUND), VE_OK);
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 1u);
    }
    {
        StErrorContextInstaller outer(false);
        StErrorContextInstaller filtered(VE_FILE_NOT_FOUND, 0);
        _PushRetainedError(new VErrorBase(VE_FILE_NOT_FOUND), Posix(2));
        EXPECT_EQ(filtered.GetContext()->GetErrorCount(), 1u);
        EXPECT_EQ(filtered.GetLastError(), VE_FILE_NOT_FOUND);
    }
}

TEST(VErrorRaising, PushRetainedErrorCopesWithANullError)
{
    StErrorContextInstaller errors(false);
    _PushRetainedError(nullptr, VE_OK);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
    // The native failure is still recorded.
    _PushRetainedError(nullptr, Posix(2));
    ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
    EXPECT_EQ(errors.GetLastError(), Posix(2));
    EXPECT_EQ(errors.GetContext()->GetLast()->GetRefCount(), 1u);
}

TEST(VErrorRaising, UserGeneratedErrorsReturnTheirCode)
{
    StErrorContextInstaller errors(false);
    EXPECT_EQ(vThrowUserGeneratedError(MakeKovaError(42), VString(u"Told so")), MakeKovaError(42));
    ASSERT_EQ(errors.GetLastError(), MakeKovaError(42));
    VString text;
    errors.GetContext()->GetLast()->GetErrorDescription(text);
    EXPECT_EQ(Text(text), u"Told so");
}

TEST(VErrorRaising, LocalizersAreFoundBySignature)
{
    TableLocalizer first;
    TableLocalizer second;
    VErrorBase::RegisterLocalizer(kTestSignature, &first);
    EXPECT_EQ(VErrorBase::GetLocalizer(kTestSignature), &first);
    VErrorBase::RegisterLocalizer(kTestSignature, &second);
    EXPECT_EQ(VErrorBase::GetLocalizer(kTestSignature), &second);
    VErrorBase::UnregisterLocalizer(kTestSignature);
    EXPECT_EQ(VErrorBase::GetLocalizer(kTestSignature), nullptr);
    VErrorBase::UnregisterLocalizer(kTestSignature);
    EXPECT_TRUE(VErrorBase::Init());
}

} // namespace
} // namespace kova
