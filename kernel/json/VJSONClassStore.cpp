#include "kernel/json/VJSONClassStore.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/files/IFile.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONMemberFunction.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/values/CompareResult.h"
#include "kernel/values/Sanitizers.h"

#ifdef KOVA_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

namespace kova
{

namespace
{

const char kStoreDescription[] = "<<Class Store>>";

} // namespace

VJSONClassStore::VJSONClassStore(const VString& inName) : fName(inName) {}

VJSONClassStore* VJSONClassStore::GetProcessClassStore()
{
    VProcess* process = VProcess::sInstance;
    return process != nullptr ? process->GetClassStore() : nullptr;
}

VJSONClassStore::~VJSONClassStore() = default;

void VJSONClassStore::AddRootClasses()
{
    StLocker lock(fLock);
    // The roots are made by hand: their superclass and class are this store's own, whatever the
    // process's store is.
    VRefPtr<VJSONClass> objectClass(new VJSONClass(VString("Object"), fName, nullptr, nullptr, nullptr, 0));
    VRefPtr<VJSONObject> objectRoot(VJSONClass::_MakeClassObject(objectClass.Get()));
    VRefPtr<VJSONClass> classClass(
        new VJSONClass(VString("Class"), fName, objectClass.Get(), objectRoot.Get(), nullptr, 0));
    VRefPtr<VJSONObject> classRoot(VJSONClass::_MakeClassObject(classClass.Get()));
    objectRoot->_SetClass(classClass.Get());
    classRoot->_SetClass(classClass.Get());
    objectRoot->SetConstructionLevel(1);
    classRoot->SetConstructionLevel(2);
    AddClass(objectRoot.Get(), 0);
    AddClass(classRoot.Get(), 0);
    fObjectRoot = objectRoot.Get();
    fClassRoot = classRoot.Get();
    fObjectClass = objectClass.Get();

    VRefPtr<VJSONClass> functionClass(
        new VJSONClass(VString("Function"), fName, objectClass.Get(), objectRoot.Get(), nullptr, 0));
    VRefPtr<VJSONObject> functionRoot(VJSONClass::_MakeClassObject(functionClass.Get()));
    functionRoot->_SetClass(classClass.Get());
    AddClass(functionRoot.Get(), 0);
    fFunctionRoot = functionRoot.Get();

    objectClass->SetFunctions(std::vector<VJSONClass::FunctionDescriptor>{}, nullptr, nullptr);
    classClass->SetFunctions(
        std::vector<VJSONClass::FunctionDescriptor>{{VJSONClass::sClassProperty_new, &VJSONClass::do_new, 0}},
        nullptr, nullptr);
    functionClass->SetFunctions(
        std::vector<VJSONClass::FunctionDescriptor>{{VString("apply"), &VJSONMemberFunction::do_apply, 0},
                                                    {VString("call"), &VJSONMemberFunction::do_call, 0}},
        nullptr, nullptr);

#ifdef KOVA_ADDRESS_SANITIZER
    // Immortal by design: Object and Class are instances of Class, whose class object therefore
    // holds itself; Function's prototype holds instances of Function. What they reach is no leak.
    __lsan_ignore_object(fObjectRoot);
    __lsan_ignore_object(fClassRoot);
    __lsan_ignore_object(fFunctionRoot);
#endif
}

void VJSONClassStore::AddClass(VJSONObject* inClassObject, uint32_t inFlags)
{
    VJSONClass* cls = VJSONClass::CastClassObject(inClassObject);
    if (cls == nullptr)
        return;
    StLocker lock(fLock);
    fClasses[cls->GetName()] = VRefPtr<VJSONObject>::Retained(inClassObject);
    if ((inFlags & kHiddenClass) == 0)
        fVisibleClasses[cls->GetName()] = VRefPtr<VJSONObject>::Retained(inClassObject);
}

VRefPtr<VJSONObject> VJSONClassStore::AddClass(const VString& inName,
                                               const std::vector<VJSONClass::FunctionDescriptor>& inFunctions,
                                               VJSONObject* inSuperClassObject,
                                               JSONNativeFunction inConstructor,
                                               JSONInstantiator inInstantiator, uint32_t inFlags)
{
    VRefPtr<VJSONObject> classObject(
        VJSONClass::Create(inName, inSuperClassObject, nullptr, VString(), inFlags));
    if (!classObject)
        return nullptr;
    VJSONClass::CastClassObject(classObject.Get())->SetFunctions(inFunctions, inConstructor, inInstantiator);
    AddClass(classObject.Get(), 0);
    return classObject;
}

void VJSONClassStore::AddComponentClass(const VString& inName, VJSONClassStore* inStore)
{
    // Under the lock like every change of the maps, so that other tasks may use the store
    // meanwhile.
    StLocker lock(fLock);
    fComponents.emplace(inName, inStore);
}

void VJSONClassStore::RemoveObsoleteClasses(
    const std::map<VString, VRefPtr<IFile>, VJSONNameLess>& inClassFiles,
    std::vector<VString>& outRemovedNames)
{
    StLocker lock(fLock);
    for (auto it = fClasses.begin(); it != fClasses.end();)
    {
        const VJSONClass* cls = VJSONClass::CastClassObject(it->second.Get());
        const bool definedByFile = inClassFiles.count(it->first) != 0;
        const bool hasFile = cls != nullptr && cls->GetFile() != nullptr;
        bool remove = false;
        if (cls != nullptr)
            remove = hasFile ? (!definedByFile || cls->IsObsolete()) : (definedByFile || cls->IsObsolete());
        if (!remove)
        {
            ++it;
            continue;
        }
        if (hasFile)
            outRemovedNames.push_back(it->first);
        fVisibleClasses.erase(it->first);
        it = fClasses.erase(it);
    }
}

VRefPtr<VJSONObject> VJSONClassStore::_Find(const ClassMap& inClasses, const VString& inName,
                                            bool inCaseInsensitive) const
{
    if (!inCaseInsensitive)
    {
        auto found = inClasses.find(inName);
        return found != inClasses.end() ? found->second : nullptr;
    }
    for (const auto& [name, classObject] : inClasses)
    {
        if (classObject && name.CompareToStringRawCase(inName) == CR_EQUAL)
            return classObject;
    }
    return nullptr;
}

VRefPtr<VJSONObject> VJSONClassStore::GetClassObject(const VString& inName, bool inCaseInsensitive) const
{
    StLocker lock(fLock);
    return _Find(fClasses, inName, inCaseInsensitive);
}

VRefPtr<VJSONObject> VJSONClassStore::GetVisibleClassObject(const VString& inName,
                                                            bool inCaseInsensitive) const
{
    StLocker lock(fLock);
    return _Find(fVisibleClasses, inName, inCaseInsensitive);
}

bool VJSONClassStore::EqualClassName(const VString& inFirst, const VString& inSecond, bool inCaseInsensitive)
{
    return inCaseInsensitive ? inFirst.CompareToStringRawCase(inSecond) == CR_EQUAL
                             : inFirst.EqualToStringRaw(inSecond);
}

void VJSONClassStore::GetClasses(ClassMap& outClasses) const
{
    StLocker lock(fLock);
    outClasses = fClasses;
}

void VJSONClassStore::GetVisibleClasses(ClassMap& outClasses) const
{
    StLocker lock(fLock);
    outClasses = fVisibleClasses;
}

void VJSONClassStore::GetVisibleComponents(ComponentMap& outComponents) const
{
    StLocker lock(fLock);
    outComponents = fComponents;
}

VRefPtr<VJSONClassStore> VJSONClassStore::GetComponentClassStore(const VString& inName) const
{
    StLocker lock(fLock);
    auto found = fComponents.find(inName);
    return found != fComponents.end() ? VRefPtr<VJSONClassStore>::Retained(found->second) : nullptr;
}

size_t VJSONClassStore::GetCount() const
{
    StLocker lock(fLock);
    return fClasses.size();
}

// ---------------------------------------------------------------------------------------------
// The store as an object

EJSONStatus VJSONClassStore::IJSON_GetProperty(const VJSONObject*, const VString& inName,
                                               VJSONValue& outValue, VDBLanguageContext*) const
{
    StLocker lock(fLock);
    auto found = fClasses.find(inName);
    if (found != fClasses.end())
    {
        outValue.SetObject(found->second.Get());
        return EJSON_done;
    }
    auto component = fComponents.find(inName);
    if (component != fComponents.end())
    {
        VRefPtr<VJSONObject> wrapper(new VJSONObject(nullptr, component->second, false));
        outValue.SetObject(wrapper.Get());
        return EJSON_done;
    }
    outValue.SetUndefined();
    return EJSON_done;
}

EJSONStatus VJSONClassStore::IJSON_SetProperty(VJSONObject*, const VString&, const VJSONValue&,
                                               VDBLanguageContext*)
{
    _ThrowError(VE_JSON_CANNOT_SET_PROPERTY);
    return EJSON_error;
}

EJSONStatus VJSONClassStore::IJSON_Clear(VJSONObject*)
{
    return EJSON_done;
}

bool VJSONClassStore::IJSON_IsEmpty(const VJSONObject*) const
{
    return false;
}

EJSONStatus VJSONClassStore::IJSON_Stringify(const VJSONObject*, VJSONWriter&, VString& outText,
                                             VError* outError) const
{
    if (outError != nullptr)
        *outError = VE_OK;
    outText.FromCString(kStoreDescription);
    return EJSON_done;
}

EJSONStatus VJSONClassStore::IJSON_GetPropertyNames(std::vector<VString>& outNames) const
{
    StLocker lock(fLock);
    for (const auto& [name, classObject] : fVisibleClasses)
        outNames.push_back(name);
    return EJSON_done;
}

EJSONStatus VJSONClassStore::IJSON_GetDescription(const VJSONObject*, VString& outText) const
{
    outText.FromCString(kStoreDescription);
    return EJSON_done;
}

} // namespace kova
