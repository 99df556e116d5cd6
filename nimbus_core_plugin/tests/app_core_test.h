#ifndef TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_

// The fixture of tests that run the plug-in with the real app core: a private data folder,
// and a new empty config folder made the app core's config directory; apps left behind are
// deleted afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/app_options.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/scratch_folder.h"

namespace nimbus_core_windows {

class AppCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { nimbus::SetConfigDirectory(config_dir_.c_str()); }

  void TearDown() override {
    for (nimbus::App* app : nimbus::App::GetApps()) delete app;
    nimbus::SetConfigDirectory("");
  }

  // The path of `name` in the config folder, with the separator the app core adds.
  std::string ConfigPath(const std::string& name) const {
    return config_dir_ + static_cast<char>(std::filesystem::path::preferred_separator) + name;
  }

  nimbus::heartbeat::testing::TestDataHome home_;
  tervala_testing::ScratchFolder config_folder_{"plugin-config"};
  const std::string config_dir_ = config_folder_.utf8();
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_TESTS_APP_CORE_TEST_H_
