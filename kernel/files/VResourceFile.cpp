#include "kernel/files/VResourceFile.h"

#include "kernel/text/VString.h"
#include "kernel/values/VArrayString.h"

namespace kova
{

void VResourceFile::MakeString(VString&, const uint8_t*) {}

bool VResourceFile::GetStringList(int32_t inID, VArrayString& outList) const
{
    outList.SetCount(0);
    VString text;
    for (int32_t index = 1; GetIndString(inID, index, text); ++index)
    {
        outList.AppendString(text);
        // A resource that answers for every index would never end: the count is 32 bits.
        if (index == INT32_MAX)
            break;
    }
    return true;
}

bool VResourceFile::GetStringList(const VString& inName, VArrayString& outList) const
{
    int32_t id = 0;
    if (!GetResourceID(kStringListType, inName, id))
        return false;
    return GetStringList(id, outList);
}

VError VResourceFile::Flush()
{
    return VE_OK;
}

void VResourceFile::DoOnRefCountZero()
{
    if (IsModified())
        Flush();
    IRefCountable::DoOnRefCountZero();
}

} // namespace kova
