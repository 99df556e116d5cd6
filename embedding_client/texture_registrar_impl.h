#ifndef TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_IMPL_H_
#define TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_IMPL_H_

// The texture registrar over an engine library texture-registrar handle.

#include "embedding_client/texture_registrar.h"
#include "vela_windows.h"

namespace vela {

// Forwards texture registration to the engine library. Destroying it does not
// unregister the textures it registered.
// Over a null handle (no engine) it registers nothing, saying why on standard error, and
// completes unregistrations at once.
class TextureRegistrarImpl : public TextureRegistrar {
 public:
  // `texture_registrar` is not owned.
  explicit TextureRegistrarImpl(VelaDesktopTextureRegistrar texture_registrar);
  ~TextureRegistrarImpl() override;

  int64_t RegisterTexture(TextureSource* source) override;
  bool MarkTextureFrameAvailable(int64_t texture_id) override;
  void UnregisterTexture(int64_t texture_id, std::function<void()> callback) override;
  bool UnregisterTexture(int64_t texture_id) override;

 private:
  VelaDesktopTextureRegistrar texture_registrar_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_TEXTURE_REGISTRAR_IMPL_H_
