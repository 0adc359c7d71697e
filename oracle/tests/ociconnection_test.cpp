// The low-level connection: numbered properties, the lock, and connects against the stand-in
// client checked call for call with its trace.
#include "oracle/OCIConnection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>

#include "oracle/OCICommand.h"
#include "oracle/OraError.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace fs = std::filesystem;

namespace tarnwick {
namespace {

using ::testing::Property;
using ::testing::Throws;

std::string AssertionText(auto&& f) {
  return testsupport::MessageOf<EAssertionFailed>(f, "");
}

TEST(OCIConnectionProps, StartValues) {
  TOCIConnection c;
  EXPECT_FALSE(c.GetConnected());
  EXPECT_TRUE(c.ThreadSafety());
  EXPECT_TRUE(c.EnableIntegers());
  EXPECT_FALSE(c.EnableNumbers());
  EXPECT_FALSE(c.UseUnicode());
  EXPECT_EQ(c.CharLength(), 1);
  EXPECT_EQ(c.ConnectMode(), TConnectMode::cmNormal);
  EXPECT_EQ(c.GetOCICallStyle(), TOCICallStyle::None);
  EXPECT_EQ(c.GetLastError(), 0);
  EXPECT_TRUE(c.OwnsHandles());
  EXPECT_TRUE(c.IsValid());
  EXPECT_EQ(c.GetSvcCtx(), nullptr);
  const char* names[] = {"NLS_DATE_LANGUAGE", "NLS_DATE_FORMAT", "NLS_NUMERIC_CHARACTERS",
                         "NLS_TIMESTAMP_FORMAT", "NLS_TIMESTAMP_TZ_FORMAT"};
  const int props[] = {70, 60, 75, 71, 72};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ(c.NlsParams()[i].Name, names[i]);
    EXPECT_EQ(c.NlsParams()[i].Prop, props[i]);
    EXPECT_FALSE(c.NlsParams()[i].IsSet);
  }
}

TEST(OCIConnectionProps, UnknownCodesAreAssertionFailures) {
  TOCIConnection c;
  for (int code : {0, 1, 27, 57, 59, 99, 1000}) {
    EXPECT_EQ(AssertionText([&] { c.SetProp(code, true); }), std::to_string(code) + " (CRAccess)");
    TPropValue v;
    EXPECT_EQ(AssertionText([&] { c.GetProp(code, v); }), std::to_string(code) + " (CRAccess)");
  }
  TPropValue v;
  EXPECT_EQ(AssertionText([&] { c.GetProp(prAutoCommit, v); }), "5 (CRAccess)")
      << "AutoCommit can only be set";
  EXPECT_NE(AssertionText([&] { c.SetProp(prAutoCommit, std::string("yes")); }), "");
}

TEST(OCIConnectionProps, StoresWhileDisconnected) {
  TOCIConnection c;
  c.SetProp(prAutoCommit, true);
  c.SetProp(prConvertEOL, true);
  c.SetProp(prThreadSafety, false);
  c.SetProp(prConnectMode, static_cast<int32_t>(TConnectMode::cmSysDBA));
  c.SetProp(prEnableIntegers, false);
  c.SetProp(prEnableNumbers, true);
  c.SetProp(prUseUnicode, true);
  c.SetProp(prInternalName, std::string("X"));
  EXPECT_TRUE(c.GetAutoCommit());
  EXPECT_TRUE(c.GetConvertEOL());
  EXPECT_FALSE(c.ThreadSafety());
  EXPECT_EQ(c.ConnectMode(), TConnectMode::cmSysDBA);
  EXPECT_FALSE(c.EnableIntegers());
  EXPECT_TRUE(c.EnableNumbers());
  TPropValue v;
  c.GetProp(prUseUnicode, v);
  EXPECT_EQ(v, TPropValue(true));

  // NLS values: stored, flagged when not empty, nothing sent while disconnected.
  c.SetProp(prDateFormat, std::string("YYYYMMDD"));
  EXPECT_TRUE(c.NlsParams()[1].IsSet);
  c.GetProp(prDateFormat, v);
  EXPECT_EQ(v, TPropValue(std::string("YYYYMMDD")));
  c.SetProp(prDateFormat, std::string());
  EXPECT_FALSE(c.NlsParams()[1].IsSet);

  // CharLength 0 asks the server; reading it gives 0 until then.
  c.SetProp(prCharLength, int32_t{0});
  c.GetProp(prCharLength, v);
  EXPECT_EQ(v, TPropValue(int32_t{0}));
  c.SetProp(prCharLength, int32_t{2});
  c.GetProp(prCharLength, v);
  EXPECT_EQ(v, TPropValue(int32_t{2}));

  c.SetProp(prCharset, std::string("CL8MSWIN1251"));
  c.GetProp(prCharset, v);
  EXPECT_EQ(v, TPropValue(std::string("CL8MSWIN1251")));
  c.GetProp(prMaxStringSize, v);
  EXPECT_EQ(v, TPropValue(int32_t{0})) << "computed only when connected";
}

TEST(OCIConnectionLock, BusyRaisesWhileAnotherThreadHoldsTheLock) {
  TOCIConnection c;
  EXPECT_NO_THROW(c.Busy());
  c.BusyWait();
  std::string message;
  int32_t code = 0;
  std::thread other([&] {
    try {
      c.Busy();
    } catch (const EOraError& e) {
      code = e.ErrorCode();
      message = e.Message();
    }
  });
  other.join();
  c.Release();
  EXPECT_EQ(code, -3127);
  EXPECT_EQ(message, "ORA-03127a");
  EXPECT_NO_THROW(c.Busy());
}

// Whether another thread finds the connection's lock taken.
bool LockedForOtherThreads(TOCIConnection& c) {
  bool locked = false;
  std::thread other([&] {
    try {
      c.Busy();
    } catch (const EOraError& e) {
      locked = e.ErrorCode() == -3127;
    }
  });
  other.join();
  return locked;
}

TEST(OCIConnectionLock, ScopedLockHoldsTheConnectionUntilItsScopeIsLeft) {
  TOCIConnection c;
  {
    TOCIConnectionLock lock(c);
    EXPECT_TRUE(LockedForOtherThreads(c));
    {
      TOCIConnectionLock again(c);  // the same thread may take it again
      EXPECT_TRUE(LockedForOtherThreads(c));
    }
    EXPECT_TRUE(LockedForOtherThreads(c)) << "the outer scope still holds it";
  }
  EXPECT_FALSE(LockedForOtherThreads(c));
  try {
    TOCIConnectionLock lock(c);
    EXPECT_TRUE(LockedForOtherThreads(c));
    throw EOraError(3113, "ORA-03113: end-of-file on communication channel");
  } catch (const EOraError&) {
  }
  EXPECT_FALSE(LockedForOtherThreads(c)) << "given back when an exception leaves the scope";
}

TEST(OCIConnectionVersion, VersionFromBanner) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production\nWith the "
       "Partitioning, OLAP and Data Mining options",
       "10.2.0.1.0"},
      {"Oracle Database 10g Release 10.2.0.1.0 - Production", "10.2.0.1.0"},
      {"Oracle9i Enterprise Edition Release 9.2.0.1.0 - Production", "9.2.0.1.0"},
      {"Oracle7 Server Release 7.3.2.0.0 - Production Release", "7.3.2.0.0"},
      {"Oracle Database 10g Release 10.2.0.1.0", ""},
      {"no version here", ""},
      {".5 odd", ""},
      {"", ""},
  };
  for (const auto& [banner, version] : cases) {
    EXPECT_EQ(VersionFromBanner(banner), version) << banner;
    EXPECT_EQ(VersionStrToWord(VersionFromBanner(banner)),
              version.empty() ? 0 : VersionStrToWord(version));
  }
}

// ---- Against the stand-in, with its trace ----

class StandinConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::UseStandinClient();
    ASSERT_TRUE(fs::exists(testsupport::StandinLibrary())) << "the stand-in client must be built";
    trace = testsupport::Trace(dir.Path() / "trace.txt");
    traceVar.emplace("STANDIN_TRACE", trace.Path().string());
    serversVar.emplace("STANDIN_SERVERS", testsupport::MakeDataFolder(dir.Path()).string());
    connection.SetUsername("demo");
    connection.SetPassword("demo");
    connection.SetServer("demo");
  }
  void TearDown() override {
    try {
      connection.Disconnect();
    } catch (...) {
    }
    traceVar.reset();
    serversVar.reset();
    FreeOCI();
  }
  // The trace lines from the first line that starts with `from`.
  std::vector<std::string> TraceFrom(const std::string& from) { return trace.From(from); }

  testsupport::ScratchDir dir{"ociconn"};
  testsupport::Trace trace;
  TOCIConnection connection;
  std::optional<testsupport::ScopedEnvVar> traceVar, serversVar;
};

TEST_F(StandinConnection, VersionSevenStyleFailsWithoutTheCalls) {
  connection.SetOCICallStyle(TOCICallStyle::OCI73);
  EXPECT_EQ(testsupport::PlainErrorOf([&] { connection.Connect(""); }),
            "OCI function is not linked")
      << "the stand-in has no version-7 calls; the failure is a plain exception";
  EXPECT_FALSE(connection.GetConnected());
  EXPECT_EQ(connection.GetLDA(), nullptr) << "the logon data area is freed after a failed logon";
}

TEST_F(StandinConnection, WideFieldsRefuseTheConnectWhenTheClientCannotGiveUTF16) {
  connection.SetProp(prUseUnicode, true);
  EXPECT_EQ(testsupport::PlainErrorOf([&] { connection.Connect(""); }),
            "Unicode (UTF-16) fields are not supported");
  EXPECT_FALSE(connection.GetConnected());
  EXPECT_TRUE(TraceFrom("OCIServerAttach").empty()) << "nothing is sent to the server";
  connection.SetProp(prUseUnicode, false);
  connection.Connect("");
  EXPECT_TRUE(connection.GetConnected());
}

TEST_F(StandinConnection, EmptyUserNameUsesExternalCredentials) {
  connection.SetUsername("");
  EXPECT_THROW(connection.Connect(""), EOraError);
  const auto trace = TraceFrom("OCIServerAttach");
  std::string joined;
  for (const auto& l : trace) joined += l + "\n";
  EXPECT_EQ(joined.find("OCI_ATTR_USERNAME"), std::string::npos) << joined;
  EXPECT_NE(joined.find("OCI_CRED_EXT"), std::string::npos) << joined;
}

// A connect is the handle steps in order, the server version and the failover registration;
// a disconnect ends the session, detaches and frees the three handles.
TEST_F(StandinConnection, ConnectAndDisconnectCallForCall) {
  connection.Connect("");
  ASSERT_TRUE(connection.GetConnected());
  connection.Disconnect();
  const auto env = TraceFrom("OCIEnvCreate");
  ASSERT_FALSE(env.empty());
  EXPECT_EQ(env[0].rfind("OCIEnvCreate(&env#1, OCI_THREADED|OCI_OBJECT, NULL, NULL, NULL, NULL, 0, "
                         "NULL) = OCI_SUCCESS",
                         0),
            0u)
      << env[0];
  struct Step {
    std::string function;
    std::vector<std::string> contains;
  };
  const std::vector<Step> expected = {
      {"OCIHandleAlloc", {"OCI_HTYPE_SVCCTX"}},
      {"OCIHandleAlloc", {"OCI_HTYPE_SERVER"}},
      {"OCIHandleAlloc", {"OCI_HTYPE_SESSION"}},
      {"OCIServerAttach", {"\"demo\"", ", 4,", "OCI_DEFAULT", "= OCI_SUCCESS"}},
      {"OCIAttrSet", {"OCI_HTYPE_SERVER", "OCI_ATTR_INTERNAL_NAME"}},
      {"OCIAttrSet", {"OCI_HTYPE_SVCCTX", "OCI_ATTR_SERVER,"}},
      {"OCIAttrSet", {"OCI_HTYPE_SESSION", "\"demo\"", "OCI_ATTR_USERNAME"}},
      {"OCIAttrSet", {"OCI_HTYPE_SESSION", "\"***\"", "OCI_ATTR_PASSWORD"}},
      {"OCISessionBegin", {"OCI_CRED_RDBMS", "OCI_DEFAULT", "= OCI_SUCCESS"}},
      {"OCIAttrSet", {"OCI_HTYPE_SVCCTX", "OCI_ATTR_SESSION,"}},
      {"OCIServerVersion", {"255", "OCI_HTYPE_SVCCTX"}},
      {"OCIAttrSet", {"OCI_HTYPE_SERVER", "OCI_ATTR_FOCBK"}},
      {"OCISessionEnd", {"= OCI_SUCCESS"}},
      {"OCIServerDetach", {"= OCI_SUCCESS"}},
      {"OCIHandleFree", {"OCI_HTYPE_SESSION"}},
      {"OCIHandleFree", {"OCI_HTYPE_SERVER"}},
      {"OCIHandleFree", {"OCI_HTYPE_SVCCTX"}},
  };
  std::vector<std::string> trace;
  for (const auto& line : TraceFrom("OCIHandleAlloc"))
    if (line.rfind("OCIErrorGet", 0) != 0 && line.find("OCI_HTYPE_ERROR") == std::string::npos)
      trace.push_back(line);
  std::string all;
  for (const auto& l : trace) all += l + "\n";
  ASSERT_EQ(trace.size(), expected.size()) << all;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(trace[i].rfind(expected[i].function + "(", 0), 0u) << i << ": " << trace[i];
    for (const auto& part : expected[i].contains)
      EXPECT_NE(trace[i].find(part), std::string::npos)
          << i << ": " << trace[i] << " lacks " << part;
  }
}

TEST_F(StandinConnection, FailedLogonDetachesAndFreesTheHandles) {
  connection.SetPassword("wrong");
  EXPECT_THROW(connection.Connect(""), EOraError);
  EXPECT_EQ(connection.GetSvcCtx(), nullptr);
  EXPECT_EQ(connection.GetServerHandle(), nullptr);
  EXPECT_EQ(connection.GetSessionHandle(), nullptr);
  std::vector<std::string> names;
  for (const auto& line : TraceFrom("OCISessionBegin"))
    if (line.rfind("OCIErrorGet", 0) != 0) names.push_back(line.substr(0, line.find('(')));
  EXPECT_EQ(names, (std::vector<std::string>{"OCISessionBegin", "OCIServerDetach", "OCIHandleFree",
                                             "OCIHandleFree", "OCIHandleFree"}));
}

// The service context made before a failed allocation is kept for the next attempt; a connection
// that goes without one frees it.
pOCIHandleAlloc realHandleAlloc = nullptr;
sword RefuseServerHandle(const void* parent, void** out, const ub4 type, const size_t extra,
                         void** user) {
  if (type == OCI_HTYPE_SERVER) return OCI_INVALID_HANDLE;
  return realHandleAlloc(parent, out, type, extra, user);
}

TEST_F(StandinConnection, AHandleKeptAfterAFailedConnectIsFreedWithTheConnection) {
  InitOCI();
  {
    TOCIConnection other;
    other.SetUsername("demo");
    other.SetPassword("demo");
    other.SetServer("demo");
    realHandleAlloc = OCIHandleAlloc;
    OCIHandleAlloc = &RefuseServerHandle;
    EXPECT_THROW(other.Connect(""), EOraError);
    OCIHandleAlloc = realHandleAlloc;
    EXPECT_NE(other.GetSvcCtx(), nullptr);
    EXPECT_EQ(other.GetServerHandle(), nullptr);
  }
  const auto frees = testsupport::Trace::Starting(TraceFrom("OCIHandleAlloc"), "OCIHandleFree");
  EXPECT_EQ(frees, std::vector<std::string>{"OCIHandleFree(svcctx#1, OCI_HTYPE_SVCCTX) = "
                                            "OCI_SUCCESS"});
}

// Freeing the environment ends the handles made under it: a connection that is still open then
// frees none of them, which with a client that frees children with their parent would be a
// second free.
TEST_F(StandinConnection, AConnectionThatOutlivesTheEnvironmentFreesNoneOfItsHandles) {
  connection.Connect("");
  ASSERT_TRUE(connection.GetConnected());
  const size_t mark = trace.Mark();
  FinishOCI();
  try {
    connection.Disconnect();
  } catch (const EOraError&) {
    // Ending the session and detaching fail on handles that are gone; what counts is below.
  }
  EXPECT_FALSE(connection.GetConnected());
  EXPECT_EQ(connection.GetSvcCtx(), nullptr);
  const auto lines = trace.Since(mark);
  EXPECT_EQ(testsupport::Trace::Starting(lines, "OCIHandleFree"),
            (std::vector<std::string>{"OCIHandleFree(err#1, OCI_HTYPE_ERROR) = OCI_SUCCESS",
                                      "OCIHandleFree(env#1, OCI_HTYPE_ENV) = OCI_SUCCESS"}))
      << testsupport::Trace::Joined(lines);
}

TEST_F(StandinConnection, NlsValueWithAQuoteStaysOneLiteral) {
  connection.Connect("");
  try {
    connection.SetProp(prDateFormat, std::string("DD'MM"));
  } catch (const EOraError&) {
    // The server may refuse the format; what matters is the text that was sent.
  }
  std::string all;
  for (const auto& l : TraceFrom("OCIStmtPrepare")) all += l + "\n";
  EXPECT_NE(all.find("ALTER SESSION SET NLS_DATE_FORMAT='DD''MM'"), std::string::npos) << all;
}

TEST_F(StandinConnection, VersionSevenServerUsesVersionSevenCommands) {
  {
    testsupport::ScopedEnvVar version("STANDIN_FAULT_VERSION", "7.3.4");
    connection.Connect("");
  }
  EXPECT_EQ(connection.GetOracleVersionSt(), "7.3.4.0.0");
  EXPECT_EQ(connection.GetOracleVersion(), 7340);
  EXPECT_EQ(connection.GetOCICallStyle(), TOCICallStyle::OCI80);
  EXPECT_EQ(connection.GetOCICallStyleCommand(), TOCICallStyle::OCI73);
  EXPECT_EQ(connection.GetMaxStringSize(), 2000);
  std::string all;
  for (const auto& l : TraceFrom("OCIServerAttach")) all += l + "\n";
  EXPECT_EQ(all.find("OCI_ATTR_FOCBK"), std::string::npos) << "no failover before 8.0\n" << all;
}

TEST_F(StandinConnection, SessionParametersThatCannotBeReadLeaveTheOldValues) {
  connection.Connect("");
  EXPECT_EQ(
      testsupport::PlainErrorOf([&] { connection.SetProp(prCharset, std::string("NO_SUCH_SET")); }),
      "Cannot find charset NO_SUCH_SET")
      << "an unknown character set must be refused with a plain exception";
  TPropValue v;
  connection.GetProp(prCharset, v);
  EXPECT_EQ(v, TPropValue(std::string()));
  EXPECT_EQ(connection.CharsetId(), 0);
  EXPECT_TRUE(connection.GetConnected());
}

TEST_F(StandinConnection, DisconnectForgetsTheVersionAndUnsetValues) {
  connection.Connect("");
  EXPECT_EQ(connection.GetOracleVersion(), 10201);
  connection.Disconnect();
  EXPECT_EQ(connection.GetMaxStringSize(), 0);
  {
    testsupport::ScopedEnvVar version("STANDIN_FAULT_VERSION", "9.2.0.1");
    FreeOCI();  // a new environment reads the setting
    connection.Connect("");
  }
  EXPECT_EQ(connection.GetOracleVersion(), 9201) << "asked again after the disconnect";
}

TEST_F(StandinConnection, SessionSettingsAreSentOnlyWhenSet) {
  auto prepared = [this] {
    int n = 0;
    for (const auto& l : TraceFrom("OCIEnvCreate"))
      n += l.rfind("OCIStmtPrepare(", 0) == 0 && l.find("ALTER SESSION SET ") != std::string::npos;
    return n;
  };
  connection.SetProp(prDateFormat, std::string("YYYYMMDD"));
  connection.Connect("");
  EXPECT_EQ(prepared(), 1) << "a value set before the connect is applied by it";
  connection.SetProp(prDateFormat, std::string("YYYYMMDD"));
  EXPECT_EQ(prepared(), 1) << "the same value again sends nothing";
  connection.SetProp(prNumericCharacters, std::string(". "));
  EXPECT_EQ(prepared(), 2);
  connection.SetProp(prDateFormat, std::string());
  EXPECT_EQ(prepared(), 2) << "an empty value sends nothing";
  connection.Disconnect();
  connection.Connect("");
  EXPECT_EQ(prepared(), 3) << "only the numeric characters are applied again";
  const auto lines = TraceFrom("OCIEnvCreate");
  std::string last;
  for (const auto& l : lines)
    if (l.rfind("OCIStmtPrepare(", 0) == 0) last = l;
  EXPECT_NE(last.find("\"ALTER SESSION SET NLS_NUMERIC_CHARACTERS='. '\""), std::string::npos)
      << last;
}

// ---- The internal command ----

TEST(OCIConnectionInternalCommand, MadeOnceOnThisConnection) {
  TOCIConnection c;
  TOCICommand& command = c.CheckCommand();
  EXPECT_EQ(&c.CheckCommand(), &command);
  EXPECT_EQ(command.GetConnection(), &c);
  EXPECT_EQ(command.GetOCIConnection(), &c);
  EXPECT_EQ(command.GetCursorState(), csInactive);
}

// A session setting is one statement of the internal command, sent as a plain statement:
// allocated, prepared with its terminating NUL counted, executed once and freed again.
TEST_F(StandinConnection, SessionSettingCallForCall) {
  connection.Connect("");
  for (const bool autoCommit : {false, true}) {
    connection.SetProp(prAutoCommit, autoCommit);
    connection.SetProp(prDateFormat, std::string());
    const size_t mark = trace.Mark();
    connection.SetProp(prDateFormat, std::string("YYYYMMDD"));
    const auto lines = trace.Since(mark);
    const std::vector<std::string> road = {
        "OCIHandleAlloc", "OCIAttrSet", "OCIAttrSet", "OCIStmtPrepare", "OCIAttrGet",
        "OCIStmtExecute", "OCIAttrGet", "OCIAttrGet", "OCIAttrGet",     "OCIHandleFree"};
    ASSERT_EQ(testsupport::Trace::Calls(lines), road) << testsupport::Trace::Joined(lines);
    EXPECT_NE(lines[3].find("\"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'\", 45,"),
              std::string::npos)
        << lines[3];
    EXPECT_NE(lines[4].find("OCI_ATTR_STMT_TYPE"), std::string::npos) << lines[4];
    const std::string mode = autoCommit ? "OCI_COMMIT_ON_SUCCESS" : "OCI_DEFAULT";
    EXPECT_NE(lines[5].find(", 1, 0, NULL, NULL, " + mode + ") = OCI_SUCCESS"), std::string::npos)
        << lines[5];
    EXPECT_FALSE(testsupport::Trace::Has(lines, "OCITransCommit"));
    EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
    EXPECT_EQ(connection.CheckCommand().GetCursor()->StmtHandle(), nullptr);
  }
}

// Colons and quotes inside a value belong to the literal: no parameter is bound.
TEST_F(StandinConnection, SessionSettingValuesBindNoParameters) {
  connection.Connect("");
  struct Case {
    int prop;
    std::string value, sent;
  };
  const std::vector<Case> cases = {
      {prDateFormat, "YYYY-MM-DD HH24:MI:SS", "NLS_DATE_FORMAT='YYYY-MM-DD HH24:MI:SS'"},
      {prDateFormat, "DD:MM'YY", "NLS_DATE_FORMAT='DD:MM''YY'"},
      {prNumericCharacters, ", ", "NLS_NUMERIC_CHARACTERS=', '"},
  };
  for (const auto& c : cases) {
    const size_t mark = trace.Mark();
    try {
      connection.SetProp(c.prop, c.value);
    } catch (const EOraError&) {
      // The server may refuse the value; what matters is what was sent and bound.
    }
    const auto lines = trace.Since(mark);
    EXPECT_TRUE(testsupport::Trace::Has(lines, "\"ALTER SESSION SET " + c.sent + "\""))
        << testsupport::Trace::Joined(lines);
    EXPECT_FALSE(testsupport::Trace::Has(lines, "OCIBindByName")) << c.value;
    EXPECT_EQ(connection.CheckCommand().Params().size(), 0u) << c.value;
  }
}

// The stand-in has no binds: these stand for a server that answers the session-settings block.
// Binds are recorded; executing a statement with binds fills the outputs from `g_answers` (a
// name missing there stays null) and records the inputs.
struct FakeBind {
  std::string name;
  void* value;
  sb4 size;
  ub2 dty;
  sb2* indicator;
};
std::vector<FakeBind> g_binds;
std::map<std::string, std::string> g_answers;
std::map<std::string, std::string> g_inputs;
decltype(OCIStmtExecute) g_realExecute = nullptr;

sword FakeBindByName(OCIStmt*, OCIBind**, OCIError*, const OraText* placeholder, sb4 length,
                     void* value, sb4 size, ub2 dty, void* indicator, ub2*, ub2*, ub4, ub4*, ub4) {
  g_binds.push_back(
      {std::string(reinterpret_cast<const char*>(placeholder), static_cast<size_t>(length)), value,
       size, dty, static_cast<sb2*>(indicator)});
  return OCI_SUCCESS;
}

sword FakeExecute(OCISvcCtx* svc, OCIStmt* stmt, OCIError* err, ub4 iters, ub4 rowoff,
                  const OCISnapshot* in, OCISnapshot* out, ub4 mode) {
  if (g_binds.empty()) return g_realExecute(svc, stmt, err, iters, rowoff, in, out, mode);
  for (const FakeBind& b : g_binds) {
    if (*b.indicator == 0 && b.dty == SQLT_STR) {
      g_inputs[b.name] = static_cast<const char*>(b.value);
      continue;
    }
    const auto answer = g_answers.find(b.name);
    if (answer == g_answers.end()) {
      *b.indicator = -1;
      continue;
    }
    *b.indicator = 0;
    if (b.dty == SQLT_INT) {
      const int32_t v = std::stoi(answer->second);
      std::memcpy(b.value, &v, sizeof v);
    } else {
      std::snprintf(static_cast<char*>(b.value), static_cast<size_t>(b.size), "%s",
                    answer->second.c_str());
    }
  }
  g_binds.clear();
  return OCI_SUCCESS;
}

class SessionParameters : public StandinConnection {
 protected:
  void SetUp() override {
    StandinConnection::SetUp();
    connection.Connect("");
    g_binds.clear();
    g_inputs.clear();
    g_answers = {{":CharLength", "2"},
                 {":NlsDateLanguage", "AMERICAN"},
                 {":NlsDateFormat", "DD-MON-RR"},
                 {":NlsNumericCharacters", ".,"},
                 {":NlsTimeStampFormat", "DD-MON-RR HH.MI.SSXFF AM"},
                 {":CharsetId", "171"}};
    g_realExecute = OCIStmtExecute;
    OCIBindByName = &FakeBindByName;
    OCIStmtExecute = &FakeExecute;
  }
};

// The session's settings are read with one block whose outputs are bound by name; a null
// output leaves its value empty.
TEST_F(SessionParameters, ReadThroughTheInternalCommand) {
  const size_t mark = trace.Mark();
  TPropValue v;
  connection.GetProp(prDateFormat, v);
  EXPECT_EQ(v, TPropValue(std::string("DD-MON-RR")));
  connection.GetProp(prNumericCharacters, v);
  EXPECT_EQ(v, TPropValue(std::string(".,")));
  connection.GetProp(prDateLanguage, v);
  EXPECT_EQ(v, TPropValue(std::string("AMERICAN")));
  EXPECT_EQ(connection.NlsParams()[3].Value, "DD-MON-RR HH.MI.SSXFF AM");
  EXPECT_EQ(connection.NlsParams()[4].Value, "") << "a null output";
  EXPECT_EQ(connection.CharLength(), 1) << "kept unless asked from the server";
  const auto lines = trace.Since(mark);
  const auto prepares = testsupport::Trace::Starting(lines, "OCIStmtPrepare(");
  ASSERT_EQ(prepares.size(), 1u) << "the other values are already known\n"
                                 << testsupport::Trace::Joined(lines);
  EXPECT_NE(prepares[0].find("\"declare  cursor NlsParamsCursor is"), std::string::npos);
  EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
  EXPECT_EQ(connection.CheckCommand().GetCursor()->StmtHandle(), nullptr);
}

TEST_F(SessionParameters, OutputsAreBoundByNameWithTheirSizes) {
  std::vector<std::tuple<std::string, sb4, ub2>> binds;
  // Record the binds of the next execution before they are answered.
  static std::vector<std::tuple<std::string, sb4, ub2>>* record = nullptr;
  record = &binds;
  OCIStmtExecute = [](OCISvcCtx* svc, OCIStmt* stmt, OCIError* err, ub4 iters, ub4 rowoff,
                      const OCISnapshot* in, OCISnapshot* out, ub4 mode) -> sword {
    for (const FakeBind& b : g_binds) record->emplace_back(b.name, b.size, b.dty);
    return FakeExecute(svc, stmt, err, iters, rowoff, in, out, mode);
  };
  connection.SetProp(prCharset, std::string("CL8MSWIN1251"));
  EXPECT_EQ(connection.CharsetId(), 171);
  EXPECT_EQ(g_inputs, (std::map<std::string, std::string>{{":Charset", "CL8MSWIN1251"}}));
  const std::vector<std::tuple<std::string, sb4, ub2>> expected = {
      {":CharLength", 4, SQLT_INT},
      {":NlsDateLanguage", 42, SQLT_STR},
      {":NlsDateFormat", 42, SQLT_STR},
      {":NlsNumericCharacters", 42, SQLT_STR},
      {":NlsTimeStampFormat", 42, SQLT_STR},
      {":NlsTimeStampTZFormat", 42, SQLT_STR},
      {":Charset", 42, SQLT_STR},
      {":CharsetId", 4, SQLT_INT},
  };
  EXPECT_EQ(binds, expected);

  // A character length of 0 is asked from the server.
  connection.SetProp(prCharLength, int32_t{0});
  EXPECT_EQ(connection.CharLength(), 2);
  TPropValue v;
  connection.GetProp(prCharLength, v);
  EXPECT_EQ(v, TPropValue(int32_t{0}));

  // A character set the server does not know gives a null id.
  g_answers.erase(":CharsetId");
  EXPECT_EQ(
      testsupport::PlainErrorOf([&] { connection.SetProp(prCharset, std::string("NO_SUCH_SET")); }),
      "Cannot find charset NO_SUCH_SET");
  connection.GetProp(prCharset, v);
  EXPECT_EQ(v, TPropValue(std::string("CL8MSWIN1251"))) << "the old set comes back";
  EXPECT_EQ(connection.CharsetId(), 171);
}

// Without the server-version call (a client that offers only the version-8 calls) the version
// comes from a block on the internal command; a block that does not compile (ORA-06550)
// leaves it empty, any other error reaches the caller.
int32_t g_executeError = 0;
sword ExecuteOrFail(OCISvcCtx* svc, OCIStmt* stmt, OCIError* err, ub4 iters, ub4 rowoff,
                    const OCISnapshot* in, OCISnapshot* out, ub4 mode) {
  if (g_executeError == 0) return FakeExecute(svc, stmt, err, iters, rowoff, in, out, mode);
  g_binds.clear();
  return OCI_ERROR;
}
sword ErrorGetOfExecute(void*, ub4, OraText*, sb4* code, OraText* buffer, ub4 size, ub4) {
  *code = g_executeError;
  std::snprintf(reinterpret_cast<char*>(buffer), size, "ORA-%05d: failed\n", g_executeError);
  return OCI_SUCCESS;
}

TEST_F(SessionParameters, VersionFromABlockWithoutTheServerVersionCall) {
  struct Case {
    const char* answer;  // null: the output stays null
    int32_t error;
    std::string version;
    bool raises;
  };
  const std::vector<Case> cases = {
      {"10.2.0.1.0", 0, "10.2.0.1.0", false},
      {nullptr, 0, "", false},
      {"10.2.0.1.0", 6550, "", false},
      {"10.2.0.1.0", 942, "", true},
  };
  OCIStmtExecute = &ExecuteOrFail;
  for (const auto& c : cases) {
    connection.Disconnect();
    PossibleOCICallStyles = {};
    PossibleOCICallStyles.Include(TOCICallStyle::OCI80);
    connection.Connect("");
    OCIErrorGet = &ErrorGetOfExecute;
    g_executeError = c.error;
    if (c.answer)
      g_answers[":Result"] = c.answer;
    else
      g_answers.erase(":Result");
    const size_t mark = trace.Mark();
    try {
      EXPECT_EQ(connection.GetOracleVersionSt(), c.version) << c.error;
      EXPECT_FALSE(c.raises) << c.error;
      EXPECT_EQ(connection.GetOracleVersion(), VersionStrToWord(c.version));
    } catch (const EOraError& e) {
      EXPECT_TRUE(c.raises) << e.Message();
      EXPECT_EQ(e.ErrorCode(), c.error);
    }
    g_executeError = 0;
    const auto lines = trace.Since(mark);
    EXPECT_FALSE(testsupport::Trace::Has(lines, "OCIServerVersion"));
    EXPECT_TRUE(testsupport::Trace::Has(
        lines,
        "\"begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE "
        "Upper(Product) LIKE '%ORACLE%'; end;\""))
        << testsupport::Trace::Joined(lines);
    EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
  }
}

// A fatal error of an internal statement: the hook disconnects, the statement is freed, the
// caller gets the error, and the connection works again after a new connect.
TEST_F(StandinConnection, FatalErrorOfASessionSettingLeavesNoStatement) {
  testsupport::ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtExecute:1:3113");
  std::vector<std::pair<int32_t, bool>> seen;  // code, connected when the hook ran
  connection.OnError = [&](EDAError& e, bool&) {
    seen.emplace_back(e.ErrorCode(), connection.GetConnected());
    if (e.ErrorCode() != 3113) return;
    try {
      connection.Disconnect();  // as the session does: the disconnect's own errors are dropped
    } catch (...) {
    }
  };
  connection.Connect("");
  ASSERT_THAT([&] { connection.SetProp(prDateFormat, std::string("YYYYMMDD")); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 3113)))
      << "ORA-03113 must be raised";
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), std::make_pair(int32_t{3113}, true));
  EXPECT_FALSE(connection.GetConnected());
  EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
  EXPECT_EQ(connection.CheckCommand().GetCursor()->StmtHandle(), nullptr);
  EXPECT_TRUE(connection.NlsParams()[1].IsSet) << "the value is applied by the next connect";
  const size_t mark = trace.Mark();
  connection.Connect("");
  EXPECT_TRUE(testsupport::Trace::Has(trace.Since(mark),
                                      "\"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'\""));
  TPropValue v;
  connection.GetProp(prDateFormat, v);
  EXPECT_EQ(v, TPropValue(std::string("YYYYMMDD")));
}

// A failover that ends during an internal statement applies the session settings again from
// inside that statement's execute call: they run on a command of their own and the
// interrupted statement completes with its own text.
TOCIConnection* g_failingOver = nullptr;
sword ExecuteWithFailover(OCISvcCtx* svc, OCIStmt* stmt, OCIError* err, ub4 iters, ub4 rowoff,
                          const OCISnapshot* in, OCISnapshot* out, ub4 mode) {
  if (TOCIConnection* c = std::exchange(g_failingOver, nullptr)) {
    const OCIFocbkStruct& reg = c->FailoverRegistration();
    reg.callback_function(svc, nullptr, reg.fo_ctx, OCI_FO_SESSION, OCI_FO_END);
  }
  return g_realExecute(svc, stmt, err, iters, rowoff, in, out, mode);
}

TEST_F(StandinConnection, FailoverInsideAnInternalStatementAppliesTheSettingsAside) {
  connection.SetProp(prDateFormat, std::string("YYYYMMDD"));
  connection.Connect("");
  g_realExecute = OCIStmtExecute;
  OCIStmtExecute = &ExecuteWithFailover;
  g_failingOver = &connection;
  const size_t mark = trace.Mark();
  connection.SetProp(prNumericCharacters, std::string(". "));
  const auto lines = trace.Since(mark);
  std::vector<std::string> sent;
  for (const auto& l : testsupport::Trace::Starting(lines, "OCIStmtPrepare(")) {
    const auto from = l.find("\"ALTER SESSION SET ");
    if (from != std::string::npos)
      sent.push_back(l.substr(from + 19, l.find('=', from) - from - 19));
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"NLS_NUMERIC_CHARACTERS", "NLS_DATE_FORMAT",
                                            "NLS_NUMERIC_CHARACTERS"}))
      << testsupport::Trace::Joined(lines);
  const auto executes = testsupport::Trace::Starting(lines, "OCIStmtExecute(");
  ASSERT_EQ(executes.size(), 3u) << testsupport::Trace::Joined(lines);
  for (const auto& l : executes) EXPECT_NE(l.find("= OCI_SUCCESS"), std::string::npos) << l;
  // The interrupted statement was the first one prepared and is executed last.
  const std::string first = testsupport::Trace::Starting(lines, "OCIStmtPrepare(")[0];
  const std::string handle = first.substr(15, first.find(',') - 15);
  EXPECT_EQ(executes.back().find(handle), executes.back().find("stmt#")) << executes.back();
  EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
  EXPECT_EQ(connection.CheckCommand().GetSQL(), "ALTER SESSION SET NLS_NUMERIC_CHARACTERS='. '");
}

// A failover hook that throws: the exception is kept while the client is inside its call (no
// unwinding through the client's frames) and raised once that call has returned, once.
TEST_F(StandinConnection, AnExceptionOfTheFailoverHookIsRaisedWhenTheClientCallHasReturned) {
  connection.Connect("");
  int hookCalls = 0;
  connection.OnFailover = [&](ub4, ub4, bool&) {
    ++hookCalls;
    throw std::runtime_error("the failover handler failed");
  };
  g_realExecute = OCIStmtExecute;
  OCIStmtExecute = &ExecuteWithFailover;
  g_failingOver = &connection;
  const size_t mark = trace.Mark();
  EXPECT_THAT([&] { connection.SetProp(prNumericCharacters, std::string(". ")); },
              ::testing::ThrowsMessage<std::runtime_error>(
                  ::testing::StrEq("the failover handler failed")));
  OCIStmtExecute = g_realExecute;
  EXPECT_EQ(hookCalls, 1);
  // The interrupted execute went on in the client and returned normally.
  const auto lines = trace.Since(mark);
  const auto executes = testsupport::Trace::Starting(lines, "OCIStmtExecute(");
  ASSERT_FALSE(executes.empty()) << testsupport::Trace::Joined(lines);
  EXPECT_NE(executes.back().find("= OCI_SUCCESS"), std::string::npos) << executes.back();

  // Raised once: the next call of the connection works.
  connection.OnFailover = nullptr;
  EXPECT_EQ(testsupport::PlainErrorOf(
                [&] { connection.SetProp(prNumericCharacters, std::string(", ")); }),
            "<no error>");
  EXPECT_TRUE(connection.GetConnected());

  // A callback made outside any call of this program returns normally; its exception is
  // raised by the connection's next checked call.
  connection.OnFailover = [](ub4, ub4, bool&) { throw std::logic_error("late handler failure"); };
  const OCIFocbkStruct& reg = connection.FailoverRegistration();
  EXPECT_EQ(reg.callback_function(nullptr, nullptr, reg.fo_ctx, OCI_FO_SESSION, OCI_FO_BEGIN), 0);
  connection.OnFailover = nullptr;
  EXPECT_THROW(connection.Commit(), std::logic_error);
  EXPECT_NO_THROW(connection.Commit());
}

}  // namespace
}  // namespace tarnwick
