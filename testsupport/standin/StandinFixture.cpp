#include "testsupport/standin/StandinFixture.h"

#include <algorithm>
#include <fstream>

#include <stdexcept>

#include "oracle/Oracall.h"
#include "testsupport/core/Commands.h"

namespace tarnwick::testsupport {

namespace fs = std::filesystem;

fs::path BinDir() {
  return fs::canonical("/proc/self/exe").parent_path();
}
fs::path StandinLibrary() {
  return BinDir() / "standin" / "libclntsh.so";
}
fs::path DemoServer() {
  return BinDir() / "standin" / "servers" / "demo";
}

void UseStandinClient(std::function<std::optional<std::string>(const std::string&)> getEnv,
                      std::function<void(const std::string&, const std::string&)> setEnv) {
  FreeOCI();
  OracleHomeName.clear();
  OCIDiscoveryInputs in;
  in.oratabPath = (BinDir() / "no-such-oratab").string();
  in.getEnv = getEnv ? std::move(getEnv) : [](const std::string&) -> std::optional<std::string> {
    return std::nullopt;
  };
  in.setEnv = setEnv ? std::move(setEnv) : [](const std::string&, const std::string&) {};
  in.executableDir = BinDir().string();
  SetOCIDiscovery(std::move(in));
}

void CopyServer(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with("-journal") || name.ends_with("-wal") || name.ends_with("-shm")) continue;
    fs::copy_file(entry.path(), to / name, fs::copy_options::overwrite_existing);
  }
}

fs::path CopyDemoServer(const fs::path& folder) {
  const fs::path server = folder / "server";
  CopyServer(DemoServer(), server);
  return server;
}

fs::path MakeDataFolder(const fs::path& folder) {
  const fs::path servers = folder / "servers";
  fs::create_directories(servers);
  CopyServer(DemoServer(), servers / "demo");
  return servers;
}

fs::path MakeServer(const fs::path& servers, const std::string& name, const std::string& charset,
                    const std::string& release) {
  const fs::path server = servers / name;
  const std::string admin = ShellQuote((BinDir() / "standin-admin").string());
  std::string create = admin + " create-server " + ShellQuote(server.string());
  if (!charset.empty()) create += " --charset " + ShellQuote(charset);
  if (!release.empty()) create += " --release " + ShellQuote(release);
  for (const std::string& command :
       {create, admin + " create-user " + ShellQuote(server.string()) + " demo demo"}) {
    const CommandResult result = RunCommand(command + " 2>&1");
    if (result.status != 0) throw std::runtime_error(command + ": " + result.output);
  }
  return server;
}

std::vector<std::string> Trace::Lines() const {
  std::ifstream in(path_);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> Trace::Since(size_t mark) const {
  auto lines = Lines();
  return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(mark, lines.size())),
                                  lines.end());
}

std::vector<std::string> Trace::From(const std::string& prefix) const {
  std::vector<std::string> lines;
  bool on = false;
  for (auto& line : Lines()) {
    on = on || line.rfind(prefix, 0) == 0;
    if (on) lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> Trace::Calls(const std::vector<std::string>& lines) {
  std::vector<std::string> calls;
  for (const auto& l : lines) calls.push_back(l.substr(0, l.find('(')));
  return calls;
}

std::string Trace::Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

bool Trace::Has(const std::vector<std::string>& lines, const std::string& piece) {
  for (const auto& l : lines)
    if (l.find(piece) != std::string::npos) return true;
  return false;
}

std::vector<std::string> Trace::Starting(const std::vector<std::string>& lines,
                                         const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) found.push_back(l);
  return found;
}

}  // namespace tarnwick::testsupport
