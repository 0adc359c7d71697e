// Exception classes, raising helpers and the two message tables.
#include "oracle/OraError.h"

#include <gtest/gtest.h>

#include <set>

namespace tarnwick {
namespace {

TEST(OraErrorTest, ClassesDeriveInOrder) {
  try {
    RaiseOraError(1017, "ORA-01017: invalid username/password; logon denied\n");
    FAIL();
  } catch (const EDAError& e) {
    EXPECT_EQ(e.ErrorCode(), 1017);
    EXPECT_EQ(e.Message(), "ORA-01017: invalid username/password; logon denied\n");
    const auto* ora = dynamic_cast<const EOraError*>(&e);
    ASSERT_NE(ora, nullptr);
    EXPECT_EQ(ora->Component(), nullptr);
    EXPECT_NE(dynamic_cast<const EDatabaseError*>(&e), nullptr);
  }
  try {
    RaiseError("plain");
    FAIL();
  } catch (const EDatabaseError&) {
    FAIL() << "RaiseError raises the plain class";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "plain");
  }
  EXPECT_THROW(Abort(), EAbort);
}

TEST(OraErrorTest, TextsOfTheExportersRoad) {
  const std::vector<std::pair<int, std::string>> cases = {
      {65520, "Session is not defined"},
      {65521, "Session is not connected"},
      {65529, "Cursor must be opened"},
      {65530, "Cursor has been opened"},
      {65504, "SQL statement doesn't return rows"},
      {65507, "Session must be Thread Safety"},
      {65522, "Unsupported data type"},
      {65473, "Data type is not supported."},
      {65472, "Unknown data type."},
      {65476, "Cannot convert type."},
      {65474, "Field %s not found."},
      {65486, "Connection is not defined."},
      {65466, "Operation is not allowed when the connection is closed"},
      {65457, "User transaction is already in progress."},
      {65460, "FetchRows must be 1..10000."},
      {65487, "Cannot connect to database."},
  };
  for (const auto& [id, text] : cases) EXPECT_EQ(LoadResString(id), text) << id;
  EXPECT_EQ(Oraconsts::SSessionNotDefined, 65520);
  EXPECT_EQ(Daconsts::SFieldNotFound, 65474);
}

TEST(OraErrorTest, EveryIdentifierOfBothTablesHasAText) {
  std::set<std::string> texts;
  for (int id = 65456; id <= 65535; ++id) {
    const std::string t = LoadResString(id);
    EXPECT_FALSE(t.empty()) << id;
    texts.insert(t);
  }
  for (int id : {65455, 65536, 0}) {
    try {
      LoadResString(id);
      ADD_FAILURE() << id;
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(std::to_string(id)), std::string::npos);
    }
  }
}

TEST(OraErrorTest, FormattedTexts) {
  EXPECT_EQ(FmtLoadStr(Daconsts::SFieldNotFound, {"NAME"}), "Field NAME not found.");
  EXPECT_EQ(FmtLoadStr(Daconsts::SUpdateFailed, {"3"}), "Update failed. 3 records updated.");
  EXPECT_EQ(FmtLoadStr(Daconsts::SFieldNotFound, {}), "Field  not found.");
  EXPECT_EQ(FmtLoadStr(Oraconsts::SSessionNotDefined, {"extra"}), "Session is not defined");
}

}  // namespace
}  // namespace tarnwick
