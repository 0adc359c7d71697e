// The low-level connection: numbered properties, the lock, and connects against the stand-in
// client checked call for call with its trace.
#include "oracle/OCIConnection.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "oracle/OraError.h"

namespace fs = std::filesystem;

namespace tarnwick {
namespace {

std::string AssertionText(auto&& f) {
  try {
    f();
  } catch (const EAssertionFailed& e) {
    return e.Message();
  }
  return "";
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

// ---- Against the stand-in, with its trace ----

class StandinConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeOCI();
    OracleHomeName.clear();
    OCIDiscoveryInputs in;
    in.oratabPath = (fs::path(TARNWICK_BIN_DIR) / "no-such-oratab").string();
    in.getEnv = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    in.setEnv = [](const std::string&, const std::string&) {};
    in.executableDir = TARNWICK_BIN_DIR;
    SetOCIDiscovery(std::move(in));
    ASSERT_TRUE(fs::exists(fs::path(TARNWICK_BIN_DIR) / "standin" / "libclntsh.so"))
        << "the stand-in client must be built";
    std::string tmpl = (fs::temp_directory_path() / "ociconn-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    tracePath = dir / "trace.txt";
    setenv("STANDIN_TRACE", tracePath.c_str(), 1);
    connection.SetUsername("demo");
    connection.SetPassword("demo");
    connection.SetServer("demo");
  }
  void TearDown() override {
    try {
      connection.Disconnect();
    } catch (...) {
    }
    unsetenv("STANDIN_TRACE");
    FreeOCI();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  // The trace lines from the first line that starts with `from`, each cut to its function name
  // and arguments.
  std::vector<std::string> TraceFrom(const std::string& from) {
    std::ifstream in(tracePath);
    std::vector<std::string> lines;
    std::string line;
    bool on = false;
    while (std::getline(in, line)) {
      on = on || line.rfind(from, 0) == 0;
      if (on) lines.push_back(line);
    }
    return lines;
  }

  fs::path dir, tracePath;
  TOCIConnection connection;
};

TEST_F(StandinConnection, VersionSevenStyleFailsWithoutTheCalls) {
  connection.SetOCICallStyle(TOCICallStyle::OCI73);
  try {
    connection.Connect("");
    FAIL() << "the stand-in has no version-7 calls";
  } catch (const EOraError&) {
    FAIL() << "wrong class";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "OCI function is not linked");
  }
  EXPECT_FALSE(connection.GetConnected());
  EXPECT_EQ(connection.GetLDA(), nullptr) << "the logon data area is freed after a failed logon";
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

}  // namespace
}  // namespace tarnwick
