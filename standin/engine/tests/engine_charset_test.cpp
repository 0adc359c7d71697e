// Database character sets, character length semantics and the dictionary per release.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "standin/engine/engine.h"
#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

// A server of the given character set and release with user SCOTT/tiger.
class ServerOf {
 public:
  ServerOf(const std::string& charset, const std::string& release) {
    char pattern[] = "/tmp/standin-charset-XXXXXX";
    EXPECT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    folder_ = (root_ / "srv").string();
    createServer(folder_, charset, release);
    createUser(folder_, "scott", "tiger");
    session = Server::attach(folder_)->logon("scott", "tiger");
  }
  ~ServerOf() {
    session.reset();
    std::filesystem::remove_all(root_);
  }
  void exec(const std::string& sql) { session->prepare(sql)->execute(); }
  // The OraError text of a statement that must fail ("" when it succeeds).
  std::string error(const std::string& sql) {
    try {
      exec(sql);
    } catch (const OraError& e) {
      return e.message;
    }
    return "";
  }
  std::vector<std::string> rows(const std::string& sql) {
    auto c = session->prepare(sql);
    c->execute();
    std::vector<std::string> out;
    while (c->step()) {
      std::string row;
      for (size_t i = 0; i < c->columns().size(); ++i) {
        int k = static_cast<int>(i);
        if (i) row += "|";
        row += c->kind(k) == ValueKind::Null ? std::string("<null>") : std::string(c->asText(k));
      }
      out.push_back(row);
    }
    return out;
  }
  std::unique_ptr<Session> session;
  std::string folder_;

 private:
  std::filesystem::path root_;
};

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kCyrillic30 = repeat("Жж", 15);  // 30 letters, 60 bytes in UTF-8

struct CharsetCase {
  const char* charset;
  int bytesPerCyrillic;
  int charColumnBytes;    // DATA_LENGTH of VARCHAR2(30 CHAR)
  const char* euroOmega;  // 'x€Ω' as the database keeps it
  const char* omega;      // 'Ω' likewise
};
const CharsetCase kCharsets[] = {
    {"AL32UTF8", 2, 120, "x€Ω", "Ω"},
    {"UTF8", 2, 90, "x€Ω", "Ω"},
    {"CL8MSWIN1251", 1, 30, "x€?", "?"},
    {"CL8ISO8859P5", 1, 30, "x??", "?"},
};

TEST(EngineCharset, ByteAndCharacterLimitsCountInTheDatabaseCharacterSet) {
  for (const CharsetCase& k : kCharsets) {
    SCOPED_TRACE(k.charset);
    ServerOf s(k.charset, "");
    s.exec("create table t (b varchar2(30 byte), c varchar2(30 char), p char(4 char))");
    // 30 Cyrillic letters: within the byte limit only where a letter is one byte.
    std::string overBytes = s.error("insert into t (b) values ('" + kCyrillic30 + "')");
    if (k.bytesPerCyrillic == 1) {
      EXPECT_EQ(overBytes, "");
    } else {
      EXPECT_EQ(overBytes,
                "ORA-12899: value too large for column \"SCOTT\".\"T\".\"B\" (actual: 60, "
                "maximum: 30)");
    }
    EXPECT_EQ(s.error("insert into t (b) values ('" + repeat("Ж", 15) + "')"), "");
    EXPECT_EQ(s.error("insert into t (b) values ('" + repeat("x", 31) + "')"),
              "ORA-12899: value too large for column \"SCOTT\".\"T\".\"B\" (actual: 31, maximum: "
              "30)");
    // A limit in characters counts characters whatever they cost.
    EXPECT_EQ(s.error("insert into t (c) values ('" + kCyrillic30 + "')"), "");
    EXPECT_EQ(s.error("insert into t (c) values ('" + kCyrillic30 + "ж')"),
              "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 31, maximum: "
              "30)");
    // CHAR(n CHAR) is padded to n characters.
    s.exec("insert into t (p) values ('Жж')");
    EXPECT_EQ(s.rows("select p from t where p is not null"), std::vector<std::string>{"Жж  "});
    EXPECT_EQ(s.rows("select count(*) from t where c = '" + kCyrillic30 + "'"),
              std::vector<std::string>{"1"});
    // What the set cannot hold is kept as "?".
    s.exec("insert into t (b) values ('x€Ω')");
    EXPECT_EQ(s.rows("select b from t where b like 'x%'"), std::vector<std::string>{k.euroOmega});
    // A literal in a statement is converted as the statement reaches the server, so it finds
    // what was stored from the same text.
    EXPECT_EQ(s.rows("select b, 'Ω' from t where b = 'x€Ω'"),
              std::vector<std::string>{std::string(k.euroOmega) + "|" + k.omega});

    EXPECT_EQ(
        s.rows("select column_name, data_length, char_length, char_used, "
               "char_col_decl_length from user_tab_columns where table_name = 'T' order by "
               "column_id"),
        (std::vector<std::string>{
            "B|30|30|B|30",
            "C|" + std::to_string(k.charColumnBytes) + "|30|C|" + std::to_string(k.charColumnBytes),
            "P|" + std::to_string(k.charColumnBytes == 30 ? 4 : k.charColumnBytes / 30 * 4) +
                "|4|C|" +
                std::to_string(k.charColumnBytes == 30 ? 4 : k.charColumnBytes / 30 * 4)}));
  }
}

TEST(EngineCharset, DescribeGivesBytesOfTheDatabaseAndTheLengthInCharacters) {
  struct Case {
    const char* charset;
    uint16_t charBytes;
  };
  for (Case k : {Case{"AL32UTF8", 40}, Case{"CL8MSWIN1251", 10}}) {
    SCOPED_TRACE(k.charset);
    ServerOf s(k.charset, "");
    s.exec("create table t (b varchar2(10), c varchar2(10 char), w nvarchar2(10), n number)");
    auto c = s.session->prepare("select b, c, w, n, cast(b as varchar2(7 char)) from t");
    const auto& cols = c->columns();
    ASSERT_EQ(cols.size(), 5u);
    EXPECT_EQ(cols[0].dataSize, 10);
    EXPECT_EQ(cols[0].charSize, 10);
    EXPECT_FALSE(cols[0].charUsed);
    EXPECT_EQ(cols[1].dataSize, k.charBytes);
    EXPECT_EQ(cols[1].charSize, 10);
    EXPECT_TRUE(cols[1].charUsed);
    EXPECT_EQ(cols[2].dataSize, 20) << "AL16UTF16: two bytes a character";
    EXPECT_EQ(cols[2].charSize, 10);
    EXPECT_TRUE(cols[2].charUsed);
    EXPECT_TRUE(cols[2].national);
    EXPECT_EQ(cols[3].charSize, 0);
    EXPECT_EQ(cols[4].dataSize, k.charBytes / 10 * 7);
    EXPECT_EQ(cols[4].charSize, 7);
  }
}

TEST(EngineCharset, NationalColumnsHoldEveryCharacterAndCountCharacters) {
  ServerOf s("CL8MSWIN1251", "");
  s.exec("create table t (w nvarchar2(3))");
  // A plain literal is converted to the database character set on its way, as in Oracle; an
  // N'...' literal is not.
  s.exec("insert into t values ('ΩЖ€')");
  EXPECT_EQ(s.rows("select w from t"), std::vector<std::string>{"?Ж€"});
  s.exec("delete from t");
  s.exec("insert into t values (N'ΩЖ€')");
  EXPECT_EQ(s.rows("select w from t"), std::vector<std::string>{"ΩЖ€"});
  EXPECT_EQ(s.error("insert into t values (N'ΩЖ€x')"),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"W\" (actual: 4, maximum: 3)");
  EXPECT_EQ(s.rows("select data_type, data_length, char_length, char_used from user_tab_columns"),
            std::vector<std::string>{"NVARCHAR2|6|3|C"});
}

TEST_F(EngineTest, SessionLengthSemanticsDecideForColumnsDeclaredWithoutEither) {
  exec("alter session set nls_length_semantics = char");
  exec("create table c (x varchar2(5), y varchar2(5 byte))");
  exec("alter session set nls_length_semantics = 'BYTE'");
  exec("create table b (x varchar2(5), y varchar2(5 char))");
  EXPECT_EQ(rows("select table_name, column_name, data_length, char_length, char_used from "
                 "user_tab_columns order by 1, 2"),
            (std::vector<std::string>{"B|X|5|5|B", "B|Y|20|5|C", "C|X|20|5|C", "C|Y|5|5|B"}));
  EXPECT_THROW(exec("alter session set nls_length_semantics = words"), OraError);
  // VARCHAR2(4000 CHAR) still stops at 4000 bytes.
  exec("create table big (x varchar2(4000 char))");
  EXPECT_EQ(rows("select data_length, char_length from user_tab_columns where table_name = 'BIG'"),
            std::vector<std::string>{"4000|4000"});
  EXPECT_THAT([&] { exec("insert into big values ('" + repeat("Ж", 2001) + "')"); },
              ::testing::Throws<OraError>(::testing::Field(
                  &OraError::message,
                  "ORA-12899: value too large for column \"SCOTT\".\"BIG\".\"X\" (actual: 4002, "
                  "maximum: 4000)")))
      << "4002 bytes went into a 4000-byte column";
}

TEST(EngineRelease, DictionaryColumnsOfCharacterSemanticsExistFrom9iOn) {
  struct Case {
    const char* release;
    bool hasCharColumns;
    const char* version;  // what the settings file then names
  };
  const Case cases[] = {{"8.1", false, "8.1.7.0.0"},     {"8.0.6", false, "8.0.6.0.0"},
                        {"9.2", true, "9.2.0.1.0"},      {"", true, "10.2.0.1.0"},
                        {"19c", true, "19.3.0.0.0"},     {"23", true, "23.4.0.24.05"},
                        {"11.2.0.4", true, "11.2.0.4.0"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.release);
    ServerOf s("", k.release);
    EXPECT_EQ(Server::attach(s.folder_)->settings().at("version"), k.version);
    s.exec("create table t (v varchar2(10))");
    const std::string q =
        "select column_name, data_type, data_length, char_used from user_tab_columns";
    if (k.hasCharColumns) {
      EXPECT_EQ(s.rows(q), std::vector<std::string>{"V|VARCHAR2|10|B"});
      EXPECT_EQ(s.error("alter session set nls_length_semantics = char"), "");
    } else {
      EXPECT_EQ(s.error(q), "ORA-00904: \"CHAR_USED\": invalid identifier");
      EXPECT_EQ(s.rows("select column_name, data_type, data_length from user_tab_columns"),
                std::vector<std::string>{"V|VARCHAR2|10"});
      EXPECT_EQ(s.error("create table u (v varchar2(10 char))"),
                "ORA-00907: missing right parenthesis");
      EXPECT_EQ(s.error("alter session set nls_length_semantics = char"),
                "ORA-02248: invalid option for ALTER SESSION");
    }
  }
}

TEST(EngineRelease, NewServersRefuseUnknownCharacterSetsAndReleases) {
  char pattern[] = "/tmp/standin-refuse-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::filesystem::path root = pattern;
  struct Case {
    const char* charset;
    const char* release;
    const char* message;  // the start of the error
  };
  const Case cases[] = {
      {"KOI8R", "", "unknown character set \"KOI8R\" (known: AL32UTF8, UTF8, CL8MSWIN1251"},
      {"", "7.3", "unknown release \"7.3\""},
      {"", "10.1", "unknown release \"10.1\""},
      {"", "ten", "unknown release \"ten\""},
      {"AL32UTF8", "8.1", "character set AL32UTF8 needs release 9.0 or later"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.charset) + " " + k.release);
    std::string folder = (root / "x").string();
    EXPECT_THAT([&] { createServer(folder, k.charset, k.release); },
                ::testing::ThrowsMessage<std::runtime_error>(::testing::StartsWith(k.message)))
        << "accepted";
    EXPECT_FALSE(std::filesystem::exists(folder)) << "nothing is made for refused options";
  }
  // A pre-9i server made without a character set gets UTF8 (AL32UTF8 did not exist yet).
  createServer((root / "old").string(), "", "8.1.7");
  std::ifstream in(root / "old" / "settings");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("charset = UTF8\n"), std::string::npos) << text;
  // A settings file naming a set the stand-in does not know fails at logon.
  {
    std::ofstream f(root / "old" / "settings", std::ios::app);
    f << "charset = WE8DEC\n";
  }
  createUser((root / "old").string(), "scott", "tiger");
  EXPECT_THROW(Server::attach((root / "old").string())->logon("scott", "tiger"), OraError);
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace standin::testing
