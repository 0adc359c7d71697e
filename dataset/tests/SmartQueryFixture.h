#pragma once
// The smart query of the main window on a private copy of the stand-in's demo server: a session
// with its defaults (user demo, password demo, server demo), the query SmartQuery1 on it, the
// client's call trace in the test's own folder, and helpers that make tables and walk the query.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/OraSmart.h"
#include "oracle/OCICommand.h"
#include "oracle/OraSession.h"
#include "oracle/Oracall.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick::dataset_test {

using testsupport::ScopedEnvVar;
using testsupport::ScratchDir;
using testsupport::Trace;

class SmartQueryOnStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testsupport::DemoServer()))
        << "the stand-in client and its demo server must be built";
    testsupport::UseStandinClient();
    servers_ = testsupport::MakeDataFolder(dir.Path());
    serversVar_ = std::make_unique<ScopedEnvVar>("STANDIN_SERVERS", servers_.string());
    traceVar_ = std::make_unique<ScopedEnvVar>("STANDIN_TRACE", trace.Path().string());
    session.SetUsername("demo");
    session.SetPassword("demo");
    session.SetServer("demo");
    q.SetSession(&session);
    const auto log = [this](const char* what) {
      return [this, what](TDataSet&) { events.push_back(what); };
    };
    q.BeforeOpen = log("BeforeOpen");
    q.AfterOpen = log("AfterOpen");
    q.BeforeClose = log("BeforeClose");
    q.AfterClose = log("AfterClose");
  }

  void TearDown() override {
    q.Close();
    try {
      session.Disconnect();
    } catch (...) {
    }
    FreeOCI();
  }

  // The folder of the demo server copy, for standin-admin.
  std::filesystem::path Server() const { return servers_ / "demo"; }

  // Runs standin-admin (built beside the tests) with the arguments.
  static void Admin(const std::string& args) {
    const std::string cmd =
        (testsupport::BinDir() / "standin-admin").string() + " " + args + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }

  // Runs statements that return no rows, on a command of their own.
  void Run(std::initializer_list<std::string> statements) {
    if (!session.GetConnected()) session.Connect();
    for (const auto& sql : statements) {
      TOCICommand command;
      command.SetConnection(session.GetIConnection());
      command.SetSQL(sql);
      command.Execute();
    }
  }

  // Sets the query's text as the main window does: Clear, then Add.
  void SetText(const std::string& sql) {
    q.SQL().Clear();
    q.SQL().Add(sql);
  }

  // Every row from the current one to the end, as the texts of its fields.
  // The texts of every row. Each field's GetText, into one string that still holds the text of
  // the field before it (or a long stale text at the start), gives what AsString gives.
  std::vector<std::vector<std::string>> Walk() {
    std::vector<std::vector<std::string>> rows;
    std::string reused(300, 'x');
    while (!q.Eof()) {
      std::vector<std::string> row;
      for (const auto& f : q.Fields()) {
        row.push_back(f->AsString());
        f->GetText(reused);
        EXPECT_EQ(reused, row.back()) << "GetText of " << f->FieldName();
      }
      rows.push_back(std::move(row));
      q.Next();
    }
    return rows;
  }

  // The texts of one column over the rest of the rows.
  std::vector<std::string> Column(const std::string& name) {
    std::vector<std::string> values;
    for (; !q.Eof(); q.Next()) values.push_back(q.FieldByName(name)->AsString());
    return values;
  }

  // The statement texts prepared since the mark, as the trace shows them.
  std::vector<std::string> Prepared(size_t mark) const {
    std::vector<std::string> texts;
    for (const auto& line : Trace::Starting(trace.Since(mark), "OCIStmtPrepare(")) {
      const size_t open = line.find('"');
      const size_t close = line.rfind("\", ");
      texts.push_back(line.substr(open + 1, close - open - 1));
    }
    return texts;
  }

  ScratchDir dir{"smartquery"};
  Trace trace{dir.Path() / "trace.txt"};
  TOraSession session{"OraSession1"};
  TSmartQuery q{"SmartQuery1"};
  std::vector<std::string> events;

 private:
  std::filesystem::path servers_;
  std::unique_ptr<ScopedEnvVar> serversVar_;
  std::unique_ptr<ScopedEnvVar> traceVar_;
};

}  // namespace tarnwick::dataset_test
