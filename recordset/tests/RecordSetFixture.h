#pragma once
// A session connected to a private copy of the stand-in's demo server, with the client's call
// trace in the test's own folder, and helpers that run statements and open record sets on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OraSession.h"
#include "oracle/Oracall.h"
#include "recordset/OCIRecordSet.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick::recordset_test {

using testsupport::ScopedEnvVar;
using testsupport::ScratchDir;
using testsupport::Trace;

class RecordSetOnStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testsupport::DemoServer()))
        << "the stand-in client and its demo server must be built";
    testsupport::UseStandinClient();
    servers_ = std::make_unique<ScopedEnvVar>("STANDIN_SERVERS",
                                              testsupport::MakeDataFolder(dir.Path()).string());
    traceVar_ = std::make_unique<ScopedEnvVar>("STANDIN_TRACE", trace.Path().string());
    session.SetUsername("demo");
    session.SetPassword("demo");
    session.SetServer("demo");
    session.Connect();
  }
  void TearDown() override {
    recordSets_.clear();
    try {
      session.Disconnect();
    } catch (...) {
    }
    FreeOCI();
  }

  TOCIConnection* Connection() { return session.GetIConnection(); }

  // Runs a statement that returns no rows.
  void Run(const std::string& sql) {
    TOCICommand command;
    command.SetConnection(Connection());
    command.SetSQL(sql);
    command.Execute();
  }
  // Runs statements that make a table of the test's own.
  void Make(std::initializer_list<std::string> statements) {
    for (const auto& s : statements) Run(s);
  }

  // A record set on the session's connection with the dataset's settings: FlatBuffers off,
  // LongStrings on, 25 rows a fetch.
  TOCIRecordSet& NewRecordSet(const std::string& sql) {
    auto rs = std::make_unique<TOCIRecordSet>();
    rs->SetConnection(Connection());
    rs->SetProp(prFlatBuffers, false);
    rs->SetProp(prLongStrings, true);
    rs->TrimFixedChar = true;
    rs->SetSQL(sql);
    recordSets_.push_back(std::move(rs));
    return *recordSets_.back();
  }

  // The text of a field of the current record of a record set: integers and doubles printed,
  // dates as yyyy-mm-dd hh:mm:ss, NULL as "NULL".
  static std::string Text(TOCIRecordSet& rs, const uint8_t* rec, const std::string& name) {
    const TFieldDesc* d = rs.FieldByName(name);
    std::vector<char> buffer(std::max<size_t>(d->Size, d->TextBytes() + size_t{1}) + 64, '\0');
    bool blank = true;
    rs.GetField(d->FieldNo, rec, buffer.data(), blank);
    if (blank) return "NULL";
    switch (d->DataType) {
      case dcInteger: {
        int32_t v;
        std::memcpy(&v, buffer.data(), sizeof v);
        return std::to_string(v);
      }
      case dcFloat: {
        double v;
        std::memcpy(&v, buffer.data(), sizeof v);
        char out[64];
        std::snprintf(out, sizeof out, "%.15g", v);
        return out;
      }
      case dcDateTime: {
        uint8_t raw[7];
        std::memcpy(raw, rec + d->Offset, 7);
        char out[64];
        std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d",
                      (raw[0] - 100) * 100 + raw[1] - 100, raw[2], raw[3], raw[4] - 1, raw[5] - 1,
                      raw[6] - 1);
        return out;
      }
      default:
        return std::string(buffer.data());
    }
  }

  // Every row of an opened record set, walked with GetNextRecord, as the texts of its fields.
  static std::vector<std::vector<std::string>> Rows(TOCIRecordSet& rs) {
    std::vector<std::vector<std::string>> rows;
    auto rec = rs.AllocRecBuf();
    for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) {
      std::vector<std::string> row;
      for (const auto& d : rs.Fields()) row.push_back(Text(rs, rec.get(), d->Name));
      rows.push_back(std::move(row));
    }
    return rows;
  }

  ScratchDir dir{"recordset"};
  Trace trace{dir.Path() / "trace.txt"};
  TOraSession session{"OraSession1"};

 private:
  std::unique_ptr<ScopedEnvVar> servers_;
  std::unique_ptr<ScopedEnvVar> traceVar_;
  std::vector<std::unique_ptr<TOCIRecordSet>> recordSets_;
};

}  // namespace tarnwick::recordset_test
