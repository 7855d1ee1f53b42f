#include "kernel/json/IJSONObject.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/text/VString.h"

namespace kova
{

IJSONObject::~IJSONObject() = default;

EJSONStatus IJSONObject::IJSON_GetProperty(const VJSONObject*, const VString&, VJSONValue&,
                                           VDBLanguageContext*) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_BeginChangeProperties()
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_EndChangeProperties()
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_SetProperty(VJSONObject*, const VString&, const VJSONValue&,
                                           VDBLanguageContext*)
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_RemoveProperty(VJSONObject*, const VString&)
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_Clear(VJSONObject*)
{
    return EJSON_unhandled;
}

bool IJSONObject::IJSON_IsEmpty(const VJSONObject*) const
{
    std::vector<VString> names;
    IJSON_GetPropertyNames(names);
    return names.empty();
}

EJSONStatus IJSONObject::IJSON_Stringify(const VJSONObject*, VJSONWriter&, VString&, VError*) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_Clone(const VJSONObject*, VJSONCloner&, VJSONValue&, VError*) const
{
    return EJSON_unhandled;
}

uint32_t IJSONObject::IJSON_GetBinarySignature() const
{
    return 0;
}

void IJSONObject::IJSON_GetValueToWriteToBuffer(VJSONValue&) const {}

EJSONStatus IJSONObject::IJSON_WriteToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>&, VError* outError)
{
    _ThrowError(VE_JSON_CANNOT_WRITE_TO_BUFFER);
    if (outError != nullptr)
        *outError = VE_JSON_CANNOT_WRITE_TO_BUFFER;
    return EJSON_error;
}

EJSONStatus IJSONObject::IJSON_GetPropertyNames(std::vector<VString>&) const
{
    return EJSON_unhandled;
}

VValue* IJSONObject::IJSON_CreateVValue() const
{
    return nullptr;
}

EJSONStatus IJSONObject::IJSON_GetPropertyStamp(const VString&, uint32_t*) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_TouchPropertyStamp(const VString&)
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_GetDescription(const VJSONObject*, VString&) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_GetPropertyByIndex(const VJSONObject*, size_t, VJSONValue&) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_GetCountPropertiesByIndex(const VJSONObject*, size_t*) const
{
    return EJSON_unhandled;
}

VObject* IJSONObject::IJSON_MakeIterator(const VJSONObject*, size_t, size_t, bool) const
{
    return nullptr;
}

EJSONStatus IJSONObject::IJSON_GetClassName(const VJSONObject*, VString&) const
{
    return EJSON_unhandled;
}

EJSONStatus IJSONObject::IJSON_DeepEqualTo(const VJSONObject*, const VJSONObject*, bool*) const
{
    return EJSON_unhandled;
}

bool IJSONObject::IJSON_IsSharable(const VJSONObject*, bool& ioFlag) const
{
    ioFlag = false;
    return false;
}

EJSONStatus IJSONObject::IJSON_CallAsFunction(const VJSONObject*, IJSONFunctionContext*)
{
    return EJSON_unhandled;
}

VJSONClass* IJSONObject::IJSON_GetFunctionClassOwner(const VJSONObject*) const
{
    return nullptr;
}

EJSONStatus IJSONObject::IJSON_SetJSONStamp(VJSONStamp*)
{
    return EJSON_unhandled;
}

void IJSONObject::IJSON_DoConnectDependencies(VJSONObject*) {}

void IJSONObject::IJSON_DoDisconnectDependencies(VJSONObject*) {}

} // namespace kova
