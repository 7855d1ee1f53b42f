#include "kernel/errors/ILocalizer.h"

#include "kernel/tasks/VProcess.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace kova;

namespace
{

// Knows the keys of its table; reports a miss without touching the text.
class KeyLocalizer : public ILocalizer
{
public:
    bool LocalizeErrorMessage(VError, VString&) override { return false; }
    bool LocalizeStringWithKey(const VString& inKey, VString& outText) override
    {
        auto found = fTexts.find(to_string(inKey));
        if (found == fTexts.end())
            return false;
        outText.FromCString(found->second.c_str());
        return true;
    }

    std::map<std::string, std::string> fTexts;
};

} // namespace

TEST(LocalizeString, AsksTheProcessLocalizerAndFallsBackOnTheDefault)
{
    VProcess* process = VProcess::sInstance;
    ASSERT_NE(process, nullptr);
    KeyLocalizer localizer;
    localizer.fTexts["greeting"] = "Bonjour \xC3\xA0 tous";

    // Without a localizer: the default, read as UTF-8; a null default gives the empty text.
    EXPECT_EQ(to_string(LocalizeString(VString("greeting"), "Hello \xC3\xA9t\xC3\xA9")),
              "Hello \xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(LocalizeString(VString("greeting"), nullptr).IsEmpty());

    process->SetLocalizer(&localizer);
    EXPECT_EQ(to_string(LocalizeString(VString("greeting"), "Hello")), "Bonjour \xC3\xA0 tous");
    EXPECT_EQ(to_string(LocalizeString(VString("missing"), "Fallback")), "Fallback");
    EXPECT_TRUE(LocalizeString(VString("missing"), nullptr).IsEmpty());
    process->SetLocalizer(nullptr);
}
