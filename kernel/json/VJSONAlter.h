// VJSONAlter makes a value an object and sets one property at a dotted path in one expression;
// the constructor does the work and the object keeps nothing:
//
//     VJSONAlter(result, VString("server.ports[2]"), int32_t(8080));
//
// A value that does not hold an object is replaced, whatever it held, by a new empty object;
// missing objects and arrays on the path are made (VJSONObject::SetPropertyWithPath).
//
// Also here: IsObjectAFormula, whether an object is a function object.
#pragma once

#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VJSONArray;
class VJSONObject;
class VTime;

class VJSONAlter
{
public:
    explicit VJSONAlter(VJSONValue& ioValue);
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, bool inValue);
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, int32_t inValue);
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, double inValue);
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VString& inValue);
    // A null pointer sets null.
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, const char* inValue);
    // Zero-terminated UTF-16; a null pointer sets null.
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, const UniChar* inValue);
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VJSONValue& inValue);
    // A new value of the type (a new empty array or object for those); outArray (may be null)
    // receives the new array when the type is array, else null. A type beyond the enumeration
    // sets nothing.
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, JSONType inType, VJSONArray** outArray);
    // The time's JSON text, as a string.
    VJSONAlter(VJSONValue& ioValue, const VString& inPath, const VTime& inValue);
    // Removes the property of an object; any other value is left as it is.
    VJSONAlter(VJSONValue& ioValue, const VString& inName);

private:
    static VJSONObject* _MakeObjIfNecessary(VJSONValue& ioValue);
    static void _Set(VJSONValue& ioValue, const VString& inPath, const VJSONValue& inValue);
};

// Whether the object is an instance of the process's root class "Function"; false for null.
bool IsObjectAFormula(const VJSONObject* inObject);
bool IsObjectAFormula(const VJSONValue& inValue);

} // namespace kova
