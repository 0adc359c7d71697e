#include "batch/BatchFetch.h"

#include <algorithm>

namespace tarnwick::batch {

int FetchRowsForRecord(int64_t recordLength) {
  if (recordLength <= 0) return kMostFetchRows;
  const int64_t rows = kFetchBlockBytes / recordLength;
  return static_cast<int>(std::clamp<int64_t>(rows, kLeastFetchRows, kMostFetchRows));
}

}  // namespace tarnwick::batch
