// What users type and what lies on disk, as the built program meets them: a connection string
// that fails never shows its password in any output, and a settings file that is a FIFO, a
// device or too large is refused at once.
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "app/IniFile.h"
#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

class ProgramInputsTest : public ProgramTest {
 protected:
  // Runs the program and kills it when it has not ended after `seconds`: a run that blocks
  // shows as a signalled result instead of a test that never ends.
  TRunResult RunAtMost(TRunOptions options, int seconds) {
    Prepare(options);
    TChild child(ExportProgram(), options, dir.Path());
    std::atomic<bool> ended{false};
    std::thread guard([&] {
      for (int i = 0; i < seconds * 20 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!ended) child.Signal(SIGKILL);
    });
    TRunResult result = child.Wait();
    ended = true;
    guard.join();
    return result;
  }
};

TEST_F(ProgramInputsTest, AFailedConnectNeverShowsThePassword) {
  const std::string settings = dir.File("Tarnwick.INI");
  struct Case {
    std::string name;
    TRunOptions options;
    int status;
    std::string shown;  // how the login appears on standard error
  };
  const std::vector<Case> cases = {
      {"no @ on the command line",
       {.args = {"-c", "demo/s3cretPW", "EMP", "."}},
       4,
       "cannot connect as demo/*** (connection string from --connect)"},
      {"no @ in the environment",
       {.args = {"EMP"}, .env = {{"TARNWICK_CONNECT", "demo/s3cretPW"}}},
       4,
       "cannot connect as demo/*** (connection string from TARNWICK_CONNECT)"},
      {"wrong password",
       {.args = {"--connect=demo/s3cretPW@demo", "EMP"}},
       4,
       "cannot connect as demo/***@demo"},
      {"unknown server",
       {.args = {"-cdemo/s3cretPW@nowhere", "EMP"}},
       4,
       "cannot connect as demo/***@nowhere"},
      {"no /", {.args = {"-c", "s3cretPW@demo", "EMP"}}, 4, "cannot connect as ***@demo"},
      {"@ before /",
       {.args = {"-c", "demo@demo/s3cretPW", "EMP"}},
       4,
       "cannot connect as demo@demo/***"},
      {"password with /",
       {.args = {"-c", "demo/s3cret/PW@nowhere", "EMP"}},
       4,
       "cannot connect as demo/***@nowhere"},
      {"settings file",
       {.args = {"--settings", settings, "EMP"}, .env = {{"TARNWICK_CONNECT", std::nullopt}}},
       4,
       "cannot connect as demo/*** (connection string from " + settings + ")"},
      {"given as the table",
       {.args = {"demo/s3cretPW@demo", "EMP"}},
       2,
       "'demo/***@demo' is not a table name"},
      {"given as a third operand",
       {.args = {"EMP", ".", "demo/s3cretPW"}},
       2,
       "too many operands: 'demo/***'"},
  };
  std::ofstream(settings) << "[Connect]\nString=demo/s3cretPW\n";
  ::chmod(settings.c_str(), 0600);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TRunResult r = Run(c.options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.shown)) << r.err;
    EXPECT_FALSE(Contains(r.out + r.err, "s3cret")) << r.out << r.err;
    EXPECT_FALSE(Contains(r.out + r.err, "PW")) << r.out << r.err;
    EXPECT_EQ(FilesIn(work), std::vector<std::string>{});
  }
}

TEST_F(ProgramInputsTest, ASettingsFileThatIsNoPlainFileOrTooLargeIsRefusedAtOnce) {
  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = dir.File("link.ini");
  fs::create_symlink(fifo, link);
  const std::string large = dir.File("large.ini");
  {
    // A valid file, over the limit by its comment lines.
    std::ofstream file(large);
    file << "[Connect]\nString=demo/demo@demo\n";
    const std::string comment = "; " + std::string(1022, 'x') + "\n";
    for (int i = 0; i < 1024; ++i) file << comment;
  }
  struct Case {
    std::string path;
    std::string message;
  };
  const std::vector<Case> cases = {
      {fifo, "cannot read the settings file " + fifo +
                 ": it is a FIFO (named pipe), not a regular file\n"},
      {link, "cannot read the settings file " + link +
                 ": it is a FIFO (named pipe), not a regular file\n"},
      {"/dev/zero",
       "cannot read the settings file /dev/zero: it is a device, not a regular "
       "file\n"},
      {large, "cannot read the settings file " + large + ": it is larger than 1 MiB (" +
                  std::to_string(fs::file_size(large)) +
                  " bytes); a settings file holds a few lines\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const TRunResult r = RunAtMost(
        {.args = {"--settings", c.path, "EMP"}, .env = {{"TARNWICK_CONNECT", std::nullopt}}}, 20);
    EXPECT_FALSE(r.signaled) << "the program blocked on the settings file";
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
  }
  // Just under the limit, the same file is read.
  fs::resize_file(large, MaxSettingsFileSize);
  const TRunResult r =
      Run({.args = {"--settings", large, "EMP"}, .env = {{"TARNWICK_CONNECT", std::nullopt}}});
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
}  // namespace tarnwick::program_test
