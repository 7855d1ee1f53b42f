// Names that collide under an unkeyed hash, as a hostile document would carry them: for the tests
// and the benchmark of the JSON property table. No test framework here, so that the benchmark can
// use it too.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kova::testing_json
{

// FNV-1a over the UTF-16 units with no key: what anyone can compute for any name.
inline uint32_t UnkeyedHash(const std::u16string& inName)
{
    uint32_t hash = 2166136261u;
    for (char16_t unit : inName)
        hash = (hash ^ unit) * 16777619u;
    return hash;
}

// 2^inBlocks distinct names of 3 * inBlocks units that all share one unkeyed hash, made as an
// attacker would: at each step two blocks of three units lead from the same state to the same
// state, so that any choice of blocks along the way ends on the same hash. The first two units of
// each block are tried until two pairs meet in the upper 16 bits; the third makes up for the lower
// ones. Every unit is printable and neither quote nor backslash, so the names can be written as
// they are inside quotes.
inline std::vector<std::u16string> NamesSharingTheUnkeyedHash(int inBlocks)
{
    constexpr uint32_t kPrime = 16777619u;
    auto step = [](uint32_t inState, char16_t inUnit) { return (inState ^ inUnit) * kPrime; };
    auto usable = [](uint32_t inUnit)
    { return inUnit > 0x20 && (inUnit < 0xD800 || inUnit >= 0xE000) && inUnit != u'"' && inUnit != u'\\'; };
    std::vector<std::u16string> names{std::u16string()};
    uint32_t state = 2166136261u;
    for (int block = 0; block < inBlocks; ++block)
    {
        std::map<uint32_t, std::u16string> headByUpperBits;
        std::u16string heads[2];
        for (uint32_t tried = 0; heads[1].empty(); ++tried)
        {
            const std::u16string head{char16_t(0x4E00 + tried / 64), char16_t(0x4E00 + tried % 64)};
            auto [known, added] = headByUpperBits.emplace(step(step(state, head[0]), head[1]) >> 16, head);
            if (!added)
                heads[0] = known->second, heads[1] = head;
        }
        const uint32_t reached[2] = {step(step(state, heads[0][0]), heads[0][1]),
                                     step(step(state, heads[1][0]), heads[1][1])};
        const uint32_t difference = reached[0] ^ reached[1];
        uint32_t last = 0x4E00;
        while (!usable(last ^ difference))
            ++last;
        const std::u16string blocks[2] = {heads[0] + char16_t(last), heads[1] + char16_t(last ^ difference)};
        std::vector<std::u16string> longer;
        for (const std::u16string& name : names)
        {
            longer.push_back(name + blocks[0]);
            longer.push_back(name + blocks[1]);
        }
        names.swap(longer);
        state = step(reached[0], char16_t(last));
    }
    return names;
}

// An object of the names, in their order, the i-th holding the digit i % 10: {"name":0,...}.
inline std::u16string ObjectOfNames(const std::vector<std::u16string>& inNames)
{
    std::u16string text = u"{";
    for (size_t i = 0; i < inNames.size(); ++i)
        text += (i > 0 ? u",\"" : u"\"") + inNames[i] + u"\":" + std::u16string(1, char16_t(u'0' + i % 10));
    return text + u"}";
}

} // namespace kova::testing_json
