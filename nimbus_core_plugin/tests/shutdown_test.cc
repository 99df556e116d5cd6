// The engine stopping while the engine-side application still waits for the core plug-in:
// requests on all six channels are in flight, some answered, some queued for the UI
// thread, some not yet sent, when the engine is destroyed.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nimbus_core_plugin/host_api.h"
#include "nimbus_core_plugin/nimbus_core_plugin_c_api.h"
#include "nimbus_core_plugin/tests/app_core_test.h"
#include "plugins/tests/relay_engine.h"

namespace nimbus_core_windows {
namespace {

using tervala_plugins::testing::PumpUntil;
using tervala_plugins::testing::RelayedReply;
using tervala_plugins::testing::RelayEngine;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableValue;

// A request of every kind, cycling through the channels and a few app names.
std::pair<const char*, EncodableValue> Request(int index) {
  const std::string name = "app-" + std::to_string(index % 3);
  switch (index % 6) {
    case 0:
      return {kInitializeAppChannel,
              EncodableList{name, CustomEncodableValue(
                                      CoreNimbusOptions("key", "1:2:desktop:3", "4", "project"))}};
    case 1:
      return {kInitializeCoreChannel, EncodableList{}};
    case 2:
      return {kOptionsFromResourceChannel, EncodableList{}};
    case 3:
      return {kSetAutomaticDataCollectionEnabledChannel, EncodableList{name, true}};
    case 4:
      return {kSetAutomaticResourceManagementEnabledChannel, EncodableList{name, false}};
    default:
      return {kDeleteChannel, EncodableList{name}};
  }
}

using PluginShutdownTest = AppCoreTest;

TEST_F(PluginShutdownTest, RequestsInFlightWhenTheEngineStopsAreSettledOnce) {
  constexpr int kRequests = 240;
  // Stop after none, a quarter, half and nearly all of the replies have come back.
  for (const int settled_before_stop : {0, kRequests / 4, kRequests / 2, kRequests - 10}) {
    SCOPED_TRACE("stopped after " + std::to_string(settled_before_stop) + " replies");
    auto relay = std::make_unique<RelayEngine>();
    ASSERT_TRUE(relay->is_running());
    NimbusCorePluginCApiRegisterWithRegistrar(
        relay->engine().RegistrarForPlugin("NimbusCorePluginCApi"));

    std::vector<int> calls(kRequests, 0);
    std::vector<RelayedReply> replies(kRequests);
    std::vector<bool> before_stop(kRequests, false);
    bool stopping = false;
    int settled = 0;
    for (int i = 0; i < kRequests; ++i) {
      auto [channel, message] = Request(i);
      relay->Post(channel, *HostApiCodec().EncodeMessage(message),
                  [&, i](const RelayedReply& reply) {
                    ++calls[i];
                    ++settled;
                    replies[i] = reply;
                    before_stop[i] = !stopping;
                  });
    }
    ASSERT_TRUE(PumpUntil([&] { return settled >= settled_before_stop; }));
    stopping = true;
    relay.reset();

    for (int i = 0; i < kRequests; ++i) {
      ASSERT_EQ(calls[i], 1) << "request " << i;
      // Replies that came while the engine ran are whole; the rest are unanswered or the
      // empty reply, which the application gets for what native code did not answer.
      if (before_stop[i]) {
        ASSERT_TRUE(replies[i].answered && !replies[i].empty) << "request " << i;
      }
      if (!replies[i].answered || replies[i].empty) continue;
      std::unique_ptr<EncodableValue> reply = HostApiCodec().DecodeMessage(replies[i].bytes);
      ASSERT_NE(reply, nullptr) << "request " << i;
      const auto* list = reply->GetIf<EncodableList>();
      ASSERT_NE(list, nullptr) << "request " << i;
      EXPECT_TRUE(list->size() == 1 || list->size() == 3) << "request " << i;
    }
  }
}

}  // namespace
}  // namespace nimbus_core_windows
