#ifndef TERVALA_APP_TESTS_APP_OPTIONS_TEST_H_
#define TERVALA_APP_TESTS_APP_OPTIONS_TEST_H_

// The fixture of the app options tests: a directory for config files and the log captured.

#include <gtest/gtest.h>

#include <string>

#include "app/app_options.h"
#include "app/tests/config_test_support.h"

namespace nimbus::testing {

// A complete minimal config whose values all carry `tag`.
inline std::string TaggedConfig(const std::string& tag) {
  return R"({"project_info": {"project_number": ")" + tag + R"(", "nimbus_url": ")" + tag +
         R"(", "project_id": ")" + tag + R"(", "storage_bucket": ")" + tag +
         R"("}, "client": [{"client_info": {"mobile_app_id": ")" + tag +
         R"(", "platform_client_info": {"package_name": ")" + tag +
         R"("}}, "api_key": [{"current_key": ")" + tag + R"("}]}]})";
}

class AppOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  void TearDown() override { SetConfigDirectory(""); }

  TempDir dir_;
  LogCapture log_;
};

}  // namespace nimbus::testing

#endif  // TERVALA_APP_TESTS_APP_OPTIONS_TEST_H_
