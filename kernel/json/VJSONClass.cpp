#include "kernel/json/VJSONClass.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/IFile.h"
#include "kernel/json/IJSONFunctionContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONMemberFunction.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/values/CompareResult.h"

namespace kova
{

const VString VJSONClass::sClassProperty_name("name");
const VString VJSONClass::sClassProperty_superclass("superclass");
const VString VJSONClass::sClassProperty_prototype("__prototype");
const VString VJSONClass::sClassProperty_file("__file");
const VString VJSONClass::sClassProperty_new("new");
const VString VJSONClass::sFunctionProperty_final("final");
const VString VJSONClass::sClassProperty_id("_id");
const VString VJSONClass::sFunctionProperty_hidden("__hidden");
const VString VJSONClass::sFunctionProperty_local("local");
const VString VJSONClass::sFunctionProperty_exposed("exposed");
const VString VJSONClass::sFunctionProperty_eventName("eventName");
const VString VJSONClass::sFunctionProperty_resultType("resultType");
const VString VJSONClass::sFunctionProperty_resultTypeCode("resultTypeCode");
const VString VJSONClass::sFunctionProperty_resultClass("resultClass");
const VString VJSONClass::sClassProperty_aliases("aliases");
const VString VJSONClass::sAliasProperty_name("name");
const VString VJSONClass::sAliasProperty_path("path");
const VString VJSONClass::sClassProperty_properties("properties");

std::atomic<uint32_t> VJSONClass::sSequenceID{0};

namespace
{

// The names a class object answers itself, and refuses to have written.
bool IsProtectedName(const VString& inName)
{
    return inName.EqualToStringRaw(VJSONClass::sClassProperty_prototype) ||
           inName.EqualToStringRaw(VJSONClass::sClassProperty_name) ||
           inName.EqualToStringRaw(VJSONClass::sClassProperty_superclass) ||
           inName.EqualToStringRaw(VJSONClass::sClassProperty_file);
}

// A new shared object of the default class whose locker serves references only: the tables of
// getters and setters.
VJSONObject* NewFunctionTable()
{
    VRefPtr<VStorageLocker> locker(new VStorageLocker(true, false));
    return new VJSONObject(nullptr, nullptr, locker.Get(), false);
}

} // namespace

bool VJSONNameLess::operator()(const VString& inFirst, const VString& inSecond) const
{
    return inFirst.CompareToStringRaw(inSecond) == CR_SMALLER;
}

// ---------------------------------------------------------------------------------------------
// Making classes

VJSONClass::VJSONClass(const VString& inName, const VString& inOrigin, VJSONClass* inSuperClass,
                       VJSONObject* inSuperClassObject, IFile* inFile, uint32_t inFlags)
    : fName(inName), fOrigin(inOrigin), fSuperClass(inSuperClass),
      fSuperClassObject(RetainRefCountable(inSuperClassObject)),
      fDepth(inSuperClass != nullptr ? inSuperClass->fDepth + 1 : 0),
      fID(sSequenceID.fetch_add(1, std::memory_order_relaxed) + 1), fFile(RetainRefCountable(inFile)),
      fFlags(inFlags)
{
    if (fFile != nullptr)
    {
        VTime modified;
        if (fFile->GetTimeAttributes(&modified, nullptr, nullptr) == VE_OK)
            fFileTime = modified;
    }
    else
    {
        VTime::Now(fFileTime);
    }
    fPrototype = new VJSONObject(nullptr, nullptr, true);
}

VJSONClass::~VJSONClass()
{
    ReleaseRefCountable(&fPrototype);
    ReleaseRefCountable(&fGetterTable);
    ReleaseRefCountable(&fSetterTable);
    ReleaseRefCountable(&fConstructor);
    ReleaseRefCountable(&fReadOnlyStub);
    ReleaseRefCountable(&fWriteOnlyStub);
    ReleaseRefCountable(&fSuperClassObject);
    ReleaseRefCountable(&fFile);
}

VJSONObject* VJSONClass::_MakeClassObject(VJSONClass* inClass)
{
    VJSONClassStore* store = VJSONClassStore::GetProcessClassStore();
    VJSONObject* classClass = store != nullptr ? store->GetClassClassObject() : nullptr;
    VJSONObject* object = new VJSONObject(classClass, inClass, true);
    inClass->fClassObject = object;
    return object;
}

VJSONObject* VJSONClass::Create(const VString& inName, VJSONObject* inSuperClassObject, IFile* inFile,
                                const VString& inOrigin, uint32_t inFlags)
{
    VJSONObject* superClassObject = inSuperClassObject;
    if (superClassObject == nullptr)
    {
        VJSONClassStore* store = VJSONClassStore::GetProcessClassStore();
        superClassObject = store != nullptr ? store->GetObjectClassObject() : nullptr;
    }
    VJSONClass* superClass = nullptr;
    if (superClassObject != nullptr)
    {
        superClass = CastClassObject(superClassObject);
        if (superClass == nullptr)
        {
            _ThrowError(VE_JSON_NOT_A_SUPERCLASS);
            return nullptr;
        }
    }
    VRefPtr<VJSONClass> cls(new VJSONClass(inName, inOrigin, superClass, superClassObject, inFile, inFlags));
    return _MakeClassObject(cls.Get());
}

VJSONObject* VJSONClass::Create(const VString& inName, const std::vector<FunctionDescriptor>& inFunctions,
                                VJSONObject* inSuperClassObject, JSONNativeFunction inConstructor,
                                JSONInstantiator inInstantiator, const VString& inOrigin, uint32_t inFlags)
{
    VJSONObject* classObject = Create(inName, inSuperClassObject, nullptr, inOrigin, inFlags);
    if (classObject != nullptr)
        CastClassObject(classObject)->SetFunctions(inFunctions, inConstructor, inInstantiator);
    return classObject;
}

// ---------------------------------------------------------------------------------------------
// Functions

void VJSONClass::_SetShared(VJSONObject* inObject, const VString& inName, const VJSONValue& inValue,
                            bool inOwn)
{
    VJSONUser user(inObject);
    if (inOwn)
        inObject->SetOwnProperty(inName, inValue);
    else
        inObject->SetProperty(inName, inValue);
}

void VJSONClass::SetFunctions(const std::vector<FunctionDescriptor>& inFunctions,
                              JSONNativeFunction inConstructor, JSONInstantiator inInstantiator)
{
    if (AreFunctionsSet())
        return;
    // Class flag 2 makes every function final (function flag 1).
    const uint32_t finalFlag = (fFlags & kClassFinalFunctions) >> 1;
    std::vector<std::pair<VString, VRefPtr<VJSONObject>>> functions;
    functions.reserve(inFunctions.size());
    for (const FunctionDescriptor& descriptor : inFunctions)
    {
        functions.emplace_back(descriptor.fName, VRefPtr<VJSONObject>(VJSONMemberFunction::Create(
                                                     descriptor.fFunction, descriptor.fName, this,
                                                     descriptor.fFlags | finalFlag)));
    }
    VRefPtr<VJSONObject> constructor;
    if (inConstructor != nullptr)
        constructor.Reset(VJSONMemberFunction::CreateNamed(inConstructor, VString("constructor"), this));
    SetFunctions(functions, constructor.Get(), inInstantiator);
}

void VJSONClass::SetFunctions(const std::vector<std::pair<VString, VRefPtr<VJSONObject>>>& inFunctions,
                              VJSONObject* inConstructorObject, JSONInstantiator inInstantiator)
{
    if (AreFunctionsSet())
        return;
    if (inConstructorObject != fConstructor)
    {
        VJSONObject* previous = fConstructor;
        fConstructor = RetainRefCountable(inConstructorObject);
        ReleaseRefCountable(&previous);
    }
    fInstantiator = inInstantiator;
    // Inheritance is flattened here: the superclass's functions are set already.
    if (fSuperClass != nullptr && fSuperClass != this)
    {
        fFunctions = fSuperClass->fFunctions;
        fGetters = fSuperClass->fGetters;
        fSetters = fSuperClass->fSetters;
    }
    for (const auto& [name, function] : inFunctions)
    {
        if (!function)
            continue;
        _SetShared(fPrototype, name, VJSONValue(function.Get()), false);
        fFunctions[name] = function.Get();
        const int32_t blank = name.FindUniChar(u' ');
        if (blank == 0)
            continue;
        const VString word = name.Before(blank);
        _SetShared(function.Get(), sFunctionProperty_eventName, VJSONValue(word), true);
        const VString property = name.After(blank);
        if (word.EqualToUSASCIICString("get"))
        {
            if (fGetterTable == nullptr)
                fGetterTable = NewFunctionTable();
            _SetShared(fGetterTable, property, VJSONValue(function.Get()), false);
            fGetters[property] = function.Get();
        }
        else if (word.EqualToUSASCIICString("set"))
        {
            if (fSetterTable == nullptr)
                fSetterTable = NewFunctionTable();
            _SetShared(fSetterTable, property, VJSONValue(function.Get()), false);
            fSetters[property] = function.Get();
        }
    }
    for (const auto& [name, getter] : fGetters)
    {
        if (fSetters.count(name) == 0)
            fSetters[name] = _Stub(fReadOnlyStub, &do_errorReadOnlyAttribute, "set ", name);
    }
    for (const auto& [name, setter] : fSetters)
    {
        if (fGetters.count(name) == 0)
            fGetters[name] = _Stub(fWriteOnlyStub, &do_errorWriteOnlyAttribute, "get ", name);
    }
    fFunctionsSet.store(true, std::memory_order_release);
}

VJSONObject* VJSONClass::_Stub(VJSONObject*& ioStub, JSONNativeFunction inFunction, const char* inPrefix,
                               const VString& inProperty)
{
    // One stub for all the properties that need it; it bears the first one's name.
    if (ioStub == nullptr)
    {
        VString member(inPrefix);
        member.AppendString(inProperty);
        ioStub = VJSONMemberFunction::Create(inFunction, member, this, kFunctionFinal);
    }
    return ioStub;
}

VJSONObject* VJSONClass::GetFunction(const VString& inName) const
{
    auto found = fFunctions.find(inName);
    return found != fFunctions.end() ? found->second : nullptr;
}

VJSONObject* VJSONClass::GetGetter(const VString& inName) const
{
    auto found = fGetters.find(inName);
    return found != fGetters.end() ? found->second : nullptr;
}

VJSONObject* VJSONClass::GetSetter(const VString& inName) const
{
    auto found = fSetters.find(inName);
    return found != fSetters.end() ? found->second : nullptr;
}

void VJSONClass::GetGetterNames(std::vector<VString>& ioNames) const
{
    for (const auto& [name, getter] : fGetters)
        ioNames.push_back(name);
}

VJSONClass* VJSONClass::CastClassObject(const VJSONObject* inClassObject)
{
    return inClassObject != nullptr ? dynamic_cast<VJSONClass*>(inClassObject->GetImplementation()) : nullptr;
}

bool VJSONClass::IsFunctionHidden(const VJSONObject* inFunctionObject)
{
    return inFunctionObject != nullptr &&
           inFunctionObject->GetOwnProperty(sFunctionProperty_hidden).GetBool();
}

// ---------------------------------------------------------------------------------------------
// Instances

void VJSONClass::UseClassObject()
{
    if (fUseCount.fetch_add(1, std::memory_order_acq_rel) == 0 && fClassObject != nullptr)
        fClassObject->Retain();
}

void VJSONClass::UnuseClassObject()
{
    if (fUseCount.fetch_sub(1, std::memory_order_acq_rel) == 1 && fClassObject != nullptr)
        fClassObject->Release();
}

VJSONObject* VJSONClass::GenericInstantiator(VJSONObject* inClassObject, IJSONFunctionContext*)
{
    return new VJSONObject(inClassObject, nullptr, false);
}

VJSONObject* VJSONClass::CreateInstance(VJSONObject* inClassObject, IJSONFunctionContext* inContext)
{
    VJSONClass* cls = CastClassObject(inClassObject);
    if (cls == nullptr || !cls->AreFunctionsSet())
        return nullptr;
    if (cls->fInstantiator == nullptr)
    {
        _ThrowError(VE_JSON_NO_INSTANTIATOR);
        return nullptr;
    }
    VJSONObject* instance = cls->fInstantiator(inClassObject, inContext);
    if (instance != nullptr)
        cls->ConstructInstance(instance, inContext);
    return instance;
}

void VJSONClass::ConstructInstance(VJSONObject* inInstance, IJSONFunctionContext* inContext)
{
    // The most derived class with a constructor, and the depth of the root-most one.
    VJSONClass* mostDerived = nullptr;
    int32_t rootMost = -1;
    for (VJSONClass* current = this; current != nullptr; current = current->fSuperClass)
    {
        if (current->fConstructor == nullptr)
            continue;
        if (mostDerived == nullptr)
            mostDerived = current;
        rootMost = current->fDepth;
    }
    if (mostDerived == nullptr)
    {
        inInstance->SetConstructionLevel(fDepth);
        inInstance->SetConstructing(false);
        return;
    }
    inInstance->SetConstructing(true);
    inInstance->SetConstructionLevel(rootMost);
    // The constructor's status is not passed on: the instance stands either way.
    mostDerived->CallConstructor(inInstance, inContext);
    inInstance->SetConstructionLevel(fDepth);
    inInstance->SetConstructing(false);
}

EJSONStatus VJSONClass::CallConstructor(VJSONObject* inInstance, IJSONFunctionContext* inContext)
{
    if (fConstructor == nullptr || fConstructor->GetImplementation() == nullptr)
        return EJSON_unhandled;
    // Without a caller's context the constructor runs with no parameters.
    VJSONFunctionContext root(inInstance, nullptr, nullptr, nullptr, nullptr);
    VJSONFunctionContext child(inInstance, nullptr, inContext != nullptr ? inContext : &root);
    child.SetResultIsExpected(false);
    // The constructor's own scope: its super call starts from this class, not the caller's.
    child.SetScope(fConstructor, inInstance);
    EJSONStatus status = fConstructor->GetImplementation()->IJSON_CallAsFunction(fConstructor, &child);
    if (status != EJSON_done)
        return status;
    // Done: the super constructors must have run. The classes below the construction level are
    // constructed; the one at the level is the root-most constructor, not run yet until a super
    // call moved the level past it.
    for (const VJSONClass* current = fSuperClass; current != nullptr; current = current->fSuperClass)
    {
        if (current->fDepth < inInstance->GetConstructionLevel())
            return EJSON_done;
        if (current->fConstructor != nullptr)
        {
            _ThrowError(VE_JSON_SUPER_CONSTRUCTOR_NOT_CALLED);
            return EJSON_error;
        }
    }
    return EJSON_done;
}

EJSONStatus VJSONClass::CallSuperConstructor(IJSONFunctionContext* inContext)
{
    VJSONObject* instance = inContext != nullptr ? inContext->GetThisObject() : nullptr;
    VJSONClass* scope = inContext != nullptr ? inContext->GetScopeClass() : nullptr;
    if (instance == nullptr || scope == nullptr || scope->fDepth == 0)
    {
        _ThrowError(VE_JSON_SUPER_CONSTRUCTOR_MISPLACED);
        return EJSON_error;
    }
    if (scope->fDepth > instance->GetConstructionLevel())
    {
        EJSONStatus status = EJSON_unhandled;
        for (VJSONClass* current = scope->fSuperClass; current != nullptr; current = current->fSuperClass)
        {
            status = current->CallConstructor(instance, inContext);
            if (status != EJSON_unhandled || current->fDepth <= instance->GetConstructionLevel())
                break;
        }
        instance->SetConstructionLevel(scope->fDepth);
        return status;
    }
    const VJSONClass* own = instance->GetClass();
    if (own == nullptr || instance->GetConstructionLevel() != own->fDepth || instance->IsConstructing())
        return EJSON_done;
    _ThrowError(VE_JSON_SUPER_CONSTRUCTOR_MISPLACED);
    return EJSON_error;
}

VError VJSONClass::FinalizeInstance(VJSONObject* inObject)
{
    VJSONClass* cls = inObject != nullptr ? inObject->GetClass() : nullptr;
    if (cls == nullptr)
        return VE_OK;
    inObject->SetConstructionLevel(cls->fDepth);
    for (const VJSONClass* current = cls; current != nullptr; current = current->fSuperClass)
    {
        if (current->fConstructor != nullptr)
        {
            _ThrowError(VE_JSON_CONSTRUCTOR_NOT_RUN, &current->fName);
            return VE_JSON_CONSTRUCTOR_NOT_RUN;
        }
    }
    return VE_OK;
}

EJSONStatus VJSONClass::do_new(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VJSONObject* classObject = inContext->GetThisObject();
    VJSONClass* cls = CastClassObject(classObject);
    VJSONObject* instance = nullptr;
    if (cls != nullptr && cls->AreFunctionsSet())
    {
        if (cls->fInstantiator != nullptr)
        {
            instance = cls->fInstantiator(classObject, inContext);
            if (instance != nullptr)
                cls->ConstructInstance(instance, inContext);
        }
        else
        {
            _ThrowError(VE_JSON_NO_INSTANTIATOR);
        }
    }
    inContext->SetResult(VJSONValue(instance), IJSONFunctionContext::kResultKind);
    ReleaseRefCountable(&instance);
    return EJSON_done;
}

EJSONStatus VJSONClass::do_errorReadOnlyAttribute(const VJSONObject*, IJSONFunctionContext*)
{
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONClass::do_errorWriteOnlyAttribute(const VJSONObject*, IJSONFunctionContext* inContext)
{
    inContext->SetResult(VJSONValue(VJSONValue::sUndefined), IJSONFunctionContext::kResultKind);
    return EJSON_done;
}

EJSONStatus VJSONClass::do_errorOverridingFinalFunction(const VJSONObject* inFunctionObject,
                                                        IJSONFunctionContext*)
{
    VString description;
    if (inFunctionObject != nullptr)
    {
        VJSONValue value = inFunctionObject->GetProperty(VString("_description"));
        if (value.IsString())
            value.GetString(description);
    }
    _ThrowError(VE_JSON_FINAL_FUNCTION_OVERRIDDEN, description.IsEmpty() ? nullptr : &description);
    return EJSON_error;
}

bool VJSONClass::IsObsolete() const
{
    if (fFile != nullptr)
    {
        // What the file system says stays here.
        StErrorContextInstaller errors(false, true);
        VTime modified;
        if (fFile->GetTimeAttributes(&modified, nullptr, nullptr) != VE_OK)
        {
            if (!fFile->Exists())
                return true;
        }
        else if (fFileTime < modified)
        {
            return true;
        }
    }
    return fSuperClass != nullptr && fSuperClass->IsObsolete();
}

// ---------------------------------------------------------------------------------------------
// The class object

EJSONStatus VJSONClass::IJSON_GetProperty(const VJSONObject*, const VString& inName, VJSONValue& outValue,
                                          VDBLanguageContext*) const
{
    if (inName.EqualToStringRaw(sClassProperty_prototype))
        outValue.SetObject(fPrototype);
    else if (inName.EqualToStringRaw(sClassProperty_name))
        outValue.SetString(fName);
    else if (inName.EqualToStringRaw(sClassProperty_superclass))
        outValue = fSuperClassObject != nullptr ? VJSONValue(fSuperClassObject) : VJSONValue(JSON_null);
    else if (inName.EqualToStringRaw(sClassProperty_file))
    {
        if (fFile != nullptr)
            outValue.SetString(fFile->GetPathWithFileSystem());
    }
    else if (inName.EqualToStringRaw(sClassProperty_id))
        outValue.SetNumber(fID);
    else
        return EJSON_unhandled;
    return EJSON_done;
}

EJSONStatus VJSONClass::IJSON_GetPropertyNames(std::vector<VString>& outNames) const
{
    outNames.push_back(sClassProperty_name);
    outNames.push_back(sClassProperty_superclass);
    return EJSON_done;
}

EJSONStatus VJSONClass::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.FromCString("Class: ");
    outText.AppendString(fName);
    return EJSON_done;
}

EJSONStatus VJSONClass::IJSON_SetProperty(VJSONObject*, const VString& inName, const VJSONValue&,
                                          VDBLanguageContext*)
{
    if (!IsProtectedName(inName))
        return EJSON_unhandled;
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONClass::IJSON_RemoveProperty(VJSONObject*, const VString& inName)
{
    if (!IsProtectedName(inName))
        return EJSON_unhandled;
    _ThrowError(VE_JSON_READ_ONLY_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONClass::IJSON_Clone(const VJSONObject* inObject, VJSONCloner&, VJSONValue& outValue,
                                    VError* outError) const
{
    // A class object is never copied: a copy refers to the class itself.
    outValue.SetObject(const_cast<VJSONObject*>(inObject));
    if (outError != nullptr)
        *outError = VE_OK;
    return EJSON_done;
}

} // namespace kova
