// Documents and tools the XML tests share.
#pragma once

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace kova
{

// The opening of a document of root inRoot whose internal subset declares ten levels of
// entities, each ten references to the one below: "&l9;" is 10^9 copies of "lol". The internal
// subset is left open.
inline std::string NestedEntitiesDeclared(const std::string& inRoot)
{
    std::string xml = "<!DOCTYPE " + inRoot + " [<!ENTITY l0 \"lol\">";
    for (int level = 1; level < 10; ++level)
    {
        xml += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            xml += "&l" + std::to_string(level - 1) + ";";
        xml += "\">";
    }
    return xml;
}

// inCount names of inBlocks pairs of letters: made of the pairs "ag" and "bA", which the library's
// hash takes alike from any state, so that all of them share its hash whatever the table; or of
// letters drawn at random.
inline std::vector<std::string> NamesOfOneHash(size_t inCount, int inBlocks, bool inColliding)
{
    std::vector<std::string> names;
    std::mt19937 random(7);
    for (size_t index = 0; index < inCount; ++index)
    {
        std::string name;
        for (int block = 0; block < inBlocks; ++block)
        {
            if (inColliding)
            {
                name += (index >> block) & 1 ? "bA" : "ag";
            }
            else
            {
                name += char('a' + random() % 26);
                name += char('a' + random() % 26);
            }
        }
        names.push_back(name);
    }
    return names;
}

// Counts, below the budget, what the library holds and allocates while it is on: put in place of
// the library's own memory manager, which it calls for each block. It lives as long as the process,
// since what the library makes while it is in place keeps it as its manager.
class CountingMemoryManager : public xercesc::MemoryManager
{
public:
    static CountingMemoryManager& Get()
    {
        static CountingMemoryManager* sManager = new CountingMemoryManager;
        return *sManager;
    }

    xercesc::MemoryManager* getExceptionMemoryManager() override { return fOriginal; }
    void* allocate(XMLSize_t inSize) override
    {
        void* block = fOriginal->allocate(inSize);
        std::lock_guard<std::mutex> lock(fMutex);
        fSizes[block] = inSize;
        fHeld += inSize;
        fPeak = std::max(fPeak, fHeld);
        return block;
    }
    void deallocate(void* inBlock) override
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            if (auto found = fSizes.find(inBlock); found != fSizes.end())
            {
                fHeld -= found->second;
                fSizes.erase(found);
            }
        }
        fOriginal->deallocate(inBlock);
    }

    // The most the body held at once.
    template <class Body>
    size_t PeakOf(Body&& inBody)
    {
        {
            std::lock_guard<std::mutex> lock(fMutex);
            fSizes.clear();
            fHeld = fPeak = 0;
        }
        fOriginal = xercesc::XMLPlatformUtils::fgMemoryManager;
        xercesc::XMLPlatformUtils::fgMemoryManager = this;
        inBody();
        xercesc::XMLPlatformUtils::fgMemoryManager = fOriginal;
        return fPeak;
    }

private:
    xercesc::MemoryManager* fOriginal = nullptr;
    std::mutex fMutex;
    std::unordered_map<void*, size_t> fSizes;
    size_t fHeld = 0;
    size_t fPeak = 0;
};

} // namespace kova
