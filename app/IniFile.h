#pragma once
// The settings file: a plain INI file of "[section]" headers and "key=value" lines.
//
// Sections and keys are matched ignoring ASCII case; the first matching section and, inside it,
// the first matching key win. Lines starting with ";" or "#" are comments. A read never fails: a
// missing or unreadable file (also one that ReadSettingsText refuses: no regular file, or over
// 1 MiB), section or key gives the default. A write changes only the line of
// its key (or adds the section or the key) and keeps every other line byte for byte.
#include <cstddef>
#include <optional>
#include <string>

namespace tarnwick {

// The contents of a settings file, or why it cannot be read. Only a regular file (or a link to
// one) of at most MaxSettingsFileSize bytes is read: a FIFO, a device or a folder is refused
// before anything could block on it (the file is checked, then opened without blocking and
// checked again), and so is a larger file, before it is read into memory.
struct TSettingsText {
  std::string Text;
  bool Missing = false;              // there is no such file (Error says so too)
  std::optional<std::string> Error;  // the reason, as a clause: "it is a FIFO", ...
};
inline constexpr std::size_t MaxSettingsFileSize = 1024 * 1024;
TSettingsText ReadSettingsText(const std::string& path);

class TIniFile {
 public:
  // A read yields at most this many characters (UTF-8 code points), the default included.
  static constexpr std::size_t MaxValueLength = 2047;

  explicit TIniFile(std::string path) : path_(std::move(path)) {}

  const std::string& FileName() const noexcept { return path_; }

  // The value of key in section, without the blanks around it, cut to MaxValueLength characters.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;

  // The value that ReadString gives for a file with these contents.
  static std::string ValueIn(const std::string& contents, const std::string& section,
                             const std::string& key, const std::string& defaultValue);

  // Stores value under section/key, creating the file, the section or the key when missing.
  // The file is replaced atomically (a new file renamed over the old one), so an interrupted
  // write never leaves half a settings file. A file created here is readable and writable by its
  // owner only (it holds a password); an existing file keeps its mode. A section, key or value
  // that would break the line layout (line breaks, "]" in a section, "=" in a key, an empty key)
  // is refused. Raises Exception "Unable to write to <path>" on every failure.
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) const;

 private:
  std::string path_;
};

}  // namespace tarnwick
