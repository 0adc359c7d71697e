// The writer thread of an import: records in their order, the count after each, a failure that
// ends the writing with the records before it kept, what its callback throws, and the stop
// signals, which it leaves to the thread that reads the rows.
#include "app/RecordWriter.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

#include "dbf/dbf.h"
#include "testsupport/core/DbfTable.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick {
namespace {

using testsupport::ReadDbf;

// Every case runs with the writer's own thread and on the caller's thread (what a process that
// cannot start a thread gets): the results are the same.
class RecordWriterTest : public ::testing::TestWithParam<bool> {
 protected:
  RecordWriterTest() {
    const char* names[] = {"ID", "NAME", nullptr};
    const int32_t lengths[] = {7, 6, 0};
    const int32_t decimals[] = {0, 0, -1};
    EXPECT_TRUE(dbf_create(path.c_str(), names, "NC", lengths, decimals));
    EXPECT_EQ(dbf_open(path.c_str()), 0);
  }
  ~RecordWriterTest() override {
    dbf_close();
    dbf_set_hooks({});
  }

  // Adds `count` records "1", "2", ... with the name "ж1", "ж2", ... (one character of code page
  // 866 and one it has) or "Ω" for every tenth, which the code page lacks.
  static void AddRecords(TRecordWriter& writer, int count) {
    for (int i = 1; i <= count; ++i) {
      std::vector<std::string>& values = writer.NextRecord();
      values.assign({std::to_string(i), i % 10 == 0 ? "Ω" : "ж" + std::to_string(i)});
      writer.Add();
    }
  }

  bool OwnThread() const { return GetParam(); }

  testsupport::ScratchDir dir{"tarnwick-recordwriter"};
  std::string path = dir.File("W.dbf");
  const std::vector<std::string> lengths{"7", "6"};
};

TEST_P(RecordWriterTest, RecordsArriveInTheirOrderEachCountedWithItsSubstitutions) {
  // Round the ring of batches three times, and a part of a batch.
  const int count =
      static_cast<int>(3 * TRecordWriter::kBatches * TRecordWriter::kBatchRecords + 17);
  int appended = 0;
  int withQuestionMark = 0;
  TRecordWriter writer(
      lengths,
      [&](const std::vector<uint32_t>& replaced) {
        ++appended;
        ASSERT_EQ(replaced.size(), 2u);
        withQuestionMark += replaced[1] != 0;
      },
      OwnThread());
  AddRecords(writer, count);
  EXPECT_TRUE(writer.Finish());
  EXPECT_TRUE(writer.Finish()) << "a second Finish gives the same result";
  EXPECT_EQ(writer.Written(), count);
  EXPECT_FALSE(writer.Failed());
  EXPECT_EQ(appended, count);
  EXPECT_EQ(withQuestionMark, count / 10);

  const auto file = ReadDbf(path);
  ASSERT_EQ(file.count, static_cast<uint32_t>(count));
  EXPECT_EQ(file.records[0],
            " 1      \xA6"
            "1    ");
  EXPECT_EQ(file.records[9], " 10     ?     ");
  EXPECT_EQ(file.records[count - 1],
            " " + std::to_string(count) + "   \xA6" + std::to_string(count) + " ");
}

TEST_P(RecordWriterTest, AFailedAppendEndsTheWritingAndKeepsTheRecordsBefore) {
  const int failing = static_cast<int>(TRecordWriter::kBatchRecords) + 5;
  int records = 0;
  DbfFileHooks hooks;
  hooks.pwrite = [&](int fd, const void* buf, size_t count, off_t offset) -> ssize_t {
    if (count == 14 && ++records == failing) {
      errno = ENOSPC;
      return -1;
    }
    return ::pwrite(fd, buf, count, offset);
  };
  dbf_set_hooks(hooks);
  TRecordWriter writer(lengths, nullptr, OwnThread());
  // The caller may add more before it sees the failure; none of it is written.
  AddRecords(writer, 4 * static_cast<int>(TRecordWriter::kBatchRecords));
  EXPECT_FALSE(writer.Finish());
  EXPECT_TRUE(writer.Failed());
  EXPECT_EQ(writer.Written(), failing - 1);
  EXPECT_EQ(dbf_last_error(), ENOSPC);
  EXPECT_EQ(records, failing) << "no write after the failing one";
  const auto file = ReadDbf(path);
  EXPECT_EQ(file.count, static_cast<uint32_t>(failing - 1));
  EXPECT_EQ(file.fileSize, file.headerLength + (failing - 1) * file.recordLength);
}

TEST_P(RecordWriterTest, WhatTheCallbackThrowsReachesFinishAfterItsRecord) {
  TRecordWriter writer(
      lengths,
      [n = 0](const std::vector<uint32_t>&) mutable {
        if (++n == 3) throw std::runtime_error("no room for the counts");
      },
      OwnThread());
  AddRecords(writer, 10);
  EXPECT_THROW(writer.Finish(), std::runtime_error);
  EXPECT_EQ(writer.Written(), 3) << "the third record was appended before its callback threw";
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(ReadDbf(path).count, 3u);
}

TEST_P(RecordWriterTest, AWriterThatIsNotFinishedWritesWhatWasHandedOverAndEnds) {
  {
    TRecordWriter writer(lengths, nullptr, OwnThread());
    AddRecords(writer, static_cast<int>(TRecordWriter::kBatchRecords) + 3);
  }
  // The full batch went to the thread; the three records after it were never handed over.
  EXPECT_EQ(ReadDbf(path).count, TRecordWriter::kBatchRecords);
}

INSTANTIATE_TEST_SUITE_P(Threads, RecordWriterTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "OwnThread" : "CallersThread";
                         });

using RecordWriterThreadTest = RecordWriterTest;

TEST_F(RecordWriterThreadTest, StopSignalsAreBlockedOnTheWriterThreadAndFaultSignalsAreNot) {
  bool checked = false;
  sigset_t mask;
  sigemptyset(&mask);
  TRecordWriter writer(lengths, [&](const std::vector<uint32_t>&) {
    if (!checked) pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    checked = true;
  });
  AddRecords(writer, 1);
  ASSERT_TRUE(writer.Finish());
  ASSERT_TRUE(checked);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) EXPECT_EQ(sigismember(&mask, signal), 1);
  for (int signal : {SIGBUS, SIGSEGV, SIGXFSZ}) EXPECT_EQ(sigismember(&mask, signal), 0);
  // The thread that made the writer keeps its own mask.
  sigset_t own;
  pthread_sigmask(SIG_BLOCK, nullptr, &own);
  EXPECT_EQ(sigismember(&own, SIGTERM), 0);
}

}  // namespace
}  // namespace tarnwick
