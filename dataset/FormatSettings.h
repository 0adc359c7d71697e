#pragma once
// Process-wide format settings. Every value-to-text conversion reads them at the moment it
// runs; the window sets them at start-up and the import run switches the short date format.
// They are unguarded: only the user-interface thread touches them.
#include <string>

namespace tarnwick {

struct TFormatSettings {
  char DecimalSeparator = '.';
  char DateSeparator = '.';
  std::string ShortDateFormat = "dd.mm.yyyy";
  // Taken from the user's locale (LC_TIME); "H:mm:ss" in the C/POSIX locale.
  std::string LongTimeFormat = "H:mm:ss";
};

// The one instance of the process.
TFormatSettings& FormatSettings();

}  // namespace tarnwick
