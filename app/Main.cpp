#include "app/Main.h"

#include "dbf/dbf.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>

#include "app/Aboutfrm.h"
#include "app/AppPaths.h"
#include "app/AppTitle.h"
#include "app/CGauge.h"
#include "app/ClientOptIn.h"
#include "app/ExportSession.h"
#include "app/Helpfrm.h"
#include "app/IniFile.h"
#include "app/Memo.h"
#include "app/OraExportDatabase.h"
#include "base/Exception.h"
#include "oracle/Oracall.h"

namespace tarnwick {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QFont WindowFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

// The structure report is laid out in fixed columns, so the memo needs a fixed-pitch font.
QFont MemoFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  return font;
}

template <class Widget>
Widget* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* widget = new Widget(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A label keeps its position and takes the size of its caption. Where the platform's sans-serif
// font is wider than the room before the next control (roomRight), the label's font is narrowed
// so that the caption stays whole and nothing overlaps.
QLabel* PlaceLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                   int roomRight) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  label->adjustSize();
  const int room = roomRight - left;
  for (int attempt = 0; attempt < 8 && label->width() > room; ++attempt) {
    QFont narrower = label->font();
    const int stretch = (narrower.stretch() > 0 ? narrower.stretch() : 100);
    narrower.setStretch(std::max(50, stretch * room / label->width() - 1));
    label->setFont(narrower);
    label->adjustSize();
  }
  return label;
}

QPushButton* PlaceButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                         int width, int height) {
  auto* button = Place<QPushButton>(parent, name, left, top, width, height);
  button->setText(QString::fromUtf8(caption));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TMFEnvironment TMFEnvironment::ForExecutable(const std::string& executablePath) {
  TMFEnvironment environment;
  environment.ApplicationTitle = ApplicationTitleFromPath(executablePath);
  environment.Settings = SettingsFilesFor(executablePath);
  environment.WorkingDirectory = CurrentWorkingDirectory();
  return environment;
}

TMF::TMF(TMFEnvironment environment, QWidget* parent)
    : QWidget(parent),
      title_(std::move(environment.ApplicationTitle)),
      settings_(std::move(environment.Settings)),
      workingDirectory_(WorkingDirectoryText(std::move(environment.WorkingDirectory))),
      ui_(std::move(environment.Ui)) {
  if (!ui_) ui_ = std::make_unique<TQtModalUi>(this);
  if (!environment.Database) environment.Database = std::make_unique<TOraExportDatabase>();
  export_ = std::make_unique<TExportSession>(settings_.Write, std::move(environment.Database));
  export_->CreateSettingsFolder = settings_.InUserFolder;
  BuildControls();
  WireHandlers();
  // The DBF writer's one message (a memo file that cannot be created) is the window's message box.
  dbf_set_message_handler([this](const std::string& text) { ShowMessage(text); });
  Run("FormCreate", [this] { FormCreate(); });
}

TMF::~TMF() {
  dbf_set_message_handler(nullptr);
  // Focus changes while the children are torn down are no exits from the table box.
  ComboBox1->removeEventFilter(this);
}

void TMF::BuildControls() {
  setObjectName(QStringLiteral("MF"));
  setWindowTitle(QString::fromUtf8(Caption));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(WindowFont());
  setFixedSize(ClientWidth, ClientHeight);
  move(Left, Top);

  Label1 = PlaceLabel(this, "Label1", "Строка подключения", 16, 42, 132);
  Edit1 = Place<QLineEdit>(this, "Edit1", 136, 39, 505, 21);
  Button1 = PlaceButton(this, "Button1", "Подключиться", 655, 39, 193, 25);
  Label2 = PlaceLabel(this, "Label2", "Таблица для импорта", 16, 79, 132);
  ComboBox1 = Place<QComboBox>(this, "ComboBox1", 136, 75, 505, 21);
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  // A name stays as typed: a completion that ignored case would turn emp into the list's EMP
  // when the box is left, after the exit handler has composed the target from emp.
  if (QCompleter* completer = ComboBox1->completer()) {
    completer->setCaseSensitivity(Qt::CaseSensitive);
  }
  Button2 = PlaceButton(this, "Button2", "Прочитать структуру", 655, 75, 193, 25);
  Label3 = PlaceLabel(this, "Label3", "Сохранить в папке ", 16, 117, 132);
  SpeedButton1 = Place<QToolButton>(this, "SpeedButton1", 136, 115, 23, 22);
  SpeedButton1->setText(QStringLiteral("..."));
  SpeedButton1->setAutoRaise(true);
  SpeedButton1->setFocusPolicy(Qt::NoFocus);
  Edit2 = Place<QLineEdit>(this, "Edit2", 168, 115, 473, 21);
  Button4 = PlaceButton(this, "Button4", "Импорт", 655, 111, 193, 25);
  Button4->setEnabled(false);
  Memo1 = Place<TMemo>(this, "Memo1", 16, 144, 833, 401);
  Memo1->setFont(MemoFont());
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  Memo1->AddLine("");
  Button5 = PlaceButton(this, "Button5", "Помощь", 656, 3, 80, 25);
  Button3 = PlaceButton(this, "Button3", "О программе", 744, 3, 104, 25);
  CGauge1 = Place<TCGauge>(this, "CGauge1", 0, 568, 857, 25);
  StatusBar1 = Place<QStatusBar>(this, "StatusBar1", 0, 594, 862, 19);
  StatusBar1->setSizeGripEnabled(false);
  statusPanel_ = new QLabel(StatusBar1);
  statusPanel_->setObjectName(QStringLiteral("StatusBar1Panel0"));
  StatusBar1->addWidget(statusPanel_, 1);

  OpenDialog1.CreatePrompt = true;
  OpenDialog1.PathMustExist = true;
  OpenDialog1.NoValidate = true;
  OpenDialog1.HideReadOnly = true;
  OpenDialog1.EnableSizing = true;

  // The focus order; SpeedButton1, the labels, the gauge and the status bar take no focus.
  QWidget* const order[] = {Edit1, Button1, ComboBox1, Edit2,  Button2,
                            Memo1, Button4, Button3,   Button5};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TMF::WireHandlers() {
  connect(Button1, &QPushButton::clicked, this,
          [this] { Run("Button1Click", [this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this,
          [this] { Run("Button2Click", [this] { Button2Click(); }); });
  connect(Button4, &QPushButton::clicked, this,
          [this] { Run("Button4Click", [this] { Button4Click(); }); });
  connect(Button3, &QPushButton::clicked, this,
          [this] { Run("Button3Click", [this] { Button3Click(); }); });
  connect(Button5, &QPushButton::clicked, this,
          [this] { Run("Button5Click", [this] { Button5Click(); }); });
  connect(SpeedButton1, &QToolButton::clicked, this,
          [this] { Run("SpeedButton1Click", [this] { SpeedButton1Click(); }); });
  ComboBox1->installEventFilter(this);
}

bool TMF::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ComboBox1 && event->type() == QEvent::FocusOut) {
    // Opening the drop-down list or switching to another window is no exit from the control.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // The box handles its focus-out first, since its completion may still set the text then;
    // the exit handler must compose the target from the text that the analysis and the import
    // read.
    ComboBox1->event(event);
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
      Run("ComboBox1Exit", [this] { ComboBox1Exit(); });
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TMF::SetUi(std::unique_ptr<IModalUi> ui) {
  ui_ = ui ? std::move(ui) : std::make_unique<TQtModalUi>(this);
}

void TMF::ShowMessage(const std::string& text) {
  ui_->ShowMessage(title_, text);
}

std::string TMF::StatusText() const {
  return statusPanel_->text().toStdString();
}

void TMF::SetStatusText(const std::string& text) {
  statusPanel_->setText(Q(text));
}

std::string TMF::TableText() const {
  return ComboBox1->currentText().toStdString();
}

std::string TMF::TargetFolder() const {
  if (folderChosen_) return FolderOfFile(OpenDialog1.FileName);
  if (workingDirectory_.empty() || workingDirectory_.ends_with('/')) return workingDirectory_;
  return workingDirectory_ + "/";
}

void TMF::FormCreate() {
  // The value texts' settings of the export were made by the export session (see
  // UseExportFormatSettings).
  SetStatusText("Нет подключения к базе данных!");
  Edit1->setText(Q(TIniFile(settings_.Read).ReadString("Connect", "String", "")));
  Edit2->setText(Q(workingDirectory_));
  OpenDialog1.FileName = workingDirectory_;
}

void TMF::SpeedButton1Click() {
  if (!ui_->ChooseFile(OpenDialog1)) return;
  folderChosen_ = true;
  Edit2->setText(Q(TargetFilePath(TargetFolder(), TableText())));
}

void TMF::ComboBox1Exit() {
  Edit2->setText(Q(TargetFilePath(TargetFolder(), TableText())));
  Button4->setEnabled(false);
}

void TMF::Button1Click() {
  // The opt-in to newer clients is read at every connect, so that a changed settings file counts
  // without a restart (until a client has been loaded).
  const TClientOptIn optIn =
      FindClientOptIn(false, EnvironmentValue, {settings_.Read, settings_.Beside});
  if (optIn.Error) {
    ShowMessage(*optIn.Error);
    return;
  }
  AcceptNewerClient = optIn.Accept;
  // A client that cannot be used is not the server's refusal: after the window's own message its
  // text says what to change on the machine (a missing library, the version).
  if (!export_->Connect(*this, Edit1->text().toStdString()) && export_->ConnectErrorFromClient) {
    ShowMessage(export_->ConnectError);
  }
}

void TMF::Button2Click() {
  export_->Analyse(*this, TableText());
}

void TMF::Button4Click() {
  export_->Import(*this, Edit2->text().toStdString(), TableText());
}

void TMF::Button3Click() {
  TAboutF AboutF(this);
  ui_->ShowModal(AboutF);
}

void TMF::Button5Click() {
  THelpF HelpF(this);
  ui_->ShowModal(HelpF);
}

// ---- IExportView -----------------------------------------------------------------------------

void TMF::ClearMemo() {
  Memo1->ClearLines();
}

void TMF::AddMemoLine(const std::string& line) {
  Memo1->AddLine(line);
}

void TMF::ClearTableList() {
  const QString text = ComboBox1->currentText();
  ComboBox1->clear();
  ComboBox1->setEditText(text);
}

void TMF::ClearTableText() {
  ComboBox1->setEditText(QString());
}

void TMF::AddTable(const std::string& name) {
  // A name added to the list never changes what the box shows.
  const QString text = ComboBox1->currentText();
  ComboBox1->addItem(Q(name));
  if (ComboBox1->currentText() != text) ComboBox1->setEditText(text);
}

void TMF::SetImportEnabled(bool enabled) {
  Button4->setEnabled(enabled);
}

void TMF::SetGauge(int position) {
  CGauge1->SetProgress(position);
}

bool TMF::AskYesNo(const std::string& caption, const std::string& text) {
  return ui_->AskYesNo(caption, text);
}

}  // namespace tarnwick
