#include "kernel/errors/ILoggerBagKeys.h"

namespace kova
{

namespace ILoggerBagKeys
{

// The keys borrow their literal names: making them allocates nothing.
const StBagKeyNoDefault<VString> message("message");
const StBagKeyWithDefault<VLong> level("level", VLong(4));
const StBagKeyNoDefault<VString> source("source");
const StBagKeyNoDefault<VString> task_name("task_name");
const StBagKeyNoDefault<VString> file_name("file_name");
const StBagKeyNoDefault<VString> stack_crawl("stack_crawl");
const StBagKeyNoDefault<VLong> line_number("line_number");
const StBagKeyNoDefault<VLong> component_signature("component_signature");
const StBagKeyNoDefault<VLong> elapsed_milliseconds("elapsed_milliseconds");
const StBagKeyNoDefault<VLong> count_bytes_sent("count_bytes_sent");
const StBagKeyNoDefault<VLong> count_bytes_received("count_bytes_received");
const StBagKeyNoDefault<VUUID> base_context_uuid("base_context_uuid");
const StBagKeyNoDefault<VLong8> error_code("error_code");
const StBagKeyNoDefault<VLong> count_bytes_asked("count_bytes_asked");
const StBagKeyNoDefault<VLong8> socket("socket");
const StBagKeyNoDefault<VBoolean> is_blocking("is_blocking");
const StBagKeyNoDefault<VBoolean> is_ssl("is_ssl");
const StBagKeyNoDefault<VBoolean> is_select_io("is_select_io");
const StBagKeyNoDefault<VString> payload("payload");
const StBagKeyNoDefault<VLong> ms_timeout("ms_timeout");
const StBagKeyNoDefault<VLong> ms_spent("ms_spent");
const StBagKeyNoDefault<VLong> dump_offset("dump_offset");
const StBagKeyNoDefault<VString> dump_buffer("dump_buffer");
const StBagKeyNoDefault<VString> local_addr("local_addr");
const StBagKeyNoDefault<VString> peer_addr("peer_addr");
const StBagKeyNoDefault<VLong> local_port("local_port");
const StBagKeyNoDefault<VLong> peer_port("peer_port");
const StBagKeyNoDefault<VLong> task_id("task_id");
const StBagKeyNoDefault<VBoolean> exchange_id("exchange_id");
const StBagKeyNoDefault<VLong8> debug_context("debug_context");
const StBagKeyNoDefault<VString> jobId("jobId");
const StBagKeyNoDefault<VLong> jobState("jobState");
const StBagKeyNoDefault<VString> pipe("pipe");
const StBagKeyNoDefault<VString> user_id("user_id");
const StBagKeyNoDefault<VString> stream_id("stream_id");
const StBagKeyNoDefault<VString> system_username("system_username");
const StBagKeyNoDefault<VString> hostname("hostname");

} // namespace ILoggerBagKeys

} // namespace kova
