// The names of a log record's attributes. A log record is a value bag: "message" and "level" for
// every record, "source" for who logs, and the others as the kind of record needs them (errors,
// assertions, network exchanges). Only "level" has a default: an absent level means INFO.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"

namespace kova
{

namespace ILoggerBagKeys
{

extern const StBagKeyNoDefault<VString> message;
extern const StBagKeyWithDefault<VLong> level;
extern const StBagKeyNoDefault<VString> source;
extern const StBagKeyNoDefault<VString> task_name;
extern const StBagKeyNoDefault<VString> file_name;
extern const StBagKeyNoDefault<VString> stack_crawl;
extern const StBagKeyNoDefault<VLong> line_number;
// A four-character code, kept in the 32 bits of a VLong.
extern const StBagKeyNoDefault<VLong> component_signature;
extern const StBagKeyNoDefault<VLong> elapsed_milliseconds;
extern const StBagKeyNoDefault<VLong> count_bytes_sent;
extern const StBagKeyNoDefault<VLong> count_bytes_received;
extern const StBagKeyNoDefault<VUUID> base_context_uuid;
extern const StBagKeyNoDefault<VLong8> error_code;
extern const StBagKeyNoDefault<VLong> count_bytes_asked;
extern const StBagKeyNoDefault<VLong8> socket;
extern const StBagKeyNoDefault<VBoolean> is_blocking;
extern const StBagKeyNoDefault<VBoolean> is_ssl;
extern const StBagKeyNoDefault<VBoolean> is_select_io;
extern const StBagKeyNoDefault<VString> payload;
extern const StBagKeyNoDefault<VLong> ms_timeout;
extern const StBagKeyNoDefault<VLong> ms_spent;
extern const StBagKeyNoDefault<VLong> dump_offset;
extern const StBagKeyNoDefault<VString> dump_buffer;
extern const StBagKeyNoDefault<VString> local_addr;
extern const StBagKeyNoDefault<VString> peer_addr;
extern const StBagKeyNoDefault<VLong> local_port;
extern const StBagKeyNoDefault<VLong> peer_port;
extern const StBagKeyNoDefault<VLong> task_id;
extern const StBagKeyNoDefault<VBoolean> exchange_id;
extern const StBagKeyNoDefault<VLong8> debug_context;
extern const StBagKeyNoDefault<VString> jobId;
extern const StBagKeyNoDefault<VLong> jobState;
extern const StBagKeyNoDefault<VString> pipe;
extern const StBagKeyNoDefault<VString> user_id;
extern const StBagKeyNoDefault<VString> stream_id;
extern const StBagKeyNoDefault<VString> system_username;
extern const StBagKeyNoDefault<VString> hostname;

} // namespace ILoggerBagKeys

} // namespace kova
