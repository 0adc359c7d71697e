#pragma once
// The string heap of the record store: the buffers a record keeps by pointer (long texts, byte
// strings). Each buffer is [32-bit size][16-bit use count][data] and callers hold the data
// address. Buffers of up to kMaxPagedSize bytes are carved from pages in 8-byte size classes
// and go back to the free list of their class when their last user disposes them; larger ones
// are allocations of their own. Clear releases every buffer in one step without looking at the
// records, and so does the destructor. The use count is kFreeCount for a free buffer and
// kFreeCount + 1 for a buffer with one user; a count that says "free" where a user is expected
// raises EAssertionFailed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "base/Exception.h"
#include "recordset/ChunkArena.h"

namespace tarnwick {

class TStringHeap {
 public:
  static constexpr int32_t kPageSize = 16384;
  // The first pointer-size bytes of a page link it to the page started before it.
  static constexpr int32_t kPageUsable = kPageSize - static_cast<int32_t>(sizeof(void*));
  static constexpr int32_t kClassStep = 8;
  static constexpr int32_t kClassCount = 250;
  static constexpr int32_t kMaxPagedSize = kClassCount * kClassStep;
  // Size and use count in front of the data.
  static constexpr int32_t kHeaderSize = static_cast<int32_t>(sizeof(int32_t) + sizeof(uint16_t));
  // The smallest piece of a page that still holds a buffer of class 1.
  static constexpr int32_t kMinRest = kClassStep + kHeaderSize;
  static constexpr uint16_t kFreeCount = 100;

  TStringHeap() = default;
  TStringHeap(const TStringHeap&) = delete;
  TStringHeap& operator=(const TStringHeap&) = delete;
  ~TStringHeap();

  // A buffer of at least size bytes with one user; nullptr for size <= 0.
  void* NewBuf(int32_t size);
  // A NUL-terminated copy of length characters of source (-1: up to its NUL); with trim, the
  // trailing blanks are left out. nullptr for no source.
  char* AllocStr(const char* source, bool trim = false, int32_t length = -1);
  // The same in UTF-16 units.
  char16_t* AllocWideStr(const char16_t* source, bool trim = false, int32_t length = -1);
  // A new copy of the text of buffer (trimmed when asked); buffer itself is disposed.
  char* ReAllocStr(char* buffer, bool trim);
  // Drops one user; the last one frees the buffer. nullptr is ignored.
  void DisposeBuf(void* buffer);
  // Adds one user. nullptr is ignored.
  void AddRef(void* buffer);
  // Releases all pages and the large buffers still alive; every buffer handed out is gone.
  void Clear();

  bool Empty() const { return empty_; }
  bool HasLarge() const { return hasLarge_; }

  // The use count and the recorded size of a buffer handed out by a heap.
  static int UseCount(const void* buffer);
  static int32_t BufSize(const void* buffer);

 private:
  void StartPage();
  void PushFree(int cls, uint8_t* data);
  void ReleaseAll();

  // Free list heads by class; index 0 is never used.
  std::array<uint8_t*, kClassCount + 1> freeLists_{};
  uint8_t* page_ = nullptr;  // the current page; earlier ones hang off its first bytes
  int32_t freeBytes_ = kPageUsable;
  bool empty_ = true;
  bool hasLarge_ = false;
  // The data addresses of the large buffers in use. Clear and the destructor release them too,
  // so that no buffer outlives its heap and a leak check finds nothing left over even when a
  // record's large strings were never disposed one by one. The set also tells a large buffer
  // from a paged one when it is disposed (a paged buffer that took the rest of its page may
  // record up to kMaxPagedSize + kClassStep bytes, so the size alone does not).
  std::unordered_set<void*> large_;
  // Pages come from large chunks, like the record store's blocks, not one by one from the
  // general heap.
  TChunkArena pages_;
};

}  // namespace tarnwick
