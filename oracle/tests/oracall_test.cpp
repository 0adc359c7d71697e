// Client library loading: version numbers, the entry-point table, discovery on fake client homes,
// loading a small fake client, environment creation and error records.
#include "oracle/Oracall.h"

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "oracle/OraError.h"
#include "testsupport/core/ScratchDir.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace tarnwick {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Property;
using ::testing::ResultOf;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::Throws;
using ::testing::ThrowsMessage;

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "x";
}

void CopyFakeClient(const fs::path& p) {
  fs::create_directories(p.parent_path());
  fs::copy_file(TARNWICK_FAKE_CLIENT, p, fs::copy_options::overwrite_existing);
}

// A described machine: oratab lines, environment, loader folders and the program's folder.
struct Machine {
  testsupport::ScratchDir root{"oracall"};
  std::map<std::string, std::string> env;
  std::vector<std::string> loaderDirs;
  std::vector<std::string> oratab;
  bool writeOratab = false;

  void Apply() {
    OCIDiscoveryInputs in;
    in.oratabPath = (root.Path() / "etc" / "oratab").string();
    if (writeOratab) {
      fs::create_directories(root.Path() / "etc");
      std::ofstream out(in.oratabPath);
      for (const auto& line : oratab) out << line << "\n";
    }
    in.getEnv = [this](const std::string& n) -> std::optional<std::string> {
      auto it = env.find(n);
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
    in.setEnv = [this](const std::string& n, const std::string& v) { env[n] = v; };
    in.loaderDirs = loaderDirs;
    in.executableDir = (root.Path() / "bin").string();
    SetOCIDiscovery(std::move(in));
  }
  std::string Home(const std::string& name) const { return (root.Path() / name).string(); }
  // The fake client installed as <name>/lib/libclntsh.so.10.1 and named by ORACLE_HOME.
  void UseFakeClientHome(const std::string& name) {
    CopyFakeClient(root.Path() / name / "lib" / "libclntsh.so.10.1");
    env["ORACLE_HOME"] = Home(name);
  }
};

class OracallTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetState(); }
  void TearDown() override { ResetState(); }
  static void ResetState() {
    FreeOCI();
    OracleHomeName.clear();
    ObjectVersion = true;
    AcceptNewerClient = false;
    OCIThreaded = true;
    OCIMutexed = true;
    ThreadSafety = false;
  }
  std::string DetectMessage() {
    try {
      DetectOCI();
    } catch (const EOraError&) {
      return "wrong class";
    } catch (const EClientLibraryError& e) {
      return e.Message();
    } catch (const Exception& e) {
      return "not a client library error: " + e.Message();
    }
    return "no error";
  }
};

// ---- VersionStrToWord ----

TEST(VersionStrToWord, Table) {
  const std::vector<std::pair<std::string, uint16_t>> cases = {
      {"10.2.0.1.0", 10201}, {"9.2.0.1", 9201},
      {"8.1.7", 8170},       {"7.3.4.0", 7340},
      {"10.1", 10100},       {"7.3", 7300},
      {"8.1.6", 8160},       {"9.2", 9200},
      {"11.1", 11100},       {"", 0},
      {"  9.0  ", 9000},     {"x.2", 200},
      {"8.a.1", 8010},       {"1.2.3.4.5.6", 1234},
      {"12", 12000},         {"9..2", 9020},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(VersionStrToWord(text), expected) << text;
}

// ---- The entry-point table ----

TEST_F(OracallTest, TableHoldsTheGroupsInOrder) {
  const auto table = OCIEntryPoints();
  ASSERT_EQ(table.size(), 214u);
  std::map<OCIEntryGroup, int> counts;
  std::set<std::string> names;
  for (const auto& e : table) {
    ++counts[e.group];
    names.insert(e.name);
    EXPECT_FALSE(e.linked) << e.name;
  }
  EXPECT_EQ(names.size(), 214u) << "every name once";
  EXPECT_EQ(counts[OCIEntryGroup::OCI73], 37);
  EXPECT_EQ(counts[OCIEntryGroup::OCI80], 60);
  EXPECT_EQ(counts[OCIEntryGroup::OBJ], 71);
  EXPECT_EQ(counts[OCIEntryGroup::V81], 11);
  EXPECT_EQ(counts[OCIEntryGroup::V90] + counts[OCIEntryGroup::V90C], 35);
  EXPECT_EQ(counts[OCIEntryGroup::V90C], 3);
  // Group boundaries and order as resolved.
  EXPECT_STREQ(table.front().name, "obindps");
  EXPECT_STREQ(table[36].name, "sqlld2");
  EXPECT_STREQ(table[37].name, "OCIAttrGet");
  EXPECT_STREQ(table[96].name, "OCILobWrite");
  EXPECT_STREQ(table[97].name, "OCICacheFlush");
  EXPECT_STREQ(table[168].name, "OCIEnvCreate");
  EXPECT_STREQ(table[179].name, "OCIDateTimeConstruct");
  EXPECT_STREQ(table.back().name, "OCIPStreamClose");
  for (std::size_t i = 1; i < table.size(); ++i)
    EXPECT_LE(table[i - 1].group, table[i].group) << table[i].name;
}

TEST_F(OracallTest, PointerTypesAreThePublishedPrototypes) {
  static_assert(std::is_same_v<pOCIAttrGet, decltype(&::OCIAttrGet)>);
  static_assert(std::is_same_v<pOCIAttrSet, decltype(&::OCIAttrSet)>);
  static_assert(std::is_same_v<pOCIEnvCreate, decltype(&::OCIEnvCreate)>);
  static_assert(std::is_same_v<pOCIErrorGet, decltype(&::OCIErrorGet)>);
  static_assert(std::is_same_v<pOCIServerAttach, decltype(&::OCIServerAttach)>);
  static_assert(std::is_same_v<pOCISessionBegin, decltype(&::OCISessionBegin)>);
  static_assert(std::is_same_v<pOCIStmtPrepare, decltype(&::OCIStmtPrepare)>);
  static_assert(std::is_same_v<pOCIStmtExecute, decltype(&::OCIStmtExecute)>);
  static_assert(std::is_same_v<pOCIStmtFetch2, decltype(&::OCIStmtFetch2)>);
  static_assert(std::is_same_v<pOCIDefineByPos, decltype(&::OCIDefineByPos)>);
  static_assert(std::is_same_v<pOCIBindByName, decltype(&::OCIBindByName)>);
  static_assert(std::is_same_v<pOCIRowidToChar, decltype(&::OCIRowidToChar)>);
  static_assert(std::is_same_v<polog, decltype(&::olog)>);
  static_assert(std::is_same_v<podessp, decltype(&::odessp)>);
  static_assert(std::is_same_v<pobindps, decltype(&::obindps)>);
  static_assert(std::is_same_v<psqlld2, decltype(&::sqlld2)>);
  SUCCEED();
}

// ---- Discovery ----

TEST_F(OracallTest, NoInstallationFindsTheStandInBesideTheProgram) {
  Machine m;
  CopyFakeClient(m.root.Path() / "bin" / "standin" / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", m.root.Path() / "bin" / "standin" / "libclntsh.so");
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OCIDLL, (m.root.Path() / "bin" / "standin" / "libclntsh.so").string());
  EXPECT_EQ(OCIVersionSt, "10.1");
  EXPECT_EQ(OCIVersion, 10100);
  EXPECT_EQ(OCICallStyle, TOCICallStyle::OCI80);
  EXPECT_TRUE(PossibleOCICallStyles.Contains(TOCICallStyle::OCI73));
  EXPECT_TRUE(PossibleOCICallStyles.Contains(TOCICallStyle::OCI80));
  EXPECT_EQ(PossibleOCICallStyles.bits, 6);
  EXPECT_EQ(OCIClientDLL, OCIDLL);
  EXPECT_EQ(OracleHomeCount, 0);
  EXPECT_EQ(DefaultOracleHome, -1);
}

TEST_F(OracallTest, NothingAnywhereFailsWithTheMessage) {
  Machine m;
  m.Apply();
  EXPECT_EQ(DetectMessage(), "Cannot find OCI DLL: ");
}

TEST_F(OracallTest, LoaderSearchComesBeforeTheStandIn) {
  Machine m;
  Touch(m.root.Path() / "ld" / "libclntsh.so.9.2");
  fs::create_symlink("libclntsh.so.9.2", m.root.Path() / "ld" / "libclntsh.so");
  Touch(m.root.Path() / "bin" / "standin" / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", m.root.Path() / "bin" / "standin" / "libclntsh.so");
  m.loaderDirs = {(m.root.Path() / "empty").string(), (m.root.Path() / "ld").string()};
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OCIDLL, (m.root.Path() / "ld" / "libclntsh.so").string());
  EXPECT_EQ(OCIVersionSt, "9.2");
}

TEST_F(OracallTest, OneHomeInPath) {
  Machine m;
  Touch(m.root.Path() / "ora10" / "lib" / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", m.root.Path() / "ora10" / "lib" / "libclntsh.so");
  m.writeOratab = true;
  m.oratab = {"# comment", "", "orcl:" + m.Home("ora10") + ":N"};
  m.env["PATH"] = "/usr/bin:" + m.Home("ora10") + "/bin/:/bin";
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OracleHomeCount, 1);
  EXPECT_EQ(OracleHomeNames[0], "orcl");
  EXPECT_EQ(DefaultOracleHome, 0);
  EXPECT_EQ(OracleHomePath, m.Home("ora10"));
  EXPECT_EQ(OCIDLL, m.Home("ora10") + "/lib/libclntsh.so");
  EXPECT_EQ(OCIVersionSt, "10.1");
}

TEST_F(OracallTest, SeveralHomesThePathDecides) {
  Machine m;
  for (const char* h : {"a", "b", "c"}) {
    Touch(m.root.Path() / h / "lib" / "libclntsh.so.9.2");
    fs::create_symlink("libclntsh.so.9.2", m.root.Path() / h / "lib" / "libclntsh.so");
  }
  m.writeOratab = true;
  m.oratab = {"A:" + m.Home("a") + ":N", "B:" + m.Home("b") + "/:Y", "C:" + m.Home("c") + ":N",
              "b:" + m.Home("c") + ":N"};
  m.env["PATH"] = " /usr/bin : " + m.Home("c") + "/bin:" + m.Home("b") + "/bin";
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OracleHomeCount, 3) << "a second entry named b (ignoring case) counts once";
  EXPECT_EQ(DefaultOracleHome, 2);
  EXPECT_EQ(OCIDLL, m.Home("c") + "/lib/libclntsh.so");
}

TEST_F(OracallTest, AtMostTenHomes) {
  Machine m;
  m.writeOratab = true;
  for (int i = 0; i < 12; ++i)
    m.oratab.push_back('H' + std::to_string(i) + ":/x" + std::to_string(i) + ":N");
  Touch(m.root.Path() / "bin" / "standin" / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", m.root.Path() / "bin" / "standin" / "libclntsh.so");
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OracleHomeCount, 10);
  EXPECT_EQ(OracleHomeNames[9], "H9");
}

TEST_F(OracallTest, NamedHomeWinsOverPath) {
  Machine m;
  Touch(m.root.Path() / "a" / "lib" / "libclntsh.so.10.1");
  fs::create_symlink("libclntsh.so.10.1", m.root.Path() / "a" / "lib" / "libclntsh.so");
  Touch(m.root.Path() / "b" / "libclntsh.so.9.2");  // Instant Client layout: the home itself
  fs::create_symlink("libclntsh.so.9.2", m.root.Path() / "b" / "libclntsh.so");
  m.writeOratab = true;
  m.oratab = {"A:" + m.Home("a") + ":N", "B:" + m.Home("b") + ":N"};
  m.env["PATH"] = m.Home("a") + "/bin";
  m.Apply();
  OracleHomeName = "B";
  DetectOCI();
  EXPECT_EQ(DefaultOracleHome, 0);
  EXPECT_EQ(OCIDLL, m.Home("b") + "/libclntsh.so");
  EXPECT_EQ(OCIVersionSt, "9.2");
}

TEST_F(OracallTest, NamedHomeFailures) {
  Machine m;
  fs::create_directories(m.root.Path() / "empty" / "lib");
  m.writeOratab = true;
  m.oratab = {"EMPTY:" + m.Home("empty") + ":N"};
  m.Apply();
  OracleHomeName = "b";
  EXPECT_EQ(DetectMessage(), "Cannot find OCI DLL: in b");
  OracleHomeName = "empty";
  EXPECT_EQ(DetectMessage(), "Cannot find OCI DLL: in empty") << "names compare with case";
  OracleHomeName = "EMPTY";
  EXPECT_EQ(DetectMessage(), "Cannot find OCI DLL: " + m.Home("empty") + "/lib/libclntsh.so*");
}

TEST_F(OracallTest, OracleHomeVariableWithoutOratab) {
  Machine m;
  Touch(m.root.Path() / "home" / "lib" / "libclntsh.so.8.1.6");
  m.env["ORACLE_HOME"] = m.Home("home") + "/";
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OCIDLL, m.Home("home") + "/lib/libclntsh.so.8.1.6") << "the greatest versioned file";
  EXPECT_EQ(OracleHomePath, m.Home("home"));
  EXPECT_EQ(OCIVersion, 8160);
  EXPECT_TRUE(OCIClientDLL.empty());
}

TEST_F(OracallTest, GreatestVersionIsComparedAsNumbers) {
  Machine m;
  for (const char* v : {"9.2", "10.1", "8.1.7"})
    Touch(m.root.Path() / "h" / "lib" / ("libclntsh.so."s + v));
  m.env["ORACLE_HOME"] = m.Home("h");
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OCIVersionSt, "10.1");
}

TEST_F(OracallTest, AcceptanceByVersion) {
  struct Case {
    std::string version;
    std::string error;
    TOCICallStyle style;
    uint8_t possible;
  };
  const std::vector<Case> cases = {
      {"7.3", "", TOCICallStyle::OCI73, 2},
      {"7.3.4", "", TOCICallStyle::OCI73, 2},
      {"8.0", "", TOCICallStyle::OCI80, 6},
      {"8.1.6", "", TOCICallStyle::OCI80, 6},
      {"9.2", "", TOCICallStyle::OCI80, 6},
      {"10.1", "", TOCICallStyle::OCI80, 6},
      {"10.2.0.4", "", TOCICallStyle::OCI80, 6},
      {"11.1", "OCI version 11.1 is not supported", TOCICallStyle::None, 0},
      {"12.2", "OCI version 12.2 is not supported", TOCICallStyle::None, 0},
      {"7.2", "OCI version 7.2 is not supported", TOCICallStyle::None, 0},
  };
  for (const auto& c : cases) {
    ResetState();
    Machine m;
    Touch(m.root.Path() / "h" / "lib" / ("libclntsh.so." + c.version));
    fs::create_symlink("libclntsh.so." + c.version, m.root.Path() / "h" / "lib" / "libclntsh.so");
    m.env["ORACLE_HOME"] = m.Home("h");
    m.Apply();
    if (c.error.empty()) {
      EXPECT_EQ(DetectMessage(), "no error") << c.version;
      EXPECT_EQ(OCICallStyle, c.style) << c.version;
      EXPECT_EQ(PossibleOCICallStyles.bits, c.possible) << c.version;
      EXPECT_EQ(OCIVersionSt, c.version);
    } else {
      EXPECT_EQ(DetectMessage(), c.error);
    }
  }
}

TEST_F(OracallTest, NewerClientsOnlyWithTheOptIn) {
  struct Case {
    std::string version;
    uint16_t number;
  };
  const std::vector<Case> cases = {
      {"11.1", 11100}, {"12.1", 12100}, {"12.2", 12200}, {"18.1", 18100},
      {"19.1", 19100}, {"21.1", 21100}, {"23.1", 23100},
  };
  for (const auto& c : cases) {
    for (const bool optIn : {false, true}) {
      SCOPED_TRACE(c.version + (optIn ? " with the opt-in" : " without the opt-in"));
      ResetState();
      AcceptNewerClient = optIn;
      Machine m;
      Touch(m.root.Path() / "ic" / ("libclntsh.so." + c.version));
      fs::create_symlink("libclntsh.so." + c.version, m.root.Path() / "ic" / "libclntsh.so");
      m.env["ORACLE_HOME"] = m.Home("ic");
      m.Apply();
      if (!optIn) {
        EXPECT_EQ(DetectMessage(), "OCI version " + c.version + " is not supported");
        EXPECT_EQ(OCICallStyle, TOCICallStyle::None);
        continue;
      }
      EXPECT_EQ(DetectMessage(), "no error");
      EXPECT_EQ(OCIVersionSt, c.version);
      EXPECT_EQ(OCIVersion, c.number);
      EXPECT_EQ(OCICallStyle, TOCICallStyle::OCI80);
      EXPECT_EQ(PossibleOCICallStyles.bits, 6) << "the styles of a client 8 to 10";
      EXPECT_EQ(OCIClientDLL, OCIDLL);
    }
  }
}

TEST_F(OracallTest, TheOptInKeepsTheOtherRefusals) {
  for (const std::string version : {"7.2", "6.0", "1.1"}) {
    ResetState();
    AcceptNewerClient = true;
    Machine m;
    Touch(m.root.Path() / "h" / "lib" / ("libclntsh.so." + version));
    m.env["ORACLE_HOME"] = m.Home("h");
    m.Apply();
    EXPECT_EQ(DetectMessage(), "OCI version " + version + " is not supported");
  }
}

// A newer client ships links named after older versions to its real file, for programs built
// against those: the version is the real file's, whichever name leads to it.
TEST_F(OracallTest, TheVersionIsTheRealFilesNotAnOlderLinks) {
  Machine m;
  const fs::path ic = m.root.Path() / "instantclient_19_21";
  Touch(ic / "libclntsh.so.19.1");
  for (const char* old :
       {"libclntsh.so.10.1", "libclntsh.so.11.1", "libclntsh.so.12.1", "libclntsh.so.18.1"}) {
    fs::create_symlink("libclntsh.so.19.1", ic / old);
  }
  fs::create_symlink("libclntsh.so.10.1", ic / "libclntsh.so");  // through an older link
  m.env["ORACLE_HOME"] = ic.string();
  m.Apply();
  // Without the opt-in the client is refused by its own version, never taken for a 10.1.
  EXPECT_EQ(DetectMessage(), "OCI version 19.1 is not supported");
  FreeOCI();
  AcceptNewerClient = true;
  DetectOCI();
  EXPECT_EQ(OCIDLL, (ic / "libclntsh.so").string());
  EXPECT_EQ(OCIVersionSt, "19.1");

  FreeOCI();
  OCIDLL = (ic / "libclntsh.so.12.1").string();  // a path set beforehand, itself a link
  DetectOCI();
  EXPECT_EQ(OCIVersionSt, "19.1");
  EXPECT_EQ(OCIVersion, 19100);

  FreeOCI();
  fs::remove(ic / "libclntsh.so");
  DetectOCI();  // no libclntsh.so: the greatest versioned name, which is the real file
  EXPECT_EQ(OCIDLL, (ic / "libclntsh.so.19.1").string());
}

TEST_F(OracallTest, UnversionedFileIsRefusedWithItsPath) {
  Machine m;
  Touch(m.root.Path() / "h" / "lib" / "libclntsh.so");
  m.env["ORACLE_HOME"] = m.Home("h");
  m.Apply();
  EXPECT_EQ(DetectMessage(), "Cannot find OCI DLL: " + m.Home("h") + "/lib/libclntsh.so");
}

TEST_F(OracallTest, VersionFollowsAChainOfLinks) {
  Machine m;
  const fs::path lib = m.root.Path() / "h" / "lib";
  Touch(m.root.Path() / "real" / "libclntsh.so.10.1");
  fs::create_directories(lib);
  fs::create_symlink(m.root.Path() / "real" / "libclntsh.so.10.1", lib / "client.so");
  fs::create_symlink("client.so", lib / "libclntsh.so");
  m.env["ORACLE_HOME"] = m.Home("h");
  m.Apply();
  DetectOCI();
  EXPECT_EQ(OCIDLL, (lib / "libclntsh.so").string());
  EXPECT_EQ(OCIVersionSt, "10.1");
}

// ---- Loading ----

template <typename F>
F FakeControl(const char* name) {
  void* sym = dlsym(OCILibHandle, name);
  EXPECT_NE(sym, nullptr) << name;
  return reinterpret_cast<F>(sym);
}

TEST_F(OracallTest, LoadResolvesExportsAndLeavesTheRestUnlinked) {
  Machine m;
  m.UseFakeClientHome("h");
  m.Apply();
  LoadOCI();
  EXPECT_TRUE(LoadedOCI());
  EXPECT_EQ(m.env["NLS_LANG"], ".AL32UTF8");
  std::set<std::string> linked;
  for (const auto& e : OCIEntryPoints())
    if (e.linked) linked.insert(e.name);
  EXPECT_EQ(linked, (std::set<std::string>{"OCIEnvCreate", "OCIHandleAlloc", "OCIHandleFree",
                                           "OCIErrorGet", "OCIStmtFetch", "OCIServerVersion"}));
  EXPECT_EQ(OCIStmtFetch(nullptr, nullptr, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_THAT([&] { OCIStmtFetch2(nullptr, nullptr, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT); },
              Throws<Exception>(Property(&Exception::Message, "OCI function is not linked")))
      << "a function the client does not export must fail when called";

  FreeOCI();
  EXPECT_FALSE(LoadedOCI());
  EXPECT_TRUE(OCIDLL.empty());
  EXPECT_EQ(OCIVersion, 0);
  EXPECT_EQ(OCICallStyle, TOCICallStyle::None);
  EXPECT_TRUE(PossibleOCICallStyles.Empty());
  for (const auto& e : OCIEntryPoints()) EXPECT_FALSE(e.linked) << e.name << " after unloading";
}

TEST_F(OracallTest, ExistingNlsLangIsKept) {
  Machine m;
  m.UseFakeClientHome("h");
  m.env["NLS_LANG"] = "RUSSIAN_CIS.CL8MSWIN1251";
  m.Apply();
  LoadOCI();
  EXPECT_EQ(m.env["NLS_LANG"], "RUSSIAN_CIS.CL8MSWIN1251");
}

TEST_F(OracallTest, FailedLoadLeavesNothingHalfLoaded) {
  Machine m;
  Touch(m.root.Path() / "h" / "lib" / "libclntsh.so.10.1");  // not a shared object
  m.env["ORACLE_HOME"] = m.Home("h");
  m.Apply();
  // The specified text, then the loader's reason in brackets, without the path once more.
  const std::string path = m.Home("h") + "/lib/libclntsh.so.10.1";
  const std::string text = "Cannot load OCI DLL: " + path + " (";
  const auto reason = [&text](const std::string& message) { return message.substr(text.size()); };
  ASSERT_THAT(LoadOCI,
              Throws<EClientLibraryError>(Property(
                  &EClientLibraryError::Message,
                  AllOf(StartsWith(text), EndsWith(")"), ResultOf(reason, Not(HasSubstr(path)))))))
      << "loading a file that is no library must fail";
  EXPECT_TRUE(OCIDLL.empty()) << "the next attempt detects again";
  EXPECT_FALSE(LoadedOCI());
  for (const auto& e : OCIEntryPoints()) EXPECT_FALSE(e.linked) << e.name;
}

TEST_F(OracallTest, ALibraryTheClientNeedsIsNamedWhenItIsMissing) {
  Machine m;
  const fs::path lib = m.root.Path() / "ic" / "libclntsh.so.10.1";
  fs::create_directories(lib.parent_path());
  fs::copy_file(TARNWICK_FAKE_CLIENT_NEEDING, lib);
  fs::create_symlink("libclntsh.so.10.1", lib.parent_path() / "libclntsh.so");
  m.env["ORACLE_HOME"] = m.Home("ic");
  m.Apply();
  ASSERT_THAT(InitOCI, ThrowsMessage<EClientLibraryError>(StrEq(
                           "Cannot load OCI DLL: " + m.Home("ic") +
                           "/libclntsh.so (libtarnwick_fake_dependency.so: cannot open shared "
                           "object file: No such file or directory)")))
      << "a client whose dependency is missing must not load";
  EXPECT_FALSE(LoadedOCI());
  EXPECT_TRUE(OCIDLL.empty());
}

TEST_F(OracallTest, FailedReloadUnloadsThePreviousClient) {
  Machine m;
  CopyFakeClient(m.root.Path() / "good" / "lib" / "libclntsh.so.10.1");
  Touch(m.root.Path() / "bad" / "lib" / "libclntsh.so.10.1");
  m.env["ORACLE_HOME"] = m.Home("good");
  m.Apply();
  InitOCI();
  ASSERT_TRUE(LoadedOCI());
  m.env["ORACLE_HOME"] = m.Home("bad");
  OCIDLL.clear();
  EXPECT_THROW(LoadOCI(), Exception);
  EXPECT_FALSE(LoadedOCI());
  EXPECT_FALSE(OCIInited);
  EXPECT_EQ(hOCIEnv, nullptr);
  for (const auto& e : OCIEntryPoints()) EXPECT_FALSE(e.linked) << e.name;
}

TEST_F(OracallTest, InitCreatesTheEnvironmentOnceWithModeThree) {
  Machine m;
  m.UseFakeClientHome("h");
  m.Apply();
  InitOCI();
  ASSERT_TRUE(OCIInited);
  EXPECT_NE(hOCIEnv, nullptr);
  EXPECT_NE(hOCIError, nullptr);
  EXPECT_EQ(FakeControl<ub4 (*)()>("fake_env_mode")(), 3u) << "OCI_OBJECT | OCI_THREADED";
  EXPECT_EQ(FakeControl<int (*)()>("fake_handles_live")(), 2);
  EXPECT_FALSE(ThreadSafety) << "the fake client has no version-7 calls to make thread safe";
  OCIEnv* env = hOCIEnv;
  InitOCI();
  EXPECT_EQ(hOCIEnv, env);
  auto live = FakeControl<int (*)()>("fake_handles_live");
  FinishOCI();
  EXPECT_FALSE(OCIInited);
  EXPECT_EQ(hOCIEnv, nullptr);
  EXPECT_EQ(live(), 0);
}

TEST_F(OracallTest, EnvironmentModeFollowsTheSwitches) {
  struct Case {
    bool threaded, mutexed;
    ub4 mode;
  };
  for (const Case c : {Case{true, true, 3}, Case{false, true, 2}, Case{true, false, 3 | 128}}) {
    ResetState();
    OCIThreaded = c.threaded;
    OCIMutexed = c.mutexed;
    Machine m;
    m.UseFakeClientHome("h");
    m.Apply();
    InitOCI();
    EXPECT_EQ(FakeControl<ub4 (*)()>("fake_env_mode")(), c.mode);
  }
}

// ---- Guards ----

TEST_F(OracallTest, GuardsRaiseTheirTexts) {
  auto message = [](void (*guard)()) -> std::string {
    try {
      guard();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  };
  EXPECT_EQ(message(CheckOCI), "OCI is not inizialized");
  EXPECT_EQ(message(CheckOCI73), "Need Oracle 7.3 Call Interface");
  EXPECT_EQ(message(CheckOCI80), "Need Oracle 8 Call Interface");
  EXPECT_EQ(message(CheckOCI81), "Need Oracle 8i Call Interface");
  EXPECT_EQ(message(CheckOCI90), "Need Oracle 9 Call Interface");
  OCICallStyle = TOCICallStyle::OCI80;
  PossibleOCICallStyles.Include(TOCICallStyle::OCI80);
  OCIVersion = 9200;
  EXPECT_EQ(message(CheckOCI), "");
  EXPECT_EQ(message(CheckOCI80), "");
  EXPECT_EQ(message(CheckOCI81), "");
  EXPECT_EQ(message(CheckOCI90), "");
  EXPECT_EQ(message(CheckOCI73), "Need Oracle 7.3 Call Interface");
}

// ---- Error records ----

// The fake client loaded and initialised; setError chooses what its OCIErrorGet reports next.
class ErrorRecordTest : public OracallTest {
 protected:
  void SetUp() override {
    OracallTest::SetUp();
    m.UseFakeClientHome("h");
    m.Apply();
    InitOCI();
    setError = FakeControl<void (*)(sword, sb4, const char*)>("fake_set_error");
  }
  Machine m;
  void (*setError)(sword, sb4, const char*) = nullptr;
};

TEST_F(ErrorRecordTest, GetOraErrorByStatus) {
  struct Case {
    sword status;
    sword errorGetResult;
    sb4 code;
    std::string text;
    int32_t expectedCode;
    std::string expectedMessage;
  };
  const std::vector<Case> cases = {
      {OCI_ERROR, OCI_SUCCESS, 1017, "ORA-01017: invalid username/password; logon denied\n", 1017,
       "ORA-01017: invalid username/password; logon denied\n"},
      {OCI_SUCCESS_WITH_INFO, OCI_SUCCESS, 28002,
       "ORA-28002: the password will expire within 7 days\n", 28002,
       "ORA-28002: the password will expire within 7 days\n"},
      {OCI_NO_DATA, OCI_SUCCESS, 1403, "ORA-01403: no data found\n", 1403,
       "ORA-01403: no data found\n"},
      {OCI_ERROR, OCI_SUCCESS, 3113, "", 3113, "ORA-3113"},
      {OCI_ERROR, OCI_SUCCESS_WITH_INFO, 0, "junk", 0, "OCI_SUCCESS_WITH_INFO"},
      {OCI_ERROR, OCI_NO_DATA, 0, "", 0, "OCI_NO_DATA"},
      {OCI_ERROR, OCI_ERROR, 0, "ORA-12154: TNS:could not resolve", 12154,
       "ORA-12154: TNS:could not resolve"},
      {OCI_ERROR, OCI_ERROR, 7, "ORA-xx: odd", 7, "ORA-xx: odd"},
      {OCI_NEED_DATA, OCI_SUCCESS, 0, "", 99, "OCI_NEED_DATA"},
      {OCI_INVALID_HANDLE, OCI_SUCCESS, 0, "", 2, "OCI_INVALID_HANDLE"},
      {-3123, OCI_SUCCESS, 0, "", 3123, "Unknown error: ORA--3123"},
      {42, OCI_SUCCESS, 0, "", 42, "Unknown error: ORA-42"},
  };
  for (const auto& c : cases) {
    setError(c.errorGetResult, c.code, c.text.c_str());
    std::string message = "untouched";
    EXPECT_EQ(GetOraError(c.status, message), c.expectedCode) << c.status << " " << c.text;
    EXPECT_EQ(message, c.expectedMessage) << c.status << " " << c.text;
  }
  std::string message = "untouched";
  EXPECT_EQ(GetOraError(OCI_SUCCESS, message), 0);
  EXPECT_EQ(message, "untouched");
}

TEST_F(ErrorRecordTest, OraErrorRaisesButWarningsPass) {
  setError(OCI_SUCCESS, 28002, "ORA-28002: the password will expire within 7 days\n");
  EXPECT_NO_THROW(Check(OCI_SUCCESS_WITH_INFO));
  EXPECT_NO_THROW(Check(OCI_SUCCESS));
  setError(OCI_SUCCESS, 942, "ORA-00942: table or view does not exist\n \t");
  ASSERT_THAT([&] { Check(OCI_ERROR); },
              Throws<EOraError>(
                  AllOf(Property(&EOraError::ErrorCode, 942),
                        Property(&EOraError::Message, "ORA-00942: table or view does not exist"))));
}

}  // namespace
}  // namespace tarnwick
