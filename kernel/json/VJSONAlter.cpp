#include "kernel/json/VJSONAlter.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"

namespace kova
{

VJSONObject* VJSONAlter::_MakeObjIfNecessary(VJSONValue& ioValue)
{
    if (!ioValue.IsObject() || ioValue.GetObject() == nullptr)
    {
        VRefPtr<VJSONObject> object(new VJSONObject());
        ioValue.SetObject(object.Get());
    }
    return ioValue.GetObject();
}

void VJSONAlter::_Set(VJSONValue& ioValue, const VString& inPath, const VJSONValue& inValue)
{
    _MakeObjIfNecessary(ioValue)->SetPropertyWithPath(inPath, inValue);
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue)
{
    _MakeObjIfNecessary(ioValue);
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, bool inValue)
{
    _Set(ioValue, inPath, inValue ? VJSONValue::sTrue : VJSONValue::sFalse);
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, int32_t inValue)
{
    _Set(ioValue, inPath, VJSONValue(double(inValue)));
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, double inValue)
{
    _Set(ioValue, inPath, VJSONValue(inValue));
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VString& inValue)
{
    _Set(ioValue, inPath, VJSONValue(inValue));
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, const char* inValue)
{
    _Set(ioValue, inPath, inValue != nullptr ? VJSONValue(VString(inValue)) : VJSONValue::sNull);
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, const UniChar* inValue)
{
    if (inValue == nullptr)
    {
        _Set(ioValue, inPath, VJSONValue::sNull);
        return;
    }
    int32_t length = 0;
    while (inValue[length] != 0 && length < INT32_MAX - 1)
        ++length;
    VString text;
    text.AppendUniChars(inValue, length);
    _Set(ioValue, inPath, VJSONValue(text));
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VJSONValue& inValue)
{
    _Set(ioValue, inPath, inValue);
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, JSONType inType, VJSONArray** outArray)
{
    if (outArray != nullptr)
        *outArray = nullptr;
    VJSONObject* object = _MakeObjIfNecessary(ioValue);
    if (inType >= JSON_last_type)
        return;
    VJSONValue value(inType);
    if (object->SetPropertyWithPath(inPath, value) && outArray != nullptr)
        *outArray = value.GetArray();
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VTime& inValue)
{
    VString text;
    inValue.GetJSONString(text, 0);
    _Set(ioValue, inPath, VJSONValue(text));
}

VJSONAlter::VJSONAlter(VJSONValue& ioValue, const VString& inName)
{
    if (VJSONObject* object = ioValue.GetObject())
        object->RemoveProperty(inName);
}

bool IsObjectAFormula(const VJSONObject* inObject)
{
    if (inObject == nullptr)
        return false;
    VJSONClassStore* store = VJSONClassStore::GetProcessClassStore();
    return store != nullptr && store->GetFunctionClassObject() != nullptr &&
           inObject->IsInstanceOf(store->GetFunctionClassObject());
}

bool IsObjectAFormula(const VJSONValue& inValue)
{
    return IsObjectAFormula(inValue.GetObject());
}

} // namespace kova
