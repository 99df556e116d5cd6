#ifndef TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_H_
#define TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_H_

// External textures: native image sources that a plug-in publishes to the engine, and
// the interface through which it registers, refreshes and removes them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <variant>

#include "vela_windows.h"

namespace vela {

// A texture whose frames are pixel buffers. The engine calls `copy_callback` with the
// size it wants and uses the returned buffer (laid out by the engine library).
struct PixelBufferSource {
  std::function<const VelaDesktopPixelBuffer*(size_t width, size_t height)> copy_callback;
};

// A texture whose frames are GPU surfaces. `surface_type` is passed to the engine
// unchanged; the engine calls `descriptor_callback` with the size it wants.
struct GpuSurfaceSource {
  int32_t surface_type = 0;
  std::function<const VelaDesktopGpuSurfaceDescriptor*(size_t width, size_t height)>
      descriptor_callback;
};

// One of the two kinds of texture source. The engine keeps the source's address, so it
// must stay alive and in place until its unregistration has completed.
using TextureSource = std::variant<PixelBufferSource, GpuSurfaceSource>;

// Registers external textures with the engine.
class TextureRegistrar {
 public:
  TextureRegistrar() = default;
  virtual ~TextureRegistrar() = default;
  TextureRegistrar(const TextureRegistrar&) = delete;
  TextureRegistrar& operator=(const TextureRegistrar&) = delete;

  // Registers `source` and returns its texture id, or -1 on failure.
  virtual int64_t RegisterTexture(TextureSource* source) = 0;

  // Tells the engine that texture `texture_id` has a new frame; the engine's answer.
  virtual bool MarkTextureFrameAvailable(int64_t texture_id) = 0;

  // Removes the texture; `callback` (may be empty) runs once after the removal, from
  // when on the texture's source may be destroyed.
  virtual void UnregisterTexture(int64_t texture_id, std::function<void()> callback) = 0;

  // Removes the texture without a completion callback; always true.
  virtual bool UnregisterTexture(int64_t texture_id) = 0;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_H_
