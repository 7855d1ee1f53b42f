#include "kernel/json/VJSONClass.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::StCollectErrors;
using testing_json::StTemporaryFile;
using testing_json::ToU8;

// What the constructors of a test ran, in order.
std::vector<std::string> sLog;

VJSONClassStore* Store()
{
    return VJSONClassStore::GetProcessClassStore();
}

std::string Text(const VJSONValue& inValue)
{
    VString text;
    inValue.GetString(text);
    return ToU8(text);
}

// Calls the member new of a class object, as script code would.
VJSONValue New(VJSONObject* inClassObject, EJSONStatus* outStatus = nullptr)
{
    VJSONValue function = inClassObject->GetProperty("new");
    VJSONValue result;
    EJSONStatus status = EJSON_error;
    if (function.IsObject())
        status =
            function.GetObject()->CallAsFunction(inClassObject, nullptr, nullptr, result, nullptr, nullptr);
    if (outStatus != nullptr)
        *outStatus = status;
    return result;
}

EJSONStatus DoBase(const VJSONObject*, IJSONFunctionContext* inContext)
{
    sLog.push_back("base");
    // A root-most constructor may still ask for its super constructors: there are none to run.
    EJSONStatus status = VJSONClass::CallSuperConstructor(inContext);
    sLog.push_back("base super " + std::to_string(status));
    inContext->GetThisObject()->SetProperty("base", VJSONValue(1.0));
    return EJSON_done;
}

EJSONStatus DoDerived(const VJSONObject*, IJSONFunctionContext* inContext)
{
    sLog.push_back("derived");
    EJSONStatus status = VJSONClass::CallSuperConstructor(inContext);
    sLog.push_back("derived super " + std::to_string(status));
    return EJSON_done;
}

EJSONStatus DoForgetful(const VJSONObject*, IJSONFunctionContext*)
{
    sLog.push_back("forgetful");
    return EJSON_done;
}

EJSONStatus DoGetSize(const VJSONObject*, IJSONFunctionContext* inContext)
{
    inContext->SetResult(VJSONValue(42.0));
    return EJSON_done;
}

EJSONStatus DoNothing(const VJSONObject*, IJSONFunctionContext*)
{
    return EJSON_done;
}

TEST(VJSONClass, TheProcessStoreHoldsTheThreeRootClasses)
{
    ASSERT_NE(Store(), nullptr);
    EXPECT_EQ(ToU8(Store()->GetName()), "qel");
    VJSONObject* object = Store()->GetObjectClassObject();
    VJSONObject* classClass = Store()->GetClassClassObject();
    VJSONObject* function = Store()->GetFunctionClassObject();
    ASSERT_TRUE(object != nullptr && classClass != nullptr && function != nullptr);
    EXPECT_EQ(Store()->GetClassObject("Object", false).Get(), object);
    EXPECT_EQ(VJSONClass::CastClassObject(object)->GetDepth(), 0);
    EXPECT_EQ(VJSONClass::CastClassObject(classClass)->GetDepth(), 1);
    EXPECT_EQ(VJSONClass::CastClassObject(function)->GetDepth(), 1);
    // Class objects are instances of Class; a plain object takes Object.
    EXPECT_EQ(object->GetClassObject(), classClass);
    EXPECT_EQ(classClass->GetClassObject(), classClass);
    VRefPtr<VJSONObject> plain(new VJSONObject);
    EXPECT_EQ(plain->GetClassObject(), object);
    EXPECT_EQ(ToU8(VJSONClass::CastClassObject(function)->GetOrigin()), "qel");

    // None of them has an instantiator: new raises QLRT -10749 and yields null with status 0.
    for (VJSONObject* root : {object, classClass, function})
    {
        StCollectErrors errors;
        EJSONStatus status = EJSON_error;
        VJSONValue instance = New(root, &status);
        EXPECT_EQ(status, EJSON_done);
        EXPECT_TRUE(instance.IsNull());
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_NO_INSTANTIATOR});
    }
}

TEST(VJSONClass, AClassObjectAnswersItsOwnProperties)
{
    VRefPtr<VJSONObject> point(VJSONClass::Create(VString("Point"), {{VString("move"), &DoNothing, 0}},
                                                  nullptr, nullptr, &VJSONClass::GenericInstantiator,
                                                  VString(), 0));
    ASSERT_NE(point, nullptr);
    VJSONClass* pointClass = VJSONClass::CastClassObject(point.Get());
    EXPECT_EQ(Text(point->GetProperty("name")), "Point");
    EXPECT_EQ(point->GetProperty("superclass").GetObject(), Store()->GetObjectClassObject());
    EXPECT_TRUE(Store()->GetObjectClassObject()->GetProperty("superclass").IsNull());
    EXPECT_TRUE(point->GetProperty("__file").IsUndefined());
    EXPECT_EQ(point->GetProperty("_id").GetNumber(), double(pointClass->GetID()));
    EXPECT_GT(pointClass->GetID(), VJSONClass::CastClassObject(Store()->GetFunctionClassObject())->GetID());
    EXPECT_EQ(point->GetProperty("__prototype").GetObject(), pointClass->GetPrototype());
    EXPECT_TRUE(pointClass->GetPrototype()->GetProperty("move").IsObject());
    VString text;
    point->GetDescription(text, false);
    EXPECT_EQ(ToU8(text), "Class: Point");

    StCollectErrors errors;
    for (const char* name : {"name", "superclass", "__prototype", "__file"})
    {
        EXPECT_FALSE(point->SetProperty(name, VJSONValue(1.0))) << name;
        point->RemoveProperty(name);
    }
    EXPECT_EQ(errors.Codes(), std::vector<VError>(8, VE_JSON_READ_ONLY_PROPERTY));
    EXPECT_EQ(Text(point->GetProperty("name")), "Point");

    // A superclass object that is no class.
    errors.Flush();
    VRefPtr<VJSONObject> plain(new VJSONObject);
    EXPECT_EQ(VJSONClass::Create(VString("Bad"), plain.Get(), nullptr, VString(), 0), nullptr);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_NOT_A_SUPERCLASS});
}

TEST(VJSONClass, ConstructorsRunAlongTheChainOnceEach)
{
    // Derived (constructor) -> Middle (none) -> Base (constructor) -> Object.
    VRefPtr<VJSONObject> base(VJSONClass::Create(VString("Base"), {}, nullptr, &DoBase,
                                                 &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> middle(VJSONClass::Create(VString("Middle"), {}, base.Get(), nullptr,
                                                   &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> derived(VJSONClass::Create(VString("Derived"), {}, middle.Get(), &DoDerived,
                                                    &VJSONClass::GenericInstantiator, VString(), 0));
    ASSERT_NE(derived, nullptr);
    EXPECT_EQ(VJSONClass::CastClassObject(derived.Get())->GetDepth(), 3);

    // Called from a plain root context, as any native caller does: the constructor's own context
    // gives the scope its super call starts from.
    sLog.clear();
    StCollectErrors errors;
    EJSONStatus status = EJSON_error;
    VJSONValue instance = New(derived.Get(), &status);
    EXPECT_EQ(status, EJSON_done);
    ASSERT_TRUE(instance.IsObject());
    EXPECT_EQ(sLog, (std::vector<std::string>{"derived", "base", "base super 0", "derived super 0"}));
    EXPECT_TRUE(errors.Codes().empty());
    EXPECT_EQ(instance.GetObject()->GetConstructionLevel(), 3);
    EXPECT_FALSE(instance.GetObject()->IsConstructing());
    EXPECT_EQ(instance.GetObject()->GetProperty("base").GetNumber(), 1.0);
    EXPECT_TRUE(instance.GetObject()->IsInstanceOf(base.Get()));

    // A chain without constructor: the instance is at its class's depth at once.
    VRefPtr<VJSONObject> bare(VJSONClass::Create(VString("Bare"), {}, nullptr, nullptr,
                                                 &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> made(VJSONClass::CreateInstance(bare.Get(), nullptr));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetConstructionLevel(), 1);
    EXPECT_EQ(VJSONClass::FinalizeInstance(made.Get()), VE_OK);

    // Outside a construction a super call has nothing to do.
    VJSONFunctionContext outside(made.Get(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(VJSONClass::CallSuperConstructor(&outside), EJSON_error);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_SUPER_CONSTRUCTOR_MISPLACED});
}

TEST(VJSONClass, AConstructorThatSkipsItsSuperConstructorIsReported)
{
    VRefPtr<VJSONObject> base(VJSONClass::Create(VString("Base"), {}, nullptr, &DoBase,
                                                 &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> forgetful(VJSONClass::Create(VString("Forgetful"), {}, base.Get(), &DoForgetful,
                                                      &VJSONClass::GenericInstantiator, VString(), 0));
    sLog.clear();
    StCollectErrors errors;
    EJSONStatus status = EJSON_error;
    VJSONValue instance = New(forgetful.Get(), &status);
    // The constructor's status is not passed on: the instance is made all the same.
    EXPECT_EQ(status, EJSON_done);
    EXPECT_TRUE(instance.IsObject());
    EXPECT_EQ(sLog, std::vector<std::string>{"forgetful"});
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_SUPER_CONSTRUCTOR_NOT_CALLED});

    // An object built without its constructors.
    errors.Flush();
    VRefPtr<VJSONObject> raw(new VJSONObject(forgetful.Get()));
    EXPECT_EQ(VJSONClass::FinalizeInstance(raw.Get()), VE_JSON_CONSTRUCTOR_NOT_RUN);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_CONSTRUCTOR_NOT_RUN});
    EXPECT_EQ(errors.Param(1, "p1"), "Forgetful");
    EXPECT_EQ(raw->GetConstructionLevel(), 2);
}

TEST(VJSONClass, GettersSettersAndFunctionMarks)
{
    const std::vector<VJSONClass::FunctionDescriptor> functions{
        {VString("get size"), &DoGetSize, 0},
        {VString("set width"), &DoNothing, 0},
        {VString("grow"), &DoNothing, 0},
    };
    VRefPtr<VJSONObject> box(VJSONClass::Create(VString("Box"), functions, nullptr, nullptr,
                                                &VJSONClass::GenericInstantiator, VString(),
                                                VJSONClass::kClassFinalFunctions));
    VJSONClass* boxClass = VJSONClass::CastClassObject(box.Get());
    VRefPtr<VJSONObject> instance(VJSONClass::CreateInstance(box.Get(), nullptr));
    ASSERT_NE(instance, nullptr);

    EXPECT_EQ(instance->GetProperty("size").GetNumber(), 42.0);
    EXPECT_FALSE(instance->HasOwnProperty("size"));
    EXPECT_EQ(Text(boxClass->GetGetter("size")->GetOwnProperty("eventName")), "get");
    EXPECT_TRUE(boxClass->GetFunction("grow")->GetOwnProperty("final").IsTrue());
    EXPECT_TRUE(instance->GetProperty("grow").IsObject());

    StCollectErrors errors;
    // Only a getter: the read-only stub answers writes.
    EXPECT_FALSE(instance->SetProperty("size", VJSONValue(1.0)));
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_READ_ONLY_PROPERTY});
    // Only a setter: reading gives undefined from the write-only stub.
    EXPECT_TRUE(instance->GetProperty("width").IsUndefined());
    std::vector<VString> names;
    boxClass->GetGetterNames(names);
    EXPECT_EQ(names.size(), 2u);

    // The functions are set once.
    boxClass->SetFunctions({{VString("late"), &DoNothing, 0}}, nullptr, nullptr);
    EXPECT_EQ(boxClass->GetFunction("late"), nullptr);
    EXPECT_EQ(boxClass->GetInstantiator(), &VJSONClass::GenericInstantiator);
}

TEST(VJSONClass, CopiesReferToTheClassAndStubsReportTheirFaults)
{
    VRefPtr<VJSONObject> point(VJSONClass::Create(VString("Point"), {{VString("move"), &DoNothing, 0}},
                                                  nullptr, nullptr, &VJSONClass::GenericInstantiator,
                                                  VString(), 0));
    // A class object is never copied: a copy of what holds one refers to the class itself, and
    // loses nothing.
    VJSONValue holder(JSON_object);
    holder.GetObject()->SetProperty("kind", VJSONValue(point.Get()));
    VJSONValue copy = holder;
    VJSONCloner cloner;
    ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
    EXPECT_NE(copy.GetObject(), holder.GetObject());
    EXPECT_EQ(copy.GetObject()->GetProperty("kind").GetObject(), point.Get());

    // The stub for an overridden final function names the function.
    VJSONObject* move = VJSONClass::CastClassObject(point.Get())->GetFunction("move");
    VJSONFunctionContext context(nullptr, nullptr, nullptr, nullptr, nullptr);
    StCollectErrors errors;
    EXPECT_EQ(VJSONClass::do_errorOverridingFinalFunction(move, &context), EJSON_error);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_FINAL_FUNCTION_OVERRIDDEN});
    EXPECT_EQ(errors.Param(1, "p1"), "Point.move");
}

TEST(VJSONClassStore, LooksUpRegistersAndRemovesClasses)
{
    VRefPtr<VJSONClassStore> store(new VJSONClassStore(VString("test")));
    VRefPtr<VJSONObject> widget =
        store->AddClass(VString("Widget"), {}, nullptr, nullptr, &VJSONClass::GenericInstantiator, 0);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(store->GetClassObject("widget", true).Get(), widget.Get());
    EXPECT_EQ(store->GetClassObject("widget", false), nullptr);
    EXPECT_EQ(store->GetVisibleClassObject("Widget", false).Get(), widget.Get());
    EXPECT_TRUE(VJSONClassStore::EqualClassName(VString("WIDGET"), VString("widget"), true));
    EXPECT_FALSE(VJSONClassStore::EqualClassName(VString("WIDGET"), VString("widget"), false));

    StTemporaryFile file("Gadget.json");
    file->WriteBytes("{}");
    VRefPtr<VJSONObject> gadget(VJSONClass::Create(VString("Gadget"), nullptr, file.Get(), VString(), 0));
    VJSONClass::CastClassObject(gadget.Get())
        ->SetFunctions(std::vector<VJSONClass::FunctionDescriptor>(), nullptr,
                       &VJSONClass::GenericInstantiator);
    store->AddClass(gadget.Get(), 1); // hidden
    EXPECT_EQ(store->GetCount(), 2u);
    EXPECT_EQ(store->GetVisibleClassObject("Gadget", false), nullptr);
    VJSONClassStore::ClassMap classes;
    store->GetClasses(classes);
    EXPECT_EQ(classes.size(), 2u);
    store->GetVisibleClasses(classes);
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes.begin()->second.Get(), widget.Get());

    // The store seen as a JSON object.
    VRefPtr<VJSONClassStore> component(new VJSONClassStore(VString("parts")));
    store->AddComponentClass(VString("Parts"), component.Get());
    VRefPtr<VJSONObject> view(new VJSONObject(nullptr, store.Get()));
    EXPECT_EQ(view->GetProperty("Widget").GetObject(), widget.Get());
    EXPECT_TRUE(view->GetProperty("nothing").IsUndefined());
    VJSONValue first = view->GetProperty("Parts");
    VJSONValue second = view->GetProperty("Parts");
    ASSERT_TRUE(first.IsObject() && second.IsObject());
    EXPECT_NE(first.GetObject(), second.GetObject());
    EXPECT_EQ(first.GetObject()->GetImplementation(), component.Get());
    {
        StCollectErrors errors;
        EXPECT_FALSE(view->SetProperty("Widget", VJSONValue(1.0)));
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_CANNOT_SET_PROPERTY});
    }

    // No file defines a class any more: the class from a file goes, the other stays.
    std::vector<VString> removed;
    store->RemoveObsoleteClasses({}, removed);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(ToU8(removed[0]), "Gadget");
    EXPECT_EQ(store->GetCount(), 1u);
    EXPECT_NE(store->GetClassObject("Widget", false), nullptr);
    // A file now defines Widget: the class without file goes.
    std::map<VString, VRefPtr<IFile>, VJSONNameLess> files;
    files[VString("Widget")] = VRefPtr<IFile>::Retained(file.Get());
    removed.clear();
    store->RemoveObsoleteClasses(files, removed);
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(store->GetCount(), 0u);
}

} // namespace
} // namespace kova
