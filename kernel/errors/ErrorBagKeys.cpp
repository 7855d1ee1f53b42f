#include "kernel/errors/ErrorBagKeys.h"

namespace kova
{

namespace ErrorBagKeys
{

// The keys borrow their literal names: making them allocates nothing.
const StBagKeyNoDefault<VLong8> error_code("error_code");
const StBagKeyNoDefault<VLong> task_id("task_id");
const StBagKeyNoDefault<VString> task_name("task_name");
const StPackedDictionaryKey parameters("parameters");
const StPackedDictionaryKey error("error");
const StPackedDictionaryKey error_stack("error_stack");

const StBagKeyNoDefault<VString> p1("p1");
const StBagKeyNoDefault<VString> p2("p2");
const StBagKeyNoDefault<VString> p3("p3");
const StBagKeyNoDefault<VString> error_description("error_description");
const StBagKeyNoDefault<VString> action_description("action_description");

} // namespace ErrorBagKeys

} // namespace kova
