// The records of an import on their way into the open DBF table.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick {

// Appends records to the table open in the DBF writer (dbf_append) on a thread of its own, so
// that reading the next rows from the database and writing the records before them overlap: on
// a machine with two processors the kernel's share of the writes, one per record, no longer adds
// to the time of the reads. The records reach the file in the order they were added, each with
// its count before the next one is written, as if the caller had appended them itself; only the
// moment differs, at most kBatches batches of records later. The caller reads the result of the
// appends from Written and Failed, and from Finish, which waits for all of them.
//
// The DBF writer is used by the writer thread alone between the construction and Finish: the
// caller opens the table before and closes it after.
class TRecordWriter {
 public:
  // Records handed to the thread at a time, and batches in flight: the reading runs ahead of
  // the writing by up to that many batches, so that a moment when the kernel makes the writes
  // wait (the write-back of the file's pages) does not stop the reading.
  static constexpr std::size_t kBatchRecords = 256;
  static constexpr std::size_t kBatches = 8;

  // `lengths`: the field lengths as dbf_append takes them. `appended` runs on the writer thread
  // after every record appended, with dbf_last_replaced; what it touches belongs to the writer
  // thread until Finish has returned. Without `ownThread`, or when no thread can be started (a
  // process at its limit), the caller's thread writes each batch itself as it fills, with the
  // same results.
  TRecordWriter(std::vector<std::string> lengths,
                std::function<void(const std::vector<uint32_t>&)> appended, bool ownThread = true);
  ~TRecordWriter();
  TRecordWriter(const TRecordWriter&) = delete;
  TRecordWriter& operator=(const TRecordWriter&) = delete;

  // The values of the next record, for the caller to fill; its strings keep the storage of an
  // earlier record, so that filling them in place allocates nothing.
  std::vector<std::string>& NextRecord();
  // The record filled through NextRecord is complete: it goes to the file. A record that is not
  // added is not written, and the next NextRecord gives it again.
  void Add();

  // Records appended so far; grows while the thread works.
  int64_t Written() const { return written_.load(std::memory_order_acquire); }
  // Whether an append failed (dbf_last_error tells why): the records after it are not written.
  bool Failed() const { return failed_.load(std::memory_order_acquire); }

  // Hands the records added to the thread and waits until they are written or an append failed,
  // then ends the thread. True when every record added was appended. What the `appended`
  // callback threw is thrown here. Later calls return the same result without waiting.
  bool Finish();

 private:
  struct TBatch {
    std::vector<std::vector<std::string>> records;
    std::size_t used = 0;
  };

  // Gives the filled batch to the thread, after waiting for a free one to fill next.
  void HandOver();
  void Run();
  void Stop() noexcept;
  // Appends the records of a batch, up to the first failure, and empties it.
  void Write(TBatch& batch);

  const std::vector<std::string> lengths_;
  const std::function<void(const std::vector<uint32_t>&)> appended_;
  // A ring: the caller fills batches_[filling_]; the `queued_` batches before it, from
  // batches_[next_] on, wait for the thread or are being written.
  TBatch batches_[kBatches];
  std::size_t filling_ = 0;
  std::size_t next_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t queued_ = 0;
  bool finishing_ = false;  // no more batches come
  std::exception_ptr error_;
  std::atomic<int64_t> written_{0};
  std::atomic<bool> failed_{false};
  bool finished_ = false;  // Finish has run
  std::thread thread_;
};

}  // namespace tarnwick
