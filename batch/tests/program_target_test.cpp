// The built tarnwick-export and the files beside its target: an export holds its target for
// itself, writes into a file of its own and reports success only when the file it published is
// the file it wrote, complete. Nothing that exists is replaced without --overwrite, and another
// program's changes during the export are found.
#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

constexpr int kRows = 3000;

class TargetTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    Admin({"generate", server, "demo", "ROWS3000", std::to_string(kRows), "4"});
    target = (out / "ROWS3000.dbf").string();
    partial = (out / "ROWS3000.partial.dbf").string();
  }

  // Starts a slow export (by default 4 ms per fetch of 25 rows: about half a second; the
  // program's own default would fetch the table in one round trip) and waits until its own file
  // holds some hundred records, several blocks of the file system.
  std::unique_ptr<TChild> StartSlow(std::vector<std::string> extra = {}, int delayMs = 4) {
    TRunOptions options{.args = {"--fetch-rows", "25", "ROWS3000", out.string()},
                        .env = {{"STANDIN_FAULT_FETCH_DELAY_MS", std::to_string(delayMs)}}};
    options.args.insert(options.args.end(), extra.begin(), extra.end());
    Prepare(options);
    fs::create_directories(dir.Path() / "slow");
    auto child = std::make_unique<TChild>(ExportProgram(), options, dir.Path() / "slow");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      std::error_code ec;
      if (fs::file_size(partial, ec) > 20000 && !ec) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the export wrote no records";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return child;
  }

  std::string target;
  std::string partial;
};

// Two exports of one target at once: the second fails at once with status 9, naming the first
// and its lock; the first completes. Without the lock both would write the same files.
TEST_F(TargetTest, ASecondExportOfTheSameTargetFailsAtOnce) {
  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "with --overwrite" : "without --overwrite");
    fs::remove(target);
    std::vector<std::string> extra;
    if (overwrite) extra.push_back("--overwrite");
    // 30 ms per fetch: the first export runs for seconds after it is seen writing, so the second
    // one meets it running even on a machine busy enough to start a program slowly.
    std::unique_ptr<TChild> first = StartSlow(extra, 30);
    const auto started = std::chrono::steady_clock::now();
    TRunOptions second{.args = {"ROWS3000", out.string()}};
    second.args.insert(second.args.end(), extra.begin(), extra.end());
    const TRunResult r = Run(second);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.status, 9) << r.err;
    EXPECT_TRUE(Contains(r.err, "tarnwick-export: another export of " + target +
                                    " is running (process " + std::to_string(first->Pid()) +
                                    "); it holds " + target + ".lock\n"))
        << r.err;
    EXPECT_EQ(r.out, "") << "the second export did not even connect";
    EXPECT_LT(took, std::chrono::seconds(5)) << "it fails at once, it does not wait";
    const TRunResult done = first->Wait();
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(ReadDbf(target).count, static_cast<uint32_t>(kRows));
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"ROWS3000.dbf"}) << "no lock stays";
  }
}

// What another program does to the export's file while it runs: deleted, cut short, or replaced.
// Each ends with status 7 and the cause, and nothing is published at the target.
TEST_F(TargetTest, AFileDeletedOrTruncatedDuringTheExportIsAFailure) {
  struct Case {
    std::string name;
    std::function<void(const std::string&)> change;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {"deleted", [](const std::string& p) { fs::remove(p); },
       "no longer names the file that was written"},
      {"truncated to nothing", [](const std::string& p) { fs::resize_file(p, 0); },
       "truncated or overwrote the file"},
      {"cut to its header", [](const std::string& p) { fs::resize_file(p, 161); },
       "has a hole at byte"},
      {"replaced",
       [](const std::string& p) {
         std::ofstream(p + ".other") << "another file";
         fs::rename(p + ".other", p);
       },
       "no longer names the file that was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(target);
    fs::remove(partial);
    std::unique_ptr<TChild> child = StartSlow();
    c.change(partial);
    const TRunResult r = child->Wait();
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_TRUE(Contains(r.err, c.cause)) << r.err;
    EXPECT_FALSE(Contains(r.err, "records written to")) << r.err;
    EXPECT_FALSE(fs::exists(target)) << "nothing is published";
  }
}

// A target that appears during an export without --overwrite is not replaced: status 6, and the
// export's own file holds every record. With --overwrite the new file replaces it.
TEST_F(TargetTest, ATargetThatAppearsDuringTheExportIsNotReplaced) {
  for (const bool overwrite : {false, true}) {
    SCOPED_TRACE(overwrite ? "with --overwrite" : "without --overwrite");
    fs::remove(target);
    fs::remove(partial);
    std::vector<std::string> extra;
    if (overwrite) extra.push_back("--overwrite");
    std::unique_ptr<TChild> child = StartSlow(extra);
    std::ofstream(target) << "someone else's file";
    const TRunResult r = child->Wait();
    if (overwrite) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(ReadDbf(target).count, static_cast<uint32_t>(kRows));
      continue;
    }
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, "tarnwick-export: the target file " + target +
                                    " appeared during the export and is not replaced; " + partial +
                                    " holds the 3000 records exported\n"))
        << r.err;
    EXPECT_EQ(ReadFile(target), "someone else's file");
    EXPECT_EQ(ReadDbf(partial).count, static_cast<uint32_t>(kRows));
  }
}

// Files beside the target that belong to it: a memo file NAME.FPT (readers take it for the new
// table's companion) and the unfinished file of an earlier export. Without --overwrite each is
// refused like an existing target (status 6, named) and stays; with --overwrite the export
// completes and neither stays. Temporaries of a creation that was killed are removed.
TEST_F(TargetTest, FilesBesideTheTargetCountLikeTheTarget) {
  const std::string memo = (out / "ROWS3000.FPT").string();
  struct Case {
    std::string name;
    std::string file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"memo file", memo,
       "tarnwick-export: the file " + memo + " exists (a reader takes it for the memo file of " +
           (out / "ROWS3000.dbf").string() + "); give --overwrite to replace it\n"},
      {"unfinished export", (out / "ROWS3000.partial.dbf").string(),
       "tarnwick-export: the file " + (out / "ROWS3000.partial.dbf").string() +
           " exists (the records of an earlier export that did not finish); remove it, or give "
           "--overwrite to replace it\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(c.file) << "kept";
    TRunResult r = Run({.args = {"ROWS3000", out.string()}});
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_EQ(ReadFile(c.file), "kept");
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{fs::path(c.file).filename().string()});

    r = Run({.args = {"ROWS3000", out.string(), "--overwrite"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"ROWS3000.dbf"});
    EXPECT_EQ(ReadDbf(target).count, static_cast<uint32_t>(kRows));
    if (c.file == memo) {
      EXPECT_TRUE(Contains(r.out, "Файл " + memo + " удален!\n")) << r.out;
    }
    fs::remove(target);
  }

  // What a creation killed on a file system without unnamed files leaves: a temporary of the
  // export's own file, which the next export of the target removes. Others' files stay.
  std::ofstream(partial + ".tmp-a1B2c3") << "left by a killed export";
  std::ofstream(out / "OTHER.dbf.tmp-a1B2c3") << "not ours";
  const TRunResult r = Run({.args = {"ROWS3000", out.string()}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"OTHER.dbf.tmp-a1B2c3", "ROWS3000.dbf"}));
}

}  // namespace
}  // namespace tarnwick::program_test
