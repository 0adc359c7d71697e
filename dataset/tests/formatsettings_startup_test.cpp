// The process-wide settings take the long time format from the user's locale at their first use
// and keep it afterwards. A test executable of its own, so that nothing has touched the settings
// before the test runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dataset/FieldText.h"
#include "dataset/FormatSettings.h"

// With LOCPATH set, glibc's newlocale keeps the search path it builds for its locale file cache
// for the life of the process; the leak checker of the sanitizer build would report it.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\n";
}

namespace tarnwick {
namespace {

TEST(FormatSettingsStartup, FirstUseReadsTheUserLocaleOnce) {
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) /
                                       ("tarnwick-startup-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string command =
      "localedef -i en_US -f UTF-8 '" + (folder / "en_US.UTF-8").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef could not build en_US.UTF-8";
  setenv("LOCPATH", folder.c_str(), 1);
  setenv("LC_ALL", "en_US.UTF-8", 1);

  const TFormatSettings& settings = FormatSettings();
  EXPECT_EQ(settings.LongTimeFormat, "hh:mm:ss ampm");
  EXPECT_EQ(settings.TimeAMString, "AM");
  EXPECT_EQ(settings.DecimalSeparator, '.');
  EXPECT_EQ(settings.ShortDateFormat, "dd.mm.yyyy");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2008, 8, 15, 14, 30, 5, 0)), "15.08.2008 02:30:05 PM");

  // A later change of the environment is not seen.
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(FormatSettings().LongTimeFormat, "hh:mm:ss ampm");

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace tarnwick
