#include "dbf/dbf.h"

#include <dirent.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <utility>

#include "dbf/cp866.h"

// Sections: file hooks, message sink and the last error; small byte and file helpers; new files
// (unnamed or temporary) and their publication; field lengths; the guarded count store;
// dbf_create; the open table (dbf_open, dbf_append, dbf_finish). Text goes into code page 866
// through dbf/cp866.h.

namespace tarnwick {

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr size_t kMaxNameBytes = 11;
constexpr uint8_t kVersionPlain = 0x03;
constexpr uint8_t kVersionWithMemo = 0xF5;
constexpr uint8_t kCodePage866Mark = 0x65;
constexpr uint8_t kTerminator = 0x0D;
constexpr size_t kMemoFileSize = 512;
constexpr int kOpenAttempts = 10;
constexpr int kTemporaryNameAttempts = 100;
constexpr size_t kCountOffset = 4;

// ---- hooks and message sink ------------------------------------------------------------------

DbfFileHooks& hooks() {
  static DbfFileHooks instance = dbf_default_hooks();
  return instance;
}

void default_message(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::function<void(const std::string&)>& message_handler() {
  static std::function<void(const std::string&)> instance = default_message;
  return instance;
}

struct LastError {
  int code = 0;
  std::string text;
};

LastError& last_error() {
  static LastError instance;
  return instance;
}

// Keeps the system's error `code` as the cause of the failure being reported.
void set_error(int code) {
  last_error().code = code;
  last_error().text = std::strerror(code);
}

// Keeps a fault that the module found itself, without a system error.
void set_fault(std::string text) {
  last_error().code = 0;
  last_error().text = std::move(text);
}

// ---- helpers ---------------------------------------------------------------------------------

void put_le16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_le16(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8);
}

uint32_t get_le32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Writes all `count` bytes at `offset`, continuing after partial writes; false when a call fails
// or makes no progress (the cause kept as the last error).
bool write_all(int fd, const void* buf, size_t count, off_t offset) {
  const char* p = static_cast<const char*>(buf);
  while (count > 0) {
    const ssize_t done = hooks().pwrite(fd, p, count, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) {
      set_error(errno);
      return false;
    }
    if (done == 0) {
      set_fault("the system wrote none of the bytes it was given");
      return false;
    }
    p += done;
    count -= static_cast<size_t>(done);
    offset += done;
  }
  return true;
}

// Reads up to `count` bytes at `offset`; returns how many arrived before end of file or an error.
size_t read_all(int fd, void* buf, size_t count, off_t offset) {
  char* p = static_cast<char*>(buf);
  size_t total = 0;
  while (total < count) {
    const ssize_t done = hooks().pread(fd, p + total, count - total, offset + total);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) break;
    total += static_cast<size_t>(done);
  }
  return total;
}

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the file; false when the close reports an error (data may not have reached the disk),
  // with the error kept as the last error.
  bool close() {
    if (fd_ < 0) return true;
    const int rc = hooks().close(std::exchange(fd_, -1));
    if (rc != 0) set_error(errno);
    return rc == 0;
  }

 private:
  void reset() { close(); }
  int fd_ = -1;
};

// Creates a file that did not exist, named `path` + ".tmp-" + six letters or digits, with the
// permissions a file created at `path` would get. Returns the descriptor (its name in `temporary`),
// or -1 with errno set.
int create_temporary(const std::string& path, std::string& temporary) {
  static constexpr char kLetters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static uint64_t sequence = 0;
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  uint64_t state = (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(ticks) ^
                   (++sequence * 0x9E3779B97F4A7C15u);
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    temporary = path;
    temporary += ".tmp-";
    state = state * 6364136223846793005u + 1442695040888963407u;
    uint64_t bits = state >> 16;
    for (int i = 0; i < 6; ++i, bits /= 62) temporary.push_back(kLetters[bits % 62]);
    const int fd = hooks().open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The folder part of a path ("." for a bare name).
std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The open(2) errors that say the kernel or the file system has no unnamed files (O_TMPFILE).
bool no_unnamed_files(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Puts the complete file `from` under the name `to`; see dbf_publish. `from` stays on failure.
bool publish_named(const std::string& from, const std::string& to, bool replace) {
  if (replace) {
    if (hooks().rename(from.c_str(), to.c_str()) == 0) return true;
    set_error(errno);
    return false;
  }
  if (hooks().renameat2(from.c_str(), to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    set_error(errno);
    return false;
  }
  // No RENAME_NOREPLACE on this file system: a link fails where a name exists, like it.
  if (hooks().linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) != 0) {
    set_error(errno);
    return false;
  }
  hooks().unlink(from.c_str());
  return true;
}

// A new file, written in full before any name points to it: an unnamed file in the folder of
// its path, still open, or, where there are none, a closed temporary beside its path. Whatever is
// left of it when it is not placed goes with it.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() { discard(); }

  // Writes `size` bytes as the file's whole content; false (the cause kept, nothing left
  // behind) when it cannot.
  bool write(const std::string& path, const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    const int fd = hooks().open(folder_of(path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (!no_unnamed_files(errno)) {
        set_error(errno);
        return false;
      }
      return write_named(path);
    }
    unnamed_ = FileHandle(fd);
    if (write_all(fd, data, size, 0)) return true;
    discard();
    return false;
  }

  // Gives the written file the name `path`. With `replace` a file there is deleted first (and
  // again, should one appear in between); without, a file there makes it fail with EEXIST.
  // False (the cause kept) when it cannot be placed; nothing of it stays then.
  bool place(const std::string& path, bool replace) {
    if (unnamed_.valid()) {
      int error = 0;
      for (int attempt = 0; attempt < 3; ++attempt) {
        error = link_unnamed(path);
        if (error != EEXIST || !replace) break;
        hooks().unlink(path.c_str());
      }
      if (error == 0) {
        if (unnamed_.close()) return true;
        hooks().unlink(path.c_str());
        return false;
      }
      discard();
      // ENOENT: no /proc; EPERM: no privilege to link the descriptor itself; EOPNOTSUPP,
      // EINVAL, EXDEV: a file system that links no unnamed files. A temporary with a name then.
      if (error != ENOENT && error != EPERM && error != EOPNOTSUPP && error != EINVAL &&
          error != EXDEV) {
        set_error(error);
        return false;
      }
      if (!write_named(path)) return false;
    }
    if (temporary_.empty()) return false;
    const bool placed = publish_named(temporary_, path, replace);
    if (placed) temporary_.clear();
    discard();
    return placed;
  }

 private:
  bool write_named(const std::string& path) {
    FileHandle file(create_temporary(path, temporary_));
    if (!file.valid()) {
      set_error(errno);
      temporary_.clear();
      return false;
    }
    const bool written = write_all(file.get(), data_, size_, 0);
    const bool closed = file.close();
    if (written && closed) return true;
    discard();
    return false;
  }

  // Links the unnamed file at `path`: 0, or the error of the link.
  int link_unnamed(const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(unnamed_.get());
    if (hooks().linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return 0;
    }
    if (errno == EEXIST) return EEXIST;
    // Without /proc: the descriptor itself, which needs a privilege.
    if (hooks().linkat(unnamed_.get(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno;
  }

  void discard() {
    const int saved = errno;
    unnamed_ = FileHandle();
    if (!temporary_.empty()) hooks().unlink(temporary_.c_str());
    temporary_.clear();
    errno = saved;
  }

  FileHandle unnamed_;
  std::string temporary_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// ---- field lengths --------------------------------------------------------------------------

// A length text: decimal digits only. Returns false for anything else or values above 2^31.
bool parse_length(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0x7FFFFFFFu) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

// ---- the guarded count store -----------------------------------------------------------------

// A store through the mapping of a file that another program has cut below the mapped page
// raises SIGBUS. While a store is under way the handler jumps back to it instead, and the append
// fails; a SIGBUS anywhere else goes to whatever handled it before.
sigjmp_buf bus_jump;
volatile sig_atomic_t bus_armed = 0;
uint8_t* volatile bus_page = nullptr;
size_t bus_page_size = 0;
struct sigaction bus_previous {};
bool bus_handler_installed = false;

void on_bus(int signal, siginfo_t* info, void* context) {
  const auto* at = static_cast<const uint8_t*>(info->si_addr);
  const uint8_t* page = bus_page;
  if (bus_armed != 0 && page != nullptr && at >= page && at < page + bus_page_size) {
    bus_armed = 0;
    siglongjmp(bus_jump, 1);
  }
  if ((bus_previous.sa_flags & SA_SIGINFO) != 0 && bus_previous.sa_sigaction != nullptr) {
    bus_previous.sa_sigaction(signal, info, context);
  } else if (bus_previous.sa_handler != SIG_DFL && bus_previous.sa_handler != SIG_IGN) {
    bus_previous.sa_handler(signal);
  } else {
    // The default action: the faulting access runs again and ends the process as before.
    sigaction(SIGBUS, &bus_previous, nullptr);
  }
}

void install_bus_handler() {
  if (bus_handler_installed) return;
  struct sigaction action {};
  action.sa_sigaction = on_bus;
  sigemptyset(&action.sa_mask);
  // SA_NODEFER: the jump out of the handler must not leave SIGBUS blocked.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  if (sigaction(SIGBUS, &action, &bus_previous) == 0) bus_handler_installed = true;
}

// Checks that the header word at offset 8 (header and record length) still is `lengths` and
// then stores `count` at offset 4, both through the mapping at `page`. False when the word
// differs (the file was overwritten, or cut and extended again by the record just written) or
// the page is gone (SIGBUS).
__attribute__((noinline)) bool guarded_store(uint8_t* page, uint32_t lengths, uint32_t count) {
  bus_page = page;
  if (sigsetjmp(bus_jump, 0) != 0) return false;
  bus_armed = 1;
  const uint32_t found = std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(page + 8))
                             .load(std::memory_order_relaxed);
  const bool same = found == lengths;
  if (same) {
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(page + kCountOffset))
        .store(count, std::memory_order_release);
  }
  bus_armed = 0;
  return same;
}

// ---- the open table --------------------------------------------------------------------------

// A shared mapping of the start of a table file, through which the record count is stored.
class CountMapping {
 public:
  CountMapping() = default;
  CountMapping(const CountMapping&) = delete;
  CountMapping& operator=(const CountMapping&) = delete;
  ~CountMapping() { unmap(); }

  // Maps the header of the file open as `fd`; stays invalid when the mapping cannot be made.
  void map(int fd) {
    void* base = hooks().mmap(nullptr, kHeaderSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base != MAP_FAILED && base != nullptr) {
      base_ = static_cast<uint8_t*>(base);
      bus_page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
      install_bus_handler();
    }
  }
  bool valid() const { return base_ != nullptr; }

  // Releases the mapping; false (the cause kept) when munmap fails.
  bool unmap() {
    if (!valid()) return true;
    if (bus_page == base_) bus_page = nullptr;
    const int rc = hooks().munmap(std::exchange(base_, nullptr), kHeaderSize);
    if (rc != 0) set_error(errno);
    return rc == 0;
  }

  // Stores the count as one aligned 32-bit store (the mapping starts on a page boundary), so that
  // a reader never sees half of an old and half of a new count. Called after the record's pwrite
  // returned: the record is in the page cache before the count that includes it. `lengths` is
  // the header's word at offset 8 as the table was opened; false when the file no longer holds
  // it or was cut below its first page (see guarded_store): nothing is stored then.
  bool store_count(uint32_t count, uint32_t lengths) {
    uint8_t bytes[4];
    put_le32(bytes, count);
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return guarded_store(base_, lengths, word);
  }

 private:
  uint8_t* base_ = nullptr;
};

struct OpenTable {
  FileHandle file;
  CountMapping count_mapping;  // released before the file is closed
  std::array<uint8_t, kHeaderSize> header{};
  std::vector<std::array<uint8_t, kDescriptorSize>> descriptors;
  uint32_t header_length = 0;
  uint32_t record_length = 0;
  uint32_t record_count = 0;
  uint32_t lengths_word = 0;             // header bytes 8..11 (header and record length) as read
  bool spoilt = false;                   // another program truncated or overwrote the file
  std::vector<char> record;              // the record in code page 866, exactly record_length bytes
  std::vector<uint32_t> replaced;        // per field: "?" in the last stored record
  std::vector<uint32_t> replaced_draft;  // the same for the record being built

  uint32_t field_length(size_t i) const { return descriptors[i][16]; }
  off_t record_offset(uint32_t index) const {
    return static_cast<off_t>(header_length) +
           static_cast<off_t>(index) * static_cast<off_t>(record_length);
  }
};

std::unique_ptr<OpenTable>& open_table() {
  // A table still open at exit is closed through the hooks, so they must outlive this state:
  // statics are destroyed in the reverse order of their construction.
  hooks();
  static std::unique_ptr<OpenTable> instance;
  return instance;
}

}  // namespace

// ---- public: hooks, messages, paths ----------------------------------------------------------

DbfFileHooks dbf_default_hooks() {
  DbfFileHooks h;
  h.open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); };
  h.pread = [](int fd, void* buf, size_t count, off_t offset) {
    return ::pread(fd, buf, count, offset);
  };
  h.pwrite = [](int fd, const void* buf, size_t count, off_t offset) {
    return ::pwrite(fd, buf, count, offset);
  };
  h.ftruncate = [](int fd, off_t length) { return ::ftruncate(fd, length); };
  h.fstat = [](int fd, struct stat* st) { return ::fstat(fd, st); };
  h.close = [](int fd) { return ::close(fd); };
  h.unlink = [](const char* path) { return ::unlink(path); };
  h.rename = [](const char* from, const char* to) { return ::rename(from, to); };
  h.mmap = [](void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return ::mmap(addr, length, prot, flags, fd, offset);
  };
  h.munmap = [](void* addr, size_t length) { return ::munmap(addr, length); };
  h.fsync = [](int fd) { return ::fsync(fd); };
  h.stat = [](const char* path, struct stat* st) { return ::stat(path, st); };
  h.lseek = [](int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); };
  h.linkat = [](int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    return ::linkat(olddirfd, oldpath, newdirfd, newpath, flags);
  };
  h.renameat2 = [](const char* from, const char* to, unsigned int flags) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
  };
  return h;
}

void dbf_set_hooks(DbfFileHooks replacement) {
  DbfFileHooks defaults = dbf_default_hooks();
  if (!replacement.open) replacement.open = defaults.open;
  if (!replacement.pread) replacement.pread = defaults.pread;
  if (!replacement.pwrite) replacement.pwrite = defaults.pwrite;
  if (!replacement.ftruncate) replacement.ftruncate = defaults.ftruncate;
  if (!replacement.fstat) replacement.fstat = defaults.fstat;
  if (!replacement.close) replacement.close = defaults.close;
  if (!replacement.unlink) replacement.unlink = defaults.unlink;
  if (!replacement.rename) replacement.rename = defaults.rename;
  if (!replacement.mmap) replacement.mmap = defaults.mmap;
  if (!replacement.munmap) replacement.munmap = defaults.munmap;
  if (!replacement.fsync) replacement.fsync = defaults.fsync;
  if (!replacement.stat) replacement.stat = defaults.stat;
  if (!replacement.lseek) replacement.lseek = defaults.lseek;
  if (!replacement.linkat) replacement.linkat = defaults.linkat;
  if (!replacement.renameat2) replacement.renameat2 = defaults.renameat2;
  hooks() = std::move(replacement);
}

void dbf_set_message_handler(std::function<void(const std::string&)> handler) {
  message_handler() = handler ? std::move(handler) : default_message;
}

std::string dbf_memo_path(const std::string& path) {
  const size_t n = path.size();
  if (n >= 5 && path[n - 4] == '.' && path[n - 5] != '/' &&
      path.find_first_of("/.", n - 3) == std::string::npos) {
    return path.substr(0, n - 3) + "FPT";
  }
  return path + ".FPT";
}

int dbf_open_retry(const char* path, int flags, mode_t mode) {
  int fd = -1;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    fd = hooks().open(path, flags, mode);
    if (fd >= 0) return fd;
    if (errno != EINTR && errno != EAGAIN && errno != EBUSY && errno != ETXTBSY) break;
  }
  return -1;
}

// ---- dbf_create ------------------------------------------------------------------------------

namespace {

// The header and descriptors of a new table, or nothing when the lists are inconsistent or break
// a limit of the format.
struct TableImage {
  std::vector<uint8_t> bytes;
  bool with_memo = false;
};

bool build_image(const char* path, const char* const* names, const char* types,
                 const int32_t* lengths, const int32_t* decimals, TableImage& out) {
  if (path == nullptr || *path == '\0' || names == nullptr || types == nullptr ||
      lengths == nullptr || decimals == nullptr) {
    return false;
  }
  size_t n = 0;
  while (names[n] != nullptr) ++n;
  size_t n_lengths = 0;
  while (lengths[n_lengths] != 0) ++n_lengths;
  size_t n_decimals = 0;
  while (decimals[n_decimals] != -1) ++n_decimals;
  if (std::strlen(types) != n || n_lengths != n || n_decimals != n) return false;

  // Limits of the format: one byte for a length or decimal count, 16 bits for the header and
  // record lengths, 11 bytes for a name. A table that breaks one would be unreadable. Names go
  // into the header in code page 866, like the records, so a name of 11 characters fits.
  const uint64_t header_length = kHeaderSize + kDescriptorSize * uint64_t{n} + 1;
  uint64_t record_length = 1;
  std::vector<std::string> stored_names;
  try {
    stored_names.reserve(n);
    for (size_t i = 0; i < n; ++i) stored_names.push_back(cp866_text(names[i]));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    const size_t name_bytes = stored_names[i].size();
    if (name_bytes == 0 || name_bytes > kMaxNameBytes) return false;
    if (lengths[i] < 1 || lengths[i] > 255) return false;
    if (decimals[i] < 0 || decimals[i] > 255) return false;
    record_length += static_cast<uint64_t>(lengths[i]);
  }
  if (header_length > 0xFFFF || record_length > 0xFFFF) return false;

  out.with_memo = std::strchr(types, 'M') != nullptr;
  // The memo companion must never be written over its own table.
  if (out.with_memo && dbf_memo_path(path) == path) return false;

  std::vector<uint8_t>& image = out.bytes;
  try {
    image.assign(header_length, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;

  image[0] = out.with_memo ? kVersionWithMemo : kVersionPlain;
  // The date of the last update: years since 1900 (2026 is 126), month, day.
  image[1] = static_cast<uint8_t>(local.tm_year);
  image[2] = static_cast<uint8_t>(local.tm_mon + 1);
  image[3] = static_cast<uint8_t>(local.tm_mday);
  put_le16(&image[8], static_cast<uint32_t>(header_length));
  put_le16(&image[10], static_cast<uint32_t>(record_length));
  image[29] = kCodePage866Mark;
  uint32_t displacement = 1;
  for (size_t i = 0; i < n; ++i) {
    uint8_t* d = &image[kHeaderSize + kDescriptorSize * i];
    std::memcpy(d, stored_names[i].data(), stored_names[i].size());
    d[11] = static_cast<uint8_t>(types[i]);
    put_le32(d + 12, displacement);
    d[16] = static_cast<uint8_t>(lengths[i]);
    d[17] = static_cast<uint8_t>(decimals[i]);
    displacement += static_cast<uint32_t>(lengths[i]);
  }
  image[header_length - 1] = kTerminator;
  return true;
}

// Writes the table (and its memo companion) and puts them under their paths, the companion first;
// see dbf_create. `replace`: a file under either path is deleted first.
bool create_files(const std::string& table_path, const TableImage& image, bool replace) {
  const std::string memo_path = dbf_memo_path(table_path);
  NewFile table;
  if (!table.write(table_path, image.bytes.data(), image.bytes.size())) return false;
  if (!image.with_memo) return table.place(table_path, replace);

  // Next free block 8 (big-endian at offset 0), block size 64 (big-endian at offset 6).
  std::array<uint8_t, kMemoFileSize> memo_bytes{};
  memo_bytes[3] = 0x08;
  memo_bytes[7] = 0x40;
  NewFile memo;
  if (!memo.write(memo_path, memo_bytes.data(), memo_bytes.size()) ||
      !memo.place(memo_path, replace)) {
    const LastError cause = last_error();
    message_handler()("Не могу создать файл " + memo_path);
    table.place(table_path, replace);
    last_error() = cause;
    return false;
  }
  // The companion is in place before its table appears.
  if (!table.place(table_path, replace)) {
    hooks().unlink(memo_path.c_str());
    return false;
  }
  return true;
}

// Whether anything, even a dangling link, is at `path`.
bool name_taken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool dbf_create(const char* path, const char* const* names, const char* types,
                const int32_t* lengths, const int32_t* decimals) {
  TableImage image;
  if (!build_image(path, names, types, lengths, decimals, image)) {
    set_fault("the field lists do not describe a table that can be written");
    return false;
  }
  const std::string table_path = path;
  // The table goes first: a table without its companion is what readers refuse.
  hooks().unlink(table_path.c_str());
  hooks().unlink(dbf_memo_path(table_path).c_str());
  return create_files(table_path, image, true);
}

bool dbf_create_new(const char* path, const char* const* names, const char* types,
                    const int32_t* lengths, const int32_t* decimals) {
  TableImage image;
  if (!build_image(path, names, types, lengths, decimals, image)) {
    set_fault("the field lists do not describe a table that can be written");
    return false;
  }
  const std::string table_path = path;
  if (name_taken(table_path) || (image.with_memo && name_taken(dbf_memo_path(table_path)))) {
    set_error(EEXIST);
    return false;
  }
  return create_files(table_path, image, false);
}

int dbf_sync_folder(const char* path) {
  if (path == nullptr) return -1;
  FileHandle folder(hooks().open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) {
    set_error(errno);
    return -1;
  }
  if (hooks().fsync(folder.get()) != 0) {
    set_error(errno);
    return -1;
  }
  return folder.close() ? 0 : -1;
}

int dbf_publish(const char* from, const char* to, bool replace) {
  if (from == nullptr || to == nullptr) return -1;
  return publish_named(from, to, replace) ? 0 : -1;
}

int dbf_remove_temporaries(const char* path) {
  if (path == nullptr) return 0;
  const std::string folder = folder_of(path);
  const std::string whole = path;
  const size_t slash = whole.rfind('/');
  const std::string prefix =
      (slash == std::string::npos ? whole : whole.substr(slash + 1)) + ".tmp-";
  std::vector<std::string> found;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
      const bool letters = std::all_of(
          name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
          });
      if (letters) found.push_back(folder + "/" + name);
    }
    ::closedir(d);
  }
  int removed = 0;
  for (const std::string& name : found) {
    if (hooks().unlink(name.c_str()) == 0) ++removed;
  }
  return removed;
}

int dbf_last_error() {
  return last_error().code;
}

std::string dbf_last_error_text() {
  return last_error().text;
}

// ---- dbf_open / dbf_append / dbf_close -------------------------------------------------------

int dbf_open(const char* path) {
  dbf_close();
  if (path == nullptr) return -2;
  FileHandle file(dbf_open_retry(path, O_RDWR | O_CLOEXEC, 0));
  if (!file.valid()) {
    set_error(errno);
    return -2;
  }

  std::unique_ptr<OpenTable> table;
  try {
    table = std::make_unique<OpenTable>();
    table->file = std::move(file);
    const int fd = table->file.get();
    if (read_all(fd, table->header.data(), kHeaderSize, 0) != kHeaderSize) {
      set_fault("the file is shorter than a table header");
      return -2;
    }
    table->record_count = get_le32(&table->header[kCountOffset]);
    std::memcpy(&table->lengths_word, &table->header[8], sizeof table->lengths_word);
    table->header_length = get_le16(&table->header[8]);
    table->record_length = get_le16(&table->header[10]);
    if (table->header_length < kHeaderSize + 1 || table->record_length < 1) {
      set_fault("the file's header does not describe a table");
      return -2;
    }

    const size_t count = (table->header_length - 1) / kDescriptorSize - 1;
    table->descriptors.reserve(count);
    uint32_t sum = 1;
    for (size_t i = 0; i < count; ++i) {
      std::array<uint8_t, kDescriptorSize> d{};
      const off_t offset = static_cast<off_t>(kHeaderSize + kDescriptorSize * i);
      if (read_all(fd, d.data(), d.size(), offset) != d.size()) {
        set_fault("the file ends inside its field descriptors");
        return -2;
      }
      table->descriptors.push_back(d);
      sum += d[16];
    }
    // Records are built field by field; a record length that disagrees with the fields, or a
    // file that ends before its counted records, would make every later record land wrongly.
    if (sum != table->record_length) {
      set_fault("the file's record length differs from the sum of its field lengths");
      return -2;
    }
    struct stat st {};
    if (hooks().fstat(fd, &st) != 0) {
      set_error(errno);
      return -2;
    }
    if (st.st_size < table->record_offset(table->record_count)) {
      set_fault("the file is shorter than its counted records");
      return -2;
    }

    table->record.resize(table->record_length);
    table->replaced.assign(count, 0);
    table->replaced_draft.assign(count, 0);
  } catch (const std::bad_alloc&) {
    set_error(ENOMEM);
    return -1;
  }
  table->count_mapping.map(table->file.get());
  open_table() = std::move(table);
  return 0;
}

namespace {

constexpr const char* kSpoilt =
    "another program truncated or overwrote the file while its records were being written";

}  // namespace

int dbf_append(const std::vector<std::string>& values, const std::vector<std::string>& lengths) {
  if (!open_table()) {
    set_fault("no table is open");
    return -1;
  }
  OpenTable& t = *open_table();
  if (t.spoilt) {
    set_fault(kSpoilt);
    return -1;
  }
  const size_t n = t.descriptors.size();
  if (values.size() != n || lengths.size() != n) {
    set_fault("the record's values do not match the table's fields");
    return -1;
  }
  for (size_t i = 0; i < n; ++i) {
    uint32_t length = 0;
    if (!parse_length(lengths[i], length) || length != t.field_length(i)) {
      set_fault("the record's values do not match the table's fields");
      return -1;
    }
  }
  if (t.record_count == UINT32_MAX) {
    set_fault("the table holds as many records as its header can count");
    return -1;
  }

  // The record in code page 866, field after field, straight into its buffer.
  t.record[0] = ' ';  // not deleted
  char* out = t.record.data() + 1;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t length = t.field_length(i);
    t.replaced_draft[i] = cp866_field(values[i], length, out);
    out += length;
  }

  const int fd = t.file.get();
  // Written where the counted records end, not at the end of the file: bytes of a record that
  // was cut short earlier are overwritten instead of shifting every later record.
  const off_t offset = t.record_offset(t.record_count);
  if (!write_all(fd, t.record.data(), t.record.size(), offset)) {
    const LastError cause = last_error();
    hooks().ftruncate(fd, offset);
    last_error() = cause;
    return -1;
  }
  uint8_t count[4];
  put_le32(count, t.record_count + 1);
  if (t.count_mapping.valid()) {
    if (!t.count_mapping.store_count(t.record_count + 1, t.lengths_word)) {
      // The file is not the table any more; nothing more is written into it.
      t.spoilt = true;
      set_fault(kSpoilt);
      return -1;
    }
  } else if (!write_all(fd, count, sizeof count, kCountOffset)) {
    // Take the record back so that the file keeps its earlier records with a matching count.
    const LastError cause = last_error();
    write_all(fd, &t.header[kCountOffset], sizeof count, kCountOffset);
    hooks().ftruncate(fd, offset);
    last_error() = cause;
    return -2;
  }
  ++t.record_count;
  std::memcpy(&t.header[kCountOffset], count, sizeof count);
  t.replaced.swap(t.replaced_draft);
  return 0;
}

const std::vector<uint32_t>& dbf_last_replaced() {
  static const std::vector<uint32_t> kNone;
  return open_table() ? open_table()->replaced : kNone;
}

void dbf_close() {
  open_table().reset();
}

namespace {

// Whether the open table's file still is what its appends made of it; false with the fault kept.
bool check_written(OpenTable& t, const char* path, const struct stat& st) {
  if (t.spoilt) {
    set_fault(kSpoilt);
    return false;
  }
  const off_t expected = t.record_offset(t.record_count);
  if (st.st_size != expected) {
    set_fault("the file is " + std::to_string(st.st_size) + " bytes long instead of the " +
              std::to_string(expected) + " that its header and " + std::to_string(t.record_count) +
              " records make: another program truncated or extended it");
    return false;
  }
  std::vector<uint8_t> disk(kHeaderSize + kDescriptorSize * t.descriptors.size());
  bool same = read_all(t.file.get(), disk.data(), disk.size(), 0) == disk.size() &&
              std::memcmp(disk.data(), t.header.data(), kHeaderSize) == 0;
  for (size_t i = 0; same && i < t.descriptors.size(); ++i) {
    same = std::memcmp(&disk[kHeaderSize + kDescriptorSize * i], t.descriptors[i].data(),
                       kDescriptorSize) == 0;
  }
  if (!same) {
    set_fault("another program changed the file's header while its records were being written");
    return false;
  }
  struct stat named {};
  if (hooks().stat(path, &named) != 0 || named.st_dev != st.st_dev || named.st_ino != st.st_ino) {
    set_fault(std::string(path) +
              " no longer names the file that was written: another program deleted, moved or "
              "replaced it");
    return false;
  }
  return true;
}

}  // namespace

int dbf_finish(const char* path, DbfFileId* id) {
  std::unique_ptr<OpenTable> table = std::move(open_table());
  if (!table) {
    set_fault("no table is open");
    return -1;
  }
  OpenTable& t = *table;
  const int fd = t.file.get();
  struct stat st {};
  if (hooks().fstat(fd, &st) != 0) {
    set_error(errno);
    return -1;
  }
  if (id != nullptr) *id = DbfFileId{st.st_dev, st.st_ino};
  if (path == nullptr || !check_written(t, path, st)) return -2;
  if (hooks().fsync(fd) != 0) {
    set_error(errno);
    return -1;
  }
  // Synced, so that a file system that keeps unwritten data apart reports its holes truly. A
  // hole is a range that another program cut away and the next record's write filled with
  // nothing; a file system without holes reports none.
  const off_t hole = hooks().lseek(fd, 0, SEEK_HOLE);
  if (hole >= 0 && hole < st.st_size) {
    set_fault("the file has a hole at byte " + std::to_string(hole) +
              ": another program truncated it while its records were being written");
    return -2;
  }
  if (!t.count_mapping.unmap()) return -1;
  if (!t.file.close()) return -1;
  return 0;
}

}  // namespace tarnwick
