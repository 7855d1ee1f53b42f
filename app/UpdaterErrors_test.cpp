#include "app/UpdaterErrors.h"

#include "app/VUpdateEngine.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <functional>

namespace kova
{
namespace
{

TEST(UpdaterErrors, EachRaisesItsCodeWithItsNamedParameters)
{
    const VFilePath source(VString("/tmp/from/a.txt"), FPS_POSIX);
    const VFilePath destination(VString("/tmp/to/b.txt"), FPS_POSIX);
    const struct
    {
        std::function<VError(VError)> fThrow;
        std::vector<std::pair<const char*, VString>> fParameters;
    } cases[] = {
        {[&](VError inError) { return ThrowErrorWithPath(inError, source); }, {{"path", source.GetPath()}}},
        {[&](VError inError) { return ThrowErrorWithPaths(inError, source, destination); },
         {{"srcPath", source.GetPath()}, {"dstPath", destination.GetPath()}}},
        {[&](VError inError) { return ThrowServiceError(inError, VString("com.example.service")); },
         {{"ServiceName", VString("com.example.service")}}},
    };
    for (const auto& test : cases)
    {
        StErrorContextInstaller errors(false);
        EXPECT_EQ(test.fThrow(VE_OK), VE_OK);
        EXPECT_TRUE(errors.GetContext()->IsEmpty());
        EXPECT_EQ(test.fThrow(VE_UPDATER_COPY_FILE_FAILED), VE_UPDATER_COPY_FILE_FAILED);
        ASSERT_EQ(errors.GetContext()->GetErrorCount(), 1u);
        const VValueBag* bag = errors.GetContext()->GetLast()->GetBag();
        for (const auto& [name, expected] : test.fParameters)
        {
            VString value;
            EXPECT_TRUE(bag->GetString(name, value)) << name;
            EXPECT_TRUE(value.EqualToString(expected, true)) << name;
        }
    }
}

} // namespace
} // namespace kova
