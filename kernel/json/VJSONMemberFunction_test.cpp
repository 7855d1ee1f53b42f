#include "kernel/json/VJSONMemberFunction.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONFunctionContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONSuper.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::ToU8;

// What the last call of Record saw.
struct Seen
{
    VJSONObject* fThisObject = nullptr;
    VJSONArray* fThisArray = nullptr;
    std::vector<double> fParams;
    std::string fWho;
};
Seen sSeen;

EJSONStatus Record(const VJSONObject* inFunction, IJSONFunctionContext* inContext)
{
    sSeen = Seen();
    sSeen.fThisObject = inContext->GetThisObject();
    sSeen.fThisArray = inContext->GetThisArray();
    for (size_t i = 1; i <= inContext->GetParamCount(); ++i)
        sSeen.fParams.push_back(inContext->GetParam(i).GetNumber());
    VString name;
    inFunction->GetProperty("_description").GetString(name);
    sSeen.fWho = ToU8(name);
    inContext->SetResult(VJSONValue(double(inContext->GetParamCount())), 3);
    return EJSON_done;
}

EJSONStatus CallSuperGreet(const VJSONObject*, IJSONFunctionContext* inContext)
{
    VRefPtr<VJSONObject> super(VJSONSuper::CreateObject());
    VJSONValue member = super->GetProperty("greet");
    VJSONFunctionContext child(inContext->GetThisObject(), nullptr, inContext);
    return member.GetObject()->GetImplementation()->IJSON_CallAsFunction(member.GetObject(), &child);
}

VJSONObject* FunctionMember(const char* inName)
{
    VJSONObject* function = VJSONClassStore::GetProcessClassStore()->GetFunctionClassObject();
    return VJSONClass::CastClassObject(function)->GetFunction(VString(inName));
}

// Runs f.member(arguments...) as script code would: the function object is the receiver.
EJSONStatus Invoke(VJSONObject* inFunction, const char* inMember, std::vector<VJSONValue> inArguments,
                   VJSONValue& outResult, uint8_t* outKind = nullptr)
{
    VJSONFunctionContext context(inFunction, nullptr, &inArguments, nullptr, nullptr);
    VJSONObject* member = FunctionMember(inMember);
    EJSONStatus status = member->GetImplementation()->IJSON_CallAsFunction(member, &context);
    context.GetResult(outResult);
    if (outKind != nullptr)
        *outKind = context.GetResultLegacyValueKind();
    return status;
}

class VJSONMemberFunctionTest : public ::testing::Test
{
protected:
    VRefPtr<VJSONObject> fFunction{VJSONMemberFunction::Create(&Record, VString("record"), nullptr, 0)};
};

TEST_F(VJSONMemberFunctionTest, ApplyAndCallSetTheReceiverAndTheParameters)
{
    VJSONValue receiver(JSON_object);
    VJSONValue array = Parse("[1,2]");
    VJSONValue result;
    uint8_t kind = 0;

    EXPECT_EQ(Invoke(fFunction.Get(), "apply", {receiver, array}, result, &kind), EJSON_done);
    EXPECT_EQ(sSeen.fThisObject, receiver.GetObject());
    EXPECT_EQ(sSeen.fParams, (std::vector<double>{1, 2}));
    EXPECT_EQ(result.GetNumber(), 2.0);
    EXPECT_EQ(kind, 3);

    EXPECT_EQ(Invoke(fFunction.Get(), "apply", {VJSONValue(7.0)}, result), EJSON_done);
    EXPECT_EQ(sSeen.fThisObject, nullptr);
    EXPECT_TRUE(sSeen.fParams.empty());

    // An array receiver.
    EXPECT_EQ(Invoke(fFunction.Get(), "call", {array, VJSONValue(5.0), VJSONValue(6.0)}, result), EJSON_done);
    EXPECT_EQ(sSeen.fThisArray, array.GetArray());
    EXPECT_EQ(sSeen.fParams, (std::vector<double>{5, 6}));

    // call() runs in a child context: the caller's (empty) parameters, no receiver.
    EXPECT_EQ(Invoke(fFunction.Get(), "call", {}, result, &kind), EJSON_done);
    EXPECT_EQ(sSeen.fThisObject, nullptr);
    EXPECT_TRUE(sSeen.fParams.empty());
    // A child's result reaches its parent with the kind 5.
    EXPECT_EQ(kind, 5);
    EXPECT_EQ(result.GetNumber(), 0.0);
}

TEST_F(VJSONMemberFunctionTest, ApplyAndCallOnWhatCannotBeCalled)
{
    VRefPtr<VJSONObject> plain(new VJSONObject);
    for (const char* member : {"apply", "call"})
    {
        StCollectErrors errors;
        VJSONValue result;
        EXPECT_EQ(Invoke(plain.Get(), member, {}, result), EJSON_error) << member;
        EXPECT_TRUE(result.IsUndefined());
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_CALL_FAILED});
    }
}

TEST_F(VJSONMemberFunctionTest, AFunctionObjectDescribesItselfAndRefusesChanges)
{
    VJSONObject* apply = FunctionMember("apply");
    VString text;
    apply->GetProperty("_description").GetString(text);
    EXPECT_EQ(ToU8(text), "Function.apply");
    apply->GetDescription(text, false);
    EXPECT_EQ(ToU8(text), "<<Native Function: Function.apply >>");
    EXPECT_TRUE(apply->IsInstanceOf(VJSONClassStore::GetProcessClassStore()->GetFunctionClassObject()));

    StCollectErrors errors;
    EXPECT_FALSE(fFunction->SetProperty("x", VJSONValue(1.0)));
    fFunction->RemoveProperty("x");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_READ_ONLY_PROPERTY, VE_JSON_READ_ONLY_PROPERTY}));

    // Marks are own properties all the same.
    VRefPtr<VJSONObject> marked(VJSONMemberFunction::Create(
        &Record, VString("m"), nullptr, VJSONClass::kFunctionFinal | VJSONClass::kFunctionHidden));
    EXPECT_TRUE(marked->GetOwnProperty("final").IsTrue());
    EXPECT_TRUE(VJSONClass::IsFunctionHidden(marked.Get()));
    EXPECT_FALSE(VJSONClass::IsFunctionHidden(fFunction.Get()));

    // A clone is a callable function without owner, not shared unless the cloner shares.
    VJSONValue copy(marked.Get());
    VJSONCloner cloner;
    ASSERT_EQ(cloner.CloneValue(copy), VE_OK);
    ASSERT_NE(copy.GetObject(), marked.Get());
    EXPECT_EQ(copy.GetObject()->GetStorageLocker(), nullptr);
    EXPECT_TRUE(copy.GetObject()->GetOwnProperty("final").IsTrue());
    EXPECT_EQ(copy.GetObject()->GetImplementation()->IJSON_GetFunctionClassOwner(copy.GetObject()), nullptr);
    VJSONValue result;
    std::vector<VJSONValue> arguments{VJSONValue(1.0)};
    EXPECT_EQ(copy.GetObject()->CallAsFunction(nullptr, nullptr, &arguments, result, nullptr, nullptr),
              EJSON_done);
    EXPECT_EQ(result.GetNumber(), 1.0);
}

TEST_F(VJSONMemberFunctionTest, CallAsFunctionTakesTheArrayAsReceiverAndTheListAsParameters)
{
    VJSONValue array = Parse("[9]");
    std::vector<VJSONValue> arguments{VJSONValue(3.0), VJSONValue(4.0)};
    VJSONValue result;
    EXPECT_EQ(fFunction->CallAsFunction(nullptr, array.GetArray(), &arguments, result, nullptr, nullptr),
              EJSON_done);
    EXPECT_EQ(sSeen.fThisArray, array.GetArray());
    EXPECT_EQ(sSeen.fParams, (std::vector<double>{3, 4}));
    EXPECT_EQ(result.GetNumber(), 2.0);
    VRefPtr<VJSONObject> plain(new VJSONObject);
    EXPECT_EQ(plain->CallAsFunction(nullptr, nullptr, nullptr, result, nullptr, nullptr), EJSON_unhandled);
}

TEST(VJSONFunctionContext, TypedParametersReportTheirMismatches)
{
    VJSONValue object(JSON_object);
    VJSONValue array(JSON_array);
    std::vector<VJSONValue> parameters{VJSONValue(2.75),
                                       VJSONValue(VString("12")),
                                       VJSONValue(JSON_true),
                                       object,
                                       array,
                                       VJSONValue(std::numeric_limits<double>::quiet_NaN()),
                                       VJSONValue(1e12),
                                       VJSONValue(-1e12),
                                       VJSONValue(-2.75)};
    VJSONFunctionContext context(nullptr, nullptr, &parameters, nullptr, nullptr);
    EXPECT_EQ(context.GetParamCount(), parameters.size());
    EXPECT_TRUE(context.GetParam(0).IsUndefined());
    EXPECT_TRUE(context.GetParam(parameters.size() + 1).IsUndefined());

    {
        StCollectErrors errors;
        EXPECT_EQ(context.GetNumberParam(1), 2.75);
        EXPECT_EQ(context.GetLongParam(1), 2);
        EXPECT_EQ(context.GetLongParam(9), -2);
        EXPECT_TRUE(context.GetBoolParam(3));
        EXPECT_EQ(ToU8(context.GetStringParam(2)), "12");
        EXPECT_EQ(context.GetObjectParam(4).Get(), object.GetObject());
        EXPECT_EQ(context.GetArrayParam(5).Get(), array.GetArray());
        // NaN and out-of-range numbers take the toolbox's one conversion: 0 and saturation.
        EXPECT_EQ(context.GetLongParam(6), 0);
        EXPECT_EQ(context.GetLongParam(7), std::numeric_limits<int32_t>::max());
        EXPECT_EQ(context.GetLongParam(8), std::numeric_limits<int32_t>::min());
        double number = 0;
        EXPECT_TRUE(context.GetNumberOptParam(1, number));
        EXPECT_EQ(number, 2.75);
        EXPECT_TRUE(errors.Codes().empty());
        EXPECT_TRUE(context.IsParameterCheckOK());
        // Absent: false, no error, but the flag is cleared.
        number = -1;
        EXPECT_FALSE(context.GetNumberOptParam(20, number));
        EXPECT_EQ(number, -1);
        EXPECT_TRUE(errors.Codes().empty());
        EXPECT_FALSE(context.IsParameterCheckOK());
    }

    StCollectErrors errors;
    EXPECT_EQ(context.GetNumberParam(2), 12.0);
    EXPECT_EQ(context.GetLongParam(2), 12);
    EXPECT_TRUE(context.GetBoolParam(1));
    EXPECT_EQ(ToU8(context.GetStringParam(1)), "");
    EXPECT_EQ(context.GetObjectParam(5), nullptr);
    EXPECT_EQ(context.GetArrayParam(4), nullptr);
    double number = 0;
    EXPECT_FALSE(context.GetNumberOptParam(2, number));
    EXPECT_EQ(errors.Codes(),
              (std::vector<VError>{VE_JSON_PARAM_NOT_A_NUMBER, VE_JSON_PARAM_NOT_A_NUMBER,
                                   VE_JSON_PARAM_NOT_A_BOOLEAN, VE_JSON_PARAM_NOT_A_STRING,
                                   VE_JSON_PARAM_NOT_A_COLLECTION, VE_JSON_PARAM_NOT_A_COLLECTION,
                                   VE_JSON_PARAM_NOT_A_NUMBER}));
}

TEST(VJSONSuper, ASuperCallRunsTheNearestSuperclassMember)
{
    VRefPtr<VJSONObject> animal(VJSONClass::Create(VString("Animal"), {{VString("greet"), &Record, 0}},
                                                   nullptr, nullptr, &VJSONClass::GenericInstantiator,
                                                   VString(), 0));
    VRefPtr<VJSONObject> dog(VJSONClass::Create(VString("Dog"), {}, animal.Get(), nullptr,
                                                &VJSONClass::GenericInstantiator, VString(), 0));
    VRefPtr<VJSONObject> puppy(VJSONClass::Create(VString("Puppy"), {{VString("greet"), &CallSuperGreet, 0}},
                                                  dog.Get(), nullptr, &VJSONClass::GenericInstantiator,
                                                  VString(), 0));
    VRefPtr<VJSONObject> instance(VJSONClass::CreateInstance(puppy.Get(), nullptr));
    ASSERT_NE(instance, nullptr);
    VJSONObject* greet = VJSONClass::CastClassObject(puppy.Get())->GetFunction("greet");

    // A host context gives the scope: the running member and its receiver.
    std::vector<VJSONValue> arguments{VJSONValue(8.0)};
    VJSONFunctionContext host(instance.Get(), nullptr, &arguments, nullptr, nullptr);
    host.SetScope(greet, instance.Get());
    sSeen = Seen();
    EXPECT_EQ(greet->GetImplementation()->IJSON_CallAsFunction(greet, &host), EJSON_done);
    EXPECT_EQ(sSeen.fWho, "Animal.greet");
    EXPECT_EQ(sSeen.fThisObject, instance.Get());
    EXPECT_EQ(sSeen.fParams, std::vector<double>{8});

    StCollectErrors errors;
    // Without scope.
    VJSONFunctionContext bare(instance.Get(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(greet->GetImplementation()->IJSON_CallAsFunction(greet, &bare), EJSON_error);
    // A member no superclass has.
    VRefPtr<VJSONObject> super(VJSONSuper::CreateObject());
    VJSONValue missing = super->GetProperty("fly");
    EXPECT_EQ(missing.GetObject()->GetImplementation()->IJSON_CallAsFunction(missing.GetObject(), &host),
              EJSON_error);
    EXPECT_FALSE(super->SetProperty("fly", VJSONValue(1.0)));
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_NO_SCOPE_CLASS, VE_JSON_CALL_FAILED,
                                                   VE_JSON_CANNOT_SET_PROPERTY}));
    VString text;
    missing.GetObject()->GetDescription(text, false);
    EXPECT_EQ(ToU8(text), "<<Super member: fly>>");
}

} // namespace
} // namespace kova
