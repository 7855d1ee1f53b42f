// VValueBag is the toolbox's general record: a tree whose nodes carry named attributes (single
// values of any kind) and named lists of child bags, called elements. It mirrors an XML element:
// attributes, character data (the attribute named "<>") and child elements. Errors carry their
// parameters in a bag, log records are bags, configuration read from XML or JSON arrives as bags.
//
// A bag is a value of kind 200 and is reference-counted: it is made with a count of 1, lists hold
// one reference to each of their bags, and the last release destroys it. Bags handed out by
// GetElements, GetNthElementName and the path look-ups are borrowed; RetainNth (VBagArray) and
// RetainUniqueElementWithAttribute hand out a reference of the caller's.
//
// Attributes live packed in one dictionary (VPackedDictionary_with_backstore), elements in
// another (VPackedDictionary), made at the first element. Names are StPackedDictionaryKey: a C
// string literal or a VString converts to one, so bag.SetString("name", text) reads naturally.
// A name longer than 255 bytes of UTF-8 is refused by every setter (kova 3) and found by no
// getter.
//
// Elements must form a tree: a bag must never be an element of its own elements, however deep
// (a -> b -> a). Only a bag added to itself is refused; a longer cycle would cost a walk of the
// whole subtree at every AddElement to find, and once made, cloning, writing or releasing the bag
// never ends.
//
// A bag is not locked, and reading it fills caches, so a bag shared by tasks needs its user's lock.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/StPackedDictionaryKey.h"
#include "kernel/values/VPackedDictionary.h"
#include "kernel/values/VPackedDictionary_with_backstore.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValue.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class IBaggable;
class VBagArray;
class VJSONObject;
class VDuration;
class VString;
class VTime;
class VValueSingle;

class VValueBag : public VValue, public IRefCountable
{
public:
    using StKey = StPackedDictionaryKey;
    // A path: one element name per level.
    using StKeyPath = std::vector<StPackedDictionaryKey>;

    // One record of an ordering table: an element name, then up to 10 names of its child
    // elements in the wanted order (the list ends at the first null). A table is an array of
    // records ended by one whose element name is null.
    struct StBagElementsOrdering
    {
        const StPackedDictionaryKey* fElementName;
        const StPackedDictionaryKey* fChildNames[10];
    };

    // Empty, dirty, with a count of 1.
    VValueBag();
    // A deep copy: attributes in packed form, every child bag copied. The flags are the source's
    // with the dirty flag added. Clone reports running out of memory; this constructor raises it.
    VValueBag(const VValueBag& inOther);
    VValueBag& operator=(const VValueBag&) = delete;
    ~VValueBag() override;

    // A deep copy with one reference for the caller; null (kova 100 raised) when memory runs out.
    VValueBag* Clone() const override;
    // Empties the bag: every attribute and every element.
    void Destroy();

    const VValueInfo* GetValueInfo() const override;

    // One line "name = value" per attribute, then per element name "=======", the count and the
    // name, and each bag after "--"; UTF-16, cut to half the buffer in characters.
    CharSet DebugDump(char* outBuffer, int& ioSize) const override;
    using VObject::DebugDump;

    // ----- Attributes
    // Replaces the value of the name or appends it. False when the name is refused or memory runs
    // out.
    bool SetAttribute(const StKey& inKey, const VValueSingle& inValue);
    // False, and outValue untouched, when absent; otherwise the value converted into outValue.
    bool GetAttribute(const StKey& inKey, VValueSingle& outValue) const;
    bool AttributeExists(const StKey& inKey) const;
    void RemoveAttribute(const StKey& inKey);
    int32_t GetAttributesCount() const { return int32_t(fAttributes.GetCount()); }
    // The attribute at a 1-based index as an object owned by the bag, its name decoded into
    // outName when given; null outside 1 .. count (outName emptied) or for a kind that has no
    // descriptor.
    const VValueSingle* GetNthAttribute(int32_t inIndex, VString* outName) const;
    // The attribute as an object owned by the bag (valid until the attribute changes); null when
    // absent or when its kind has no descriptor.
    const VValueSingle* GetAttributeValue(const StKey& inKey) const;

    // Typed setters and getters: the calls above with a value of the kind. The getters convert
    // from whatever kind is stored and leave the output untouched when the name is absent.
    bool SetBool(const StKey& inKey, bool inValue);
    bool GetBool(const StKey& inKey, bool& outValue) const;
    bool SetLong(const StKey& inKey, int32_t inValue);
    bool GetLong(const StKey& inKey, int32_t& outValue) const;
    bool SetLong8(const StKey& inKey, int64_t inValue);
    bool GetLong8(const StKey& inKey, int64_t& outValue) const;
    bool SetReal(const StKey& inKey, double inValue);
    bool GetReal(const StKey& inKey, double& outValue) const;
    bool SetString(const StKey& inKey, const VString& inValue);
    bool GetString(const StKey& inKey, VString& outValue) const;
    bool SetVUUID(const StKey& inKey, const VUUID& inValue);
    bool GetVUUID(const StKey& inKey, VUUID& outValue) const;
    bool SetTime(const StKey& inKey, const VTime& inValue);
    bool GetTime(const StKey& inKey, VTime& outValue) const;
    bool SetDuration(const StKey& inKey, const VDuration& inValue);
    bool GetDuration(const StKey& inKey, VDuration& outValue) const;

    // ----- Character data
    // The key "<>", made once.
    static const StPackedDictionaryKey& CDataAttributeName();
    // Appends text to the character data, turning a value of another kind into its text first.
    void AppendToCData(const VString& inText);

    // ----- Elements
    // True when the bag has no attribute and no element name.
    bool IsEmpty() const;
    int32_t GetElementNamesCount() const;
    // The list at a 1-based index and its name; null (outName emptied) out of range.
    VBagArray* GetNthElementName(int32_t inIndex, VString* outName) const;
    // The list of a name, not retained; null when absent.
    VBagArray* GetElements(const StKey& inKey) const;
    // Stores a list under a name (retained; a list it replaces is released).
    bool SetElements(const StKey& inKey, VBagArray* inArray);
    // Appends a bag (retained) to the list of a name, making the list when needed. A null bag
    // does nothing; the bag itself is refused (kova 3): a bag cannot hold itself. The caller
    // makes sure the bag does not hold this one further down (no cycles, see above).
    bool AddElement(const StKey& inKey, VValueBag* inBag);
    // Adds the object's bag form under the name it gives; returns the object's result.
    VError AddElement(const IBaggable* inObject);
    // Releases the list of a name and removes the name.
    void RemoveElements(const StKey& inKey);
    // Makes the bag the only element of the name (a null bag removes the name, answering false).
    // False, with nothing changed, when it already is the only one.
    bool ReplaceElement(const StKey& inKey, VValueBag* inBag);
    // The one bag of the list whose attribute equals the value (diacritics ignored), retained;
    // null when none or several match.
    VValueBag* RetainUniqueElementWithAttribute(const StKey& inElementKey, const StKey& inAttributeKey,
                                                const VValueSingle& inValue) const;
    // The bag of a bag that has one element name holding one bag, and that name; else null.
    VValueBag* GetUniqueElementAnyKind(VString& outName) const;

    // ----- Paths: element names separated by '/'
    // Each segment between two slashes is a name (the empty one included); the segment after the
    // last slash only when not empty. A segment that cannot be a name (too long, not convertible)
    // stays in the path as an invalid key, which finds nothing and creates nothing.
    static void GetKeysFromPath(const VString& inPath, StKeyPath& outKeys);
    // The same on UTF-8 text; the keys borrow the text, which must outlive them.
    static void GetKeysFromUTF8PathNoCopy(const char* inPath, StKeyPath& outKeys);
    // Follows the first bag of each name; null when a level is missing. The empty path is the bag.
    VValueBag* GetUniqueElementByPath(const StKeyPath& inPath) const;
    VValueBag* GetUniqueElementByPath(const VString& inPath) const;
    // The same, making the missing levels (each the only element of its name). Null when a
    // level cannot be made.
    VValueBag* GetElementByPathAndCreateIfDontExists(const StKeyPath& inPath);
    // Makes the bag the only element of the last name, creating the levels above; with a null
    // bag removes the last name from its parent when found (true).
    bool ReplaceElementByPath(const StKeyPath& inPath, VValueBag* inBag);

    // ----- Merging
    // Sets every attribute of the other bag on this one and adds clones of its elements. True for
    // a null bag; false when a clone cannot be made (merging stops there).
    bool UnionClone(const VValueBag* inOther);
    // As UnionClone, but a name holding exactly one element in both bags merges the two elements
    // (recursively) instead of adding a second one.
    bool Override(const VValueBag* inOther);

    // ----- Sorting
    // Takes this bag as one of the element name inElementName and re-orders its element names as
    // the table's record for that name says; then sorts, the same way, every child bag whose
    // element name has a record.
    void SortElements(const StKey& inElementName, const StBagElementsOrdering* inTable);
    // (position, rank) pairs by rank.
    static bool PositionComparatorStrict(const std::pair<int32_t, int32_t>& inFirst,
                                         const std::pair<int32_t, int32_t>& inSecond);

    // ----- Stream form: header "VBAG", version 1, then the body
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;
    // The body: a flags byte, the attribute block, the element block. Child bags are always
    // written with their hash vectors.
    VError WriteToStreamMinimal(VStream* ioStream, bool inWithHash) const;
    // Reads a body into an empty bag; inDepth is the nesting depth of this bag in the stream.
    VError ReadFromStreamMinimal(VStream* ioStream, uint32_t inDepth = 0);
    // Reads the earlier body form: attribute names, values with their kinds, element names, lists.
    VError _ReadFromStream_v1(VStream* ioStream);

    // ----- Text forms: an XML element, and a JSON object (VValueBagText.cpp)
    // Appends the bag as an XML element of that name: attributes in their order, child elements
    // by name and list order, then the character data ("<>"). Indented from level 0, or without
    // indentation. A name that XML cannot hold (the element's, an attribute's or a child
    // element's) is not written: kova 3 is raised and the rest is written.
    void DumpXML(VString& ioDump, const VString& inElementName, bool inWithIndentation) const;
    // The element at a level (-1: no indentation); returns kova 108 when nesting leaves too
    // little stack, else 0.
    VError _DumpXML(VString& ioDump, const VString& inElementName, int32_t inLevel) const;
    // min(level, 100) tabs from level 1 on.
    static void DumpXMLIndentation(VString& ioDump, int32_t inLevel);
    // The start tag's attributes, leaving out the character data at its 1-based position (0:
    // none) and the marker attributes.
    void DumpXMLAttributes(VString& ioDump, const VString& inElementName, int32_t inCDataPosition) const;
    // Writes the character data, in a CDATA section when it needs one; true when a line break
    // is wanted before the closing tag.
    bool DumpXMLCData(VString& ioDump, int32_t inCDataPosition) const;
    // Whether the text holds one of the characters of the list, or holds a line break (tab, LF,
    // CR) together with a character other than those and the space.
    static bool NeedsEscapeSequence(const VString& inText, const UniChar* inListBegin,
                                    const UniChar* inListEnd);

    // The bag as a JSON object. Option 8: pretty (line breaks and tabs); option 32: every
    // element list of one bag written as that object. Values are written with their JSON text
    // forms (options 513); a value without one (a blob) is written null. Returns 0, or kova 108
    // when nesting leaves too little stack.
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    VError _GetJSONString(VString& ioText, int32_t& ioLevel, bool inPretty, uint32_t inOptions) const;
    // Reads a JSON object into the bag (VJSONImporter::JSONObjectToBag); option 0x1000 reads
    // "!!YYYY-MM-DD!!" texts as dates instead of YYYY-MM-DD ones.
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    // A new JSON object holding the bag (through its JSON text), one reference for the caller;
    // null with the error in outError.
    VJSONObject* BuildJSONObject(VError& outError) const;
    // The bag as a JSON object value; undefined when it cannot be built.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;
    // Replaces the bag's content by the value's (through the value's JSON text).
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    VError FromBinaryJSONValue(const VJSONValue& inJSONValue) { return FromJSONValue(inJSONValue); }

    // The dictionaries, for the text forms and for inspection.
    const VPackedDictionary_attributes& GetAttributesDictionary() const { return fAttributes; }
    const VPackedDictionary_elements* GetElementsDictionary() const { return fElements; }

    static const VValueInfo_default<VValueBag, VK_BAG> sInfo;

    // The stream header.
    static constexpr uint32_t kStreamSignature = 0x56424147; // 'VBAG'
    static constexpr uint16_t kStreamVersion = 1;

private:
    bool _CopyContentFrom(const VValueBag& inOther);
    // Makes the element dictionary when missing; null when memory runs out.
    VPackedDictionary_elements* _EnsureElements();
    // The body after its flags byte.
    VError _ReadBlocks(VStream* ioStream, uint8_t inFlags, uint32_t inDepth);
    // UnionClone, or Override when inOverride.
    bool _Merge(const VValueBag* inOther, bool inOverride);
    // Adds clones of the first inCount bags of the list under the name; false when a clone fails.
    bool _AddClones(const StKey& inKey, const VBagArray& inArray, int32_t inCount);
    void _SortElements(const StBagElementsOrdering* inRecord, const StBagElementsOrdering* inTable);
    void _DebugDumpText(VString& ioText) const;

    VPackedDictionary_attributes fAttributes;
    VPackedDictionary_elements* fElements = nullptr;
};

// The steps of the bags' JSON text; each does nothing but the level's bookkeeping unless pretty.
// A line break.
void AppendJSONNewline(VString& ioText, int32_t& ioLevel, bool inPretty);
// One tab per level from level 1 on.
void AjustJSONTab(VString& ioText, int32_t& ioLevel, bool inPretty);
// (Pretty: a line break and the level's tabs.) "{" or "[", one level deeper.
void AppendBeginJSONObject(VString& ioText, int32_t& ioLevel, bool inPretty);
void AppendBeginJSONArray(VString& ioText, int32_t& ioLevel, bool inPretty);
// One level up, (pretty: a line break and the new level's tabs,) then "}" or "]".
void AppendEndJSONObject(VString& ioText, int32_t& ioLevel, bool inPretty);
void AppendEndJSONArray(VString& ioText, int32_t& ioLevel, bool inPretty);
// (Pretty: a line break and the level's tabs.) The name quoted, then " : " (pretty) or ":".
void AppendJSONPropertyName(VString& ioText, int32_t& ioLevel, bool inPretty, const VString& inName);

// The typed value an XML attribute text stands for: a long, long8, real, boolean or UUID when it
// has that form (spaces around it ignored), otherwise a copy of the text. Owned by the caller.
VValueSingle* ParseXMLValue(const VString& inText);

// A typed attribute key without a default, made from a C string it borrows (static names).
template <class VALUE>
class StBagKeyNoDefault : public StPackedDictionaryKey
{
public:
    explicit StBagKeyNoDefault(const char* inName) : StPackedDictionaryKey(inName) {}

    // False, outValue untouched, when absent.
    bool Get(const VValueBag& inBag, VALUE& outValue) const { return inBag.GetAttribute(*this, outValue); }
    bool Set(VValueBag& ioBag, const VALUE& inValue) const { return ioBag.SetAttribute(*this, inValue); }
};

// A typed attribute key with a default, made from a C string it borrows (static names). The
// bag key "uuid" with the null identifier as default is the one the loader uses.
template <class VALUE, class DEFAULT = VALUE>
class StBagKeyWithDefault : public StPackedDictionaryKey
{
public:
    StBagKeyWithDefault(const char* inName, const DEFAULT& inDefault)
        : StPackedDictionaryKey(inName), fDefault(inDefault)
    {
    }

    const DEFAULT& GetDefault() const { return fDefault; }
    const std::vector<StPackedDictionaryKey>& GetPath() const { return fPath; }

    // The attribute, or the default when absent; answers whether the attribute was there.
    bool Get(const VValueBag& inBag, VALUE& outValue) const
    {
        if (inBag.GetAttribute(*this, outValue))
            return true;
        outValue = fDefault;
        return false;
    }
    bool Set(VValueBag& ioBag, const VALUE& inValue) const { return ioBag.SetAttribute(*this, inValue); }

private:
    std::vector<StPackedDictionaryKey> fPath;
    DEFAULT fDefault;
};

} // namespace kova
