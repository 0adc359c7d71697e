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
#include "testsupport/ScratchDir.h"

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

struct CommandResult {
  int status = -1;
  std::string output;
};

inline CommandResult run_command(const std::string& command) {
  CommandResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  const int st = pclose(pipe);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

inline std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

#ifdef TARNWICK_SYSTEM_PYTHON
inline const char* system_python() {
  return TARNWICK_SYSTEM_PYTHON;
}
#else
inline const char* system_python() {
  return "/usr/bin/python3";
}
#endif

// Empty when python3-dbf can be used, else the reason it cannot.
inline std::string python_dbf_missing() {
  if (access(system_python(), X_OK) != 0) return std::string(system_python()) + " not found";
  const CommandResult r =
      run_command(shell_quote(system_python()) + " -c 'import dbf' 2>/dev/null");
  if (r.status != 0) return "the Python module dbf (Debian package python3-dbf) is not installed";
  return {};
}

// Empty when GDAL's ogrinfo can be run, else the reason it cannot.
inline std::string ogrinfo_missing() {
  const CommandResult r = run_command("ogrinfo --version 2>/dev/null");
  if (r.status != 0) return "ogrinfo (Debian package gdal-bin) is not installed";
  return {};
}

// Reads a table with python3-dbf and prints one item per line:
//   COUNT <records> / CODEPAGE <name> / FIELD <NAME> <type> <length> <decimals> / REC, then one
//   "V ..." line per field: a character value in brackets, spaces kept, decoded from the table's
//   code page; a date as yyyymmdd; a number as Python writes it; None for a blank date or number.
inline const char* kPythonReader = R"PY(
import sys, datetime, dbf
sys.stdout.reconfigure(encoding="utf-8")
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print("COUNT", len(t))
print("CODEPAGE", t.codepage.name)
for name in t.field_names:
    info = t.field_info(name)
    print("FIELD", name.upper(), chr(info.field_type), info.length, info.decimal)
for rec in t:
    print("REC")
    for v in rec:
        if v is None:
            print("V None")
        elif isinstance(v, str):
            print("V [" + v + "]")
        elif isinstance(v, datetime.date):
            print("V " + v.strftime("%Y%m%d"))
        else:
            print("V " + repr(v))
t.close()
)PY";

// Runs the Python reader on a table; the output of a failed run ends with the error text.
inline CommandResult read_with_python(const tarnwick::testsupport::ScratchDir& dir,
                                      const std::string& table) {
  const std::string script = dir.File("read_table.py");
  std::ofstream(script) << kPythonReader;
  return run_command(shell_quote(system_python()) + " " + shell_quote(script) + " " +
                     shell_quote(table) + " 2>&1");
}

// Runs ogrinfo -al on a table (stderr included).
inline CommandResult read_with_ogrinfo(const std::string& table) {
  return run_command("ogrinfo -ro -al " + shell_quote(table) + " 2>&1");
}

}  // namespace dbftest
