#include "app/AppTitle.h"

#include <QString>

#include "app/AppPaths.h"

namespace tarnwick {

std::string ApplicationTitleFromPath(const std::string& executablePath) {
  std::string name = executablePath.substr(FolderOfFile(executablePath).size());
  name = name.substr(0, name.find('.'));
  const QString title = QString::fromStdString(name);
  if (title.isEmpty()) return {};
  // The first character is the first code point, which may be a surrogate pair in UTF-16.
  const qsizetype firstLength = title.at(0).isHighSurrogate() && title.size() > 1 ? 2 : 1;
  return (title.left(firstLength) + title.mid(firstLength).toLower()).toStdString();
}

}  // namespace tarnwick
