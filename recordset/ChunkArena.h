#pragma once
// Memory for the record store's item blocks, taken from the system in large chunks.
//
// A result of a million rows is forty thousand blocks. Taken one by one from the general heap,
// they fall between the client library's short-lived buffers of every fetch, the heap fragments
// and shrinks and grows again at its top, and a walk that keeps its rows spends more time in the
// allocator and the kernel than in fetching. The arena maps chunks straight from the system
// (64 KiB first, each next one twice as large up to 1 MiB), with their pages filled in by the
// one call, carves blocks from them in order and gives a chunk back when its last block is
// freed; the chunk being carved is kept and reused.
#include <cstddef>
#include <cstdint>

namespace tarnwick {

class TChunkArena {
 public:
  static constexpr size_t ChunkSize = size_t{1} << 20;
  static constexpr size_t FirstChunkSize = size_t{64} << 10;

  TChunkArena() = default;
  ~TChunkArena();
  TChunkArena(const TChunkArena&) = delete;
  TChunkArena& operator=(const TChunkArena&) = delete;

  // Memory for `bytes` bytes, aligned to 16; throws std::bad_alloc when the system has none.
  void* Alloc(size_t bytes);
  // Gives back what Alloc returned; null is ignored.
  void Free(void* memory);
  // Chunks mapped now (for tests and the benchmark).
  size_t ChunkCount() const { return count_; }

 private:
  struct Chunk;
  Chunk* NewChunk(size_t bytes);
  void Release(Chunk* chunk);

  Chunk* current_ = nullptr;  // the chunk blocks are carved from
  Chunk* first_ = nullptr;    // every chunk, linked
  size_t count_ = 0;
  unsigned grown_ = 0;  // chunks mapped so far, which sets the size of the next
};

}  // namespace tarnwick
