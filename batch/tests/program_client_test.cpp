// The built tarnwick-export with Oracle clients other than the stand-in beside it: copies of the
// stand-in that carry the names of clients 11 to 23, installed the way those clients are
// (Instant Client folders found through ORACLE_HOME or LD_LIBRARY_PATH, and ORACLE_HOME/lib),
// refused unless the user opted in and exporting when they did; and a client that cannot be
// loaded, whose reason the program tells.
#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

// The way a client is installed and found.
enum class Layout { InstantClientByHome, InstantClientByLoaderPath, HomeLib };

const char* Name(Layout layout) {
  switch (layout) {
    case Layout::InstantClientByHome:
      return "Instant Client through ORACLE_HOME";
    case Layout::InstantClientByLoaderPath:
      return "Instant Client through LD_LIBRARY_PATH";
    case Layout::HomeLib:
      return "ORACLE_HOME/lib";
  }
  return "";
}

class ClientProgramTest : public ProgramTest {
 protected:
  // The stand-in as the client of `version`: libclntsh.so.<version> with libclntsh.so linked to
  // it, in an Instant Client folder or in the lib folder of a home. The environment that finds it.
  std::map<std::string, std::optional<std::string>> Install(const std::string& version,
                                                            Layout layout) {
    const bool instant = layout != Layout::HomeLib;
    const fs::path home = dir.Path() / ((instant ? "instantclient_" : "home_") + version);
    const fs::path folder = instant ? home : home / "lib";
    const std::string file = "libclntsh.so." + version;
    if (!fs::exists(folder / file)) {
      fs::create_directories(folder);
      fs::copy_file(fs::canonical(testsupport::StandinLibrary()), folder / file);
      fs::create_symlink(file, folder / "libclntsh.so");
    }
    if (layout == Layout::InstantClientByLoaderPath) {
      return {{"LD_LIBRARY_PATH", folder.string()}};
    }
    return {{"ORACLE_HOME", home.string()}};
  }
};

TEST_F(ClientProgramTest, NewerClientsAreRefusedUnlessTheUserOptsIn) {
  const std::vector<std::string> versions = {"11.1", "12.1", "19.1", "21.1", "23.1"};
  const std::vector<Layout> layouts = {Layout::InstantClientByHome,
                                       Layout::InstantClientByLoaderPath, Layout::HomeLib};
  const std::size_t demoRows = Rows(server, "select * from EMP").size();
  ASSERT_GT(demoRows, 0u);
  int turn = 0;
  for (const std::string& version : versions) {
    for (const Layout layout : layouts) {
      SCOPED_TRACE(version + ", " + Name(layout));
      std::map<std::string, std::optional<std::string>> env = Install(version, layout);

      const TRunResult refused = Run({.args = {"EMP", out.string()}, .env = env});
      EXPECT_EQ(refused.status, 4) << refused.err;
      EXPECT_TRUE(Contains(refused.err, ": OCI version " + version + " is not supported.\n"))
          << refused.err;
      EXPECT_TRUE(Contains(refused.err,
                           "give --accept-newer-client, set "
                           "TARNWICK_ACCEPT_NEWER_CLIENT=1, or put "
                           "AcceptNewerClient=1 in section [Client]"))
          << refused.err;
      EXPECT_FALSE(fs::exists(out / "EMP.dbf"));

      // Each of the three ways to opt in, in turn.
      std::vector<std::string> args = {"EMP", out.string(), "--overwrite"};
      std::string settings;
      switch (turn++ % 3) {
        case 0:
          args.push_back("--accept-newer-client");
          break;
        case 1:
          env["TARNWICK_ACCEPT_NEWER_CLIENT"] = "1";
          break;
        case 2:
          settings = (dir.Path() / "opt-in.ini").string();
          std::ofstream(settings) << "[Client]\nAcceptNewerClient=1\n";
          fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write);
          args.insert(args.end(), {"--settings", settings});
          break;
      }
      const std::string trace = (dir.Path() / "trace.txt").string();
      env["STANDIN_TRACE"] = trace;
      fs::remove(trace);
      const TRunResult accepted = Run({.args = args, .env = env});
      ASSERT_EQ(accepted.status, 0) << accepted.err;
      const TTableFile table = ReadDbf((out / "EMP.dbf").string());
      EXPECT_EQ(table.count, demoRows);
      ASSERT_TRUE(PythonDbfAvailable());
      const std::vector<std::string> lines = ReadWithPython(dir, (out / "EMP.dbf").string());
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0], "COUNT " + std::to_string(demoRows));
      // The road of a client 8 to 10: the environment of OCIEnvCreate, the handle-based logon,
      // and the server's version from OCIServerVersion (not from a query, as for a client that
      // offers the version 8 calls alone).
      const std::string calls = ReadFile(trace);
      EXPECT_TRUE(calls.starts_with("OCIEnvCreate(")) << calls.substr(0, 500);
      EXPECT_TRUE(Contains(calls, "\nOCISessionBegin(")) << calls.substr(0, 500);
      EXPECT_TRUE(Contains(calls, "\nOCIServerVersion(")) << calls.substr(0, 500);
      EXPECT_FALSE(Contains(calls, "PRODUCT_COMPONENT_VERSION")) << calls.substr(0, 500);
      fs::remove(out / "EMP.dbf");
    }
  }
}

TEST_F(ClientProgramTest, AValueOtherThanZeroOrOneIsRefusedBeforeConnecting) {
  std::map<std::string, std::optional<std::string>> env =
      Install("19.1", Layout::InstantClientByHome);
  env["TARNWICK_ACCEPT_NEWER_CLIENT"] = "yes";
  const TRunResult r = Run({.args = {"EMP", out.string()}, .env = env});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err,
            "tarnwick-export: TARNWICK_ACCEPT_NEWER_CLIENT is 'yes': it takes 1 (accept Oracle "
            "clients of version 11 and later, used as clients 8 to 10 are) or 0 (refuse them)\n");
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(ClientProgramTest, AClientWhoseLibraryIsMissingSaysWhichOne) {
  const fs::path ic = dir.Path() / "instantclient_10_1";
  fs::create_directories(ic);
  fs::copy_file(TARNWICK_FAKE_CLIENT_NEEDING, ic / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", ic / "libclntsh.so");
  const TRunResult r = Run({.args = {"EMP", out.string()}, .env = {{"ORACLE_HOME", ic.string()}}});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_TRUE(Contains(r.err, ": Cannot load OCI DLL: " + (ic / "libclntsh.so").string() +
                                  " (libtarnwick_fake_dependency.so: cannot open shared object "
                                  "file: No such file or directory)\n"))
      << r.err;
  EXPECT_FALSE(fs::exists(out / "EMP.dbf"));
}

}  // namespace
}  // namespace tarnwick::program_test
