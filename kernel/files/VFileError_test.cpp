#include "kernel/files/VFileError.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

std::u16string Parameter(const VErrorBase& inError, const char* inName)
{
    VString value;
    inError.GetBag()->GetString(inName, value);
    return Text(value);
}

TEST(VFileError, NamesItsFileInItsParameters)
{
    const VFilePath path(VString(u"Disk:Users:me:notes.txt"), FPS_SYSTEM);
    VRefPtr<VFileError> error(new VFileError(path, VE_FILE_NOT_FOUND));
    EXPECT_EQ(error->GetError(), VE_FILE_NOT_FOUND);
    EXPECT_EQ(Parameter(*error, "name"), u"notes.txt");
    EXPECT_EQ(Parameter(*error, "path"), u"Disk:Users:me:notes.txt");

    VRefPtr<VFolder> folder(new VFolder(VFilePath(VString(u"Disk:Apps:Tool.app:"), FPS_SYSTEM)));
    VRefPtr<VFileError> folderError(new VFileError(folder.Get(), VE_FOLDER_NOT_FOUND));
    EXPECT_EQ(Parameter(*folderError, "name"), u"Tool.app");
    VRefPtr<VFileError> none(new VFileError(static_cast<const VFolder*>(nullptr), VE_FOLDER_NOT_FOUND));
    EXPECT_EQ(Parameter(*none, "path"), u"");

    // The texts fill "{name}" and "{path}" from these parameters.
    error->GetBag()->SetString("error_description", VString(u"{name} is missing from {path}"));
    VString description;
    error->GetErrorDescription(description);
    EXPECT_EQ(Text(description), u"notes.txt is missing from Disk:Users:me:notes.txt");
}

TEST(VFileError, NativeFailuresBecomeFileErrors)
{
    const VFilePath path(VString(u"Disk:a"), FPS_SYSTEM);
    constexpr VError kOperation = MakeKovaError(601);
    {
        StErrorContextInstaller context(false, true);
        const VError native = MakeVError(kCOMPONENT_POSIX, 99999);
        const VError code = VFileError::ThrowFromNative(path, native, kOperation,
                                                        [](VValueBag& ioBag) { ioBag.SetLong("count", 7); });
        EXPECT_EQ(code, kOperation);
        ASSERT_EQ(context.GetContext()->GetErrorCount(), 2u);
        const VErrorBase* last = context.GetContext()->GetNthError(2);
        ASSERT_NE(dynamic_cast<const VFileError*>(last), nullptr);
        EXPECT_EQ(last->GetError(), kOperation);
        int32_t count = 0;
        EXPECT_TRUE(last->GetBag()->GetLong("count", count));
        EXPECT_EQ(count, 7);
        EXPECT_EQ(context.GetContext()->GetNthError(1)->GetError(), native);
    }
    {
        // Toolbox codes pass back as they are, and success is no error.
        StErrorContextInstaller context(false, true);
        EXPECT_EQ(VFileError::ThrowFromNative(path, VE_DISK_FULL, kOperation), VE_DISK_FULL);
        EXPECT_EQ(VFileError::ThrowFromNative(path, VE_OK, kOperation), VE_OK);
        EXPECT_EQ(context.GetContext()->GetErrorCount(), 0u);
    }
    EXPECT_TRUE(VFileError::IsNativeError(MakeVError(kCOMPONENT_COCOA, 4)));
    EXPECT_FALSE(VFileError::IsNativeError(VE_FILE_NOT_FOUND));
}

} // namespace
} // namespace kova
