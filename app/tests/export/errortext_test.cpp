// The text of an error as the front ends show it: the full-stop rule.
#include "app/ErrorText.h"

#include <gtest/gtest.h>

#include <utility>

namespace tarnwick {
namespace {

TEST(ErrorTextTest, FullStopIsAddedAfterCharactersAboveTheFullStop) {
  const std::pair<std::string, std::string> cases[] = {
      {"Division by zero", "Division by zero."},
      {"List index out of bounds (3)", "List index out of bounds (3)"},
      {"Stop!", "Stop!"},
      {"ORA-00942: table or view does not exist\n", "ORA-00942: table or view does not exist\n"},
      {"", ""},
      {"Value 42", "Value 42."},
      {"Already ends.", "Already ends."},
      {"dash -", "dash -"},
      {"slash /", "slash /."},
      {"blank ", "blank "},
      {"Нет соединения", "Нет соединения."},
      {"Ошибка»", "Ошибка»."},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorDisplayText(message), shown) << message;
}

}  // namespace
}  // namespace tarnwick
