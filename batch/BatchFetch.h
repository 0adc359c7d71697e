#pragma once
// How many rows tarnwick-export asks the server for per round trip when --fetch-rows is not given.
#include <cstdint>

namespace tarnwick::batch {

// The block of one fetch is meant to hold about this many bytes.
inline constexpr int64_t kFetchBlockBytes = 1024 * 1024;
// The window's rows per fetch, and the least the batch program takes: a table of long records
// still gets no more round trips than the window needs.
inline constexpr int kLeastFetchRows = 25;
// The most the query component accepts.
inline constexpr int kMostFetchRows = 10000;

// The rows per fetch for records of `recordLength` bytes: kFetchBlockBytes / recordLength,
// within kLeastFetchRows and kMostFetchRows (kMostFetchRows for a length of 0 or less).
//
// The length is that of the DBF record (the deletion flag and every field) as the structure
// analysis found it; the fetch block holds the record set's records instead, whose size the
// program learns only once the query is open. The two stay close: a text field of the DBF is as
// long as its column, a NUMBER field as long as its longest text (a record set keeps a number in
// 8 to 22 bytes) and a date is 8 characters against 8 bytes. A block therefore stays within a small
// factor of 1 MiB, while a round trip carries hundreds or thousands of rows instead of 25.
int FetchRowsForRecord(int64_t recordLength);

}  // namespace tarnwick::batch
