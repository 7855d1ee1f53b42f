// VJSONObject is the object of the JSON model: a reference-counted set of named VJSONValues that
// remembers the order in which the names were first set. Everything that reads JSON walks
// objects through it; the updater reads its client-customization file as a tree of them.
//
// An object may have a native delegate (IJSONObject), asked first on every operation; it answers
// in place of the object, or leaves the operation to the object's own properties. Storing
// undefined removes a property, so no object holds an undefined property.
//
// Properties are kept in insertion order, the position of each being its insertion index (0 to
// n - 1): replacing a value keeps the position, removing a name renumbers the later ones. Names
// are compared exactly (same UTF-16 units) and looked up by hash once an object has more than a
// few of them.
//
// Objects belong to one task at a time here: there are no storage lockers, no reference graph
// (a cycle of objects and arrays is never freed) and no class records yet, so every object is a
// generic object without members, getters or prototype.
//
// Paths: "server.ports[2]" names a property deep in a tree; a component is an array index only
// when it is all digits.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class VCompareOptions;
class VDBLanguageContext;

class VJSONObject : public VObject, public IRefCountable
{
public:
    // A property name: the units of a shared string block, one reference held (as a string value
    // holds its text), and their hash. Names met again share one block.
    class Name
    {
    public:
        Name() = default;
        // Shares the string's block.
        explicit Name(const VString& inText);
        // A block of its own; an empty name when memory runs out.
        Name(const UniChar* inUnits, int32_t inLength);
        Name(const Name& inOther) : fRecord(inOther.fRecord), fHash(inOther.fHash) { fRecord.Retain(); }
        Name(Name&& inOther) noexcept : fRecord(inOther.fRecord), fHash(inOther.fHash)
        {
            inOther.fRecord = VInlineString();
        }
        Name& operator=(const Name& inOther);
        Name& operator=(Name&& inOther) noexcept;
        ~Name() { fRecord.Dispose(); }

        const UniChar* GetUnits() const { return fRecord.fString; }
        int32_t GetLength() const { return fRecord.fLength; }
        uint32_t GetHash() const { return fHash; }
        // A string sharing the block.
        VString GetString() const { return VString(fRecord); }
        bool Equals(const UniChar* inUnits, int32_t inLength, uint32_t inHash) const;

        static uint32_t Hash(const UniChar* inUnits, int32_t inLength);

    private:
        VInlineString fRecord;
        uint32_t fHash = Hash(nullptr, 0);
    };

    // One own property.
    struct Property
    {
        Name fName;
        VJSONValue fValue;
    };

    // A plain object, or one answered first by the delegate (retained).
    explicit VJSONObject(IJSONObject* inImplementation = nullptr);
    VJSONObject(const VJSONObject&) = delete;
    VJSONObject& operator=(const VJSONObject&) = delete;
    ~VJSONObject() override;

    // Objects that hold each other are freed one after the other, never recursively, so that a
    // deep tree cannot exhaust the stack of the task that drops it.
    void DoOnRefCountZero() override;

    IJSONObject* GetImplementation() const { return fImplementation; }

    // ----- Properties (the language context is only handed to the delegate)
    // The delegate's answer, else the own property; undefined when absent.
    VJSONValue GetProperty(const VString& inName, VDBLanguageContext* inContext = nullptr) const;
    VJSONValue GetOwnProperty(const VString& inName) const;
    VJSONValue _GetOwnProperty(const VString& inName) const;
    bool HasProperty(const VString& inName, VDBLanguageContext* inContext = nullptr) const;
    bool HasOwnProperty(const VString& inName) const;
    bool _HasOwnProperty(const VString& inName) const;
    // Undefined removes the name (true). The delegate first; false when it failed or when memory
    // ran out (the property then keeps its former value).
    bool SetProperty(const VString& inName, const VJSONValue& inValue,
                     VDBLanguageContext* inContext = nullptr);
    // The same without asking the delegate.
    bool SetOwnProperty(const VString& inName, const VJSONValue& inValue);
    bool _SetOwnProperty(const VString& inName, const VJSONValue& inValue);
    // Stores the value without copying it (the property still gets a new stamp).
    bool _SetOwnProperty(const VString& inName, VJSONValue&& inValue);
    // In list order, stopping after the first failure; the delegate brackets the changes.
    bool SetProperties(const std::vector<std::pair<VString, VJSONValue>>& inProperties,
                       VDBLanguageContext* inContext = nullptr);
    void RemoveProperty(const VString& inName);
    void RemoveOwnProperty(const VString& inName);
    void _RemoveOwnProperty(const VString& inName);
    // Empties the property's value as VJSONValue::Clear does and stores it back; nothing when
    // absent.
    void ClearProperty(const VString& inName, VDBLanguageContext* inContext = nullptr);
    // Tells the delegate, then removes every own property.
    void Clear();
    void ClearInternalProperties();
    // Copies of the own properties, in insertion order.
    std::vector<Property> GetInternalProperties() const;
    // No own property, and the delegate (if any) reports no name either.
    bool IsEmpty() const;
    // The delegate's indexed properties; undefined and EJSON_unhandled without a delegate.
    VJSONValue GetPropertyByIndex(size_t inIndex, EJSONStatus* outStatus) const;
    size_t GetCountPropertiesByIndex(EJSONStatus* outStatus) const;

    // ----- Other
    // No class records exist yet: every object is generic.
    bool IsGenericObject() const { return true; }
    // "[object Object]".
    void GetString(VString& outText) const;
    // The same own names with deep-equal values, in any order. Structures that contain
    // themselves compare without end: a pair of collections met again is taken as equal.
    bool DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions) const;
    bool _DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions,
                      VJSONComparedPairs& ioPairs) const;

    // ----- Paths
    // Cuts a path into components: kova 901 for a bracket without "]", kova 902 for an empty
    // component (both raised). After an error the list holds what was cut so far.
    static VError ExtractPath(const VString& inPath, std::vector<VString>& outComponents);
    // Undefined when the path does not parse or a step is missing. On an array a component is
    // "length" (the count) or an index of digits only; anything else gives undefined.
    VJSONValue GetPropertyWithPath(const VString& inPath, VDBLanguageContext* inContext = nullptr) const;
    // No components: the object itself.
    VJSONValue GetPropertyWithPath(const std::vector<VString>& inComponents,
                                   VDBLanguageContext* inContext = nullptr) const;

    // Moves the properties in (for the reader: the object is new and empty); a name met again
    // replaces the earlier value. False when memory ran out (what was moved in stays).
    bool _AdoptProperties(Property* inFirst, Property* inLast);

    // The own properties, for the iterators and writers of this subsystem.
    const std::vector<Property>& _GetProperties() const { return fProperties; }

private:
    // The position of the name, or -1.
    ptrdiff_t _Find(const UniChar* inUnits, int32_t inLength, uint32_t inHash) const;
    ptrdiff_t _Find(const VString& inName) const
    {
        return _Find(inName.GetCPointer(), inName.GetLength(),
                     Name::Hash(inName.GetCPointer(), inName.GetLength()));
    }
    template <class VALUE>
    bool _Store(const VString& inName, VALUE&& inValue);
    void _InsertInIndex(size_t inPosition);
    void _RebuildIndex();

    std::vector<Property> fProperties;
    // Open addressing over positions + 1 (0 marks a free slot); empty while the object is small
    // enough for a linear scan.
    std::vector<uint32_t> fIndex;
    IJSONObject* fImplementation = nullptr;
};

} // namespace kova
