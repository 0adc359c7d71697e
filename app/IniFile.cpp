#include "app/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "app/AppPaths.h"
#include "base/Exception.h"

namespace tarnwick {

namespace {

// One physical line of the file: its bytes as stored (terminator included) and what they mean.
struct IniLine {
  enum class Kind { Other, Section, Key };
  std::string raw;
  Kind kind = Kind::Other;
  std::string name;   // section or key name, blanks trimmed
  std::string value;  // key value, blanks trimmed
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(std::string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return std::string(s.substr(begin, end - begin));
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

IniLine ParseLine(std::string raw, bool first) {
  IniLine line;
  line.raw = std::move(raw);
  std::string_view content = line.raw;
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) {
    content.remove_suffix(1);
  }
  if (first && content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  const std::string text = Trim(content);
  if (text.empty() || text[0] == ';' || text[0] == '#') return line;
  if (text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close != std::string::npos) {
      line.kind = IniLine::Kind::Section;
      line.name = Trim(std::string_view(text).substr(1, close - 1));
    }
    return line;
  }
  const std::size_t eq = text.find('=');
  if (eq != std::string::npos) {
    line.kind = IniLine::Kind::Key;
    line.name = Trim(std::string_view(text).substr(0, eq));
    line.value = Trim(std::string_view(text).substr(eq + 1));
  }
  return line;
}

// The file's contents, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  TSettingsText file = ReadSettingsText(path);
  if (file.Error) return std::nullopt;
  return std::move(file.Text);
}

std::string FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

std::string TooLarge(off_t size) {
  return "it is larger than 1 MiB (" + std::to_string(static_cast<long long>(size)) +
         " bytes); a settings file holds a few lines";
}

std::vector<IniLine> SplitLines(const std::string& contents) {
  std::vector<IniLine> lines;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    std::size_t next = contents.find('\n', pos);
    next = (next == std::string::npos) ? contents.size() : next + 1;
    lines.push_back(ParseLine(contents.substr(pos, next - pos), lines.empty()));
    pos = next;
  }
  return lines;
}

bool EndsWithNewline(const std::string& s) {
  return !s.empty() && s.back() == '\n';
}

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Close(); }
  int get() const noexcept { return fd_; }
  bool Close() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The file that a write really replaces: the target of a symbolic link, so that the link stays.
std::string ResolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

// Writes contents to a new file beside path and renames it over path.
bool ReplaceFile(const std::string& path, const std::string& contents) {
  const std::string target = ResolveTarget(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;

  std::string temp = target + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));  // created with mode 0600
  if (fd.get() < 0) return false;
  bool ok = true;
  if (exists) ok = ::fchmod(fd.get(), existing.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool HasLineBreak(const std::string& s) {
  return s.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

TSettingsText ReadSettingsText(const std::string& path) {
  TSettingsText result;
  auto fail = [&](std::string reason) {
    result.Error = std::move(reason);
    result.Text.clear();
    return result;
  };
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    result.Missing = errno == ENOENT;
    return fail(std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) return fail(FileKind(st.st_mode));
  if (static_cast<std::uintmax_t>(st.st_size) > MaxSettingsFileSize)
    return fail(TooLarge(st.st_size));
  // Without blocking: what is there now may be another file than the one just looked at.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    result.Missing = errno == ENOENT;
    return fail(std::strerror(errno));
  }
  if (::fstat(fd.get(), &st) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail(FileKind(st.st_mode));
  if (static_cast<std::uintmax_t>(st.st_size) > MaxSettingsFileSize)
    return fail(TooLarge(st.st_size));
  // A file that grows while it is read still gives no more than the limit and one byte.
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(std::strerror(errno));
    if (n == 0) break;
    result.Text.append(buffer, static_cast<std::size_t>(n));
    if (result.Text.size() > MaxSettingsFileSize) {
      return fail(TooLarge(static_cast<off_t>(result.Text.size())));
    }
  }
  return result;
}

std::string TIniFile::ValueIn(const std::string& contents, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  std::string result = defaultValue;
  bool inSection = false;
  for (const IniLine& line : SplitLines(contents)) {
    if (line.kind == IniLine::Kind::Section) {
      if (inSection) break;
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == IniLine::Kind::Key && SameName(line.name, key)) {
      result = line.value;
      break;
    }
  }
  return FirstCharacters(result, MaxValueLength);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  const auto contents = ReadWholeFile(path_);
  return ValueIn(contents ? *contents : std::string(), section, key, defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) const {
  const std::string trimmedKey = Trim(key);
  const std::string trimmedSection = Trim(section);
  const bool acceptable = !HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value) &&
                          section.find(']') == std::string::npos &&
                          key.find('=') == std::string::npos && !trimmedKey.empty() &&
                          !trimmedKey.starts_with(';') && !trimmedKey.starts_with('#') &&
                          !trimmedKey.starts_with('[');
  if (!acceptable) throw Exception("Unable to write to " + path_);

  std::string contents;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    auto existing = ReadWholeFile(path_);
    if (!existing) throw Exception("Unable to write to " + path_);
    contents = std::move(*existing);
  }
  std::vector<IniLine> lines = SplitLines(contents);
  const std::string eol = contents.find("\r\n") != std::string::npos ? "\r\n" : "\n";

  // Locate the first matching section, the key inside it and the last line of its content.
  std::optional<std::size_t> sectionLine;
  std::optional<std::size_t> keyLine;
  std::size_t lastContentLine = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const IniLine& line = lines[i];
    if (line.kind == IniLine::Kind::Section) {
      if (sectionLine) break;
      if (SameName(line.name, trimmedSection)) {
        sectionLine = i;
        lastContentLine = i;
      }
    } else if (sectionLine) {
      if (line.kind == IniLine::Kind::Key && !keyLine && SameName(line.name, trimmedKey)) {
        keyLine = i;
      }
      if (line.kind == IniLine::Kind::Key) lastContentLine = i;
    }
  }

  std::string result;
  if (keyLine) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i != *keyLine) {
        result += lines[i].raw;
        continue;
      }
      const IniLine& old = lines[i];
      const std::size_t eq = old.raw.find('=');
      const bool crlf = old.raw.ends_with("\r\n");
      const bool lf = !crlf && old.raw.ends_with('\n');
      // The key keeps its spelling and the blanks before "=" as they were in the file.
      result += old.raw.substr(0, eq + 1) + value + (crlf ? "\r\n" : lf ? "\n" : "");
    }
  } else if (sectionLine) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      result += lines[i].raw;
      if (i == lastContentLine) {
        if (!EndsWithNewline(lines[i].raw)) result += eol;
        result += trimmedKey + "=" + value + eol;
      }
    }
  } else {
    result = contents;
    if (!result.empty() && !EndsWithNewline(result)) result += eol;
    if (!result.empty()) result += eol;
    result += "[" + trimmedSection + "]" + eol + trimmedKey + "=" + value + eol;
  }
  if (!ReplaceFile(path_, result)) throw Exception("Unable to write to " + path_);
}

}  // namespace tarnwick
