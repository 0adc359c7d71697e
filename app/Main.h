#pragma once
// The main window MF: its controls, the start-up sequence and the handlers of its controls.
//
// Every handler is a public method so that tests and the batch front end call it directly; the
// controls call it through Run(), which hands whatever escapes to the default error display.
// All modal interaction goes through Ui(), which tests replace with scripted answers.
#include <QWidget>
#include <memory>
#include <string>

#include "app/AppPaths.h"
#include "app/ErrorDisplay.h"
#include "app/ExportDatabase.h"
#include "app/ExportView.h"
#include "app/ModalUi.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QToolButton;

namespace tarnwick {

class TCGauge;
class TExportSession;
class TMemo;

// What the window takes from its process: the names derived from the executable, the working
// directory at start-up and the modal interaction.
struct TMFEnvironment {
  std::string ApplicationTitle;
  // The settings file that start-up reads and the one a successful connection writes.
  TSettingsFiles Settings;
  std::string WorkingDirectory;  // as shown: no closing "/" except the root
  std::unique_ptr<IModalUi> Ui;  // the Qt dialogs when empty
  // The session and query components that the actions work with (OraSession1, SmartQuery1);
  // the Oracle ones when empty.
  std::unique_ptr<IExportDatabase> Database;

  // The environment of the running program whose executable is executablePath.
  static TMFEnvironment ForExecutable(const std::string& executablePath);
};

// The window only asks and shows: the work of its actions is done by a TExportSession, to which
// the window is the view.
class TMF : public QWidget, public IExportView {
 public:
  static constexpr const char* Caption =
      "Импорт данных из таблицы Oracle в формат DBF.     Версия 1.1 от 15.08.2008";
  static constexpr int ClientWidth = 862;
  static constexpr int ClientHeight = 613;
  static constexpr int Left = 192;
  static constexpr int Top = 107;

  // Builds the controls, then runs FormCreate.
  explicit TMF(TMFEnvironment environment, QWidget* parent = nullptr);
  ~TMF() override;

  // Controls, owned by the window.
  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton* Button1;
  QLabel* Label2;
  QComboBox* ComboBox1;
  QPushButton* Button2;
  QLabel* Label3;
  QToolButton* SpeedButton1;
  QLineEdit* Edit2;
  QPushButton* Button4;
  TMemo* Memo1;
  QPushButton* Button5;
  QPushButton* Button3;
  TCGauge* CGauge1;
  QStatusBar* StatusBar1;
  TOpenDialog OpenDialog1;
  // The actions' work, with the session component OraSession1, the query component SmartQuery1
  // and the results of the last structure analysis.
  TExportSession& Export() noexcept { return *export_; }

  // Start-up: format settings, status text, the remembered connection string, the target folder.
  void FormCreate();
  // Lets the user choose the target folder through OpenDialog1 and composes Edit2 from it.
  void SpeedButton1Click();
  // Leaving the table combo box: Edit2 gets the target file of the table named there and the
  // import waits for a new structure analysis.
  void ComboBox1Exit();
  void Button1Click();  // connect and list the tables
  void Button2Click();  // analyse the table's structure
  void Button4Click();  // import the table
  void Button3Click();  // About window
  void Button5Click();  // Help window

  // Runs one handler; an error escaping it is shown by the default error display.
  template <class Handler>
  void Run(const std::string& action, Handler&& handler) noexcept {
    RunGuarded(*ui_, title_, action, std::forward<Handler>(handler));
  }

  const std::string& ApplicationTitle() const noexcept { return title_; }
  const TSettingsFiles& Settings() const noexcept { return settings_; }
  const std::string& WorkingDirectory() const noexcept { return workingDirectory_; }
  IModalUi& Ui() noexcept { return *ui_; }
  void SetUi(std::unique_ptr<IModalUi> ui);

  // The application's message box: captioned with the application title, one OK, no icon.
  void ShowMessage(const std::string& text) override;

  // The text of the status bar's one panel.
  std::string StatusText() const;
  void SetStatusText(const std::string& text) override;

  // The rest of what the actions show and ask (IExportView).
  void ClearMemo() override;
  void AddMemoLine(const std::string& line) override;
  void ClearTableList() override;
  void ClearTableText() override;
  void AddTable(const std::string& name) override;
  void SetImportEnabled(bool enabled) override;
  void SetGauge(int position) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;

  // The table name as typed or chosen in ComboBox1.
  std::string TableText() const;
  // Where the target file goes: the folder of the file last chosen in OpenDialog1, or before any
  // choice the working directory at start-up; always with a closing "/".
  std::string TargetFolder() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void WireHandlers();

  std::string title_;
  TSettingsFiles settings_;
  std::string workingDirectory_;
  std::unique_ptr<IModalUi> ui_;
  std::unique_ptr<TExportSession> export_;
  QLabel* statusPanel_ = nullptr;
  bool folderChosen_ = false;
};

}  // namespace tarnwick
