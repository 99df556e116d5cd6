#ifndef TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_

// The fixture of tests that run the plug-in with the real app core: a private data folder,
// and a new empty config folder made the app core's config directory; apps left behind are
// deleted afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/app_options.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus_core_windows {

class AppCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "plugin-config-XXXXXX");
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    config_dir_ = pattern;
    nimbus::SetConfigDirectory(config_dir_.c_str());
  }

  void TearDown() override {
    for (nimbus::App* app : nimbus::App::GetApps()) delete app;
    nimbus::SetConfigDirectory("");
    std::filesystem::remove_all(config_dir_);
  }

  nimbus::heartbeat::testing::TestDataHome home_;
  std::string config_dir_;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_
