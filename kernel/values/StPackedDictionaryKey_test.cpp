#include "kernel/values/StPackedDictionaryKey.h"

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova
{
namespace
{

struct HashCase
{
    const char* fName;
    uint32_t fHash;
};

// The hash is stored in bags' stream form: these values must never change.
TEST(StPackedDictionaryKeyTest, HashesOfStoredNames)
{
    const HashCase cases[] = {
        {"", 0},
        {"a", 354},
        {"abc", 57355817},
        {"<>", 147580},
        {"uuid", 2263794619u},
        {"____objectunic", 1660844464},
        {"____FakeArrayElement", 1025712970},
    };
    for (const HashCase& c : cases)
    {
        EXPECT_EQ(StPackedDictionaryKey::GetHashCode(c.fName, std::strlen(c.fName)), c.fHash) << c.fName;
        // Every way of making the key gives the same hash.
        EXPECT_EQ(StPackedDictionaryKey(c.fName).GetHash(), c.fHash) << c.fName;
        EXPECT_EQ(StPackedDictionaryKey(VString(c.fName)).GetHash(), c.fHash) << c.fName;
        EXPECT_EQ(StPackedDictionaryKey(c.fName, std::strlen(c.fName)).GetHash(), c.fHash) << c.fName;
    }
}

TEST(StPackedDictionaryKeyTest, HashReadsSixteenBytesWholeAndOnlyEndsOfLongerNames)
{
    // 16 bytes: every byte counts.
    std::string sixteen(16, 'x');
    std::string sixteenOther = sixteen;
    sixteenOther[8] = 'y';
    EXPECT_NE(StPackedDictionaryKey::GetHashCode(sixteen.data(), 16),
              StPackedDictionaryKey::GetHashCode(sixteenOther.data(), 16));
    // 17 bytes: the ninth byte is skipped, the first and last eight count.
    std::string seventeen(17, 'x');
    std::string ninth = seventeen;
    ninth[8] = 'y';
    std::string last = seventeen;
    last[16] = 'y';
    EXPECT_EQ(StPackedDictionaryKey::GetHashCode(seventeen.data(), 17),
              StPackedDictionaryKey::GetHashCode(ninth.data(), 17));
    EXPECT_NE(StPackedDictionaryKey::GetHashCode(seventeen.data(), 17),
              StPackedDictionaryKey::GetHashCode(last.data(), 17));
}

TEST(StPackedDictionaryKeyTest, ConvertsWideAndUTF16TextToUTF8)
{
    StPackedDictionaryKey wide(L"caf\u00e9");
    ASSERT_TRUE(wide.IsValid());
    EXPECT_EQ(wide.GetKeyLength(), 5u);
    EXPECT_EQ(std::memcmp(wide.GetKey(), "caf\xc3\xa9", 5), 0);
    StPackedDictionaryKey utf16(VString(L"caf\u00e9"));
    EXPECT_TRUE(utf16 == wide);
    EXPECT_EQ(utf16.GetHash(), wide.GetHash());
    VString back;
    wide.GetString(back);
    EXPECT_EQ(back.GetLength(), 4);
    EXPECT_EQ(back.GetUniChar(4), UniChar(0xE9));
}

// A name's length is stored in one byte: longer names must be refused, never cut or merged
// with the empty name.
TEST(StPackedDictionaryKeyTest, EveryConstructorRefusesNamesLongerThan255Bytes)
{
    std::string fits(255, 'n');
    std::string tooLong(256, 'n');
    std::wstring wideTooLong(256, L'n');
    // 128 two-byte characters: 128 units but 256 bytes.
    std::wstring wideBytesTooLong(128, L'\u00e9');

    EXPECT_TRUE(StPackedDictionaryKey(fits.c_str()).IsValid());
    EXPECT_TRUE(StPackedDictionaryKey(VString(fits.c_str())).IsValid());
    EXPECT_EQ(StPackedDictionaryKey(VString(fits.c_str())).GetKeyLength(), 255u);

    const StPackedDictionaryKey refused[] = {
        StPackedDictionaryKey(tooLong.c_str()),
        StPackedDictionaryKey(tooLong.data(), tooLong.size()),
        StPackedDictionaryKey::Borrowed(tooLong.data(), tooLong.size()),
        StPackedDictionaryKey(VString(tooLong.c_str())),
        StPackedDictionaryKey(wideTooLong.c_str()),
        StPackedDictionaryKey(wideBytesTooLong.c_str()),
    };
    StPackedDictionaryKey empty;
    for (const StPackedDictionaryKey& key : refused)
    {
        EXPECT_FALSE(key.IsValid());
        EXPECT_EQ(key.GetKeyLength(), 0u);
        EXPECT_EQ(key.GetHash(), 0u);
        // Not the empty name: it finds nothing, the empty name included.
        EXPECT_FALSE(key == empty);
        EXPECT_FALSE(empty == key);
    }
    EXPECT_TRUE(empty.IsValid());
}

TEST(StPackedDictionaryKeyTest, CopiesBorrowWhatTheSourceBorrowsAndOwnWhatItOwns)
{
    char text[] = "name";
    StPackedDictionaryKey borrowed(text);
    StPackedDictionaryKey borrowedCopy(borrowed);
    EXPECT_FALSE(borrowedCopy.OwnsText());
    EXPECT_EQ(borrowedCopy.GetKey(), text);

    StPackedDictionaryKey owned(text, 4);
    ASSERT_TRUE(owned.OwnsText());
    StPackedDictionaryKey ownedCopy(owned);
    EXPECT_TRUE(ownedCopy.OwnsText());
    EXPECT_NE(ownedCopy.GetKey(), owned.GetKey());
    text[0] = 'N';
    EXPECT_TRUE(ownedCopy.Equals("name", 4));
    EXPECT_EQ(ownedCopy.GetHash(), owned.GetHash());
    // The owned copy is terminated even though the caller's bytes were not cut there.
    EXPECT_EQ(StPackedDictionaryKey("abcdef", 3).GetKey()[3], 0);
}

} // namespace
} // namespace kova
