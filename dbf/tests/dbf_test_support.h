#pragma once
// Shared fixtures of the DBF writer tests: field lists in the writer's argument form, file
// reading, a scratch folder per test with the module's hooks restored, and running the
// independent readers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "testsupport/core/Commands.h"
#include "testsupport/core/ScratchDir.h"

namespace dbftest {

struct Field {
  std::string name;
  char type;
  int32_t length;
  int32_t decimals;
};

// The writer's five argument arrays, with their terminators, built from a field list.
struct CreateArgs {
  explicit CreateArgs(const std::vector<Field>& fields) {
    for (const Field& f : fields) {
      names.push_back(f.name);
      types.push_back(f.type);
      lengths.push_back(f.length);
      decimals.push_back(f.decimals);
    }
    for (const std::string& n : names) name_ptrs.push_back(n.c_str());
    name_ptrs.push_back(nullptr);
    lengths.push_back(0);
    decimals.push_back(-1);
  }
  bool create(const std::string& path) const {
    return tarnwick::dbf_create(path.c_str(), name_ptrs.data(), types.c_str(), lengths.data(),
                                decimals.data());
  }
  std::vector<std::string> names;
  std::vector<const char*> name_ptrs;
  std::string types;
  std::vector<int32_t> lengths;
  std::vector<int32_t> decimals;
};

// The length list that dbf_append expects for a field list.
inline std::vector<std::string> length_texts(const std::vector<Field>& fields) {
  std::vector<std::string> out;
  for (const Field& f : fields) out.push_back(std::to_string(f.length));
  return out;
}

inline std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The names in a folder.
inline std::set<std::string> folder_entries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

inline uint32_t le16(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8);
}
inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

// Every test starts and ends with the operating system's hooks, no open table and a message sink
// that records instead of printing.
class DbfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tarnwick::dbf_set_hooks({});
    tarnwick::dbf_set_message_handler([this](const std::string& m) { messages.push_back(m); });
  }
  void TearDown() override {
    tarnwick::dbf_close();
    tarnwick::dbf_set_hooks({});
    tarnwick::dbf_set_message_handler({});
  }
  tarnwick::testsupport::ScratchDir dir{"tarnwick-dbf"};
  std::vector<std::string> messages;
};

// ---- independent readers -------------------------------------------------------------------

using tarnwick::testsupport::CommandResult;
using tarnwick::testsupport::PythonDbfAvailable;
using tarnwick::testsupport::ReadWithPythonDbf;
using tarnwick::testsupport::RunCommand;
using tarnwick::testsupport::ShellQuote;
using tarnwick::testsupport::SystemPython;

// Whether GDAL's ogrinfo can be run; a failure saying why when not: the checks that read a table
// with it fail instead of passing unseen on a machine without it.
inline ::testing::AssertionResult ogrinfo_available() {
  if (RunCommand("ogrinfo --version 2>/dev/null").status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "ogrinfo (Debian package gdal-bin) is not installed (scripts/deps.sh installs it)";
}

// Runs ogrinfo -al on a table (stderr included).
inline CommandResult read_with_ogrinfo(const std::string& table) {
  return RunCommand("ogrinfo -ro -al " + ShellQuote(table) + " 2>&1");
}

}  // namespace dbftest
