// The handle and descriptor owners on a fake entry-point table: each handle is freed once,
// through the table, with its own type; moving hands it over; reset and release; members free
// in the reverse order of their making; and nothing is freed once its environment has ended.
#include "oracle/OCIHandle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

// The fake client: hands out addresses of its own and writes every call into the log.
std::vector<std::string> calls;
char handles[16];
int nextHandle = 0;
sword allocStatus = OCI_SUCCESS;
sword freeStatus = OCI_SUCCESS;

std::string Name(const void* handle) {
  std::string name(1, 'h');
  name += std::to_string(static_cast<const char*>(handle) - handles);
  return name;
}

// "<function> <type> <what>", one line of the log.
std::string Line(const char* function, ub4 type, const std::string& what) {
  std::string line(function);
  line += ' ';
  line += std::to_string(type);
  line += ' ';
  line += what;
  return line;
}

sword FakeAlloc(const char* function, void** out, ub4 type) {
  if (allocStatus != OCI_SUCCESS) {
    calls.push_back(Line(function, type, "failed"));
    return allocStatus;
  }
  *out = &handles[nextHandle++];
  calls.push_back(Line(function, type, Name(*out)));
  return OCI_SUCCESS;
}

sword FakeHandleAlloc(const void*, void** out, const ub4 type, const size_t, void**) {
  return FakeAlloc("HandleAlloc", out, type);
}
sword FakeDescriptorAlloc(const void*, void** out, const ub4 type, const size_t, void**) {
  return FakeAlloc("DescriptorAlloc", out, type);
}
sword FakeHandleFree(void* handle, const ub4 type) {
  calls.push_back(Line("HandleFree", type, Name(handle)));
  return freeStatus;
}
sword FakeDescriptorFree(void* handle, const ub4 type) {
  calls.push_back(Line("DescriptorFree", type, Name(handle)));
  return freeStatus;
}

void InstallFakes() {
  OCIHandleAlloc = &FakeHandleAlloc;
  OCIHandleFree = &FakeHandleFree;
  OCIDescriptorAlloc = &FakeDescriptorAlloc;
  OCIDescriptorFree = &FakeDescriptorFree;
}

using Stmt = TOCIHandle<OCIStmt, OCI_HTYPE_STMT>;

class OCIHandleOwner : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOCIEntryPoints();
    InstallFakes();
    calls.clear();
    nextHandle = 0;
    allocStatus = freeStatus = OCI_SUCCESS;
  }
  void TearDown() override { ResetOCIEntryPoints(); }
  using Log = std::vector<std::string>;
};

TEST_F(OCIHandleOwner, EachKindIsFreedOnceWithItsOwnCallAndType) {
  {
    Stmt stmt;
    EXPECT_FALSE(stmt);
    ASSERT_EQ(stmt.Alloc(nullptr), OCI_SUCCESS);
    EXPECT_EQ(stmt.get(), reinterpret_cast<OCIStmt*>(&handles[0]));
    TOCIHandle<OCISvcCtx, OCI_HTYPE_SVCCTX> svcctx;
    ASSERT_EQ(svcctx.Alloc(nullptr), OCI_SUCCESS);
    TOCIDescriptor<OCIRowid, OCI_DTYPE_ROWID> rowid;
    ASSERT_EQ(rowid.Alloc(nullptr), OCI_SUCCESS);
    EXPECT_TRUE(rowid);
  }
  EXPECT_EQ(calls, (Log{"HandleAlloc 4 h0", "HandleAlloc 3 h1", "DescriptorAlloc 54 h2",
                        "DescriptorFree 54 h2", "HandleFree 3 h1", "HandleFree 4 h0"}));
}

TEST_F(OCIHandleOwner, MovingHandsTheHandleOverAndAnAssignedOwnerFreesItsOwnFirst) {
  {
    Stmt a;
    a.Alloc(nullptr);
    Stmt b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    Stmt c;
    c.Alloc(nullptr);
    calls.clear();
    c = std::move(b);
    EXPECT_EQ(calls, Log{"HandleFree 4 h1"}) << "the handle c had goes";
    EXPECT_EQ(c.get(), reinterpret_cast<OCIStmt*>(&handles[0]));
    calls.clear();
  }
  EXPECT_EQ(calls, Log{"HandleFree 4 h0"}) << "the moved handle is freed once, by its last owner";
}

TEST_F(OCIHandleOwner, ResetFreesAndAdoptsReleaseGivesUpAndFreeReportsTheStatus) {
  Stmt stmt;
  stmt.Alloc(nullptr);
  stmt.reset(reinterpret_cast<OCIStmt*>(&handles[5]));
  EXPECT_EQ(calls.back(), "HandleFree 4 h0");
  stmt.reset(stmt.get());
  EXPECT_EQ(calls.back(), "HandleFree 4 h0") << "adopting the handle it holds frees nothing";
  EXPECT_EQ(stmt.release(), reinterpret_cast<OCIStmt*>(&handles[5]));
  EXPECT_FALSE(stmt);
  stmt.reset();
  EXPECT_EQ(calls.size(), 2u) << "a released handle is not the owner's any more";

  // Free reports the client's answer; the owner is empty whatever it was.
  stmt.Alloc(nullptr);
  freeStatus = OCI_INVALID_HANDLE;
  EXPECT_EQ(stmt.Free(), OCI_INVALID_HANDLE);
  EXPECT_FALSE(stmt);
  EXPECT_EQ(stmt.Free(), OCI_SUCCESS) << "nothing left to free";
  EXPECT_EQ(calls.back(), "HandleFree 4 h1");
  EXPECT_EQ(calls.size(), 4u);
}

TEST_F(OCIHandleOwner, AFailedAllocationLeavesTheOwnerEmpty) {
  Stmt stmt;
  stmt.Alloc(nullptr);
  allocStatus = OCI_INVALID_HANDLE;
  EXPECT_EQ(stmt.Alloc(nullptr), OCI_INVALID_HANDLE);
  EXPECT_FALSE(stmt);
  calls.push_back("-");
  stmt.reset();
  EXPECT_EQ(calls, (Log{"HandleAlloc 4 h0", "HandleFree 4 h0", "HandleAlloc 4 failed", "-"}))
      << "a new allocation frees the handle held first";
}

// Members in the order a connection makes them are freed in the reverse one.
TEST_F(OCIHandleOwner, MembersAreFreedInTheReverseOrderOfTheirDeclaration) {
  struct Session {
    TOCIHandle<OCISvcCtx, OCI_HTYPE_SVCCTX> svcctx;
    TOCIHandle<OCIServer, OCI_HTYPE_SERVER> server;
    TOCIHandle<OCISession, OCI_HTYPE_SESSION> session;
  };
  {
    Session s;
    s.svcctx.Alloc(nullptr);
    s.server.Alloc(nullptr);
    s.session.Alloc(nullptr);
    calls.clear();
  }
  EXPECT_EQ(calls, (Log{"HandleFree 9 h2", "HandleFree 8 h1", "HandleFree 3 h0"}));
}

// Once the environment is freed or the library unloaded (both move the epoch on), its handles
// are gone: their owners free nothing, even through a table that is linked again.
TEST_F(OCIHandleOwner, NothingIsFreedOnceItsEnvironmentHasEnded) {
  const uint64_t epoch = OCIEnvironmentEpoch();
  Stmt before;
  before.Alloc(nullptr);
  TOCIDescriptor<OCIRowid, OCI_DTYPE_ROWID> rowid;
  rowid.Alloc(nullptr);
  ResetOCIEntryPoints();
  EXPECT_GT(OCIEnvironmentEpoch(), epoch);
  InstallFakes();
  calls.clear();
  EXPECT_EQ(before.Free(), OCI_SUCCESS);
  rowid.reset();
  EXPECT_TRUE(calls.empty());

  // A handle made in the new epoch is freed as usual, also after being moved.
  Stmt after;
  after.Alloc(nullptr);
  Stmt taken(std::move(after));
  taken.reset();
  EXPECT_EQ(calls, (Log{"HandleAlloc 4 h2", "HandleFree 4 h2"}));
}

}  // namespace
}  // namespace tarnwick
