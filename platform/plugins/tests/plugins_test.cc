// The two plug-in libraries, registered with a running engine and asked through their
// channels by the engine-side application.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "embedding_client/standard_message_codec.h"
#include "link_opener_windows_plugin.h"
#include "permissions_windows_plugin.h"
#include "platform/plugins/tests/relay_engine.h"

namespace tervala_plugins {
namespace {

using testing::RelayEngine;
using vela::EncodableList;
using vela::EncodableValue;

constexpr char kPermissionsChannel[] = "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";
constexpr char kOpenUrlChannel[] = "dev.vela.plugins.LinkOpenerWindows.openUrl";

const vela::StandardMessageCodec& Codec() { return vela::StandardMessageCodec::GetInstance(); }

EncodableValue Error(const std::string& code, const std::string& message) {
  return EncodableList{code, message, EncodableValue()};
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) saved_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

class PluginsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(relay_.is_running());
    PermissionsWindowsPluginRegisterWithRegistrar(
        relay_.engine().RegistrarForPlugin("PermissionsWindowsPlugin"));
    LinkOpenerWindowsRegisterWithRegistrar(relay_.engine().RegistrarForPlugin("LinkOpenerWindows"));
  }

  std::optional<EncodableValue> Call(const std::string& channel, const EncodableValue& message) {
    return relay_.Call(channel, message, Codec());
  }

  RelayEngine relay_;
};

TEST_F(PluginsTest, PermissionStatusByName) {
  EXPECT_EQ(Call(kPermissionsChannel, EncodableList{"camera"}),
            EncodableValue(EncodableList{"granted"}));
  EXPECT_EQ(Call(kPermissionsChannel, EncodableList{"microphone"}),
            EncodableValue(EncodableList{"granted"}));
  EXPECT_EQ(Call(kPermissionsChannel, EncodableList{"teleport"}),
            Error("unknown-permission", "No permission is named \"teleport\"."));
  EXPECT_EQ(Call(kPermissionsChannel, "camera"),
            Error("bad-request", "Expected [permission name]."));
  EXPECT_EQ(Call(kPermissionsChannel, EncodableList{}),
            Error("bad-request", "Expected [permission name]."));
}

TEST_F(PluginsTest, RefusesWhatIsNotAUrl) {
  ScopedEnv dry_run("TERVALA_LINK_OPENER_DRY_RUN", "1");
  for (const char* bad : {"", "example.com", "-n:x", "1http://x", "https://a b", "https://a\tb",
                          "mailto", "ht tp://x", "https://x\x7f"}) {
    EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{bad}),
              Error("invalid-url", std::string("Not a URL that can be opened: \"") + bad + "\"."))
        << bad;
  }
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{EncodableValue(3)}),
            Error("bad-request", "Expected [url]."));
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{"https://example.com/a?b=c#d"}),
            EncodableValue(EncodableList{true}));
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{"mailto:someone@example.com"}),
            EncodableValue(EncodableList{true}));
}

TEST_F(PluginsTest, HandsTheUrlToTheOpenerAsOneArgument) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("opener-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path opener = folder / "opener";
  {
    std::ofstream script(opener);
    script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$0.out\"\n";
  }
  chmod(opener.c_str(), 0755);
  ScopedEnv program("TERVALA_LINK_OPENER", opener.string());
  const std::string url = "https://example.com/?q=$(touch%20pwned);x='y'&z=`id`";
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{url}), EncodableValue(EncodableList{true}));
  std::stringstream written;
  written << std::ifstream(folder / "opener.out").rdbuf();
  EXPECT_EQ(written.str(), "1|" + url);
  std::filesystem::remove_all(folder);
}

TEST_F(PluginsTest, ReportsAnOpenerThatFailsOrIsMissing) {
  {
    ScopedEnv program("TERVALA_LINK_OPENER", "false");
    EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{"https://example.com"}),
              Error("launch-failed", "false failed with exit status 1"));
  }
  ScopedEnv program("TERVALA_LINK_OPENER", "/nonexistent/opener");
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{"https://example.com"}),
            Error("launch-failed", "Cannot start /nonexistent/opener: No such file or directory"));
}

TEST(PluginsRegistration, NullRegistrarRegistersNothing) {
  PermissionsWindowsPluginRegisterWithRegistrar(nullptr);
  LinkOpenerWindowsRegisterWithRegistrar(nullptr);
}

}  // namespace
}  // namespace tervala_plugins
