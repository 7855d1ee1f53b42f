// CComponent is the interface of a component: an object of a 32-bit component type and family,
// made on demand by a creator function or by a component library, and shared by reference
// counting. It tells its type and family, and describes itself in an information block.
//
// The information block is an array of 32-bit fields in a block from the memory manager
// (VObject::sCppMemMgr), which the caller frees. Field 0 is the block's format, at least
// kComponentInfoFormat; field 1 the block's size in bytes; field 5 the component's version; field
// 10 the number of requirements, followed from field 11 by one pair per requirement: the required
// component type and its minimum version (kAnyComponentVersion for any).
//
// A component library exports, with C names, "Main" (told 'regs' with the library when it is
// registered, 'leav' with null when it is unregistered), "GetNthComponentType" (the n-th type it
// makes, from 1; false after the last) and "CreateComponent" (a new component of a type and
// family, or null).
#pragma once

#include <cstdint>

namespace kova
{

class VLibrary;

constexpr uint32_t kComponentInfoFormat = 0x10000;
constexpr uint32_t kAnyComponentVersion = 0xFFFFFFFF;
// Fields before the requirements.
constexpr uint32_t kComponentInfoFixedFields = 11;

class CComponent
{
public:
    // Both return the new count; the last release destroys the component.
    virtual uint32_t Retain(const char* inTag = nullptr) const = 0;
    virtual uint32_t Release(const char* inTag = nullptr) const = 0;
    virtual uint32_t GetRefCount() const = 0;
    // A new information block for the caller to free; null when the component has none.
    virtual uint32_t* GetComponentInfo() const = 0;
    virtual uint32_t GetComponentType() const = 0;
    virtual uint32_t GetComponentFamily() const = 0;

protected:
    // Destroyed through Release only.
    virtual ~CComponent() = default;
};

using ComponentCreator = CComponent* (*)(uint32_t inType, uint32_t inFamily);
using ComponentLibraryMain = void (*)(uint32_t inMessage, VLibrary* inLibrary);
using ComponentLibraryGetNthType = bool (*)(int32_t inIndex, uint32_t* outType);

} // namespace kova
