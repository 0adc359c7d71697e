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

}  // namespace
