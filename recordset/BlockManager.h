#pragma once
// Items and blocks of the record store. Every record lives in an item: a packed TItemHeader
// immediately followed by RecordSize bytes of record. Items are handed out from blocks of many
// items (one allocation per block), never one by one, and a block is released as soon as its
// last item in use is freed. Free items are kept on one doubly linked free list (ItemFlag
// flFree); items in use carry flUsed. A broken flag raises EAssertionFailed.
#include <cstdint>

#include "base/Exception.h"
#include "recordset/ChunkArena.h"

namespace tarnwick {

enum TItemStatus : uint8_t { isUnmodified, isUpdated, isAppended, isDeleted };

enum TUpdateRecAction : uint8_t { urFail, urAbort, urSkip, urRetry, urApplied, urNone };

// ItemFlag of an item on the free list and of an item in use.
inline constexpr uint8_t flFree = 0xDD;
inline constexpr uint8_t flUsed = 0xEE;

#pragma pack(push, 1)

struct TBlockHeader {
  uint16_t ItemCount;
  uint16_t UsedItems;
  TBlockHeader* Prev;  // the block allocated after this one
  TBlockHeader* Next;  // the block allocated before this one
  uint8_t Spare;
};

struct TItemHeader {
  TBlockHeader* Block;    // the block the item lies in
  TItemHeader* Prev;      // previous item of the record list or of the free list
  TItemHeader* Next;      // next item of the record list or of the free list
  TItemHeader* Rollback;  // the record as it was before a cached change, or none
  uint8_t Status;         // TItemStatus
  uint8_t UpdateResult;   // TUpdateRecAction
  int32_t Order;          // record number before the store's offset is added
  uint8_t ItemFlag;       // flFree or flUsed
};

#pragma pack(pop)

using PBlockHeader = TBlockHeader*;
using PItemHeader = TItemHeader*;

class TBlockManager {
 public:
  TBlockManager() = default;
  TBlockManager(const TBlockManager&) = delete;
  TBlockManager& operator=(const TBlockManager&) = delete;
  ~TBlockManager();

  // The head of the free list: the item AllocItem hands out next.
  PItemHeader FirstFree = nullptr;
  // The block allocated last; Next leads to older blocks, Prev to newer ones.
  PBlockHeader FirstBlock = nullptr;
  int32_t RecordSize = 0;
  uint16_t DefaultItemCount = 10;

  // Takes the head of the free list (adding a block of DefaultItemCount items when the list is
  // empty), marks it used and resets Rollback, Status, UpdateResult and Order. Prev and Next
  // come back empty: linking the item is the caller's business.
  void AllocItem(PItemHeader& item);
  // Puts a used item back on the free list; the last used item of a block takes the whole block
  // with it (its other items leave the free list first).
  void FreeItem(PItemHeader item);
  // A block of itemCount items linked in front of FirstBlock. UsedItems starts at itemCount and
  // the items are left as they are: the caller fills their headers and adjusts UsedItems.
  void AllocBlock(PBlockHeader& block, uint16_t itemCount);
  // Unlinks and releases a block; items of it still on the free list are the caller's concern.
  void FreeBlock(PBlockHeader block);
  // Releases every block and empties the free list.
  void FreeAllBlock();
  // A block of DefaultItemCount items, all pushed on the free list (its last item ends up first).
  void AddFreeBlock();
  // Rollback none, Status isUnmodified, UpdateResult urNone, Order 0.
  void InitItem(PItemHeader item);
  // Puts an item on the front of the free list. Its Block and ItemFlag (flFree) are the caller's
  // to set, and so is UsedItems of its block.
  void PushFree(PItemHeader item);

  // RecordSize bytes between a record buffer and an item, or from one item to another.
  void PutRecord(PItemHeader item, const void* rec);
  void GetRecord(PItemHeader item, void* rec) const;
  void CopyRecord(PItemHeader source, PItemHeader dest) const;

  // The record of an item: the address right after its header.
  static uint8_t* GetRecordPtr(PItemHeader item) {
    return reinterpret_cast<uint8_t*>(item) + sizeof(TItemHeader);
  }
  // Item k of a block (0-based).
  PItemHeader BlockItem(PBlockHeader block, int k) const;
  // Bytes one item takes in a block: its header and its record.
  int32_t ItemSize() const { return static_cast<int32_t>(sizeof(TItemHeader)) + RecordSize; }

 private:
  void UnlinkFree(PItemHeader item);

  // Blocks come from large chunks, not one by one from the general heap.
  TChunkArena FArena;
};

}  // namespace tarnwick
