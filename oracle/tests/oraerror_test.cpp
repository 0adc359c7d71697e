// Exception classes, raising helpers and the two message tables.
#include "oracle/OraError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace tarnwick {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsNull;
using ::testing::Not;
using ::testing::Property;
using ::testing::Throws;
using ::testing::ThrowsMessage;
using ::testing::WhenDynamicCastTo;

TEST(OraErrorTest, ClassesDeriveInOrder) {
  // A database error: the Oracle class, below EDAError and EDatabaseError, with no component.
  ASSERT_THAT(
      [&] { RaiseOraError(1017, "ORA-01017: invalid username/password; logon denied\n"); },
      Throws<EDatabaseError>(WhenDynamicCastTo<const EOraError&>(AllOf(
          Property(&EOraError::ErrorCode, 1017),
          Property(&EOraError::Message, "ORA-01017: invalid username/password; logon denied\n"),
          Property(&EOraError::Component, IsNull())))));
  ASSERT_THAT([&] { RaiseError("plain"); },
              Throws<Exception>(AllOf(Property(&Exception::Message, "plain"),
                                      Not(WhenDynamicCastTo<const EDatabaseError&>(_)))))
      << "RaiseError raises the plain class";
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
    EXPECT_THAT([&] { LoadResString(id); }, ThrowsMessage<Exception>(HasSubstr(std::to_string(id))))
        << id;
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
