// The two plug-in libraries, registered with a running engine and asked through their
// channels by the engine-side application.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "embedding_client/standard_message_codec.h"
#include "link_opener_windows_plugin.h"
#include "permissions_windows_plugin.h"
#include "plugins/tests/relay_engine.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

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

using ScopedEnv = tervala_testing::ScopedEnvironmentVariable;

// The test opener, built beside this test program.
std::string OpenerPath() {
  return tervala_testing::PathToUtf8(tervala_testing::CurrentExecutable().parent_path() /
                                     TEST_OPENER_NAME);
}

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
  // The opener writes its argument count and first argument to the file named here.
  tervala_testing::ScratchFolder folder("opener");
  const std::string record = folder.Join("opener.out");
  ScopedEnv record_to("TEST_OPENER_RECORD", record);
  ScopedEnv program("TERVALA_LINK_OPENER", OpenerPath());
  const std::string url = "https://example.com/?q=$(touch%20pwned);x='y'&z=`id`";
  EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{url}), EncodableValue(EncodableList{true}));
  EXPECT_EQ(tervala_testing::ReadWholeFile(record).value_or("(nothing written)"), "1|" + url);
}

TEST_F(PluginsTest, ReportsAnOpenerThatFailsOrIsMissing) {
  {
    // Without a file to write to, the opener exits with status 1.
    ScopedEnv record_to("TEST_OPENER_RECORD", std::nullopt);
    ScopedEnv program("TERVALA_LINK_OPENER", OpenerPath());
    EXPECT_EQ(Call(kOpenUrlChannel, EncodableList{"https://example.com"}),
              Error("launch-failed", OpenerPath() + " failed with exit status 1"));
  }
  ScopedEnv program("TERVALA_LINK_OPENER", "/nonexistent/opener");
  const std::optional<EncodableValue> answer =
      Call(kOpenUrlChannel, EncodableList{"https://example.com"});
  ASSERT_TRUE(answer.has_value());
  const auto* error = answer->GetIf<EncodableList>();
  ASSERT_NE(error, nullptr);
  ASSERT_EQ(error->size(), 3u);
  EXPECT_EQ((*error)[0], EncodableValue("launch-failed"));
  // The reason is the system's own text ("No such file or directory" on POSIX).
  const auto* message = (*error)[1].GetIf<std::string>();
  ASSERT_NE(message, nullptr);
  EXPECT_THAT(*message, ::testing::StartsWith("Cannot start /nonexistent/opener: "));
  EXPECT_GT(message->size(), std::string("Cannot start /nonexistent/opener: ").size());
}

TEST(PluginsRegistration, NullRegistrarRegistersNothing) {
  PermissionsWindowsPluginRegisterWithRegistrar(nullptr);
  LinkOpenerWindowsRegisterWithRegistrar(nullptr);
}

}  // namespace
}  // namespace tervala_plugins
