#include "app/Aboutfrm.h"

namespace tarnwick {

std::vector<std::string> TAboutF::Text() {
  return {
      "Программа предназначена для  выгрузки информации из таблиц сервера Oracle в формат dbf.",
      "",
      "Типы полей в Oracle, которые могут быть импортированы: NUMBER, DATE и VARCHAR2 "
      "(размерностью до 255)",
      "",
      "Программа может создать файл в формате dbf с количеством полей  не более 255.",
      "",
      "",
      "",
      "По вопросам технического характера, а так же по вопросам дальнейшего развития программы "
      "обращайтесь",
      "",
      std::string("по электронной почте  ") + ContactAddress,
  };
}

TAboutF::TAboutF(QWidget* owner)
    : TTextWindow(
          owner, {"AboutF", "О программе", {617, 220}, {16, 9, 585, 171}, true, {272, 189, 75, 25}},
          Text()) {}

}  // namespace tarnwick
