// Appends records to a table in a temporary folder and prints the rate, the file operations per
// record, whether the count went through the mapping of the first page, and the file size.
// Usage: dbf_append_bench [records] [folder]
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/dbf.h"

int main(int argc, char** argv) {
  const long records = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
  const std::filesystem::path folder =
      argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  const std::string path =
      (folder / ("tarnwick-bench-" + std::to_string(getpid()) + ".dbf")).string();

  long writes = 0;
  tarnwick::DbfFileHooks hooks = tarnwick::dbf_default_hooks();
  auto pwrite_os = hooks.pwrite;
  hooks.pwrite = [&writes, pwrite_os](int fd, const void* buf, size_t n, off_t off) {
    ++writes;
    return pwrite_os(fd, buf, n, off);
  };
  bool mapped = false;
  auto mmap_os = hooks.mmap;
  hooks.mmap = [&mapped, mmap_os](void* addr, size_t n, int prot, int flags, int fd, off_t off) {
    void* p = mmap_os(addr, n, prot, flags, fd, off);
    mapped = p != MAP_FAILED;
    return p;
  };
  tarnwick::dbf_set_hooks(hooks);

  // A typical export row: a key, a Cyrillic name, a date, an amount.
  const char* names[] = {"ID", "NAME", "BORN", "AMOUNT", nullptr};
  const int32_t lengths[] = {10, 60, 8, 16, 0};
  const int32_t decimals[] = {0, 0, 0, 2, -1};
  if (!tarnwick::dbf_create(path.c_str(), names, "NCDN", lengths, decimals) ||
      tarnwick::dbf_open(path.c_str()) != 0) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    return 1;
  }
  const std::vector<std::string> length_texts{"10", "60", "8", "16"};
  std::vector<std::string> values(4);
  const long writes_before = writes;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < records; ++i) {
    values[0] = std::to_string(i);
    values[1] = "Петров Пётр Петрович, запись " + std::to_string(i);
    values[2] = "20080815";
    values[3] = std::to_string(i % 100000) + ".25";
    if (tarnwick::dbf_append(values, length_texts) != 0) {
      std::fprintf(stderr, "append %ld failed\n", i);
      return 1;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  tarnwick::dbf_close();
  struct stat st {};
  stat(path.c_str(), &st);
  std::printf("records:             %ld\n", records);
  std::printf("seconds:             %.3f\n", seconds);
  std::printf("records per second:  %.0f\n", records / seconds);
  std::printf("microseconds/record: %.2f\n", seconds * 1e6 / records);
  std::printf("writes per record:   %.2f\n", static_cast<double>(writes - writes_before) / records);
  std::printf("count through:       %s\n", mapped ? "mapping of the first page" : "pwrite");
  std::printf("file size:           %lld bytes (%.1f MB/s)\n", static_cast<long long>(st.st_size),
              st.st_size / seconds / 1e6);
  std::filesystem::remove(path);
  return 0;
}
