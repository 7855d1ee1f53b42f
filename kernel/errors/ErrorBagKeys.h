// The names under which errors and error contexts are stored in value bags, and the names of the
// error parameters that the error texts read.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/StPackedDictionaryKey.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VValueBag.h"

namespace kova
{

namespace ErrorBagKeys
{

// An error's bag form.
extern const StBagKeyNoDefault<VLong8> error_code; // the whole 64-bit code
extern const StBagKeyNoDefault<VLong> task_id;
extern const StBagKeyNoDefault<VString> task_name;
extern const StPackedDictionaryKey parameters; // element: the parameters bag
// An error context's bag form: one element per error.
extern const StPackedDictionaryKey error;
extern const StPackedDictionaryKey error_stack;

// Parameters: the texts given to _ThrowError, a message template used when no other text is
// found, and what the user may do about the error.
extern const StBagKeyNoDefault<VString> p1;
extern const StBagKeyNoDefault<VString> p2;
extern const StBagKeyNoDefault<VString> p3;
extern const StBagKeyNoDefault<VString> error_description;
extern const StBagKeyNoDefault<VString> action_description;

} // namespace ErrorBagKeys

} // namespace kova
