// Item blocks: header layout, the order in which items are handed out, the free list, blocks
// released with their last used item, block chains and the checks of the item flags.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "recordset/BlockManager.h"

namespace {

using tarnwick::EAssertionFailed;
using tarnwick::flFree;
using tarnwick::flUsed;
using tarnwick::PBlockHeader;
using tarnwick::PItemHeader;
using tarnwick::TBlockHeader;
using tarnwick::TBlockManager;
using tarnwick::TItemHeader;

// A packed field by value: the assertion macros bind their arguments by reference, which a
// packed member at an odd address does not allow.
template <typename T>
T Read(T value) {
  return value;
}

// The free list from its head, checking on the way that every Prev link points back.
std::vector<PItemHeader> FreeList(const TBlockManager& manager) {
  std::vector<PItemHeader> items;
  PItemHeader previous = nullptr;
  for (PItemHeader item = manager.FirstFree; item != nullptr; item = item->Next) {
    EXPECT_EQ(Read(item->Prev), previous);
    EXPECT_EQ(Read(item->ItemFlag), flFree);
    items.push_back(item);
    previous = item;
    if (items.size() > 1000) {
      ADD_FAILURE() << "free list does not end";
      break;
    }
  }
  return items;
}

// The blocks from FirstBlock, checking the Prev links the same way.
std::vector<PBlockHeader> Blocks(const TBlockManager& manager) {
  std::vector<PBlockHeader> blocks;
  PBlockHeader previous = nullptr;
  for (PBlockHeader block = manager.FirstBlock; block != nullptr; block = block->Next) {
    EXPECT_EQ(Read(block->Prev), previous);
    blocks.push_back(block);
    previous = block;
    if (blocks.size() > 1000) {
      ADD_FAILURE() << "block chain does not end";
      break;
    }
  }
  return blocks;
}

PItemHeader Alloc(TBlockManager& manager) {
  PItemHeader item = nullptr;
  manager.AllocItem(item);
  return item;
}

TEST(BlockManagerTest, HeadersArePackedWithNativePointers) {
  EXPECT_EQ(sizeof(TItemHeader), 4 * sizeof(void*) + 1 + 1 + 4 + 1);
  EXPECT_EQ(sizeof(TBlockHeader), 2 + 2 + 2 * sizeof(void*) + 1);
  EXPECT_EQ(offsetof(TItemHeader, Status), 4 * sizeof(void*));
  EXPECT_EQ(offsetof(TItemHeader, Order), 4 * sizeof(void*) + 2);
  EXPECT_EQ(offsetof(TItemHeader, ItemFlag), 4 * sizeof(void*) + 6);
  EXPECT_EQ(offsetof(TBlockHeader, Spare), 4 + 2 * sizeof(void*));
  EXPECT_EQ(flFree, 0xDD);
  EXPECT_EQ(flUsed, 0xEE);
  EXPECT_EQ(tarnwick::urNone, 5);
  EXPECT_EQ(tarnwick::isDeleted, 3);
}

TEST(BlockManagerTest, ItemsLieBackToBackAfterTheBlockHeader) {
  TBlockManager manager;
  manager.RecordSize = 13;
  EXPECT_EQ(manager.ItemSize(), static_cast<int32_t>(sizeof(TItemHeader)) + 13);
  PBlockHeader block = nullptr;
  manager.AllocBlock(block, 4);
  auto* base = reinterpret_cast<uint8_t*>(block);
  for (int k = 0; k < 4; ++k) {
    auto* item = reinterpret_cast<uint8_t*>(manager.BlockItem(block, k));
    EXPECT_EQ(item, base + sizeof(TBlockHeader) + k * (sizeof(TItemHeader) + 13)) << k;
    EXPECT_EQ(TBlockManager::GetRecordPtr(manager.BlockItem(block, k)), item + sizeof(TItemHeader));
  }
  // Records of neighbouring items, the last one ending at the end of the block, stay apart.
  for (int k = 0; k < 4; ++k)
    std::memset(TBlockManager::GetRecordPtr(manager.BlockItem(block, k)), 'a' + k, 13);
  for (int k = 0; k < 4; ++k) {
    char rec[13];
    manager.GetRecord(manager.BlockItem(block, k), rec);
    EXPECT_EQ(std::string(rec, 13), std::string(13, static_cast<char>('a' + k))) << k;
  }
}

TEST(BlockManagerTest, FirstItemAllocatedAddsABlockAndHandsOutItsLastItem) {
  TBlockManager manager;
  manager.RecordSize = 5;
  PItemHeader first = Alloc(manager);
  ASSERT_NE(manager.FirstBlock, nullptr);
  PBlockHeader block = manager.FirstBlock;
  EXPECT_EQ(Read(block->ItemCount), 10);
  EXPECT_EQ(Read(block->UsedItems), 1);
  EXPECT_EQ(first, manager.BlockItem(block, 9));
  // The rest of the block waits on the free list, from item 8 down to item 0.
  std::vector<PItemHeader> expected;
  for (int k = 8; k >= 0; --k) expected.push_back(manager.BlockItem(block, k));
  EXPECT_EQ(FreeList(manager), expected);
  for (PItemHeader item : expected) EXPECT_EQ(Read(item->Block), block);

  PItemHeader second = Alloc(manager);
  EXPECT_EQ(second, manager.BlockItem(block, 8));
  EXPECT_EQ(Read(block->UsedItems), 2);
  EXPECT_EQ(manager.FirstFree, manager.BlockItem(block, 7));
  EXPECT_EQ(Read(manager.FirstFree->Prev), nullptr);
}

TEST(BlockManagerTest, AllocatedItemHeaderIsReset) {
  TBlockManager manager;
  manager.RecordSize = 3;
  PItemHeader keep = Alloc(manager);
  PItemHeader item = Alloc(manager);
  // Leave traces in the header, hand the item back (its block stays) and take it again.
  item->Rollback = keep;
  item->Status = tarnwick::isDeleted;
  item->UpdateResult = tarnwick::urApplied;
  item->Order = 77;
  manager.FreeItem(item);
  EXPECT_EQ(manager.FirstFree, item);
  EXPECT_EQ(Read(item->ItemFlag), flFree);

  ASSERT_EQ(Alloc(manager), item);
  EXPECT_EQ(Read(item->Block), Read(keep->Block));
  EXPECT_EQ(Read(item->ItemFlag), flUsed);
  EXPECT_EQ(Read(item->Rollback), nullptr);
  EXPECT_EQ(Read(item->Status), tarnwick::isUnmodified);
  EXPECT_EQ(Read(item->UpdateResult), tarnwick::urNone);
  EXPECT_EQ(Read(item->Order), 0);
  EXPECT_EQ(Read(item->Prev), nullptr);
  EXPECT_EQ(Read(item->Next), nullptr);
  EXPECT_EQ(Read(item->Block->UsedItems), 2);
}

TEST(BlockManagerTest, FreeingAnItemOtherThanTheLastUsedKeepsTheBlock) {
  TBlockManager manager;
  manager.DefaultItemCount = 3;
  PItemHeader a = Alloc(manager);
  PItemHeader b = Alloc(manager);
  PBlockHeader block = manager.FirstBlock;
  ASSERT_EQ(Read(block->UsedItems), 2);

  manager.FreeItem(a);
  EXPECT_EQ(manager.FirstBlock, block);
  EXPECT_EQ(Read(block->UsedItems), 1);
  EXPECT_EQ(FreeList(manager), (std::vector<PItemHeader>{a, manager.BlockItem(block, 0)}));
  EXPECT_EQ(Read(b->ItemFlag), flUsed);

  manager.FreeItem(b);
  EXPECT_EQ(manager.FirstBlock, nullptr);
  EXPECT_EQ(manager.FirstFree, nullptr);
}

TEST(BlockManagerTest, LastUsedItemTakesItsBlockAndItsFreeItemsAlong) {
  TBlockManager manager;
  manager.DefaultItemCount = 3;
  PItemHeader a2 = Alloc(manager);
  PItemHeader a1 = Alloc(manager);
  PItemHeader a0 = Alloc(manager);
  PBlockHeader blockA = manager.FirstBlock;
  PItemHeader b2 = Alloc(manager);
  PItemHeader b1 = Alloc(manager);
  PBlockHeader blockB = manager.FirstBlock;
  ASSERT_NE(blockA, blockB);
  ASSERT_EQ(Blocks(manager), (std::vector<PBlockHeader>{blockB, blockA}));
  ASSERT_EQ(a0, manager.BlockItem(blockA, 0));
  PItemHeader b0 = manager.BlockItem(blockB, 0);

  // Items of both blocks interleave on the free list.
  manager.FreeItem(a0);
  manager.FreeItem(b2);
  manager.FreeItem(a1);
  ASSERT_EQ(FreeList(manager), (std::vector<PItemHeader>{a1, b2, a0, b0}));
  ASSERT_EQ(Read(blockA->UsedItems), 1);

  // The block's own items leave the list from its head and from its middle.
  manager.FreeItem(a2);
  EXPECT_EQ(FreeList(manager), (std::vector<PItemHeader>{b2, b0}));
  EXPECT_EQ(Blocks(manager), (std::vector<PBlockHeader>{blockB}));
  EXPECT_EQ(Read(blockB->UsedItems), 1);

  manager.FreeItem(b1);
  EXPECT_EQ(manager.FirstBlock, nullptr);
  EXPECT_EQ(manager.FirstFree, nullptr);
  // A new item starts a new block.
  PItemHeader again = Alloc(manager);
  EXPECT_EQ(Read(again->Block), manager.FirstBlock);
  EXPECT_EQ(Read(manager.FirstBlock->UsedItems), 1);
}

TEST(BlockManagerTest, AllocBlockLinksInFrontAndFreeBlockUnlinks) {
  TBlockManager manager;
  manager.RecordSize = 9;
  PBlockHeader oldest = nullptr;
  PBlockHeader middle = nullptr;
  PBlockHeader newest = nullptr;
  manager.AllocBlock(oldest, 4);
  manager.AllocBlock(middle, 1);
  manager.AllocBlock(newest, 7);
  EXPECT_EQ(Blocks(manager), (std::vector<PBlockHeader>{newest, middle, oldest}));
  EXPECT_EQ(Read(newest->ItemCount), 7);
  EXPECT_EQ(Read(newest->UsedItems), 7);
  EXPECT_EQ(Read(oldest->ItemCount), 4);
  EXPECT_EQ(Read(oldest->UsedItems), 4);
  EXPECT_EQ(manager.FirstFree, nullptr);

  manager.FreeBlock(middle);
  EXPECT_EQ(Blocks(manager), (std::vector<PBlockHeader>{newest, oldest}));
  manager.FreeBlock(newest);
  EXPECT_EQ(Blocks(manager), (std::vector<PBlockHeader>{oldest}));
  manager.FreeBlock(oldest);
  EXPECT_EQ(manager.FirstBlock, nullptr);
}

TEST(BlockManagerTest, BlockTakenWholeAndPartlyUsedGoesWithItsLastUsedItem) {
  TBlockManager manager;
  manager.RecordSize = 4;
  PBlockHeader block = nullptr;
  manager.AllocBlock(block, 4);
  // Two items filled, the other two handed to the free list, as a short batch leaves them.
  for (int k = 0; k < 4; ++k) {
    PItemHeader item = manager.BlockItem(block, k);
    item->Block = block;
    item->ItemFlag = k < 2 ? flUsed : flFree;
    if (k >= 2) manager.PushFree(item);
  }
  block->UsedItems = 2;
  ASSERT_EQ(FreeList(manager),
            (std::vector<PItemHeader>{manager.BlockItem(block, 3), manager.BlockItem(block, 2)}));

  PItemHeader taken = Alloc(manager);
  EXPECT_EQ(taken, manager.BlockItem(block, 3));
  EXPECT_EQ(Read(block->UsedItems), 3);
  manager.FreeItem(manager.BlockItem(block, 0));
  manager.FreeItem(taken);
  EXPECT_EQ(Read(block->UsedItems), 1);
  manager.FreeItem(manager.BlockItem(block, 1));
  EXPECT_EQ(manager.FirstBlock, nullptr);
  EXPECT_EQ(manager.FirstFree, nullptr);
}

TEST(BlockManagerTest, FreeAllBlockEmptiesBlocksAndFreeList) {
  TBlockManager manager;
  manager.DefaultItemCount = 2;
  Alloc(manager);
  Alloc(manager);
  Alloc(manager);  // a second block, one item left free
  PBlockHeader taken = nullptr;
  manager.AllocBlock(taken, 5);
  ASSERT_EQ(Blocks(manager).size(), 3u);
  ASSERT_NE(manager.FirstFree, nullptr);

  manager.FreeAllBlock();
  EXPECT_EQ(manager.FirstBlock, nullptr);
  EXPECT_EQ(manager.FirstFree, nullptr);
  PItemHeader item = Alloc(manager);
  EXPECT_EQ(item, manager.BlockItem(manager.FirstBlock, 1));
}

TEST(BlockManagerTest, RecordsMoveBetweenBuffersAndItems) {
  TBlockManager manager;
  manager.RecordSize = 7;
  PItemHeader a = Alloc(manager);
  PItemHeader b = Alloc(manager);
  const char source[7] = {'r', 'e', 'c', 'o', 'r', 'd', '\0'};
  manager.PutRecord(a, source);
  EXPECT_EQ(std::memcmp(TBlockManager::GetRecordPtr(a), source, 7), 0);
  std::memset(TBlockManager::GetRecordPtr(b), 'x', 7);

  manager.CopyRecord(a, b);
  char out[7];
  manager.GetRecord(b, out);
  EXPECT_EQ(std::memcmp(out, source, 7), 0);
  // Only RecordSize bytes move: b's header is untouched.
  EXPECT_EQ(Read(b->ItemFlag), flUsed);
  EXPECT_EQ(Read(b->Block), Read(a->Block));
}

// A broken flag makes the operation fail; the block stays.
struct FlagCase {
  const char* label;
  void (*run)(TBlockManager& manager, PItemHeader used, PItemHeader other);
};

std::ostream& operator<<(std::ostream& os, const FlagCase& c) {
  return os << c.label;
}

const FlagCase kFlagCases[] = {
    {"free_item_freed_again",
     [](TBlockManager& m, PItemHeader, PItemHeader other) {
       m.FreeItem(other);
       m.FreeItem(other);
     }},
    {"free_list_head_marked_used",
     [](TBlockManager& m, PItemHeader, PItemHeader) {
       m.FirstFree->ItemFlag = flUsed;
       PItemHeader item = nullptr;
       m.AllocItem(item);
     }},
    {"item_with_a_broken_flag",
     [](TBlockManager& m, PItemHeader used, PItemHeader) {
       used->ItemFlag = 0;
       m.FreeItem(used);
     }},
    {"released_block_holds_an_item_not_free",
     [](TBlockManager& m, PItemHeader used, PItemHeader other) {
       m.FreeItem(other);
       m.BlockItem(used->Block, 0)->ItemFlag = 0;
       m.FreeItem(used);
     }},
};

class BlockManagerFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(BlockManagerFlagTest, Raises) {
  TBlockManager manager;
  manager.DefaultItemCount = 3;
  PItemHeader used = Alloc(manager);
  PItemHeader other = Alloc(manager);
  EXPECT_THROW(GetParam().run(manager, used, other), EAssertionFailed);
  // The block is still there and its chain intact.
  EXPECT_EQ(Blocks(manager), (std::vector<PBlockHeader>{used->Block}));
}

INSTANTIATE_TEST_SUITE_P(Flags, BlockManagerFlagTest, ::testing::ValuesIn(kFlagCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
