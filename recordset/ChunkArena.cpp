#include "recordset/ChunkArena.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace tarnwick {

// A chunk starts with this header; every allocation in it is preceded by 16 bytes that name the
// chunk, so that Free finds it without a search.
struct TChunkArena::Chunk {
  Chunk* prev;
  Chunk* next;
  size_t size;  // bytes mapped, this header included
  size_t used;  // bytes carved so far, this header included
  size_t live;  // allocations not freed yet
};

namespace {

constexpr size_t kAlign = 16;
constexpr size_t kPrefix = 16;

constexpr size_t RoundUp(size_t n, size_t to) {
  return (n + to - 1) / to * to;
}

constexpr size_t kHeader = RoundUp(sizeof(void*) * 2 + sizeof(size_t) * 3, kAlign);

}  // namespace

TChunkArena::~TChunkArena() {
  while (first_) Release(first_);
}

TChunkArena::Chunk* TChunkArena::NewChunk(size_t bytes) {
  // The first chunks are small, so that a result of a few rows stays small; each new chunk is
  // twice the last, up to ChunkSize.
  size_t step = FirstChunkSize << (grown_ < 8 ? grown_ : 8);
  if (step > ChunkSize) step = ChunkSize;
  ++grown_;
  const size_t size =
      RoundUp(kHeader + kPrefix + bytes > step ? kHeader + kPrefix + bytes : step, 4096);
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  auto* chunk = static_cast<Chunk*>(memory);
  chunk->prev = nullptr;
  chunk->next = first_;
  chunk->size = size;
  chunk->used = kHeader;
  chunk->live = 0;
  if (first_) first_->prev = chunk;
  first_ = chunk;
  ++count_;
  return chunk;
}

void TChunkArena::Release(Chunk* chunk) {
  if (chunk->prev)
    chunk->prev->next = chunk->next;
  else
    first_ = chunk->next;
  if (chunk->next) chunk->next->prev = chunk->prev;
  if (current_ == chunk) current_ = nullptr;
  --count_;
  munmap(chunk, chunk->size);
}

// Under AddressSanitizer every allocation goes to the general heap, so that the sanitizer
// watches the bounds of each block and page.
#if defined(__SANITIZE_ADDRESS__)
#define TARNWICK_ARENA_PER_ALLOCATION 1
#endif

void* TChunkArena::Alloc(size_t bytes) {
#ifdef TARNWICK_ARENA_PER_ALLOCATION
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (!memory) throw std::bad_alloc();
  return memory;
#endif
  const size_t need = kPrefix + RoundUp(bytes == 0 ? 1 : bytes, kAlign);
  if (!current_ || current_->size - current_->used < need) {
    if (current_ && current_->live == 0) Release(current_);
    current_ = NewChunk(bytes);
  }
  uint8_t* at = reinterpret_cast<uint8_t*>(current_) + current_->used;
  current_->used += need;
  ++current_->live;
  *reinterpret_cast<Chunk**>(at) = current_;
  return at + kPrefix;
}

void TChunkArena::Free(void* memory) {
  if (!memory) return;
#ifdef TARNWICK_ARENA_PER_ALLOCATION
  std::free(memory);
  return;
#endif
  Chunk* chunk = *reinterpret_cast<Chunk**>(static_cast<uint8_t*>(memory) - kPrefix);
  if (--chunk->live > 0) return;
  if (chunk == current_) {
    // Nothing lives in it any more: carve it again from the start.
    chunk->used = kHeader;
    return;
  }
  Release(chunk);
}

}  // namespace tarnwick
