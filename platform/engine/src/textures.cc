#include "platform/engine/src/textures.h"

#include <cstring>
#include <limits>

namespace vela_engine {
namespace {

// The largest texture accepted: 16384 x 16384 pixels.
constexpr size_t kMaxTextureSide = 16384;

}  // namespace

int64_t TextureTable::Register(const VelaDesktopTextureInfo* info) {
  if (info == nullptr) return -1;
  if (info->type == kVelaDesktopPixelBufferTexture) {
    if (info->pixel_buffer_config.callback == nullptr) return -1;
  } else if (info->type == kVelaDesktopGpuSurfaceTexture) {
    if (info->gpu_surface_config.callback == nullptr) return -1;
  } else {
    return -1;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t id = next_id_++;
  textures_[id] = Texture{*info, false};
  return id;
}

TextureTable::MarkResult TextureTable::Mark(int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = textures_.find(id);
  if (it == textures_.end()) return MarkResult{false, false};
  const bool fetch_needed = !it->second.fetch_pending;
  it->second.fetch_pending = true;
  return MarkResult{true, fetch_needed};
}

std::shared_ptr<const Frame> TextureTable::Fetch(int64_t id, uint32_t width, uint32_t height) {
  VelaDesktopTextureInfo info;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = textures_.find(id);
    if (it == textures_.end() || !it->second.fetch_pending) return nullptr;
    it->second.fetch_pending = false;
    info = it->second.info;
  }
  if (info.type == kVelaDesktopGpuSurfaceTexture) {
    const VelaDesktopGpuSurfaceDescriptor* surface =
        info.gpu_surface_config.callback(width, height, info.gpu_surface_config.user_data);
    if (surface != nullptr && surface->release_callback != nullptr) {
      surface->release_callback(surface->release_context);
    }
    return nullptr;
  }
  const VelaDesktopPixelBuffer* buffer =
      info.pixel_buffer_config.callback(width, height, info.pixel_buffer_config.user_data);
  if (buffer == nullptr) return nullptr;
  std::shared_ptr<Frame> frame;
  if (buffer->buffer != nullptr && buffer->width > 0 && buffer->height > 0 &&
      buffer->width <= kMaxTextureSide && buffer->height <= kMaxTextureSide) {
    frame = std::make_shared<Frame>();
    frame->width = static_cast<uint32_t>(buffer->width);
    frame->height = static_cast<uint32_t>(buffer->height);
    frame->pixels.assign(buffer->buffer, buffer->buffer + buffer->width * buffer->height * 4);
  }
  if (buffer->release_callback != nullptr) buffer->release_callback(buffer->release_context);
  return frame;
}

void TextureTable::Remove(int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  textures_.erase(id);
}

}  // namespace vela_engine
