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
// file cannot be mapped the count is written with a second pwrite instead. A store through the
// mapping into a file that another program has truncated would end the process with SIGBUS: the
// store is guarded, and such an append fails instead (see dbf_append). Appends do not sync;
// dbf_finish does, once, at the end.
//
// A new table appears under its final name only when its header is complete: it is written as
// an unnamed file in the target's folder (O_TMPFILE) and linked into place, so a process killed
// during creation leaves nothing behind. Where the file system has no unnamed files it is written
// under a temporary name beside the target ("<path>.tmp-" and six letters or digits) and renamed;
// dbf_remove_temporaries removes what a killed process left of those.
//
// The system's error of the call that made an operation fail is kept (dbf_last_error), so that
// callers can name the cause ("No space left on device").
//
// Field names and record text arrive as UTF-8 and are stored in code page 866, one byte per
// character (dbf/cp866.h); the code page mark 65h in the header says so.
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
//   names:    field names in UTF-8, ended by a null pointer (1..11 characters each); stored in
//             code page 866, a character that it lacks or a stray byte as "?";
//   types:    one type letter per field ('C', 'N', 'D', 'M'), ended by the zero byte;
//   lengths:  field lengths 1..255, ended by 0;
//   decimals: decimal counts 0..255, ended by -1.
// Returns false without touching any file when the lists differ in length or would produce a
// table that readers cannot read (a limit above is broken, or the header or record length would
// exceed 65535). Existing files at the table and memo paths are deleted first. Each new file is
// written in full as an unnamed file (or under a temporary name) and then put under its path: the
// memo companion first, the table last, so the table path is either absent or holds a complete
// header, with its memo companion already in place. Returns false when the table file cannot be
// written or put in place in full (no table, memo or temporary file stays) or when the memo file
// cannot be (the message sink is told, the table file stays, no temporary stays). The files are
// closed on return. The header's date is the local date: years since 1900 (2026 is 126), month,
// day.
bool dbf_create(const char* path, const char* const* names, const char* types,
                const int32_t* lengths, const int32_t* decimals);

// Like dbf_create, but deletes nothing: fails (false, dbf_last_error EEXIST) when a file exists
// at the table path or, with a memo field, at the memo path, and a file that appears there while
// the table is being written is never replaced (the new file is linked, not renamed, into place).
bool dbf_create_new(const char* path, const char* const* names, const char* types,
                    const int32_t* lengths, const int32_t* decimals);

// Opens an existing table for appending and keeps it open; an already open table is closed first.
// Maps the file's first page for the record count (see above); a file that cannot be mapped is
// still opened and its count written with pwrite. 0: success; -2: the file cannot be opened, its
// header or a descriptor cannot be read in full, or the header does not describe a consistent table
// (the record length is not 1 + the sum of the field lengths, or the file is shorter than its
// counted records); -1: out of memory.
int dbf_open(const char* path);

// Appends one record to the open table: `values` and `lengths` hold one entry per field, in field
// order; each length is the field's length written as a decimal number. Values are cut to their
// field length in characters (UTF-8 code points) or filled up with spaces, then stored in code
// page 866; a character that code page lacks and every byte that is not part of a well-formed
// UTF-8 sequence become "?".
// 0: success. -1: no table is open, the lists do not match the table's fields (count, a length
// that is not a number or differs from the field's length), memory ran out, or the record was not
// written in full; nothing of the record stays in the file. -1 as well when the file's header no
// longer holds the table's header and record lengths, or the file was cut short so that its first
// page is gone: another program truncated or overwrote the file. The table is then spoilt: every
// later append fails, and dbf_finish reports it. -2 (only when the first page could
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

// The device and inode of a table file.
struct DbfFileId {
  dev_t device = 0;
  ino_t inode = 0;
};

// Ends the open table so that its success is true: checks that the file still is what the
// appends made of it (its size is header length + count x record length, its header and
// descriptors are as written, it has no hole, `path` still names it), syncs it to disk (fsync),
// unmaps and closes it. The folder is not synced (dbf_sync_folder). `id`, when given, receives
// the file's device and inode. The table is closed in every case.
// 0: success. -1: no table is open, or the sync, the unmapping or the close failed (the system's
// error in dbf_last_error). -2: the file is not what was written: another program deleted,
// replaced, truncated, extended or overwrote it (dbf_last_error_text says which).
int dbf_finish(const char* path, DbfFileId* id = nullptr);

// Syncs the folder that holds `path` (its entries: a new, renamed or linked name). 0, or -1 with
// the system's error in dbf_last_error.
int dbf_sync_folder(const char* path);

// Puts the complete file `from` under the name `to`, atomically, in the same folder. With
// `replace` a file at `to` is replaced (rename); without, a file at `to` is never replaced:
// renameat2 with RENAME_NOREPLACE, or, where the file system lacks it, link and unlink.
// 0, or -1 with the system's error in dbf_last_error (EEXIST: a file exists at `to`).
int dbf_publish(const char* from, const char* to, bool replace);

// Removes the temporaries ("<path>.tmp-" and six letters or digits) that a process killed while
// creating the table at `path` left behind, where the file system has no unnamed files. Call it
// only while no other process creates that table. Returns how many were removed.
int dbf_remove_temporaries(const char* path);

// The system's error (errno) of the call that made the last failed operation of the module fail;
// 0 when the module found the fault itself (then dbf_last_error_text says what it found) or when
// no operation has failed yet. dbf_create and dbf_create_new set it too: EEXIST for a file that
// exists, and the error of the open, write, link or rename that failed.
int dbf_last_error();

// The cause of the last failure as text: the system's message for dbf_last_error ("No space left
// on device"), or the module's own description of a fault it found ("... was truncated by another
// program"). Empty when no operation has failed yet.
std::string dbf_last_error_text();

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
  std::function<int(int fd)> fsync;
  std::function<int(const char* path, struct stat* st)> stat;
  std::function<off_t(int fd, off_t offset, int whence)> lseek;
  std::function<int(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                    int flags)>
      linkat;
  std::function<int(const char* from, const char* to, unsigned int flags)> renameat2;
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
