#include "kernel/values/VCompareOptions.h"

#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

namespace kova
{

namespace
{

const VString& DiacriticalName()
{
    static const VString sName("diacritical");
    return sName;
}

} // namespace

VCompareOptions::~VCompareOptions() = default;

VError VCompareOptions::ToJSON(VJSONObject* ioObject) const
{
    if (ioObject != nullptr)
        ioObject->SetProperty(DiacriticalName(), fDiacritical ? VJSONValue::sTrue : VJSONValue::sFalse);
    return VE_OK;
}

VError VCompareOptions::FromJSON(const VJSONObject* inObject)
{
    if (inObject == nullptr)
        return VE_OK;
    VJSONValue value = inObject->GetProperty(DiacriticalName());
    if (value.IsBool())
        fDiacritical = value.IsTrue();
    return VE_OK;
}

} // namespace kova
