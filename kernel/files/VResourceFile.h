// VResourceFile is the abstract base of resource files: lists of strings kept by resource type,
// name and numeric identifier. A concrete resource file supplies the storage and its string
// reader; the base reads whole string lists through them and writes unsaved changes before the
// object goes. The toolbox itself declares no concrete resource file and uses only the start-up
// hooks.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VArrayString;
class VString;

class VResourceFile : public VObject, public IRefCountable
{
public:
    // The resource type of string lists.
    static constexpr OsType kStringListType = FourCharCode("STR#");

    // Start-up and shut-down hooks of the process object.
    static bool Init() { return true; }
    static void DeInit() {}
    // Does nothing.
    static void MakeString(VString& outString, const uint8_t* inBytes);

    // The numeric identifier of the resource of that type and name; false when there is none.
    virtual bool GetResourceID(OsType inType, const VString& inName, int32_t& outID) const = 0;
    // The string at the 1-based index of the string-list resource; false when it does not exist.
    virtual bool GetIndString(int32_t inID, int32_t inIndex, VString& outString) const = 0;
    // Whether the file holds changes not written yet.
    virtual bool IsModified() const = 0;

    // The strings at indexes 1, 2, 3 ... up to the first that does not exist, in place of the
    // list's content. True.
    bool GetStringList(int32_t inID, VArrayString& outList) const;
    // The same for the string list of that name; false when there is none.
    bool GetStringList(const VString& inName, VArrayString& outList) const;
    // Writes unsaved changes; nothing in the base.
    virtual VError Flush();

    // The last release writes unsaved changes first.
    void DoOnRefCountZero() override;
};

} // namespace kova
