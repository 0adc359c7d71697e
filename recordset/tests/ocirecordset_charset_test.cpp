// Text of databases whose character set differs from the client's: the client delivers UTF-8,
// where a Cyrillic letter of a CL8MSWIN1251 database takes two bytes and a "№" three, so a text
// buffer holds the column's characters at the client's bytes per character, and a value the
// client still cuts short fails the fetch instead of being stored.
#include <string>
#include <vector>

#include "recordset/tests/RecordSetFixture.h"
#include "testsupport/core/ScopedEnvVar.h"

namespace tarnwick::recordset_test {
namespace {

// n copies of a text.
std::string Times(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

const std::string kLetters30 = Times("Щ", 30);                                  // 60 bytes in UTF-8
const std::string kSigns30 = Times("№", 10) + Times("€", 10) + Times("—", 10);  // 90 bytes
const std::string kLetters100 = Times("ЖЁ", 50);                                // 200 bytes

class Charsets : public RecordSetOnStandin {
 protected:
  // Connects the session to a new server of that character set instead of the demo server.
  void UseServer(const std::string& charset) {
    testsupport::MakeServer(dir.Path() / "servers", charset, charset);
    session.Disconnect();
    session.SetServer(charset);
    session.Connect();
  }

  // A table of three rows with Cyrillic values as long as their columns allow in CL8MSWIN1251;
  // the row of ID 3 holds the longest ones.
  void MakeCyrillicTable() {
    Make({"create table T (ID number(9), V30 varchar2(30), V100 varchar2(100), C10 char(10))",
          "insert into T values (1, 'Ы', 'Ы', 'Ы')",
          "insert into T values (2, '" + kSigns30 + "', 'ab', 'АААА  Б')",
          "insert into T values (3, '" + kLetters30 + "', '" + kLetters100 + "', 'ЯЯЯЯЯЯЯЯЯЯ')"});
  }
};

TEST_F(Charsets, TextBuffersHoldTheColumnsCharactersInUtf8) {
  struct Case {
    std::string charset;
    std::string column;  // its declaration
    uint16_t dataType;
    uint16_t length;      // the describe's size: what the dataset and the analysis see
    uint16_t byteLength;  // what the buffer holds without its NUL
    uint16_t size;
  };
  constexpr uint16_t kPtr = sizeof(void*);
  const std::vector<Case> cases = {
      // One byte per character in the database: four in the client's buffer.
      {"CL8MSWIN1251", "varchar2(30)", dcString, 30, 120, 121},
      {"CL8MSWIN1251", "varchar2(100)", dcExtString, 100, 400, kPtr},
      {"CL8MSWIN1251", "char(10)", dcString, 10, 40, 41},
      // Character semantics in AL32UTF8: the size is already four bytes per character.
      {"AL32UTF8", "varchar2(50 char)", dcExtString, 200, 200, kPtr},
      {"AL32UTF8", "varchar2(30 byte)", dcString, 30, 120, 121},
      // The national character set's two bytes per character, four in UTF-8.
      {"AL32UTF8", "nvarchar2(10)", dcString, 20, 40, 41},
  };
  for (const std::string charset : {"CL8MSWIN1251", "AL32UTF8"}) {
    UseServer(charset);
    std::string columns;
    std::vector<const Case*> of;
    for (const Case& c : cases) {
      if (c.charset != charset) continue;
      columns += (columns.empty() ? "" : ", ") + std::string("C") + std::to_string(of.size()) +
                 " " + c.column;
      of.push_back(&c);
    }
    Make({"create table K (" + columns + ")"});
    TOCIRecordSet& rs = NewRecordSet("select * from K");
    rs.Prepare();
    for (std::size_t i = 0; i < of.size(); ++i) {
      SCOPED_TRACE(charset + " " + of[i]->column);
      const TFieldDesc* d = rs.FieldByName("C" + std::to_string(i));
      EXPECT_EQ(d->DataType, of[i]->dataType);
      EXPECT_EQ(d->Length, of[i]->length);
      EXPECT_EQ(d->ByteLength, of[i]->byteLength);
      EXPECT_EQ(d->Size, of[i]->size);
    }
    rs.UnPrepare();
  }
}

TEST_F(Charsets, OneByteACharacterKeepsTheBuffersOfTheDataSize) {
  UseServer("CL8MSWIN1251");
  Make({"create table K (V31 varchar2(31), V32 varchar2(32), V255 varchar2(255))",
        "insert into K values ('a', 'b', 'c')"});
  Connection()->SetClientMaxCharBytes(1);
  TOCIRecordSet& rs = NewRecordSet("select * from K");
  rs.Open();
  EXPECT_EQ(rs.FieldByName("V31")->Size, 32);
  EXPECT_EQ(rs.FieldByName("V255")->TextBytes(), 255);
  EXPECT_EQ(Rows(rs), (std::vector<std::vector<std::string>>{{"a", "b", "c"}}));
  EXPECT_EQ(testsupport::PlainErrorOf([&] { Connection()->SetClientMaxCharBytes(0); }),
            "A character takes 1 to 4 bytes, not 0");
  EXPECT_EQ(testsupport::PlainErrorOf([&] { Connection()->SetClientMaxCharBytes(5); }),
            "A character takes 1 to 4 bytes, not 5");
}

TEST_F(Charsets, SideBufferRowsGrowWithTheCharacters) {
  UseServer("CL8MSWIN1251");
  Make({"create table K (V32 varchar2(32), V255 varchar2(255))", "insert into K values ('a', 'b')",
        "insert into K values ('c', 'd')"});
  for (const auto& [bytes, rowSize] :
       std::vector<std::pair<uint16_t, int32_t>>{{4, 129 + 1021}, {1, 33 + 256}}) {
    SCOPED_TRACE(bytes);
    Connection()->SetClientMaxCharBytes(bytes);
    TOCIRecordSet& rs = NewRecordSet("select * from K");
    // One row a fetch: the data is not yet at its end, so the side buffer stays.
    rs.SetProp(prFetchRows, 1);
    rs.Open();
    auto rec = rs.AllocRecBuf();
    rs.GetNextRecord(rec.get());
    EXPECT_EQ(rs.FetchBlockRowSize(), rowSize);
    rs.Close();
  }
}

TEST_F(Charsets, CyrillicValuesOfASingleByteDatabaseArriveWhole) {
  UseServer("CL8MSWIN1251");
  MakeCyrillicTable();
  const std::vector<std::vector<std::string>> expected = {
      {"1", "Ы", "Ы", "Ы"},
      // Trailing blanks of the CHAR go, the two inside stay.
      {"2", kSigns30, "ab", "АААА  Б"},
      {"3", kLetters30, kLetters100, "ЯЯЯЯЯЯЯЯЯЯ"}};
  for (const bool uniDirectional : {false, true}) {
    for (const int fetchRows : {25, 2}) {
      SCOPED_TRACE(std::to_string(fetchRows) + (uniDirectional ? " one-way" : ""));
      TOCIRecordSet& rs = NewRecordSet("select * from T order by ID");
      rs.SetProp(prUniDirectional, uniDirectional);
      rs.SetProp(prFetchRows, fetchRows);
      rs.Open();
      EXPECT_EQ(Rows(rs), expected);
      rs.Close();
    }
  }
}

TEST_F(Charsets, AValueTheClientCutsShortFailsTheFetchNamingColumnAndRow) {
  UseServer("CL8MSWIN1251");
  MakeCyrillicTable();
  // Buffers of one byte per character: what the client delivers for row 3 does not fit.
  Connection()->SetClientMaxCharBytes(1);
  struct Case {
    std::string select;
    int fetchRows;
    std::string message;
    int recordsKept;  // those of the blocks before the failing one
  };
  const std::vector<Case> cases = {
      // Row 2's signs take three bytes each; the first row cut short is named.
      {"ID, V30, V100", 25,
       "EOraError: ORA-01406: fetched column value was truncated: column V30, row 2 (90 bytes, "
       "room for 30)",
       0},
      {"ID, V30", 1,
       "EOraError: ORA-01406: fetched column value was truncated: column V30, row 2 (90 bytes, "
       "room for 30)",
       1},
      // The text kept in the heap is fetched through the side buffer; the short last block
      // comes with the end of the data.
      {"ID, V100", 2,
       "EOraError: ORA-01406: fetched column value was truncated: column V100, row 3 (200 "
       "bytes, room for 100)",
       2},
      // A CHAR's filling blanks count: a single letter and nine blanks take 11 bytes.
      {"ID, C10", 2,
       "EOraError: ORA-01406: fetched column value was truncated: column C10, row 1 (11 bytes, "
       "room for 10)",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select + " / " + std::to_string(c.fetchRows));
    TOCIRecordSet& rs = NewRecordSet("select " + c.select + " from T order by ID");
    rs.SetProp(prFetchRows, c.fetchRows);
    rs.Open();
    std::string error = "<no error>";
    auto rec = rs.AllocRecBuf();
    int walked = 0;
    try {
      for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) ++walked;
    } catch (const EOraError& e) {
      error = "EOraError: " + e.Message();
      EXPECT_EQ(e.ErrorCode(), 1406);
    }
    EXPECT_EQ(error, c.message);
    EXPECT_EQ(walked, c.recordsKept);
    EXPECT_EQ(rs.GetRecordCount(), c.recordsKept);
    rs.Close();
  }
}

TEST_F(Charsets, TheClientsWarningAloneIsNoTruncation) {
  UseServer("CL8MSWIN1251");
  MakeCyrillicTable();
  // Every fetch succeeds with ORA-24345 although no value was cut (a NULL fetched with its
  // indicator is what the warning may also mean).
  session.Disconnect();
  testsupport::ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtFetch:1+:24345");
  testsupport::UseStandinClient();
  session.Connect();
  Run("insert into T values (4, null, null, null)");
  TOCIRecordSet& rs = NewRecordSet("select ID, V30 from T order by ID");
  rs.SetProp(prFetchRows, 2);
  rs.Open();
  EXPECT_EQ(Rows(rs), (std::vector<std::vector<std::string>>{
                          {"1", "Ы"}, {"2", kSigns30}, {"3", kLetters30}, {"4", "NULL"}}));
  const auto lines = trace.Lines();
  EXPECT_TRUE(Trace::Has(lines, "OCI_SUCCESS_WITH_INFO ORA-24345")) << Trace::Joined(lines);
}

}  // namespace
}  // namespace tarnwick::recordset_test
