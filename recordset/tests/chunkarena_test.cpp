// The arena under the item blocks and string pages: aligned, separate allocations; chunks that
// grow and go back to the system when their last allocation is freed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "recordset/ChunkArena.h"

namespace tarnwick {
namespace {

TEST(ChunkArena, AllocationsAreAlignedSeparateAndWritable) {
  TChunkArena arena;
  std::vector<uint8_t*> blocks;
  for (size_t bytes : {1u, 39u, 4000u, 16384u, 3000000u}) {
    auto* p = static_cast<uint8_t*>(arena.Alloc(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    std::memset(p, 0xAB, bytes);
    blocks.push_back(p);
  }
  for (size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_NE(blocks[i], blocks[i + 1]);
  EXPECT_EQ(blocks[2][3999], 0xAB) << "a later allocation never overlaps an earlier one";
  for (uint8_t* p : blocks) arena.Free(p);
  arena.Free(nullptr);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(ChunkArena, ChunksGrowAndGoBackWhenEmpty) {
  TChunkArena arena;
  std::vector<void*> first;
  // The first chunk of 64 KiB holds sixteen 4 000-byte blocks with their 16-byte prefixes; the
  // seventeenth needs a new chunk.
  for (int i = 0; i < 17; ++i) first.push_back(arena.Alloc(4000));
  EXPECT_EQ(arena.ChunkCount(), 2u);
  for (int i = 0; i < 16; ++i) arena.Free(first[static_cast<size_t>(i)]);
  EXPECT_EQ(arena.ChunkCount(), 1u) << "the full first chunk is returned with its last block";
  arena.Free(first[16]);
  EXPECT_EQ(arena.ChunkCount(), 1u) << "the chunk being carved stays for reuse";
  void* again = arena.Alloc(4000);
  EXPECT_EQ(arena.ChunkCount(), 1u);
  arena.Free(again);
}
#endif

}  // namespace
}  // namespace tarnwick
