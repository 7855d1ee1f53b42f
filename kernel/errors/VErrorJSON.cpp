// The JSON forms of errors and error contexts, for reports.
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

namespace kova
{

VJSONObject* VErrorBase::CreateJSONObject() const
{
    static const VString sCode("errCode");
    static const VString sSignature("componentSignature");
    static const VString sMessage("message");
    auto* object = new VJSONObject();
    object->SetProperty(sCode, VJSONValue(double(NumberOfError(fError))));
    VString text;
    text.FromOsType(ComponentOfError(fError));
    object->SetProperty(sSignature, VJSONValue(text));
    GetErrorDescription(text);
    object->SetProperty(sMessage, VJSONValue(text));
    return object;
}

void VErrorContext::SaveToJSONArray(VJSONValue& outValue) const
{
    if (fErrors.empty())
    {
        outValue.SetUndefined();
        return;
    }
    VJSONValue errors(JSON_array);
    for (const VRefPtr<VErrorBase>& error : fErrors)
    {
        VJSONObject* object = error->CreateJSONObject();
        errors.GetArray()->Push(VJSONValue(object));
        object->Release();
    }
    outValue = std::move(errors);
}

} // namespace kova
