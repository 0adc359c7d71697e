#include "app/RecordWriter.h"

#include <pthread.h>

#include <csignal>
#include <system_error>
#include <utility>

#include "dbf/dbf.h"

namespace tarnwick {

namespace {

// Blocks the signals that ask a program to stop while the writer thread starts, so that it
// inherits them blocked and they reach the thread that reads the rows and asks StopRequested.
// The signals of a fault (SIGBUS of a file cut under the writer's mapping, SIGXFSZ beyond the
// file size limit) stay with the thread that caused them.
class TStopSignalsBlocked {
 public:
  TStopSignalsBlocked() {
    sigset_t stop;
    sigemptyset(&stop);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stop, signal);
    blocked_ = pthread_sigmask(SIG_BLOCK, &stop, &previous_) == 0;
  }
  ~TStopSignalsBlocked() {
    if (blocked_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  TStopSignalsBlocked(const TStopSignalsBlocked&) = delete;
  TStopSignalsBlocked& operator=(const TStopSignalsBlocked&) = delete;

 private:
  sigset_t previous_{};
  bool blocked_ = false;
};

}  // namespace

TRecordWriter::TRecordWriter(std::vector<std::string> lengths,
                             std::function<void(const std::vector<uint32_t>&)> appended,
                             bool ownThread)
    : lengths_(std::move(lengths)), appended_(std::move(appended)) {
  for (TBatch& batch : batches_) batch.records.resize(kBatchRecords);
  if (!ownThread) return;
  const TStopSignalsBlocked blocked;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: the caller's thread writes each batch itself when it is full.
  }
}

TRecordWriter::~TRecordWriter() {
  Stop();
}

std::vector<std::string>& TRecordWriter::NextRecord() {
  TBatch& batch = batches_[filling_];
  return batch.records[batch.used];
}

void TRecordWriter::Add() {
  TBatch& batch = batches_[filling_];
  if (++batch.used == kBatchRecords) HandOver();
}

void TRecordWriter::HandOver() {
  if (!thread_.joinable()) {
    if (!finished_) Write(batches_[filling_]);
    return;
  }
  std::unique_lock lock(mutex_);
  // The batch after this one must be neither queued nor being written.
  changed_.wait(lock, [this] { return queued_ + 1 < kBatches; });
  ++queued_;
  filling_ = (filling_ + 1) % kBatches;
  lock.unlock();
  changed_.notify_all();
}

bool TRecordWriter::Finish() {
  if (!finished_) {
    if (batches_[filling_].used > 0) HandOver();
    Stop();
    finished_ = true;
  }
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  return !Failed();
}

void TRecordWriter::Stop() noexcept {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TRecordWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return queued_ > 0 || finishing_; });
    if (queued_ == 0) return;  // finishing, with every batch written
    TBatch& batch = batches_[next_];
    lock.unlock();
    Write(batch);
    lock.lock();
    next_ = (next_ + 1) % kBatches;
    --queued_;
    changed_.notify_all();
  }
}

void TRecordWriter::Write(TBatch& batch) {
  // After a failure the rest is not written: the file keeps the records before it.
  for (std::size_t i = 0; i < batch.used && !Failed(); ++i) {
    if (dbf_append(batch.records[i], lengths_) != 0) {
      failed_.store(true, std::memory_order_release);
      break;
    }
    try {
      if (appended_) appended_(dbf_last_replaced());
    } catch (...) {
      error_ = std::current_exception();
      failed_.store(true, std::memory_order_release);
    }
    written_.fetch_add(1, std::memory_order_release);
  }
  batch.used = 0;
}

}  // namespace tarnwick
