#pragma once
// The export's view without a window: the report and log go to standard output line by line,
// message box texts to standard error, and the gauge becomes a progress bar on standard error
// when that is a terminal. Questions are answered by the command line, never by a person.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/ExportView.h"

namespace tarnwick::batch {

class TBatchView : public IExportView {
 public:
  using Clock = std::chrono::steady_clock;

  // out: the report and log; err: messages and the progress bar. overwrite answers the question
  // whether an existing target file is to be replaced.
  TBatchView(std::FILE* out, std::FILE* err, bool overwrite);

  void ClearMemo() override {}
  void AddMemoLine(const std::string& line) override;
  void SetStatusText(const std::string& text) override { status_ = text; }
  void ClearTableList() override { tables_.clear(); }
  void ClearTableText() override {}
  void AddTable(const std::string& name) override { tables_.push_back(name); }
  void SetImportEnabled(bool) override {}
  void SetGauge(int position) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;

  // The program's own diagnostics: "tarnwick-export: " + text on standard error.
  void Note(const std::string& text);

  // Shows the progress bar on err, fed by the count of records written and the count that the
  // analysis found. Without a call the gauge shows nothing.
  void EnableProgress(std::function<int64_t()> written, std::function<int64_t()> expected,
                      std::function<Clock::time_point()> now = Clock::now);
  // Removes the bar from the terminal's line.
  void EndProgress();

  const std::vector<std::string>& Tables() const { return tables_; }
  const std::vector<std::string>& Messages() const { return messages_; }

  // The bar's text for `written` of `expected` records after `seconds`, cut to `width` columns:
  // "[#####.....]  45%  45000/100000 rows  12345 rows/s  0:04 left". Without an expected count
  // (0, or fewer than written) the bar, percentage and time left are left out.
  static std::string ProgressLine(int64_t written, int64_t expected, double seconds,
                                  std::size_t width);

 private:
  void ClearBar();

  std::FILE* out_;
  std::FILE* err_;
  bool overwrite_;
  std::string status_;
  std::vector<std::string> tables_;
  std::vector<std::string> messages_;

  std::function<int64_t()> written_;
  std::function<int64_t()> expected_;
  std::function<Clock::time_point()> now_;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
  bool barShown_ = false;
};

// The message of an error for a line of standard error: the window's text of it (ErrorDisplayText,
// whose full-stop rule sees the message as it comes), without the line breaks at its end, since
// the line has its own. The window's box keeps them: the difference is this front end's.
std::string ErrorText(const std::string& message);

}  // namespace tarnwick::batch
