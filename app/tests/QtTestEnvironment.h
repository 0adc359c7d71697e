#pragma once
// Gives every test executable that includes it one QApplication for the whole run, on the
// offscreen platform unless the environment names another.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace tarnwick::testing {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "tarnwick-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace tarnwick::testing
