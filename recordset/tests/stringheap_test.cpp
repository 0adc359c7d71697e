// The string heap: size classes, carving of pages (tail and remainder), free lists, large
// buffers, strings, use counts and Clear. Expected sizes come from the buffer layout with the
// native pointer width.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "recordset/StringHeap.h"

namespace {

using tarnwick::EAssertionFailed;
using tarnwick::TStringHeap;

constexpr int32_t kHeader = sizeof(int32_t) + sizeof(uint16_t);
constexpr int32_t kUsable = 16384 - static_cast<int32_t>(sizeof(void*));

uint8_t* Buf(TStringHeap& heap, int32_t size) {
  return static_cast<uint8_t*>(heap.NewBuf(size));
}

// Where the next buffer of the same page starts after this one.
uint8_t* After(const uint8_t* buffer) {
  return const_cast<uint8_t*>(buffer) + TStringHeap::BufSize(buffer) + kHeader;
}

struct Carved {
  std::vector<uint8_t*> buffers;
  int32_t lastRequest = 0;
};

// Takes buffers from the current page (the first page of a fresh heap) that use exactly `bytes`
// of it, as few as the 8-byte classes allow, each following the one before.
Carved Consume(TStringHeap& heap, int32_t bytes) {
  Carved result;
  int32_t count = (bytes + 2005) / 2006;
  while ((bytes - kHeader * count) % 8 != 0) ++count;
  int32_t classes = (bytes - kHeader * count) / 8;
  for (int32_t k = 0; k < count; ++k) {
    const int32_t cls = std::min(250, classes - (count - 1 - k));
    EXPECT_GE(cls, 1);
    result.lastRequest = cls * 8;
    uint8_t* buffer = Buf(heap, result.lastRequest);
    if (!result.buffers.empty()) {
      EXPECT_EQ(buffer, After(result.buffers.back())) << k;
    }
    result.buffers.push_back(buffer);
    classes -= cls;
  }
  return result;
}

TEST(StringHeapTest, NoBufferForNothing) {
  TStringHeap heap;
  EXPECT_EQ(heap.NewBuf(0), nullptr);
  EXPECT_EQ(heap.NewBuf(-3), nullptr);
  EXPECT_TRUE(heap.Empty());
  EXPECT_EQ(heap.AllocStr(nullptr), nullptr);
  EXPECT_EQ(heap.AllocWideStr(nullptr, true), nullptr);
  heap.DisposeBuf(nullptr);
  heap.AddRef(nullptr);
  EXPECT_TRUE(heap.Empty());
}

TEST(StringHeapTest, SizesRoundUpToClassesAndBuffersFollowEachOther) {
  TStringHeap heap;
  uint8_t* one = Buf(heap, 1);
  EXPECT_FALSE(heap.Empty());
  EXPECT_EQ(TStringHeap::BufSize(one), 8);
  EXPECT_EQ(TStringHeap::UseCount(one), 101);
  uint8_t* nine = Buf(heap, 9);
  EXPECT_EQ(nine, one + 8 + kHeader);
  EXPECT_EQ(TStringHeap::BufSize(nine), 16);
  uint8_t* largest = Buf(heap, 2000);
  EXPECT_EQ(largest, nine + 16 + kHeader);
  EXPECT_EQ(TStringHeap::BufSize(largest), 2000);
  EXPECT_EQ(TStringHeap::UseCount(largest), 101);
  EXPECT_FALSE(heap.HasLarge());
  std::memset(largest, 'x', 2000);
  EXPECT_EQ(Buf(heap, 8), largest + 2000 + kHeader);
}

TEST(StringHeapTest, AboveTheLargestClassIsAnAllocationOfItsOwn) {
  TStringHeap heap;
  uint8_t* paged = Buf(heap, 16);
  uint8_t* large = Buf(heap, 2001);
  EXPECT_TRUE(heap.HasLarge());
  EXPECT_EQ(TStringHeap::BufSize(large), 2001);
  EXPECT_EQ(TStringHeap::UseCount(large), 101);
  std::memset(large, 'y', 2001);
  // The page did not give up any bytes for it.
  EXPECT_EQ(Buf(heap, 16), After(paged));

  heap.DisposeBuf(large);  // released at once
  EXPECT_TRUE(heap.HasLarge());
  uint8_t* again = Buf(heap, 5000);
  EXPECT_EQ(TStringHeap::BufSize(again), 5000);
  std::memset(again, 'z', 5000);
  // Still alive here: the destructor releases it.
}

TEST(StringHeapTest, PageTailBecomesAFreeBufferOfTheClassItHolds) {
  TStringHeap heap;
  const int32_t tailBytes = 100;  // not a whole class plus header: the class rounds down
  Carved carved = Consume(heap, kUsable - tailBytes);
  uint8_t* tail = After(carved.buffers.back());

  uint8_t* next = Buf(heap, 2000);
  EXPECT_NE(next, tail);
  const int32_t tailSize = (tailBytes - kHeader) / 8 * 8;
  EXPECT_EQ(TStringHeap::BufSize(tail), tailSize);
  EXPECT_EQ(TStringHeap::UseCount(tail), 100);
  // The new page goes on after the buffer that did not fit.
  EXPECT_EQ(Buf(heap, 8), After(next));

  uint8_t* reused = Buf(heap, tailSize - 7);
  EXPECT_EQ(reused, tail);
  EXPECT_EQ(TStringHeap::UseCount(reused), 101);
  std::memset(reused, 't', tailSize);
}

// The bytes a page has left after a buffer: below 14 they go to that buffer in whole 8-byte
// steps and the next buffer starts a new page.
struct RestCase {
  int32_t rest;
  int32_t added;
  bool nextOnSamePage;
};

std::ostream& operator<<(std::ostream& os, const RestCase& c) {
  return os << "rest " << c.rest;
}

class StringHeapRestTest : public ::testing::TestWithParam<RestCase> {};

TEST_P(StringHeapRestTest, RemainderRule) {
  const RestCase& c = GetParam();
  TStringHeap heap;
  Carved carved = Consume(heap, kUsable - c.rest);
  uint8_t* last = carved.buffers.back();
  EXPECT_EQ(TStringHeap::BufSize(last), carved.lastRequest + c.added);
  std::memset(last, 'r', TStringHeap::BufSize(last));
  uint8_t* next = Buf(heap, 8);
  if (c.nextOnSamePage) {
    EXPECT_EQ(next, last + carved.lastRequest + kHeader);
  } else {
    EXPECT_NE(next, last + carved.lastRequest + kHeader);
  }
}

INSTANTIATE_TEST_SUITE_P(Rests, StringHeapRestTest,
                         ::testing::Values(RestCase{0, 0, false}, RestCase{6, 0, false},
                                           RestCase{8, 8, false}, RestCase{12, 8, false},
                                           RestCase{14, 0, true}, RestCase{22, 0, true}));

TEST(StringHeapTest, LargestClassTakingTheRestStaysAPagedBuffer) {
  TStringHeap heap;
  Consume(heap, kUsable - (2000 + kHeader) - 10);
  uint8_t* buffer = Buf(heap, 2000);
  EXPECT_EQ(TStringHeap::BufSize(buffer), 2008);
  EXPECT_FALSE(heap.HasLarge());
  heap.DisposeBuf(buffer);
  EXPECT_EQ(TStringHeap::UseCount(buffer), 100);
  EXPECT_EQ(Buf(heap, 1993), buffer);
}

TEST(StringHeapTest, DisposedBuffersServeTheirClassLastInFirstOut) {
  TStringHeap heap;
  uint8_t* a = Buf(heap, 10);
  uint8_t* b = Buf(heap, 16);
  uint8_t* other = Buf(heap, 24);
  heap.DisposeBuf(a);
  heap.DisposeBuf(b);
  EXPECT_EQ(TStringHeap::UseCount(a), 100);
  EXPECT_EQ(TStringHeap::UseCount(b), 100);

  uint8_t* c = Buf(heap, 24);  // class 3 has nothing free
  EXPECT_EQ(c, After(other));
  EXPECT_EQ(Buf(heap, 9), b);
  EXPECT_EQ(TStringHeap::UseCount(b), 101);
  EXPECT_EQ(Buf(heap, 12), a);
  EXPECT_EQ(Buf(heap, 16), After(c));
}

struct StrCase {
  const char* label;
  std::string source;  // may hold a NUL
  bool trim;
  int32_t length;
  std::string stored;  // without the terminating NUL
};

std::ostream& operator<<(std::ostream& os, const StrCase& c) {
  return os << c.label;
}

const StrCase kStrCases[] = {
    {"trailing_blanks_trimmed", "ab  ", true, -1, "ab"},
    {"blanks_only_trimmed_to_empty", "   ", true, -1, ""},
    {"blanks_kept_without_trim", "ab  ", false, -1, "ab  "},
    {"leading_blanks_kept", "  ab ", true, -1, "  ab"},
    {"explicit_length_cuts", "abcdef", false, 3, "abc"},
    {"trim_within_explicit_length", "ab  cd", true, 4, "ab"},
    {"explicit_length_past_a_nul", std::string("x\0y", 3), false, 3, std::string("x\0y", 3)},
    {"length_minus_one_stops_at_nul", std::string("x\0y", 3), false, -1, "x"},
    {"empty", "", false, -1, ""},
};

class StringHeapStrTest : public ::testing::TestWithParam<StrCase> {};

TEST_P(StringHeapStrTest, AllocStr) {
  const StrCase& c = GetParam();
  TStringHeap heap;
  char* text = heap.AllocStr(c.source.c_str(), c.trim, c.length);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, c.stored.size()), c.stored);
  EXPECT_EQ(text[c.stored.size()], '\0');
  const int32_t size = static_cast<int32_t>(c.stored.size()) + 1;
  EXPECT_EQ(TStringHeap::BufSize(text), (size + 7) / 8 * 8);
  EXPECT_EQ(TStringHeap::UseCount(text), 101);
}

INSTANTIATE_TEST_SUITE_P(Texts, StringHeapStrTest, ::testing::ValuesIn(kStrCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StringHeapTest, AllocWideStrCountsUtf16Units) {
  struct Case {
    const char* label;
    std::u16string source;
    bool trim;
    int32_t length;
    std::u16string stored;
  };
  const Case cases[] = {
      {"trailing_blanks_trimmed", u"ab  ", true, -1, u"ab"},
      {"blanks_only_trimmed_to_empty", u"  ", true, -1, u""},
      {"beyond_latin_1_whole", u"h\u00e9llo w\u00f6rld", false, -1, u"h\u00e9llo w\u00f6rld"},
      {"explicit_length_cuts", u"\u0416\u0436 ", false, 2, u"\u0416\u0436"},
      {"blanks_kept_without_trim", u"ab  ", false, -1, u"ab  "},
  };
  TStringHeap heap;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    char16_t* text = heap.AllocWideStr(c.source.c_str(), c.trim, c.length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), c.stored);
    const int32_t size = 2 * static_cast<int32_t>(c.stored.size()) + 2;
    EXPECT_EQ(TStringHeap::BufSize(text), (size + 7) / 8 * 8);
  }
}

TEST(StringHeapTest, ReAllocStrCopiesAndDisposesTheOld) {
  TStringHeap heap;
  char* old = heap.AllocStr("word   ");
  char* copy = heap.ReAllocStr(old, true);
  EXPECT_STREQ(copy, "word");
  EXPECT_NE(copy, old);
  EXPECT_EQ(TStringHeap::UseCount(old), 100);
  EXPECT_EQ(heap.NewBuf(8), old);
  EXPECT_EQ(heap.ReAllocStr(nullptr, false), nullptr);
}

TEST(StringHeapTest, SharedBufferLivesUntilItsLastUserDisposesIt) {
  TStringHeap heap;
  for (int32_t size : {24, 3000}) {
    SCOPED_TRACE(size);
    uint8_t* shared = Buf(heap, size);
    heap.AddRef(shared);
    EXPECT_EQ(TStringHeap::UseCount(shared), 102);
    heap.DisposeBuf(shared);
    EXPECT_EQ(TStringHeap::UseCount(shared), 101);
    std::memset(shared, 's', size);  // still the caller's
    if (size <= 2000) {
      uint8_t* other = Buf(heap, size);
      EXPECT_NE(other, shared);
      heap.DisposeBuf(other);
      heap.DisposeBuf(shared);
      EXPECT_EQ(TStringHeap::UseCount(shared), 100);
      EXPECT_EQ(Buf(heap, size), shared);
    } else {
      heap.DisposeBuf(shared);  // released; the sanitizer build sees any later touch
    }
  }
}

struct AssertCase {
  const char* label;
  void (*run)(TStringHeap& heap, void* freed);
  const char* text;
};

std::ostream& operator<<(std::ostream& os, const AssertCase& c) {
  return os << c.label;
}

const AssertCase kAssertCases[] = {
    {"dispose_free_buffer", [](TStringHeap& h, void* b) { h.DisposeBuf(b); }, "DisposeBuf failed"},
    {"addref_free_buffer", [](TStringHeap& h, void* b) { h.AddRef(b); }, "AddRefStr failed"},
};

class StringHeapAssertTest : public ::testing::TestWithParam<AssertCase> {};

TEST_P(StringHeapAssertTest, FreeBufferIsRefused) {
  TStringHeap heap;
  void* buffer = heap.NewBuf(40);
  heap.DisposeBuf(buffer);
  EXPECT_THAT([&] { GetParam().run(heap, buffer); },
              ::testing::ThrowsMessage<EAssertionFailed>(::testing::StrEq(GetParam().text)));
  EXPECT_EQ(TStringHeap::UseCount(buffer), 100);
  EXPECT_EQ(heap.NewBuf(33), buffer);  // still on its free list
}

INSTANTIATE_TEST_SUITE_P(Counts, StringHeapAssertTest, ::testing::ValuesIn(kAssertCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StringHeapTest, ClearReleasesEverythingAndStartsAfresh) {
  TStringHeap heap;
  heap.Clear();
  EXPECT_TRUE(heap.Empty());

  Buf(heap, 8);
  uint8_t* second = Buf(heap, 8);
  Consume(heap, kUsable - 2 * (8 + kHeader) - 50);  // fills the first page but 50 bytes
  Buf(heap, 2000);                                  // on a second page
  uint8_t* large = Buf(heap, 4000);
  std::memset(large, 'l', 4000);
  heap.DisposeBuf(second);
  ASSERT_TRUE(heap.HasLarge());

  heap.Clear();  // the large buffer too: the sanitizer build reports a leak otherwise
  EXPECT_TRUE(heap.Empty());
  EXPECT_FALSE(heap.HasLarge());

  // Nothing of the free lists survives, and a whole page is free again.
  uint8_t* first = Buf(heap, 8);
  EXPECT_FALSE(heap.Empty());
  EXPECT_NE(first, second);
  uint8_t* previous = first;
  for (int32_t used = 8 + kHeader; used + 2000 + kHeader <= kUsable; used += 2000 + kHeader) {
    uint8_t* next = Buf(heap, 2000);
    EXPECT_EQ(next, After(previous));
    previous = next;
  }
}

}  // namespace
