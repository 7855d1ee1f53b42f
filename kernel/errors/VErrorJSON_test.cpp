// The JSON forms of errors and error contexts.
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

std::string Written(const VJSONValue& inValue)
{
    VString text;
    inValue.Stringify(text, 1);
    std::string bytes(size_t(text.GetLength()) * 3 + 1, '\0');
    bytes.resize(text.ToBlock(bytes.data(), bytes.size(), VTC_UTF_8, false, false));
    return bytes;
}

TEST(VErrorJSON, AnErrorAsAnObject)
{
    VRefPtr<VErrorBase> error(new VErrorBase(MakeVError(FourCharCode("UPQL"), uint32_t(-42))));
    error->GetBag()->SetString("error_description", VString("went wrong"));
    VRefPtr<VJSONObject> object(error->CreateJSONObject());
    ASSERT_TRUE(object);
    EXPECT_EQ(object->GetRefCount(), 1u);
    EXPECT_EQ(Written(VJSONValue(object.Get())),
              "{\"errCode\":-42,\"componentSignature\":\"UPQL\",\"message\":\"went wrong\"}");
}

TEST(VErrorJSON, AContextAsAnArray)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    VJSONValue value(1.0);
    context->SaveToJSONArray(value);
    EXPECT_TRUE(value.IsUndefined());
    for (uint32_t number : {100u, 600u})
    {
        VRefPtr<VErrorBase> error(new VErrorBase(MakeKovaError(number)));
        context->PushError(error.Get());
    }
    context->SaveToJSONArray(value);
    ASSERT_TRUE(value.IsArray());
    ASSERT_EQ(value.GetArray()->GetCount(), 2u);
    EXPECT_EQ(value.GetArray()->GetAt(0).GetProperty("errCode").GetNumber(), 100);
    EXPECT_EQ(value.GetArray()->GetAt(1).GetProperty("errCode").GetNumber(), 600);
    VString signature;
    value.GetArray()->GetAt(1).GetProperty("componentSignature").GetString(signature);
    EXPECT_TRUE(signature.EqualToUSASCIICString("kova"));
}

} // namespace
} // namespace kova
