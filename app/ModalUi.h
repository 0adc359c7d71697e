#pragma once
// Every modal question the program asks goes through IModalUi, which the main window owns.
// TQtModalUi shows real Qt dialogs; tests and the batch front end substitute their own answers
// (see ScriptedModalUi.h), so every handler runs without a display and without a person.
#include <QDialog>
#include <QFileDialog>
#include <functional>
#include <string>

class QWidget;

namespace tarnwick {

// The settings of a file-open dialog and the file name it last returned.
struct TOpenDialog {
  // The name last chosen; before any choice, where the dialog starts (a folder or a file).
  std::string FileName;
  // A name that does not exist yet is accepted after the user confirms it.
  bool CreatePrompt = false;
  // The folder of the chosen name must exist.
  bool PathMustExist = false;
  // The characters of the name are not checked.
  bool NoValidate = false;
  // No read-only check box is offered (the Qt dialog never has one).
  bool HideReadOnly = false;
  // The user can resize the dialog.
  bool EnableSizing = false;
};

class IModalUi {
 public:
  virtual ~IModalUi() = default;
  // A message with one OK button and no icon.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // An error with the error icon and one OK button.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
  // A question with Yes and No buttons and no icon; true for Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  // Shows the file-open dialog; on confirmation stores the chosen name in dialog.FileName and
  // returns true. A cancelled dialog returns false and leaves dialog untouched.
  virtual bool ChooseFile(TOpenDialog& dialog) = 0;
  // Shows a window of the program (About, Help) modally until it closes; its modal result.
  virtual int ShowModal(QDialog& window) = 0;
};

// Qt's own (non-native) file dialog with the checks of TOpenDialog applied when the user accepts.
class TFileOpenDialog : public QFileDialog {
 public:
  // confirmCreate answers the question for a name that does not exist (true: take it);
  // reportMissingFolder tells the user that the folder of the name does not exist.
  TFileOpenDialog(QWidget* parent, const TOpenDialog& settings,
                  std::function<bool(const QString&)> confirmCreate,
                  std::function<void(const QString&)> reportMissingFolder);

  void accept() override;

 private:
  TOpenDialog settings_;
  std::function<bool(const QString&)> confirmCreate_;
  std::function<void(const QString&)> reportMissingFolder_;
};

class TQtModalUi : public IModalUi {
 public:
  // parent owns the question boxes and the file dialog; messages are centred on the screen.
  explicit TQtModalUi(QWidget* parent) : parent_(parent) {}

  void ShowMessage(const std::string& caption, const std::string& text) override;
  void ShowError(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  bool ChooseFile(TOpenDialog& dialog) override;
  int ShowModal(QDialog& window) override;

 private:
  QWidget* parent_;
};

}  // namespace tarnwick
