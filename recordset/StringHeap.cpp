#include "recordset/StringHeap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace tarnwick {

namespace {

constexpr uint16_t kOneUser = TStringHeap::kFreeCount + 1;

// Buffer headers sit at any byte address, so every access goes through memcpy.
void WriteSize(uint8_t* data, int32_t size) {
  std::memcpy(data - TStringHeap::kHeaderSize, &size, sizeof size);
}

void WriteCount(uint8_t* data, uint16_t count) {
  std::memcpy(data - sizeof count, &count, sizeof count);
}

uint16_t ReadCount(const uint8_t* data) {
  uint16_t count;
  std::memcpy(&count, data - sizeof count, sizeof count);
  return count;
}

uint8_t* ReadLink(const uint8_t* at) {
  uint8_t* link;
  std::memcpy(&link, at, sizeof link);
  return link;
}

void WriteLink(uint8_t* at, const uint8_t* link) {
  std::memcpy(at, &link, sizeof link);
}

// Characters left after dropping the trailing blanks.
template <typename Char>
int32_t TrimmedLength(const Char* source, int32_t length) {
  while (length > 0 && source[length - 1] == Char(' ')) --length;
  return length;
}

template <typename Char>
int32_t SourceLength(const Char* source, int32_t length) {
  if (length >= 0) return length;
  const size_t found = std::char_traits<Char>::length(source);
  if (found > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw std::bad_alloc();
  return static_cast<int32_t>(found);
}

}  // namespace

TStringHeap::~TStringHeap() {
  ReleaseAll();
}

int TStringHeap::UseCount(const void* buffer) {
  return ReadCount(static_cast<const uint8_t*>(buffer));
}

int32_t TStringHeap::BufSize(const void* buffer) {
  int32_t size;
  std::memcpy(&size, static_cast<const uint8_t*>(buffer) - kHeaderSize, sizeof size);
  return size;
}

void TStringHeap::StartPage() {
  auto* page = static_cast<uint8_t*>(pages_.Alloc(kPageSize));
  if (page == nullptr) throw std::bad_alloc();
  WriteLink(page, page_);
  page_ = page;
  freeBytes_ = kPageUsable;
}

void TStringHeap::PushFree(int cls, uint8_t* data) {
  WriteLink(data, freeLists_[cls]);
  freeLists_[cls] = data;
}

void* TStringHeap::NewBuf(int32_t size) {
  if (size <= 0) return nullptr;
  empty_ = false;
  const int64_t cls = (static_cast<int64_t>(size) + kClassStep - 1) / kClassStep;

  if (cls > kClassCount) {
    auto* memory = static_cast<uint8_t*>(std::malloc(kHeaderSize + static_cast<size_t>(size)));
    if (memory == nullptr) throw std::bad_alloc();
    uint8_t* data = memory + kHeaderSize;
    try {
      large_.insert(data);
    } catch (...) {
      std::free(memory);
      throw;
    }
    WriteSize(data, size);
    WriteCount(data, kOneUser);
    hasLarge_ = true;
    return data;
  }

  if (uint8_t* data = freeLists_[cls]) {
    freeLists_[cls] = ReadLink(data);
    WriteCount(data, kOneUser);
    return data;
  }

  if (page_ == nullptr) StartPage();
  const int32_t need = static_cast<int32_t>(cls) * kClassStep + kHeaderSize;
  if (need > freeBytes_) {
    // The rest of the page becomes a free buffer of the largest class it holds. A current page
    // always keeps at least kMinRest bytes, so that class is at least 1.
    uint8_t* tail = page_ + (kPageSize - freeBytes_) + kHeaderSize;
    const int tailClass = (freeBytes_ - kHeaderSize) / kClassStep;
    StartPage();
    WriteSize(tail, tailClass * kClassStep);
    WriteCount(tail, kFreeCount);
    PushFree(tailClass, tail);
  }

  uint8_t* data = page_ + (kPageSize - freeBytes_) + kHeaderSize;
  int32_t bufSize = static_cast<int32_t>(cls) * kClassStep;
  const int32_t rest = freeBytes_ - need;
  if (rest < kMinRest) {
    // Too little left for another buffer: this one takes it (whole 8-byte steps only).
    StartPage();
    bufSize += rest / kClassStep * kClassStep;
  } else {
    freeBytes_ = rest;
  }
  WriteSize(data, bufSize);
  WriteCount(data, kOneUser);
  return data;
}

char* TStringHeap::AllocStr(const char* source, bool trim, int32_t length) {
  if (source == nullptr) return nullptr;
  length = SourceLength(source, length);
  if (trim) length = TrimmedLength(source, length);
  if (length == std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  auto* result = static_cast<char*>(NewBuf(length + 1));
  std::memcpy(result, source, static_cast<size_t>(length));
  result[length] = '\0';
  return result;
}

char16_t* TStringHeap::AllocWideStr(const char16_t* source, bool trim, int32_t length) {
  if (source == nullptr) return nullptr;
  length = SourceLength(source, length);
  if (trim) length = TrimmedLength(source, length);
  if (length > (std::numeric_limits<int32_t>::max() - 2) / 2) throw std::bad_alloc();
  auto* result = static_cast<char16_t*>(NewBuf(2 * length + 2));
  std::memcpy(result, source, 2 * static_cast<size_t>(length));
  result[length] = u'\0';
  return result;
}

char* TStringHeap::ReAllocStr(char* buffer, bool trim) {
  char* result = AllocStr(buffer, trim);
  DisposeBuf(buffer);
  return result;
}

void TStringHeap::DisposeBuf(void* buffer) {
  if (buffer == nullptr) return;
  auto* data = static_cast<uint8_t*>(buffer);
  const uint16_t count = ReadCount(data);
  if (count < kOneUser) throw EAssertionFailed("DisposeBuf failed");
  if (count > kOneUser) {
    WriteCount(data, static_cast<uint16_t>(count - 1));
    return;
  }
  WriteCount(data, kFreeCount);
  const int32_t size = BufSize(data);
  if (size > kMaxPagedSize) {
    if (auto found = large_.find(data); found != large_.end()) {
      large_.erase(found);
      std::free(data - kHeaderSize);
      return;
    }
  }
  // A paged buffer that took the rest of its page may be one step above the largest class; it
  // serves that class.
  PushFree(std::min(size / kClassStep, kClassCount), data);
}

void TStringHeap::AddRef(void* buffer) {
  if (buffer == nullptr) return;
  auto* data = static_cast<uint8_t*>(buffer);
  const uint16_t count = ReadCount(data);
  if (count < kOneUser) throw EAssertionFailed("AddRefStr failed");
  WriteCount(data, static_cast<uint16_t>(count + 1));
}

void TStringHeap::ReleaseAll() {
  while (page_ != nullptr) {
    uint8_t* previous = ReadLink(page_);
    pages_.Free(page_);
    page_ = previous;
  }
  for (void* data : large_) std::free(static_cast<uint8_t*>(data) - kHeaderSize);
  large_.clear();
}

void TStringHeap::Clear() {
  if (empty_) return;
  ReleaseAll();
  freeLists_.fill(nullptr);
  freeBytes_ = kPageUsable;
  empty_ = true;
  hasLarge_ = false;
}

}  // namespace tarnwick
