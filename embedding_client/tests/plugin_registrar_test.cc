// Plug-in registrars and their directory against the engine library.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "embedding_client/encodable_value.h"
#include "embedding_client/message_channel.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "embedding_client/plugin_registrar_windows.h"
#include "embedding_client/standard_message_codec.h"
#include "embedding_client/tests/engine_test_support.h"
#include "embedding_client/vela_view_controller.h"

namespace vela {
namespace {

using testing::BundleCall;
using testing::TestBundle;

// What a plug-in saw of its registrar as it was destroyed.
struct Farewell {
  bool destroyed = false;
  bool had_messenger = false;
  bool had_texture_registrar = false;
  bool had_view = false;
};

class RecordingPlugin : public Plugin {
 public:
  RecordingPlugin(PluginRegistrarWindows* registrar, Farewell* farewell)
      : registrar_(registrar), farewell_(farewell) {
    MessageChannel(registrar_->messenger(), "test.plugin", &StandardMessageCodec::GetInstance())
        .SetMessageHandler(
            [](const EncodableValue& message, MessageReply reply) { reply(message); });
  }
  ~RecordingPlugin() override {
    farewell_->destroyed = true;
    farewell_->had_messenger = registrar_->messenger() != nullptr;
    farewell_->had_texture_registrar = registrar_->texture_registrar() != nullptr;
    farewell_->had_view = registrar_->GetView() != nullptr;
    // A plug-in may still use its messenger as it goes.
    registrar_->messenger()->SetMessageHandler("test.plugin", nullptr);
  }

 private:
  PluginRegistrarWindows* registrar_;
  Farewell* farewell_;
};

TEST(PluginRegistrarTest, DirectoryHoldsOneObjectPerRegistrarHandle) {
  TestBundle bundle;
  VelaViewController controller(320, 240, bundle.Project());
  ASSERT_NE(controller.view(), nullptr);
  VelaDesktopPluginRegistrar first = controller.engine()->RegistrarForPlugin("First");
  VelaDesktopPluginRegistrar second = controller.engine()->RegistrarForPlugin("Second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  PluginRegistrarDirectory& directory = PluginRegistrarDirectory::GetInstance();
  PluginRegistrarWindows* registrar = directory.GetRegistrar(first);
  ASSERT_NE(registrar, nullptr);
  EXPECT_EQ(directory.GetRegistrar(first), registrar);
  EXPECT_EQ(directory.GetRegistrar(controller.engine()->RegistrarForPlugin("First")), registrar);
  EXPECT_NE(directory.GetRegistrar(second), registrar);
  ASSERT_NE(registrar->GetView(), nullptr);
  EXPECT_EQ(registrar->GetView()->NativeWindow(), controller.view()->NativeWindow());
}

TEST(PluginRegistrarTest, PluginsGoBeforeTheirRegistrarsMessengerWhenTheEngineEnds) {
  TestBundle bundle;
  Farewell farewell;
  auto controller = std::make_unique<VelaViewController>(320, 240, bundle.Project());
  ASSERT_NE(controller->view(), nullptr);
  PluginRegistrarWindows* registrar = PluginRegistrarDirectory::GetInstance().GetRegistrar(
      controller->engine()->RegistrarForPlugin("Recording"));
  ASSERT_NE(registrar, nullptr);
  registrar->AddPlugin(std::make_unique<RecordingPlugin>(registrar, &farewell));

  // The plug-in's channel answers through the registrar's messenger.
  EXPECT_EQ(BundleCall(controller->engine()->messenger(), "test.plugin", "ping"),
            EncodableValue(EncodableList{"reply", "ping"}));
  EXPECT_FALSE(farewell.destroyed);

  controller.reset();
  EXPECT_TRUE(farewell.destroyed);
  EXPECT_TRUE(farewell.had_messenger);
  EXPECT_TRUE(farewell.had_texture_registrar);
  EXPECT_TRUE(farewell.had_view);
}

TEST(PluginRegistrarTest, ClearPluginsDestroysThemAtOnce) {
  TestBundle bundle;
  Farewell farewell;
  VelaViewController controller(320, 240, bundle.Project());
  ASSERT_NE(controller.view(), nullptr);
  PluginRegistrarWindows* registrar = PluginRegistrarDirectory::GetInstance().GetRegistrar(
      controller.engine()->RegistrarForPlugin("Cleared"));
  ASSERT_NE(registrar, nullptr);
  registrar->AddPlugin(std::make_unique<RecordingPlugin>(registrar, &farewell));
  registrar->ClearPlugins();
  EXPECT_TRUE(farewell.destroyed);
  EXPECT_TRUE(farewell.had_messenger);
  EXPECT_EQ(BundleCall(controller.engine()->messenger(), "test.plugin", "ping"),
            EncodableValue(EncodableList{"empty"}));
}

TEST(PluginRegistrarTest, RegistrarWithoutAViewStillOffersMessengerAndTextures) {
  TestBundle bundle;
  VelaEngine engine(bundle.Project());
  ASSERT_TRUE(engine.is_running());
  PluginRegistrarWindows* registrar =
      PluginRegistrarDirectory::GetInstance().GetRegistrar(engine.RegistrarForPlugin("NoView"));
  ASSERT_NE(registrar, nullptr);
  EXPECT_EQ(registrar->GetView(), nullptr);
  ASSERT_NE(registrar->messenger(), nullptr);
  ASSERT_NE(registrar->texture_registrar(), nullptr);

  registrar->messenger()->SetMessageHandler("test.noview",
                                            [](const uint8_t*, size_t, ReplyFunction) {});
  registrar->messenger()->SetMessageHandler("test.noview", nullptr);
  TextureSource source =
      PixelBufferSource{[](size_t, size_t) -> const VelaDesktopPixelBuffer* { return nullptr; }};
  int64_t id = registrar->texture_registrar()->RegisterTexture(&source);
  EXPECT_GE(id, 1);
  EXPECT_TRUE(registrar->texture_registrar()->UnregisterTexture(id));
}

TEST(PluginRegistrarTest, UnknownOrNullHandlesChangeNothing) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(PluginRegistrarDirectory::GetInstance().GetRegistrar(nullptr), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot get a plugin registrar for a null registrar handle.\n");
  int not_a_registrar = 0;
  PluginRegistrarDirectory::HandleRegistrarDestroyed(
      reinterpret_cast<VelaDesktopPluginRegistrar>(&not_a_registrar));
}

}  // namespace
}  // namespace vela
