#include "testsupport/bench/BenchChild.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tarnwick::benchsupport {

namespace fs = std::filesystem;

void Die(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
  std::exit(1);
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
  }
  return -1;
}

TBenchOptions ParseBenchOptions(int argc, char** argv, const std::string& usage) {
  TBenchOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rows" && i + 1 < argc) {
      options.rows = std::atoll(argv[++i]);
    } else if (a == "--runs" && i + 1 < argc) {
      options.runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--keep" && i + 1 < argc) {
      options.keep = argv[++i];
    } else {
      Die("usage: " + usage);
    }
  }
  if (options.rows < 1) Die("--rows wants a positive number");
  return options;
}

std::string PrepareBenchServer(const TBenchOptions& options, const std::string& name,
                               const std::string& admin) {
  const fs::path folder =
      options.keep.empty() ? fs::temp_directory_path() / name : fs::path(options.keep);
  const std::string server = (folder / "server").string();
  if (fs::exists(fs::path(server) / "users")) return server;

  std::printf("making %s: tables of %lld and %lld rows ...\n", server.c_str(), options.rows,
              4 * options.rows);
  std::fflush(stdout);
  fs::create_directories(folder);
  const auto run = [&](const std::string& args) {
    const std::string command = admin + " " + args + " >/dev/null";
    if (std::system(command.c_str()) != 0) Die("failed: " + command);
  };
  run("create-server " + server + " --replace");
  run("create-user " + server + " BENCH bench");
  run("generate " + server + " BENCH T1 " + std::to_string(options.rows));
  run("generate " + server + " BENCH T4 " + std::to_string(4 * options.rows));
  return server;
}

std::string RunSelf(const std::vector<std::string>& args) {
  const std::string self = fs::canonical("/proc/self/exe").string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(self.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) Die(std::string("pipe: ") + std::strerror(errno));
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) Die(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    execv(self.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string what;
  for (const std::string& a : args) what += " " + a;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("child" + what + " failed");
  return out;
}

}  // namespace tarnwick::benchsupport
