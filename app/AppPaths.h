#pragma once
// Names and paths that the program derives from its executable, its working directory and the
// texts of the main window. All texts are UTF-8; "character" means a Unicode code point.
#include <cstddef>
#include <string>

namespace tarnwick {

// The executable's file name up to its first ".", every character after the first in lower case
// ("/opt/bin/Tarnwick" and "TARNWICK.BIN" give "Tarnwick"). Captions the message boxes. Part of
// the window library (it lowers the case with Qt); everything else here is in the export library.
std::string ApplicationTitleFromPath(const std::string& executablePath);

// The executable's path with its extension replaced by ".INI", or ".INI" appended when the file
// name has none. A leading "." of a file name does not start an extension.
std::string SettingsPathFor(const std::string& executablePath);

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
