// The fetch path allocates per fetch call, never per row: the heap allocations of one fetch call do
// not grow with the rows it delivers.
#include <atomic>
#include <cstdlib>
#include <new>

#include "standin/oci/tests/support/OciFixture.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Replaces the global allocation functions of the process, the client library's included.
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace standin::test {
namespace {

class OciAllocations : public OciTest {};

TEST_F(OciAllocations, DoNotGrowWithTheRowsOfAFetch) {
  conn.mustExec(
      "create table t (id number(9), name varchar2(40), amount number(12,2), d date, x number)");
  for (int i = 0; i < 300; ++i)
    conn.mustExec("insert into t values (" + std::to_string(i) + ", 'name " + std::to_string(i) +
                  "', " + std::to_string(i) + ".25, sysdate, " + std::to_string(i * 7) + ")");
  struct Rec {
    sb4 id;
    char name[41];
    double amount;
    unsigned char d[7];
    char x[50];
    sb2 ind[5];
  };
  std::vector<Rec> recs(200);
  auto allocationsOfOneFetch = [&](ub4 rows) {
    OCIStmt* s = conn.prepare("select id, name, amount, d, x from t order by id");
    EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    struct Def {
      ub4 pos;
      void* value;
      sb4 size;
      ub2 dty;
    };
    Rec& r = recs[0];
    const Def defs[] = {{1, &r.id, 4, SQLT_INT},
                        {2, r.name, 41, SQLT_STR},
                        {3, &r.amount, 8, SQLT_BDOUBLE},
                        {4, r.d, 7, SQLT_DAT},
                        {5, r.x, 50, SQLT_STR}};
    for (const Def& d : defs) {
      OCIDefine* h = nullptr;
      EXPECT_EQ(OCIDefineByPos(s, &h, conn.err, d.pos, d.value, d.size, d.dty, &r.ind[d.pos - 1],
                               nullptr, nullptr, OCI_DEFAULT),
                OCI_SUCCESS);
      EXPECT_EQ(OCIDefineArrayOfStruct(h, conn.err, sizeof(Rec), sizeof(Rec), 0, 0), OCI_SUCCESS);
    }
    long before = g_allocations.load();
    EXPECT_EQ(OCIStmtFetch(s, conn.err, rows, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS)
        << conn.errorText();
    return g_allocations.load() - before;
  };
  allocationsOfOneFetch(5);  // first use of the session's caches
  long few = allocationsOfOneFetch(5);
  long many = allocationsOfOneFetch(200);
  ASSERT_GT(few, 0) << "the counter must see the library's own per-call allocations";
  EXPECT_EQ(many, few) << "allocations of a 200-row fetch against a 5-row fetch";
  EXPECT_EQ(recs[199].id, 199);
}

}  // namespace
}  // namespace standin::test
