#include "batch/BatchSettings.h"

#include <sys/stat.h>

#include "app/AppPaths.h"
#include "app/IniFile.h"

namespace tarnwick::batch {

namespace {

constexpr const char* kEnvironmentName = "TARNWICK_CONNECT";

std::string Trim(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const std::size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

}  // namespace

std::optional<std::size_t> FirstBrokenSettingsLine(const std::string& text) {
  std::size_t number = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    ++number;
    std::size_t next = text.find('\n', pos);
    if (next == std::string::npos) next = text.size();
    std::string line = text.substr(pos, next - pos);
    pos = next + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.find(']') == std::string::npos) return number;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || Trim(line.substr(0, eq)).empty()) return number;
  }
  return std::nullopt;
}

std::string WindowSettingsPath(const std::string& programPath) {
  return SettingsFilesFor(FolderOfFile(programPath) + "Tarnwick").Read;
}

TConnectSource FindConnectString(
    const std::optional<std::string>& commandLine,
    const std::function<std::optional<std::string>(const char*)>& getEnv,
    const std::string& settingsPath, bool named) {
  TConnectSource source;
  if (commandLine) {
    source.ConnectString = *commandLine;
    source.Origin = "--connect";
    return source;
  }
  if (const auto value = getEnv(kEnvironmentName); value && !value->empty()) {
    source.ConnectString = *value;
    source.Origin = kEnvironmentName;
    return source;
  }

  source.Origin = settingsPath;
  const std::string hint =
      "; give the connection string with --connect or the environment variable "
      "TARNWICK_CONNECT, or name a settings file with --settings";
  const TSettingsText file = ReadSettingsText(settingsPath);
  if (file.Missing) {
    source.Error = named
                       ? "the settings file " + settingsPath + " does not exist"
                       : "no connection string: there is no settings file " + settingsPath +
                             " (the window writes it after its first successful connection)" + hint;
    return source;
  }
  if (file.Error) {
    source.Error = "cannot read the settings file " + settingsPath + ": " + *file.Error;
    return source;
  }
  if (const auto line = FirstBrokenSettingsLine(file.Text)) {
    source.Error = settingsPath + ":" + std::to_string(*line) +
                   ": broken line in the settings file: a line is blank, a comment (; or #), a "
                   "[section] or a key=value line";
    return source;
  }
  struct stat st {};
  if (::stat(settingsPath.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    source.Warnings.push_back("warning: the settings file " + settingsPath +
                              " holds a password and other users may read it; make it private "
                              "with: chmod 600 " +
                              settingsPath);
  }
  // The text checked above is the text read: the file is opened once.
  source.ConnectString = TIniFile::ValueIn(file.Text, "Connect", "String", "");
  if (source.ConnectString.empty()) {
    source.Error = "the settings file " + settingsPath +
                   " holds no connection string (section [Connect], key String)" + hint;
  }
  return source;
}

}  // namespace tarnwick::batch
