#pragma once
// What the end-to-end tests of the export's actions share: a copy of the stand-in's demo server
// of the test's own, a session whose database is the Oracle session and query components,
// standin-admin and python3-dbf run as programs, and the texts and records expected of them.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/ExportSession.h"
#include "app/OraExportDatabase.h"
#include "app/tests/export/ExportFakes.h"
#include "dbf/cp866.h"
#include "oracle/Oracall.h"
#include "testsupport/core/Commands.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick::export_test {

using testsupport::ScopedEnvVar;

inline const std::string kConnected = "Приложение подключено к БД!";
inline const std::string kNoConnection = "Нет соединения с базой данных!";

// ---- helpers ----------------------------------------------------------------------------------

using testsupport::CommandResult;
using testsupport::PythonDbfAvailable;
using testsupport::RunCommand;
using testsupport::ShellQuote;

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A value as the file stores it: the text cut or filled up to the field's length, in code page
// 866.
inline std::string Field(const std::string& text, std::size_t length) {
  std::string part = StoredPart(text, length);
  part += std::string(length - CharacterCount(part), ' ');
  return cp866_text(part);
}

// A record: the deletion flag and the values of its fields.
inline std::string Record(const std::vector<std::string>& values, const std::vector<int>& lengths) {
  std::string record = " ";
  for (std::size_t i = 0; i < values.size(); ++i) record += Field(values[i], lengths[i]);
  return record;
}

#if defined(__SANITIZE_ADDRESS__)
// The bytes the address sanitizer's allocator has handed out and not taken back (GCC ships no
// header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// The memory the process holds for its data. The record store takes its blocks straight from the
// system, so the heap alone would not show them: the resident set does. Under the address
// sanitizer every block comes from the heap instead, and freed memory is held back for a while
// (which the resident set would count), so there the heap's live bytes tell.
inline std::size_t MemoryInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

// Forwards to the real database and watches the memory while rows are read.
class THeapWatch : public TForwardingDatabase {
 public:
  explicit THeapWatch(IExportDatabase& inner) : TForwardingDatabase(inner) {}
  void Open(const std::string& sql, bool uniDirectional, bool exactNumbers) override {
    TForwardingDatabase::Open(sql, uniDirectional, exactNumbers);
    rows_ = 0;
  }
  void Next() override {
    TForwardingDatabase::Next();
    // The first blocks settle the buffers; from then on only kept rows make the memory grow.
    if (++rows_ == 1000) base = MemoryInUse();
    if (rows_ > 1000) peak = std::max(peak, MemoryInUse());
  }

  std::size_t base = 0;
  std::size_t peak = 0;

 private:
  int rows_ = 0;
};

// ---- fixture ----------------------------------------------------------------------------------

class StandinExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    servers_ = testsupport::MakeDataFolder(scratch_.Path());
    testsupport::UseStandinClient();
    Start();
  }

  // The components go first, then the client library with its environment.
  void TearDown() override {
    session_.reset();
    watch_.reset();
    ora_.reset();
    FreeOCI();
  }

  // A new session whose database is the Oracle components (or a watch over them).
  void Start(bool watchHeap = false) {
    session_.reset();
    watch_.reset();
    ora_ = std::make_unique<TOraExportDatabase>();
    std::unique_ptr<IExportDatabase> database;
    if (watchHeap) {
      watch_ = std::make_unique<THeapWatch>(*ora_);
      database = std::make_unique<TForwardingDatabase>(static_cast<IExportDatabase&>(*watch_));
    } else {
      database = std::make_unique<TForwardingDatabase>(*ora_);
    }
    session_ = std::make_unique<TExportSession>(settings_, std::move(database));
    session_->Now = [] { return EncodeDateTime(2008, 8, 15, 14, 30, 5, 0); };
  }

  void Connect() {
    session_->Connect(view_, "demo/demo@demo");
    ASSERT_EQ(view_.status, kConnected) << (view_.messages.empty() ? "" : view_.messages[0]);
    view_ = TRecordingView();
  }

  // Analyses the table; the view starts empty afterwards unless asked to keep it.
  void Analyse(const std::string& table, bool keepView = false) {
    session_->Analyse(view_, table);
    ASSERT_TRUE(session_->Analysed())
        << table << ": " << (view_.messages.empty() ? "" : view_.messages[0]);
    if (!keepView) view_ = TRecordingView();
  }

  // Runs standin-admin on the test's own copy of the demo server.
  void Admin(const std::string& arguments) {
    const CommandResult r = RunCommand(
        ShellQuote((testsupport::BinDir() / "standin-admin").string()) + " " + arguments + " 2>&1");
    ASSERT_EQ(r.status, 0) << arguments << ": " << r.output;
  }
  std::string Server() const { return ShellQuote((servers_ / "demo").string()); }

  // The DBF file of a table in the scratch folder.
  std::string Path(const std::string& name) const { return scratch_.File(name + ".dbf"); }

  // The python3-dbf reading of a file (testsupport::kPythonDbfFieldReader).
  std::vector<std::string> ReadWithPython(const std::string& path) {
    const CommandResult r = testsupport::ReadWithPythonDbf(scratch_, path);
    EXPECT_EQ(r.status, 0) << r.output;
    return Lines(r.output);
  }

  testsupport::ScratchDir scratch_{"tarnwick-export-standin"};
  std::filesystem::path servers_;
  std::string settings_ = scratch_.File("Tarnwick.INI");
  ScopedEnvVar serversVar_{"STANDIN_SERVERS", (scratch_.Path() / "servers").string()};
  std::unique_ptr<TOraExportDatabase> ora_;
  std::unique_ptr<THeapWatch> watch_;
  std::unique_ptr<TExportSession> session_;
  TRecordingView view_;
};

inline const std::vector<std::string> kHead = {
    "Структура таблицы ", " ",
    " N    Имя поля                        Имя поля    Тип поля         Тип поля Размер,   ",
    "п/п   в Оракл таблице                 в DBF       в Оракл          в DBF            дес.",
    std::string(88, '-')};

inline std::vector<std::string> WithHead(std::vector<std::string> rows) {
  rows.insert(rows.begin(), kHead.begin(), kHead.end());
  return rows;
}

}  // namespace tarnwick::export_test
