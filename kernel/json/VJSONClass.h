// VJSONClass gives JSON objects classes in the manner of a scripting language. A class is itself a
// JSON object, the class object: a shared VJSONObject whose delegate is the VJSONClass and whose
// own class is the root class "Class". It carries a name, a superclass, a prototype holding its
// member functions, optional getters and setters (members named "get NAME" and "set NAME"), an
// optional constructor and an instantiator that makes the bare instance. Instances are ordinary
// VJSONObjects linked to their class; they keep the class alive through a use count, so that
// making and dropping instances touches the class object's count only for the first and the last.
//
// Native code declares a class as a list of member functions, each a native function wrapped in a
// function object (VJSONMemberFunction), and registers it in a class store (VJSONClassStore):
//
//     std::vector<VJSONClass::FunctionDescriptor> functions{{VString("get size"), &DoGetSize, 0}};
//     VRefPtr<VJSONObject> blobClass =
//         store->AddClass(VString("Blob"), functions, nullptr, nullptr, &MakeBlob, 0);
//
// Inheritance is flattened when the functions are set: a class copies its superclass's functions,
// getters and setters, so a lookup never walks the chain. A superclass must have its functions set
// before its subclasses.
#pragma once

#include "kernel/json/IJSONObject.h"
#include "kernel/text/VString.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace kova
{

class IFile;
class IJSONFunctionContext;
class VJSONObject;

// A member function: the function object being called, and the call's context (this, parameters,
// result).
using JSONNativeFunction = EJSONStatus (*)(const VJSONObject* inFunctionObject,
                                           IJSONFunctionContext* inContext);
// Makes the bare instance of a class (one reference for the caller), or null.
using JSONInstantiator = VJSONObject* (*)(VJSONObject* inClassObject, IJSONFunctionContext* inContext);

// Exact UTF-16 order, for the maps of class and member names.
struct VJSONNameLess
{
    bool operator()(const VString& inFirst, const VString& inSecond) const;
};

class VJSONClass : public VObject, public IJSONObject
{
public:
    // Member function flags.
    static constexpr uint32_t kFunctionFinal = 1;
    static constexpr uint32_t kFunctionHidden = 2;
    // Class creation flag: every member function given as a descriptor is final.
    static constexpr uint32_t kClassFinalFunctions = 2;

    struct FunctionDescriptor
    {
        VString fName;
        JSONNativeFunction fFunction = nullptr;
        uint32_t fFlags = 0;
    };

    using FunctionMap = std::map<VString, VJSONObject*, VJSONNameLess>;

    // A new class object (one reference for the caller). A null superclass is the process
    // store's root "Object" (none while the store has no roots); a superclass object that is no
    // class raises QLRT -10747 and gives null.
    static VJSONObject* Create(const VString& inName, VJSONObject* inSuperClassObject, IFile* inFile,
                               const VString& inOrigin, uint32_t inFlags);
    // The same without file, its functions set at once.
    static VJSONObject* Create(const VString& inName, const std::vector<FunctionDescriptor>& inFunctions,
                               VJSONObject* inSuperClassObject, JSONNativeFunction inConstructor,
                               JSONInstantiator inInstantiator, const VString& inOrigin, uint32_t inFlags);

    ~VJSONClass() override;

    // Once only: later calls change nothing. The instantiator replaces the generic one (null
    // included: such a class cannot be instantiated).
    void SetFunctions(const std::vector<FunctionDescriptor>& inFunctions, JSONNativeFunction inConstructor,
                      JSONInstantiator inInstantiator);
    void SetFunctions(const std::vector<std::pair<VString, VRefPtr<VJSONObject>>>& inFunctions,
                      VJSONObject* inConstructorObject, JSONInstantiator inInstantiator);

    // A new plain object of the class, not shared, without delegate.
    static VJSONObject* GenericInstantiator(VJSONObject* inClassObject, IJSONFunctionContext* inContext);
    // Makes an instance and runs the constructors of its chain; null (QLRT -10749 when the class
    // has no instantiator) before the functions are set.
    static VJSONObject* CreateInstance(VJSONObject* inClassObject, IJSONFunctionContext* inContext);
    void ConstructInstance(VJSONObject* inInstance, IJSONFunctionContext* inContext);
    // Runs this class's constructor on the instance; EJSON_unhandled when it has none. A
    // constructor that answers done without running the super constructors it had to raises QLRT
    // -10748.
    EJSONStatus CallConstructor(VJSONObject* inInstance, IJSONFunctionContext* inContext);
    // For a constructor's native code: runs the constructors of the superclasses not run yet.
    static EJSONStatus CallSuperConstructor(IJSONFunctionContext* inContext);
    // For objects built without their constructors: QLRT -10751 when the chain has one.
    static VError FinalizeInstance(VJSONObject* inObject);
    // The member "new" of the root class "Class".
    static EJSONStatus do_new(const VJSONObject* inFunctionObject, IJSONFunctionContext* inContext);
    // Stubs other code may install: a read-only property (QLRT -10702), a write-only one (reads
    // undefined), an overridden final function (QLRT -10750).
    static EJSONStatus do_errorReadOnlyAttribute(const VJSONObject* inFunctionObject, IJSONFunctionContext*);
    static EJSONStatus do_errorWriteOnlyAttribute(const VJSONObject* inFunctionObject,
                                                  IJSONFunctionContext* inContext);
    static EJSONStatus do_errorOverridingFinalFunction(const VJSONObject* inFunctionObject,
                                                       IJSONFunctionContext*);

    // The class of a class object; null for an object that is none.
    static VJSONClass* CastClassObject(const VJSONObject* inClassObject);
    // The truth of the function object's own property "__hidden".
    static bool IsFunctionHidden(const VJSONObject* inFunctionObject);
    // Its file changed or went away since the class was made, or its superclass is obsolete.
    bool IsObsolete() const;
    // An instance links to the class: the first one retains the class object, the last one
    // releases it.
    void UseClassObject();
    void UnuseClassObject();

    const VString& GetName() const { return fName; }
    const VString& GetOrigin() const { return fOrigin; }
    VJSONObject* GetClassObject() const { return fClassObject; }
    VJSONClass* GetSuperClass() const { return fSuperClass; }
    VJSONObject* GetSuperClassObject() const { return fSuperClassObject; }
    VJSONObject* GetPrototype() const { return fPrototype; }
    VJSONObject* GetConstructor() const { return fConstructor; }
    JSONInstantiator GetInstantiator() const { return fInstantiator; }
    int32_t GetDepth() const { return fDepth; }
    uint32_t GetID() const { return fID; }
    IFile* GetFile() const { return fFile; }
    uint32_t GetFlags() const { return fFlags; }
    bool AreFunctionsSet() const { return fFunctionsSet.load(std::memory_order_acquire); }
    uint32_t GetUseCount() const { return fUseCount.load(std::memory_order_relaxed); }

    // Member lookups, inherited members included; null when absent. Not retained: the class
    // keeps them alive.
    VJSONObject* GetFunction(const VString& inName) const;
    VJSONObject* GetGetter(const VString& inName) const;
    VJSONObject* GetSetter(const VString& inName) const;
    bool HasGetters() const { return !fGetters.empty(); }
    bool HasSetters() const { return !fSetters.empty(); }
    // Appends the names of the getters.
    void GetGetterNames(std::vector<VString>& ioNames) const;

    // ----- IJSONObject, on the class object
    EJSONStatus IJSON_GetProperty(const VJSONObject* inObject, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext* inContext) const override;
    EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const override;
    EJSONStatus IJSON_GetDescription(const VJSONObject* inObject, VString& outText) const override;
    EJSONStatus IJSON_SetProperty(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                                  VDBLanguageContext* inContext) override;
    EJSONStatus IJSON_RemoveProperty(VJSONObject* inObject, const VString& inName) override;
    EJSONStatus IJSON_Clone(const VJSONObject* inObject, VJSONCloner& inCloner, VJSONValue& outValue,
                            VError* outError) const override;

    // The class vocabulary.
    static const VString sClassProperty_name;
    static const VString sClassProperty_superclass;
    static const VString sClassProperty_prototype;
    static const VString sClassProperty_file;
    static const VString sClassProperty_new;
    static const VString sFunctionProperty_final;
    static const VString sClassProperty_id;
    static const VString sFunctionProperty_hidden;
    static const VString sFunctionProperty_local;
    static const VString sFunctionProperty_exposed;
    static const VString sFunctionProperty_eventName;
    static const VString sFunctionProperty_resultType;
    static const VString sFunctionProperty_resultTypeCode;
    static const VString sFunctionProperty_resultClass;
    static const VString sClassProperty_aliases;
    static const VString sAliasProperty_name;
    static const VString sAliasProperty_path;
    static const VString sClassProperty_properties;

    // The number of classes made in the process; the first class gets 1.
    static std::atomic<uint32_t> sSequenceID;

private:
    friend class VJSONClassStore;

    VJSONClass(const VString& inName, const VString& inOrigin, VJSONClass* inSuperClass,
               VJSONObject* inSuperClassObject, IFile* inFile, uint32_t inFlags);
    // The class object around a new class: a shared object of the root "Class".
    static VJSONObject* _MakeClassObject(VJSONClass* inClass);
    // The stub shared by the properties that lack the getter (setter).
    VJSONObject* _Stub(VJSONObject*& ioStub, JSONNativeFunction inFunction, const char* inPrefix,
                       const VString& inProperty);
    // Sets a property of a shared object while using its locker.
    static void _SetShared(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                           bool inOwn);

    VString fName;
    VString fOrigin;
    VJSONObject* fClassObject = nullptr;
    VJSONClass* fSuperClass = nullptr;
    VJSONObject* fSuperClassObject = nullptr;
    VJSONObject* fPrototype = nullptr;
    VJSONObject* fGetterTable = nullptr;
    VJSONObject* fSetterTable = nullptr;
    VJSONObject* fConstructor = nullptr;
    JSONInstantiator fInstantiator = &GenericInstantiator;
    FunctionMap fFunctions;
    FunctionMap fGetters;
    FunctionMap fSetters;
    VJSONObject* fReadOnlyStub = nullptr;
    VJSONObject* fWriteOnlyStub = nullptr;
    int32_t fDepth = 0;
    uint32_t fID = 0;
    IFile* fFile = nullptr;
    VTime fFileTime;
    // Written once, by the one effective SetFunctions; read by instantiation on any task.
    std::atomic<bool> fFunctionsSet{false};
    uint32_t fFlags = 0;
    std::atomic<uint32_t> fUseCount{0};
};

} // namespace kova
