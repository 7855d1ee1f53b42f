// The toolbox's own error numbers (component kova). Other components define theirs beside their
// code. Each constant is the whole 64-bit code.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

constexpr VError VE_UNKNOWN_ERROR = MakeKovaError(1);
constexpr VError VE_UNIMPLEMENTED = MakeKovaError(2);
constexpr VError VE_INVALID_PARAMETER = MakeKovaError(3);
constexpr VError VE_CANNOT_INITIALIZE_APPLICATION = MakeKovaError(4);
constexpr VError VE_ACCESS_DENIED = MakeKovaError(5);
constexpr VError VE_USER_ABORT = MakeKovaError(6);
constexpr VError VE_MEMORY_FULL = MakeKovaError(100);
constexpr VError VE_STRING_ALLOC_FAILED = MakeKovaError(107);
constexpr VError VE_INTL_MGR_CREATION_FAILED = MakeKovaError(305);
constexpr VError VE_RESOURCE_NOT_FOUND = MakeKovaError(401);

// Streams.
constexpr VError VE_STREAM_EOF = MakeKovaError(200);
constexpr VError VE_STREAM_NOT_OPENED = MakeKovaError(201);
constexpr VError VE_STREAM_ALREADY_OPENED = MakeKovaError(202);
constexpr VError VE_STREAM_CANNOT_READ = MakeKovaError(203);
constexpr VError VE_STREAM_CANNOT_WRITE = MakeKovaError(204);
constexpr VError VE_STREAM_USER_ABORTED = MakeKovaError(206);
constexpr VError VE_STREAM_BAD_SIGNATURE = MakeKovaError(207);
constexpr VError VE_STREAM_NO_TEXT_CONVERTER = MakeKovaError(208);
constexpr VError VE_STREAM_TEXT_CONVERSION_FAILURE = MakeKovaError(210);
constexpr VError VE_STREAM_CANNOT_UNGET = MakeKovaError(211);
// A stored form of a version this code does not read.
constexpr VError VE_STREAM_BAD_VERSION = MakeKovaError(212);

// Files and folders.
constexpr VError VE_FILE_NOT_FOUND = MakeKovaError(600);
constexpr VError VE_FILE_BAD_NAME = MakeKovaError(614);
constexpr VError VE_FOLDER_NOT_FOUND = MakeKovaError(650);
constexpr VError VE_DISK_FULL = MakeKovaError(658);

} // namespace kova
