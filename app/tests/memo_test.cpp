// The memo as a list of lines.
#include "app/Memo.h"

#include <gtest/gtest.h>

#include "app/tests/QtTestEnvironment.h"

namespace tarnwick {
namespace {

using Lines = std::vector<std::string>;

TEST(MemoTest, LinesFollowTheTextAndAddedLinesEndWithABreak) {
  struct Case {
    const char* what;
    QString text;
    Lines add;
    Lines lines;
    QString after;
  };
  const Case cases[] = {
      {"empty", "", {}, {}, ""},
      {"one empty line", "\n", {}, {""}, "\n"},
      {"add to empty", "", {"a", "b"}, {"a", "b"}, "a\nb\n"},
      {"add after the empty start line", "\n", {"x"}, {"", "x"}, "\nx\n"},
      {"add after an unterminated typed line", "typed", {"x"}, {"typed", "x"}, "typed\nx\n"},
      {"Cyrillic and blanks kept",
       "",
       {" N    Имя поля  "},
       {" N    Имя поля  "},
       " N    Имя поля  \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemo memo;
    memo.setPlainText(c.text);
    for (const auto& line : c.add) memo.AddLine(line);
    EXPECT_EQ(memo.Lines(), c.lines);
    EXPECT_EQ(memo.toPlainText(), c.after);
  }
}

TEST(MemoTest, ClearRemovesEveryLine) {
  TMemo memo;
  memo.AddLine("a");
  memo.ClearLines();
  EXPECT_EQ(memo.Lines(), Lines{});
  memo.AddLine("b");
  EXPECT_EQ(memo.Lines(), Lines{"b"});
}

}  // namespace
}  // namespace tarnwick
