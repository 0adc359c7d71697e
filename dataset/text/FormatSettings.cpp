#include "dataset/text/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <memory>
#include <type_traits>

#include "base/Utf8.h"

namespace tarnwick {

namespace {

struct LocaleDeleter {
  void operator()(locale_t locale) const { freelocale(locale); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

bool IsCLocaleName(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// Characters that the pattern language reads as (the start of) a token rather than literally.
bool IsPatternLetter(char c) {
  return std::string_view("ymdhHnsaA/").find(c) != std::string_view::npos;
}

class TimePatternBuilder {
 public:
  explicit TimePatternBuilder(std::string_view ampmFormat) : ampmFormat_(ampmFormat) {}

  bool Append(std::string_view format, int depth) {
    for (size_t i = 0; i < format.size(); ++i) {
      const char c = format[i];
      if (c != '%') {
        if (IsPatternLetter(c)) return false;
        pattern_ += c;
        continue;
      }
      if (++i == format.size()) return false;
      char conversion = format[i];
      if (conversion == 'E' || conversion == 'O') {
        if (++i == format.size()) return false;
        conversion = format[i];
      }
      switch (conversion) {
        case 'H':
          Hour("HH");
          break;
        case 'k':
          Hour("H");
          break;
        case 'I':
          Hour("hh");
          break;
        case 'l':
          Hour("h");
          break;
        case 'M':
          Token(afterHour_ ? "mm" : "nn");
          break;
        case 'S':
          Token("ss");
          break;
        case 'p':
        case 'P':
          Token("ampm");
          break;
        case 'T':
          Hour("HH");
          pattern_ += ':';
          Token("mm");
          pattern_ += ':';
          Token("ss");
          break;
        case 'R':
          Hour("HH");
          pattern_ += ':';
          Token("mm");
          break;
        case 'r':
          if (depth > 0) return false;
          if (!Append(ampmFormat_.empty() ? "%I:%M:%S %p" : ampmFormat_, depth + 1)) return false;
          break;
        case 'Z':
        case 'z':
          break;
        case 't':
        case 'n':
          pattern_ += ' ';
          break;
        case '%':
          pattern_ += '%';
          break;
        default:
          return false;
      }
    }
    return true;
  }

  std::string Result() const {
    const size_t first = pattern_.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const size_t last = pattern_.find_last_not_of(' ');
    return pattern_.substr(first, last - first + 1);
  }

 private:
  void Hour(const char* token) {
    pattern_ += token;
    afterHour_ = true;
  }
  void Token(const char* token) {
    pattern_ += token;
    afterHour_ = false;
  }

  std::string_view ampmFormat_;
  std::string pattern_;
  bool afterHour_ = false;
};

}  // namespace

std::string TimePatternFromStrftime(std::string_view timeFormat, std::string_view ampmFormat) {
  TimePatternBuilder builder(ampmFormat);
  if (!builder.Append(timeFormat, 0)) return {};
  std::string pattern = builder.Result();
  // A pattern without any time field would print nothing useful.
  if (pattern.find_first_of("hHns") == std::string::npos) return {};
  return pattern;
}

std::string UserTimeLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

TFormatSettings FormatSettingsForLocale(const std::string& localeName) {
  TFormatSettings settings;
  if (IsCLocaleName(localeName)) return settings;
  LocalePtr locale(newlocale(LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(nullptr)));
  if (!locale) return settings;
  const std::string pattern = TimePatternFromStrftime(nl_langinfo_l(T_FMT, locale.get()),
                                                      nl_langinfo_l(T_FMT_AMPM, locale.get()));
  const std::string am = nl_langinfo_l(AM_STR, locale.get());
  const std::string pm = nl_langinfo_l(PM_STR, locale.get());
  // Texts in a legacy codeset would end up as broken UTF-8 in every date-time text.
  if (pattern.empty() || !utf8::IsValid(pattern) || !utf8::IsValid(am) || !utf8::IsValid(pm))
    return settings;
  settings.LongTimeFormat = pattern;
  settings.TimeAMString = am;
  settings.TimePMString = pm;
  return settings;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = FormatSettingsForLocale(UserTimeLocaleName());
  return settings;
}

}  // namespace tarnwick
