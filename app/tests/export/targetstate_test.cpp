// The check of an export's target: what a name leads to, for the window's question and for
// tarnwick-export's refusals.
#include "app/TargetState.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "testsupport/core/ScratchDir.h"

namespace tarnwick {
namespace {

using TKind = TTargetState::TKind;

TEST(TargetStateTest, TellsWhatTheNameLeadsToAndWhetherItIsALink) {
  testsupport::ScratchDir dir{"tarnwick-target"};
  std::ofstream(dir.File("table.dbf")) << "x";
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("table.dbf", dir.File("to-file").c_str()), 0);
  ASSERT_EQ(::symlink("folder", dir.File("to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("fifo", dir.File("to-fifo").c_str()), 0);
  ASSERT_EQ(::symlink("nothing", dir.File("dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop", dir.File("loop").c_str()), 0);

  struct Case {
    std::string name;
    TKind kind;
    bool link;
    bool present;
    bool holdsFile;
  };
  const Case cases[] = {
      {"missing.dbf", TKind::Missing, false, false, false},
      {"table.dbf", TKind::File, false, true, true},
      {"folder", TKind::Folder, false, true, false},
      {"fifo", TKind::Special, false, true, true},
      {"to-file", TKind::File, true, true, true},
      {"to-folder", TKind::Folder, true, true, false},
      {"to-fifo", TKind::Special, true, true, true},
      {"dangling", TKind::Dangling, true, true, false},
      {"loop", TKind::Dangling, true, true, false},
      // A name under a file reaches nothing.
      {"table.dbf/x.dbf", TKind::Missing, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TTargetState state = TargetState(dir.File(c.name));
    EXPECT_EQ(state.Kind, c.kind);
    EXPECT_EQ(state.Link, c.link);
    EXPECT_EQ(state.Present(), c.present);
    EXPECT_EQ(state.HoldsFile(), c.holdsFile);
  }
}

}  // namespace
}  // namespace tarnwick
