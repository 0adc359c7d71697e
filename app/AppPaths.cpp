#include "app/AppPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/Utf8.h"

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

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

TSettingsFiles SettingsFilesFor(const std::string& executablePath) {
  const std::string beside = SettingsPathFor(executablePath);
  auto absolute = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return value;
  };
  std::optional<std::string> config = absolute("XDG_CONFIG_HOME");
  if (!config) {
    if (const auto home = absolute("HOME")) config = *home + "/.config";
  }
  const std::string folder = FolderOfFile(executablePath);
  if (!config || ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0) {
    return {beside, beside, false, beside};
  }
  while (!config->empty() && config->back() == '/') config->pop_back();
  const std::string user = *config + "/tarnwick/" + beside.substr(FileNameStart(beside));
  auto exists = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  };
  const bool readBeside = !exists(user) && exists(beside);
  return {readBeside ? beside : user, user, true, beside};
}

bool MakeSettingsFolder(const std::string& settingsPath) {
  const std::string folder = FolderOfFile(settingsPath);
  // Each folder from the top down; one that exists already is left as it is.
  for (std::size_t end = folder.find('/', 1); end != std::string::npos;
       end = folder.find('/', end + 1)) {
    const std::string part = folder.substr(0, end);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return folder.empty() || (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
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
  return std::string(utf8::Truncate(text, count));
}

std::string TargetFilePath(const std::string& folder, const std::string& tableName) {
  return folder + FirstCharacters(tableName, 8) + ".dbf";
}

}  // namespace tarnwick
