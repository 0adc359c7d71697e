// The default error display: the silent abort and errors of every kind, with the texts of
// ErrorDisplayText (errortext_test).
#include "app/ErrorDisplay.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/ScriptedModalUi.h"
#include "base/Exception.h"

namespace tarnwick {
namespace {

using Call = TScriptedModalUi::Call;
using Kind = TScriptedModalUi::Kind;

TEST(ErrorDisplayTest, EveryKindOfErrorIsShownOnceWithTheErrorBox) {
  struct Case {
    const char* what;
    std::function<void()> raise;
    std::vector<Call> shown;
  };
  const Case cases[] = {
      {"Exception",
       [] { throw Exception("Division by zero"); },
       {{Kind::Error, "Tarnwick", "Division by zero."}}},
      {"Oracle error",
       [] { throw EOraError(942, "ORA-00942: table or view does not exist\n"); },
       {{Kind::Error, "Tarnwick", "ORA-00942: table or view does not exist\n"}}},
      {"standard exception",
       [] { throw std::runtime_error("disk full"); },
       {{Kind::Error, "Tarnwick", "disk full."}}},
      {"unknown exception",
       [] { throw 42; },
       {{Kind::Error, "Tarnwick", "An unknown error ended Button2Click."}}},
      {"silent abort", [] { Abort(); }, {}},
      {"no error", [] {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TScriptedModalUi ui;
    RunGuarded(ui, "Tarnwick", "Button2Click", c.raise);
    EXPECT_EQ(ui.Calls(), c.shown);
  }
}

// A display that fails itself must not let the error escape into the event loop.
class FailingUi : public TScriptedModalUi {
 public:
  void ShowError(const std::string&, const std::string&) override {
    throw std::runtime_error("display broken");
  }
};

TEST(ErrorDisplayTest, FailingDisplayDoesNotEscape) {
  FailingUi ui;
  bool ran = false;
  EXPECT_NO_THROW(RunGuarded(ui, "Tarnwick", "x", [&] {
    ran = true;
    throw Exception("boom");
  }));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tarnwick
