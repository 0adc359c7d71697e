// The entry-point table, checked name by name from the one list in oracle/OCIEntryPoints.h: before
// loading, every entry raises "OCI function is not linked" (sqllda and sqlld2 are empty); after
// loading the stand-in client, every name of the list that it exports is resolved to its own
// routine and every other name stays unlinked.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "oracle/Oracall.h"
#include "testsupport/core/Commands.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::Not;
using ::testing::Property;
using ::testing::Throws;
using ::testing::WhenDynamicCastTo;

// One row of the list as the test sees it: the name, its group, the current value of its pointer
// and a call of it with zero or null arguments.
struct Entry {
  const char* name;
  OCIEntryGroup group;
  void* (*current)();
  void (*call)();
};

template <typename R, typename... A>
void CallWithZeroes(R (*entry)(A...)) {
  entry(A{}...);
}

#define TARNWICK_OCI_TEST_ENTRY(group, name, ret, params)                                      \
  Entry{#name, OCIEntryGroup::group, [] { return reinterpret_cast<void*>(::tarnwick::name); }, \
        [] { CallWithZeroes(::tarnwick::name); }},
const std::vector<Entry>& Entries() {
  static const std::vector<Entry> entries{TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_TEST_ENTRY)};
  return entries;
}
#undef TARNWICK_OCI_TEST_ENTRY

bool StartsEmpty(const Entry& e) {
  return std::strcmp(e.name, "sqllda") == 0 || std::strcmp(e.name, "sqlld2") == 0;
}

std::map<std::string, bool> LinkedByName() {
  std::map<std::string, bool> linked;
  for (const OCIEntryPointInfo& info : OCIEntryPoints()) linked[info.name] = info.linked;
  return linked;
}

class EntryPoints : public ::testing::Test {
 protected:
  void SetUp() override { FreeOCI(); }
  void TearDown() override { FreeOCI(); }
};

TEST_F(EntryPoints, TheListAndTheTableAreTheSameRows) {
  const std::vector<OCIEntryPointInfo> table = OCIEntryPoints();
  ASSERT_EQ(table.size(), Entries().size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_STREQ(table[i].name, Entries()[i].name);
    EXPECT_EQ(table[i].group, Entries()[i].group) << table[i].name;
  }
}

TEST_F(EntryPoints, BeforeLoadingEveryEntryRaisesNotLinked) {
  for (const Entry& e : Entries()) {
    if (StartsEmpty(e)) {
      EXPECT_EQ(e.current(), nullptr) << e.name;
      continue;
    }
    EXPECT_THAT(e.call,
                Throws<Exception>(AllOf(Property(&Exception::Message, "OCI function is not linked"),
                                        Not(WhenDynamicCastTo<const EOraError&>(_)))))
        << e.name;
  }
}

TEST_F(EntryPoints, TheLoaderResolvesEveryNameTheStandInExports) {
  testsupport::UseStandinClient();
  ASSERT_TRUE(std::filesystem::exists(testsupport::StandinLibrary()))
      << "the stand-in client must be built";
  LoadOCI();
  ASSERT_TRUE(LoadedOCI());
  // The stand-in is a 10.1 client: every group of the list is resolved from it.
  ASSERT_TRUE(PossibleOCICallStyles.Contains(TOCICallStyle::OCI73));
  ASSERT_TRUE(PossibleOCICallStyles.Contains(TOCICallStyle::OCI80));
  ASSERT_TRUE(ObjectVersion);
  ASSERT_GE(OCIVersion, 9000);

  const std::map<std::string, bool> linked = LinkedByName();
  std::set<std::string> exported;
  for (const Entry& e : Entries()) {
    void* module = e.group == OCIEntryGroup::V90C ? OCIClientLibHandle : OCILibHandle;
    ASSERT_NE(module, nullptr) << e.name;
    void* symbol = dlsym(module, e.name);
    if (symbol != nullptr) {
      exported.insert(e.name);
      EXPECT_TRUE(linked.at(e.name)) << e.name;
      EXPECT_EQ(e.current(), symbol) << e.name << " is resolved to the stand-in's own routine";
    } else {
      EXPECT_FALSE(linked.at(e.name)) << e.name << " is not exported, yet linked";
      if (!StartsEmpty(e)) {
        EXPECT_THAT(e.call,
                    Throws<Exception>(Property(&Exception::Message, "OCI function is not linked")))
            << e.name;
      }
    }
  }
  EXPECT_FALSE(exported.empty());

  // The stand-in's dynamic symbol table, read apart from the loader: each of its names that is a
  // row of the list is one that the loader found and resolved. (The stand-in may offer calls the
  // program never makes, OCIClientVersion among them.)
  const testsupport::CommandResult nm = testsupport::RunCommand(
      "nm -D --defined-only " + testsupport::ShellQuote(testsupport::StandinLibrary().string()));
  ASSERT_EQ(nm.status, 0) << nm.output;
  std::set<std::string> listed;
  for (const Entry& e : Entries()) listed.insert(e.name);
  std::set<std::string> offered;
  std::istringstream lines(nm.output);
  std::string address, kind, name;
  while (lines >> address >> kind >> name) {
    name = name.substr(0, name.find('@'));
    if (listed.contains(name)) offered.insert(name);
  }
  EXPECT_EQ(offered, exported) << nm.output;
}

}  // namespace
}  // namespace tarnwick
