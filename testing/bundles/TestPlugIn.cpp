// A component library for the tests, built as a shared object and laid out as a plug-in bundle
// (TestPlugIn.bundle/Contents/MacOS/TestPlugIn). It makes two component types: 'tpla', version 3
// with no requirement, and 'tplb', version 1, which needs 'tpla' at version 2 or later. Its symbols
// from the toolbox (the memory manager) come from the program that loads it.
#include "kernel/tasks/CComponent.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstring>

namespace
{

constexpr uint32_t kTypeA = 0x74706C61; // 'tpla'
constexpr uint32_t kTypeB = 0x74706C62; // 'tplb'

std::atomic<int> sRegisterCalls{0};
std::atomic<int> sUnregisterCalls{0};
std::atomic<int> sLiveComponents{0};

class Component final : public kova::CComponent
{
public:
    Component(uint32_t inType, uint32_t inFamily) : fType(inType), fFamily(inFamily) { ++sLiveComponents; }

    uint32_t Retain(const char*) const override { return ++fCount; }
    uint32_t Release(const char*) const override
    {
        uint32_t count = --fCount;
        if (count == 0)
            delete this;
        return count;
    }
    uint32_t GetRefCount() const override { return fCount; }
    uint32_t* GetComponentInfo() const override
    {
        const uint32_t requirements = fType == kTypeB ? 1 : 0;
        const uint32_t size = (kova::kComponentInfoFixedFields + 2 * requirements) * 4;
        auto* block = static_cast<uint32_t*>(kova::VObject::sCppMemMgr->Malloc(size, false, 0x696E666F));
        if (block == nullptr)
            return nullptr;
        std::memset(block, 0, size);
        block[0] = kova::kComponentInfoFormat;
        block[1] = size < 52 ? 52 : size;
        block[5] = fType == kTypeA ? 3 : 1;
        block[10] = requirements;
        if (requirements != 0)
        {
            block[11] = kTypeA;
            block[12] = 2;
        }
        return block;
    }
    uint32_t GetComponentType() const override { return fType; }
    uint32_t GetComponentFamily() const override { return fFamily; }

private:
    ~Component() override { --sLiveComponents; }

    uint32_t fType;
    uint32_t fFamily;
    mutable std::atomic<uint32_t> fCount{1};
};

} // namespace

extern "C"
{

    __attribute__((visibility("default"))) void Main(uint32_t inMessage, kova::VLibrary*)
    {
        if (inMessage == 0x72656773) // 'regs'
            ++sRegisterCalls;
        else if (inMessage == 0x6C656176) // 'leav'
            ++sUnregisterCalls;
    }

    __attribute__((visibility("default"))) bool GetNthComponentType(int32_t inIndex, uint32_t* outType)
    {
        if (inIndex < 1 || inIndex > 2)
            return false;
        *outType = inIndex == 1 ? kTypeA : kTypeB;
        return true;
    }

    __attribute__((visibility("default"))) kova::CComponent* CreateComponent(uint32_t inType,
                                                                             uint32_t inFamily)
    {
        if (inType != kTypeA && inType != kTypeB)
            return nullptr;
        return new Component(inType, inFamily);
    }

    // For the tests: how often "Main" was told each message, and the components alive.
    __attribute__((visibility("default"))) int TestPlugInRegisterCalls()
    {
        return sRegisterCalls;
    }

    __attribute__((visibility("default"))) int TestPlugInUnregisterCalls()
    {
        return sUnregisterCalls;
    }

    __attribute__((visibility("default"))) int TestPlugInLiveComponents()
    {
        return sLiveComponents;
    }

} // extern "C"
