#include "testsupport/core/Commands.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace tarnwick::testsupport {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted(1, '\'');
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

const char* SystemPython() {
  return TARNWICK_SYSTEM_PYTHON;
}

std::string PythonDbfMissing() {
  if (access(SystemPython(), X_OK) != 0) return std::string(SystemPython()) + " not found";
  if (RunCommand(ShellQuote(SystemPython()) + " -c 'import dbf' 2>/dev/null").status != 0) {
    return "the Python module dbf (Debian package python3-dbf) is not installed";
  }
  return {};
}

::testing::AssertionResult PythonDbfAvailable() {
  const std::string why = PythonDbfMissing();
  if (why.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << why << " (scripts/deps.sh installs it)";
}

const char* const kPythonDbfFieldReader = R"PY(
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

CommandResult ReadWithPythonDbf(const ScratchDir& dir, const std::string& table,
                                const char* script) {
  const std::string path = dir.File("read_table.py");
  std::ofstream(path) << script;
  return RunCommand(ShellQuote(SystemPython()) + " " + ShellQuote(path) + " " + ShellQuote(table) +
                    " 2>&1");
}

}  // namespace tarnwick::testsupport
