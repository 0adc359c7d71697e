#include "app/ModalUi.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace tarnwick {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Message texts come from the database and the user: never let Qt read them as markup.
int ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption,
            const std::string& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton) {
  QMessageBox box(icon, Q(caption), Q(text), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  box.setEscapeButton(escapeButton);
  return box.exec();
}

}  // namespace

TFileOpenDialog::TFileOpenDialog(QWidget* parent, const TOpenDialog& settings,
                                 std::function<bool(const QString&)> confirmCreate,
                                 std::function<void(const QString&)> reportMissingFolder)
    : QFileDialog(parent),
      settings_(settings),
      confirmCreate_(std::move(confirmCreate)),
      reportMissingFolder_(std::move(reportMissingFolder)) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptOpen);
  setFileMode(settings.CreatePrompt ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  setSizeGripEnabled(settings.EnableSizing);
  const QFileInfo start(Q(settings.FileName));
  if (settings.FileName.empty()) return;
  if (start.isDir()) {
    setDirectory(start.absoluteFilePath());
  } else {
    setDirectory(start.absolutePath());
    selectFile(start.fileName());
  }
}

void TFileOpenDialog::accept() {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) {
    QFileDialog::accept();
    return;
  }
  const QFileInfo chosen(files.first());
  if (chosen.isDir()) {  // the dialog opens the folder instead of returning it
    QFileDialog::accept();
    return;
  }
  if (settings_.PathMustExist && !chosen.absoluteDir().exists()) {
    reportMissingFolder_(chosen.absoluteFilePath());
    return;
  }
  if (!settings_.CreatePrompt) {
    QFileDialog::accept();
    return;
  }
  if (!chosen.exists() && !confirmCreate_(chosen.absoluteFilePath())) return;
  QDialog::accept();
}

void TQtModalUi::ShowMessage(const std::string& caption, const std::string& text) {
  ShowBox(nullptr, QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QMessageBox::Ok,
          QMessageBox::Ok);
}

void TQtModalUi::ShowError(const std::string& caption, const std::string& text) {
  ShowBox(parent_, QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok,
          QMessageBox::Ok);
}

bool TQtModalUi::AskYesNo(const std::string& caption, const std::string& text) {
  return ShowBox(parent_, QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No,
                 QMessageBox::Yes, QMessageBox::No) == QMessageBox::Yes;
}

bool TQtModalUi::ChooseFile(TOpenDialog& dialog) {
  TFileOpenDialog* box = nullptr;
  auto confirmCreate = [&box](const QString& path) {
    QMessageBox question(QMessageBox::Warning, box->windowTitle(),
                         path + "\nThis file does not exist.\nCreate the file?",
                         QMessageBox::Yes | QMessageBox::No, box);
    question.setTextFormat(Qt::PlainText);
    return question.exec() == QMessageBox::Yes;
  };
  auto reportMissingFolder = [&box](const QString& path) {
    QMessageBox warning(QMessageBox::Warning, box->windowTitle(),
                        path + "\nThe folder does not exist.\nCheck the path and try again.",
                        QMessageBox::Ok, box);
    warning.setTextFormat(Qt::PlainText);
    warning.exec();
  };
  TFileOpenDialog fileDialog(parent_, dialog, confirmCreate, reportMissingFolder);
  box = &fileDialog;
  if (fileDialog.exec() != QDialog::Accepted) return false;
  const QStringList files = fileDialog.selectedFiles();
  if (files.isEmpty()) return false;
  dialog.FileName = files.first().toStdString();
  return true;
}

int TQtModalUi::ShowModal(QDialog& window) {
  return window.exec();
}

}  // namespace tarnwick
