#include "kernel/values/VObject.h"

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

// The base object describes nothing: its dump and its class name replace the caller's text with
// an empty, not-null string.
TEST(VObject, TheBaseDumpsNothingAndHasNoClassName)
{
    const VObject object;
    VString dump(u"left over");
    dump.SetNull(true);
    object.DebugDump(dump);
    EXPECT_TRUE(dump.IsEmpty());
    EXPECT_FALSE(dump.IsNull());

    char buffer[16] = "untouched";
    int size = sizeof(buffer);
    EXPECT_EQ(object.DebugDump(buffer, size), VTC_UTF_8);
    EXPECT_EQ(size, 0);

    VString name(u"left over");
    object.DebugGetClassName(name);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_FALSE(name.IsNull());
}

} // namespace
} // namespace kova
