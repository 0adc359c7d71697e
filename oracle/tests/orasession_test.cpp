// The session component: defaults, connect strings, the session list, and connecting to the
// stand-in client through the real loading path (discovery, loading, the entry-point table).
#include "oracle/OraSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "oracle/OraError.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace fs = std::filesystem;

namespace tarnwick {
namespace {

using ::testing::AllOf;
using ::testing::Property;
using ::testing::StartsWith;
using ::testing::Throws;

// ---- Without a client ----

TEST(OraSessionDefaults, PublishedDefaults) {
  TOraSession s("OraSession1");
  EXPECT_TRUE(s.AutoCommit());
  EXPECT_TRUE(s.ConnectPrompt());
  EXPECT_TRUE(s.ThreadSafety());
  EXPECT_EQ(s.ConnectMode(), TConnectMode::cmNormal);
  EXPECT_FALSE(s.Debug());
  EXPECT_FALSE(s.Pooling());
  EXPECT_EQ(s.PoolingOptions().MaxPoolSize, 100);
  EXPECT_EQ(s.PoolingOptions().MinPoolSize, 0);
  EXPECT_EQ(s.PoolingOptions().ConnectionLifetime, 0);
  EXPECT_EQ(s.Options().CharLength(), 1);
  EXPECT_TRUE(s.Options().Charset().empty());
  EXPECT_FALSE(s.Options().UseUnicode());
  EXPECT_FALSE(s.Options().ConvertEOL());
  EXPECT_TRUE(s.Options().DateFormat().empty());
  EXPECT_TRUE(s.Options().EnableIntegers());
  EXPECT_FALSE(s.Options().EnableNumbers());
  EXPECT_FALSE(s.Options().UseOCI7());
  EXPECT_FALSE(s.Options().Net());
  EXPECT_TRUE(s.HomeName().empty());
  EXPECT_FALSE(s.GetConnected());
  EXPECT_EQ(s.GetIConnection(), nullptr);
  EXPECT_EQ(s.CallStyle(), TOCICallStyle::None);
}

TEST(OraSessionDefaults, FeaturesThatAreNotAvailableSaySo) {
  TOraSession s;
  auto message = [](auto&& f) { return testsupport::MessageOf(f, ""); };
  EXPECT_EQ(message([&] { s.SetDebug(true); }), "SQL monitoring is not supported");
  EXPECT_EQ(message([&] { s.SetPooling(true); }), "Connection pooling is not supported");
  EXPECT_EQ(message([&] { s.Options().SetNet(true); }),
            "The direct network transport is not supported");
  EXPECT_EQ(message([&] { s.Options().SetCharLength(7); }), "CharLength must be 0..6");
  EXPECT_EQ(message([&] { s.Options().SetUseUnicode(true); }),
            "Unicode (UTF-16) fields are not supported");
  EXPECT_EQ(message([&] { s.Options().SetNeverConnect(true); }),
            "The option NeverConnect is not supported: no session is read from a form");
  EXPECT_EQ(message([&] { s.SetConnectPrompt(false); }),
            "The option ConnectPrompt = False is not supported: there is no login dialog, every "
            "connect uses the user name, password and server as set");
  // Their defaults are what this build does.
  EXPECT_EQ(message([&] {
              s.Options().SetUseUnicode(false);
              s.Options().SetNeverConnect(false);
              s.SetConnectPrompt(true);
            }),
            "");
  EXPECT_FALSE(s.Options().UseUnicode());
  EXPECT_EQ(message([&] { s.SetDebug(false); }), "");
  EXPECT_EQ(message([&] { s.Commit(); }), "Operation is not allowed when the connection is closed");
}

TEST(OraSessionConnectString, ComposeAndParse) {
  struct Case {
    std::string text, user, password, server, composed;
  };
  const std::vector<Case> cases = {
      {"scott/tiger@orcl", "scott", "tiger", "orcl", "scott/tiger@orcl"},
      {"scott/tiger", "scott", "tiger", "", "scott/tiger"},
      {"scott@orcl", "scott", "", "orcl", "scott@orcl"},
      {"scott", "scott", "", "", "scott"},
      {"scott/@orcl", "scott", "", "orcl", "scott@orcl"},
      {"/@orcl", "", "", "orcl", "@orcl"},
      {"a/b/c@d@e", "a", "b/c", "d@e", "a/b/c@d@e"},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    TOraSession s;
    s.SetConnectString("x/y@z");
    s.SetConnectString(c.text);
    EXPECT_EQ(s.Username(), c.user) << c.text;
    EXPECT_EQ(s.Password(), c.password) << c.text;
    EXPECT_EQ(s.Server(), c.server) << c.text;
    EXPECT_EQ(s.GetConnectString(), c.composed) << c.text;
  }
}

TEST(OraSessionList, DefSessionAndHomeNameFollowTheList) {
  const int before = Sessions.Count();
  TOraSession* oldDef = DefSession;
  {
    auto first = std::make_unique<TOraSession>("First");
    if (!oldDef) {
      EXPECT_EQ(DefSession, first.get());
    }
    TOraSession second("Second");
    EXPECT_EQ(Sessions.Count(), before + 2);
    EXPECT_EQ(SessionByName("second"), &second);
    EXPECT_EQ(SessionByName("none"), nullptr);
    if (!oldDef) {
      first.reset();
      EXPECT_EQ(DefSession, &second) << "the next session of the list takes over";
    }
  }
  EXPECT_EQ(Sessions.Count(), before);
  EXPECT_EQ(DefSession, oldDef);
  EXPECT_TRUE(UseDefSession);
}

TEST(OraSessionHome, HomeNameIsSharedAndAMissingHomeFailsTheConnect) {
  OCIDiscoveryInputs in;
  in.oratabPath = "/nonexistent/oratab";
  in.getEnv = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
  in.setEnv = [](const std::string&, const std::string&) {};
  SetOCIDiscovery(std::move(in));
  TOraSession first("A"), second("B");
  first.SetHomeName("Other");
  EXPECT_EQ(OracleHomeName, "Other");
  EXPECT_EQ(first.HomeName(), "Other");
  EXPECT_EQ(second.HomeName(), "Other") << "every session follows the home";
  TOraSession third("C");
  EXPECT_EQ(third.HomeName(), "Other") << "a new session takes the home of the first";
  EXPECT_EQ(testsupport::PlainErrorOf([&] { second.Connect(); }), "Cannot find OCI DLL: in Other")
      << "a named home that does not exist cannot connect; loading failures are plain exceptions";
  EXPECT_FALSE(second.GetConnected());
  EXPECT_THROW(second.Home(), Exception) << "reading the home detects the client first";
  first.SetHomeName("");
  EXPECT_TRUE(OracleHomeName.empty());
  EXPECT_TRUE(third.HomeName().empty());
  FreeOCI();
}

// ---- Against the stand-in ----

using testsupport::ScopedEnvVar;

class StandinSession : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::UseStandinClient(
        [this](const std::string& n) -> std::optional<std::string> {
          auto it = env.find(n);
          if (it == env.end()) return std::nullopt;
          return it->second;
        },
        [this](const std::string& n, const std::string& v) { env[n] = v; });
    ASSERT_TRUE(fs::exists(testsupport::StandinLibrary())) << "the stand-in client must be built";
    serversVar.emplace("STANDIN_SERVERS", testsupport::MakeDataFolder(dir.Path()).string());
    session.SetUsername("demo");
    session.SetPassword("demo");
    session.SetServer("demo");
    session.BeforeConnect = [this](TOraSession&) { events += "BeforeConnect;"; };
    session.AfterConnect = [this](TOraSession&) { events += "AfterConnect;"; };
    session.BeforeDisconnect = [this](TOraSession&) { events += "BeforeDisconnect;"; };
    session.AfterDisconnect = [this](TOraSession&) { events += "AfterDisconnect;"; };
    session.OnConnectChange = [this](TOraSession&, bool c) {
      events += c ? "Change(true);" : "Change(false);";
    };
  }
  void TearDown() override {
    session.OnError = nullptr;
    try {
      session.Disconnect();
    } catch (...) {
    }
    serversVar.reset();
    Unload();
  }
  // A fresh environment reads the stand-in's fault and trace variables again.
  static void Unload() {
    FreeOCI();
    OracleHomeName.clear();
  }
  EOraError ConnectError() {
    try {
      session.Connect();
    } catch (const EOraError& e) {
      return e;
    }
    return EOraError(0, "no error");
  }

  testsupport::ScratchDir dir{"orasession"};
  std::map<std::string, std::string> env;
  TOraSession session{"OraSession1"};
  std::string events;
  std::optional<ScopedEnvVar> serversVar;
};

TEST_F(StandinSession, ConnectAndDisconnect) {
  session.Connect();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(events, "BeforeConnect;Change(true);AfterConnect;");
  EXPECT_EQ(env["NLS_LANG"], ".AL32UTF8");
  TOCIConnection* connection = session.GetIConnection();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->GetOCICallStyle(), TOCICallStyle::OCI80);
  EXPECT_EQ(connection->GetOCICallStyleCommand(), TOCICallStyle::OCI80);
  EXPECT_GE(connection->GetOracleVersion(), 8000);
  EXPECT_FALSE(session.GetOracleVersion().empty());
  EXPECT_EQ(connection->GetMaxStringSize(), 4000);

  session.Connect();  // already connected: nothing happens
  EXPECT_EQ(events, "BeforeConnect;Change(true);AfterConnect;");

  events.clear();
  session.Disconnect();
  EXPECT_FALSE(session.GetConnected());
  EXPECT_EQ(events, "BeforeDisconnect;Change(false);AfterDisconnect;");
  events.clear();
  session.Disconnect();
  EXPECT_EQ(events, "");

  session.Connect();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(session.GetIConnection(), connection) << "the connection object is kept";
}

TEST_F(StandinSession, SameUserNameKeepsTheConnection) {
  session.Connect();
  session.SetUsername("demo");
  EXPECT_TRUE(session.GetConnected());
  session.SetServer("other");
  EXPECT_FALSE(session.GetConnected()) << "a change disconnects first";
}

TEST_F(StandinSession, WrongPassword) {
  session.SetPassword("wrong");
  TOCIConnection* first = nullptr;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const EOraError e = ConnectError();
    EXPECT_EQ(e.ErrorCode(), 1017);
    EXPECT_EQ(e.Message(), "ORA-01017: invalid username/password; logon denied\n");
    EXPECT_FALSE(session.GetConnected());
    EXPECT_EQ(session.GetLastError(), 1017);
    if (attempt == 0) first = session.GetIConnection();
    EXPECT_EQ(session.GetIConnection(), first) << "no second connection object";
  }
  EXPECT_EQ(events, "BeforeConnect;BeforeConnect;") << "neither AfterConnect nor OnConnectChange";
  session.SetPassword("demo");
  session.Connect();
  EXPECT_TRUE(session.GetConnected()) << "the handles were cleaned up for the next attempt";
}

TEST_F(StandinSession, UnknownServer) {
  session.SetServer("no_such_server");
  const EOraError e = ConnectError();
  EXPECT_EQ(e.ErrorCode(), 12154);
  EXPECT_EQ(e.Message().rfind("ORA-12154: ", 0), 0u) << e.Message();
  EXPECT_FALSE(session.GetConnected());
}

TEST_F(StandinSession, PasswordExpiryWarningPassesSilently) {
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCISessionBegin:1:28002");
  session.Connect();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(session.GetLastError(), 28002);
}

TEST_F(StandinSession, CompilationWarningIsRaised) {
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtExecute:1:24344");
  session.Connect();
  ASSERT_THAT([&] { session.Options().SetDateFormat("YYYYMMDD"); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 24344)))
      << "ORA-24344 must be raised";
  EXPECT_TRUE(session.GetConnected());
}

// The disconnect that a fatal error causes runs inside the error hook; its own error (the
// session end finds the channel gone: ORA-03114) passes the hook again, which does not
// disconnect a second time but still reports it to OnError, and is then swallowed. So OnError
// sees the disconnect's error first and the fatal error last, and only the fatal error reaches
// the caller.
TEST_F(StandinSession, FatalErrorDisconnectsBeforeTheCallerSeesIt) {
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtExecute:1:3113");
  session.Connect();
  std::vector<std::pair<int32_t, bool>> seen;  // code, connected when OnError ran
  session.OnError = [&](TOraSession& s, EDAError& e, bool& fail) {
    EXPECT_TRUE(fail);
    seen.emplace_back(e.ErrorCode(), s.GetConnected());
  };
  events.clear();
  ASSERT_THAT([&] { session.Options().SetDateFormat("YYYYMMDD"); },
              Throws<EOraError>(
                  AllOf(Property(&EOraError::ErrorCode, 3113),
                        Property(&EOraError::Message,
                                 StartsWith("ORA-03113: end-of-file on communication channel")))))
      << "ORA-03113 must be raised";
  EXPECT_FALSE(session.GetConnected());
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), std::make_pair(int32_t{3113}, false))
      << "the session disconnects before OnError sees the error";
  EXPECT_EQ(events.rfind("BeforeDisconnect;", 0), 0u) << events;
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, bool>>{{3114, false}, {3113, false}}));
  EXPECT_EQ(session.GetLastError(), 3114) << "the disconnect's error was recorded last";
  session.Connect();
  EXPECT_TRUE(session.GetConnected()) << "a new connect works after the lost connection";
}

TEST_F(StandinSession, HookThatClearsFailTurnsTheErrorIntoAbort) {
  int calls = 0;
  session.OnError = [&](TOraSession&, EDAError& e, bool& fail) {
    ++calls;
    EXPECT_EQ(e.ErrorCode(), 1017);
    fail = false;
  };
  session.SetPassword("wrong");
  EXPECT_THROW(session.Connect(), EAbort);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(session.GetConnected());
}

TEST_F(StandinSession, SessionSettingsAfterConnect) {
  session.Connect();
  session.Options().SetDateFormat("YYYYMMDD");
  EXPECT_EQ(session.Options().DateFormat(), "YYYYMMDD");
  // Setting the same value again sends nothing; an empty value clears the flag.
  session.Options().SetDateFormat("");
  const auto& params = session.GetIConnection()->NlsParams();
  EXPECT_FALSE(params[1].IsSet);
}

TEST_F(StandinSession, FailoverEventsReachOnFailover) {
  testsupport::ScratchDir traceDir("failover");
  const testsupport::Trace trace(traceDir.Path() / "trace.txt");
  ScopedEnvVar traceVar("STANDIN_TRACE", trace.Path().string());
  session.Options().SetDateFormat("YYYYMMDD");
  session.Connect();
  const OCIFocbkStruct& reg = session.GetIConnection()->FailoverRegistration();
  ASSERT_NE(reg.callback_function, nullptr);
  EXPECT_EQ(reg.fo_ctx, session.GetIConnection());
  std::vector<std::pair<TFailoverState, TFailoverType>> seen;
  bool askRetry = false;
  session.OnFailover = [&](TOraSession&, TFailoverState st, TFailoverType ty, bool& retry) {
    seen.emplace_back(st, ty);
    retry = askRetry;
  };
  struct Case {
    ub4 event, type;
    bool retry;
    sb4 result;
    TFailoverState state;
    TFailoverType kind;
  };
  const std::vector<Case> cases = {
      {OCI_FO_BEGIN, OCI_FO_SESSION, false, 0, TFailoverState::fsBegin, TFailoverType::ftSession},
      {OCI_FO_ERROR, OCI_FO_SELECT, true, OCI_FO_RETRY, TFailoverState::fsError,
       TFailoverType::ftQuery},
      {OCI_FO_END, OCI_FO_TXNAL, false, 0, TFailoverState::fsEnd, TFailoverType::ftTransaction},
      {OCI_FO_ABORT, OCI_FO_NONE, false, 0, TFailoverState::fsAbort, TFailoverType::ftNone},
      {OCI_FO_REAUTH, OCI_FO_SESSION, false, 0, TFailoverState::fsReauth, TFailoverType::ftSession},
  };
  for (const auto& c : cases) {
    askRetry = c.retry;
    seen.clear();
    EXPECT_EQ(reg.callback_function(nullptr, nullptr, reg.fo_ctx, c.type, c.event), c.result);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, c.state);
    EXPECT_EQ(seen[0].second, c.kind);
  }
  // The session settings are applied at connect and again when a failover ends.
  const auto lines = trace.Lines();
  int applied = 0;
  for (const auto& line : testsupport::Trace::Starting(lines, "OCIStmtPrepare("))
    applied += line.find("\"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'\"") != std::string::npos;
  EXPECT_EQ(applied, 2) << testsupport::Trace::Joined(lines);
}

}  // namespace
}  // namespace tarnwick
