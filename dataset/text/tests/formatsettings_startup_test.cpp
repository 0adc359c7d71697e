// The process-wide settings take the long time format from the user's locale at their first use
// and keep it afterwards. A test executable of its own, so that nothing has touched the settings
// before the test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dataset/text/FieldText.h"
#include "dataset/text/FormatSettings.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

// With LOCPATH set, glibc's newlocale keeps the search path it builds for its locale file cache
// for the life of the process; the leak checker of the sanitizer build would report it.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:__argz_add_sep\n";
}

namespace tarnwick {
namespace {

TEST(FormatSettingsStartup, FirstUseReadsTheUserLocaleOnce) {
  const testsupport::ScratchDir folder("tarnwick-startup");
  const std::string command = "localedef -i en_US -f UTF-8 '" +
                              (folder.Path() / "en_US.UTF-8").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef could not build en_US.UTF-8";
  const testsupport::ScopedEnvVar locpath("LOCPATH", folder.Path().string());
  const testsupport::ScopedEnvVar lcAll("LC_ALL", "en_US.UTF-8");

  const TFormatSettings& settings = FormatSettings();
  EXPECT_EQ(settings.LongTimeFormat, "hh:mm:ss ampm");
  EXPECT_EQ(settings.TimeAMString, "AM");
  EXPECT_EQ(settings.DecimalSeparator, '.');
  EXPECT_EQ(settings.ShortDateFormat, "dd.mm.yyyy");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2008, 8, 15, 14, 30, 5, 0)), "15.08.2008 02:30:05 PM");

  // A later change of the environment is not seen.
  const testsupport::ScopedEnvVar lcAllLater("LC_ALL", "C");
  EXPECT_EQ(FormatSettings().LongTimeFormat, "hh:mm:ss ampm");
}

}  // namespace
}  // namespace tarnwick
