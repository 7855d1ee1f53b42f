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
// The system's power messages could not be had.
constexpr VError VE_SLEEP_NOTIFIER_NOT_REGISTERED = MakeKovaError(1150);

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

// Open files.
constexpr VError VE_FILE_CANNOT_GET_POS = MakeKovaError(213);
constexpr VError VE_FILE_CANNOT_SET_POS = MakeKovaError(214);
constexpr VError VE_FILE_CANNOT_READ = MakeKovaError(215);
constexpr VError VE_FILE_CANNOT_WRITE = MakeKovaError(216);
constexpr VError VE_FILE_CANNOT_FLUSH = MakeKovaError(217);
constexpr VError VE_FILE_CANNOT_GET_SIZE = MakeKovaError(218);
constexpr VError VE_FILE_CANNOT_SET_SIZE = MakeKovaError(219);

// Files and folders.
constexpr VError VE_FILE_NOT_FOUND = MakeKovaError(600);
constexpr VError VE_FILE_CANNOT_RENAME = MakeKovaError(601);
constexpr VError VE_FILE_CANNOT_OPEN = MakeKovaError(602);
constexpr VError VE_FILE_CANNOT_DELETE = MakeKovaError(604);
constexpr VError VE_FILE_CANNOT_COPY = MakeKovaError(605);
constexpr VError VE_FILE_CANNOT_MOVE = MakeKovaError(606);
constexpr VError VE_FILE_CANNOT_CREATE = MakeKovaError(607);
constexpr VError VE_FILE_CANNOT_GET_ATTRIBUTES = MakeKovaError(608);
constexpr VError VE_FILE_CANNOT_SET_ATTRIBUTES = MakeKovaError(609);
constexpr VError VE_FILE_CANNOT_CREATE_ALIAS = MakeKovaError(610);
constexpr VError VE_FILE_CANNOT_RESOLVE_ALIAS = MakeKovaError(611);
constexpr VError VE_FILE_CANNOT_REVEAL = MakeKovaError(612);
constexpr VError VE_FILE_BAD_NAME = MakeKovaError(614);
// An alias that resolves to a folder where a file was expected, and the other way round.
constexpr VError VE_FILE_ALIAS_TARGET_IS_FOLDER = MakeKovaError(617);
constexpr VError VE_FOLDER_ALIAS_TARGET_IS_FILE = MakeKovaError(618);
constexpr VError VE_FOLDER_NOT_FOUND = MakeKovaError(650);
constexpr VError VE_FOLDER_NOT_EMPTY = MakeKovaError(651);
constexpr VError VE_FOLDER_CANNOT_CREATE = MakeKovaError(652);
constexpr VError VE_FOLDER_CANNOT_DELETE = MakeKovaError(653);
constexpr VError VE_FOLDER_CANNOT_GET_ATTRIBUTES = MakeKovaError(654);
constexpr VError VE_FOLDER_CANNOT_SET_ATTRIBUTES = MakeKovaError(655);
constexpr VError VE_FOLDER_CANNOT_REVEAL = MakeKovaError(656);
constexpr VError VE_FOLDER_CANNOT_RENAME = MakeKovaError(657);
constexpr VError VE_DISK_FULL = MakeKovaError(658);
constexpr VError VE_FOLDER_CANNOT_COPY = MakeKovaError(660);
constexpr VError VE_FOLDER_CANNOT_MOVE_TO_TRASH = MakeKovaError(661);
constexpr VError VE_FOLDER_ALREADY_WATCHED = MakeKovaError(659);

// Named file systems.
constexpr VError VE_FS_NO_SPACE_ACCOUNTING = MakeKovaError(684);
constexpr VError VE_FS_NOT_ENOUGH_SPACE = MakeKovaError(685);
constexpr VError VE_FS_BAD_NAME = MakeKovaError(686);
constexpr VError VE_FS_CANNOT_PARSE_DEFINITION = MakeKovaError(687);

} // namespace kova
