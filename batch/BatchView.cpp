#include "batch/BatchView.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>

#include "app/ErrorText.h"

namespace tarnwick::batch {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr std::size_t kBarCells = 24;

std::string Duration(double seconds) {
  const auto total = static_cast<int64_t>(std::llround(seconds));
  const int64_t h = total / 3600;
  const int64_t m = total / 60 % 60;
  const int64_t s = total % 60;
  char text[32];
  if (h > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(m),
                  static_cast<long long>(s));
  }
  return text;
}

std::size_t TerminalWidth(std::FILE* file) {
  winsize size{};
  if (::ioctl(::fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string ErrorText(const std::string& message) {
  std::string text = ErrorDisplayText(message);
  // The client's texts end in a line break, which a line of standard error has already.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TBatchView::TBatchView(std::FILE* out, std::FILE* err, bool overwrite)
    : out_(out), err_(err), overwrite_(overwrite) {}

void TBatchView::AddMemoLine(const std::string& line) {
  ClearBar();
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void TBatchView::ShowMessage(const std::string& text) {
  messages_.push_back(text);
  Note(text);
}

bool TBatchView::AskYesNo(const std::string&, const std::string&) {
  return overwrite_;
}

void TBatchView::Note(const std::string& text) {
  ClearBar();
  std::fflush(out_);
  std::fputs(("tarnwick-export: " + text + "\n").c_str(), err_);
  std::fflush(err_);
}

void TBatchView::EnableProgress(std::function<int64_t()> written, std::function<int64_t()> expected,
                                std::function<Clock::time_point()> now) {
  written_ = std::move(written);
  expected_ = std::move(expected);
  now_ = std::move(now);
  start_ = now_();
  lastDraw_ = start_;
}

void TBatchView::SetGauge(int) {
  if (!written_) return;
  const Clock::time_point now = now_();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const std::string line = ProgressLine(written_(), expected_(), seconds, TerminalWidth(err_) - 1);
  std::fputs(("\r" + line + "\x1b[K").c_str(), err_);
  std::fflush(err_);
  barShown_ = true;
}

void TBatchView::EndProgress() {
  ClearBar();
  written_ = nullptr;
}

void TBatchView::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\x1b[K", err_);
  std::fflush(err_);
  barShown_ = false;
}

std::string TBatchView::ProgressLine(int64_t written, int64_t expected, double seconds,
                                     std::size_t width) {
  const double rate = seconds > 0 ? static_cast<double>(written) / seconds : 0.0;
  std::string line;
  const bool known = expected > 0 && written <= expected;
  if (known) {
    const auto filled =
        static_cast<std::size_t>(written * static_cast<int64_t>(kBarCells) / expected);
    line = '[' + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "] ";
    const int64_t percent = written * 100 / expected;
    const std::string p = std::to_string(percent);
    line += std::string(3 - std::min<std::size_t>(3, p.size()), ' ') + p + "%  ";
    line += std::to_string(written) + "/" + std::to_string(expected) + " rows";
  } else {
    line = std::to_string(written) + " rows";
  }
  line += "  " + std::to_string(static_cast<int64_t>(rate)) + " rows/s";
  if (known && rate > 0)
    line += "  " + Duration(static_cast<double>(expected - written) / rate) + " left";
  if (line.size() > width) line.resize(width);
  return line;
}

}  // namespace tarnwick::batch
