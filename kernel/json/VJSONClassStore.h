// VJSONClassStore is a named, lockable registry of JSON classes (VJSONClass). The process keeps one,
// "qel", made at start-up with its three root classes: "Object", the default class of every object
// made without one; "Class", the class of every class object, whose member "new" instantiates a
// class; and "Function", the class of function objects, with "apply" and "call". Every class
// object, function object and plain object takes its defaults from that store.
//
// A store may also list other stores as components. Seen as a JSON object (a VJSONObject whose
// delegate is the store), it shows its visible classes as properties and refuses to be written.
//
// The root class objects of a store live as long as the process: Object and Class are instances
// of Class, whose class object therefore holds itself, and Function's prototype holds instances of
// Function.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstdint>
#include <map>
#include <vector>

namespace kova
{

class IFile;
class VJSONObject;

class VJSONClassStore : public VObject, public IJSONObject
{
public:
    // Flag of AddClass: the class is not among the visible ones.
    static constexpr uint32_t kHiddenClass = 1;

    using ClassMap = std::map<VString, VRefPtr<VJSONObject>, VJSONNameLess>;
    using ComponentMap = std::map<VString, VJSONClassStore*, VJSONNameLess>;

    explicit VJSONClassStore(const VString& inName);
    ~VJSONClassStore() override;

    // The process's store; null before start-up made it (or without process object).
    static VJSONClassStore* GetProcessClassStore();

    const VString& GetName() const { return fName; }

    // Makes "Object", "Class" and "Function" and registers them.
    void AddRootClasses();
    // Registers a class object under its class's name (nothing for an object that is no class),
    // replacing another of that name.
    void AddClass(VJSONObject* inClassObject, uint32_t inFlags);
    // Makes the class, sets its functions and registers it, always visible (the flags go to the
    // class). Null when the class could not be made.
    VRefPtr<VJSONObject> AddClass(const VString& inName,
                                  const std::vector<VJSONClass::FunctionDescriptor>& inFunctions,
                                  VJSONObject* inSuperClassObject, JSONNativeFunction inConstructor,
                                  JSONInstantiator inInstantiator, uint32_t inFlags);
    // Lists another store as a component; a name already listed keeps its store. Not retained.
    void AddComponentClass(const VString& inName, VJSONClassStore* inStore);
    // Removes the classes that files no longer define as they were: classes with a file that is
    // not the one named for them, or obsolete; classes without file that a file now defines, or
    // obsolete. The names of the removed classes that had a file are appended.
    void RemoveObsoleteClasses(const std::map<VString, VRefPtr<IFile>, VJSONNameLess>& inClassFiles,
                               std::vector<VString>& outRemovedNames);

    // Among all classes, or the visible ones; with inCaseInsensitive, "A" to "Z" match "a" to "z".
    VRefPtr<VJSONObject> GetClassObject(const VString& inName, bool inCaseInsensitive) const;
    VRefPtr<VJSONObject> GetVisibleClassObject(const VString& inName, bool inCaseInsensitive) const;
    static bool EqualClassName(const VString& inFirst, const VString& inSecond, bool inCaseInsensitive);
    void GetClasses(ClassMap& outClasses) const;
    void GetVisibleClasses(ClassMap& outClasses) const;
    void GetVisibleComponents(ComponentMap& outComponents) const;
    VRefPtr<VJSONClassStore> GetComponentClassStore(const VString& inName) const;
    size_t GetCount() const;

    // The root class objects (null before AddRootClasses); the maps hold them.
    VJSONObject* GetObjectClassObject() const { return fObjectRoot; }
    VJSONObject* GetClassClassObject() const { return fClassRoot; }
    VJSONObject* GetFunctionClassObject() const { return fFunctionRoot; }
    // The class of the root "Object": what objects made without a class take.
    VJSONClass* GetObjectClass() const { return fObjectClass; }

    // ----- IJSONObject: the store as an object of classes
    EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext* inContext) const override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_Clear(VJSONObject* inObject) override;
    bool IJSON_IsEmpty(const VJSONObject* inObject) const override;
    EJSONStatus IJSON_Stringify(const VJSONObject* inObject, VJSONWriter& inWriter, VString& outText,
                                VError* outError) const override;
    EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;

private:
    VRefPtr<VJSONObject> _Find(const ClassMap& inClasses, const VString& inName,
                               bool inCaseInsensitive) const;

    mutable VCriticalSection fLock;
    VString fName;
    ClassMap fClasses;
    ClassMap fVisibleClasses;
    ComponentMap fComponents;
    VJSONObject* fObjectRoot = nullptr;
    VJSONObject* fClassRoot = nullptr;
    VJSONObject* fFunctionRoot = nullptr;
    VJSONClass* fObjectClass = nullptr;
};

} // namespace kova
