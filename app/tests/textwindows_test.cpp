// The About and Help windows: their texts line for line, their look, and how the main window's
// buttons open a new one on every press, modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/Aboutfrm.h"
#include "app/Helpfrm.h"
#include "app/Main.h"
#include "app/Memo.h"
#include "app/ScriptedModalUi.h"
#include "app/tests/QtTestEnvironment.h"

namespace tarnwick {
namespace {

using Call = TScriptedModalUi::Call;
using Kind = TScriptedModalUi::Kind;

const std::vector<std::string> kAboutText = {
    "Программа предназначена для  выгрузки информации из таблиц сервера Oracle в формат dbf.",
    "",
    "Типы полей в Oracle, которые могут быть импортированы: NUMBER, DATE и VARCHAR2 (размерностью "
    "до 255)",
    "",
    "Программа может создать файл в формате dbf с количеством полей  не более 255.",
    "",
    "",
    "",
    "По вопросам технического характера, а так же по вопросам дальнейшего развития программы "
    "обращайтесь",
    "",
    "по электронной почте  tarnwick@example.org",
};

const std::vector<std::string> kHelpText = {
    "Tarnwick   Версия 1.0 от 24.03.2008",
    "",
    "1. В строке подключения надо указать логип и пароль пользователя, а так же сервер для "
    "подключения,",
    "так, как он обозначен в файле tnsnames.ora, например  sctott/lemur@server.",
    "Затем надо нажать кнопку Подключиться.",
    "Информация о строке подключения будет сохранена в ini файле.",
    "",
    "2. После установления соединения с сервером Oracle будет сформирован список",
    "таблиц указанного пользователя, в котором необходимо выбрать нужную таблицу.",
    "Сохранить вновь получаемый файл DBF можно в любом каталоге. По умолчанию",
    "предлагается текущий.",
    "",
    "3. Необходимо прочитать структуру выбранной таблицы, чтобы понять, можно ли ее импортировать "
    "в формат DBF.",
    "Для этого надо нажать кнопку Прочитать структуру.",
    "",
    "4. Если таблица может быть выгружена в формат DBF, кнопка Импорт станет доступной.",
    "Для импорта данных надо нажать кнопку Импорт.",
};

struct WindowRow {
  const char* name;
  const char* caption;
  QSize client;
  QRect text;
  bool readOnly;
  QRect button;
  const std::vector<std::string>* lines;
};

const WindowRow kWindows[] = {
    {"AboutF", "О программе", {617, 220}, {16, 9, 585, 171}, true, {272, 189, 75, 25}, &kAboutText},
    {"HelpF", "Помощь", {640, 293}, {24, 11, 593, 233}, false, {286, 259, 75, 25}, &kHelpText},
};

std::unique_ptr<TTextWindow> Make(const WindowRow& row) {
  if (std::string(row.name) == "AboutF") return std::make_unique<TAboutF>(nullptr);
  return std::make_unique<THelpF>(nullptr);
}

TEST(TextWindowTest, CaptionBoundsTextAndLook) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.name);
    const auto window = Make(row);
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->objectName(), row.name);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(row.caption));
    EXPECT_EQ(window->size(), row.client);
    EXPECT_EQ(window->minimumSize(), row.client);
    EXPECT_EQ(window->maximumSize(), row.client);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(QFontInfo(window->font()).pixelSize(), 11);

    EXPECT_EQ(window->Memo1->geometry(), row.text);
    EXPECT_EQ(window->Memo1->isReadOnly(), row.readOnly);
    EXPECT_EQ(window->Memo1->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(window->Memo1->palette().color(QPalette::Base),
              QApplication::palette("QMenu").color(QPalette::Window));
    EXPECT_EQ(window->Memo1->Lines(), *row.lines);
    EXPECT_EQ(window->TextLines(), *row.lines);

    EXPECT_EQ(window->Button1->text(), QString::fromUtf8("Закрыть"));
    EXPECT_EQ(window->Button1->geometry(), row.button);

    // Every line stays one line, so the whole text is inside the area.
    const QFontMetrics metrics(window->Memo1->font());
    for (const std::string& line : *row.lines) {
      EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(line)), row.text.width() - 8)
          << line;
    }
    EXPECT_LE(metrics.lineSpacing() * static_cast<int>(row.lines->size()) + 8, row.text.height());

    // Centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(window->frameGeometry().center().y() - screen.center().y()), 1);
  }
}

TEST(TextWindowTest, CloseButtonEndsTheModalDisplayWithOk) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.name);
    const auto window = Make(row);
    // The real modal loop of the Qt interaction, ended by a click once the window shows.
    QTimer::singleShot(0, [&] { QTest::mouseClick(window->Button1, Qt::LeftButton); });
    TQtModalUi ui(nullptr);
    EXPECT_EQ(ui.ShowModal(*window), QDialog::Accepted);
    EXPECT_FALSE(window->isVisible());
  }
}

class TextWindowButtonsTest : public ::testing::Test {
 protected:
  std::unique_ptr<TMF> Start() {
    TMFEnvironment environment;
    environment.ApplicationTitle = "Tarnwick";
    environment.Settings = {"/nonexistent/Tarnwick.INI", "/nonexistent/Tarnwick.INI"};
    environment.WorkingDirectory = "/srv/export";
    auto ui = std::make_unique<TScriptedModalUi>();
    ui_ = ui.get();
    environment.Ui = std::move(ui);
    return std::make_unique<TMF>(std::move(environment));
  }
  TScriptedModalUi* ui_ = nullptr;
};

TEST_F(TextWindowButtonsTest, EachPressShowsANewWindowOwnedByTheMainWindow) {
  auto mf = Start();
  struct Case {
    QPushButton* TMF::*button;
    const char* caption;
    const char* name;
    const std::vector<std::string>* lines;
  };
  const Case cases[] = {{&TMF::Button3, "О программе", "AboutF", &kAboutText},
                        {&TMF::Button5, "Помощь", "HelpF", &kHelpText}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->ClearCalls();
    std::vector<const QDialog*> shown;
    for (int press = 0; press < 2; ++press) {
      ui_->ScriptWindow([&](QDialog& window) {
        shown.push_back(&window);
        EXPECT_EQ(window.parentWidget(), mf.get());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(static_cast<TTextWindow&>(window).Memo1->Lines(), *c.lines);
        static_cast<TTextWindow&>(window).Button1->click();
      });
      ((*mf).*c.button)->click();
    }
    EXPECT_EQ(ui_->Calls(), (std::vector<Call>{{Kind::Window, c.caption, c.name},
                                               {Kind::Window, c.caption, c.name}}));
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(mf->findChildren<QDialog*>().isEmpty()) << "the window is gone when it closes";
  }
}

TEST_F(TextWindowButtonsTest, HelpEditsDoNotSurviveTheWindow) {
  auto mf = Start();
  ui_->ScriptWindow([](QDialog& window) {
    auto& help = static_cast<TTextWindow&>(window);
    help.Memo1->setFocus();
    help.Memo1->moveCursor(QTextCursor::Start);
    QTest::keyClicks(help.Memo1, "changed ");
    EXPECT_EQ(help.Memo1->Lines().front(), "changed Tarnwick   Версия 1.0 от 24.03.2008");
    help.Button1->click();
  });
  mf->Button5->click();
  ui_->ScriptWindow([](QDialog& window) {
    auto& help = static_cast<TTextWindow&>(window);
    EXPECT_EQ(help.Memo1->Lines(), kHelpText);
    help.Button1->click();
  });
  mf->Button5->click();
  EXPECT_EQ(ui_->PendingAnswers(), 0u);
  EXPECT_EQ(ui_->Calls().size(), 2u);
}

TEST_F(TextWindowButtonsTest, AboutTextCannotBeEdited) {
  auto mf = Start();
  ui_->ScriptWindow([](QDialog& window) {
    auto& about = static_cast<TTextWindow&>(window);
    about.Memo1->setFocus();
    QTest::keyClicks(about.Memo1, "typed");
    EXPECT_EQ(about.Memo1->Lines(), kAboutText);
    about.Button1->click();
  });
  mf->Button3->click();
  EXPECT_EQ(ui_->Calls().size(), 1u);
}

TEST_F(TextWindowButtonsTest, AnUnscriptedWindowFailsLoudly) {
  auto mf = Start();
  mf->Button3->click();
  ASSERT_EQ(ui_->Calls().size(), 2u);
  EXPECT_EQ(ui_->Calls()[1],
            (Call{Kind::Error, "Tarnwick", "No scripted action for the window AboutF."}));
}

}  // namespace
}  // namespace tarnwick
