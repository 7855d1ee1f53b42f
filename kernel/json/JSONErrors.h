// The toolbox's error numbers (component kova) that the JSON readers and writers raise. Each
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

} // namespace kova
