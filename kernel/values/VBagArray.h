// VBagArray is the list of child bags stored under one element name of a value bag. Each entry
// holds one reference to its bag. Indexes are 1-based, as everywhere in bags; null entries may
// exist (SetNth never makes one, but a list read from elsewhere may hold none by design).
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <vector>

namespace kova
{

class VStream;
class VString;
class VValueBag;

class VBagArray : public VObject, public IRefCountable
{
public:
    VBagArray();
    // Copies every bag (copy constructor of the bag); see _CopyBagsFrom for a copy that reports
    // running out of memory.
    VBagArray(const VBagArray& inOther);
    VBagArray& operator=(const VBagArray&) = delete;
    ~VBagArray() override;

    int32_t GetCount() const { return int32_t(fBags.size()); }
    // The bag at the index, not retained; null outside 1 .. count.
    VValueBag* GetNth(int32_t inIndex) const;

    // False for a null bag or when memory runs out; otherwise appends and retains.
    bool AddTail(VValueBag* inBag);
    // Inserts at the index clamped to 1 .. count + 1 and retains; false for null.
    bool AddNth(VValueBag* inBag, int32_t inIndex);
    // Replaces the bag at the index (retaining the new, releasing the old); nothing for an index
    // out of range, a null bag or the bag already there.
    void SetNth(VValueBag* inBag, int32_t inIndex);
    // Releases the bag at the index and removes the entry.
    void DeleteNth(int32_t inIndex);
    // Removes the first entry holding the bag, without releasing it: the caller takes over that
    // reference.
    void Delete(VValueBag* inBag);
    // 1-based index, 0 when absent.
    int32_t Find(const VValueBag* inBag) const;
    // The bag at the index, retained; a new empty bag for an index out of range or a null entry,
    // so never null (unless memory runs out).
    VValueBag* RetainNth(int32_t inIndex) const;
    // Releases every bag and empties the list.
    void Destroy();

    // Appends copies of the other list's bags to this one; false when memory runs out (the
    // copies made so far stay).
    bool _CopyBagsFrom(const VBagArray& inOther);

    // Stream form: the count as 32 bits, then each bag's body. Reading appends; inDepth is the
    // nesting depth of the bag that holds the list.
    VError WriteToStreamMinimal(VStream* ioStream) const;
    VError ReadFromStreamMinimal(VStream* ioStream, uint32_t inDepth = 0);

    // The bags as a JSON array (VValueBag::_GetJSONString); null entries are left out.
    VError _GetJSONString(VString& ioText, int32_t& ioLevel, bool inPretty, uint32_t inOptions) const;

private:
    std::vector<VValueBag*> fBags;
};

} // namespace kova
