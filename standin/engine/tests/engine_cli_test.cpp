// The standin-admin command line: its commands, messages and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;  // standard output and standard error together
};

Result admin(const std::string& args, const std::string& input = "") {
  std::string cmd = std::string(STANDIN_ADMIN) + " " + args + " 2>&1";
  if (!input.empty()) cmd = "printf '%s' '" + input + "' | " + cmd;
  FILE* p = popen(cmd.c_str(), "r");
  Result r{-1, ""};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/standin-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    srv_ = (root_ / "srv").string();
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
  std::string srv_;
};

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const char* calls[] = {"", "nosuch", "create-user x", "generate a b c notanumber",
                         "create-server a --force"};
  for (const char* c : calls) {
    Result r = admin(c);
    EXPECT_EQ(r.code, 2) << c;
    EXPECT_NE(r.out.find("usage: standin-admin <command>"), std::string::npos) << c;
  }
  Result help = admin("help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("load-csv"), std::string::npos);
}

TEST_F(Cli, CreatesFillsAndQueriesAServer) {
  ASSERT_EQ(admin("create-server " + srv_).code, 0);
  EXPECT_EQ(admin("create-server " + srv_).code, 1);  // exists: needs --replace
  ASSERT_EQ(admin("create-user " + srv_ + " scott tiger").code, 0);
  std::string script = (root_ / "s.sql").string();
  std::ofstream(script) << "create table t (id number(3), name varchar2(10), d date);\n"
                           "insert into t values (1, 'one', to_date('2024-01-02', 'YYYY-MM-DD'))\n"
                           "/\n";
  Result run = admin("run " + srv_ + " scott " + script);
  ASSERT_EQ(run.code, 0) << run.out;
  std::string csv = (root_ / "t.csv").string();
  std::ofstream(csv) << "ID,NAME,D\n2,two,2024-02-03 04:05:06\n3,,\n";
  Result load = admin("load-csv " + srv_ + " scott t " + csv);
  EXPECT_EQ(load.code, 0) << load.out;
  EXPECT_EQ(load.out, "2 rows loaded\n");
  Result q = admin("sql " + srv_ + " scott \"select * from t order by 1\"");
  EXPECT_EQ(q.code, 0);
  EXPECT_EQ(q.out,
            "ID\tNAME\tD\n1\tone\t2024-01-02 00:00:00\n2\ttwo\t2024-02-03 04:05:06\n3\t\t\n");
  EXPECT_EQ(admin("sql " + srv_ + " scott \"delete from t where id > 1\"").out, "2 rows\n");
  ASSERT_EQ(admin("generate " + srv_ + " scott big 50").code, 0);
  EXPECT_EQ(admin("tables " + srv_ + " scott").out, "BIG\nT\n");
  Result stdinRun = admin("run " + srv_ + " scott", "insert into t values (7, 7, null);");
  EXPECT_EQ(stdinRun.code, 0) << stdinRun.out;
  EXPECT_EQ(admin("sql " + srv_ + " scott \"select count(*) from t\"").out, "COUNT(*)\n2\n");
}

TEST_F(Cli, FailuresExitWithOneAndSayWhere) {
  ASSERT_EQ(admin("create-server " + srv_).code, 0);
  ASSERT_EQ(admin("create-user " + srv_ + " scott tiger").code, 0);
  std::string script = (root_ / "bad.sql").string();
  std::ofstream(script) << "create table t (a number(1));\n\ninsert into t values (10);\n";
  Result r = admin("run " + srv_ + " scott " + script);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "standin-admin: " + script +
                       ":3: ORA-01438: value larger than specified precision allowed for this "
                       "column\n");
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"tables " + (root_ / "none").string() + " scott", "not a server folder"},
      {"tables " + srv_ + " nobody", "ORA-01017"},
      {"create-user " + srv_ + " scott x", "exists already"},
      {"run " + srv_ + " scott " + (root_ / "missing.sql").string(), "cannot read"},
      {"sql " + srv_ + " scott \"select * from nosuch\"", "ORA-00942"},
  };
  for (const Case& c : cases) {
    Result f = admin(c.args);
    EXPECT_EQ(f.code, 1) << c.args;
    EXPECT_NE(f.out.find(c.message), std::string::npos) << c.args << ": " << f.out;
  }
}

TEST_F(Cli, CreateServerTakesACharacterSetAndARelease) {
  Result made = admin("create-server " + srv_ + " --charset cl8mswin1251 --release 19");
  ASSERT_EQ(made.code, 0) << made.out;
  std::ifstream in(fs::path(srv_) / "settings");
  std::string settings((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(settings.find("version = 19.3.0.0.0\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("charset = CL8MSWIN1251\n"), std::string::npos) << settings;
  ASSERT_EQ(admin("create-user " + srv_ + " scott tiger").code, 0);
  // 30 Cyrillic letters fit 30 bytes of a single-byte set.
  std::string letters;
  for (int i = 0; i < 30; ++i) letters += "Ж";
  Result ins = admin("sql " + srv_ + " scott \"create table t (v varchar2(30 byte))\"");
  ASSERT_EQ(ins.code, 0) << ins.out;
  ins = admin("sql " + srv_ + " scott \"insert into t values ('" + letters + "')\"");
  EXPECT_EQ(ins.out, "1 rows\n");

  // Without options: AL32UTF8 and 10.2, and the settings file names no character set.
  std::string plain = (root_ / "plain").string();
  ASSERT_EQ(admin("create-server " + plain).code, 0);
  std::ifstream p(fs::path(plain) / "settings");
  std::string plainSettings((std::istreambuf_iterator<char>(p)), std::istreambuf_iterator<char>());
  EXPECT_NE(plainSettings.find("version = 10.2.0.1.0\n"), std::string::npos);
  EXPECT_EQ(plainSettings.find("charset"), std::string::npos);
  // --replace keeps working beside the new options.
  EXPECT_EQ(admin("create-server " + plain + " --release 8.1 --replace").code, 0);

  struct Case {
    std::string args;
    int code;
    std::string message;
  };
  const std::string other = (root_ / "other").string();
  const Case cases[] = {
      {"create-server " + other + " --charset WE8DEC", 1,
       "standin-admin: unknown character set \"WE8DEC\" (known: AL32UTF8, UTF8, CL8MSWIN1251, "
       "CL8ISO8859P5)\n"},
      {"create-server " + other + " --release 10.1", 1,
       "standin-admin: unknown release \"10.1\" (known: 8.0, 8.1, 9.2, 10.2, 11.2, 12.1, 12.2, "
       "19, 23)\n"},
      {"create-server " + other + " --charset AL32UTF8 --release 8.1.7", 1,
       "standin-admin: character set AL32UTF8 needs release 9.0 or later (release 8.1.7.0.0); "
       "use UTF8\n"},
      {"create-server " + other + " --charset", 2, "standin-admin: --charset needs a value\n"},
      // An existing server is not removed for options that are refused.
      {"create-server " + srv_ + " --replace --release 7", 1, "standin-admin: unknown release"},
  };
  for (const Case& c : cases) {
    Result r = admin(c.args);
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << c.args << ": " << r.out;
  }
  EXPECT_FALSE(fs::exists(other));
  EXPECT_TRUE(fs::exists(fs::path(srv_) / "SCOTT.db"));
}

}  // namespace
