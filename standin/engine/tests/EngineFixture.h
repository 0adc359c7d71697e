#pragma once
// A fresh server folder with user SCOTT/tiger for each test, and helpers that run statements and
// collect a query's rows as texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "standin/engine/engine.h"

namespace standin::testing {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/standin-engine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    folder_ = (root_ / "srv").string();
    createServer(folder_);
    createUser(folder_, "scott", "tiger");
    session_ = Server::attach(folder_)->logon("scott", "tiger");
  }
  void TearDown() override {
    session_.reset();
    std::filesystem::remove_all(root_);
  }

  uint64_t exec(const std::string& sql, Session* s = nullptr) {
    auto c = (s ? s : session_.get())->prepare(sql);
    return c->execute();
  }

  // The rows of a query, each value as text: numbers as numberText, dates as
  // "YYYY-MM-DD HH:MM:SS", NULL as "<null>"; values of a row joined by "|".
  std::vector<std::string> rows(const std::string& sql, Session* s = nullptr) {
    auto c = (s ? s : session_.get())->prepare(sql);
    c->execute();
    std::vector<std::string> out;
    while (c->step()) {
      std::string row;
      for (size_t i = 0; i < c->columns().size(); ++i) {
        int k = static_cast<int>(i);
        if (i) row += "|";
        switch (c->kind(k)) {
          case ValueKind::Null:
            row += "<null>";
            break;
          case ValueKind::Integer:
          case ValueKind::Real:
            row += c->numberText(k);
            break;
          case ValueKind::Date: {
            DateTime d = c->asDate(k);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                          d.hour, d.minute, d.second);
            row += buf;
            break;
          }
          case ValueKind::Text:
            row += c->asText(k);
            break;
          case ValueKind::Bytes:
            row += '<' + std::to_string(c->asBytes(k).size()) + " bytes>";
            break;
        }
      }
      out.push_back(row);
    }
    return out;
  }

  std::string one(const std::string& sql) {
    auto r = rows(sql);
    EXPECT_EQ(r.size(), 1u) << sql;
    return r.empty() ? std::string() : r[0];
  }

  // The error a statement raises at prepare or execute; code 0 when it succeeds.
  OraError error(const std::string& sql, Session* s = nullptr) {
    try {
      auto c = (s ? s : session_.get())->prepare(sql);
      c->execute();
      while (c->step()) {
      }
    } catch (const OraError& e) {
      return e;
    }
    return OraError(0, "");
  }

  std::filesystem::path root_;
  std::string folder_;
  std::unique_ptr<Session> session_;
};

}  // namespace standin::testing
