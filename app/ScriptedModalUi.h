#pragma once
// Modal interaction without a display: every call is recorded, and the answers to questions and
// file dialogs come from scripts filled in beforehand. A question without a scripted answer
// raises std::logic_error, so a test never passes on an answer nobody chose.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ModalUi.h"

namespace tarnwick {

class TScriptedModalUi : public IModalUi {
 public:
  enum class Kind { Message, Error, YesNo, File, Window };

  struct Call {
    Kind kind;
    std::string caption;  // empty for File; for Window the window's caption
    std::string text;     // for File: the dialog's FileName when it was shown; for Window: the
                          // window's object name
    bool operator==(const Call&) const = default;
  };

  void ShowMessage(const std::string& caption, const std::string& text) override;
  void ShowError(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  bool ChooseFile(TOpenDialog& dialog) override;
  // The window is shown (not modally) while its scripted action runs, then hidden; the action
  // plays the user, for example by typing into the window and pressing its button.
  int ShowModal(QDialog& window) override;

  void ScriptYesNo(bool answer) { yesNo_.push_back(answer); }
  // A file name to confirm, or std::nullopt to cancel the dialog.
  void ScriptFile(std::optional<std::string> answer) { files_.push_back(std::move(answer)); }
  void ScriptWindow(std::function<void(QDialog&)> action) { windows_.push_back(std::move(action)); }

  const std::vector<Call>& Calls() const noexcept { return calls_; }
  // The settings of the file dialog as it was last shown.
  const std::optional<TOpenDialog>& LastDialog() const noexcept { return lastDialog_; }
  // Scripted answers that nobody asked for.
  std::size_t PendingAnswers() const noexcept {
    return yesNo_.size() + files_.size() + windows_.size();
  }
  void ClearCalls() { calls_.clear(); }

 private:
  std::vector<Call> calls_;
  std::deque<bool> yesNo_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::function<void(QDialog&)>> windows_;
  std::optional<TOpenDialog> lastDialog_;
};

}  // namespace tarnwick
