#pragma once
// DBF writer: creates dBASE III table files (with an empty FPT memo companion when a memo field
// is requested), opens one table at a time for appending and appends records one by one.
//
// The record count in the header is rewritten after every record, and records are always written
// at header length + count x record length, so the file on disk is complete after every append:
// a run that is killed between two records leaves a table that every reader opens, and a record
// that was only partly written is never counted and is overwritten by the next append.
//
// An append costs one system call: the record goes out with pwrite, and once that call has
// returned the new count is stored through a shared mapping of the file's first page. Both land
// in the same page cache, in that order, so a reader, or a file left by a killed process, never
// sees a count above the complete records and at most one record's bytes after them. Where the
// file cannot be mapped the count is written with a second pwrite instead. Durability against
// power loss is not attempted (no fsync).
//
// A new table appears under its final name only when its header is complete: dbf_create writes
// it under a temporary name in the same folder and renames it into place.
//
// Record text arrives as UTF-8 and is stored in code page 866, one byte per character; the code
// page mark 65h in the header says so.
//
// Module-level state, one thread: all calls come from the same thread, one after the other.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// Creates the table file at `path` and, when `types` contains 'M', its memo companion.
//   names:    field names, ended by a null pointer (1..11 bytes each);
//   types:    one type letter per field ('C', 'N', 'D', 'M'), ended by the zero byte;
//   lengths:  field lengths 1..255, ended by 0;
//   decimals: decimal counts 0..255, ended by -1.
// Returns false without touching any file when the lists differ in length or would produce a
// table that readers cannot read (a limit above is broken, or the header or record length would
// exceed 65535). Existing files at the table and memo paths are deleted first. Each new file is
// written in full under a temporary name beside it ("<path>.tmp-" and six letters or digits),
// then renamed to its path: the memo companion first, the table last, so the table path is
// either absent or holds a complete header, with its memo companion already in place. Returns
// false when the table file cannot be written or renamed in full (no table, memo or temporary
// file stays) or when the memo file cannot be written or renamed (the message sink is told, the
// table file stays, no temporary stays). The files are closed on return. A process killed
// during the call may leave a temporary behind, never an incomplete table.
bool dbf_create(const char* path, const char* const* names, const char* types,
                const int32_t* lengths, const int32_t* decimals);

// Opens an existing table for appending and keeps it open; an already open table is closed first.
// Maps the file's first page for the record count (see above); a file that cannot be mapped is
// still opened and its count written with pwrite. 0: success; -2: the file cannot be opened, its
// header or a descriptor cannot be read in full, or the header does not describe a consistent table
// (the record length is not 1 + the sum of the field lengths, or the file is shorter than its
// counted records); -1: out of memory or no conversion to code page 866 is available.
int dbf_open(const char* path);

// Appends one record to the open table: `values` and `lengths` hold one entry per field, in field
// order; each length is the field's length written as a decimal number. Values are cut to their
// field length in characters (UTF-8 code points) or filled up with spaces, then stored in code
// page 866; a character that code page lacks and every byte that is not part of a well-formed
// UTF-8 sequence become "?".
// 0: success. -1: no table is open, the lists do not match the table's fields (count, a length
// that is not a number or differs from the field's length), memory ran out, or the record was not
// written in full; nothing of the record stays in the file. -2 (only when the first page could
// not be mapped at dbf_open, so the count is written with pwrite): the record count in the
// header was not rewritten in full; the record is taken back so that the file keeps its previous
// records with a matching count.
int dbf_append(const std::vector<std::string>& values, const std::vector<std::string>& lengths);

// For the last record that dbf_append stored with 0 since the table was opened: per field, in
// field order, how many characters of the stored value (the value cut to the field length) became
// "?" because code page 866 lacks them or because the byte is not part of a well-formed UTF-8
// sequence. A "?" in the value itself is not counted. All zeros while no record has been stored;
// a failed append leaves the figures of the record before it. Empty when no table is open. The
// reference stays valid until the next dbf_open, dbf_append or dbf_close.
const std::vector<uint32_t>& dbf_last_replaced();

// Closes the open table and releases its mapping; does nothing when none is open.
void dbf_close();

// Opens `path` with open(2) `flags` and `mode`, trying up to ten times in immediate succession
// while the failure is a transient one (EINTR, EAGAIN, EBUSY, ETXTBSY); any other failure ends the
// attempts at once. Returns the file descriptor, or -1 with errno from the last attempt.
int dbf_open_retry(const char* path, int flags, mode_t mode);

// The path of the memo companion of the table at `path`: a three-character extension is replaced
// by "FPT" ("X.dbf" gives "X.FPT"); a path without one gets ".FPT" appended.
std::string dbf_memo_path(const std::string& path);

// Every file operation of the module goes through these hooks, so that tests can substitute
// failing or short operations. Each has the contract of the POSIX call of the same name.
struct DbfFileHooks {
  std::function<int(const char* path, int flags, mode_t mode)> open;
  std::function<ssize_t(int fd, void* buf, size_t count, off_t offset)> pread;
  std::function<ssize_t(int fd, const void* buf, size_t count, off_t offset)> pwrite;
  std::function<int(int fd, off_t length)> ftruncate;
  std::function<int(int fd, struct stat* st)> fstat;
  std::function<int(int fd)> close;
  std::function<int(const char* path)> unlink;
  std::function<int(const char* from, const char* to)> rename;
  std::function<void*(void* addr, size_t length, int prot, int flags, int fd, off_t offset)> mmap;
  std::function<int(void* addr, size_t length)> munmap;
};

// The hooks that call the operating system.
DbfFileHooks dbf_default_hooks();

// Replaces the hooks; an empty member falls back to the operating system's call.
void dbf_set_hooks(DbfFileHooks hooks);

// Where the module's one user message ("Не могу создать файл " + memo path) goes. The window
// points it at its modal message box; an empty function restores the default, which writes the
// message and a line break to stderr.
void dbf_set_message_handler(std::function<void(const std::string&)> handler);

}  // namespace tarnwick
