#include "app/AppPaths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tarnwick {

namespace {

std::size_t FileNameStart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string SettingsPathFor(const std::string& executablePath) {
  const std::size_t nameStart = FileNameStart(executablePath);
  const std::size_t dot = executablePath.rfind('.');
  if (dot != std::string::npos && dot > nameStart) {
    return executablePath.substr(0, dot) + ".INI";
  }
  return executablePath + ".INI";
}

std::string CurrentWorkingDirectory() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return WorkingDirectoryText(buffer.data());
}

std::string WorkingDirectoryText(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

std::string FolderOfFile(const std::string& fileName) {
  return fileName.substr(0, FileNameStart(fileName));
}

std::string FirstCharacters(const std::string& text, std::size_t count) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == count) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

std::string TargetFilePath(const std::string& folder, const std::string& tableName) {
  return folder + FirstCharacters(tableName, 8) + ".dbf";
}

}  // namespace tarnwick
