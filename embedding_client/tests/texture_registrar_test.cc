// External textures against the engine library: the records it receives, frames fetched
// through the source, and unregistration.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include "embedding_client/encodable_value.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "embedding_client/tests/engine_test_support.h"
#include "embedding_client/texture_registrar.h"
#include "embedding_client/texture_registrar_impl.h"
#include "embedding_client/vela_view_controller.h"

namespace vela {
namespace {

using testing::Command;
using ::testing::HasSubstr;
using testing::PumpUntil;
using testing::TestBundle;
using testing::TextureRegistrations;

class TextureRegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = std::make_unique<VelaViewController>(320, 240, bundle_.Project());
    ASSERT_NE(controller_->view(), nullptr);
    PluginRegistrarWindows* registrar = PluginRegistrarDirectory::GetInstance().GetRegistrar(
        controller_->engine()->RegistrarForPlugin("Textures"));
    ASSERT_NE(registrar, nullptr);
    textures_ = registrar->texture_registrar();
  }

  // The texture frames the bundle has received so far.
  EncodableList FramesSeen() {
    auto frames = Command(controller_->engine()->messenger(), {"textures"});
    return frames ? frames->Get<EncodableList>() : EncodableList{};
  }

  TestBundle bundle_;
  std::unique_ptr<VelaViewController> controller_;
  TextureRegistrar* textures_ = nullptr;
};

TEST_F(TextureRegistrarTest, PixelBufferSourceDeliversItsFramesToTheEngine) {
  static const uint8_t kPixels[] = {7, 8, 9, 255, 7, 8, 9, 255};
  VelaDesktopPixelBuffer buffer = {kPixels, 2, 1, nullptr, nullptr};
  std::atomic<int> copies{0};
  TextureSource source = PixelBufferSource{[&](size_t, size_t) {
    ++copies;
    return &buffer;
  }};
  int before = TextureRegistrations().count;
  int64_t id = textures_->RegisterTexture(&source);
  ASSERT_GE(id, 1);
  ASSERT_EQ(TextureRegistrations().count, before + 1);
  const VelaDesktopTextureInfo& info = TextureRegistrations().last;
  EXPECT_EQ(info.type, 0);
  EXPECT_EQ(info.reserved0, 0);
  EXPECT_EQ(info.pixel_buffer_config.user_data, &std::get<PixelBufferSource>(source));
  EXPECT_EQ(info.pixel_buffer_config.reserved1, 0u);
  EXPECT_EQ(info.pixel_buffer_config.reserved2, 0u);

  EXPECT_TRUE(textures_->MarkTextureFrameAvailable(id));
  EncodableList frames;
  ASSERT_TRUE(PumpUntil([&] { return !(frames = FramesSeen()).empty(); }));
  EXPECT_EQ(frames[0], EncodableValue(EncodableList{id, int64_t{2}, int64_t{1}, 7}));
  EXPECT_GE(copies.load(), 1);

  bool removed = false;
  textures_->UnregisterTexture(id, [&] { removed = true; });
  ASSERT_TRUE(PumpUntil([&] { return removed; }));
}

TEST_F(TextureRegistrarTest, GpuSurfaceSourceIsRegisteredWithItsSurfaceType) {
  TextureSource source = GpuSurfaceSource{
      5, [](size_t, size_t) -> const VelaDesktopGpuSurfaceDescriptor* { return nullptr; }};
  int64_t id = textures_->RegisterTexture(&source);
  ASSERT_GE(id, 1);
  const VelaDesktopTextureInfo& info = TextureRegistrations().last;
  EXPECT_EQ(info.type, 1);
  EXPECT_EQ(info.gpu_surface_config.struct_size, 32u);
  EXPECT_EQ(info.gpu_surface_config.type, 5);
  EXPECT_EQ(info.gpu_surface_config.reserved1, 0);
  EXPECT_EQ(info.gpu_surface_config.user_data, &std::get<GpuSurfaceSource>(source));
  EXPECT_NE(info.gpu_surface_config.callback, nullptr);

  TextureSource other =
      PixelBufferSource{[](size_t, size_t) -> const VelaDesktopPixelBuffer* { return nullptr; }};
  int64_t other_id = textures_->RegisterTexture(&other);
  EXPECT_NE(other_id, id);
  EXPECT_TRUE(textures_->UnregisterTexture(id));
  EXPECT_TRUE(textures_->UnregisterTexture(other_id));
}

TEST_F(TextureRegistrarTest, SourcesWithoutAVariantOrACallbackAreRefused) {
  TextureSource valueless = PixelBufferSource{};
  struct Failing {
    operator GpuSurfaceSource() const { throw std::runtime_error("no surface"); }
  };
  EXPECT_THROW(valueless.emplace<GpuSurfaceSource>(Failing{}), std::runtime_error);
  ASSERT_TRUE(valueless.valueless_by_exception());
  TextureSource no_callback = GpuSurfaceSource{3, nullptr};

  int before = TextureRegistrations().count;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(textures_->RegisterTexture(nullptr), -1);
  EXPECT_EQ(textures_->RegisterTexture(&valueless), -1);
  EXPECT_EQ(textures_->RegisterTexture(&no_callback), -1);
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(TextureRegistrations().count, before);
  EXPECT_EQ(errors,
            "Attempting to register unknown texture variant.\n"
            "Attempting to register unknown texture variant.\n"
            "Attempting to register a texture source without a callback.\n");
}

TEST_F(TextureRegistrarTest, UnregistrationCallsBackOnceAfterRemoval) {
  TextureSource source =
      PixelBufferSource{[](size_t, size_t) -> const VelaDesktopPixelBuffer* { return nullptr; }};
  int64_t id = textures_->RegisterTexture(&source);
  ASSERT_GE(id, 1);
  int calls = 0;
  textures_->UnregisterTexture(id, [&] {
    ++calls;
    // Removed by the time the callback runs.
    EXPECT_FALSE(textures_->MarkTextureFrameAvailable(id));
  });
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
  testing::PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(calls, 1);
}

TEST_F(TextureRegistrarTest, UnregistrationWithoutCallbackAndOfUnknownIds) {
  TextureSource source =
      PixelBufferSource{[](size_t, size_t) -> const VelaDesktopPixelBuffer* { return nullptr; }};
  int64_t id = textures_->RegisterTexture(&source);
  ASSERT_GE(id, 1);
  textures_->UnregisterTexture(id, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return !textures_->MarkTextureFrameAvailable(id); }));
  EXPECT_TRUE(textures_->UnregisterTexture(987654));
  EXPECT_FALSE(textures_->MarkTextureFrameAvailable(987654));
}

// A registrar without an engine texture registrar registers nothing, saying why; an
// unregistration has nothing to wait for, so its callback runs at once and is freed.
TEST(TextureRegistrarWithoutHandleTest, RefusesWithALineAndCompletesUnregistrations) {
  TextureRegistrarImpl textures(nullptr);
  TextureSource source =
      PixelBufferSource{[](size_t, size_t) -> const VelaDesktopPixelBuffer* { return nullptr; }};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(textures.RegisterTexture(&source), -1);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors, "Cannot register a texture: there is no engine texture registrar.\n");
  auto alive = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = alive;
  int calls = 0;
  textures.UnregisterTexture(1, [&calls, alive = std::move(alive)] { ++calls; });
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(textures.UnregisterTexture(1));
  EXPECT_FALSE(textures.MarkTextureFrameAvailable(1));
}

}  // namespace
}  // namespace vela
