// VJSONObject is the object of the JSON model: a reference-counted set of named VJSONValues that
// remembers the order in which the names were first set. Everything that reads JSON walks
// objects through it; the updater reads its client-customization file as a tree of them.
//
// Beside its own properties an object may carry:
// - a native delegate (IJSONObject), asked first on every operation; it answers in place of the
//   object, or leaves the operation to the object's own behaviour;
// - a class (VJSONClass, reached through its class object), which supplies member functions,
//   property getters and setters and a prototype; an object made without a class takes the root
//   class "Object" of the process's class store;
// - a storage locker (VStorageLocker), when it is shared between tasks: any task may read it, only
//   the task holding the locker may change it (QLRT -10719 otherwise), and it answers the name
//   "__LockerID" itself.
// Objects and arrays that hold each other are linked in a reference graph that frees cycles
// (VJSONGraph; the counting is VJSONCollection's). Storing undefined removes a property, so no
// object holds an undefined property.
//
// Properties are kept in insertion order, the position of each being its insertion index (0 to
// n - 1): replacing a value keeps the position, removing a name renumbers the later ones. Names
// are compared exactly (same UTF-16 units) and looked up by hash once an object has more than a
// few of them. The hash is keyed per process, so that no document can choose names that meet;
// it decides placement in memory only, never the order of the properties.
//
// Paths: "server.ports[2]" names a property deep in a tree; on an array a component is an index
// only when it is all digits.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONCollection.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class CDBQelBaseContext;
class VCompareOptions;
class VDBLanguageContext;
class VJSONArray;
class VJSONClass;
class VJSONCloner;
class VStorageLocker;

// True for the empty text and for texts of the digits 0 to 9 only.
bool isvalidnumber(const VString& inText);

// Names compared and table cells passed over by the property tables on this thread. Tests read it
// to check that the work per name does not grow with the number of names; counting is a plain add.
inline thread_local uint64_t sJSONPropertyProbeCount = 0;

class VJSONObject : public VJSONCollection
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

        // Keyed per process: the same name hashes differently from one run to the next.
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

    // An object of the class (null: the process's root "Object"), answered first by the delegate
    // (retained), shared between tasks with a new adoptable locker when inShared.
    explicit VJSONObject(VJSONObject* inClassObject = nullptr, IJSONObject* inImplementation = nullptr,
                         bool inShared = false);
    // The same bound to the locker (retained; null for none). The flag has no effect.
    VJSONObject(VJSONObject* inClassObject, IJSONObject* inImplementation, VStorageLocker* inLocker,
                bool inFlag);
    ~VJSONObject() override;

    IJSONObject* GetImplementation() const { return fImplementation; }
    // For the binary reader, whose native record follows the properties: gives an object made
    // without a delegate its delegate (retained). Ignored when the object already has one.
    void _SetImplementation(IJSONObject* inImplementation);

    // ----- Class
    VJSONClass* GetClass() const { return fClass; }
    // Links the object to another class; a null class is ignored.
    void _SetClass(VJSONClass* inClass);
    // The class's prototype, null without a class.
    VJSONObject* _GetPrototype() const;
    // No class, or a root class (depth 0).
    bool IsGenericObject() const;
    // Whether the class is met walking up from the object's class (a null class is met where the
    // chain ends).
    bool IsInstanceOf(const VJSONClass* inClass) const;
    // The same for a class object; QLRT -10745 and false when it is none.
    bool IsInstanceOf(const VJSONObject* inClassObject) const;
    // The class object of the object's class, not retained; null without class.
    VJSONObject* GetClassObject() const;
    // The depth of the last class of the chain whose construction completed, and whether the
    // constructors of the chain are running: plain fields, valid for the constructing task only.
    int32_t GetConstructionLevel() const { return fConstructionLevel; }
    void SetConstructionLevel(int32_t inLevel) { fConstructionLevel = inLevel; }
    bool IsConstructing() const { return fConstructing; }
    void SetConstructing(bool inConstructing) { fConstructing = inConstructing; }

    // ----- Properties (the language context is only handed on to delegates and functions)
    // The delegate's answer, else the own property, else a member function of the class, else
    // what the class's getter answers; undefined when absent.
    VJSONValue GetProperty(const VString& inName, VDBLanguageContext* inContext = nullptr) const;
    VJSONValue GetOwnProperty(const VString& inName) const;
    VJSONValue _GetOwnProperty(const VString& inName) const;
    bool HasProperty(const VString& inName, VDBLanguageContext* inContext = nullptr) const;
    bool HasOwnProperty(const VString& inName) const;
    bool _HasOwnProperty(const VString& inName) const;
    // Undefined removes the name (true). The delegate first, then the class's setter; false when
    // one of them failed, when the change was refused or when memory ran out (the property then
    // keeps its former value).
    bool SetProperty(const VString& inName, const VJSONValue& inValue,
                     VDBLanguageContext* inContext = nullptr);
    // The same without asking the delegate or the class.
    bool SetOwnProperty(const VString& inName, const VJSONValue& inValue);
    // The caller holds the locks.
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
    // No own property, the delegate (if any) reports no name, and the class has no getter.
    bool IsEmpty() const;
    // The delegate's indexed properties; undefined and EJSON_unhandled without a delegate.
    VJSONValue GetPropertyByIndex(size_t inIndex, EJSONStatus* outStatus) const;
    size_t GetCountPropertiesByIndex(EJSONStatus* outStatus) const;
    // The graph's bookkeeping of collections a delegate holds outside the properties.
    void ConnectImplementationProperty(const VJSONValue& inValue);
    void DisconnectImplementationProperty(const VJSONValue& inValue);

    // ----- Sharing and the graph
    // Has a locker, or a delegate that says the object may be shared.
    bool IsShared() const;
    // No locker, and a delegate that lets the object be stored into locked collections as it is.
    bool IsSharableWithoutLocker() const;
    // The references the properties hold leave the graph's counts; the properties stay.
    void DisconnectAll();
    // Empties the object, keeping the graph's counts right.
    void ClearFromGraph();

    // ----- Other
    // "[object Object]".
    void GetString(VString& outText) const;
    // The same own names with deep-equal values, in any order. Structures that contain
    // themselves compare without end: a pair of collections met again is taken as equal.
    bool DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions) const;
    bool _DeepEqualTo(const VJSONObject* inOther, const VCompareOptions& inOptions,
                      VJSONComparedPairs& ioPairs) const;
    // Calls the object as a function: EJSON_unhandled when it has no delegate. The argument array
    // is the call's this array, the list its parameters.
    EJSONStatus CallAsFunction(VJSONObject* inThisObject, VJSONArray* inArguments,
                               std::vector<VJSONValue>* inArgumentList, VJSONValue& outResult,
                               CDBQelBaseContext* inBaseContext, VDBLanguageContext* inLanguageContext) const;

    // ----- Cloning, merging, description
    // The object's copy into outResult through the cloner, which reproduces sharing and cycles.
    VError Clone(VJSONValue& outResult, VJSONCloner& inCloner) const;
    // Replaces the destination's own properties with clones of this object's, in insertion order;
    // stops at the first failure, which it returns.
    VError CloneProperties(VJSONCloner& inCloner, VJSONObject* inDestination) const;
    // Sets each own property of the other here (only the missing ones with inOnlyMissing). Values
    // are shared, not cloned; a refused property leaves its error and the merge goes on.
    void MergeWith(const VJSONObject* inOther, bool inOnlyMissing);
    // The delegate's text, else the object written as JSON (cut after 512 characters when short).
    void GetDescription(VString& outText, bool inShort, VDBLanguageContext* inContext = nullptr) const;
    // The delegate's, else the class's, else "Shared Object" or "Object".
    void GetClassName(VString& outName) const;

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
    // Sets the value at the path, making the missing objects and arrays on the way. False when
    // the path does not parse, when a step meets a value that is neither an object nor an array
    // (kova 903 or 904, "p1" the step before) or an array under a component that is no index,
    // and when an array cannot grow to the index (up to 2^31 - 1).
    bool SetPropertyWithPath(const VString& inPath, const VJSONValue& inValue,
                             VDBLanguageContext* inContext = nullptr);
    // In list order, stopping after the first false.
    bool SetPropertiesWithPaths(const std::vector<std::pair<VString, VJSONValue>>& inList);

    // ----- Stamps
    // The stored value's stamp; for a property served by a getter, the object's change counter
    // (attached on first need); 0 for an unknown name.
    uint32_t GetPropertyStamp(const VString& inName) const;
    // Attaches a change counter (retained; null detaches), then tells the delegate.
    void SetJSONStamp(VJSONStamp* inStamp);
    // Advances the change counter and renews the stored value's stamp.
    void TouchPropertyStamp(const VString& inName);
    // The same along a path; on an array "length" answers the count.
    uint32_t GetPropertyStampWithPath(const VString& inPath) const;
    void TouchPropertyStampWithPath(const VString& inPath);

    // Moves the properties in (for the reader: the object is new, empty and unlinked; the reader
    // links the whole tree at its end). A name met again replaces the earlier value. False when
    // memory ran out (what was moved in stays).
    bool _AdoptProperties(Property* inFirst, Property* inLast);

    // The own properties, for the iterators and writers of this subsystem: unshared objects only,
    // or under the object's locks.
    const std::vector<Property>& _GetProperties() const { return fProperties; }

private:
    void _InitClass(VJSONObject* inClassObject);
    // The position of the name, or -1.
    ptrdiff_t _Find(const UniChar* inUnits, int32_t inLength, uint32_t inHash) const;
    ptrdiff_t _Find(const VString& inName) const
    {
        return _Find(inName.GetCPointer(), inName.GetLength(),
                     Name::Hash(inName.GetCPointer(), inName.GetLength()));
    }
    // The locker's answer to "__LockerID", when the object is shared and the name is that.
    bool _IsLockerIDName(const VString& inName) const;
    // Whether a change that stores the value takes sMutex.
    bool _ChangeNeedsGraphLock(const VJSONValue* inStored) const;
    // The checks of a locked object before a store: ownership, admission, references only.
    bool _AdmitStore(const VString& inName, const VJSONValue& inValue);
    template <class VALUE>
    bool _SetChecked(const VString& inName, VALUE&& inValue);
    template <class VALUE>
    bool _Store(const Name& inName, VALUE&& inValue);
    // Removes the entry at the position; the removed value is unlinked once out of the table.
    void _RemoveInternalProperty(size_t inPosition);
    // Takes every property out of the table (for its destruction after the locks).
    void _TakeProperties(std::vector<Property>& outProperties);
    void _InsertInIndex(size_t inPosition);
    void _RebuildIndex();

    std::vector<Property> fProperties;
    // Open addressing over positions + 1 (0 marks a free slot); empty while the object is small
    // enough for a linear scan.
    std::vector<uint32_t> fIndex;
    IJSONObject* fImplementation = nullptr;
    VJSONClass* fClass = nullptr;
    int32_t fConstructionLevel = 0;
    bool fConstructing = false;
};

} // namespace kova
