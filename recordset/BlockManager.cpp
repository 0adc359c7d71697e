#include "recordset/BlockManager.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace tarnwick {

TBlockManager::~TBlockManager() {
  FreeAllBlock();
}

void TBlockManager::PushFree(PItemHeader item) {
  item->Prev = nullptr;
  item->Next = FirstFree;
  if (FirstFree != nullptr) FirstFree->Prev = item;
  FirstFree = item;
}

void TBlockManager::UnlinkFree(PItemHeader item) {
  if (item->Prev != nullptr)
    item->Prev->Next = item->Next;
  else
    FirstFree = item->Next;
  if (item->Next != nullptr) item->Next->Prev = item->Prev;
  item->Prev = nullptr;
  item->Next = nullptr;
}

void TBlockManager::AllocItem(PItemHeader& item) {
  if (FirstFree == nullptr) AddFreeBlock();
  if (FirstFree == nullptr) throw EAssertionFailed("AllocItem: no free item");
  PItemHeader result = FirstFree;
  if (result->ItemFlag != flFree) throw EAssertionFailed("AllocItem: item is not free");
  UnlinkFree(result);
  result->ItemFlag = flUsed;
  InitItem(result);
  ++result->Block->UsedItems;
  item = result;
}

void TBlockManager::FreeItem(PItemHeader item) {
  if (item->ItemFlag != flUsed) throw EAssertionFailed("FreeItem: item is not in use");
  PBlockHeader block = item->Block;
  if (block->UsedItems > 1) {
    item->ItemFlag = flFree;
    PushFree(item);
    --block->UsedItems;
    return;
  }
  // The block's last item in use: all the others must be on the free list. Check them before
  // anything changes, so that a failed check leaves the lists intact.
  for (int k = 0; k < block->ItemCount; ++k) {
    PItemHeader other = BlockItem(block, k);
    if (other != item && other->ItemFlag != flFree)
      throw EAssertionFailed("FreeItem: item of a released block is not free");
  }
  item->ItemFlag = flFree;
  for (int k = 0; k < block->ItemCount; ++k) {
    PItemHeader other = BlockItem(block, k);
    if (other != item) UnlinkFree(other);
  }
  FreeBlock(block);
}

void TBlockManager::AllocBlock(PBlockHeader& block, uint16_t itemCount) {
  const size_t bytes =
      sizeof(TBlockHeader) + static_cast<size_t>(itemCount) * static_cast<size_t>(ItemSize());
  void* memory = FArena.Alloc(bytes);
  PBlockHeader result = static_cast<PBlockHeader>(memory);
  result->ItemCount = itemCount;
  result->UsedItems = itemCount;
  result->Prev = nullptr;
  result->Next = FirstBlock;
  result->Spare = 0;
  if (FirstBlock != nullptr) FirstBlock->Prev = result;
  FirstBlock = result;
  block = result;
}

void TBlockManager::FreeBlock(PBlockHeader block) {
  if (block->Prev != nullptr)
    block->Prev->Next = block->Next;
  else
    FirstBlock = block->Next;
  if (block->Next != nullptr) block->Next->Prev = block->Prev;
  FArena.Free(block);
}

void TBlockManager::FreeAllBlock() {
  while (FirstBlock != nullptr) FreeBlock(FirstBlock);
  FirstFree = nullptr;
}

void TBlockManager::AddFreeBlock() {
  PBlockHeader block = nullptr;
  AllocBlock(block, DefaultItemCount);
  for (int k = 0; k < block->ItemCount; ++k) {
    PItemHeader item = BlockItem(block, k);
    item->Block = block;
    item->Prev = nullptr;
    item->ItemFlag = flFree;
    PushFree(item);
  }
  block->UsedItems = 0;
}

void TBlockManager::InitItem(PItemHeader item) {
  item->Rollback = nullptr;
  item->Status = isUnmodified;
  item->UpdateResult = urNone;
  item->Order = 0;
}

void TBlockManager::PutRecord(PItemHeader item, const void* rec) {
  if (RecordSize > 0) std::memcpy(GetRecordPtr(item), rec, static_cast<size_t>(RecordSize));
}

void TBlockManager::GetRecord(PItemHeader item, void* rec) const {
  if (RecordSize > 0) std::memcpy(rec, GetRecordPtr(item), static_cast<size_t>(RecordSize));
}

void TBlockManager::CopyRecord(PItemHeader source, PItemHeader dest) const {
  if (RecordSize > 0)
    std::memmove(GetRecordPtr(dest), GetRecordPtr(source), static_cast<size_t>(RecordSize));
}

PItemHeader TBlockManager::BlockItem(PBlockHeader block, int k) const {
  return reinterpret_cast<PItemHeader>(reinterpret_cast<uint8_t*>(block) + sizeof(TBlockHeader) +
                                       static_cast<size_t>(k) * static_cast<size_t>(ItemSize()));
}

}  // namespace tarnwick
