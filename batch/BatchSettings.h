#pragma once
// Where tarnwick-export takes its connection string from: the command line, the environment, or
// the window's settings file, which it reads with the window's own rules and never writes.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::batch {

// The settings file that the window beside this program reads: the window's rule
// (SettingsFilesFor) applied to the window's executable there, so Tarnwick.INI in the program's
// folder, or the user's $XDG_CONFIG_HOME/tarnwick/Tarnwick.INI when that folder cannot be written
// (the one beside the program while the user has none).
std::string WindowSettingsPath(const std::string& programPath);

// The number (from 1) of the first line of a settings file's text that the settings file's
// reader cannot place: neither blank, a comment (";" or "#"), a "[section]" nor a "key=value"
// line with a key. Nothing when every line has its place.
std::optional<std::size_t> FirstBrokenSettingsLine(const std::string& text);

// The result of looking for the connection string.
struct TConnectSource {
  std::string ConnectString;          // empty when Error is set
  std::string Origin;                 // "--connect", "TARNWICK_CONNECT" or the settings path
  std::vector<std::string> Warnings;  // shown on standard error, the export goes on
  std::optional<std::string> Error;   // the export cannot go on (exit status kNoSettings)
};

// The connection string from the first source that gives one: `commandLine` (--connect), the
// environment variable TARNWICK_CONNECT (when set and not empty), the settings file
// (`settingsPath`, which the user named with --settings when `named` is true).
//
// The settings file is checked before it is used: a file that cannot be read (no permission, a
// folder, a FIFO or anything but a regular file, larger than 1 MiB, missing when named) or that
// holds a line which is neither blank, a comment, a
// "[section]" nor a "key=value" line is an error naming the file (and the line); a file that the
// group or others may read gives a warning. A file without the key is an error as well, since
// nothing else gives the string then.
TConnectSource FindConnectString(
    const std::optional<std::string>& commandLine,
    const std::function<std::optional<std::string>(const char*)>& getEnv,
    const std::string& settingsPath, bool named);

}  // namespace tarnwick::batch
