// What the actions report back to a caller that shows no window: whether Connect connected and
// why not, what an import came to, a stop request between rows, and a session that only reads
// the settings file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "app/ExportSession.h"
#include "app/RecordWriter.h"
#include "app/tests/export/ExportFakes.h"
#include "dbf/dbf.h"

namespace tarnwick::export_test {
namespace {

const std::vector<TColumn> kColumns = {{"ID", "NUMBER", 22, 5, 0},
                                       {"NAME", "VARCHAR2", 10, std::nullopt, std::nullopt}};

std::vector<std::vector<TValue>> Rows(int count) {
  std::vector<std::vector<TValue>> rows;
  for (int i = 1; i <= count; ++i) rows.push_back({int32_t{i}, "n" + std::to_string(i)});
  return rows;
}

class OutcomeTest : public ::testing::Test {
 protected:
  OutcomeTest() {
    auto database = std::make_unique<TScriptedDatabase>();
    db = database.get();
    session = std::make_unique<TExportSession>(settings, std::move(database));
    session->Now = [] { return EncodeDateTime(2008, 8, 15, 14, 30, 5, 0); };
  }

  void Analyse(const std::vector<std::vector<TValue>>& rows) {
    db->SetTables({"T"});
    db->AddTable("T", kColumns, rows);
    ASSERT_TRUE(session->Connect(view, "demo/demo@demo"));
    session->Analyse(view, "T");
    ASSERT_TRUE(session->Analysed());
    view = TRecordingView();
  }

  testsupport::ScratchDir dir{"tarnwick-outcome"};
  std::string settings = dir.File("Tarnwick.INI");
  std::string path = dir.File("T.dbf");
  TScriptedDatabase* db = nullptr;
  std::unique_ptr<TExportSession> session;
  TRecordingView view;
};

TEST_F(OutcomeTest, ConnectSaysWhetherItConnectedAndKeepsTheFailureText) {
  db->SetTables({});
  EXPECT_TRUE(session->Connect(view, "demo/demo@demo"));
  EXPECT_EQ(session->ConnectError, "");

  db->connectError = {1017, "ORA-01017: invalid username/password; logon denied"};
  EXPECT_FALSE(session->Connect(view, "demo/wrong@demo"));
  EXPECT_EQ(session->ConnectError, "ORA-01017: invalid username/password; logon denied");

  db->connectError.reset();
  db->failingStatements.insert("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '");
  EXPECT_FALSE(session->Connect(view, "demo/demo@demo"));
  EXPECT_EQ(session->ConnectError, "ORA-02248: invalid option");

  EXPECT_FALSE(session->Connect(view, ""));
  EXPECT_EQ(session->ConnectError, "");
  EXPECT_EQ(view.messages.back(), "Введите параметры подключения");
}

TEST_F(OutcomeTest, ASessionThatDoesNotRememberTheConnectionLeavesTheSettingsFileAlone) {
  db->SetTables({});
  session->RememberConnection = false;
  ASSERT_TRUE(session->Connect(view, "demo/demo@demo"));
  EXPECT_FALSE(std::filesystem::exists(settings));

  session->RememberConnection = true;
  ASSERT_TRUE(session->Connect(view, "demo/demo@demo"));
  EXPECT_TRUE(std::filesystem::exists(settings));
}

TEST_F(OutcomeTest, ImportReportsWhatItCameTo) {
  Analyse(Rows(3));
  EXPECT_EQ(session->Import(view, path, "T"), TImportResult::Done);
  EXPECT_EQ(session->RecordsWritten, 3);

  view.answers.push_back(false);
  EXPECT_EQ(session->Import(view, path, "T"), TImportResult::Declined);
  EXPECT_EQ(ReadDbf(path).count, 3u);

  const std::string missingFolder = dir.File("no/such/folder/T.dbf");
  EXPECT_EQ(session->Import(view, missingFolder, "T"), TImportResult::CannotCreate);
  EXPECT_FALSE(std::filesystem::exists(missingFolder));

  // The third record cannot be written: the two before it stay.
  int writes = 0;
  DbfFileHooks hooks;
  hooks.pwrite = [&](int fd, const void* buf, size_t count, off_t offset) -> ssize_t {
    // A record is one write of the record length: 1 + 6 (ID) + 10 (NAME).
    if (count == 17 && ++writes == 3) return -1;
    return ::pwrite(fd, buf, count, offset);
  };
  view.answers.push_back(true);
  dbf_set_hooks(hooks);
  const TImportResult result = session->Import(view, path, "T");
  dbf_set_hooks({});
  EXPECT_EQ(result, TImportResult::WriteFailed);
  EXPECT_EQ(session->RecordsWritten, 2);
  EXPECT_EQ(ReadDbf(path).count, 2u);
}

TEST_F(OutcomeTest, AStopRequestEndsTheImportBetweenRowsAndTheLogSaysSo) {
  Analyse(Rows(10));
  int asked = 0;
  session->StopRequested = [&] { return ++asked > 4; };
  EXPECT_EQ(session->Import(view, path, "T"), TImportResult::Stopped);
  EXPECT_EQ(session->RecordsWritten, 4);

  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 4u);
  EXPECT_EQ(file.fileSize, file.headerLength + 4 * file.recordLength);
  EXPECT_EQ(file.records[3], " 4     n4        ");  // ID is 6 long: sign and 5 digits
  ASSERT_FALSE(view.memo.empty());
  EXPECT_EQ(view.memo.back(), "Импорт прерван: 15.08.2008 14:30:05. Записано записей: 4");
  // The table was closed: a new import of the same session writes a new file.
  session->StopRequested = nullptr;
  view.answers.push_back(true);
  EXPECT_EQ(session->Import(view, path, "T"), TImportResult::Done);
  EXPECT_EQ(ReadDbf(path).count, 10u);
}

TEST_F(OutcomeTest, ADatabaseErrorLeavesTheImportAsAnExceptionWithTheCountOfRecordsWritten) {
  Analyse(Rows(5));
  db->results["select * from T order by 1"].failAfterRows = 3;
  EXPECT_THROW(session->Import(view, path, "T"), EOraError);
  EXPECT_EQ(session->RecordsWritten, 3);
  EXPECT_EQ(ReadDbf(path).count, 3u);
}

// The records reach the file in batches on a thread of their own. Whatever ends an import past
// several batches, the file holds exactly the records before the end, each in its place, the
// gauge moved once per record written, and the outcome is the one of the row that came first.
TEST_F(OutcomeTest, AnImportEndedPastSeveralBatchesKeepsExactlyTheRecordsBefore) {
  constexpr int kRows = 5000;
  // The ring of batches goes round twice.
  static_assert(kRows >
                2 * static_cast<int>(TRecordWriter::kBatches * TRecordWriter::kBatchRecords));
  struct Case {
    const char* what;
    std::optional<int> failingWrite;   // the record whose write finds the disk full
    std::optional<int> databaseError;  // rows read before the database fails
    std::optional<int> stopAfter;      // rows read before the stop request
    TImportResult result;              // when the import returns
    int written;
  };
  const Case cases[] = {
      {"every row", std::nullopt, std::nullopt, std::nullopt, TImportResult::Done, kRows},
      {"write failure", 1100, std::nullopt, std::nullopt, TImportResult::WriteFailed, 1099},
      {"write failure on the second round", 4321, std::nullopt, std::nullopt,
       TImportResult::WriteFailed, 4320},
      {"database error", std::nullopt, 1201, std::nullopt, TImportResult::Done, 1201},
      {"stop", std::nullopt, std::nullopt, 1300, TImportResult::Stopped, 1300},
      {"write failure before a database error", 700, 1201, std::nullopt, TImportResult::WriteFailed,
       699},
      {"write failure before a stop", 700, std::nullopt, 1300, TImportResult::WriteFailed, 699},
      {"database error before a failing write", 4500, 1201, std::nullopt, TImportResult::Done,
       1201},
  };
  Analyse(Rows(kRows));
  const std::size_t recordLength = 1 + 6 + 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path);
    view = TRecordingView();
    db->results["select * from T order by 1"].failAfterRows =
        c.databaseError ? std::optional<std::size_t>(*c.databaseError) : std::nullopt;
    int asked = 0;
    session->StopRequested = [&] { return c.stopAfter && asked++ >= *c.stopAfter; };
    int records = 0;
    DbfFileHooks hooks;
    hooks.pwrite = [&](int fd, const void* buf, size_t count, off_t offset) -> ssize_t {
      if (count == recordLength && c.failingWrite && ++records == *c.failingWrite) {
        errno = ENOSPC;
        return -1;
      }
      return ::pwrite(fd, buf, count, offset);
    };
    dbf_set_hooks(hooks);
    std::optional<TImportResult> result;
    bool threw = false;
    try {
      result = session->Import(view, path, "T");
    } catch (const EOraError&) {
      threw = true;
    }
    dbf_set_hooks({});
    const bool databaseErrorFirst =
        c.databaseError && !(c.failingWrite && *c.failingWrite <= *c.databaseError);
    EXPECT_EQ(threw, databaseErrorFirst);
    if (!databaseErrorFirst) {
      EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(session->RecordsWritten, c.written);

    const TDbfFile file = ReadDbf(path);
    ASSERT_EQ(file.count, static_cast<uint32_t>(c.written));
    EXPECT_EQ(file.fileSize, file.headerLength + c.written * file.recordLength);
    for (int i : {0, c.written / 2, c.written - 1}) {
      const std::string id = std::to_string(i + 1);
      EXPECT_EQ(file.records[i].substr(0, 1 + id.size()), " " + id) << "record " << i;
    }
    const std::vector<std::string> gauges = view.Calls("gauge: ");
    ASSERT_EQ(gauges.size(), static_cast<std::size_t>(c.written));
    EXPECT_EQ(gauges.back(), std::to_string(c.written * 100 / kRows));
    EXPECT_EQ(view.messages, c.result == TImportResult::WriteFailed
                                 ? std::vector<std::string>{"Ошибки записи в файл!"}
                                 : std::vector<std::string>{});
  }
  session->StopRequested = nullptr;
}

}  // namespace
}  // namespace tarnwick::export_test
