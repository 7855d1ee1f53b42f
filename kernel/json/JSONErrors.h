// The error numbers the JSON classes raise: the toolbox's (component kova) for reading, writing,
// paths and sorting, and those of component QLRT for shared collections, classes and calls. Each
// constant is the whole 64-bit code.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

// Less than 10,240 bytes of stack left, or nesting deeper than the readers and writers accept.
constexpr VError VE_JSON_NOT_ENOUGH_STACK = MakeKovaError(108);

// Reading text: a syntax failure always ends with 550, the specific record beneath it.
constexpr VError VE_JSON_MALFORMED = MakeKovaError(550);
constexpr VError VE_JSON_INVALID_TOKEN = MakeKovaError(551);
constexpr VError VE_JSON_UNTERMINATED_STRING = MakeKovaError(552);
constexpr VError VE_JSON_EXTRA_COMMA = MakeKovaError(553);
constexpr VError VE_JSON_TOKEN_AT_END = MakeKovaError(554);

// Writing, paths and sorting.
constexpr VError VE_JSON_CIRCULAR = MakeKovaError(900);
constexpr VError VE_JSON_PATH_UNCLOSED_BRACKET = MakeKovaError(901);
constexpr VError VE_JSON_PATH_EMPTY_COMPONENT = MakeKovaError(902);
constexpr VError VE_JSON_PATH_NOT_AN_ARRAY = MakeKovaError(903);
constexpr VError VE_JSON_PATH_NOT_AN_OBJECT = MakeKovaError(904);
constexpr VError VE_JSON_NATIVE_OBJECT = MakeKovaError(911);
constexpr VError VE_JSON_CLASS_INSTANCE = MakeKovaError(914);
constexpr VError VE_JSON_CANNOT_WRITE_TO_BUFFER = MakeKovaError(915);
constexpr VError VE_JSON_OBJECT_MET_TWICE = MakeKovaError(916);
constexpr VError VE_JSON_SORT_FAILED = MakeKovaError(917);
// A value read from outside whose parts, counted each time they are reached through a shared
// part, come to more than its input's size allows.
constexpr VError VE_JSON_EXPANSION_TOO_LARGE = MakeKovaError(918);

// The signature under which shared collections, classes and calls number their errors; the
// numbers are signed.
constexpr OsType kCOMPONENT_QLRT = FourCharCode("QLRT");
constexpr VError MakeQLRTError(int32_t inNumber)
{
    return MakeVError(kCOMPONENT_QLRT, uint32_t(inNumber));
}

// Typed parameters of a call of the wrong type.
constexpr VError VE_JSON_PARAM_NOT_A_NUMBER = MakeQLRTError(7);
constexpr VError VE_JSON_PARAM_NOT_A_STRING = MakeQLRTError(8);
constexpr VError VE_JSON_PARAM_NOT_A_COLLECTION = MakeQLRTError(54);
constexpr VError VE_JSON_PARAM_NOT_A_BOOLEAN = MakeQLRTError(55);
// A property that cannot be written or removed: of a class object, of a function object, a
// read-only property.
constexpr VError VE_JSON_READ_ONLY_PROPERTY = MakeQLRTError(-10702);
// A property of the class store's object, of a super or super-member object.
constexpr VError VE_JSON_CANNOT_SET_PROPERTY = MakeQLRTError(-10705);
// A super call found a member that cannot be called.
constexpr VError VE_JSON_NOT_A_FUNCTION = MakeQLRTError(-10707);
// Shared collections: a change without holding the locker, and the refusals of admission.
constexpr VError VE_JSON_OBJECT_NOT_HELD = MakeQLRTError(-10719);
constexpr VError VE_JSON_ARRAY_NOT_HELD = MakeQLRTError(-10720);
constexpr VError VE_JSON_COLLECTION_NOT_SHARED = MakeQLRTError(-10721);
constexpr VError VE_JSON_OBJECT_OF_ANOTHER_LOCKER = MakeQLRTError(-10724);
constexpr VError VE_JSON_ARRAY_OF_ANOTHER_LOCKER = MakeQLRTError(-10725);
constexpr VError VE_JSON_REFERENCES_ONLY = MakeQLRTError(-10727);
// apply, call and super calls of something that is not callable, or of a missing member.
constexpr VError VE_JSON_CALL_FAILED = MakeQLRTError(-10729);
// A super call without the class of its scope.
constexpr VError VE_JSON_NO_SCOPE_CLASS = MakeQLRTError(-10736);
// IsInstanceOf of something that is not a class object.
constexpr VError VE_JSON_NOT_A_CLASS_OBJECT = MakeQLRTError(-10745);
// CallSuperConstructor without scope class, from a root class, or outside a construction.
constexpr VError VE_JSON_SUPER_CONSTRUCTOR_MISPLACED = MakeQLRTError(-10746);
// A superclass object that is not a class.
constexpr VError VE_JSON_NOT_A_SUPERCLASS = MakeQLRTError(-10747);
// A constructor did not run the super constructors it had to.
constexpr VError VE_JSON_SUPER_CONSTRUCTOR_NOT_CALLED = MakeQLRTError(-10748);
// A class without instantiator.
constexpr VError VE_JSON_NO_INSTANTIATOR = MakeQLRTError(-10749);
// A final member function overridden.
constexpr VError VE_JSON_FINAL_FUNCTION_OVERRIDDEN = MakeQLRTError(-10750);
// An object built without the constructors its class chain has.
constexpr VError VE_JSON_CONSTRUCTOR_NOT_RUN = MakeQLRTError(-10751);
// The adoptable locker of a collection to store is held by another task.
constexpr VError VE_JSON_LOCKER_HELD_ELSEWHERE = MakeQLRTError(-10753);

} // namespace kova
