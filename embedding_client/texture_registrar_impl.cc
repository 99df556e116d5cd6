#include "embedding_client/texture_registrar_impl.h"

#include <memory>
#include <utility>

#include "embedding_client/error_line.h"

namespace vela {
namespace {

static_assert(sizeof(VelaDesktopTextureInfo::gpu_surface_config) == 32,
              "the GPU part of the texture record is 32 bytes");

const VelaDesktopPixelBuffer* CopyPixelBuffer(size_t width, size_t height, void* user_data) {
  return static_cast<PixelBufferSource*>(user_data)->copy_callback(width, height);
}

const VelaDesktopGpuSurfaceDescriptor* DescribeGpuSurface(size_t width, size_t height,
                                                          void* user_data) {
  return static_cast<GpuSurfaceSource*>(user_data)->descriptor_callback(width, height);
}

// Runs an unregistration's completion callback once and frees it.
void RunUnregistered(void* user_data) {
  std::unique_ptr<std::function<void()>> callback(static_cast<std::function<void()>*>(user_data));
  (*callback)();
}

}  // namespace

TextureRegistrarImpl::TextureRegistrarImpl(VelaDesktopTextureRegistrar texture_registrar)
    : texture_registrar_(texture_registrar) {}

TextureRegistrarImpl::~TextureRegistrarImpl() = default;

int64_t TextureRegistrarImpl::RegisterTexture(TextureSource* source) {
  VelaDesktopTextureInfo info = {};
  if (texture_registrar_ == nullptr) {
    internal::WriteErrorLine("Cannot register a texture: there is no engine texture registrar.");
    return -1;
  }
  if (source == nullptr || source->valueless_by_exception()) {
    internal::WriteErrorLine("Attempting to register unknown texture variant.");
    return -1;
  }
  if (auto* pixel_buffer = std::get_if<PixelBufferSource>(source)) {
    // The engine would call an empty callback for every frame.
    if (!pixel_buffer->copy_callback) {
      internal::WriteErrorLine("Attempting to register a texture source without a callback.");
      return -1;
    }
    info.type = kVelaDesktopPixelBufferTexture;
    info.pixel_buffer_config.callback = CopyPixelBuffer;
    info.pixel_buffer_config.user_data = pixel_buffer;
  } else {
    auto* gpu_surface = std::get_if<GpuSurfaceSource>(source);
    if (!gpu_surface->descriptor_callback) {
      internal::WriteErrorLine("Attempting to register a texture source without a callback.");
      return -1;
    }
    info.type = kVelaDesktopGpuSurfaceTexture;
    info.gpu_surface_config.struct_size = sizeof(info.gpu_surface_config);
    info.gpu_surface_config.type = gpu_surface->surface_type;
    info.gpu_surface_config.callback = DescribeGpuSurface;
    info.gpu_surface_config.user_data = gpu_surface;
  }
  return VelaDesktopTextureRegistrarRegisterExternalTexture(texture_registrar_, &info);
}

bool TextureRegistrarImpl::MarkTextureFrameAvailable(int64_t texture_id) {
  return VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(texture_registrar_,
                                                                      texture_id);
}

void TextureRegistrarImpl::UnregisterTexture(int64_t texture_id, std::function<void()> callback) {
  if (texture_registrar_ == nullptr) {
    // Nothing can be registered here, so there is nothing to wait for: the removal is
    // complete, and the engine library would never call back.
    if (callback) callback();
    return;
  }
  if (!callback) {
    VelaDesktopTextureRegistrarUnregisterExternalTexture(texture_registrar_, texture_id, nullptr,
                                                         nullptr);
    return;
  }
  auto capture = std::make_unique<std::function<void()>>(std::move(callback));
  VelaDesktopTextureRegistrarUnregisterExternalTexture(texture_registrar_, texture_id,
                                                       RunUnregistered, capture.release());
}

bool TextureRegistrarImpl::UnregisterTexture(int64_t texture_id) {
  UnregisterTexture(texture_id, nullptr);
  return true;
}

}  // namespace vela
