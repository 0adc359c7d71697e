#pragma once
// Names and paths that the program derives from its executable, its environment, its working
// directory and the texts of the main window. All texts are UTF-8; "character" means a Unicode
// code point.
#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick {

// The executable's path with its extension replaced by ".INI", or ".INI" appended when the file
// name has none. A leading "." of a file name does not start an extension.
std::string SettingsPathFor(const std::string& executablePath);

// The settings file of a program: the one its start-up reads and the one a successful connection
// writes.
struct TSettingsFiles {
  std::string Read;
  std::string Write;
  // Write lies in the user's settings folder, which is made before the write when it is missing.
  bool InUserFolder = false;
  // The file beside the program (SettingsPathFor), the same as Read and Write unless InUserFolder:
  // a setting that the user's file lacks is looked for here, where the administrator may preset
  // it for everyone.
  std::string Beside = {};
};

// The settings files of the program whose executable is executablePath; the window and
// tarnwick-export (with the window's executable beside it) both take theirs from here.
//   beside: SettingsPathFor(executablePath), the file beside the program;
//   user:   the file of the same name in the user's settings folder, $XDG_CONFIG_HOME/tarnwick/
//           ($HOME/.config/tarnwick/ when XDG_CONFIG_HOME is unset, empty or not an absolute
//           path; there is none when HOME is not an absolute path either).
// When the program's folder can be written (a build folder, an installation of the user's own)
// or there is no user folder, both are beside, as they always were. Otherwise (an installation
// for all users, whose folder only the administrator writes) Write is user, and Read is the
// first file that exists of user and beside (one the administrator put beside the programs for
// everyone), user when neither does. The environment is read when this is called.
TSettingsFiles SettingsFilesFor(const std::string& executablePath);

// The value of the process's environment variable `name`, or nothing when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

// Makes the folder of a settings file and the missing folders above it, each readable by its
// owner only (mode 0700): the file holds a password. True when the folder is there afterwards.
bool MakeSettingsFolder(const std::string& settingsPath);

// The process's working directory as the program shows it: without a closing "/", except the
// root "/". Empty when the directory cannot be determined (for example after it was removed).
std::string CurrentWorkingDirectory();
std::string WorkingDirectoryText(std::string directory);

// The folder of a file name: the name up to and including its last "/" (empty without one).
std::string FolderOfFile(const std::string& fileName);

// The first count characters of text, all of it when shorter.
std::string FirstCharacters(const std::string& text, std::size_t count);

// The DBF file that an import writes: folder + the first 8 characters of the table name + ".dbf".
std::string TargetFilePath(const std::string& folder, const std::string& tableName);

}  // namespace tarnwick
