#pragma once
// Process-wide format settings. Every value-to-text conversion reads them at the moment it
// runs; the window sets them at start-up and the import run switches the short date format.
// They are unguarded: only the user-interface thread touches them.
#include <string>
#include <string_view>

namespace tarnwick {

struct TFormatSettings {
  char DecimalSeparator = '.';
  // Stands in for "/" in date-time patterns.
  char DateSeparator = '.';
  std::string ShortDateFormat = "dd.mm.yyyy";
  // Taken from the user's locale (LC_TIME); "H:mm:ss" in the C/POSIX locale.
  std::string LongTimeFormat = "H:mm:ss";
  // Shown by the "ampm" pattern token; from the same locale as the long time format.
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

// The one instance of the process. Its first use reads the long time format and the AM/PM
// texts from the user's LC_TIME locale (see UserTimeLocaleName); later changes of the
// environment are not seen.
TFormatSettings& FormatSettings();

// The locale name that governs LC_TIME: LC_ALL, else LC_TIME, else LANG (the first that is set
// and not empty), else "C".
std::string UserTimeLocaleName();

// Default settings with the long time format and AM/PM texts of the named locale. A locale that
// is C, POSIX, C.<codeset> or empty, or that is not installed, or whose time format cannot be
// expressed as a pattern, gives "H:mm:ss".
TFormatSettings FormatSettingsForLocale(const std::string& localeName);

// Turns a strftime time format (the locale's T_FMT) into a time pattern: %H -> HH, %k -> H,
// %I -> hh, %l -> h, %M -> mm after an hour and nn elsewhere, %S -> ss, %p/%P -> ampm, %T and %R
// expanded, %r expanded from ampmFormat (the locale's T_FMT_AMPM), %Z and %z dropped (a date-time
// value carries no zone), E/O modifiers ignored, surrounding blanks trimmed. Returns the empty
// text when the format holds a conversion it cannot express or literal text that the pattern
// language would read as a token.
std::string TimePatternFromStrftime(std::string_view timeFormat, std::string_view ampmFormat);

}  // namespace tarnwick
